// engine/deflate_tables.h -- the numbers of RFC 1951 (deflate) that the e-book text
// format borrows: the symbol alphabets, the length and distance ranges with their extra
// bits, and the order in which code-length code lengths are sent. The compressor and
// the book reader share these and nothing else of the coding, so that the reader stays
// an independent check of the compressor.
#pragma once
#include <cstdint>

constexpr int kLiteralLengthSymbols = 286;  // 256 literals, end symbol 256, lengths 257-285
constexpr int kDistanceSymbols = 30;        // distances 1 to 32768
constexpr int kCodeLengthSymbols = 19;      // lengths 0-15, repeat 16, zero runs 17 and 18
constexpr int kEndSymbol = 256;
constexpr int kFirstLengthSymbol = 257;
constexpr int kLengthRanges = 29;           // symbols 257 to 285
constexpr int kMinMatch = 3;
constexpr int kMaxMatch = 258;
constexpr int kMaxCodeBits = 15;            // literal/length and distance codes
constexpr int kMaxCodeLengthBits = 7;       // the code-length code (3-bit fields)

// Code-length symbols: 16 repeats the previous length 3-6 times (2 extra bits), 17 gives
// 3-10 zeros (3 extra bits), 18 gives 11-138 zeros (7 extra bits).
constexpr int kRepeatPrevious = 16;
constexpr int kZeroRunShort = 17;
constexpr int kZeroRunLong = 18;

// The order in which the 3-bit lengths of the code-length code are sent.
constexpr uint8_t kCodeLengthOrder[kCodeLengthSymbols] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5,
                                                          11, 4, 12, 3, 13, 2, 14, 1, 15};

struct DeflateRanges {
    uint16_t lengthBase[kLengthRanges];
    uint8_t lengthExtra[kLengthRanges];
    uint16_t distanceBase[kDistanceSymbols];
    uint8_t distanceExtra[kDistanceSymbols];
};

// The ranges from their rule: lengths 3-10 have no extra bits, then every four ranges
// take one more bit, and the last range is 258 alone; distances 1-4 have none, then
// every two ranges take one more bit. Each base is the previous base plus the previous
// range's size.
constexpr DeflateRanges makeDeflateRanges() {
    DeflateRanges ranges{};
    int base = kMinMatch;
    for (int i = 0; i < kLengthRanges - 1; ++i) {
        const int extra = i < 8 ? 0 : (i - 4) / 4;
        ranges.lengthBase[i] = static_cast<uint16_t>(base);
        ranges.lengthExtra[i] = static_cast<uint8_t>(extra);
        base += 1 << extra;
    }
    ranges.lengthBase[kLengthRanges - 1] = kMaxMatch;
    ranges.lengthExtra[kLengthRanges - 1] = 0;
    base = 1;
    for (int i = 0; i < kDistanceSymbols; ++i) {
        const int extra = i < 4 ? 0 : (i - 2) / 2;
        ranges.distanceBase[i] = static_cast<uint16_t>(base);
        ranges.distanceExtra[i] = static_cast<uint8_t>(extra);
        base += 1 << extra;
    }
    return ranges;
}

inline constexpr DeflateRanges kDeflateRanges = makeDeflateRanges();

static_assert(kDeflateRanges.lengthBase[8] == 11 && kDeflateRanges.lengthBase[27] == 227 &&
                  kDeflateRanges.lengthExtra[27] == 5,
              "length ranges follow RFC 1951 section 3.2.5");
static_assert(kDeflateRanges.distanceBase[29] == 24577 && kDeflateRanges.distanceExtra[29] == 13,
              "distance ranges follow RFC 1951 section 3.2.5");
