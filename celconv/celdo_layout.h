// celconv/celdo_layout.h -- the numbers of a Celdo database file and of the CSV and info
// files around it, plus the big-endian helpers every writer and reader of the file uses.
// A Celdo database is a Palm database: header, record list, two filler bytes, the
// application information (fixed part + popup block), then the records.
#pragma once
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

namespace celconv {

// Header: name 32, attributes 2, version 2, three dates 4 each, modification number 4,
// application-information offset 4, sort offset 4, type 4, creator 4, seed 4,
// next record list 4, record count 2.
constexpr int kHeaderSize = 78;
constexpr int kNameOffset = 0;
constexpr int kNameSize = 32;           // text and its zero byte
constexpr int kAttributesOffset = 32;
constexpr int kVersionOffset = 34;
constexpr int kCreationDateOffset = 36;
constexpr int kModificationDateOffset = 40;
constexpr int kAppInfoOffsetOffset = 52;
constexpr int kTypeOffset = 60;
constexpr int kCreatorOffset = 64;
constexpr int kRecordCountOffset = 76;

constexpr uint16_t kBackupAttribute = 0x0008;
constexpr uint16_t kDatabaseVersion = 1;
// Both dates are this constant, not the conversion time: databases stay byte-identical.
constexpr uint32_t kFixedDate = 0x33332675;
constexpr char kDatabaseType[] = "CeTb";
constexpr char kDatabaseCreator[] = "CeAp";

// Record entry: file offset 4, attribute byte 1, unique id 3.
constexpr int kRecordEntrySize = 8;
constexpr int kEntryAttributeOffset = 4;
constexpr uint8_t kDeleteAttribute = 0x80;

// The two bytes between the record list and the application information.
constexpr uint8_t kFiller[2] = {0x8C, 0x00};
constexpr int kFillerSize = 2;
constexpr uint32_t kRecordListOffset = kHeaderSize;
// Header, R record entries and the filler: 80 + 8 * R.
constexpr uint32_t appInfoOffsetFor(uint32_t recordCount) {
    return kHeaderSize + kRecordEntrySize * recordCount + kFillerSize;
}

// CeldoAppInfo, fixed part: 20 name slots of 21 bytes = 420, 20 types = 40, fieldCount 2,
// formatTag 2, 20 widths = 40, editFieldWidth 2, five unset words 10, two unset text
// areas of 16, passwordLock 2, firstShowColumn 2, password 12.
constexpr int kAppInfoFixedSize = 564;
constexpr int kFieldSlots = 20;
constexpr int kFieldNameSlotSize = 21;  // 20 characters and a zero byte
constexpr int kMaxFieldNameLength = kFieldNameSlotSize - 1;
constexpr int kFieldNamesOffset = 0;
constexpr int kFieldTypesOffset = 420;
constexpr int kFieldCountOffset = 460;
constexpr int kFormatTagOffset = 462;
constexpr int kFieldWidthsOffset = 464;
constexpr int kEditFieldWidthOffset = 504;
constexpr int kPasswordLockOffset = 548;
constexpr int kFirstShowColumnOffset = 550;
constexpr int kPasswordOffset = 552;
constexpr int kPasswordSize = 12;
constexpr int kMaxPasswordLength = 10;

constexpr uint16_t kFormatTag = 452;
constexpr int16_t kDefaultFieldType = 1;
constexpr int16_t kDefaultFieldWidth = 80;
constexpr int16_t kDefaultEditFieldWidth = 80;
constexpr int16_t kDefaultFirstShowColumn = 1;
constexpr int16_t kDefaultPasswordLock = 0;

// Popup block: zero-ended strings, then zero bytes; never shorter than four bytes.
constexpr int kMinPopupBlockSize = 4;

// Limits of one CSV conversion.
constexpr int kMaxDatabaseNameLength = kNameSize - 1;
constexpr int kMaxFieldChars = 499;       // one field as written in the line, quotes included
constexpr int kLinePieceChars = 3999;     // one read of a CSV line, line end included
constexpr int kMaxRecords = 50000;
// One value of a database record after quote doubling (a 4000-byte buffer with its zero).
constexpr int kMaxValueChars = 3999;

// Info file limits.
constexpr int kMaxFieldWidth = 160;
constexpr int kMaxFirstShowColumn = 19;
constexpr int kPasswordPieceChars = 11;   // one read of the password line, line end included
constexpr int kPopupPieceChars = 99;      // one read of a popup line, line end included
constexpr int kMaxPopupTotal = 4000;      // sum of (piece length + 1)
constexpr int kMaxPopupItems = 100;       // items of one list

// Host order <-> the database's big-endian order: a byte reversal on little-endian hosts.
constexpr uint16_t swap16(uint16_t value) {
    if constexpr (std::endian::native == std::endian::big) return value;
    return static_cast<uint16_t>((value >> 8) | (value << 8));
}
constexpr uint32_t swap32(uint32_t value) {
    if constexpr (std::endian::native == std::endian::big) return value;
    return (value >> 24) | ((value >> 8) & 0x0000FF00u) | ((value << 8) & 0x00FF0000u) |
           (value << 24);
}

// Stores and loads database numbers at a byte offset of a block the caller has sized.
inline void storeBig16(std::string& block, size_t offset, uint16_t value) {
    const uint16_t stored = swap16(value);
    std::memcpy(&block[offset], &stored, sizeof stored);
}
inline void storeBig32(std::string& block, size_t offset, uint32_t value) {
    const uint32_t stored = swap32(value);
    std::memcpy(&block[offset], &stored, sizeof stored);
}
inline uint16_t loadBig16(const std::string& block, size_t offset) {
    uint16_t stored;
    std::memcpy(&stored, &block[offset], sizeof stored);
    return swap16(stored);
}
inline uint32_t loadBig32(const std::string& block, size_t offset) {
    uint32_t stored;
    std::memcpy(&stored, &block[offset], sizeof stored);
    return swap32(stored);
}

}  // namespace celconv
