// Whole conversions of text and PalmDoc sources: what convertDocument leaves in the
// destination must decode, through the independent book reader, to exactly the text the
// filter makes of the source; a cancel at any report unwinds completely.
#include <gtest/gtest.h>

#include "engine/book_reader.h"
#include "driver/conversion.h"
#include "platform/standard_io.h"
#include "engine/text_filter.h"
#include "tests/engine/engine_fixtures.h"
#include "tests/support/counting_io.h"
#include "tests/support/fault_sweep.h"
#include "tests/support/memory_io.h"

namespace {

// The decoded text of the database `name` in `mem`, or a failure.
::testing::AssertionResult decodeBook(MemoryIo& mem, const char* name, std::string& text) {
    const IoOps& io = mem.ops();
    const uint32_t book = io.openStream(io.userData, name, 0);
    if (book == 0) return ::testing::AssertionFailure() << "no database " << name;
    BookReader reader{};
    int32_t result = bookOpen(io, book, reader);
    const uint32_t out = io.createTempStream(io.userData);
    if (result == BookOk) result = bookReadText(reader, out);
    const std::vector<uint8_t> bytes = mem.bytesOfHandle(out);
    bookClose(reader);
    io.closeStream(io.userData, out);
    io.closeStream(io.userData, book);
    if (result != BookOk) return ::testing::AssertionFailure() << bookResultName(result);
    text.assign(bytes.begin(), bytes.end());
    return ::testing::AssertionSuccess();
}

std::string longText(int lines) {
    std::string text;
    for (int line = 0; line < lines; ++line)
        text += "Line " + std::to_string(line) + " of a text that is long enough to fill chunks.\r\n";
    return text;
}

TEST(WholeConversion, TextSourceDecodesToTheFilteredText) {
    for (int lines : {0, 1, 70, 2000}) {
        MemoryIo mem;
        const std::string source = longText(lines);
        mem.addFile("book.txt", source);
        ConversionJob job = defaultJob(mem.ops(), "book.txt", "out.pdb");
        ASSERT_EQ(ResultOk, convertDocument(job)) << lines;
        std::string decoded;
        ASSERT_TRUE(decodeBook(mem, "out.pdb", decoded)) << lines;
        std::string expected;
        for (char c : source)
            if (c != '\r') expected += c;  // the default job removes CR
        if (expected.empty()) expected = "\n";  // an empty text is stored as one line feed
        EXPECT_EQ(expected, decoded) << lines;
    }
}

TEST(WholeConversion, PalmDocSourceDecodesToItsRecordsAndKeepsItsName) {
    MemoryIo mem;
    mem.addFile("book.pdb", makePalmDoc({toBytes("First record. "), toBytes("Second record.\n")}));
    ConversionJob job = defaultJob(mem.ops(), "book.pdb", "out.pdb");
    job.title = "A title longer than thirty-one bytes, cut";
    ASSERT_EQ(ResultOk, convertDocument(job));
    std::string decoded;
    ASSERT_TRUE(decodeBook(mem, "out.pdb", decoded));
    EXPECT_EQ("First record. Second record.\n", decoded);
    const std::vector<uint8_t> out = mem.bytesOf("out.pdb");
    ASSERT_GE(out.size(), 78u);
    EXPECT_EQ(std::string("A title longer than thirty-one ", 31), std::string(out.begin(), out.begin() + 31));
    EXPECT_EQ(0, out[31]);
    EXPECT_EQ("QuibQuib", std::string(out.begin() + 60, out.begin() + 68));
}

TEST(WholeConversion, CancelAtEveryReportGives100AndHoldsNothing) {
    MemoryIo mem;
    mem.addFile("book.txt", longText(3000));
    CountingIo probe(mem.ops());
    ASSERT_EQ(ResultOk, convertDocument(defaultJob(probe.ops(), "book.txt", "out.pdb")));
    const int reports = static_cast<int>(probe.reports().size());
    ASSERT_GT(reports, 10);
    forEachFault(reports, [&](int n) {
        CountingIo counting(mem.ops());
        counting.cancelAtReport(n);
        EXPECT_EQ(ResultCanceled, convertDocument(defaultJob(counting.ops(), "book.txt", "out.pdb")))
            << "report " << n;
        EXPECT_EQ(0, mem.writesToReadOnly());
        expectNothingHeld(counting);
    });
}

TEST(WholeConversion, StandardIoConvertsAFileOnDisk) {
    char directory[] = "/tmp/vimlo-whole-XXXXXX";
    ASSERT_NE(nullptr, mkdtemp(directory));
    const std::string source = std::string(directory) + "/in.txt";
    const std::string destination = std::string(directory) + "/out.pdb";
    FILE* file = std::fopen(source.c_str(), "wb");
    ASSERT_NE(nullptr, file);
    const std::string text = longText(500);
    std::fwrite(text.data(), 1, text.size(), file);
    std::fclose(file);
    CountingIo counting(standardIoOps);
    EXPECT_EQ(ResultOk, convertDocument(defaultJob(counting.ops(), source.c_str(), destination.c_str())));
    expectNothingHeld(counting);
    const uint32_t book = standardIoOps.openStream(nullptr, destination.c_str(), 0);
    ASSERT_NE(0u, book);
    BookReader reader{};
    EXPECT_EQ(BookOk, bookOpen(standardIoOps, book, reader));
    EXPECT_EQ(static_cast<int32_t>((text.size() - 500 + 4095) / 4096), reader.chunkCount);
    bookClose(reader);
    standardIoOps.closeStream(nullptr, book);
    std::remove(source.c_str());
    std::remove(destination.c_str());
    std::remove(directory);
}

}  // namespace
