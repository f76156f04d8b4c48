// Decoding document records back to absolute positions, over records made by the
// pipeline's own writers: long runs and gaps (high words, spacers, escape pairs), full
// blocks, and malformed records that must be refused without reading past their bytes.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <vector>

#include "engine/document_records.h"
#include "html/page_records.h"
#include "html/record_serializer.h"
#include "html/style_record.h"
#include "tests/support/memory_io.h"

namespace {

using Bytes = std::vector<uint8_t>;

// Temporary input streams for the writers, and the records they produce.
class Writers {
public:
    Writers() {
        const IoOps& ops = io.ops();
        for (uint32_t* stream : {&styles, &links, &layout, &records, &offsets})
            *stream = ops.createTempStream(ops.userData);
    }
    ~Writers() {
        const IoOps& ops = io.ops();
        for (uint32_t stream : {styles, links, layout, records, offsets}) ops.closeStream(ops.userData, stream);
    }

    void style(uint32_t position, const StyleRecord& style) { append(styles, StyleChange{position, style}); }
    void link(uint32_t start, uint32_t end, uint32_t target) {
        LinkRecord record{};
        record.nextSameTarget = -1;
        record.startPos = start;
        record.endPos = end;
        record.targetPos = target;
        record.flags = kLinkResolved;
        record.pathHash = record.fragmentHash = kMissingNameHash;
        append(links, record);
    }
    void rule(uint32_t position, int32_t width) { append(layout, LayoutRecord{position, LayoutRule, 0, 0, 2, width}); }
    void pageEnd(uint32_t position) { append(layout, LayoutRecord{position, LayoutPageEnd, 0, 0, 0, 0}); }

    // Runs one writer and splits what it wrote into records.
    std::vector<Bytes> formatRecords() { return run([&](int32_t* n) { return writeFormatRecords(io.ops(), styles, records, offsets, n); }); }
    std::vector<Bytes> linkRecords() { return run([&](int32_t* n) { return writeLinkRecords(io.ops(), links, records, offsets, n); }); }
    std::vector<Bytes> ruleRecords() { return run([&](int32_t* n) { return writeRuleRecords(io.ops(), layout, records, offsets, n); }); }
    std::vector<Bytes> pageRecords() {
        int32_t pages = 0;
        return run([&](int32_t* n) { return writePageRecords(io.ops(), layout, records, offsets, n, &pages); });
    }

private:
    template <typename Record>
    void append(uint32_t stream, const Record& record) {
        const IoOps& ops = io.ops();
        ops.seekStream(ops.userData, stream, 0, 2);
        ops.writeStream(ops.userData, stream, sizeof record, &record);
    }
    template <typename Writer>
    std::vector<Bytes> run(Writer writer) {
        int32_t count = 0;
        EXPECT_TRUE(writer(&count));
        const Bytes all = io.bytesOfHandle(records);
        const Bytes offsetBytes = io.bytesOfHandle(offsets);
        std::vector<uint32_t> starts(offsetBytes.size() / 4);
        std::memcpy(starts.data(), offsetBytes.data(), offsetBytes.size());
        std::vector<Bytes> split;
        for (size_t i = recordsSeen_; i < starts.size(); ++i) {
            const size_t end = i + 1 < starts.size() ? starts[i + 1] : all.size();
            split.emplace_back(all.begin() + starts[i], all.begin() + static_cast<long>(end));
        }
        EXPECT_EQ(static_cast<size_t>(count), split.size());
        recordsSeen_ = starts.size();
        return split;
    }

    MemoryIo io;
    uint32_t styles = 0, links = 0, layout = 0, records = 0, offsets = 0;
    size_t recordsSeen_ = 0;  // records of earlier writers in the shared output
};

StyleRecord styled(int32_t bold, int32_t indent = 0) {
    StyleRecord style = defaultStyle();
    style.bold = bold;
    style.indent = indent;
    return style;
}

TEST(DocumentRecords, FormatRunsRebuildContiguousPositions) {
    Writers w;
    // 65536 + 4464 characters in one style, then 300 one-character runs of alternating
    // style: two full runs across 65536, and a second record from the 257th run.
    w.style(0, styled(1));
    uint32_t position = 70000;
    for (int i = 0; i < 300; ++i) w.style(position++, styled(i % 2, 2));
    w.style(position, defaultStyle());
    const std::vector<Bytes> records = w.formatRecords();
    ASSERT_EQ(2u, records.size());

    auto first = std::make_unique<DecodedFormatRecord>();
    auto second = std::make_unique<DecodedFormatRecord>();
    ASSERT_TRUE(decodeFormatRecord(records[0].data(), static_cast<int32_t>(records[0].size()), *first));
    ASSERT_TRUE(decodeFormatRecord(records[1].data(), static_cast<int32_t>(records[1].size()), *second));
    ASSERT_EQ(256, first->count);
    EXPECT_EQ(0u, first->runs[0].start);
    EXPECT_EQ(65536u, first->runs[0].length);
    EXPECT_EQ(65536u, first->runs[1].start);
    EXPECT_EQ(4464u, first->runs[1].length);
    EXPECT_EQ(0x0023, first->runs[0].attributes);  // size 3, bold
    EXPECT_EQ(0x8003, first->runs[2].attributes);  // size 3, an extra word
    EXPECT_EQ(0x0002, first->runs[2].extra);       // indent 2
    EXPECT_EQ(first->end, second->runs[0].start);
    EXPECT_EQ(70000u + 300u, second->end);
    EXPECT_EQ(300 - 254, second->count);
}

TEST(DocumentRecords, LinkEntriesAndSpacersKeepAbsolutePositions) {
    Writers w;
    w.link(10, 610, 5000);          // 255 + 255 + 90
    w.link(300000, 300004, 7);      // four spacers bridge the gap
    w.link(300004, 300005, 0xFFFFFFFF);  // never converted: no entry
    const std::vector<Bytes> records = w.linkRecords();
    ASSERT_EQ(1u, records.size());
    auto link = std::make_unique<DecodedLinkRecord>();
    ASSERT_TRUE(decodeLinkRecord(records[0].data(), static_cast<int32_t>(records[0].size()), *link));
    ASSERT_EQ(8, link->count);
    const uint32_t expected[8][3] = {{10, 255, 5000}, {265, 255, 5000}, {520, 90, 5000},
                                     {520 + 65536, 0, 0}, {520 + 2 * 65536, 0, 0},
                                     {520 + 3 * 65536, 0, 0}, {520 + 4 * 65536, 0, 0}, {300000, 4, 7}};
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(expected[i][0], link->entries[i].position) << i;
        EXPECT_EQ(expected[i][1], link->entries[i].length) << i;
        EXPECT_EQ(expected[i][2], link->entries[i].target) << i;
    }
}

TEST(DocumentRecords, RulesAtOnePositionAndBeyondLongGaps) {
    Writers w;
    w.rule(10, -100);
    w.rule(10, -50);
    w.rule(200000, 300);
    const std::vector<Bytes> records = w.ruleRecords();
    ASSERT_EQ(1u, records.size());
    auto rules = std::make_unique<DecodedRuleRecord>();
    ASSERT_TRUE(decodeRuleRecord(records[0].data(), static_cast<int32_t>(records[0].size()), *rules));
    std::vector<uint32_t> positions;
    for (int i = 0; i < rules->count; ++i)
        if (rules->entries[i].kind == 1) positions.push_back(rules->entries[i].position);
    EXPECT_EQ((std::vector<uint32_t>{10, 10, 200000}), positions);
    EXPECT_EQ(6, rules->count);  // three spacers
    EXPECT_EQ(0x8032, rules->entries[1].width);
    EXPECT_EQ(300, rules->entries[5].width);
    EXPECT_EQ(0, rules->entries[0].width);
}

TEST(DocumentRecords, PageBoundariesWithEscapePairsAndAcrossRecords) {
    Writers w;
    std::vector<uint32_t> ends;
    uint32_t end = 0;
    for (int page = 0; page < 300; ++page) {
        end += page == 5 ? 100000 : 7;  // page 5 is long: an escape pair
        ends.push_back(end);
        w.pageEnd(end);
        if (page == 9) w.pageEnd(end);  // a page that added no text
    }
    const std::vector<Bytes> records = w.pageRecords();
    ASSERT_EQ(2u, records.size());
    std::vector<uint32_t> decoded;
    uint16_t expectedFirstPage = 0;
    for (const Bytes& bytes : records) {
        auto record = std::make_unique<DecodedBoundaryRecord>();
        ASSERT_TRUE(decodeBoundaryRecord(bytes.data(), static_cast<int32_t>(bytes.size()), *record));
        EXPECT_EQ(expectedFirstPage, record->firstPageNumber);
        EXPECT_EQ(decoded.empty() ? 0u : decoded.back(), record->boundaries[0]);
        decoded.insert(decoded.end(), record->boundaries + 1, record->boundaries + record->count);
        expectedFirstPage = static_cast<uint16_t>(record->lastPageNumber + 1);
    }
    EXPECT_EQ(ends, decoded);
}

TEST(DocumentRecords, MalformedRecordsAreRefused) {
    Writers w;
    w.style(0, styled(1, 3));
    w.style(9, defaultStyle());
    w.link(4, 8, 1);
    w.rule(3, 40);
    w.pageEnd(5);
    w.pageEnd(70000);
    const Bytes format = w.formatRecords().at(0);
    const Bytes link = w.linkRecords().at(0);
    const Bytes rule = w.ruleRecords().at(0);
    const Bytes page = w.pageRecords().at(0);
    auto f = std::make_unique<DecodedFormatRecord>();
    auto l = std::make_unique<DecodedLinkRecord>();
    auto r = std::make_unique<DecodedRuleRecord>();
    auto p = std::make_unique<DecodedBoundaryRecord>();
    // Each decoder over its kind of record; the bytes are copied so that any read past
    // them shows in the sanitizer build.
    const std::function<int(const Bytes&)> decoders[] = {
        [&](const Bytes& b) { return decodeFormatRecord(b.data(), static_cast<int32_t>(b.size()), *f); },
        [&](const Bytes& b) { return decodeLinkRecord(b.data(), static_cast<int32_t>(b.size()), *l); },
        [&](const Bytes& b) { return decodeRuleRecord(b.data(), static_cast<int32_t>(b.size()), *r); },
        [&](const Bytes& b) { return decodeBoundaryRecord(b.data(), static_cast<int32_t>(b.size()), *p); },
    };
    const Bytes* wholes[] = {&format, &link, &rule, &page};
    for (int kind = 0; kind < 4; ++kind) {
        EXPECT_EQ(1, decoders[kind](*wholes[kind])) << kind;
        for (size_t cut = 0; cut < wholes[kind]->size(); ++cut) {
            const Bytes prefix(wholes[kind]->begin(), wholes[kind]->begin() + static_cast<long>(cut));
            EXPECT_EQ(0, decoders[kind](prefix)) << kind << " cut at " << cut;
        }
        Bytes longer = *wholes[kind];
        longer.push_back(0);
        EXPECT_EQ(0, decoders[kind](longer)) << kind;
    }
    ASSERT_EQ(1, decoders[3](page));
    EXPECT_EQ((std::vector<uint32_t>{0, 5, 70000}), std::vector<uint32_t>(p->boundaries, p->boundaries + p->count));

    // A count of 0, or above a block, and high words that disagree with the entries.
    Bytes bad = format;
    bad[5] = 0;
    EXPECT_FALSE(decodeFormatRecord(bad.data(), static_cast<int32_t>(bad.size()), *f));
    bad = link;
    bad[4] = 1;  // 257 entries
    EXPECT_FALSE(decodeLinkRecord(bad.data(), static_cast<int32_t>(bad.size()), *l));
    bad = rule;
    bad[3] = 1;  // last high word 1
    EXPECT_FALSE(decodeRuleRecord(bad.data(), static_cast<int32_t>(bad.size()), *r));
    bad = page;
    bad[3] = 0;  // the last boundary, 70000, has high word 1
    EXPECT_FALSE(decodeBoundaryRecord(bad.data(), static_cast<int32_t>(bad.size()), *p));
    bad = page;
    bad[7] = 3;  // claims one page more than its entries hold
    EXPECT_FALSE(decodeBoundaryRecord(bad.data(), static_cast<int32_t>(bad.size()), *p));
    EXPECT_FALSE(decodeFormatRecord(nullptr, 0, *f));
}

}  // namespace
