// tests/engine/book_fixture.h -- what the compressor, writer and reader tests share:
// building a book from bytes in memory, reading it back with the book reader, checking a
// whole database against its text (record list, record 0, text, and the zlib oracle), a
// test-side bit packer for handcrafted records, and real texts from the machine.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "engine/io_ops.h"

using Bytes = std::vector<uint8_t>;

Bytes bytesOf(const std::string& text);
// Deterministic bytes: uniformly random with `seed`.
Bytes randomBytes(size_t count, uint32_t seed);
// About `count` bytes of real text and documentation found on this machine (licence
// texts, package documentation), concatenated in a fixed order; fewer if the machine has
// fewer. Repeated calls return the same bytes.
Bytes realText(size_t count);

struct BuiltBook {
    StepResult result = StepFailed;  // writeDatabase's; StepFailed when the stamp fails
    Bytes database;
    Bytes textAfter;      // the text stream afterwards (an empty text gains a line feed)
    int64_t peakBlockBytes = 0;
};
// writeDatabase (chunk 4096, group 8, no document records) and stampRecordZero over a
// MemoryIo, with `text` in a temporary stream.
BuiltBook buildBook(const Bytes& text, const char* title = "Book");

struct ReadBook {
    int32_t result = -1;  // a BookResult
    Bytes text;
};
// bookOpen and bookReadText over a MemoryIo holding `database`.
ReadBook readBook(const Bytes& database);

// The database's records as the record list splits them (test-side reading).
std::vector<Bytes> recordsOf(const Bytes& database);
uint32_t bigEndian16(const Bytes& bytes, size_t offset);
uint32_t bigEndian32(const Bytes& bytes, size_t offset);

// gtest checks of a whole text-only database built from `text`: the reader accepts it
// and gives the text back, R and record 0 hold the fixed values, every entry's id is its
// index and the records lie back to back, and every coded chunk inflates with zlib.
void expectBookOf(const Bytes& database, const Bytes& text);

// Bits packed as the e-book records pack them: lowest bit of each 32-bit word first,
// words stored big-endian.
class BitPacker {
public:
    // `count` bits of `value`, lowest first.
    void number(uint32_t value, int count);
    // A Huffman code of `length` bits, most significant bit first.
    void code(uint32_t value, int length);
    size_t bits() const { return bits_.size(); }
    Bytes words() const;

private:
    std::vector<uint8_t> bits_;
};

// A text record: header (length 4, kind, word count) and payload.
Bytes textRecord(int kind, const Bytes& payload);
// Record 0 with the given fields and everything else zero.
Bytes recordZero(uint32_t textLength, uint32_t groupSize, uint32_t textRecords);
// A whole database around `records` (record 0 first): header with type and creator
// "Quib", the record list, the two-byte gap and the records.
Bytes assembleDatabase(const std::vector<Bytes>& records);
