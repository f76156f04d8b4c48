// A whole run from the web, through the worker, the engine and a fake web: the pages the
// engine converts, the charset the server names, the pages that could not be had, the
// source's own failure with its reason, and every handle released when any call fails.
#include <gtest/gtest.h>

#include <map>

#include "frontend/conversion_run.h"
#include "frontend/html_reference_rules.h"
#include "tests/frontend/fakes.h"
#include "tests/support/counting_io.h"
#include "tests/support/fault_sweep.h"
#include "tests/support/memory_io.h"

namespace {

struct Served {
    std::string body;
    std::string charset;
};

class SiteWeb : public WebFetching {
public:
    std::map<std::string, Served> pages;
    std::vector<std::string> asked;
    WebFetchOutcome fetch(const std::string& address, bool, const std::function<bool(const uint8_t*, size_t)>& sink,
                          const std::function<bool(const std::string&)>&, const std::function<bool()>&) override {
        asked.push_back(address);
        WebFetchOutcome outcome;
        const auto page = pages.find(address);
        if (page == pages.end()) {
            outcome.status = 404;
            outcome.reason = "HTTP 404 Not Found";
            return outcome;
        }
        if (!sink(reinterpret_cast<const uint8_t*>(page->second.body.data()), page->second.body.size())) {
            outcome.reason = "cannot be stored";
            return outcome;
        }
        outcome.succeeded = true;
        outcome.status = 200;
        outcome.finalAddress = address;
        outcome.charset = page->second.charset;
        return outcome;
    }
};

class WebRun : public ::testing::Test {
protected:
    WebRun() {
        web.pages["http://site/docs/index.html"] = {"<p>Root</p><a href=\"a.html\">a</a> <a href=\"gone.html\">g</a> "
                                                    "<a href=\"../outside.html\">o</a> <a href=\"file:///etc/passwd\">f</a>",
                                                    ""};
        // The header's charset goes before the page's own (wrong) declaration.
        web.pages["http://site/docs/a.html"] = {"<meta charset=utf-8><p>\xA3\xF3" "d\xBC</p>", "iso-8859-2"};
        web.pages["http://site/outside.html"] = {"<p>never</p>", ""};
        web.pages["http://site/robots.txt"] = {"", ""};
        access.fetching = &web;
        access.waitSeconds = 0;
        access.mayGo = [](const std::string& address) { return address.rfind("http://site/docs/", 0) == 0; };
        access.parseRobots = [](const std::string&, int) { return std::unique_ptr<WebRobots>(); };
        settings.maxDepth = 2;
    }
    int32_t run(const IoOps& io, const std::string& source = "http://site/docs/index.html") {
        WorkerRequest request{source, "/out/book.pdb", "Web"};
        request.web = &access;
        report = LinkedPageReport{};
        return runWorker(request, settings, io, PathFlavor::Posix, rules, files, convertDocument, 4096, &report);
    }
    SiteWeb web;
    WebAccess access;
    ConverterSettings settings;
    HtmlReferenceRules rules;
    FakeFileSystem files;
    LinkedPageReport report;
};

TEST_F(WebRun, ConvertsTheReachablePagesAndCountsTheOnesItCouldNotHave) {
    MemoryIo memory;
    CountingIo counting(memory.ops());
    ASSERT_EQ(StatusSucceeded, run(counting.ops()));
    std::vector<std::string> converted;
    for (const ProgressReport& progress : counting.reports())
        if (progress.stage == StageCurrentPage) converted.push_back(progress.page);
    EXPECT_EQ((std::vector<std::string>{"http://site/docs/index.html", "http://site/docs/a.html"}), converted);
    EXPECT_EQ((std::vector<std::string>{"http://site/robots.txt", "http://site/docs/index.html",
                                        "http://site/docs/a.html", "http://site/docs/gone.html"}),
              web.asked)
        << "nothing outside the folder and no file: address is asked";
    EXPECT_EQ(2, report.pagesFetched);
    EXPECT_EQ(2, report.fetchFailures) << "the missing page and the one outside";
    ASSERT_EQ(2u, report.fetchFailed.size());
    EXPECT_EQ("http://site/docs/gone.html", report.fetchFailed[0].address);
    EXPECT_EQ("HTTP 404 Not Found", report.fetchFailed[0].reason);
    EXPECT_EQ("http://site/outside.html", report.fetchFailed[1].address);
    EXPECT_EQ(0, report.replaced);
    EXPECT_EQ(2, report.transliterated) << "Ł and ź, read as ISO-8859-2 as the header said";
    EXPECT_EQ(0, counting.openHandles());
    EXPECT_TRUE(memory.exists("/out/book.pdb"));
}

TEST_F(WebRun, ASourceThatCannotBeFetchedIsNamedWithItsReason) {
    MemoryIo memory;
    EXPECT_EQ(StatusSourceError, run(memory.ops(), "http://site/docs/missing.html"));
    EXPECT_TRUE(report.sourceOpen.happened);
    EXPECT_EQ("http://site/docs/missing.html", report.sourceOpen.path);
    EXPECT_EQ("HTTP 404 Not Found", report.sourceOpen.reason);
    EXPECT_EQ(0, report.fetchFailures) << "the source's failure is the run's, not a count";

    WorkerRequest request{"http://site/docs/index.html", "/out/book.pdb", "Web"};
    EXPECT_EQ(StatusSourceRefused, runWorker(request, settings, memory.ops(), PathFlavor::Posix, rules, files,
                                             convertDocument, 4096, &report))
        << "a front end without the web";
    EXPECT_EQ("web addresses are converted by the command line only", report.refusal);
    EXPECT_EQ(0, memory.openHandles());
}

TEST_F(WebRun, ACancelDuringTheSourcesDownloadIsACancel) {
    MemoryIo memory;
    access.stillWanted = [] { return false; };
    EXPECT_EQ(StatusCanceled, run(memory.ops()));
    EXPECT_FALSE(report.sourceOpen.happened);
    EXPECT_EQ(0, memory.openHandles());
}

TEST_F(WebRun, AnyFailingCallFailsTheRunCleanly) {
    int calls = 0;
    {
        MemoryIo memory;
        CountingIo probe(memory.ops());
        ASSERT_EQ(StatusSucceeded, run(probe.ops()));
        calls = probe.calls(IoOp::Any);
    }
    forEachFault(calls, [&](int k) {
        MemoryIo memory;
        CountingIo counting(memory.ops());
        counting.failAt(IoOp::Any, k);
        const int32_t status = run(counting.ops());
        EXPECT_NE(StatusUnknownError, status) << "call " << k;
        EXPECT_EQ(0, counting.openHandles()) << "call " << k;
        EXPECT_EQ(0, counting.liveBlocks()) << "call " << k;
    });
}

}  // namespace
