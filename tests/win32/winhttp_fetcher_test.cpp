// The WinHTTP fetcher against the loopback servers the test script started (their ports
// in VIMLO_TEST_WEB_PORT and, over HTTPS, VIMLO_TEST_WEB_TLS_PORT, serving samples/site):
// the same rules as the command line's fetcher, faults named alike, and a cancel that
// returns at once however the system treats a blocked request.
#include "frontend/win32/winhttp_fetcher.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace {

class WinHttpFetch : public ::testing::Test {
protected:
    void SetUp() override {
        const char* port = std::getenv("VIMLO_TEST_WEB_PORT");
        if (port == nullptr || *port == '\0') GTEST_SKIP() << "no loopback server (VIMLO_TEST_WEB_PORT)";
        base = std::string("http://127.0.0.1:") + port;
    }

    FetchResult get(WinHttpFetcher& fetcher, const std::string& path, std::string& body) {
        body.clear();
        FetchRequest request;
        request.address = base + path;
        request.sink = [&body](const char* bytes, size_t length) {
            body.append(bytes, length);
            return true;
        };
        request.mayFollow = mayFollow;
        request.keepGoing = keepGoing;
        request.anyContentType = anyType;
        return fetcher.fetch(request);
    }

    FetchResult get(const std::string& path, std::string& body) {
        WinHttpFetcher fetcher;
        EXPECT_TRUE(fetcher.ready());
        return get(fetcher, path, body);
    }

    std::string base;
    WebRedirectRule mayFollow;
    WebKeepGoing keepGoing;
    bool anyType = false;
};

TEST_F(WinHttpFetch, PagesArriveWholeAndCompressedOnesInflated) {
    std::string plain;
    const FetchResult page = get("/index.html", plain);
    ASSERT_EQ(FetchFault::None, page.fault) << page.reason;
    EXPECT_EQ(200, page.status);
    EXPECT_EQ("text/html", page.contentType);
    EXPECT_EQ(base + "/index.html", page.address);
    ASSERT_GT(plain.size(), 100u);
    EXPECT_NE(std::string::npos, plain.find("<html"));
    for (const char* encoded : {"/gzip/index.html", "/deflate/index.html"}) {
        std::string body;
        const FetchResult result = get(encoded, body);
        ASSERT_EQ(FetchFault::None, result.fault) << encoded << ": " << result.reason;
        EXPECT_EQ(plain, body) << encoded;
        EXPECT_EQ(static_cast<int64_t>(plain.size()), result.bytes);
    }
    std::string body;
    const FetchResult latin = get("/charset", body);
    ASSERT_EQ(FetchFault::None, latin.fault) << latin.reason;
    EXPECT_EQ("ISO-8859-1", latin.charset);
    EXPECT_EQ("<html><body>caf\xe9</body></html>", body);
}

TEST_F(WinHttpFetch, OnlyHtmlAndTextAreTakenUnlessAnyTypeIsAsked) {
    std::string body;
    FetchResult result = get("/binary.png", body);
    EXPECT_EQ(FetchFault::NotHtmlOrText, result.fault);
    EXPECT_EQ(base + "/binary.png: not HTML or text (image/png)", result.reason);
    EXPECT_TRUE(body.empty());
    result = get("/typed?type=none", body);
    EXPECT_EQ(FetchFault::NotHtmlOrText, result.fault);
    EXPECT_TRUE(body.empty());
    result = get("/typed?type=application/xhtml%2Bxml", body);
    EXPECT_EQ(FetchFault::None, result.fault) << result.reason;
    anyType = true;
    result = get("/binary.png", body);
    EXPECT_EQ(FetchFault::None, result.fault) << result.reason;
    EXPECT_EQ(std::string("\x89PNG", 4), body.substr(0, 4));
}

TEST_F(WinHttpFetch, AnErrorStatusIsNamedAndItsBodyIsNotKept) {
    std::string body;
    const FetchResult result = get("/status/404", body);
    EXPECT_EQ(FetchFault::HttpStatus, result.fault);
    EXPECT_EQ(404, result.status);
    EXPECT_EQ(base + "/status/404: HTTP 404 Not Found", result.reason);
    EXPECT_TRUE(body.empty());
}

TEST_F(WinHttpFetch, RedirectsAreFollowedByHandAndJudgedFirst) {
    std::string body;
    FetchResult result = get("/redirect/302/5", body);
    ASSERT_EQ(FetchFault::None, result.fault) << result.reason;
    EXPECT_EQ(5, result.redirects);
    EXPECT_FALSE(body.empty());
    result = get("/redirect/301/6", body);
    EXPECT_EQ(FetchFault::TooManyRedirects, result.fault) << result.reason;
    result = get("/redirect-to?code=302&to=file:///C:/windows/win.ini", body);
    EXPECT_EQ(FetchFault::RedirectRefused, result.fault);
    EXPECT_TRUE(body.empty());
    std::string judged;
    mayFollow = [&judged](const WebAddress& target) {
        judged = target.whole;
        return false;
    };
    result = get("/redirect-to?code=307&to=http://elsewhere.invalid/page.html", body);
    EXPECT_EQ(FetchFault::RedirectRefused, result.fault);
    EXPECT_EQ("http://elsewhere.invalid/page.html", judged);
    EXPECT_NE(std::string::npos, result.reason.find("outside the allowed places")) << result.reason;
}

TEST_F(WinHttpFetch, MoreThan16MiBIsTooLargeWithOrWithoutALength) {
    for (const char* path : {"/huge?length=1", "/huge"}) {
        std::string body;
        const FetchResult result = get(path, body);
        EXPECT_EQ(FetchFault::TooLarge, result.fault) << path;
        EXPECT_LE(body.size(), static_cast<size_t>(kMaxWebPageBytes)) << path;
    }
}

TEST_F(WinHttpFetch, SilenceTimesOutAndCancelReturnsAtOnce) {
    WinHttpFetcher quick(FetchSettings{1, std::string()});
    std::string body;
    DWORD started = GetTickCount();
    FetchResult result = get(quick, "/silent?seconds=6", body);
    EXPECT_EQ(FetchFault::Timeout, result.fault) << result.reason;
    EXPECT_LT(GetTickCount() - started, 5000u);

    // A cancel during a response that says nothing, and during one that stalls mid-body.
    for (const char* path : {"/silent?seconds=20", "/slow?seconds=20"}) {
        DWORD asked = 0;
        keepGoing = [&asked] {
            if (asked == 0) asked = GetTickCount() + 700;
            return GetTickCount() < asked;
        };
        WinHttpFetcher fetcher;
        result = get(fetcher, path, body);
        const DWORD late = GetTickCount() - asked;
        EXPECT_EQ(FetchFault::Canceled, result.fault) << path << ": " << result.reason;
        EXPECT_LT(late, 500u) << path;
    }
}

// The server's certificate is its own making: no system trusts it, and there is no way
// to be let through.
TEST_F(WinHttpFetch, AnUntrustedCertificateIsRefused) {
    const char* port = std::getenv("VIMLO_TEST_WEB_TLS_PORT");
    if (port == nullptr || *port == '\0') GTEST_SKIP() << "no loopback HTTPS server (VIMLO_TEST_WEB_TLS_PORT)";
    base = std::string("https://127.0.0.1:") + port;
    std::string body;
    const FetchResult result = get("/index.html", body);
    EXPECT_EQ(FetchFault::Tls, result.fault) << result.reason;
    EXPECT_TRUE(body.empty());
}

TEST_F(WinHttpFetch, NoServerAndNoAddressAreFaultsOfTheirOwn) {
    WinHttpFetcher fetcher;
    std::string body;
    FetchRequest request;
    request.sink = [](const char*, size_t) { return true; };
    request.address = "http://127.0.0.1:1/page.html";
    EXPECT_EQ(FetchFault::Refused, fetcher.fetch(request).fault);
    request.address = "file:///C:/windows/win.ini";
    EXPECT_EQ(FetchFault::BadAddress, fetcher.fetch(request).fault);
}

}  // namespace
