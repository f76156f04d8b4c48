// tests/cli/characters_test.cpp -- the book's characters as vimlo shows them to people:
// `vimlo text` in UTF-8 and with --raw, `vimlo info`'s strings and the preview page, on a
// book holding every byte from 0x20 to 0xFF. The expected characters are written out
// here by hand, not taken from the program's tables.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>

#include "tests/cli/vimlo_runner.h"
#include "tests/support/temp_dir.h"

using namespace cli_test;

namespace {

// What the handheld shows for bytes 0x80 to 0x9F, as UTF-8: Windows-1252, the card
// suits at 0x8D to 0x90, and the C1 controls of their own value at 0x81 and 0x9D.
const char* const kHigh[32] = {
    "\u20AC", "\xC2\x81", "\u201A", "\u0192", "\u201E", "\u2026", "\u2020", "\u2021",
    "\u02C6", "\u2030",   "\u0160", "\u2039", "\u0152", "\u2666", "\u2663", "\u2665",
    "\u2660", "\u2018",   "\u2019", "\u201C", "\u201D", "\u2022", "\u2013", "\u2014",
    "\u02DC", "\u2122",   "\u0161", "\u203A", "\u0153", "\xC2\x9D", "\u017E", "\u0178"};

std::string allBytes() {
    std::string bytes;
    for (int byte = 0x20; byte <= 0xFF; ++byte) bytes += static_cast<char>(byte);
    return bytes + "\n";
}

// The same text as UTF-8: ASCII as it is, 0xA0 to 0xFF as U+00A0 to U+00FF.
std::string allBytesAsUtf8() {
    std::string text;
    for (int byte = 0x20; byte < 0x80; ++byte) text += static_cast<char>(byte);
    for (const char* character : kHigh) text += character;
    for (int byte = 0xA0; byte <= 0xFF; ++byte) {
        text += static_cast<char>(0xC0 | byte >> 6);
        text += static_cast<char>(0x80 | (byte & 0x3F));
    }
    return text + "\n";
}

struct AllBytesBook {
    TempDir dir;
    AllBytesBook() {
        dir.write("all.txt", allBytes());
        const Outcome made = run({"convert", "-q", "all.txt", "-t", "All"}, dir.path());
        EXPECT_EQ(0, made.exitCode) << made.err;
    }
    Outcome vimlo(const std::vector<std::string>& args) const { return run(args, dir.path()); }
};

TEST(TextCommand, PrintsUtf8AndWithRawTheStoredBytes) {
    AllBytesBook book;
    const Outcome raw = book.vimlo({"text", "--raw", "all.pdb"});
    EXPECT_EQ(0, raw.exitCode) << raw.err;
    EXPECT_EQ(allBytes(), raw.out) << "the stored bytes, unchanged";

    const Outcome utf8 = book.vimlo({"text", "all.pdb"});
    EXPECT_EQ(0, utf8.exitCode) << utf8.err;
    EXPECT_EQ("", utf8.err);
    EXPECT_EQ(allBytesAsUtf8(), utf8.out);
}

TEST(TextCommand, ConvertsEveryChunkOfALongText) {
    // Chunks hold 4096 bytes: characters on both sides of each cut must come through.
    std::string text, expected;
    for (int repeat = 0; repeat < 800; ++repeat) {  // about 13 KiB: four chunks
        text += "caf\xE9 \x93quoted\x94 \x80 ";
        expected += "caf\u00E9 \u201Cquoted\u201D \u20AC ";
    }
    TempDir dir;
    dir.write("long.txt", text);
    ASSERT_EQ(0, run({"convert", "-q", "long.txt"}, dir.path()).exitCode);
    EXPECT_EQ(text, run({"text", "--raw", "long.pdb"}, dir.path()).out);
    const Outcome utf8 = run({"text", "long.pdb"}, dir.path());
    ASSERT_EQ(0, utf8.exitCode);
    EXPECT_EQ(expected, utf8.out);
}

TEST(PreviewCharacters, EveryByteShowsAsTheHandheldsCharacterEscapedWhereNeeded) {
    AllBytesBook book;
    const Outcome page = book.vimlo({"preview", "all.pdb", "-o", "-"});
    ASSERT_EQ(0, page.exitCode) << page.err;

    std::string expected;
    for (int byte = 0x20; byte < 0x7F; ++byte) {
        switch (byte) {
            case '&': expected += "&amp;"; break;
            case '<': expected += "&lt;"; break;
            case '>': expected += "&gt;"; break;
            case '"': expected += "&quot;"; break;
            default: expected += static_cast<char>(byte);
        }
    }
    expected += "<span class=\"ctl\">\u2421</span>";  // DEL as its control picture
    for (int byte = 0x80; byte < 0xA0; ++byte) {
        if (byte == 0x81 || byte == 0x9D)
            expected += std::string("<span class=\"ctl x\">") + (byte == 0x81 ? "81" : "9D") + "</span>";
        else
            expected += kHigh[byte - 0x80];
    }
    const std::string utf8 = allBytesAsUtf8();
    expected += utf8.substr(utf8.find("\u00A0"), std::string::npos);
    expected.pop_back();  // the newline ends the line element instead
    EXPECT_NE(std::string::npos, page.out.find("<span class=\"f3\">" + expected + "</span></div>"))
        << page.out;
    EXPECT_EQ(std::string::npos, page.out.find("\xEF\xBF\xBD")) << "no replacement marks";
}

TEST(PreviewCharacters, TheDatabaseNameShowsInInfoAndThePage) {
    AllBytesBook book;
    std::string database = book.dir.read("all.pdb");
    const std::string name = "\x80\x81\x8D\x8E\x8F\x90\x9D\x9F\xE9<&";
    database.replace(0, name.size() + 1, name + '\0');
    book.dir.write("named.pdb", database);

    const Outcome info = book.vimlo({"info", "named.pdb"});
    ASSERT_EQ(0, info.exitCode) << info.err;
    EXPECT_EQ("\u20AC\xC2\x81\u2666\u2663\u2665\u2660\xC2\x9D\u0178\u00E9<&",
              nlohmann::json::parse(info.out)["header"]["name"].get<std::string>());

    const Outcome page = book.vimlo({"preview", "named.pdb", "-o", "-"});
    ASSERT_EQ(0, page.exitCode) << page.err;
    EXPECT_NE(std::string::npos,
              page.out.find("<p class=\"name\">\u20AC<span class=\"ctl x\">81</span>\u2666\u2663\u2665"
                            "\u2660<span class=\"ctl x\">9D</span>\u0178\u00E9&lt;&amp;</p>"))
        << page.out;
    EXPECT_NE(std::string::npos,
              page.out.find("<title>\u20AC\uFFFD\u2666\u2663\u2665\u2660\uFFFD\u0178\u00E9&lt;&amp; "
                            "(preview)</title>"))
        << "a title holds no markup: " << page.out;
}

}  // namespace
