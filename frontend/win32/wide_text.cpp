// frontend/win32/wide_text.cpp -- see wide_text.h.
#include "frontend/win32/wide_text.h"

#include <windows.h>

#include <climits>
#include <cwchar>

// Without MB_ERR_INVALID_CHARS both calls replace what they cannot convert instead of
// failing, so a damaged name still shows as something.
std::wstring utf8ToWide(const std::string& text) {
    if (text.empty() || text.size() > INT_MAX) return std::wstring();
    const int length = static_cast<int>(text.size());
    const int needed = MultiByteToWideChar(CP_UTF8, 0, text.data(), length, nullptr, 0);
    if (needed <= 0) return std::wstring();
    std::wstring wide(static_cast<size_t>(needed), L'\0');
    const int got = MultiByteToWideChar(CP_UTF8, 0, text.data(), length, wide.data(), needed);
    wide.resize(static_cast<size_t>(got > 0 ? got : 0));
    return wide;
}

std::string wideToUtf8(const wchar_t* text, size_t length) {
    if (text == nullptr || length == 0 || length > INT_MAX) return std::string();
    const int count = static_cast<int>(length);
    const int needed = WideCharToMultiByte(CP_UTF8, 0, text, count, nullptr, 0, nullptr, nullptr);
    if (needed <= 0) return std::string();
    std::string narrow(static_cast<size_t>(needed), '\0');
    const int got = WideCharToMultiByte(CP_UTF8, 0, text, count, narrow.data(), needed, nullptr, nullptr);
    narrow.resize(static_cast<size_t>(got > 0 ? got : 0));
    return narrow;
}

std::string wideToUtf8(const std::wstring& text) { return wideToUtf8(text.data(), text.size()); }

std::string wideToUtf8(const wchar_t* text) {
    return text == nullptr ? std::string() : wideToUtf8(text, std::wcslen(text));
}
