// frontend/win32/win32_file_system.cpp -- see win32_file_system.h.
#include "frontend/win32/win32_file_system.h"

#include <windows.h>

#include <algorithm>

#include "frontend/win32/wide_text.h"

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

// No access rights are needed to ask about the file; backup semantics let a folder be
// opened too.
HANDLE openForQuery(const std::string& path) {
    return CreateFileW(utf8ToWide(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                       nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

// A wide call's answer that fills `needed` units when asked with no room: the text, or
// nullopt when the call fails or the answer keeps growing.
template <typename Call>
std::optional<std::wstring> wideAnswer(Call call) {
    DWORD needed = call(nullptr, 0);
    for (int attempt = 0; attempt < 3 && needed != 0; ++attempt) {
        std::wstring buffer(needed, L'\0');
        const DWORD length = call(buffer.data(), needed);
        if (length == 0) return std::nullopt;
        if (length < needed) {
            buffer.resize(length);
            return buffer;
        }
        needed = length;  // changed in between: ask again with the new size
    }
    return std::nullopt;
}

}  // namespace

PathLookup Win32FileSystem::lookup(const std::string& path) const {
    if (path.empty() || hasWildcard(path)) return PathLookup::Missing;
    const DWORD attributes = GetFileAttributesW(utf8ToWide(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return PathLookup::Missing;
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? PathLookup::Folder : PathLookup::File;
}

std::optional<FileIdentity> Win32FileSystem::identity(const std::string& path) const {
    if (path.empty() || hasWildcard(path)) return std::nullopt;
    HandleGuard file{openForQuery(path)};
    if (file.handle == INVALID_HANDLE_VALUE) return std::nullopt;
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(file.handle, &info)) return std::nullopt;
    return FileIdentity{info.dwVolumeSerialNumber,
                        (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
}

std::optional<std::string> Win32FileSystem::currentDirectory() const {
    const std::optional<std::wstring> directory =
        wideAnswer([](wchar_t* buffer, DWORD size) { return GetCurrentDirectoryW(size, buffer); });
    if (!directory) return std::nullopt;
    return wideToUtf8(*directory);
}

std::optional<std::string> Win32FileSystem::currentDirectoryOfDrive(char letter) const {
    if (!((letter >= 'A' && letter <= 'Z') || (letter >= 'a' && letter <= 'z'))) return std::nullopt;
    // "X:" alone names the current directory of drive X.
    const wchar_t drive[3] = {static_cast<wchar_t>(letter), L':', L'\0'};
    const std::optional<std::wstring> full = wideAnswer(
        [&drive](wchar_t* buffer, DWORD size) { return GetFullPathNameW(drive, size, buffer, nullptr); });
    if (!full) return std::nullopt;
    std::string directory = wideToUtf8(*full);
    // Spelled like the process's current directory: a separator ends only a root.
    if (directory.size() > 3 && directory.back() == '\\') directory.pop_back();
    return directory;
}

std::optional<std::string> Win32FileSystem::realPath(const std::string& path) const {
    if (path.empty() || hasWildcard(path)) return std::nullopt;
    HandleGuard file{openForQuery(path)};
    if (file.handle == INVALID_HANDLE_VALUE) return std::nullopt;
    const DWORD flags = FILE_NAME_NORMALIZED | VOLUME_NAME_DOS;
    std::optional<std::wstring> final = wideAnswer([&file, flags](wchar_t* buffer, DWORD size) {
        return GetFinalPathNameByHandleW(file.handle, buffer, size, flags);
    });
    if (!final || final->empty()) {
        // Without the final name: the full path in its long spelling, which resolves
        // short names and letter case but no links.
        const std::wstring wide = utf8ToWide(path);
        const std::optional<std::wstring> full = wideAnswer([&wide](wchar_t* buffer, DWORD size) {
            return GetFullPathNameW(wide.c_str(), size, buffer, nullptr);
        });
        if (!full) return std::nullopt;
        final = wideAnswer(
            [&full](wchar_t* buffer, DWORD size) { return GetLongPathNameW(full->c_str(), buffer, size); });
        if (!final || final->empty()) return std::nullopt;
    }
    std::string result = wideToUtf8(*final);
    if (result.rfind("\\\\?\\UNC\\", 0) == 0) result.replace(0, 8, "\\\\");
    else if (result.rfind("\\\\?\\", 0) == 0) result.erase(0, 4);
    // Spelled like the other answers: a separator ends only a root.
    if (result.size() > 3 && (result.back() == '\\' || result.back() == '/')) result.pop_back();
    return result;
}

std::optional<std::vector<uint8_t>> Win32FileSystem::readFile(const std::string& path) const {
    if (path.empty() || hasWildcard(path)) return std::nullopt;
    HandleGuard file{CreateFileW(utf8ToWide(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)};
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
