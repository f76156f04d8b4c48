// tests/cli/preview_test.cpp -- the preview page's layout rules on small handmade record
// sets: every attribute bit and extra-word field shows on the page, links lead to the
// anchor at their target, rules and page boundaries sit where their positions say, and
// the text comes through whole, escaped and as UTF-8, whatever the records claim.
#include <gtest/gtest.h>

#include <algorithm>
#include <regex>

#include "cli/preview.h"

namespace {

constexpr uint16_t kPlain = 3;  // size 3, no flags
constexpr uint16_t kExtraWord = 0x8000;
constexpr uint16_t kMarker = 0x40;  // extra word: list marker

PreviewBook bookOf(const std::string& text, std::vector<FormatRun> runs = {}) {
    PreviewBook book;
    book.text = text;
    book.runs = std::move(runs);
    return book;
}

// The part of the page that shows the book.
std::string screenOf(const std::string& page) {
    const size_t start = page.find("<main class=\"screen\">\n");
    const size_t end = page.find("</main>");
    if (start == std::string::npos || end == std::string::npos) return "(no screen)";
    return page.substr(start + 22, end - start - 22);
}

std::string screen(const PreviewBook& book) { return screenOf(renderPreview(book)); }

// The book text a piece of the screen shows: one newline after each line, list markers,
// page bands and rules left out, references decoded.
std::string shownText(std::string html) {
    html = std::regex_replace(html, std::regex("<span class=\"mk\">[^<]*</span>"), "");
    html = std::regex_replace(html, std::regex("<div class=\"page\">[^<]*</div>\n"), "");
    html = std::regex_replace(html, std::regex("<hr [^>]*>\n"), "");
    html = std::regex_replace(html, std::regex("</(div|h[1-6])>\n"), "\n");
    html = std::regex_replace(html, std::regex("<[^>]*>"), "");
    for (const auto& [reference, character] : std::vector<std::pair<std::string, std::string>>{
             {"&lt;", "<"}, {"&gt;", ">"}, {"&quot;", "\""}, {"&#13;", "\r"}, {"&amp;", "&"}})
        for (size_t at = html.find(reference); at != std::string::npos;
             at = html.find(reference, at + 1))
            html.replace(at, reference.size(), character);
    return html;
}

size_t count(const std::string& haystack, const std::string& needle) {
    size_t n = 0;
    for (size_t at = haystack.find(needle); at != std::string::npos; at = haystack.find(needle, at + 1))
        ++n;
    return n;
}

// Every element the screen opens is closed.
void expectBalanced(const std::string& html) {
    for (const char* tag : {"div", "span", "a", "h1", "h2", "h3", "h4", "h5", "h6", "b", "i", "u", "s",
                            "sub", "sup", "code"})
        EXPECT_EQ(count(html, std::string("<") + tag + ">") + count(html, std::string("<") + tag + " "),
                  count(html, std::string("</") + tag + ">"))
            << tag;
}

TEST(PreviewAttributes, EachBitOfTheAttributeWordShows) {
    struct Row {
        uint16_t attributes;
        const char* shows;
    };
    const Row rows[] = {
        {1, "<span class=\"f1\">word"},
        {2, "<span class=\"f2\">word"},
        {4, "<span class=\"f4\">word"},
        {5, "<span class=\"f5\">word"},
        {6, "<span class=\"f6\">word"},
        {7, "<span class=\"f7\">word"},
        {kPlain | 0x0008, "<h5 class=\"l f3\"><span class=\"f3 h\">word"},  // heading
        {kPlain | 0x0010, "<code>word</code>"},
        {kPlain | 0x0020, "<b>word</b>"},
        {kPlain | 0x0040, "<u>word</u>"},
        {kPlain | 0x0080, "<span class=\"f3 lu\">word"},  // link underline
        {kPlain | 0x0100, "<i>word</i>"},
        {kPlain | 0x0200, "<s>word</s>"},
        {kPlain | 0x0400, "<sub>word</sub>"},
        {kPlain | 0x0800, "<sup>word</sup>"},
        {kPlain | 0x1000, "<div class=\"l f3 c\">"},  // centre
        {kPlain | 0x2000, "<div class=\"l f3 r\">"},  // right
    };
    const std::string plain = screen(bookOf("word\n", {{0, 5, kPlain, 0}}));
    for (const Row& row : rows) {
        const std::string html = screen(bookOf("word\n", {{0, 5, row.attributes, 0}}));
        EXPECT_NE(std::string::npos, html.find(row.shows)) << std::hex << row.attributes << "\n" << html;
        EXPECT_EQ(std::string::npos, plain.find(row.shows)) << row.shows;
        EXPECT_EQ("word\n", shownText(html));
    }

    const std::string all = screen(bookOf("word\n", {{0, 5, 0x3FFF, 0}}));
    EXPECT_NE(std::string::npos,
              all.find("<h1 class=\"l f7 c\"><span class=\"f7 h lu\"><b><i><u><s><sub><sup><code>word"
                       "</code></sup></sub></s></u></i></b></span>"))
        << all;
}

TEST(PreviewAttributes, HeadingLevelFollowsTheSizeAndBlankLinesAreNoHeadings) {
    const std::pair<uint16_t, const char*> rows[] = {{7, "<h1 "}, {6, "<h2 "}, {5, "<h3 "}, {4, "<h4 "},
                                                     {3, "<h5 "}, {2, "<h6 "}, {1, "<h6 "}};
    for (const auto& [size, tag] : rows) {
        const std::string html =
            screen(bookOf("Title\n\n", {{0, 7, static_cast<uint16_t>(size | 0x0008), 0}}));
        EXPECT_EQ(1u, count(html, tag)) << size << "\n" << html;
        EXPECT_NE(std::string::npos,
                  html.find("<div class=\"l f" + std::to_string(size) + "\"><br></div>"))
            << "the blank line keeps the heading's size but is no heading: " << html;
    }
}

TEST(PreviewExtraWord, IndentLevelsAndTheWordItselfNeedBit15) {
    for (uint16_t indent = 1; indent <= 7; ++indent) {
        const std::string html = screen(bookOf("text\n", {{0, 5, kPlain | kExtraWord, indent}}));
        EXPECT_NE(std::string::npos,
                  html.find("style=\"padding-left:" + std::to_string(indent * 20) + "px\""))
            << html;
        EXPECT_EQ(0u, count(html, "class=\"mk\"")) << "no marker without bit 6";
    }
    const std::string without = screen(bookOf("text\n", {{0, 5, kPlain, 0x0047}}));
    EXPECT_EQ(std::string::npos, without.find("padding-left")) << without;
    EXPECT_EQ(std::string::npos, without.find("class=\"mk\"")) << without;
}

TEST(PreviewExtraWord, ListMarkersForEachTypeWithTheItemNumber) {
    struct Row {
        uint16_t type;
        uint16_t item;  // 1 to 256
        const char* marker;
    };
    const Row rows[] = {
        {0, 1, "\u2022"}, {1, 1, "\u25E6"}, {2, 1, "\u25AA"}, {2, 9, "\u25AA"},  // bullets ignore
                                                                                 // numbers
        {3, 3, "C."},     {3, 26, "Z."},    {3, 27, "AA."},   {3, 256, "IV."},    {4, 3, "c."},
        {4, 28, "ab."},   {5, 3, "III."},   {5, 49, "XLIX."}, {5, 256, "CCLVI."}, {6, 4, "iv."},
        {6, 94, "xciv."}, {7, 3, "3."},     {7, 256, "256."},
    };
    for (const Row& row : rows) {
        const uint16_t extra = static_cast<uint16_t>((row.item - 1) << 8 | kMarker | row.type << 3 | 2);
        EXPECT_EQ(row.marker, listMarkerText(extra)) << row.type << " " << row.item;
        const std::string html = screen(bookOf("item\n", {{0, 5, kPlain | kExtraWord, extra}}));
        EXPECT_NE(std::string::npos, html.find(std::string("<span class=\"mk\">") + row.marker +
                                               "</span><span class=\"f3\">item"))
            << html;
    }
    // The third item of a plain ordered list, as the converter writes it.
    EXPECT_EQ("3.", listMarkerText(0x027A));
}

TEST(PreviewExtraWord, AMarkerOnEveryLineThatStartsWithTextInsideTheRun) {
    // Items of an unordered list share one run when their styles are equal.
    const std::string text = "one\ntwo\n\nthree\n";
    const std::string html = screen(bookOf(
        text,
        {{0, 8, kPlain | kExtraWord, kMarker | 2}, {8, 1, kPlain, 0}, {9, 6, kPlain | kExtraWord, 2}}));
    EXPECT_EQ(2u, count(html, "class=\"mk\"")) << html;
    EXPECT_NE(std::string::npos, html.find("<span class=\"mk\">\u2022</span><span class=\"f3\">two"))
        << html;
    EXPECT_EQ(text, shownText(html));

    // A marker run that starts inside a line draws nothing there.
    const std::string inside =
        screen(bookOf("ab\n", {{0, 1, kPlain, 0}, {1, 2, kPlain | kExtraWord, kMarker | 2}}));
    EXPECT_EQ(0u, count(inside, "class=\"mk\"")) << inside;
}

TEST(PreviewText, RunsThatSplitAWordKeepItWhole) {
    const std::string text = "summer  days\tend\n";
    const std::string html =
        screen(bookOf(text, {{0, 3, kPlain | 0x20, 0}, {3, 5, kPlain | 0x100, 0}, {8, 10, 5, 0}}));
    EXPECT_NE(std::string::npos, html.find("<b>sum</b></span><span class=\"f3\"><i>mer  </i>")) << html;
    EXPECT_EQ(text, shownText(html)) << "spaces and tabs as they are, nothing added";
    expectBalanced(html);
}

TEST(PreviewText, Windows1252AsUtf8WithTheCardSuits) {
    const std::string html = screen(bookOf("\x8D\x8E\x8F\x90 \x80 \xE9\x96\xA3\n"));
    EXPECT_NE(std::string::npos, html.find("\u2666\u2663\u2665\u2660 \u20AC \u00E9\u2013\u00A3"))
        << html;
}

TEST(PreviewText, MarkupInTheTextAndTheNameIsEscaped) {
    PreviewBook book = bookOf("<script>alert(1)</script> & \"q\"\n");
    book.facts.name = "<b>Tom & \"Jerry\"";
    const std::string page = renderPreview(book);
    EXPECT_EQ(std::string::npos, page.find("<script")) << page;
    EXPECT_EQ(std::string::npos, page.find("<b>Tom")) << page;
    EXPECT_NE(std::string::npos,
              page.find("<title>&lt;b&gt;Tom &amp; &quot;Jerry&quot; (preview)</title>"));
    EXPECT_NE(std::string::npos,
              page.find("<p class=\"name\">&lt;b&gt;Tom &amp; &quot;Jerry&quot;</p>"));
    EXPECT_EQ(book.text, shownText(screenOf(page)));
}

TEST(PreviewText, ControlBytesShowAndCarriageReturnsStayCharacters) {
    const std::string html = screen(bookOf(std::string("a\r\nb\0\x01\x1F\x7F\x81\x9D\n", 11)));
    EXPECT_NE(std::string::npos, html.find("a&#13;</span>")) << "a raw CR would be read as a line break";
    EXPECT_NE(std::string::npos,
              html.find("<span class=\"ctl\">\u2400</span><span class=\"ctl\">\u2401</span>"
                        "<span class=\"ctl\">\u241F</span><span class=\"ctl\">\u2421</span>"
                        "<span class=\"ctl x\">81</span><span class=\"ctl x\">9D</span>"))
        << html;
    EXPECT_EQ(std::string::npos, html.find('\0'));
}

TEST(PreviewLinks, ALinkLeadsToTheAnchorAtItsTargetPosition) {
    const std::string text = "Go to the end.\nmiddle\nTarget here\n";
    const uint32_t target = static_cast<uint32_t>(text.find("Target"));
    PreviewBook book = bookOf(text, {{0, static_cast<uint32_t>(text.size()), kPlain, 0}});
    book.links = {{6, 3, target}, {8, 0, 0} /* a spacer */};
    const std::string html = screen(book);
    const std::string href = "<a href=\"#t" + std::to_string(target) + "\">";
    EXPECT_EQ(1u, count(html, "<a href=")) << html;
    EXPECT_NE(std::string::npos, html.find(href + "<span class=\"f3\">the</span></a>")) << html;
    const size_t anchor = html.find("<a id=\"t" + std::to_string(target) + "\"></a>");
    ASSERT_NE(std::string::npos, anchor) << html;
    EXPECT_EQ(text.substr(0, target), shownText(html.substr(0, anchor)));
    EXPECT_EQ(text, shownText(html));
}

TEST(PreviewLinks, AnchorsOnBlankLinesAtTheEndAndOncePerTarget) {
    const std::string text = "ab\n\ncd";
    PreviewBook book = bookOf(text);
    book.links = {{0, 1, 3}, {1, 1, 3}, {4, 2, 6}};
    const std::string html = screen(book);
    EXPECT_EQ(1u, count(html, "id=\"t3\""));
    EXPECT_NE(std::string::npos, html.find("<div class=\"l f3\"><a id=\"t3\"></a><br></div>")) << html;
    EXPECT_NE(std::string::npos, html.find("cd</span></a><a id=\"t6\"></a></div>")) << html;
    expectBalanced(html);
}

TEST(PreviewLinks, LongLinksAcrossRunsAndTargetsPastTheEnd) {
    // 600 characters as three entries of 255, 255 and 90, over two runs.
    const std::string text = std::string(600, 'x') + "\n";
    PreviewBook book = bookOf(text, {{0, 300, kPlain | 0x80, 0}, {300, 301, kPlain | 0xA0, 0}});
    book.links = {{0, 255, 600}, {255, 255, 600}, {510, 90, 600}};
    std::string html = screen(book);
    EXPECT_EQ(4u, count(html, "<a href=\"#t600\">")) << "three entries, one of them cut by the runs";
    EXPECT_EQ(1u, count(html, "id=\"t600\""));
    EXPECT_EQ(text, shownText(html));

    book.links = {{0, 4, 9999}};
    html = screen(book);
    EXPECT_NE(std::string::npos,
              html.find("<a class=\"dead\" title=\"leads to text position 9999, past the end"))
        << html;
    EXPECT_EQ(std::string::npos, html.find("href")) << html;
    EXPECT_EQ(std::string::npos, html.find("id=\"t9999\"")) << html;
}

TEST(PreviewRules, FlagsAndWidthWord) {
    struct Row {
        uint8_t flags;
        uint16_t width;
        const char* style;  // the whole hr element
    };
    const Row rows[] = {
        {2, 0, "<hr class=\"rule\" style=\"height:4px\">"},
        {0, 0, "<hr class=\"rule\" style=\"height:2px\">"},
        {15, 0, "<hr class=\"rule\" style=\"height:30px\">"},
        {0x10 | 3, 0, "<hr class=\"rule solid\" style=\"height:6px\">"},
        {0x20 | 2, 0, "<hr class=\"rule\" style=\"height:4px;margin-right:0\">"},
        {0x40 | 2, 0, "<hr class=\"rule\" style=\"height:4px;margin-left:0\">"},
        {0x80 | 2, 0x8032, "<hr class=\"rule\" style=\"height:4px;width:50%\">"},
        {0x80 | 2, 0x8000 | 150, "<hr class=\"rule\" style=\"height:4px;width:100%\">"},
        {0x80 | 2, 64, "<hr class=\"rule\" style=\"height:4px;width:128px;max-width:100%\">"},
        {0xF0 | 1, 0x8019, "<hr class=\"rule solid\" style=\"height:2px;width:25%;margin-right:0\">"},
    };
    for (const Row& row : rows) {
        PreviewBook book = bookOf("above\n\nbelow\n");
        book.rules = {{6, 1, row.flags, row.width}};
        const std::string html = screen(book);
        EXPECT_NE(std::string::npos, html.find(row.style)) << html;
    }
}

TEST(PreviewRules, ARuleTakesTheBlankLineItStandsOnAndSplitsALineItFallsInto) {
    PreviewBook book = bookOf("above\n\nbelow\n");
    book.rules = {{6, 1, 2, 0}, {6, 1, 3, 0}, {8, 0, 0, 0} /* a spacer */};
    std::string html = screen(book);
    EXPECT_EQ(2u, count(html, "<hr "));
    EXPECT_EQ(std::string::npos, html.find("<br>")) << html;
    EXPECT_LT(html.find("above"), html.find("<hr "));
    EXPECT_LT(html.find("<hr "), html.find("below"));
    EXPECT_EQ("above\nbelow\n", shownText(html));

    book = bookOf("abcdef\n", {{0, 7, kPlain | kExtraWord, kMarker | 1}});
    book.rules = {{3, 1, 2, 0}};
    html = screen(book);
    EXPECT_EQ("abc\ndef\n", shownText(html)) << html;
    EXPECT_EQ(1u, count(html, "class=\"mk\"")) << "the rest of the line is no new item";
    EXPECT_EQ(2u, count(html, "style=\"padding-left:20px\"")) << "it keeps its indent";
    expectBalanced(html);
}

TEST(PreviewPages, EachBoundaryIsABandWithThePageNumber) {
    PreviewBook book = bookOf("aaa\nbbb\nccc\n");
    book.pages = {{0, {0, 4, 8}}, {2, {8, 12}}};  // a second record goes on where the first stopped
    const std::string html = screen(book);
    const size_t page0 = html.find("<div class=\"page\">page 0</div>");
    const size_t page1 = html.find("<div class=\"page\">page 1</div>");
    const size_t page2 = html.find("<div class=\"page\">page 2</div>");
    const size_t end = html.find("<div class=\"page\">end of page 2</div>");
    ASSERT_NE(std::string::npos, page0) << html;
    ASSERT_NE(std::string::npos, page1) << html;
    ASSERT_NE(std::string::npos, page2) << html;
    ASSERT_NE(std::string::npos, end) << html;
    EXPECT_LT(page0, html.find("aaa"));
    EXPECT_LT(html.find("aaa"), page1);
    EXPECT_LT(page1, html.find("bbb"));
    EXPECT_LT(html.find("bbb"), page2);
    EXPECT_LT(page2, html.find("ccc"));
    EXPECT_LT(html.find("ccc"), end);
    EXPECT_EQ(4u, count(html, "class=\"page\""));
    EXPECT_EQ(book.text, shownText(html));
}

TEST(PreviewRecords, RecordsThatDisagreeWithTheTextCannotBreakThePage) {
    const std::string text = "first line\nsecond\n";
    PreviewBook book = bookOf(text, {{5, 20, kPlain | 0x20, 0},  // starts late, ends past the text
                                     {0, 8, kPlain | 0x100, 0},  // out of order, overlapping
                                     {100, 5, 7, 0}});           // wholly past the text
    book.links = {{15, 50, 2}, {4, 2, 5}, {90, 3, 1}};
    book.rules = {{500, 1, 2, 0}};
    book.pages = {{0, {0, 11, 4000}}};
    const std::string html = screen(book);
    EXPECT_EQ(text, shownText(html));
    expectBalanced(html);
    EXPECT_NE(std::string::npos, html.find("<div class=\"page\">end of page 1</div>"))
        << "drawn at the end";
    EXPECT_LT(html.find("nd</b>"), html.find("<hr ")) << "the rule past the end is drawn at the end";

    const std::string empty = screen(bookOf("", {{0, 10, 7, 0}}));
    EXPECT_EQ("", empty);
}

TEST(PreviewFacts, TheHeaderBlockTellsNameDatesLengthRecordsAndRatio) {
    PreviewBook book = bookOf(std::string(2000, 'a'));
    PreviewFacts& facts = book.facts;
    facts.name = "Caf\xE9 \x8D";
    facts.creationTime = 0;
    facts.modificationTime = 3879562437u;
    facts.conversionTime = 3879562437u + 86400;
    facts.fileSize = 1234;
    facts.recordCount = 9;
    facts.codeTableRecords = 1;
    facts.chunkRecords = 1;
    facts.formatRecords = 2;
    facts.linkRecords = 1;
    facts.ruleRecords = 1;
    facts.boundaryRecords = 1;
    facts.pageCount = 5;
    facts.textRecordBytes = 800;
    const std::string page = renderPreview(book);
    for (const char* shown :
         {"<p class=\"name\">Caf\u00E9 \u2666</p>", "<dt>Created</dt><dd>1904-01-01 00:00:00</dd>",
          "<dt>Modified</dt><dd>2026-12-08 08:13:57</dd>",
          "<dt>Converted</dt><dd>2026-12-09 08:13:57</dd>",
          "<dt>Text</dt><dd>2000 bytes from 5 pages</dd>",
          "<dd>9: record 0, code tables 1, text 1, format 2, link 1, rule 1, page boundary 1</dd>",
          "<dd>2.50 : 1 (800 bytes of text records, 40.0 % of the text)</dd>",
          "<dt>File</dt><dd>1234 bytes</dd>"})
        EXPECT_NE(std::string::npos, page.find(shown)) << shown << "\n" << page;
    EXPECT_NE(std::string::npos, renderPreview(bookOf("")).find("<dt>Compression</dt><dd>no text</dd>"));
}

TEST(PreviewPage, StandsAloneWithoutScriptsOrOutsideResources) {
    const std::string page = renderPreview(bookOf("x\n"));
    EXPECT_EQ(0u, page.rfind("<!DOCTYPE html>", 0));
    EXPECT_NE(std::string::npos, page.find("<meta charset=\"utf-8\">"));
    for (const char* outside : {"<script", "<link", "src=", "url(", "http:", "https:", "@import"})
        EXPECT_EQ(std::string::npos, page.find(outside)) << outside;
}

}  // namespace

namespace {

// Runs, links, rules and pages out of text order, overlapping and repeated, over a text
// whose lines cross the pieces it is read in: the page is the same whether the sort
// keeps its entries in memory or spills them in blocks of any size.
TEST(PreviewStreaming, TheSortsBlockSizeNeverChangesThePage) {
    std::string text;
    for (int line = 0; text.size() < 3 * 4096; ++line)
        text += std::string(static_cast<size_t>(line * 37 % 300), static_cast<char>('a' + line % 26)) + "\n";
    text[4095] = '\n';  // a line ends on a piece's last byte
    text += std::string(5000, 'z');  // and a last line longer than a piece, without newline
    PreviewBook book = bookOf(text);
    for (int64_t start = 9000; start > 10; start -= 613)
        book.runs.push_back({static_cast<uint32_t>(start), 400,
                             static_cast<uint16_t>(kPlain | (start % 3 ? 0x20 : 0x80)), 0});
    book.runs.push_back({100, 50, kPlain | 0x0400, 0});  // the same start as the next
    book.runs.push_back({100, 20, kPlain | 0x0020, 0});
    book.links = {{8000, 30, 12}, {5, 10, 4096}, {200, 0, 0}, {6000, 3, 12}, {300, 4, 99999}};
    book.rules = {{7000, 1, 2, 0}, {50, 1, 3, 0}, {7000, 1, 4, 0}, {60, 0, 0, 0}};
    book.pages = {{1, {0, 4000, 9000}}, {3, {9000, 12000, 17000}}};
    const std::string whole = renderPreview(book);
    const std::string html = screenOf(whole);
    // Bands and rules inside a line cut it; every character still shows, in order.
    auto withoutNewlines = [](std::string s) {
        s.erase(std::remove(s.begin(), s.end(), '\n'), s.end());
        return s;
    };
    EXPECT_EQ(withoutNewlines(text), withoutNewlines(shownText(html)));
    expectBalanced(html);
    EXPECT_EQ(1u, count(html, "<a id=\"t12\">")) << "one anchor for both links to it";
    for (const size_t block : {size_t{1}, size_t{2}, size_t{3}, size_t{5}, size_t{16}})
        EXPECT_EQ(whole, renderPreview(book, block)) << "blocks of " << block;
}

}  // namespace
