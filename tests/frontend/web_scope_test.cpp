// Addresses taken apart and the "where it goes" rule in its three modes.
#include "frontend/web_scope.h"

#include <gtest/gtest.h>

namespace {

WebAddress parsed(const char* text) {
    WebAddress address;
    EXPECT_TRUE(parseWebAddress(text, address)) << text;
    return address;
}

TEST(WebAddress, PartsAreNormalisedWithDefaultPortsFilledIn) {
    const WebAddress a = parsed("HTTP://Example.ORG/Docs/Page.html?b=2#top");
    EXPECT_EQ("http", a.scheme);
    EXPECT_EQ("example.org", a.host);
    EXPECT_EQ(80, a.port);
    EXPECT_EQ("/Docs/Page.html", a.path);  // paths keep their case
    EXPECT_EQ("b=2", a.query);
    EXPECT_EQ("/Docs/Page.html?b=2", a.pathAndQuery());
    EXPECT_EQ(std::string::npos, a.whole.find('#'));  // the fragment is not part of what is fetched

    const WebAddress b = parsed("https://example.org");
    EXPECT_EQ(443, b.port);
    EXPECT_EQ("/", b.path);
    EXPECT_EQ("", b.query);
    EXPECT_EQ("https://example.org:443", b.origin());

    EXPECT_EQ(8080, parsed("http://127.0.0.1:8080/a/../b/./c").port);
    EXPECT_EQ("/b/c", parsed("http://127.0.0.1:8080/a/../b/./c").path);
}

TEST(WebAddress, OneSpellingPerAddress) {
    // Both programs fetch, compare and name pages by this form, so the root page asked
    // as "HTTP://Example.ORG:80" is the page its links call "http://example.org/".
    EXPECT_EQ("http://example.org/a/c?x=1", parsed("HTTP://Example.ORG:80/a/b/../c?x=1#top").whole);
    EXPECT_EQ("https://example.org:8443/", parsed("https://example.org:8443").whole);
    EXPECT_EQ("http://example.org/?q", parsed("http://example.org?q").whole);
    EXPECT_EQ("http://example.org/", parsed("http://example.org/../../").whole);
    const WebAddress v6 = parsed("http://[::1]:8080/x");
    EXPECT_EQ("[::1]", v6.host);
    EXPECT_EQ(8080, v6.port);
    EXPECT_EQ("http://user:pw@example.org/", parsed("http://user:pw@example.org/").whole);
    EXPECT_EQ("example.org", parsed("http://user:pw@example.org/").host);
}

TEST(WebAddress, OnlyAbsoluteHttpAndHttpsAreAccepted) {
    WebAddress address;
    for (const char* text : {"file:///etc/passwd", "ftp://example.org/x", "example.org/page.html",
                             "/local/page.html", "javascript:alert(1)", "http://", "", "data:text/html,hi",
                             "http://exa mple.org/", "http://a.org:0/", "http://a.org:65536/",
                             "http://a.org:8x/", "http://[::1/", "http://[zz]/", "http:/a.org/",
                             "http://caf\xc3\xa9.org/", "http://a.org/caf\xc3\xa9"}) {
        EXPECT_FALSE(parseWebAddress(text, address)) << text;
    }
    EXPECT_FALSE(parseWebAddress(std::string_view("http://a.org/\0x", 15), address));
}

TEST(WebAddress, ReferencesResolveAgainstTheBase) {
    const WebAddress base = parsed("http://example.org/docs/guide/page.html?q=1");
    WebAddress to;
    ASSERT_TRUE(resolveWebAddress(base, "../other.html", to));
    EXPECT_EQ("http://example.org/docs/other.html", to.whole);
    ASSERT_TRUE(resolveWebAddress(base, "//mirror.example.net/x", to));
    EXPECT_EQ("mirror.example.net", to.host);
    ASSERT_TRUE(resolveWebAddress(base, "https://example.org/", to));
    EXPECT_EQ(443, to.port);
    EXPECT_FALSE(resolveWebAddress(base, "file:///etc/passwd", to));
    ASSERT_TRUE(resolveWebAddress(base, "?q=2", to));
    EXPECT_EQ("http://example.org/docs/guide/page.html?q=2", to.whole);
    ASSERT_TRUE(resolveWebAddress(base, "", to));
    EXPECT_EQ("http://example.org/docs/guide/page.html?q=1", to.whole);
    ASSERT_TRUE(resolveWebAddress(base, "/../../top.html#x", to));
    EXPECT_EQ("http://example.org/top.html", to.whole);
    // A Location with a space or a byte beyond ASCII is escaped, as browsers send it.
    ASSERT_TRUE(resolveWebAddress(base, "new page/caf\xc3\xa9.html", to));
    EXPECT_EQ("http://example.org/docs/guide/new%20page/caf%C3%A9.html", to.whole);
}

TEST(WebAddress, AnInternetShortcutNamesItsAddress) {
    EXPECT_EQ("https://example.org/docs/intro.html#top",
              internetShortcutAddress("\xEF\xBB\xBF[InternetShortcut]\r\nIDList=\r\nURL=https://example.org/docs/intro.html#top\r\n")
                  .value_or("<none>"));
    EXPECT_EQ("http://a.org/x", internetShortcutAddress("[DEFAULT]\nURL=http://elsewhere/\n[internetshortcut]\n url = http://a.org/x \n")
                                    .value_or("<none>"));  // another section's URL is not it
    for (const char* text : {"", "URL=http://a.org/\n", "[InternetShortcut]\nURL=file:///C:/secret.html\n",
                             "[InternetShortcut]\nURL=http://a.org/caf\xe9.html\n", "[InternetShortcut]\nHotKey=0\n",
                             "[InternetShortcut]\nURL=javascript:alert(1)\n"}) {
        EXPECT_FALSE(internetShortcutAddress(text)) << text;
    }
}

TEST(WebScope, BelowRootStaysInTheRootPagesFolder) {
    const WebScope scope = makeWebScope(parsed("http://example.org/docs/guide/index.html"), WebScopeMode::BelowRoot);
    EXPECT_EQ("/docs/guide/", scope.folder);
    EXPECT_TRUE(inWebScope(scope, parsed("http://example.org/docs/guide/index.html")));
    EXPECT_TRUE(inWebScope(scope, parsed("http://example.org/docs/guide/")));
    EXPECT_TRUE(inWebScope(scope, parsed("http://EXAMPLE.org:80/docs/guide/deep/er.html?x=1")));
    EXPECT_FALSE(inWebScope(scope, parsed("http://example.org/docs/guide")));         // the folder itself without '/'
    EXPECT_FALSE(inWebScope(scope, parsed("http://example.org/docs/guidebook.html"))); // a shared prefix only
    EXPECT_FALSE(inWebScope(scope, parsed("http://example.org/docs/other.html")));
    EXPECT_FALSE(inWebScope(scope, parsed("http://example.org/docs/guide/../secret.html")));
    EXPECT_FALSE(inWebScope(scope, parsed("http://example.org/docs/guide/%2e%2e/secret.html")));
    EXPECT_FALSE(inWebScope(scope, parsed("http://example.org/docs/guide/.%2E/secret.html")));
    EXPECT_TRUE(inWebScope(scope, parsed("http://example.org/docs/guide/%2e%2e.html")));  // only whole segments climb
    EXPECT_FALSE(inWebScope(scope, parsed("https://example.org/docs/guide/index.html")));  // another scheme
    EXPECT_FALSE(inWebScope(scope, parsed("http://example.org:8080/docs/guide/index.html")));
    EXPECT_FALSE(inWebScope(scope, parsed("http://www.example.org/docs/guide/index.html")));
}

TEST(WebScope, ARootFolderOrHostRootCoversTheWholeHost) {
    const WebScope scope = makeWebScope(parsed("http://example.org/"), WebScopeMode::BelowRoot);
    EXPECT_EQ("/", scope.folder);
    EXPECT_TRUE(inWebScope(scope, parsed("http://example.org/any/where.html")));
    const WebScope page = makeWebScope(parsed("http://example.org/index.html"), WebScopeMode::BelowRoot);
    EXPECT_TRUE(inWebScope(page, parsed("http://example.org/any/where.html")));
}

TEST(WebScope, WholeHostAllowsAnyPathOfTheSameOrigin) {
    const WebScope scope = makeWebScope(parsed("http://example.org/docs/guide/index.html"), WebScopeMode::WholeHost);
    EXPECT_TRUE(inWebScope(scope, parsed("http://example.org/other/page.html")));
    EXPECT_TRUE(inWebScope(scope, parsed("http://example.org/docs/%2e%2e/x.html")));
    EXPECT_FALSE(inWebScope(scope, parsed("https://example.org/other/page.html")));
    EXPECT_FALSE(inWebScope(scope, parsed("http://example.org:81/other/page.html")));
    EXPECT_FALSE(inWebScope(scope, parsed("http://elsewhere.invalid/")));
}

TEST(WebScope, AnyHostAllowsEveryHttpAddressAndNothingElse) {
    const WebScope scope = makeWebScope(parsed("http://example.org/docs/index.html"), WebScopeMode::AnyHost);
    EXPECT_TRUE(inWebScope(scope, parsed("https://elsewhere.invalid:8443/x")));
    WebAddress handMade = parsed("http://example.org/docs/index.html");
    handMade.scheme = "file";
    EXPECT_FALSE(inWebScope(scope, handMade));
}

}  // namespace
