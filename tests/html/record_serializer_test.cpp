// The document records are read by the handheld, so their bytes are pinned exactly:
// big-endian fields, block limits, runs split at 65536 characters, spacers and escape
// pairs, and one host-order offset per record.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "engine/checked_io.h"
#include "html/page_records.h"
#include "html/record_serializer.h"
#include "tests/html/record_streams.h"
#include "tests/support/fault_sweep.h"

namespace {

using Bytes = std::vector<uint8_t>;

void be16(Bytes& out, uint32_t value) {
    out.push_back(static_cast<uint8_t>(value >> 8));
    out.push_back(static_cast<uint8_t>(value));
}

void be32(Bytes& out, uint32_t value) {
    be16(out, value >> 16);
    be16(out, value & 0xFFFF);
}

Bytes slice(const Bytes& bytes, size_t from, size_t length) {
    if (from + length > bytes.size()) return Bytes{};
    return Bytes(bytes.begin() + from, bytes.begin() + from + length);
}

// The offset stream as host-order u32 values.
std::vector<uint32_t> offsetsOf(const Bytes& bytes) {
    std::vector<uint32_t> offsets(bytes.size() / 4);
    if (!offsets.empty()) std::memcpy(offsets.data(), bytes.data(), offsets.size() * 4);
    return offsets;
}

// Temporary streams of the pass plus the record and offset streams of the request.
struct Serializer {
    RecordStreams streams;
    uint32_t records = streams.extraStream();
    uint32_t offsets = streams.extraStream();
    HtmlContext& context = streams.context();
    const IoOps& io = streams.io();

    Bytes recordBytes() const { return streams.bytes(records); }
    std::vector<uint32_t> offsetValues() const { return offsetsOf(streams.bytes(offsets)); }

    void styleAt(uint32_t position, const StyleRecord& style) {
        ASSERT_TRUE(writeStyleChange(context, position, style));
    }
    // A link as resolution leaves it, with its names behind it.
    void link(uint32_t start, uint32_t end, uint32_t target, bool resolved = true,
              const std::string& path = "page.htm", const std::string& fragment = "") {
        LinkRecord record{};
        record.nextSameTarget = -1;
        record.startPos = start;
        record.endPos = end;
        record.targetPos = target;
        record.flags = resolved ? kLinkResolved : 0;
        record.pathLength = static_cast<uint16_t>(path.size());
        record.fragmentLength = static_cast<uint16_t>(fragment.size());
        const std::string names = path + fragment;
        ASSERT_LE(0, streamSize(io, context.linkStream));
        ASSERT_TRUE(writeExact(io, context.linkStream, &record, sizeof record));
        ASSERT_TRUE(writeExact(io, context.linkStream, names.data(), static_cast<int32_t>(names.size())));
    }
    void rule(uint32_t position, int32_t align, int32_t noShade, int32_t size, int32_t width) {
        ASSERT_TRUE(writeRuleRecord(context, position, align, noShade, size, width));
    }
    void pageEnd(uint32_t position) { ASSERT_TRUE(writePageEndRecord(context, position)); }

    int format(int32_t* count) { return writeFormatRecords(io, context.styleStream, records, offsets, count); }
    int links(int32_t* count) { return writeLinkRecords(io, context.linkStream, records, offsets, count); }
    int rules(int32_t* count) { return writeRuleRecords(io, context.layoutStream, records, offsets, count); }
    int pages(int32_t* count, int32_t* pageCount) {
        return writePageRecords(io, context.layoutStream, records, offsets, count, pageCount);
    }
};

StyleRecord boldStyle() {
    StyleRecord style = defaultStyle();
    style.bold = 1;
    return style;
}

}  // namespace

TEST(FormatRecords, TextLongerThan65536CharactersIsCutIntoTwoRuns) {
    Serializer s;
    s.styleAt(0, boldStyle());
    s.styleAt(65536 + 4464, defaultStyle());
    int32_t count = -1;
    ASSERT_EQ(1, s.format(&count));
    EXPECT_EQ(1, count);
    Bytes expected;
    be16(expected, 0);       // high word of the first run's start
    be16(expected, 1);       // high word of the last run's end
    be16(expected, 2);       // runs
    be16(expected, 0);       // start 0
    be16(expected, 0);       // start 65536
    be16(expected, 4464);    // end 70000, low word
    be16(expected, 0x0023);  // size 3, bold
    be16(expected, 0x0023);
    be16(expected, 0);       // extra words
    EXPECT_EQ(expected, s.recordBytes());
    EXPECT_EQ(std::vector<uint32_t>{0}, s.offsetValues());
}

TEST(FormatRecords, The257thRunStartsASecondRecordCarryingTheHighWord) {
    Serializer s;
    for (uint32_t i = 0; i <= 257; ++i) s.styleAt(300 * i, i % 2 ? defaultStyle() : boldStyle());
    int32_t count = -1;
    ASSERT_EQ(1, s.format(&count));
    EXPECT_EQ(2, count);
    const Bytes bytes = s.recordBytes();
    const size_t firstSize = 10 + 4 * 256;
    ASSERT_EQ(firstSize + 14, bytes.size());
    EXPECT_EQ((std::vector<uint32_t>{0, static_cast<uint32_t>(firstSize)}), s.offsetValues());
    Bytes firstHeader;
    be16(firstHeader, 0);    // starts at 0
    be16(firstHeader, 1);    // ends at 76800
    be16(firstHeader, 256);
    EXPECT_EQ(firstHeader, slice(bytes, 0, 6));
    Bytes second;
    be16(second, 1);                 // the first record's end high word
    be16(second, 1);                 // ends at 77100
    be16(second, 1);                 // one run
    be16(second, 76800 - 65536);     // starts where the first record ended
    be16(second, 77100 - 65536);
    be16(second, 0x0023);            // the 257th run is bold
    be16(second, 0);
    EXPECT_EQ(second, slice(bytes, firstSize, 14));
}

TEST(FormatRecords, AttributeAndExtraWordBits) {
    StyleRecord indented = defaultStyle();
    indented.indent = 2;
    StyleRecord thirdItem = defaultStyle();  // first text of the third item of a plain OL
    thirdItem.listMarker = 1;
    thirdItem.listType = 7;
    thirdItem.listNumber = 3;
    thirdItem.indent = 2;
    StyleRecord bullet = defaultStyle();  // unordered: no number bits
    bullet.listMarker = 1;
    bullet.listType = 1;
    bullet.listNumber = 5;
    bullet.indent = 9;                    // indent & 7
    StyleRecord strangeType = defaultStyle();
    strangeType.listMarker = 1;
    strangeType.listType = 9;             // outside 0..7: no type or number bits
    strangeType.listNumber = 2;
    StyleRecord mixedA = defaultStyle();
    mixedA.fontSize = 6;
    mixedA.heading = 1;
    mixedA.monospace = 1;
    mixedA.underline = 2;
    mixedA.italic = 1;
    mixedA.subscript = 1;
    mixedA.alignment = 1;
    StyleRecord mixedB = defaultStyle();
    mixedB.fontSize = 9;
    mixedB.bold = 1;
    mixedB.underline = 1;
    mixedB.strike = 1;
    mixedB.superscript = 1;
    mixedB.alignment = 2;
    mixedB.heading = 2;                   // a flag counts only when it is exactly 1
    mixedB.listType = 7;                  // list fields without a marker give no extra word

    Serializer s;
    const StyleRecord styles[] = {indented, thirdItem, bullet, strangeType, mixedA, mixedB};
    uint32_t position = 0;
    for (const StyleRecord& style : styles) s.styleAt(position++ * 10, style);
    s.styleAt(60, defaultStyle());
    int32_t count = -1;
    ASSERT_EQ(1, s.format(&count));
    Bytes expected;
    be16(expected, 0);
    be16(expected, 0);
    be16(expected, 6);
    for (uint32_t start = 0; start < 60; start += 10) be16(expected, start);
    be16(expected, 60);
    for (uint32_t word : {0x8003u, 0x8003u, 0x8003u, 0x8003u, 0x159Eu, 0x2A61u}) be16(expected, word);
    be16(expected, 4);
    for (uint32_t word : {0x0002u, 0x027Au, 0x0049u, 0x0040u}) be16(expected, word);
    EXPECT_EQ(expected, s.recordBytes());
}

TEST(FormatRecords, NoRunWithoutTextBetweenChangesAndNoRecordWithoutRuns) {
    Serializer s;
    s.styleAt(0, boldStyle());
    s.styleAt(0, defaultStyle());  // replaces the bold before any text
    int32_t count = -1;
    ASSERT_EQ(1, s.format(&count));
    EXPECT_EQ(0, count);
    EXPECT_TRUE(s.recordBytes().empty());
    EXPECT_TRUE(s.offsetValues().empty());
}

TEST(LinkRecords, A600CharacterLinkGivesThreeEntriesAndSkippedLinksGiveNone) {
    Serializer s;
    s.link(10, 20, 0x1234, false);                  // never resolved
    s.link(30, 40, 0xFFFFFFFF, true, "gone.htm");   // target page never converted
    s.link(1000, 1600, 0x00012345, true, "b.htm", "section");
    s.link(1700, 1700, 7);                          // empty: no entry
    int32_t count = -1;
    ASSERT_EQ(1, s.links(&count));
    EXPECT_EQ(1, count);
    Bytes expected;
    be16(expected, 0);  // high word of the first entry
    be16(expected, 0);  // high word of the last entry's end
    be16(expected, 3);
    be16(expected, 1000);
    be16(expected, 1255);
    be16(expected, 1510);
    be16(expected, 1600);  // end of the last entry
    for (uint8_t length : {255, 255, 90}) expected.push_back(length);
    for (int i = 0; i < 3; ++i) expected.push_back(0);
    for (int i = 0; i < 3; ++i) be32(expected, 0x00012345);
    EXPECT_EQ(expected, s.recordBytes());
}

TEST(LinkRecords, SpacersKeepEntriesWithin65536AndNoLinkGivesNoRecord) {
    Serializer none;
    none.link(5, 9, 0xFFFFFFFF);
    int32_t count = -1;
    ASSERT_EQ(1, none.links(&count));
    EXPECT_EQ(0, count);
    EXPECT_TRUE(none.recordBytes().empty());

    Serializer s;
    s.link(10, 15, 77);
    s.link(200000, 200004, 88);
    ASSERT_EQ(1, s.links(&count));
    EXPECT_EQ(1, count);
    Bytes expected;
    be16(expected, 0);
    be16(expected, 200004 >> 16);
    be16(expected, 5);
    for (uint32_t position : {10u, 65546u, 131082u, 196618u, 200000u}) be16(expected, position & 0xFFFF);
    be16(expected, 200004 & 0xFFFF);
    for (uint8_t length : {5, 0, 0, 0, 4}) expected.push_back(length);
    for (int i = 0; i < 5; ++i) expected.push_back(0);
    for (uint32_t target : {77u, 0u, 0u, 0u, 88u}) be32(expected, target);
    EXPECT_EQ(expected, s.recordBytes());
}

TEST(RuleRecords, FlagsAndWidthWordsOfEachRuleKind) {
    Serializer s;
    s.rule(70, 2, 1, 3, -50);     // left, no shade, 50 percent
    s.pageEnd(75);                // not a rule
    s.rule(80, 1, 0, -1, -100);   // right, full width: no width word
    s.rule(90, 0, 0, 20, 5000);   // pixels, capped
    s.rule(95, 0, 0, 0, 0);       // zero pixels still has a word
    int32_t count = -1;
    ASSERT_EQ(1, s.rules(&count));
    EXPECT_EQ(1, count);
    Bytes expected;
    be16(expected, 0);
    be16(expected, 0);
    be16(expected, 4);
    for (uint32_t position : {70, 80, 90, 95}) be16(expected, position);
    for (uint8_t kind : {1, 1, 1, 1}) expected.push_back(kind);
    for (uint8_t flags : {0xD3, 0x22, 0x8F, 0x80}) expected.push_back(flags);
    for (uint32_t width : {0x8032u, 0x0FFFu, 0x0000u}) be16(expected, width);
    EXPECT_EQ(expected, s.recordBytes());
}

TEST(RuleRecords, SpacerEntriesBridgeLongGaps) {
    Serializer s;
    s.rule(5, 0, 0, 2, -100);
    s.rule(140000, 0, 0, 2, -100);
    int32_t count = -1;
    ASSERT_EQ(1, s.rules(&count));
    Bytes expected;
    be16(expected, 0);
    be16(expected, 2);  // high word of the last entry, 140000
    be16(expected, 4);
    for (uint32_t position : {5u, 65541u, 131077u, 140000u}) be16(expected, position & 0xFFFF);
    for (uint8_t kind : {1, 0, 0, 1}) expected.push_back(kind);
    for (uint8_t flags : {2, 0, 0, 2}) expected.push_back(flags);
    EXPECT_EQ(expected, s.recordBytes());
}

TEST(PageRecords, TwoPagesGiveOneRecordAndOnePageGivesNone) {
    Serializer one;
    one.pageEnd(120);
    int32_t count = -1;
    int32_t pages = -1;
    ASSERT_EQ(1, one.pages(&count, &pages));
    EXPECT_EQ(0, count);
    EXPECT_EQ(1, pages);
    EXPECT_TRUE(one.recordBytes().empty());

    Serializer s;
    s.rule(50, 0, 0, 2, -100);
    s.pageEnd(100);
    s.pageEnd(100);  // a page that added no text
    s.pageEnd(250);
    ASSERT_EQ(1, s.pages(&count, &pages));
    EXPECT_EQ(1, count);
    EXPECT_EQ(2, pages);
    Bytes expected;
    be16(expected, 0);  // high word of the first entry
    be16(expected, 0);  // high word of the last boundary
    be16(expected, 0);  // firstPageNumber
    be16(expected, 1);  // lastPageNumber
    be16(expected, 3);
    for (uint32_t entry : {0, 100, 250}) be16(expected, entry);
    EXPECT_EQ(expected, s.recordBytes());
    EXPECT_EQ(std::vector<uint32_t>{0}, s.offsetValues());
}

TEST(PageRecords, EscapePairsAndBlocksOf258Entries) {
    Serializer jump;
    jump.pageEnd(100);
    jump.pageEnd(70000);
    int32_t count = -1;
    int32_t pages = -1;
    ASSERT_EQ(1, jump.pages(&count, &pages));
    Bytes expected;
    be16(expected, 0);
    be16(expected, 1);
    be16(expected, 0);
    be16(expected, 1);
    be16(expected, 5);
    for (uint32_t entry : {0u, 100u, 100u, 1u, 70000u & 0xFFFF}) be16(expected, entry);
    EXPECT_EQ(expected, jump.recordBytes());

    // 254 short pages fill 255 entries; an escape pair and the next boundary make 258.
    Serializer s;
    for (uint32_t page = 1; page <= 254; ++page) s.pageEnd(10 * page);
    s.pageEnd(2540 + 70000);
    s.pageEnd(2540 + 70010);
    ASSERT_EQ(1, s.pages(&count, &pages));
    EXPECT_EQ(2, count);
    EXPECT_EQ(256, pages);
    const Bytes bytes = s.recordBytes();
    const size_t firstSize = 10 + 2 * 258;
    ASSERT_EQ(firstSize + 14, bytes.size());
    EXPECT_EQ((std::vector<uint32_t>{0, static_cast<uint32_t>(firstSize)}), s.offsetValues());
    Bytes firstHeader;
    be16(firstHeader, 0);
    be16(firstHeader, 1);    // 72540
    be16(firstHeader, 0);
    be16(firstHeader, 254);
    be16(firstHeader, 258);
    EXPECT_EQ(firstHeader, slice(bytes, 0, 10));
    Bytes firstTail;
    for (uint32_t entry : {2540u, 2540u, 1u, 72540u & 0xFFFF}) be16(firstTail, entry);
    EXPECT_EQ(firstTail, slice(bytes, firstSize - 8, 8));
    Bytes second;
    be16(second, 1);
    be16(second, 1);
    be16(second, 255);
    be16(second, 255);
    be16(second, 2);
    be16(second, 72540 & 0xFFFF);
    be16(second, 72550 & 0xFFFF);
    EXPECT_EQ(second, slice(bytes, firstSize, 14));
}

TEST(PageRecords, A256EntryBlockIsWrittenOnceWithNothingLeftOver) {
    Serializer s;
    for (uint32_t page = 1; page <= 255; ++page) s.pageEnd(page);
    int32_t count = -1;
    int32_t pages = -1;
    ASSERT_EQ(1, s.pages(&count, &pages));
    EXPECT_EQ(1, count);
    EXPECT_EQ(255, pages);
    EXPECT_EQ(10u + 2 * 256, s.recordBytes().size());
}

namespace {
// All four writers in the pass's order over a small document.
bool serializeAll(Serializer& s) {
    int32_t count;
    int32_t pages;
    return s.format(&count) && s.links(&count) && s.rules(&count) && s.pages(&count, &pages);
}

void fillSmallDocument(Serializer& s) {
    s.styleAt(0, boldStyle());
    s.styleAt(40, defaultStyle());
    s.styleAt(90, defaultStyle());
    s.link(5, 9, 60, true, "a.htm", "x");
    s.link(70000, 70300, 0);
    s.rule(20, 0, 0, 2, -40);
    s.pageEnd(50);
    s.pageEnd(90);
}
}  // namespace

TEST(SerializerFaults, FailedSeeksAndWritesFailTheWriterAndNothingIsHeld) {
    int calls = 0;
    {
        Serializer probe;
        fillSmallDocument(probe);
        const int before = probe.streams.counting().calls(IoOp::Any);
        ASSERT_TRUE(serializeAll(probe));
        calls = probe.streams.counting().calls(IoOp::Any) - before;
    }
    forEachFailOrShort(calls, [](int k, bool shortTransfer) {
        Serializer s;
        fillSmallDocument(s);
        CountingIo& counting = s.streams.counting();
        const int at = counting.calls(IoOp::Any) + k;
        failOrShortAt(counting, IoOp::Any, at, shortTransfer);
        const int result = serializeAll(s);
        const IoOp op = counting.log()[at - 1].op;
        // Inputs end where their streams end: a failed or short read, like a failed
        // seek or a short write, never passes.
        if (op == IoOp::Write || op == IoOp::Read || (op == IoOp::Seek && !shortTransfer)) {
            EXPECT_EQ(0, result) << "call " << k << (shortTransfer ? " short" : "");
        }
        s.streams.closeStreams();
        expectNothingHeld(counting);
    });
}

// Long inputs repeat the caller's percentage every 4096 input records, even where no
// record comes of them (unresolved links, page ends to the rule writer); a cancel
// answered there stops the writer at once and is told apart from a failure.
TEST(SerializerProgress, LongInputsReportAndACancelStopsTheWriter) {
    const auto fill = [](Serializer& s) {
        for (uint32_t i = 0; i < 10000; ++i) {
            s.styleAt(10 * i, i % 2 ? defaultStyle() : boldStyle());
            s.link(10 * i, 10 * i + 5, 0, false, "p", "");
            s.pageEnd(10 * i + 10);
        }
    };
    using Writer = std::function<int(Serializer&, int32_t*, SerializerProgress*)>;
    const Writer writers[] = {
        [](Serializer& s, int32_t* n, SerializerProgress* p) {
            return writeFormatRecords(s.io, s.context.styleStream, s.records, s.offsets, n, p); },
        [](Serializer& s, int32_t* n, SerializerProgress* p) {
            return writeLinkRecords(s.io, s.context.linkStream, s.records, s.offsets, n, p); },
        [](Serializer& s, int32_t* n, SerializerProgress* p) {
            return writeRuleRecords(s.io, s.context.layoutStream, s.records, s.offsets, n, p); },
        [](Serializer& s, int32_t* n, SerializerProgress* p) {
            int32_t pages = 0;
            return writePageRecords(s.io, s.context.layoutStream, s.records, s.offsets, n, &pages, p); },
    };
    for (size_t w = 0; w < std::size(writers); ++w) {
        Serializer quiet, reported, canceled;
        for (Serializer* s : {&quiet, &reported, &canceled}) fill(*s);
        int32_t count = 0;
        ASSERT_TRUE(writers[w](quiet, &count, nullptr)) << w;
        EXPECT_TRUE(quiet.streams.counting().reports().empty()) << w;

        SerializerProgress progress{37, false};
        ASSERT_TRUE(writers[w](reported, &count, &progress)) << w;
        EXPECT_FALSE(progress.canceled);
        const auto& reports = reported.streams.counting().reports();
        ASSERT_EQ(2u, reports.size()) << w;  // 10,000 inputs: after the 4096th and the 8192nd
        EXPECT_EQ(37, reports[0].percent);
        EXPECT_EQ(quiet.recordBytes(), reported.recordBytes()) << w;

        canceled.streams.counting().cancelAtReport(1);
        SerializerProgress stop{37, false};
        EXPECT_FALSE(writers[w](canceled, &count, &stop)) << w;
        EXPECT_TRUE(stop.canceled) << w;
        EXPECT_EQ(1u, canceled.streams.counting().reports().size()) << w;
    }
}
