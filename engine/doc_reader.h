// engine/doc_reader.h -- reading the text of a PalmDoc database (creator "REAd") one
// record at a time: record 0 says how many text records follow and whether they are
// compressed; each text record is copied or expanded into the caller's buffer. The
// reader holds no buffer and no handle of its own: the caller opens and closes the
// source.
#pragma once
#include <cstdint>

#include "engine/io_ops.h"
#include "engine/palm_database.h"

// PalmDoc record 0, as far as it is read: compression at offset 0 (2 bytes), unused at 2
// (2), text length at 4 (4), text record count at 8 (2), record size at 10 (2).
constexpr int kDocRecordZeroBytes = 12;
constexpr int kDocCompressionOffset = 0;
constexpr int kDocRecordCountOffset = 8;
constexpr uint16_t kDocUncompressed = 1;  // any other value is the PalmDoc compression

// Smallest buffer docNextRecord accepts: a PalmDoc text record holds at most 4096 bytes.
constexpr int32_t kDocMinimumCapacity = 4096;

struct DocReader {
    const IoOps* io;
    uint32_t handle;
    DatabaseHeader header;  // host order
    uint16_t nextRecord;    // next text record to read; starts at 1
    uint16_t endRecord;     // one past the last text record
    uint16_t compression;   // record 0's compression field
};

// Reads the header and record 0; false when a seek or read falls short or
// record 0 announces as many text records as the database has records, or more.
bool docOpen(DocReader& reader, const IoOps& io, uint32_t handle);
// Puts the next non-empty text record's text into `buffer`: true with `length` > 0, true
// with `length` 0 when no records are left, false when `capacity` is below 4096, a
// record cannot be located or read, is malformed, or does not fit.
bool docNextRecord(DocReader& reader, uint8_t* buffer, int32_t capacity, int32_t& length);
// Expands the PalmDoc-compressed record at `offset` of `size` bytes into `buffer`.
// True with `length` bytes produced; false when a seek or read falls short, a literal
// run or copy pair reaches past the record's end, a copy distance is 0 or reaches before
// the first byte produced, or the text would exceed `capacity`.
bool docExpand(const IoOps& io, uint32_t handle, int32_t offset, int32_t size, uint8_t* buffer,
               int32_t capacity, int32_t& length);
