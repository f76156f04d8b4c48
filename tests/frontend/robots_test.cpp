// robots.txt for the agent "vimlo": groups, longest match, wildcards, escapes, and what a
// missing or failing file means (the fetching cases run against the loopback server).
#include "frontend/robots.h"

#include <gtest/gtest.h>

#include "tests/support/temp_dir.h"
#include "tests/support/web_server.h"

namespace {

TEST(Robots, TheGroupNamingVimloWinsOverTheStarGroup) {
    const RobotsRules rules = parseRobots(
        "User-agent: *\n"
        "Disallow: /\n"
        "\n"
        "User-agent: otherbot\n"
        "User-AGENT: VimLo/0.1   # with a version\n"
        "Disallow: /private/\n");
    EXPECT_TRUE(robotsAllow(rules, "/index.html"));
    EXPECT_FALSE(robotsAllow(rules, "/private/a.html"));
    // Another agent sees only the star group.
    EXPECT_FALSE(robotsAllow(parseRobots("User-agent: *\nDisallow: /\n\nUser-agent: otherbot\nAllow: /\n"), "/x"));
}

TEST(Robots, GroupsForTheSameAgentAreCombined) {
    const RobotsRules rules = parseRobots(
        "user-agent: vimlo\ndisallow: /a/\n"
        "user-agent: someone\ndisallow: /c/\n"
        "user-agent: vimlo\ndisallow: /b/\n");
    EXPECT_FALSE(robotsAllow(rules, "/a/1"));
    EXPECT_FALSE(robotsAllow(rules, "/b/1"));
    EXPECT_TRUE(robotsAllow(rules, "/c/1"));
}

TEST(Robots, StarGroupAppliesWhenNoGroupNamesVimlo) {
    const RobotsRules rules = parseRobots("User-agent: googlebot\nDisallow: /g/\n\nUser-agent: *\nDisallow: /s/\n");
    EXPECT_TRUE(robotsAllow(rules, "/g/page"));
    EXPECT_FALSE(robotsAllow(rules, "/s/page"));
    EXPECT_TRUE(robotsAllow(parseRobots("User-agent: googlebot\nDisallow: /\n"), "/any"));
    EXPECT_TRUE(robotsAllow(parseRobots(""), "/any"));
}

TEST(Robots, LongestMatchDecidesAndAllowWinsATie) {
    // Rows from the examples of the robots exclusion protocol.
    struct Row { const char* file; const char* path; bool allowed; };
    const Row rows[] = {
        {"User-agent: *\nAllow: /p\nDisallow: /\n", "/page", true},
        {"User-agent: *\nAllow: /folder\nDisallow: /folder\n", "/folder/page", true},  // a tie
        {"User-agent: *\nDisallow: /folder\nAllow: /folder\n", "/folder/page", true},  // order does not matter
        {"User-agent: *\nAllow: /page\nDisallow: /*.htm\n", "/page.htm", false},
        {"User-agent: *\nAllow: /$\nDisallow: /\n", "/", true},
        {"User-agent: *\nAllow: /$\nDisallow: /\n", "/page.htm", false},
        {"User-agent: *\nDisallow: /private/\nAllow: /private/public/\n", "/private/public/x", true},
        {"User-agent: *\nDisallow: /private/\nAllow: /private/public/\n", "/private/other", false},
    };
    for (const Row& row : rows) EXPECT_EQ(row.allowed, robotsAllow(parseRobots(row.file), row.path)) << row.file << row.path;
}

TEST(Robots, WildcardsAndTheEndAnchor) {
    struct Row { const char* pattern; const char* path; bool matches; };
    const Row rows[] = {
        {"/*.php$", "/index.php", true},
        {"/*.php$", "/index.php?x=1", false},
        {"/*.php$", "/a.php.html", false},
        {"/*.php", "/dir/a.php5", true},
        {"/fish*", "/fish", true},
        {"/fish*", "/fishheads/yummy.html", true},
        {"/fish*", "/Fish.asp", false},  // case matters in paths
        {"/*/b/*/d", "/x/b/y/b/z/d/e", true},
        {"/a*b*c$", "/aXbYbZc", true},
        {"/a*b*c$", "/aXbYc-", false},
        {"/*?sort=", "/list?sort=up", true},
        {"/$", "/", true},
        {"/$", "/x", false},
    };
    for (const Row& row : rows) {
        const std::string file = std::string("User-agent: *\nDisallow: ") + row.pattern + "\n";
        EXPECT_EQ(!row.matches, robotsAllow(parseRobots(file), row.path)) << row.pattern << " " << row.path;
    }
}

TEST(Robots, ManyStarsAgainstALongPathStayQuick) {
    const std::string pattern = "/" + std::string(60, '*') + "b$";
    const std::string path = "/" + std::string(4000, 'a');
    EXPECT_TRUE(robotsAllow(parseRobots("User-agent: *\nDisallow: " + pattern + "\n"), path));
}

TEST(Robots, EmptyDisallowAllowsAndStrayLinesAreIgnored) {
    EXPECT_TRUE(robotsAllow(parseRobots("User-agent: *\nDisallow:\n"), "/anything"));
    const RobotsRules rules = parseRobots(
        "\xEF\xBB\xBF"          // a byte order mark
        "Disallow: /before-any-group/\r\n"
        "# a comment\r\n"
        "Sitemap: http://example.org/map.xml\r\n"
        "User-agent: *\r\n"
        "Crawl-delay: 10\r\n"
        "this line has no colon\r\n"
        "Disallow: /x/ # trailing comment\r\n");
    EXPECT_TRUE(robotsAllow(rules, "/before-any-group/a"));
    EXPECT_FALSE(robotsAllow(rules, "/x/a"));
    EXPECT_TRUE(robotsAllow(parseRobots("User-agent: *\nDisallow: /\n"), "/robots.txt"));
}

TEST(Robots, EscapesCompareInOneSpelling) {
    EXPECT_FALSE(robotsAllow(parseRobots("User-agent: *\nDisallow: /%7Ejoe/\n"), "/~joe/index.html"));
    EXPECT_FALSE(robotsAllow(parseRobots("User-agent: *\nDisallow: /~joe/\n"), "/%7ejoe/index.html"));
    EXPECT_FALSE(robotsAllow(parseRobots("User-agent: *\nDisallow: /a%2fb\n"), "/a%2Fb"));
    EXPECT_TRUE(robotsAllow(parseRobots("User-agent: *\nDisallow: /a%2Fb\n"), "/a/b"));  // an escaped '/' is not '/'
    EXPECT_FALSE(robotsAllow(parseRobots("User-agent: *\nDisallow: /f\xC3\xBC\n"), "/f%C3%BCr"));
}

TEST(Robots, OnlyTheFirst500KiBAreRead) {
    std::string file = "User-agent: *\n";
    while (file.size() < kMaxRobotsBytes - 20) file += "Disallow: /filler\n";
    file += "Disallow: /late/\n";  // beyond the limit
    ASSERT_GT(file.size(), kMaxRobotsBytes);
    const RobotsRules rules = parseRobots(file);
    EXPECT_FALSE(robotsAllow(rules, "/filler"));
    EXPECT_TRUE(robotsAllow(rules, "/late/x"));
}

// Fetching the file: what each answer of the server means.
class RobotsFetchTest : public ::testing::Test {
protected:
    TempDir pages;
    TempDir files;
    WebAddress pageAt(const WebServer& server) {
        WebAddress page;
        EXPECT_TRUE(parseWebAddress(server.url("/docs/index.html"), page));
        return page;
    }
};

TEST_F(RobotsFetchTest, AServedFileIsObeyedAndFetchedWithTheAgent) {
    files.write("robots.txt", "User-agent: vimlo\nDisallow: /docs/private/\n");
    WebServer server(pages.path(), {"--robots", files.file("robots.txt")});
    ASSERT_TRUE(server.running());
    WebFetcher fetcher;
    const RobotsFetch fetched = fetchRobots(fetcher, pageAt(server));
    EXPECT_EQ(FetchFault::None, fetched.result.fault);
    EXPECT_FALSE(robotsAllow(fetched.rules, "/docs/private/a.html"));
    EXPECT_TRUE(robotsAllow(fetched.rules, "/docs/index.html"));
    const auto requests = server.requests();
    ASSERT_EQ(1u, requests.size());
    EXPECT_EQ("/robots.txt", requests[0].path);
    EXPECT_EQ(webUserAgent(), requests[0].userAgent);
}

TEST_F(RobotsFetchTest, AMissingFileAllowsEverything) {
    for (const char* status : {"404", "403", "410"}) {
        WebServer server(pages.path(), {"--robots-status", status});
        ASSERT_TRUE(server.running());
        WebFetcher fetcher;
        const RobotsFetch fetched = fetchRobots(fetcher, pageAt(server));
        EXPECT_FALSE(fetched.rules.disallowAll) << status;
        EXPECT_TRUE(robotsAllow(fetched.rules, "/docs/index.html")) << status;
    }
}

TEST_F(RobotsFetchTest, AServerErrorOrNoServerForbidsEverything) {
    int port = 0;
    {
        WebServer server(pages.path(), {"--robots-status", "500"});
        ASSERT_TRUE(server.running());
        port = server.port();
        WebFetcher fetcher;
        const RobotsFetch fetched = fetchRobots(fetcher, pageAt(server));
        EXPECT_TRUE(fetched.rules.disallowAll);
        EXPECT_FALSE(robotsAllow(fetched.rules, "/docs/index.html"));
    }
    // The server is gone: nothing listens on its port any more.
    WebAddress gone;
    ASSERT_TRUE(parseWebAddress("http://127.0.0.1:" + std::to_string(port) + "/", gone));
    WebFetcher fetcher;
    const RobotsFetch fetched = fetchRobots(fetcher, gone);
    EXPECT_EQ(FetchFault::Refused, fetched.result.fault);
    EXPECT_FALSE(robotsAllow(fetched.rules, "/index.html"));
}

TEST_F(RobotsFetchTest, AHugeFileIsReadUpToTheLimit) {
    std::string file = "User-agent: *\nDisallow: /first/\n";
    while (file.size() < 2 * kMaxRobotsBytes) file += "Allow: /filler/more/and/more\n";
    file += "Disallow: /late/\n";
    files.write("robots.txt", file);
    WebServer server(pages.path(), {"--robots", files.file("robots.txt")});
    ASSERT_TRUE(server.running());
    WebFetcher fetcher;
    const RobotsFetch fetched = fetchRobots(fetcher, pageAt(server));
    EXPECT_FALSE(fetched.rules.disallowAll);
    EXPECT_FALSE(robotsAllow(fetched.rules, "/first/x"));
    EXPECT_TRUE(robotsAllow(fetched.rules, "/late/x"));
}

TEST_F(RobotsFetchTest, CancelIsReported) {
    WebServer server(pages.path());
    ASSERT_TRUE(server.running());
    WebFetcher fetcher;
    const RobotsFetch fetched = fetchRobots(fetcher, pageAt(server), [] { return false; });
    EXPECT_TRUE(fetched.canceled);
}

}  // namespace
