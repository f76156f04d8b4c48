// frontend/win32/win32_file_system.h -- the core's FileSystem on Windows calls. Identity
// is the volume serial number and file index, so two spellings of one file (short names,
// other case, mapped drives of one volume) compare equal. Paths in and out are UTF-8,
// and reach Windows through the wide calls.
#pragma once
#include "frontend/file_system.h"

// Files larger than this are not read whole; users.dat is a few hundred bytes.
inline constexpr uint64_t kMaxWholeFileBytes = 16u << 20;

class Win32FileSystem : public FileSystem {
public:
    PathLookup lookup(const std::string& path) const override;
    std::optional<FileIdentity> identity(const std::string& path) const override;
    std::optional<std::string> currentDirectory() const override;
    std::optional<std::string> currentDirectoryOfDrive(char letter) const override;
    // Read with CreateFileW (read access, shared reading, existing file only) and ReadFile.
    std::optional<std::vector<uint8_t>> readFile(const std::string& path) const override;
    // GetFinalPathNameByHandleW on the opened file or folder, with its "\\?\" prefix
    // taken off ("\\?\UNC\srv\share" back to "\\srv\share"); where that is not to be
    // had, the full path's long spelling (links then unresolved).
    std::optional<std::string> realPath(const std::string& path) const override;
};
