// frontend/posix_file_system.cpp -- see posix_file_system.h.
#ifndef _WIN32
#include "frontend/posix_file_system.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <memory>

PathLookup PosixFileSystem::lookup(const std::string& path) const {
    struct stat info;
    if (stat(path.c_str(), &info) != 0) return PathLookup::Missing;
    return S_ISDIR(info.st_mode) ? PathLookup::Folder : PathLookup::File;
}

std::optional<FileIdentity> PosixFileSystem::identity(const std::string& path) const {
    struct stat info;
    if (stat(path.c_str(), &info) != 0) return std::nullopt;
    return FileIdentity{static_cast<uint64_t>(info.st_dev), static_cast<uint64_t>(info.st_ino)};
}

std::optional<std::string> PosixFileSystem::currentDirectory() const {
    std::string buffer(256, '\0');
    for (;;) {
        if (getcwd(buffer.data(), buffer.size()) != nullptr) {
            buffer.resize(buffer.find('\0'));
            return buffer;
        }
        if (errno != ERANGE) return std::nullopt;
        buffer.resize(buffer.size() * 2);
    }
}

std::optional<std::string> PosixFileSystem::currentDirectoryOfDrive(char) const {
    return std::nullopt;
}

std::optional<std::vector<uint8_t>> PosixFileSystem::readFile(const std::string& path) const {
    if (lookup(path) != PathLookup::File) return std::nullopt;
    const std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.c_str(), "rb"), std::fclose);
    if (!file) return std::nullopt;
    std::vector<uint8_t> content;
    uint8_t chunk[4096];
    size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, file.get())) > 0)
        content.insert(content.end(), chunk, chunk + got);
    if (std::ferror(file.get())) return std::nullopt;
    return content;
}

std::optional<std::string> PosixFileSystem::realPath(const std::string& path) const {
    const std::unique_ptr<char, void (*)(void*)> resolved(::realpath(path.c_str(), nullptr), std::free);
    if (!resolved) return std::nullopt;
    return std::string(resolved.get());
}
#endif
