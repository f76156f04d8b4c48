// The writer's bytes are fixed field by field, its limits keep the handheld from reading
// past the records, and its cleanup must hold on every failure and cancel, so the tests
// pin fields at their offsets, probe each limit at its edge, and run whole conversions
// of a text with a fault at every call.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "engine/book_reader.h"
#include "engine/checked_io.h"
#include "engine/database_writer.h"
#include "tests/engine/book_fixture.h"
#include "tests/support/counting_io.h"
#include "tests/support/fault_sweep.h"
#include "tests/support/memory_io.h"

namespace {

Bytes operator+(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// The streams of one conversion, as the driver holds them, over any IoOps.
struct Streams {
    const IoOps& io;
    uint32_t text = 0, spill = 0, records = 0, offsets = 0, destination = 0;
    bool ready = false;

    Streams(const IoOps& table, const Bytes& textBytes) : io(table) {
        text = io.createTempStream(io.userData);
        spill = io.createTempStream(io.userData);
        records = io.createTempStream(io.userData);
        offsets = io.createTempStream(io.userData);
        destination = io.openStream(io.userData, "out.pdb", 1);
        ready = text && spill && records && offsets && destination &&
                writeExact(io, text, textBytes.data(), static_cast<int32_t>(textBytes.size()));
    }
    ~Streams() {
        for (uint32_t handle : {offsets, records, spill, text, destination})
            if (handle != 0) io.closeStream(io.userData, handle);
    }
    // Document records of the given sizes into T3, their offsets into T4.
    bool addDocumentRecords(const std::vector<Bytes>& list) {
        int32_t at = 0;
        for (const Bytes& record : list) {
            if (!writeExact(io, offsets, &at, 4)) return false;
            if (!writeExact(io, records, record.data(), static_cast<int32_t>(record.size()))) return false;
            at += static_cast<int32_t>(record.size());
        }
        return true;
    }
};

ConversionJob jobFor(const IoOps& io, const char* title = "Title") {
    return ConversionJob{&io, "source.txt", "out.pdb", title, 1, 0, 0, -1, -1, -1, -1, 0, 0};
}

DocumentRecordSet requestFor(const Streams& s) {
    DocumentRecordSet request{};
    request.recordStream = s.records;
    request.offsetStream = s.offsets;
    return request;
}

// Two groups, a stored chunk among them: every path of the writer.
Bytes sampleText() { return realText(5 * 4096) + randomBytes(4096, 5) + realText(4 * 4096 + 5); }

}  // namespace

TEST(DatabaseWriter, ConversionTimeCountsEveryFourthYearAsLeap) {
    EXPECT_EQ(3034713600u, conversionTime({2000, 3, 1, 0, 0, 0}));
    EXPECT_EQ(3029529599u, conversionTime({1999, 12, 31, 23, 59, 59}));
    EXPECT_EQ(1895506304u, conversionTime({2100, 3, 1, 0, 0, 0}));  // 2100 leap, wrapped
    EXPECT_EQ(0u, conversionTime({1904, 1, 1, 0, 0, 0}));
}

// Conversions on parallel jobs stamp their books at once: each must read the clock on
// its own (the ThreadSanitizer build of scripts/test reports a shared buffer here).
TEST(DatabaseWriter, ConversionTimeIsReadSafelyFromSeveralThreads) {
    const uint32_t before = currentConversionTime();
    std::vector<uint32_t> stamps(4);
    std::vector<std::thread> threads;
    for (size_t t = 0; t < stamps.size(); ++t)
        threads.emplace_back([&stamps, t] {
            for (int i = 0; i < 200; ++i) stamps[t] = currentConversionTime();
        });
    for (std::thread& thread : threads) thread.join();
    const uint32_t after = currentConversionTime();
    ASSERT_NE(0u, before);
    for (uint32_t stamp : stamps) {
        EXPECT_LE(before, stamp);
        EXPECT_LE(stamp, after);
    }
}

TEST(DatabaseWriter, HeaderFieldsSitAtTheirOffsets) {
    const uint32_t before = currentConversionTime();
    const BuiltBook book = buildBook(bytesOf("Hello"), "A title of forty characters, for a cut.");
    const uint32_t after = currentConversionTime();
    ASSERT_EQ(StepDone, book.result);
    const Bytes& db = book.database;
    ASSERT_GT(db.size(), 104u + 64);
    EXPECT_EQ("A title of forty characters, fo", std::string(reinterpret_cast<const char*>(db.data())));
    EXPECT_EQ(0, db[31]);
    EXPECT_EQ(0u, bigEndian16(db, 32));        // attributes
    EXPECT_EQ(0x0100u, bigEndian16(db, 34));   // version
    const uint32_t created = bigEndian32(db, 36);
    EXPECT_GE(created, before);
    EXPECT_LE(created, after);
    EXPECT_EQ(created, bigEndian32(db, 40));   // modification time
    for (size_t field = 44; field < 60; field += 4) EXPECT_EQ(0u, bigEndian32(db, field)) << field;
    EXPECT_EQ(0, std::memcmp(db.data() + 60, "QuibQuib", 8));
    EXPECT_EQ(0u, bigEndian32(db, 68));        // unique-id seed
    EXPECT_EQ(0u, bigEndian32(db, 72));        // next record list
    EXPECT_EQ(3u, bigEndian16(db, 76));
    // Entries: offset, attributes, 24-bit little-endian id; record 0 after the gap.
    EXPECT_EQ((Bytes{0, 0, 0, 104, 0, 0, 0, 0}), Bytes(db.begin() + 78, db.begin() + 86));
    EXPECT_EQ((Bytes{0, 0, 0, 168, 0, 1, 0, 0}), Bytes(db.begin() + 86, db.begin() + 94));
    EXPECT_EQ(2, db[94 + 5]);
    EXPECT_EQ((Bytes{0, 0}), Bytes(db.begin() + 102, db.begin() + 104));
    const Bytes zero(db.begin() + 104, db.begin() + 168);
    EXPECT_EQ((Bytes{0, 64, 0, 1, 1, 0, 1, 0, 'Q', 'u', 'i', 'b', 0, 0, 0, 5, 0, 8, 0, 3}),
              Bytes(zero.begin(), zero.begin() + 20));
    EXPECT_EQ(Bytes(12, 0), Bytes(zero.begin() + 20, zero.begin() + 32));  // no document runs
    const uint32_t stamped = bigEndian32(zero, 32);
    EXPECT_GE(stamped, before);
    EXPECT_LE(stamped, after);
    EXPECT_EQ(Bytes(28, 0), Bytes(zero.begin() + 36, zero.end()));
    expectBookOf(db, bytesOf("Hello"));
}

TEST(DatabaseWriter, EmptyTextBecomesOneLineFeed) {
    const BuiltBook book = buildBook(Bytes{});
    ASSERT_EQ(StepDone, book.result);
    EXPECT_EQ(Bytes{10}, book.textAfter);
    EXPECT_EQ(3u, bigEndian16(book.database, 76));
    expectBookOf(book.database, Bytes{10});
}

TEST(DatabaseWriter, DocumentRecordsFollowTheTextAndRecordZeroNamesTheirRuns) {
    MemoryIo memory;
    const IoOps& io = memory.ops();
    const Bytes text = realText(3 * 4096);
    Streams s(io, text);
    ASSERT_TRUE(s.ready);
    const std::vector<Bytes> documents = {randomBytes(10, 1), randomBytes(4100, 2), randomBytes(1, 3),
                                          randomBytes(300, 4)};
    ASSERT_TRUE(s.addDocumentRecords(documents));
    DocumentRecordSet request = requestFor(s);
    request.formatCount = 2;
    request.linkCount = 1;
    request.ruleCount = 0;
    request.boundaryCount = 1;
    request.pageCount = 2;
    const ConversionJob job = jobFor(io);
    ASSERT_EQ(StepDone, writeBookDatabase(job, s.text, s.spill, s.destination, &request, 4));
    const Bytes db = memory.bytesOfHandle(s.destination);

    const uint32_t r = 1 + 1 + 3;
    ASSERT_EQ(r + 4, bigEndian16(db, 76));
    const std::vector<Bytes> records = recordsOf(db);
    ASSERT_EQ(r + 4, records.size());
    const uint32_t base = bigEndian32(db, 78 + 8 * r);
    EXPECT_EQ(bigEndian32(db, 78 + 8 * (r - 1)) + records[r - 1].size(), base) << "right after the text";
    for (uint32_t k = 0; k < 4; ++k) {
        EXPECT_EQ(documents[k], records[r + k]) << k;
        EXPECT_EQ(r + k, db[78 + 8 * (r + k) + 5]) << "unique id";
    }
    const Bytes& zero = records[0];
    // format R, 2; link R+2, 1; rule R+3, 0; page count 2; boundaries R+3, 1.
    const uint32_t runs[] = {r, 2, r + 2, 1, r + 3, 0};
    for (int i = 0; i < 6; ++i) EXPECT_EQ(runs[i], bigEndian16(zero, 20 + 2 * i)) << i;
    EXPECT_EQ(2u, bigEndian16(zero, 36));
    EXPECT_EQ(r + 3, bigEndian16(zero, 38));
    EXPECT_EQ(1u, bigEndian16(zero, 40));
    EXPECT_NE(0u, bigEndian32(zero, 32));

    const ReadBook read = readBook(db);
    ASSERT_EQ(BookOk, read.result) << bookResultName(read.result);
    EXPECT_TRUE(read.text == text);
    EXPECT_EQ(0, memory.liveBlocks());
}

TEST(DatabaseWriter, RunsMustEndBelowIndex32768) {
    for (const int32_t documents : {32764, 32765}) {  // R is 3: the last run ends at 3 + count
        SCOPED_TRACE(documents);
        MemoryIo memory;
        const IoOps& io = memory.ops();
        Streams s(io, bytesOf("x"));
        ASSERT_TRUE(s.ready);
        ASSERT_TRUE(s.addDocumentRecords(std::vector<Bytes>(static_cast<size_t>(documents), Bytes{7})));
        DocumentRecordSet request = requestFor(s);
        request.formatCount = documents - 1;
        request.boundaryCount = 1;
        ASSERT_EQ(StepDone, writeDatabase(io, s.text, s.spill, s.destination, "t", 4096, 8, documents));
        const StepResult rc = appendDocumentRecords(io, s.records, s.offsets, s.destination, documents, request);
        EXPECT_EQ(documents == 32764 ? StepDone : StepFailed, rc);
        EXPECT_EQ(0, memory.liveBlocks());
    }
}

TEST(DatabaseWriter, DocumentRecordsThatDoNotFitTheFileAreRefused) {
    struct Row {
        const char* what;
        int32_t writtenCount;   // told to writeDatabase
        int32_t appendCount;    // told to appendDocumentRecords
        int badIndex;           // the offset in T4 replaced by badOffset, -1 = none
        uint32_t badOffset;
        int32_t formatCount;
    };
    const Row rows[] = {
        {"all well", 3, 3, -1, 0, 3},
        {"more records than the list has room for", 2, 3, -1, 0, 2},
        {"an offset past the record stream", 3, 3, 1, 1000, 3},
        {"an offset going back", 3, 3, 2, 4, 3},  // the second record starts at 5
        {"bytes before the first record", 3, 3, 0, 1, 3},
        {"record bytes but no records", 0, 0, -1, 0, 0},
        {"runs beyond the records", 3, 3, -1, 0, 4},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        MemoryIo memory;
        const IoOps& io = memory.ops();
        Streams s(io, bytesOf("some text"));
        ASSERT_TRUE(s.ready);
        ASSERT_TRUE(s.addDocumentRecords({Bytes(5, 1), Bytes(6, 2), Bytes(7, 3)}));
        if (row.badIndex >= 0) {
            ASSERT_TRUE(seekExact(io, s.offsets, 4 * row.badIndex));
            ASSERT_TRUE(writeExact(io, s.offsets, &row.badOffset, 4));
        }
        DocumentRecordSet request = requestFor(s);
        request.formatCount = row.formatCount;
        ASSERT_EQ(StepDone, writeDatabase(io, s.text, s.spill, s.destination, "t", 4096, 8, row.writtenCount));
        const StepResult rc = appendDocumentRecords(io, s.records, s.offsets, s.destination, row.appendCount, request);
        const bool good = std::string(row.what) == "all well";
        EXPECT_EQ(good ? StepDone : StepFailed, rc);
        EXPECT_EQ(0, memory.liveBlocks());
    }
}

TEST(DatabaseWriter, RecordCountsThatTheHeaderCannotHoldAreRefused) {
    for (const int32_t documents : {65532, 65533}) {  // R is 3; numRecords is 16-bit
        SCOPED_TRACE(documents);
        MemoryIo memory;
        const IoOps& io = memory.ops();
        Streams s(io, bytesOf("x"));
        ASSERT_TRUE(s.ready);
        const StepResult rc = writeDatabase(io, s.text, s.spill, s.destination, "t", 4096, 8, documents);
        EXPECT_EQ(documents == 65532 ? StepDone : StepFailed, rc);
    }
}

TEST(DatabaseWriter, StampSetsTheTimeAndClearsTheTail) {
    BuiltBook book = buildBook(bytesOf("text"));
    ASSERT_EQ(StepDone, book.result);
    const size_t zero = 78 + 8 * 3 + 2;
    for (size_t i = 32; i < 64; ++i) book.database[zero + i] = 0xEE;
    MemoryIo memory;
    memory.addFile("book.pdb", book.database);
    const IoOps& io = memory.ops();
    const uint32_t stream = io.openStream(io.userData, "book.pdb", 2);
    const uint32_t before = currentConversionTime();
    ASSERT_TRUE(stampRecordZero(io, stream));
    io.closeStream(io.userData, stream);
    const Bytes db = memory.bytesOf("book.pdb");
    EXPECT_GE(bigEndian32(db, zero + 32), before);
    EXPECT_EQ((Bytes{0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE}), Bytes(db.begin() + zero + 36, db.begin() + zero + 42))
        << "page count and boundary run are not the stamp's business";
    EXPECT_EQ(Bytes(22, 0), Bytes(db.begin() + zero + 42, db.begin() + zero + 64));
}

TEST(DatabaseWriter, RecordZeroShorterThan64BytesIsNotReadOrWritten) {
    // Record 1 starting 10 bytes into record 0 leaves record 0 only 10 bytes.
    BuiltBook book = buildBook(bytesOf("text"));
    ASSERT_EQ(StepDone, book.result);
    const uint32_t zeroOffset = bigEndian32(book.database, 78);
    const uint32_t early = zeroOffset + 10;
    for (int i = 0; i < 4; ++i) book.database[86 + i] = static_cast<uint8_t>(early >> (24 - 8 * i));
    MemoryIo memory;
    memory.addFile("book.pdb", book.database);
    const IoOps& io = memory.ops();
    const uint32_t stream = io.openStream(io.userData, "book.pdb", 2);
    DocumentHeaderRecord record{};
    EXPECT_FALSE(readRecordZero(io, stream, record));
    EXPECT_FALSE(writeRecordZero(io, stream, record));
    EXPECT_FALSE(stampRecordZero(io, stream));
    io.closeStream(io.userData, stream);
    EXPECT_EQ(book.database, memory.bytesOf("book.pdb"));
}

TEST(DatabaseWriter, DriverStepReportsItsStageBeforeAnything) {
    for (const bool html : {false, true}) {
        MemoryIo memory;
        CountingIo counting(memory.ops());
        const IoOps& io = counting.ops();
        {
            Streams s(io, bytesOf("text"));
            ASSERT_TRUE(s.ready);
            DocumentRecordSet request = requestFor(s);
            const ConversionJob job = jobFor(io);
            EXPECT_EQ(StepDone, writeBookDatabase(job, s.text, s.spill, s.destination,
                                                  html ? &request : nullptr, 0));
        }
        ASSERT_FALSE(counting.reports().empty());
        EXPECT_EQ(html ? StageCompressHtml : StageCompressText, counting.reports().front().stage);
        EXPECT_EQ(StagePercent, counting.reports().back().stage);
        expectNothingHeld(counting);
    }
}

TEST(DatabaseWriter, AnyFailedCallReleasesEverythingAndFailsTheRun) {
    const Bytes text = sampleText();
    MemoryIo probeMemory;
    CountingIo probe(probeMemory.ops());
    {
        Streams s(probe.ops(), text);
        ASSERT_EQ(StepDone, writeBookDatabase(jobFor(probe.ops()), s.text, s.spill, s.destination, nullptr, 0));
    }
    const int total = probe.calls(IoOp::Any);
    forEachFault(total, [&](int k) {
        MemoryIo memory;
        CountingIo counting(memory.ops());
        counting.failAt(IoOp::Any, k);
        StepResult rc = StepFailed;  // also when the streams could not be set up
        int callsAtReturn;
        {
            Streams s(counting.ops(), text);
            if (s.ready) rc = writeBookDatabase(jobFor(counting.ops()), s.text, s.spill, s.destination, nullptr, 0);
            callsAtReturn = counting.calls(IoOp::Any);
        }
        expectNothingHeld(counting);
        const IoOp failed = counting.log().at(static_cast<size_t>(k - 1)).op;
        // A refused free changes nothing for the engine; everything else must fail it.
        if (k <= callsAtReturn && failed != IoOp::Free) {
            EXPECT_NE(StepDone, rc) << "call " << k;
        }
    });
}

TEST(DatabaseWriter, AnyShortTransferFailsTheRunInsteadOfLosingText) {
    const Bytes text = sampleText();
    forEachFaultUntil([&](int k) {
        MemoryIo memory;
        CountingIo counting(memory.ops());
        counting.shortAt(IoOp::Any, k);
        StepResult rc = StepFailed;  // also when the streams could not be set up
        int callsAtReturn;
        {
            Streams s(counting.ops(), text);
            if (s.ready) rc = writeBookDatabase(jobFor(counting.ops()), s.text, s.spill, s.destination, nullptr, 0);
            callsAtReturn = counting.calls(IoOp::Any);
        }
        expectNothingHeld(counting);
        if (k > callsAtReturn) return false;
        const IoOp op = counting.log().at(static_cast<size_t>(k - 1)).op;
        if (op == IoOp::Read || op == IoOp::Write) {
            EXPECT_NE(StepDone, rc) << "call " << k;
        }
        return true;
    });
}

TEST(DatabaseWriter, CancelAtAnyReportUnwinds) {
    const Bytes text = sampleText();
    int reports = 0;
    {
        MemoryIo memory;
        CountingIo counting(memory.ops());
        Streams s(counting.ops(), text);
        ASSERT_EQ(StepDone, writeBookDatabase(jobFor(counting.ops()), s.text, s.spill, s.destination, nullptr, 0));
        reports = static_cast<int>(counting.reports().size());
    }
    EXPECT_EQ(1 + 11 + 1, reports) << "the stage, one per chunk, the closing 100";
    forEachFault(reports, [&](int n) {
        MemoryIo memory;
        CountingIo counting(memory.ops());
        counting.cancelAtReport(n);
        StepResult rc;
        Bytes written;
        {
            Streams s(counting.ops(), text);
            rc = writeBookDatabase(jobFor(counting.ops()), s.text, s.spill, s.destination, nullptr, 0);
            written = memory.bytesOfHandle(s.destination);
        }
        EXPECT_EQ(StepCanceled, rc) << "report " << n;
        expectNothingHeld(counting);
        if (n == 1) {
            EXPECT_TRUE(written.empty());
        }
    });
}
