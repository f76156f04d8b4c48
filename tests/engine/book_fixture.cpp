// tests/engine/book_fixture.cpp -- see book_fixture.h.
#include "tests/engine/book_fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>

#include "engine/book_reader.h"
#include "engine/checked_io.h"
#include "engine/database_writer.h"
#include "tests/support/memory_io.h"

#include <zlib.h>

Bytes bytesOf(const std::string& text) { return Bytes(text.begin(), text.end()); }

Bytes randomBytes(size_t count, uint32_t seed) {
    std::mt19937 generator(seed);
    Bytes bytes(count);
    for (auto& byte : bytes) byte = static_cast<uint8_t>(generator() >> 24);
    return bytes;
}

// Every plain file under the folders (compressed ones would test little but the stored
// fallback), in path order so the text is the same on every call. Files are read only
// as far as the largest request so far needs.
Bytes realText(size_t count) {
    static std::vector<std::filesystem::path> files;
    static size_t nextFile = 0;
    static Bytes text;
    if (files.empty()) {
        for (const char* root : {"/usr/share/common-licenses", "/usr/share/doc"}) {
            std::error_code error;
            auto it = std::filesystem::recursive_directory_iterator(
                root, std::filesystem::directory_options::skip_permission_denied, error);
            for (; !error && it != std::filesystem::recursive_directory_iterator(); it.increment(error)) {
                if (it->is_regular_file(error) && it->path().extension() != ".gz") files.push_back(it->path());
            }
        }
        std::sort(files.begin(), files.end());
    }
    while (text.size() < count && nextFile < files.size()) {
        std::ifstream in(files[nextFile++], std::ios::binary);
        in.seekg(0, std::ios::end);
        const std::streamoff size = in.tellg();
        if (size <= 0) continue;
        in.seekg(0);
        const size_t at = text.size();
        text.resize(at + static_cast<size_t>(size));
        in.read(reinterpret_cast<char*>(text.data() + at), size);
        text.resize(at + static_cast<size_t>(in.gcount()));
    }
    return Bytes(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(std::min(count, text.size())));
}

BuiltBook buildBook(const Bytes& text, const char* title) {
    MemoryIo memory;
    const IoOps& io = memory.ops();
    BuiltBook built;
    const uint32_t source = io.createTempStream(io.userData);
    const uint32_t spill = io.createTempStream(io.userData);
    const uint32_t destination = io.openStream(io.userData, "book.pdb", 1);
    if (!writeExact(io, source, text.data(), static_cast<int32_t>(text.size()))) return built;
    built.result = writeDatabase(io, source, spill, destination, title, 4096, 8, 0);
    if (built.result == StepDone && !stampRecordZero(io, destination)) built.result = StepFailed;
    built.textAfter = memory.bytesOfHandle(source);
    io.closeStream(io.userData, destination);
    io.closeStream(io.userData, spill);
    io.closeStream(io.userData, source);
    built.database = memory.bytesOf("book.pdb");
    built.peakBlockBytes = memory.peakBlockBytes();
    EXPECT_EQ(0, memory.liveBlocks());
    return built;
}

ReadBook readBook(const Bytes& database) {
    MemoryIo memory;
    memory.addFile("book.pdb", database);
    const IoOps& io = memory.ops();
    const uint32_t stream = io.openStream(io.userData, "book.pdb", 0);
    const uint32_t output = io.createTempStream(io.userData);
    ReadBook read;
    BookReader reader;
    read.result = bookOpen(io, stream, reader);
    if (read.result == BookOk) read.result = bookReadText(reader, output);
    bookClose(reader);
    read.text = memory.bytesOfHandle(output);
    io.closeStream(io.userData, output);
    io.closeStream(io.userData, stream);
    EXPECT_EQ(0, memory.liveBlocks()) << "the reader left a block";
    return read;
}

uint32_t bigEndian16(const Bytes& bytes, size_t offset) {
    return static_cast<uint32_t>(bytes.at(offset)) << 8 | bytes.at(offset + 1);
}

uint32_t bigEndian32(const Bytes& bytes, size_t offset) {
    return bigEndian16(bytes, offset) << 16 | bigEndian16(bytes, offset + 2);
}

std::vector<Bytes> recordsOf(const Bytes& database) {
    std::vector<Bytes> records;
    if (database.size() < 78) return records;
    const uint32_t count = bigEndian16(database, 76);
    for (uint32_t k = 0; k < count; ++k) {
        const size_t start = bigEndian32(database, 78 + 8 * k);
        const size_t end = k + 1 < count ? bigEndian32(database, 78 + 8 * (k + 1)) : database.size();
        if (start > end || end > database.size()) return {};
        records.emplace_back(database.begin() + static_cast<std::ptrdiff_t>(start),
                             database.begin() + static_cast<std::ptrdiff_t>(end));
    }
    return records;
}

void BitPacker::number(uint32_t value, int count) {
    for (int i = 0; i < count; ++i) bits_.push_back(static_cast<uint8_t>(value >> i & 1));
}

void BitPacker::code(uint32_t value, int length) {
    for (int i = length - 1; i >= 0; --i) bits_.push_back(static_cast<uint8_t>(value >> i & 1));
}

Bytes BitPacker::words() const {
    Bytes out((bits_.size() + 31) / 32 * 4, 0);
    for (size_t k = 0; k < bits_.size(); ++k) {
        uint32_t word = bigEndian32(out, k / 32 * 4);
        word |= static_cast<uint32_t>(bits_[k]) << (k % 32);
        for (int i = 0; i < 4; ++i) out[k / 32 * 4 + i] = static_cast<uint8_t>(word >> (24 - 8 * i));
    }
    return out;
}

Bytes textRecord(int kind, const Bytes& payload) {
    const size_t words = payload.size() / 4;
    Bytes record(4 + payload.size());
    record[0] = 4;
    record[1] = static_cast<uint8_t>(kind);
    record[2] = static_cast<uint8_t>(words >> 8);
    record[3] = static_cast<uint8_t>(words);
    std::copy(payload.begin(), payload.end(), record.begin() + 4);
    return record;
}

static void put16(Bytes& out, size_t offset, uint32_t value) {
    out[offset] = static_cast<uint8_t>(value >> 8);
    out[offset + 1] = static_cast<uint8_t>(value);
}

static void put32(Bytes& out, size_t offset, uint32_t value) {
    put16(out, offset, value >> 16);
    put16(out, offset + 2, value);
}

Bytes recordZero(uint32_t textLength, uint32_t groupSize, uint32_t textRecords) {
    Bytes record(64, 0);
    put16(record, 0, 64);
    put16(record, 2, 1);
    record[4] = 1;
    record[6] = 1;
    std::memcpy(record.data() + 8, "Quib", 4);
    put32(record, 12, textLength);
    put16(record, 16, groupSize);
    put16(record, 18, textRecords);
    return record;
}

Bytes assembleDatabase(const std::vector<Bytes>& records) {
    Bytes out(78, 0);
    std::memcpy(out.data(), "Handmade", 8);
    put16(out, 34, 0x0100);
    std::memcpy(out.data() + 60, "QuibQuib", 8);
    put16(out, 76, static_cast<uint32_t>(records.size()));
    uint32_t offset = static_cast<uint32_t>(78 + 8 * records.size() + 2);
    for (size_t k = 0; k < records.size(); ++k) {
        Bytes entry(8, 0);
        put32(entry, 0, offset);
        entry[5] = static_cast<uint8_t>(k);
        entry[6] = static_cast<uint8_t>(k >> 8);
        out.insert(out.end(), entry.begin(), entry.end());
        offset += static_cast<uint32_t>(records[k].size());
    }
    out.push_back(0);
    out.push_back(0);
    for (const Bytes& record : records) out.insert(out.end(), record.begin(), record.end());
    return out;
}

// Bit k of a record payload: bit k mod 32 of big-endian word k div 32.
static int payloadBit(const Bytes& record, size_t k) {
    return static_cast<int>(bigEndian32(record, 4 + k / 32 * 4) >> (k % 32) & 1);
}

// The chunk as a standard raw deflate stream: one final dynamic block whose header
// bits are the code table's, followed by the chunk's bits; zlib must give its text.
static void expectInflates(const Bytes& table, int32_t tableBits, const Bytes& chunk,
                           int32_t chunkBits, const Bytes& expected, int32_t chunkIndex) {
    std::vector<uint8_t> bits = {1, 0, 1};  // BFINAL = 1, BTYPE = 2 lowest bit first
    for (int32_t k = 0; k < tableBits; ++k) bits.push_back(static_cast<uint8_t>(payloadBit(table, k)));
    for (int32_t k = 0; k < chunkBits; ++k) bits.push_back(static_cast<uint8_t>(payloadBit(chunk, k)));
    Bytes stream((bits.size() + 7) / 8, 0);
    for (size_t k = 0; k < bits.size(); ++k) stream[k / 8] |= static_cast<uint8_t>(bits[k] << (k % 8));

    z_stream z{};
    ASSERT_EQ(Z_OK, inflateInit2(&z, -15));
    Bytes out(expected.size() + 16);
    z.next_in = stream.data();
    z.avail_in = static_cast<uInt>(stream.size());
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    const int status = inflate(&z, Z_FINISH);
    out.resize(z.total_out);
    inflateEnd(&z);
    EXPECT_EQ(Z_STREAM_END, status) << "chunk " << chunkIndex << ": " << (z.msg ? z.msg : "");
    EXPECT_TRUE(out == expected) << "zlib disagrees on chunk " << chunkIndex;
}

// The chunks one by one through the reader, each coded one also through zlib.
static void expectChunks(const Bytes& database, const Bytes& text, const std::vector<Bytes>& records) {
    MemoryIo memory;
    memory.addFile("book.pdb", database);
    const IoOps& io = memory.ops();
    const uint32_t stream = io.openStream(io.userData, "book.pdb", 0);
    BookReader reader;
    ASSERT_EQ(BookOk, bookOpen(io, stream, reader));
    Bytes chunk(4096);
    for (int32_t index = 0; index < reader.chunkCount; ++index) {
        int32_t length = 0;
        BookChunkInfo info{};
        ASSERT_EQ(BookOk, bookReadChunk(reader, index, chunk.data(), 4096, length, &info)) << index;
        const Bytes expected(text.begin() + index * 4096, text.begin() + index * 4096 + length);
        ASSERT_TRUE(Bytes(chunk.begin(), chunk.begin() + length) == expected) << "chunk " << index;
        EXPECT_EQ(index + index / 8 + 2, info.record);
        if (info.kind == 2)
            expectInflates(records.at(info.codeTableRecord), info.codeTableBits, records.at(info.record),
                           info.chunkBits, expected, index);
    }
    bookClose(reader);
    io.closeStream(io.userData, stream);
}

void expectBookOf(const Bytes& database, const Bytes& originalText) {
    const Bytes text = originalText.empty() ? Bytes{10} : originalText;
    const uint32_t chunks = static_cast<uint32_t>((text.size() + 4095) / 4096);
    const uint32_t expectedR = 1 + (chunks + 7) / 8 + chunks;
    ASSERT_GE(database.size(), 78u);
    EXPECT_EQ(0, std::memcmp(database.data() + 60, "QuibQuib", 8));
    ASSERT_EQ(expectedR, bigEndian16(database, 76));

    // Entries: offsets back to back after the list and the gap, id k little-endian.
    uint32_t offset = 78 + 8 * expectedR + 2;
    EXPECT_EQ(0u, bigEndian16(database, offset - 2)) << "gap";
    const std::vector<Bytes> records = recordsOf(database);
    ASSERT_EQ(expectedR, records.size());
    for (uint32_t k = 0; k < expectedR; ++k) {
        const size_t entry = 78 + 8 * k;
        ASSERT_EQ(offset, bigEndian32(database, entry)) << "entry " << k;
        EXPECT_EQ(0, database[entry + 4]);
        EXPECT_EQ(k, database[entry + 5] | database[entry + 6] << 8 | database[entry + 7] << 16);
        const size_t length = k == 0 ? 64 : 4 + 4 * bigEndian16(records[k], 2);
        ASSERT_EQ(length, records[k].size()) << "record " << k;
        offset += static_cast<uint32_t>(length);
    }
    EXPECT_EQ(offset, database.size());

    Bytes zero = records[0];
    const Bytes expectedStart = recordZero(static_cast<uint32_t>(text.size()), 8, expectedR);
    EXPECT_TRUE(Bytes(zero.begin(), zero.begin() + 32) == Bytes(expectedStart.begin(), expectedStart.begin() + 32));
    EXPECT_NE(0u, bigEndian32(zero, 32)) << "conversion time";
    EXPECT_TRUE(Bytes(zero.begin() + 36, zero.end()) == Bytes(28, 0));

    const ReadBook read = readBook(database);
    ASSERT_EQ(BookOk, read.result) << bookResultName(read.result);
    ASSERT_EQ(text.size(), read.text.size());
    EXPECT_TRUE(read.text == text) << "decoded text differs";
    expectChunks(database, text, records);
}
