// tests/cli/convert_messages_test.cpp -- what `vimlo convert` says beyond its result
// message: the file that failed and the system's reason, the page limit it stopped at,
// and a progress line that stays within the terminal.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>

#include <unistd.h>

#include "tests/cli/vimlo_runner.h"
#include "tests/support/temp_dir.h"

using namespace cli_test;

namespace {

namespace fs = std::filesystem;

// A root page linking `count` small pages, each with a word of its own.
void writeSite(const TempDir& dir, int count) {
    std::string index = "<html><body><h1>Root</h1>";
    for (int i = 1; i <= count; ++i) {
        index += "<a href=\"p" + std::to_string(i) + ".htm\">p" + std::to_string(i) + "</a> ";
        dir.write("p" + std::to_string(i) + ".htm",
                  "<html><body><p>word" + std::to_string(i) + "x</p></body></html>");
    }
    dir.write("index.htm", index + "</body></html>");
}

TEST(ConvertFailures, ASourceThatCannotBeOpenedIsNamedWithTheReason) {
    TempDir dir;
    std::filesystem::create_directory(dir.file("folder.txt"));
    struct Row { const char* source; const char* reason; };
    const Row rows[] = {
        {"notes.txt", "No such file or directory"},
        {"folder.txt", "Is a directory"},
    };
    for (const Row& row : rows) {
        const Outcome outcome = run({"convert", row.source, "-o", "out.pdb"}, dir.path());
        EXPECT_EQ(4, outcome.exitCode) << row.source;
        EXPECT_EQ(std::string("vimlo: Error opening source file.\nvimlo: ") + row.source + ": " +
                      row.reason + "\n",
                  outcome.err);
    }
    EXPECT_FALSE(std::filesystem::exists(dir.file("out.pdb")));
}

// A source its user may not read. Run as root, vimlo is started as user 65534 from a copy
// in the test's folder, so that the file's permissions bind it.
TEST(ConvertFailures, ASourceThatMayNotBeReadIsNamedWithTheReason) {
    TempDir dir;
    fs::permissions(dir.path(), fs::perms::all);
    const std::string program = dir.file("vimlo");
    fs::copy_file(vimloPath(), program);
    dir.write("notes.txt", "private words");
    fs::permissions(dir.file("notes.txt"), fs::perms::none);
    const Outcome outcome = runUnprivileged(program, {"convert", "notes.txt", "-o", "out.pdb"}, dir.path());
    EXPECT_EQ(4, outcome.exitCode);
    EXPECT_EQ("vimlo: Error opening source file.\nvimlo: notes.txt: Permission denied\n", outcome.err);
    EXPECT_FALSE(fs::exists(dir.file("out.pdb")));
}

// A destination on a full disk: a 64 KB file system of vimlo's own, mounted in a mount
// namespace of its own (so nothing outlives it), gets a book three times that size. The
// system's reason is given, and the book already there is left whole.
TEST(ConvertFailures, AFullDiskIsNamedWithTheReasonAndKeepsTheOldBook) {
    if (geteuid() != 0 || std::system("unshare -m true 2>/dev/null") != 0)
        GTEST_SKIP() << "needs root and unshare to mount a small file system";
    TempDir dir;
    std::string text;
    uint32_t state = 12345;
    while (text.size() < 400000) {  // words the compressor cannot shrink much
        state = state * 1103515245u + 12345u;
        text += static_cast<char>('a' + (state >> 16) % 26);
        if ((state >> 8) % 7 == 0) text += ' ';
    }
    dir.write("long.txt", text);
    fs::create_directory(dir.file("small"));
    dir.write("full.sh",
              "mount -t tmpfs -o size=64k tmpfs small && printf old >small/long.pdb || exit 1\n"
              "\"$1\" convert -y long.txt -o small/long.pdb 2>err.txt\n"
              "echo \"$? $(cat small/long.pdb) $(ls -A small)\" >after.txt\n");
    const std::string command = "cd '" + dir.path() + "' && unshare -m sh full.sh '" + vimloPath() + "'";
    ASSERT_EQ(0, std::system(command.c_str()));
    EXPECT_EQ("8 old long.pdb\n", dir.read("after.txt")) << "status, the old book, what the disk holds";
    EXPECT_EQ("vimlo: Error during conversion.\nvimlo: small/long.pdb: No space left on device\n",
              dir.read("err.txt"));
}

// A PalmDoc database of one record 0 and one text record, whose record 0 claims
// `claimedRecords` text records compressed with `compression`.
std::string docWithRecordZero(uint16_t compression, uint16_t claimedRecords, const std::string& text) {
    auto be16 = [](std::string& out, uint32_t v) { out += static_cast<char>(v >> 8); out += static_cast<char>(v); };
    auto be32 = [&](std::string& out, uint32_t v) { be16(out, v >> 16); be16(out, v & 0xFFFF); };
    std::string file = "damaged";
    file.resize(32, '\0');
    for (int i = 0; i < 7; ++i) be32(file, 0);  // attributes and version, dates, backup, offsets
    file += "TEXtREAd";
    be32(file, 0);
    be32(file, 0);
    be16(file, 2);
    std::string zero;
    be16(zero, compression);
    be16(zero, 0);
    be32(zero, static_cast<uint32_t>(text.size()) * claimedRecords);
    be16(zero, claimedRecords);
    be16(zero, 4096);
    be32(zero, 0);
    const uint32_t first = 78 + 2 * 8 + 2;
    be32(file, first);
    be32(file, 0);
    be32(file, first + static_cast<uint32_t>(zero.size()));
    be32(file, 1);
    be16(file, 0);
    return file + zero + text;
}

// A PalmDoc source whose records do not decode fails as preprocessing, and then says so;
// a sound one converts.
TEST(ConvertFailures, ADamagedPalmDocIsNamedAsSuch) {
    TempDir dir;
    dir.write("sound.pdb", docWithRecordZero(1, 1, "Hello from a PalmDoc book."));
    dir.write("short.pdb", docWithRecordZero(1, 5, "Hello from a PalmDoc book."));
    dir.write("garbled.pdb", docWithRecordZero(2, 1, "\x80\x10"));
    EXPECT_EQ(0, run({"convert", "-q", "sound.pdb", "-o", "sound-out.pdb"}, dir.path()).exitCode);
    for (const char* name : {"short.pdb", "garbled.pdb"}) {
        const Outcome outcome = run({"convert", name, "-o", "out.pdb"}, dir.path());
        EXPECT_EQ(7, outcome.exitCode) << name;
        EXPECT_EQ(std::string("vimlo: Error during preprocessing.\nvimlo: ") + name +
                      ": a damaged PalmDoc database: its text records cannot be decoded\n",
                  outcome.err);
    }
    EXPECT_FALSE(fs::exists(dir.file("out.pdb")));
}

// No file can be made in /sys, even by root; the system's words vary with how it is
// mounted, so only their presence is checked.
TEST(ConvertFailures, ADestinationThatCannotBeMadeIsNamedWithTheReason) {
    if (!std::filesystem::is_directory("/sys")) GTEST_SKIP() << "no /sys here";
    TempDir dir;
    dir.write("a.txt", "text");
    const Outcome outcome = run({"convert", "a.txt", "-o", "/sys/a.pdb"}, dir.path());
    EXPECT_EQ(5, outcome.exitCode);
    EXPECT_TRUE(std::regex_match(outcome.err, std::regex("vimlo: Error opening destination file\\.\n"
                                                         "vimlo: /sys/a\\.pdb: [A-Z][^\n]+\n")))
        << outcome.err;
    EXPECT_EQ(std::string::npos, outcome.err.find("cannot be written")) << "the system's reason";
}

TEST(ConvertFailures, WithSeveralSourcesEachFailureNamesItsOwnFile) {
    TempDir dir;
    dir.write("good.txt", "text");
    const Outcome outcome = run({"convert", "good.txt", "gone.txt", "-o", "."}, dir.path());
    EXPECT_EQ(4, outcome.exitCode);
    EXPECT_NE(std::string::npos,
              outcome.err.find("vimlo: gone.txt: Error opening source file.\n"
                               "vimlo: gone.txt: No such file or directory\n"))
        << outcome.err;
    EXPECT_NE(std::string::npos, outcome.err.find("good.txt: Conversion successfully completed."));
}

TEST(ConvertOptions, MaxPagesTakesOneUpwards) {
    TempDir dir;
    dir.write("a.txt", "text");
    for (const char* refused : {"0", "-1", "2147483648", "many"}) {
        const Outcome outcome = run({"convert", "--max-pages", refused, "a.txt"}, dir.path());
        EXPECT_EQ(2, outcome.exitCode) << refused;
        EXPECT_FALSE(std::filesystem::exists(dir.file("a.pdb"))) << refused;
    }
    EXPECT_EQ(0, run({"convert", "-q", "--max-pages", "2147483647", "a.txt"}, dir.path()).exitCode);
}

// Every drawing of the progress line is a piece of the screen between carriage returns
// (after the clearing that may open it) that ends in the bar's percentage; none may be
// wider than the 100 columns of the runner's terminal less the one kept free, nor carry an
// escape of its own. Messages are lines of their own and are not drawings.
void expectEveryDrawingFits(const std::string& screen) {
    size_t drawings = 0;
    for (size_t start = 0; start < screen.size();) {
        size_t end = screen.find_first_of("\r\n", start);
        if (end == std::string::npos) end = screen.size();
        std::string drawn = screen.substr(start, end - start);
        start = end + 1;
        if (drawn.rfind("\033[K", 0) == 0) drawn.erase(0, 3);
        if (drawn.empty() || drawn.back() != '%') continue;
        ++drawings;
        size_t columns = 0;
        for (const char c : drawn) columns += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
        EXPECT_LE(columns, 99u) << drawn;
        EXPECT_EQ(std::string::npos, drawn.find('\033')) << "no escape but the line's own";
    }
    EXPECT_GT(drawings, 0u) << screen;
}

TEST(ConvertProgress, TheLineKeepsWithinTheTerminalWhateverTheNames) {
    TempDir dir;
    // Long enough for several redraws, with names far wider than the terminal and one
    // that carries an escape sequence of its own.
    std::string text;
    for (int i = 0; text.size() < (6u << 20); ++i) text += "line " + std::to_string(i * 7919LL % 100003) + " of the log\n";
    const std::string longName = std::string(150, 'n') + ".txt";
    const std::string escaping = "\033[2Jwide\xE6\xBC\xA2\xE5\xAD\x97" + std::string(120, 'w') + ".txt";
    dir.write(longName, text);
    dir.write(escaping, text);
    const Outcome outcome = runOnTerminal({"convert", "-o", ".", longName, escaping}, dir.path());
    EXPECT_EQ(0, outcome.exitCode) << outcome.err;
    expectEveryDrawingFits(outcome.err);
}

TEST(ConvertLimits, StoppingAtMaxPagesIsSaid) {
    TempDir dir;
    writeSite(dir, 5);
    Outcome outcome = run({"convert", "--max-pages", "2", "-d", "-1", "index.htm"}, dir.path());
    EXPECT_EQ(0, outcome.exitCode);
    EXPECT_EQ("Conversion successfully completed.\n"
              "vimlo: stopped after 2 pages; 4 more were queued: use --max-pages\n",
              outcome.err);
    outcome = run({"convert", "-q", "-y", "--max-pages", "2", "-d", "-1", "index.htm"}, dir.path());
    EXPECT_EQ("vimlo: stopped after 2 pages; 4 more were queued: use --max-pages\n", outcome.err)
        << "said even with --quiet: the book lacks pages";
    outcome = run({"convert", "-y", "--max-pages", "6", "-d", "-1", "index.htm"}, dir.path());
    EXPECT_EQ("Conversion successfully completed.\n", outcome.err) << "the limit not met";
}

TEST(ConvertProgress, TheLineCountsThePages) {
    TempDir dir;
    // Enough pages, with enough text each, for the line to be drawn while they are read.
    std::string index = "<html><body>";
    std::string body;
    for (int i = 0; i < 4000; ++i) body += "<p>paragraph " + std::to_string(i) + " of a long page</p>";
    for (int i = 1; i <= 400; ++i) {
        index += "<a href=\"p" + std::to_string(i) + ".htm\">p</a> ";
        dir.write("p" + std::to_string(i) + ".htm", "<html><body>" + body + "</body></html>");
    }
    dir.write("index.htm", index + "</body></html>");
    const Outcome outcome = runOnTerminal({"convert", "-d", "-1", "index.htm"}, dir.path());
    EXPECT_EQ(0, outcome.exitCode) << outcome.err;
    std::smatch found;
    ASSERT_TRUE(std::regex_search(outcome.err, found, std::regex("page ([0-9]+) of ([0-9]+) known")))
        << outcome.err;
    EXPECT_LE(std::stoi(found[1]), std::stoi(found[2]));
    EXPECT_LE(std::stoi(found[2]), 401);
    expectEveryDrawingFits(outcome.err);
}

}  // namespace
