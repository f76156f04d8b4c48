// engine/document_records.cpp -- see document_records.h. Every offset is checked against
// the record's length before it is read.
#include "engine/document_records.h"

namespace {

uint16_t u16At(const uint8_t* bytes, int32_t offset) {
    return static_cast<uint16_t>((bytes[offset] << 8) | bytes[offset + 1]);
}

uint32_t u32At(const uint8_t* bytes, int32_t offset) {
    return (uint32_t{u16At(bytes, offset)} << 16) | u16At(bytes, offset + 2);
}

uint16_t highWord(uint32_t position) { return static_cast<uint16_t>(position >> 16); }

// The step from a position with low word `from` to the next one with low word `to`, when
// a step of 0 is impossible and so stands for 65536.
uint32_t nonEmptyStep(uint16_t from, uint16_t to) {
    const uint32_t step = static_cast<uint16_t>(to - from);
    return step == 0 ? 0x10000u : step;
}

uint32_t plainStep(uint16_t from, uint16_t to) { return static_cast<uint16_t>(to - from); }

// The entry count at `offset`: 1 to `most`, else -1.
int32_t countAt(const uint8_t* bytes, int32_t length, int32_t offset, int32_t least, int32_t most) {
    if (bytes == nullptr || length < offset + 2) return -1;
    const int32_t count = u16At(bytes, offset);
    return count >= least && count <= most ? count : -1;
}

}  // namespace

// Layout: first high 2, end high 2, n 2, start lows 2n, end low 2, attributes 2n, m 2,
// extra words 2m.
bool decodeFormatRecord(const uint8_t* bytes, int32_t length, DecodedFormatRecord& out) {
    const int32_t n = countAt(bytes, length, 4, 1, kDocumentRecordEntries);
    if (n < 0 || length < 10 + 4 * n) return false;
    const int32_t m = u16At(bytes, 8 + 4 * n);
    if (length != 10 + 4 * n + 2 * m) return false;
    int32_t extras = 0;
    uint32_t start = (uint32_t{u16At(bytes, 0)} << 16) | u16At(bytes, 6);
    for (int32_t i = 0; i < n; ++i) {
        const uint16_t low = u16At(bytes, 6 + 2 * i);
        const uint16_t nextLow = u16At(bytes, 8 + 2 * i);  // the next start, or the end low
        FormatRun& run = out.runs[i];
        run.start = start;
        run.length = nonEmptyStep(low, nextLow);
        run.attributes = u16At(bytes, 8 + 2 * n + 2 * i);
        run.extra = 0;
        if (run.attributes & 0x8000) {
            if (extras == m) return false;
            run.extra = u16At(bytes, 10 + 4 * n + 2 * extras);
            ++extras;
        }
        start += run.length;
    }
    if (extras != m || highWord(start) != u16At(bytes, 2)) return false;
    out.count = n;
    out.end = start;
    return true;
}

// Layout: first high 2, end high 2, n 2, position lows 2n, end low 2, lengths n,
// reserved n, targets 4n.
bool decodeLinkRecord(const uint8_t* bytes, int32_t length, DecodedLinkRecord& out) {
    const int32_t n = countAt(bytes, length, 4, 1, kDocumentRecordEntries);
    if (n < 0 || length != 8 + 8 * n) return false;
    uint32_t position = (uint32_t{u16At(bytes, 0)} << 16) | u16At(bytes, 6);
    for (int32_t i = 0; i < n; ++i) {
        if (i > 0) position += nonEmptyStep(u16At(bytes, 4 + 2 * i), u16At(bytes, 6 + 2 * i));
        LinkEntry& entry = out.entries[i];
        entry.position = position;
        entry.length = bytes[8 + 2 * n + i];
        entry.target = u32At(bytes, 8 + 4 * n + 4 * i);
    }
    const uint32_t end = position + out.entries[n - 1].length;
    if (static_cast<uint16_t>(end) != u16At(bytes, 6 + 2 * n) || highWord(end) != u16At(bytes, 2))
        return false;
    out.count = n;
    return true;
}

// Layout: first high 2, last high 2, n 2, position lows 2n, kinds n, flags n, one width
// word per entry with flag bit 7.
bool decodeRuleRecord(const uint8_t* bytes, int32_t length, DecodedRuleRecord& out) {
    const int32_t n = countAt(bytes, length, 4, 1, kDocumentRecordEntries);
    if (n < 0 || length < 6 + 4 * n) return false;
    int32_t widths = 0;
    uint32_t position = (uint32_t{u16At(bytes, 0)} << 16) | u16At(bytes, 6);
    for (int32_t i = 0; i < n; ++i) {
        RuleEntry& entry = out.entries[i];
        entry.kind = bytes[6 + 2 * n + i];
        if (i > 0) {
            // A spacer lies exactly 65536 after the entry before it.
            const uint32_t step = plainStep(u16At(bytes, 4 + 2 * i), u16At(bytes, 6 + 2 * i));
            position += step == 0 && entry.kind == 0 ? 0x10000u : step;
        }
        entry.position = position;
        entry.flags = bytes[6 + 3 * n + i];
        entry.width = 0;
        if (entry.flags & 0x80) {
            if (length < 6 + 4 * n + 2 * (widths + 1)) return false;
            entry.width = u16At(bytes, 6 + 4 * n + 2 * widths);
            ++widths;
        }
    }
    if (length != 6 + 4 * n + 2 * widths || highWord(position) != u16At(bytes, 2)) return false;
    out.count = n;
    return true;
}

// Layout: first high 2, last high 2, first page 2, last page 2, n 2, words 2n. A word
// equal to the one before it opens an escape pair: the next word is the new boundary's
// high word and the word after it its low word.
bool decodeBoundaryRecord(const uint8_t* bytes, int32_t length, DecodedBoundaryRecord& out) {
    const int32_t n = countAt(bytes, length, 8, 2, kBoundaryRecordWords);
    if (n < 0 || length != 10 + 2 * n) return false;
    uint16_t previous = u16At(bytes, 10);
    uint32_t position = (uint32_t{u16At(bytes, 0)} << 16) | previous;
    int32_t count = 0;
    out.boundaries[count++] = position;
    for (int32_t i = 1; i < n;) {
        const uint16_t word = u16At(bytes, 10 + 2 * i);
        if (word == previous) {
            if (i + 2 >= n) return false;
            position = (uint32_t{u16At(bytes, 12 + 2 * i)} << 16) | u16At(bytes, 14 + 2 * i);
            i += 3;
        } else {
            position += plainStep(previous, word);
            i += 1;
        }
        previous = static_cast<uint16_t>(position);
        out.boundaries[count++] = position;
    }
    out.firstPageNumber = u16At(bytes, 4);
    out.lastPageNumber = u16At(bytes, 6);
    const int32_t pages = static_cast<uint16_t>(out.lastPageNumber - out.firstPageNumber) + 1;
    if (highWord(position) != u16At(bytes, 2) || pages != count - 1) return false;
    out.count = count;
    return true;
}
