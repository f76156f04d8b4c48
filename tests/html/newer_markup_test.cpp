// The markup of newer pages on one page each: sectioning and phrase elements, content
// that is not text, text alternatives, ID anchors and navigation left out. The page is
// "C:\site\page.htm", as in page_parser_test.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/html/parsed_page.h"
#include "tests/html/pass_run.h"

namespace {

using Styles = std::vector<StyleAt>;
using Links = std::vector<LinkAt>;
using Anchors = std::vector<AnchorAt>;

TEST(NewerMarkup, SectioningElementsBreakAndAlignAsDiv) {
    const char* const names[] = {"ARTICLE", "aside", "Details", "FIGCAPTION", "figure", "footer",
                                 "header", "hgroup", "main", "section", "summary"};
    for (const char* name : names) {
        const std::string n = name;
        const ParsedPage page = parseOnePage("a<" + n + ">b</" + n + ">c<" + n + " align=center>d</" + n + ">e");
        const ParsedPage div = parseOnePage("a<div>b</div>c<div align=center>d</div>e");
        EXPECT_EQ("a\nb\nc\nd\ne\n", page.text) << name;
        EXPECT_EQ(div.styles, page.styles) << name;
    }
    // Sections in a row break as DIVs do, so their text no longer runs together.
    EXPECT_EQ(parseOnePage("<div><p>one</p></div><div>two</div>x").text,
              parseOnePage("<section><p>one</p></section><article>two</article>x").text);
    EXPECT_EQ("\none\ntwo\n\n", parseOnePage("<header>one</header><footer>two</footer>").text);
}

TEST(NewerMarkup, PhraseElementsTakeTheLookOfTheirOlderKin) {
    const struct { const char* newer; const char* older; } pairs[] = {
        {"del", "strike"}, {"ins", "u"}, {"samp", "code"}, {"dfn", "i"}, {"mark", "b"},
    };
    for (const auto& pair : pairs) {
        const std::string n = pair.newer, o = pair.older;
        const ParsedPage newer = parseOnePage("a<" + n + ">b</" + n + ">c");
        const ParsedPage older = parseOnePage("a<" + o + ">b</" + o + ">c");
        EXPECT_EQ("abc\n", newer.text) << n;
        EXPECT_EQ(older.styles, newer.styles) << n;
        EXPECT_NE(parseOnePage("abc").styles, newer.styles) << n;
    }
}

TEST(NewerMarkup, QuotationsWriteCurlyMarksAndNest) {
    EXPECT_EQ("He said \x93hi\x94.\n", parseOnePage("He said <q>hi</q>.").text);
    EXPECT_EQ("\x93" "a \x93" "b\x94 c\x94\n", parseOnePage("<Q>a <q>b</q> c</Q>").text);
    // The marks are text: whitespace after them stays, a link may cover them.
    EXPECT_EQ("x \x93 y\x94\n", parseOnePage("x <q> y</q>").text);
    const ParsedPage linked = parseOnePage("<a href=b.htm><q>t</q></a>");
    EXPECT_EQ((Links{{0, 3, "C:\\site\\b.htm", ""}}), linked.links);
    // An end tag with no start still closes a quotation that is not there.
    EXPECT_EQ("a\x94\n", parseOnePage("a</q>").text);
}

TEST(NewerMarkup, TemplateAndSvgContentsAreSkippedWithNesting) {
    struct Row { const char* page; const char* text; };
    const Row rows[] = {
        {"a<svg><text>label</text><g><text>b</text></g></svg>c", "ac\n"},
        {"a<SVG><svg>inner</svg>still</SVG>c", "ac\n"},
        {"a<svg><svg/>in</svg>c", "ac\n"},            // a nested empty SVG opens nothing
        {"a<svg width=\"1\"/>b", "ab\n"},             // closes itself: skips nothing
        {"a<svg />b</svg>c", "abc\n"},
        {"a<template><p>x<nav><a href=n.htm>n</a></nav></template>b", "ab\n"},
        {"a<template><template>x</template>y</template>b", "ab\n"},
        {"a<svg><text>never closed", "a\n"},          // ends with its page
        {"a<template>", "a\n"},
    };
    for (const Row& row : rows) {
        const ParsedPage page = parseOnePage(row.page);
        EXPECT_EQ(row.text, page.text) << row.page;
        EXPECT_TRUE(page.links.empty()) << row.page;
        EXPECT_TRUE(page.queued.empty()) << row.page;
    }
}

TEST(NewerMarkup, TextAlternativesAreWrittenInBrackets) {
    struct Row { const char* page; const char* text; };
    const Row rows[] = {
        {"a <img src=x.png alt=\"Logo\"> b", "a [Logo] b\n"},
        {"<img alt=\"  Fish &amp;\n\tchips  &#x263A; \">", "[Fish & chips ?]\n"},
        {"<img alt=\"R&eacute;sum&eacute;\">", "[R\xe9sum\xe9]\n"},
        {"<img alt=\"a<b\">", "[a<b]\n"},
        {"a<img alt=\"\">b<img alt=\" \t\">c<img src=x>d", "abcd\n"},
        {"<area alt=Home><input type=IMAGE alt=Go><input type=text alt=No>", "[Home][Go]\n"},
        {"<p><img alt=x></p>y", "\n\n[x]\n\ny\n"},
    };
    for (const Row& row : rows) EXPECT_EQ(row.text, parseOnePage(row.page).text) << row.page;

    // In the current style, and inside a link as its text.
    const ParsedPage page = parseOnePage("<b><a href=h.htm><img alt=Home></a></b>");
    EXPECT_EQ((Links{{0, 6, "C:\\site\\h.htm", ""}}), page.links);
    EXPECT_EQ((Styles{{0, "b u2"}, {6, ""}, {7, ""}}), page.styles);
}

TEST(NewerMarkup, IdAttributesRecordAnchorsLikeNames) {
    // A heading's anchor lands on its text, as a NAME anchor before the blank line does.
    ParsedPage page = parseOnePage("a<h2 id=\"s1\">Title</h2>b");
    EXPECT_EQ("a\n\nTitle\n\nb\n", page.text);
    EXPECT_EQ((Anchors{{3, "s1"}}), page.anchors);

    page = parseOnePage("x<section id=sec><p>y<span id=\"sp\">z</span><unknown id=u>w");
    EXPECT_EQ("x\n\nyzw\n", page.text);
    EXPECT_EQ((Anchors{{3, "sec"}, {4, "sp"}, {5, "u"}}), page.anchors);

    // Every anchor where the newlines go moves past them, not only the last one: a
    // section's anchor and a span's before its heading both land on the heading.
    page = parseOnePage("<section id=\"sec\">\n<span id=\"idx\"></span><h1>T</h1>");
    EXPECT_EQ((Anchors{{1, "sec"}, {1, "idx"}}), page.anchors);
    page = parseOnePage("a<A NAME=n1></A><A NAME=n2></A><P>b<A NAME=n3></A>c");
    EXPECT_EQ((Anchors{{3, "n1"}, {3, "n2"}, {4, "n3"}}), page.anchors);

    // On an A both names are recorded in the order of the attributes.
    page = parseOnePage("q<a id=first name=second>r<A NAME=n ID=i href=\"#i\">s</a>");
    EXPECT_EQ((Anchors{{1, "first"}, {1, "second"}, {2, "n"}, {2, "i"}}), page.anchors);
    EXPECT_EQ((Links{{2, 3, "C:\\site\\page.htm", "i"}}), page.links);

    // End tags, empty values, comments and declarations name nothing.
    page = parseOnePage("<!DOCTYPE html id=d><!-- id=c -->a</p id=e><b id=\"\">b</b>");
    EXPECT_TRUE(page.anchors.empty());
}

TEST(NewerMarkup, LinksWithFragmentsLandOnIdsOfAnotherPage) {
    MemoryIo memory;
    memory.addFile("C:\\site\\index.htm",
                   "<p><a href=\"ch.htm#part-2\">to part 2</a> <a href=\"ch.htm#nowhere\">no</a>");
    memory.addFile("C:\\site\\ch.htm",
                   "<html><body><section id=\"part-1\"><h1>One</h1><p>text</p></section>"
                   "<section id=\"part-2\"><h1>Two</h1></section>");
    const PassRun run = runPassOver(memory, "C:\\site\\index.htm");
    ASSERT_EQ(0, run.result);
    ASSERT_EQ(2u, run.links.size());
    EXPECT_EQ("Two", textBetween(run, run.links[0].target, run.links[0].target + 3));
    // A fragment no page defines lands at the start of its page.
    EXPECT_EQ("\nOne", textBetween(run, run.links[1].target, run.links[1].target + 4));
}

TEST(NewerMarkup, NavigationIsLeftOutAndItsLinksStillQueuePages) {
    struct Row { const char* page; const char* text; };
    const Row rows[] = {
        {"a<nav><a href=n1.htm>Next</a> | <a href=n2.htm>Up</a></nav>b", "a\nb\n"},
        {"a<nav>x<nav>y</nav>still hidden</nav>b", "a\nb\n"},
        {"a<div role=\"Navigation\">x<div>y</div>z</div>b", "a\nb\n"},
        {"a<nav>x<div role=navigation>y</div>z</nav>b", "a\nb\n"},
        {"a<div role=navigation>x<nav>y</nav>z</div>b", "a\nb\n"},
        {"a<ul role=navigation><li>x</ul><p>b", "a\n\nb\n"},
        {"a<x-bar role=navigation>x</x-bar>b", "ab\n"},  // unknown: hides, no break
        {"a<nav><br><br><p><hr><table border=1><tr><td>x</table></nav>b", "a\nb\n"},
        {"a<nav/>b", "a\nb\n"},                           // closes itself: hides nothing
        {"a<img role=navigation alt=pic>b", "a[pic]b\n"},  // empty elements hold nothing
        {"a<div role=banner>x</div>b", "a\nx\nb\n"},
        {"a<nav>never closed<p>x", "a\n\n"},          // as "a<div>" ends
        {"a<nav><b>x</nav>b", "a\nb\n"},                  // what stays open inside goes on
    };
    for (const Row& row : rows) {
        const ParsedPage page = parseOnePage(row.page);
        EXPECT_EQ(row.text, page.text) << row.page;
        EXPECT_EQ(page.text.size(), page.textPos) << row.page;
        EXPECT_TRUE(page.rules.empty()) << row.page;
    }

    // The links still record, with no text, and queue their pages in order.
    const ParsedPage page = parseOnePage("<nav id=top><a href=n1.htm>Next</a><a href=n2.htm>Up</a></nav>z");
    EXPECT_EQ((Links{{0, 0, "C:\\site\\n1.htm", ""}, {0, 0, "C:\\site\\n2.htm", ""}}), page.links);
    EXPECT_EQ((Anchors{{1, "top"}}), page.anchors);
    EXPECT_EQ("\nz\n", page.text);

    // A style opened inside is recorded where its text appears after the navigation.
    const ParsedPage styled = parseOnePage("x<nav><b>y</nav>z");
    EXPECT_EQ((Styles{{2, "b"}, {4, ""}}), styled.styles);
}

TEST(NewerMarkup, KeepingNavigationWritesItAsDiv) {
    PageOptions keep;
    keep.keepNavigation = true;
    const ParsedPage page = parseOnePage("a<nav><a href=n.htm>Next</a></nav><div role=navigation>c</div>b", keep);
    EXPECT_EQ("a\nNext\nc\nb\n", page.text);
    EXPECT_EQ((Links{{2, 6, "C:\\site\\n.htm", ""}}), page.links);
}

TEST(NewerMarkup, LeavingOutNavigationKeepsThePagesAndTheirOrder) {
    MemoryIo memory;
    memory.addFile("C:\\s\\a.htm", "<nav><a href=c.htm>c</a><a href=b.htm>b</a></nav><p>A <a href=d.htm>d</a>");
    memory.addFile("C:\\s\\b.htm", "B<nav role=navigation><a href=e.htm>e</a></nav>");
    memory.addFile("C:\\s\\c.htm", "C");
    memory.addFile("C:\\s\\d.htm", "D");
    memory.addFile("C:\\s\\e.htm", "E");
    PassOptions keep;
    keep.keepNavigation = true;
    const PassRun hidden = runPassOver(memory, "C:\\s\\a.htm");
    const PassRun kept = runPassOver(memory, "C:\\s\\a.htm", keep);
    ASSERT_EQ(0, hidden.result);
    ASSERT_EQ(0, kept.result);
    const std::vector<std::string> order = {"C:\\s\\a.htm", "C:\\s\\c.htm", "C:\\s\\b.htm",
                                            "C:\\s\\d.htm", "C:\\s\\e.htm"};
    EXPECT_EQ(order, hidden.pagesAsked);
    EXPECT_EQ(order, kept.pagesAsked);
    EXPECT_EQ("\n\nA d\nC\nB\n\nD\nE\n", hidden.text);
    EXPECT_EQ(1u, hidden.links.size());  // only the link with text
    EXPECT_EQ(4u, kept.links.size());
}

}  // namespace

namespace {

std::string repeated(const std::string& part, int count) {
    std::string out;
    for (int i = 0; i < count; ++i) out += part;
    return out;
}

TEST(NewerMarkup, FloodsOfTheNewConstructsStayBounded) {
    // Deep nesting: every level must close before the text comes back.
    EXPECT_EQ("a\nb\n", parseOnePage("a" + repeated("<nav>", 100000) + "x" + repeated("</nav>", 100000) + "b").text);
    EXPECT_EQ("ab\n", parseOnePage("a" + repeated("<svg>", 100000) + "x" + repeated("</svg>", 100000) + "b").text);
    EXPECT_EQ("a\n\n", parseOnePage("a" + repeated("<nav>", 100000) + "x" + repeated("</nav>", 99999) + "b").text);
    // An ALT of 255 references, each as long as its text may get, arrives whole.
    const ParsedPage alt = parseOnePage("<img alt=\"" + repeated("&#x1F600;", 28) + "\">");
    EXPECT_EQ("[" + std::string(28, '?') + "]\n", alt.text);
    // Thousands of ID anchors at one position are all recorded.
    const ParsedPage ids = parseOnePage(repeated("<span id=x>", 5000) + "t");
    EXPECT_EQ(5000u, ids.anchors.size());
    // A quotation flood writes one mark per tag.
    EXPECT_EQ(std::string(70000, '\x93') + "\n", parseOnePage(repeated("<q>", 70000)).text);
}

}  // namespace
