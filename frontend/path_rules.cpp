// frontend/path_rules.cpp -- see path_rules.h.
#include "frontend/path_rules.h"

#include <vector>

static bool isBlank(char c) { return c == ' ' || c == '\t'; }
static bool isAsciiLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
static char foldAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

std::string trimBlanks(std::string_view text) {
    size_t first = 0, end = text.size();
    while (first < end && isBlank(text[first])) ++first;
    while (end > first && isBlank(text[end - 1])) --end;
    return std::string(text.substr(first, end - first));
}

bool isSeparator(char c, PathFlavor flavor) {
    return c == '/' || (flavor == PathFlavor::Windows && c == '\\');
}

bool equalIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (foldAscii(a[i]) != foldAscii(b[i])) return false;
    return true;
}

PathParts splitPath(std::string_view path, PathFlavor flavor) {
    PathParts parts;
    if (flavor == PathFlavor::Windows && path.size() >= 2 && path[1] == ':') {
        parts.drive = std::string(path.substr(0, 2));
        path.remove_prefix(2);
    }
    size_t nameStart = 0;
    for (size_t i = 0; i < path.size(); ++i)
        if (isSeparator(path[i], flavor)) nameStart = i + 1;
    parts.folder = std::string(path.substr(0, nameStart));
    const std::string_view name = path.substr(nameStart);
    const size_t dot = name.rfind('.');
    parts.baseName = std::string(name.substr(0, dot));
    if (dot != std::string_view::npos) parts.extension = std::string(name.substr(dot));
    return parts;
}

bool isBareDrive(std::string_view path) { return path.size() == 2 && path[1] == ':'; }

bool isDriveRelative(std::string_view path) {
    return path.size() >= 2 && isAsciiLetter(path[0]) && path[1] == ':' &&
           (path.size() == 2 || !isSeparator(path[2], PathFlavor::Windows));
}

// `path` made absolute against the current directories; nullopt when one it needs is
// unknown.
static std::optional<std::string> absoluteForm(std::string_view path, PathFlavor flavor,
                                               const FileSystem& files) {
    if (flavor == PathFlavor::Posix) {
        if (!path.empty() && path[0] == '/') return std::string(path);
        std::optional<std::string> base = files.currentDirectory();
        if (!base) return std::nullopt;
        return *base + "/" + std::string(path);
    }
    const bool driveAbsolute = path.size() >= 3 && isAsciiLetter(path[0]) && path[1] == ':' &&
                               isSeparator(path[2], flavor);
    if (driveAbsolute) return std::string(path);
    if (path.size() >= 2 && isSeparator(path[0], flavor) && isSeparator(path[1], flavor))
        return std::string(path);  // UNC
    if (isDriveRelative(path)) {
        std::optional<std::string> base = files.currentDirectoryOfDrive(path[0]);
        if (!base) return std::nullopt;
        return *base + "\\" + std::string(path.substr(2));
    }
    std::optional<std::string> base = files.currentDirectory();
    if (!base) return std::nullopt;
    if (!path.empty() && isSeparator(path[0], flavor)) {
        // Rooted on the current drive: keep the base's drive or UNC server and share.
        if (base->size() >= 2 && (*base)[1] == ':') return base->substr(0, 2) + std::string(path);
        return *base + std::string(path);
    }
    return *base + "\\" + std::string(path);
}

std::optional<std::string> comparablePath(std::string_view path, PathFlavor flavor,
                                          const FileSystem& files) {
    const std::optional<std::string> absolute = absoluteForm(path, flavor, files);
    if (!absolute) return std::nullopt;
    std::string_view rest = *absolute;
    std::string root;
    if (flavor == PathFlavor::Windows && rest.size() >= 2 && rest[1] == ':') {
        root = std::string(rest.substr(0, 2));
        rest.remove_prefix(2);
    } else if (flavor == PathFlavor::Windows && rest.size() >= 2 && isSeparator(rest[0], flavor) &&
               isSeparator(rest[1], flavor)) {
        root = "\\\\";
        rest.remove_prefix(2);
    }
    std::vector<std::string> names;
    size_t start = 0;
    while (start <= rest.size()) {
        size_t end = start;
        while (end < rest.size() && !isSeparator(rest[end], flavor)) ++end;
        std::string name(rest.substr(start, end - start));
        if (flavor == PathFlavor::Windows && name != "." && name != "..") {
            // Windows drops trailing dots and blanks from every name it opens.
            while (!name.empty() && (name.back() == '.' || name.back() == ' ')) name.pop_back();
        }
        if (name == "..") {
            if (!names.empty()) names.pop_back();
        } else if (!name.empty() && name != ".") {
            names.push_back(std::move(name));
        }
        start = end + 1;
    }
    const char separator = flavor == PathFlavor::Windows ? '\\' : '/';
    std::string result = root;
    for (const std::string& name : names) {
        if (result.empty() || result.back() != separator) result += separator;
        result += name;
    }
    if (result.empty() || result == root) result += separator;
    if (flavor == PathFlavor::Windows)
        for (char& c : result) c = foldAscii(c);
    return result;
}

std::string withSlashSeparators(std::string_view path, PathFlavor flavor) {
    std::string result(path);
    if (flavor != PathFlavor::Windows) return result;
    // The leading pair marks a UNC path; the reference helpers take "//" for a rooted one.
    const size_t from = result.rfind("\\\\", 0) == 0 ? 2 : 0;
    for (size_t i = from; i < result.size(); ++i)
        if (result[i] == '\\') result[i] = '/';
    return result;
}

bool isWindowsDeviceName(std::string_view path) {
    const size_t separator = path.find_last_of("\\/:");
    std::string_view name = separator == std::string_view::npos ? path : path.substr(separator + 1);
    // Windows looks only at what stands before the first dot, trailing blanks dropped.
    name = name.substr(0, name.find('.'));
    while (!name.empty() && name.back() == ' ') name.remove_suffix(1);
    static const char* const kDevices[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
    for (const char* device : kDevices)
        if (equalIgnoringCase(name, device)) return true;
    return name.size() == 4 && (equalIgnoringCase(name.substr(0, 3), "COM") ||
                                equalIgnoringCase(name.substr(0, 3), "LPT")) &&
           name[3] >= '1' && name[3] <= '9';
}
