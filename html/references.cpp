// html/references.cpp -- see references.h. Lengths are measured with a bound so that an
// over-long or unterminated-looking input is refused rather than walked past 256 bytes.
#include "html/references.h"

#include <cstring>

#include "engine/windows1252.h"

static constexpr int kMaxReference = kReferenceBytes - 1;  // bytes before the zero

static bool isSeparator(char c) { return c == '\\' || c == '/'; }

static bool isAsciiLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

static char foldAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

// Length of `text`, but never more than kMaxReference + 1: anything that long is too long.
static int boundedLength(const char* text) {
    int length = 0;
    while (length <= kMaxReference && text[length] != '\0') ++length;
    return length;
}

// Length of "http://" or "https://" at the start of `text` (any letter case), else 0.
static int webSchemeLength(const char* text) {
    static const char kHttp[] = "http";
    for (int i = 0; i < 4; ++i)
        if (foldAscii(text[i]) != kHttp[i]) return 0;
    int at = 4;
    if (foldAscii(text[at]) == 's') ++at;
    return text[at] == ':' && text[at + 1] == '/' && text[at + 2] == '/' ? at + 3 : 0;
}

int pathKind(const char* ref) {
    if (isAsciiLetter(ref[0]) && ref[1] == ':' && isSeparator(ref[2])) return PathDrive;
    if (ref[0] == '\\' && ref[1] == '\\') return PathUnc;
    if (ref[0] == '/') return PathRoot;
    return webSchemeLength(ref) > 0 ? PathUrl : PathRelative;
}

void directoryPart(const char* name, char* out) {
    int keep = 0;
    for (int i = 0; i < kMaxReference && name[i] != '\0'; ++i)
        if (isSeparator(name[i])) keep = i + 1;
    std::memcpy(out, name, keep);
    out[keep] = '\0';
}

void pageBase(const char* pageName, char* out) {
    if (pathKind(pageName) != PathUrl) {
        directoryPart(pageName, out);
        return;
    }
    const int length = boundedLength(pageName);
    const int kept = length > kMaxReference ? kMaxReference : length;
    std::memcpy(out, pageName, kept);
    out[kept] = '\0';
}

// Length of the base's root as a reference starting with a separator keeps it: the
// drive letter and colon, the UNC server and share, nothing for a root path, the scheme
// and host of a URL. -1 when the base has no such root.
static int rootLength(const char* base, int length, int kind) {
    switch (kind) {
    case PathDrive:
        return 2;
    case PathUnc: {
        // "\\server\share\dir\" keeps "\\server\share": keeping only the first byte
        // would turn "\x.htm" into "\\x.htm", a path on another machine.
        int separators = 0;
        for (int i = 2; i < length; ++i)
            if (isSeparator(base[i]) && ++separators == 2) return i;
        return separators == 1 ? length - 1 : -1;
    }
    case PathRoot:
        return 0;
    case PathUrl:
        for (int i = webSchemeLength(base); i < length; ++i)
            if (base[i] == '/') return i;
        return -1;
    default:
        return -1;
    }
}

char* resolveReference(const char* base, const char* ref, char* out) {
    const int refKind = pathKind(ref);
    const int refLength = boundedLength(ref);
    if (refLength > kMaxReference) return nullptr;
    if (refKind == PathDrive || refKind == PathUnc || refKind == PathUrl) {
        std::memcpy(out, ref, refLength + 1);
        return out;
    }

    const int baseKind = pathKind(base);
    int length = boundedLength(base);
    if (length >= kMaxReference - 1 || baseKind == PathRelative) return nullptr;
    std::memcpy(out, base, length);

    // Room is certain here: the base is at most 253 bytes.
    const bool urlLike = baseKind == PathRoot || baseKind == PathUrl;
    const bool endsInSeparator =
        length > 0 && (urlLike ? out[length - 1] == '/' : isSeparator(out[length - 1]));
    if (!endsInSeparator) out[length++] = urlLike ? '/' : '\\';

    if (isSeparator(ref[0])) {
        length = rootLength(out, length, baseKind);
        if (length < 0) return nullptr;
    }
    // A cut-off name could open a different file ("page.html" as "page.htm"), so a result
    // that does not fit is no result.
    if (length + refLength > kMaxReference) return nullptr;
    std::memcpy(out + length, ref, refLength + 1);
    return out;
}

char* normalizePath(char* path) {
    int length = boundedLength(path);
    if (length > kMaxReference) return nullptr;
    char work[kReferenceBytes];
    std::memcpy(work, path, length + 1);

    int i = 0;
    while (i + 3 < length) {
        if (!(isSeparator(work[i]) && work[i + 1] == '.' && work[i + 2] == '.' &&
              isSeparator(work[i + 3]))) {
            ++i;
            continue;
        }
        int previous = i - 1;
        while (previous >= 0 && !isSeparator(work[previous])) --previous;
        if (previous < 0) return nullptr;  // ".." above the first segment
        // Drop "segment/../" and go on at the kept separator, so "a/b/c/../../d" folds twice.
        const int removed = i + 3 - previous;
        std::memmove(work + previous + 1, work + i + 4, length - (i + 4) + 1);
        length -= removed;
        i = previous;
    }
    std::memcpy(path, work, length + 1);
    return path;
}

bool splitFragment(const char* ref, char* path, char* fragment) {
    const char* hash = std::strchr(ref, '#');
    const size_t pathLength = hash != nullptr ? static_cast<size_t>(hash - ref) : std::strlen(ref);
    const size_t fragmentLength = hash != nullptr ? std::strlen(hash + 1) : 0;
    if (pathLength > kMaxReference || fragmentLength > kMaxReference) return false;
    std::memcpy(path, ref, pathLength);
    path[pathLength] = '\0';
    if (fragmentLength > 0) std::memcpy(fragment, hash + 1, fragmentLength);
    fragment[fragmentLength] = '\0';
    return true;
}

static int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// The byte of escape "%XY" at `at`, or -1 when `at` holds no escape.
static int escapedByte(const char* at) {
    if (at[0] != '%') return -1;
    const int high = hexValue(at[1]);
    if (high < 0) return -1;
    const int low = hexValue(at[2]);
    return low < 0 ? -1 : high * 16 + low;
}

// Length in escapes of the valid UTF-8 sequence starting at escape `at`, with its code
// point; 1 with the byte's Windows-1252 character when none starts there.
static int escapedCharacter(const char* at, uint32_t& codePoint) {
    const int lead = escapedByte(at);
    int length = lead < 0x80 ? 1 : lead >= 0xC2 && lead <= 0xDF ? 2 : lead >= 0xE0 && lead <= 0xEF ? 3
                 : lead >= 0xF0 && lead <= 0xF4 ? 4 : 0;
    if (length > 1) {
        uint32_t value = static_cast<uint32_t>(lead) & (0x7Fu >> length);
        for (int i = 1; i < length && length > 1; ++i) {
            const int next = escapedByte(at + 3 * i);
            if (next < 0x80 || next > 0xBF) length = 0;
            else value = (value << 6) | static_cast<uint32_t>(next & 0x3F);
        }
        // Overlong forms, surrogates and values past U+10FFFF are no characters.
        const uint32_t least[5] = {0, 0, 0x80, 0x800, 0x10000};
        if (length > 1 && (value < least[length] || (value >= 0xD800 && value <= 0xDFFF) ||
                           value > 0x10FFFF))
            length = 0;
        if (length > 1) {
            codePoint = value;
            return length;
        }
    }
    codePoint = windows1252CodePoint(static_cast<uint8_t>(lead));
    return 1;
}

static bool keptEscaped(int byte) {
    return byte < 0x20 || byte == 0x7F || byte == '%' || byte == '/' || byte == '\\' ||
           byte == '#' || byte == '?';
}

char* decodePathEscapes(char* path) {
    static const char kHex[] = "0123456789ABCDEF";
    char* out = path;
    for (const char* in = path; *in != '\0';) {
        if (escapedByte(in) < 0) {
            *out++ = *in++;
            continue;
        }
        uint32_t codePoint = 0;
        const int escapes = escapedCharacter(in, codePoint);
        const int32_t byte = windows1252Byte(codePoint);
        if (byte >= 0 && !keptEscaped(byte)) {
            *out++ = static_cast<char>(byte);
        } else {
            for (int i = 0; i < escapes; ++i) {
                const int value = escapedByte(in + 3 * i);
                *out++ = '%';
                *out++ = kHex[value >> 4];
                *out++ = kHex[value & 15];
            }
        }
        in += 3 * escapes;
    }
    *out = '\0';
    return path;
}

// --- Web addresses ---

// Work buffers hold a base and a reference side by side before dot segments go, so an
// address that only fits once they are gone still resolves.
static constexpr int kWebWorkBytes = 2 * kReferenceBytes + 8;

// A slice of a zero-terminated string; `present` tells an empty query from none.
struct Slice {
    const char* at = "";
    int length = 0;
    bool present = false;
};

// The parts of an address or reference after RFC 3986 appendix B, fragment excluded.
struct AddressParts {
    Slice scheme, authority, path, query;
};

static bool isSchemeChar(char c, bool first) {
    if (isAsciiLetter(c)) return true;
    return !first && ((c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.');
}

// Splits text[0..length) (no fragment in it) into its parts.
static AddressParts splitAddress(const char* text, int length) {
    AddressParts parts;
    int at = 0;
    int colon = 0;
    while (colon < length && isSchemeChar(text[colon], colon == 0)) ++colon;
    if (colon > 0 && colon < length && text[colon] == ':') {
        parts.scheme = {text, colon, true};
        at = colon + 1;
    }
    if (at + 1 < length && text[at] == '/' && text[at + 1] == '/') {
        int end = at + 2;
        while (end < length && text[end] != '/' && text[end] != '?') ++end;
        parts.authority = {text + at + 2, end - at - 2, true};
        at = end;
    }
    int end = at;
    while (end < length && text[end] != '?') ++end;
    parts.path = {text + at, end - at, true};
    if (end < length) parts.query = {text + end + 1, length - end - 1, true};
    return parts;
}

// Appends `length` bytes to work[0..used); false when they do not fit.
static bool append(char* work, int& used, const char* bytes, int length) {
    if (length < 0 || used + length >= kWebWorkBytes) return false;
    std::memcpy(work + used, bytes, length);
    used += length;
    return true;
}

// True when segment[0..length) is "." or ".." (`dots`) in any of its escaped spellings.
static bool isDotSegment(const char* segment, int length, int dots) {
    int found = 0;
    for (int i = 0; i < length; ++found) {
        if (segment[i] == '.') {
            ++i;
        } else if (i + 2 < length && segment[i] == '%' && segment[i + 1] == '2' &&
                   foldAscii(segment[i + 2]) == 'e') {
            i += 3;
        } else {
            return false;
        }
    }
    return found == dots;
}

// RFC 3986 5.2.4 on path[0..length), which starts with '/', into `out`; returns the new
// length. ".." at the top stays at the top, as browsers keep it.
static int removeDotSegments(const char* path, int length, char* out) {
    int used = 0;
    int at = 0;
    while (at < length) {
        int end = at + 1;  // path[at] is '/'
        while (end < length && path[end] != '/') ++end;
        const char* segment = path + at + 1;
        const int segmentLength = end - at - 1;
        const bool last = end == length;
        if (isDotSegment(segment, segmentLength, 1)) {
            if (last) out[used++] = '/';
        } else if (isDotSegment(segment, segmentLength, 2)) {
            while (used > 0 && out[used - 1] != '/') --used;
            if (used > 0) --used;  // the separator of the dropped segment
            if (last) out[used++] = '/';
        } else {
            std::memcpy(out + used, path + at, end - at);
            used += end - at;
        }
        at = end;
    }
    if (used == 0) out[used++] = '/';
    return used;
}

static bool isUnreserved(int byte) {
    return isAsciiLetter(static_cast<char>(byte)) || (byte >= '0' && byte <= '9') || byte == '-' ||
           byte == '.' || byte == '_' || byte == '~';
}

// Decodes in place the escapes of text[0..length), which is zero-terminated, that a
// fetcher would write back the same way (see resolveWebReference); returns the new length.
static int decodeWebEscapes(char* text, int length) {
    static const char kHex[] = "0123456789ABCDEF";
    int out = 0;
    for (int in = 0; in < length;) {
        if (escapedByte(text + in) < 0) {
            text[out++] = text[in++];
            continue;
        }
        uint32_t codePoint = 0;
        const int escapes = escapedCharacter(text + in, codePoint);
        const int first = escapedByte(text + in);
        int32_t byte = -1;
        if (escapes == 1 && (isUnreserved(first) || first == ' ')) byte = first;
        if (escapes > 1) {
            byte = windows1252Byte(codePoint);
            if (byte < 0x80) byte = -1;  // an ASCII byte in several escapes is no spelling of it
        }
        if (byte >= 0) {
            text[out++] = static_cast<char>(byte);
        } else {
            for (int i = 0; i < escapes; ++i) {
                const int value = escapedByte(text + in + 3 * i);
                text[out++] = '%';
                text[out++] = kHex[value >> 4];
                text[out++] = kHex[value & 15];
            }
        }
        in += 3 * escapes;
    }
    return out;
}

int resolveWebReference(const char* base, const char* ref, char* out, char* fragment) {
    const int baseLength = boundedLength(base);
    if (baseLength > kMaxReference || webSchemeLength(base) == 0) return WebRefused;
    int baseEnd = 0;
    while (baseEnd < baseLength && base[baseEnd] != '#') ++baseEnd;
    const AddressParts from = splitAddress(base, baseEnd);
    if (from.authority.length == 0) return WebRefused;

    // The reference as browsers read it: spaces and controls around it dropped, tabs and
    // line breaks in it too, the fragment split off first so that nothing in it counts as
    // path or query, and a '\' before the query taken for a '/'.
    if (boundedLength(ref) > kMaxReference) return WebTooLong;
    char reference[kReferenceBytes];
    int refLength = 0;
    while (*ref != '\0' && static_cast<uint8_t>(*ref) <= ' ') ++ref;
    for (; *ref != '\0'; ++ref)
        if (*ref != '\t' && *ref != '\n' && *ref != '\r') reference[refLength++] = *ref;
    while (refLength > 0 && static_cast<uint8_t>(reference[refLength - 1]) <= ' ') --refLength;
    reference[refLength] = '\0';
    const char* hash = std::strchr(reference, '#');
    const int refEnd = hash != nullptr ? static_cast<int>(hash - reference) : refLength;
    for (int i = 0; i < refEnd && reference[i] != '?'; ++i)
        if (reference[i] == '\\') reference[i] = '/';
    AddressParts to = splitAddress(reference, refEnd);

    if (to.scheme.present && webSchemeLength(reference) == 0) {
        // Another scheme is refused; the base's own without "//" names a relative
        // reference, as browsers read "http:page.html".
        bool same = to.scheme.length == from.scheme.length;
        for (int i = 0; same && i < to.scheme.length; ++i)
            same = foldAscii(to.scheme.at[i]) == foldAscii(from.scheme.at[i]);
        if (!same) return WebRefused;
        to.scheme = Slice{};
    }

    // Target parts after RFC 3986 5.2.2; `path` is then merged and cleaned in `merged`.
    Slice scheme = to.scheme.present ? to.scheme : from.scheme;
    Slice authority = to.authority.present ? to.authority : from.authority;
    Slice query = to.query;
    char merged[kWebWorkBytes];
    int mergedLength = 0;
    if (to.authority.present || (to.path.length > 0 && to.path.at[0] == '/')) {
        if (!append(merged, mergedLength, to.path.at, to.path.length)) return WebTooLong;
    } else if (to.path.length == 0) {
        if (!append(merged, mergedLength, from.path.at, from.path.length)) return WebTooLong;
        if (!to.query.present) query = from.query;
    } else {
        int folder = from.path.length;
        while (folder > 0 && from.path.at[folder - 1] != '/') --folder;
        if (folder == 0 && !append(merged, mergedLength, "/", 1)) return WebTooLong;
        if (!append(merged, mergedLength, from.path.at, folder)) return WebTooLong;
        if (!append(merged, mergedLength, to.path.at, to.path.length)) return WebTooLong;
    }
    if (authority.length == 0) return WebRefused;

    char work[kWebWorkBytes];
    int used = 0;
    for (int i = 0; i < scheme.length; ++i) work[used++] = foldAscii(scheme.at[i]);
    if (!append(work, used, "://", 3)) return WebTooLong;
    // The host in lower case, without a default port or an empty one; user names keep
    // their case.
    int userEnd = 0;
    int portAt = authority.length;
    for (int i = 0; i < authority.length; ++i) {
        if (authority.at[i] == '@') userEnd = i + 1, portAt = authority.length;
        else if (authority.at[i] == ':') portAt = i;
        else if (authority.at[i] == ']') portAt = authority.length;  // an IPv6 host's colons
    }
    if (portAt == userEnd) return WebRefused;
    const bool secure = scheme.length == 5;
    const char* port = authority.at + portAt + 1;
    const int portLength = authority.length - portAt - 1;
    int hostLength = authority.length;
    if (portLength <= 0 || (portLength == (secure ? 3 : 2) &&
                            std::memcmp(port, secure ? "443" : "80", portLength) == 0))
        hostLength = portAt;
    if (used + hostLength >= kWebWorkBytes) return WebTooLong;
    for (int i = 0; i < hostLength; ++i)
        work[used++] = i < userEnd ? authority.at[i] : foldAscii(authority.at[i]);
    const int pathStart = used;
    // Every path the parts can merge into starts with '/', or is empty ("//host", "http://h").
    if (mergedLength == 0) merged[mergedLength++] = '/';
    if (used + mergedLength >= kWebWorkBytes) return WebTooLong;
    used += removeDotSegments(merged, mergedLength, work + used);
    if (query.present) {
        if (!append(work, used, "?", 1) || !append(work, used, query.at, query.length))
            return WebTooLong;
    }
    work[used] = '\0';  // ends the escapes decodeWebEscapes may look ahead into
    used = pathStart + decodeWebEscapes(work + pathStart, used - pathStart);
    if (used > kMaxReference) return WebTooLong;

    // The fragment is compared with anchor names as every fragment is.
    if (hash != nullptr) {
        const int fragmentLength = boundedLength(hash + 1);
        if (fragmentLength > kMaxReference) return WebTooLong;
        std::memcpy(fragment, hash + 1, fragmentLength + 1);
        decodePathEscapes(fragment);
    } else {
        fragment[0] = '\0';
    }
    std::memcpy(out, work, used);
    out[used] = '\0';
    return WebResolved;
}
