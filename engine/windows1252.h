// engine/windows1252.h -- the handheld's character set. The handheld shows Windows-1252,
// read as browsers read it; every other character of the Basic Multilingual Plane is
// given its ASCII transliteration from a table generated once with ICU
// (scripts/make-transliterations writes engine/transliterations.inc), so the engine
// needs no library for it. Pure functions over constant tables.
#pragma once
#include <cstdint>

// The code point that byte `byte` stands for in Windows-1252. The five bytes the code
// page leaves undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) stand for the C1 controls of the
// same value, as browsers have them.
uint32_t windows1252CodePoint(uint8_t byte);

// The handheld's byte for `codePoint`, or -1 when it has none: the Windows-1252 byte
// (the five C1 controls above included, so that every byte read as Windows-1252 comes
// back as itself), and the card suits, which the handheld's font has at 0x8D to 0x90
// and the HTML reader has always written there.
int32_t windows1252Byte(uint32_t codePoint);

// What became of a character on its way to the handheld.
enum class HandheldForm : uint8_t {
    Byte,            // the handheld has it: one byte (windows1252Byte)
    Transliterated,  // 1 to kMaxTransliterationBytes printable ASCII bytes
    Removed,         // no bytes: zero-width characters and combining marks
    Replaced,        // "?": nothing useful stands for it (also beyond the BMP, surrogates)
};

inline constexpr int kMaxTransliterationBytes = 8;

struct HandheldText {
    HandheldForm form;
    uint8_t length;                        // bytes used in `bytes`
    char bytes[kMaxTransliterationBytes];  // not zero-terminated
};

// What `codePoint` becomes on the handheld.
HandheldText handheldText(uint32_t codePoint);

// The UTF-8 bytes of `codePoint` (at most U+10FFFF) in `out`; returns their count, 1 to 4.
// For the desktop's side of the text: the front ends and the CSV utility write UTF-8.
int32_t utf8Bytes(uint32_t codePoint, char out[4]);
