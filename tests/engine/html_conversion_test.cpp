// An HTML source through the driver, up to the end of its first step: how it is
// recognised, its result codes, the order in which the source, the pass's streams and
// the driver's streams are closed, and the title probe.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "driver/conversion.h"
#include "driver/html_probes.h"
#include "tests/engine/engine_fixtures.h"
#include "tests/support/counting_io.h"
#include "tests/support/fault_sweep.h"
#include "tests/support/memory_io.h"
#include "tests/support/result_codes.h"

namespace {

const char* const kRoot = "C:\\site\\index.htm";

void addSite(MemoryIo& memory) {
    memory.addFile(kRoot, std::string("<HTML><TITLE>The  site</TITLE><H1>Home</H1><A HREF=\"a.htm\">a</A>"));
    memory.addFile("C:\\site\\a.htm", std::string("<P>Page a <A HREF=\"index.htm#top\">back</A>"));
    memory.addFile("C:\\site\\unlinked.htm", std::string("<HTML>never read"));
}

int32_t convertSite(CountingIo& counting, int32_t maxDepth = -1) {
    ConversionJob job = defaultJob(counting.ops(), kRoot, "out.pdb");
    job.maxDepth = maxDepth;
    return convertDocument(job);
}

TEST(HtmlConversion, AnHtmlSourceRunsThePassAndClosesEverythingInOrder) {
    MemoryIo memory;
    addSite(memory);
    CountingIo counting(memory.ops());
    EXPECT_EQ(ResultOk, convertSite(counting));
    ASSERT_FALSE(counting.reports().empty());
    EXPECT_EQ(StageParseHtml, counting.reports().front().stage);
    // The pass closes the source after the root page, its own four streams at its end;
    // then the driver closes its four in reverse and the destination, not the source.
    const std::vector<uint32_t> temps = counting.tempHandles();
    ASSERT_EQ(8u, temps.size());
    std::vector<uint32_t> expected{counting.handleOf(kRoot), counting.handleOf("C:\\site\\a.htm")};
    for (int i = 7; i >= 0; --i) expected.push_back(temps[static_cast<size_t>(i)]);
    expected.push_back(counting.handleOf("out.pdb"));
    EXPECT_EQ(expected, counting.closeOrder());
    EXPECT_EQ(0u, counting.handleOf("C:\\site\\unlinked.htm"));
    EXPECT_EQ(0, memory.writesToReadOnly());
    expectNothingHeld(counting);
}

TEST(HtmlConversion, ThePassResultBecomesTheDriversCode) {
    MemoryIo memory;
    addSite(memory);
    {
        CountingIo counting(memory.ops());
        counting.failAt(IoOp::CreateTemp, 5);  // the pass's first stream
        EXPECT_EQ(ResultConversionError, convertSite(counting));
        expectNothingHeld(counting);
    }
    CountingIo probe(memory.ops());
    ASSERT_EQ(ResultOk, convertSite(probe));
    const int reports = static_cast<int>(probe.reports().size());
    forEachFault(reports, [&](int n) {
        CountingIo counting(memory.ops());
        counting.cancelAtReport(n);
        EXPECT_EQ(ResultCanceled, convertSite(counting)) << "report " << n;
        expectNothingHeld(counting);
    });
}

TEST(HtmlConversion, AFaultAtAnyCallReleasesEverything) {
    MemoryIo memory;
    addSite(memory);
    CountingIo probe(memory.ops());
    ASSERT_EQ(ResultOk, convertSite(probe));
    const int total = probe.calls(IoOp::Any);
    forEachFailOrShort(total, [&](int k, bool shorten) {
        memory.removeFile("out.pdb");
        CountingIo counting(memory.ops());
        failOrShortAt(counting, IoOp::Any, k, shorten);
        const int32_t result = convertSite(counting);
        // Never a preprocessing error: the site goes through the HTML pass, or, when the
        // fault was spent on the sniff, through a text pass that meets no fault.
        EXPECT_TRUE(isDefinedResult(result) && result != ResultPreprocessError)
            << "call " << k << " gave " << result;
        if (!counting.faultFired()) {
            EXPECT_EQ(ResultOk, result) << k;
        }
        EXPECT_EQ(0u, counting.handleOf("C:\\site\\unlinked.htm"));
        EXPECT_EQ(0, memory.writesToReadOnly());
        expectNothingHeld(counting);
    });
}

TEST(HtmlConversion, ASourceIsHtmlOnlyWhenTheSniffCanRun) {
    MemoryIo memory;
    addSite(memory);
    const std::string headFirst = "<HEAD><TITLE>t</TITLE></HEAD>text";
    memory.addFile("head.dat", headFirst);
    memory.addFile("head.htm", headFirst);
    memory.addFile("site.dat", "<html><body>root</body></html>");
    for (const char* name : {"head.dat", "head.htm"}) {
        CountingIo counting(memory.ops());
        EXPECT_EQ(ResultOk, convertDocument(defaultJob(counting.ops(), name, "out.pdb")));
        // Not HTML by its first tag; by its name, whatever its first bytes.
        const bool byName = std::string(name) == "head.htm";
        EXPECT_EQ(byName ? StageParseHtml : StagePreprocessText, counting.reports().front().stage) << name;
        expectNothingHeld(counting);
    }
    // Without memory for the sniff's context a source named otherwise is converted as text.
    CountingIo counting(memory.ops());
    counting.failAt(IoOp::Alloc, 1);
    EXPECT_EQ(ResultOk, convertDocument(defaultJob(counting.ops(), "site.dat", "out.pdb")));
    EXPECT_EQ(StagePreprocessText, counting.reports().front().stage);
    expectNothingHeld(counting);
}

TEST(HtmlConversion, TheTitleProbeReadsTheTitleElement) {
    MemoryIo memory;
    addSite(memory);
    memory.addFile("long.htm", "<title>" + std::string(40, 'L') + "</title>");
    memory.addFile("none.htm", std::string("<html><head></head><title>late</title>"));
    CountingIo counting(memory.ops());
    const IoOps& io = counting.ops();
    char title[32];
    ASSERT_TRUE(probeHtmlTitle(io, kRoot, title, 31));
    EXPECT_STREQ("The site", title);
    ASSERT_TRUE(probeHtmlTitle(io, "long.htm", title, 31));
    EXPECT_EQ(std::string(31, 'L'), std::string(title));
    ASSERT_TRUE(probeHtmlTitle(io, "none.htm", title, 31));
    EXPECT_STREQ("", title);
    EXPECT_FALSE(probeHtmlTitle(io, "C:\\site\\a.htm", title, 31));  // no title within the search
    EXPECT_FALSE(probeHtmlTitle(io, "missing.htm", title, 31));
    expectNothingHeld(counting);

    CountingIo noMemory(memory.ops());
    noMemory.failAt(IoOp::Alloc, 1);
    EXPECT_FALSE(probeHtmlTitle(noMemory.ops(), kRoot, title, 31));
    expectNothingHeld(noMemory);
}

}  // namespace
