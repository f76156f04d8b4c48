// parseTag: every step of the attribute loop, the length and count limits, the shared
// pool, and tags cut short by the end of the input. Each row is parsed from "<" on and
// shown as  name|attr=value|attr=value  followed by what is left of the input.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "tests/html/html_page.h"
#include "html/html_tables.h"

namespace {

std::string shown(const HtmlContext& c) {
    std::string text = c.tagName;
    for (int i = 0; i < c.attrCount; ++i)
        text += std::string("|") + c.attrs[i].name + "=" + c.attrs[i].value;
    return text;
}

// Parses the tag that `source` begins with ('<' included) and returns it with the
// remaining input after "#".
std::string parsed(const std::string& source) {
    HtmlPage page(source);
    if (!page.open()) return "open failed";
    HtmlContext& c = *page.context;
    if (readChar(c) != '<') return "no tag";
    parseTag(c);
    std::string result = shown(c) + "#" + page.rest();
    page.close();
    expectNothingHeld(page.io);
    return result;
}

}  // namespace

TEST(ParseTag, NamesAndAttributesAsWritten) {
    struct Row { const char* source; const char* expected; };
    const Row rows[] = {
        {"<A HREF = \"x.html\" >t", "A|HREF=x.html#t"},
        {"<A HREF=\" x.html \">", "A|HREF=x.html#"},
        {"<INPUT CHECKED>", "INPUT|CHECKED=#"},
        {"< b>", "b#"},
        {"</B>", "/B#"},
        {"<br/>", "br/#"},
        {"<!-- x -->after", "!--|x=|--=#after"},
        {"<>x", "#x"},
        {"<a b=x c d = 'e f' g=\"\">", "a|b=x|c=|d=e f|g=#"},
        {"<a b=\"x>y\">z", "a|b=x>y#z"},
        {"<a b='it\"s'>", "a|b=it\"s#"},
        {"<a b=\" x \t\n\">", "a|b=x#"},
        {"<a b=\"   \">", "a|b=#"},
        {"<a b=>", "a|b=#"},
        {"<a b= >", "a|b=#"},
        {"<a b=c=d>", "a|b=c=d#"},
        {"<a \"my name\"=v 'q'>", "a|my name=v|q=#"},
        {"<a \" spaced\">", "a|spaced=#"},
        {"<a b=x/>", "a|b=x/#"},
        {"<img src=\"p.png\"/>", "img|src=p.png#"},
        // The byte after a closing quote is consumed: "c" is lost and the rest reads as
        // one attribute with an empty value.
        {"<a b=\"x\"c=\"y\">", "a|b=x|=\"y\"=#"},
        {"<a b=\"\"c>", "a|b=|c=#"},
        // An empty quoted name counts for nothing; its closing quote opens the next one.
        {"<a ''>x'>y", "a|>x=#y"},
        {"<P ALIGN=center>Text", "P|ALIGN=center#Text"},
    };
    for (const Row& row : rows) EXPECT_EQ(row.expected, parsed(row.source)) << row.source;
}

TEST(ParseTag, TagsRunToTheEndOfTheInput) {
    struct Row { const char* source; const char* expected; };
    const Row rows[] = {
        {"<", "#"},          {"<   ", "#"},        {"<a", "a#"},          {"<a ", "a#"},
        {"<a b", "a|b=#"},   {"<a b ", "a|b=#"},   {"<a b=", "a|b=#"},    {"<a b = ", "a|b=#"},
        {"<a b=c", "a|b=c#"}, {"<a b=\"c", "a|b=c#"}, {"<a b=\"c  ", "a|b=c#"},
        {"<a b=\"", "a|b=#"}, {"<a \"b", "a|b=#"},  {"<a \"", "a#"},       {"<a \"b\"", "a|b=#"},
        {"<a \"b\"=", "a|b=#"}, {"<a b=\"c\"", "a|b=c#"},
        {"<a b=\"c>d<e>f", "a|b=c>d<e>f#"},
    };
    for (const Row& row : rows) EXPECT_EQ(row.expected, parsed(row.source)) << row.source;
}

TEST(ParseTag, NamesAndValuesStopAtTheirLengthLimits) {
    const std::string n31(31, 'n'), n40(40, 'n'), v255(255, 'v'), v300(300, 'v');
    EXPECT_EQ(std::string(31, 'T') + "#x", parsed("<" + std::string(31, 'T') + ">x"));
    EXPECT_EQ(std::string(31, 'T') + "#x", parsed("<" + std::string(32, 'T') + ">x"));
    EXPECT_EQ(std::string(31, 'T') + "|a=b#x", parsed("<" + std::string(50, 'T') + " a=b>x"));
    EXPECT_EQ("a|" + n31 + "=#x", parsed("<a " + n31 + ">x"));
    EXPECT_EQ("a|" + n31 + "=" + v255 + "#x", parsed("<a " + n40 + "=" + v300 + ">x"));
    EXPECT_EQ("a|" + n31 + "=" + v255 + "#x", parsed("<a '" + n40 + "'='" + v300 + "'>x"));
    EXPECT_EQ("a|" + n31 + "=" + v255 + "#x", parsed("<a " + n31 + "=\"" + v255 + "\">x"));
    EXPECT_EQ("a|b=" + v255 + "|c=d#x", parsed("<a b=" + v300 + " c=d>x"));
}

TEST(ParseTag, KeepsTheFirst32AttributesAndReadsTheRest) {
    std::string source = "<a";
    for (int i = 0; i < 40; ++i) source += " k" + std::to_string(i) + "=v" + std::to_string(i);
    HtmlPage page(source + ">after");
    ASSERT_TRUE(page.open());
    HtmlContext& c = *page.context;
    readChar(c);
    parseTag(c);
    ASSERT_EQ(32, c.attrCount);
    EXPECT_STREQ("k31", c.attrs[31].name);
    EXPECT_STREQ("v31", c.attrs[31].value);
    EXPECT_EQ("after", page.rest());
    page.close();
    expectNothingHeld(page.io);
}

TEST(ParseTag, NamesAndValuesShareA4096BytePool) {
    // Each full attribute takes 32 + 256 bytes: 14 fit (4032), the 15th name fits
    // (4064), its value keeps 31 bytes (4096), and the rest are empty strings.
    std::string source = "<a";
    for (int i = 0; i < 33; ++i) {
        std::string name(31, static_cast<char>('A' + i % 26));
        source += " " + name + "=" + std::string(255, static_cast<char>('a' + i % 26));
    }
    HtmlPage page(source + ">after");
    ASSERT_TRUE(page.open());
    HtmlContext& c = *page.context;
    readChar(c);
    parseTag(c);
    ASSERT_EQ(32, c.attrCount);
    EXPECT_EQ(4096, c.attrPoolUsed);
    for (int i = 0; i < 14; ++i) {
        EXPECT_EQ(31u, std::strlen(c.attrs[i].name)) << i;
        EXPECT_EQ(255u, std::strlen(c.attrs[i].value)) << i;
    }
    EXPECT_EQ(std::string(31, 'O'), c.attrs[14].name);
    EXPECT_EQ(std::string(31, 'o'), c.attrs[14].value);
    for (int i = 15; i < 32; ++i) {
        ASSERT_NE(nullptr, c.attrs[i].name);
        EXPECT_STREQ("", c.attrs[i].name) << i;
        EXPECT_STREQ("", c.attrs[i].value) << i;
    }
    for (int i = 0; i < 15; ++i) {
        EXPECT_GE(c.attrs[i].name, c.attrPool);
        EXPECT_LT(c.attrs[i].value, c.attrPool + kAttrPoolBytes);
    }
    EXPECT_EQ("after", page.rest());
    // The next tag starts from an empty pool.
    page.close();
    expectNothingHeld(page.io);
}

TEST(ParseTag, EachTagStartsAfresh) {
    HtmlPage page("<a href=x name=y><b>");
    ASSERT_TRUE(page.open());
    HtmlContext& c = *page.context;
    readChar(c);
    parseTag(c);
    EXPECT_EQ(2, c.attrCount);
    readChar(c);
    parseTag(c);
    EXPECT_STREQ("b", c.tagName);
    EXPECT_EQ(0, c.attrCount);
    EXPECT_EQ(0, c.attrPoolUsed);
    EXPECT_EQ(nullptr, findAttribute(c, AttrHref));
    page.close();
    expectNothingHeld(page.io);
}

TEST(FindAttribute, FirstMatchingNameInAnyCaseAndAlignCodes) {
    HtmlPage page("<a Href=one HREF=two NaMe=n><p align=Center><p ALIGN=justify><p align><p>"
                  "<td ALIGN=\"RIGHT\"><p align=left>");
    ASSERT_TRUE(page.open());
    HtmlContext& c = *page.context;
    readChar(c);
    parseTag(c);
    EXPECT_STREQ("one", findAttribute(c, AttrHref));
    EXPECT_STREQ("n", findAttribute(c, AttrName));
    EXPECT_EQ(nullptr, findAttribute(c, AttrSrc));
    EXPECT_EQ(nullptr, findAttribute(c, -1));
    const int expected[] = {1, -1, -1, -1, 2, 0};
    for (int align : expected) {
        ASSERT_EQ('<', readChar(c));
        parseTag(c);
        EXPECT_EQ(align, lookupAlign(findAttribute(c, AttrAlign))) << c.tagName;
    }
    page.close();
    expectNothingHeld(page.io);
}
