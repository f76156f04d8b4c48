// celconv/csv_characters.h -- the characters of a CSV file and of the database. The
// database holds Windows-1252; a CSV file may be Windows-1252 or UTF-8 (with or without
// a byte-order mark), or a mix, and is read without being told which: each valid UTF-8
// sequence is one character, each other byte a Windows-1252 character, and each
// character becomes what the handheld has for it (its byte, an ASCII transliteration,
// nothing, or "?"). A Windows-1252 file holds no valid multi-byte sequence, so its
// bytes pass unchanged. The character table is the toolkit's one generated table
// (engine/windows1252.h), compiled into celconv as a source file.
#pragma once
#include <cstddef>
#include <istream>
#include <string>

namespace celconv {

// The length (2 to 4) of the valid UTF-8 multi-byte sequence that starts at `at`, or 0
// when none starts there (ASCII, a continuation byte, an overlong form, a surrogate, a
// code point above U+10FFFF, or a sequence cut short by the end of `text`).
int utf8SequenceLength(const std::string& text, size_t at);

// How many bytes a sequence that starts with `lead` takes when it is valid: 2 to 4, or
// 0 for a byte that starts none.
int utf8LeadLength(unsigned char lead);
// Whether `next` can follow the bytes of `sequence` (the lead and the continuation
// bytes so far) in a valid sequence.
bool utf8Continues(const std::string& sequence, unsigned char next);

// `text` from the CSV file in the database's bytes.
std::string databaseText(const std::string& text);
// The number of bytes `databaseText(text)` has.
size_t databaseLength(const std::string& text);

// Database bytes read as Windows-1252, written as UTF-8: the same CSV text in the other
// encoding, so that reading it back gives the same bytes.
std::string utf8FromDatabase(const std::string& bytes);

// How a CSV file is written: Windows-1252, the database's own bytes, or UTF-8 with a
// byte-order mark.
enum class CsvEncoding { Windows1252, Utf8 };

// The UTF-8 byte-order mark, which spreadsheet programs write at the start of a file.
inline constexpr char kUtf8ByteOrderMark[] = "\xEF\xBB\xBF";

// Passes over a byte-order mark at the current position of `in`; anything else is left
// to be read (the stream must be seekable when it starts with 0xEF).
void skipByteOrderMark(std::istream& in);

}  // namespace celconv
