// tests/celconv/info_file_test.cpp -- reading and writing the info file: number syntax,
// ranges, the password line, popup lists and their limits, and the way back.
#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "celconv/celdo_app_info.h"
#include "celconv/info_file.h"
#include "celconv/reporter.h"
#include "celconv/text_reader.h"
#include "tests/celconv/celconv_test_util.h"

using celconv::CeldoAppInfo;

namespace {

struct InfoRead {
    bool ok;
    CeldoAppInfo appInfo;
    std::string screen;
};

InfoRead readInfo(const std::string& text, int fieldCount) {
    InfoRead result{};
    celconv::setAppInfoDefaults(result.appInfo);
    std::istringstream in(text);
    celconv::TextReader reader(in);
    std::ostringstream screen;
    celconv::Reporter reporter(screen);
    result.ok = celconv::readInfoFile(reader, result.appInfo, fieldCount, reporter);
    result.screen = screen.str();
    return result;
}

std::string lines(const std::string& line, int count) {
    std::string text;
    for (int i = 0; i < count; ++i) text += line + "\n";
    return text;
}

const char kSettings[] = "1 1\n80 80\n80\n1\nnone\n0\n";  // two fields, defaults

TEST(InfoFileNumbers, CLiteralSyntaxAndSixteenBits) {
    const auto read = readInfo("0x10 -3 010\n0x50 80 -0\n0X5 \n 017\nnone\n+1\n", 3);
    ASSERT_TRUE(read.ok) << read.screen;
    EXPECT_EQ(16, read.appInfo.fieldTypes[0]);
    EXPECT_EQ(-3, read.appInfo.fieldTypes[1]);
    EXPECT_EQ(8, read.appInfo.fieldTypes[2]);     // leading 0: octal
    EXPECT_EQ(80, read.appInfo.fieldWidths[0]);   // 0x50 and 80 alike
    EXPECT_EQ(80, read.appInfo.fieldWidths[1]);
    EXPECT_EQ(0, read.appInfo.fieldWidths[2]);
    EXPECT_EQ(5, read.appInfo.editFieldWidth);
    EXPECT_EQ(15, read.appInfo.firstShowColumn);
    EXPECT_EQ(1, read.appInfo.passwordLock);
    EXPECT_EQ(1, read.appInfo.fieldTypes[3]);     // slots past the field count keep defaults
    EXPECT_EQ(80, read.appInfo.fieldWidths[3]);
    // A number is a 16-bit word in either reading of its sign; 65535 is the word of -1.
    EXPECT_EQ(-1, readInfo("65535\n1\n80\n1\nnone\n0\n", 1).appInfo.fieldTypes[0]);
    EXPECT_EQ(-32768, readInfo("-0x8000\n1\n80\n1\nnone\n0\n", 1).appInfo.fieldTypes[0]);
    EXPECT_EQ(80, readInfo("1\n000000000000000000000000120\n80\n1\nnone\n0\n", 1).appInfo.fieldWidths[0]);
}

TEST(InfoFileNumbers, NumbersBeyondSixteenBitsAreUnreadable) {
    // Once wrapped, 65616 would pass as the width 80 and 99999999999999999999 as the type -1.
    for (const char* text : {"1\n65616\n80\n1\nnone\n0\n", "99999999999999999999\n80\n80\n1\nnone\n0\n",
                             "65536\n80\n80\n1\nnone\n0\n", "-32769\n80\n80\n1\nnone\n0\n",
                             "0x10000\n80\n80\n1\nnone\n0\n", "1\n80\n0200001\n1\nnone\n0\n",
                             "1\n80\n80\n0x100000013\nnone\n0\n", "1\n80\n80\n1\nnone\n4294967297\n"}) {
        const auto read = readInfo(text, 1);
        EXPECT_FALSE(read.ok) << text;
        EXPECT_EQ("Error: missing or unreadable number in info file.\n", read.screen) << text;
    }
}

TEST(InfoFileNumbers, LineBoundariesDoNotMatterForTypesAndWidths) {
    const auto oneLine = readInfo("3 4 50 60\n80\n1\nnone\n0\n", 2);
    const auto spread = readInfo("3\n4\n\n50\n  60\n80\n1\nnone\n0\n", 2);
    ASSERT_TRUE(oneLine.ok && spread.ok);
    EXPECT_EQ(celconv::encodeAppInfo(oneLine.appInfo), celconv::encodeAppInfo(spread.appInfo));
    EXPECT_EQ(4, oneLine.appInfo.fieldTypes[1]);
    EXPECT_EQ(60, oneLine.appInfo.fieldWidths[1]);
}

TEST(InfoFileNumbers, EachRangeHasItsMessage) {
    struct Row { const char* text; const char* message; };
    const Row rows[] = {
        {"1\n161\n80\n1\nnone\n0\n", "Error: Invalid field width in info file.\n"},
        {"1\n-5\n80\n1\nnone\n0\n", "Error: Invalid field width in info file.\n"},
        {"1\n65535\n80\n1\nnone\n0\n", "Error: Invalid field width in info file.\n"},  // the word of -1
        {"1\n80\n161\n1\nnone\n0\n", "Error: invalid editing data field width in info file.\n"},
        {"1\n80\n-5\n1\nnone\n0\n", "Error: invalid editing data field width in info file.\n"},
        {"1\n80\n80\n20\nnone\n0\n", "Error: invalid 'first show column' in info file.\n"},
        {"1\n80\n80\n-1\nnone\n0\n", "Error: invalid 'first show column' in info file.\n"},
        {"1\n80\n80\n1\nnone\n2\n", "Error: invalid password lock entry in info file.\n"},
        {"1\n80\n80\n1\nnone\n-1\n", "Error: invalid password lock entry in info file.\n"},
    };
    for (const Row& row : rows) {
        const auto read = readInfo(row.text, 1);
        EXPECT_FALSE(read.ok) << row.text;
        EXPECT_EQ(row.message, read.screen) << row.text;
    }
    const auto edges = readInfo("1\n160\n160\n19\nnone\n1\n", 1);
    EXPECT_TRUE(edges.ok) << edges.screen;
    EXPECT_TRUE(readInfo("1\n80\n0\n0\nnone\n0\n", 1).ok);
}

TEST(InfoFileNumbers, NumberThatCannotBeReadStops) {
    for (const char* text : {"abc\n80\n80\n1\nnone\n0\n",  // text for a type
                             "1\n",                        // the file ends among the widths
                             "1\n80\n80\n1\nnone\n",        // no lock entry
                             "1\n80\n0x\n1\nnone\n0\n",     // 0x without digits
                             "1\n80\n-\n1\nnone\n0\n",      // a sign alone
                             ""}) {
        const auto read = readInfo(text, 1);
        EXPECT_FALSE(read.ok) << text;
        EXPECT_EQ("Error: missing or unreadable number in info file.\n", read.screen) << text;
    }
}

TEST(InfoFilePassword, NoneTextAndLength) {
    EXPECT_EQ("", readInfo(kSettings, 2).appInfo.password);
    EXPECT_EQ("secret", readInfo("1\n80\n80\n1\nsecret\n0\n", 1).appInfo.password);
    // A line of 11 characters keeps its first 10.
    const auto eleven = readInfo("1\n80\n80\n1\nabcdefghijk\n1\n", 1);
    ASSERT_TRUE(eleven.ok);
    EXPECT_EQ("abcdefghij", eleven.appInfo.password);
    EXPECT_EQ(1, eleven.appInfo.passwordLock);
    // A longer line keeps its first 10 too; the rest of it is passed over, not read as the lock.
    const auto longer = readInfo("1\n80\n80\n1\nabcdefghijklmn 5\n1\n", 1);
    ASSERT_TRUE(longer.ok) << longer.screen;
    EXPECT_EQ("abcdefghij", longer.appInfo.password);
    EXPECT_EQ(1, longer.appInfo.passwordLock);
}

TEST(InfoFilePopups, NoPopupLinesGiveFourZeroBytes) {
    const auto read = readInfo(kSettings, 2);
    ASSERT_TRUE(read.ok);
    EXPECT_EQ(568u, celconv::popupBlockSize(read.appInfo));
    const std::string block = celconv::encodeAppInfo(read.appInfo);
    EXPECT_EQ(std::string(4, '\0'), block.substr(564));
    // So the database equals the one without an info file.
    const std::string info = kSettings;
    EXPECT_EQ(celconv_test::toDatabase("A,B\nx,y\n").database,
              celconv_test::toDatabase("A,B\nx,y\n", &info).database);
}

TEST(InfoFilePopups, LinesAndMarkersAreStoredInOrder) {
    const auto read = readInfo(std::string(kSettings) + "\n\n  Red\nGreen\npopup sizes\nS\n", 2);
    ASSERT_TRUE(read.ok);
    // Blank lines after the lock entry and the leading blanks are passed over.
    const std::vector<std::string> expected = {"Red", "Green", "popup sizes", "S"};
    EXPECT_EQ(expected, read.appInfo.popupStrings);
    EXPECT_EQ(564u + 4 + 6 + 12 + 2 + 1, celconv::popupBlockSize(read.appInfo));
    EXPECT_EQ(std::string("Red\0Green\0popup sizes\0S\0\0", 25), celconv::encodeAppInfo(read.appInfo).substr(564));
}

TEST(InfoFilePopups, BlankLineBetweenPopupLinesIsAnEmptyString) {
    const auto read = readInfo(std::string(kSettings) + "a\n\nb\n", 2);
    ASSERT_TRUE(read.ok);
    const std::vector<std::string> expected = {"a", "", "b"};
    EXPECT_EQ(expected, read.appInfo.popupStrings);
}

TEST(InfoFilePopups, ZeroByteEndsAPopupLine) {
    const auto read = readInfo(std::string(kSettings) + std::string("a\0b\n\0skipped\nc\n", 15), 2);
    ASSERT_TRUE(read.ok);
    const std::vector<std::string> expected = {"a", "c"};
    EXPECT_EQ(expected, read.appInfo.popupStrings);
}

TEST(InfoFilePopups, LongLinesBecomePiecesOf99Characters) {
    const auto read = readInfo(std::string(kSettings) + std::string(150, 'p') + "\n", 2);
    ASSERT_TRUE(read.ok);
    ASSERT_EQ(2u, read.appInfo.popupStrings.size());
    EXPECT_EQ(99u, read.appInfo.popupStrings[0].size());
    EXPECT_EQ(51u, read.appInfo.popupStrings[1].size());
}

TEST(InfoFilePopups, LineOf99CharactersIsOneItem) {
    // Its line end is left for a piece of its own, which is no item (an empty string
    // would end the popup data and lose the lists after it).
    const std::string text = std::string(kSettings) + std::string(99, 'a') + "\n" + std::string(198, 'b') + "\nc\n";
    const auto read = readInfo(text, 2);
    ASSERT_TRUE(read.ok);
    const std::vector<std::string> expected = {std::string(99, 'a'), std::string(99, 'b'), std::string(99, 'b'), "c"};
    EXPECT_EQ(expected, read.appInfo.popupStrings);
}

TEST(InfoFilePopups, HundredItemsPerList) {
    const std::string settings = kSettings;
    EXPECT_TRUE(readInfo(settings + "popup\n" + lines("i", 100), 2).ok);
    EXPECT_TRUE(readInfo(settings + lines("i", 100) + "popup again\n" + lines("j", 100), 2).ok);
    const auto tooMany = readInfo(settings + "popup\n" + lines("i", 101), 2);
    EXPECT_FALSE(tooMany.ok);
    EXPECT_EQ("Error: popup list exceeds 100 items\n", tooMany.screen);
    // Lines before the first marker form a list as well.
    EXPECT_FALSE(readInfo(settings + lines("i", 101), 2).ok);
}

TEST(InfoFilePopups, TotalOf4000Characters) {
    // Each line counts its length with the line end, plus one.
    const std::string settings = kSettings;
    const std::string base = settings + lines("popup" + std::string(93, 'x'), 39);  // 39 * 100
    const auto fits = readInfo(base + lines(std::string(48, 'y'), 2), 2);              // + 2 * 50
    EXPECT_TRUE(fits.ok) << fits.screen;
    const auto over = readInfo(base + std::string(48, 'y') + "\n" + std::string(49, 'y') + "\n", 2);
    EXPECT_FALSE(over.ok);
    EXPECT_EQ("Error: maximum total popup list length exceeded\n", over.screen);
}

CeldoAppInfo sampleSettings(int fieldCount) {
    CeldoAppInfo appInfo;
    celconv::setAppInfoDefaults(appInfo);
    appInfo.fieldCount = static_cast<uint16_t>(fieldCount);
    return appInfo;
}

std::string written(const CeldoAppInfo& appInfo) {
    std::ostringstream out;
    EXPECT_TRUE(celconv::writeInfoFile(out, appInfo));
    return out.str();
}

TEST(InfoFileWriting, DefaultsOfThreeFields) {
    CeldoAppInfo appInfo = sampleSettings(3);
    appInfo.popupStrings = {"popup", "Red", "", "never"};
    EXPECT_EQ("1 1 1 \r\n80 80 80 \r\n80 \r\n1\r\nnone\r\n0\r\npopup\r\nRed\r\n", written(appInfo));
}

TEST(InfoFileWriting, ReadingBackRestoresEverySetting) {
    CeldoAppInfo appInfo = sampleSettings(4);
    const int16_t types[] = {-2, 0, 7, 300};
    const int16_t widths[] = {1, 0, 160, 33};
    for (int field = 0; field < 4; ++field) {
        appInfo.fieldTypes[field] = types[field];
        appInfo.fieldWidths[field] = widths[field];
    }
    appInfo.editFieldWidth = 160;
    appInfo.firstShowColumn = 19;
    appInfo.password = "tenletters";
    appInfo.passwordLock = 1;
    appInfo.popupStrings = {"popup colours", "Red", std::string(99, 'g'), "popup sizes", "S"};
    auto read = readInfo(written(appInfo), 4);
    ASSERT_TRUE(read.ok) << read.screen;
    read.appInfo.fieldCount = 4;  // the count comes from the CSV file, not the info file
    EXPECT_EQ(celconv::encodeAppInfo(appInfo), celconv::encodeAppInfo(read.appInfo));
}

}  // namespace
