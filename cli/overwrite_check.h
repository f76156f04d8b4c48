// cli/overwrite_check.h -- the one place vimlo decides whether an existing file may be
// replaced: by `convert` for each destination and preview page, and by `preview`. The
// front end's overwrite question is asked only when someone can answer it; a script is
// refused with a hint at -y instead of waiting on a question nobody reads. Only a regular
// file (or a link to one) is ever replaced: a FIFO or a device is refused even with -y.
#pragma once
#include <string>

#include "cli/staged_file.h"
#include "frontend/file_system.h"

// ExitSuccess when `path` is missing, `force` is set or the user agrees; otherwise shows
// why (with `prefix` in front of each message) and returns ExitRefused, or ExitCanceled
// when an interrupt ended the question. `mayReplace` tells whether the file may then
// be put in place over one that exists by then: only with `force` or the user's yes, so
// a file that appears meanwhile is kept.
int confirmOverwrite(const std::string& path, bool force, const std::string& prefix,
                     const FileSystem& files, bool& mayReplace);

// Puts `staged` in place at `path` and answers with the exit status. A refusal at that
// moment (a file appeared, or a FIFO or device stands there) is shown as the checks
// before converting show it; `failed` is returned for any other failure, unshown.
int commitStaged(StagedFile& staged, bool mayReplace, const std::string& path,
                 const std::string& prefix, int failed);
