// The HTML pass over sites held in memory: which pages it converts and in what order,
// how links find their targets, its progress reports and cancel points, and that every
// stream, block and page handle is released on every path.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "html/html_pass.h"
#include "tests/engine/engine_fixtures.h"
#include "tests/html/pass_run.h"
#include "tests/support/counting_io.h"
#include "tests/support/fault_sweep.h"

namespace {

using Names = std::vector<std::string>;

const std::string kDir = "C:\\site\\";

struct Site {
    MemoryIo memory;
    Site(std::initializer_list<std::pair<const std::string, std::string>> pages) {
        for (const auto& [name, html] : pages) memory.addFile(kDir + name, html);
    }
    PassRun run(int32_t maxDepth = -1, const std::string& root = "index.htm") {
        PassOptions options;
        options.maxDepth = maxDepth;
        return runPassOver(memory, kDir + root, options);
    }
    PassRun run(const PassOptions& options, const std::string& root = "index.htm") {
        return runPassOver(memory, kDir + root, options);
    }
};

// A page that names itself in its text and links to `targets`.
std::string pageLinking(const std::string& name, const Names& targets) {
    std::string html = "<P>" + name;
    for (const std::string& target : targets) html += " <A HREF=\"" + target + "\">" + target + "</A>";
    return html;
}

Names withoutDir(const Names& paths) {
    Names names;
    for (const std::string& path : paths)
        names.push_back(path.compare(0, kDir.size(), kDir) == 0 ? path.substr(kDir.size()) : path);
    return names;
}

// What holds for every finished pass: the format runs cover the text from 0 to its end
// without a gap, the page boundaries end at each page's end, every link lands inside
// the text.
void expectWellFormed(const PassRun& run) {
    ASSERT_EQ(StepDone, run.result);
    ASSERT_TRUE(run.recordsDecoded);
    uint32_t covered = 0;
    for (const FormatRun& formatRun : run.runs) {
        EXPECT_EQ(covered, formatRun.start);
        covered = formatRun.start + formatRun.length;
    }
    EXPECT_EQ(run.text.size(), covered);
    if (run.request.pageCount > 1) {
        ASSERT_EQ(static_cast<size_t>(run.request.pageCount), run.boundaries.size());
        EXPECT_EQ(run.text.size(), run.boundaries.back());
    } else {
        EXPECT_TRUE(run.boundaries.empty());
    }
    for (const PassLink& link : run.links) {
        EXPECT_LT(link.start, link.end);
        EXPECT_LE(link.end, run.text.size());
        EXPECT_LT(link.target, run.text.size());
    }
}

// Chain: index -> a -> b -> c. Tree: index -> a, b; a -> c, d; b -> e.
Site chain() {
    return Site{{"index.htm", pageLinking("index", {"a.htm"})},
                {"a.htm", pageLinking("a", {"b.htm"})},
                 {"b.htm", pageLinking("b", {"c.htm"})},
                 {"c.htm", pageLinking("c", {})}};
}

Site tree() {
    return Site{{"index.htm", pageLinking("index", {"a.htm", "b.htm"})},
                 {"a.htm", pageLinking("a", {"c.htm", "d.htm"})},
                 {"b.htm", pageLinking("b", {"e.htm"})},
                 {"c.htm", pageLinking("c", {})},
                 {"d.htm", pageLinking("d", {"index.htm"})},
                 {"e.htm", pageLinking("e", {})}};
}

TEST(HtmlPassDepth, MaxDepthLimitsTheLinksFollowed) {
    struct Row { int32_t maxDepth; Names chainPages; Names treePages; };
    const Row rows[] = {
        {0, {"index.htm"}, {"index.htm"}},
        {1, {"index.htm", "a.htm"}, {"index.htm", "a.htm", "b.htm"}},
        {2, {"index.htm", "a.htm", "b.htm"}, {"index.htm", "a.htm", "b.htm", "c.htm", "d.htm", "e.htm"}},
        {-1, {"index.htm", "a.htm", "b.htm", "c.htm"}, {"index.htm", "a.htm", "b.htm", "c.htm", "d.htm", "e.htm"}},
    };
    for (const Row& row : rows) {
        PassRun run = chain().run(row.maxDepth);
        expectWellFormed(run);
        EXPECT_EQ(row.chainPages, withoutDir(run.pagesReported)) << "chain " << row.maxDepth;
        EXPECT_EQ(static_cast<int32_t>(row.chainPages.size()), run.request.pageCount);
        run = tree().run(row.maxDepth);
        expectWellFormed(run);
        // Breadth first: pages in the order their first link was met.
        EXPECT_EQ(row.treePages, withoutDir(run.pagesReported)) << "tree " << row.maxDepth;
    }
    // The text of the pages, in conversion order.
    const PassRun run = tree().run(-1);
    EXPECT_EQ("\n\nindex a.htm b.htm\n\n\na c.htm d.htm\n\n\nb e.htm\n\n\nc\n\n\nd index.htm\n\n\ne\n",
              run.text);
}

TEST(HtmlPassDepth, FramesKeepTheirPagesDepth) {
    Site site({{"index.htm", "<FRAMESET><FRAME SRC=\"nav.htm\"><FRAME SRC=\"main.htm\"></FRAMESET>"},
               {"nav.htm", pageLinking("nav", {"x.htm"})},
               {"main.htm", pageLinking("main", {})},
               {"x.htm", pageLinking("x", {})}});
    EXPECT_EQ((Names{"index.htm", "nav.htm", "main.htm"}), withoutDir(site.run(0).pagesReported));
    EXPECT_EQ((Names{"index.htm", "nav.htm", "main.htm", "x.htm"}), withoutDir(site.run(1).pagesReported));
}

TEST(HtmlPassDepth, TheLoopEndsAtTheFirstPageTooDeep) {
    // Queue: index, a, b (1), x (2, from a), f (1, b's frame), z (3, from x, then 2 from f).
    Site site({{"index.htm", pageLinking("index", {"a.htm", "b.htm"})},
               {"a.htm", pageLinking("a", {"x.htm"})},
               {"b.htm", "<FRAMESET><FRAME SRC=\"f.htm\"></FRAMESET>"},
               {"x.htm", pageLinking("x", {"z.htm"})},
               {"f.htm", pageLinking("f", {"z.htm"})},
               {"z.htm", pageLinking("z", {})}});
    // Depth 1 stops at x, so the frame f behind it is not converted either.
    EXPECT_EQ((Names{"index.htm", "a.htm", "b.htm"}), withoutDir(site.run(1).pagesReported));
    // z was queued at 3 through x; f's link is shorter and brings it to 2.
    const PassRun run = site.run(2);
    expectWellFormed(run);
    EXPECT_EQ((Names{"index.htm", "a.htm", "b.htm", "x.htm", "f.htm", "z.htm"}), withoutDir(run.pagesReported));
}

TEST(HtmlPassLinks, LinksBeyondTheDepthCarryNoTarget) {
    Site site({{"index.htm", "<A HREF=\"a.htm\">to a</A>"}, {"a.htm", "A"}});
    PassRun run = site.run(0);
    expectWellFormed(run);
    EXPECT_EQ(0, run.request.linkCount);
    EXPECT_TRUE(run.links.empty());
    run = site.run(1);
    expectWellFormed(run);
    EXPECT_EQ("to a\nA\n", run.text);
    EXPECT_EQ((std::vector<PassLink>{{0, 4, 5}}), run.links);
    EXPECT_EQ(1, run.request.linkCount);
    EXPECT_EQ(run.request.formatCount, run.request.linkFirst);
}

TEST(HtmlPassLinks, TargetsAreAnchorsOrPageTops) {
    Site site({{"index.htm",
                "<A HREF=\"#top\">up</A> <A HREF=\"b.htm#Mid\">mid</A> <A HREF=\"b.htm#none\">b</A>"
                " <A HREF=\"B.HTM\">B</A><A NAME=TOP>here</A>"},
               {"b.htm", "b start<P><A NAME=\"mid\"></A><P>b middle"}});
    const PassRun run = site.run(-1);
    expectWellFormed(run);
    const std::string index = "up mid b Bhere\n";
    ASSERT_EQ(index + "b start\n\nb middle\n", run.text);
    const uint32_t bStart = static_cast<uint32_t>(index.size());
    const uint32_t bMiddle = static_cast<uint32_t>(run.text.find("b middle"));
    EXPECT_EQ((std::vector<PassLink>{{0, 2, 10}, {3, 6, bMiddle}, {7, 8, bStart}, {9, 10, bStart}}), run.links);
    EXPECT_EQ((Names{"index.htm", "b.htm"}), withoutDir(run.pagesReported));
}

TEST(HtmlPassLinks, LinksInAnyLetterCaseReachOnePageOnce) {
    Site site({{"index.htm", pageLinking("index", {"A.htm", "a.HTM", "INDEX.HTM", "index.htm"})},
               {"A.htm", pageLinking("a", {"index.htm", "A.htm", "a.htm"})}});
    const PassRun run = site.run(-1);
    expectWellFormed(run);
    EXPECT_EQ((Names{"index.htm", "A.htm"}), withoutDir(run.pagesReported));
    EXPECT_EQ((Names{"index.htm", "A.htm"}), withoutDir(run.pagesAsked));
    EXPECT_EQ(7u, run.links.size());
}

TEST(HtmlPassLinks, AMissingPageCostsOneIterationAndProducesNothing) {
    Site site({{"index.htm", pageLinking("index", {"gone.htm", "a.htm"})}, {"a.htm", "A"}});
    PassRun run = site.run(-1);
    expectWellFormed(run);
    EXPECT_EQ((Names{"index.htm", "gone.htm", "a.htm"}), withoutDir(run.pagesAsked));
    EXPECT_EQ((Names{"index.htm", "a.htm"}), withoutDir(run.pagesReported));
    EXPECT_EQ(1u, run.links.size());  // the link to the missing page leaves no trace

    // Each page taken from the queue counts, opened or not: 32000 in all.
    for (int missing : {31998, 31999}) {
        std::string html;
        for (int i = 0; i < missing; ++i) html += "<A HREF=m" + std::to_string(i) + ">x</A>";
        Site big({{"index.htm", html + "<A HREF=last.htm>last</A>"}, {"last.htm", "LAST"}});
        run = big.run(-1);
        EXPECT_EQ(StepDone, run.result);
        EXPECT_EQ(static_cast<size_t>(std::min(missing + 2, kMaxPageIterations)), run.pagesAsked.size());
        EXPECT_EQ(missing == 31998, run.text.find("LAST") != std::string::npos) << missing;
    }
}

TEST(HtmlPassLinks, OnlyPagesFoundThroughLinksFramesOrTheSourceAreOpened) {
    Site site({{"index.htm", pageLinking("index", {"a.htm", "../up.htm"}) + "<FRAMESET><FRAME SRC=f.htm>"},
               {"a.htm", pageLinking("a", {"sub/b.htm#x", "http://host/c.htm"})},
               {"f.htm", "F"},
               {"sub\\b.htm", "B"},
               {"secret.htm", "never linked"},
               {"sub\\secret.htm", "never linked"}});
    const PassRun run = site.run(-1);
    expectWellFormed(run);
    EXPECT_EQ((Names{"index.htm", "f.htm", "a.htm", "C:\\up.htm", "sub/b.htm", "http://host/c.htm"}),
              withoutDir(run.pagesAsked));
    EXPECT_EQ(std::string::npos, run.text.find("never"));
}

TEST(HtmlPassBadInput, CyclesSelfLinksAndFloodsOfMissingPagesEnd) {
    std::string flood = "<P>flood";
    for (int i = 0; i < 3000; ++i) flood += "<A HREF=\"missing" + std::to_string(i) + ".htm#" + std::string(200, 'f') + "\">m</A>";
    flood += "<A HREF=\"" + std::string(240, 'h') + "\">long</A>";
    Site site({{"index.htm", pageLinking("index", {"a.htm", "index.htm", "#", "INDEX.htm#x"})},
               {"a.htm", pageLinking("a", {"b.htm", "a.htm"})},
               {"b.htm", pageLinking("b", {"index.htm", "a.htm", "flood.htm"})},
               {"flood.htm", flood}});
    const PassRun run = site.run(-1);
    expectWellFormed(run);
    EXPECT_EQ((Names{"index.htm", "a.htm", "b.htm", "flood.htm"}), withoutDir(run.pagesReported));
    EXPECT_EQ(4u + 3001u, run.pagesAsked.size());
}

TEST(HtmlPassProgress, ReportsInTheirOrder) {
    Site site({{"index.htm", pageLinking("index", {"a.htm"})}, {"a.htm", "A"}});
    const PassRun run = site.run(-1);
    std::vector<std::pair<int32_t, int32_t>> seen;
    for (const ProgressReport& report : run.reports) seen.emplace_back(report.stage, report.percent);
    const std::vector<std::pair<int32_t, int32_t>> expected = {
        {StageParseHtml, 0},
        {StageCurrentPage, 0}, {StagePageProgress, 0}, {StagePercent, 0}, {StagePercent, 100},
        {StageCurrentPage, 0}, {StagePageProgress, 0}, {StagePercent, 0}, {StagePercent, 100},
        {StageFormatHtml, 0}, {StagePercent, 5}, {StagePercent, 20}, {StagePercent, 40},
        {StagePercent, 60}, {StagePercent, 80}, {StagePercent, 100}};
    EXPECT_EQ(expected, seen);
    EXPECT_EQ((Names{"index.htm", "a.htm"}), withoutDir(run.pagesReported));

    // A longer page reports before each refill of the reader's window.
    Site big({{"index.htm", std::string(3000, 'x')}});
    const PassRun bigRun = big.run(-1);
    std::vector<int32_t> percents;
    for (size_t i = 3; i < bigRun.reports.size() && bigRun.reports[i].stage == StagePercent; ++i)
        percents.push_back(bigRun.reports[i].percent);
    EXPECT_EQ((std::vector<int32_t>{0, 34, 68, 100}), percents);

    PassOptions silent;
    silent.withReportSlot = false;
    const PassRun quiet = site.run(silent);
    EXPECT_EQ(StepDone, quiet.result);
    EXPECT_TRUE(quiet.reports.empty());
    EXPECT_EQ(run.text, quiet.text);
    EXPECT_EQ(run.records, quiet.records);
}

TEST(HtmlPassProgress, CancelAtAnyReportUnwinds) {
    Site site({{"index.htm", pageLinking("index", {"a.htm", "b.htm"}) + std::string(2500, 'i')},
               {"a.htm", pageLinking("a", {})},
               {"b.htm", pageLinking("b", {})}});
    const PassRun clean = site.run(-1);
    ASSERT_EQ(StepDone, clean.result);
    const size_t total = clean.reports.size();
    ASSERT_GE(total, 16u);
    forEachFault(static_cast<int>(total), [&](int n) {
        PassOptions options;
        options.arm = [n](CountingIo& io) { io.cancelAtReport(n); };
        const PassRun run = site.run(options);
        EXPECT_EQ(StepCanceled, run.result) << "report " << n;
        EXPECT_EQ(static_cast<size_t>(n), run.reports.size()) << "no report after the cancel";
        if (n == 1) {
            EXPECT_TRUE(run.passTemps.empty()) << "nothing is created before the first report";
        } else {
            // The pass's streams close in the reverse order of their creation, last of all.
            ASSERT_EQ(4u, run.passTemps.size());
            std::vector<uint32_t> last(run.closeOrder.end() - 4, run.closeOrder.end());
            EXPECT_EQ(std::vector<uint32_t>(run.passTemps.rbegin(), run.passTemps.rend()), last) << n;
        }
    });
}

TEST(HtmlPassFaults, FailingTempStreamsOrContextFailThePass) {
    Site site({{"index.htm", "x"}});
    forEachFault(4, [&](int k) {
        PassOptions options;
        // The harness created three streams before the pass.
        options.arm = [k](CountingIo& io) { io.failAt(IoOp::CreateTemp, 3 + k); };
        const PassRun run = site.run(options);
        EXPECT_EQ(StepFailed, run.result) << k;
        // Like the driver, the pass stops obtaining at the first failure.
        EXPECT_EQ(static_cast<size_t>(k - 1), run.passTemps.size()) << k;
        const auto count = [&run](IoOp op) {
            return std::count_if(run.log.begin(), run.log.end(), [op](const IoCall& c) { return c.op == op; });
        };
        EXPECT_EQ(3 + k, count(IoOp::CreateTemp)) << "no stream is asked for after the failed one";
        EXPECT_EQ(0, count(IoOp::Alloc)) << "nor the reader's context";
        EXPECT_TRUE(run.pagesAsked.empty());
    });
    forEachFault(2, [&](int k) {  // the context, then its element stack
        PassOptions options;
        options.arm = [k](CountingIo& io) { io.failAt(IoOp::Alloc, k); };
        EXPECT_EQ(StepFailed, site.run(options).result) << k;
    });
}

// Under a fault at any one call the pass fails, cancels or gives exactly the output of
// a clean run; only a page that could not be opened may be missing from it.
TEST(HtmlPassFaults, AFaultAtAnyCallIsReportedOrHarmless) {
    Site site({{"index.htm", "<H1>Home</H1>" + pageLinking("index", {"a.htm#n", "b.htm"}) + std::string(1500, 'i')},
               {"a.htm", "<A NAME=n>A</A><HR><TABLE BORDER><TR><TD>cell</TABLE>" + pageLinking("a", {"b.htm"})},
               {"b.htm", "<UL><LI>b<LI><A HREF=\"index.htm\">home</A></UL>"}});
    const PassRun clean = site.run(-1);
    expectWellFormed(clean);
    const int total = static_cast<int>(clean.log.size());
    forEachFailOrShort(total, [&](int k, bool shorten) {
        PassOptions options;
        options.arm = [k, shorten](CountingIo& io) {
            failOrShortAt(io, IoOp::Any, io.calls(IoOp::Any) + k, shorten);
        };
        const PassRun run = site.run(options);
        EXPECT_TRUE(run.result == StepDone || run.result == StepCanceled || run.result == StepFailed);
        if (!run.faultFired) {
            EXPECT_EQ(StepDone, run.result) << k;
        }
        if (run.result != StepDone) return;
        if (run.pagesReported.size() < clean.pagesReported.size()) return;  // not opened
        EXPECT_EQ(clean.text, run.text) << (shorten ? "short " : "fail ") << k;
        EXPECT_EQ(clean.records, run.records) << (shorten ? "short " : "fail ") << k;
    });
}

// The root page comes from the source the driver holds open; other pages are opened.
struct PageOpenerSite {
    MemoryIo mem;
    CountingIo counting{mem.ops()};
    ConversionJob job{};
    uint32_t source = 0;
    PageOpener opener{};
    PageOpenerSite() {
        mem.addFile("root.html", std::string("<html>"));
        mem.addFile("next.html", std::string("<p>"));
        const IoOps& io = counting.ops();
        job = defaultJob(io, "root.html", "out.pdb");
        source = io.openStream(io.userData, "root.html", 0);
        opener = PageOpener{&job, source};
    }
};

TEST(PageOpener, TheRootPageComesFromTheOpenSourceOnce) {
    PageOpenerSite site;
    PageOpener& opener = site.opener;
    EXPECT_EQ(site.source, openPage(&opener, "root.html"));
    closePage(&opener, site.source);
    EXPECT_EQ(0u, opener.cachedSource);
    const uint32_t next = openPage(&opener, "next.html");
    EXPECT_EQ(site.counting.handleOf("next.html"), next);
    EXPECT_EQ(0u, openPage(&opener, "missing.html"));
    closePage(&opener, next);
    closePage(&opener, 0);
    EXPECT_EQ((std::vector<uint32_t>{site.source, next}), site.counting.closeOrder());
    expectNothingHeld(site.counting);
}

TEST(PageOpener, HandsOutTheSourceOnlyForItsOwnPathAndKeepsItWhileOthersClose) {
    PageOpenerSite site;
    PageOpener& opener = site.opener;
    // Another page asked first is opened, not given the source's handle.
    const uint32_t next = openPage(&opener, "next.html");
    EXPECT_NE(site.source, next);
    EXPECT_EQ(site.counting.handleOf("next.html"), next);
    closePage(&opener, next);
    EXPECT_EQ(site.source, opener.cachedSource) << "closing another page must not forget the source";
    EXPECT_EQ(site.source, openPage(&opener, "root.html"));
    closePage(&opener, site.source);
    EXPECT_EQ(0u, opener.cachedSource);
    expectNothingHeld(site.counting);
}

}  // namespace
