// frontend/win32/wide_text.h -- the one crossing between the program's UTF-8 strings and
// the UTF-16 of the Windows calls. Every string inside the program (paths, titles,
// settings, messages, user names) is UTF-8; it becomes UTF-16 only where a Windows call
// takes it, and comes back at once.
#pragma once
#include <string>

// `text` as UTF-16. A byte that is no part of valid UTF-8 becomes U+FFFD, so any input
// gives some string and never fails; an empty result only for empty input.
std::wstring utf8ToWide(const std::string& text);

// `text[0..length)` as UTF-8; an unpaired surrogate becomes U+FFFD.
std::string wideToUtf8(const wchar_t* text, size_t length);
std::string wideToUtf8(const std::wstring& text);
// Up to the first zero.
std::string wideToUtf8(const wchar_t* text);
