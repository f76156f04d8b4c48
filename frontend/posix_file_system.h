// frontend/posix_file_system.h -- the FileSystem on POSIX calls, for the command line and
// the native tests. Identity is the device and inode, so links and other spellings of one
// file compare equal. There are no drives.
#pragma once
#ifndef _WIN32
#include "frontend/file_system.h"

class PosixFileSystem : public FileSystem {
public:
    PathLookup lookup(const std::string& path) const override;
    std::optional<FileIdentity> identity(const std::string& path) const override;
    std::optional<std::string> currentDirectory() const override;
    std::optional<std::string> currentDirectoryOfDrive(char letter) const override;
    std::optional<std::vector<uint8_t>> readFile(const std::string& path) const override;
    // realpath(3).
    std::optional<std::string> realPath(const std::string& path) const override;
};
#endif
