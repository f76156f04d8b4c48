// Text runs and character references: whitespace collapsing, preformatted text, the
// decoding rules with their give-back, references cut by the end of the input, split
// across the 1024-byte window or by the end of a run, and runs that fill their buffer
// exactly.
#include <gtest/gtest.h>

#include <string>
#include <vector>

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

// The names the reader has always decoded, with and without ';', and their bytes then.
struct BareName { const char* name; int byte; };
constexpr BareName kBareNames[] = {
    {"AElig", 0xC6}, {"Aacute", 0xC1}, {"Acirc", 0xC2}, {"Agrave", 0xC0}, {"Aring", 0xC5},
    {"Atilde", 0xC3}, {"Auml", 0xC4}, {"Ccedil", 0xC7}, {"Dagger", 0x87}, {"ETH", 0xD0},
    {"Eacute", 0xC9}, {"Ecirc", 0xCA}, {"Egrave", 0xC8}, {"Euml", 0xCB}, {"Iacute", 0xCD},
    {"Icirc", 0xCE}, {"Igrave", 0xCC}, {"Iuml", 0xCF}, {"Ntilde", 0xD1}, {"OElig", 0x8C},
    {"Oacute", 0xD3}, {"Ocirc", 0xD4}, {"Ograve", 0xD2}, {"Oslash", 0xD8}, {"Otilde", 0xD5},
    {"Ouml", 0xD6}, {"Scaron", 0x8A}, {"THORN", 0xDE}, {"Uacute", 0xDA}, {"Ucirc", 0xDB},
    {"Ugrave", 0xD9}, {"Uuml", 0xDC}, {"Yacute", 0xDD}, {"Yuml", 0x9F}, {"aacute", 0xE1},
    {"acirc", 0xE2}, {"acute", 0xB4}, {"aelig", 0xE6}, {"agrave", 0xE0}, {"amp", 0x26},
    {"aring", 0xE5}, {"atilde", 0xE3}, {"auml", 0xE4}, {"bdquo", 0x84}, {"brvbar", 0xA6},
    {"bull", 0x95}, {"ccedil", 0xE7}, {"cedil", 0xB8}, {"cent", 0xA2}, {"circ", 0x88},
    {"clubs", 0x8E}, {"copy", 0xA9}, {"curren", 0xA4}, {"dagger", 0x86}, {"deg", 0xB0},
    {"diams", 0x8D}, {"divide", 0xF7}, {"eacute", 0xE9}, {"ecirc", 0xEA}, {"egrave", 0xE8},
    {"eth", 0xF0}, {"euml", 0xEB}, {"frac12", 0xBD}, {"frac14", 0xBC}, {"frac34", 0xBE},
    {"gt", 0x3E}, {"hearts", 0x8F}, {"hellip", 0x85}, {"iacute", 0xED}, {"icirc", 0xEE},
    {"iexcl", 0xA1}, {"igrave", 0xEC}, {"iquest", 0xBF}, {"iuml", 0xEF}, {"laquo", 0xAB},
    {"ldquo", 0x93}, {"lsaquo", 0x8B}, {"lsquo", 0x91}, {"lt", 0x3C}, {"macr", 0xAF},
    {"mdash", 0x97}, {"micro", 0xB5}, {"middot", 0xB7}, {"nbsp", 0xA0}, {"ndash", 0x96},
    {"not", 0xAC}, {"ntilde", 0xF1}, {"oacute", 0xF3}, {"ocirc", 0xF4}, {"oelig", 0x9C},
    {"ograve", 0xF2}, {"ordf", 0xAA}, {"ordm", 0xBA}, {"oslash", 0xF8}, {"otilde", 0xF5},
    {"ouml", 0xF6}, {"para", 0xB6}, {"permil", 0x89}, {"plusmn", 0xB1}, {"pound", 0xA3},
    {"quot", 0x22}, {"raquo", 0xBB}, {"rdquo", 0x94}, {"reg", 0xAE}, {"rsaquo", 0x9B},
    {"rsquo", 0x92}, {"sbquo", 0x82}, {"scaron", 0x9A}, {"sect", 0xA7}, {"shy", 0xAD},
    {"spades", 0x90}, {"sup1", 0xB9}, {"sup2", 0xB2}, {"sup3", 0xB3}, {"szlig", 0xDF},
    {"thorn", 0xFE}, {"tilde", 0x98}, {"times", 0xD7}, {"trade", 0x99}, {"uacute", 0xFA},
    {"ucirc", 0xFB}, {"ugrave", 0xF9}, {"uml", 0xA8}, {"uuml", 0xFC}, {"yacute", 0xFD},
    {"yen", 0xA5}, {"yuml", 0xFF},
};

struct Row { std::string source; std::string expected; };

void expectRows(const std::vector<Row>& rows) {
    for (const Row& row : rows) EXPECT_EQ(row.expected, textOf(row.source)) << row.source;
}

TEST(References, DecimalAndHexadecimalToAnyCharacter) {
    expectRows({
        {"&#65;", "A"}, {"&#0065", "A"}, {"&#65;;", "A;"}, {"&#65 x", "A x"}, {"&#65x", "Ax"},
        {"&#x41;", "A"}, {"&#X41;", "A"}, {"&#x041", "A"}, {"&#x41g", "Ag"}, {"&#x41 x", "A x"},
        {"&#x2019;", "\x92"}, {"&#X2019;", "\x92"}, {"&#x201c;&#x201C;&#X201c;", "\x93\x93\x93"},
        {"&#8364;", "\x80"}, {"&#x20AC;", "\x80"}, {"&#x20ac", "\x80"},
        {"&#8212;", "\x97"}, {"&#8226;", "\x95"}, {"&#376;", "\x9F"}, {"&#402;", "\x83"},
        {"&#9829;&#9830;&#9827;&#9824;", "\x8F\x8D\x8E\x90"},
        {"&#x2665;&#x2666;&#x2663;&#x2660;", "\x8F\x8D\x8E\x90"},
        // Byte values, 128 to 159 among them, are the bytes they always were.
        {"&#1;", "\x01"}, {"&#128;&#129;&#150;&#159;", "\x80\x81\x96\x9F"},
        {"&#x80;&#x9d;", "\x80\x9D"}, {"&#00255;", "\xFF"}, {"&#xff;", "\xFF"},
        // Transliterated, removed.
        {"&#8594;", "->"}, {"&#x2192;", "->"}, {"&#8213;", "-"}, {"&#12345;", "nian"},
        {"a&#8203;b", "ab"}, {"a&#xFEFF;b", "ab"},
    });
}

TEST(References, WhatTheHandheldCannotShowIsAQuestionMark) {
    expectRows({
        {"&#55296;", "?"}, {"&#xD800;", "?"}, {"&#xDFFF;", "?"},    // surrogates
        {"&#9999;", "?"}, {"&#x1F600;", "?"}, {"&#99999;", "?"},    // no form, beyond the BMP
        {"&#x10FFFF;", "?"}, {"&#1114112;", "?"}, {"&#x110000;", "?"},
        // Values that would wrap around 32 bits to 'A' if the digits were not bounded.
        {"&#4294967361;x", "?x"}, {"&#x100000041;x", "?x"},
        {"&#" + std::string(3000, '9') + ";x", "?x"},
        {"&#x" + std::string(3000, 'f') + " x", "? x"},
        {"&#x" + std::string(1023, '0') + "1F600;", "?"},
    });
}

TEST(References, WhatIsNoReferenceStaysText) {
    expectRows({
        {"&#0;", "&#0;"}, {"&#x0;", "&#x0;"}, {"&#000", "&#000"}, {"&#;", "&#;"}, {"&#x;", "&#x;"},
        {"&#X;", "&#X;"}, {"&#xg;", "&#xg;"}, {"&#a;", "&#a;"}, {"&#-1;", "&#-1;"},
        {"&;", "&;"}, {"&&amp;", "&&"}, {"a&b", "a&b"}, {"& b", "& b"}, {"&\xE9;", "&\xE9;"},
        {"&#x" + std::string(1024, '0') + "41;", "&#x" + std::string(1024, '0') + "41;"},
        {"&#" + std::string(1024, '0') + "65;", "&#" + std::string(1024, '0') + "65;"},
        {"&#" + std::string(1023, '0') + "65;", "A"}, {"&#x" + std::string(1023, '0') + "41;", "A"},
    });
}

TEST(References, CutByTheEndOfTheInput) {
    expectRows({
        {"&", "&"}, {"a &", "a &"}, {"&a", "&a"}, {"&am", "&am"}, {"&amp", "&"}, {"&#", "&#"},
        {"&#0", "&#0"}, {"&#x", "&#x"}, {"&#65", "A"}, {"&#x41", "A"}, {"&#8212", "\x97"},
        {"&fra", "&fra"}, {"&frac1", "&frac1"}, {"&rarr", "&rarr"}, {"&not", "\xAC"},
    });
}

TEST(References, NamesNeedTheirSemicolonExceptTheBareOnes) {
    expectRows({
        {"a &amp; b", "a & b"}, {"a &amp b", "a & b"}, {"&AMP;", "&"}, {"&AMP", "&AMP"},
        {"&COPY;", "\xA9"}, {"&COPY", "&COPY"}, {"&TRADE;", "\x99"}, {"&euro;", "\x80"},
        {"&euro", "&euro"}, {"&rarr;", "->"}, {"&larr;", "<-"}, {"&hellip;", "\x85"},
        {"&NotEqual;", "!="}, {"&le;", "<="}, {"&ge;", ">="}, {"&Tab;x", " x"},
        {"&copy2000", "\xA9" "2000"}, {"&frac34x", "\xBE" "x"}, {"&frac1;", "&frac1;"},
        // A full name with ';' wins over a shorter bare one; failing that the bare one
        // matches and the rest is text.
        {"&notin;", "?"}, {"&notit;", "\xAC" "it;"}, {"&not;", "\xAC"}, {"&noti", "\xAC" "i"},
        {"&sup;", "?"}, {"&sup1;", "\xB9"}, {"&sup1x", "\xB9x"}, {"&sup2", "\xB2"},
        {"&CounterClockwiseContourIntegral;", "?"},
        {"&CounterClockwiseContourIntegralX;", "&CounterClockwiseContourIntegralX;"},
        {"&amp" + std::string(40, 'x') + ";", "&" + std::string(40, 'x') + ";"},
        // Letter case matters.
        {"&Amp;", "&Amp;"}, {"&Nbsp;", "&Nbsp;"}, {"&eTH;", "&eTH;"}, {"&AUML;", "&AUML;"},
        {"&EURO;", "&EURO;"}, {"&Rarr;", "?"},
        // Two characters: both, as text.
        {"&fjlig;", "fj"}, {"x&nvlt;b>", "x<b>"}, {"&bne;", "="},
        {"&lt;p&gt;", "<p>"}, {"&#60;b&#62;", "<b>"},
    });
}

TEST(References, TheBareNamesKeepTheirBytes) {
    int bare = 0;
    for (int i = 0; i < namedReferenceCount(); ++i) bare += namedReferenceAt(i).bare;
    EXPECT_EQ(127, bare);
    for (const BareName& entry : kBareNames) {
        const std::string name = entry.name;
        const std::string byte(1, static_cast<char>(entry.byte));
        const NamedReference* found = findNamedReference(entry.name, static_cast<int32_t>(name.size()));
        ASSERT_NE(nullptr, found) << name;
        EXPECT_EQ(1, found->bare) << name;
        EXPECT_TRUE(byte == textOf("&" + name + ";")) << name;
        EXPECT_TRUE(byte + "x" == textOf("&" + name + "x")) << name;
        EXPECT_TRUE(byte + ";" == textOf("&" + name + ";;")) << name;
    }
}

TEST(References, SplitAcrossTheWindowBoundary) {
    // '&' at every offset from 1018 to 1024, so each reference straddles the boundary.
    for (int at = 1018; at <= 1024; ++at) {
        const std::string pad(at, 'p');
        EXPECT_TRUE(pad + "&" == textOf(pad + "&amp;")) << at;
        EXPECT_TRUE(pad + "\x97" == textOf(pad + "&#8212;")) << at;
        EXPECT_TRUE(pad + "->" == textOf(pad + "&#x2192;")) << at;
        EXPECT_TRUE(pad + "\xA9x" == textOf(pad + "&copyx")) << at;
        // Given back across the boundary: the window is reloaded and the text is intact.
        EXPECT_TRUE(pad + "&frac1;x" == textOf(pad + "&frac1;x")) << at;
        EXPECT_TRUE(pad + "&#xg;" == textOf(pad + "&#xg;")) << at;
    }
    const std::string zeros = "&#" + std::string(1024, '0') + "65;";
    EXPECT_TRUE("ab" + zeros == textOf("ab" + zeros));  // a give-back over a whole window
}

TEST(References, DecodedTextFollowsTheRunsWhitespaceRules) {
    struct Case { const char* source; int32_t prevSpace; const char* text; const char* raw; };
    // "&frac13;" is " 1/3" and "&ThickSpace;" two spaces: collapsed like the page's own.
    const Case cases[] = {
        {"a&frac13;", 0, "a 1/3", "a 1/3"},
        {"a &frac13;", 0, "a 1/3", "a  1/3"},
        {"&frac13;", 1, "1/3", " 1/3"},
        {"a&ThickSpace;b", 0, "a b", "a  b"},
        {"a &#8203; b", 0, "a b", "a  b"},
        {"a&#x2003;&#x2003;b", 0, "a b", "a  b"},
        {"a &#13;&#10;b", 0, "a b", "a \nb"},
    };
    for (const Case& c : cases) {
        HtmlPage page(c.source);
        ASSERT_TRUE(page.open());
        EXPECT_EQ(c.text, page.textRun(c.prevSpace)) << c.source;
        page.close();
        EXPECT_EQ(c.raw, rawOf(c.source)) << c.source;
    }
    // A run ending in a removed character or a decoded space leaves the space state so.
    HtmlPage page("x&#x2003;<b>y &#8203;<i>");
    ASSERT_TRUE(page.open());
    EXPECT_EQ("x ", page.textRun(0));
    EXPECT_EQ(1, page.lastPrevSpace);
    parseTag(*page.context);
    EXPECT_EQ("y ", page.textRun(0));
    EXPECT_EQ(1, page.lastPrevSpace);
}

TEST(References, ADecodedLessThanIsTextAndTheRunGoesOn) {
    HtmlPage page("x &#8804; y &le;z<b>w");
    ASSERT_TRUE(page.open());
    EXPECT_EQ("x <= y <=z", page.textRun());
    EXPECT_EQ('<', page.lastEnd);
    parseTag(*page.context);
    EXPECT_STREQ("b", page.context->tagName);
    EXPECT_EQ("w", page.textRun());
}

TEST(References, AReferenceThatDoesNotFitStartsTheNextRun) {
    struct Case { const char* source; int32_t max; std::vector<std::string> runs; };
    const Case cases[] = {
        {"ab&rarr;cd", 3, {"ab", "->c", "d"}},
        {"ab&rarr;cd", 4, {"ab->", "cd"}},
        {"abc&fjlig;", 4, {"abc", "fj"}},
        {"a&#12345;", 4, {"a", "nian", ""}},
        {"a&#x3039", 4, {"a", "nian", ""}},
        {"a&#8203;b", 1, {"a", "b", ""}},
        // No run of `max` bytes could hold it: "?" keeps the reader moving.
        {"&rarr;x", 1, {"?", "x", ""}},
        {"a&#12345;b", 3, {"a", "?b"}},
    };
    for (const Case& c : cases) {
        for (bool raw : {false, true}) {
            HtmlPage page(c.source);
            ASSERT_TRUE(page.open());
            std::vector<std::string> runs;
            do {
                runs.push_back(raw ? page.rawRun(c.max) : page.textRun(0, c.max));
                if (page.lastEnd == kTextRunFull) {
                    EXPECT_GT(runs.back().size(), 0u) << c.source;
                }
            } while (page.lastEnd == kTextRunFull && runs.size() < 10);
            EXPECT_EQ(c.runs, runs) << c.source << (raw ? " raw" : "");
            page.close();
            expectNothingHeld(page.io);
        }
    }
    // The give-back crosses the window's start: the next run still begins at the '&'.
    HtmlPage page(std::string(1022, 'x') + "&#x2192;y");
    ASSERT_TRUE(page.open());
    EXPECT_EQ(std::string(1022, 'x'), page.textRun(0, 1023));
    EXPECT_EQ(kTextRunFull, page.lastEnd);
    EXPECT_EQ("->y", page.textRun(0, 1023));
    EXPECT_EQ(kEndOfInput, page.lastEnd);
}

TEST(References, ATitleHoldsReferencesWholeAsText) {
    struct Case { std::string source; int32_t limit; std::string title; };
    const Case cases[] = {
        {"<title>a &rarr; b &le; c</title>", 31, "a -> b <= c"},
        {"<title>&#8203;x&#8203;</title>", 31, "x"},
        {"<title>" + std::string(29, 'a') + "&rarr;</title>", 30, std::string(29, 'a')},
        {"<title>" + std::string(29, 'a') + "&rarr;</title>", 31, std::string(29, 'a') + "->"},
        {"<title>" + std::string(29, 'a') + " &rarr;</title>", 31, std::string(29, 'a') + " "},
        {"<title>" + std::string(29, 'a') + " &#8203;</title>", 31, std::string(29, 'a')},
    };
    for (const Case& c : cases) {
        HtmlPage page(c.source);
        ASSERT_TRUE(page.open());
        char out[300];
        EXPECT_TRUE(readHtmlTitle(*page.context, out, c.limit)) << c.source;
        EXPECT_EQ(c.title, std::string(out)) << c.source;
    }
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
