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
