// cli/palm_text.h -- the handheld's text and times as the desktop shows them: its
// Windows-1252 bytes (with the card suits at 0x8D to 0x90, as the converter writes them)
// as UTF-8, and its times, seconds since 1904 in the writer's calendar, as readable dates.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

// The character of one byte of book text. Bytes that Windows-1252 leaves without a
// character (0x81, 0x9D) keep their own value.
uint32_t codePointOf1252(uint8_t byte);
// Appends `code` (below 0x10000) as UTF-8.
void appendUtf8(std::string& out, uint32_t code);
// The bytes as UTF-8, one character each.
std::string textFrom1252(const char* bytes, size_t length);
// "YYYY-MM-DD hh:mm:ss" for seconds since 1904-01-01 00:00, every fourth year a leap year.
std::string palmTimeText(uint32_t seconds);
