// tests/celconv/csv_to_database_test.cpp -- the database a CSV file becomes: exact bytes,
// record offsets, field splitting and unquoting, and every stop of the conversion.
#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <string>

#include "celconv/csv_to_database.h"
#include "celconv/reporter.h"
#include "tests/celconv/celconv_test_util.h"

using celconv_test::big16;
using celconv_test::big32;
using celconv_test::toDatabase;

namespace {

std::string zeros(size_t count) { return std::string(count, '\0'); }
std::string be16(uint16_t value) { return {static_cast<char>(value >> 8), static_cast<char>(value & 0xFF)}; }
std::string repeat(const std::string& text, int count) {
    std::string result;
    for (int i = 0; i < count; ++i) result += text;
    return result;
}

// Records of a database written by the utility, read at the offsets of its record list.
std::string recordBytes(const std::string& database, int index) {
    const uint32_t count = big16(database, 76);
    const uint32_t start = big32(database, 78 + 8 * index);
    const uint32_t end = index + 1 < static_cast<int>(count) ? big32(database, 78 + 8 * (index + 1))
                                                             : static_cast<uint32_t>(database.size());
    return database.substr(start, end - start);
}

std::string fieldName(const std::string& database, int slot) {
    const uint32_t appInfo = big32(database, 52);
    return std::string(database.c_str() + appInfo + 21 * slot);
}

TEST(CsvToDatabaseLayout, TwoLineExampleGivesThe666ByteFile) {
    const auto run = toDatabase("Name,Phone\nSmith,555\n");
    ASSERT_TRUE(run.converted) << run.messages.screen;
    std::string expected;
    expected += "Test" + zeros(28);                  // 0: database name, zero-filled to 32
    expected += be16(0x0008);                        // 32: attributes (backup)
    expected += be16(1);                             // 34: version
    expected += "\x33\x33\x26\x75";                  // 36: creation date, the fixed constant
    expected += "\x33\x33\x26\x75";                  // 40: modification date
    expected += zeros(4);                            // 44: last backup date
    expected += zeros(4);                            // 48: modification number
    expected += std::string("\0\0\0\x58", 4);        // 52: application information at 88
    expected += zeros(4);                            // 56: sort information
    expected += "CeTb";                              // 60: type
    expected += "CeAp";                              // 64: creator
    expected += zeros(4);                            // 68: unique-id seed
    expected += zeros(4);                            // 72: next record list
    expected += be16(1);                             // 76: one record
    expected += std::string("\0\0\x02\x90", 4);      // 78: record 0 at 656
    expected += zeros(4);                            // 82: attributes and unique id
    expected += "\x8C";                              // 86: filler 8C 00
    expected += zeros(1);
    expected += "Name" + zeros(17);                  // 88: field name slots of 21 bytes
    expected += "Phone" + zeros(16);
    expected += zeros(18 * 21);
    expected += repeat(be16(1), 20);                 // 508: field types
    expected += be16(2);                             // 548: fieldCount
    expected += be16(452);                           // 550: formatTag 01 C4
    expected += repeat(be16(80), 20);                // 552: field widths
    expected += be16(80);                            // 592: editFieldWidth
    expected += zeros(10 + 16 + 16);                 // 594: words and text areas not set
    expected += be16(0);                             // 636: passwordLock
    expected += be16(1);                             // 638: firstShowColumn
    expected += zeros(12);                           // 640: no password
    expected += zeros(4);                            // 652: empty popup block
    expected += std::string("Smith\0" "555\0", 10);  // 656: the record
    ASSERT_EQ(666u, expected.size());
    EXPECT_EQ(expected, run.database);
    EXPECT_EQ(std::string("0\nRecords converted: 1\n"), run.messages.screen);
}

TEST(CsvToDatabaseLayout, RecordOffsetsFollowTheApplicationInformation) {
    // Sizes 10, 20 and 30 (value length + 1 per field): 80 + 24 + 568 = 672, 682, 702.
    const auto run = toDatabase("A\n" + std::string(9, 'a') + "\n" + std::string(19, 'b') + "\n" +
                                std::string(29, 'c') + "\n");
    ASSERT_TRUE(run.converted);
    EXPECT_EQ(3u, big16(run.database, 76));
    EXPECT_EQ(104u, big32(run.database, 52));
    EXPECT_EQ(672u, big32(run.database, 78));
    EXPECT_EQ(682u, big32(run.database, 86));
    EXPECT_EQ(702u, big32(run.database, 94));
    EXPECT_EQ(732u, run.database.size());
    EXPECT_EQ(std::string(19, 'b') + '\0', recordBytes(run.database, 1));
}

TEST(CsvToDatabaseLayout, HeaderLineAloneGivesNoRecords) {
    const auto run = toDatabase("Name,Phone\n");
    ASSERT_TRUE(run.converted);
    EXPECT_EQ(0u, big16(run.database, 76));
    EXPECT_EQ(80u, big32(run.database, 52));
    EXPECT_EQ("\x8C", run.database.substr(78, 1));
    EXPECT_EQ('\0', run.database[79]);
    EXPECT_EQ(80u + 568u, run.database.size());
    EXPECT_EQ("Records converted: 0\n", run.messages.screen);
}

TEST(CsvToDatabaseLayout, EmptyFileGivesOneUnnamedField) {
    const auto run = toDatabase("");
    ASSERT_TRUE(run.converted);
    EXPECT_EQ(0u, big16(run.database, 76));
    EXPECT_EQ(648u, run.database.size());
    EXPECT_EQ(1u, big16(run.database, 80 + 460));
    EXPECT_EQ("", fieldName(run.database, 0));
}

TEST(CsvToDatabaseLayout, CrLfLinesReadLikeLfLines) {
    EXPECT_EQ(toDatabase("Name,Phone\nSmith,555\n").database,
              toDatabase("Name,Phone\r\nSmith,555\r\n").database);
}

TEST(CsvToDatabaseLayout, ZeroByteEndsTheLineText) {
    // Otherwise the stored record would hold more zero-ended values than fields.
    const auto run = toDatabase(std::string("A\nab\0cd\n", 8));
    ASSERT_TRUE(run.converted);
    EXPECT_EQ(1u, big16(run.database, 76));
    EXPECT_EQ(std::string("ab\0", 3), recordBytes(run.database, 0));
    EXPECT_FALSE(toDatabase(std::string("A,B\nx\0,y\n", 9)).converted);
}

TEST(CsvUnquoting, HeaderNamesLoseTheirQuotes) {
    const auto run = toDatabase("Name,\"Ph\"\"one\",x\"\"y\n");
    ASSERT_TRUE(run.converted);
    EXPECT_EQ("Name", fieldName(run.database, 0));
    EXPECT_EQ("Ph", fieldName(run.database, 1));
    EXPECT_EQ("x\"y", fieldName(run.database, 2));
}

TEST(CsvUnquoting, DataValuesLoseTheirQuotes) {
    struct Row { const char* written; const char* stored; };
    const Row rows[] = {
        {"\"a,b\"", "a,b"},                  // a quoted comma stays in the value
        {"\"say \"\"hi\"\"\"", "say \"hi\""}, // escaped quotes inside quotes
        {"ab\"\"c", "ab\"c"},                // a pair collapses outside quotes too
        {"\"", ""},                          // a lone double quote
        {"\"abc", "ab"},                     // the last character goes, whatever it is
    };
    for (const Row& row : rows) {
        const auto run = toDatabase(std::string("A\n") + row.written + "\n");
        ASSERT_TRUE(run.converted) << row.written;
        EXPECT_EQ(std::string(row.stored) + '\0', recordBytes(run.database, 0)) << row.written;
    }
}

TEST(CsvFieldLimits, FieldOf499CharactersFitsAnd500Stop) {
    const std::string fits(499, 'x');
    const std::string tooLong(500, 'x');
    EXPECT_TRUE(toDatabase("A,B\n" + fits + ",y\n").converted);
    EXPECT_TRUE(toDatabase("A,B\ny," + fits + "\n").converted);
    EXPECT_TRUE(toDatabase("A,B\ny," + fits).converted);  // closed by the end of the file
    // Quotes count: 497 characters in quotes are 499 as written.
    EXPECT_TRUE(toDatabase("A\n\"" + std::string(497, 'q') + "\"\n").converted);
    for (const std::string& csv : {"A,B\n" + tooLong + ",y\n", "A,B\ny," + tooLong + "\n",
                                   "A,B\ny," + tooLong, "A\n\"" + std::string(498, 'q') + "\"\n"}) {
        const auto run = toDatabase(csv);
        EXPECT_FALSE(run.converted);
        EXPECT_NE(std::string::npos, run.messages.screen.find("Field data too long at record : 1 \n"));
        EXPECT_EQ("Field data too long at record : 1 \n", run.messages.log);
    }
}

TEST(CsvFieldLimits, DataLineWithAnotherFieldCountStops) {
    for (const char* csv : {"A,B\nx,y\nonly\n", "A,B\nx,y\na,b,c\n"}) {
        const auto run = toDatabase(csv);
        EXPECT_FALSE(run.converted);
        EXPECT_EQ("Data format error - missing field data at record: 2 \n", run.messages.log);
    }
}

TEST(CsvFieldLimits, BlankDataLineIsOneEmptyField) {
    const auto one = toDatabase("A\nx\n\ny\n");
    ASSERT_TRUE(one.converted);
    EXPECT_EQ(3u, big16(one.database, 76));
    EXPECT_EQ(std::string(1, '\0'), recordBytes(one.database, 1));
    // With several fields a blank line (the last one too) has too few.
    const auto several = toDatabase("A,B\nx,y\n\n");
    EXPECT_FALSE(several.converted);
    EXPECT_EQ("Data format error - missing field data at record: 2 \n", several.messages.log);
}

TEST(CsvFieldLimits, TwentyFieldsFitAndTwentyOneStop) {
    std::string header = "f1";
    for (int field = 2; field <= 20; ++field) header += ",f" + std::to_string(field);
    EXPECT_TRUE(toDatabase(header + "\n").converted);
    const auto run = toDatabase(header + ",f21\n");
    EXPECT_FALSE(run.converted);
    EXPECT_EQ("Error: more than 20 fields in the header line.\n", run.messages.log);
}

TEST(CsvFieldLimits, FieldNamesHoldTwentyCharacters) {
    const std::string twenty(20, 'n');
    const auto fits = toDatabase("A," + twenty + ",\"" + twenty + "\"\n");
    ASSERT_TRUE(fits.converted);
    EXPECT_EQ(twenty, fieldName(fits.database, 1));
    EXPECT_EQ(twenty, fieldName(fits.database, 2));
    for (const std::string& header : {"A," + twenty + "m\n", "A,\"" + twenty + "m\"\n"}) {
        const auto run = toDatabase(header);
        EXPECT_FALSE(run.converted) << header;
        EXPECT_NE(std::string::npos, run.messages.screen.find("Field Name 2 too long\n"));
        EXPECT_EQ("Field Name 2 too long : " + twenty + "m\n", run.messages.log);
    }
}

TEST(CsvFieldLimits, HeaderLineHolds3999CharactersWithItsLineEnd) {
    // A quoted name is cut at its next double quote, so the padding is no part of it.
    const std::string fits = "\"abc\"" + std::string(3992, 'x') + "\"\n";
    ASSERT_EQ(3999u, fits.size());
    const auto run = toDatabase(fits);
    ASSERT_TRUE(run.converted) << run.messages.screen;
    EXPECT_EQ("abc", fieldName(run.database, 0));
    const auto tooLong = toDatabase("\"abc\"" + std::string(3993, 'x') + "\"\n");
    EXPECT_FALSE(tooLong.converted);
    EXPECT_EQ("Input record too long.\n", tooLong.messages.log);
}

TEST(CsvFieldLimits, FiftyThousandRecordsFitAndOneMoreStops) {
    std::string csv = "A\n";
    for (int line = 0; line < 50000; ++line) csv += "v\n";
    const auto fits = toDatabase(csv);
    ASSERT_TRUE(fits.converted);
    EXPECT_EQ(50000u, big16(fits.database, 76));
    EXPECT_EQ(std::string("v\0", 2), recordBytes(fits.database, 49999));
    const auto tooMany = toDatabase(csv + "v\n");
    EXPECT_FALSE(tooMany.converted);
    EXPECT_EQ("Error: more than 50000 records in the input file.\n", tooMany.messages.log);
}

TEST(CsvQuoteFlag, UnbalancedQuoteCarriesToTheNextLine) {
    // Line 1 ends inside quotes, so the comma of line 2 belongs to its one field.
    const auto stuck = toDatabase("A,B\nx,y\"\np,q\n");
    EXPECT_FALSE(stuck.converted);
    EXPECT_EQ("Data format error - missing field data at record: 2 \n", stuck.messages.log);
    // Here line 2's quote closes it again before its comma.
    const auto closed = toDatabase("A,B\nx,y\"\np\",q\n");
    ASSERT_TRUE(closed.converted);
    EXPECT_EQ(std::string("x\0y\"\0", 5), recordBytes(closed.database, 0));
    EXPECT_EQ(std::string("p\"\0q\0", 5), recordBytes(closed.database, 1));
}

TEST(CsvQuoteFlag, SecondPassSplitsLinesAsTheFirstDid) {
    // The file ends inside quotes; the second pass must still start its data lines with
    // the flag as it was after the header line.
    const auto run = toDatabase("A,B\nx,y\"\n");
    ASSERT_TRUE(run.converted);
    EXPECT_EQ(std::string("x\0y\"\0", 5), recordBytes(run.database, 0));
    // A header that leaves the flag set makes both passes see one field per line.
    const auto header = toDatabase("\"A,B\nx,y\n");
    ASSERT_TRUE(header.converted);
    EXPECT_EQ(std::string("x,y\0", 4), recordBytes(header.database, 0));
}

// Runs the conversion with a second pass that reads `secondPass` instead of the file.
struct SwappedRun {
    bool converted;
    std::string screen;
};
SwappedRun convertWithSecondPass(const std::string& csv, const char* secondPass) {
    std::istringstream first(csv);
    std::ostringstream database;
    std::ostringstream screen;
    celconv::Reporter reporter(screen);
    const celconv::CsvOpener reopen = [secondPass]() -> std::unique_ptr<std::istream> {
        if (secondPass == nullptr) return nullptr;
        return std::make_unique<std::istringstream>(secondPass);
    };
    const bool converted = celconv::csvToDatabase(first, reopen, nullptr, "Test", database, reporter);
    return {converted, screen.str()};
}

TEST(CsvSecondPass, FileThatCannotBeReopenedStops) {
    const auto run = convertWithSecondPass("A\nx\n", nullptr);
    EXPECT_FALSE(run.converted);
    EXPECT_EQ("0\nRecords converted: 1\nCould not open input file\n", run.screen);
}

TEST(CsvSecondPass, FileChangedBetweenThePassesStops) {
    for (const char* changed : {"A\nxy\n", "A\nx\nz\n", "A\n", "A,B\nx,y\n"}) {
        const auto run = convertWithSecondPass("A\nx\n", changed);
        EXPECT_FALSE(run.converted) << changed;
        EXPECT_NE(std::string::npos, run.screen.find("Error: input file changed during conversion.\n"));
    }
    EXPECT_TRUE(convertWithSecondPass("A\nx\n", "A\nx\n").converted);
}

}  // namespace
