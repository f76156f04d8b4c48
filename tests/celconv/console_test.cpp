// tests/celconv/console_test.cpp -- the driver: command-line forms, the menu and prompts,
// the order in which files are opened, the error log and the exit statuses; in-process
// first, then the built program itself in a folder of its own.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "celconv/console.h"
#include "tests/support/temp_dir.h"

namespace {

const std::string kStart =
    "Celdo 2.5b <-> Comma seperated file Utility\n"
    "Version 2.5b \n\n\n"
    "Command Line Argument Usage:\n"
    "For csv->Celdo: celconv 1 <input_file> <output_file> <database_name> <optional_info_file>\n"
    "For Celdo->csv: celconv 2 <input_file> <output_file> <optional_info_file>\n"
    "For Celdo->csv in UTF-8: celconv --utf8 2 <input_file> <output_file> <optional_info_file>\n\n"
    "See the celconv.md file beside the program for more information on using this program.\n\n";
const std::string kUsage =
    "Format error, use:\n"
    "For csv->Celdo: celconv 1 <input_file> <output_file> <database_name> <optional_info_file>\n"
    "For Celdo->csv: celconv 2 <input_file> <output_file> <optional_info_file>\n"
    "For Celdo->csv in UTF-8: celconv --utf8 2 <input_file> <output_file> <optional_info_file>\n";
const std::string kMenu =
    "Pick an option:\n1: Comma seperated file -> Celdo .pdb\n2: Celdo .pdb -> Comma seperated file\n";
const char kExample[] = "Name,Phone\nSmith,555\n";

bool exists(const std::string& path) { return std::filesystem::exists(path); }

// One in-process run in its own folder; names in the arguments are relative to it.
struct Console {
    TempDir dir;
    std::string screen;
    int status = -1;

    Console() { dir.write("a.csv", kExample); }
    std::string log() const { return dir.path() + "/celconv.err"; }
    int run(std::vector<std::string> args, const std::string& typed = "") {
        for (size_t i = 2; i < args.size(); ++i) {
            if (args[i].find('.') != std::string::npos) args[i] = dir.file(args[i]);
        }
        std::istringstream in(typed);
        std::ostringstream out;
        status = celconv::runCelconv(args, in, out, log());
        screen = out.str();
        return status;
    }
};

TEST(ConsoleCommandLine, TooFewArgumentsConvertNothing) {
    Console console;
    EXPECT_EQ(celconv::kExitUsage, console.run({"celconv", "1", "a.csv"}));
    EXPECT_EQ(kStart, console.screen);
    EXPECT_EQ(celconv::kExitUsage, console.run({"celconv", "1"}));
    EXPECT_FALSE(exists(console.log()));
}

TEST(ConsoleCommandLine, WrongFormsGiveTheUsageMessage) {
    const std::vector<std::vector<std::string>> forms = {
        {"celconv", "3", "a", "b", "c"},
        {"celconv", "2", "a.pdb", "b.csv", "x", "y"},        // six arguments for mode 2
        {"celconv", "1", "a.csv", "b.pdb"},                  // four for mode 1
        {"celconv", "1", "a.csv", "b.pdb", "T", "i", "j"},   // seven
        {"celconv", "", "a.csv", "b.pdb", "T"},
    };
    for (const auto& form : forms) {
        Console console;
        EXPECT_EQ(celconv::kExitUsage, console.run(form)) << form.size();
        EXPECT_EQ(kStart + kUsage, console.screen);
        EXPECT_FALSE(exists(console.dir.file("b.pdb")));
    }
}

TEST(ConsoleCommandLine, ModeIsTheFirstCharacterOfTheFirstArgument) {
    for (const char* mode : {"1", "1x"}) {
        Console console;
        EXPECT_EQ(celconv::kExitConverted, console.run({"celconv", mode, "a.csv", "b.pdb", "Test"}));
        EXPECT_EQ(kStart + "0\nRecords converted: 1\n", console.screen);
        EXPECT_EQ(666u, console.dir.read("b.pdb").size());
        EXPECT_FALSE(exists(console.log()));
    }
}

TEST(ConsoleCommandLine, BothModesWithAndWithoutInfoFile) {
    Console console;
    console.dir.write("a.ifo", "1 1\n80 80\n80\n1\nnone\n0\npopup\nRed\n");
    ASSERT_EQ(0, console.run({"celconv", "1", "a.csv", "b.pdb", "Test", "a.ifo"}));
    ASSERT_EQ(0, console.run({"celconv", "2", "b.pdb", "c.csv", "c.ifo"}));
    EXPECT_EQ("\"Name\",\"Phone\"\r\n\"Smith\",\"555\"\r\n", console.dir.read("c.csv"));
    EXPECT_EQ("1 1 \r\n80 80 \r\n80 \r\n1\r\nnone\r\n0\r\npopup\r\nRed\r\n", console.dir.read("c.ifo"));
    EXPECT_EQ(kStart, console.screen);  // mode 2 prints nothing of its own on success
    ASSERT_EQ(0, console.run({"celconv", "2", "b.pdb", "d.csv"}));
    EXPECT_EQ(console.dir.read("c.csv"), console.dir.read("d.csv"));
    EXPECT_FALSE(exists(console.dir.file("d.ifo")));
}

TEST(ConsoleCommandLine, Utf8OptionBeforeTheModeWritesUtf8WithAMark) {
    Console console;
    console.dir.write("u.csv", "\xEF\xBB\xBFName,Caf\u00E9\n\u20AC,\u2264\n");
    ASSERT_EQ(0, console.run({"celconv", "1", "u.csv", "b.pdb", "Test"})) << console.screen;
    ASSERT_EQ(0, console.run({"celconv", "2", "b.pdb", "c.csv"}));
    EXPECT_EQ("\"Name\",\"Caf\xE9\"\r\n\"\x80\",\"<=\"\r\n", console.dir.read("c.csv"));
    ASSERT_EQ(0, console.run({"celconv", "--utf8", "2", "b.pdb", "d.csv", "d.ifo"})) << console.screen;
    EXPECT_EQ(kStart, console.screen);
    EXPECT_EQ("\xEF\xBB\xBF\"Name\",\"Caf\u00E9\"\r\n\"\u20AC\",\"<=\"\r\n", console.dir.read("d.csv"));
    EXPECT_TRUE(exists(console.dir.file("d.ifo")));
    // In the menu too.
    const std::string dir = console.dir.path() + "/";
    ASSERT_EQ(0, console.run({"celconv", "--utf8"}, "2\n" + dir + "b.pdb\n" + dir + "e.csv\n\n"));
    EXPECT_EQ(console.dir.read("d.csv"), console.dir.read("e.csv"));
}

TEST(ConsoleCommandLine, FileNamesOfAnyLength) {
    Console console;
    const std::string name = std::string(150, 'n') + ".pdb";
    ASSERT_EQ(0, console.run({"celconv", "1", "a.csv", name, "Test"}));
    EXPECT_EQ(666u, console.dir.read(name).size());
}

TEST(ConsoleInteractive, EachWrongAnswerDrawsOneMessage) {
    Console console;
    EXPECT_EQ(celconv::kExitFailed, console.run({"celconv"}, "3\n"));
    EXPECT_EQ(kStart + kMenu + "Illegal option\n", console.screen);
    EXPECT_EQ(celconv::kExitFailed, console.run({"celconv"}, "34\n\n"));  // a wrong line, an empty one
    EXPECT_EQ(kStart + kMenu + "Illegal option\nIllegal option\n", console.screen);
}

TEST(ConsoleInteractive, EndOfInputEndsTheProgram) {
    for (const char* typed : {"", "x", "1\n", "1\na.csv\n", "1\na.csv\nb.pdb\nTest\n", "2\nb.pdb\nc.csv\n"}) {
        Console console;
        EXPECT_EQ(celconv::kExitFailed, console.run({"celconv"}, typed)) << typed;
        EXPECT_FALSE(exists(console.dir.file("b.pdb"))) << typed;
    }
}

TEST(ConsoleInteractive, PromptsOfBothModes) {
    Console console;
    const std::string dir = console.dir.path() + "/";
    ASSERT_EQ(0, console.run({"celconv"}, "1\n" + dir + "a.csv\n" + dir + "b.pdb\r\nTest\n\n"));
    EXPECT_EQ(kStart + kMenu + "Comma seperated file name (example test.csv)? : " +
                  "Output file name (example - test.pdb)? : " + "Desired Database Name (example - Test)? : " +
                  "Database info file (example - test.ifo, hit <return> if none)? : " +
                  "0\nRecords converted: 1\n",
              console.screen);
    EXPECT_EQ(666u, console.dir.read("b.pdb").size());
    ASSERT_EQ(0, console.run({"celconv"}, "2\n" + dir + "b.pdb\n" + dir + "c.csv\n" + dir + "c.ifo\n"));
    EXPECT_EQ(kStart + kMenu + "Celdo file name (example - test.pdb)? : " +
                  "Output file name (example - test.csv)? : " +
                  "Optional info file name (example - test.ifo, hit <return> if none)? : ",
              console.screen);
    EXPECT_EQ("\"Name\",\"Phone\"\r\n\"Smith\",\"555\"\r\n", console.dir.read("c.csv"));
    EXPECT_TRUE(exists(console.dir.file("c.ifo")));
}

TEST(ConsoleFailures, DatabaseNameOutside1To31Characters) {
    const std::string typed40 = std::string(40, 'd');
    for (const std::string& name : {std::string(32, 'd'), std::string(), typed40}) {
        Console console;
        const std::string dir = console.dir.path() + "/";
        if (name.size() == 40) {
            console.run({"celconv"}, "1\n" + dir + "a.csv\n" + dir + "b.pdb\n" + name + "\n\n");
        } else {
            console.run({"celconv", "1", "a.csv", "b.pdb", name});
        }
        EXPECT_EQ(celconv::kExitFailed, console.status) << name.size();
        EXPECT_NE(std::string::npos, console.screen.find("Database name invalid\n"));
        EXPECT_EQ("Database name invalid\n", console.dir.read("celconv.err"));
        EXPECT_FALSE(exists(console.dir.file("b.pdb")));  // the staged output went with the run
    }
    Console longest;
    EXPECT_EQ(0, longest.run({"celconv", "1", "a.csv", "b.pdb", std::string(31, 'd')}));
}

TEST(ConsoleFailures, FilesOpenInOrderAndEachFailureIsNamed) {
    struct Row {
        std::vector<std::string> args;
        const char* message;
        bool logged;  // written to the error log as well
    };
    const std::vector<Row> rows = {
        {{"celconv", "1", "missing.csv", "b.pdb", "Test"}, "Could not open input file\n", false},
        {{"celconv", "1", "a.csv", "no/such/b.pdb", "Test"}, "Could not open output file\n", false},
        {{"celconv", "1", "a.csv", "b.pdb", "Test", "missing.ifo"}, "Could not open info file\n", true},
        {{"celconv", "2", "missing.pdb", "b.csv"}, "Could not open input file\n", false},
        {{"celconv", "2", "a.csv", "no/such/b.csv"}, "Could not open output file\n", false},
        {{"celconv", "2", "a.csv", "b.csv", "no/such/b.ifo"}, "Could not create info file\n", true},
    };
    for (const Row& row : rows) {
        Console console;
        EXPECT_EQ(celconv::kExitFailed, console.run(row.args)) << row.message;
        EXPECT_EQ(kStart + row.message, console.screen);
        if (row.logged) {
            EXPECT_EQ(row.message, console.dir.read("celconv.err"));
        } else {
            EXPECT_FALSE(exists(console.log())) << row.message;
        }
    }
}

TEST(ConsoleFailures, ErrorLogThatCannotBeCreated) {
    Console console;
    std::istringstream in;
    std::ostringstream out;
    const int status = celconv::runCelconv({"celconv", "1", console.dir.file("a.csv"), console.dir.file("b.pdb"), "T"},
                                           in, out, console.dir.file("no/such/celconv.err"));
    EXPECT_EQ(celconv::kExitFailed, status);
    EXPECT_EQ(kStart + "Could not open error output file\n", out.str());
    EXPECT_FALSE(exists(console.dir.file("b.pdb")));  // staged already, and removed
}

TEST(ConsoleFailures, ConversionErrorKeepsTheLog) {
    Console console;
    console.dir.write("bad.csv", "A,B\nx\n");
    EXPECT_EQ(celconv::kExitFailed, console.run({"celconv", "1", "bad.csv", "b.pdb", "Test"}));
    EXPECT_EQ("Data format error - missing field data at record: 1 \n", console.dir.read("celconv.err"));
    console.dir.write("bad.pdb", "short");
    EXPECT_EQ(celconv::kExitFailed, console.run({"celconv", "2", "bad.pdb", "b.csv"}));
    EXPECT_EQ("Error: database file too short.\n", console.dir.read("celconv.err"));
}

// The built program, run by the shell in a folder of its own.
struct Program {
    TempDir dir;
    std::string screen;
    int run(const std::string& arguments, const std::string& typed = "") {
        dir.write("typed.txt", typed);
        const std::string command = "cd '" + dir.path() + "' && '" CELCONV_PROGRAM "' " + arguments +
                                    " < typed.txt > screen.txt 2>&1";
        const int wait = std::system(command.c_str());
        screen = dir.read("screen.txt");
        return WIFEXITED(wait) ? WEXITSTATUS(wait) : -1;
    }
};

TEST(ConsoleProgram, ExitStatusesAndTheErrorLogInTheCurrentFolder) {
    Program program;
    program.dir.write("a.csv", kExample);
    EXPECT_EQ(0, program.run("1 a.csv b.pdb Test"));
    EXPECT_EQ(666u, program.dir.read("b.pdb").size());
    EXPECT_FALSE(exists(program.dir.file("celconv.err")));

    program.dir.write("bad.csv", "A,B\n,,\n");
    EXPECT_EQ(1, program.run("1 bad.csv c.pdb Test"));
    EXPECT_EQ("Data format error - missing field data at record: 1 \n", program.dir.read("celconv.err"));
    EXPECT_EQ(0, program.run("2 b.pdb b.csv"));
    EXPECT_FALSE(exists(program.dir.file("celconv.err")));

    EXPECT_EQ(2, program.run("3 a b c"));
    EXPECT_EQ(kStart + kUsage, program.screen);
    EXPECT_EQ(2, program.run("1 a.csv"));
}

TEST(ConsoleProgram, MenuAnsweredThroughAPipe) {
    Program program;
    EXPECT_EQ(1, program.run("", "3\n"));
    EXPECT_EQ(kStart + kMenu + "Illegal option\n", program.screen);
    program.dir.write("a.csv", kExample);
    EXPECT_EQ(0, program.run("", "1\na.csv\nb.pdb\nTest\n\n"));
    EXPECT_EQ(666u, program.dir.read("b.pdb").size());
}

}  // namespace
