// tests/cli/run_test.cpp -- how vimlo runs conversions: several sources on parallel jobs,
// the interrupt that cancels a long one, and what it shows and asks on a terminal.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <regex>
#include <thread>

#include "tests/cli/vimlo_runner.h"
#include "tests/support/temp_dir.h"

using namespace cli_test;

namespace {

// `megabytes` of varied text lines, written quickly: a 1 MiB block of pseudo-random words
// repeated, which compresses at the usual speed since matches stay inside one chunk.
void writeLargeText(const std::string& path, int megabytes) {
    static const char* const kWords[] = {"lamp", "keeper", "ledger", "storm", "light", "sea",
                                         "rock", "night", "ship", "oil", "wick", "tide"};
    std::string block;
    uint32_t state = 12345;
    while (block.size() < (1u << 20)) {
        state = state * 1103515245u + 12345u;
        block += kWords[(state >> 16) % 12];
        block += (state >> 8) % 11 == 0 ? '\n' : ' ';
    }
    block.resize(1u << 20);
    std::ofstream out(path, std::ios::binary);
    for (int i = 0; i < megabytes; ++i) out.write(block.data(), static_cast<std::streamsize>(block.size()));
}

std::string lines(const std::string& word, int count) {
    std::string text;
    for (int i = 0; i < count; ++i) text += word + " " + std::to_string(i * 7919 % 1000) + "\n";
    return text;
}

TEST(ParallelJobs, GiveTheSameBytesAsOneByOne) {
    TempDir dir;
    std::filesystem::create_directory(dir.file("serial"));
    std::filesystem::create_directory(dir.file("parallel"));
    const std::vector<std::string> names = {"a.txt", "b.txt", "c.txt", "d.txt"};
    for (size_t i = 0; i < names.size(); ++i) dir.write(names[i], lines("line" + names[i], 3000 * (int(i) + 1)));
    for (const std::string& name : names) {
        const Outcome outcome = run({"convert", "-q", name, "-o", "serial"}, dir.path());
        ASSERT_EQ(0, outcome.exitCode) << outcome.err;
    }
    // A whole site too: the HTML pass opens pages of its own while the others run.
    const std::string site = std::string(VIMLO_SOURCE_DIR) + "/samples/site/index.html";
    ASSERT_EQ(0, run({"convert", "-q", "-d", "-1", site, "-o", "serial"}, dir.path()).exitCode);
    std::vector<std::string> args = {"convert", "-d", "-1", "-j", "2", "-o", "parallel/", site};
    args.insert(args.end(), names.begin(), names.end());
    const Outcome outcome = run(args, dir.path());
    ASSERT_EQ(0, outcome.exitCode) << outcome.err;
    for (const std::string& name : names) {
        const std::string base = name.substr(0, 1);
        EXPECT_NE(std::string::npos,
                  outcome.err.find(name + ": Conversion successfully completed.\n"));
        const std::string serial = dir.read("serial/" + base + ".pdb");
        const std::string parallel = dir.read("parallel/" + base + ".pdb");
        ASSERT_GT(serial.size(), 100u);
        EXPECT_EQ(withoutTimes(serial), withoutTimes(parallel)) << name;
    }
    EXPECT_EQ(withoutTimes(dir.read("serial/index.pdb")), withoutTimes(dir.read("parallel/index.pdb")));
    EXPECT_GT(dir.read("parallel/index.pdb").size(), 1000u);
}

TEST(ParallelJobs, SeveralSourcesNeedAFolderAndNeverShareADestination) {
    TempDir dir;
    std::filesystem::create_directory(dir.file("one"));
    std::filesystem::create_directory(dir.file("two"));
    std::filesystem::create_directory(dir.file("out"));
    dir.write("one/x.txt", "first");
    dir.write("two/x.txt", "second");
    Outcome outcome = run({"convert", "one/x.txt", "two/x.txt", "-o", "out/x.pdb"}, dir.path());
    EXPECT_EQ(2, outcome.exitCode);
    EXPECT_FALSE(std::filesystem::exists(dir.file("out/x.pdb")));

    outcome = run({"convert", "-j", "2", "one/x.txt", "two/x.txt", "-o", "out"}, dir.path());
    EXPECT_EQ(3, outcome.exitCode) << "the refused second source decides the status";
    EXPECT_NE(std::string::npos,
              outcome.err.find("vimlo: two/x.txt: out/x.pdb is also the destination of one/x.txt."))
        << outcome.err;
    EXPECT_EQ("first", run({"text", "out/x.pdb"}, dir.path()).out);

    // The first source converts beside itself; the second would replace that source.
    dir.write("one/x.pdb", palmDoc("Doc", "palm text"));
    outcome = run({"convert", "-y", "one/x.pdb", "one/x.txt"}, dir.path());
    EXPECT_EQ(3, outcome.exitCode);
    EXPECT_NE(std::string::npos, outcome.err.find("one/x.pdb is also a source of this command."))
        << outcome.err;
}

TEST(Interrupt, CancelsALongConversionAndLeavesThePreviousFile) {
    TempDir dir;
    writeLargeText(dir.file("big.txt"), 200);
    dir.write("big.pdb", "the previous database");
    Background vimlo({"convert", "-y", "big.txt"}, dir.path());
    ASSERT_TRUE(waitUntilWritingIn(vimlo.pid(), dir.path()));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    ASSERT_EQ(0, kill(vimlo.pid(), SIGINT));
    const auto sent = std::chrono::steady_clock::now();
    const Outcome outcome = vimlo.wait();
    EXPECT_LT(std::chrono::steady_clock::now() - sent, std::chrono::seconds(10)) << "cancel is prompt";

    EXPECT_EQ(SIGINT, outcome.signal) << "ends as the interrupt would, exit " << outcome.exitCode;
    EXPECT_EQ("Conversion canceled.\n", outcome.err);
    EXPECT_EQ("the previous database", dir.read("big.pdb"));
    EXPECT_TRUE(namesStartingWith(dir.path(), ".").empty()) << "no partial file";
}

TEST(Interrupt, AKilledConversionLeavesNoStagedFile) {
    TempDir dir;
    writeLargeText(dir.file("big.txt"), 20);
    dir.write("big.pdb", "the previous database");
    Background vimlo({"convert", "-y", "big.txt"}, dir.path());
    ASSERT_TRUE(waitUntilWritingIn(vimlo.pid(), dir.path()));
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    ASSERT_EQ(0, kill(vimlo.pid(), SIGKILL));
    EXPECT_EQ(SIGKILL, vimlo.wait().signal);
    EXPECT_EQ("the previous database", dir.read("big.pdb"));
    EXPECT_TRUE(namesStartingWith(dir.path(), ".").empty()) << "nothing staged under a name";
}

// Without -y the check before converting is not the last word: a file that appears at the
// destination while the conversion runs is kept, and the run says so.
TEST(NoOverwrite, AFileCreatedDuringTheConversionSurvivesIt) {
    TempDir dir;
    writeLargeText(dir.file("big.txt"), 12);
    Background vimlo({"convert", "big.txt"}, dir.path());
    ASSERT_TRUE(waitUntilWritingIn(vimlo.pid(), dir.path()));
    dir.write("big.pdb", "written meanwhile");
    const Outcome outcome = vimlo.wait();
    EXPECT_EQ(3, outcome.exitCode) << outcome.err;
    EXPECT_EQ("vimlo: big.pdb already exists; use -y (--force) to overwrite it.\n", outcome.err);
    EXPECT_EQ("written meanwhile", dir.read("big.pdb"));
    EXPECT_TRUE(namesStartingWith(dir.path(), ".").empty());
}

TEST(NoOverwrite, OfTwoRunsWithoutForceOnlyOneWrites) {
    TempDir dir;
    dir.write("a.txt", lines("first", 5000));
    dir.write("b.txt", lines("second", 5000));
    Background first({"convert", "a.txt", "-o", "out.pdb"}, dir.path());
    Background second({"convert", "b.txt", "-o", "out.pdb"}, dir.path());
    const Outcome one = first.wait();
    const Outcome two = second.wait();
    EXPECT_EQ(3, one.exitCode + two.exitCode) << "exactly one succeeds: " << one.err << two.err;
    const std::string text = run({"text", "out.pdb"}, dir.path()).out;
    EXPECT_EQ(one.exitCode == 0 ? lines("first", 5000) : lines("second", 5000), text);
}

TEST(Terminal, ShowsStepsAndPercentagesOnlyThere) {
    TempDir dir;
    writeLargeText(dir.file("in.txt"), 12);  // long enough for several 100 ms redraws
    Outcome outcome = runOnTerminal({"convert", "in.txt"}, dir.path());
    EXPECT_EQ(0, outcome.exitCode);
    EXPECT_TRUE(std::regex_search(outcome.err, std::regex("\\r\\x1b\\[KStep 2 of 2: Compressing text\\.\\.\\. "
                                                          "\\[#*-*\\] +[0-9]+%")))
        << outcome.err;
    EXPECT_NE(std::string::npos, outcome.err.find("\r\033[KConversion successfully completed."))
        << "the progress line is cleared before the message";

    outcome = runOnTerminal({"convert", "-q", "-y", "in.txt"}, dir.path());
    EXPECT_EQ(0, outcome.exitCode);
    EXPECT_EQ("", outcome.err);

    outcome = run({"convert", "-y", "in.txt"}, dir.path());
    EXPECT_EQ("Conversion successfully completed.\n", outcome.err) << "no progress into a pipe";
}

TEST(Terminal, AsksBeforeOverwritingAndHonoursTheAnswer) {
    TempDir dir;
    dir.write("in.txt", "new");
    dir.write("in.pdb", "old");
    const std::string question = "in.pdb already exists. Overwrite? [y/N] ";
    Outcome outcome = runOnTerminal({"convert", "in.txt"}, dir.path(), question, "n\n");
    EXPECT_EQ(3, outcome.exitCode) << outcome.err;
    EXPECT_EQ("old", dir.read("in.pdb"));

    outcome = runOnTerminal({"convert", "in.txt"}, dir.path(), question, "\x03");
    EXPECT_EQ(SIGINT, outcome.signal) << "Ctrl-C at the question ends the program";
    EXPECT_EQ("old", dir.read("in.pdb"));

    outcome = runOnTerminal({"convert", "in.txt"}, dir.path(), question, "y\n");
    EXPECT_EQ(0, outcome.exitCode) << outcome.err;
    EXPECT_EQ("new", run({"text", "in.pdb"}, dir.path()).out);
}

}  // namespace
