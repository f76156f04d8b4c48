// tests/win32/win32_fixtures.h -- what the Windows tests share: a scratch registry key
// under the current user that is deleted afterwards, and file helpers with Windows
// separators over TempDir, for names in UTF-8.
#pragma once
#include <windows.h>

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
    // The same as stored, strings in UTF-16.
    std::pair<DWORD, std::string> getRawWide(const std::string& subKey, const wchar_t* name) {
        char data[1024] = {};
        DWORD size = sizeof data;
        DWORD type = REG_NONE;
        if (RegGetValueW(root_, std::wstring(subKey.begin(), subKey.end()).c_str(), name,
                         RRF_RT_ANY | RRF_NOEXPAND, &type, data, &size) != ERROR_SUCCESS)
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

// The tests spell names in UTF-8, as the program does, and reach files through their own
// wide calls, independent of the program's conversion.
inline std::wstring wideOf(const std::string& utf8) {
    wchar_t buffer[4 * MAX_PATH] = {};
    const int length = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.c_str(), -1, buffer,
                                           sizeof buffer / sizeof buffer[0]);
    return length > 0 ? std::wstring(buffer) : std::wstring();
}

inline bool makeFolder(const std::string& path) { return CreateDirectoryW(wideOf(path).c_str(), nullptr) != FALSE; }

inline bool writeBytes(const std::string& path, const std::string& bytes) {
    const HANDLE file =
        CreateFileW(wideOf(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const BOOL wrote = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
    return wrote && written == bytes.size();
}

inline bool pathExists(const std::string& path) {
    return GetFileAttributesW(wideOf(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Names beyond ASCII: a Latin letter that the ANSI code page of Western systems has, and
// a Chinese one that none of theirs has.
inline const std::string kLatinName = "Jos\u00e9";
inline const std::string kChineseName = "\u4e66";
