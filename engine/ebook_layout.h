// engine/ebook_layout.h -- the numbers of the e-book database that more than one module
// needs: record 0 (the 64-byte document header record), the 4-byte header in front of
// every text record, the record kinds, the chunk and group sizes the handheld reads, and
// the bits of the format and rule records.
// The writer fills these records and the book reader checks them, each with its own code.
#pragma once
#include <cstdint>

constexpr char kEbookTypeCreator[4] = {'Q', 'u', 'i', 'b'};  // database type, creator, record 0 tag
constexpr uint16_t kEbookVersion = 0x0100;                   // header version field, bytes 01 00

constexpr int kBookChunkSize = 4096;  // text bytes per chunk; record 0 does not store it
constexpr int kBookGroupSize = 8;     // chunks per code table, stored in record 0
constexpr int kMaxBookRecords = 65535;     // numRecords and R are 16-bit
constexpr int kMaxDocumentIndex = 32767;   // record indexes in record 0's runs stay below 32768

// Record 0 (all numbers big-endian), offsets in bytes.
constexpr int kRecordZeroSize = 64;
constexpr int kRecordZeroLength = 0;         // 2: 64, where record 1 begins
constexpr int kRecordZeroVersion = 2;        // 2: 1
constexpr int kRecordZeroFlags = 4;          // 4: the bytes 1, 0, 1, 0
constexpr int kRecordZeroTag = 8;            // 4: "Quib"
constexpr int kRecordZeroTextLength = 12;    // 4: L, text bytes after preprocessing
constexpr int kRecordZeroGroupSize = 16;     // 2: chunks per code table
constexpr int kRecordZeroTextRecords = 18;   // 2: R, record 0 included
constexpr int kRecordZeroFormatFirst = 20;   // 2 each: first and count of the format,
constexpr int kRecordZeroFormatCount = 22;   //   link and rule runs
constexpr int kRecordZeroLinkFirst = 24;
constexpr int kRecordZeroLinkCount = 26;
constexpr int kRecordZeroRuleFirst = 28;
constexpr int kRecordZeroRuleCount = 30;
constexpr int kRecordZeroTime = 32;          // 4: conversion time, seconds since 1904
constexpr int kRecordZeroPageCount = 36;     // 2: page boundaries counted by the HTML pass
constexpr int kRecordZeroBoundaryFirst = 38; // 2
constexpr int kRecordZeroBoundaryCount = 40; // 2
constexpr int kRecordZeroReserved = 42;      // 22 zero bytes to the end

// The header of every text record: length 4, kind, payload length in 32-bit words.
constexpr int kRecordHeaderSize = 4;
constexpr int kMaxPayloadWords = kBookChunkSize / 4;  // a bit payload holds at most 1024 words
enum RecordKind : uint8_t {
    KindCodeTable = 1,
    KindCodedChunk = 2,
    KindStored = 4,  // 4 + the number of zero pad bytes after the text: 4 to 7
};

// Format runs: the attribute word of each run, and the extra word that follows it when
// kExtraWordBit is set.
constexpr uint16_t kSizeMask = 0x0007;  // bits 0-2: font size 1 to 7
constexpr uint16_t kHeadingBit = 1u << 3;
constexpr uint16_t kMonospaceBit = 1u << 4;
constexpr uint16_t kBoldBit = 1u << 5;
constexpr uint16_t kUnderlineBit = 1u << 6;
constexpr uint16_t kLinkUnderlineBit = 1u << 7;
constexpr uint16_t kItalicBit = 1u << 8;
constexpr uint16_t kStrikeBit = 1u << 9;
constexpr uint16_t kSubscriptBit = 1u << 10;
constexpr uint16_t kSuperscriptBit = 1u << 11;
constexpr uint16_t kCenterBit = 1u << 12;
constexpr uint16_t kRightBit = 1u << 13;
constexpr uint16_t kExtraWordBit = 1u << 15;
constexpr uint16_t kIndentMask = 0x0007;  // extra word bits 0-2: indent level
constexpr int kListTypeShift = 3;         // bits 3-5: list type 0 to 7
constexpr uint16_t kListMarkerBit = 1u << 6;
constexpr int kListNumberShift = 8;       // bits 8-15: item number - 1

// Rule entries: the flags byte, and the width word that follows when kRuleWidthBit is set.
constexpr uint8_t kRuleSizeMask = 0x0F;  // bits 0-3: thickness in pixels
constexpr uint8_t kRuleNoShadeBit = 1u << 4;
constexpr uint8_t kRuleRightBit = 1u << 5;
constexpr uint8_t kRuleLeftBit = 1u << 6;
constexpr uint8_t kRuleWidthBit = 1u << 7;
constexpr uint16_t kRulePercentBit = 0x8000;  // width word: a percentage, else pixels

// Record 0 in host order.
struct DocumentHeaderRecord {
    uint16_t recordLength;     // 64
    uint16_t version;          // 1
    uint8_t flags[4];          // 1, 0, 1, 0
    char tag[4];               // "Quib"
    uint32_t textLength;
    uint16_t groupSize;
    uint16_t textRecordCount;  // R
    uint16_t formatFirst, formatCount;
    uint16_t linkFirst, linkCount;
    uint16_t ruleFirst, ruleCount;
    uint32_t conversionTime;
    uint16_t pageCount;
    uint16_t boundaryFirst, boundaryCount;
};
