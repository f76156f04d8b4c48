// Whole conversions of sources built to strain the engine: deep and endless HTML, long
// runs of entity starts, a page that links to 40000 pages, PalmDoc files whose record
// list lies. Each ends with a defined result in bounded time, holds nothing afterwards,
// and keeps its blocks within the fixed sizes the engine is built on, whatever the size
// of the source.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>

#include "engine/book_reader.h"
#include "driver/conversion.h"
#include "tests/engine/engine_fixtures.h"
#include "tests/support/counting_io.h"
#include "tests/support/memory_io.h"

namespace {

// The sanitizer build runs several times slower: its long inputs are shorter.
#if defined(__SANITIZE_ADDRESS__)
constexpr size_t kLongLineBytes = 5u << 20;
constexpr int kExistingPages = 500;
#else
constexpr size_t kLongLineBytes = 50u << 20;
constexpr int kExistingPages = 40000;
#endif

// Blocks the engine holds at once are fixed by its constants, not by the source.
constexpr int64_t kMaxBlockBytes = 4 << 20;

constexpr const char* kRoot = "C:\\site\\index.html";
constexpr const char* kDestination = "C:\\out\\book.pdb";

struct Outcome {
    int32_t result = -1;
    double seconds = 0;
    int64_t peakBlockBytes = 0;
    std::string text;  // the decoded text of a finished database
};

// Converts `root` (with maxDepth -1) and checks what every conversion promises. Without
// `counted` the conversion runs on the MemoryIo alone, whose counts are enough, so that
// hundreds of millions of calls need no log.
Outcome convertChecked(MemoryIo& memory, const char* root = kRoot, bool counted = true) {
    CountingIo counting(memory.ops());
    ConversionJob job = defaultJob(counted ? counting.ops() : memory.ops(), root, kDestination);
    job.maxDepth = -1;
    const auto start = std::chrono::steady_clock::now();
    Outcome outcome;
    outcome.result = convertDocument(job);
    outcome.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    outcome.peakBlockBytes = memory.peakBlockBytes();
    expectNothingHeld(counting);
    EXPECT_EQ(0, memory.openHandles());
    EXPECT_EQ(0, memory.liveBlocks());
    EXPECT_EQ(0, memory.writesToReadOnly());
    EXPECT_LT(outcome.peakBlockBytes, kMaxBlockBytes);
    if (outcome.result == ResultOk) {
        const IoOps& io = memory.ops();
        const uint32_t book = io.openStream(io.userData, kDestination, 0);
        BookReader reader{};
        EXPECT_EQ(BookOk, bookOpen(io, book, reader));
        const uint32_t out = io.createTempStream(io.userData);
        EXPECT_EQ(BookOk, bookReadText(reader, out));
        const Bytes text = memory.bytesOfHandle(out);
        outcome.text.assign(text.begin(), text.end());
        bookClose(reader);
        io.closeStream(io.userData, out);
        io.closeStream(io.userData, book);
    }
    return outcome;
}

TEST(HostileHtml, HundredThousandNestedUnclosedTags) {
    for (const char* tag : {"<b>", "<ul><li>", "<table><tr><td>", "<font size=+1>", "<blockquote>"}) {
        std::string page = "<html><body>";
        for (int level = 0; level < 100000; ++level) page += tag;
        page += "deep text";
        MemoryIo memory;
        memory.addFile(kRoot, page);
        const Outcome outcome = convertChecked(memory);
        EXPECT_EQ(ResultOk, outcome.result) << tag;
        EXPECT_NE(std::string::npos, outcome.text.find("deep text")) << tag;
        EXPECT_LT(outcome.seconds, 60.0) << tag;
    }
}

TEST(HostileHtml, LongLineWithoutTagEnd) {
    // The full length once; the other open constructs at a tenth of it.
    size_t length = kLongLineBytes;
    for (const char* start : {"<html><body><p", "<html><body><a href=\"", "<html><body><!--", "<html><body><p title='"}) {
        std::string page(start);
        page.append(length, 'a');
        length = kLongLineBytes / 10;
        MemoryIo memory;
        memory.addFile(kRoot, page);
        const Outcome outcome = convertChecked(memory);
        EXPECT_EQ(ResultOk, outcome.result) << start;
        EXPECT_LT(outcome.seconds, 120.0) << start;
    }
}

TEST(HostileHtml, RunsOfEntityStarts) {
    for (const char* unit : {"&", "&amp", "&#", "&#x", "&#99999999999", "&aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa"}) {
        std::string page = "<html><body><p title=\"";
        for (size_t at = 0; at < 100000; at += std::char_traits<char>::length(unit)) page += unit;
        page += "\">";
        for (size_t at = 0; at < 500000; at += std::char_traits<char>::length(unit)) page += unit;
        MemoryIo memory;
        memory.addFile(kRoot, page);
        const Outcome outcome = convertChecked(memory);
        EXPECT_EQ(ResultOk, outcome.result) << unit;
        EXPECT_LT(outcome.seconds, 60.0) << unit;
    }
}

TEST(HostileHtml, PageLinkingToFortyThousandPages) {
    std::string page = "<html><body>";
    for (int target = 0; target < 40000; ++target)
        page += "<a href=\"p" + std::to_string(target) + ".html#n" + std::to_string(target) + "\">" +
                std::to_string(target) + "</a> ";
    MemoryIo memory;
    memory.addFile(kRoot, page);
    // A few of the pages exist, and link back.
    for (int target : {0, 1, 777, 39999})
        memory.addFile("C:\\site\\p" + std::to_string(target) + ".html",
                       "<html><body><a name=\"n" + std::to_string(target) + "\">here</a><a href=\"index.html\">back</a>");
    const Outcome outcome = convertChecked(memory);
    ASSERT_EQ(ResultOk, outcome.result);
    EXPECT_NE(std::string::npos, outcome.text.find("39999")) << "the root page's text is whole";
    EXPECT_NE(std::string::npos, outcome.text.find("here")) << "the pages that exist are converted";
    EXPECT_LT(outcome.seconds, 120.0);
}

// Every linked page exists: the pass converts pages until its limit of 32000 pages taken
// from the queue (the root is the first), and the page index it rebuilds after each page
// stays capped at 8000 entries, so time and memory stay bounded.
TEST(HostileHtml, PageLinkingToFortyThousandPagesThatExist) {
    std::string page = "<html><body>";
    for (int target = 0; target < 40000; ++target)
        page += "<a href=\"p" + std::to_string(target) + ".html\">" + std::to_string(target) + "</a> ";
    MemoryIo memory;
    memory.addFile(kRoot, page);
    for (int target = 0; target < kExistingPages; ++target)
        memory.addFile("C:\\site\\p" + std::to_string(target) + ".html", "<p>page " + std::to_string(target));
    const Outcome outcome = convertChecked(memory, kRoot, false);
    ASSERT_EQ(ResultOk, outcome.result);
    const int lastPage = std::min(kExistingPages, 31999) - 1;
    EXPECT_NE(std::string::npos, outcome.text.find("page " + std::to_string(lastPage) + "\n"));
    EXPECT_EQ(std::string::npos, outcome.text.find("page " + std::to_string(lastPage + 1) + "\n"));
    EXPECT_LT(outcome.seconds, 300.0);
}

// --- PalmDoc files whose record list lies -------------------------------------------

void putOffset(Bytes& database, int index, uint32_t offset) {
    for (int k = 0; k < 4; ++k) database[78 + 8 * index + k] = static_cast<uint8_t>(offset >> (24 - 8 * k));
}

TEST(HostilePalmDoc, RecordOffsetsBackwardsOrBeyondTheFileGive105) {
    const Bytes good = makePalmDoc({toBytes("first record "), toBytes("second record "), toBytes("third")});
    const uint32_t size = static_cast<uint32_t>(good.size());
    struct Case {
        const char* what;
        int index;
        uint32_t offset;
    };
    const Case cases[] = {
        {"record 2 before record 1", 2, recordOffsetIn(good, 1) - 4},
        {"record 1 before record 0", 1, recordOffsetIn(good, 0) - 1},
        {"record 1 inside the header", 1, 10},
        {"last record beyond the end", 3, size + 100},
        {"last record far beyond the end", 3, 0xFFFFFFF0u},
        {"middle record beyond the end", 2, size + 1},
        {"record 0 beyond the end", 0, size + 1},
        {"record 0 at the largest offset", 0, 0xFFFFFFFFu},
        {"offset with the sign bit set", 1, 0x80000000u},
    };
    for (const Case& c : cases) {
        Bytes database = good;
        putOffset(database, c.index, c.offset);
        MemoryIo memory;
        memory.addFile("C:\\books\\lie.pdb", database);
        const Outcome outcome = convertChecked(memory, "C:\\books\\lie.pdb");
        EXPECT_EQ(ResultPreprocessError, outcome.result) << c.what;
    }
}

TEST(HostilePalmDoc, RecordListLongerThanTheFileGives105) {
    Bytes database = makePalmDoc({toBytes("text")});
    database[76] = 0xFF;  // 65535 records announced, two present
    database[77] = 0xFF;
    MemoryIo memory;
    memory.addFile("C:\\books\\lie.pdb", database);
    EXPECT_EQ(ResultPreprocessError, convertChecked(memory, "C:\\books\\lie.pdb").result);
}

}  // namespace
