// frontend/text_encoding.h -- how a page's bytes say which encoding they are in, read as
// browsers read them: the encodings and labels of the WHATWG Encoding Standard, byte-order
// marks, the HTML pre-scan of a page's first bytes for a <meta> declaration and the XML
// declaration at the very start. Also the byte-level UTF-8 rule every decoder here shares
// (valid sequences are UTF-8, any other byte is a Windows-1252 character) and the string
// conversions between the front ends' UTF-8 and the engine's Windows-1252. Pure functions;
// decoding whole streams is left to decoding_io.h.
#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The encodings of the Encoding Standard, by their names there.
enum class TextEncoding : uint8_t {
    Utf8,
    Ibm866,
    Iso8859_2,
    Iso8859_3,
    Iso8859_4,
    Iso8859_5,
    Iso8859_6,
    Iso8859_7,
    Iso8859_8,
    Iso8859_8I,
    Iso8859_10,
    Iso8859_13,
    Iso8859_14,
    Iso8859_15,
    Iso8859_16,
    Koi8R,
    Koi8U,
    Macintosh,
    Windows874,
    Windows1250,
    Windows1251,
    Windows1252,
    Windows1253,
    Windows1254,
    Windows1255,
    Windows1256,
    Windows1257,
    Windows1258,
    XMacCyrillic,
    Gbk,
    Gb18030,
    Big5,
    EucJp,
    Iso2022Jp,
    ShiftJis,
    EucKr,
    Replacement,
    Utf16Be,
    Utf16Le,
    XUserDefined,
    Count
};

// The encoding's name as the standard spells it ("utf-8", "shift_jis", ...).
const char* encodingName(TextEncoding encoding);

// The encoding `label` names, matched as browsers match labels: ASCII whitespace around it
// trimmed, ASCII case ignored. nullopt for a label the standard does not know.
std::optional<TextEncoding> encodingForLabel(std::string_view label);

// Every encoding name but "replacement" (which only stands for labels browsers refuse to
// decode), in the standard's order, for help texts.
std::vector<const char*> acceptedEncodingNames();

struct ByteOrderMark {
    TextEncoding encoding;  // Utf8, Utf16Le or Utf16Be
    int length;             // bytes of the mark itself
};
// The mark at the start of `bytes`: EF BB BF, FF FE or FE FF.
std::optional<ByteOrderMark> findByteOrderMark(const uint8_t* bytes, size_t length);

// The bytes of a page the pre-scan reads, as the HTML standard advises.
inline constexpr size_t kPrescanBytes = 1024;

// The HTML standard's pre-scan of `bytes` (a page's first bytes; callers pass at most
// kPrescanBytes): <meta charset>, <meta http-equiv="content-type" content="...charset=...">,
// comments and other tags skipped, and when that finds nothing the XML declaration.
// A declared UTF-16 gives UTF-8 and x-user-defined Windows-1252, as the standard says;
// a page that starts with "<?x" in UTF-16 (zero bytes between) gives that UTF-16.
std::optional<TextEncoding> prescanEncoding(const uint8_t* bytes, size_t length);

// The encoding of an XML declaration `<?xml ... encoding="..."?>` at the very start of
// `bytes`, as the HTML standard gets it (UTF-16 given as UTF-8).
std::optional<TextEncoding> xmlDeclarationEncoding(const uint8_t* bytes, size_t length);

// The UTF-8 rule at `bytes` (with `length` > 0 bytes available): the length (1 to 4) of
// the well-formed sequence there, with its code point in `codePoint`; 0 when the first
// byte starts no well-formed sequence (overlong forms, surrogates, code points above
// U+10FFFF, stray continuation bytes, a sequence broken off); -1 when the bytes so far
// begin a well-formed sequence that `length` cuts short, so more bytes must decide.
int utf8Sequence(const uint8_t* bytes, size_t length, uint32_t& codePoint);

// Appends the UTF-8 form of `codePoint` (at most U+10FFFF).
void appendCodePointUtf8(std::string& out, uint32_t codePoint);

// Windows-1252 bytes as UTF-8.
std::string windows1252ToUtf8(std::string_view bytes);

// UTF-8 (by the rule above: a byte of no valid sequence is taken as Windows-1252) as the
// handheld's Windows-1252, with transliterations for characters the code page lacks.
std::string utf8ToWindows1252(std::string_view text);

// The first `maxCharacters` characters of the UTF-8 `text`, never cutting a sequence.
std::string firstCharacters(std::string_view text, size_t maxCharacters);

// The value of a hexadecimal digit of a percent-escape, or -1.
int hexDigitValue(char c);
