// tests/celconv/palm_pdb_test.cpp -- the databases celconv writes, read by an independent
// Palm database parser (Palm::PDB, perl): name, type, creator, record count, length of the
// application information, and every record's bytes as the CSV lines define them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "tests/celconv/celconv_test_util.h"
#include "tests/support/temp_dir.h"

namespace {

std::string hex(const std::string& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string text;
    for (const char c : bytes) {
        text += digits[static_cast<uint8_t>(c) >> 4];
        text += digits[static_cast<uint8_t>(c) & 15];
    }
    return text;
}

struct Case {
    std::string file;
    std::string csv;
    std::string info;  // empty: none
    std::string name;
    size_t appInfoLength;
    std::vector<std::string> records;  // the stored values, each with its zero byte
};

TEST(PalmPdbCheck, IndependentParserReadsWhatWeWrite) {
    std::vector<Case> cases = {
        {"example", "Name,Phone\nSmith,555\n", "", "Test", 568, {std::string("Smith\0" "555\0", 10)}},
        {"header-only", "Name,Phone\n", "", "Header only", 568, {}},
        {"empty", "", "", "E", 568, {}},
        {"quoted", "A,B,C\n\"x,1\",\"say \"\"hi\"\"\",\n,,q\n", "", std::string(31, 'N'), 568,
         {std::string("x,1\0say \"hi\"\0\0", 14), std::string("\0\0q\0", 4)}},
        // Popup strings "popup c" (8) and "Red" (4), then the ending zero: 564 + 13.
        {"with-info", "A\nv\nw\n", "3\n40\n20\n0\npass\n1\npopup c\nRed\n", "Info", 577,
         {std::string("v\0", 2), std::string("w\0", 2)}},
    };
    Case many{"many", "N,Square\n", "", "Many", 568, {}};
    for (int row = 0; row < 1000; ++row) {
        const std::string n = std::to_string(row), square = std::to_string(row * row);
        many.csv += n + "," + square + "\n";
        many.records.push_back(n + '\0' + square + '\0');
    }
    cases.push_back(many);

    TempDir dir;
    for (const Case& item : cases) {
        const auto run = celconv_test::toDatabase(item.csv, item.info.empty() ? nullptr : &item.info, item.name);
        ASSERT_TRUE(run.converted) << item.file << ": " << run.messages.screen;
        dir.write(item.file + ".pdb", run.database);
        std::string expect = "name " + item.name + "\ntype CeTb\ncreator CeAp\nrecords " +
                             std::to_string(item.records.size()) + "\nappinfo " +
                             std::to_string(item.appInfoLength) + "\n";
        for (size_t index = 0; index < item.records.size(); ++index) {
            expect += "record " + std::to_string(index) + " " + hex(item.records[index]) + "\n";
        }
        dir.write(item.file + ".expect", expect);
    }
    const std::string command =
        "perl '" CELCONV_TEST_DIR "/check_pdb.pl' '" + dir.path() + "' > '" + dir.file("report.txt") + "' 2>&1";
    const int status = std::system(command.c_str());
    const std::string report = dir.read("report.txt");
    EXPECT_EQ(0, status) << report;
    EXPECT_EQ(cases.size(), static_cast<size_t>(std::count(report.begin(), report.end(), '\n'))) << report;
}

}  // namespace
