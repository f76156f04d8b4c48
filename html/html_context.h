// html/html_context.h -- the record one HTML conversion carries from page to page: the
// input window, the tokenizer's last tag, the output buffer in front of the text
// stream, the page's link and anchor bookkeeping and the handles of the pass's
// temporary streams. It is allocated once per conversion through allocBlock (see
// createHtmlContext) and never shared between threads. Fields keep their documented
// order; the operations on them live in the reader, the tag handlers and the records.
#pragma once
#include <cstdint>

#include "engine/io_ops.h"

struct FormattedOutput;

constexpr int kInputWindowBytes = 1024;   // read window over the page
constexpr int kHtmlNameBytes = 256;       // title, baseDir, pageName, href: 255 + zero
constexpr int kTextBufferBytes = 4096;    // text read from the page before it is emitted
constexpr int kOutBufferBytes = 4096;     // buffer in front of textStream
constexpr int kTagNameBytes = 32;         // a tag name keeps its first 31 characters
constexpr int kMaxAttributes = 32;        // a tag keeps its first 32 named attributes
constexpr int kAttrPoolBytes = 4096;      // names and values of one tag
constexpr int kTableLevels = 16;          // recorded table nesting levels

// Progress hook of the reader, asked before each block: true to go on, false to cancel.
typedef bool (*HtmlProgressHook)(void* progressArg, int32_t percent);

struct HtmlAttribute {
    const char* name;   // zero-terminated, inside attrPool
    const char* value;  // zero-terminated, inside attrPool
};

struct HtmlContext {
    const IoOps* io;
    uint32_t input;                  // the page being read
    uint32_t inputSize;              // byte length of the page
    uint32_t bufferOffset;           // input offset of inputBuffer[0]
    int32_t bufferPos;               // next byte to read in inputBuffer
    int32_t bufferFill;              // valid bytes in inputBuffer
    uint8_t inputBuffer[kInputWindowBytes];
    uint32_t lastListMarker;         // listMarker of the last style record written
    HtmlProgressHook progressPercent;
    void* progressArg;
    uint32_t canceled;               // 1 once the hook answered cancel, else 0
    char title[kHtmlNameBytes];
    char baseDir[kHtmlNameBytes];
    char pageName[kHtmlNameBytes];
    uint32_t styleStream;
    FormattedOutput* elements;
    int32_t prevSpace;               // 1 = leading whitespace is dropped
    int32_t inLink;
    int32_t breakPending;
    int32_t pendingNewlines;
    uint16_t trailingNewlines;       // newline bytes at the end of the emitted text
    uint32_t linkStream;
    int32_t pageLinksStart;
    int32_t pageLinkCount;
    char href[kHtmlNameBytes];
    int32_t linkStart;               // -1 = no open link
    int32_t longReferences;          // links and frames left out for a name past 255 bytes
    int32_t deepLinks;               // links left out on pages deeper than a link record holds
    uint16_t pageDepth;
    uint32_t pageStream;
    int32_t currentPage;             // also the cursor of nextPage
    uint32_t pageNamesStart;
    int32_t pageNameCount;
    uint32_t pageTextStart;
    uint32_t lastPage;               // 0xFFFFFFFF = none
    uint32_t pageCount;
    int32_t pagesDone;
    uint32_t lastNamePos;            // 0xFFFFFFFF = none
    uint32_t lastNameRecord;         // 0xFFFFFFFF = none
    uint32_t layoutStream;
    int32_t layoutCount;
    int16_t tableDepth;
    uint8_t tableState[kTableLevels];
    uint8_t tableBorder[kTableLevels];
    uint32_t textStream;
    uint32_t textPos;                // document text produced so far, over all pages
    uint8_t textBuffer[kTextBufferBytes];
    uint16_t outFill;
    uint8_t outBuffer[kOutBufferBytes];
    char tagName[kTagNameBytes];
    int32_t attrCount;
    int32_t attrPoolUsed;
    char attrPool[kAttrPoolBytes];
    HtmlAttribute attrs[kMaxAttributes];
    int32_t tagClosesItself;         // 1 when the last tag ended in "/>", as XHTML writes empty elements
    int32_t keepNavigation;          // 1: navigation is written like any other DIV
    // Navigation being left out: open elements named hideTag (the one that began it
    // included), 0 when none; and the break requests to restore when it ends, so a
    // left-out block reads as an empty DIV.
    int32_t hideNesting;
    char hideTag[kTagNameBytes];
    int32_t hiddenPrevSpace;
    int32_t hiddenBreakPending;
    int32_t hiddenPendingNewlines;
    // The NameRecords at lastNamePos, consecutive in pageStream from firstNameRecord, so
    // that every anchor sitting where newlines go moves past them, not only the last.
    uint32_t firstNameRecord;
    int32_t namesAtPosition;
    // Link resolution's page index in a temporary stream, 0 while the site fits the small
    // in-memory one (see link_resolution.h); whoever owns the context closes it through
    // releaseLinkIndex. Pages are indexed in queue order up to pageIndexCount.
    uint32_t pageIndexStream;
    int32_t pageIndexSlots;          // a power of two, 0 = not yet laid out
    uint32_t pageIndexCount;
    int32_t pageIndexLast;           // offset of the last page indexed
    // Long loops of link resolution repeat this percentage every so often, so a cancel
    // is heard within them; a cancel there sets `canceled`.
    int32_t tickPercent;
    int32_t workSinceReport;
};
