// frontend/win32/win32_file_system.cpp -- see win32_file_system.h.
#include "frontend/win32/win32_file_system.h"

#include <windows.h>

#include <algorithm>

namespace {

// Closes the handle on every path out.
struct HandleGuard {
    HANDLE handle;
    ~HandleGuard() {
        if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
    }
};

// A wildcard would make a lookup answer for some other name.
bool hasWildcard(const std::string& path) { return path.find_first_of("*?") != std::string::npos; }

}  // namespace

PathLookup Win32FileSystem::lookup(const std::string& path) const {
    if (path.empty() || hasWildcard(path)) return PathLookup::Missing;
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return PathLookup::Missing;
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? PathLookup::Folder : PathLookup::File;
}

std::optional<FileIdentity> Win32FileSystem::identity(const std::string& path) const {
    if (path.empty() || hasWildcard(path)) return std::nullopt;
    // No access rights are needed to ask for the file's number; backup semantics let a
    // folder be opened too.
    HandleGuard file{CreateFileA(path.c_str(), 0,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr)};
    if (file.handle == INVALID_HANDLE_VALUE) return std::nullopt;
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(file.handle, &info)) return std::nullopt;
    return FileIdentity{info.dwVolumeSerialNumber,
                        (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
}

std::optional<std::string> Win32FileSystem::currentDirectory() const {
    const DWORD needed = GetCurrentDirectoryA(0, nullptr);
    if (needed == 0) return std::nullopt;
    std::string buffer(needed, '\0');
    const DWORD length = GetCurrentDirectoryA(needed, buffer.data());
    if (length == 0 || length >= needed) return std::nullopt;
    buffer.resize(length);
    return buffer;
}

std::optional<std::string> Win32FileSystem::currentDirectoryOfDrive(char letter) const {
    if (!((letter >= 'A' && letter <= 'Z') || (letter >= 'a' && letter <= 'z'))) return std::nullopt;
    // "X:" alone names the current directory of drive X.
    const char drive[3] = {letter, ':', '\0'};
    char buffer[MAX_PATH];
    const DWORD length = GetFullPathNameA(drive, MAX_PATH, buffer, nullptr);
    if (length == 0 || length >= MAX_PATH) return std::nullopt;
    std::string directory(buffer, length);
    // Spelled like the process's current directory: a separator ends only a root.
    if (directory.size() > 3 && directory.back() == '\\') directory.pop_back();
    return directory;
}

std::optional<std::string> Win32FileSystem::realPath(const std::string& path) const {
    if (path.empty() || hasWildcard(path)) return std::nullopt;
    HandleGuard file{CreateFileA(path.c_str(), 0,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr)};
    if (file.handle == INVALID_HANDLE_VALUE) return std::nullopt;
    std::string result;
    // The wide call, spelled back in the ANSI code page the paths come in: the narrow
    // one is missing or broken on some systems (Wine among them).
    const DWORD flags = FILE_NAME_NORMALIZED | VOLUME_NAME_DOS;
    const DWORD needed = GetFinalPathNameByHandleW(file.handle, nullptr, 0, flags);
    if (needed != 0) {
        std::wstring wide(needed, L'\0');
        const DWORD length = GetFinalPathNameByHandleW(file.handle, wide.data(), needed, flags);
        if (length != 0 && length < needed) {
            const int bytes = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(),
                                                  static_cast<int>(length), nullptr, 0, nullptr, nullptr);
            BOOL lossy = FALSE;
            result.assign(static_cast<size_t>(std::max(bytes, 0)), '\0');
            if (bytes <= 0 ||
                WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), static_cast<int>(length),
                                    result.data(), bytes, nullptr, &lossy) != bytes ||
                lossy)
                result.clear();
        }
    }
    if (result.empty()) {
        // Without the final name: the full path in its long spelling, which resolves
        // short names and letter case but no links.
        char full[MAX_PATH], longName[MAX_PATH];
        const DWORD fullLength = GetFullPathNameA(path.c_str(), MAX_PATH, full, nullptr);
        if (fullLength == 0 || fullLength >= MAX_PATH) return std::nullopt;
        const DWORD longLength = GetLongPathNameA(full, longName, MAX_PATH);
        if (longLength == 0 || longLength >= MAX_PATH) return std::nullopt;
        result.assign(longName, longLength);
    }
    if (result.rfind("\\\\?\\UNC\\", 0) == 0) result.replace(0, 8, "\\\\");
    else if (result.rfind("\\\\?\\", 0) == 0) result.erase(0, 4);
    // Spelled like the other answers: a separator ends only a root.
    if (result.size() > 3 && (result.back() == '\\' || result.back() == '/')) result.pop_back();
    return result;
}

std::optional<std::vector<uint8_t>> Win32FileSystem::readFile(const std::string& path) const {
    if (path.empty() || hasWildcard(path)) return std::nullopt;
    HandleGuard file{CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr)};
    if (file.handle == INVALID_HANDLE_VALUE) return std::nullopt;
    LARGE_INTEGER size;
    if (!GetFileSizeEx(file.handle, &size) || size.QuadPart < 0 ||
        static_cast<uint64_t>(size.QuadPart) > kMaxWholeFileBytes)
        return std::nullopt;
    std::vector<uint8_t> content(static_cast<size_t>(size.QuadPart));
    size_t done = 0;
    while (done < content.size()) {
        DWORD got = 0;
        if (!ReadFile(file.handle, content.data() + done, static_cast<DWORD>(content.size() - done),
                      &got, nullptr))
            return std::nullopt;
        if (got == 0) break;  // shorter than its size said: parse what is there
        done += got;
    }
    content.resize(done);
    return content;
}
