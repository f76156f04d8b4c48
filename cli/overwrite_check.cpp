// cli/overwrite_check.cpp -- see overwrite_check.h.
#include "cli/overwrite_check.h"

#include <sys/stat.h>

#include "cli/console.h"
#include "cli/exit_status.h"
#include "frontend/source_destination.h"

namespace {

// A folder is left to the rename, which fails on it without harm.
bool isSpecialFile(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && !S_ISREG(info.st_mode) && !S_ISDIR(info.st_mode);
}

int refuseExisting(const std::string& path, const std::string& prefix) {
    console::printError(prefix + path + " already exists; use -y (--force) to overwrite it.");
    return ExitRefused;
}

int refuseSpecial(const std::string& path, const std::string& prefix) {
    console::printError(prefix + path + " is not a regular file; vimlo replaces only regular files.");
    return ExitRefused;
}

}  // namespace

int confirmOverwrite(const std::string& path, bool force, const std::string& prefix,
                     const FileSystem& files, bool& mayReplace) {
    mayReplace = false;
    if (isSpecialFile(path)) return refuseSpecial(path, prefix);
    if (force) {
        mayReplace = true;
        return ExitSuccess;
    }
    if (files.lookup(path) == PathLookup::Missing) return ExitSuccess;
    if (!console::canAsk()) return refuseExisting(path, prefix);
    ConsoleMessages messages(prefix);
    if (!checkOverwrite(false, path, files, messages))
        return console::interruptSignal() != 0 ? ExitCanceled : ExitRefused;
    mayReplace = true;
    return ExitSuccess;
}

int commitStaged(StagedFile& staged, bool mayReplace, const std::string& path,
                 const std::string& prefix, int failed) {
    switch (staged.commit(mayReplace)) {
        case StagedFile::Commit::Done: return ExitSuccess;
        case StagedFile::Commit::Exists: return refuseExisting(path, prefix);
        case StagedFile::Commit::NotRegular: return refuseSpecial(path, prefix);
        default: return failed;
    }
}
