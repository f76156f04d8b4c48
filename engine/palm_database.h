// engine/palm_database.h -- the Palm database container as the engine reads and writes
// it: a 78-byte header, a list of 8-byte record entries, then the records, every number
// big-endian in the file. Records here are in host order; the conversion happens only
// in these functions, at the moment of reading or writing.
#pragma once
#include <cstdint>

#include "engine/io_ops.h"

constexpr int kDatabaseHeaderSize = 78;  // through numRecords at offset 76
constexpr int kRecordEntrySize = 8;      // offset 4, attributes 1, unique id 3
constexpr int kDatabaseNameBytes = 32;   // zero-terminated name field

struct DatabaseHeader {
    char name[kDatabaseNameBytes];  // offset 0
    uint16_t attributes;            // offset 32
    uint16_t version;               // offset 34
    uint32_t creationTime;          // offset 36, seconds since 1904
    uint32_t modificationTime;      // offset 40
    uint32_t backupTime;            // offset 44
    uint32_t modificationNumber;    // offset 48
    uint32_t appInfoOffset;         // offset 52
    uint32_t sortInfoOffset;        // offset 56
    char type[4];                   // offset 60
    char creator[4];                // offset 64
    uint32_t uniqueIdSeed;          // offset 68
    uint32_t nextRecordList;        // offset 72
    uint16_t numRecords;            // offset 76
};

struct RecordEntry {
    uint32_t offset;      // absolute file offset of the record's first byte
    uint8_t attributes;   // 0 in what the engine writes
    uint32_t uniqueId;    // 24 bits, stored little-endian in the file
};

// The 78 file bytes of `header` (big-endian numbers).
void encodeDatabaseHeader(const DatabaseHeader& header, uint8_t out[kDatabaseHeaderSize]);
// The header in host order from its 78 file bytes.
void decodeDatabaseHeader(const uint8_t bytes[kDatabaseHeaderSize], DatabaseHeader& header);
// The 8 file bytes of an entry: big-endian offset, attributes, 24-bit little-endian id.
void encodeRecordEntry(const RecordEntry& entry, uint8_t out[kRecordEntrySize]);
void decodeRecordEntry(const uint8_t bytes[kRecordEntrySize], RecordEntry& entry);

// Seeks to 0 (which must answer 0), reads exactly 78 bytes and converts them.
// False on any failure (the header is then undefined).
bool readDatabaseHeader(const IoOps& io, uint32_t stream, DatabaseHeader& header);
// Offset and size of record `index` (below header.numRecords): the size runs to the next
// entry's offset, or for the last record to the end of the stream. False when
// the index is out of range, a seek or read falls short, or the size is negative.
bool readRecordLocation(const IoOps& io, uint32_t stream, const DatabaseHeader& header,
                        uint32_t index, int32_t& offset, int32_t& size);
// Writes entry `index` at 78 + 8 x index: `offset`, attributes 0, unique id `index`.
// False when the seek or the write falls short.
bool writeRecordEntry(const IoOps& io, uint32_t stream, uint32_t index, uint32_t offset);

// Big-endian helpers for the handheld's formats.
inline void putBigEndian16(uint8_t* out, uint32_t value) {
    out[0] = static_cast<uint8_t>(value >> 8);
    out[1] = static_cast<uint8_t>(value);
}
inline void putBigEndian32(uint8_t* out, uint32_t value) {
    out[0] = static_cast<uint8_t>(value >> 24);
    out[1] = static_cast<uint8_t>(value >> 16);
    out[2] = static_cast<uint8_t>(value >> 8);
    out[3] = static_cast<uint8_t>(value);
}
inline uint32_t getBigEndian16(const uint8_t* in) {
    return static_cast<uint32_t>(in[0]) << 8 | in[1];
}
inline uint32_t getBigEndian32(const uint8_t* in) {
    return static_cast<uint32_t>(in[0]) << 24 | static_cast<uint32_t>(in[1]) << 16 |
           static_cast<uint32_t>(in[2]) << 8 | in[3];
}
