// cli/palm_text.h -- the handheld's text and times as the desktop shows them: its
// Windows-1252 bytes (with the card suits at 0x8D to 0x90, as the handheld's font has
// them and the converter writes them) as UTF-8, and its times, seconds since 1904 in the
// writer's calendar, as readable dates.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

// The character the handheld shows for one byte of book text: Windows-1252 as browsers
// read it, except the card suits at 0x8D to 0x90. The two bytes left without a character
// (0x81, 0x9D) stand for the C1 controls of their own value.
uint32_t codePointOf1252(uint8_t byte);
// Appends `code` (below 0x10000) as UTF-8.
void appendUtf8(std::string& out, uint32_t code);
// Appends the bytes as UTF-8, one character each.
void appendTextFrom1252(std::string& out, const char* bytes, size_t length);
// The bytes as UTF-8, one character each.
std::string textFrom1252(const char* bytes, size_t length);
// "YYYY-MM-DD hh:mm:ss" for seconds since 1904-01-01 00:00, every fourth year a leap year.
std::string palmTimeText(uint32_t seconds);
