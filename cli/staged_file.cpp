// cli/staged_file.cpp -- see staged_file.h.
#include "cli/staged_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

// Makes a hidden unique name beside `final` with mkstemp; -1 when it cannot.
int makeHidden(const std::string& folder, const std::string& name, std::string& path) {
    const std::string pattern = folder + "." + name + ".XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    const int descriptor = mkstemp(buffer.data());
    if (descriptor >= 0) path = buffer.data();
    return descriptor;
}

// Some file systems cannot sync a folder (EINVAL); the rename itself is still done then.
bool syncFolder(const std::string& folder) {
    const int descriptor = open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY);
    if (descriptor < 0) return true;
    const bool synced = fsync(descriptor) == 0 || errno == EINVAL;
    close(descriptor);
    return synced;
}

#if defined(__linux__) && defined(RENAME_NOREPLACE)
bool renameNoReplace(const char* from, const char* to) {
    if (renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) == 0) return true;
    if (errno != EINVAL && errno != ENOSYS) return false;
    // The file system cannot: a hard link fails just as surely on an existing name.
    if (link(from, to) != 0) return false;
    unlink(from);
    return true;
}
#else
bool renameNoReplace(const char* from, const char* to) {
    if (link(from, to) != 0) return false;
    unlink(from);
    return true;
}
#endif

std::string folderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? "" : path.substr(0, slash + 1);
}

}  // namespace

bool StagedFile::create(const std::string& destination, mode_t umaskBits) {
    discard();
    error_ = 0;
    final_ = destination;
    struct stat info {};
    if (lstat(destination.c_str(), &info) == 0 && S_ISLNK(info.st_mode)) {
        // Renaming over the link would replace the link, not the file it names.
        char resolved[PATH_MAX];
        if (realpath(destination.c_str(), resolved) != nullptr) final_ = resolved;
    }
    mode_ = 0666 & ~umaskBits;
    if (stat(final_.c_str(), &info) == 0 && S_ISREG(info.st_mode)) mode_ = info.st_mode & 07777;

    // In the destination's folder, so that naming it stays on one file system.
    const std::string folder = folderOf(final_);
#ifdef O_TMPFILE
    descriptor_ = open(folder.empty() ? "." : folder.c_str(), O_TMPFILE | O_RDWR, 0600);
    if (descriptor_ >= 0) {
        // The writer reopens the unnamed file through /proc; without /proc it cannot.
        openPath_ = "/proc/self/fd/" + std::to_string(descriptor_);
        struct stat held {}, reached {};
        if (fstat(descriptor_, &held) == 0 && stat(openPath_.c_str(), &reached) == 0 &&
            held.st_ino == reached.st_ino && held.st_dev == reached.st_dev)
            return true;
        discard();
    }
#endif
    const int descriptor = makeHidden(folder, final_.substr(folder.size()), temporary_);
    if (descriptor < 0) {
        error_ = errno;
        return false;
    }
    openPath_ = temporary_;
    if (close(descriptor) != 0) {
        error_ = errno;
        discard();
        return false;
    }
    return true;
}

StagedFile::Commit StagedFile::commit(bool replace) {
    if (openPath_.empty()) return Commit::Failed;
    struct stat there {};
    if (replace && stat(final_.c_str(), &there) == 0 && !S_ISREG(there.st_mode) &&
        !S_ISDIR(there.st_mode)) {
        discard();
        return Commit::NotRegular;
    }
    // Only now: a read-only mode would have kept the writer from opening the file. The
    // data reaches the disk before the name does, so a crash leaves the old file or the
    // whole new one.
    bool ready = false;
    if (descriptor_ >= 0) {
        ready = fchmod(descriptor_, mode_) == 0 && fsync(descriptor_) == 0;
    } else {
        const int descriptor = open(temporary_.c_str(), O_RDONLY);
        ready = descriptor >= 0 && fchmod(descriptor, mode_) == 0 && fsync(descriptor) == 0;
        if (descriptor >= 0) close(descriptor);
    }
    if (!ready) {
        error_ = errno;
        discard();
        return Commit::Failed;
    }

    bool placed = false;
    if (descriptor_ >= 0 && !replace) {
        // Naming the unnamed file fails on an existing name: that is the no-overwrite check.
        placed = linkat(AT_FDCWD, openPath_.c_str(), AT_FDCWD, final_.c_str(), AT_SYMLINK_FOLLOW) == 0;
    } else if (descriptor_ >= 0) {
        // A link cannot replace, so the file takes a hidden name just long enough to be
        // renamed over the old one.
        const std::string folder = folderOf(final_);
        for (int attempt = 0; !placed && attempt < 16; ++attempt) {
            std::string hidden;
            const int probe = makeHidden(folder, final_.substr(folder.size()), hidden);
            if (probe < 0) break;
            close(probe);
            unlink(hidden.c_str());
            if (linkat(AT_FDCWD, openPath_.c_str(), AT_FDCWD, hidden.c_str(), AT_SYMLINK_FOLLOW) != 0) {
                if (errno == EEXIST) continue;
                break;
            }
            placed = std::rename(hidden.c_str(), final_.c_str()) == 0;
            if (!placed) {
                unlink(hidden.c_str());
                break;
            }
        }
    } else {
        placed = replace ? std::rename(temporary_.c_str(), final_.c_str()) == 0
                         : renameNoReplace(temporary_.c_str(), final_.c_str());
        if (placed) temporary_.clear();
    }
    const int error = errno;
    if (!placed) {
        error_ = error;
        discard();
        return error == EEXIST ? Commit::Exists : Commit::Failed;
    }
    discard();  // closes the unnamed file's descriptor; the name now holds it
    if (syncFolder(folderOf(final_))) return Commit::Done;
    error_ = errno;
    return Commit::Failed;
}

void StagedFile::discard() {
    if (!temporary_.empty()) unlink(temporary_.c_str());
    temporary_.clear();
    if (descriptor_ >= 0) close(descriptor_);
    descriptor_ = -1;
    openPath_.clear();
}
