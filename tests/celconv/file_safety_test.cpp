// tests/celconv/file_safety_test.cpp -- the built program never destroys a file: an output
// that is an input (however spelled or linked) is refused before anything is opened for
// writing, a failed run (bad data, a limit, a full disk) leaves an existing output as it
// was and no new file behind, and a successful run replaces the output whole. Also the
// start lines, the menu's wrong answers and the info file's number ranges as the
// program shows them.
#include <gtest/gtest.h>

#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "tests/support/temp_dir.h"

namespace fs = std::filesystem;

namespace {

const char kExample[] = "Name,Phone\nSmith,555\n";
const char kInfo[] = "1 1\n80 80\n80\n1\nnone\n0\npopup\nRed\n";
const char kWriteFailed[] = "Error: could not write output file.\n";

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

using Files = std::map<std::string, std::string>;  // name -> bytes

// The built program, run by the shell in a folder of its own; what it printed is kept
// outside that folder so the folder holds only what the test and the program put there.
struct Program {
    TempDir dir;
    TempDir scratch;
    std::string screen;

    int run(const std::string& arguments, const std::string& typed = "",
            const std::string& program = CELCONV_PROGRAM) {
        const std::string typedFile = scratch.file("typed.txt");
        const std::string screenFile = scratch.file("screen.txt");
        scratch.write("typed.txt", typed);
        const std::string command = "cd '" + dir.path() + "' && '" + program + "' " + arguments + " < '" +
                                    typedFile + "' > '" + screenFile + "' 2>&1";
        const int wait = std::system(command.c_str());
        screen = readFile(screenFile);
        return WIFEXITED(wait) ? WEXITSTATUS(wait) : -1;
    }

    // Every regular file under the folder (links as the file they name), by relative name.
    Files files(const std::string& under = "") const {
        Files found;
        const fs::path root = under.empty() ? fs::path(dir.path()) : fs::path(dir.file(under));
        for (const auto& entry : fs::recursive_directory_iterator(root)) {
            if (entry.is_regular_file()) {
                found[fs::relative(entry.path(), root).string()] = readFile(entry.path().string());
            }
        }
        return found;
    }
};

// What differs between two states of a folder, one name per line; empty when nothing.
std::string differences(const Files& before, const Files& after) {
    std::string told;
    for (const auto& [name, bytes] : before) {
        const auto now = after.find(name);
        if (now == after.end()) told += name + ": gone\n";
        else if (now->second != bytes) told += name + ": " + std::to_string(bytes.size()) + " bytes became " +
                                               std::to_string(now->second.size()) + "\n";
    }
    for (const auto& [name, bytes] : after) {
        if (before.count(name) == 0) told += name + ": new, " + std::to_string(bytes.size()) + " bytes\n";
    }
    return told;
}

bool endsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// The last lines of a long screen, for a failure message.
std::string tail(const std::string& text) { return text.size() > 300 ? text.substr(text.size() - 300) : text; }

// A folder with a CSV file, its database, an info file and a sub-folder.
void lay(Program& program) {
    program.dir.write("a.csv", kExample);
    program.dir.write("a.ifo", kInfo);
    fs::create_directory(program.dir.file("sub"));
    ASSERT_EQ(0, program.run("1 a.csv db.pdb Test a.ifo")) << program.screen;
}

TEST(CelconvSameFile, AnOutputThatIsAnInputIsRefusedAndNothingChanges) {
    struct Row {
        const char* arguments;
        const char* message;
    };
    const std::string outIn = "Error: the output file is the same file as the input file.\n";
    const std::string outInfo = "Error: the output file is the same file as the info file.\n";
    const std::string infoIn = "Error: the info file is the same file as the input file.\n";
    const std::string infoOut = "Error: the info file is the same file as the output file.\n";
    const std::string logIn = "Error: the error log celconv.err is the same file as the input file.\n";
    const std::string logOut = "Error: the error log celconv.err is the same file as the output file.\n";
    const std::string logInfo = "Error: the error log celconv.err is the same file as the info file.\n";
    const std::vector<std::pair<std::string, std::string>> rows = {
        {"1 a.csv a.csv X", outIn},
        {"1 a.csv ./a.csv X", outIn},
        {"1 a.csv sub/../a.csv X", outIn},
        {"1 a.csv \"$PWD/a.csv\" X", outIn},
        {"1 a.csv link.csv X", outIn},       // a symbolic link to a.csv
        {"1 a.csv hard.csv X", outIn},       // a hard link to a.csv
        {"1 link.csv a.csv X", outIn},
        {"1 a.csv a.ifo X a.ifo", outInfo},
        {"1 a.csv sub/../a.ifo X ./a.ifo", outInfo},
        {"2 db.pdb db.pdb", outIn},
        {"2 db.pdb ./sub/../db.pdb a.ifo", outIn},
        {"2 db.pdb out.csv db.pdb", infoIn},
        {"2 db.pdb a.csv db.pdb", infoIn},
        {"2 db.pdb out.csv out.csv", infoOut},  // neither exists yet
        {"2 db.pdb out.csv ./out.csv", infoOut},
        {"2 db.pdb a.csv sub/../a.csv", infoOut},
        {"1 celconv.err out.pdb X", logIn},     // the input is the error log's name
        {"1 a.csv celconv.err X", logOut},
        {"1 a.csv ./celconv.err X", logOut},
        {"1 a.csv out.pdb X celconv.err", logInfo},
        {"2 db.pdb out.csv celconv.err", logInfo},
    };
    for (const auto& [arguments, message] : rows) {
        Program program;
        lay(program);
        fs::create_symlink("a.csv", program.dir.file("link.csv"));
        fs::create_hard_link(program.dir.file("a.csv"), program.dir.file("hard.csv"));
        if (arguments.rfind("1 celconv.err", 0) == 0) program.dir.write("celconv.err", kExample);
        if (arguments.find("X celconv.err") != std::string::npos) program.dir.write("celconv.err", kInfo);
        const auto before = program.files();
        EXPECT_EQ(1, program.run(arguments)) << arguments;
        EXPECT_TRUE(endsWith(program.screen, message)) << arguments << "\n" << program.screen;
        EXPECT_EQ("", differences(before, program.files())) << arguments;
        EXPECT_TRUE(fs::is_symlink(program.dir.file("link.csv"))) << arguments;
    }
}

TEST(CelconvSameFile, TheAnswersToThePromptsAreCheckedAlike) {
    Program program;
    lay(program);
    const auto before = program.files();
    EXPECT_EQ(1, program.run("", "1\na.csv\na.csv\nTest\n\n"));
    EXPECT_TRUE(endsWith(program.screen, "Error: the output file is the same file as the input file.\n"))
        << program.screen;
    EXPECT_EQ(1, program.run("", "2\ndb.pdb\nout.csv\ndb.pdb\n"));
    EXPECT_TRUE(endsWith(program.screen, "Error: the info file is the same file as the input file.\n"))
        << program.screen;
    EXPECT_EQ("", differences(before, program.files()));
}

TEST(CelconvStagedOutput, FailedRunsLeaveTheOldOutputsAsTheyWere) {
    std::string wide = "A";
    for (int field = 1; field < 21; ++field) wide += ",F" + std::to_string(field);
    const std::vector<std::string> failing = {
        "1 bad.csv out.pdb Test",                      // a data line without all its fields
        "1 wide.csv out.pdb Test",                     // 21 fields: a limit
        "1 a.csv out.pdb " + std::string(32, 'd'),     // database name too long
        "1 a.csv out.pdb Test missing.ifo",
        "1 a.csv out.pdb Test bad.ifo",                // unreadable number
        "1 a.csv out.pdb Test wide.ifo",               // field width out of range
        "2 short.pdb out.csv out.ifo",
        "2 cut.pdb out.csv out.ifo",                   // info complete, records cut off
        "2 cut.pdb out.csv",
        "2 db.pdb out.csv no/such/out.ifo",
        "1 bad.csv new.pdb Test",                      // and no new file either
        "2 cut.pdb new.csv new.ifo",
    };
    for (const std::string& arguments : failing) {
        Program program;
        lay(program);
        program.dir.write("bad.csv", "A,B\nx,y\nonly\n");
        program.dir.write("wide.csv", wide + "\n");
        program.dir.write("bad.ifo", "1 1\n80 x\n");
        program.dir.write("wide.ifo", "1 1\n80 161\n80\n1\nnone\n0\n");
        program.dir.write("short.pdb", "short");
        const std::string database = program.dir.read("db.pdb");
        program.dir.write("cut.pdb", database.substr(0, database.size() - 3));
        program.dir.write("out.pdb", "old database");
        program.dir.write("out.csv", "old,csv\r\n");
        program.dir.write("out.ifo", "old info\r\n");
        auto before = program.files();
        EXPECT_EQ(1, program.run(arguments)) << arguments;
        auto after = program.files();
        after.erase("celconv.err");
        EXPECT_EQ("", differences(before, after)) << arguments << "\n" << tail(program.screen);
    }
}

TEST(CelconvStagedOutput, ASuccessfulRunReplacesTheOutputWhole) {
    Program program;
    lay(program);
    const std::string database = program.dir.read("db.pdb");
    program.dir.write("out.pdb", std::string(5000, 'o'));  // longer than what replaces it
    ::chmod(program.dir.file("out.pdb").c_str(), 0640);
    program.dir.write("target.csv", "old target\n");
    fs::create_symlink("target.csv", program.dir.file("link-out.csv"));

    ASSERT_EQ(0, program.run("1 a.csv out.pdb Test a.ifo")) << program.screen;
    EXPECT_EQ(database, program.dir.read("out.pdb"));
    struct stat status {};
    ASSERT_EQ(0, ::stat(program.dir.file("out.pdb").c_str(), &status));
    EXPECT_EQ(0640u, status.st_mode & 07777u);

    // Written through a link: the link stays and the file it names gets the bytes.
    ASSERT_EQ(0, program.run("2 db.pdb link-out.csv")) << program.screen;
    EXPECT_TRUE(fs::is_symlink(program.dir.file("link-out.csv")));
    EXPECT_EQ("\"Name\",\"Phone\"\r\n\"Smith\",\"555\"\r\n", program.dir.read("target.csv"));

    // A device is written directly and is no file to keep: both outputs may be /dev/null.
    EXPECT_EQ(0, program.run("2 db.pdb /dev/null /dev/null")) << program.screen;

    // Nothing but the outputs is left beside them.
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(program.dir.path())) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    EXPECT_EQ((std::vector<std::string>{"a.csv", "a.ifo", "db.pdb", "link-out.csv", "out.pdb", "sub", "target.csv"}),
              names);
}

TEST(CelconvStagedOutput, AnOutputThatCannotBeWrittenIsNamedAtOnce) {
    Program program;
    lay(program);
    const auto before = program.files();
    EXPECT_EQ(1, program.run("2 db.pdb sub"));  // a folder
    EXPECT_TRUE(endsWith(program.screen, "Could not open output file\n")) << program.screen;
    EXPECT_EQ(1, program.run("1 a.csv no/such/out.pdb Test"));
    EXPECT_TRUE(endsWith(program.screen, "Could not open output file\n")) << program.screen;
    EXPECT_EQ("", differences(before, program.files()));
    if (::geteuid() != 0) {  // root writes a read-only file anyway
        program.dir.write("locked.pdb", "locked");
        ::chmod(program.dir.file("locked.pdb").c_str(), 0444);
        EXPECT_EQ(1, program.run("1 a.csv locked.pdb Test"));
        EXPECT_TRUE(endsWith(program.screen, "Could not open output file\n")) << program.screen;
        EXPECT_EQ("locked", program.dir.read("locked.pdb"));
    }
}

// A small tmpfs mounted on a folder, unmounted when the object goes.
struct SmallDisk {
    std::string path;
    bool mounted = false;
    std::string reason;
    explicit SmallDisk(const std::string& where) : path(where) {
        if (::geteuid() != 0) {
            reason = "mounting a small tmpfs needs root";
            return;
        }
        fs::create_directory(path);
        mounted = ::mount("tmpfs", path.c_str(), "tmpfs", 0, "size=64k") == 0;
        if (!mounted) reason = "mount -t tmpfs failed here (no CAP_SYS_ADMIN?)";
    }
    ~SmallDisk() {
        if (mounted) ::umount2(path.c_str(), MNT_DETACH);
    }
};

TEST(CelconvStagedOutput, AFullDiskLeavesTheOldOutputByteIdentical) {
    Program program;
    lay(program);
    std::string big = "Name,Note\n";
    for (int line = 0; line < 2000; ++line) big += "n" + std::to_string(line) + "," + std::string(100, 'x') + "\n";
    program.dir.write("big.csv", big);
    ASSERT_EQ(0, program.run("1 big.csv big.pdb Big")) << tail(program.screen);

    SmallDisk disk(program.dir.file("small"));
    if (!disk.mounted) GTEST_SKIP() << disk.reason;
    program.dir.write("small/out.pdb", program.dir.read("db.pdb"));
    program.dir.write("small/out.csv", kExample);
    program.dir.write("small/out.ifo", kInfo);
    const auto before = program.files("small");

    EXPECT_EQ(1, program.run("1 big.csv small/out.pdb Big"));
    EXPECT_TRUE(endsWith(program.screen, kWriteFailed)) << tail(program.screen);
    EXPECT_EQ(kWriteFailed, program.dir.read("celconv.err"));
    EXPECT_EQ("", differences(before, program.files("small")));

    EXPECT_EQ(1, program.run("2 big.pdb small/out.csv small/out.ifo"));
    EXPECT_TRUE(endsWith(program.screen, kWriteFailed)) << program.screen;
    EXPECT_EQ("", differences(before, program.files("small")));

    EXPECT_EQ(1, program.run("1 big.csv small/new.pdb Big"));
    EXPECT_EQ("", differences(before, program.files("small")));
    // With room enough the same disk takes a conversion.
    EXPECT_EQ(0, program.run("2 db.pdb small/out.csv small/out.ifo")) << program.screen;
}

TEST(CelconvInfoNumbers, OutOfRangeNumbersAreRefused) {
    struct Row {
        const char* info;
        const char* message;
    };
    const Row rows[] = {
        {"1 1\n-5 80\n80\n1\nnone\n0\n", "Error: Invalid field width in info file.\n"},
        {"99999999999999999999 1\n80 80\n80\n1\nnone\n0\n", "Error: missing or unreadable number in info file.\n"},
        {"1 65536\n80 80\n80\n1\nnone\n0\n", "Error: missing or unreadable number in info file.\n"},
        {"1 1\n80 65616\n80\n1\nnone\n0\n", "Error: missing or unreadable number in info file.\n"},
        {"1 1\n80 80\n80\n1\nnone\n0x100000001\n", "Error: missing or unreadable number in info file.\n"},
    };
    for (const Row& row : rows) {
        Program program;
        program.dir.write("a.csv", kExample);
        program.dir.write("a.ifo", row.info);
        EXPECT_EQ(1, program.run("1 a.csv out.pdb Test a.ifo")) << row.info;
        EXPECT_TRUE(endsWith(program.screen, row.message)) << row.info << program.screen;
        EXPECT_EQ(row.message, program.dir.read("celconv.err")) << row.info;
        EXPECT_FALSE(fs::exists(program.dir.file("out.pdb"))) << row.info;
    }
    // Every 16-bit value still reads, in either reading of its sign.
    Program program;
    program.dir.write("a.csv", kExample);
    program.dir.write("a.ifo", "-32768 65535\n0 160\n80\n1\nnone\n0\n");
    ASSERT_EQ(0, program.run("1 a.csv out.pdb Test a.ifo")) << program.screen;
    ASSERT_EQ(0, program.run("2 out.pdb back.csv back.ifo")) << program.screen;
    EXPECT_EQ("-32768 -1 \r\n0 160 \r\n80 \r\n1\r\nnone\r\n0\r\n", program.dir.read("back.ifo"));
}

std::string startLines(const std::string& name) {
    return "Celdo 2.5b <-> Comma seperated file Utility\n"
           "Version 2.5b \n\n\n"
           "Command Line Argument Usage:\n"
           "For csv->Celdo: " + name + " 1 <input_file> <output_file> <database_name> <optional_info_file>\n"
           "For Celdo->csv: " + name + " 2 <input_file> <output_file> <optional_info_file>\n"
           "For Celdo->csv in UTF-8: " + name + " --utf8 2 <input_file> <output_file> <optional_info_file>\n\n"
           "See the celconv.md file beside the program for more information on using this program.\n\n";
}

TEST(CelconvStartLines, TheProgramsOwnNameAndADocumentThatIsThere) {
    Program program;
    EXPECT_EQ(2, program.run("1 a.csv"));
    EXPECT_EQ(startLines("celconv"), program.screen);
    EXPECT_EQ(2, program.run("3 a b c"));
    EXPECT_EQ(startLines("celconv") +
                  "Format error, use:\n"
                  "For csv->Celdo: celconv 1 <input_file> <output_file> <database_name> <optional_info_file>\n"
                  "For Celdo->csv: celconv 2 <input_file> <output_file> <optional_info_file>\n"
                  "For Celdo->csv in UTF-8: celconv --utf8 2 <input_file> <output_file> <optional_info_file>\n",
              program.screen);
    // Under another name it says that name.
    fs::copy_file(CELCONV_PROGRAM, program.dir.file("csv2pdb"));
    fs::permissions(program.dir.file("csv2pdb"), fs::perms::owner_all);
    EXPECT_EQ(2, program.run("1 a.csv", "", "./csv2pdb"));
    EXPECT_EQ(startLines("csv2pdb"), program.screen);
    // The document the start lines point to lies beside the program, and is this one.
    const fs::path beside = fs::path(CELCONV_PROGRAM).parent_path() / "celconv.md";
    ASSERT_TRUE(fs::exists(beside));
    EXPECT_EQ(readFile(CELCONV_TEST_DIR "/../../docs/celconv.md"), readFile(beside.string()));
}

TEST(CelconvStartLines, AWrongMenuAnswerIsToldOnce) {
    Program program;
    EXPECT_EQ(1, program.run("", "3\n"));
    EXPECT_TRUE(endsWith(program.screen, "2: Celdo .pdb -> Comma seperated file\nIllegal option\n")) << program.screen;
    EXPECT_EQ(1, program.run("", "3\r\n\nxy\n"));  // three wrong lines, the second one empty
    EXPECT_TRUE(endsWith(program.screen, "file\nIllegal option\nIllegal option\nIllegal option\n")) << program.screen;
    program.dir.write("a.csv", kExample);
    EXPECT_EQ(0, program.run("", "9\n1\na.csv\nb.pdb\nTest\n\n"));
    EXPECT_NE(std::string::npos, program.screen.find("file\nIllegal option\nComma seperated file name")) << program.screen;
    EXPECT_EQ(666u, program.dir.read("b.pdb").size());
}

}  // namespace
