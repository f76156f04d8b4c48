// frontend/page_confinement.cpp -- see page_confinement.h.
#include "frontend/page_confinement.h"

#include <algorithm>
#include <cstring>

#include "frontend/forwarding_io.h"

namespace {

// "/" separators, and in the Windows flavour ASCII case folded, so that one folder has
// one spelling whatever the platform's answer looked like.
std::string comparable(std::string path, PathFlavor flavor) {
    if (flavor == PathFlavor::Windows) {
        for (char& c : path) {
            if (c == '\\') c = '/';
            else if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return path;
}

void rememberOnce(std::vector<std::string>& list, const char* path) {
    if (std::find(list.begin(), list.end(), path) == list.end()) list.emplace_back(path);
}

struct Signature {
    const char* bytes;
    int32_t length;
};

// Formats whose header may hold no zero byte in its first kilobyte, so the zero-byte
// rule alone would let them in. Others (BMP, TIFF, icons, RIFF media, DOS and Windows
// executables, Mach-O) carry zeros in their fixed headers; short signatures that plain
// text could start with ("BM", "MZ", "BZh") are left to that rule.
const Signature kBinarySignatures[] = {
    {"\x89PNG\r\n\x1A\n", 8},
    {"\xFF\xD8\xFF", 3},          // JPEG
    {"GIF87a", 6},
    {"GIF89a", 6},
    {"%PDF-", 5},
    {"PK\x03\x04", 4},            // zip and the formats built on it
    {"PK\x05\x06", 4},            // an empty zip
    {"PK\x07\x08", 4},            // a spanned zip
    {"\x1F\x8B", 2},              // gzip
    {"\xFD" "7zXZ", 5},           // xz
    {"7z\xBC\xAF\x27\x1C", 6},
    {"\x7F" "ELF", 4},
    {"\xCA\xFE\xBA\xBE", 4},      // Java classes, universal Mach-O
};

bool startsWith(const uint8_t* bytes, int32_t length, const Signature& signature) {
    return length >= signature.length && std::memcmp(bytes, signature.bytes, static_cast<size_t>(signature.length)) == 0;
}

// Whether the stream just opened for a linked page can be used as one: its size is
// known and addressable, its first bytes read as its size promises, and they are not
// binary. The engine reads a page by its size and fails the whole conversion when the
// bytes fall short, and files of /proc and /sys announce sizes (0, 4096) they do not
// have. The stream is left at 0.
bool usableAsPage(const IoOps& io, uint32_t handle) {
    const int32_t size = io.seekStream(io.userData, handle, 0, 2);
    if (size < 0) return false;  // unknown, or past what a 32-bit position reaches
    if (io.seekStream(io.userData, handle, 0, 0) != 0) return false;
    uint8_t head[kPageSniffBytes];
    const int32_t got = io.readStream(io.userData, handle, kPageSniffBytes, head);
    if (got != std::min(size, kPageSniffBytes)) return false;
    if (looksBinary(head, got)) return false;
    return io.seekStream(io.userData, handle, 0, 0) == 0;
}

uint32_t openConfined(void* userData, const char* path, int32_t mode) {
    PageConfinement& state = *static_cast<PageConfinement*>(userData);
    const IoOps& inner = state.inner;
    if (mode != 0 || path == nullptr || state.sourcePath == path)
        return inner.openStream(inner.userData, path, mode);
    if (!state.followLinksOutside) {
        // A page that does not exist has no real path; it stays a missing page.
        const std::optional<std::string> real = state.files->realPath(path);
        if (!real) return 0;
        if (!state.rootFolder || !insideRootFolder(*real, *state.rootFolder, state.flavor)) {
            rememberOnce(state.outsideFolder, path);
            return 0;
        }
    }
    const uint32_t handle = inner.openStream(inner.userData, path, mode);
    if (handle == 0) return 0;
    if (!usableAsPage(inner, handle)) {
        inner.closeStream(inner.userData, handle);
        rememberOnce(state.notPages, path);
        return 0;
    }
    return handle;
}

}  // namespace

bool looksBinary(const uint8_t* bytes, int32_t length) {
    for (const Signature& signature : kBinarySignatures)
        if (startsWith(bytes, length, signature)) return true;
    const bool utf16 = length >= 2 && ((bytes[0] == 0xFF && bytes[1] == 0xFE) ||
                                       (bytes[0] == 0xFE && bytes[1] == 0xFF));
    return !utf16 && std::memchr(bytes, 0, static_cast<size_t>(std::max(length, 0))) != nullptr;
}

bool insideRootFolder(const std::string& realPath, const std::string& rootFolder, PathFlavor flavor) {
    const std::string path = comparable(realPath, flavor);
    if (path.size() <= rootFolder.size() || path.compare(0, rootFolder.size(), rootFolder) != 0)
        return false;
    // Every name below the folder, the file's own included.
    for (size_t start = rootFolder.size(); start < path.size();) {
        if (path[start] == '.') return false;
        const size_t slash = path.find('/', start);
        if (slash == std::string::npos) break;
        start = slash + 1;
    }
    return true;
}

void preparePageConfinement(PageConfinement& state, const IoOps& inner, const FileSystem& files,
                            PathFlavor flavor, const std::string& sourcePath,
                            bool followLinksOutside) {
    state.inner = inner;
    state.files = &files;
    state.flavor = flavor;
    state.sourcePath = sourcePath;
    state.followLinksOutside = followLinksOutside;
    state.outsideFolder.clear();
    state.notPages.clear();
    state.rootFolder.reset();
    const PathParts parts = splitPath(sourcePath, flavor);
    const std::optional<std::string> folder = files.realPath(parts.drive + parts.folder);
    if (folder && !folder->empty()) {
        std::string root = comparable(*folder, flavor);
        if (root.back() != '/') root += '/';
        state.rootFolder = std::move(root);
    }
}

IoOps pageConfinementOps(PageConfinement& state) {
    IoOps ops = forwardingIoOps(state);
    ops.openStream = &openConfined;
    return ops;
}
