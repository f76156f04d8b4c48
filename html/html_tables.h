// html/html_tables.h -- the fixed vocabulary of the HTML pipeline: tag names, attribute
// names, named character entities and the code points above 255 that numeric
// references may name, with the lookups over them and the two small value parsers
// (ALIGN and list TYPE) that several tag handlers share. A name missing from a table
// is simply unknown. Also the character classes every HTML module uses: whitespace is
// 0x09-0x0D and 0x20, case folding touches ASCII letters only.
#pragma once
#include <cstdint>

// Index into the sorted tag table; the value is the tag's position in it.
enum TagId : int32_t {
    TagA = 0, TagAddress = 1, TagApplet = 2, TagArea = 3, TagB = 4, TagBase = 5,
    TagBasefont = 6, TagBig = 7, TagBlink = 8, TagBlockquote = 9, TagBody = 10,
    TagBr = 11, TagCaption = 12, TagCenter = 13, TagCite = 14, TagCode = 15, TagDd = 16,
    TagDir = 17, TagDiv = 18, TagDl = 19, TagDt = 20, TagEm = 21, TagEmbed = 22,
    TagFont = 23, TagForm = 24, TagFrame = 25, TagFrameset = 26, TagH1 = 27, TagH2 = 28,
    TagH3 = 29, TagH4 = 30, TagH5 = 31, TagH6 = 32, TagHead = 33, TagHr = 34,
    TagHtml = 35, TagI = 36, TagIlayer = 37, TagImg = 38, TagInput = 39, TagIsindex = 40,
    TagKbd = 41, TagKeygen = 42, TagLayer = 43, TagLi = 44, TagLink = 45, TagMap = 46,
    TagMenu = 47, TagMeta = 48, TagMulticol = 49, TagNobr = 50, TagNoembed = 51,
    TagNoframes = 52, TagNolayer = 53, TagNoscript = 54, TagObject = 55, TagOl = 56,
    TagOption = 57, TagP = 58, TagParam = 59, TagPlaintext = 60, TagPre = 61, TagS = 62,
    TagScript = 63, TagSelect = 64, TagServer = 65, TagSmall = 66, TagSpacer = 67,
    TagSpan = 68, TagStrike = 69, TagStrong = 70, TagStyle = 71, TagSub = 72,
    TagSup = 73, TagTable = 74, TagTd = 75, TagTextarea = 76, TagTh = 77, TagTitle = 78,
    TagTr = 79, TagTt = 80, TagU = 81, TagUl = 82, TagVar = 83, TagWbr = 84, TagXmp = 85,
    TagCount = 86
};

// Index into the sorted attribute table.
enum AttributeId : int32_t {
    AttrAlign = 0, AttrAlt = 1, AttrBorder = 2, AttrCellpadding = 3, AttrCellspacing = 4,
    AttrCols = 5, AttrColspan = 6, AttrCoords = 7, AttrFace = 8, AttrHeight = 9,
    AttrHref = 10, AttrHspace = 11, AttrHtml = 12, AttrName = 13, AttrNohref = 14,
    AttrNoshade = 15, AttrNowrap = 16, AttrRowspan = 17, AttrShape = 18, AttrSize = 19,
    AttrSrc = 20, AttrStart = 21, AttrType = 22, AttrUsemap = 23, AttrValign = 24,
    AttrValue = 25, AttrVspace = 26, AttrWeight = 27, AttrWidth = 28, AttrWrap = 29,
    AttrCount = 30
};

constexpr int kEntityCount = 127;
constexpr int kCodePointCount = 27;
constexpr int kMaxEntityNameBytes = 6;  // "Aacute", "frac12", ...: the longest names

// One named character entity: its case-sensitive name and its Windows-1252 byte (the
// card suits, which have no Windows-1252 code, take 0x8D to 0x90).
struct EntityEntry {
    const char* name;
    uint8_t byte;
};

// Whitespace of HTML text and tags: 0x09-0x0D and 0x20 (never a byte above 0x7F).
constexpr bool isHtmlSpace(int c) { return c == 0x20 || (c >= 0x09 && c <= 0x0D); }
inline bool isHtmlDigit(int c) { return c >= '0' && c <= '9'; }
// ASCII letters to lower case; every other byte unchanged.
inline uint8_t foldAscii(uint8_t c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<uint8_t>(c + ('a' - 'A')) : c;
}
// Compares two zero-terminated strings with ASCII letters folded to lower case and
// bytes taken unsigned: negative, 0 or positive.
int compareFolded(const char* left, const char* right);

// TagId of `name` (ASCII case folded), or -1. `isEnd` becomes 1 when the name begins
// with '/', which is skipped, else 0. One trailing '/' is dropped too, so the empty
// elements "br/" and "/p/" are BR and the end of P; "/" alone is no tag.
int lookupTag(const char* name, int32_t& isEnd);
// AttributeId of `name` (ASCII case folded), or -1.
int lookupAttribute(const char* name);
// An ALIGN value: "LEFT" 0, "CENTER" 1, "RIGHT" 2 (any case); -1 for any other value
// and for none (nullptr). These are the style's alignment codes.
int lookupAlign(const char* value);
// List numbering style of a TYPE value: one character gives "1" 7, "A" 3, "a" 4, "I" 5,
// "i" 6 (exact case); a longer value "DISC" 0, "CIRCLE" 1, "SQUARE" 2 (any case).
// Anything else, an empty value and no value give -1.
int lookupListType(const char* value);

// Entity `index` (0 to kEntityCount - 1) in table order: sorted by byte value, so the
// upper-case names come first. No name is a prefix of another.
const EntityEntry& entityAt(int index);
// Index of the first entity whose name begins with `first`, or -1.
int firstEntityStartingWith(uint8_t first);
// The Windows-1252 byte of a code point of 256 or more that a numeric reference may
// name, or -1 when the table lacks it.
int lookupCodePoint(uint32_t codePoint);

// Names by id, for diagnostics and tests: the upper-case table name, or nullptr when
// the id is out of range.
const char* tagNameOf(int tagId);
const char* attributeNameOf(int attributeId);
