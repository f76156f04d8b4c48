// cli/staged_file.cpp -- see staged_file.h.
#include "cli/staged_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <vector>

bool StagedFile::create(const std::string& destination, mode_t umaskBits) {
    discard();
    final_ = destination;
    struct stat info {};
    if (lstat(destination.c_str(), &info) == 0 && S_ISLNK(info.st_mode)) {
        // Renaming over the link would replace the link, not the file it names.
        char resolved[PATH_MAX];
        if (realpath(destination.c_str(), resolved) != nullptr) final_ = resolved;
    }
    mode_ = 0666 & ~umaskBits;
    if (stat(final_.c_str(), &info) == 0 && S_ISREG(info.st_mode)) mode_ = info.st_mode & 07777;

    const size_t slash = final_.rfind('/');
    const std::string folder = slash == std::string::npos ? "" : final_.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? final_ : final_.substr(slash + 1);
    // Hidden, and in the same folder so that the rename stays on one file system.
    std::string pattern = folder + "." + name + ".XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    const int descriptor = mkstemp(buffer.data());
    if (descriptor < 0) return false;
    temporary_ = buffer.data();
    if (close(descriptor) != 0) {
        discard();
        return false;
    }
    return true;
}

bool StagedFile::commit() {
    if (temporary_.empty()) return false;
    // Only now: a read-only mode would have kept the engine from opening the file.
    if (chmod(temporary_.c_str(), mode_) != 0 || std::rename(temporary_.c_str(), final_.c_str()) != 0) {
        discard();
        return false;
    }
    temporary_.clear();
    return true;
}

void StagedFile::discard() {
    if (temporary_.empty()) return;
    unlink(temporary_.c_str());
    temporary_.clear();
}
