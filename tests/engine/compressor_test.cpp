// The compressor's output is fixed bit for bit by the format's rules, so these tests pin
// the parse and the bits where the rules give them, and check everything else by
// decoding: with the project's reader and, chunk by chunk, with zlib.
#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "engine/book_reader.h"
#include "engine/checked_io.h"
#include "engine/compressor.h"
#include "engine/match_finder.h"
#include "tests/engine/book_fixture.h"
#include "tests/support/counting_io.h"
#include "tests/support/memory_io.h"

namespace {

struct Token {
    int length;    // 1 for a literal
    int distance;  // 0 for a literal
    int byte;      // the literal, or -1
    bool operator==(const Token&) const = default;
};

std::vector<Token> parse(const Bytes& chunk) {
    std::vector<uint16_t> heads(kHashHeads), links(chunk.size());
    std::vector<uint8_t> litLen(chunk.size());
    std::vector<uint16_t> distance(chunk.size());
    const int32_t count = parseChunk(chunk.data(), static_cast<int32_t>(chunk.size()),
                                     MatchTables{heads.data(), links.data()}, litLen.data(),
                                     distance.data());
    std::vector<Token> tokens;
    for (int32_t t = 0; t < count; ++t) {
        if (distance[t] == 0) tokens.push_back({1, 0, litLen[t]});
        else tokens.push_back({litLen[t] + 3, distance[t], -1});
    }
    return tokens;
}

// The token that starts at text position `position`, or a length of 0 if none does.
Token tokenAt(const std::vector<Token>& tokens, size_t position) {
    size_t at = 0;
    for (const Token& token : tokens) {
        if (at == position) return token;
        at += static_cast<size_t>(token.length);
    }
    return {0, 0, -1};
}

Bytes operator+(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// Bytes 128-255 only, so they never meet the ASCII around them.
Bytes highBytes(size_t count, uint32_t seed) {
    Bytes bytes = randomBytes(count, seed);
    for (auto& byte : bytes) byte |= 0x80;
    return bytes;
}

}  // namespace

TEST(Compressor, OneByteTextGivesTheExampleBits) {
    const BuiltBook book = buildBook(bytesOf("a"));
    ASSERT_EQ(StepDone, book.result);
    const std::vector<Bytes> records = recordsOf(book.database);
    ASSERT_EQ(3u, records.size());

    BitPacker table;
    table.number(0, 5);   // 257 literal/length codes: 'a' and 256 have length 1
    table.number(1, 5);   // 2 distance codes, both length 1
    table.number(14, 4);  // 18 code-length code lengths, up to symbol 1
    for (int symbol : {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1})
        table.number(symbol == 18 || symbol == 1 ? 1 : 0, 3);
    // Code-length code: symbol 1 is 0, symbol 18 is 1.
    table.code(1, 1), table.number(97 - 11, 7);    // 97 zeros
    table.code(0, 1);                              // 'a' has length 1
    table.code(1, 1), table.number(138 - 11, 7);   // 158 zeros as 138 ...
    table.code(1, 1), table.number(20 - 11, 7);    // ... and 20
    table.code(0, 1);                              // 256 has length 1
    table.code(0, 1), table.code(0, 1);            // distances 0 and 1 have length 1
    ASSERT_EQ(96u, table.bits());
    EXPECT_EQ(textRecord(1, table.words()), records[1]);

    // 'a' is code 0, the end symbol code 1: the bits 0, 1 in one word.
    EXPECT_EQ((Bytes{4, 2, 0, 1, 0, 0, 0, 2}), records[2]);
}

TEST(Compressor, EqualBytesParseIntoOneLiteralAndMaximalMatchesAtDistanceOne) {
    std::vector<Token> expected = {{1, 0, 'x'}};
    for (int i = 0; i < 15; ++i) expected.push_back({258, 1, -1});
    expected.push_back({225, 1, -1});
    EXPECT_EQ(expected, parse(Bytes(4096, 'x')));
}

TEST(Compressor, LazyLookAheadOnlyForMatchesOf128BytesOrLess) {
    // At the tail, "a" + Y[0..n) matches the first segment (n + 1 bytes) while one byte
    // later Y[0..n+20) matches the second, which is longer.
    for (const size_t firstMatch : {size_t{128}, size_t{129}}) {
        SCOPED_TRACE(firstMatch);
        const Bytes y = highBytes(200, 7);
        const size_t n = firstMatch - 1;
        const Bytes first = bytesOf("a") + Bytes(y.begin(), y.begin() + n) + bytesOf("!");
        const Bytes second = bytesOf("#") + Bytes(y.begin(), y.begin() + n + 20) + bytesOf("?");
        const Bytes tail = bytesOf("a") + Bytes(y.begin(), y.begin() + n + 20) + bytesOf("$");
        const std::vector<Token> tokens = parse(first + second + tail);
        const size_t p = first.size() + second.size();
        if (firstMatch <= 128) {
            EXPECT_EQ((Token{1, 0, 'a'}), tokenAt(tokens, p));
            EXPECT_EQ((Token{static_cast<int>(n + 20), static_cast<int>(p + 1 - (first.size() + 1)), -1}),
                      tokenAt(tokens, p + 1));
        } else {
            EXPECT_EQ((Token{static_cast<int>(firstMatch), static_cast<int>(p), -1}), tokenAt(tokens, p));
        }
    }
}

TEST(Compressor, MatchSearchExaminesAtMost384Candidates) {
    // Fillers "abc" X Y share the hash chain of "abc" but match only three bytes. Bytes
    // whose low three bits are 3 are left out, so no other triple hashes like "abc"; the
    // byte 1 before the last segment keeps earlier matches from running into it.
    std::vector<uint8_t> values;
    for (int v = 128; v < 256; ++v)
        if ((v & 7) != 3) values.push_back(static_cast<uint8_t>(v));
    for (const int fillers : {383, 384}) {
        SCOPED_TRACE(fillers);
        Bytes text = bytesOf("abcdefghij");
        for (int i = 0; i < fillers; ++i)
            text = text + Bytes{'a', 'b', 'c', values[i % values.size()], values[i / values.size()]};
        text.push_back(1);
        const size_t p = text.size();
        text = text + bytesOf("abcdefghij");
        const std::vector<Token> tokens = parse(text);
        if (fillers == 383) {
            EXPECT_EQ((Token{10, static_cast<int>(p), -1}), tokenAt(tokens, p));  // the 384th candidate
        } else {
            EXPECT_EQ((Token{1, 0, 'a'}), tokenAt(tokens, p));  // only three-byte matches were seen
            EXPECT_EQ((Token{9, static_cast<int>(p), -1}), tokenAt(tokens, p + 1));
        }
    }
}

TEST(Compressor, ChunksThatDoNotCodeSmallerAreStoredWithZeroPadBytes) {
    // Random bytes alone code into about 1022 words; after seven chunks of text the
    // group's code gives their bytes long codes, and the last chunk no longer fits.
    const Bytes before = realText(7 * 4096);
    ASSERT_EQ(7u * 4096, before.size());
    const std::pair<size_t, int> rows[] = {{4096, 4}, {4095, 5}, {4094, 6}, {4093, 7}};
    for (const auto& [length, kind] : rows) {
        SCOPED_TRACE(length);
        const Bytes last = randomBytes(length, static_cast<uint32_t>(length));
        const BuiltBook book = buildBook(before + last);
        ASSERT_EQ(StepDone, book.result);
        const std::vector<Bytes> records = recordsOf(book.database);
        ASSERT_EQ(10u, records.size());
        const Bytes& stored = records[9];
        EXPECT_EQ(kind, stored[1]);
        ASSERT_EQ(1024u, bigEndian16(stored, 2));
        ASSERT_EQ(4u + 4096, stored.size());
        EXPECT_TRUE(Bytes(stored.begin() + 4, stored.begin() + 4 + static_cast<long>(length)) == last);
        EXPECT_TRUE(Bytes(stored.begin() + 4 + static_cast<long>(length), stored.end()) ==
                    Bytes(kind - 4, 0));
        expectBookOf(book.database, before + last);
    }
}

TEST(Compressor, ChunksCodedIntoTheLastWordsOfRoomRoundTrip) {
    // After seven chunks of text, a last chunk of random bytes and text: as its random
    // part grows, its coding grows through the last words of the 1024 (where the coder
    // turns from its unchecked loop to checked writes) until it no longer fits and is
    // stored.
    const Bytes before = realText(7 * 4096);
    ASSERT_EQ(7u * 4096, before.size());
    int nearlyFull = 0;
    int stored = 0;
    for (size_t randomPart = 3000; randomPart <= 3600; randomPart += 8) {
        SCOPED_TRACE(randomPart);
        const Bytes last = randomBytes(randomPart, static_cast<uint32_t>(randomPart)) + realText(4096 - randomPart);
        const BuiltBook book = buildBook(before + last);
        ASSERT_EQ(StepDone, book.result);
        const std::vector<Bytes> records = recordsOf(book.database);
        ASSERT_EQ(10u, records.size());
        if (records[9][1] == 2 && bigEndian16(records[9], 2) >= 1020) ++nearlyFull;
        if (records[9][1] >= 4) ++stored;
        expectBookOf(book.database, before + last);
    }
    EXPECT_GE(nearlyFull, 3) << "coded chunks in the last words of room";
    EXPECT_GE(stored, 3);
}

TEST(Compressor, EqualChunksInOneGroupCodeIdentically) {
    const Bytes chunk = realText(4096);
    ASSERT_EQ(4096u, chunk.size());
    const BuiltBook book = buildBook(chunk + chunk);
    ASSERT_EQ(StepDone, book.result);
    const std::vector<Bytes> records = recordsOf(book.database);
    ASSERT_EQ(4u, records.size());
    EXPECT_EQ(2, records[2][1]);
    EXPECT_EQ(records[2], records[3]);
}

TEST(Compressor, EightChunksMakeOneGroupAndOneMoreByteASecond) {
    const Bytes text = realText(8 * 4096 + 1);
    const BuiltBook eight = buildBook(Bytes(text.begin(), text.end() - 1));
    ASSERT_EQ(StepDone, eight.result);
    std::vector<Bytes> records = recordsOf(eight.database);
    ASSERT_EQ(10u, records.size());
    for (size_t k = 2; k < 10; ++k) EXPECT_NE(1, records[k][1]) << k;

    const BuiltBook nine = buildBook(text);
    ASSERT_EQ(StepDone, nine.result);
    records = recordsOf(nine.database);
    ASSERT_EQ(12u, records.size());
    EXPECT_EQ(1, records[10][1]) << "second code table";
    EXPECT_EQ(2, records[11][1]) << "a one-byte chunk codes into its own record";
    expectBookOf(nine.database, text);
}

TEST(Compressor, RoundTripsAtChunkAndGroupBoundaries) {
    for (const size_t length : {size_t{1}, size_t{4095}, size_t{4096}, size_t{4097}, size_t{8 * 4096},
                                size_t{8 * 4096 + 1}}) {
        SCOPED_TRACE(length);
        const Bytes text = realText(length);
        ASSERT_EQ(length, text.size());
        const BuiltBook book = buildBook(text);
        ASSERT_EQ(StepDone, book.result);
        expectBookOf(book.database, text);
    }
}

TEST(Compressor, MixedTextWithStoredChunksInTheMiddleRoundTrips) {
    const Bytes text = realText(3 * 4096 + 100) + randomBytes(2 * 4096 + 7, 3) + Bytes(5000, ' ') +
                       realText(9 * 4096 + 11);
    const BuiltBook book = buildBook(text);
    ASSERT_EQ(StepDone, book.result);
    expectBookOf(book.database, text);
}

TEST(Compressor, LargeRealTextsRoundTrip) {
#if defined(NDEBUG) && !defined(__SANITIZE_ADDRESS__)
    const size_t sizes[] = {1u << 20, 5u << 20, 20u << 20};
#else
    const size_t sizes[] = {1u << 20, 2u << 20};  // unoptimized builds: the small end
#endif
    for (const size_t size : sizes) {
        SCOPED_TRACE(size);
        const Bytes text = realText(size);
        if (text.size() < size) GTEST_SKIP() << "not enough text on this machine";
        const BuiltBook book = buildBook(text);
        ASSERT_EQ(StepDone, book.result);
        expectBookOf(book.database, text);
    }
}

TEST(Compressor, WorkAreasStaySmallAndTheTextIsReadAtMostTwice) {
    // 40 chunks, some of them random and therefore stored, which reads them again.
    const Bytes text = realText(20 * 4096) + randomBytes(6 * 4096, 9) + realText(14 * 4096);
    MemoryIo memory;
    CountingIo counting(memory.ops());
    const IoOps& io = counting.ops();
    const uint32_t source = io.createTempStream(io.userData);
    const uint32_t spill = io.createTempStream(io.userData);
    const uint32_t destination = io.createTempStream(io.userData);
    ASSERT_TRUE(writeExact(io, source, text.data(), static_cast<int32_t>(text.size())));
    const int callsBefore = counting.calls(IoOp::Any);
    ASSERT_EQ(StepDone, compressText(io, source, spill, destination, 4096, 8));
    EXPECT_LT(memory.peakBlockBytes(), 50 * 1024);

    int textReads = 0;
    for (const IoCall& call : counting.log())
        if (call.op == IoOp::Read && call.handle == source) ++textReads;
    EXPECT_LE(textReads, 40 + 6);
    EXPECT_LT(counting.calls(IoOp::Any) - callsBefore, 40 * 12) << "calls per chunk, not per byte";
    for (uint32_t handle : {destination, spill, source}) io.closeStream(io.userData, handle);
    expectNothingHeld(counting);
}

TEST(Compressor, RefusesWhatItCannotFrame) {
    MemoryIo memory;
    const IoOps& io = memory.ops();
    const uint32_t source = io.createTempStream(io.userData);
    const uint32_t spill = io.createTempStream(io.userData);
    const uint32_t destination = io.createTempStream(io.userData);
    EXPECT_EQ(StepFailed, compressText(io, source, spill, destination, 4096, 8)) << "empty text";
    ASSERT_TRUE(writeExact(io, source, "abc", 3));
    EXPECT_EQ(StepFailed, compressText(io, source, spill, destination, 65536, 8)) << "chunk too long";
    EXPECT_EQ(StepFailed, compressText(io, source, spill, destination, 4096, 0)) << "no group";
    EXPECT_EQ(0, memory.liveBlocks());

    EXPECT_EQ(3u, textRecordCount(1, 4096, 8));
    EXPECT_EQ(10u, textRecordCount(32768, 4096, 8));
    EXPECT_EQ(12u, textRecordCount(32769, 4096, 8));
    // 58253 chunks in 7282 groups are 65536 records: one too many.
    EXPECT_EQ(65535u, textRecordCount(58252u * 4096, 4096, 8));
    EXPECT_EQ(0u, textRecordCount(58253u * 4096, 4096, 8));
}
