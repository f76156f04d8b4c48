// One page through parsePage: the text and the records each kind of page gives. The
// page is "C:\site\page.htm" unless a test says otherwise, so its baseDir is "C:\site\".
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "html/tag_handlers.h"
#include "tests/html/parsed_page.h"
#include "tests/support/fault_sweep.h"

namespace {

using Styles = std::vector<StyleAt>;
using Rules = std::vector<RuleAt>;
using Links = std::vector<LinkAt>;
using Anchors = std::vector<AnchorAt>;

std::string repeat(const std::string& part, int count) {
    std::string out;
    for (int i = 0; i < count; ++i) out += part;
    return out;
}

// Rule records of the table borders: full width, centered, unshaded.
RuleAt tableRule(uint32_t position, int32_t size) { return {position, 0, 1, size, -100}; }

TEST(PageText, BreaksBecomeNewlinesBeforeTheNextText) {
    struct Row { const char* page; const char* text; };
    const Row rows[] = {
        {"x", "x\n"},
        {"a<P>b", "a\n\nb\n"},
        {"a<BR>b", "a\nb\n"},
        {"a<BR><BR>b", "a\n\nb\n"},
        {"a<BR><BR><BR><P>b", "a\n\n\nb\n"},       // P asks for 2, three are pending
        {"<H1>T</H1>x", "\nT\n\nx\n"},             // the page start counts as one newline
        {"a<DIV>b</DIV>c", "a\nb\nc\n"},
        {"a<DIV><DIV><CENTER>b", "a\nb\n"},        // one newline per burst
        {"a<P><P><P>b", "a\n\nb\n"},
        {"<P>a", "\n\na\n"},
        {"a\n", "a \n"},                            // a collapsed space stays
        {"a<BLOCKQUOTE>b</BLOCKQUOTE>c", "a\n\nb\n\nc\n"},
        {"a<ADDRESS>b</ADDRESS>c", "a\nb\nc\n"},
        {"a<P>   b   <P>  c", "a\n\nb \n\nc\n"},    // whitespace after a break is dropped
        {"a <B> b</B> c", "a b c\n"},
        {"a<FOO>b<HTML><BODY>c</BODY>", "abc\n"},    // unknown and ignored tags
        {"a<P>", "a\n\n\n"},                        // pending breaks are written at the end
        {"<P>", "\n\n"},
        {"", ""},
        {"   \r\n  ", ""},
    };
    for (const Row& row : rows) {
        const ParsedPage page = parseOnePage(row.page);
        EXPECT_EQ(1, page.result) << row.page;
        EXPECT_EQ(row.text, page.text) << row.page;
        EXPECT_EQ(page.text.size(), page.textPos) << row.page;
        // Every page ends with its page-end record and a default style record.
        EXPECT_EQ(std::vector<uint32_t>{page.textPos}, page.pageEnds) << row.page;
        ASSERT_FALSE(page.styles.empty()) << row.page;
        EXPECT_EQ((StyleAt{page.textPos, ""}), page.styles.back()) << row.page;
    }
}

TEST(PageText, ManyBreaksAndLongTextArriveWhole) {
    // More newlines than one 16-bit repeat can write, and text beyond both buffers.
    const std::string longText(10000, 'q');
    const ParsedPage page = parseOnePage("a" + repeat("<BR>", 70000) + "b" + longText);
    EXPECT_EQ("a" + std::string(70000, '\n') + "b" + longText + "\n", page.text);
}

TEST(PageText, PreformattedTextKeepsSpacesAndDropsCarriageReturns) {
    const ParsedPage page = parseOnePage("<PRE>  a\r\n  b\t&amp;</PRE>c");
    EXPECT_EQ("\n  a\n  b\t&\n\nc\n", page.text);
    EXPECT_EQ((Styles{{1, "mono"}, {12, ""}, {14, ""}}), page.styles);
}

TEST(PageText, XmpIsRawUpToItsEndTagInAnyCase) {
    const ParsedPage page = parseOnePage("<XMP><b>&amp;</X\r<</xmp>z");
    EXPECT_EQ("\n<b>&amp;</X<\n\nz\n", page.text);
    EXPECT_EQ((Styles{{1, "mono"}, {15, ""}, {17, ""}}), page.styles);
    // Unterminated: everything up to the end stays, a partial end tag too.
    EXPECT_EQ("\nab</XM\n", parseOnePage("<XMP>ab</XM").text);
    EXPECT_EQ("\n" + std::string(9000, 'x') + "\n", parseOnePage("<XMP>" + std::string(9000, 'x')).text);
}

TEST(PageText, PlaintextEndsTagsAndFormatting) {
    const ParsedPage page = parseOnePage("<B>a<P><PLAINTEXT><i>x</I>&amp;");
    EXPECT_EQ("a<i>x</I>&\n", page.text);
    EXPECT_EQ((Styles{{0, "b"}, {1, ""}, {11, ""}}), page.styles);
    EXPECT_EQ(std::vector<uint32_t>{11}, page.pageEnds);
}

TEST(PageText, SkippedElementsLeaveNothing) {
    struct Row { const char* page; const char* text; };
    const Row rows[] = {
        {"<STYLE>p {}</STYLE>text", "text\n"},
        {"<SCRIPT>if (a<b && c>d) x();</SCRIPT>ok", "ok\n"},
        {"<NOFRAMES>no <B>frames</B></NOFRAMES>yes", "yes\n"},
        {"<APPLET>a</APPLET><EMBED>b</EMBED><LAYER>c</LAYER><SERVER>d</SERVER>e", "e\n"},
        {"<SCRIPT><SCRIPT>x</SCRIPT>y</SCRIPT>z", "yz\n"},  // nesting is not counted
        {"a</STYLE>b", "ab\n"},
        {"a<SCRIPT>never ended", "a\n"},
    };
    for (const Row& row : rows) {
        const ParsedPage page = parseOnePage(row.page);
        EXPECT_EQ(row.text, page.text) << row.page;
        EXPECT_EQ((Styles{{page.textPos, ""}}), page.styles) << row.page;
    }
}

TEST(PageText, TitleTextStaysOutButTextAfterItsEndTagStays) {
    ParsedPage page = parseOnePage("<TITLE>x</TITLE>Hello<P>");
    EXPECT_EQ("Hello\n\n\n", page.text);
    EXPECT_EQ("x", page.title);
    page = parseOnePage("a<TITLE> The  title ");
    EXPECT_EQ("a\n", page.text);
    EXPECT_EQ("The title ", page.title);
    page = parseOnePage("<TITLE>" + std::string(300, 't') + "<P>b");
    EXPECT_EQ("\n\nb\n", page.text);
    EXPECT_EQ(std::string(255, 't'), page.title);
}

TEST(PageText, DecodedReferencesAreTextNeverMarkup) {
    ParsedPage page = parseOnePage("a &le; b<P>&#x2190;c &#8804;<B>d</B><PRE>&#x2264;x&lt;y</PRE>");
    EXPECT_EQ("a <= b\n\n<-c <=d\n\n<=x<y\n\n\n", page.text);
    // A title's reference that would pass its 255 bytes is left out, not cut, and does
    // not leak into the text.
    page = parseOnePage("<TITLE>" + std::string(254, 't') + "&rarr;</TITLE>x");
    EXPECT_EQ(std::string(254, 't'), page.title);
    EXPECT_EQ("x\n", page.text);
}

TEST(PageStyles, NestedFormattingInAnOrderedListItem) {
    const ParsedPage page = parseOnePage("<OL START=3><LI><I>a <B>b</B> c</I><LI>d</OL>");
    EXPECT_EQ("\na b c\nd\n\n\n", page.text);
    // The marker rides on the first text of each item only, and ends before the
    // newlines that close the list.
    EXPECT_EQ((Styles{{1, "i ind2 li7.3"},
                      {3, "b i ind2"},
                      {4, "i ind2"},
                      {7, "ind2 li7.4"},
                      {8, ""},
                      {11, ""}}),
              page.styles);
}

TEST(PageStyles, ListsAndDefinitionLists) {
    ParsedPage page = parseOnePage("<UL TYPE=square><LI>a<UL><LI>b</UL></UL>c");
    EXPECT_EQ("\na\nb\n\nc\n", page.text);
    // An item without TYPE keeps its list's bullet; the marker ends before the newlines
    // that close the lists.
    EXPECT_EQ((Styles{{1, "ind2 li2.0"}, {3, "ind4 li0.0"}, {4, ""}, {8, ""}}), page.styles);

    // The last START and TYPE win; an item's START sets its number, and its TYPE holds
    // for the items after it.
    page = parseOnePage("<OL START=2 START=4><LI>x<LI TYPE=a TYPE=I START=9>y<LI>z</OL>");
    EXPECT_EQ((Styles{{1, "ind2 li7.4"}, {3, "ind2 li5.9"}, {5, "ind2 li5.10"}, {6, ""}, {9, ""}}),
              page.styles);

    page = parseOnePage("<DL><DT>term<DD>def</DL>after");
    EXPECT_EQ("\nterm\ndef\n\nafter\n", page.text);
    EXPECT_EQ((Styles{{6, "ind1"}, {11, ""}, {17, ""}}), page.styles);

    // Deeper than seven levels the indent stays at 7.
    page = parseOnePage(repeat("<UL><LI>x", 20));
    EXPECT_EQ("\n" + repeat("x\n", 20), page.text);
    EXPECT_EQ((Styles{{1, "ind2 li0.0"}, {3, "ind4 li0.0"}, {5, "ind6 li0.0"}, {7, "ind7 li0.0"}}),
              Styles(page.styles.begin(), page.styles.begin() + std::min<size_t>(4, page.styles.size())));
    ASSERT_EQ(5u, page.styles.size());  // deeper items look alike: no further changes
    EXPECT_EQ((StyleAt{41, ""}), page.styles[4]);
}

TEST(PageStyles, FontSizeAndWeight) {
    struct Row { const char* page; const char* style; };
    const Row rows[] = {
        {"<FONT SIZE=+2 WEIGHT=700>x", "size5 b"},
        {"<FONT SIZE=-1>x", "size2"},
        {"<FONT SIZE=6>x", "size6"},
        {"<FONT SIZE=\" +9\">x", "size7"},
        {"<FONT SIZE=+1 SIZE=2>x", "size5"},  // relative stays once set
        {"<FONT SIZE=\"\" WEIGHT=300>x", "b"},
        {"<B><FONT WEIGHT=100>x", ""},        // 100 to 199: not bold
        {"<B><FONT WEIGHT=50>x", "b"},         // below 100: no change
        {"<BASEFONT SIZE=5>x", "size5"},
        {"<BASEFONT SIZE=5><BASEFONT SIZE=+1>x", "size4"},  // one BASEFONT at a time
        {"<BIG><BIG>x", "size5"},
        {"<H2 ALIGN=center>x", "al1 h size6"},
        {"<CENTER><TT><U><S><SUB><SUP>x", "al1 mono u1 s sub sup"},
        {"<A HREF=y><U>x", "u2"},
    };
    for (const Row& row : rows) {
        const ParsedPage page = parseOnePage(row.page);
        ASSERT_LE(1u, page.styles.size()) << row.page;
        EXPECT_EQ(row.style, page.styles.front().style) << row.page;
    }
}

TEST(PageRules, HorizontalRuleAttributes) {
    struct Row { const char* tag; RuleAt rule; };
    const Row rows[] = {
        {"<HR>", {2, 0, 0, 2, -100}},
        {"<HR WIDTH=\"50%\" SIZE=0 ALIGN=left>", {2, 2, 0, 2, -50}},
        {"<HR ALIGN=RIGHT NOSHADE SIZE=7 WIDTH=300>", {2, 1, 1, 7, 300}},
        {"<HR ALIGN=right ALIGN=middle>", {2, 1, 0, 2, -100}},
        {"<HR WIDTH=150%>", {2, 0, 0, 2, -100}},
        {"<HR WIDTH=-5 SIZE=-3>", {2, 0, 0, 2, -100}},
        {"<HR WIDTH=100%>", {2, 0, 0, 2, -100}},
        {"</HR>", {2, 0, 0, 2, -100}},
    };
    for (const Row& row : rows) {
        const ParsedPage page = parseOnePage(std::string("a") + row.tag + "b");
        EXPECT_EQ("a\n\nb\n", page.text) << row.tag;  // the rule sits on a line of its own
        EXPECT_EQ(Rules{row.rule}, page.rules) << row.tag;
    }
}

TEST(PageRules, BorderedTablesDrawRulesAndUnborderedOnesDoNot) {
    ParsedPage page = parseOnePage("<TABLE BORDER><TR><TD>a<TD>b</TABLE>");
    EXPECT_EQ("\n\na\n\nb\n\n\n\n", page.text);  // each rule has a line of its own
    EXPECT_EQ((Rules{tableRule(1, 3), tableRule(4, 1), tableRule(7, 3)}), page.rules);

    page = parseOnePage("<TABLE BORDER=2><TR><TD>a</TD><TD>b</TD></TR><TR><TD>c</TABLE>");
    EXPECT_EQ((Rules{tableRule(1, 3), tableRule(4, 1), tableRule(7, 2), tableRule(10, 3)}), page.rules);

    page = parseOnePage("<TABLE><TR><TD>a<TD>b</TABLE>x");
    EXPECT_EQ("\na\nb\n\nx\n", page.text);
    EXPECT_TRUE(page.rules.empty());
    page = parseOnePage("<TABLE BORDER=0><TR><TD>a</TABLE>");
    EXPECT_TRUE(page.rules.empty());
    page = parseOnePage("<TABLE BORDER=99><TR><TD>a</TABLE>");
    EXPECT_EQ(2u, page.rules.size());

    // A cell starts in the default style and aligns as it says.
    page = parseOnePage("<B><TABLE ALIGN=center><TR><TD ALIGN=right>a<TH>b</TABLE>");
    EXPECT_EQ((Styles{{1, "al2"}, {3, "b"}, {7, ""}}), page.styles);
}

TEST(PageRules, BreaksBetweenTableCellsAreIgnored) {
    EXPECT_EQ("\na\n\n\n", parseOnePage("<TABLE><BR><TR><BR><TD>a</TABLE>").text);
    EXPECT_EQ("\na\nb\n\n\n", parseOnePage("<TABLE><TR><TD>a<BR>b</TABLE>").text);
    EXPECT_EQ("\na\n\n\n", parseOnePage("<TABLE><TR><TD>a</TD><BR></TABLE>").text);
    EXPECT_EQ("a\nb\n", parseOnePage("<TABLE></TABLE>a<BR>b").text.substr(2));
}

TEST(PageLinks, LinksAndAnchorsAreRecordedAtTextPositions) {
    ParsedPage page = parseOnePage("<A HREF=\"#s\">go</A> <A HREF=\"b.htm#s\">on</A>");
    EXPECT_EQ((Links{{0, 2, "C:\\site\\page.htm", "s"}, {3, 5, "C:\\site\\b.htm", "s"}}), page.links);

    page = parseOnePage("<A HREF=\"sub/../c.htm\">x<B>y</B>z</A>w");
    EXPECT_EQ((Links{{0, 3, "C:\\site\\c.htm", ""}}), page.links);
    EXPECT_EQ((Styles{{0, "u2"}, {1, "b u2"}, {2, "u2"}, {3, ""}, {5, ""}}), page.styles);

    // A second HREF closes the first link; NAME anchors go where the text is.
    page = parseOnePage("a<A HREF=x.htm NAME=n1>b<A HREF=y.htm NAME=\"\">c</A><A NAME=n2>d");
    EXPECT_EQ((Links{{1, 2, "C:\\site\\x.htm", ""}, {2, 3, "C:\\site\\y.htm", ""}}), page.links);
    EXPECT_EQ((Anchors{{1, "n1"}, {3, "n2"}}), page.anchors);

    // A link left open at the end of the page is not recorded.
    page = parseOnePage("<A HREF=\"b.htm\">never closed");
    EXPECT_TRUE(page.links.empty());

    // A link does not start with the newlines written before its text.
    page = parseOnePage("a<P><A HREF=\"b.htm\"><P>text</A>");
    EXPECT_EQ((Links{{3, 7, "C:\\site\\b.htm", ""}}), page.links);

    // References that give no page name are dropped.
    page = parseOnePage("<A HREF=\"../../x.htm\">x</A><A HREF=\"" + std::string(250, 'n') + "\">y</A>");
    EXPECT_TRUE(page.links.empty());
}

TEST(PageLinks, AnchorsMovePastTheNewlinesWrittenWhereTheyPoint) {
    ParsedPage page = parseOnePage("<A NAME=\"n\"></A><P>x");
    EXPECT_EQ("\n\nx\n", page.text);
    EXPECT_EQ((Anchors{{2, "n"}}), page.anchors);

    page = parseOnePage("a<A NAME=\"n\">b");
    EXPECT_EQ((Anchors{{1, "n"}}), page.anchors);  // text follows directly: stays

    page = parseOnePage("<A NAME=n></A>" + repeat("<BR>", 70000) + "x");
    EXPECT_EQ((Anchors{{70000, "n"}}), page.anchors);
}

TEST(PageLinks, BaseReplacesTheDirectoryWithItsFirstAbsoluteHref) {
    ParsedPage page = parseOnePage("<BASE HREF=\"rel/\" HREF=\"D:\\other\\x\\..\\\"><A HREF=\"c.htm\">c</A>");
    EXPECT_EQ((Links{{0, 1, "D:\\other\\c.htm", ""}}), page.links);
    page = parseOnePage("<BASE HREF=\"http://host/d/\"><A HREF=\"/x.htm#f\">c</A><A HREF=\"#g\">d</A>");
    EXPECT_EQ((Links{{0, 1, "http://host/x.htm", "f"}, {1, 2, "C:\\site\\page.htm", "g"}}), page.links);
    page = parseOnePage("<BASE HREF=\"rel/\"><A HREF=\"c.htm\">c</A>");
    EXPECT_EQ((Links{{0, 1, "C:\\site\\c.htm", ""}}), page.links);
}

TEST(PageLinks, FramesetQueuesItsFramesAtItsOwnDepth) {
    PageOptions options;
    options.depth = 3;
    const ParsedPage page = parseOnePage(
        "text<FRAMESET><FRAME SRC=\"a.htm\"><FRAME SRC=\"../b.htm\"><FRAME><FRAME SRC=\"../../c\">"
        "</FRAME><FRAME SRC=\"http://h/d.htm\"></FRAMESET><P>after",
        options);
    EXPECT_EQ("text\n", page.text);
    EXPECT_EQ((std::vector<QueuedPage>{{3, "C:\\site\\a.htm"}, {3, "C:\\b.htm"}, {3, "http://h/d.htm"}}),
              page.queued);
    EXPECT_EQ(std::vector<uint32_t>{5}, page.pageEnds);
}

TEST(PageBadInput, DeepNestingAndFloodsConvertWithTheirText) {
    // Thousands of unclosed elements: the stack keeps 256, the text is all there.
    ParsedPage page = parseOnePage(repeat("<B><I><DIV><FONT SIZE=+1><BLOCKQUOTE>w", 3000));
    EXPECT_EQ(3000u, static_cast<size_t>(std::count(page.text.begin(), page.text.end(), 'w')));

    // Tables nested past the 16 recorded levels, and closed again.
    page = parseOnePage(repeat("<TABLE BORDER><TR><TD>x", 40) + repeat("</TABLE>", 45) + "end");
    EXPECT_EQ(40u, static_cast<size_t>(std::count(page.text.begin(), page.text.end(), 'x')));
    // Every bordered table draws its top rule; only the 16 recorded levels their bottom.
    EXPECT_EQ(56u, page.rules.size());
    EXPECT_NE(std::string::npos, page.text.find("end"));

    // 10000 anchors, every one recorded.
    std::string anchors;
    for (int i = 0; i < 10000; ++i) anchors += "<A NAME=a" + std::to_string(i) + ">" + "t";
    page = parseOnePage(anchors);
    ASSERT_EQ(10000u, page.anchors.size());
    EXPECT_EQ((AnchorAt{9999, "a9999"}), page.anchors.back());

    // Nested lists and tables far past every limit.
    page = parseOnePage(repeat("<OL><LI><TABLE><TR><TD><DL><DD>", 2000) + "deep");
    EXPECT_NE(std::string::npos, page.text.find("deep"));
    EXPECT_EQ(1, page.result);
}

TEST(PageBadInput, AFailedWriteEndsThePageAndIsReported) {
    const std::string html = "<H1>Title</H1><A NAME=n>x</A><P>" + std::string(5000, 'a') +
                             "<A HREF=b.htm>b</A><HR><TABLE BORDER><TR><TD>c</TABLE>";
    const ParsedPage clean = parseOnePage(html);
    ASSERT_EQ(0, clean.writeFailed);
    forEachFault(30, [&](int k) {
        PageOptions options;
        options.beforeParse = [k](CountingIo& io) { io.failAt(IoOp::Write, io.calls(IoOp::Write) + k); };
        const ParsedPage page = parseOnePage(html, options);
        EXPECT_EQ(1, page.result) << k;
        EXPECT_EQ(page.faultFired ? 1 : 0, page.writeFailed) << k;
    });
    // A failed seek may hit the page's input (it then ends early) or a record stream.
    forEachFault(60, [&](int k) {
        PageOptions options;
        options.beforeParse = [k](CountingIo& io) { io.failAt(IoOp::Seek, io.calls(IoOp::Seek) + k); };
        EXPECT_EQ(1, parseOnePage(html, options).result) << k;
    });
    forEachFault(20, [&](int k) {
        PageOptions options;
        options.beforeParse = [k](CountingIo& io) { io.shortAt(IoOp::Write, io.calls(IoOp::Write) + k); };
        const ParsedPage page = parseOnePage(html, options);
        EXPECT_EQ(1, page.result) << k;
        EXPECT_EQ(page.faultFired ? 1 : 0, page.writeFailed) << k;
    });
}

TEST(TagValues, DecimalNumbersReadLikeTheCLibrary) {
    EXPECT_EQ(12, readDecimal(" \t+12px"));
    EXPECT_EQ(-7, readDecimal("-7"));
    EXPECT_EQ(0, readDecimal("x1"));
    EXPECT_EQ(0, readDecimal(""));
    EXPECT_EQ(2147483647, readDecimal("99999999999999999999"));
    EXPECT_EQ(-2147483647, readDecimal("-99999999999999999999"));
}

}  // namespace
