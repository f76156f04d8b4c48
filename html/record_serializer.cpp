// html/record_serializer.cpp -- see record_serializer.h. Each writer keeps one block of
// entries on the stack; a full block (or the last, non-empty one) is laid out big-endian
// in a byte buffer and appended with one write.
#include "html/record_serializer.h"

#include <algorithm>

#include "engine/checked_io.h"
#include "engine/ebook_layout.h"
#include "html/page_records.h"
#include "html/style_record.h"

static void putU16BE(uint8_t* out, uint16_t value) {
    out[0] = static_cast<uint8_t>(value >> 8);
    out[1] = static_cast<uint8_t>(value);
}

static void putU32BE(uint8_t* out, uint32_t value) {
    out[0] = static_cast<uint8_t>(value >> 24);
    out[1] = static_cast<uint8_t>(value >> 16);
    out[2] = static_cast<uint8_t>(value >> 8);
    out[3] = static_cast<uint8_t>(value);
}

// Whether `count` bytes at `position` lie within an input of `size` bytes. Inputs end
// where their stream ends (a record cut off there is left out); a read of bytes that are
// there and fails is a failure, never the end of the input.
static bool hasBytes(int64_t position, size_t count, int32_t size) {
    return position + static_cast<int64_t>(count) <= size;
}

static uint16_t highWord(uint32_t position) { return static_cast<uint16_t>(position >> 16); }
static uint16_t lowWord(uint32_t position) { return static_cast<uint16_t>(position & 0xFFFF); }

namespace {
// Where records go, and how many have gone.
struct RecordSink {
    const IoOps& io;
    uint32_t recordStream;
    uint32_t offsetStream;
    int32_t written;
    SerializerProgress* progress;  // may be null: no reports
    int32_t sinceReport;
};
}  // namespace

static constexpr int32_t kInputsPerReport = 4096;

// Counts one input record and, every kInputsPerReport, repeats the caller's percentage so
// a cancel is heard. False on cancel, with progress->canceled set.
static bool stillGoing(RecordSink& sink) {
    if (sink.progress == nullptr || ++sink.sinceReport < kInputsPerReport) return true;
    sink.sinceReport = 0;
    if (stillWantedPercent(sink.io, sink.progress->percent)) return true;
    sink.progress->canceled = true;
    return false;
}

// Appends the record's start offset to the offset stream, then the record itself.
static bool writeRecord(RecordSink& sink, const uint8_t* bytes, int32_t length) {
    const int32_t offset = streamSize(sink.io, sink.recordStream);
    if (offset < 0 || streamSize(sink.io, sink.offsetStream) < 0) return false;
    const uint32_t hostOffset = static_cast<uint32_t>(offset);
    if (!writeExact(sink.io, sink.offsetStream, &hostOffset, sizeof hostOffset)) return false;
    if (!writeExact(sink.io, sink.recordStream, bytes, length)) return false;
    sink.written += 1;
    return true;
}

// --- Format records ---

// Bits 0-2 size, 3 heading, 4 monospace, 5 bold, 6 underline, 7 link underline, 8 italic,
// 9 strike, 10 subscript, 11 superscript, 12 center, 13 right, 15 extra word follows.
static uint16_t formatAttributeWord(const StyleRecord& style) {
    uint16_t word = static_cast<uint16_t>(style.fontSize & kSizeMask);
    if (style.heading == 1) word |= kHeadingBit;
    if (style.monospace == 1) word |= kMonospaceBit;
    if (style.bold == 1) word |= kBoldBit;
    if (style.underline == 1) word |= kUnderlineBit;
    if (style.underline == 2) word |= kLinkUnderlineBit;
    if (style.italic == 1) word |= kItalicBit;
    if (style.strike == 1) word |= kStrikeBit;
    if (style.subscript == 1) word |= kSubscriptBit;
    if (style.superscript == 1) word |= kSuperscriptBit;
    if (style.alignment == 1) word |= kCenterBit;
    if (style.alignment == 2) word |= kRightBit;
    if (style.indent > 0 || style.listMarker == 1) word |= kExtraWordBit;
    return word;
}

// Bits 0-2 indent, 3-5 list type and 6 the marker (only with a pending marker), 8-15 the
// item number minus one (only for the ordered list types 3 to 7).
static uint16_t formatExtraWord(const StyleRecord& style) {
    uint16_t word = static_cast<uint16_t>(style.indent & kIndentMask);
    if (style.listMarker == 1) {
        if (style.listType >= 0 && style.listType <= 7) word |= static_cast<uint16_t>(style.listType << kListTypeShift);
        word |= kListMarkerBit;
        if (style.listType >= 3 && style.listType <= 7)
            word |= static_cast<uint16_t>(((style.listNumber - 1) & 0xFF) << kListNumberShift);
    }
    return word;
}

namespace {
struct FormatBlock {
    int32_t runs;
    int32_t extras;
    uint16_t firstHigh;  // high word of the first run's start
    uint16_t endHigh;    // end of the last run
    uint16_t endLow;
    uint16_t startLow[kEntriesPerRecord];
    uint16_t attribute[kEntriesPerRecord];
    uint16_t extra[kEntriesPerRecord];
};
}  // namespace

// Layout: first high 2, end high 2, n 2, start lows 2n, end low 2, attributes 2n, m 2,
// extra words 2m.
static bool flushFormatRecord(RecordSink& sink, FormatBlock& block) {
    uint8_t bytes[10 + 4 * kEntriesPerRecord + 2 * kEntriesPerRecord];
    const int32_t n = block.runs;
    const int32_t m = block.extras;
    putU16BE(bytes + 0, block.firstHigh);
    putU16BE(bytes + 2, block.endHigh);
    putU16BE(bytes + 4, static_cast<uint16_t>(n));
    for (int32_t i = 0; i < n; ++i) putU16BE(bytes + 6 + 2 * i, block.startLow[i]);
    putU16BE(bytes + 6 + 2 * n, block.endLow);
    for (int32_t i = 0; i < n; ++i) putU16BE(bytes + 8 + 2 * n + 2 * i, block.attribute[i]);
    putU16BE(bytes + 8 + 4 * n, static_cast<uint16_t>(m));
    for (int32_t i = 0; i < m; ++i) putU16BE(bytes + 10 + 4 * n + 2 * i, block.extra[i]);
    block.runs = 0;
    block.extras = 0;
    return writeRecord(sink, bytes, 10 + 4 * n + 2 * m);
}

// The first high word comes from the first run's own start: in the contiguous stream of
// runs that is the previous record's end high word.
static bool addFormatRun(RecordSink& sink, FormatBlock& block, uint32_t start, uint32_t length,
                         const StyleRecord& style) {
    const uint32_t end = start + length;
    if (block.runs == 0) block.firstHigh = highWord(start);
    const uint16_t attribute = formatAttributeWord(style);
    block.startLow[block.runs] = lowWord(start);
    block.attribute[block.runs] = attribute;
    if (attribute & kExtraWordBit) block.extra[block.extras++] = formatExtraWord(style);
    block.runs += 1;
    block.endLow = lowWord(end);
    block.endHigh = highWord(end);
    if (block.runs == kEntriesPerRecord) return flushFormatRecord(sink, block);
    return true;
}

bool writeFormatRecords(const IoOps& io, uint32_t styleStream, uint32_t recordStream,
                        uint32_t offsetStream, int32_t* recordCount, SerializerProgress* progress) {
    RecordSink sink{io, recordStream, offsetStream, 0, progress, 0};
    FormatBlock block{};
    const int32_t size = streamSize(io, styleStream);
    bool ok = size >= 0 && seekExact(io, styleStream, 0);
    int64_t position = 0;
    uint32_t current = 0;
    StyleRecord style = defaultStyle();
    while (ok) {
        uint32_t changeAt;
        if (!hasBytes(position, sizeof changeAt, size)) break;
        if (!stillGoing(sink)) {
            ok = false;
            break;
        }
        ok = readExact(io, styleStream, &changeAt, sizeof changeAt);
        position += sizeof changeAt;
        while (ok && current < changeAt) {
            const uint32_t length = std::min(kMaxEntryDistance, changeAt - current);
            ok = addFormatRun(sink, block, current, length, style);
            current += length;
        }
        current = changeAt;
        if (!ok || !hasBytes(position, sizeof style, size)) break;
        ok = readExact(io, styleStream, &style, sizeof style);
        position += sizeof style;
    }
    if (ok && block.runs > 0) ok = flushFormatRecord(sink, block);
    *recordCount = sink.written;
    return ok;
}

// --- Link records ---

namespace {
struct LinkBlock {
    int32_t entries;
    uint32_t lastPosition;  // position of the last entry added, 0 before the first
    uint16_t firstHigh;     // high word of the first entry's position
    uint16_t endHigh;       // end (position + length) of the last entry
    uint16_t endLow;
    uint16_t positionLow[kEntriesPerRecord];
    uint8_t length[kEntriesPerRecord];
    uint32_t target[kEntriesPerRecord];
};
}  // namespace

// Layout: first high 2, end high 2, n 2, position lows 2n, end low 2, lengths n,
// reserved n, targets 4n.
static bool flushLinkRecord(RecordSink& sink, LinkBlock& block) {
    uint8_t bytes[8 + 8 * kEntriesPerRecord];
    const int32_t n = block.entries;
    putU16BE(bytes + 0, block.firstHigh);
    putU16BE(bytes + 2, block.endHigh);
    putU16BE(bytes + 4, static_cast<uint16_t>(n));
    for (int32_t i = 0; i < n; ++i) putU16BE(bytes + 6 + 2 * i, block.positionLow[i]);
    putU16BE(bytes + 6 + 2 * n, block.endLow);
    for (int32_t i = 0; i < n; ++i) {
        bytes[8 + 2 * n + i] = block.length[i];
        bytes[8 + 3 * n + i] = 0;
        putU32BE(bytes + 8 + 4 * n + 4 * i, block.target[i]);
    }
    block.entries = 0;
    return writeRecord(sink, bytes, 8 + 8 * n);
}

// A spacer is an entry of length 0 and target 0.
static bool addLinkEntry(RecordSink& sink, LinkBlock& block, uint32_t position, uint8_t length,
                         uint32_t target) {
    if (block.entries == 0) block.firstHigh = highWord(position);
    block.positionLow[block.entries] = lowWord(position);
    block.length[block.entries] = length;
    block.target[block.entries] = target;
    block.entries += 1;
    block.endLow = lowWord(position + length);
    block.endHigh = highWord(position + length);
    block.lastPosition = position;
    if (block.entries == kEntriesPerRecord) return flushLinkRecord(sink, block);
    return true;
}

bool writeLinkRecords(const IoOps& io, uint32_t linkStream, uint32_t recordStream,
                      uint32_t offsetStream, int32_t* recordCount, SerializerProgress* progress) {
    RecordSink sink{io, recordStream, offsetStream, 0, progress, 0};
    LinkBlock block{};
    const int32_t size = streamSize(io, linkStream);
    bool ok = size >= 0;
    int64_t position = 0;
    while (ok && position + static_cast<int64_t>(sizeof(LinkRecord)) <= size) {
        ok = stillGoing(sink);
        if (!ok) break;
        LinkRecord link;
        ok = seekExact(io, linkStream, static_cast<int32_t>(position)) &&
             readExact(io, linkStream, &link, sizeof link);
        if (!ok) break;
        position += static_cast<int64_t>(sizeof link) + link.pathLength + link.fragmentLength;
        if (position > size) break;  // names cut off: the input ends with the last whole record
        if (!(link.flags & kLinkResolved) || link.targetPos == 0xFFFFFFFF) continue;

        if (block.entries > 0) {
            while (ok && static_cast<int64_t>(link.startPos) - block.lastPosition > kMaxEntryDistance)
                ok = addLinkEntry(sink, block, block.lastPosition + kMaxEntryDistance, 0, 0);
        }
        for (uint32_t start = link.startPos; ok && start < link.endPos;) {
            const uint32_t length = std::min<uint32_t>(255, link.endPos - start);
            ok = addLinkEntry(sink, block, start, static_cast<uint8_t>(length), link.targetPos);
            start += length;
        }
    }
    if (ok && block.entries > 0) ok = flushLinkRecord(sink, block);
    *recordCount = sink.written;
    return ok;
}

// --- Rule records ---

namespace {
struct RuleBlock {
    int32_t entries;
    int32_t widths;
    uint32_t lastPosition;  // position of the last entry added, 0 before the first
    uint16_t firstHigh;     // high word of the first entry's position
    uint16_t lastHigh;      // high word of the last entry's position
    uint16_t positionLow[kEntriesPerRecord];
    uint8_t kind[kEntriesPerRecord];  // 1 rule, 0 spacer
    uint8_t flags[kEntriesPerRecord];
    uint16_t width[kEntriesPerRecord];
};
}  // namespace

// Layout: first high 2, last high 2, n 2, position lows 2n, kinds n, flags n, one width
// word per entry with kRuleWidthBit (their count is not stored).
static bool flushRuleRecord(RecordSink& sink, RuleBlock& block) {
    uint8_t bytes[6 + 4 * kEntriesPerRecord + 2 * kEntriesPerRecord];
    const int32_t n = block.entries;
    const int32_t m = block.widths;
    putU16BE(bytes + 0, block.firstHigh);
    putU16BE(bytes + 2, block.lastHigh);
    putU16BE(bytes + 4, static_cast<uint16_t>(n));
    for (int32_t i = 0; i < n; ++i) {
        putU16BE(bytes + 6 + 2 * i, block.positionLow[i]);
        bytes[6 + 2 * n + i] = block.kind[i];
        bytes[6 + 3 * n + i] = block.flags[i];
    }
    for (int32_t i = 0; i < m; ++i) putU16BE(bytes + 6 + 4 * n + 2 * i, block.width[i]);
    block.entries = 0;
    block.widths = 0;
    return writeRecord(sink, bytes, 6 + 4 * n + 2 * m);
}

static bool addRuleEntry(RecordSink& sink, RuleBlock& block, uint32_t position, uint8_t kind,
                         uint8_t flags, uint16_t width) {
    if (block.entries == 0) block.firstHigh = highWord(position);
    block.positionLow[block.entries] = lowWord(position);
    block.kind[block.entries] = kind;
    block.flags[block.entries] = flags;
    if (flags & kRuleWidthBit) block.width[block.widths++] = width;
    block.entries += 1;
    block.lastHigh = highWord(position);
    block.lastPosition = position;
    if (block.entries == kEntriesPerRecord) return flushRuleRecord(sink, block);
    return true;
}

// Size in bits 0-3 (2 when negative, at most 15); a width word for pixels (at most 4095)
// or for a percentage below 100 (0x8000 | percent); full width needs none.
static bool addRule(RecordSink& sink, RuleBlock& block, const LayoutRecord& rule) {
    uint8_t flags = static_cast<uint8_t>(rule.size < 0 ? 2 : rule.size > 15 ? 15 : rule.size);
    if (rule.noShade != 0) flags |= kRuleNoShadeBit;
    if (rule.align == 1) flags |= kRuleRightBit;
    if (rule.align == 2) flags |= kRuleLeftBit;
    uint16_t width = 0;
    if (rule.width >= 0) {
        flags |= kRuleWidthBit;
        width = static_cast<uint16_t>(std::min(rule.width, 4095));
    } else if (rule.width > -100) {
        flags |= kRuleWidthBit;
        width = static_cast<uint16_t>(kRulePercentBit | -rule.width);
    }
    return addRuleEntry(sink, block, rule.position, 1, flags, width);
}

bool writeRuleRecords(const IoOps& io, uint32_t layoutStream, uint32_t recordStream,
                      uint32_t offsetStream, int32_t* recordCount, SerializerProgress* progress) {
    RecordSink sink{io, recordStream, offsetStream, 0, progress, 0};
    RuleBlock block{};
    const int32_t size = streamSize(io, layoutStream);
    bool ok = size >= 0 && seekExact(io, layoutStream, 0);
    for (int64_t position = 0; ok && hasBytes(position, sizeof(LayoutRecord), size);
         position += sizeof(LayoutRecord)) {
        LayoutRecord layout;
        ok = stillGoing(sink) && readExact(io, layoutStream, &layout, sizeof layout);
        if (!ok) break;
        if (layout.kind != LayoutRule) continue;
        if (block.entries > 0) {
            while (ok && static_cast<int64_t>(layout.position) - block.lastPosition > kMaxEntryDistance)
                ok = addRuleEntry(sink, block, block.lastPosition + kMaxEntryDistance, 0, 0, 0);
        }
        if (ok) ok = addRule(sink, block, layout);
    }
    if (ok && block.entries > 0) ok = flushRuleRecord(sink, block);
    *recordCount = sink.written;
    return ok;
}

// --- Page-boundary records ---

namespace {
struct BoundaryBlock {
    int32_t entries;
    uint16_t firstHigh;        // high word of the first entry
    uint16_t lastHigh;         // high word of the last boundary
    uint16_t firstPageNumber;  // page that begins at the first entry
    uint16_t lastPageNumber;   // page whose end is the last boundary
    uint16_t entry[kMaxBoundaryEntries];
};
}  // namespace

// Layout: first high 2, last high 2, first page 2, last page 2, n 2, entries 2n.
static bool flushPageRecord(RecordSink& sink, BoundaryBlock& block) {
    if (block.entries == 0) return false;
    uint8_t bytes[10 + 2 * kMaxBoundaryEntries];
    const int32_t n = block.entries;
    putU16BE(bytes + 0, block.firstHigh);
    putU16BE(bytes + 2, block.lastHigh);
    putU16BE(bytes + 4, block.firstPageNumber);
    putU16BE(bytes + 6, block.lastPageNumber);
    putU16BE(bytes + 8, static_cast<uint16_t>(n));
    for (int32_t i = 0; i < n; ++i) putU16BE(bytes + 10 + 2 * i, block.entry[i]);
    block.entries = 0;
    return writeRecord(sink, bytes, 10 + 2 * n);
}

bool writePageRecords(const IoOps& io, uint32_t layoutStream, uint32_t recordStream,
                      uint32_t offsetStream, int32_t* recordCount, int32_t* pageCount,
                      SerializerProgress* progress) {
    RecordSink sink{io, recordStream, offsetStream, 0, progress, 0};
    BoundaryBlock block{};
    uint32_t lastBoundary = 0;
    int32_t pages = 0;
    const int32_t size = streamSize(io, layoutStream);
    bool ok = size >= 0 && seekExact(io, layoutStream, 0);
    for (int64_t position = 0; ok && hasBytes(position, sizeof(LayoutRecord), size);
         position += sizeof(LayoutRecord)) {
        LayoutRecord layout;
        ok = stillGoing(sink) && readExact(io, layoutStream, &layout, sizeof layout);
        if (!ok) break;
        if (layout.kind != LayoutPageEnd) continue;
        const uint32_t end = layout.position;
        if (end == lastBoundary) continue;  // a page that added no text
        if (block.entries == 0) {
            block.firstHigh = highWord(lastBoundary);
            block.entry[0] = lowWord(lastBoundary);
            block.firstPageNumber = static_cast<uint16_t>(pages);
            block.entries = 1;
        }
        if (end - lastBoundary >= kMaxEntryDistance) {  // escape pair: repeat, then high word
            block.entry[block.entries] = block.entry[block.entries - 1];
            block.entry[block.entries + 1] = highWord(end);
            block.entries += 2;
        }
        block.entry[block.entries++] = lowWord(end);
        block.lastPageNumber = static_cast<uint16_t>(pages);
        if (block.entries >= kEntriesPerRecord) {
            block.lastHigh = highWord(end);
            ok = flushPageRecord(sink, block);
        }
        pages += 1;
        lastBoundary = end;
    }
    if (ok && pages > 1 && block.entries > 0) {
        block.lastHigh = highWord(lastBoundary);
        ok = flushPageRecord(sink, block);
    }
    *recordCount = sink.written;
    *pageCount = pages;
    return ok;
}
