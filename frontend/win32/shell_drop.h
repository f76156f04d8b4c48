// frontend/win32/shell_drop.h -- files dropped on the main window: the first dropped
// name read whole, a shortcut replaced by its target (an Internet shortcut by its web
// address), and only files accepted. Names are UTF-8.
#pragma once
#include <windows.h>
#include <shellapi.h>

#include <optional>
#include <string>

#include "frontend/messages.h"

// The first name of the drop. nullopt when the drop holds none, or when the name could
// not be read completely (after showing MsgDragQueryFailed with the number of characters
// read). Does not release the drop.
std::optional<std::string> firstDroppedName(HDROP drop, MessageSink& messages);

// The target of the shortcut at `path`; nullopt when it cannot be loaded or has no
// file-system target. Needs COM initialised on the calling thread.
std::optional<std::string> resolveShortcut(const std::string& path);

// What a drop of `path` puts into the source field: the path itself or, for a shortcut,
// its target; nullopt unless the shell reports a file-system object that is not a folder.
// An Internet shortcut (".url", as a browser saves a link; read whole up to
// kMaxWholeFileBytes) puts the http(s) address it names, or nothing.
std::optional<std::string> acceptDroppedPath(const std::string& path);
