// frontend/win32/shell_drop.cpp -- see shell_drop.h.
#include "frontend/win32/shell_drop.h"

#include <objbase.h>
#include <objidl.h>
#include <shlobj.h>
#include <shobjidl.h>

#include "frontend/path_rules.h"
#include "frontend/web_address.h"
#include "frontend/win32/wide_text.h"
#include "frontend/win32/win32_file_system.h"

std::optional<std::string> firstDroppedName(HDROP drop, MessageSink& messages) {
    if (drop == nullptr || DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0) == 0) return std::nullopt;
    const UINT needed = DragQueryFileW(drop, 0, nullptr, 0);
    if (needed == 0) return std::nullopt;  // an empty name drops nothing
    wchar_t name[MAX_PATH] = {};
    const UINT capacity = sizeof name / sizeof name[0];
    const UINT got = DragQueryFileW(drop, 0, name, capacity);
    // A name longer than a path may be cannot be the source; a cut one would name
    // another file.
    if (got != needed || got >= capacity) {
        messages.show(MsgDragQueryFailed, messageText(MsgDragQueryFailed, std::to_string(got)));
        return std::nullopt;
    }
    return wideToUtf8(name, got);
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
    SHFILEINFOW info = {};
    info.dwAttributes = wanted;
    if (SHGetFileInfoW(utf8ToWide(path).c_str(), 0, &info, sizeof info,
                       SHGFI_ATTRIBUTES | SHGFI_ATTR_SPECIFIED) == 0)
        return std::nullopt;
    return info.dwAttributes;
}

bool hasShortcutExtension(const std::string& path) {
    return equalIgnoringCase(splitPath(path, PathFlavor::Windows).extension, ".lnk");
}

}  // namespace

std::optional<std::string> resolveShortcut(const std::string& path) {
    const std::wstring widePath = utf8ToWide(path);
    if (widePath.empty()) return std::nullopt;

    ComRef<IShellLinkW> link;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                reinterpret_cast<void**>(&link.pointer))))
        return std::nullopt;
    ComRef<IPersistFile> file;
    if (FAILED(link.pointer->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file.pointer))))
        return std::nullopt;
    if (FAILED(file.pointer->Load(widePath.c_str(), STGM_READ))) return std::nullopt;
    // No window and no search: a drop must not hang on a dialog about a lost target.
    link.pointer->Resolve(nullptr, SLR_NO_UI | SLR_NOSEARCH | SLR_NOUPDATE);
    wchar_t target[MAX_PATH] = {};
    // The item list names the target in UTF-16 wherever the link was made; the stored
    // path text may be held in the ANSI code page only (Wine's links are), where a
    // name beyond it has lost its letters.
    PIDLIST_ABSOLUTE item = nullptr;
    if (SUCCEEDED(link.pointer->GetIDList(&item)) && item != nullptr) {
        const bool named = SHGetPathFromIDListW(item, target) != FALSE;
        CoTaskMemFree(item);
        if (named && target[0] != L'\0') return wideToUtf8(target);
    }
    if (link.pointer->GetPath(target, MAX_PATH, nullptr, 0) != S_OK || target[0] == L'\0')
        return std::nullopt;
    return wideToUtf8(target);
}

std::optional<std::string> acceptDroppedPath(const std::string& path) {
    // A link dragged out of a browser and saved: the page it names is the source.
    if (equalIgnoringCase(splitPath(path, PathFlavor::Windows).extension, ".url")) {
        const std::optional<std::vector<uint8_t>> bytes = Win32FileSystem().readFile(path);
        if (!bytes) return std::nullopt;
        return internetShortcutAddress(std::string_view(reinterpret_cast<const char*>(bytes->data()), bytes->size()));
    }
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
