// celconv over inputs built to strain it: CSV files of lines that fill the whole line
// buffer, and databases cut short anywhere inside their application information. Each
// must end with a database or a message, and a cut one never converts.
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "tests/celconv/celconv_test_util.h"

using celconv_test::toCsv;
using celconv_test::toDatabase;

namespace {

double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Eight fields, seven of 499 characters, and seven commas: `length` characters.
std::string wideLine(size_t length, char fill) {
    std::string line;
    for (int field = 0; field < 7; ++field) line += std::string(499, fill) + ",";
    return line + std::string(length - line.size(), fill);
}

// A CSV file of an eight-field header and 500 data lines of `length` characters each.
std::string wideCsv(size_t length) {
    std::string csv = "A,B,C,D,E,F,G,H\n";
    for (int record = 0; record < 500; ++record) csv += wideLine(length, static_cast<char>('a' + record % 26)) + "\n";
    return csv;
}

TEST(CelconvHostileInput, LinesFillingTheLineBufferConvertOrStopWithAMessage) {
    // 3998 characters and the line feed fill the 3999 characters of one read exactly.
    auto start = std::chrono::steady_clock::now();
    const auto fits = toDatabase(wideCsv(3998));
    EXPECT_LT(secondsSince(start), 30.0);
    EXPECT_TRUE(fits.converted) << fits.messages.log;
    ASSERT_TRUE(toCsv(fits.database).converted);

    // With 3999 characters the line feed is left for the next read: a blank line of one
    // field, which an eight-field header refuses with a message.
    start = std::chrono::steady_clock::now();
    const auto over = toDatabase(wideCsv(3999));
    EXPECT_LT(secondsSince(start), 30.0);
    EXPECT_FALSE(over.converted);
    EXPECT_NE(std::string::npos, over.messages.screen.find("missing field data at record: 2")) << over.messages.screen;

    // A 3999-character header line, line end included, is too long.
    const auto longHeader = toDatabase(std::string(3999, 'N') + "\nx\n");
    EXPECT_FALSE(longHeader.converted);
    EXPECT_NE(std::string::npos, longHeader.messages.screen.find("Input record too long."));
}

TEST(CelconvHostileInput, DatabaseCutInsideItsApplicationInformationStops) {
    const auto made = toDatabase("Name,Phone\nSmith,555\nJones,777\n");
    ASSERT_TRUE(made.converted);
    ASSERT_TRUE(toCsv(made.database, true).converted);
    const uint32_t appInfo = celconv_test::big32(made.database, 52);
    ASSERT_GT(appInfo, 78u);
    // Every cut from just inside the record list to the end of the fixed part and its popups.
    for (size_t length = 78; length < appInfo + 564 + 4 && length < made.database.size(); ++length) {
        const auto run = toCsv(made.database.substr(0, length), true);
        EXPECT_FALSE(run.converted) << length;
        EXPECT_FALSE(run.messages.screen.empty()) << length;
    }
}

}  // namespace
