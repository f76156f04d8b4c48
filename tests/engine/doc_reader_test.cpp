// PalmDoc input: the expansion and each way a record can be malformed, record 0's
// counts, stored (uncompressed) text with bytes the expansion would misread, and files
// made by an independent producer (Debian's txt2pdbdoc) compared with the same text
// read as plain text.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>

#include "engine/doc_reader.h"
#include "engine/preprocess.h"
#include "tests/engine/engine_fixtures.h"
#include "tests/support/counting_io.h"
#include "tests/support/memory_io.h"
#include "tests/support/temp_dir.h"

namespace {

// Expands `record` (stored as a stream of its own at offset 0): 1 with `out`, or 0.
bool expand(const Bytes& record, int32_t capacity, Bytes& out) {
    MemoryIo mem;
    mem.addFile("r", record);
    const IoOps& io = mem.ops();
    const uint32_t handle = io.openStream(io.userData, "r", 0);
    std::vector<uint8_t> buffer(static_cast<size_t>(capacity) + 16, 0xEE);
    int32_t length = -1;
    const int ok = docExpand(io, handle, 0, static_cast<int32_t>(record.size()), buffer.data(),
                             capacity, length);
    io.closeStream(io.userData, handle);
    // Nothing past the capacity is ever touched.
    for (size_t k = static_cast<size_t>(capacity); k < buffer.size(); ++k) EXPECT_EQ(0xEE, buffer[k]);
    out.assign(buffer.begin(), buffer.begin() + (ok ? length : 0));
    return ok;
}

struct DocRun {
    StepResult result;
    std::string text;
};

// preprocessDoc over `database` with `job`'s options (its io is replaced).
DocRun runDoc(const Bytes& database, ConversionJob job) {
    MemoryIo mem;
    mem.addFile("book.pdb", database);
    const IoOps& io = mem.ops();
    job.io = &io;
    const uint32_t source = io.openStream(io.userData, "book.pdb", 0);
    const uint32_t text = io.createTempStream(io.userData);
    DocRun run;
    run.result = preprocessDoc(job, source, text);
    run.text = toText(mem.bytesOfHandle(text));
    io.closeStream(io.userData, text);
    io.closeStream(io.userData, source);
    EXPECT_EQ(0, mem.writesToReadOnly());
    return run;
}

DocRun runText(const Bytes& content, ConversionJob job) {
    MemoryIo mem;
    mem.addFile("book.txt", content);
    const IoOps& io = mem.ops();
    job.io = &io;
    const uint32_t source = io.openStream(io.userData, "book.txt", 0);
    const uint32_t text = io.createTempStream(io.userData);
    DocRun run;
    run.result = preprocessText(job, source, text);
    run.text = toText(mem.bytesOfHandle(text));
    io.closeStream(io.userData, text);
    io.closeStream(io.userData, source);
    return run;
}

ConversionJob plainJob() {
    static MemoryIo unused;
    return defaultJob(unused.ops(), "src", "dst");
}

TEST(DocExpand, TheWorkedExample) {
    Bytes out;
    ASSERT_TRUE(expand({0x01, 0x41, 0xC2, 0x80, 0x08}, 4096, out));
    EXPECT_EQ("A BBBB", toText(out));
}

TEST(DocExpand, EveryKindOfByte) {
    Bytes out;
    // 0 and 9..127 as themselves; a run of 8; an overlapping copy of 10 from distance 1;
    // a copy of 3 from distance 4; a space pair with 0x7F.
    ASSERT_TRUE(expand({0x00, 0x09, 0x7F, 0x08, 1, 2, 3, 4, 0x80, 0xC8, 0xFF, 0x41, 0x80, 0x0F,
                         0x80, 0x20, 0xFF},
                        4096, out));
    // ten 0x41 from the overlapping copy, then distance 4 back reads 0x41 0x41 0x41: all
    // A's at this point
    const Bytes expected{0x00, 0x09, 0x7F, 1,    2,    3,    4,    0x80, 0xC8, 0xFF, 0x41,
                         0x41, 0x41, 0x41, 0x41, 0x41, 0x41, 0x41, 0x41, 0x41, 0x41,
                         0x41, 0x41, 0x41, ' ',  0x7F};
    EXPECT_EQ(expected, out);
}

TEST(DocExpand, EachMalformedRecordFails) {
    const struct {
        const char* what;
        Bytes record;
        int32_t capacity;
    } cases[] = {
        {"literal run past the end", {0x41, 0x03, 0x42, 0x43}, 4096},
        {"copy pair cut off", {0x41, 0x42, 0x80}, 4096},
        {"distance 0", {0x41, 0x80, 0x03}, 4096},
        {"distance before the first byte", {0x41, 0x80, 0x10}, 4096},
        {"copy at the very start", {0x80, 0x08}, 4096},
        {"plain bytes over capacity", {0x41, 0x42, 0x43, 0x44}, 3},
        {"literal run over capacity", {0x04, 1, 2, 3, 4}, 3},
        {"copy over capacity", {0x41, 0x80, 0x08}, 3},
        {"space pair over capacity", {0x41, 0xC2}, 2},
    };
    for (const auto& c : cases) {
        Bytes out;
        EXPECT_FALSE(expand(c.record, c.capacity, out)) << c.what;
    }
    Bytes out;
    EXPECT_TRUE(expand({0x41, 0x80, 0x08}, 4, out)) << "exactly full is fine";
    EXPECT_TRUE(expand({}, 0, out)) << "an empty record is empty text";
}

TEST(DocExpand, SeekAndReadFailuresFail) {
    MemoryIo mem;
    mem.addFile("r", Bytes{0x41, 0x42, 0x43});
    for (IoOp op : {IoOp::Seek, IoOp::Read}) {
        CountingIo counting(mem.ops());
        counting.failAt(op, 1);
        const IoOps& io = counting.ops();
        const uint32_t handle = io.openStream(io.userData, "r", 0);
        uint8_t buffer[8];
        int32_t length = 0;
        EXPECT_FALSE(docExpand(io, handle, 0, 3, buffer, 8, length));
        io.closeStream(io.userData, handle);
    }
    // A size reaching past the end of the stream.
    const IoOps& io = mem.ops();
    const uint32_t handle = io.openStream(io.userData, "r", 0);
    uint8_t buffer[8];
    int32_t length = 0;
    EXPECT_FALSE(docExpand(io, handle, 1, 3, buffer, 8, length));
    io.closeStream(io.userData, handle);
}

TEST(DocExpand, HostileRecordsStayInsideTheBuffer) {
    std::mt19937 random(12345);
    for (int trial = 0; trial < 3000; ++trial) {
        Bytes record(random() % 64);
        for (uint8_t& b : record) b = static_cast<uint8_t>(random());
        const int32_t capacity = static_cast<int32_t>(random() % 80);
        Bytes out;
        if (expand(record, capacity, out)) {
            EXPECT_LE(out.size(), static_cast<size_t>(capacity));
        }
    }
}

TEST(DocReader, ReadsRecordsInOrderAndSkipsEmptyOnes) {
    const Bytes database = makePalmDoc({toBytes("first "), {}, {0x01, 0x41, 0xC2, 0x80, 0x08}});
    MemoryIo mem;
    mem.addFile("b", database);
    const IoOps& io = mem.ops();
    const uint32_t handle = io.openStream(io.userData, "b", 0);
    DocReader reader;
    ASSERT_TRUE(docOpen(reader, io, handle));
    EXPECT_EQ(1, reader.nextRecord);
    EXPECT_EQ(4, reader.endRecord);
    uint8_t buffer[4096];
    int32_t length = 0;
    EXPECT_FALSE(docNextRecord(reader, buffer, 4095, length)) << "capacity below 4096";
    ASSERT_TRUE(docNextRecord(reader, buffer, 4096, length));
    EXPECT_EQ("first ", std::string(reinterpret_cast<char*>(buffer), length));
    ASSERT_TRUE(docNextRecord(reader, buffer, 4096, length));
    EXPECT_EQ("A BBBB", std::string(reinterpret_cast<char*>(buffer), length));
    EXPECT_EQ(4, reader.nextRecord);
    ASSERT_TRUE(docNextRecord(reader, buffer, 4096, length));
    EXPECT_EQ(0, length);
    io.closeStream(io.userData, handle);
}

TEST(PreprocessDoc, RecordZeroAnnouncingTooManyRecordsFails) {
    const std::vector<Bytes> records{toBytes("one"), toBytes("two")};
    DocLayout layout;
    layout.announcedRecords = 3;  // as many as the database has, record 0 included
    EXPECT_EQ(StepFailed, runDoc(makePalmDoc(records, layout), plainJob()).result);
    layout.announcedRecords = 60000;
    EXPECT_EQ(StepFailed, runDoc(makePalmDoc(records, layout), plainJob()).result);
    layout.announcedRecords = 1;  // fewer is allowed: the rest is not text
    const DocRun run = runDoc(makePalmDoc(records, layout), plainJob());
    EXPECT_EQ(StepDone, run.result);
    EXPECT_EQ("one", run.text);
}

TEST(PreprocessDoc, StoredTextKeepsAccentsAndLowBytes) {
    // Windows-1252 text: e acute, e grave, i diaeresis, the euro sign, bytes 1 to 8.
    const std::string first = "Caf\xE9 cr\xE8me, na\xEFve \x80 5\x01\x02\x08 ";
    const std::string second = "\xC0 bient\xF4t\r\n";
    DocLayout layout;
    layout.compression = 1;
    const DocRun run = runDoc(makePalmDoc({toBytes(first), toBytes(second)}, layout), plainJob());
    ASSERT_EQ(StepDone, run.result);
    EXPECT_EQ(first + "\xC0 bient\xF4t\n", run.text);
}

TEST(PreprocessDoc, StoredRecordLargerThanTheBufferFails) {
    DocLayout layout;
    layout.compression = 1;
    EXPECT_EQ(StepDone, runDoc(makePalmDoc({Bytes(8192, 'x')}, layout), plainJob()).result);
    EXPECT_EQ(StepFailed, runDoc(makePalmDoc({Bytes(8193, 'x')}, layout), plainJob()).result);
}

TEST(PreprocessDoc, TruncatedFilesFailBeforeTheLastRecord) {
    const Bytes database = makePalmDoc({toBytes("alpha beta "), {0x01, 0x41, 0xC2, 0x80, 0x08},
                                        toBytes("gamma")});
    const uint32_t lastRecord = recordOffsetIn(database, 3);
    for (size_t cut = 0; cut < database.size(); ++cut) {
        const Bytes truncated(database.begin(), database.begin() + cut);
        const DocRun run = runDoc(truncated, plainJob());
        if (cut < lastRecord) {
            EXPECT_EQ(StepFailed, run.result) << "cut at " << cut;
        } else {
            // The last record runs to the end of the file, so it is merely shorter.
            EXPECT_EQ(StepDone, run.result) << "cut at " << cut;
        }
    }
}

TEST(PreprocessDoc, FilterStateCarriesAcrossRecords) {
    ConversionJob job = plainJob();
    job.removeCR = 0;
    job.slbSpaces = 1;
    const DocRun run = runDoc(makePalmDoc({toBytes("one\r"), toBytes("\ntwo\r\n"), toBytes("\r\nthree\n")}), job);
    ASSERT_EQ(StepDone, run.result);
    EXPECT_EQ("one two\r\n\r\nthree", run.text);
}

TEST(PreprocessDoc, ReportsPercentPerRecordAndCancels) {
    const Bytes database = makePalmDoc({toBytes("a"), toBytes("b"), toBytes("c"), toBytes("d")});
    MemoryIo mem;
    mem.addFile("b", database);
    {
        CountingIo counting(mem.ops());
        const IoOps& io = counting.ops();
        const ConversionJob job = defaultJob(io, "b", "d");
        const uint32_t source = io.openStream(io.userData, "b", 0);
        const uint32_t text = io.createTempStream(io.userData);
        EXPECT_EQ(StepDone, preprocessDoc(job, source, text));
        std::vector<int32_t> percents;
        for (const ProgressReport& report : counting.reports()) {
            EXPECT_EQ(StagePercent, report.stage);
            percents.push_back(report.percent);
        }
        EXPECT_EQ((std::vector<int32_t>{40, 60, 80, 100}), percents);  // nextRecord x 100 / 5
        io.closeStream(io.userData, text);
        io.closeStream(io.userData, source);
    }
    CountingIo counting(mem.ops());
    counting.cancelAtReport(2);
    const IoOps& io = counting.ops();
    const ConversionJob job = defaultJob(io, "b", "d");
    const uint32_t source = io.openStream(io.userData, "b", 0);
    const uint32_t text = io.createTempStream(io.userData);
    EXPECT_EQ(StepCanceled, preprocessDoc(job, source, text));
    EXPECT_EQ(2u, counting.reports().size());
    io.closeStream(io.userData, text);
    io.closeStream(io.userData, source);
}

TEST(PreprocessText, ReportsPercentPerPieceAndHandlesEmptySources) {
    MemoryIo mem;
    mem.addFile("t", std::string(10000, 'x'));
    mem.addFile("empty", std::string());
    CountingIo counting(mem.ops());
    const IoOps& io = counting.ops();
    const ConversionJob job = defaultJob(io, "t", "d");
    const uint32_t source = io.openStream(io.userData, "t", 0);
    const uint32_t empty = io.openStream(io.userData, "empty", 0);
    const uint32_t text = io.createTempStream(io.userData);
    EXPECT_EQ(StepDone, preprocessText(job, source, text));
    ASSERT_EQ(3u, counting.reports().size());
    EXPECT_EQ(40, counting.reports()[0].percent);  // 4096 x 100 / 10000
    EXPECT_EQ(81, counting.reports()[1].percent);
    EXPECT_EQ(100, counting.reports()[2].percent);
    EXPECT_EQ(StepDone, preprocessText(job, empty, text));
    EXPECT_EQ(3u, counting.reports().size()) << "an empty source makes no report";
    for (uint32_t h : {text, empty, source}) io.closeStream(io.userData, h);
    expectNothingHeld(counting);
}

// --- Files made by txt2pdbdoc -------------------------------------------------------

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool haveTxt2pdbdoc() { return std::system("command -v txt2pdbdoc >/dev/null 2>&1") == 0; }

// Runs txt2pdbdoc on `text` (`-b` keeps every byte as it is; `stored` adds `-c`, no
// compression) and returns the database.
Bytes producedByTxt2pdbdoc(const TempDir& dir, const std::string& text, bool stored) {
    dir.write("in.txt", text);
    const std::string command = std::string("txt2pdbdoc -b ") + (stored ? "-c " : "") + "'Made' '" +
                                dir.file("in.txt") + "' '" + dir.file("out.pdb") + "' >/dev/null 2>&1";
    EXPECT_EQ(0, std::system(command.c_str())) << command;
    return toBytes(readFile(dir.file("out.pdb")));
}

std::vector<ConversionJob> optionSets() {
    std::vector<ConversionJob> jobs;
    ConversionJob job = plainJob();
    jobs.push_back(job);  // defaults
    job.removeCR = 0;
    job.slbSpaces = 1;
    jobs.push_back(job);  // single line breaks joined
    job = plainJob();
    job.convertCRtoLF = 1;
    job.removeCR = 0;
    job.tabToSpace = 4;
    jobs.push_back(job);
    return jobs;
}

TEST(PreprocessDoc, Txt2pdbdocFilesGiveTheFilteredText) {
    if (!haveTxt2pdbdoc()) GTEST_SKIP() << "txt2pdbdoc is not installed";
    std::vector<std::string> texts;
    for (const char* name : {"GPL-3", "Apache-2.0", "Artistic", "BSD", "MPL-2.0"}) {
        const std::string text = readFile(std::string("/usr/share/common-licenses/") + name);
        if (!text.empty()) texts.push_back(text);
    }
    // CR LF lines, tabs, NUL bytes and accented Windows-1252 letters, over many records.
    std::string mixed;
    for (int line = 0; line < 900; ++line) {
        mixed += "Ligne " + std::to_string(line) + "\t: d\xE9j\xE0 vu, na\xEFve \x80";
        mixed += line % 7 == 0 ? "\r\n\r\n" : "\r\n";
        if (line % 50 == 0) mixed += std::string("\x01\x00\x08", 3);
    }
    texts.push_back(mixed);
    ASSERT_GE(texts.size(), 4u) << "too few license texts on this machine";

    TempDir dir;
    for (const std::string& text : texts) {
        for (bool stored : {false, true}) {
            const Bytes database = producedByTxt2pdbdoc(dir, text, stored);
            ASSERT_GT(database.size(), 78u);
            for (const ConversionJob& job : optionSets()) {
                const DocRun fromDoc = runDoc(database, job);
                const DocRun fromText = runText(toBytes(text), job);
                ASSERT_EQ(StepDone, fromDoc.result) << (stored ? "stored" : "compressed");
                EXPECT_EQ(fromText.text, fromDoc.text)
                    << (stored ? "stored" : "compressed") << " text of " << text.size() << " bytes";
            }
        }
    }
}

}  // namespace
