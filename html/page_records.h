// html/page_records.h -- the records the HTML pass keeps in its temporary streams while
// pages are converted: the page queue and NAME anchors (pageStream), links (linkStream),
// rules and page ends (layoutStream) and style changes (styleStream), with the
// operations that append, walk and patch them and the name hash by which links find
// pages and anchors. Records are host-order (little-endian) structs written byte for
// byte; a name follows its record without a terminating zero. Offsets are byte offsets
// in the record's own stream. Link resolution and record serialization read these
// streams after the last page and rewrite the fields marked for them.
//
// Every operation returns false when a seek lands elsewhere or a read or write falls
// short; the record may then be incomplete. None of them closes a stream.
#pragma once
#include <cstdint>

#include "engine/io_ops.h"
#include "html/style_record.h"

struct HtmlContext;

constexpr uint32_t kMissingNameHash = 0xFFFFFFFF;  // hash of "" = hash of no name
constexpr int32_t kNoRecord = -1;                  // offset field meaning "none"

struct PageRecord {
    int32_t nextInQueue;    // offset of the next PageRecord in queue order, or -1
    int32_t nameCount;      // NameRecords of the page (endPage)
    int32_t firstName;      // offset of its first NameRecord (endPage), or -1
    int32_t incomingCount;  // links attached to the page (link resolution)
    int32_t firstIncoming;  // linkStream offset of the first attached link, or -1
    int32_t lastIncoming;   // linkStream offset of the last attached link, or -1
    int32_t textStart;      // text position where its text begins; -1 = never converted
    uint32_t nameHash;
    uint16_t depth;         // link depth, 0 for the start page
    uint16_t nameLength;
};
static_assert(sizeof(PageRecord) == 36, "seven i32 offsets and counts, hash 4, depth 2, length 2");

struct NameRecord {
    uint32_t textPos;  // where the anchor points
    uint32_t nameHash;
    uint16_t nameLength;
    uint16_t reserved;  // written as 0, never read
};
static_assert(sizeof(NameRecord) == 12, "position 4, hash 4, length 2, reserved 2");

constexpr uint8_t kLinkResolved = 0x01;  // LinkRecord.flags bit 0

struct LinkRecord {
    int32_t nextSameTarget;  // next link attached to the same page, or -1
    uint32_t startPos;       // text position of the link's first byte
    uint32_t endPos;         // text position after its last byte
    uint32_t targetPos;      // set on resolution; 0xFFFFFFFF = target page not converted
    uint8_t flags;           // kLinkResolved
    uint8_t sourceDepth;     // low byte of the linking page's depth
    uint16_t reserved;       // written as 0, never read
    uint32_t pathHash;       // kMissingNameHash without a target
    uint32_t fragmentHash;   // kMissingNameHash without a fragment
    uint16_t pathLength;     // target bytes follow the record
    uint16_t fragmentLength; // fragment bytes follow the target
};
static_assert(sizeof(LinkRecord) == 32, "four u32, flags 1, depth 1, reserved 2, two hashes, two lengths");

enum LayoutKind : int32_t {
    LayoutRule = 1,
    LayoutPageEnd = 2,
};

struct LayoutRecord {
    uint32_t position;
    int32_t kind;     // LayoutKind
    int32_t align;    // rules: 0 centered, 1 right, 2 left
    int32_t noShade;  // 0 or 1
    int32_t size;     // rule thickness
    int32_t width;    // >= 0 pixels; < 0 the negated percentage (-100 = full width)
};
static_assert(sizeof(LayoutRecord) == 24, "six 32-bit fields");

// From `position` on, the text has `style`.
struct StyleChange {
    uint32_t position;
    StyleRecord style;
};
static_assert(sizeof(StyleChange) == 60, "position 4 and the 56-byte style");

// CRC-32 (reflected 0xEDB88320) register over the ASCII-lower-cased bytes, started at
// 0xFFFFFFFF and not inverted at the end: "abc" gives 0xCADBBE3D, "" gives 0xFFFFFFFF.
uint32_t nameHash(const char* name, int32_t length);
uint32_t nameHash(const char* name);  // zero-terminated

// Record access by offset, shared with link resolution.
bool readPageRecord(const IoOps& io, uint32_t stream, int32_t offset, PageRecord* record);
bool writePageRecord(const IoOps& io, uint32_t stream, int32_t offset, const PageRecord& record);
bool readNameRecord(const IoOps& io, uint32_t stream, int32_t offset, NameRecord* record);
bool readLinkRecord(const IoOps& io, uint32_t stream, int32_t offset, LinkRecord* record);
bool writeLinkRecord(const IoOps& io, uint32_t stream, int32_t offset, const LinkRecord& record);

// --- Page queue (pageStream) ---

// Appends a PageRecord for `name` at `depth` behind the last one (lastPage), adds 1 to
// pageCount and gives its offset in `offsetOut` when that is not null. Duplicates are
// the caller's business. A name longer than 65535 bytes is refused.
bool addPage(HtmlContext& context, uint16_t depth, const char* name, int32_t* offsetOut);

// Walks the queue. With *cursor -1 the walk starts at offset 0 (if any page exists);
// otherwise it moves to the record after *cursor. *cursor becomes the next record's
// offset, or -1 when the walk has ended (still true). For a next record, `depthOut` gets its
// depth and `nameOut` (256 bytes) its name, cut to 255 bytes and terminated. The pass
// driver keeps the cursor in currentPage.
bool nextPage(HtmlContext& context, uint16_t* depthOut, char* nameOut, int32_t* cursor);

// Before a page is converted: notes where its links and anchors will start and makes
// `pageOffset` the current page.
bool beginPage(HtmlContext& context, int32_t pageOffset);

// After a page was converted: stores its anchor count, first anchor and text start in its
// PageRecord and adds 1 to pagesDone.
bool endPage(HtmlContext& context);

// --- Anchors (pageStream) and links (linkStream) ---

// Appends a NameRecord for `name` at text `position`; lastNameRecord names it (or is -1
// when the append failed, so no later patch lands on an older anchor). Anchors appended
// one after another at lastNamePos are counted from firstNameRecord in namesAtPosition.
bool addNameAnchor(HtmlContext& context, uint32_t position, const char* name);

// Moves the anchor at `recordOffset` to text `position`.
bool patchNameAnchor(HtmlContext& context, uint32_t recordOffset, uint32_t position);
// Moves `count` consecutive anchors, the first at `firstOffset`, to text `position`.
bool patchNameAnchors(HtmlContext& context, uint32_t firstOffset, int32_t count, uint32_t position);

// Appends an unresolved LinkRecord covering text [linkStartPos, linkEndPos) with its
// target page and fragment (either may be null or empty: none). Pages 256 or more levels
// deep record no links: nothing is written and false is returned.
bool addLink(HtmlContext& context, uint32_t linkStartPos, uint32_t linkEndPos, const char* target,
             const char* fragment);

// --- Layout (layoutStream) and style changes (styleStream) ---

// Append one LayoutRecord when layoutStream is set (else they write nothing and succeed);
// layoutCount grows by 1 either way.
bool writeRuleRecord(HtmlContext& context, uint32_t position, int32_t align, int32_t noShade,
                     int32_t size, int32_t width);
bool writePageEndRecord(HtmlContext& context, uint32_t position);

// Appends a StyleChange when styleStream is set (else writes nothing and succeeds).
bool writeStyleChange(HtmlContext& context, uint32_t position, const StyleRecord& style);
