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

int pathKind(const char* ref) {
    if (isAsciiLetter(ref[0]) && ref[1] == ':' && isSeparator(ref[2])) return PathDrive;
    if (ref[0] == '\\' && ref[1] == '\\') return PathUnc;
    if (ref[0] == '/') return PathRoot;
    static const char kScheme[] = "http://";
    for (int i = 0; kScheme[i] != '\0'; ++i)
        if (foldAscii(ref[i]) != kScheme[i]) return PathRelative;
    return PathUrl;
}

void directoryPart(const char* name, char* out) {
    int keep = 0;
    for (int i = 0; i < kMaxReference && name[i] != '\0'; ++i)
        if (isSeparator(name[i])) keep = i + 1;
    std::memcpy(out, name, keep);
    out[keep] = '\0';
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
        for (int i = 7; i < length; ++i)  // after "http://"
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
