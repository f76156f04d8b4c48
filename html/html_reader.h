// html/html_reader.h -- the input side of the HTML pipeline: the context's life cycle,
// the 1024-byte window through which a page is read, the tokenizer (text runs and tags
// with attributes), character references, and the two probes that run before a
// conversion (is this source HTML, what is its title). The tokenizer is deliberately
// simple: a tag is whatever lies between '<' and the next '>', there is no comment
// syntax, and malformed input is never an error. A failed seek or read, and a cancel
// through the progress hook, read as the end of the input for the rest of the page.
// Reading functions return a byte value 0-255, or kEndOfInput.
#pragma once
#include <cstdint>

#include "engine/io_ops.h"
#include "engine/windows1252.h"
#include "html/html_context.h"

constexpr int kEndOfInput = -1;
// What readText and readRawText return when the run is full: beyond every byte value,
// so a full run never looks like one ended by a tag, whatever its last byte.
constexpr int kTextRunFull = 0x100;

constexpr int kTagNameChars = kTagNameBytes - 1;   // 31
constexpr int kAttrNameChars = 31;
constexpr int kAttrValueChars = 255;
constexpr int kSignatureTagLimit = 20000;  // tags the HTML test looks at
constexpr int kTitleSearchSteps = 4096;    // bytes or tags the title search looks at
// A reference stands for one or two characters, each of up to 8 bytes on the handheld.
constexpr int kMaxReferenceBytes = 2 * kMaxTransliterationBytes;

// What a character reference becomes on the handheld: 0 bytes (a removed character)
// to kMaxReferenceBytes.
struct ReferenceText {
    uint8_t length;
    uint8_t bytes[kMaxReferenceBytes];
};

// --- Life cycle. The context belongs to one thread; the caller owns it.

// A new context from allocBlock, zero-filled, with `io` stored and its element stack
// created; nullptr (nothing held) when either allocation fails. Call resetHtmlContext
// or openHtmlSource before use.
HtmlContext* createHtmlContext(const IoOps& io);
// Destroys the element stack and frees the record; nullptr is ignored. Streams named in
// the context are not closed: they belong to whoever opened them.
void destroyHtmlContext(const IoOps& io, HtmlContext* context);
// Prepares the context for a whole conversion: no streams, no progress hook, not
// canceled, empty title and base directory, empty element stack, text position 0, no
// open link, no page records. False only when the context has no element stack.
bool resetHtmlContext(HtmlContext& context, const IoOps& io);
// Prepares the context for the next page `stream` at link depth `depth`: new input,
// empty window and title, empty element stack, fresh text-run and link state; the text
// position, the stream handles, the page-list fields and baseDir are kept. False,
// changing nothing, when the stream's size cannot be found. The previous page must have
// flushed its output.
bool beginHtmlPage(HtmlContext& context, uint16_t depth, uint32_t stream);
// resetHtmlContext, then reads `stream` from its start (for the probes). False when
// the stream's size cannot be found.
bool openHtmlSource(HtmlContext& context, const IoOps& io, uint32_t stream);

// --- Input window.

// Loads the window with the next block of at most 1024 bytes, reporting progress
// first. False at the end of the input; a failed seek or read, or a cancel, also
// gives false and ends the input at that point for good.
bool refillInput(HtmlContext& context);
// The next byte, or kEndOfInput. Reaching the end moves nothing. Inline: every byte of
// every page comes through here.
inline int readChar(HtmlContext& context) {
    if (context.bufferPos >= context.bufferFill && !refillInput(context)) return kEndOfInput;
    return context.inputBuffer[context.bufferPos++];
}
// Steps back `count` bytes, reloading the window when that crosses its start. Returns
// `count`, or -1 (changing nothing) when that would go before offset 0.
int unreadChars(HtmlContext& context, int32_t count);
// The next byte that is not whitespace (whitespace is consumed), or kEndOfInput.
int readNonSpace(HtmlContext& context);
// Reads up to whitespace, a byte of the zero-terminated set `stops` or the end, stores
// the first `max` bytes read and a zero (`buffer` holds max + 1), and returns the byte
// that ended it, consumed, or kEndOfInput.
int readToken(HtmlContext& context, const char* stops, char* buffer, int32_t max);
// Like readToken with the single stop byte `stop` and no whitespace test.
int readUntil(HtmlContext& context, int stop, char* buffer, int32_t max);

// --- Tokenizer.

// Called after '<' was consumed: reads up to and including the closing '>' (or the
// end) into tagName, attrs, attrCount and attrPool; tagClosesItself becomes 1 when the
// byte before that '>' is '/'. Names keep case; a tag name keeps
// 31 characters, an attribute name 31, a value 255 (surplus bytes are read and
// dropped); the first 32 attributes with a non-empty name are kept; all names and
// values share the 4096-byte pool and are cut to fit it.
void parseTag(HtmlContext& context);
// The value of the first attribute of the last tag whose name has AttributeId `id`
// (names compared without case), or nullptr. Points into attrPool or to an empty string.
const char* findAttribute(const HtmlContext& context, int32_t id);

// The text of an attribute value as a text run would read it (references decoded,
// whitespace collapsed, leading and trailing whitespace dropped, a '<' kept as text)
// into `out`, at most `max` bytes; returns the length. The page's window is left as it
// was. A value longer than the window (never from parseTag) gives 0.
int32_t readAttributeText(HtmlContext& context, const char* value, uint8_t* out, int32_t max);

// Called after '&' was consumed. True when the bytes after it form a character
// reference: they are consumed and `text` holds the handheld's bytes for it (the
// Windows-1252 byte, a transliteration, nothing, or "?", as handheldText gives them).
// False when they do not: every byte read after '&' is given back to be read again as
// text, and the '&' itself is text (an '&' at the very end of the input too).
//  - Numeric: "&#" then decimal digits, or "&#x" / "&#X" then hexadecimal digits in
//    either case, and one directly following ';' if there is one. Up to 1023 leading
//    zeros, then any number of digits (the value saturates). Values 1 to 255 are that
//    byte (128 to 159 included), larger ones go through handheldText, so values beyond
//    U+10FFFF and surrogates are "?". Zeros alone, or 1024 zeros, are no reference.
//  - Named: a name of the HTML list followed by ';' (case-sensitive; the longest list
//    name is 31 characters). Failing that, the 127 names marked bare match without ';'
//    as the longest such prefix of the letters and digits that follow ("&copy2000",
//    "&notit;" is "&not" and "it;").
bool decodeReference(HtmlContext& context, ReferenceText& text);

// Reads one text run into `buffer`, at most `max` bytes, and stores its length.
// References are decoded into text (a decoded '<' never starts a tag); every whitespace
// byte, read or decoded, becomes a space and a space after a space (or while
// `prevSpace` is 1 on entry) is dropped; `prevSpace` leaves as 1 when the last byte
// looked at was a space. A reference is never split between runs: when its bytes do not
// fit, it is given back and the run ends as full, so the next run starts with it; one
// that no run of `max` bytes could hold becomes "?". Returns '<' (consumed) when a tag
// follows, kEndOfInput, or kTextRunFull when the run is full: `max` bytes stored, or
// fewer when the next reference did not fit (at most kMaxReferenceBytes - 1 fewer).
// With `max` 0 nothing is read.
int readText(HtmlContext& context, int32_t& prevSpace, uint8_t* buffer, int32_t max,
             uint16_t& length);
// The same for preformatted text: whitespace is kept, carriage returns are dropped.
int readRawText(HtmlContext& context, uint8_t* buffer, int32_t max, uint16_t& length);

// --- Probes.

// True when, before any text and before any other tag, among at most 20000 leading
// tags, the source has an HTML start tag or a DOCTYPE declaration with an HTML word.
// A UTF-8 byte-order mark at the start, comments, declarations and processing
// instructions ("<?xml ...?>") are passed over.
bool scanHtmlSignature(HtmlContext& context);
// True when `name` ends in ".htm", ".html", ".xhtml", ".xht" or ".shtml" (any case): such
// a source is HTML whatever its first bytes.
bool hasHtmlName(const char* name);
// Searches at most 4096 bytes or tags for a TITLE start tag. False when the input
// ends or the steps run out first; true when an end tag of HEAD comes first (`out` stays
// empty) or a title was found. With `out`, the title's text (whitespace collapsed, ends
// trimmed, at most `limit` bytes and 255, a reference whole or not at all) and a zero go
// to `out`, which holds limit + 1 bytes.
bool readHtmlTitle(HtmlContext& context, char* out, int32_t limit);
