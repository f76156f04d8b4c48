// engine/document_records.h -- reads back the document records an HTML conversion adds
// to an e-book database: format runs, link entries, rules and page boundaries. Records
// store positions as 16-bit low words with high words in their headers; decoding
// rebuilds absolute text positions from them (the step between consecutive entries is
// at most 65536, spacer entries bridge longer gaps, and page boundaries carry escape
// pairs), so tests and tools can check what a database holds. Each decoder checks the
// record's length and that the rebuilt positions agree with its header; it never reads
// outside the bytes it is given.
#pragma once
#include <cstdint>

constexpr int32_t kDocumentRecordEntries = 256;  // format, link and rule records
constexpr int32_t kBoundaryRecordWords = 258;    // 256 plus one escape pair

struct FormatRun {
    uint32_t start;
    uint32_t length;      // 1 to 65536
    uint16_t attributes;  // bits 0-2 font size ... bit 15 an extra word follows
    uint16_t extra;       // the extra word, 0 when bit 15 is clear
};

struct DecodedFormatRecord {
    int32_t count;
    uint32_t end;  // position after the last run
    FormatRun runs[kDocumentRecordEntries];
};

struct LinkEntry {
    uint32_t position;
    uint32_t length;  // 0 for a spacer entry
    uint32_t target;  // text position the link leads to (0 for a spacer)
};

struct DecodedLinkRecord {
    int32_t count;  // spacer entries included
    LinkEntry entries[kDocumentRecordEntries];
};

struct RuleEntry {
    uint32_t position;
    uint8_t kind;    // 1 rule, 0 spacer
    uint8_t flags;   // bits 0-3 size, 4 no shade, 5 right, 6 left, 7 a width word follows
    uint16_t width;  // the width word, 0 without one
};

struct DecodedRuleRecord {
    int32_t count;  // spacer entries included
    RuleEntry entries[kDocumentRecordEntries];
};

struct DecodedBoundaryRecord {
    uint16_t firstPageNumber;  // page that begins at boundaries[0]
    uint16_t lastPageNumber;   // page that ends at boundaries[count - 1]
    int32_t count;             // positions: the first page's start, then each page's end
    uint32_t boundaries[kBoundaryRecordWords];
};

// Each fills `out` and returns true, or false when the record is malformed: a wrong length or
// entry count, or positions that disagree with the header's high words. Equal low words
// of consecutive format runs and link entries mean a step of 65536 characters (neither
// is ever empty), and so do a spacer rule's; a rule entry whose low word equals the one
// before it lies at the same position (the record cannot tell that from a rule exactly
// 65536 characters further on, which therefore reads as lying at the same position).
bool decodeFormatRecord(const uint8_t* bytes, int32_t length, DecodedFormatRecord& out);
bool decodeLinkRecord(const uint8_t* bytes, int32_t length, DecodedLinkRecord& out);
bool decodeRuleRecord(const uint8_t* bytes, int32_t length, DecodedRuleRecord& out);
bool decodeBoundaryRecord(const uint8_t* bytes, int32_t length, DecodedBoundaryRecord& out);
