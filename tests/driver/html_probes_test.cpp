// The two probes that run before a conversion: is the source HTML, and what title does
// it propose.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "driver/html_probes.h"
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
        // XHTML: the XML declaration and other processing instructions come first.
        {"<?xml version=\"1.0\"?><html>", 1},
        {"<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!DOCTYPE html PUBLIC \"-//W3C//DTD XHTML 1.1//EN\" "
         "\"http://www.w3.org/TR/xhtml11/DTD/xhtml11.dtd\">\n<html xmlns=\"http://www.w3.org/1999/xhtml\">", 1},
        {"<?xml version=\"1.0\"?><?xml-stylesheet href=\"a.css\"?><!-- c --><html>", 1},
        {"<?xml version=\"1.0\"?>text<html>", 0},
        {"<?xml version=\"1.0\"?><book>", 0},
        // A UTF-8 byte-order mark, whole, is passed over; anything else before is text.
        {"\xEF\xBB\xBF<!DOCTYPE html>", 1},
        {"\xEF\xBB\xBF  <html>", 1},
        {"\xEF\xBB<html>", 0},
        {"\xEF\xBB\xBF\xEF\xBB\xBF<html>", 0},
        {"\xEF\xBB\xBF", 0},
        // A bare fragment is not recognised by its content (its name may make it HTML).
        {"<p>Just a paragraph</p>", 0},
        {"<html><head><title>x</title>", 1},
    };
    for (const Row& row : rows) EXPECT_EQ(row.isHtml, sniff(row.source)) << row.source;
}

TEST(HtmlSignature, AnHtmlNameMakesAnySourceHtml) {
    for (const char* name : {"a.htm", "a.html", "A.HTML", "book/ch1.xhtml", "c.XHT", "x.shtml",
                             "C:\\site\\p.Htm"})
        EXPECT_TRUE(hasHtmlName(name)) << name;
    for (const char* name : {"a.txt", "a.html.txt", "a.htmlx", "html", "a.xml", ".ht", "dir.html/page",
                             "dir.htm\\page", "a", ""})
        EXPECT_FALSE(hasHtmlName(name)) << name;
    EXPECT_FALSE(hasHtmlName(nullptr));

    // The driver's test takes the name first, so even a page it cannot read is HTML.
    MemoryIo memory;
    memory.addFile("notes.txt", "just text");
    memory.addFile("frag.html", "<p>bare fragment");
    const IoOps& io = memory.ops();
    for (const char* name : {"notes.txt", "frag.html"}) {
        const uint32_t stream = io.openStream(io.userData, name, 0);
        EXPECT_EQ(std::string(name) == "frag.html", isHtmlSource(io, stream, name)) << name;
        EXPECT_FALSE(isHtmlSource(io, stream, nullptr)) << name;
        io.closeStream(io.userData, stream);
    }
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
        // XHTML as EPUB chapters write it, and a page starting with a byte-order mark.
        {"<?xml version=\"1.0\" encoding=\"utf-8\"?><html xmlns=\"http://www.w3.org/1999/xhtml\">"
         "<head><title>Chapter 1</title></head>", 1, "Chapter 1"},
        {"\xEF\xBB\xBF<html><title>Marked</title>", 1, "Marked"},
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
