// The two probes that run before a conversion: is the source HTML, and what title does
// it propose.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/html/html_page.h"

namespace {

int sniff(const std::string& source) {
    HtmlPage page(source);
    if (!page.open()) return -1;
    const int result = scanHtmlSignature(*page.context);
    page.close();
    expectNothingHeld(page.io);
    return result;
}

struct Title {
    int result;
    std::string text;
};

Title title(const std::string& source, int32_t limit = 31) {
    HtmlPage page(source);
    if (!page.open()) return {-1, ""};
    // Exactly limit + 1 bytes, so an overrun shows in the sanitizer build.
    std::vector<char> out(static_cast<size_t>(limit) + 1, 'z');
    Title found{readHtmlTitle(*page.context, out.data(), limit), std::string(out.data())};
    page.close();
    expectNothingHeld(page.io);
    return found;
}

std::string comments(int count) {
    std::string text;
    for (int i = 0; i < count; ++i) text += "<!-- c -->";
    return text;
}

}  // namespace

TEST(HtmlSignature, SourcesThatAreAndAreNotHtml) {
    struct Row { const char* source; int isHtml; };
    const Row rows[] = {
        {"<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 3.2//EN\">", 1},
        {"<!-- c --><html>", 1},
        {"<HEAD><HTML>", 0},
        {"<html>", 1},
        {"<HtMl lang=en>", 1},
        {" \r\n\t<html>", 1},
        {"<!doctype html>", 1},
        {"<!DocType Html>text", 1},
        {"<!DOCTYPE>", 0},
        {"<!DOCTYPE foo>", 0},
        {"<!DOCTYPEHTML>", 0},
        {"<!ELEMENT HTML><html>", 1},
        {"<!-- a --><!-- b --><body><html>", 0},
        {"</html>", 0},
        {"text<html>", 0},
        {"&lt;html>", 0},
        {"", 0},
        {"<", 0},
        {"<html/>", 1},
        {"<?xml version=\"1.0\"?><html>", 0},
        {"<html><head><title>x</title>", 1},
    };
    for (const Row& row : rows) EXPECT_EQ(row.isHtml, sniff(row.source)) << row.source;
}

TEST(HtmlSignature, LooksAtNoMoreThan20000LeadingTags) {
    EXPECT_EQ(1, sniff(comments(19999) + "<html>"));
    EXPECT_EQ(0, sniff(comments(20000) + "<html>"));
    EXPECT_EQ(1, sniff(comments(19999) + "<!DOCTYPE html>"));
}

TEST(HtmlTitle, WhitespaceIsCollapsedAndTrimmed) {
    struct Row { const char* source; int result; const char* text; };
    const Row rows[] = {
        {"<html><head><title>  My   Page  </title></head>", 1, "My Page"},
        {"<TITLE>\n\tTab\tand\nline\n</TITLE>", 1, "Tab and line"},
        {"<title>Fish &amp; Chips</title>", 1, "Fish & Chips"},
        {"<title>   </title>", 1, ""},
        {"<title></title>", 1, ""},
        {"<title>To the end", 1, "To the end"},
        {"<title>", 1, ""},
        {"<html><head></head><title>late</title>", 1, ""},
        {"<html><head><meta a=b></HEAD>", 1, ""},
        {"<html><body>no title", 0, ""},
        {"", 0, ""},
        {"text before <title>x</title>", 1, "x"},
        {"</title><title >y</title>", 1, "y"},
    };
    for (const Row& row : rows) {
        const Title found = title(row.source);
        EXPECT_EQ(row.result, found.result) << row.source;
        EXPECT_EQ(row.text, found.text) << row.source;
    }
}

TEST(HtmlTitle, StopsAfter4096Steps) {
    EXPECT_EQ(1, title(std::string(4095, 'x') + "<title>t</title>").result);
    EXPECT_EQ(0, title(std::string(4096, 'x') + "<title>t</title>").result);
    EXPECT_EQ(1, title(comments(4095) + "<title>t</title>").result);
    EXPECT_EQ(0, title(comments(4096) + "<title>t</title>").result);
    // Whitespace takes no steps.
    EXPECT_EQ("t", title(std::string(10000, ' ') + "<title>t</title>").text);
}

TEST(HtmlTitle, TheCopyHoldsAtMostLimitBytes) {
    const std::string longTitle = "<title>" + std::string(40, 'a') + "</title>";
    EXPECT_EQ(std::string(31, 'a'), title(longTitle, 31).text);
    EXPECT_EQ("", title(longTitle, 0).text);
    EXPECT_EQ(std::string(40, 'a'), title(longTitle, 300).text);
    // The search keeps 255 bytes of text.
    EXPECT_EQ(std::string(255, 'b'),
              title("<title>" + std::string(300, 'b') + "</title>", 300).text);
    EXPECT_EQ(std::string(254, 'b') + " ",
              title("<title>" + std::string(254, 'b') + " " + std::string(20, 'c'), 300).text);
    EXPECT_EQ(std::string(255, 'b'),
              title("<title>" + std::string(255, 'b') + "     c", 300).text);
}

TEST(HtmlTitle, WithoutABufferOnlyTheSearchCounts) {
    HtmlPage page("<title>x</title>");
    ASSERT_TRUE(page.open());
    EXPECT_TRUE(readHtmlTitle(*page.context, nullptr, 31));
    page.close();
    expectNothingHeld(page.io);
}
