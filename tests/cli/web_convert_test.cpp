// tests/cli/web_convert_test.cpp -- `vimlo convert` with an address on a loopback server
// the test starts (tests/web/server.py, 127.0.0.1 only): the same book as from the same
// files on disk, where the run may go, robots.txt, the pages it could not have, the
// source's own failure, and Ctrl-C during a slow response.
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <thread>

#include "tests/cli/vimlo_runner.h"
#include "tests/support/temp_dir.h"
#include "tests/support/web_server.h"

using namespace cli_test;

namespace {

// A small site under docs/, with a page outside it and one the robots keep out.
void writeSite(const TempDir& dir) {
    std::filesystem::create_directories(dir.file("site/docs/sub"));
    std::filesystem::create_directories(dir.file("site/docs/private"));
    dir.write("site/docs/index.html",
              "<html><head><title>Guide</title></head><body><h1>The guide</h1>"
              "<p>Start with <a href=\"a.html\">the first part</a>, then "
              "<a href=\"sub/b.html#end\">the second</a>.</p></body></html>");
    dir.write("site/docs/a.html",
              "<html><body><h2>First part</h2><p>Caf\xC3\xA9 na\xC3\xAFve \xE2\x80\x94 "
              "<a href=\"index.html\">back</a> <a href=\"sub/b.html\">on</a></p></body></html>");
    dir.write("site/docs/sub/b.html",
              "<html><body><h2>Second part</h2><p>Some words.</p><p><a name=\"end\">The end</a> "
              "<a href=\"../a.html\">again</a></p></body></html>");
}

TEST(WebConvert, ASiteOverHttpMakesTheSameBookAsItsFilesOnDisk) {
    TempDir dir;
    writeSite(dir);
    WebServer server(dir.file("site"));
    ASSERT_TRUE(server.running());
    const Outcome web = run({"convert", "-q", "-d", "3", "-t", "Guide", "--wait", "0", server.url("/docs/index.html"),
                             "-o", "web.pdb"},
                            dir.path());
    ASSERT_EQ(0, web.exitCode) << web.err;
    const Outcome local = run({"convert", "-q", "-d", "3", "-t", "Guide", "site/docs/index.html", "-o", "local.pdb"},
                              dir.path());
    ASSERT_EQ(0, local.exitCode) << local.err;
    EXPECT_EQ(withoutTimes(dir.read("local.pdb")), withoutTimes(dir.read("web.pdb")));
    const BookView book = readBook(dir.path(), "web.pdb");
    EXPECT_NE(std::string::npos, book.text.find("Second part"));
    EXPECT_EQ(3u + 1u, book.boundaries.size()) << "three pages, each once";
    // Each page asked once, robots.txt first, by vimlo.
    std::vector<std::string> paths;
    for (const LoggedRequest& request : server.requests()) {
        paths.push_back(request.path);
        EXPECT_EQ(0u, request.userAgent.rfind("vimlo/", 0)) << request.userAgent;
    }
    EXPECT_EQ((std::vector<std::string>{"/robots.txt", "/docs/index.html", "/docs/a.html", "/docs/sub/b.html"}),
              paths);
}

TEST(WebConvert, StaysWhereItMayGoAndObeysRobotsTxt) {
    TempDir dir;
    writeSite(dir);
    dir.write("site/outside.html", "<p>outside</p>");
    dir.write("site/docs/private/secret.html", "<p>secret</p>");
    dir.write("robots.txt", "User-agent: *\nDisallow: /\n\nUser-agent: vimlo\nDisallow: /docs/private/\n");
    dir.write("site/docs/index.html",
              "<p><a href=\"../outside.html\">o</a> <a href=\"private/secret.html\">s</a> "
              "<a href=\"a.html\">a</a> <a href=\"file:///etc/passwd\">f</a> "
              "<a href=\"/redirect-to?code=302&amp;to=file:///etc/passwd\">r</a></p>");
    WebServer server(dir.file("site"), {"--robots", dir.file("robots.txt")});
    ASSERT_TRUE(server.running());
    const Outcome outcome = run({"convert", "-y", "-d", "1", "--wait", "0", "--verbose", server.url("/docs/index.html"),
                                 "-o", "book.pdb"},
                                dir.path());
    ASSERT_EQ(0, outcome.exitCode) << outcome.err;
    std::vector<std::string> paths;
    for (const LoggedRequest& request : server.requests()) paths.push_back(request.path);
    EXPECT_EQ((std::vector<std::string>{"/robots.txt", "/docs/index.html", "/docs/a.html"}), paths);
    EXPECT_NE(std::string::npos, outcome.err.find("3 pages could not be fetched; --verbose lists them")) << outcome.err;
    EXPECT_NE(std::string::npos, outcome.err.find("/outside.html: outside the places this run may go")) << outcome.err;
    EXPECT_NE(std::string::npos, outcome.err.find("/docs/private/secret.html: refused by the site's robots.txt"))
        << outcome.err;
    EXPECT_EQ(std::string::npos, outcome.err.find("not fetched: file:")) << "a file: address is no page of the web";

    // The whole host, with the redirect to file: refused on its way.
    const Outcome host = run({"convert", "-y", "-q", "-d", "1", "--wait", "0", "--follow-links-outside",
                              server.url("/docs/index.html"), "-o", "book.pdb"},
                             dir.path());
    ASSERT_EQ(0, host.exitCode) << host.err;
    EXPECT_NE(std::string::npos, readBook(dir.path(), "book.pdb").text.find("outside"));
    EXPECT_NE(std::string::npos, host.err.find("2 pages could not be fetched")) << host.err;
}

TEST(WebConvert, FailuresNameTheAddressAndTheReason) {
    TempDir dir;
    writeSite(dir);
    WebServer server(dir.file("site"));
    ASSERT_TRUE(server.running());
    Outcome outcome = run({"convert", server.url("/status/404"), "-o", "x.pdb"}, dir.path());
    EXPECT_EQ(4, outcome.exitCode);
    EXPECT_EQ("vimlo: Error opening source file.\nvimlo: " + server.url("/status/404") + ": HTTP 404 Not Found\n",
              outcome.err);
    outcome = run({"convert", server.url("/binary.png"), "-o", "x.pdb"}, dir.path());
    EXPECT_EQ(4, outcome.exitCode);
    EXPECT_NE(std::string::npos, outcome.err.find(server.url("/binary.png") + ": ")) << outcome.err;
    outcome = run({"convert", "http://127.0.0.1:1/x.html", "-o", "x.pdb"}, dir.path());
    EXPECT_EQ(4, outcome.exitCode);
    EXPECT_NE(std::string::npos, outcome.err.find("http://127.0.0.1:1/x.html: ")) << outcome.err;
    EXPECT_FALSE(std::filesystem::exists(dir.file("x.pdb")));
}

// Two books made at once from one host: the host still gets one request at a time, with
// the wait between the end of one and the start of the next.
TEST(WebConvert, ParallelRunsTakeTurnsAtOneHost) {
    TempDir dir;
    std::filesystem::create_directories(dir.file("site"));
    dir.write("site/one.html", "<p>One <a href=\"one-b.html\">b</a></p>");
    dir.write("site/one-b.html", "<p>One b</p>");
    dir.write("site/two.html", "<p>Two <a href=\"two-b.html\">b</a></p>");
    dir.write("site/two-b.html", "<p>Two b</p>");
    WebServer server(dir.file("site"));
    ASSERT_TRUE(server.running());
    const Outcome outcome = run({"convert", "-y", "-q", "-j", "2", "-d", "1", "--wait", "0.3",
                                 server.url("/one.html"), server.url("/two.html")},
                                dir.path());
    ASSERT_EQ(0, outcome.exitCode) << outcome.err;
    EXPECT_TRUE(std::filesystem::exists(dir.file("one.pdb")));
    EXPECT_TRUE(std::filesystem::exists(dir.file("two.pdb")));
    std::vector<LoggedRequest> requests = server.requests();
    ASSERT_EQ(6u, requests.size());  // robots.txt by each run, then two pages each
    std::sort(requests.begin(), requests.end(),
              [](const LoggedRequest& a, const LoggedRequest& b) { return a.at < b.at; });
    for (size_t i = 1; i < requests.size(); ++i)
        EXPECT_GE(requests[i].at - requests[i - 1].at, 0.29) << requests[i - 1].path << " then " << requests[i].path;
}

// While a page is slow to come, the progress line names its address.
TEST(WebConvert, TheProgressLineShowsTheAddressBeingFetched) {
    TempDir dir;
    std::filesystem::create_directories(dir.file("site"));
    dir.write("site/index.html", "<p>Root <a href=\"slow?seconds=1.5\">slow</a></p>");
    WebServer server(dir.file("site"));
    ASSERT_TRUE(server.running());
    const Outcome outcome = runOnTerminal({"convert", "-y", "--wait", "0", server.url("/index.html"), "-o", "s.pdb"},
                                          dir.path());
    EXPECT_EQ(0, outcome.exitCode) << outcome.err;
    EXPECT_NE(std::string::npos, outcome.err.find("seconds=1.5 [")) << testing::PrintToString(outcome.err);
}

TEST(WebConvert, CtrlCDuringASlowResponseEndsWithinHalfASecond) {
    TempDir dir;
    writeSite(dir);
    WebServer server(dir.file("site"));
    ASSERT_TRUE(server.running());
    Background vimlo({"convert", "-y", server.url("/slow?seconds=30"), "-o", "slow.pdb"}, dir.path());
    // Until the request arrived, plus a little: the download is then waiting.
    for (int i = 0; i < 100 && server.requests().size() < 2; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    ASSERT_EQ(0, kill(vimlo.pid(), SIGINT));
    const auto sent = std::chrono::steady_clock::now();
    const Outcome outcome = vimlo.wait();
    const auto took = std::chrono::steady_clock::now() - sent;
    EXPECT_LE(took, std::chrono::milliseconds(500))
        << std::chrono::duration_cast<std::chrono::milliseconds>(took).count() << " ms";
    EXPECT_EQ(SIGINT, outcome.signal);
    EXPECT_EQ("Conversion canceled.\n", outcome.err);
    EXPECT_FALSE(std::filesystem::exists(dir.file("slow.pdb")));
}

}  // namespace
