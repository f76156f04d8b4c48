// engine/huffman_code.h -- the compressor's code builder: code lengths from symbol
// frequencies, limited to a maximum length, and the canonical codes of RFC 1951 for
// those lengths. The tie rules fix which of several optimal trees comes out, and with
// it the bytes of every code table, so they follow the format's description exactly.
// The caller owns all memory; nothing is allocated here.
#pragma once
#include <cstdint>

constexpr int kMaxCodeSymbols = 286;  // the largest alphabet, literal/length
constexpr int kMaxLengthLimit = 15;
constexpr int kMaxCodeNodes = 2 * kMaxCodeSymbols - 1;  // leaves plus internal nodes

// Working memory of one build, reused for every code. Part of the compressor's
// workspace, so it stays small: about 5.7 KB.
struct CodeBuilderScratch {
    uint32_t frequency[kMaxCodeNodes];  // leaves by symbol, then internal nodes
    uint16_t depth[kMaxCodeNodes];      // subtree depth while merging; then the node's length
    uint16_t parent[kMaxCodeNodes];
    // 1-based heap at the front; removed nodes fill in from the back, in order of
    // removal, with the final root in front of them.
    uint16_t slot[2 * kMaxCodeSymbols + 1];
    uint16_t leavesAtLength[kMaxLengthLimit + 1];
};

// Fills lengths[0..symbolCount) for `frequencies` (their sum below 2^32), no length above
// `maxBits`, and returns the code's maximum symbol (the last used one). Unused symbols
// get length 0. With fewer than two used symbols, symbol 0 (frequency 1) stands in for
// a missing first one and symbol 1 (or 0) joins it, both with length 1.
// Requires 2 <= symbolCount <= 286 and 2^maxBits >= symbolCount, maxBits <= 15.
int buildCodeLengths(const uint32_t* frequencies, int symbolCount, int maxBits,
                     CodeBuilderScratch& scratch, uint8_t* lengths);

// The canonical code of each symbol with a nonzero length: codes of each length follow
// the shorter ones and run in symbol order. Stored bit-reversed, so that sending the
// code lowest bit first puts its most significant bit on the wire first.
void makeCanonicalCodes(const uint8_t* lengths, int symbolCount, uint16_t* codes);
