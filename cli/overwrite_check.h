// cli/overwrite_check.h -- the one place vimlo decides whether an existing file may be
// replaced: by `convert` for each destination and preview page, and by `preview`. The
// front end's overwrite question is asked only when someone can answer it; a script is
// refused with a hint at -y instead of waiting on a question nobody reads.
#pragma once
#include <string>

#include "frontend/file_system.h"

// ExitSuccess when `path` is missing, `force` is set or the user agrees; otherwise shows
// why (with `prefix` in front of each message) and returns ExitRefused, or ExitCanceled
// when an interrupt ended the question.
int confirmOverwrite(const std::string& path, bool force, const std::string& prefix,
                     const FileSystem& files);
