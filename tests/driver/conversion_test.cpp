// The driver: which result code each failure gives, which handles are closed and in what
// order, cancel and the empty progress slot, a fault at every single IoOps call, and the
// PalmDoc probes.
#include <gtest/gtest.h>

#include <algorithm>

#include "driver/conversion.h"
#include "tests/engine/engine_fixtures.h"
#include "tests/support/counting_io.h"
#include "tests/support/fault_sweep.h"
#include "tests/support/memory_io.h"
#include "tests/support/result_codes.h"

namespace {

const char* const kText = "A first line\r\nand a second one.\r\n\r\nA new paragraph\twith a tab.\r\n";

Bytes sampleDoc() {
    return makePalmDoc({toBytes("Some stored text, "), {0x01, 0x41, 0xC2, 0x80, 0x08}, toBytes(" the end.\r\n")});
}

int32_t convert(CountingIo& counting, const char* source = "book.txt") {
    return convertDocument(defaultJob(counting.ops(), source, "out.pdb"));
}

std::vector<uint32_t> reversed(std::vector<uint32_t> handles) {
    std::reverse(handles.begin(), handles.end());
    return handles;
}

TEST(ConvertDocument, MissingSourceGives102AndCreatesNoDestination) {
    MemoryIo mem;
    CountingIo counting(mem.ops());
    EXPECT_EQ(ResultSourceOpenError, convert(counting, "missing.txt"));
    EXPECT_FALSE(mem.exists("out.pdb"));
    EXPECT_EQ(1, counting.calls(IoOp::Open));
    expectNothingHeld(counting);
}

TEST(ConvertDocument, UncreatableDestinationGives103AndClosesTheSource) {
    MemoryIo mem;
    mem.addFile("book.txt", std::string(kText));
    CountingIo counting(mem.ops());
    counting.failAt(IoOp::Open, 2);
    EXPECT_EQ(ResultDestinationOpenError, convert(counting));
    EXPECT_EQ(std::vector<uint32_t>{counting.handleOf("book.txt")}, counting.closeOrder());
    EXPECT_EQ(0, counting.calls(IoOp::CreateTemp));
    expectNothingHeld(counting);
}

TEST(ConvertDocument, FailingTempStreamGives104AndClosesInReverse) {
    forEachFault(4, [](int failing) {
        MemoryIo mem;
        mem.addFile("book.txt", std::string(kText));
        CountingIo counting(mem.ops());
        counting.failAt(IoOp::CreateTemp, failing);
        EXPECT_EQ(ResultTempOpenError, convert(counting)) << "temp stream " << failing;
        const std::vector<uint32_t> temps = counting.tempHandles();
        ASSERT_EQ(static_cast<size_t>(failing - 1), temps.size());
        std::vector<uint32_t> expected = reversed(temps);
        expected.push_back(counting.handleOf("out.pdb"));
        expected.push_back(counting.handleOf("book.txt"));
        EXPECT_EQ(expected, counting.closeOrder()) << "temp stream " << failing;
        EXPECT_EQ(failing, counting.calls(IoOp::CreateTemp)) << "no stream after the failing one";
        EXPECT_EQ(0u, counting.reports().size());
        expectNothingHeld(counting);
    });
}

TEST(ConvertDocument, SuccessClosesTempsInReverseThenDestinationThenSource) {
    for (const char* source : {"book.txt", "book.pdb"}) {
        MemoryIo mem;
        mem.addFile("book.txt", std::string(kText));
        mem.addFile("book.pdb", sampleDoc());
        CountingIo counting(mem.ops());
        EXPECT_EQ(ResultOk, convert(counting, source));
        std::vector<uint32_t> expected = reversed(counting.tempHandles());
        ASSERT_EQ(4u, expected.size());
        expected.push_back(counting.handleOf("out.pdb"));
        expected.push_back(counting.handleOf(source));
        EXPECT_EQ(expected, counting.closeOrder()) << source;
        EXPECT_EQ(0, mem.writesToReadOnly());
        expectNothingHeld(counting);
    }
}

TEST(ConvertDocument, OnlyAFailedCloseOfTheDestinationFailsTheConversion) {
    // Closes come in the order T4, T3, T2, T1, destination, source.
    forEachFault(6, [](int failing) {
        MemoryIo mem;
        mem.addFile("book.txt", std::string(kText));
        CountingIo counting(mem.ops());
        counting.failAt(IoOp::Close, failing);
        EXPECT_EQ(failing == 5 ? ResultConversionError : ResultOk, convert(counting)) << "close " << failing;
        EXPECT_EQ(6, counting.calls(IoOp::Close));
        expectNothingHeld(counting);
    });
}

TEST(ConvertDocument, ReportsTheStageForTheKindOfSource) {
    const struct {
        const char* name;
        Bytes content;
        int32_t stage;
    } cases[] = {
        {"book.txt", toBytes(kText), StagePreprocessText},
        {"book.pdb", sampleDoc(), StagePreprocessDoc},
        {"other.pdb", [] {
             DocLayout layout;
             layout.creator = "Quib";  // a Palm database, but not PalmDoc
             return makePalmDoc({toBytes("x")}, layout);
         }(), StagePreprocessText},
        {"short.pdb", Bytes(77, 'R'), StagePreprocessText},
    };
    for (const auto& c : cases) {
        MemoryIo mem;
        mem.addFile(c.name, c.content);
        CountingIo counting(mem.ops());
        EXPECT_EQ(ResultOk, convert(counting, c.name)) << c.name;
        ASSERT_GE(counting.reports().size(), 2u) << c.name;
        EXPECT_EQ(c.stage, counting.reports().front().stage) << c.name;
        EXPECT_EQ(StagePercent, counting.reports().back().stage) << c.name;
        EXPECT_EQ(100, counting.reports().back().percent) << c.name;
        expectNothingHeld(counting);
    }
}

TEST(ConvertDocument, CancelAtTheFirstReportLeavesAnEmptyDestination) {
    for (const char* source : {"book.txt", "book.pdb"}) {
        MemoryIo mem;
        mem.addFile("book.txt", std::string(kText));
        mem.addFile("book.pdb", sampleDoc());
        mem.addFile("out.pdb", std::string("an older database"));
        CountingIo counting(mem.ops());
        counting.cancelAtReport(1);
        EXPECT_EQ(ResultCanceled, convert(counting, source)) << source;
        EXPECT_EQ(1u, counting.reports().size());
        EXPECT_TRUE(mem.exists("out.pdb"));
        EXPECT_TRUE(mem.bytesOf("out.pdb").empty());
        expectNothingHeld(counting);
    }
}

TEST(ConvertDocument, CancelAtAnyReportUnwinds) {
    for (const char* source : {"book.txt", "book.pdb"}) {
        MemoryIo mem;
        mem.addFile("book.txt", std::string(9000, 'x'));
        mem.addFile("book.pdb", sampleDoc());
        CountingIo probe(mem.ops());
        ASSERT_EQ(ResultOk, convert(probe, source));
        const int reports = static_cast<int>(probe.reports().size());
        ASSERT_GE(reports, 3) << source;
        forEachFault(reports, [&](int n) {
            CountingIo counting(mem.ops());
            counting.cancelAtReport(n);
            EXPECT_EQ(ResultCanceled, convert(counting, source)) << source << " report " << n;
            EXPECT_EQ(static_cast<size_t>(n), counting.reports().size());
            expectNothingHeld(counting);
        });
    }
}

TEST(ConvertDocument, EmptyReportSlotRunsToTheEnd) {
    for (const char* source : {"book.txt", "book.pdb"}) {
        MemoryIo mem;
        mem.addFile("book.txt", std::string(kText));
        mem.addFile("book.pdb", sampleDoc());
        CountingIo counting(mem.ops());
        counting.withoutReportSlot();
        EXPECT_EQ(ResultOk, convert(counting, source)) << source;
        EXPECT_EQ(0, counting.calls(IoOp::Report));
        EXPECT_TRUE(counting.reports().empty());
        expectNothingHeld(counting);
    }
}

TEST(ConvertDocument, MalformedPalmDocGives105) {
    DocLayout tooMany;
    tooMany.announcedRecords = 2;
    const Bytes cases[] = {
        makePalmDoc({toBytes("x")}, tooMany),
        makePalmDoc({{0x41, 0x80, 0x10}}),             // copy from before the text
        makePalmDoc({toBytes("x"), {0x05, 0x41}}),      // literal run past the record
        [] {
            Bytes b = makePalmDoc({toBytes("abc"), toBytes("def")});
            b.resize(recordOffsetIn(b, 2) - 1);          // second record's start is gone
            return b;
        }(),
    };
    for (const Bytes& database : cases) {
        MemoryIo mem;
        mem.addFile("book.pdb", database);
        CountingIo counting(mem.ops());
        EXPECT_EQ(ResultPreprocessError, convert(counting, "book.pdb"));
        EXPECT_EQ(0, mem.writesToReadOnly());
        expectNothingHeld(counting);
    }
}

// The result codes a conversion may give when any one call misbehaves: a fault at a
// close or free may also go unnoticed, a refused report is a cancel, and a fault while
// writing the database is a conversion error.
void expectSoundUnder(const std::string& source, const Bytes& content, bool shorten) {
    MemoryIo mem;
    mem.addFile(source, content);
    CountingIo probe(mem.ops());
    ASSERT_EQ(ResultOk, convert(probe, source.c_str()));
    const int total = probe.calls(IoOp::Any);
    forEachFault(total + 1, [&](int k) {
        mem.removeFile("out.pdb");
        CountingIo counting(mem.ops());
        failOrShortAt(counting, IoOp::Any, k, shorten);
        const int32_t result = convert(counting, source.c_str());
        EXPECT_TRUE(isDefinedResult(result)) << source << " call " << k << " gave " << result;
        if (!counting.faultFired()) {
            EXPECT_EQ(ResultOk, result) << source << " call " << k;
        }
        EXPECT_EQ(0, mem.writesToReadOnly());
        expectNothingHeld(counting);
    });
}

TEST(ConvertDocument, AFaultAtAnyCallReleasesEverything) {
    std::string text;
    for (int line = 0; line < 400; ++line) text += "Line " + std::to_string(line) + "\r\n";
    std::vector<Bytes> records;
    for (int k = 0; k < 5; ++k) records.push_back(toBytes("Record " + std::to_string(k) + " text.\r\n"));
    records.push_back({0x01, 0x41, 0xC2, 0x80, 0x08});
    for (bool shorten : {false, true}) {
        expectSoundUnder("book.txt", toBytes(text), shorten);
        expectSoundUnder("book.pdb", makePalmDoc(records), shorten);
    }
}

TEST(DocProbes, IsDocSourceLooksAtTheCreatorOnly) {
    MemoryIo mem;
    DocLayout notDoc;
    notDoc.creator = "BOOK";
    DocLayout otherType;
    otherType.type = "Xyzw";
    mem.addFile("doc.pdb", sampleDoc());
    mem.addFile("other.pdb", makePalmDoc({toBytes("x")}, notDoc));
    mem.addFile("type.prc", makePalmDoc({toBytes("x")}, otherType));
    const Bytes doc = sampleDoc();
    mem.addFile("short", Bytes(doc.begin(), doc.begin() + 77));
    const IoOps& io = mem.ops();
    const struct {
        const char* name;
        bool expected;
    } cases[] = {{"doc.pdb", true}, {"other.pdb", false}, {"type.prc", true}, {"short", false}};
    for (const auto& c : cases) {
        const uint32_t handle = io.openStream(io.userData, c.name, 0);
        io.seekStream(io.userData, handle, 5, 0);  // the test starts from the beginning
        EXPECT_EQ(c.expected, isDocSource(io, handle)) << c.name;
        io.closeStream(io.userData, handle);
    }
}

TEST(DocProbes, ProbeDocTitleGivesTheNameOfPalmDocOnly) {
    MemoryIo mem;
    DocLayout longName;
    longName.name = std::string(32, 'N');  // no terminating zero in the file
    DocLayout notDoc;
    notDoc.creator = "Quib";
    mem.addFile("doc.pdb", sampleDoc());
    mem.addFile("long.pdb", makePalmDoc({toBytes("x")}, longName));
    mem.addFile("quib.pdb", makePalmDoc({toBytes("x")}, notDoc));
    mem.addFile("text.txt", std::string(200, 'R'));
    CountingIo counting(mem.ops());
    const IoOps& io = counting.ops();
    char name[33];
    ASSERT_TRUE(probeDocTitle(io, "doc.pdb", name));
    EXPECT_STREQ("Sample book", name);
    ASSERT_TRUE(probeDocTitle(io, "long.pdb", name));
    EXPECT_EQ(std::string(32, 'N'), std::string(name));
    std::fill(name, name + 33, 'u');
    EXPECT_FALSE(probeDocTitle(io, "quib.pdb", name));
    EXPECT_FALSE(probeDocTitle(io, "text.txt", name));
    EXPECT_FALSE(probeDocTitle(io, "missing.pdb", name));
    EXPECT_EQ('u', name[0]) << "the buffer is left alone on failure";
    expectNothingHeld(counting);

    CountingIo failingClose(mem.ops());
    failingClose.failAt(IoOp::Close, 1);
    EXPECT_FALSE(probeDocTitle(failingClose.ops(), "doc.pdb", name));
    expectNothingHeld(failingClose);
}

}  // namespace
