// html/tag_handlers.cpp -- see tag_handlers.h.
#include "html/tag_handlers.h"

#include <cstdint>
#include <cstring>

#include "html/formatted_output.h"
#include "html/html_output.h"
#include "html/html_reader.h"
#include "html/html_tables.h"
#include "html/link_resolution.h"
#include "html/page_records.h"
#include "html/references.h"

namespace {

constexpr int32_t kMaxDecimal = 2147483647;
constexpr int32_t kMaxBorder = 15;          // a table border is 0 to 15 wide
constexpr int32_t kFullWidth = -100;        // rule width: 100 percent
constexpr int32_t kDefaultRuleSize = 2;
// Rule alignment codes of the layout records (not the text alignment codes).
constexpr int32_t kRuleCentered = 0, kRuleRight = 1, kRuleLeft = 2;
// Table rules: above and below a table, between rows, between cells of a row.
constexpr int32_t kTableEdgeRule = 3, kRowRule = 2, kCellRule = 1;
constexpr int16_t kMaxTableDepth = 32767;   // tableDepth is 16-bit: beyond this, stop counting
// Table level states.
constexpr uint8_t kTableStarted = 1, kRowStarted = 2, kInCell = 4, kAfterCell = 5;
constexpr int kAddLinkMaxDepth = 256;       // addLink refuses deeper pages by design
constexpr uint8_t kLeftQuote = 0x93, kRightQuote = 0x94;  // Windows-1252 curly double quotes

const char kXmpEnd[] = "</XMP>";
constexpr int kXmpEndLength = 6;

// The alignment code of the tag just read (-1 without a valid ALIGN).
int alignOf(const HtmlContext& context) { return lookupAlign(findAttribute(context, AttrAlign)); }

// Tags that only push and pop one element of their own kind.
int inlineKind(int tag) {
    switch (tag) {
        case TagB: return ElementB;
        case TagBig: return ElementBig;
        case TagBlink: return ElementBlink;
        case TagCite: return ElementCite;
        case TagCode: return ElementCode;
        case TagEm: return ElementEm;
        case TagI: return ElementI;
        case TagKbd: return ElementKbd;
        // The newer phrase elements take the look of their older kin.
        case TagDel: return ElementStrike;
        case TagIns: return ElementU;
        case TagSamp: return ElementCode;
        case TagDfn: return ElementI;
        case TagMark: return ElementB;
        case TagS: return ElementS;
        case TagSmall: return ElementSmall;
        case TagStrike: return ElementStrike;
        case TagStrong: return ElementStrong;
        case TagSub: return ElementSub;
        case TagSup: return ElementSup;
        case TagTt: return ElementTt;
        case TagU: return ElementU;
        case TagVar: return ElementVar;
        default: return -1;
    }
}

int listKind(int tag) {
    switch (tag) {
        case TagDir: return ElementDir;
        case TagMenu: return ElementMenu;
        case TagOl: return ElementOl;
        case TagUl: return ElementUl;
        default: return -1;
    }
}

int attributeIdAt(const HtmlContext& context, int32_t index) {
    return lookupAttribute(context.attrs[index].name);
}

void copyName(char* out, const char* value) {
    size_t length = std::strlen(value);
    if (length > static_cast<size_t>(kHtmlNameBytes - 1)) length = kHtmlNameBytes - 1;
    std::memcpy(out, value, length);
    out[length] = 0;
}

// The table level the context is in when it is one of the recorded ones: its index in
// tableState and tableBorder, else -1.
int recordedLevel(const HtmlContext& context) {
    if (context.tableDepth < 1 || context.tableDepth > kTableLevels) return -1;
    return context.tableDepth - 1;
}

// A record writer's failure is a failed write, except addLink's refusal of deep pages.
void noteRecord(PageParse& parse, int written) {
    if (!written) parse.writeFailed = 1;
}

// --- Fonts ---

// A SIZE value: "+n" and "-n" are relative; an empty value changes nothing.
void readFontSize(const char* value, int32_t& relative, int32_t& size) {
    while (isHtmlSpace(static_cast<uint8_t>(*value))) ++value;
    if (*value == 0) return;
    if (*value == '+' || *value == '-') {
        relative = 1;
        const int32_t number = readDecimal(value + 1);
        size = *value == '-' ? -number : number;
    } else {
        size = readDecimal(value);
    }
}

void handleBasefont(HtmlContext& context) {
    popElement(*context.elements, ElementBasefont);
    int32_t relative = 0, size = 0;
    const char* value = findAttribute(context, AttrSize);
    if (value != nullptr) readFontSize(value, relative, size);
    pushFontElement(*context.elements, ElementBasefont, relative, size, 0);
}

void handleFont(HtmlContext& context, int32_t isEnd) {
    if (isEnd) {
        popElement(*context.elements, ElementFont);
        return;
    }
    int32_t relative = 0, size = 0, weight = 0;
    for (int32_t i = 0; i < context.attrCount; ++i) {
        const int id = attributeIdAt(context, i);
        if (id == AttrSize) readFontSize(context.attrs[i].value, relative, size);
        else if (id == AttrWeight) weight = readDecimal(context.attrs[i].value);
    }
    pushFontElement(*context.elements, ElementFont, relative, size, weight);
}

// --- Links and anchors ---

void countLongReference(HtmlContext& context) {
    if (context.longReferences < INT32_MAX) ++context.longReferences;
}

// A web page's reference as browsers read an attribute: character references decoded,
// so "list.php?page=2&amp;sort=date" asks for "...&sort=date". Local pages keep their
// references' bytes as they always have. Returns `ref` itself when it holds no '&'.
const char* webReferenceText(HtmlContext& context, const char* ref, char* out) {
    if (std::strchr(ref, '&') == nullptr) return ref;
    const int32_t length = readAttributeText(context, ref, reinterpret_cast<uint8_t*>(out), kReferenceBytes - 1);
    out[length] = 0;
    return out;
}

// Resolves `ref` against the page's base into `target` and `fragment` (256 bytes each):
// by the web's rules when the base is an address, else by the local ones, which split no
// fragment when `fragment` is null (a frame names its page whole). False when the
// reference names no page; one whose name would pass 255 bytes is counted, since a cut
// name would open another page. The reader cuts values at kAttrValueChars, so a value
// that long may be the start of a longer one.
bool resolvePageReference(HtmlContext& context, const char* ref, char* target, char* fragment) {
    if (std::strlen(ref) >= static_cast<size_t>(kAttrValueChars)) {
        countLongReference(context);
        return false;
    }
    if (pathKind(context.baseDir) == PathUrl) {
        char ignored[kReferenceBytes];
        char decoded[kReferenceBytes];
        const int result = resolveWebReference(context.baseDir, webReferenceText(context, ref, decoded), target,
                                               fragment != nullptr ? fragment : ignored);
        if (result == WebTooLong) countLongReference(context);
        return result == WebResolved;
    }
    char resolved[kReferenceBytes];
    if (resolveReference(context.baseDir, ref, resolved) == nullptr) {
        // An absolute base that resolves is refused only for the length.
        if (pathKind(context.baseDir) != PathRelative && std::strlen(context.baseDir) < kReferenceBytes - 2)
            countLongReference(context);
        return false;
    }
    if (normalizePath(decodePathEscapes(resolved)) == nullptr) return false;
    if (fragment != nullptr) return splitFragment(resolved, target, fragment);
    std::memcpy(target, resolved, kReferenceBytes);
    return true;
}

void handleAnchor(PageParse& parse, int32_t isEnd) {
    HtmlContext& context = *parse.context;
    popElement(*context.elements, ElementA);
    context.inLink = 0;
    if (isEnd) {
        closeLink(parse);
        return;
    }
    if (findAttribute(context, AttrHref) != nullptr) {
        pushElement(*context.elements, ElementA);
        context.inLink = 1;
    }
    for (int32_t i = 0; i < context.attrCount; ++i) {
        const int id = attributeIdAt(context, i);
        const char* value = context.attrs[i].value;
        if (id == AttrHref) {
            closeLink(parse);
            copyName(context.href, value);
            context.linkStart = static_cast<int32_t>(context.textPos);
        } else if ((id == AttrName || id == AttrId) && value[0] != 0) {
            noteRecord(parse, addNameAnchor(context, context.textPos, value));
            context.lastNamePos = context.textPos;
        }
    }
}

void handleBase(HtmlContext& context) {
    for (int32_t i = 0; i < context.attrCount; ++i) {
        if (attributeIdAt(context, i) != AttrHref) continue;
        const char* value = context.attrs[i].value;
        if (pathKind(context.baseDir) == PathUrl || pathKind(value) == PathUrl) {
            // An address: taken as browsers take it, relative to the page's address,
            // and never a local folder for a page from the web.
            char decoded[kReferenceBytes];
            value = webReferenceText(context, value, decoded);
            const char* from = pathKind(value) == PathUrl ? value : context.baseDir;
            char base[kReferenceBytes];
            char fragment[kReferenceBytes];
            if (resolveWebReference(from, value, base, fragment) != WebResolved) continue;
            std::memcpy(context.baseDir, base, sizeof base);
            return;
        }
        if (pathKind(value) == PathRelative) continue;
        copyName(context.baseDir, value);
        normalizePath(decodePathEscapes(context.baseDir));  // left as copied when it climbs above its root
        return;
    }
}

// --- Lists ---

// START and TYPE of a list or list item, the last occurrence of each winning.
void readListAttributes(const HtmlContext& context, int32_t& type, int32_t& number) {
    type = -1;
    number = 0;
    for (int32_t i = 0; i < context.attrCount; ++i) {
        const int id = attributeIdAt(context, i);
        if (id == AttrStart) number = static_cast<int16_t>(readDecimal(context.attrs[i].value));
        else if (id == AttrType) type = lookupListType(context.attrs[i].value);
    }
}

void handleList(HtmlContext& context, int kind, int32_t isEnd) {
    FormattedOutput& elements = *context.elements;
    if (isEnd) {
        if (countListLevels(elements) == 1) requestParagraphEnd(context);
        else requestLineBreak(context);
        popList(elements);
        return;
    }
    if (countListLevels(elements) == 0) requestBlankLine(context);
    else requestLineBreak(context);
    int32_t type = -1, start = 0;
    readListAttributes(context, type, start);
    pushListElement(elements, kind, type, start);
}

void handleListItem(HtmlContext& context, int32_t isEnd) {
    requestLineBreak(context);
    if (isEnd) {
        endListItem(*context.elements);
        return;
    }
    int32_t type = -1, number = 0;
    readListAttributes(context, type, number);
    beginListItem(*context.elements, type, number);
}

void handleDefinitionList(HtmlContext& context, int32_t isEnd) {
    FormattedOutput& elements = *context.elements;
    if (isEnd) {
        const int levels = countListLevels(elements);
        endDefinitionList(elements);
        if (levels == 1) requestParagraphEnd(context);
        else requestLineBreak(context);
    } else {
        if (countListLevels(elements) == 0) requestBlankLine(context);
        else requestLineBreak(context);
        pushElement(elements, ElementDl);
    }
    requestNewline(context);
}

// --- Rules and tables ---

void handleRule(PageParse& parse) {
    HtmlContext& context = *parse.context;
    int32_t align = kRuleCentered, noShade = 0, size = kDefaultRuleSize, width = kFullWidth;
    for (int32_t i = 0; i < context.attrCount; ++i) {
        const char* value = context.attrs[i].value;
        switch (attributeIdAt(context, i)) {
            case AttrAlign:
                if (compareFolded(value, "CENTER") == 0) align = kRuleCentered;
                else if (compareFolded(value, "RIGHT") == 0) align = kRuleRight;
                else if (compareFolded(value, "LEFT") == 0) align = kRuleLeft;
                break;
            case AttrNoshade:
                noShade = 1;
                break;
            case AttrSize:
                size = readDecimal(value);
                if (size < 1) size = kDefaultRuleSize;
                break;
            case AttrWidth: {
                const int32_t number = readDecimal(value);
                if (number < 0) width = kFullWidth;
                else if (std::strchr(value, '%') != nullptr) width = number > 100 ? kFullWidth : -number;
                else width = number;
                break;
            }
            default:
                break;
        }
    }
    requestLineBreak(context);
    if (context.hideNesting > 0) return;  // no rule inside left-out navigation
    if (!flushPendingBreaks(parse)) {
        parse.writeFailed = 1;
        return;
    }
    if (!writeRuleRecord(context, context.textPos, align, noShade, size, width)) {
        parse.writeFailed = 1;
        return;
    }
    requestNewline(context);
}

// A full-width unshaded rule on a line of its own.
void drawTableRule(PageParse& parse, int32_t size) {
    HtmlContext& context = *parse.context;
    if (context.hideNesting > 0) return;
    requestNewline(context);
    if (!writePendingNewlines(context)) {
        parse.writeFailed = 1;
        return;
    }
    if (!writeRuleRecord(context, context.textPos, kRuleCentered, 1, size, kFullWidth)) {
        parse.writeFailed = 1;
        return;
    }
    requestNewline(context);
}

int32_t tableBorderOf(const HtmlContext& context) {
    const char* value = findAttribute(context, AttrBorder);
    if (value == nullptr) return 0;
    if (value[0] == 0) return 1;
    const int32_t border = readDecimal(value);
    return border < 0 ? 0 : (border > kMaxBorder ? kMaxBorder : border);
}

void handleTable(PageParse& parse, int32_t isEnd) {
    HtmlContext& context = *parse.context;
    if (isEnd) {
        popTable(*context.elements);
        if (context.tableDepth <= 0) return;
        const int level = recordedLevel(context);
        context.tableDepth = static_cast<int16_t>(context.tableDepth - 1);
        if (level >= 0 && context.tableBorder[level] > 0) drawTableRule(parse, kTableEdgeRule);
        requestParagraphEnd(context);
        return;
    }
    requestBlankLine(context);
    const int align = alignOf(context);
    pushElementValue(*context.elements, ElementTable, align == kAlignNotGiven ? kAlignLeft : align);
    const int32_t border = tableBorderOf(context);
    if (border > 0) drawTableRule(parse, kTableEdgeRule);
    if (context.tableDepth < kMaxTableDepth)
        context.tableDepth = static_cast<int16_t>(context.tableDepth + 1);
    const int level = recordedLevel(context);
    if (level >= 0) {
        context.tableState[level] = kTableStarted;
        context.tableBorder[level] = static_cast<uint8_t>(border);
    }
}

void handleRow(PageParse& parse, int32_t isEnd) {
    HtmlContext& context = *parse.context;
    popTableRow(*context.elements);
    const int level = recordedLevel(context);
    if (isEnd) {
        if (level >= 0) context.tableState[level] = kAfterCell;
        requestLineBreak(context);
        return;
    }
    if (level >= 0) {
        if (context.tableState[level] != kTableStarted && context.tableBorder[level] > 0)
            drawTableRule(parse, kRowRule);
        context.tableState[level] = kRowStarted;
    }
    requestLineBreak(context);
    const int align = alignOf(context);
    if (align != kAlignNotGiven) pushElementValue(*context.elements, ElementTr, align);
}

void handleCell(PageParse& parse, int kind, int32_t isEnd) {
    HtmlContext& context = *parse.context;
    popTableCell(*context.elements);
    const int level = recordedLevel(context);
    if (isEnd) {
        if (level >= 0) context.tableState[level] = kAfterCell;
        requestLineBreak(context);
        return;
    }
    if (level >= 0) {
        const uint8_t state = context.tableState[level];
        if (state != kTableStarted && state != kRowStarted && context.tableBorder[level] > 0)
            drawTableRule(parse, kCellRule);
        context.tableState[level] = kInCell;
    }
    requestLineBreak(context);
    pushElementValue(*context.elements, kind, alignOf(context));
}

// --- Tags that take over the reading ---

// The title's text never reaches the document. The tag that follows it is given back
// for the main loop.
void readTitle(HtmlContext& context) {
    int32_t space = 1;
    uint16_t length = 0;
    int end = readText(context, space, reinterpret_cast<uint8_t*>(context.title),
                       kHtmlNameBytes - 1, length);
    context.title[length] = 0;
    while (end == kTextRunFull) {
        end = readChar(context);
        if (end != '<' && end != kEndOfInput) end = kTextRunFull;
    }
    if (end == '<') unreadChars(context, 1);
}

// Emits the bytes gathered in textBuffer; false when the write failed.
bool emitGathered(PageParse& parse, int32_t& gathered) {
    const int32_t count = gathered;
    gathered = 0;
    if (count == 0 || emitText(*parse.context, count)) return true;
    parse.writeFailed = 1;
    parse.endLoop = 1;
    return false;
}

// Raw bytes up to "</XMP>" in any letter case: no tags, no references, no CR.
void readXmpBlock(PageParse& parse) {
    HtmlContext& context = *parse.context;
    pushElement(*context.elements, ElementXmp);
    requestBlankLine(context);
    if (!flushPendingBreaks(parse)) {
        parse.writeFailed = 1;
        parse.endLoop = 1;
        return;
    }
    uint8_t held[kXmpEndLength];  // the bytes that match the end tag so far, as read
    int matched = 0;
    int32_t gathered = 0;
    auto store = [&](uint8_t byte) {
        context.textBuffer[gathered++] = byte;
        return gathered < kTextBufferBytes || emitGathered(parse, gathered);
    };
    for (;;) {
        const int c = readChar(context);
        if (c == kEndOfInput) {
            // An unterminated block keeps everything it read, a partial end tag too.
            for (int i = 0; i < matched; ++i)
                if (!store(held[i])) return;
            emitGathered(parse, gathered);
            return;
        }
        const uint8_t byte = static_cast<uint8_t>(c);
        if (foldAscii(byte) == foldAscii(static_cast<uint8_t>(kXmpEnd[matched]))) {
            held[matched++] = byte;
            if (matched == kXmpEndLength) break;
            continue;
        }
        for (int i = 0; i < matched; ++i)
            if (!store(held[i])) return;
        matched = 0;
        if (byte == '<') held[matched++] = byte;
        else if (byte != 0x0D && !store(byte)) return;
    }
    if (!emitGathered(parse, gathered)) return;
    popElement(*context.elements, ElementXmp);
    requestParagraphEnd(context);
}

// The rest of the page is text: formatting ends and tags are no longer recognised.
// Breaks that were pending before the tag are dropped.
void readPlainTextRest(PageParse& parse) {
    HtmlContext& context = *parse.context;
    resetElements(*context.elements);
    if (!writeStyleChange(context, context.textPos, defaultStyle())) parse.writeFailed = 1;
    for (;;) {
        uint16_t length = 0;
        // One byte of room for the '<' that ended the run, so it joins the text.
        const int end = readRawText(context, context.textBuffer, kTextBufferBytes - 1, length);
        if (end == '<') context.textBuffer[length++] = '<';
        if (length > 0 && !emitText(context, length)) {
            parse.writeFailed = 1;
            break;
        }
        if (end == kEndOfInput) break;
    }
    finishPage(parse);
}

// Queues the page's frames at its own depth; nothing after FRAMESET is converted.
void collectFrames(PageParse& parse) {
    HtmlContext& context = *parse.context;
    for (;;) {
        const int c = readChar(context);
        if (c == kEndOfInput) break;
        if (c != '<') continue;
        parseTag(context);
        int32_t isEnd = 0;
        if (lookupTag(context.tagName, isEnd) != TagFrame || isEnd) continue;
        const char* source = findAttribute(context, AttrSrc);
        if (source == nullptr) continue;
        char name[kReferenceBytes];
        if (!resolvePageReference(context, source, name, nullptr)) continue;
        // A page already in the list (this frameset itself, or a page another frameset
        // named) is not queued again: a frameset that names itself would otherwise be
        // converted over and over at the same depth, up to the pass's page limit.
        int32_t known = kNoRecord;
        if (!findKnownPage(context, name, &known)) {
            parse.writeFailed = 1;
            break;
        }
        if (known != kNoRecord) continue;
        if (!addPage(context, context.pageDepth, name, nullptr)) {
            parse.writeFailed = 1;
            break;
        }
    }
    if (!flushPendingBreaks(parse)) parse.writeFailed = 1;
    finishPage(parse);
}

// --- Content that is not text, text alternatives, quotations ---

// Writes `count` bytes of textBuffer as ordinary text after the pending breaks.
void writeInlineText(PageParse& parse, int32_t count) {
    HtmlContext& context = *parse.context;
    if (!flushPendingBreaks(parse) || !emitText(context, count)) {
        parse.writeFailed = 1;
        return;
    }
    context.prevSpace = 0;
}

// An image's text alternative as "[text]"; nothing for an empty or blank ALT.
void writeAltText(PageParse& parse) {
    HtmlContext& context = *parse.context;
    const char* alt = findAttribute(context, AttrAlt);
    if (alt == nullptr) return;
    const int32_t length = readAttributeText(context, alt, context.textBuffer + 1, kTextBufferBytes - 2);
    if (length == 0) return;
    context.textBuffer[0] = '[';
    context.textBuffer[length + 1] = ']';
    writeInlineText(parse, length + 2);
}

void writeQuotationMark(PageParse& parse, int32_t isEnd) {
    parse.context->textBuffer[0] = isEnd ? kRightQuote : kLeftQuote;
    writeInlineText(parse, 1);
}

// --- Anchors named by ID ---

// An ID on any start tag (A records its own, in attribute order) names the position
// where the element begins, as NAME does. Declarations and comments carry none.
void recordIdAnchors(PageParse& parse) {
    HtmlContext& context = *parse.context;
    const char first = context.tagName[0];
    if (first == 0 || first == '!' || first == '?') return;
    for (int32_t i = 0; i < context.attrCount; ++i) {
        if (attributeIdAt(context, i) != AttrId || context.attrs[i].value[0] == 0) continue;
        noteRecord(parse, addNameAnchor(context, context.textPos, context.attrs[i].value));
        context.lastNamePos = context.textPos;
    }
}

// --- Navigation ---

// The tag name without the end tag's '/' and an empty element's trailing '/', compared
// without case to the stored one.
bool isHiddenElement(const HtmlContext& context) {
    const char* name = context.tagName[0] == '/' ? context.tagName + 1 : context.tagName;
    const char* stored = context.hideTag;
    for (; *stored != 0; ++name, ++stored)
        if (foldAscii(static_cast<uint8_t>(*name)) != foldAscii(static_cast<uint8_t>(*stored)))
            return false;
    return *name == 0 || (name[0] == '/' && name[1] == 0);
}

// Elements that can hold navigation: not the empty ones, whose end tag never comes, nor
// those whose handler reads past their own end tag.
bool canHoldNavigation(int tag) {
    switch (tag) {
        case TagApplet: case TagArea: case TagBase: case TagBasefont: case TagBr:
        case TagEmbed: case TagFrame: case TagFrameset: case TagHr: case TagImg:
        case TagInput: case TagIsindex: case TagKeygen: case TagLayer: case TagLink:
        case TagMeta: case TagNoframes: case TagParam: case TagPlaintext: case TagScript:
        case TagServer: case TagSpacer: case TagStyle: case TagSvg: case TagTemplate:
        case TagTitle: case TagWbr: case TagXmp:
            return false;
        default:
            return true;
    }
}

bool startsNavigation(const HtmlContext& context, int tag) {
    if (context.keepNavigation != 0 || context.tagClosesItself != 0) return false;
    const char first = context.tagName[0];
    if (first == 0 || first == '!' || first == '?' || !canHoldNavigation(tag)) return false;
    if (tag == TagNav) return true;
    const char* role = findAttribute(context, AttrRole);
    return role != nullptr && compareFolded(role, "navigation") == 0;
}

// From here on nothing is written until the element's end tag. The break requests of
// its own start tag stay; those made inside it are forgotten when it ends.
void beginHiding(HtmlContext& context) {
    const char* name = context.tagName;
    int length = 0;
    while (name[length] != 0 && length < kTagNameBytes - 1) ++length;
    if (length > 0 && name[length - 1] == '/') --length;
    for (int i = 0; i < length; ++i) context.hideTag[i] = name[i];
    context.hideTag[length] = 0;
    context.hiddenPrevSpace = context.prevSpace;
    context.hiddenBreakPending = context.breakPending;
    context.hiddenPendingNewlines = context.pendingNewlines;
    context.hideNesting = 1;
}

}  // namespace

void endHiddenNavigation(HtmlContext& context) {
    if (context.hideNesting == 0) return;
    context.hideNesting = 0;
    context.prevSpace = context.hiddenPrevSpace;
    context.breakPending = context.hiddenBreakPending;
    context.pendingNewlines = context.hiddenPendingNewlines;
}

namespace {
}  // namespace

int32_t readDecimal(const char* text) {
    while (isHtmlSpace(static_cast<uint8_t>(*text))) ++text;
    bool negative = false;
    if (*text == '+' || *text == '-') negative = *text++ == '-';
    int64_t value = 0;
    for (; isHtmlDigit(static_cast<uint8_t>(*text)); ++text) {
        value = value * 10 + (*text - '0');
        if (value > kMaxDecimal) value = kMaxDecimal;
    }
    return static_cast<int32_t>(negative ? -value : value);
}

void closeLink(PageParse& parse) {
    HtmlContext& context = *parse.context;
    if (context.linkStart == -1) return;
    const uint32_t start = static_cast<uint32_t>(context.linkStart);
    context.linkStart = -1;
    int written = 1;
    if (context.href[0] == '#') {
        written = addLink(context, start, context.textPos, context.pageName, context.href + 1);
    } else {
        char target[kReferenceBytes];
        char fragment[kReferenceBytes];
        if (!resolvePageReference(context, context.href, target, fragment)) return;
        written = addLink(context, start, context.textPos, target, fragment);
    }
    if (context.pageDepth < kAddLinkMaxDepth) noteRecord(parse, written);
}

void skipToEndTag(HtmlContext& context, int tag, bool nested) {
    int32_t open = 1;
    for (;;) {
        const int c = readChar(context);
        if (c == kEndOfInput) return;
        if (c != '<') continue;
        parseTag(context);
        int32_t isEnd = 0;
        if (lookupTag(context.tagName, isEnd) != tag) continue;
        if (isEnd) {
            if (--open == 0) return;
        } else if (nested && context.tagClosesItself == 0) {
            ++open;
        }
    }
}

namespace {

void runHandler(PageParse& parse, int tag, int32_t isEnd) {
    HtmlContext& context = *parse.context;
    FormattedOutput& elements = *context.elements;
    const int inline_ = inlineKind(tag);
    if (inline_ >= 0) {
        if (isEnd) popElement(elements, inline_);
        else pushElement(elements, inline_);
        return;
    }
    const int list = listKind(tag);
    if (list >= 0) {
        handleList(context, list, isEnd);
        return;
    }
    switch (tag) {
        case TagA:
            handleAnchor(parse, isEnd);
            break;
        case TagAddress:
        case TagCenter: {
            const int kind = tag == TagAddress ? ElementAddress : ElementCenter;
            if (isEnd) popElement(elements, kind);
            else pushElement(elements, kind);
            requestNewline(context);
            break;
        }
        case TagApplet:
        case TagEmbed:
        case TagLayer:
        case TagNoframes:
        case TagScript:
        case TagServer:
        case TagStyle:
            if (!isEnd) skipToEndTag(context, tag, false);
            break;
        case TagBase:
            handleBase(context);
            break;
        case TagBasefont:
            handleBasefont(context);
            break;
        case TagBlockquote:
            if (isEnd) popElement(elements, ElementBlockquote);
            else pushElement(elements, ElementBlockquote);
            requestParagraphEnd(context);
            break;
        case TagBr: {
            if (isEnd) break;
            const int level = recordedLevel(context);
            // Between table cells there is no line to break.
            if (level >= 0 && context.tableState[level] != kInCell) break;
            requestBr(context);
            break;
        }
        case TagDd:
            if (isEnd) break;
            beginDefinitionData(elements);
            requestNewline(context);
            break;
        case TagDt:
            if (isEnd) break;
            endDefinitionData(elements);
            requestNewline(context);
            break;
        case TagArticle:
        case TagAside:
        case TagDetails:
        case TagFigcaption:
        case TagFigure:
        case TagFooter:
        case TagHeader:
        case TagHgroup:
        case TagMain:
        case TagNav:
        case TagSection:
        case TagSummary:
        case TagDiv: {
            popElement(elements, ElementDiv);
            const int align = isEnd ? kAlignNotGiven : alignOf(context);
            if (align != kAlignNotGiven) pushElementValue(elements, ElementDiv, align);
            requestNewline(context);
            break;
        }
        case TagDl:
            handleDefinitionList(context, isEnd);
            break;
        case TagLi:
            handleListItem(context, isEnd);
            break;
        case TagFont:
            handleFont(context, isEnd);
            break;
        case TagH1:
        case TagH2:
        case TagH3:
        case TagH4:
        case TagH5:
        case TagH6: {
            const int kind = ElementH1 + (tag - TagH1);
            if (isEnd) {
                popElement(elements, kind);
                requestParagraphEnd(context);
            } else {
                popBlockElement(elements);
                pushElementValue(elements, kind, alignOf(context));
                requestBlankLine(context);
            }
            break;
        }
        case TagHr:
            handleRule(parse);
            break;
        case TagImg:
        case TagArea:
            if (!isEnd) writeAltText(parse);
            break;
        case TagInput: {
            const char* type = findAttribute(context, AttrType);
            if (!isEnd && type != nullptr && compareFolded(type, "IMAGE") == 0) writeAltText(parse);
            break;
        }
        case TagQ:
            writeQuotationMark(parse, isEnd);
            break;
        case TagSvg:
        case TagTemplate:
            if (!isEnd && context.tagClosesItself == 0) skipToEndTag(context, tag, true);
            break;
        case TagP: {
            popBlockElement(elements);
            const int align = isEnd ? kAlignNotGiven : alignOf(context);
            if (align != kAlignNotGiven) pushElementValue(elements, ElementP, align);
            requestParagraphEnd(context);
            break;
        }
        case TagPre:
            if (isEnd) {
                popElement(elements, ElementPre);
                requestParagraphEnd(context);
                parse.rawText = 0;
            } else {
                pushElement(elements, ElementPre);
                requestBlankLine(context);
                parse.rawText = 1;
            }
            break;
        case TagXmp:
            readXmpBlock(parse);
            break;
        case TagPlaintext:
            readPlainTextRest(parse);
            break;
        case TagFrameset:
            collectFrames(parse);
            break;
        case TagTitle:
            // The end tag does nothing, so the text after it stays in the document.
            if (!isEnd) readTitle(context);
            break;
        case TagTable:
            handleTable(parse, isEnd);
            break;
        case TagTr:
            handleRow(parse, isEnd);
            break;
        case TagTd:
        case TagTh:
            handleCell(parse, tag == TagTd ? ElementTd : ElementTh, isEnd);
            break;
        default:
            break;  // unknown and ignored tags
    }
}

}  // namespace

void runTagHandler(PageParse& parse, int tag, int32_t isEnd) {
    HtmlContext& context = *parse.context;
    if (!isEnd && tag != TagA) recordIdAnchors(parse);
    if (context.hideNesting > 0 && isHiddenElement(context)) {
        if (!isEnd && context.tagClosesItself == 0) ++context.hideNesting;
        else if (isEnd && --context.hideNesting == 0) {
            // Restored before the end tag's own handler, as if the element were empty.
            context.hideNesting = 1;
            endHiddenNavigation(context);
        }
    }
    runHandler(parse, tag, isEnd);
    if (!isEnd && context.hideNesting == 0 && startsNavigation(context, tag)) beginHiding(context);
}
