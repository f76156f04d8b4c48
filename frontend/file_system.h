// frontend/file_system.h -- what the core asks of the file system: whether a path names
// a folder or a file, which file it is and where it really lies, the current
// directories, and whole small files.
// The Windows program answers with its own calls, the command line with PosixFileSystem,
// tests with a fake.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

enum class PathLookup { Missing, Folder, File };

// Names one file whatever path reaches it (volume and file number, or device and inode).
struct FileIdentity {
    uint64_t volume = 0;
    uint64_t file = 0;
    bool operator==(const FileIdentity&) const = default;
};

class FileSystem {
public:
    virtual ~FileSystem() = default;
    // What exists at `path`, following links; Missing when it cannot be looked up.
    virtual PathLookup lookup(const std::string& path) const = 0;
    // The identity of the existing file or folder at `path`; nullopt when there is none or
    // the platform cannot tell.
    virtual std::optional<FileIdentity> identity(const std::string& path) const = 0;
    // The process's current directory, absolute.
    virtual std::optional<std::string> currentDirectory() const = 0;
    // The current directory of drive `letter` ("C:\work"); nullopt on platforms without
    // drives or when the drive has none.
    virtual std::optional<std::string> currentDirectoryOfDrive(char letter) const = 0;
    // The file's whole content; nullopt when it cannot be opened or read.
    virtual std::optional<std::vector<uint8_t>> readFile(const std::string& path) const = 0;
    // The absolute path of the existing file or folder at `path` with every symbolic link
    // (on Windows also junction, short name and letter case) resolved, as the platform
    // spells it, with no separator at its end except a root's; nullopt when there is none.
    virtual std::optional<std::string> realPath(const std::string& path) const = 0;
};
