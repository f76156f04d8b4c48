// celconv/staged_output.cpp -- see staged_output.h.
#include "celconv/staged_output.h"

#include <cstdio>

#include "celconv/file_identity.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#endif

namespace celconv {

namespace {

enum class Existing {
    None,      // nothing there yet
    Regular,   // a file that may be written: it is replaced
    Special,   // a device or pipe: written directly
    Unusable,  // a folder, a file without write permission, an unreachable name
};

enum class Creation { Created, Taken, Failed };

#ifdef _WIN32

struct Kept {};  // the replacement takes its attributes from the staged file

Existing examine(const std::string& path, Kept&) {
    // Opening for writing without changing anything tells whether the file may be written.
    const HANDLE handle = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return GetLastError() == ERROR_FILE_NOT_FOUND ? Existing::None : Existing::Unusable;
    }
    const DWORD type = GetFileType(handle);
    CloseHandle(handle);
    return type == FILE_TYPE_DISK ? Existing::Regular : Existing::Special;
}

Creation createExclusive(const std::string& name, const Kept&) {
    const HANDLE handle =
        CreateFileA(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        return error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS ? Creation::Taken : Creation::Failed;
    }
    CloseHandle(handle);
    return Creation::Created;
}

bool syncToDisk(const std::string& name) {
    const HANDLE handle = CreateFileA(name.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return false;
    const bool synced = FlushFileBuffers(handle) != 0;
    CloseHandle(handle);
    return synced;
}

bool replaceWith(const std::string& staged, const std::string& target) {
    return MoveFileExA(staged.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

unsigned long processNumber() { return GetCurrentProcessId(); }

#else

struct Kept {
    bool present = false;
    struct stat status {};
};

Existing examine(const std::string& path, Kept& kept) {
    if (::stat(path.c_str(), &kept.status) != 0) return errno == ENOENT ? Existing::None : Existing::Unusable;
    if (S_ISDIR(kept.status.st_mode)) return Existing::Unusable;
    if (!S_ISREG(kept.status.st_mode)) return Existing::Special;
    // Opening for writing without truncating tells whether the file may be written.
    const int descriptor = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
    if (descriptor < 0) return Existing::Unusable;
    ::close(descriptor);
    kept.present = true;
    return Existing::Regular;
}

Creation createExclusive(const std::string& name, const Kept& kept) {
    const int descriptor = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (descriptor < 0) return errno == EEXIST ? Creation::Taken : Creation::Failed;
    if (kept.present) {
        // The replaced file's owner (where allowed) and permission bits, as truncating it
        // in place would have kept them.
        if (::fchown(descriptor, kept.status.st_uid, kept.status.st_gid) != 0) {
            // not allowed for another user's file: the staged file stays ours
        }
        if (::fchmod(descriptor, kept.status.st_mode & 07777) != 0) {
            // the bits of a new file then
        }
    }
    ::close(descriptor);
    return Creation::Created;
}

bool syncToDisk(const std::string& name) {
    const int descriptor = ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
    if (descriptor < 0) return false;
    const bool synced = ::fsync(descriptor) == 0 || errno == EINVAL;  // EINVAL: nothing to sync
    ::close(descriptor);
    return synced;
}

bool replaceWith(const std::string& staged, const std::string& target) {
    if (std::rename(staged.c_str(), target.c_str()) != 0) return false;
    // The new name should outlive a crash as the bytes do; if the folder cannot be synced
    // the file is in place all the same.
    const int folder = ::open((folderPart(target) + ".").c_str(), O_RDONLY | O_CLOEXEC);
    if (folder >= 0) {
        ::fsync(folder);
        ::close(folder);
    }
    return true;
}

unsigned long processNumber() { return static_cast<unsigned long>(::getpid()); }

#endif

}  // namespace

StagedOutput::~StagedOutput() { discard(); }

bool StagedOutput::open(const std::string& path) {
    target_ = followLinks(path);
    Kept kept;
    switch (examine(target_, kept)) {
    case Existing::Unusable:
        return false;
    case Existing::Special:
        stream_.open(target_, std::ios::binary | std::ios::trunc);
        return stream_.is_open();
    case Existing::None:
    case Existing::Regular:
        break;
    }
    const std::string folder = folderPart(target_);
    const std::string stem = folder + "celconv-" + std::to_string(processNumber()) + "-";
    for (int attempt = 0; staged_.empty(); ++attempt) {
        const std::string name = stem + std::to_string(attempt) + ".tmp";
        const Creation creation = createExclusive(name, kept);
        if (creation == Creation::Failed || (creation == Creation::Taken && attempt == 99)) return false;
        if (creation == Creation::Created) staged_ = name;
    }
    stream_.open(staged_, std::ios::binary | std::ios::trunc);
    if (!stream_.is_open()) {
        discard();
        return false;
    }
    return true;
}

bool StagedOutput::finish() {
    if (finished_) return written_;
    finished_ = true;
    stream_.close();  // fails when the last bytes cannot be written
    written_ = !stream_.fail();
    if (written_ && !staged_.empty()) written_ = syncToDisk(staged_);
    return written_;
}

bool StagedOutput::commit() {
    if (!finish() || (!staged_.empty() && !replaceWith(staged_, target_))) {
        discard();
        return false;
    }
    committed_ = true;
    return true;
}

void StagedOutput::discard() {
    if (committed_ || staged_.empty()) return;
    if (stream_.is_open()) stream_.close();
    std::remove(staged_.c_str());
    staged_.clear();
}

}  // namespace celconv
