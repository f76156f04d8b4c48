// frontend/page_confinement.h -- an IoOps wrapper that decides which linked pages the
// engine may read. A saved web page is input from anyone: its links, frames and <BASE>
// can name any file the user can read, and whatever opens ends up in a book that gets
// shared. So a linked page is opened only when its real path (symbolic links resolved)
// lies in the root page's folder or below it, with no hidden name (starting with ".")
// below that folder; and a linked file that is no page (binary content, a size the
// engine's 32-bit positions cannot address or that cannot be found) is skipped rather
// than copied in as garbage or failing the whole site. Refused and skipped pages look to
// the engine like missing ones. The root source is always opened as it is.
//
// Only openStream in mode 0 is changed; every other slot, and every open of the source
// path itself, goes to the inner table untouched. The wrapper owns nothing of the inner
// table and keeps no handle of its own, so it stacks with other wrappers either way.
#pragma once
#include <optional>
#include <string>
#include <vector>

#include "engine/io_ops.h"
#include "frontend/file_system.h"
#include "frontend/path_rules.h"

// The bytes of a linked file looked at to tell a page from a binary file.
inline constexpr int32_t kPageSniffBytes = 1024;

struct PageConfinement {
    IoOps inner{};                   // borrowed for the whole conversion
    const FileSystem* files = nullptr;
    PathFlavor flavor = PathFlavor::Posix;
    std::string sourcePath;          // exactly as the engine gets it
    // The real path of the source's folder in comparable spelling ("/" separators, case
    // folded in the Windows flavour), ending with "/"; nullopt when it could not be
    // found, and then every linked page is refused.
    std::optional<std::string> rootFolder;
    bool followLinksOutside = false; // lifts the folder rule, not the page checks
    // Linked pages refused by the folder rule, and linked files skipped as no pages, each
    // path once, in the order the engine asked for them.
    std::vector<std::string> outsideFolder;
    std::vector<std::string> notPages;
};

// Fills `state` for a conversion of `sourcePath` (absolute, as handed to the engine)
// over `inner`; `files` must outlive the conversion. The root folder is looked up here,
// once, through `files`.
void preparePageConfinement(PageConfinement& state, const IoOps& inner, const FileSystem& files,
                            PathFlavor flavor, const std::string& sourcePath,
                            bool followLinksOutside);

// The table to hand to the engine; its userData points at `state`, which must outlive it.
IoOps pageConfinementOps(PageConfinement& state);

// Whether `realPath` (as FileSystem::realPath gives it) lies in `rootFolder` (as in
// PageConfinement) or below it with no name below it starting with ".".
bool insideRootFolder(const std::string& realPath, const std::string& rootFolder, PathFlavor flavor);

// Whether the first bytes of a linked file mark it as no page: a well-known binary
// signature (images, PDF, archives and compressed files, executables), or a zero byte
// among them unless they start with a UTF-16 byte-order mark.
bool looksBinary(const uint8_t* bytes, int32_t length);
