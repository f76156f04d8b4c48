// The Palm database container: fields at their offsets in big-endian order, the record
// lookup's bounds, and the record entry's 24-bit little-endian unique id. The expected
// bytes are spelled out here rather than produced by the encoder under test.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "engine/palm_database.h"
#include "tests/engine/engine_fixtures.h"
#include "tests/support/counting_io.h"
#include "tests/support/memory_io.h"

namespace {

// A header with a distinct value in every field, as file bytes.
Bytes headerBytes(uint16_t numRecords) {
    Bytes b(78, 0);
    const char name[] = "Header name";
    std::copy(name, name + sizeof name - 1, b.begin());
    b[32] = 0x00; b[33] = 0x08;                                   // attributes 0x0008
    b[34] = 0x01; b[35] = 0x00;                                   // version 0x0100
    b[36] = 0xB5; b[37] = 0x01; b[38] = 0x02; b[39] = 0x03;       // creation 0xB5010203
    b[40] = 0xB6; b[41] = 0x04; b[42] = 0x05; b[43] = 0x06;       // modification
    b[44] = 0x00; b[45] = 0x00; b[46] = 0x00; b[47] = 0x07;       // backup 7
    b[48] = 0x00; b[49] = 0x00; b[50] = 0x01; b[51] = 0x00;       // modification number 256
    b[52] = 0x00; b[53] = 0x00; b[54] = 0x00; b[55] = 0x50;       // app info 0x50
    b[56] = 0x00; b[57] = 0x00; b[58] = 0x00; b[59] = 0x60;       // sort info 0x60
    b[60] = 'Q'; b[61] = 'u'; b[62] = 'i'; b[63] = 'b';           // type
    b[64] = 'R'; b[65] = 'E'; b[66] = 'A'; b[67] = 'd';           // creator
    b[68] = 0x12; b[69] = 0x34; b[70] = 0x56; b[71] = 0x78;       // unique-id seed
    b[72] = 0x00; b[73] = 0x00; b[74] = 0x00; b[75] = 0x00;       // next record list
    b[76] = static_cast<uint8_t>(numRecords >> 8);                // numRecords
    b[77] = static_cast<uint8_t>(numRecords);
    return b;
}

void appendEntry(Bytes& b, uint32_t offset) {
    for (int k = 0; k < 4; ++k) b.push_back(static_cast<uint8_t>(offset >> (24 - 8 * k)));
    b.insert(b.end(), {0, 0, 0, 0});
}

// A database with records at the given offsets and `size` bytes in all.
Bytes database(const std::vector<uint32_t>& offsets, size_t size) {
    Bytes b = headerBytes(static_cast<uint16_t>(offsets.size()));
    for (uint32_t offset : offsets) appendEntry(b, offset);
    b.resize(size, 'r');
    return b;
}

TEST(PalmDatabase, HeaderFieldsSitAtTheirOffsets) {
    MemoryIo mem;
    mem.addFile("db", headerBytes(0x0203));
    const IoOps& io = mem.ops();
    const uint32_t handle = io.openStream(io.userData, "db", 0);
    io.seekStream(io.userData, handle, 10, 0);
    DatabaseHeader header;
    ASSERT_TRUE(readDatabaseHeader(io, handle, header));
    EXPECT_STREQ("Header name", header.name);
    EXPECT_EQ(0x0008, header.attributes);
    EXPECT_EQ(0x0100, header.version);
    EXPECT_EQ(0xB5010203u, header.creationTime);
    EXPECT_EQ(0xB6040506u, header.modificationTime);
    EXPECT_EQ(7u, header.backupTime);
    EXPECT_EQ(256u, header.modificationNumber);
    EXPECT_EQ(0x50u, header.appInfoOffset);
    EXPECT_EQ(0x60u, header.sortInfoOffset);
    EXPECT_EQ(0, std::memcmp(header.type, "Quib", 4));
    EXPECT_EQ(0, std::memcmp(header.creator, "REAd", 4));
    EXPECT_EQ(0x12345678u, header.uniqueIdSeed);
    EXPECT_EQ(0x0203, header.numRecords);

    uint8_t encoded[kDatabaseHeaderSize];
    encodeDatabaseHeader(header, encoded);
    EXPECT_EQ(headerBytes(0x0203), Bytes(encoded, encoded + kDatabaseHeaderSize));
    io.closeStream(io.userData, handle);
}

TEST(PalmDatabase, ShortHeadersAndFailedSeeksFail) {
    MemoryIo mem;
    Bytes shortHeader = headerBytes(1);
    shortHeader.pop_back();
    mem.addFile("short", shortHeader);
    mem.addFile("db", headerBytes(1));
    const IoOps& plain = mem.ops();
    DatabaseHeader header;
    const uint32_t shortHandle = plain.openStream(plain.userData, "short", 0);
    EXPECT_FALSE(readDatabaseHeader(plain, shortHandle, header));
    plain.closeStream(plain.userData, shortHandle);
    CountingIo counting(mem.ops());
    counting.failAt(IoOp::Seek, 1);
    const IoOps& io = counting.ops();
    const uint32_t handle = io.openStream(io.userData, "db", 0);
    EXPECT_FALSE(readDatabaseHeader(io, handle, header));
    EXPECT_EQ(0, counting.calls(IoOp::Read));
    io.closeStream(io.userData, handle);
}

struct Located {
    bool ok;
    int32_t offset;
    int32_t size;
};

Located locate(MemoryIo& mem, CountingIo* counting, uint32_t index) {
    const IoOps& io = counting != nullptr ? counting->ops() : mem.ops();
    const uint32_t handle = io.openStream(io.userData, "db", 0);
    DatabaseHeader header;
    Located found{false, -7, -7};
    if (readDatabaseHeader(io, handle, header))
        found.ok = readRecordLocation(io, handle, header, index, found.offset, found.size);
    io.closeStream(io.userData, handle);
    return found;
}

TEST(PalmDatabase, RecordLocationsAndTheirBounds) {
    MemoryIo mem;
    mem.addFile("db", database({110, 120, 150}, 200));
    Located r = locate(mem, nullptr, 0);
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(110, r.offset);
    EXPECT_EQ(10, r.size);
    r = locate(mem, nullptr, 2);
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(150, r.offset);
    EXPECT_EQ(50, r.size) << "the last record runs to the end of the file";

    mem.addFile("db", database({110, 120, 150}, 230));
    EXPECT_EQ(80, locate(mem, nullptr, 2).size) << "appended bytes belong to the last record";

    CountingIo counting(mem.ops());
    const int readsBefore = 1;  // the header
    EXPECT_FALSE(locate(mem, &counting, 3).ok) << "index equal to numRecords";
    EXPECT_EQ(readsBefore, counting.calls(IoOp::Read)) << "fails without reading an entry";
}

TEST(PalmDatabase, DecreasingOffsetsAndCutFilesFail) {
    MemoryIo mem;
    mem.addFile("db", database({110, 140, 120}, 200));
    EXPECT_TRUE(locate(mem, nullptr, 0).ok);
    EXPECT_FALSE(locate(mem, nullptr, 1).ok) << "next entry's offset is smaller";
    EXPECT_TRUE(locate(mem, nullptr, 2).ok);

    mem.addFile("db", database({110, 250}, 200));
    EXPECT_FALSE(locate(mem, nullptr, 1).ok) << "last record starts past the end";

    Bytes cut = database({110, 120, 150}, 200);
    cut.resize(78 + 8 * 2 + 3);  // the third entry is cut off
    mem.addFile("db", cut);
    EXPECT_TRUE(locate(mem, nullptr, 0).ok);
    EXPECT_FALSE(locate(mem, nullptr, 1).ok);
    EXPECT_FALSE(locate(mem, nullptr, 2).ok);

    mem.addFile("db", database({0x80000000u, 0x80000010u}, 200));
    EXPECT_FALSE(locate(mem, nullptr, 0).ok) << "an offset beyond 2 GB";
}

TEST(PalmDatabase, RecordEntriesCarryTheirIndexAsUniqueId) {
    MemoryIo mem;
    const IoOps& io = mem.ops();
    const uint32_t handle = io.openStream(io.userData, "out", 1);
    ASSERT_TRUE(writeRecordEntry(io, handle, 1, 0x00010203u));
    ASSERT_TRUE(writeRecordEntry(io, handle, 256, 0xA0B0C0D0u));
    ASSERT_TRUE(writeRecordEntry(io, handle, 0x012345, 7));
    io.closeStream(io.userData, handle);
    const Bytes out = mem.bytesOf("out");
    ASSERT_EQ(static_cast<size_t>(78 + 8 * 0x012345 + 8), out.size());
    const auto entry = [&](size_t index) {
        return Bytes(out.begin() + 78 + 8 * index, out.begin() + 78 + 8 * index + 8);
    };
    //                            offset, big-endian      attr  id, little-endian
    EXPECT_EQ((Bytes{0x00, 0x01, 0x02, 0x03, 0x00, 0x01, 0x00, 0x00}), entry(1));
    EXPECT_EQ((Bytes{0xA0, 0xB0, 0xC0, 0xD0, 0x00, 0x00, 0x01, 0x00}), entry(256));
    EXPECT_EQ((Bytes{0x00, 0x00, 0x00, 0x07, 0x00, 0x45, 0x23, 0x01}), entry(0x012345));

    RecordEntry decoded;
    decodeRecordEntry(entry(256).data(), decoded);
    EXPECT_EQ(0xA0B0C0D0u, decoded.offset);
    EXPECT_EQ(256u, decoded.uniqueId);
}

TEST(PalmDatabase, WritingAnEntryFailsOnAShortWriteOrSeek) {
    MemoryIo mem;
    for (IoOp op : {IoOp::Seek, IoOp::Write}) {
        CountingIo counting(mem.ops());
        if (op == IoOp::Write) counting.shortAt(op, 1);
        else counting.failAt(op, 1);
        const IoOps& io = counting.ops();
        const uint32_t handle = io.openStream(io.userData, "out", 1);
        EXPECT_FALSE(writeRecordEntry(io, handle, 3, 100));
        io.closeStream(io.userData, handle);
    }
}

}  // namespace
