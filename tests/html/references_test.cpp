// The reference helpers decide which file a link opens, so every rule that changes a
// path, and every bound that must refuse rather than cut, is pinned here.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "html/references.h"

namespace {

// resolveReference as a string, or "<none>".
std::string resolved(const std::string& base, const std::string& ref) {
    char out[kReferenceBytes];
    const char* result = resolveReference(base.c_str(), ref.c_str(), out);
    return result == nullptr ? "<none>" : std::string(result);
}

std::string normalized(const std::string& path) {
    char buffer[kReferenceBytes + 64] = {};
    path.copy(buffer, sizeof buffer - 1);
    const char* result = normalizePath(buffer);
    return result == nullptr ? "<none>" : std::string(result);
}

std::string directoryOf(const std::string& name) {
    char out[kReferenceBytes];
    directoryPart(name.c_str(), out);
    return out;
}

}  // namespace

TEST(PathKind, TellsDriveUncRootUrlAndRelative) {
    struct Row { const char* ref; int kind; };
    const Row rows[] = {
        {"C:\\docs", PathDrive},  {"z:/x", PathDrive},       {"1:/x", PathRelative},
        {"C:docs", PathRelative}, {"\\\\srv\\share", PathUnc}, {"\\docs", PathRelative},
        {"/docs", PathRoot},      {"//host/x", PathRoot},     {"HTTP://Host/", PathUrl},
        {"http:/x", PathRelative}, {"ftp://x/", PathRelative}, {"a/b.htm", PathRelative},
        {"", PathRelative},
    };
    for (const Row& row : rows) EXPECT_EQ(row.kind, pathKind(row.ref)) << row.ref;
}

TEST(ResolveReference, JoinsRelativeReferencesToAbsoluteBases) {
    EXPECT_EQ("C:\\docs\\a/b.htm", resolved("C:\\docs\\", "a/b.htm"));
    EXPECT_EQ("C:\\docs\\a.htm", resolved("C:\\docs", "a.htm"));  // separator supplied
    EXPECT_EQ("C:/docs/a.htm", resolved("C:/docs/", "a.htm"));
    EXPECT_EQ("/web/a.htm", resolved("/web", "a.htm"));
    EXPECT_EQ("http://host/d/a.htm", resolved("http://host/d", "a.htm"));
    EXPECT_EQ("\\\\srv\\share\\a.htm", resolved("\\\\srv\\share", "a.htm"));
}

TEST(ResolveReference, PassesDriveUncAndUrlReferencesUnchanged) {
    EXPECT_EQ("http://other/x.htm", resolved("C:\\docs\\", "http://other/x.htm"));
    EXPECT_EQ("HTTP://other/x.htm", resolved("docs\\", "HTTP://other/x.htm"));  // even on a relative base
    EXPECT_EQ("D:\\x.htm", resolved("C:\\docs\\", "D:\\x.htm"));
    EXPECT_EQ("\\\\srv\\s\\x.htm", resolved("http://host/", "\\\\srv\\s\\x.htm"));
}

TEST(ResolveReference, RootReferencesKeepOnlyTheBaseRoot) {
    EXPECT_EQ("C:/x.htm", resolved("C:\\docs\\", "/x.htm"));
    EXPECT_EQ("C:\\x.htm", resolved("C:\\docs\\sub\\", "\\x.htm"));  // a single backslash too
    EXPECT_EQ("/x.htm", resolved("/web/docs/", "/x.htm"));
    EXPECT_EQ("http://host/x.htm", resolved("http://host/d/", "/x.htm"));
    EXPECT_EQ("http://host/x.htm", resolved("http://host", "/x.htm"));
    // A UNC base keeps its server and share, not a lone backslash that would name the
    // reference as a server.
    EXPECT_EQ("\\\\srv\\share\\x.htm", resolved("\\\\srv\\share\\d\\", "\\x.htm"));
    EXPECT_EQ("\\\\srv/x.htm", resolved("\\\\srv\\", "/x.htm"));
    EXPECT_EQ("<none>", resolved("http://", "/x.htm"));  // a URL base without a host
}

TEST(ResolveReference, UrlBaseAndParentReferenceNormalizeToTheRootReference) {
    char out[kReferenceBytes];
    ASSERT_NE(nullptr, resolveReference("http://host/d/", "../x.htm", out));
    EXPECT_EQ("http://host/d/../x.htm", std::string(out));
    ASSERT_NE(nullptr, normalizePath(out));
    EXPECT_EQ(resolved("http://host/d/", "/x.htm"), std::string(out));
}

TEST(ResolveReference, RefusesRelativeBasesAndOverlongInputs) {
    EXPECT_EQ("<none>", resolved("docs\\", "a.htm"));
    EXPECT_EQ("<none>", resolved("", "a.htm"));
    EXPECT_EQ("<none>", resolved("docs/", "/x.htm"));  // a root reference needs a base root too

    // Bases: "C:\" plus filler; 253 bytes still resolve, 254 and longer never do.
    for (int length : {253, 254, 255, 256, 300}) {
        const std::string base = "C:\\" + std::string(length - 3, 'b');
        const std::string result = resolved(base, "");
        if (length <= 253) {
            EXPECT_EQ(base + "\\", result) << length;
        } else {
            EXPECT_EQ("<none>", result) << length;
        }
    }
    // Results: 255 bytes fit; one more is refused rather than cut to another file's name.
    const std::string base = "C:\\d\\";  // 5 bytes
    for (int length : {249, 250, 251, 252}) {
        const std::string ref(length, 'r');
        EXPECT_EQ(length + 5 <= 255 ? base + ref : "<none>", resolved(base, ref)) << length;
    }
    // Unchanged references: 255 bytes pass, 256 do not.
    const std::string url = "http://h/";
    EXPECT_EQ(url + std::string(246, 'u'), resolved("C:\\", url + std::string(246, 'u')));
    EXPECT_EQ("<none>", resolved("C:\\", url + std::string(247, 'u')));
}

TEST(NormalizePath, FoldsParentSegmentsAndRefusesClimbingAboveTheFirst) {
    struct Row { const char* path; const char* expected; };
    const Row rows[] = {
        {"a/b/../c", "a/c"},
        {"C:\\docs\\sub\\..\\x.htm", "C:\\docs\\x.htm"},
        {"a/b/c/../../d", "a/d"},
        {"a\\b/../c", "a\\c"},             // both separators count
        {"a/./b/..", "a/./b/.."},         // single dots and a trailing ".." stay
        {"../x", "../x"},                 // no separator before the ".."
        {"a/..b/c", "a/..b/c"},           // "..b" is a name
        {"x/../y", "<none>"},
        {"/../x", "<none>"},
        {"C:\\..\\x", "<none>"},
        {"a/b/../../../c", "<none>"},
    };
    for (const Row& row : rows) EXPECT_EQ(row.expected, normalized(row.path)) << row.path;
}

TEST(NormalizePath, LeavesThePathUntouchedWhenThereIsNoResult) {
    char path[] = "a/b/../../../c";
    EXPECT_EQ(nullptr, normalizePath(path));
    EXPECT_STREQ("a/b/../../../c", path);
    EXPECT_EQ("C:\\" + std::string(252, 'p'), normalized("C:\\" + std::string(252, 'p')));  // 255
    EXPECT_EQ("<none>", normalized("C:\\" + std::string(253, 'p')));                       // 256
}

TEST(SplitFragment, SplitsAtTheFirstHashWithinBounds) {
    char path[kReferenceBytes];
    char fragment[kReferenceBytes];
    ASSERT_TRUE(splitFragment("p.htm#sec", path, fragment));
    EXPECT_STREQ("p.htm", path);
    EXPECT_STREQ("sec", fragment);
    ASSERT_TRUE(splitFragment("p.htm#", path, fragment));
    EXPECT_STREQ("p.htm", path);
    EXPECT_STREQ("", fragment);
    ASSERT_TRUE(splitFragment("p.htm", path, fragment));
    EXPECT_STREQ("", fragment);
    ASSERT_TRUE(splitFragment("p.htm#a#b", path, fragment));
    EXPECT_STREQ("a#b", fragment);

    for (int length : {253, 254, 255, 256}) {
        const std::string part(length, 'x');
        EXPECT_EQ(length <= 255 ? 1 : 0, splitFragment((part + "#f").c_str(), path, fragment)) << length;
        EXPECT_EQ(length <= 255 ? 1 : 0, splitFragment(("p#" + part).c_str(), path, fragment)) << length;
    }
}

TEST(DirectoryPart, KeepsUpToTheLastSeparatorOfTheFirst255Bytes) {
    EXPECT_EQ("C:\\docs\\", directoryOf("C:\\docs\\index.htm"));
    EXPECT_EQ("http://h/a/", directoryOf("http://h/a/b.htm"));
    EXPECT_EQ("a\\b/", directoryOf("a\\b/c"));
    EXPECT_EQ("", directoryOf("index.htm"));
    const std::string deep = std::string(254, 'd') + "/";  // separator at byte 255
    EXPECT_EQ(deep, directoryOf(deep + "x.htm"));
    const std::string beyond = std::string(255, 'd') + "/x.htm";  // separator at byte 256
    EXPECT_EQ("", directoryOf(beyond));
    EXPECT_EQ("a/", directoryOf("a/" + std::string(300, 'x') + "/y"));
}

TEST(DecodePathEscapes, GivesEverySpellingOfANameOnePageName) {
    struct Case {
        const char* in;
        const char* out;
    };
    const Case cases[] = {
        {"/s/caf%C3%A9.html", "/s/caf\xE9.html"},       // UTF-8 escapes of a handheld character
        {"/s/caf%c3%a9.html", "/s/caf\xE9.html"},       // any case of digits
        {"/s/caf%E9.html", "/s/caf\xE9.html"},          // no UTF-8: a Windows-1252 byte
        {"/s/my%20notes.html", "/s/my notes.html"},
        {"/s/%E2%82%AC.html", "/s/\x80.html"},          // the euro sign has its byte
        {"/s/%e4%b9%a6/index.html", "/s/%E4%B9%A6/index.html"},  // no byte: kept, upper case
        {"/s/a%2Fb%5Cc%23d%3Fe%25f%00g%0A", "/s/a%2Fb%5Cc%23d%3Fe%25f%00g%0A"},
        {"/s/%C0%AF.html", "/s/\xC0\xAF.html"},         // overlong: two Windows-1252 bytes
        {"/s/%ED%A0%80", "/s/\xED\xA0\x80"},          // a surrogate: three Windows-1252 bytes
        {"/s/100%.html", "/s/100%.html"},               // no escape at all
        {"/s/%4", "/s/%4"},
        {"/s/%E2%82", "/s/\xE2\x82"},                  // a cut sequence likewise
    };
    for (const Case& c : cases) {
        char path[kReferenceBytes];
        std::strcpy(path, c.in);
        EXPECT_STREQ(c.out, decodePathEscapes(path)) << c.in;
    }
}

namespace {

// resolveWebReference as "address#fragment" (the '#' only with a fragment), or the
// reason there is none.
std::string web(const std::string& base, const std::string& ref) {
    char out[kReferenceBytes];
    char fragment[kReferenceBytes];
    const int result = resolveWebReference(base.c_str(), ref.c_str(), out, fragment);
    if (result == WebRefused) return "<refused>";
    if (result == WebTooLong) return "<too long>";
    if (result != WebResolved) return "<unknown>";
    return fragment[0] != '\0' ? std::string(out) + "#" + fragment : std::string(out);
}

}  // namespace

TEST(PathKind, TellsHttpsAddressesFromOtherSchemes) {
    EXPECT_EQ(PathUrl, pathKind("https://host/"));
    EXPECT_EQ(PathUrl, pathKind("HttpS://Host"));
    EXPECT_EQ(PathRelative, pathKind("https:/x"));
    EXPECT_EQ(PathRelative, pathKind("httpss://x/"));
    EXPECT_EQ(PathRelative, pathKind("https"));
    // A local page links to an https page as it links to an http one: unchanged.
    EXPECT_EQ("https://other/x.htm", resolved("C:\\docs\\", "https://other/x.htm"));
    EXPECT_EQ("https://host/x.htm", resolved("https://host/d/", "/x.htm"));
}

// RFC 3986 5.4, base "http://a/b/c/d;p?q", as browsers read it.
TEST(ResolveWebReference, FollowsTheRfcExamples) {
    const std::string base = "http://a/b/c/d;p?q";
    struct Row { const char* ref; const char* expected; };
    const Row rows[] = {
        {"g", "http://a/b/c/g"},          {"./g", "http://a/b/c/g"},
        {"g/", "http://a/b/c/g/"},        {"/g", "http://a/g"},
        {"//g", "http://g/"},             {"?y", "http://a/b/c/d;p?y"},
        {"g?y", "http://a/b/c/g?y"},      {"#s", "http://a/b/c/d;p?q#s"},
        {"g#s", "http://a/b/c/g#s"},      {"g?y#s", "http://a/b/c/g?y#s"},
        {";x", "http://a/b/c/;x"},        {"g;x", "http://a/b/c/g;x"},
        {"g;x?y#s", "http://a/b/c/g;x?y#s"}, {"", "http://a/b/c/d;p?q"},
        {".", "http://a/b/c/"},           {"./", "http://a/b/c/"},
        {"..", "http://a/b/"},            {"../", "http://a/b/"},
        {"../g", "http://a/b/g"},         {"../..", "http://a/"},
        {"../../", "http://a/"},          {"../../g", "http://a/g"},
        // The abnormal ones.
        {"../../../g", "http://a/g"},     {"../../../../g", "http://a/g"},
        {"/./g", "http://a/g"},           {"/../g", "http://a/g"},
        {"g.", "http://a/b/c/g."},        {".g", "http://a/b/c/.g"},
        {"g..", "http://a/b/c/g.."},      {"..g", "http://a/b/c/..g"},
        {"./../g", "http://a/b/g"},       {"./g/.", "http://a/b/c/g/"},
        {"g/./h", "http://a/b/c/g/h"},    {"g/../h", "http://a/b/c/h"},
        {"g;x=1/./y", "http://a/b/c/g;x=1/y"}, {"g;x=1/../y", "http://a/b/c/y"},
        {"g?y/./x", "http://a/b/c/g?y/./x"},   {"g?y/../x", "http://a/b/c/g?y/../x"},
        {"g#s/./x", "http://a/b/c/g#s/./x"},   {"g#s/../x", "http://a/b/c/g#s/../x"},
        {"http:g", "http://a/b/c/g"},     // the base's own scheme without "//": relative
    };
    for (const Row& row : rows) EXPECT_EQ(row.expected, web(base, row.ref)) << row.ref;
}

TEST(ResolveWebReference, KeepsQueriesOutOfTheFolderAndHostsOutOfThePath) {
    EXPECT_EQ("http://h/a/c.html", web("http://h/a/b.html?x=1/2", "c.html"));
    EXPECT_EQ("http://h/a/b.html?y", web("http://h/a/b.html?x=1/2", "?y"));
    EXPECT_EQ("http://h/a/b.html?", web("http://h/a/b.html?x", "?"));  // an empty query is one
    EXPECT_EQ("http://h/a/b.html?x=1/2", web("http://h/a/b.html?x=1/2#top", ""));
    EXPECT_EQ("http://h/c.html", web("http://h", "c.html"));          // no path: the root's folder
    EXPECT_EQ("http://h/", web("http://h", ""));
    EXPECT_EQ("http://h/?q", web("http://h?q", ""));
    EXPECT_EQ("http://h/a", web("http://h/../a", ""));  // ".." never climbs above the host
    EXPECT_EQ("http://h/a", web("http://h/d/", "../../a"));
    EXPECT_EQ("https://other.example/x", web("https://h/d/", "//other.example/x"));
    EXPECT_EQ("http://other/", web("http://h/d/", "//other"));
    EXPECT_EQ("https://b/x?y=1", web("http://h/", "https://b/x?y=1"));
    // '\' is '/' before the query, as browsers take it; a UNC path names a host.
    EXPECT_EQ("http://h/x.html", web("http://h/d/p.html", "..\\x.html"));
    EXPECT_EQ("http://srv/share/x", web("http://h/d/", "\\\\srv\\share\\x"));
    EXPECT_EQ("http://h/d/p?a\\b", web("http://h/d/", "p?a\\b"));
    // Spaces around a reference and line breaks in it are no part of it.
    EXPECT_EQ("http://h/d/page.html#s", web("http://h/d/", "  page\n.html#s \t"));
}

TEST(ResolveWebReference, GivesEachAddressOneSpelling) {
    EXPECT_EQ("http://host.example/A/c", web("HTTP://Host.Example:80/A/b", "c"));
    EXPECT_EQ("https://h/x", web("HTTPS://H:443/", "x"));
    EXPECT_EQ("http://h:443/x", web("http://h:443/", "x"));   // only the scheme's own port goes
    EXPECT_EQ("https://h:80/x", web("https://h:80/", "x"));
    EXPECT_EQ("http://h:8000/x", web("http://h:8000/", "x"));
    EXPECT_EQ("http://h/x", web("http://h:/", "x"));
    EXPECT_EQ("http://127.0.0.1:8000/docs/a.html", web("http://127.0.0.1:8000/docs/", "a.html"));
    EXPECT_EQ("http://[::1]/x", web("http://[::1]:80/", "x"));
    EXPECT_EQ("http://User@h/x", web("http://User@H/", "x"));  // a user name keeps its case
    EXPECT_EQ("http://h/x", web("http://h/d/", "HTTP://H:80/x"));
    // Escapes: unreserved characters and UTF-8 of a handheld character are decoded; what
    // would change the address, or could not be written back as it was, stays escaped.
    EXPECT_EQ(web("http://h/", "caf\xE9.html"), web("http://h/", "caf%C3%A9.html"));
    EXPECT_EQ("http://h/caf\xE9.html", web("http://h/", "caf%c3%a9.html"));
    EXPECT_EQ("http://h/~user/A-1.b_c", web("http://h/", "%7euser/%41%2d1%2Eb%5Fc"));
    EXPECT_EQ("http://h/my notes.html", web("http://h/", "my%20notes.html"));
    EXPECT_EQ("http://h/caf%E9.html", web("http://h/", "caf%e9.html"));  // Latin-1 is another address
    EXPECT_EQ("http://h/%E4%B9%A6", web("http://h/", "%e4%b9%a6"));      // no handheld byte
    EXPECT_EQ("http://h/a%2Fb%3Fc%25d%26e%3Df%2Bg%23h%5Ci", web("http://h/", "a%2Fb%3Fc%25d%26e%3Df%2Bg%23h%5Ci"));
    EXPECT_EQ("http://h/s?q=a%26b&c=%2B1", web("http://h/", "s?q=a%26b&c=%2B1"));
    EXPECT_EQ("http://h/%C3", web("http://h/", "%C3"));                 // a cut sequence stays
    EXPECT_EQ("http://h/100%.html", web("http://h/", "100%.html"));
    // Escaped dots are dot segments.
    EXPECT_EQ("http://h/x", web("http://h/a/b/", "%2e%2E/.%2e/x"));
    EXPECT_EQ("http://h/a/b/.../x", web("http://h/a/b/", "%2e%2e%2e/x"));
    // The fragment is decoded as every fragment is.
    EXPECT_EQ("http://h/p#caf\xE9", web("http://h/", "p#caf%C3%A9"));
}

TEST(ResolveWebReference, RefusesWhatAWebPageMayNotOpen) {
    for (const char* ref : {"file:///etc/passwd", "FILE:C:/x.html", "mailto:a@b.example",
                            "javascript:void(0)", "ftp://h/x", "data:text/html,x", "C:\\x.html",
                            "c:/x.html", "https:x", "///x", "//:80/x", "news:a"})
        EXPECT_EQ("<refused>", web("http://h/d/", ref)) << ref;
    // The base must be a web address with a host.
    EXPECT_EQ("<refused>", web("C:\\docs\\", "a.htm"));
    EXPECT_EQ("<refused>", web("/web/", "a.htm"));
    EXPECT_EQ("<refused>", web("http:///x", "a.htm"));
    EXPECT_EQ("<refused>", web("ftp://h/", "a.htm"));
    EXPECT_EQ("<refused>", web("", "a.htm"));
}

TEST(ResolveWebReference, RefusesRatherThanCutsPast255Bytes) {
    const std::string base = "http://h/";  // 9 bytes
    for (int length : {245, 246, 247, 260}) {
        const std::string name(length, 'n');
        EXPECT_EQ(length + 9 <= 255 ? base + name : "<too long>", web(base, name)) << length;
        EXPECT_EQ(length <= 255 ? "http://h/p#" + name : "<too long>", web(base, "p#" + name)) << length;
    }
    // Escapes count once decoded: 246 escaped bytes are 82 decoded ones.
    std::string escaped;
    for (int i = 0; i < 82; ++i) escaped += "%41";
    const std::string folder = base + std::string(150, 'a') + "/";
    EXPECT_EQ(folder + std::string(82, 'A'), web(folder, escaped));
    // A merge longer than 255 bytes that dot segments bring back within them resolves.
    const std::string deep = base + std::string(200, 'a') + "/x";
    EXPECT_EQ(base + std::string(200, 'b'), web(deep, "../" + std::string(200, 'b')));
    // A query of the base counts for "" alone.
    const std::string queried = base + "p?" + std::string(240, 'q');
    EXPECT_EQ(queried, web(queried, ""));
    EXPECT_EQ(base + "z", web(queried, "z"));
}

TEST(PageBase, IsTheWholeAddressOfAWebPageAndTheFolderOfAFile) {
    char out[kReferenceBytes];
    pageBase("http://h/a/b.html?x=1/2", out);
    EXPECT_STREQ("http://h/a/b.html?x=1/2", out);
    pageBase("C:\\d\\p.htm", out);
    EXPECT_STREQ("C:\\d\\", out);
    pageBase("/web/p.htm", out);
    EXPECT_STREQ("/web/", out);
}
