// Text runs and character references: whitespace collapsing, preformatted text, the
// decoding rules with their give-back, references cut by the end of the input or split
// across the 1024-byte window, and runs that fill their buffer exactly.
#include <gtest/gtest.h>

#include <string>

#include "html/html_tables.h"
#include "tests/html/html_page.h"

using namespace std::string_literals;

namespace {

// The text of `source` read as one run (the whole source must be one run).
std::string textOf(const std::string& source, int32_t prevSpace = 0) {
    HtmlPage page(source);
    if (!page.open()) return "open failed";
    const std::string text = page.textRun(prevSpace);
    EXPECT_EQ(kEndOfInput, page.lastEnd) << source;
    page.close();
    expectNothingHeld(page.io);
    return text;
}

std::string rawOf(const std::string& source) {
    HtmlPage page(source);
    if (!page.open()) return "open failed";
    const std::string text = page.rawRun();
    EXPECT_EQ(kEndOfInput, page.lastEnd) << source;
    page.close();
    expectNothingHeld(page.io);
    return text;
}

}  // namespace

TEST(References, NamedAndNumericCases) {
    struct Row { const char* source; std::string expected; };
    const Row rows[] = {
        {"a &amp; b", "a & b"},
        {"a &amp b", "a & b"},
        {"&AMP;", "&AMP;"},
        {"&#65;", "A"},
        {"&#0065", "A"},
        {"&#8212;", "\x97"},
        {"&#8226;", "\x95"},
        {"&#8213;", "&#8213;"},
        {"&#12345;", "&#12345;"},
        {"&#8364;", "&#8364;"},
        {"&copy2000", "\xA9" "2000"},
        {"&notin;", "\xAC" "in;"},
        {"&sup;", "&sup;"},
        {"&frac1;", "&frac1;"},
        {"&frac12;", "\xBD"},
        {"&frac34x", "\xBE" "x"},
        {"&#0;", "&#0;"},
        {"&#;", "&#;"},
        {"&#x41;", "&#x41;"},
        {"&#09999;", "&#09999;"},
        {"&#99999;", "&#99999;"},
        {"&#00255;", "\xFF"},
        {"&#1;", "\x01"},
        {"&#65;;", "A;"},
        {"&#65 x", "A x"},
        {"&;", "&;"},
        {"&&amp;", "&&"},
        {"&lt;p&gt;", "<p>"},
        {"&#60;b&#62;", "<b>"},
        {"a&b", "a&b"},
        {"&hearts;&diams;&clubs;&spades;", "\x8F\x8D\x8E\x90"},
        {"&#9829;&#9830;&#9827;&#9824;", "\x8F\x8D\x8E\x90"},
        {"&Yuml;&yuml;", "\x9F\xFF"},
        {"&nbsp;", "\xA0"},
    };
    for (const Row& row : rows) EXPECT_EQ(row.expected, textOf(row.source)) << row.source;
}

TEST(References, LeadingZerosUpTo1023AreSkipped) {
    EXPECT_EQ("A", textOf("&#" + std::string(1023, '0') + "65;"));
    const std::string tooMany = "&#" + std::string(1024, '0') + "65;";
    EXPECT_TRUE(tooMany == textOf(tooMany));
}

TEST(References, CutByTheEndOfTheInput) {
    struct Row { const char* source; const char* expected; };
    const Row rows[] = {
        {"&", "&"}, {"a &", "a &"}, {"&a", "&a"}, {"&am", "&am"}, {"&amp", "&"},
        {"&#", "&#"}, {"&#0", "&#0"}, {"&#65", "A"}, {"&#8212", "\x97"}, {"&fra", "&fra"},
        {"&frac1", "&frac1"},
    };
    for (const Row& row : rows) EXPECT_EQ(row.expected, textOf(row.source)) << row.source;
}

TEST(References, EveryEntityNameDecodesInExactCaseOnly) {
    for (int i = 0; i < kEntityCount; ++i) {
        const EntityEntry& entity = entityAt(i);
        const std::string name = entity.name;
        EXPECT_EQ(std::string(1, static_cast<char>(entity.byte)), textOf("&" + name + ";")) << name;
        EXPECT_EQ(std::string(1, static_cast<char>(entity.byte)) + "x", textOf("&" + name + "x"))
            << name;
    }
    // Letter case matters: these spellings name nothing.
    for (const char* wrong : {"&Amp;", "&COPY;", "&Nbsp;", "&TRADE;", "&eTH;", "&AUML;", "&EURO;"})
        EXPECT_EQ(wrong, textOf(wrong));
}

TEST(References, ByteValuesAreTheWindows1252Codes) {
    // Spot checks of bytes that differ from the ISO 8859-1 code or are easily swapped.
    struct Row { const char* name; int byte; };
    const Row rows[] = {
        {"OElig", 0x8C}, {"oelig", 0x9C}, {"Scaron", 0x8A}, {"scaron", 0x9A}, {"Yuml", 0x9F},
        {"circ", 0x88},  {"tilde", 0x98}, {"ndash", 0x96},  {"mdash", 0x97},  {"lsquo", 0x91},
        {"rsquo", 0x92}, {"sbquo", 0x82}, {"ldquo", 0x93},  {"rdquo", 0x94},  {"bdquo", 0x84},
        {"dagger", 0x86}, {"Dagger", 0x87}, {"bull", 0x95}, {"hellip", 0x85}, {"permil", 0x89},
        {"lsaquo", 0x8B}, {"rsaquo", 0x9B}, {"trade", 0x99}, {"diams", 0x8D}, {"clubs", 0x8E},
        {"hearts", 0x8F}, {"spades", 0x90}, {"quot", 0x22}, {"amp", 0x26}, {"lt", 0x3C},
        {"gt", 0x3E}, {"nbsp", 0xA0}, {"shy", 0xAD}, {"frac14", 0xBC}, {"frac12", 0xBD},
        {"times", 0xD7}, {"divide", 0xF7}, {"ETH", 0xD0}, {"eth", 0xF0}, {"THORN", 0xDE},
        {"szlig", 0xDF}, {"yuml", 0xFF}, {"sup1", 0xB9}, {"sup2", 0xB2}, {"sup3", 0xB3},
    };
    for (const Row& row : rows)
        EXPECT_EQ(std::string(1, static_cast<char>(row.byte)), textOf("&"s + row.name + ";"))
            << row.name;
}

TEST(References, SplitAcrossTheWindowBoundary) {
    // '&' at every offset from 1018 to 1024, so each reference straddles the boundary.
    for (int at = 1018; at <= 1024; ++at) {
        const std::string pad(at, 'p');
        EXPECT_TRUE(pad + "&" == textOf(pad + "&amp;")) << at;
        EXPECT_TRUE(pad + "\x97" == textOf(pad + "&#8212;")) << at;
        // Given back across the boundary: the window is reloaded and the text is intact.
        EXPECT_TRUE(pad + "&frac1;x" == textOf(pad + "&frac1;x")) << at;
        EXPECT_TRUE(pad + "&#8213;" == textOf(pad + "&#8213;")) << at;
    }
    const std::string zeros = "&#" + std::string(1024, '0') + "65;";
    EXPECT_TRUE("ab" + zeros == textOf("ab" + zeros));  // a give-back over a whole window
}

TEST(TextRun, WhitespaceCollapses) {
    struct Row { const char* source; int32_t prevSpace; const char* expected; int32_t after; };
    const Row rows[] = {
        {"x  \n\t y", 0, "x y", 0},
        {"   x", 1, "x", 0},
        {"   x", 0, " x", 0},
        {" \r\n\v\f", 1, "", 1},
        {"x ", 0, "x ", 1},
        {"a &nbsp; b", 0, "a \xA0 b", 0},
        {"a&#32;&#9; b", 0, "a b", 0},
        {"a\xA0\xA0" "b", 0, "a\xA0\xA0" "b", 0},
    };
    for (const Row& row : rows) {
        HtmlPage page(row.source);
        ASSERT_TRUE(page.open());
        EXPECT_EQ(row.expected, page.textRun(row.prevSpace)) << row.source;
        EXPECT_EQ(row.after, page.lastPrevSpace) << row.source;
    }
    EXPECT_EQ("a\0b"s, textOf("a\0b"s));
}

TEST(TextRun, EndsAtATagAndConsumesItsAngle) {
    HtmlPage page("one <b>two</b>");
    ASSERT_TRUE(page.open());
    EXPECT_EQ("one ", page.textRun());
    EXPECT_EQ('<', page.lastEnd);
    parseTag(*page.context);
    EXPECT_STREQ("b", page.context->tagName);
    EXPECT_EQ("two", page.textRun(page.lastPrevSpace));
    EXPECT_EQ('<', page.lastEnd);
    EXPECT_EQ("/b>", page.rest());
    page.close();
    expectNothingHeld(page.io);
}

TEST(TextRun, PreformattedTextKeepsWhitespaceAndDropsCarriageReturns) {
    EXPECT_EQ("a\nb", rawOf("a\r\nb"));
    EXPECT_EQ("a\t\tb  c\n\n", rawOf("a\t\tb  c\r\n\r\n"));
    EXPECT_EQ("  x", rawOf("  x"));
    EXPECT_EQ("ab", rawOf("a&#13;b"));
    EXPECT_EQ("<\xA9&", rawOf("&lt;&copy;&"));
}

TEST(TextRun, AFullBufferIsToldApartFromATag) {
    struct Row { const char* source; bool raw; };
    // The decoded '<' is the last byte that fits: the run is full, not ended by a tag.
    for (const Row& row : {Row{"ab&lt;cd", false}, Row{"ab&lt;cd", true}, Row{"ab&#60;cd", false}}) {
        HtmlPage page(row.source);
        ASSERT_TRUE(page.open());
        EXPECT_EQ("ab<", row.raw ? page.rawRun(3) : page.textRun(0, 3));
        EXPECT_EQ(kTextRunFull, page.lastEnd);
        EXPECT_EQ("cd", row.raw ? page.rawRun(3) : page.textRun(0, 3));
        EXPECT_EQ(kEndOfInput, page.lastEnd);
    }
    HtmlPage page("abc<b>");
    ASSERT_TRUE(page.open());
    EXPECT_EQ("abc", page.textRun(0, 3));
    EXPECT_EQ(kTextRunFull, page.lastEnd);
    EXPECT_EQ("", page.textRun(0, 3));
    EXPECT_EQ('<', page.lastEnd);
    EXPECT_EQ("", page.textRun(0, 0));
    EXPECT_EQ(kTextRunFull, page.lastEnd);
    page.close();
    expectNothingHeld(page.io);
}

TEST(TextRun, A4096ByteRunFillsTheTextBuffer) {
    const std::string text(5000, 'x');
    HtmlPage page(text);
    ASSERT_TRUE(page.open());
    EXPECT_EQ(4096u, page.textRun().size());
    EXPECT_EQ(kTextRunFull, page.lastEnd);
    EXPECT_EQ(904u, page.textRun().size());
    EXPECT_EQ(kEndOfInput, page.lastEnd);
    page.close();
    expectNothingHeld(page.io);
}
