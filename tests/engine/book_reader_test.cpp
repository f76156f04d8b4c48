// The reader is the check on everything the writer produces, and later it reads files
// from anywhere, so it must name each kind of damage and never step outside its
// buffers. Code tables and chunks are handcrafted bit by bit to break one rule at a time.
#include <gtest/gtest.h>

#include <array>
#include <random>
#include <utility>
#include <vector>

#include "engine/book_reader.h"
#include "tests/engine/book_fixture.h"
#include "tests/support/counting_io.h"
#include "tests/support/fault_sweep.h"
#include "tests/support/memory_io.h"

namespace {

Bytes operator+(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

void put16(Bytes& bytes, size_t offset, uint32_t value) {
    bytes.at(offset) = static_cast<uint8_t>(value >> 8);
    bytes.at(offset + 1) = static_cast<uint8_t>(value);
}

void put32(Bytes& bytes, size_t offset, uint32_t value) {
    put16(bytes, offset, value >> 16);
    put16(bytes, offset + 2, value);
}

int32_t openResult(const Bytes& database) {
    MemoryIo memory;
    memory.addFile("book.pdb", database);
    const IoOps& io = memory.ops();
    const uint32_t stream = io.openStream(io.userData, "book.pdb", 0);
    BookReader reader;
    const int32_t rc = bookOpen(io, stream, reader);
    bookClose(reader);
    io.closeStream(io.userData, stream);
    EXPECT_EQ(0, memory.liveBlocks());
    return rc;
}

// MSB-first canonical codes for `lengths`, as RFC 1951 section 3.2.2 assigns them.
std::vector<uint32_t> canonical(const std::vector<int>& lengths) {
    int count[16] = {};
    for (int length : lengths) ++count[length];
    count[0] = 0;
    uint32_t next[16] = {};
    for (int bits = 1, code = 0; bits < 16; ++bits) {
        code = (code + count[bits - 1]) << 1;
        next[bits] = static_cast<uint32_t>(code);
    }
    std::vector<uint32_t> codes(lengths.size());
    for (size_t s = 0; s < lengths.size(); ++s)
        if (lengths[s] != 0) codes[s] = next[lengths[s]]++;
    return codes;
}

// A code table spelled out: the counts, the code-length code's lengths, and the
// code-length symbols with their extra values.
struct HandTable {
    int literalCount = 257;
    int distanceCount = 2;
    std::array<int, 19> codeLengthLengths{};
    std::vector<std::pair<int, int>> symbols;
};

// Every length sent as itself, with a 4-bit code-length code for 0 to 15.
HandTable plainTable(const std::vector<int>& literal, const std::vector<int>& distance) {
    HandTable table;
    table.literalCount = static_cast<int>(literal.size());
    table.distanceCount = static_cast<int>(distance.size());
    for (int s = 0; s < 16; ++s) table.codeLengthLengths[static_cast<size_t>(s)] = 4;
    for (int length : literal) table.symbols.push_back({length, 0});
    for (int length : distance) table.symbols.push_back({length, 0});
    return table;
}

BitPacker encode(const HandTable& table) {
    static const int kOrder[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
    int sent = 4;
    for (int i = 0; i < 19; ++i)
        if (table.codeLengthLengths[static_cast<size_t>(kOrder[i])] != 0 && i + 1 > sent) sent = i + 1;
    BitPacker bits;
    bits.number(static_cast<uint32_t>(table.literalCount - 257), 5);
    bits.number(static_cast<uint32_t>(table.distanceCount - 1), 5);
    bits.number(static_cast<uint32_t>(sent - 4), 4);
    for (int i = 0; i < sent; ++i) bits.number(static_cast<uint32_t>(table.codeLengthLengths[static_cast<size_t>(kOrder[i])]), 3);
    const std::vector<int> lengths(table.codeLengthLengths.begin(), table.codeLengthLengths.end());
    const std::vector<uint32_t> codes = canonical(lengths);
    for (const auto& [symbol, extra] : table.symbols) {
        bits.code(codes[static_cast<size_t>(symbol)], lengths[static_cast<size_t>(symbol)]);
        if (symbol == 16) bits.number(static_cast<uint32_t>(extra), 2);
        if (symbol == 17) bits.number(static_cast<uint32_t>(extra), 3);
        if (symbol == 18) bits.number(static_cast<uint32_t>(extra), 7);
    }
    return bits;
}

// One group of one chunk around handmade payloads.
Bytes oneChunkBook(uint32_t textLength, const Bytes& tablePayload, int chunkKind, const Bytes& chunkPayload) {
    return assembleDatabase({recordZero(textLength, 8, 3), textRecord(1, tablePayload),
                             textRecord(chunkKind, chunkPayload)});
}

// Literal/length code: 'a', 256, 257 (length 3) and 258 (length 4), two bits each;
// distance code: symbols 0 (distance 1) and 1 (distance 2), one bit each.
struct SmallCode {
    std::vector<int> literal = std::vector<int>(259, 0);
    std::vector<int> distance = {1, 1};
    std::vector<uint32_t> literalCodes, distanceCodes;
    SmallCode() {
        literal[97] = literal[256] = literal[257] = literal[258] = 2;
        literalCodes = canonical(literal);
        distanceCodes = canonical(distance);
    }
    Bytes table() const { return encode(plainTable(literal, distance)).words(); }
    void literalA(BitPacker& bits) const { bits.code(literalCodes[97], 2); }
    void end(BitPacker& bits) const { bits.code(literalCodes[256], 2); }
    void match(BitPacker& bits, int length, int distanceSymbol) const {
        bits.code(literalCodes[static_cast<size_t>(length == 3 ? 257 : 258)], 2);
        bits.code(distanceCodes[static_cast<size_t>(distanceSymbol)], 1);
    }
};

Bytes validBook() {
    static const Bytes book = [] {
        const BuiltBook built = buildBook(realText(15 * 4096) + randomBytes(3701, 1));
        return built.database;
    }();
    return book;
}

}  // namespace

TEST(BookReader, GivesRecordsByIndexAndChunksBack) {
    const Bytes text = realText(2 * 4096 + 10);
    const Bytes db = buildBook(text).database;
    MemoryIo memory;
    memory.addFile("book.pdb", db);
    const IoOps& io = memory.ops();
    const uint32_t stream = io.openStream(io.userData, "book.pdb", 0);
    BookReader reader;
    ASSERT_EQ(BookOk, bookOpen(io, stream, reader));
    EXPECT_EQ(5, bookRecordCount(reader));
    EXPECT_EQ(3, reader.chunkCount);
    EXPECT_EQ(text.size(), reader.recordZero.textLength);
    EXPECT_EQ(5, reader.recordZero.textRecordCount);
    EXPECT_EQ(10, bookChunkLength(reader, 2));
    EXPECT_EQ(-1, bookChunkLength(reader, 3));
    Bytes record(64);
    int32_t length = 0;
    ASSERT_EQ(BookOk, bookReadRecord(reader, 0, record.data(), 64, length));
    EXPECT_EQ(64, length);
    EXPECT_EQ(recordsOf(db)[0], record);
    EXPECT_EQ(BookBadArgument, bookReadRecord(reader, 5, record.data(), 64, length));
    EXPECT_EQ(BookBadArgument, bookReadRecord(reader, 1, record.data(), 3, length));
    Bytes chunk(4096);
    EXPECT_EQ(BookBadArgument, bookReadChunk(reader, 1, chunk.data(), 4095, length, nullptr));
    ASSERT_EQ(BookOk, bookReadChunk(reader, 2, chunk.data(), 4096, length, nullptr));  // out of order
    EXPECT_TRUE(Bytes(chunk.begin(), chunk.begin() + 10) == Bytes(text.end() - 10, text.end()));
    bookClose(reader);
    bookClose(reader);
    io.closeStream(io.userData, stream);
    EXPECT_EQ(0, memory.liveBlocks());
}

TEST(BookReader, NamesDamageToHeaderRecordListAndRecordZero) {
    const Bytes good = validBook();
    ASSERT_EQ(BookOk, openResult(good));
    const uint32_t count = bigEndian16(good, 76);
    const size_t zero = bigEndian32(good, 78);
    struct Row {
        const char* what;
        void (*damage)(Bytes&, uint32_t count, size_t zero);
        int32_t expected;
    };
    const Row rows[] = {
        {"shorter than a header", [](Bytes& b, uint32_t, size_t) { b.resize(70); }, BookNotEbook},
        {"another creator", [](Bytes& b, uint32_t, size_t) { b[64] = 'X'; }, BookNotEbook},
        {"two records", [](Bytes& b, uint32_t, size_t) { put16(b, 76, 2); }, BookBadHeader},
        {"a record list past the end", [](Bytes& b, uint32_t, size_t) { put16(b, 76, 60000); }, BookBadHeader},
        {"an unterminated name", [](Bytes& b, uint32_t, size_t) { b[31] = 'x'; }, BookBadHeader},
        {"an offset past the end",
         [](Bytes& b, uint32_t, size_t) { put32(b, 78 + 8 * 4, static_cast<uint32_t>(b.size() + 1)); },
         BookBadRecordList},
        {"an offset inside the list", [](Bytes& b, uint32_t, size_t) { put32(b, 78, 80); }, BookBadRecordList},
        {"offsets going back",
         [](Bytes& b, uint32_t, size_t) { put32(b, 78 + 8 * 3, bigEndian32(b, 78 + 8 * 2) - 1); },
         BookBadRecordList},
        {"a wrong tag", [](Bytes& b, uint32_t, size_t z) { b[z + 8] = 'q'; }, BookBadRecordZero},
        {"a wrong length field", [](Bytes& b, uint32_t, size_t z) { put16(b, z, 63); }, BookBadRecordZero},
        {"a text length for other R", [](Bytes& b, uint32_t, size_t z) { put32(b, z + 12, 100); },
         BookBadRecordZero},
        {"group size 0", [](Bytes& b, uint32_t, size_t z) { put16(b, z + 16, 0); }, BookBadRecordZero},
        {"fewer records than R", [](Bytes& b, uint32_t c, size_t) { put16(b, 76, c - 1); }, BookBadRecordZero},
        {"a format run past the records",
         [](Bytes& b, uint32_t c, size_t z) { put16(b, z + 20, c); put16(b, z + 22, 1); }, BookBadRecordZero},
        {"a link run inside the text part",
         [](Bytes& b, uint32_t, size_t z) { put16(b, z + 24, 1); put16(b, z + 26, 1); }, BookBadRecordZero},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        Bytes damaged = good;
        row.damage(damaged, count, zero);
        EXPECT_EQ(row.expected, openResult(damaged)) << bookResultName(openResult(damaged));
    }
}

TEST(BookReader, NamesTextRecordsThatDoNotFitTheirPlace) {
    const Bytes good = validBook();
    // Records: 1 table, 2-9 chunks, 10 table, 11-17 chunks of text, 18 the last chunk:
    // 3701 random bytes, stored with three pad bytes.
    const auto at = [&](int record) { return static_cast<size_t>(bigEndian32(good, 78 + 8 * record)); };
    ASSERT_EQ(19u, bigEndian16(good, 76));
    ASSERT_EQ(7, good[at(18) + 1]);
    struct Row {
        const char* what;
        size_t offset;
        uint8_t value;
    };
    const Row rows[] = {
        {"header length 5", at(2), 5},
        {"a chunk where the table belongs", at(10) + 1, 2},
        {"a table where a chunk belongs", at(3) + 1, 1},
        {"kind 3", at(4) + 1, 3},
        {"kind 8", at(4) + 1, 8},
        {"a word count that disagrees with the size", at(5) + 3, static_cast<uint8_t>(good[at(5) + 3] + 1)},
        {"stored with the wrong pad count", at(18) + 1, 6},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        Bytes damaged = good;
        damaged[row.offset] = row.value;
        EXPECT_EQ(BookBadRecordHeader, openResult(damaged));
    }
    Bytes padded = good;
    padded.back() = 1;  // a pad byte of the stored chunk
    EXPECT_EQ(BookBadChunk, readBook(padded).result);
}

TEST(BookReader, RefusesCodeTablesThatAreNotCompletePrefixCodes) {
    const SmallCode code;
    BitPacker chunk;
    code.literalA(chunk);
    code.end(chunk);
    ASSERT_EQ(BookOk, readBook(oneChunkBook(1, code.table(), 2, chunk.words())).result) << "the baseline";

    std::vector<std::pair<const char*, HandTable>> rows;
    {
        HandTable t = plainTable(code.literal, code.distance);
        t.codeLengthLengths[0] = 3;  // sixteen 4-bit codes and one 3-bit code: too many
        rows.push_back({"an over-full code-length code", t});
    }
    {
        HandTable t = plainTable(code.literal, code.distance);
        t.codeLengthLengths[15] = 0;  // fifteen 4-bit codes leave one unused
        rows.push_back({"an incomplete code-length code", t});
    }
    {
        std::vector<int> literal = code.literal;
        literal[98] = 2;  // five 2-bit codes
        rows.push_back({"an over-full literal code", plainTable(literal, code.distance)});
    }
    {
        std::vector<int> literal = code.literal;
        literal[258] = 0;  // three 2-bit codes
        rows.push_back({"an incomplete literal code", plainTable(literal, code.distance)});
    }
    rows.push_back({"an incomplete distance code", plainTable(code.literal, {1, 0})});
    {
        std::vector<int> literal = code.literal;
        literal[256] = 0;
        literal[259 - 1] = 0;
        literal.push_back(2);
        literal.push_back(2);  // 259 and 260 take the place of 256 and 258
        rows.push_back({"no end symbol", plainTable(literal, code.distance)});
    }
    {
        std::vector<int> literal(287, 0);
        literal[97] = literal[256] = literal[257] = literal[286] = 2;
        rows.push_back({"287 literal/length codes", plainTable(literal, code.distance)});
    }
    {
        std::vector<int> distance(31, 0);
        distance[0] = distance[30] = 1;
        rows.push_back({"31 distance codes", plainTable(code.literal, distance)});
    }
    {
        HandTable t = plainTable(code.literal, code.distance);
        t.codeLengthLengths[16] = 4;
        t.codeLengthLengths[15] = 0;
        t.distanceCount = 4;
        t.symbols.pop_back();
        t.symbols.pop_back();
        t.symbols.push_back({16, 0});  // would repeat the literal sequence's last 2 three times
        t.symbols.push_back({2, 0});   // and complete the code
        rows.push_back({"a repeat that starts the distance sequence", t});
    }
    {
        HandTable t = plainTable(code.literal, code.distance);
        t.codeLengthLengths[17] = 4;
        t.codeLengthLengths[15] = 0;
        t.symbols.resize(t.symbols.size() - 4);  // drop 256, 257, 258 and distance 0
        t.symbols.push_back({17, 7});             // ten zeros for four places
        rows.push_back({"a zero run past the sequence", t});
    }
    for (const auto& [what, table] : rows) {
        SCOPED_TRACE(what);
        EXPECT_EQ(BookBadCodeTable, readBook(oneChunkBook(1, encode(table).words(), 2, chunk.words())).result);
    }

    Bytes cut = code.table();
    cut.resize(cut.size() - 4);
    EXPECT_EQ(BookBadCodeTable, readBook(oneChunkBook(1, cut, 2, chunk.words())).result) << "bits run out";
    EXPECT_EQ(BookBadCodeTable, readBook(oneChunkBook(1, code.table() + Bytes(4, 0), 2, chunk.words())).result)
        << "a word after the table";
    Bytes dirty = code.table();
    dirty[0] = 0x80;  // the last word's highest bit, past the table
    EXPECT_EQ(BookBadCodeTable, readBook(oneChunkBook(1, dirty, 2, chunk.words())).result) << "padding bits";
}

TEST(BookReader, RefusesChunksThatBreakTheRules) {
    const SmallCode code;
    struct Row {
        const char* what;
        uint32_t textLength;
        void (*bits)(const SmallCode&, BitPacker&);
        int32_t expected;
    };
    const Row rows[] = {
        {"a, a copy of 3 from 1, end", 4,
         [](const SmallCode& c, BitPacker& b) { c.literalA(b), c.match(b, 3, 0), c.end(b); }, BookOk},
        {"a match before the chunk start", 3,
         [](const SmallCode& c, BitPacker& b) { c.match(b, 3, 0), c.end(b); }, BookBadChunk},
        {"a distance of 2 after one byte", 4,
         [](const SmallCode& c, BitPacker& b) { c.literalA(b), c.match(b, 3, 1), c.end(b); }, BookBadChunk},
        {"a match past the chunk end", 3,
         [](const SmallCode& c, BitPacker& b) { c.literalA(b), c.match(b, 4, 0), c.end(b); }, BookBadChunk},
        {"a literal past the chunk end", 1,
         [](const SmallCode& c, BitPacker& b) { c.literalA(b), c.literalA(b), c.end(b); }, BookBadChunk},
        {"bits that run past the words", 16,
         [](const SmallCode& c, BitPacker& b) { for (int i = 0; i < 16; ++i) c.literalA(b); }, BookBadChunk},
        {"a match cut off inside its distance", 4,
         [](const SmallCode& c, BitPacker& b) {
             for (int i = 0; i < 15; ++i) c.literalA(b);
             b.code(c.literalCodes[257], 2);  // the 32nd bit; the distance code is missing
         },
         BookBadChunk},
        {"fewer bytes than the text length", 2,
         [](const SmallCode& c, BitPacker& b) { c.literalA(b), c.end(b); }, BookBadChunk},
        {"a word after the end symbol", 1,
         [](const SmallCode& c, BitPacker& b) { c.literalA(b), c.end(b), b.number(0, 32); }, BookBadChunk},
        {"set bits after the end symbol", 1,
         [](const SmallCode& c, BitPacker& b) { c.literalA(b), c.end(b), b.number(1, 1); }, BookBadChunk},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        BitPacker bits;
        row.bits(code, bits);
        const ReadBook read = readBook(oneChunkBook(row.textLength, code.table(), 2, bits.words()));
        EXPECT_EQ(row.expected, read.result) << bookResultName(read.result);
        if (row.expected == BookOk) {
            EXPECT_EQ(bytesOf("aaaa"), read.text);
        }
    }
}

TEST(BookReader, DamagedDatabasesGiveAnErrorAndNeverCrash) {
    const Bytes small = buildBook(realText(3000) + randomBytes(1200, 4)).database;
    for (size_t length = 0; length < small.size(); ++length) {
        const ReadBook read = readBook(Bytes(small.begin(), small.begin() + static_cast<long>(length)));
        ASSERT_NE(BookOk, read.result) << "cut at " << length;
    }
    const Bytes good = validBook();
    std::mt19937 generator(21);
    for (int round = 0; round < 400; ++round) {
        Bytes damaged = good;
        const int flips = 1 + static_cast<int>(generator() % 4);
        for (int i = 0; i < flips; ++i)
            damaged[generator() % damaged.size()] ^= static_cast<uint8_t>(1 + generator() % 255);
        const ReadBook read = readBook(damaged);
        EXPECT_GE(read.result, BookOk);
        EXPECT_LE(read.result, BookBadArgument);
    }
}

TEST(BookReader, FailingCallsGiveAnErrorAndReleaseEverything) {
    const Bytes db = buildBook(realText(9 * 4096 + 50)).database;
    forEachFaultUntil([&](int k) {
        MemoryIo memory;
        memory.addFile("book.pdb", db);
        CountingIo counting(memory.ops());
        const IoOps& io = counting.ops();
        const uint32_t stream = io.openStream(io.userData, "book.pdb", 0);
        const uint32_t output = io.createTempStream(io.userData);
        counting.failAt(IoOp::Any, counting.calls(IoOp::Any) + k);
        BookReader reader;
        int32_t rc = bookOpen(io, stream, reader);
        if (rc == BookOk) rc = bookReadText(reader, output);
        const bool fired = counting.faultFired();
        bookClose(reader);
        io.closeStream(io.userData, output);
        io.closeStream(io.userData, stream);
        expectNothingHeld(counting);
        if (!fired) {
            EXPECT_EQ(BookOk, rc);
            return false;
        }
        EXPECT_NE(BookOk, rc) << "call " << k;
        return true;
    });
}
