// HTML sites converted from end to end: convertDocument writes the database, the book
// reader decodes its text and its format, link, rule and page-boundary records, and the
// tests check what they say against the pages: which pages were converted in what
// order, where every link lands, and that runs and boundaries cover the text exactly.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "engine/book_reader.h"
#include "driver/conversion.h"
#include "html/page_records.h"
#include "tests/engine/engine_fixtures.h"
#include "tests/support/counting_io.h"
#include "tests/support/fault_sweep.h"
#include "tests/support/memory_io.h"

namespace {

const std::string kDir = "C:\\site\\";

struct Link {
    uint32_t start, end, target;
    bool operator==(const Link&) const = default;
};

// What a database holds, decoded.
struct Book {
    int32_t bookResult = -1;
    std::string text;
    DocumentHeaderRecord recordZero{};
    std::vector<FormatRun> runs;
    std::vector<Link> links;              // consecutive entries of one target joined
    std::vector<uint32_t> rulePositions;  // spacers left out
    std::vector<uint32_t> pageEnds;
};

Book readBook(MemoryIo& memory, const std::string& name) {
    Book book;
    const IoOps& io = memory.ops();
    const uint32_t stream = io.openStream(io.userData, name.c_str(), 0);
    if (stream == 0) return book;
    BookReader reader{};
    int32_t rc = bookOpen(io, stream, reader);
    const uint32_t text = io.createTempStream(io.userData);
    if (rc == BookOk) rc = bookReadText(reader, text);
    const std::vector<uint8_t> bytes = memory.bytesOfHandle(text);
    book.text.assign(bytes.begin(), bytes.end());
    book.recordZero = reader.recordZero;
    int32_t first = 0, count = 0;
    bookDocumentRun(reader, DocumentFormat, first, count);
    auto format = std::make_unique<DecodedFormatRecord>();
    for (int32_t n = 0; rc == BookOk && n < count; ++n) {
        rc = bookReadFormatRecord(reader, n, *format);
        if (rc == BookOk) book.runs.insert(book.runs.end(), format->runs, format->runs + format->count);
    }
    bookDocumentRun(reader, DocumentLink, first, count);
    auto link = std::make_unique<DecodedLinkRecord>();
    uint32_t lastPiece = 0;  // length of the last entry joined
    for (int32_t n = 0; rc == BookOk && n < count; ++n) {
        rc = bookReadLinkRecord(reader, n, *link);
        for (int32_t e = 0; rc == BookOk && e < link->count; ++e) {
            const LinkEntry& entry = link->entries[e];
            if (entry.length == 0) continue;  // a spacer
            // A link longer than 255 comes in full pieces of 255 and the rest.
            if (lastPiece == 255 && book.links.back().end == entry.position && book.links.back().target == entry.target)
                book.links.back().end += entry.length;
            else
                book.links.push_back({entry.position, entry.position + entry.length, entry.target});
            lastPiece = entry.length;
        }
    }
    bookDocumentRun(reader, DocumentRule, first, count);
    auto rule = std::make_unique<DecodedRuleRecord>();
    for (int32_t n = 0; rc == BookOk && n < count; ++n) {
        rc = bookReadRuleRecord(reader, n, *rule);
        for (int32_t e = 0; rc == BookOk && e < rule->count; ++e)
            if (rule->entries[e].kind == 1) book.rulePositions.push_back(rule->entries[e].position);
    }
    bookDocumentRun(reader, DocumentBoundary, first, count);
    auto boundary = std::make_unique<DecodedBoundaryRecord>();
    for (int32_t n = 0; rc == BookOk && n < count; ++n) {
        rc = bookReadBoundaryRecord(reader, n, *boundary);
        if (rc == BookOk)
            book.pageEnds.insert(book.pageEnds.end(), boundary->boundaries + 1, boundary->boundaries + boundary->count);
    }
    book.bookResult = rc;
    bookClose(reader);
    io.closeStream(io.userData, text);
    io.closeStream(io.userData, stream);
    return book;
}

struct Site {
    MemoryIo memory;
    Site(std::initializer_list<std::pair<const std::string, std::string>> pages) {
        // The root opens with an HTML tag, so the driver takes it for HTML; the tag
        // itself adds nothing.
        for (const auto& [name, html] : pages) memory.addFile(kDir + name, (name == "index.htm" ? "<HTML>" : "") + html);
    }
    // Converts from index.htm; the result code goes to `result`.
    Book convert(int32_t maxDepth, int32_t* result = nullptr) {
        memory.removeFile("out.pdb");
        const std::string root = kDir + "index.htm";
        ConversionJob job = defaultJob(memory.ops(), root.c_str(), "out.pdb");
        job.maxDepth = maxDepth;
        const int32_t code = convertDocument(job);
        if (result != nullptr) *result = code;
        EXPECT_EQ(ResultOk, code);
        return readBook(memory, "out.pdb");
    }
};

// What every converted site satisfies: the database decodes; its format runs cover the
// text from 0 to the end; with two or more pages the boundaries end each page and the
// last one ends the text; links lie in the text and lead into it.
void expectSound(const Book& book) {
    ASSERT_EQ(BookOk, book.bookResult) << bookResultName(book.bookResult);
    uint32_t covered = 0;
    for (const FormatRun& run : book.runs) {
        EXPECT_EQ(covered, run.start);
        covered += run.length;
    }
    EXPECT_EQ(book.text.size(), covered);
    EXPECT_EQ(book.recordZero.pageCount > 1 ? book.recordZero.pageCount : 0u, book.pageEnds.size());
    if (!book.pageEnds.empty()) {
        EXPECT_TRUE(std::is_sorted(book.pageEnds.begin(), book.pageEnds.end()));
        EXPECT_EQ(book.text.size(), book.pageEnds.back());
    }
    for (const Link& link : book.links) {
        EXPECT_LT(link.start, link.end);
        EXPECT_LE(link.end, book.text.size());
        // A page that added no text (a frameset) has its top at the end of the text.
        EXPECT_LE(link.target, book.text.size());
    }
}

// The text a page made by `page` gives: "<P>name" and one link per target.
std::string page(const std::string& name, const std::vector<std::string>& targets = {}) {
    std::string html = "<P>" + name;
    for (const std::string& target : targets) html += " <A HREF=\"" + target + "\">" + target + "</A>";
    return html;
}
std::string pageText(const std::string& name, const std::vector<std::string>& targets = {}) {
    std::string text = "\n\n" + name;
    for (const std::string& target : targets) text += " " + target;
    return text + "\n";
}

TEST(HtmlBook, DepthDecidesThePagesAndTheirOrder) {
    Site chain{{"index.htm", page("index", {"a.htm"})},
               {"a.htm", page("a", {"b.htm"})},
               {"b.htm", page("b", {"c.htm"})},
               {"c.htm", page("c")}};
    Site tree{{"index.htm", page("index", {"a.htm", "b.htm"})},
              {"a.htm", page("a", {"c.htm", "d.htm"})},
              {"b.htm", page("b", {"e.htm"})},
              {"c.htm", page("c")},
              {"d.htm", page("d")},
              {"e.htm", page("e")}};
    const std::string chainPages[] = {pageText("index", {"a.htm"}), pageText("a", {"b.htm"}),
                                      pageText("b", {"c.htm"}), pageText("c")};
    const std::string treePages[] = {pageText("index", {"a.htm", "b.htm"}), pageText("a", {"c.htm", "d.htm"}),
                                     pageText("b", {"e.htm"}), pageText("c"), pageText("d"), pageText("e")};
    struct Row { int32_t maxDepth; int chainCount; int treeCount; };
    for (const Row& row : {Row{0, 1, 1}, Row{1, 2, 3}, Row{-1, 4, 6}}) {
        Book book = chain.convert(row.maxDepth);
        expectSound(book);
        std::string expected;
        for (int i = 0; i < row.chainCount; ++i) expected += chainPages[i];
        EXPECT_EQ(expected, book.text) << "chain " << row.maxDepth;
        EXPECT_EQ(row.chainCount, book.recordZero.pageCount);
        // Each link lands on the top of the next page, when that page was converted.
        EXPECT_EQ(static_cast<size_t>(row.chainCount - 1), book.links.size());
        for (size_t i = 0; i < book.links.size(); ++i) EXPECT_EQ(book.pageEnds[i], book.links[i].target);

        book = tree.convert(row.maxDepth);
        expectSound(book);
        expected.clear();
        for (int i = 0; i < row.treeCount; ++i) expected += treePages[i];
        EXPECT_EQ(expected, book.text) << "tree " << row.maxDepth;  // breadth first
    }
}

TEST(HtmlBook, ShorterPathsFramesAndTheFirstPageTooDeep) {
    // Queue: index, a, b (1), x (2, from a), f (1, b's frame), z (3 from x, 2 from f).
    Site site{{"index.htm", page("index", {"a.htm", "b.htm"})},
              {"a.htm", page("a", {"x.htm"})},
              {"b.htm", "<FRAMESET><FRAME SRC=\"f.htm\"></FRAMESET>"},
              {"x.htm", page("x", {"z.htm"})},
              {"f.htm", page("f", {"z.htm"})},
              {"z.htm", page("z")}};
    Book book = site.convert(2);
    expectSound(book);
    EXPECT_NE(std::string::npos, book.text.find("\n\nz\n")) << "z got the shorter depth";
    EXPECT_EQ(5, book.recordZero.pageCount) << "the frameset page adds no text";
    book = site.convert(1);
    expectSound(book);
    EXPECT_EQ(std::string::npos, book.text.find("\n\nf")) << "the loop ends at x, before f";
    book = site.convert(0);
    EXPECT_EQ(0u, book.links.size()) << "links beyond the depth carry no record";
    EXPECT_EQ(0, book.recordZero.linkCount);
}

TEST(HtmlBook, LinksLandOnTheirAnchorsOrPageTops) {
    Site site{{"index.htm",
               "<A HREF=\"#top\">up</A> <A HREF=\"b.htm#Mid\">mid</A> <A HREF=\"b.htm#none\">b</A>"
               " <A HREF=\"B.HTM\">B</A> <A HREF=\"gone.htm\">gone</A><A NAME=TOP>here</A>"},
              {"b.htm", "b start<P><A NAME=\"mid\"></A><P>b middle"}};
    const Book book = site.convert(-1);
    expectSound(book);
    const std::string index = "up mid b B gonehere\n";
    ASSERT_EQ(index + "b start\n\nb middle\n", book.text);
    const uint32_t top = static_cast<uint32_t>(index.find("here"));
    const uint32_t bTop = static_cast<uint32_t>(index.size());
    const uint32_t bMiddle = static_cast<uint32_t>(book.text.find("b middle"));
    EXPECT_EQ((std::vector<Link>{{0, 2, top}, {3, 6, bMiddle}, {7, 8, bTop}, {9, 10, bTop}}), book.links);
    EXPECT_EQ((std::vector<uint32_t>{bTop, static_cast<uint32_t>(book.text.size())}), book.pageEnds);
}

TEST(HtmlBook, ManyAnchorsAndAnchorsSharingAHash) {
    // Two names with one hash, found once by a search over random eight-letter names.
    const std::string first = "whyiwpih", second = "bkwwnydi";
    ASSERT_EQ(nameHash(first.c_str()), nameHash(second.c_str()));

    // index: 4001 anchors, one character each, and links to the last and an early one;
    // b: the two anchors that share a hash, and links to each, from b and from index.
    std::string index;
    for (int i = 1; i <= 4001; ++i) index += "<A NAME=a" + std::to_string(i) + ">.</A>";
    index += "<P><A HREF=\"#a4001\">to 4001</A> <A HREF=\"#A17\">to 17</A>";
    index += " <A HREF=\"b.htm#" + second + "\">to two</A>";
    const std::string b = "<A NAME=\"" + first + "\">one</A> <A NAME=\"" + second + "\">two</A>" +
                          "<P><A HREF=\"#" + second + "\">to two</A> <A HREF=\"#" + first + "\">to one</A>";
    Site site{{"index.htm", index}, {"b.htm", b}};
    const Book book = site.convert(-1);
    expectSound(book);
    ASSERT_EQ(2u, book.pageEnds.size());
    const uint32_t one = book.pageEnds[0];  // b's text begins with "one two"
    const uint32_t two = one + 4;
    ASSERT_EQ("one two", book.text.substr(one, 7));
    ASSERT_EQ(5u, book.links.size());
    EXPECT_EQ(4000u, book.links[0].target);
    EXPECT_EQ(16u, book.links[1].target);
    EXPECT_EQ(two, book.links[2].target) << "from another page, after all pages";
    EXPECT_EQ(two, book.links[3].target);
    EXPECT_EQ(one, book.links[4].target);
}

TEST(HtmlBook, RulesLongLinksAndPagesAcrossTheRecords) {
    std::string index = "<HR WIDTH=50%>";
    for (int i = 0; i < 300; ++i) index += "<P>" + std::to_string(i) + "<HR>";
    index += "<A HREF=\"b.htm\">" + std::string(600, 'L') + "</A>" + std::string(70000, 'x');
    Site site{{"index.htm", index}, {"b.htm", "<B>" + std::string(66000, 'b') + "</B>"}};
    const Book book = site.convert(-1);
    expectSound(book);
    EXPECT_EQ(301u, book.rulePositions.size());
    for (uint32_t position : book.rulePositions) {
        ASSERT_LT(position, book.text.size());
        EXPECT_TRUE(position == 0 || book.text[position - 1] == '\n') << "a rule starts a line";
    }
    ASSERT_EQ(1u, book.links.size());
    EXPECT_EQ(600u, book.links[0].end - book.links[0].start);
    EXPECT_EQ(book.pageEnds[0], book.links[0].target);
    EXPECT_EQ(2, book.recordZero.pageCount);
    EXPECT_GT(book.recordZero.ruleCount, 1);  // 301 rules need two records
}

// A fault at any one call either fails the conversion, cancels it, or leaves a database
// that decodes to exactly what a clean conversion gives (a page that could not be opened
// aside).
TEST(HtmlBook, AFaultAtAnyCallFailsOrChangesNothing) {
    Site site{{"index.htm", "<H1>Home</H1>" + page("index", {"a.htm#n", "b.htm"})},
              {"a.htm", "<A NAME=n>A</A><HR><TABLE BORDER><TR><TD>cell</TABLE>" + page("a", {"b.htm"})},
              {"b.htm", "<UL><LI>b<LI><A HREF=\"index.htm\">home</A></UL>"}};
    const Book clean = site.convert(-1);
    expectSound(clean);
    const std::string root = kDir + "index.htm";
    auto job = [&root](const IoOps& io) {
        ConversionJob all = defaultJob(io, root.c_str(), "out.pdb");
        all.maxDepth = -1;
        return all;
    };
    CountingIo probe(site.memory.ops());
    site.memory.removeFile("out.pdb");
    ASSERT_EQ(ResultOk, convertDocument(job(probe.ops())));
    const int total = probe.calls(IoOp::Any);
    // The HTML sniff runs between its context's allocation and its release; a fault
    // there makes the source plain text, by design, and that converts too.
    const std::vector<IoCall>& probeLog = probe.log();
    int sniffFirst = 0, sniffLast = 0, frees = 0;
    for (int i = 0; i < total && frees < 2; ++i) {
        if (sniffFirst == 0 && probeLog[static_cast<size_t>(i)].op == IoOp::Alloc) sniffFirst = i + 1;
        if (sniffFirst != 0 && probeLog[static_cast<size_t>(i)].op == IoOp::Free && ++frees == 2) sniffLast = i + 1;
    }
    ASSERT_LT(0, sniffFirst);
    forEachFailOrShort(total, [&](int k, bool shorten) {
        site.memory.removeFile("out.pdb");
        CountingIo counting(site.memory.ops());
        failOrShortAt(counting, IoOp::Any, k, shorten);
        const int32_t result = convertDocument(job(counting.ops()));
        expectNothingHeld(counting);
        if (result != ResultOk || (k >= sniffFirst && k <= sniffLast)) return;
        const std::vector<IoCall>& log = counting.log();
        if (!shorten && log.size() >= static_cast<size_t>(k) && log[static_cast<size_t>(k) - 1].op == IoOp::Open)
            return;  // a page that could not be opened is left out
        const Book book = readBook(site.memory, "out.pdb");
        EXPECT_EQ(BookOk, book.bookResult) << k;
        EXPECT_EQ(clean.text, book.text) << (shorten ? "short " : "fail ") << k;
        EXPECT_EQ(clean.links, book.links) << k;
        EXPECT_EQ(clean.rulePositions, book.rulePositions) << k;
        EXPECT_EQ(clean.pageEnds, book.pageEnds) << k;
        EXPECT_EQ(clean.runs.size(), book.runs.size()) << k;
    });
}

}  // namespace
