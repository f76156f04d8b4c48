// cli/preview_command.h -- `vimlo preview`, and the preview page `vimlo convert
// --preview` writes beside each new database: the database read back and laid out as
// the handheld shows it (see cli/preview.h).
#pragma once
#include <sys/types.h>

#include <string>

struct PreviewRequest {
    std::string book;
    std::string output;  // empty: beside the database; "-": standard output; or a folder
    bool force = false;  // replace an existing page without asking
    mode_t umaskBits = 022;
};
// Writes the database's preview page; returns the exit status. It refuses, writing
// nothing, to replace the database itself, or an existing file unless forced or the
// user agrees.
int runPreview(const PreviewRequest& request);

// Where the preview of `bookPath` goes by default: beside it, with ".html" in place of
// its extension.
std::string previewPathFor(const std::string& bookPath);
// Renders the database at `bookPath` and writes the page to `pagePath`, replacing what is
// there only once the page is complete, and only when `replace` (the caller's checks and
// question allowed it); a file that appeared meanwhile is refused then. Returns the exit
// status after showing any failure.
int writePreview(const std::string& bookPath, const std::string& pagePath, bool replace,
                 mode_t umaskBits);
