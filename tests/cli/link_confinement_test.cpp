// tests/cli/link_confinement_test.cpp -- what a converted page may pull into the book
// through `vimlo convert`: linked pages outside the root page's folder (absolute paths,
// ".." climbs, <BASE>, frames, a symbolic link out) or in a hidden folder below it are
// left out and named, unless --follow-links-outside is given; linked files that are no
// pages (binary, too large to address, of unknown size) are skipped rather than copied
// in as garbage or failing the whole site.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <nlohmann/json.hpp>

#include "tests/cli/vimlo_runner.h"
#include "tests/support/temp_dir.h"

using namespace cli_test;

namespace {

const char kDone[] = "Conversion successfully completed.\n";

// site/ holds the pages converted, outside/ what they must not reach.
struct Site {
    TempDir dir;
    Site() {
        std::filesystem::create_directories(dir.file("site/sub"));
        std::filesystem::create_directories(dir.file("site/.hidden"));
        std::filesystem::create_directories(dir.file("outside"));
        dir.write("site/sub/page.html", "<p>INSIDE-MARK</p>");
        dir.write("site/.hidden/secret.html", "<p>HIDDEN-MARK</p>");
        for (const char* name : {"absolute", "climb", "base", "frame", "linked"})
            dir.write(std::string("outside/") + name + ".html",
                      std::string("<p>OUTSIDE-") + name + "-MARK</p>");
        std::filesystem::create_symlink("../outside/linked.html", dir.file("site/escape.html"));
    }
    std::string outside(const std::string& name) const { return dir.file("outside/" + name); }
    Outcome run(const std::vector<std::string>& args) const { return cli_test::run(args, dir.path()); }
    std::string text(const std::string& book) const { return run({"text", book}).out; }
};

bool has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

TEST(LinkConfinement, PagesOutsideTheFolderAreLeftOutAndCountedUnlessAllowed) {
    Site site;
    site.dir.write("site/index.html",
                   "<html><body><p>ROOT-MARK</p>"
                   "<a href=\"" + site.outside("absolute.html") + "\">absolute</a>"
                   "<a href=\"../outside/climb.html\">climb</a>"
                   "<a href=\"sub/../../outside/climb.html\">the same page, spelled otherwise: counted once</a>"
                   "<a href=\"escape.html\">a link out</a>"
                   "<a href=\".hidden/secret.html\">hidden</a>"
                   "<a href=\"sub/page.html\">inside</a>"
                   "</body></html>");
    Outcome outcome = site.run({"convert", "site/index.html", "-o", "default.pdb"});
    EXPECT_EQ(0, outcome.exitCode) << outcome.err;
    EXPECT_EQ(std::string(kDone) +
                  "vimlo: 4 linked pages outside site/index.html's folder were not followed; "
                  "use --follow-links-outside to include them\n",
              outcome.err);
    const std::string confined = site.text("default.pdb");
    EXPECT_TRUE(has(confined, "ROOT-MARK"));
    EXPECT_TRUE(has(confined, "INSIDE-MARK")) << "pages below the folder are followed";
    for (const char* mark : {"OUTSIDE-absolute", "OUTSIDE-climb", "OUTSIDE-linked", "HIDDEN-MARK"})
        EXPECT_FALSE(has(confined, mark)) << mark;

    outcome = site.run({"convert", "-v", "site/index.html", "-o", "verbose.pdb"});
    EXPECT_EQ(0, outcome.exitCode) << outcome.err;
    for (const std::string& path : {site.outside("absolute.html"), site.dir.file("outside/climb.html"),
                                   site.dir.file("site/escape.html"),
                                   site.dir.file("site/.hidden/secret.html")})
        EXPECT_TRUE(has(outcome.err, "not followed: " + path + "\n")) << path << "\n" << outcome.err;

    outcome = site.run({"convert", "--follow-links-outside", "site/index.html", "-o", "all.pdb"});
    EXPECT_EQ(0, outcome.exitCode) << outcome.err;
    EXPECT_EQ(kDone, outcome.err);
    const std::string open = site.text("all.pdb");
    for (const char* mark : {"OUTSIDE-absolute", "OUTSIDE-climb", "OUTSIDE-linked", "HIDDEN-MARK", "INSIDE-MARK"})
        EXPECT_TRUE(has(open, mark)) << mark;
}

TEST(LinkConfinement, BaseAndFramesAreConfinedAsLinksAre) {
    Site site;
    site.dir.write("site/base.html", "<html><head><base href=\"" + site.dir.file("outside/") +
                                         "\"></head><body><a href=\"base.html\">x</a></body></html>");
    site.dir.write("site/frames.html",
                   "<html><frameset><frame src=\"../outside/frame.html\">"
                   "<frame src=\"sub/page.html\"></frameset></html>");
    for (const char* root : {"base", "frames"}) {
        const std::string source = std::string("site/") + root + ".html";
        Outcome outcome = site.run({"convert", "-q", source, "-o", "confined.pdb", "-y"});
        EXPECT_EQ(0, outcome.exitCode) << outcome.err;
        EXPECT_EQ("vimlo: 1 linked page outside " + source +
                      "'s folder was not followed; use --follow-links-outside to include it\n",
                  outcome.err);
        EXPECT_FALSE(has(site.text("confined.pdb"), "OUTSIDE-")) << root;
        outcome = site.run({"convert", "-q", "--follow-links-outside", source, "-o", "open.pdb", "-y"});
        EXPECT_EQ(0, outcome.exitCode) << outcome.err;
        EXPECT_TRUE(has(site.text("open.pdb"), std::string("OUTSIDE-") + (root[0] == 'b' ? "base" : "frame")))
            << root;
    }
    EXPECT_TRUE(has(site.text("open.pdb"), "INSIDE-MARK"));
}

TEST(LinkConfinement, TheRootPageIsConvertedWhereverItLies) {
    Site site;
    site.dir.write("outside/root.html", "<p>LINKED-ROOT-MARK</p><a href=\"climb.html\">sibling</a>");
    std::filesystem::create_symlink("../outside/root.html", site.dir.file("site/root.html"));
    const Outcome hidden = site.run({"convert", "-q", "site/.hidden/secret.html", "-o", "a.pdb"});
    EXPECT_EQ(0, hidden.exitCode) << hidden.err;
    EXPECT_TRUE(has(site.text("a.pdb"), "HIDDEN-MARK"));
    // Its folder is the one it was named in: the sibling of the link's target lies outside.
    const Outcome linked = site.run({"convert", "-q", "site/root.html", "-o", "b.pdb"});
    EXPECT_EQ(0, linked.exitCode) << linked.err;
    EXPECT_TRUE(has(site.text("b.pdb"), "LINKED-ROOT-MARK"));
    EXPECT_FALSE(has(site.text("b.pdb"), "OUTSIDE-climb"));
}

TEST(LinkedFiles, BinaryFilesAreSkippedAndUtf16PagesAreNot) {
    Site site;
    site.dir.write("site/photo.jpg", std::string("\xFF\xD8\xFF\xE0", 4) + "JPEG-MARK");
    site.dir.write("site/manual.pdf", "%PDF-1.4 PDF-MARK");
    site.dir.write("site/data.bin", std::string("ZERO-MARK", 9) + std::string(4, '\0'));
    site.dir.write("site/page.txt", "TEXT-MARK");
    site.dir.write("site/index.html",
                   "<html><p>ROOT-MARK</p><a href=\"photo.jpg\">a</a><a href=\"manual.pdf\">b</a>"
                   "<a href=\"data.bin\">c</a><a href=\"page.txt\">d</a>");
    for (const char* option : {"--max-depth=1", "--follow-links-outside"}) {
        const Outcome outcome = site.run({"convert", "-q", "-y", option, "site/index.html", "-o", "b.pdb"});
        EXPECT_EQ(0, outcome.exitCode) << outcome.err;
        EXPECT_EQ("", outcome.err) << "skipped files are no pages outside the folder";
        const std::string text = site.text("b.pdb");
        EXPECT_TRUE(has(text, "TEXT-MARK")) << option;
        for (const char* mark : {"JPEG-MARK", "PDF-MARK", "ZERO-MARK"}) EXPECT_FALSE(has(text, mark)) << mark;
    }
}

TEST(LinkedFiles, FilesThatCannotBeAddressedAreSkippedNotFatal) {
    Site site;
    // Text at its start, a hole after it: only its size makes it unusable.
    site.dir.write("site/big.html", "<p>BIG-MARK</p>");
    ASSERT_EQ(0, truncate(site.dir.file("site/big.html").c_str(), int64_t{2} << 30));
    site.dir.write("site/index.html",
                   "<html><p>ROOT-MARK</p><a href=\"big.html\">big</a><a href=\"sub/page.html\">x</a>"
                   "<a href=\"/proc/version\">kernel</a>");
    for (const char* option : {"--max-depth=1", "--follow-links-outside"}) {
        const Outcome outcome = site.run({"convert", "-q", "-y", option, "site/index.html", "-o", "b.pdb"});
        EXPECT_EQ(0, outcome.exitCode) << option << ": " << outcome.err;
        const std::string text = site.text("b.pdb");
        EXPECT_TRUE(has(text, "INSIDE-MARK")) << option;
        EXPECT_FALSE(has(text, "BIG-MARK")) << option;
    }
}

TEST(LinkConfinement, EveryPageOfAManualBelowItsIndexIsStillConverted) {
    const std::string manual = "/usr/share/doc/flex-doc/html/index.html";
    ASSERT_TRUE(std::filesystem::is_regular_file(manual))
        << "the flex-doc package is missing: scripts/ensure-packages scripts/packages/test-engine.txt";
    TempDir dir;
    Outcome outcome = run({"convert", "-d", "-1", manual, "-o", "confined.pdb"}, dir.path());
    EXPECT_EQ(0, outcome.exitCode) << outcome.err;
    EXPECT_EQ(kDone, outcome.err);
    outcome = run({"convert", "-q", "-d", "-1", "--follow-links-outside", manual, "-o", "open.pdb"}, dir.path());
    EXPECT_EQ(0, outcome.exitCode) << outcome.err;
    EXPECT_EQ(withoutTimes(dir.read("open.pdb")), withoutTimes(dir.read("confined.pdb")));
    const auto info = nlohmann::json::parse(run({"info", "confined.pdb"}, dir.path()).out);
    EXPECT_EQ(173, info["recordZero"]["pageCount"]);
}

}  // namespace
