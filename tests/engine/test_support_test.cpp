// The harness every engine test leans on: if it miscounted, leak checks would pass
// vacuously, so its books are checked against known call sequences here.
#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "engine/checked_io.h"
#include "tests/support/counting_io.h"
#include "tests/support/fault_sweep.h"
#include "tests/support/memory_io.h"

TEST(MemoryIo, StreamsSeekWithAllThreeOriginsAndReadExactCounts) {
    MemoryIo mem;
    const IoOps& io = mem.ops();
    mem.addFile("a.txt", std::string("hello world"));
    const uint32_t h = io.openStream(io.userData, "a.txt", 0);
    ASSERT_NE(0u, h);
    EXPECT_EQ(11, io.seekStream(io.userData, h, 0, 2));
    EXPECT_EQ(6, io.seekStream(io.userData, h, 6, 0));
    EXPECT_EQ(8, io.seekStream(io.userData, h, 2, 1));
    EXPECT_EQ(-1, io.seekStream(io.userData, h, -9, 1));
    char buffer[8] = {};
    EXPECT_EQ(3, io.readStream(io.userData, h, 8, buffer));  // short only at the end
    EXPECT_EQ("rld", std::string(buffer, 3));
    EXPECT_EQ(0, io.writeStream(io.userData, h, 1, "x"));   // mode 0 is read-only
    EXPECT_EQ(1, mem.writesToReadOnly());
    EXPECT_EQ(1, io.closeStream(io.userData, h));
    EXPECT_EQ(0, io.closeStream(io.userData, h));
    EXPECT_EQ(1, mem.badCloses());
}

TEST(MemoryIo, ModesCreateTruncateAndRefuseMissingFiles) {
    MemoryIo mem;
    const IoOps& io = mem.ops();
    EXPECT_EQ(0u, io.openStream(io.userData, "missing", 0));
    EXPECT_EQ(0u, io.openStream(io.userData, "missing", 2));
    EXPECT_EQ(0u, io.openStream(io.userData, "x", 3));
    mem.addFile("out", std::string("old content"));
    const uint32_t h = io.openStream(io.userData, "out", 1);
    ASSERT_NE(0u, h);
    EXPECT_EQ(0, io.seekStream(io.userData, h, 0, 2));  // truncated
    EXPECT_EQ(4, io.seekStream(io.userData, h, 4, 0));
    EXPECT_EQ(2, io.writeStream(io.userData, h, 2, "ab"));
    io.closeStream(io.userData, h);
    EXPECT_EQ(std::string("\0\0\0\0ab", 6), mem.textOf("out"));  // gap filled with zeros
}

TEST(CountingIo, FailsTheChosenCallAndKeepsTheBooks) {
    MemoryIo mem;
    mem.addFile("src", std::string("abc"));
    CountingIo counting(mem.ops());
    counting.failAt(IoOp::CreateTemp, 2);
    const IoOps& io = counting.ops();
    const uint32_t src = io.openStream(io.userData, "src", 0);
    const uint32_t t1 = io.createTempStream(io.userData);
    EXPECT_EQ(0u, io.createTempStream(io.userData));
    void* block = io.allocBlock(io.userData, 16);
    EXPECT_EQ(2, counting.openHandles());
    EXPECT_EQ(1, counting.liveBlocks());
    io.freeBlock(io.userData, block);
    io.closeStream(io.userData, t1);
    io.closeStream(io.userData, src);
    EXPECT_EQ((std::vector<uint32_t>{t1, src}), counting.closeOrder());
    EXPECT_EQ(src, counting.handleOf("src"));
    EXPECT_TRUE(counting.faultFired());
    expectNothingHeld(counting);
}

TEST(CountingIo, AnyCountsEveryCallAndShortensTransfers) {
    MemoryIo mem;
    CountingIo counting(mem.ops());
    counting.shortAt(IoOp::Write, 2);
    const IoOps& io = counting.ops();
    const uint32_t t = io.createTempStream(io.userData);
    EXPECT_TRUE(writeExact(io, t, "ab", 2));
    EXPECT_FALSE(writeExact(io, t, "cd", 2));
    EXPECT_EQ(3, streamSize(io, t));
    EXPECT_EQ(4, counting.calls(IoOp::Any));
    io.closeStream(io.userData, t);
    expectNothingHeld(counting);
}

TEST(CountingIo, RecordsReportsAndCancelsAtTheChosenOne) {
    MemoryIo mem;
    CountingIo counting(mem.ops());
    counting.cancelAtReport(3);
    const IoOps& io = counting.ops();
    char page[] = "index.html";
    EXPECT_TRUE(stillWanted(io, StageParseHtml, nullptr));
    EXPECT_TRUE(stillWanted(io, StageCurrentPage, page));
    EXPECT_FALSE(stillWantedPercent(io, 42));
    ASSERT_EQ(3u, counting.reports().size());
    EXPECT_EQ("index.html", counting.reports()[1].page);
    EXPECT_EQ(42, counting.reports()[2].percent);
    counting.withoutReportSlot();
    EXPECT_TRUE(stillWanted(counting.ops(), StagePercent, nullptr));
}

// A sweep that skipped a k would let that fault go untested without a word.
TEST(FaultSweepHelper, ReachesEveryKInOrder) {
    std::vector<int> seen;
    forEachFault(4, [&](int k) { seen.push_back(k); });
    EXPECT_EQ((std::vector<int>{1, 2, 3, 4}), seen);
    std::vector<std::pair<int, bool>> runs;
    forEachFailOrShort(2, [&](int k, bool shorten) { runs.emplace_back(k, shorten); });
    EXPECT_EQ((std::vector<std::pair<int, bool>>{{1, false}, {2, false}, {1, true}, {2, true}}), runs);
    int last = 0;
    forEachFaultUntil([&](int k) { return (last = k) < 3; });
    EXPECT_EQ(3, last);
}
