// tests/cli/convert_test.cpp -- `vimlo convert` end to end: each option as the engine
// applies it (seen in the decoded text), where the database goes and what it is called,
// the refusals before a run, and the exit status of each outcome.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <nlohmann/json.hpp>

#include "tests/cli/vimlo_runner.h"
#include "tests/support/temp_dir.h"

using namespace cli_test;

namespace {

const char kDone[] = "Conversion successfully completed.\n";

// A folder with files in it, and vimlo run there.
struct Workspace {
    TempDir dir;
    Outcome run(const std::vector<std::string>& args) const { return cli_test::run(args, dir.path()); }
    std::string text(const std::string& book) const { return run({"text", book}).out; }
    nlohmann::json info(const std::string& book) const {
        return nlohmann::json::parse(run({"info", book}).out);
    }
    bool exists(const std::string& name) const { return std::filesystem::exists(dir.file(name)); }
};

// The decoded text of `input` converted with `options`.
std::string convertedText(const std::string& input, std::vector<std::string> options) {
    Workspace space;
    space.dir.write("in.txt", input);
    options.insert(options.begin(), "convert");
    options.push_back("in.txt");
    const Outcome outcome = space.run(options);
    EXPECT_EQ(0, outcome.exitCode) << outcome.err;
    return space.text("in.pdb");
}

TEST(ConvertOptions, EachTextOptionReachesTheEngine) {
    EXPECT_EQ("a\nb", convertedText("a\r\nb", {})) << "CR removed by default";
    EXPECT_EQ("a\r\nb", convertedText("a\r\nb", {"--keep-cr"}));
    EXPECT_EQ("ab", convertedText("a\nb", {"--remove-lf"}));
    EXPECT_EQ("a\nb", convertedText("a\rb", {"--keep-cr", "--cr-to-lf"}));
    EXPECT_EQ("a  b\n\nc", convertedText("a\nb\n\nc", {"--join-lines", "2"}));
    EXPECT_EQ("a b", convertedText("a\r\nb", {"--join-lines=1"}));
    EXPECT_EQ("a\n\nb", convertedText("a\tb", {"--tabs-to-newlines", "2"}));
    EXPECT_EQ("a   b", convertedText("a\tb", {"--tabs-to-spaces", "3"}));
    EXPECT_EQ("ab", convertedText("a\tb", {"--tabs-to-spaces", "0"}));
    EXPECT_EQ("a\tb", convertedText("a\tb", {})) << "tabs kept by default";
}

TEST(ConvertOptions, MaxDepthReachesTheHtmlPass) {
    Workspace space;
    const std::string site = std::string(VIMLO_SOURCE_DIR) + "/samples/site/index.html";
    ASSERT_EQ(0, space.run({"convert", "-q", site, "-d", "0", "-o", "root.pdb"}).exitCode);
    ASSERT_EQ(0, space.run({"convert", "-q", site, "-d", "-1", "-o", "all.pdb"}).exitCode);
    ASSERT_EQ(0, space.run({"convert", "-q", site, "-o", "one.pdb"}).exitCode);
    const std::string root = space.text("root.pdb");
    const std::string one = space.text("one.pdb");
    const std::string all = space.text("all.pdb");
    EXPECT_LT(root.size(), one.size()) << "depth 1, the default, adds the linked pages";
    EXPECT_LE(one.size(), all.size());
    EXPECT_EQ(1, space.info("root.pdb")["recordZero"]["pageCount"]);
    EXPECT_EQ(0, space.info("root.pdb")["recordZero"]["boundaryCount"]) << "one page, no boundary";
    EXPECT_LT(1, space.info("all.pdb")["recordZero"]["pageCount"]);
}

TEST(ConvertOptions, OutOfRangeOrConflictingOptionsAreUsageErrors) {
    Workspace space;
    space.dir.write("in.txt", "text");
    const std::vector<std::vector<std::string>> wrong = {
        {"convert", "in.txt", "--tabs-to-newlines", "1", "--tabs-to-spaces", "1"},
        {"convert", "in.txt", "--join-lines", "10000"},
        {"convert", "in.txt", "-d", "-2"},
        {"convert", "in.txt", "-j", "0"},
        {"convert", "in.txt", "--no-such-option"},
        {"convert"},
        {"in.txt"},
        {},
    };
    for (const auto& args : wrong) {
        const Outcome outcome = space.run(args);
        EXPECT_EQ(2, outcome.exitCode) << outcome.err;
        EXPECT_NE(std::string::npos, outcome.err.find("vimlo: ")) << outcome.err;
    }
    EXPECT_FALSE(space.exists("in.pdb"));
}

TEST(ConvertDestination, DefaultIsTheSourcesFolderWithTheBaseNameAndTitle) {
    Workspace space;
    std::filesystem::create_directory(space.dir.file("shelf"));
    space.dir.write("shelf/Sea Stories.v2.txt", "text");
    const Outcome outcome = space.run({"convert", "shelf/Sea Stories.v2.txt"});
    EXPECT_EQ(0, outcome.exitCode);
    EXPECT_EQ(kDone, outcome.err);
    EXPECT_EQ("", outcome.out);
    ASSERT_TRUE(space.exists("shelf/Sea Stories.v2.pdb"));
    EXPECT_EQ("Sea Stories.v2", space.info("shelf/Sea Stories.v2.pdb")["header"]["name"]);
    EXPECT_TRUE(namesStartingWith(space.dir.path() + "/shelf", ".").empty()) << "no staging left";
}

TEST(ConvertDestination, TitleIsThePalmDocNameOrTheOneGiven) {
    Workspace space;
    space.dir.write("doc.pdb", palmDoc("Harbour Log", "from a PalmDoc\n"));
    ASSERT_EQ(0, space.run({"convert", "doc.pdb", "-o", "out.pdb"}).exitCode);
    EXPECT_EQ("Harbour Log", space.info("out.pdb")["header"]["name"]);
    EXPECT_EQ("from a PalmDoc\n", space.text("out.pdb"));

    space.dir.write("in.txt", "text");
    ASSERT_EQ(0, space.run({"convert", "in.txt", "-t", "My Own Title"}).exitCode);
    EXPECT_EQ("My Own Title", space.info("in.pdb")["header"]["name"]);
    ASSERT_EQ(0, space.run({"convert", "-y", "in.txt", "--title", std::string(40, 'T')}).exitCode);
    EXPECT_EQ(std::string(31, 'T'), space.info("in.pdb")["header"]["name"]) << "the name keeps 31";
}

TEST(ConvertDestination, OutputNamesAFileOrAFolder) {
    Workspace space;
    space.dir.write("in.txt", "text");
    std::filesystem::create_directory(space.dir.file("books"));
    EXPECT_EQ(0, space.run({"convert", "in.txt", "-o", "books"}).exitCode);
    EXPECT_TRUE(space.exists("books/in.pdb"));
    EXPECT_EQ(0, space.run({"convert", "in.txt", "--output=books/other.pdb"}).exitCode);
    EXPECT_TRUE(space.exists("books/other.pdb"));
    EXPECT_EQ("text", space.text("books/other.pdb"));
    EXPECT_EQ(0, space.run({"convert", "-y", "in.txt", "-o", space.dir.file("books/")}).exitCode)
        << "an absolute folder path with its separator";
    EXPECT_TRUE(space.exists("books/in.pdb"));

    Outcome outcome = space.run({"convert", "in.txt", "-o", "missing/"});
    EXPECT_EQ(3, outcome.exitCode);
    EXPECT_EQ("vimlo: The destination folder missing does not exist.\n", outcome.err);
    outcome = space.run({"convert", "in.txt", "-o", "in.txt/x.pdb"});
    EXPECT_EQ(3, outcome.exitCode);
    EXPECT_EQ("vimlo: in.txt is not a folder.\n", outcome.err);
}

TEST(ConvertRefusals, AnExistingDestinationNeedsForce) {
    Workspace space;
    space.dir.write("in.txt", "new text");
    space.dir.write("in.pdb", "previous file");
    Outcome outcome = space.run({"convert", "in.txt"});
    EXPECT_EQ(3, outcome.exitCode);
    EXPECT_EQ("vimlo: in.pdb already exists; use -y (--force) to overwrite it.\n", outcome.err);
    EXPECT_EQ("previous file", space.dir.read("in.pdb"));

    outcome = space.run({"convert", "--force", "in.txt"});
    EXPECT_EQ(0, outcome.exitCode);
    EXPECT_EQ("new text", space.text("in.pdb"));
}

TEST(ConvertRefusals, TheSourceItselfIsRefusedEvenWithForce) {
    Workspace space;
    const std::string doc = palmDoc("Keep Me", "the only copy\n");
    space.dir.write("book.pdb", doc);
    std::filesystem::create_symlink("book.pdb", space.dir.file("link.pdb"));
    std::filesystem::create_directory(space.dir.file("sub"));
    const std::vector<std::vector<std::string>> same = {
        {"convert", "-y", "book.pdb", "-o", "book.pdb"},
        {"convert", "-y", "./book.pdb", "-o", "book.pdb"},
        {"convert", "-y", "book.pdb", "-o", "sub/../book.pdb"},
        {"convert", "-y", "book.pdb", "-o", space.dir.file("book.pdb")},
        {"convert", "-y", "book.pdb", "-o", "link.pdb"},
        {"convert", "-y", "link.pdb", "-o", "."},
        {"convert", "-y", "book.pdb"},  // the proposed name is the source's own
    };
    for (const auto& args : same) {
        const Outcome outcome = space.run(args);
        EXPECT_EQ(3, outcome.exitCode) << args[2] << " " << args.back();
        EXPECT_EQ("vimlo: The source and destination filenames are identical. Please change them "
                  "so that they are different.\n",
                  outcome.err);
    }
    EXPECT_EQ(doc, space.dir.read("book.pdb"));
    EXPECT_TRUE(std::filesystem::is_symlink(space.dir.file("link.pdb")));
}

TEST(ConvertRefusals, ForceReplacesTheFileALinkNamesAndKeepsTheLink) {
    Workspace space;
    space.dir.write("in.txt", "through the link");
    space.dir.write("target.pdb", "old");
    std::filesystem::create_symlink("target.pdb", space.dir.file("in.pdb"));
    ASSERT_EQ(0, space.run({"convert", "-y", "in.txt"}).exitCode);
    EXPECT_TRUE(std::filesystem::is_symlink(space.dir.file("in.pdb")));
    EXPECT_EQ("through the link", space.text("target.pdb"));
}

TEST(ConvertRefusals, OnlyARegularFileIsReplacedEvenWithForce) {
    Workspace space;
    space.dir.write("in.txt", "text");
    ASSERT_EQ(0, mkfifo(space.dir.file("fifo.pdb").c_str(), 0644));
    std::filesystem::create_symlink("fifo.pdb", space.dir.file("link.pdb"));
    for (const char* force : {"-y", "-q"}) {
        for (const char* output : {"fifo.pdb", "link.pdb"}) {
            const Outcome outcome = space.run({"convert", force, "in.txt", "-o", output});
            EXPECT_EQ(3, outcome.exitCode) << force << " " << output;
            EXPECT_EQ("vimlo: " + std::string(output) +
                          " is not a regular file; vimlo replaces only regular files.\n",
                      outcome.err);
        }
    }
    struct stat info {};
    ASSERT_EQ(0, lstat(space.dir.file("fifo.pdb").c_str(), &info));
    EXPECT_TRUE(S_ISFIFO(info.st_mode));
    EXPECT_TRUE(namesStartingWith(space.dir.path(), ".").empty());
}

// A page the HTML pass read is the user's, whatever -y says: replacing it with the
// database (or the preview page) would destroy part of the site just converted.
TEST(ConvertRefusals, NoFileIsReplacedThatTheConversionReadAsAPage) {
    Workspace space;
    const std::string site = std::string(VIMLO_SOURCE_DIR) + "/samples/site";
    for (const auto& entry : std::filesystem::directory_iterator(site))
        std::filesystem::copy_file(entry.path(), space.dir.file(entry.path().filename()));
    const std::string soil = space.dir.read("soil.html");
    const std::string sowing = space.dir.read("sowing.html");

    Outcome outcome = space.run({"convert", "-y", "index.html", "-o", "soil.html"});
    EXPECT_EQ(3, outcome.exitCode);
    EXPECT_EQ("vimlo: soil.html is a page this conversion read; it is left as it was.\n", outcome.err);
    EXPECT_EQ(soil, space.dir.read("soil.html"));

    outcome = space.run({"convert", "-y", "--preview", "index.html", "-o", "sowing.pdb"});
    EXPECT_EQ(3, outcome.exitCode);
    EXPECT_EQ("vimlo: sowing.html is a page this conversion read; it is left as it was.\n",
              outcome.err);
    EXPECT_EQ(sowing, space.dir.read("sowing.html"));
    EXPECT_FALSE(space.exists("sowing.pdb")) << "nothing is put in place";
    EXPECT_TRUE(namesStartingWith(space.dir.path(), ".").empty());

    // At depth 0 the linked page is never read, so it may be replaced.
    outcome = space.run({"convert", "-q", "-y", "-d", "0", "index.html", "-o", "soil.html"});
    EXPECT_EQ(0, outcome.exitCode) << outcome.err;
    EXPECT_NE(soil, space.dir.read("soil.html"));
}

TEST(ConvertRefusals, ANewDatabaseGetsTheUsualModeAndAReplacedOneKeepsItsMode) {
    Workspace space;
    space.dir.write("in.txt", "text");
    ASSERT_EQ(0, space.run({"convert", "in.txt"}).exitCode);
    struct stat info {};
    ASSERT_EQ(0, stat(space.dir.file("in.pdb").c_str(), &info));
    const mode_t mask = umask(022);
    umask(mask);
    EXPECT_EQ(0666 & ~mask, info.st_mode & 07777);

    ASSERT_EQ(0, chmod(space.dir.file("in.pdb").c_str(), 0444));
    ASSERT_EQ(0, space.run({"convert", "-y", "in.txt"}).exitCode);
    ASSERT_EQ(0, stat(space.dir.file("in.pdb").c_str(), &info));
    EXPECT_EQ(0444u, info.st_mode & 07777);
}

TEST(ConvertStatus, EachFailureHasItsOwnExitStatusAndMessage) {
    Workspace space;
    Outcome outcome = space.run({"convert", "absent.txt"});
    EXPECT_EQ(4, outcome.exitCode);
    EXPECT_EQ("vimlo: Error opening source file.\nvimlo: absent.txt: No such file or directory\n",
              outcome.err);
    EXPECT_FALSE(space.exists("absent.pdb"));

    // Record 0 announces as many text records as the database has records.
    space.dir.write("bad.pdb", palmDoc("Bad", "text", 2));
    outcome = space.run({"convert", "bad.pdb", "-o", "out.pdb"});
    EXPECT_EQ(7, outcome.exitCode);
    EXPECT_EQ("vimlo: Error during preprocessing.\n"
              "vimlo: bad.pdb: a damaged PalmDoc database: its text records cannot be decoded\n",
              outcome.err);
    EXPECT_FALSE(space.exists("out.pdb"));
    EXPECT_TRUE(namesStartingWith(space.dir.path(), ".").empty()) << "the staged file is gone";

    // Only the rename can fail here: a folder sits where the database goes.
    space.dir.write("d.txt", "text");
    std::filesystem::create_directory(space.dir.file("d.pdb"));
    outcome = space.run({"convert", "-y", "d.txt"});
    EXPECT_EQ(5, outcome.exitCode);
    EXPECT_EQ("vimlo: Error opening destination file.\nvimlo: d.pdb: Is a directory\n", outcome.err);
    EXPECT_TRUE(std::filesystem::is_directory(space.dir.file("d.pdb")));
    EXPECT_TRUE(namesStartingWith(space.dir.path(), ".").empty());

    outcome = space.run({"convert", "  "});
    EXPECT_EQ(3, outcome.exitCode);
    EXPECT_EQ("vimlo: You must first select a source file.\n", outcome.err);
}

TEST(ConvertStatus, QuietHidesOnlyTheSuccessMessage) {
    Workspace space;
    space.dir.write("in.txt", "text");
    Outcome outcome = space.run({"convert", "-q", "in.txt"});
    EXPECT_EQ(0, outcome.exitCode);
    EXPECT_EQ("", outcome.err);
    outcome = space.run({"convert", "--quiet", "absent.txt"});
    EXPECT_EQ(4, outcome.exitCode);
    EXPECT_EQ("vimlo: Error opening source file.\nvimlo: absent.txt: No such file or directory\n",
              outcome.err);
}

TEST(ConvertStatus, HelpAndVersionSucceedOnStandardOutput) {
    Workspace space;
    Outcome outcome = space.run({"--help"});
    EXPECT_EQ(0, outcome.exitCode);
    EXPECT_NE(std::string::npos, outcome.out.find("Exit status:"));
    outcome = space.run({"convert", "--help"});
    EXPECT_EQ(0, outcome.exitCode);
    EXPECT_NE(std::string::npos, outcome.out.find("--tabs-to-spaces"));
    outcome = space.run({"--version"});
    EXPECT_EQ(0, outcome.exitCode);
    EXPECT_EQ(0u, outcome.out.rfind("vimlo ", 0));
}

}  // namespace
