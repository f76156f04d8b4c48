// html/page_records.cpp -- see page_records.h. Every append takes the stream's end as
// the record's offset (one seek) and writes the record and its names; patches read the
// record at its offset and write it back in place, so nothing is held in memory between
// calls.
#include "html/page_records.h"

#include <cstdint>
#include <cstring>

#include "engine/checked_io.h"
#include "html/html_context.h"
#include "html/references.h"

static_assert(kHtmlNameBytes == kReferenceBytes, "page names and references share one bound");

static constexpr uint32_t kNoOffset = 0xFFFFFFFF;  // lastPage, lastNameRecord: none
static constexpr int32_t kMaxStoredName = 0xFFFF;  // names carry a 16-bit length

namespace {
struct CrcTable {
    uint32_t entry[256];
};
}  // namespace

// The CRC-32 table of the reflected polynomial 0xEDB88320, one entry per byte value.
static constexpr CrcTable makeCrcTable() {
    CrcTable table{};
    for (uint32_t byte = 0; byte < 256; ++byte) {
        uint32_t value = byte;
        for (int bit = 0; bit < 8; ++bit) value = (value & 1) ? (value >> 1) ^ 0xEDB88320u : value >> 1;
        table.entry[byte] = value;
    }
    return table;
}
static constexpr CrcTable kCrcTable = makeCrcTable();
static_assert(kCrcTable.entry[1] == 0x77073096u && kCrcTable.entry[255] == 0x2D02EF8Du,
              "the standard CRC-32 table");

uint32_t nameHash(const char* name, int32_t length) {
    uint32_t hash = 0xFFFFFFFF;
    for (int32_t i = 0; i < length; ++i) {
        uint8_t byte = static_cast<uint8_t>(name[i]);
        if (byte >= 'A' && byte <= 'Z') byte = static_cast<uint8_t>(byte + 32);
        hash = (hash >> 8) ^ kCrcTable.entry[(hash ^ byte) & 0xFF];
    }
    return hash;
}

uint32_t nameHash(const char* name) { return nameHash(name, static_cast<int32_t>(std::strlen(name))); }

// --- Record access ---

static bool readAt(const IoOps& io, uint32_t stream, int32_t offset, void* record, int32_t size) {
    return seekExact(io, stream, offset) && readExact(io, stream, record, size);
}

static bool writeAt(const IoOps& io, uint32_t stream, int32_t offset, const void* record, int32_t size) {
    return seekExact(io, stream, offset) && writeExact(io, stream, record, size);
}

bool readPageRecord(const IoOps& io, uint32_t stream, int32_t offset, PageRecord* record) {
    return readAt(io, stream, offset, record, sizeof *record);
}

bool writePageRecord(const IoOps& io, uint32_t stream, int32_t offset, const PageRecord& record) {
    return writeAt(io, stream, offset, &record, sizeof record);
}

bool readNameRecord(const IoOps& io, uint32_t stream, int32_t offset, NameRecord* record) {
    return readAt(io, stream, offset, record, sizeof *record);
}

bool readLinkRecord(const IoOps& io, uint32_t stream, int32_t offset, LinkRecord* record) {
    return readAt(io, stream, offset, record, sizeof *record);
}

bool writeLinkRecord(const IoOps& io, uint32_t stream, int32_t offset, const LinkRecord& record) {
    return writeAt(io, stream, offset, &record, sizeof record);
}

// Length of an optional name; -1 when it does not fit a record's 16-bit length.
static int32_t storedLength(const char* name) {
    if (name == nullptr) return 0;
    const size_t length = std::strlen(name);
    return length > static_cast<size_t>(kMaxStoredName) ? -1 : static_cast<int32_t>(length);
}

// --- Page queue ---

bool addPage(HtmlContext& context, uint16_t depth, const char* name, int32_t* offsetOut) {
    const IoOps& io = *context.io;
    const int32_t nameLength = storedLength(name);
    if (nameLength < 0) return false;
    const PageRecord record{kNoRecord, 0,       kNoRecord, 0,    kNoRecord, kNoRecord, kNoRecord,
                            nameHash(name, nameLength), depth, static_cast<uint16_t>(nameLength)};
    const int32_t offset = streamSize(io, context.pageStream);
    if (offset < 0) return false;
    if (!writeExact(io, context.pageStream, &record, sizeof record)) return false;
    if (!writeExact(io, context.pageStream, name, nameLength)) return false;

    if (context.lastPage != kNoOffset) {
        PageRecord last;
        const int32_t lastOffset = static_cast<int32_t>(context.lastPage);
        if (!readPageRecord(io, context.pageStream, lastOffset, &last)) return false;
        last.nextInQueue = offset;
        if (!writePageRecord(io, context.pageStream, lastOffset, last)) return false;
    }
    context.lastPage = static_cast<uint32_t>(offset);
    context.pageCount += 1;
    if (offsetOut != nullptr) *offsetOut = offset;
    return true;
}

bool nextPage(HtmlContext& context, uint16_t* depthOut, char* nameOut, int32_t* cursor) {
    const IoOps& io = *context.io;
    int32_t next = kNoRecord;
    if (*cursor == kNoRecord) {
        if (context.lastPage != kNoOffset) next = 0;  // the start page is always at offset 0
    } else {
        PageRecord current;
        if (!readPageRecord(io, context.pageStream, *cursor, &current)) return false;
        next = current.nextInQueue;
    }
    if (next == kNoRecord) {
        *cursor = kNoRecord;
        return true;
    }

    PageRecord record;
    if (!readPageRecord(io, context.pageStream, next, &record)) return false;
    const int32_t keep = record.nameLength < kHtmlNameBytes ? record.nameLength : kHtmlNameBytes - 1;
    char name[kHtmlNameBytes];
    if (!readExact(io, context.pageStream, name, keep)) return false;
    name[keep] = '\0';
    if (depthOut != nullptr) *depthOut = record.depth;
    if (nameOut != nullptr) std::memcpy(nameOut, name, keep + 1);
    *cursor = next;
    return true;
}

bool beginPage(HtmlContext& context, int32_t pageOffset) {
    const IoOps& io = *context.io;
    const int32_t linksEnd = streamSize(io, context.linkStream);
    const int32_t namesEnd = streamSize(io, context.pageStream);
    if (linksEnd < 0 || namesEnd < 0) return false;
    context.pageLinksStart = linksEnd;
    context.pageLinkCount = 0;
    context.currentPage = pageOffset;
    context.pageNamesStart = static_cast<uint32_t>(namesEnd);
    context.pageNameCount = 0;
    return true;
}

bool endPage(HtmlContext& context) {
    const IoOps& io = *context.io;
    PageRecord record;
    if (!readPageRecord(io, context.pageStream, context.currentPage, &record)) return false;
    record.nameCount = context.pageNameCount;
    record.firstName = static_cast<int32_t>(context.pageNamesStart);
    record.textStart = static_cast<int32_t>(context.pageTextStart);
    if (!writePageRecord(io, context.pageStream, context.currentPage, record)) return false;
    context.pagesDone += 1;
    return true;
}

// --- Anchors and links ---

bool addNameAnchor(HtmlContext& context, uint32_t position, const char* name) {
    const IoOps& io = *context.io;
    const bool joins = context.lastNameRecord != kNoOffset && context.namesAtPosition > 0 &&
                       context.lastNamePos == position;
    context.lastNameRecord = kNoOffset;
    if (!joins) context.namesAtPosition = 0;
    const int32_t nameLength = storedLength(name);
    if (nameLength < 0) return false;
    const NameRecord record{position, nameHash(name, nameLength), static_cast<uint16_t>(nameLength), 0};
    const int32_t offset = streamSize(io, context.pageStream);
    if (offset < 0) return false;
    if (!writeExact(io, context.pageStream, &record, sizeof record)) return false;
    if (!writeExact(io, context.pageStream, name, nameLength)) return false;
    context.lastNameRecord = static_cast<uint32_t>(offset);
    if (!joins) context.firstNameRecord = static_cast<uint32_t>(offset);
    context.namesAtPosition += 1;
    context.pageNameCount += 1;
    return true;
}

bool patchNameAnchor(HtmlContext& context, uint32_t recordOffset, uint32_t position) {
    const IoOps& io = *context.io;
    const int32_t offset = static_cast<int32_t>(recordOffset);
    NameRecord record;
    if (!readNameRecord(io, context.pageStream, offset, &record)) return false;
    record.textPos = position;
    return writeAt(io, context.pageStream, offset, &record, sizeof record);
}

bool patchNameAnchors(HtmlContext& context, uint32_t firstOffset, int32_t count, uint32_t position) {
    const IoOps& io = *context.io;
    int64_t offset = firstOffset;
    for (int32_t i = 0; i < count; ++i) {
        NameRecord record;
        if (offset > 0x7FFFFFFF || !readNameRecord(io, context.pageStream, static_cast<int32_t>(offset), &record))
            return false;
        record.textPos = position;
        if (!writeAt(io, context.pageStream, static_cast<int32_t>(offset), &record, sizeof record)) return false;
        offset += static_cast<int64_t>(sizeof record) + record.nameLength;
    }
    return true;
}

bool addLink(HtmlContext& context, uint32_t linkStartPos, uint32_t linkEndPos, const char* target,
             const char* fragment) {
    if (context.pageDepth >= 256) {  // sourceDepth holds one byte: the link is left out, and said
        if (context.deepLinks < INT32_MAX) ++context.deepLinks;
        return false;
    }
    const IoOps& io = *context.io;
    const int32_t pathLength = storedLength(target);
    const int32_t fragmentLength = storedLength(fragment);
    if (pathLength < 0 || fragmentLength < 0) return false;
    LinkRecord record{};
    record.nextSameTarget = kNoRecord;
    record.startPos = linkStartPos;
    record.endPos = linkEndPos;
    record.sourceDepth = static_cast<uint8_t>(context.pageDepth & 0xFF);
    record.pathHash = pathLength > 0 ? nameHash(target, pathLength) : kMissingNameHash;
    record.fragmentHash = fragmentLength > 0 ? nameHash(fragment, fragmentLength) : kMissingNameHash;
    record.pathLength = static_cast<uint16_t>(pathLength);
    record.fragmentLength = static_cast<uint16_t>(fragmentLength);

    if (streamSize(io, context.linkStream) < 0) return false;
    if (!writeExact(io, context.linkStream, &record, sizeof record)) return false;
    if (!writeExact(io, context.linkStream, target, pathLength)) return false;
    if (!writeExact(io, context.linkStream, fragment, fragmentLength)) return false;
    context.pageLinkCount += 1;
    return true;
}

// --- Layout and style changes ---

static bool appendLayout(HtmlContext& context, const LayoutRecord& record) {
    context.layoutCount += 1;
    if (context.layoutStream == 0) return true;
    const IoOps& io = *context.io;
    if (streamSize(io, context.layoutStream) < 0) return false;
    return writeExact(io, context.layoutStream, &record, sizeof record);
}

bool writeRuleRecord(HtmlContext& context, uint32_t position, int32_t align, int32_t noShade,
                     int32_t size, int32_t width) {
    return appendLayout(context, LayoutRecord{position, LayoutRule, align, noShade, size, width});
}

bool writePageEndRecord(HtmlContext& context, uint32_t position) {
    return appendLayout(context, LayoutRecord{position, LayoutPageEnd, 0, 0, 0, 0});
}

bool writeStyleChange(HtmlContext& context, uint32_t position, const StyleRecord& style) {
    if (context.styleStream == 0) return true;
    const IoOps& io = *context.io;
    const StyleChange change{position, style};
    if (streamSize(io, context.styleStream) < 0) return false;
    return writeExact(io, context.styleStream, &change, sizeof change);
}
