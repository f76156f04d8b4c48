// The web wrapper over a fake web: pages served through temporary streams, the places a
// run may go, robots.txt once per host, the wait between requests, a cancel while
// waiting or downloading, and failures noted with their reasons and nothing left open.
#include <gtest/gtest.h>

#include <chrono>
#include <map>

#include "frontend/web_io.h"
#include "tests/support/memory_io.h"

namespace {

using Clock = std::chrono::steady_clock;

struct FakePage {
    std::string body;
    std::string charset;
    int status = 200;
    std::string redirect;  // followed when the run may go there
};

FakePage page(const std::string& body, const std::string& charset = "", int status = 200,
              const std::string& redirect = "") {
    return FakePage{body, charset, status, redirect};
}

class FakeWeb : public WebFetching {
public:
    std::map<std::string, FakePage> pages;
    std::vector<std::pair<std::string, Clock::time_point>> requests;
    std::function<void()> during;  // runs in the middle of each download

    std::vector<bool> anyTypes;  // per request

    WebFetchOutcome fetch(const std::string& address, bool anyType,
                          const std::function<bool(const uint8_t*, size_t)>& sink,
                          const std::function<bool(const std::string&)>& mayGo,
                          const std::function<bool()>& stillWanted) override {
        requests.emplace_back(address, Clock::now());
        anyTypes.push_back(anyType);
        WebFetchOutcome outcome;
        std::string at = address;
        for (auto page = pages.find(at); page != pages.end() && !page->second.redirect.empty();
             page = pages.find(at)) {
            if (!mayGo(page->second.redirect)) {
                outcome.reason = "redirected outside the places this run may go";
                return outcome;
            }
            at = page->second.redirect;
        }
        const auto page = pages.find(at);
        if (page == pages.end()) {
            outcome.status = 404;
            outcome.reason = "HTTP 404 Not Found";
            return outcome;
        }
        const std::string& body = page->second.body;
        const size_t half = body.size() / 2;
        if (!sink(reinterpret_cast<const uint8_t*>(body.data()), half)) {
            outcome.reason = "cannot be stored";
            return outcome;
        }
        if (during) during();
        if (!stillWanted()) {
            outcome.canceled = true;
            outcome.reason = "canceled";
            return outcome;
        }
        if (!sink(reinterpret_cast<const uint8_t*>(body.data()) + half, body.size() - half)) {
            outcome.reason = "cannot be stored";
            return outcome;
        }
        outcome.succeeded = page->second.status == 200;
        outcome.status = page->second.status;
        outcome.finalAddress = at;
        outcome.charset = page->second.charset;
        if (!outcome.succeeded) outcome.reason = "HTTP " + std::to_string(outcome.status);
        return outcome;
    }
};

// Disallows every address containing "/private/".
class FakeRobots : public WebRobots {
public:
    explicit FakeRobots(bool all) : all_(all) {}
    bool allows(const std::string& address) const override {
        return !all_ && address.find("/private/") == std::string::npos;
    }

private:
    bool all_;
};

struct WebRun {
    MemoryIo memory;
    FakeWeb web;
    WebIo state;
    IoOps io{};
    bool wanted = true;
    int robotsParsed = 0;

    WebRun() {
        state.inner = memory.ops();
        state.fetching = &web;
        state.waitSeconds = 0;
        state.mayGo = [](const std::string& address) { return address.rfind("http://site:80/", 0) == 0 ||
                                                          address.rfind("http://site/", 0) == 0; };
        state.parseRobots = [this](const std::string& body, int status) {
            ++robotsParsed;
            // As the rules go: a missing file allows all, a server error forbids all.
            return std::make_unique<FakeRobots>(status >= 500 || body == "forbid all");
        };
        state.stillWanted = [this] { return wanted; };
        io = webIoOps(state);
    }
    std::string read(uint32_t handle) {
        std::string bytes;
        char piece[7];
        for (int32_t got; (got = io.readStream(io.userData, handle, sizeof piece, piece)) > 0;)
            bytes.append(piece, static_cast<size_t>(got));
        return bytes;
    }
    uint32_t open(const std::string& name) { return io.openStream(io.userData, name.c_str(), 0); }
};

TEST(WebIo, ServesPagesThroughTemporaryStreamsAndNeverALocalFile) {
    WebRun run;
    run.memory.addFile("/etc/passwd", "root:x:0:0");
    run.memory.addFile("index.html", "local");
    run.web.pages["http://site/index.html"] = page("<p>Hello, web</p>", "iso-8859-1");
    run.web.pages["http://site/robots.txt"] = page("", "", 404);

    const uint32_t page = run.open("http://site/index.html");
    ASSERT_NE(0u, page);
    EXPECT_EQ("<p>Hello, web</p>", run.read(page));
    EXPECT_EQ("iso-8859-1", run.state.lastCharset);
    EXPECT_EQ(1, run.state.pagesFetched);
    run.io.closeStream(run.io.userData, page);

    for (const char* local : {"/etc/passwd", "index.html", "file:///etc/passwd", "ftp://site/index.html"})
        EXPECT_EQ(0u, run.open(local)) << local;
    EXPECT_EQ("", run.state.lastCharset);
    // Writing is the destination's business and passes.
    const uint32_t out = run.io.openStream(run.io.userData, "/out/book.pdb", 1);
    EXPECT_NE(0u, out);
    run.io.closeStream(run.io.userData, out);
    EXPECT_EQ(0, run.memory.openHandles());
    EXPECT_EQ(0, run.state.failureCount) << "local names are not web failures";
}

TEST(WebIo, FailuresAreNotedWithTheirReasonsAndLeaveNothingOpen) {
    WebRun run;
    run.state.maxPageBytes = 100;
    run.web.pages["http://site/robots.txt"] = page("", "", 404);
    run.web.pages["http://site/big.html"] = page(std::string(101, 'x'), "");
    run.web.pages["http://site/fits.html"] = page(std::string(100, 'x'), "");
    run.web.pages["http://site/error.html"] = page("oops", "", 500);
    run.web.pages["http://site/away.html"] = page("", "", 301, "http://elsewhere/x.html");
    run.web.pages["http://elsewhere/x.html"] = page("far", "");

    EXPECT_EQ(0u, run.open("http://site/missing.html"));
    EXPECT_EQ(0u, run.open("http://site/big.html"));
    const uint32_t fits = run.open("http://site/fits.html");
    EXPECT_NE(0u, fits);
    run.io.closeStream(run.io.userData, fits);
    EXPECT_EQ(0u, run.open("http://site/error.html"));
    EXPECT_EQ(0u, run.open("http://site/away.html"));
    EXPECT_EQ(0u, run.open("http://elsewhere/x.html"));

    ASSERT_EQ(5, run.state.failureCount);
    ASSERT_EQ(5u, run.state.failures.size());
    EXPECT_EQ("http://site/missing.html", run.state.failures[0].address);
    EXPECT_EQ("HTTP 404 Not Found", run.state.failures[0].reason);
    EXPECT_EQ("cannot be stored", run.state.failures[1].reason);
    EXPECT_EQ("HTTP 500", run.state.failures[2].reason);
    EXPECT_EQ("redirected outside the places this run may go", run.state.failures[3].reason);
    EXPECT_EQ("outside the places this run may go", run.state.failures[4].reason);
    EXPECT_EQ(0, run.memory.openHandles());
    for (const auto& request : run.web.requests) EXPECT_NE("http://elsewhere/x.html", request.first);
}

TEST(WebIo, KeepsTheFirstThousandFailuresByNameAndCountsTheRest) {
    WebRun run;
    run.web.pages["http://site/robots.txt"] = page("", "", 404);
    for (size_t i = 0; i < kKeptWebFailures + 5; ++i) run.open("http://site/gone" + std::to_string(i));
    EXPECT_EQ(static_cast<int64_t>(kKeptWebFailures + 5), run.state.failureCount);
    EXPECT_EQ(kKeptWebFailures, run.state.failures.size());
    EXPECT_EQ("1006 pages could not be fetched; --verbose lists them",
              webFailureCountMessage(run.state.failureCount + 1));
    EXPECT_EQ("1 page could not be fetched; --verbose lists them", webFailureCountMessage(1));
    EXPECT_EQ("", webFailureCountMessage(0));
    const std::vector<WebFailure> first = {{"http://a/1", "HTTP 404 Not Found"}, {"http://a/2", "timed out"}};
    EXPECT_EQ("5 pages could not be fetched:\nhttp://a/1: HTTP 404 Not Found\nand 4 more",
              webFailureListMessage(5, first, 1));
    EXPECT_EQ("1 page could not be fetched:\nhttp://a/1: HTTP 404 Not Found", webFailureListMessage(1, {first[0]}, 10));
    EXPECT_EQ("", webFailureListMessage(0, first, 10));
}

TEST(WebIo, RobotsTxtIsReadOncePerHostAndObeyed) {
    WebRun run;
    run.state.mayGo = [](const std::string& address) { return isWebAddress(address); };
    run.web.pages["http://site/robots.txt"] = page("rules", "");
    run.web.pages["http://site/a.html"] = page("a", "");
    run.web.pages["http://site/private/b.html"] = page("b", "");
    run.web.pages["http://Site:80/c.html"] = page("c", "");
    run.web.pages["http://down/robots.txt"] = page("", "", 503);
    run.web.pages["http://down/d.html"] = page("d", "");

    for (const char* address : {"http://site/a.html", "http://Site:80/c.html"}) {
        const uint32_t page = run.open(address);
        EXPECT_NE(0u, page) << address;
        run.io.closeStream(run.io.userData, page);
    }
    EXPECT_EQ(0u, run.open("http://site/private/b.html"));
    EXPECT_EQ(0u, run.open("http://down/d.html")) << "a robots.txt in error forbids the host";
    EXPECT_EQ(2, run.robotsParsed) << "one host spelled two ways, and another host";
    EXPECT_EQ((std::vector<bool>{true, false, false, true}), run.web.anyTypes) << "robots.txt of any type";
    ASSERT_EQ(2, run.state.failureCount);
    EXPECT_EQ("refused by the site's robots.txt", run.state.failures[0].reason);
    std::vector<std::string> asked;
    for (const auto& request : run.web.requests) asked.push_back(request.first);
    EXPECT_EQ((std::vector<std::string>{"http://site/robots.txt", "http://site/a.html", "http://Site:80/c.html",
                                        "http://down/robots.txt"}),
              asked);
    EXPECT_EQ(0, run.memory.openHandles());
}

TEST(WebIo, WaitsBetweenRequestsToOneHostOnly) {
    WebRun run;
    run.state.waitSeconds = 0.2;
    run.state.mayGo = [](const std::string& address) { return isWebAddress(address); };
    run.web.pages["http://one/robots.txt"] = page("", "", 404);
    run.web.pages["http://two/robots.txt"] = page("", "", 404);
    for (const char* name : {"http://one/a", "http://one/b", "http://two/a"}) run.web.pages[name] = page("x", "");
    for (const char* name : {"http://one/a", "http://two/a", "http://one/b"}) {
        const uint32_t page = run.open(name);
        ASSERT_NE(0u, page) << name;
        run.io.closeStream(run.io.userData, page);
    }
    // one/robots, one/a, two/robots, two/a, one/b
    const auto& requests = run.web.requests;
    ASSERT_EQ(5u, requests.size());
    auto gap = [&](size_t from, size_t to) {
        return std::chrono::duration<double>(requests[to].second - requests[from].second).count();
    };
    EXPECT_GE(gap(0, 1), 0.2);
    EXPECT_GE(gap(2, 3), 0.2);
    EXPECT_GE(gap(1, 4), 0.2);
    EXPECT_LT(gap(1, 2), 0.15) << "another host does not wait for the first";
}

TEST(WebIo, ACancelWhileWaitingOrDownloadingEndsTheOpenAndEveryLaterReport) {
    for (const bool whileDownloading : {false, true}) {
        SCOPED_TRACE(whileDownloading ? "downloading" : "waiting");
        WebRun run;
        // The robots.txt request is made at once; then the page waits 30 s for its turn.
        run.state.waitSeconds = whileDownloading ? 0 : 30;
        run.web.pages["http://site/robots.txt"] = page("", "", 404);
        run.web.pages["http://site/a.html"] = page("a page", "");
        EXPECT_EQ(1, run.io.reportProgress(run.io.userData, StagePercent, nullptr)) << "no cancel yet";
        const auto started = Clock::now();
        if (whileDownloading)
            run.web.during = [&run] { run.wanted = false; };
        else
            run.state.stillWanted = [started] { return Clock::now() - started < std::chrono::milliseconds(100); };
        EXPECT_EQ(0u, run.open("http://site/a.html"));
        EXPECT_LT(Clock::now() - started, std::chrono::milliseconds(500));
        EXPECT_TRUE(run.state.canceled);
        EXPECT_EQ(0, run.io.reportProgress(run.io.userData, StagePercent, nullptr));
        const size_t asked = run.web.requests.size();
        EXPECT_EQ(0u, run.open("http://site/a.html"));
        EXPECT_EQ(asked, run.web.requests.size()) << "nothing more is fetched";
        EXPECT_EQ(0, run.state.failureCount) << "a cancel is no failure of the site";
        EXPECT_EQ(0, run.memory.openHandles());
    }
}

TEST(WebIo, OriginsNameSchemeHostAndPortOnce) {
    EXPECT_EQ("http://site:80", webOrigin("http://Site/a/b.html?x=1"));
    EXPECT_EQ("http://site:80", webOrigin("HTTP://site:80"));
    EXPECT_EQ("https://site:443", webOrigin("https://user:pw@site/"));
    EXPECT_EQ("http://127.0.0.1:8000", webOrigin("http://127.0.0.1:8000/docs/"));
    EXPECT_EQ("http://[::1]:80", webOrigin("http://[::1]/"));
    EXPECT_EQ("http://[::1]:8080", webOrigin("http://[::1]:8080/x"));
    EXPECT_EQ("", webOrigin("http:///path"));
    EXPECT_EQ("", webOrigin("file:///etc/passwd"));
    EXPECT_EQ("", webOrigin("/site/index.html"));
    EXPECT_TRUE(isWebAddress("HTTPS://x"));
    EXPECT_FALSE(isWebAddress("httpx://x"));
}

}  // namespace
