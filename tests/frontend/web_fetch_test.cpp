// The fetcher against the loopback server: bodies, types and charsets, every fault kind
// with its reason, redirects and their limits, the size limit, timeouts and cancel.
#include "frontend/web_fetch.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "frontend/web_scope.h"
#include "tests/support/temp_dir.h"
#include "tests/support/web_server.h"

namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

class WebFetch : public ::testing::Test {
protected:
    void SetUp() override {
        page = "<html><head><title>Start</title></head><body>";
        for (int i = 0; i < 2000; ++i) page += "<p>Line " + std::to_string(i) + " of the page.</p>\n";
        page += "</body></html>";
        pages.write("page.html", page);
        pages.write("plain.txt", "just text\n");
        server = std::make_unique<WebServer>(pages.path());
        ASSERT_TRUE(server->running());
    }

    // Fetches `path` of the server into `body`.
    FetchResult get(const std::string& path, FetchRequest request = {}) {
        body.clear();
        sinkCalls = 0;
        request.address = server->url(path);
        if (!request.sink) {
            request.sink = [this](const char* bytes, size_t length) {
                ++sinkCalls;
                body.append(bytes, length);
                return true;
            };
        }
        return fetcher.fetch(request);
    }

    TempDir pages;
    std::string page;
    std::unique_ptr<WebServer> server;
    WebFetcher fetcher;
    std::string body;
    int sinkCalls = 0;
};

TEST_F(WebFetch, APageArrivesWholeWithItsTypeAndTheAgentNamed) {
    ASSERT_TRUE(fetcher.ready());
    const FetchResult result = get("/page.html");
    EXPECT_EQ(FetchFault::None, result.fault) << result.reason;
    EXPECT_EQ("", result.reason);
    EXPECT_EQ(200, result.status);
    EXPECT_EQ(page, body);
    EXPECT_EQ(static_cast<int64_t>(page.size()), result.bytes);
    EXPECT_EQ("text/html", result.contentType);
    EXPECT_EQ(server->url("/page.html"), result.address);
    const auto requests = server->requests();
    ASSERT_EQ(1u, requests.size());
    EXPECT_EQ("GET", requests[0].method);
    EXPECT_EQ(webUserAgent(), requests[0].userAgent);
    EXPECT_EQ(0u, webUserAgent().rfind("vimlo/", 0));
    EXPECT_GT(webUserAgent().size(), 6u);
}

TEST_F(WebFetch, FetchesOfOneHostShareAConnection) {
    ASSERT_EQ(FetchFault::None, get("/page.html").fault);
    ASSERT_EQ(FetchFault::None, get("/plain.txt").fault);
    ASSERT_EQ(FetchFault::None, get("/redirect/302/1").fault);  // the redirect's body is read, not dropped with the connection
    const auto requests = server->requests();
    ASSERT_EQ(4u, requests.size());
    for (const LoggedRequest& request : requests) EXPECT_EQ(requests[0].clientPort, request.clientPort) << request.path;
}

TEST_F(WebFetch, GzipAndDeflateBodiesAreDecoded) {
    for (const char* path : {"/gzip/page.html", "/deflate/page.html"}) {
        const FetchResult result = get(path);
        EXPECT_EQ(FetchFault::None, result.fault) << path << result.reason;
        EXPECT_EQ(page, body) << path;
        EXPECT_EQ(static_cast<int64_t>(page.size()), result.bytes) << path;
    }
}

TEST_F(WebFetch, HtmlXhtmlAndTextAreTakenWithTheirCharset) {
    struct Row { const char* path; const char* type; const char* charset; };
    const Row rows[] = {
        {"/plain.txt", "text/plain", ""},
        {"/charset", "text/html", "ISO-8859-1"},
        {"/charset-differs", "text/html", "windows-1252"},  // the header's, quotes removed; the page says utf-8
        {"/typed?type=application/xhtml%2Bxml", "application/xhtml+xml", ""},
        {"/typed?type=Text/HTML%20;%20Charset=UTF-8", "text/html", "UTF-8"},
        {"/typed?type=text/html;%20q=1;charset=koi8-r", "text/html", "koi8-r"},
    };
    for (const Row& row : rows) {
        const FetchResult result = get(row.path);
        EXPECT_EQ(FetchFault::None, result.fault) << row.path << result.reason;
        EXPECT_EQ(row.type, result.contentType) << row.path;
        EXPECT_EQ(row.charset, result.charset) << row.path;
        EXPECT_FALSE(body.empty()) << row.path;
    }
}

TEST_F(WebFetch, OtherTypesAreRefusedBeforeTheSinkSeesAByte) {
    struct Row { const char* path; const char* why; };
    const Row rows[] = {
        {"/binary.png", "not HTML or text (image/png)"},
        {"/typed?type=application/octet-stream", "not HTML or text (application/octet-stream)"},
        {"/typed?type=text/htmlx", "not HTML or text (text/htmlx)"},
        {"/typed?type=none", "not HTML or text (no Content-Type)"},
    };
    for (const Row& row : rows) {
        const FetchResult result = get(row.path);
        EXPECT_EQ(FetchFault::NotHtmlOrText, result.fault) << row.path;
        EXPECT_EQ(server->url(row.path) + ": " + row.why, result.reason);
        EXPECT_EQ(0, sinkCalls) << row.path;
        EXPECT_EQ(0, result.bytes) << row.path;
    }
    // The robots.txt fetch takes any type.
    FetchRequest any;
    any.anyContentType = true;
    EXPECT_EQ(FetchFault::None, get("/binary.png", any).fault);
}

TEST_F(WebFetch, AnErrorStatusIsAFaultNamingItAndItsBodyIsNotKept) {
    struct Row { const char* path; long status; const char* why; };
    const Row rows[] = {
        {"/status/404", 404, "HTTP 404 Not Found"},
        {"/missing.html", 404, "HTTP 404 File not found"},  // the server's own words
        {"/status/500", 500, "HTTP 500 Internal Server Error"},
        {"/status/304", 304, "HTTP 304 Not Modified"},
        {"/status/301", 301, "HTTP 301 Moved Permanently without a Location"},
    };
    for (const Row& row : rows) {
        const FetchResult result = get(row.path);
        EXPECT_EQ(FetchFault::HttpStatus, result.fault) << row.path;
        EXPECT_EQ(row.status, result.status);
        EXPECT_EQ(server->url(row.path) + ": " + row.why, result.reason);
        EXPECT_EQ(0, sinkCalls) << row.path;
    }
}

TEST_F(WebFetch, ALongErrorOrRedirectBodyIsDroppedNotMistakenForTheLimit) {
    const FetchResult error = get("/status/404?bytes=20000000");
    EXPECT_EQ(FetchFault::HttpStatus, error.fault) << error.reason;
    EXPECT_EQ(0, sinkCalls);
    const FetchResult moved = get("/redirect-to?to=/page.html&bytes=20000000");
    EXPECT_EQ(FetchFault::None, moved.fault) << moved.reason;
    EXPECT_EQ(page, body);
}

TEST_F(WebFetch, UpToFiveRedirectsAreFollowed) {
    for (const char* code : {"301", "302", "303", "307", "308"}) {
        const FetchResult result = get(std::string("/redirect/") + code + "/5");
        EXPECT_EQ(FetchFault::None, result.fault) << code << result.reason;
        EXPECT_EQ(5, result.redirects);
        EXPECT_EQ(server->url(std::string("/redirect/") + code + "/0"), result.address);
        EXPECT_EQ("<html><body><p>end of the chain</p></body></html>", body);
    }
    const FetchResult tooMany = get("/redirect/302/6");
    EXPECT_EQ(FetchFault::TooManyRedirects, tooMany.fault);
    EXPECT_EQ(server->url("/redirect/302/1") + ": more than 5 redirects", tooMany.reason);
    EXPECT_EQ(0, sinkCalls);
    const size_t before = server->requests().size();
    EXPECT_EQ(FetchFault::TooManyRedirects, get("/redirect-loop").fault);
    EXPECT_EQ(6u, server->requests().size() - before);  // the first request and five redirects, no more
}

TEST_F(WebFetch, EachRedirectTargetIsJudgedByTheCallersRule) {
    WebAddress root;
    ASSERT_TRUE(parseWebAddress(server->url("/redirect/index.html"), root));
    const WebScope scope = makeWebScope(root, WebScopeMode::BelowRoot);
    std::vector<std::string> asked;
    FetchRequest request;
    request.mayFollow = [&](const WebAddress& target) {
        asked.push_back(target.whole);
        return inWebScope(scope, target);
    };
    EXPECT_EQ(FetchFault::None, get("/redirect/307/2", request).fault);
    EXPECT_EQ((std::vector<std::string>{server->url("/redirect/307/1"), server->url("/redirect/307/0")}), asked);

    // Out of the folder, and to another host: refused, and never requested.
    const size_t before = server->requests().size();
    const FetchResult outside = get("/redirect-to?to=/page.html", request);
    EXPECT_EQ(FetchFault::RedirectRefused, outside.fault);
    EXPECT_EQ(server->url("/redirect-to?to=/page.html") + ": redirect to " + server->url("/page.html") +
                  " refused (outside the allowed places)",
              outside.reason);
    const FetchResult elsewhere = get("/redirect-to?to=http://elsewhere.invalid/", request);
    EXPECT_EQ(FetchFault::RedirectRefused, elsewhere.fault);
    EXPECT_NE(std::string::npos, elsewhere.reason.find("redirect to http://elsewhere.invalid/ refused"));
    EXPECT_EQ(2u, server->requests().size() - before);
    EXPECT_EQ(0, sinkCalls);
}

TEST_F(WebFetch, ARedirectToAnythingButHttpIsRefusedWhateverTheRule) {
    FetchRequest request;
    request.mayFollow = [](const WebAddress&) { return true; };
    for (const char* target : {"file:///etc/passwd", "ftp://127.0.0.1/x", "data:text/html,hi"}) {
        const FetchResult result = get(std::string("/redirect-to?to=") + target, request);
        EXPECT_EQ(FetchFault::RedirectRefused, result.fault) << target;
        EXPECT_NE(std::string::npos, result.reason.find("(not an http or https address)")) << result.reason;
        EXPECT_EQ(0, sinkCalls);
    }
}

TEST_F(WebFetch, ABadAddressIsRefusedWithoutARequest) {
    FetchRequest request;
    request.sink = [](const char*, size_t) { return true; };
    for (const char* address : {"file:///etc/passwd", "page.html", "ftp://127.0.0.1/"}) {
        request.address = address;
        const FetchResult result = fetcher.fetch(request);
        EXPECT_EQ(FetchFault::BadAddress, result.fault);
        EXPECT_EQ(std::string(address) + ": not an http or https address", result.reason);
    }
    EXPECT_TRUE(server->requests().empty());
}

TEST_F(WebFetch, MoreThan16MiBIsTooLargeWithOrWithoutALength) {
    const FetchResult declared = get("/huge?length=1");
    EXPECT_EQ(FetchFault::TooLarge, declared.fault);
    EXPECT_EQ(server->url("/huge?length=1") + ": too large (more than 16777216 bytes)", declared.reason);
    EXPECT_EQ(0, sinkCalls);  // judged by Content-Length before the body

    const FetchResult streamed = get("/huge");
    EXPECT_EQ(FetchFault::TooLarge, streamed.fault);
    EXPECT_LE(streamed.bytes, kMaxWebPageBytes);
    EXPECT_EQ(static_cast<int64_t>(body.size()), streamed.bytes);

    // The fetcher is whole afterwards.
    EXPECT_EQ(FetchFault::None, get("/page.html").fault);
    EXPECT_EQ(page, body);
}

TEST_F(WebFetch, APageOfExactlyTheLimitIsTaken) {
    FetchRequest request;
    request.maxBytes = static_cast<int64_t>(page.size());
    EXPECT_EQ(FetchFault::None, get("/page.html", request).fault);
    request.maxBytes = static_cast<int64_t>(page.size()) - 1;
    EXPECT_EQ(FetchFault::TooLarge, get("/page.html", request).fault);
    // Decoded bytes count, not the smaller gzip body.
    EXPECT_EQ(FetchFault::TooLarge, get("/gzip/page.html", request).fault);
}

TEST_F(WebFetch, ASinkThatFailsStopsTheFetchCleanly) {
    for (int failAt : {1, 2, 5}) {
        int calls = 0;
        FetchRequest request;
        request.sink = [&](const char*, size_t) { return ++calls < failAt; };
        const FetchResult result = get("/huge", request);
        EXPECT_EQ(FetchFault::WriteFailed, result.fault) << failAt;
        EXPECT_EQ(failAt, calls);  // never called again after refusing
        EXPECT_EQ(server->url("/huge") + ": could not store the page", result.reason);
    }
    EXPECT_EQ(FetchFault::None, get("/page.html").fault);
    EXPECT_EQ(page, body);
}

TEST_F(WebFetch, SilenceLongerThanTheTimeoutFails) {
    WebFetcher quick(FetchSettings{1, ""});
    for (const char* path : {"/silent?seconds=10", "/slow?seconds=10"}) {
        FetchRequest request;
        request.address = server->url(path);
        request.sink = [](const char*, size_t) { return true; };
        const auto start = Clock::now();
        const FetchResult result = quick.fetch(request);
        const double took = secondsSince(start);
        EXPECT_EQ(FetchFault::Timeout, result.fault) << path;
        EXPECT_EQ(server->url(path) + ": timed out (nothing received for 1 s)", result.reason);
        EXPECT_GE(took, 0.9) << path;
        EXPECT_LT(took, 4.0) << path;
    }
}

TEST_F(WebFetch, ASlowButSteadyBodyIsNotATimeout) {
    WebFetcher quick(FetchSettings{1, ""});
    FetchRequest request;
    request.address = server->url("/trickle?bytes=8&interval=0.3");
    std::string got;
    request.sink = [&](const char* bytes, size_t length) { got.append(bytes, length); return true; };
    const FetchResult result = quick.fetch(request);
    EXPECT_EQ(FetchFault::None, result.fault) << result.reason;
    EXPECT_EQ("xxxxxxxx", got);
}

TEST_F(WebFetch, CancelStopsAStalledDownloadWithinHalfASecond) {
    for (const char* path : {"/silent?seconds=10", "/slow?seconds=10", "/trickle?bytes=100&interval=0.5"}) {
        Clock::time_point canceledAt{};
        const auto start = Clock::now();
        FetchRequest request;
        request.keepGoing = [&] {
            if (secondsSince(start) < 0.7) return true;
            if (canceledAt == Clock::time_point{}) canceledAt = Clock::now();
            return false;
        };
        const FetchResult result = get(path, request);
        const double afterCancel = secondsSince(canceledAt);
        EXPECT_EQ(FetchFault::Canceled, result.fault) << path;
        EXPECT_EQ(server->url(path) + ": canceled", result.reason);
        EXPECT_LT(afterCancel, 0.5) << path;
        EXPECT_LT(secondsSince(start), 1.5) << path;
    }
    // A cancel asked for once the user pressed Ctrl-C is seen at once, also by a quick page.
    FetchRequest stop;
    stop.keepGoing = [] { return false; };
    EXPECT_EQ(FetchFault::Canceled, get("/page.html", stop).fault);
}

TEST_F(WebFetch, NoServerMeansConnectionRefused) {
    int port = 0;
    {
        TempDir empty;
        WebServer gone(empty.path());
        ASSERT_TRUE(gone.running());
        port = gone.port();
    }
    FetchRequest request;
    request.address = "http://127.0.0.1:" + std::to_string(port) + "/page.html";
    request.sink = [](const char*, size_t) { return true; };
    const FetchResult result = fetcher.fetch(request);
    EXPECT_EQ(FetchFault::Refused, result.fault);
    EXPECT_EQ(request.address + ": connection refused", result.reason);
}

TEST_F(WebFetch, AnUnresolvableHostIsNamedSo) {
    // A label longer than DNS allows (63 bytes) fails in the resolver itself, so no query
    // leaves the machine.
    FetchRequest request;
    request.address = "http://" + std::string(70, 'a') + ".invalid/page.html";
    request.sink = [](const char*, size_t) { return true; };
    const FetchResult result = fetcher.fetch(request);
    EXPECT_EQ(FetchFault::Resolve, result.fault) << result.reason;
    EXPECT_EQ(request.address + ": could not resolve host", result.reason);
}

TEST_F(WebFetch, HttpsToAPlainServerIsATlsFault) {
    // The loopback server speaks plain HTTP: the handshake cannot succeed, and nothing is
    // taken over a connection that was not verified.
    FetchRequest request;
    request.address = "https://127.0.0.1:" + std::to_string(server->port()) + "/page.html";
    request.sink = [](const char*, size_t) { return true; };
    const FetchResult result = fetcher.fetch(request);
    EXPECT_EQ(FetchFault::Tls, result.fault) << result.reason;
    EXPECT_EQ(0u, result.reason.find(request.address + ": TLS or certificate problem: ")) << result.reason;
}

TEST_F(WebFetch, AnUntrustedCertificateIsRefused) {
    WebServer secure(pages.path(), {"--tls", std::string(VIMLO_SOURCE_DIR) + "/tests/web/self_signed.pem"});
    ASSERT_TRUE(secure.running());
    FetchRequest request;
    request.address = "https://127.0.0.1:" + std::to_string(secure.port()) + "/page.html";
    int sinkCalled = 0;
    request.sink = [&](const char*, size_t) { ++sinkCalled; return true; };
    const FetchResult result = fetcher.fetch(request);
    EXPECT_EQ(FetchFault::Tls, result.fault) << result.reason;
    EXPECT_EQ(0u, result.reason.find(request.address + ": TLS or certificate problem: ")) << result.reason;
    EXPECT_EQ(0, sinkCalled);
    EXPECT_TRUE(secure.requests().empty());  // no request went over the unverified connection
}

}  // namespace
