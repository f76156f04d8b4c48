// celconv/file_identity.h -- whether two file names reach the same file, however they are
// spelled or linked, so the driver can refuse a run whose output would overwrite one of
// its inputs. Names are taken as the C library's file streams take them (on Windows the
// ANSI code page, as std::fopen does).
#pragma once
#include <cstdint>
#include <string>

namespace celconv {

struct FileIdentity {
    bool known = false;     // false: neither the file nor its folder could be looked at
    bool exists = false;
    uint64_t volume = 0;    // device (Windows: volume serial number) of the file, or of its folder
    uint64_t index = 0;     // inode (Windows: file index) of the file, or of its folder
    std::string name;       // a name not yet there: its last part (Windows: ASCII lower case)
};

// Identifies what `path` names. An existing file (symbolic links followed) is its device
// and inode, or on Windows its volume serial number and file index; a name that is not
// there yet is its folder's identity and its last part, so two spellings of one new file
// are the same file too.
FileIdentity identifyFile(const std::string& path);

// True when both identities are known and name the same file.
bool sameFile(const FileIdentity& a, const FileIdentity& b);

// `path` with symbolic links at its end followed to the name they point to, which may not
// exist yet; `path` itself when it is no link or the links go round. Windows: `path`.
std::string followLinks(const std::string& path);

// The part of `path` up to and including its last folder separator ("" for a bare name).
std::string folderPart(const std::string& path);

}  // namespace celconv
