// html/html_reader.cpp -- see html_reader.h.
#include "html/html_reader.h"

#include <algorithm>
#include <cstring>

#include "engine/checked_io.h"
#include "html/formatted_output.h"
#include "html/html_tables.h"

namespace {

constexpr uint32_t kNone = 0xFFFFFFFFu;   // "no record / no position" in the u32 fields
constexpr int kMaxLeadingZeros = 1023;    // a numeric reference may pad with this many
constexpr uint32_t kMaxCodePoint = 0x10FFFF;
constexpr int kMaxRunBytes = 0xFFFF;      // a run's length is 16-bit
constexpr int kUtf8Mark[3] = {0xEF, 0xBB, 0xBF};

// Ends the input where the next block would have begun, so that a failed seek or read
// or a cancel reads as the end for the rest of the page instead of being retried.
void endInputAt(HtmlContext& context, uint32_t offset) { context.inputSize = offset; }

// Pool storage: cut to what is left of the pool, never missing. An empty result may
// not fit in the pool at all, so it is a constant empty string.
const char* storeInPool(HtmlContext& context, const char* text, int32_t length) {
    if (context.attrPoolUsed + length + 1 > kAttrPoolBytes)
        length = kAttrPoolBytes - context.attrPoolUsed - 1;
    if (length <= 0) return "";
    char* stored = context.attrPool + context.attrPoolUsed;
    std::memcpy(stored, text, static_cast<size_t>(length));
    stored[length] = 0;
    context.attrPoolUsed += length + 1;
    return stored;
}

int32_t textLength(const char* text) { return static_cast<int32_t>(std::strlen(text)); }

void addAttribute(HtmlContext& context, const char* name, const char* value) {
    context.attrs[context.attrCount] = HtmlAttribute{name, value};
    ++context.attrCount;
}

bool isQuote(int c) { return c == '"' || c == '\''; }

// Whether `c` is one of the zero-terminated `stops` (none when null). A loop over one or
// two stop bytes, called for every byte of a tag, costs less than strchr.
inline bool isStop(const char* stops, int c) {
    if (stops == nullptr) return false;
    for (; *stops != 0; ++stops)
        if (static_cast<uint8_t>(*stops) == c) return true;
    return false;
}

// The bytes a text run takes as they are: all but '<', '&' and whitespace.
struct PlainBytes {
    bool plain[256];
};

constexpr PlainBytes makePlainBytes() {
    PlainBytes bytes{};
    for (int c = 0; c < 256; ++c) bytes.plain[c] = c != '<' && c != '&' && !isHtmlSpace(c);
    return bytes;
}

constexpr PlainBytes kPlainBytes = makePlainBytes();

// A quoted name or value after its opening quote `quote`: whitespace after the quote is
// skipped, then at most 1 + `max` bytes are kept up to the closing quote. Returns the
// terminator: the byte after the closing quote; the quote itself when the text is empty;
// or the end.
int readQuoted(HtmlContext& context, int quote, char* buffer, int32_t max) {
    buffer[0] = 0;
    const int first = readNonSpace(context);
    if (first == quote || first == kEndOfInput) return first;
    buffer[0] = static_cast<char>(first);
    const int stop = readUntil(context, quote, buffer + 1, max);
    return stop == quote ? readChar(context) : stop;
}

void trimTrailingSpace(char* text) {
    int32_t length = textLength(text);
    while (length > 0 && isHtmlSpace(static_cast<uint8_t>(text[length - 1]))) --length;
    text[length] = 0;
}

// Fields shared by resetHtmlContext and the page start.
void resetTextRunState(HtmlContext& context) {
    context.inLink = 0;
    context.prevSpace = 1;
    context.breakPending = 0;
    context.pendingNewlines = 0;
    context.trailingNewlines = 1;
    context.pageLinksStart = 0;
    context.pageLinkCount = 0;
    context.linkStart = -1;
    context.tableDepth = 0;
    context.outFill = 0;
    context.hideNesting = 0;
    context.hideTag[0] = 0;
}

void clearLastTag(HtmlContext& context) {
    context.tagName[0] = 0;
    context.attrCount = 0;
    context.attrPoolUsed = 0;
    context.tagClosesItself = 0;
}

// The input offset of the next byte to read.
uint32_t inputPosition(const HtmlContext& context) {
    return context.bufferOffset + static_cast<uint32_t>(context.bufferPos);
}

// Moves back to input offset `position`, at or before the current one.
void rewindTo(HtmlContext& context, uint32_t position) {
    const uint32_t current = inputPosition(context);
    if (position < current) unreadChars(context, static_cast<int32_t>(current - position));
}

bool isAsciiAlphanumeric(int c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
}

// The value of digit `c` in base 10 or 16, or -1.
int digitValue(int c, bool hex) {
    if (c >= '0' && c <= '9') return c - '0';
    if (!hex) return -1;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

void appendCharacter(ReferenceText& text, uint32_t codePoint) {
    const HandheldText handheld = handheldText(codePoint);
    for (int i = 0; i < handheld.length; ++i)
        text.bytes[text.length++] = static_cast<uint8_t>(handheld.bytes[i]);
}

// After "&#". On success the reference and one directly following ';' are consumed;
// on failure the caller gives back what was read.
bool decodeNumeric(HtmlContext& context, ReferenceText& text) {
    int c = readChar(context);
    const bool hex = c == 'x' || c == 'X';
    if (hex) c = readChar(context);
    for (int zeros = 0; c == '0'; c = readChar(context))
        if (++zeros > kMaxLeadingZeros) return false;
    uint32_t value = 0;
    int digits = 0;
    for (int digit = digitValue(c, hex); digit >= 0; digit = digitValue(c, hex)) {
        // Past U+10FFFF the value stops growing (it is "?" whatever follows), so no
        // digit string can overflow it; the digits are still read as the reference's.
        if (value <= kMaxCodePoint) value = value * (hex ? 16 : 10) + static_cast<uint32_t>(digit);
        ++digits;
        c = readChar(context);
    }
    if (digits == 0) return false;  // zeros alone too: "&#0;" stays text
    if (c != ';' && c != kEndOfInput) unreadChars(context, 1);
    text.length = 0;
    if (value < 256) {
        // Bytes 128 to 159 included: pages have long named the Windows-1252 characters
        // by their byte values.
        text.bytes[text.length++] = static_cast<uint8_t>(value);
    } else {
        appendCharacter(text, value);  // "?" beyond the BMP and for surrogates
    }
    return true;
}

// At the first byte of a name, which begins at input offset `start`. On success the
// name and its ';' (when it takes one) are consumed; on failure the caller gives back.
bool decodeNamed(HtmlContext& context, uint32_t start, ReferenceText& text) {
    // One letter more than the longest name: a run that long can only match bare.
    char name[kMaxReferenceNameChars + 1];
    int32_t length = 0;
    int c = kEndOfInput;
    while (length < kMaxReferenceNameChars + 1) {
        c = readChar(context);
        if (c == kEndOfInput || !isAsciiAlphanumeric(c)) break;
        name[length++] = static_cast<char>(c);
    }
    const NamedReference* found = nullptr;
    int32_t consumed = 0;
    if (c == ';') {
        found = findNamedReference(name, length);
        consumed = length + 1;
    }
    // "&notin;" is one character, "&notit;" the bare "&not" and "it;".
    for (int32_t prefix = std::min(length, kMaxBareReferenceNameChars);
         found == nullptr && prefix > 0; --prefix) {
        const NamedReference* bare = findNamedReference(name, prefix);
        if (bare != nullptr && bare->bare != 0) {
            found = bare;
            consumed = prefix == length && c == ';' ? prefix + 1 : prefix;
        }
    }
    if (found == nullptr) return false;
    rewindTo(context, start + static_cast<uint32_t>(consumed));
    text.length = 0;
    appendCharacter(text, found->codePoint);
    if (found->secondCodePoint != 0) appendCharacter(text, found->secondCodePoint);
    return true;
}

// After '&', whose input offset is `ampersand`: stores the text of the reference that
// follows (or the '&' itself) at `out`, which has room for `room` (at least 1) bytes.
// Collapsed text turns whitespace to spaces and drops a space after a space, tracked in
// `space`; raw text drops carriage returns. Returns the bytes stored, or -1 when they
// did not fit and the reference was given back with its '&'. An empty run (`runEmpty`)
// takes "?" instead, so that no `room` can stop the reader for good.
int32_t storeReference(HtmlContext& context, uint32_t ampersand, bool collapse,
                       int32_t& space, uint8_t* out, int32_t room, bool runEmpty) {
    ReferenceText text{};
    if (!decodeReference(context, text)) {
        text.length = 1;
        text.bytes[0] = '&';
    }
    uint8_t shaped[kMaxReferenceBytes];
    int32_t count = 0;
    int32_t shapedSpace = space;
    for (int i = 0; i < text.length; ++i) {
        uint8_t byte = text.bytes[i];
        if (collapse) {
            if (isHtmlSpace(byte)) byte = ' ';
            if (byte != ' ' || shapedSpace == 0) shaped[count++] = byte;
            shapedSpace = byte == ' ' ? 1 : 0;
        } else if (byte != 0x0D) {
            shaped[count++] = byte;
        }
    }
    if (count > room) {
        if (!runEmpty) {
            rewindTo(context, ampersand);
            return -1;
        }
        shaped[0] = '?';
        count = 1;
        shapedSpace = 0;
    }
    std::memcpy(out, shaped, static_cast<size_t>(count));
    space = shapedSpace;
    return count;
}

}  // namespace

HtmlContext* createHtmlContext(const IoOps& io) {
    auto* context = static_cast<HtmlContext*>(
        io.allocBlock(io.userData, static_cast<int32_t>(sizeof(HtmlContext))));
    if (context == nullptr) return nullptr;
    std::memset(context, 0, sizeof(HtmlContext));
    context->io = &io;
    context->elements = createFormattedOutput(io);
    if (context->elements == nullptr) {
        io.freeBlock(io.userData, context);
        return nullptr;
    }
    return context;
}

void destroyHtmlContext(const IoOps& io, HtmlContext* context) {
    if (context == nullptr) return;
    destroyFormattedOutput(io, context->elements);
    io.freeBlock(io.userData, context);
}

bool resetHtmlContext(HtmlContext& context, const IoOps& io) {
    context.io = &io;
    context.input = 0;
    context.inputSize = 0;
    context.bufferOffset = 0;
    context.bufferPos = 0;
    context.bufferFill = 0;
    context.textStream = 0;
    context.textPos = 0;
    context.keepNavigation = 0;
    context.styleStream = 0;
    context.linkStream = 0;
    context.pageStream = 0;
    // The pass installs all five stream handles and the hook after this; a stale layout
    // handle or cancel flag from an earlier use must not survive it.
    context.layoutStream = 0;
    context.progressPercent = nullptr;
    context.progressArg = nullptr;
    context.canceled = 0;
    context.lastListMarker = 0;
    context.title[0] = 0;
    context.baseDir[0] = 0;
    context.pageName[0] = 0;
    context.href[0] = 0;
    clearLastTag(context);
    if (context.elements == nullptr) return false;
    resetElements(*context.elements);
    resetTextRunState(context);
    context.pageDepth = 0;
    context.pageNamesStart = 0;
    context.pageNameCount = 0;
    context.pageTextStart = 0;
    context.pageCount = 0;
    context.pagesDone = 0;
    context.layoutCount = 0;
    context.currentPage = -1;
    context.lastPage = kNone;
    context.lastNamePos = kNone;
    context.lastNameRecord = kNone;
    context.namesAtPosition = 0;
    context.pageIndexStream = 0;
    context.pageIndexSlots = 0;
    context.pageIndexCount = 0;
    context.pageIndexLast = -1;
    context.tickPercent = 0;
    context.workSinceReport = 0;
    return true;
}

bool beginHtmlPage(HtmlContext& context, uint16_t depth, uint32_t stream) {
    const int32_t size = streamSize(*context.io, stream);
    if (size < 0) return false;
    if (context.elements == nullptr) return false;
    resetElements(*context.elements);
    context.input = stream;
    context.inputSize = static_cast<uint32_t>(size);
    context.title[0] = 0;
    context.bufferOffset = 0;
    context.bufferPos = 0;
    context.bufferFill = 0;
    clearLastTag(context);
    resetTextRunState(context);
    context.pageDepth = depth;
    context.pageTextStart = context.textPos;
    context.lastNamePos = kNone;
    return true;
}

bool openHtmlSource(HtmlContext& context, const IoOps& io, uint32_t stream) {
    if (!resetHtmlContext(context, io)) return false;
    const int32_t size = streamSize(io, stream);
    if (size < 0) return false;
    context.input = stream;
    context.inputSize = static_cast<uint32_t>(size);
    return true;
}

bool refillInput(HtmlContext& context) {
    const uint32_t next = context.bufferOffset + static_cast<uint32_t>(context.bufferFill);
    if (next >= context.inputSize) return false;
    const IoOps& io = *context.io;
    // A failed seek leaves the window intact, so bytes still in it can be given back.
    if (!seekExact(io, context.input, static_cast<int32_t>(next))) {
        endInputAt(context, next);
        return false;
    }
    if (context.progressPercent != nullptr) {
        // Wide arithmetic: a 32-bit product would wrap for pages above 42 MB.
        const int32_t percent =
            context.inputSize == 0
                ? 100
                : static_cast<int32_t>(uint64_t{next} * 100u / context.inputSize);
        if (!context.progressPercent(context.progressArg, percent)) {
            context.canceled = 1;
            endInputAt(context, next);
            return false;
        }
    }
    const uint32_t left = context.inputSize - next;
    const int32_t count =
        left < static_cast<uint32_t>(kInputWindowBytes) ? static_cast<int32_t>(left) : kInputWindowBytes;
    context.bufferOffset = next;
    context.bufferPos = 0;
    if (!readExact(io, context.input, context.inputBuffer, count)) {
        // The window's bytes are spoilt; an unread after this reloads from the stream.
        context.bufferFill = 0;
        endInputAt(context, next);
        return false;
    }
    context.bufferFill = count;
    return true;
}

int unreadChars(HtmlContext& context, int32_t count) {
    if (count < 0) return -1;
    if (count <= context.bufferPos) {
        context.bufferPos -= count;
        return count;
    }
    const int64_t position = int64_t{context.bufferOffset} + context.bufferPos - count;
    if (position < 0) return -1;
    // The byte lies before the window: empty it so the next read seeks and reloads.
    context.bufferOffset = static_cast<uint32_t>(position);
    context.bufferPos = 0;
    context.bufferFill = 0;
    return count;
}

int readNonSpace(HtmlContext& context) {
    int c;
    do {
        c = readChar(context);
    } while (c != kEndOfInput && isHtmlSpace(c));
    return c;
}

int readToken(HtmlContext& context, const char* stops, char* buffer, int32_t max) {
    int32_t stored = 0;
    for (;;) {
        const int c = readChar(context);
        if (c == kEndOfInput || isHtmlSpace(c)) {
            buffer[stored] = 0;
            return c;
        }
        // A NUL byte never stops, as the terminating zero of `stops` is not one of them.
        if (c != 0 && isStop(stops, c)) {
            buffer[stored] = 0;
            return c;
        }
        if (stored < max) buffer[stored++] = static_cast<char>(c);
    }
}

int readUntil(HtmlContext& context, int stop, char* buffer, int32_t max) {
    int32_t stored = 0;
    for (;;) {
        const int c = readChar(context);
        if (c == kEndOfInput || c == stop) {
            buffer[stored] = 0;
            return c;
        }
        if (stored < max) buffer[stored++] = static_cast<char>(c);
    }
}

// The body of parseTag; returns the byte that ended the tag ('>') or kEndOfInput.
static int readTagBody(HtmlContext& context) {
    int c = readNonSpace(context);
    if (c == '>' || c == kEndOfInput) return c;
    context.tagName[0] = static_cast<char>(c);
    c = readToken(context, ">", context.tagName + 1, kTagNameChars - 1);
    if (c == '>' || c == kEndOfInput) return c;

    char name[kAttrNameChars + 1];
    char value[kAttrValueChars + 1];
    for (;;) {
        c = readNonSpace(context);
        if (c == '>' || c == kEndOfInput) return c;

        int terminator;
        if (isQuote(c)) {
            terminator = readQuoted(context, c, name, kAttrNameChars - 1);
        } else {
            name[0] = static_cast<char>(c);
            terminator = readToken(context, "=>", name + 1, kAttrNameChars - 1);
        }
        const char* storedName = nullptr;
        if (name[0] != 0 && context.attrCount < kMaxAttributes)
            storedName = storeInPool(context, name, textLength(name));

        if (terminator != kEndOfInput && isHtmlSpace(terminator))
            terminator = readNonSpace(context);
        if (terminator != '=') {
            if (storedName != nullptr) addAttribute(context, storedName, "");
            if (terminator == '>' || terminator == kEndOfInput) return terminator;
            unreadChars(context, 1);  // the start of the next attribute
            continue;
        }

        const int first = readNonSpace(context);
        if (first == '>' || first == kEndOfInput) {
            if (storedName != nullptr) addAttribute(context, storedName, "");
            return first;
        }
        if (isQuote(first)) {
            // The byte after the closing quote is consumed here and not given back.
            terminator = readQuoted(context, first, value, kAttrValueChars - 1);
        } else {
            value[0] = static_cast<char>(first);
            terminator = readToken(context, ">", value + 1, kAttrValueChars - 1);
        }
        if (storedName != nullptr) {
            trimTrailingSpace(value);
            addAttribute(context, storedName, storeInPool(context, value, textLength(value)));
        }
        if (terminator == '>' || terminator == kEndOfInput) return terminator;
    }
}

// Whether the byte before the '>' just read is '/'. The '>' may have opened the window,
// so the byte before it can lie in the previous one.
static bool slashBeforeClose(HtmlContext& context) {
    if (context.bufferPos >= 2) return context.inputBuffer[context.bufferPos - 2] == '/';
    if (unreadChars(context, 2) != 2) return false;
    const int before = readChar(context);
    readChar(context);  // the '>' again
    return before == '/';
}

void parseTag(HtmlContext& context) {
    clearLastTag(context);
    const int end = readTagBody(context);
    context.tagClosesItself = end == '>' && slashBeforeClose(context) ? 1 : 0;
}

int32_t readAttributeText(HtmlContext& context, const char* value, uint8_t* out, int32_t max) {
    const int32_t valueLength = textLength(value);
    if (max <= 0 || valueLength > kInputWindowBytes) return 0;
    // The value is read through the window as if it were the page, so references and
    // whitespace follow the text rules exactly; the page's window comes back after.
    struct Window {
        uint32_t inputSize, bufferOffset;
        int32_t bufferPos, bufferFill;
        uint8_t bytes[kInputWindowBytes];
    } saved;
    saved.inputSize = context.inputSize;
    saved.bufferOffset = context.bufferOffset;
    saved.bufferPos = context.bufferPos;
    saved.bufferFill = context.bufferFill;
    std::memcpy(saved.bytes, context.inputBuffer, sizeof saved.bytes);

    std::memcpy(context.inputBuffer, value, static_cast<size_t>(valueLength));
    context.inputSize = static_cast<uint32_t>(valueLength);
    context.bufferOffset = 0;
    context.bufferPos = 0;
    context.bufferFill = valueLength;
    int32_t stored = 0;
    int32_t space = 1;
    for (;;) {
        uint16_t length = 0;
        const int end = readText(context, space, out + stored, max - stored, length);
        stored += length;
        if (end != '<' || stored == max) break;
        out[stored++] = '<';  // a '<' in a value starts no tag
        space = 0;
    }
    if (space != 0 && stored > 0 && out[stored - 1] == ' ') --stored;

    context.inputSize = saved.inputSize;
    context.bufferOffset = saved.bufferOffset;
    context.bufferPos = saved.bufferPos;
    context.bufferFill = saved.bufferFill;
    std::memcpy(context.inputBuffer, saved.bytes, sizeof saved.bytes);
    return stored;
}

const char* findAttribute(const HtmlContext& context, int32_t id) {
    for (int32_t i = 0; i < context.attrCount && i < kMaxAttributes; ++i)
        if (lookupAttribute(context.attrs[i].name) == id) return context.attrs[i].value;
    return nullptr;
}

bool decodeReference(HtmlContext& context, ReferenceText& text) {
    const uint32_t start = inputPosition(context);
    text.length = 0;
    const int first = readChar(context);
    bool found = false;
    if (first == '#') {
        found = decodeNumeric(context, text);
    } else if (first != kEndOfInput) {
        unreadChars(context, 1);
        found = decodeNamed(context, start, text);
    }
    if (!found) {
        rewindTo(context, start);
        text.length = 0;
    }
    return found;
}

int readText(HtmlContext& context, int32_t& prevSpace, uint8_t* buffer, int32_t max,
             uint16_t& length) {
    if (max > kMaxRunBytes) max = kMaxRunBytes;
    int32_t stored = 0;
    int32_t space = prevSpace;
    int result = kTextRunFull;
    while (stored < max) {
        // Plain bytes go straight from the window into the run; whatever needs a rule
        // (and the window's end) takes the byte-by-byte way below.
        const int32_t start = context.bufferPos;
        const int32_t end = std::min(context.bufferFill, start + (max - stored));
        int32_t at = start;
        while (at < end && kPlainBytes.plain[context.inputBuffer[at]])
            buffer[stored++] = context.inputBuffer[at++];
        if (at != start) {
            context.bufferPos = at;
            space = 0;
            if (stored >= max) break;
        }
        const int c = space != 0 ? readNonSpace(context) : readChar(context);
        if (c == '<' || c == kEndOfInput) {
            result = c;
            break;
        }
        if (c == '&') {
            // Decoded bytes are stored here and never read again: a decoded '<' is text.
            const int32_t added = storeReference(context, inputPosition(context) - 1, true, space,
                                                 buffer + stored, max - stored, stored == 0);
            if (added < 0) break;
            stored += added;
            continue;
        }
        if (isHtmlSpace(c)) {
            if (space == 0) buffer[stored++] = ' ';
            space = 1;
        } else {
            buffer[stored++] = static_cast<uint8_t>(c);
            space = 0;
        }
    }
    prevSpace = space;
    length = static_cast<uint16_t>(stored);
    return result;
}

int readRawText(HtmlContext& context, uint8_t* buffer, int32_t max, uint16_t& length) {
    if (max > kMaxRunBytes) max = kMaxRunBytes;
    int32_t stored = 0;
    int32_t unusedSpace = 0;
    int result = kTextRunFull;
    while (stored < max) {
        const int c = readChar(context);
        if (c == '<' || c == kEndOfInput) {
            result = c;
            break;
        }
        if (c == '&') {
            const int32_t added = storeReference(context, inputPosition(context) - 1, false,
                                                 unusedSpace, buffer + stored, max - stored,
                                                 stored == 0);
            if (added < 0) break;
            stored += added;
        } else if (c != 0x0D) {
            buffer[stored++] = static_cast<uint8_t>(c);
        }
    }
    length = static_cast<uint16_t>(stored);
    return result;
}

bool scanHtmlSignature(HtmlContext& context) {
    // A UTF-8 byte-order mark is no text: the engine may read the bytes as they are.
    const uint32_t start = inputPosition(context);
    int marked = 0;
    while (marked < 3 && readChar(context) == kUtf8Mark[marked]) ++marked;
    if (marked < 3) rewindTo(context, start);
    // The result can only become 1, so an HTML start tag decides at once. Declarations,
    // comments and processing instructions (the XML declaration of XHTML) come before.
    for (int tags = 0; tags < kSignatureTagLimit; ++tags) {
        if (readNonSpace(context) != '<') return false;
        parseTag(context);
        int32_t isEnd = 0;
        const int tag = lookupTag(context.tagName, isEnd);
        if (tag == TagHtml && isEnd == 0) return true;
        if (context.tagName[0] == '?') continue;
        if (context.tagName[0] != '!') return false;
        if (compareFolded(context.tagName + 1, "DOCTYPE") == 0 &&
            findAttribute(context, AttrHtml) != nullptr)
            return true;
    }
    return false;
}

bool hasHtmlName(const char* name) {
    if (name == nullptr) return false;
    const char* dot = std::strrchr(name, '.');
    if (dot == nullptr || std::strpbrk(dot, "/\\") != nullptr) return false;
    for (const char* extension : {".htm", ".html", ".xhtml", ".xht", ".shtml"})
        if (compareFolded(dot, extension) == 0) return true;
    return false;
}

bool readHtmlTitle(HtmlContext& context, char* out, int32_t limit) {
    if (out != nullptr) out[0] = 0;
    bool found = false;
    for (int step = 0; step < kTitleSearchSteps && !found; ++step) {
        const int c = readNonSpace(context);
        if (c == kEndOfInput) return false;
        if (c != '<') continue;
        parseTag(context);
        int32_t isEnd = 0;
        const int tag = lookupTag(context.tagName, isEnd);
        if (tag == TagHead && isEnd != 0) return true;
        found = tag == TagTitle && isEnd == 0;
    }
    if (!found) return false;
    if (out == nullptr) return true;

    // The run is read to the caller's room, so a cut never falls inside a reference.
    const int32_t room = std::clamp(limit, 0, kHtmlNameBytes - 1);
    auto* title = reinterpret_cast<uint8_t*>(context.title);
    int32_t space = 1;
    uint16_t length = 0;
    const int end = readText(context, space, title, room, length);
    // A trailing space is a collapsed one; it goes when no text follows it, the way it
    // would have had the run gone on.
    if (space != 0 && length > 0) {
        bool more = false;
        if (end == kTextRunFull) {
            uint8_t next = 0;
            uint16_t nextLength = 0;
            more = readText(context, space, &next, 1, nextLength) == kTextRunFull || nextLength > 0;
        }
        if (!more) --length;
    }
    context.title[length] = 0;
    const int32_t copied = length;
    std::memcpy(out, context.title, static_cast<size_t>(copied));
    out[copied] = 0;
    return true;
}
