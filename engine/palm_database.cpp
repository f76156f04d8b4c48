// engine/palm_database.cpp -- see palm_database.h.
#include "engine/palm_database.h"

#include <cstring>

#include "engine/checked_io.h"

void encodeDatabaseHeader(const DatabaseHeader& header, uint8_t out[kDatabaseHeaderSize]) {
    std::memcpy(out, header.name, kDatabaseNameBytes);
    putBigEndian16(out + 32, header.attributes);
    putBigEndian16(out + 34, header.version);
    putBigEndian32(out + 36, header.creationTime);
    putBigEndian32(out + 40, header.modificationTime);
    putBigEndian32(out + 44, header.backupTime);
    putBigEndian32(out + 48, header.modificationNumber);
    putBigEndian32(out + 52, header.appInfoOffset);
    putBigEndian32(out + 56, header.sortInfoOffset);
    std::memcpy(out + 60, header.type, 4);
    std::memcpy(out + 64, header.creator, 4);
    putBigEndian32(out + 68, header.uniqueIdSeed);
    putBigEndian32(out + 72, header.nextRecordList);
    putBigEndian16(out + 76, header.numRecords);
}

void decodeDatabaseHeader(const uint8_t bytes[kDatabaseHeaderSize], DatabaseHeader& header) {
    std::memcpy(header.name, bytes, kDatabaseNameBytes);
    header.attributes = static_cast<uint16_t>(getBigEndian16(bytes + 32));
    header.version = static_cast<uint16_t>(getBigEndian16(bytes + 34));
    header.creationTime = getBigEndian32(bytes + 36);
    header.modificationTime = getBigEndian32(bytes + 40);
    header.backupTime = getBigEndian32(bytes + 44);
    header.modificationNumber = getBigEndian32(bytes + 48);
    header.appInfoOffset = getBigEndian32(bytes + 52);
    header.sortInfoOffset = getBigEndian32(bytes + 56);
    std::memcpy(header.type, bytes + 60, 4);
    std::memcpy(header.creator, bytes + 64, 4);
    header.uniqueIdSeed = getBigEndian32(bytes + 68);
    header.nextRecordList = getBigEndian32(bytes + 72);
    header.numRecords = static_cast<uint16_t>(getBigEndian16(bytes + 76));
}

void encodeRecordEntry(const RecordEntry& entry, uint8_t out[kRecordEntrySize]) {
    putBigEndian32(out, entry.offset);
    out[4] = entry.attributes;
    out[5] = static_cast<uint8_t>(entry.uniqueId);
    out[6] = static_cast<uint8_t>(entry.uniqueId >> 8);
    out[7] = static_cast<uint8_t>(entry.uniqueId >> 16);
}

void decodeRecordEntry(const uint8_t bytes[kRecordEntrySize], RecordEntry& entry) {
    entry.offset = getBigEndian32(bytes);
    entry.attributes = bytes[4];
    entry.uniqueId = static_cast<uint32_t>(bytes[5]) | static_cast<uint32_t>(bytes[6]) << 8 |
                     static_cast<uint32_t>(bytes[7]) << 16;
}

bool readDatabaseHeader(const IoOps& io, uint32_t stream, DatabaseHeader& header) {
    uint8_t bytes[kDatabaseHeaderSize];
    if (!seekExact(io, stream, 0)) return false;
    if (!readExact(io, stream, bytes, kDatabaseHeaderSize)) return false;
    decodeDatabaseHeader(bytes, header);
    return true;
}

// Offset stored in entry `index`, or -1 when it cannot be read or lies past 2 GB.
static int64_t entryOffset(const IoOps& io, uint32_t stream, uint32_t index) {
    uint8_t bytes[kRecordEntrySize];
    const int64_t position = kDatabaseHeaderSize + static_cast<int64_t>(kRecordEntrySize) * index;
    if (!seekExact(io, stream, static_cast<int32_t>(position))) return -1;
    if (!readExact(io, stream, bytes, kRecordEntrySize)) return -1;
    const uint32_t offset = getBigEndian32(bytes);
    return offset > INT32_MAX ? -1 : static_cast<int64_t>(offset);
}

bool readRecordLocation(const IoOps& io, uint32_t stream, const DatabaseHeader& header,
                        uint32_t index, int32_t& offset, int32_t& size) {
    if (index >= header.numRecords) return false;
    const int64_t start = entryOffset(io, stream, index);
    if (start < 0) return false;
    int64_t end;
    if (index + 1 < header.numRecords) {
        end = entryOffset(io, stream, index + 1);
    } else {
        end = streamSize(io, stream);
    }
    if (end < 0 || end < start) return false;
    offset = static_cast<int32_t>(start);
    size = static_cast<int32_t>(end - start);
    return true;
}

bool writeRecordEntry(const IoOps& io, uint32_t stream, uint32_t index, uint32_t offset) {
    uint8_t bytes[kRecordEntrySize];
    encodeRecordEntry(RecordEntry{offset, 0, index}, bytes);
    const int64_t position = kDatabaseHeaderSize + static_cast<int64_t>(kRecordEntrySize) * index;
    if (position > INT32_MAX) return false;
    if (!seekExact(io, stream, static_cast<int32_t>(position))) return false;
    return writeExact(io, stream, bytes, kRecordEntrySize);
}
