// Fault injection across whole conversions: a three-page HTML site, a 100 KB text and a
// PalmDoc file, each converted once per IoOps call with that call failing, once per read
// and per write with that transfer falling one byte short, and once per progress report
// with that report answering cancel. Every run must give a defined result code, leave no
// handle or block behind, never write to a source, and when it claims success leave a
// database the book reader accepts.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "engine/book_reader.h"
#include "driver/conversion.h"
#include "tests/engine/book_fixture.h"
#include "tests/engine/engine_fixtures.h"
#include "tests/support/counting_io.h"
#include "tests/support/fault_sweep.h"
#include "tests/support/memory_io.h"
#include "tests/support/result_codes.h"

namespace {

constexpr const char* kDestination = "C:\\out\\book.pdb";

struct SweepSource {
    std::string root;                       // the source path
    std::map<std::string, Bytes> files;     // every file the conversion may open
    int pages = 0;                          // HTML: pages a clean run converts
};

SweepSource htmlSite() {
    SweepSource site;
    site.root = "C:\\site\\index.html";
    site.files[site.root] = toBytes(
        "<html><head><title>Garden</title></head><body><a name=\"top\"></a>"
        "<h1>The garden</h1><p>Where things grow, and <a href=\"beds.html#north\">the beds</a>"
        " and <a href=\"tools.html\">the tools</a>.</p><hr width=\"50%\" size=\"2\">"
        "<p>Back to <a href=\"#top\">the top</a>.</p></body></html>");
    site.files["C:\\site\\beds.html"] = toBytes(
        "<html><body><h2>Beds</h2><table border=1><tr><th>Bed</th><th>Crop</th></tr>"
        "<tr><td><a name=\"north\">North</a></td><td>Beans &amp; peas</td></tr>"
        "<tr><td>South</td><td>Onions</td></tr></table><hr>"
        "<a href=\"index.html#top\">Home</a> <a href=\"tools.html#spade\">Spade</a></body></html>");
    site.files["C:\\site\\tools.html"] = toBytes(
        "<html><body><ul><li><a name=\"spade\">Spade</a><li>Rake<li>Hoe</ul>"
        "<hr size=\"4\" noshade><pre>kept\tas is</pre><a href=\"beds.html\">Beds</a></body></html>");
    site.pages = 3;
    return site;
}

SweepSource longText() {
    SweepSource text;
    text.root = "C:\\books\\long.txt";
    text.files[text.root] = realText(100 * 1024);
    return text;
}

SweepSource palmDoc() {
    SweepSource doc;
    doc.root = "C:\\books\\ledger.pdb";
    std::vector<Bytes> records;
    const Bytes text = realText(5 * 3000);
    for (size_t at = 0; at < text.size(); at += 3000)
        records.emplace_back(text.begin() + static_cast<std::ptrdiff_t>(at),
                             text.begin() + static_cast<std::ptrdiff_t>(std::min(at + 3000, text.size())));
    // Literal run, space pair and overlapping copy: A, space, B, B, B, B.
    records.push_back({0x01, 0x41, 0xC2, 0x80, 0x08});
    doc.files[doc.root] = makePalmDoc(records);
    return doc;
}

ConversionJob jobFor(const IoOps& io, const SweepSource& source) {
    ConversionJob job = defaultJob(io, source.root.c_str(), kDestination);
    job.maxDepth = -1;
    return job;
}

// The book reader's verdict on the destination; `recordZero` gets its record 0.
int32_t readBack(MemoryIo& memory, DocumentHeaderRecord* recordZero = nullptr) {
    const IoOps& io = memory.ops();
    const uint32_t book = io.openStream(io.userData, kDestination, 0);
    if (book == 0) return -1;
    BookReader reader{};
    int32_t result = bookOpen(io, book, reader);
    const uint32_t out = io.createTempStream(io.userData);
    if (result == BookOk) result = bookReadText(reader, out);
    if (recordZero != nullptr) *recordZero = reader.recordZero;
    bookClose(reader);
    io.closeStream(io.userData, out);
    io.closeStream(io.userData, book);
    return result;
}

enum class Fault { FailCall, ShortRead, ShortWrite, Cancel };

// How a clean run of `source` uses the table: calls of each kind and progress reports.
struct Usage {
    int calls = 0, reads = 0, writes = 0, reports = 0;
};

Usage probe(const SweepSource& source) {
    MemoryIo memory;
    for (const auto& [name, bytes] : source.files) memory.addFile(name, bytes);
    CountingIo counting(memory.ops());
    EXPECT_EQ(ResultOk, convertDocument(jobFor(counting.ops(), source)));
    DocumentHeaderRecord recordZero{};
    EXPECT_EQ(BookOk, readBack(memory, &recordZero));
    if (source.pages > 0) {
        // The clean run is a real HTML conversion: every page, links and rules.
        EXPECT_EQ(source.pages, recordZero.pageCount);
        EXPECT_GT(recordZero.linkCount, 0);
        EXPECT_GT(recordZero.ruleCount, 0);
    }
    return {counting.calls(IoOp::Any), counting.calls(IoOp::Read), counting.calls(IoOp::Write),
            static_cast<int>(counting.reports().size())};
}

// One conversion with fault `fault` at `k`, and every promise checked.
void runWithFault(const SweepSource& source, Fault fault, int k) {
    MemoryIo memory;
    for (const auto& [name, bytes] : source.files) memory.addFile(name, bytes);
    CountingIo counting(memory.ops());
    switch (fault) {
        case Fault::FailCall: counting.failAt(IoOp::Any, k); break;
        case Fault::ShortRead: counting.shortAt(IoOp::Read, k); break;
        case Fault::ShortWrite: counting.shortAt(IoOp::Write, k); break;
        case Fault::Cancel: counting.cancelAtReport(k); break;
    }
    const int32_t result = convertDocument(jobFor(counting.ops(), source));
    SCOPED_TRACE(source.root + " fault " + std::to_string(static_cast<int>(fault)) + " at " + std::to_string(k));
    EXPECT_TRUE(isDefinedResult(result)) << result;
    expectNothingHeld(counting);
    EXPECT_EQ(0, memory.writesToReadOnly());
    for (const auto& [name, bytes] : source.files) EXPECT_EQ(bytes, memory.bytesOf(name)) << name;
    if (fault == Fault::Cancel) {
        EXPECT_EQ(ResultCanceled, result);
    } else if (!counting.faultFired()) {
        EXPECT_EQ(ResultOk, result);
    }
    if (result == ResultOk) {
        EXPECT_EQ(BookOk, readBack(memory)) << "success claimed over a damaged database";
    }
}

void sweep(const SweepSource& source, Fault fault) {
    const Usage usage = probe(source);
    const int last = fault == Fault::FailCall ? usage.calls + 1
                   : fault == Fault::ShortRead ? usage.reads
                   : fault == Fault::ShortWrite ? usage.writes
                   : usage.reports;
    ASSERT_GT(last, 0);
    // One broken promise is enough to read.
    forEachFault(last, [&](int k) { runWithFault(source, fault, k); }, SweepStop::AtAnyFailure);
}

TEST(FaultSweep, HtmlSiteFailAtEveryCall) { sweep(htmlSite(), Fault::FailCall); }
TEST(FaultSweep, HtmlSiteShortAtEveryRead) { sweep(htmlSite(), Fault::ShortRead); }
TEST(FaultSweep, HtmlSiteShortAtEveryWrite) { sweep(htmlSite(), Fault::ShortWrite); }
TEST(FaultSweep, HtmlSiteCancelAtEveryReport) { sweep(htmlSite(), Fault::Cancel); }
TEST(FaultSweep, LongTextFailAtEveryCall) { sweep(longText(), Fault::FailCall); }
TEST(FaultSweep, LongTextShortAtEveryRead) { sweep(longText(), Fault::ShortRead); }
TEST(FaultSweep, LongTextShortAtEveryWrite) { sweep(longText(), Fault::ShortWrite); }
TEST(FaultSweep, LongTextCancelAtEveryReport) { sweep(longText(), Fault::Cancel); }
TEST(FaultSweep, PalmDocFailAtEveryCall) { sweep(palmDoc(), Fault::FailCall); }
TEST(FaultSweep, PalmDocShortAtEveryRead) { sweep(palmDoc(), Fault::ShortRead); }
TEST(FaultSweep, PalmDocShortAtEveryWrite) { sweep(palmDoc(), Fault::ShortWrite); }
TEST(FaultSweep, PalmDocCancelAtEveryReport) { sweep(palmDoc(), Fault::Cancel); }

}  // namespace
