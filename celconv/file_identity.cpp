// celconv/file_identity.cpp -- see file_identity.h.
#include "celconv/file_identity.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>
#endif

namespace celconv {

// What looking at a name found.
enum class Look { Found, Missing, Unknown };

#ifdef _WIN32
static const char kSeparators[] = "/\\:";  // "C:name" is name in the current folder of drive C
#else
static const char kSeparators[] = "/";
#endif

std::string folderPart(const std::string& path) {
    const size_t last = path.find_last_of(kSeparators);
    return last == std::string::npos ? std::string() : path.substr(0, last + 1);
}

#ifdef _WIN32

std::string followLinks(const std::string& path) { return path; }

// Volume serial number and file index of an existing file or folder on a disk.
static Look lookAt(const std::string& path, FileIdentity& identity) {
    const HANDLE handle = CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_FILE_NOT_FOUND ? Look::Missing : Look::Unknown;
    BY_HANDLE_FILE_INFORMATION information;
    const bool known =
        GetFileType(handle) == FILE_TYPE_DISK && GetFileInformationByHandle(handle, &information) != 0;
    CloseHandle(handle);
    if (!known) return Look::Unknown;  // a device such as NUL is no file to keep
    identity.volume = information.dwVolumeSerialNumber;
    identity.index = (uint64_t{information.nFileIndexHigh} << 32) | information.nFileIndexLow;
    return Look::Found;
}

static std::string comparableName(std::string name) {
    for (char& c : name) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return name;
}

#else

std::string followLinks(const std::string& path) {
    std::string current = path;
    for (int hop = 0; hop < 40; ++hop) {
        struct stat status;
        if (::lstat(current.c_str(), &status) != 0 || !S_ISLNK(status.st_mode)) return current;
        std::vector<char> target(static_cast<size_t>(status.st_size > 0 ? status.st_size : 255) + 1);
        const ssize_t length = ::readlink(current.c_str(), target.data(), target.size());
        if (length <= 0 || static_cast<size_t>(length) >= target.size()) return path;
        const std::string link(target.data(), static_cast<size_t>(length));
        current = link[0] == '/' ? link : folderPart(current) + link;
    }
    return path;  // links that go round: let the opening fail on its own
}

// Device and inode of an existing file or folder. A device or pipe is no file to keep
// (`2 db.pdb /dev/null /dev/null` checks a database and keeps nothing), so it has none.
static Look lookAt(const std::string& path, FileIdentity& identity) {
    struct stat status;
    if (::stat(path.c_str(), &status) != 0) return errno == ENOENT ? Look::Missing : Look::Unknown;
    if (!S_ISREG(status.st_mode) && !S_ISDIR(status.st_mode)) return Look::Unknown;
    identity.volume = static_cast<uint64_t>(status.st_dev);
    identity.index = static_cast<uint64_t>(status.st_ino);
    return Look::Found;
}

static std::string comparableName(const std::string& name) { return name; }

#endif

FileIdentity identifyFile(const std::string& path) {
    FileIdentity identity;
    if (path.empty()) return identity;
    const Look look = lookAt(path, identity);
    if (look == Look::Found) {
        identity.known = identity.exists = true;
        return identity;
    }
    if (look == Look::Unknown) return identity;
    // Not there yet: where it would be created (a dangling link creates the file it names).
    const std::string target = followLinks(path);
    const std::string folder = folderPart(target);
    const std::string name = target.substr(folder.size());
    if (name.empty() || name == "." || name == "..") return identity;
    identity.known = lookAt(folder + ".", identity) == Look::Found;
    identity.name = comparableName(name);
    return identity;
}

bool sameFile(const FileIdentity& a, const FileIdentity& b) {
    return a.known && b.known && a.exists == b.exists && a.volume == b.volume && a.index == b.index &&
           a.name == b.name;
}

}  // namespace celconv
