// engine/book_reader.h -- reads an e-book database back: checks the container (header,
// record list, record 0, the kinds and lengths of the text records and their layout in
// groups) and decodes any chunk, or the whole text. It is the project's own decoder and
// shares nothing with the compressor but the RFC 1951 numbers, so that it can catch the
// compressor's faults. Damaged or hostile files give a BookResult error; nothing is
// read or written outside the reader's buffers. Records are reachable by index too, for
// the document records (format, link, rule, page boundary) that record 0's runs name,
// and those decode to plain entries with absolute text positions.
#pragma once
#include <cstdint>

#include "engine/document_records.h"
#include "engine/ebook_layout.h"
#include "engine/io_ops.h"
#include "engine/palm_database.h"

enum BookResult : int32_t {
    BookOk = 0,
    BookIoFailed = 1,         // a seek or read did not return what was asked
    BookNoMemory = 2,         // allocBlock failed
    BookNotEbook = 3,         // shorter than a header, or type and creator are not "Quib"
    BookBadHeader = 4,        // too few records, a record list past the end, an unterminated name
    BookBadRecordList = 5,    // an offset inside the header or list, past the end, or going back
    BookBadRecordZero = 6,    // record 0 short, or its fields disagree with each other or the list
    BookBadRecordHeader = 7,  // a text record's header, kind or length does not fit its place
    BookBadCodeTable = 8,     // counts out of range, not a complete prefix code, misplaced
                              // repeats, bits past the payload, or data after the table
    BookBadChunk = 9,         // an unknown code, bits past the payload, a match before the
                              // chunk start or past its end, a wrong length, data after the end
                              // symbol, nonzero pad bytes
    BookBadArgument = 10,     // an index out of range or a buffer too small
    BookBadDocumentRecord = 11,  // a format, link, rule or page-boundary record that does
                                 // not decode: wrong length or count, positions that
                                 // disagree with its high words
};

// The runs of document records that record 0 names, in the order they follow each other.
enum DocumentRecordKind : int32_t {
    DocumentFormat = 0,
    DocumentLink = 1,
    DocumentRule = 2,
    DocumentBoundary = 3,
};

// What bookReadChunk learned about a chunk's records.
struct BookChunkInfo {
    int32_t record;            // the chunk's record index
    int32_t kind;              // 2 coded, 4 to 7 stored
    int32_t codeTableRecord;   // the group's code-table record index
    int32_t codeTableBits;     // bits of the code table before its padding
    int32_t chunkBits;         // coded chunks: bits up to and including the end symbol
};

struct BookReaderWork;  // buffers and decoding tables, from allocBlock

struct BookReader {
    const IoOps* io;
    uint32_t stream;
    int32_t fileSize;
    DatabaseHeader header;             // host order
    DocumentHeaderRecord recordZero;   // host order
    int32_t chunkCount;
    int32_t groupCount;
    int32_t loadedGroup;   // the group whose code table is decoded in `work`, or -1
    int32_t loadedTableBits;
    BookReaderWork* work;
};

// Checks the database on `stream` (which stays open and belongs to the caller) and
// makes `reader` ready. On failure nothing is held and the result names the fault.
int32_t bookOpen(const IoOps& io, uint32_t stream, BookReader& reader);
// Frees the reader's buffers; it may be called again, or after a failed bookOpen.
void bookClose(BookReader& reader);

// numRecords of the header.
int32_t bookRecordCount(const BookReader& reader);
// Offset and size of any record; BookBadArgument for an index out of range.
int32_t bookRecordLocation(const BookReader& reader, int32_t index, int32_t& offset, int32_t& size);
// Copies record `index` into buffer[0..capacity); `length` gets its size.
int32_t bookReadRecord(const BookReader& reader, int32_t index, uint8_t* buffer, int32_t capacity,
                       int32_t& length);

// The text length the chunk must decode to (4096, or less for the last), or -1.
int32_t bookChunkLength(const BookReader& reader, int32_t chunk);
// Decodes chunk `chunk` into out[0..capacity), `length` gets its size. `info`, when
// given, is filled too. The group's code table is decoded when first needed.
int32_t bookReadChunk(BookReader& reader, int32_t chunk, uint8_t* out, int32_t capacity,
                      int32_t& length, BookChunkInfo* info);
// Decodes every chunk in order and writes the text to `output`.
int32_t bookReadText(BookReader& reader, uint32_t output);

// The run of document records of `kind`: the record index of its first record and the
// number of records (0 when there are none). BookBadArgument for an unknown kind.
int32_t bookDocumentRun(const BookReader& reader, int32_t kind, int32_t& first, int32_t& count);
// Decode record `n` (from 0) of the run of their kind.
int32_t bookReadFormatRecord(BookReader& reader, int32_t n, DecodedFormatRecord& out);
int32_t bookReadLinkRecord(BookReader& reader, int32_t n, DecodedLinkRecord& out);
int32_t bookReadRuleRecord(BookReader& reader, int32_t n, DecodedRuleRecord& out);
int32_t bookReadBoundaryRecord(BookReader& reader, int32_t n, DecodedBoundaryRecord& out);

// "BookOk", "BookBadChunk", ... or "unknown book result".
const char* bookResultName(int32_t result);
