// cli/overwrite_check.cpp -- see overwrite_check.h.
#include "cli/overwrite_check.h"

#include "cli/console.h"
#include "cli/exit_status.h"
#include "frontend/source_destination.h"

int confirmOverwrite(const std::string& path, bool force, const std::string& prefix,
                     const FileSystem& files) {
    if (force || files.lookup(path) == PathLookup::Missing) return ExitSuccess;
    if (!console::canAsk()) {
        console::printError(prefix + path + " already exists; use -y (--force) to overwrite it.");
        return ExitRefused;
    }
    ConsoleMessages messages(prefix);
    if (!checkOverwrite(false, path, files, messages))
        return console::interruptSignal() != 0 ? ExitCanceled : ExitRefused;
    return ExitSuccess;
}
