// tests/celconv/database_to_csv_test.cpp -- the CSV and info files a database becomes,
// records found at their offsets whatever the popup block holds, damaged databases
// stopped with a message, and the way round: CSV + info -> database -> CSV + info.
#include <gtest/gtest.h>

#include <string>

#include "tests/celconv/celconv_test_util.h"

using celconv_test::big16;
using celconv_test::big32;
using celconv_test::toCsv;
using celconv_test::toDatabase;

namespace {

const char kSettings[] = "1 1\n80 80\n80\n1\nnone\n0\n";

void putBig16(std::string& bytes, size_t offset, uint16_t value) {
    bytes.at(offset) = static_cast<char>(value >> 8);
    bytes.at(offset + 1) = static_cast<char>(value & 0xFF);
}
void putBig32(std::string& bytes, size_t offset, uint32_t value) {
    putBig16(bytes, offset, static_cast<uint16_t>(value >> 16));
    putBig16(bytes, offset + 2, static_cast<uint16_t>(value & 0xFFFF));
}

std::string databaseOf(const std::string& csv, const std::string* info = nullptr) {
    const auto run = toDatabase(csv, info);
    EXPECT_TRUE(run.converted) << run.messages.screen;
    return run.database;
}

TEST(DatabaseToCsvOutput, NamesAndValuesAreQuoted) {
    const auto run = toCsv(databaseOf("Name,Phone\nSmith,555\n"));
    ASSERT_TRUE(run.converted);
    EXPECT_EQ("\"Name\",\"Phone\"\r\n\"Smith\",\"555\"\r\n", run.csv);
    EXPECT_EQ("", run.messages.screen);
}

TEST(DatabaseToCsvOutput, NoRecordsGiveTheHeaderLineOnly) {
    const auto run = toCsv(databaseOf("Name,Phone\n"));
    ASSERT_TRUE(run.converted);
    EXPECT_EQ("\"Name\",\"Phone\"\r\n", run.csv);
}

TEST(DatabaseToCsvOutput, QuotesDoubledEmptyPartsKept) {
    const auto run = toCsv(databaseOf(",x\"\"y\n\"He said \"\"hi\"\"\",\n"));
    ASSERT_TRUE(run.converted);
    EXPECT_EQ(",\"x\"\"y\"\r\n\"He said \"\"hi\"\"\",\"\"\r\n", run.csv);
}

TEST(DatabaseToCsvOutput, LineBreaksInValuesBecomeSpaces) {
    std::string database = databaseOf("A\nabcd\nx\ry\n");
    const uint32_t first = big32(database, 78);
    database[first + 1] = '\r';
    database[first + 2] = '\n';
    const auto run = toCsv(database);
    ASSERT_TRUE(run.converted);
    EXPECT_EQ("\"A\"\r\n\"a  d\"\r\n\"x y\"\r\n", run.csv);
}

TEST(DatabaseToCsvOutput, DeletedRecordsAreLeftOut) {
    std::string database = databaseOf("A\none\ntwo\nthree\n");
    database[78 + 8 + 4] = static_cast<char>(0x80);  // the second entry's attribute byte
    const auto run = toCsv(database);
    ASSERT_TRUE(run.converted);
    EXPECT_EQ("\"A\"\r\n\"one\"\r\n\"three\"\r\n", run.csv);
}

TEST(DatabaseToCsvPlacement, RecordsAreFoundWhateverThePopupBlockHolds) {
    // A first popup string shorter than two characters, and an empty string before the
    // block's end, must not move where the records are read.
    for (const char* popups : {"a\n", "a\n\nb\n", "\n\nx\n"}) {
        const std::string info = std::string(kSettings) + popups;
        const auto run = toCsv(databaseOf("A,B\nx,y\np,q\n", &info), true);
        ASSERT_TRUE(run.converted) << popups;
        EXPECT_EQ("\"A\",\"B\"\r\n\"x\",\"y\"\r\n\"p\",\"q\"\r\n", run.csv) << popups;
    }
    const std::string info = kSettings + std::string("a\n\nb\n");
    const auto run = toCsv(databaseOf("A,B\nx,y\n", &info), true);
    EXPECT_EQ("1 1 \r\n80 80 \r\n80 \r\n1\r\nnone\r\n0\r\na\r\n", run.info);
}

TEST(DatabaseToCsvPlacement, ApplicationInformationIsReadAtItsOffset) {
    // Move the application information and the records 16 bytes further on.
    const std::string original = databaseOf("A\nv\n");
    std::string moved = original.substr(0, 88) + std::string(16, '\x55') + original.substr(88);
    putBig32(moved, 52, 88 + 16);
    putBig32(moved, 78, big32(original, 78) + 16);
    const auto run = toCsv(moved);
    ASSERT_TRUE(run.converted) << run.messages.screen;
    EXPECT_EQ("\"A\"\r\n\"v\"\r\n", run.csv);
}

struct Damage {
    const char* what;
    std::string database;
    const char* message;
};

TEST(DatabaseToCsvDamage, DamagedDatabasesStopWithAMessage) {
    const std::string good = databaseOf("A,B\nSmith,555\n");
    const uint32_t appInfo = big32(good, 52);
    std::vector<Damage> cases;
    cases.push_back({"short header", good.substr(0, 50), "Error: database file too short.\n"});
    std::string counted = good;
    putBig16(counted, 76, 1000);
    cases.push_back({"record count beyond the file", counted,
                     "Error: record count larger than the database file holds.\n"});
    cases.push_back({"ends inside a record", good.substr(0, good.size() - 1),
                     "Error: database ends inside record 1.\n"});
    std::string farRecord = good;
    putBig32(farRecord, 78, static_cast<uint32_t>(good.size()) + 10);
    cases.push_back({"record offset beyond the file", farRecord, "Error: database ends inside record 1.\n"});
    std::string wide = good;
    putBig16(wide, appInfo + 460, 21);
    cases.push_back({"21 fields", wide, "Error: database has more than 20 fields.\n"});
    std::string noAppInfo = good;
    putBig32(noAppInfo, 52, 0);
    cases.push_back({"no application information", noAppInfo, "Error: database application info incomplete.\n"});
    std::string farAppInfo = good;
    putBig32(farAppInfo, 52, static_cast<uint32_t>(good.size()) - 100);
    cases.push_back({"application information cut", farAppInfo, "Error: database application info incomplete.\n"});
    // The record's empty value must not be taken for the end of the popup data.
    std::string unended = databaseOf("A,B\nSmith,\n");
    unended.replace(appInfo + 564, 4, "abcd");
    cases.push_back({"popup block without its zeros", unended,
                     "Error: popup list data not terminated in database.\n"});
    cases.push_back({"popup block without its zeros, no records", databaseOf("A\n").substr(0, 80 + 564) + "ab",
                     "Error: popup list data not terminated in database.\n"});
    for (const Damage& damage : cases) {
        const auto run = toCsv(damage.database, true);
        EXPECT_FALSE(run.converted) << damage.what;
        EXPECT_EQ(damage.message, run.messages.screen) << damage.what;
        EXPECT_EQ(damage.message, run.messages.log) << damage.what;
    }
}

TEST(DatabaseToCsvDamage, ValuesHold3999CharactersAfterQuoteDoubling) {
    const std::string base = databaseOf("A\nv\n");
    const std::string front = base.substr(0, base.size() - 2);  // without the record "v\0"
    const auto fits = toCsv(front + std::string(3999, 'a') + '\0');
    ASSERT_TRUE(fits.converted);
    EXPECT_EQ("\"A\"\r\n\"" + std::string(3999, 'a') + "\"\r\n", fits.csv);
    EXPECT_TRUE(toCsv(front + std::string(1999, '"') + "a" + '\0').converted);
    for (const std::string& value : {std::string(4000, 'a'), std::string(2000, '"'), std::string(100000, 'b')}) {
        const auto run = toCsv(front + value + '\0');
        EXPECT_FALSE(run.converted);
        EXPECT_EQ("Error: field value too long at record 1.\n", run.messages.screen);
    }
}

TEST(DatabaseRoundTrip, CsvAndInfoComeBackToTheSameDatabase) {
    const std::string csv =
        "Name,Phone,Note,Kind\n"
        "Smith,555,\"a, b\",x\n"
        "\"O'Neil\",,\"say \"\"hi\"\"\",y\n"
        ",\"" + std::string(497, 'z') + "\",last,\n";
    const std::string info =
        "2 0x10 -1 7\n50 160 0 010\n120\n3\nsecret\n1\n"
        "popup kinds\nx\ny\n" + std::string(99, 'w') + "\npopup more\n" + std::string(150, 'v') + "\n";
    const auto first = toDatabase(csv, &info);
    ASSERT_TRUE(first.converted) << first.messages.screen;
    const auto back = toCsv(first.database, true);
    ASSERT_TRUE(back.converted) << back.messages.screen;
    const auto second = toDatabase(back.csv, &back.info);
    ASSERT_TRUE(second.converted) << second.messages.screen;
    EXPECT_EQ(first.database, second.database);
    // And the second trip changes nothing in the text files either.
    const auto again = toCsv(second.database, true);
    EXPECT_EQ(back.csv, again.csv);
    EXPECT_EQ(back.info, again.info);
}

}  // namespace
