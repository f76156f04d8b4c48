// tests/celconv/characters_test.cpp -- the characters of CSV files: UTF-8 with and
// without a byte-order mark, Windows-1252 and mixes of the two become the database's
// Windows-1252 bytes, and --utf8 writes them back as UTF-8. Expected bytes are spelled
// out here, not taken from the character table.
#include <gtest/gtest.h>

#include <string>

#include "tests/celconv/celconv_test_util.h"

using celconv_test::big16;
using celconv_test::big32;
using celconv_test::toCsv;
using celconv_test::toDatabase;

namespace {

const std::string kMark = "\xEF\xBB\xBF";

// The records are the last part of the file, in order, each value ending in a zero byte.
std::string recordArea(const std::string& database) {
    const uint32_t count = big16(database, 76);
    if (count == 0) return {};
    return database.substr(big32(database, 78));
}

std::string fieldName(const std::string& database, int slot) {
    return std::string(database.c_str() + big32(database, 52) + 21 * slot);
}

std::string z(const std::string& text) { return text + '\0'; }

TEST(CsvCharacters, Utf8WithAndWithoutAMarkGivesTheWindows1252Database) {
    const std::string utf8 =
        "\"Caf\u00E9\",\u201CNote\u201D\n"
        "\u20AC5,\u017D\u2122 \u0153uvre\n"
        "\"na\u00EFve, \u00BD\",\u2013\n";
    const std::string windows1252 =
        "\"Caf\xE9\",\x93Note\x94\n"
        "\x80" "5,\x8E\x99 \x9Cuvre\n"
        "\"na\xEFve, \xBD\",\x96\n";
    const auto plain = toDatabase(utf8);
    ASSERT_TRUE(plain.converted) << plain.messages.screen;
    EXPECT_EQ("Caf\xE9", fieldName(plain.database, 0));
    EXPECT_EQ("\x93Note\x94", fieldName(plain.database, 1));
    EXPECT_EQ(z("\x80" "5") + z("\x8E\x99 \x9Cuvre") + z("na\xEFve, \xBD") + z("\x96"),
              recordArea(plain.database));

    const auto marked = toDatabase(kMark + utf8);
    ASSERT_TRUE(marked.converted) << marked.messages.screen;
    EXPECT_EQ(plain.database, marked.database) << "the mark is no part of the first name";
    EXPECT_EQ(plain.database, toDatabase(windows1252).database);

    // A file of the mark alone is an empty file: one unnamed field, no records.
    EXPECT_EQ(toDatabase("").database, toDatabase(kMark).database);
}

TEST(CsvCharacters, CharactersWindows1252LacksAreTransliteratedOrReplaced) {
    const struct {
        const char* what;
        std::string utf8;
        std::string stored;
    } rows[] = {
        {"less or equal", "\u2264", "<="},
        {"a Chinese character", "\u4E2D", "zhong"},
        {"o with double acute", "\u0151", "o"},
        {"Cyrillic Zhe", "\u0416", "Z"},
        {"a combining accent is removed", "e\u0301", "e"},
        {"a zero-width space is removed", "a\u200Bb", "ab"},
        {"an emoji", "\U0001F600", "?"},
        {"a C1 control as UTF-8", "\xC2\x80", "?"},
    };
    for (const auto& row : rows) {
        const auto run = toDatabase("Name\n" + row.utf8 + "\n");
        ASSERT_TRUE(run.converted) << row.what << ": " << run.messages.screen;
        EXPECT_EQ(z(row.stored), recordArea(run.database)) << row.what;
    }

    // A transliteration is text, never CSV: a hard sign becomes '"' and a full-width
    // comma ',' without ending a field or opening a quote, in values and names.
    const auto run = toDatabase("\u044Aname,b\n\u044Ax\u044A,a\uFF0Cb\n\"\u044A\",c\n");
    ASSERT_TRUE(run.converted) << run.messages.screen;
    EXPECT_EQ("\"name", fieldName(run.database, 0));
    EXPECT_EQ(2, big16(run.database, big32(run.database, 52) + 460)) << "two fields";
    EXPECT_EQ(z("\"x\"") + z("a,b") + z("\"") + z("c"), recordArea(run.database));
}

TEST(CsvCharacters, BytesOutsideValidSequencesAreWindows1252Characters) {
    const struct {
        const char* what;
        std::string bytes;
    } rows[] = {
        {"an overlong slash", "\xC0\xAF"},
        {"an overlong three-byte form", "\xE0\x80\xAF"},
        {"a surrogate", "\xED\xA0\x80"},
        {"above U+10FFFF", "\xF4\x90\x80\x80"},
        {"a byte that starts nothing", "\xF5\x80"},
        {"a sequence cut by the field's end", "x\xE2\x82"},
        {"a lone continuation byte", "\x80\xBF"},
    };
    for (const auto& row : rows) {
        const auto run = toDatabase("Name\n" + row.bytes + ",\n" + "Other\n");
        ASSERT_FALSE(run.converted) << "the second line has one field, not two: " << row.what;
        const auto good = toDatabase("Name,Next\n" + row.bytes + ",\xE2\x82\n");
        ASSERT_TRUE(good.converted) << row.what << ": " << good.messages.screen;
        EXPECT_EQ(z(row.bytes) + z("\xE2\x82"), recordArea(good.database)) << row.what;
    }

    // A quoted field that goes on after its closing quote loses its last character, as
    // it always has: in UTF-8 the whole character, not its last byte.
    const auto after = toDatabase("Name\n\"x\"\u00E9\n\"y\"\xE9\n");
    ASSERT_TRUE(after.converted) << after.messages.screen;
    EXPECT_EQ(z("x\"") + z("y\""), recordArea(after.database));

    // Windows-1252 and UTF-8 in one file, even in one value.
    const auto mixed = toDatabase("Name\n\xE9t\xE9 \u00E9t\u00E9 \x93q\u201D\n");
    ASSERT_TRUE(mixed.converted) << mixed.messages.screen;
    EXPECT_EQ(z("\xE9t\xE9 \xE9t\xE9 \x93q\x94"), recordArea(mixed.database));
}

TEST(CsvCharacters, AWindows1252FileKeepsEveryByte) {
    // Bytes in ascending order never form a valid multi-byte sequence.
    std::string value;
    for (int byte = 0x01; byte <= 0xFF; ++byte)
        if (byte != '\n' && byte != '\r' && byte != '"' && byte != ',') value += static_cast<char>(byte);
    const auto run = toDatabase("N\xE9,\xC3x\xFF\n\"" + value + "\",\x81\x8D\x8F\x90\x9D\n");
    ASSERT_TRUE(run.converted) << run.messages.screen;
    EXPECT_EQ("N\xE9", fieldName(run.database, 0));
    EXPECT_EQ("\xC3x\xFF", fieldName(run.database, 1));
    EXPECT_EQ(z(value) + z("\x81\x8D\x8F\x90\x9D"), recordArea(run.database));
}

TEST(CsvCharacterLimits, LimitsCountTheDatabasesBytes) {
    const std::string e = "\u00E9";  // two bytes written, one stored
    std::string fits, tooLong;
    for (int i = 0; i < 497; ++i) fits += e;  // 497 characters and two quotes: 499
    tooLong = fits + e;
    EXPECT_TRUE(toDatabase("A\n\"" + fits + "\"\n").converted);
    EXPECT_FALSE(toDatabase("A\n\"" + tooLong + "\"\n").converted);
    // A transliteration counts with its length: 99 * 5 + 4 = 499 bytes, then 504.
    std::string zhong;
    for (int i = 0; i < 99; ++i) zhong += "\u4E2D";
    EXPECT_TRUE(toDatabase("A\n" + zhong + "abcd\n").converted);
    EXPECT_FALSE(toDatabase("A\n" + zhong + "\u4E2D\n").converted);

    // A line of 3996 characters is one piece, though its UTF-8 takes twice the bytes.
    std::string line, header;
    for (int field = 0; field < 8; ++field) {
        line += (field > 0 ? "," : "") + fits.substr(0, 2 * 495) + "ab";
        header += field > 0 ? ",F" : "F";
    }
    const auto run = toDatabase(header + "\n" + line + "\n");
    ASSERT_TRUE(run.converted) << run.messages.screen;
    EXPECT_EQ(1, big16(run.database, 76));

    // Field names hold 20 stored characters.
    std::string name;
    for (int i = 0; i < 20; ++i) name += e;
    EXPECT_EQ(std::string(20, '\xE9'), fieldName(toDatabase(name + "\n").database, 0));
    EXPECT_FALSE(toDatabase(name + e + "\n").converted);
}

TEST(CsvUtf8Output, DatabaseToUtf8CsvAndBackGivesTheSameDatabase) {
    // Every byte a value can hold that the CSV file keeps (line breaks become spaces).
    std::string value;
    for (int byte = 0x01; byte <= 0xFF; ++byte)
        if (byte != '\n' && byte != '\r' && byte != '"') value += static_cast<char>(byte);
    value += "\"\"quoted\"\"";
    const auto made = toDatabase("N\xE9,\x80\x81\x8D\n\"" + value + "\",\x9D\x9F\n");
    ASSERT_TRUE(made.converted) << made.messages.screen;

    celconv::Messages messages;
    std::string utf8;
    ASSERT_TRUE(celconv::databaseBytesToCsv(made.database, utf8, nullptr, messages, celconv::CsvEncoding::Utf8))
        << messages.screen;
    EXPECT_EQ(kMark + "\"N\u00E9\",\"\u20AC\xC2\x81\xC2\x8D\"\r\n", utf8.substr(0, utf8.find('\n') + 1));
    EXPECT_NE(std::string::npos, utf8.find(",\"\xC2\x9D\u0178\"\r\n")) << "0x9D, 0x9F";
    EXPECT_NE(std::string::npos, utf8.find("~\x7F\u20AC\xC2\x81\u201A\u0192")) << "0x7E to 0x83";
    EXPECT_NE(std::string::npos, utf8.find("\u00FE\u00FF\"\"quoted")) << "0xFE, 0xFF";

    const auto back = toDatabase(utf8);
    ASSERT_TRUE(back.converted) << back.messages.screen;
    EXPECT_EQ(made.database, back.database);

    // The default stays the database's bytes, without a mark.
    const auto plain = toCsv(made.database);
    ASSERT_TRUE(plain.converted);
    EXPECT_EQ("\"N\xE9\",\"\x80\x81\x8D\"\r\n", plain.csv.substr(0, plain.csv.find('\n') + 1));
    EXPECT_EQ(made.database, toDatabase(plain.csv).database);
}

TEST(CsvUtf8Output, TheValueLimitCountsTheDatabasesBytes) {
    // A value of 3999 bytes fits, though its UTF-8 takes twice as many; one more does not.
    const auto made = toDatabase("A\nx\n");
    ASSERT_TRUE(made.converted);
    const size_t record = big32(made.database, 78);
    for (const size_t length : {3999u, 4000u}) {
        std::string database = made.database;
        database.replace(record, std::string::npos, std::string(length, '\xE9') + '\0');
        celconv::Messages messages;
        std::string utf8;
        const bool converted =
            celconv::databaseBytesToCsv(database, utf8, nullptr, messages, celconv::CsvEncoding::Utf8);
        EXPECT_EQ(length == 3999u, converted) << length;
        if (!converted) continue;
        std::string expected;
        for (size_t i = 0; i < length; ++i) expected += "\u00E9";
        EXPECT_EQ(kMark + "\"A\"\r\n\"" + expected + "\"\r\n", utf8);
    }
}

}  // namespace
