// html/html_tables.cpp -- the three constant tables and their searches. Each table is
// sorted by byte value; the searches depend on that order, so the compiler checks it
// (and the counts) below: one misplaced entry would make a search miss silently.
#include "html/html_tables.h"

namespace {

// Upper case, in byte order; the position is the TagId.
constexpr const char* kTagNames[] = {
    "A", "ADDRESS", "APPLET", "AREA", "ARTICLE", "ASIDE", "B", "BASE", "BASEFONT", "BIG",
    "BLINK", "BLOCKQUOTE", "BODY", "BR", "CAPTION", "CENTER", "CITE", "CODE", "DD", "DEL",
    "DETAILS", "DFN", "DIR", "DIV", "DL", "DT", "EM", "EMBED", "FIGCAPTION", "FIGURE",
    "FONT", "FOOTER", "FORM", "FRAME", "FRAMESET", "H1", "H2", "H3", "H4", "H5", "H6",
    "HEAD", "HEADER", "HGROUP", "HR", "HTML", "I", "ILAYER", "IMG", "INPUT", "INS",
    "ISINDEX", "KBD", "KEYGEN", "LAYER", "LI", "LINK", "MAIN", "MAP", "MARK", "MENU",
    "META", "MULTICOL", "NAV", "NOBR", "NOEMBED", "NOFRAMES", "NOLAYER", "NOSCRIPT",
    "OBJECT", "OL", "OPTION", "P", "PARAM", "PLAINTEXT", "PRE", "Q", "S", "SAMP", "SCRIPT",
    "SECTION", "SELECT", "SERVER", "SMALL", "SPACER", "SPAN", "STRIKE", "STRONG", "STYLE",
    "SUB", "SUMMARY", "SUP", "SVG", "TABLE", "TD", "TEMPLATE", "TEXTAREA", "TH", "TITLE",
    "TR", "TT", "U", "UL", "VAR", "WBR", "XMP",
};

// Upper case, in byte order; the position is the AttributeId.
constexpr const char* kAttributeNames[] = {
    "ALIGN", "ALT", "BORDER", "CELLPADDING", "CELLSPACING", "COLS", "COLSPAN", "COORDS",
    "FACE", "HEIGHT", "HREF", "HSPACE", "HTML", "ID", "NAME", "NOHREF", "NOSHADE", "NOWRAP",
    "ROLE", "ROWSPAN", "SHAPE", "SIZE", "SRC", "START", "TYPE", "USEMAP", "VALIGN", "VALUE",
    "VSPACE", "WEIGHT", "WIDTH", "WRAP",
};

#include "html/named_references.inc"

constexpr int countOf(const auto& array) { return sizeof array / sizeof array[0]; }

constexpr int compareBytes(const char* left, const char* right) {
    for (;; ++left, ++right) {
        const auto l = static_cast<uint8_t>(*left), r = static_cast<uint8_t>(*right);
        if (l != r) return l < r ? -1 : 1;
        if (l == 0) return 0;
    }
}

constexpr bool isPrefix(const char* prefix, const char* name) {
    for (; *prefix != 0; ++prefix, ++name)
        if (*prefix != *name) return false;
    return true;
}

// Strictly ascending in byte order. Names of upper-case letters and digits only keep
// that order when folded, so the case-insensitive searches may rely on it too.
constexpr bool namesAscend(const char* const* names, int count) {
    for (int i = 1; i < count; ++i)
        if (compareBytes(names[i - 1], names[i]) >= 0) return false;
    for (int i = 0; i < count; ++i)
        for (const char* c = names[i]; *c != 0; ++c)
            if (!((*c >= 'A' && *c <= 'Z') || (*c >= '0' && *c <= '9'))) return false;
    return true;
}

constexpr int nameLength(const char* name) {
    int length = 0;
    while (name[length] != 0) ++length;
    return length;
}

constexpr bool isAsciiAlphanumeric(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
}

constexpr bool isCharacter(uint32_t codePoint) {
    return codePoint != 0 && codePoint <= 0x10FFFF && (codePoint < 0xD800 || codePoint > 0xDFFF);
}

// The reader collects at most kMaxReferenceNameChars letters and digits, so a longer
// name, or one of other bytes, could never match.
constexpr bool referencesAscendAndFit() {
    for (int i = 1; i < kNamedReferenceCount; ++i)
        if (compareBytes(kNamedReferences[i - 1].name, kNamedReferences[i].name) >= 0) return false;
    for (const NamedReference& entry : kNamedReferences) {
        const int length = nameLength(entry.name);
        if (length == 0 || length > kMaxReferenceNameChars) return false;
        for (int i = 0; i < length; ++i)
            if (!isAsciiAlphanumeric(entry.name[i])) return false;
        if (!isCharacter(entry.codePoint)) return false;
        if (entry.secondCodePoint != 0 && !isCharacter(entry.secondCodePoint)) return false;
    }
    return true;
}

// A name taken without ';' matches as the longest such prefix of the letters read; the
// reader tries prefixes of up to kMaxBareReferenceNameChars letters. No bare name is a
// prefix of another, so at most one of them can match, as it always was.
constexpr bool bareNamesShortWithoutPrefixes() {
    constexpr int kBareNames = 127;
    const char* bare[kBareNames] = {};
    int count = 0;
    for (const NamedReference& entry : kNamedReferences) {
        if (entry.bare > 1) return false;
        if (entry.bare == 0) continue;
        if (count == kBareNames || nameLength(entry.name) > kMaxBareReferenceNameChars) return false;
        bare[count++] = entry.name;
    }
    for (int i = 0; i < count; ++i)
        for (int j = 0; j < count; ++j)
            if (i != j && isPrefix(bare[i], bare[j])) return false;
    return count == kBareNames;
}

static_assert(countOf(kTagNames) == TagCount, "one tag name per TagId");
static_assert(countOf(kAttributeNames) == AttrCount, "one attribute name per AttributeId");
static_assert(countOf(kNamedReferences) == kNamedReferenceCount &&
                  kNamedReferenceCount == 2125,
              "every name HTML defines with ';' (its 106 legacy forms name the same text)");
static_assert(namesAscend(kTagNames, TagCount), "tag names sorted, upper case");
static_assert(namesAscend(kAttributeNames, AttrCount), "attribute names sorted, upper case");
static_assert(referencesAscendAndFit(), "reference names sorted, letters and digits, characters");
static_assert(bareNamesShortWithoutPrefixes(), "127 bare names, short, none a prefix of another");

// Binary search of a name table under the folded comparison; -1 when absent.
int searchNames(const char* const* names, int count, const char* name) {
    int low = 0, high = count - 1;
    while (low <= high) {
        const int middle = (low + high) / 2;
        const int order = compareFolded(name, names[middle]);
        if (order == 0) return middle;
        if (order < 0) high = middle - 1;
        else low = middle + 1;
    }
    return -1;
}

}  // namespace

int compareFolded(const char* left, const char* right) {
    for (;; ++left, ++right) {
        const uint8_t l = foldAscii(static_cast<uint8_t>(*left));
        const uint8_t r = foldAscii(static_cast<uint8_t>(*right));
        if (l != r) return l < r ? -1 : 1;
        if (l == 0) return 0;
    }
}

int lookupTag(const char* name, int32_t& isEnd) {
    isEnd = 0;
    if (name == nullptr) return -1;
    if (name[0] == '/') {
        isEnd = 1;
        ++name;
    }
    // Empty elements written the XHTML way ("br/") would otherwise match nothing and be
    // lost. The longest tag name has 10 characters, so a longer name cannot match.
    char trimmed[16];
    int length = 0;
    while (name[length] != 0 && length < static_cast<int>(sizeof trimmed) - 1) {
        trimmed[length] = name[length];
        ++length;
    }
    if (name[length] != 0) return -1;
    if (length > 0 && trimmed[length - 1] == '/') --length;
    trimmed[length] = 0;
    return searchNames(kTagNames, TagCount, trimmed);
}

int lookupAttribute(const char* name) {
    if (name == nullptr) return -1;
    return searchNames(kAttributeNames, AttrCount, name);
}

int lookupAlign(const char* value) {
    if (value == nullptr) return -1;
    if (compareFolded(value, "LEFT") == 0) return 0;
    if (compareFolded(value, "CENTER") == 0) return 1;
    if (compareFolded(value, "RIGHT") == 0) return 2;
    return -1;
}

int lookupListType(const char* value) {
    if (value == nullptr || value[0] == 0) return -1;
    if (value[1] == 0) {
        switch (value[0]) {
            case '1': return 7;
            case 'A': return 3;
            case 'a': return 4;
            case 'I': return 5;
            case 'i': return 6;
            default: return -1;
        }
    }
    if (compareFolded(value, "DISC") == 0) return 0;
    if (compareFolded(value, "CIRCLE") == 0) return 1;
    if (compareFolded(value, "SQUARE") == 0) return 2;
    return -1;
}

const NamedReference* findNamedReference(const char* name, int32_t length) {
    if (length <= 0 || length > kMaxReferenceNameChars) return nullptr;
    int low = 0, high = kNamedReferenceCount - 1;
    while (low <= high) {
        const int middle = (low + high) / 2;
        const char* entry = kNamedReferences[middle].name;
        // Byte order over name[0..length) against the entry's zero-terminated name; a
        // proper prefix of the entry sorts before it.
        int order = 0;
        int32_t i = 0;
        for (; i < length && order == 0; ++i) {
            const auto l = static_cast<uint8_t>(name[i]), r = static_cast<uint8_t>(entry[i]);
            if (l != r) order = l < r ? -1 : 1;  // also ends at the entry's zero
        }
        if (order == 0 && entry[length] != 0) order = -1;
        if (order == 0) return &kNamedReferences[middle];
        if (order < 0) high = middle - 1;
        else low = middle + 1;
    }
    return nullptr;
}

const NamedReference& namedReferenceAt(int index) { return kNamedReferences[index]; }

int namedReferenceCount() { return kNamedReferenceCount; }

const char* tagNameOf(int tagId) {
    return tagId >= 0 && tagId < TagCount ? kTagNames[tagId] : nullptr;
}

const char* attributeNameOf(int attributeId) {
    return attributeId >= 0 && attributeId < AttrCount ? kAttributeNames[attributeId] : nullptr;
}
