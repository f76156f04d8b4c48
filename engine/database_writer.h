// engine/database_writer.h -- writes the e-book database around the compressed text:
// the container header, the record list, the two-byte gap, record 0 and the text-part
// records (through the compressor), then for HTML sources the document records, and
// finally record 0's run fields and conversion time. The destination is written front
// to back once and then patched in place; each operation reads back from the file what
// it needs, so nothing but the file carries over between them. Nothing here closes a
// stream or removes a partly written destination.
#pragma once
#include <cstdint>

#include "engine/conversion_job.h"
#include "engine/ebook_layout.h"
#include "engine/io_ops.h"

// The document records an HTML conversion appends after the text part: the whole of
// `recordStream`, one 32-bit host-order start offset per record in `offsetStream`, and
// where each kind's run starts and how many records it holds.
struct DocumentRecordSet {
    uint32_t recordStream;   // T3: serialized document records
    uint32_t offsetStream;   // T4: one 32-bit host-order start offset per record
    int32_t formatFirst, formatCount;
    int32_t linkFirst, linkCount;
    int32_t ruleFirst, ruleCount;
    int32_t pageCount;
    int32_t boundaryFirst, boundaryCount;
};

// A local date and time as a calendar shows it: month 1-12, day 1-31.
struct LocalDateTime {
    int32_t year, month, day, hour, minute, second;
};

// Seconds from 1904-01-01 00:00:00 to `local`, with every fourth year a leap year (no
// century rule, as the handheld counts), wrapped to 32 bits.
uint32_t conversionTime(const LocalDateTime& local);
// conversionTime of the current local time (0 if the C library cannot tell it).
uint32_t currentConversionTime();

// Record 0 between its 64 file bytes (big-endian, bytes 42-63 zero) and host order.
void encodeDocumentHeader(const DocumentHeaderRecord& record, uint8_t out[kRecordZeroSize]);
void decodeDocumentHeader(const uint8_t bytes[kRecordZeroSize], DocumentHeaderRecord& record);
// Locate record 0 through the header and record list and read or write exactly its 64
// bytes. False on any failed seek, read or write, or when record 0 is shorter than 64
// bytes.
bool readRecordZero(const IoOps& io, uint32_t database, DocumentHeaderRecord& record);
bool writeRecordZero(const IoOps& io, uint32_t database, const DocumentHeaderRecord& record);

// Writes header, gap, record 0 and the text-part records from `text` (an empty text
// first gets one line feed), using `spill` for the compressor's tokens, then fills
// the record list for the text part. The list has room for `documentRecordCount` more
// entries (numRecords counts them). Fails when R is not 3 to 65535 or R plus the
// document records exceed 65535. Reports StagePercent while compressing and 100 at the
// end. Returns StepDone, StepCanceled or StepFailed.
StepResult writeDatabase(const IoOps& io, uint32_t text, uint32_t spill, uint32_t destination,
                         const char* title, int32_t chunkSize, int32_t groupSize,
                         int32_t documentRecordCount);

// Appends the HTML pass's document records (the whole of `recordStream`) to the
// destination, writes their entries (offsets from `offsetStream`, one 32-bit host-order
// value per record) after the text part's, and fills record 0's runs and page count from
// `records`. Fails when the count does not match the header's numRecords, the first
// offset is not 0, an offset lies outside the record stream or goes backwards, record
// bytes come without records, a count is negative, or a run would reach index 32768 or
// beyond the records. Reports StagePercent 100. Returns StepDone, StepCanceled or
// StepFailed.
StepResult appendDocumentRecords(const IoOps& io, uint32_t recordStream, uint32_t offsetStream,
                                 uint32_t destination, int32_t documentRecordCount,
                                 const DocumentRecordSet& records);

// Sets record 0's conversion time to now and its last 22 bytes to zero; false when
// record 0 cannot be read or written.
bool stampRecordZero(const IoOps& io, uint32_t destination);

// The driver's database step: reports StageCompressHtml when `html` is given, else
// StageCompressText, then writeDatabase (chunk size 4096, group size 8), for HTML
// appendDocumentRecords from html->recordStream and html->offsetStream, and
// stampRecordZero, each only if the one before succeeded. `documentRecordCount` is
// ignored without `html`. Returns StepDone, StepCanceled or StepFailed (which the
// driver reports as ResultConversionError).
StepResult writeBookDatabase(const ConversionJob& job, uint32_t text, uint32_t spill,
                             uint32_t destination, const DocumentRecordSet* html,
                             int32_t documentRecordCount);
