// html/record_serializer.h -- turns the pass's temporary streams, after every link is
// resolved, into the e-book's document records: format runs, link ranges, horizontal
// rules and page boundaries. Records are big-endian, built in one fixed block each
// (256 entries; 258 for page boundaries) and appended to `recordStream`; for each one
// its start offset within `recordStream` is appended to `offsetStream` as a host-order
// u32. Positions are stored as 16-bit low words, with the high words in the record
// header and consecutive entries kept at most 65536 characters apart (runs of at most
// 65536 characters, spacer entries, escape pairs), so a reader rebuilds them in order.
//
// Each writer makes one pass over its input from position 0, stops where the input
// stream ends (a record cut off there is left out), sets *recordCount to the records it
// wrote, and returns false on a failed seek, a failed read of bytes the input holds, or
// a short write to either output. They run in the order format, link, rule, page
// boundary, so each kind's records are consecutive.
#pragma once
#include <cstdint>

#include "engine/io_ops.h"

// What a writer reports while it runs: `percent` again every 4096 input records, so a
// cancel is heard; when that is answered with cancel, `canceled` becomes true and the
// writer returns false at once. Without it (null) the writers report nothing.
struct SerializerProgress {
    int32_t percent;
    bool canceled;
};

constexpr int32_t kEntriesPerRecord = 256;
constexpr int32_t kMaxBoundaryEntries = 258;  // 256 plus one escape pair
constexpr uint32_t kMaxEntryDistance = 65536;  // largest step between consecutive entries

// Format records from the StyleChange stream: one run per stretch of text between two
// style changes (cut into runs of at most 65536 characters), starting at position 0 in
// the default style. Text after the last style change gets no run.
bool writeFormatRecords(const IoOps& io, uint32_t styleStream, uint32_t recordStream,
                        uint32_t offsetStream, int32_t* recordCount, SerializerProgress* progress = nullptr);

// Link records from the LinkRecord stream: resolved links with a target other than
// 0xFFFFFFFF, in entries of at most 255 characters.
bool writeLinkRecords(const IoOps& io, uint32_t linkStream, uint32_t recordStream,
                      uint32_t offsetStream, int32_t* recordCount, SerializerProgress* progress = nullptr);

// Rule records from the rule LayoutRecords of the layout stream.
bool writeRuleRecords(const IoOps& io, uint32_t layoutStream, uint32_t recordStream,
                      uint32_t offsetStream, int32_t* recordCount, SerializerProgress* progress = nullptr);

// Page-boundary records from the page-end LayoutRecords: *pageCount gets the pages that
// added text. With fewer than two such pages nothing is written.
bool writePageRecords(const IoOps& io, uint32_t layoutStream, uint32_t recordStream,
                      uint32_t offsetStream, int32_t* recordCount, int32_t* pageCount,
                      SerializerProgress* progress = nullptr);

