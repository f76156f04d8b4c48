// html/html_tables.cpp -- the four constant tables and their searches. Each table is
// sorted by byte value; the searches depend on that order, so the compiler checks it
// (and the counts) below: one misplaced entry would make a search miss silently.
#include "html/html_tables.h"


namespace {

// Upper case, in byte order; the position is the TagId.
constexpr const char* kTagNames[] = {
    "A", "ADDRESS", "APPLET", "AREA", "B", "BASE", "BASEFONT", "BIG", "BLINK",
    "BLOCKQUOTE", "BODY", "BR", "CAPTION", "CENTER", "CITE", "CODE", "DD", "DIR", "DIV",
    "DL", "DT", "EM", "EMBED", "FONT", "FORM", "FRAME", "FRAMESET", "H1", "H2", "H3",
    "H4", "H5", "H6", "HEAD", "HR", "HTML", "I", "ILAYER", "IMG", "INPUT", "ISINDEX",
    "KBD", "KEYGEN", "LAYER", "LI", "LINK", "MAP", "MENU", "META", "MULTICOL", "NOBR",
    "NOEMBED", "NOFRAMES", "NOLAYER", "NOSCRIPT", "OBJECT", "OL", "OPTION", "P", "PARAM",
    "PLAINTEXT", "PRE", "S", "SCRIPT", "SELECT", "SERVER", "SMALL", "SPACER", "SPAN",
    "STRIKE", "STRONG", "STYLE", "SUB", "SUP", "TABLE", "TD", "TEXTAREA", "TH", "TITLE",
    "TR", "TT", "U", "UL", "VAR", "WBR", "XMP",
};

// Upper case, in byte order; the position is the AttributeId.
constexpr const char* kAttributeNames[] = {
    "ALIGN", "ALT", "BORDER", "CELLPADDING", "CELLSPACING", "COLS", "COLSPAN", "COORDS",
    "FACE", "HEIGHT", "HREF", "HSPACE", "HTML", "NAME", "NOHREF", "NOSHADE", "NOWRAP",
    "ROWSPAN", "SHAPE", "SIZE", "SRC", "START", "TYPE", "USEMAP", "VALIGN", "VALUE",
    "VSPACE", "WEIGHT", "WIDTH", "WRAP",
};

// Names in byte order (case-sensitive). The bytes are Windows-1252: the ISO 8859-1 code
// for the HTML 4.0 Latin-1 entities and quot/amp/lt/gt, the Windows-1252 code for the
// others, and 0x8D-0x90 for the card suits, which Windows-1252 lacks.
constexpr EntityEntry kEntities[] = {
    {"AElig", 0xC6}, {"Aacute", 0xC1}, {"Acirc", 0xC2}, {"Agrave", 0xC0},
    {"Aring", 0xC5}, {"Atilde", 0xC3}, {"Auml", 0xC4}, {"Ccedil", 0xC7},
    {"Dagger", 0x87}, {"ETH", 0xD0}, {"Eacute", 0xC9}, {"Ecirc", 0xCA},
    {"Egrave", 0xC8}, {"Euml", 0xCB}, {"Iacute", 0xCD}, {"Icirc", 0xCE},
    {"Igrave", 0xCC}, {"Iuml", 0xCF}, {"Ntilde", 0xD1}, {"OElig", 0x8C},
    {"Oacute", 0xD3}, {"Ocirc", 0xD4}, {"Ograve", 0xD2}, {"Oslash", 0xD8},
    {"Otilde", 0xD5}, {"Ouml", 0xD6}, {"Scaron", 0x8A}, {"THORN", 0xDE},
    {"Uacute", 0xDA}, {"Ucirc", 0xDB}, {"Ugrave", 0xD9}, {"Uuml", 0xDC},
    {"Yacute", 0xDD}, {"Yuml", 0x9F}, {"aacute", 0xE1}, {"acirc", 0xE2},
    {"acute", 0xB4}, {"aelig", 0xE6}, {"agrave", 0xE0}, {"amp", 0x26},
    {"aring", 0xE5}, {"atilde", 0xE3}, {"auml", 0xE4}, {"bdquo", 0x84},
    {"brvbar", 0xA6}, {"bull", 0x95}, {"ccedil", 0xE7}, {"cedil", 0xB8},
    {"cent", 0xA2}, {"circ", 0x88}, {"clubs", 0x8E}, {"copy", 0xA9},
    {"curren", 0xA4}, {"dagger", 0x86}, {"deg", 0xB0}, {"diams", 0x8D},
    {"divide", 0xF7}, {"eacute", 0xE9}, {"ecirc", 0xEA}, {"egrave", 0xE8},
    {"eth", 0xF0}, {"euml", 0xEB}, {"frac12", 0xBD}, {"frac14", 0xBC},
    {"frac34", 0xBE}, {"gt", 0x3E}, {"hearts", 0x8F}, {"hellip", 0x85},
    {"iacute", 0xED}, {"icirc", 0xEE}, {"iexcl", 0xA1}, {"igrave", 0xEC},
    {"iquest", 0xBF}, {"iuml", 0xEF}, {"laquo", 0xAB}, {"ldquo", 0x93},
    {"lsaquo", 0x8B}, {"lsquo", 0x91}, {"lt", 0x3C}, {"macr", 0xAF},
    {"mdash", 0x97}, {"micro", 0xB5}, {"middot", 0xB7}, {"nbsp", 0xA0},
    {"ndash", 0x96}, {"not", 0xAC}, {"ntilde", 0xF1}, {"oacute", 0xF3},
    {"ocirc", 0xF4}, {"oelig", 0x9C}, {"ograve", 0xF2}, {"ordf", 0xAA},
    {"ordm", 0xBA}, {"oslash", 0xF8}, {"otilde", 0xF5}, {"ouml", 0xF6},
    {"para", 0xB6}, {"permil", 0x89}, {"plusmn", 0xB1}, {"pound", 0xA3},
    {"quot", 0x22}, {"raquo", 0xBB}, {"rdquo", 0x94}, {"reg", 0xAE},
    {"rsaquo", 0x9B}, {"rsquo", 0x92}, {"sbquo", 0x82}, {"scaron", 0x9A},
    {"sect", 0xA7}, {"shy", 0xAD}, {"spades", 0x90}, {"sup1", 0xB9},
    {"sup2", 0xB2}, {"sup3", 0xB3}, {"szlig", 0xDF}, {"thorn", 0xFE},
    {"tilde", 0x98}, {"times", 0xD7}, {"trade", 0x99}, {"uacute", 0xFA},
    {"ucirc", 0xFB}, {"ugrave", 0xF9}, {"uml", 0xA8}, {"uuml", 0xFC},
    {"yacute", 0xFD}, {"yen", 0xA5}, {"yuml", 0xFF},
};

// The code points of the entities above that lie outside ISO 8859-1, with the same
// bytes, sorted by code point. Other Windows-1252 characters above 255 (the euro sign
// among them) are deliberately absent: their numeric references stay literal.
struct CodePointEntry {
    uint32_t codePoint;
    uint8_t byte;
};
constexpr CodePointEntry kCodePoints[] = {
    {338, 0x8C},  {339, 0x9C},  {352, 0x8A},  {353, 0x9A},  {376, 0x9F},
    {710, 0x88},  {732, 0x98},  {8211, 0x96}, {8212, 0x97}, {8216, 0x91},
    {8217, 0x92}, {8218, 0x82}, {8220, 0x93}, {8221, 0x94}, {8222, 0x84},
    {8224, 0x86}, {8225, 0x87}, {8226, 0x95}, {8230, 0x85}, {8240, 0x89},
    {8249, 0x8B}, {8250, 0x9B}, {8482, 0x99}, {9824, 0x90}, {9827, 0x8E},
    {9829, 0x8F}, {9830, 0x8D},
};

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

constexpr bool entitiesAscendWithoutPrefixes() {
    for (int i = 1; i < countOf(kEntities); ++i)
        if (compareBytes(kEntities[i - 1].name, kEntities[i].name) >= 0) return false;
    // The entity search stops at the first name the input begins with, which is only
    // right when no name is a prefix of another.
    for (int i = 0; i < countOf(kEntities); ++i)
        for (int j = 0; j < countOf(kEntities); ++j)
            if (i != j && isPrefix(kEntities[i].name, kEntities[j].name)) return false;
    for (const EntityEntry& entry : kEntities) {
        int length = 0;
        while (entry.name[length] != 0) ++length;
        if (length > kMaxEntityNameBytes) return false;
    }
    return true;
}

constexpr bool codePointsAscend() {
    for (int i = 1; i < countOf(kCodePoints); ++i)
        if (kCodePoints[i - 1].codePoint >= kCodePoints[i].codePoint) return false;
    return true;
}

// Every code point maps to the byte of an entity, so the two spellings of one character
// agree.
constexpr bool codePointsMatchEntities() {
    for (const CodePointEntry& point : kCodePoints) {
        bool found = false;
        for (const EntityEntry& entity : kEntities) found = found || entity.byte == point.byte;
        if (!found || point.codePoint < 256) return false;
    }
    return true;
}

static_assert(countOf(kTagNames) == TagCount, "one tag name per TagId");
static_assert(countOf(kAttributeNames) == AttrCount, "one attribute name per AttributeId");
static_assert(countOf(kEntities) == kEntityCount, "127 entities");
static_assert(countOf(kCodePoints) == kCodePointCount, "27 code points");
static_assert(namesAscend(kTagNames, TagCount), "tag names sorted, upper case");
static_assert(namesAscend(kAttributeNames, AttrCount), "attribute names sorted, upper case");
static_assert(entitiesAscendWithoutPrefixes(), "entity names sorted, none a prefix");
static_assert(codePointsAscend(), "code points sorted");
static_assert(codePointsMatchEntities(), "each code point has its entity's byte");

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

const EntityEntry& entityAt(int index) { return kEntities[index]; }

int firstEntityStartingWith(uint8_t first) {
    int low = 0, high = kEntityCount - 1, found = -1;
    while (low <= high) {
        const int middle = (low + high) / 2;
        const auto entryFirst = static_cast<uint8_t>(kEntities[middle].name[0]);
        if (entryFirst == first) {
            found = middle;
            break;
        }
        if (first < entryFirst) high = middle - 1;
        else low = middle + 1;
    }
    // Several names share a first byte; the walk starts at the first of them.
    while (found > 0 && static_cast<uint8_t>(kEntities[found - 1].name[0]) == first) --found;
    return found;
}

int lookupCodePoint(uint32_t codePoint) {
    int low = 0, high = kCodePointCount - 1;
    while (low <= high) {
        const int middle = (low + high) / 2;
        if (kCodePoints[middle].codePoint == codePoint) return kCodePoints[middle].byte;
        if (codePoint < kCodePoints[middle].codePoint) high = middle - 1;
        else low = middle + 1;
    }
    return -1;
}

const char* tagNameOf(int tagId) {
    return tagId >= 0 && tagId < TagCount ? kTagNames[tagId] : nullptr;
}

const char* attributeNameOf(int attributeId) {
    return attributeId >= 0 && attributeId < AttrCount ? kAttributeNames[attributeId] : nullptr;
}
