// engine/bit_writer.h -- packs a bit stream into the 32-bit big-endian words of an
// e-book text record. Bit k of the stream is bit k mod 32 of word k div 32; numbers go
// lowest bit first (Huffman codes are handed over already reversed for that). This is
// the compressor's hot loop, so the calls are inline and keep the partial word in a
// 64-bit accumulator; the words come out exactly as a bit-at-a-time writer would store
// them, and the writer fails at the same moment: when a full word finds no room.
#pragma once
#include <cstdint>

struct BitWriter {
    uint8_t* output;        // capacityWords x 4 bytes, words stored big-endian
    int32_t capacityWords;
    int32_t storedWords;
    uint64_t accumulator;   // pending bits, the oldest in bit 0
    int32_t pendingBits;    // 0 to 31 between calls
};

inline void startBits(BitWriter& writer, uint8_t* output, int32_t capacityWords) {
    writer.output = output;
    writer.capacityWords = capacityWords;
    writer.storedWords = 0;
    writer.accumulator = 0;
    writer.pendingBits = 0;
}

// Stores the low 32 pending bits as the next word; false when the buffer is full.
inline bool storeBitWord(BitWriter& writer) {
    if (writer.storedWords >= writer.capacityWords) return false;
    uint8_t* out = writer.output + 4 * writer.storedWords;
    const uint32_t word = static_cast<uint32_t>(writer.accumulator);
    out[0] = static_cast<uint8_t>(word >> 24);
    out[1] = static_cast<uint8_t>(word >> 16);
    out[2] = static_cast<uint8_t>(word >> 8);
    out[3] = static_cast<uint8_t>(word);
    ++writer.storedWords;
    writer.accumulator >>= 32;
    return true;
}

// Appends the `count` (0 to 32) lowest bits of `value`, lowest first; false
// when a completed word cannot be stored.
inline bool putBits(BitWriter& writer, uint32_t value, int32_t count) {
    const uint64_t bits = count >= 32 ? value : value & ((uint32_t{1} << count) - 1);
    writer.accumulator |= bits << writer.pendingBits;
    writer.pendingBits += count;
    if (writer.pendingBits < 32) return true;
    writer.pendingBits -= 32;  // at most 63 bits were pending, so one word completes
    return storeBitWord(writer);
}

// Stores a partly filled last word (its unused high bits are 0); false when there
// is no room for it.
inline bool flushBits(BitWriter& writer) {
    if (writer.pendingBits == 0) return true;
    writer.pendingBits = 0;
    return storeBitWord(writer);
}
