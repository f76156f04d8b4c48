// tests/cli/preview_command_test.cpp -- `vimlo preview` and `vimlo convert --preview` end to
// end: where the page goes, that it shows the database it was made from, the files it must
// never replace, and damaged databases.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <nlohmann/json.hpp>
#include <regex>
#include <set>

#include "tests/cli/vimlo_runner.h"
#include "tests/support/temp_dir.h"

using namespace cli_test;

namespace {

const std::string kSiteFolder = std::string(VIMLO_SOURCE_DIR) + "/samples/site";

struct Workspace {
    TempDir dir;
    Outcome run(const std::vector<std::string>& args) const { return cli_test::run(args, dir.path()); }
    bool exists(const std::string& name) const { return std::filesystem::exists(dir.file(name)); }
    // The sample site converted with every page, as `name`.
    void convertSite(const std::string& name) const {
        const Outcome outcome =
            run({"convert", "-q", "-d", "-1", kSiteFolder + "/index.html", "-o", name});
        ASSERT_EQ(0, outcome.exitCode) << outcome.err;
    }
};

std::set<std::string> matches(const std::string& text, const std::string& pattern) {
    std::set<std::string> found;
    const std::regex expression(pattern);
    for (auto it = std::sregex_iterator(text.begin(), text.end(), expression);
         it != std::sregex_iterator(); ++it)
        found.insert((*it)[1]);
    return found;
}

TEST(PreviewCommand, ThePageShowsTheDatabaseItWasMadeFrom) {
    Workspace space;
    space.convertSite("site.pdb");
    const Outcome outcome = space.run({"preview", "site.pdb"});
    ASSERT_EQ(0, outcome.exitCode) << outcome.err;
    EXPECT_EQ("", outcome.err);
    const std::string page = space.dir.read("site.html");
    const nlohmann::json info = nlohmann::json::parse(space.run({"info", "site.pdb"}).out);
    const nlohmann::json& zero = info["recordZero"];

    EXPECT_NE(std::string::npos, page.find("<title>The Pocket Gardener (preview)</title>"));
    EXPECT_NE(std::string::npos,
              page.find("<dt>Text</dt><dd>" + std::to_string(zero["textLength"].get<int>()) +
                        " bytes from " + std::to_string(zero["pageCount"].get<int>()) + " pages</dd>"));
    EXPECT_NE(std::string::npos,
              page.find("<dt>Converted</dt><dd>" + zero["conversionTimeText"].get<std::string>()));
    EXPECT_NE(std::string::npos,
              page.find("<dt>File</dt><dd>" + std::to_string(info["fileSize"].get<int>())));

    // Every link has its anchor, and every link record entry became a link.
    const std::set<std::string> targets = matches(page, "href=\"#t([0-9]+)\"");
    const std::set<std::string> anchors = matches(page, "id=\"t([0-9]+)\"");
    EXPECT_EQ(targets, anchors);
    std::set<std::string> recorded;
    for (const auto& record : info["documentRecords"]["link"]["records"])
        for (const auto& entry : record["entries"])
            if (!entry.contains("spacer")) recorded.insert(std::to_string(entry["target"].get<int>()));
    EXPECT_EQ(recorded, targets);

    // One band per page and its end, one hr per rule entry.
    EXPECT_EQ(zero["pageCount"].get<size_t>() + 1,
              matches(page, "<div class=\"page\">([^<]*)</div>").size());
    size_t rules = 0, drawn = 0;
    for (const auto& record : info["documentRecords"]["rule"]["records"])
        rules += record["entries"].size();
    for (size_t at = page.find("<hr class=\"rule"); at != std::string::npos;
         at = page.find("<hr class=\"rule", at + 1))
        ++drawn;
    EXPECT_EQ(rules, drawn);

    // Entities of the site as UTF-8: &deg; &mdash; &pound;; the list that starts at 3 (its LI
    // tags, without a TYPE, keep its small roman numbers).
    for (const char* shown : {"10\u00A0\u00B0C", "Rosemary \u2014 likes", "basil \u00A31",
                              "<span class=\"mk\">iii.</span><span class=\"f3\">Rosemary"})
        EXPECT_NE(std::string::npos, page.find(shown)) << shown;

    const Outcome toOutput = space.run({"preview", "site.pdb", "-o", "-"});
    EXPECT_EQ(0, toOutput.exitCode);
    EXPECT_EQ(page, toOutput.out);
    std::filesystem::create_directory(space.dir.file("pages"));
    EXPECT_EQ(0, space.run({"preview", "site.pdb", "-o", "pages"}).exitCode);
    EXPECT_EQ(page, space.dir.read("pages/site.html"));
}

TEST(PreviewCommand, ATextBookIsPlainLinesWithoutBands) {
    Workspace space;
    space.dir.write("notes.txt", "first & <second>\n\tthird\n");
    ASSERT_EQ(0, space.run({"convert", "-q", "notes.txt"}).exitCode);
    ASSERT_EQ(0, space.run({"preview", "notes.pdb", "-o", "page.html"}).exitCode);
    const std::string page = space.dir.read("page.html");
    EXPECT_NE(
        std::string::npos,
        page.find("<div class=\"l f3\"><span class=\"f3\">first &amp; &lt;second&gt;</span></div>\n"
                  "<div class=\"l f3\"><span class=\"f3\">\tthird</span></div>\n"));
    EXPECT_EQ(std::string::npos, page.find("class=\"page\""));
    EXPECT_NE(std::string::npos, page.find("<dt>Text</dt><dd>24 bytes</dd>"));
}

TEST(PreviewCommand, NeverReplacesAFileUnasked) {
    Workspace space;
    space.convertSite("site.pdb");
    space.dir.write("site.html", "mine");
    Outcome outcome = space.run({"preview", "site.pdb"});
    EXPECT_EQ(3, outcome.exitCode);
    EXPECT_EQ("vimlo: site.html already exists; use -y (--force) to overwrite it.\n", outcome.err);
    EXPECT_EQ("mine", space.dir.read("site.html"));
    EXPECT_EQ(0, space.run({"preview", "-y", "site.pdb"}).exitCode);
    EXPECT_NE("mine", space.dir.read("site.html"));

    // A database whose name ends in .html would be its own preview's destination.
    std::filesystem::copy_file(space.dir.file("site.pdb"), space.dir.file("book.html"));
    const std::string database = space.dir.read("book.html");
    outcome = space.run({"preview", "-y", "book.html"});
    EXPECT_EQ(3, outcome.exitCode);
    EXPECT_EQ("vimlo: book.html is the database itself; name the preview with -o.\n", outcome.err);
    EXPECT_EQ(database, space.dir.read("book.html"));
    EXPECT_EQ(std::vector<std::string>{}, namesStartingWith(space.dir.path(), "."))
        << "no staged file left";
}

TEST(PreviewCommand, OnlyARegularFileIsReplacedEvenWithForce) {
    Workspace space;
    space.convertSite("site.pdb");
    ASSERT_EQ(0, mkfifo(space.dir.file("fifo.html").c_str(), 0644));
    Outcome outcome = space.run({"preview", "-y", "site.pdb", "-o", "fifo.html"});
    EXPECT_EQ(3, outcome.exitCode);
    EXPECT_EQ("vimlo: fifo.html is not a regular file; vimlo replaces only regular files.\n",
              outcome.err);
    // The page that convert writes beside its database is held to the same rule.
    outcome = space.run({"convert", "-y", "--preview", std::string(kSiteFolder) + "/index.html",
                         "-o", "fifo.pdb"});
    EXPECT_EQ(3, outcome.exitCode);
    EXPECT_EQ("vimlo: fifo.html is not a regular file; vimlo replaces only regular files.\n",
              outcome.err);
    EXPECT_FALSE(space.exists("fifo.pdb"));
    struct stat info {};
    ASSERT_EQ(0, lstat(space.dir.file("fifo.html").c_str(), &info));
    EXPECT_TRUE(S_ISFIFO(info.st_mode));
}

TEST(PreviewCommand, ADamagedDatabaseIsNamedAndNoPageIsWritten) {
    Workspace space;
    space.convertSite("site.pdb");
    const std::string good = space.dir.read("site.pdb");
    std::string badChunk = good;
    const size_t chunk = big32(good, 78 + 8 * 2);
    for (size_t i = chunk + 4; i < chunk + 40; ++i) badChunk[i] = static_cast<char>(~badChunk[i]);
    std::string badLink = good;
    const size_t zero = big32(good, 78);
    const uint32_t linkRecord = big16(good, zero + 24);
    const size_t linkOffset = big32(good, 78 + 8 * linkRecord);
    badLink[linkOffset + 5] = static_cast<char>(badLink[linkOffset + 5] + 1);  // n + 1

    struct Case {
        const char* what;
        std::string bytes;
        std::string message;
        int status;
    };
    const std::vector<Case> cases = {
        {"text", "just text\n", "vimlo: bad.pdb: not an e-book database\n", 9},
        {"cut short", good.substr(0, good.size() / 2), "vimlo: bad.pdb: damaged e-book database", 9},
        {"chunk", badChunk, "vimlo: bad.pdb: damaged e-book database: bad text chunk (record 2)\n", 9},
        {"link record", badLink,
         "vimlo: bad.pdb: damaged e-book database: bad document record (record " +
             std::to_string(linkRecord) + ")\n",
         9},
    };
    for (const Case& c : cases) {
        space.dir.write("bad.pdb", c.bytes);
        const Outcome outcome = space.run({"preview", "bad.pdb"});
        EXPECT_EQ(c.status, outcome.exitCode) << c.what;
        EXPECT_EQ(0u, outcome.err.rfind(c.message, 0)) << c.what << ": " << outcome.err;
        EXPECT_FALSE(space.exists("bad.html")) << c.what;
    }
    const Outcome missing = space.run({"preview", "absent.pdb", "-o", "-"});
    EXPECT_EQ(4, missing.exitCode);
    EXPECT_EQ("vimlo: absent.pdb: No such file or directory\n", missing.err);
    EXPECT_EQ("", missing.out);
}

TEST(ConvertPreview, EachDatabaseGetsItsPageBesideIt) {
    Workspace space;
    std::filesystem::create_directory(space.dir.file("out"));
    space.dir.write("a.txt", "alpha\n");
    space.dir.write("b.txt", "beta\n");
    Outcome outcome =
        space.run({"convert", "-q", "--preview", "-d", "-1", kSiteFolder + "/index.html", "-o", "out/"});
    ASSERT_EQ(0, outcome.exitCode) << outcome.err;
    EXPECT_EQ("", outcome.err);
    EXPECT_EQ(space.run({"preview", "out/index.pdb", "-o", "-"}).out, space.dir.read("out/index.html"));

    outcome = space.run({"convert", "--preview", "-j", "2", "a.txt", "b.txt", "-o", "out"});
    ASSERT_EQ(0, outcome.exitCode) << outcome.err;
    EXPECT_NE(std::string::npos, space.dir.read("out/a.html").find("alpha"));
    EXPECT_NE(std::string::npos, space.dir.read("out/b.html").find("beta"));
}

TEST(ConvertPreview, RefusesBeforeConvertingWhenThePageWouldReplaceAFile) {
    Workspace space;
    for (const auto& entry : std::filesystem::directory_iterator(kSiteFolder))
        std::filesystem::copy_file(entry.path(), space.dir.file(entry.path().filename()));
    const std::string index = space.dir.read("index.html");

    // Beside its source, an HTML page's database would get the page's own name.
    Outcome outcome = space.run({"convert", "-y", "--preview", "index.html"});
    EXPECT_EQ(3, outcome.exitCode);
    EXPECT_EQ(
        "vimlo: index.html is a source of this command, and the preview page would replace it; "
        "-o puts the database and its preview elsewhere.\n",
        outcome.err);
    EXPECT_EQ(index, space.dir.read("index.html"));
    EXPECT_FALSE(space.exists("index.pdb")) << "refused before converting";

    outcome = space.run({"convert", "-y", "--preview", "index.html", "-o", "book.html"});
    EXPECT_EQ(3, outcome.exitCode);
    EXPECT_EQ(
        "vimlo: book.html would be both the database and its preview page; give the database a "
        ".pdb name.\n",
        outcome.err);
    EXPECT_FALSE(space.exists("book.html"));

    space.dir.write("book.html", "mine");
    outcome = space.run({"convert", "--preview", "index.html", "-o", "book.pdb"});
    EXPECT_EQ(3, outcome.exitCode);
    EXPECT_EQ("vimlo: book.html already exists; use -y (--force) to overwrite it.\n", outcome.err);
    EXPECT_FALSE(space.exists("book.pdb"));
    EXPECT_EQ("mine", space.dir.read("book.html"));
    outcome = space.run({"convert", "-q", "-y", "--preview", "index.html", "-o", "book.pdb"});
    EXPECT_EQ(0, outcome.exitCode) << outcome.err;
    EXPECT_NE(std::string::npos, space.dir.read("book.html").find("The Pocket Gardener (preview)"));
}

TEST(ConvertPreview, APageThatCannotBeWrittenFailsTheSourceButKeepsTheDatabase) {
    Workspace space;
    space.dir.write("a.txt", "alpha\n");
    std::filesystem::create_directory(space.dir.file("out"));
    // A folder in the page's place cannot be replaced by a file.
    std::filesystem::create_directory(space.dir.file("out/a.html"));
    const Outcome outcome = space.run({"convert", "-y", "--preview", "a.txt", "-o", "out/"});
    EXPECT_EQ(5, outcome.exitCode) << outcome.err;
    EXPECT_NE(std::string::npos, outcome.err.find("Conversion successfully completed.\n"
                                                  "vimlo: out/a.html: the preview cannot be written: "))
        << outcome.err;
    EXPECT_TRUE(space.exists("out/a.pdb"));
    EXPECT_EQ(std::vector<std::string>{}, namesStartingWith(space.dir.file("out"), "."))
        << "no staged page left";
}

}  // namespace
