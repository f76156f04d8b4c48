// cli/palm_text.cpp -- see palm_text.h.
#include "cli/palm_text.h"

#include <cstdio>

uint32_t codePointOf1252(uint8_t byte) {
    static const char16_t kHigh[32] = {
        0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
        0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x2666, 0x2663, 0x2665,
        0x2660, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
        0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
    return byte >= 0x80 && byte < 0xA0 ? kHigh[byte - 0x80] : byte;
}

void appendUtf8(std::string& out, uint32_t code) {
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | code >> 6);
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | code >> 12);
        out += static_cast<char>(0x80 | (code >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

std::string textFrom1252(const char* bytes, size_t length) {
    std::string out;
    for (size_t i = 0; i < length; ++i) appendUtf8(out, codePointOf1252(static_cast<uint8_t>(bytes[i])));
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
