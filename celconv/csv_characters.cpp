// celconv/csv_characters.cpp -- see csv_characters.h.
#include "celconv/csv_characters.h"

#include <cstdint>

#include "engine/windows1252.h"

namespace celconv {

int utf8LeadLength(unsigned char lead) {
    if (lead >= 0xC2 && lead <= 0xDF) return 2;
    if (lead >= 0xE0 && lead <= 0xEF) return 3;
    if (lead >= 0xF0 && lead <= 0xF4) return 4;
    return 0;  // ASCII, continuation bytes, C0 and C1 (always overlong), F5 and up
}

bool utf8Continues(const std::string& sequence, unsigned char next) {
    if (next < 0x80 || next > 0xBF) return false;
    if (sequence.size() != 1) return true;
    // The second byte's range shuts out overlong forms (E0, F0), surrogates (ED) and code
    // points above U+10FFFF (F4).
    switch (static_cast<unsigned char>(sequence[0])) {
        case 0xE0: return next >= 0xA0;
        case 0xED: return next <= 0x9F;
        case 0xF0: return next >= 0x90;
        case 0xF4: return next <= 0x8F;
        default: return true;
    }
}

int utf8SequenceLength(const std::string& text, size_t at) {
    const int length = utf8LeadLength(static_cast<unsigned char>(text[at]));
    if (length == 0 || text.size() - at < static_cast<size_t>(length)) return 0;
    std::string sequence(1, text[at]);
    for (int i = 1; i < length; ++i) {
        const unsigned char next = static_cast<unsigned char>(text[at + i]);
        if (!utf8Continues(sequence, next)) return 0;
        sequence += static_cast<char>(next);
    }
    return length;
}

namespace {

uint32_t decodeSequence(const std::string& text, size_t at, int length) {
    static const uint8_t kLeadBits[5] = {0, 0, 0x1F, 0x0F, 0x07};
    uint32_t code = static_cast<uint8_t>(text[at]) & kLeadBits[length];
    for (int i = 1; i < length; ++i) code = code << 6 | (static_cast<uint8_t>(text[at + i]) & 0x3F);
    return code;
}

// Calls `take` with what each character of `text` becomes in the database.
template <typename Take>
void eachCharacter(const std::string& text, Take take) {
    for (size_t at = 0; at < text.size();) {
        const int length = utf8SequenceLength(text, at);
        const uint32_t code = length > 0 ? decodeSequence(text, at, length)
                                         : windows1252CodePoint(static_cast<uint8_t>(text[at]));
        take(handheldText(code));
        at += length > 0 ? length : 1;
    }
}

}  // namespace

std::string databaseText(const std::string& text) {
    std::string bytes;
    bytes.reserve(text.size());
    eachCharacter(text, [&bytes](const HandheldText& shown) { bytes.append(shown.bytes, shown.length); });
    return bytes;
}

size_t databaseLength(const std::string& text) {
    size_t length = 0;
    eachCharacter(text, [&length](const HandheldText& shown) { length += shown.length; });
    return length;
}

std::string utf8FromDatabase(const std::string& bytes) {
    std::string text;
    text.reserve(bytes.size());
    char encoded[4];
    for (const char byte : bytes)
        text.append(encoded, static_cast<size_t>(utf8Bytes(windows1252CodePoint(static_cast<uint8_t>(byte)), encoded)));
    return text;
}

void skipByteOrderMark(std::istream& in) {
    if (in.peek() != 0xEF) return;
    const std::streampos start = in.tellg();
    char mark[3] = {};
    in.read(mark, 3);
    if (in.gcount() == 3 && std::string(mark, 3) == kUtf8ByteOrderMark) return;
    in.clear();
    in.seekg(start);
}

}  // namespace celconv
