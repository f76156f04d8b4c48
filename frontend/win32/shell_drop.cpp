// frontend/win32/shell_drop.cpp -- see shell_drop.h.
#include "frontend/win32/shell_drop.h"

#include <objbase.h>
#include <objidl.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <vector>

#include "frontend/path_rules.h"

std::optional<std::string> firstDroppedName(HDROP drop, MessageSink& messages) {
    if (drop == nullptr || DragQueryFileA(drop, 0xFFFFFFFF, nullptr, 0) == 0) return std::nullopt;
    const UINT needed = DragQueryFileA(drop, 0, nullptr, 0);
    if (needed == 0) return std::nullopt;  // an empty name drops nothing
    char name[MAX_PATH] = {};
    const UINT got = DragQueryFileA(drop, 0, name, sizeof name);
    // A name longer than a path may be cannot be the source; a cut one would name
    // another file.
    if (got != needed || got >= sizeof name) {
        messages.show(MsgDragQueryFailed, messageText(MsgDragQueryFailed, std::to_string(got)));
        return std::nullopt;
    }
    return std::string(name, got);
}

namespace {

// Releases a COM interface on every path out.
template <typename Interface>
struct ComRef {
    Interface* pointer = nullptr;
    ~ComRef() {
        if (pointer != nullptr) pointer->Release();
    }
};

std::optional<DWORD> shellAttributes(const std::string& path, DWORD wanted) {
    SHFILEINFOA info = {};
    info.dwAttributes = wanted;
    if (SHGetFileInfoA(path.c_str(), 0, &info, sizeof info, SHGFI_ATTRIBUTES | SHGFI_ATTR_SPECIFIED) == 0)
        return std::nullopt;
    return info.dwAttributes;
}

bool hasShortcutExtension(const std::string& path) {
    return equalIgnoringCase(splitPath(path, PathFlavor::Windows).extension, ".lnk");
}

}  // namespace

std::optional<std::string> resolveShortcut(const std::string& path) {
    const int wideLength = MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, nullptr, 0);
    if (wideLength <= 0) return std::nullopt;
    std::vector<wchar_t> widePath(static_cast<size_t>(wideLength));
    MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, widePath.data(), wideLength);

    ComRef<IShellLinkA> link;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                reinterpret_cast<void**>(&link.pointer))))
        return std::nullopt;
    ComRef<IPersistFile> file;
    if (FAILED(link.pointer->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file.pointer))))
        return std::nullopt;
    if (FAILED(file.pointer->Load(widePath.data(), STGM_READ))) return std::nullopt;
    // No window and no search: a drop must not hang on a dialog about a lost target.
    link.pointer->Resolve(nullptr, SLR_NO_UI | SLR_NOSEARCH | SLR_NOUPDATE);
    char target[MAX_PATH] = {};
    if (link.pointer->GetPath(target, sizeof target, nullptr, 0) != S_OK || target[0] == '\0')
        return std::nullopt;
    return std::string(target);
}

std::optional<std::string> acceptDroppedPath(const std::string& path) {
    std::string candidate = path;
    const std::optional<DWORD> first = shellAttributes(path, SFGAO_LINK);
    if (!first) return std::nullopt;
    if ((*first & SFGAO_LINK) != 0 || hasShortcutExtension(path)) {
        std::optional<std::string> target = resolveShortcut(path);
        if (!target) return std::nullopt;
        candidate = std::move(*target);
    }
    const std::optional<DWORD> kind = shellAttributes(candidate, SFGAO_FILESYSTEM | SFGAO_FOLDER);
    if (!kind || (*kind & SFGAO_FILESYSTEM) == 0 || (*kind & SFGAO_FOLDER) != 0) return std::nullopt;
    return candidate;
}
