// cli/palm_text.cpp -- see palm_text.h.
#include "cli/palm_text.h"

#include <cstdio>

#include "engine/windows1252.h"

uint32_t codePointOf1252(uint8_t byte) {
    // The handheld's font draws the suits here, over the code page's Z with caron and three
    // bytes it leaves undefined, and the converter writes them here (windows1252Byte).
    static const char16_t kCardSuits[4] = {0x2666, 0x2663, 0x2665, 0x2660};
    if (byte >= 0x8D && byte <= 0x90) return kCardSuits[byte - 0x8D];
    return windows1252CodePoint(byte);
}

void appendUtf8(std::string& out, uint32_t code) {
    char bytes[4];
    out.append(bytes, static_cast<size_t>(utf8Bytes(code, bytes)));
}

void appendTextFrom1252(std::string& out, const char* bytes, size_t length) {
    for (size_t i = 0; i < length; ++i) appendUtf8(out, codePointOf1252(static_cast<uint8_t>(bytes[i])));
}

std::string textFrom1252(const char* bytes, size_t length) {
    std::string out;
    appendTextFrom1252(out, bytes, length);
    return out;
}

std::string palmTimeText(uint32_t seconds) {
    uint32_t days = seconds / 86400;
    const uint32_t rest = seconds % 86400;
    uint32_t year = 1904;
    for (;;) {
        const uint32_t yearDays = (year - 1904) % 4 == 0 ? 366 : 365;
        if (days < yearDays) break;
        days -= yearDays;
        ++year;
    }
    uint32_t monthDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if ((year - 1904) % 4 == 0) monthDays[1] = 29;
    uint32_t month = 0;
    while (days >= monthDays[month]) days -= monthDays[month++];
    char text[32];
    std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u", year, month + 1, days + 1,
                  rest / 3600, rest / 60 % 60, rest % 60);
    return text;
}
