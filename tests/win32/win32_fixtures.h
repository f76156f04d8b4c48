// tests/win32/win32_fixtures.h -- what the Windows tests share: a scratch registry key
// under the current user that is deleted afterwards, and file helpers with Windows
// separators over TempDir.
#pragma once
#include <windows.h>

#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "tests/support/temp_dir.h"

// A fresh key HKCU\Software\VimloTest\<process id>, opened with `access`; deleted with
// everything below it when the fixture ends.
class ScratchRegistry : public ::testing::Test {
protected:
    void SetUp() override {
        path_ = "Software\\VimloTest\\" + std::to_string(GetCurrentProcessId());
        RegDeleteTreeA(HKEY_CURRENT_USER, path_.c_str());
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, path_.c_str(), 0, nullptr, 0,
                                                 KEY_ALL_ACCESS, nullptr, &root_, nullptr));
    }
    void TearDown() override {
        RegCloseKey(root_);
        RegDeleteTreeA(HKEY_CURRENT_USER, path_.c_str());
    }
    // Writes a value of any type below the scratch key.
    void putRaw(const std::string& subKey, const char* name, DWORD type, const void* data, DWORD size) {
        HKEY key = nullptr;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(root_, subKey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                                 nullptr, &key, nullptr));
        ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), size));
        RegCloseKey(key);
    }
    void putString(const std::string& subKey, const char* name, const std::string& text) {
        putRaw(subKey, name, REG_SZ, text.c_str(), static_cast<DWORD>(text.size() + 1));
    }
    void putDword(const std::string& subKey, const char* name, DWORD value) {
        putRaw(subKey, name, REG_DWORD, &value, sizeof value);
    }
    // The type and bytes of a value; type REG_NONE when it is missing.
    std::pair<DWORD, std::string> getRaw(const std::string& subKey, const char* name) {
        char data[1024] = {};
        DWORD size = sizeof data;
        DWORD type = REG_NONE;
        if (RegGetValueA(root_, subKey.c_str(), name, RRF_RT_ANY | RRF_NOEXPAND, &type, data, &size) !=
            ERROR_SUCCESS)
            return {REG_NONE, std::string()};
        return {type, std::string(data, size)};
    }

    HKEY root_ = nullptr;
    std::string path_;
};

// `dir` + "\" + name.
inline std::string winPath(const TempDir& dir, const std::string& name) {
    std::string path = dir.path() + "\\" + name;
    for (char& c : path)
        if (c == '/') c = '\\';
    return path;
}

// `wide` in the ANSI code page, the spelling the program's names have; nullopt when a
// character has none there.
inline std::optional<std::string> ansiName(const std::wstring& wide) {
    BOOL lossy = FALSE;
    char buffer[4 * MAX_PATH] = {};
    const int length = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.c_str(), -1, buffer,
                                           sizeof buffer, nullptr, &lossy);
    if (length <= 0 || lossy) return std::nullopt;
    return std::string(buffer);
}
