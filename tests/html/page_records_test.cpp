// The temporary records are read back by offset and length by link resolution and the
// serializer, so their bytes are pinned field by field, and the queue is walked as the
// pass driver walks it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "html/page_records.h"
#include "tests/html/record_streams.h"
#include "tests/support/fault_sweep.h"

#include <zlib.h>

TEST(NameHash, IsTheUninvertedCrcOfTheLowerCasedName) {
    EXPECT_EQ(0xCADBBE3Du, nameHash("abc"));
    EXPECT_EQ(nameHash("abc"), nameHash("ABC"));
    EXPECT_EQ(nameHash("Index.HTM"), nameHash("index.htm"));
    EXPECT_EQ(0xFFFFFFFFu, nameHash(""));
    EXPECT_EQ(kMissingNameHash, nameHash("abc", 0));
    EXPECT_NE(nameHash("\xC4"), nameHash("\xE4"));  // only ASCII letters fold
    EXPECT_NE(nameHash("@"), nameHash("`"));        // neighbours of the letter range stay
    EXPECT_EQ(nameHash("ab"), nameHash("abc", 2));
}

TEST(NameHash, AgreesWithZlibCrc32OnLowerCasedBytes) {
    std::vector<std::string> names = {"abc", "Top", "C:\\Docs\\Index.HTM", "http://Host/A%20B.htm#Sec"};
    std::string allBytes;
    for (int b = 1; b < 256; ++b) allBytes.push_back(static_cast<char>(b));
    names.push_back(allBytes);
    for (const std::string& name : names) {
        std::string lower = name;
        for (char& c : lower)
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
        const uLong crc = crc32(0L, reinterpret_cast<const Bytef*>(lower.data()), static_cast<uInt>(lower.size()));
        EXPECT_EQ(static_cast<uint32_t>(~crc), nameHash(name.c_str())) << name;
    }
}

namespace {
struct Walked {
    int32_t offset;
    uint16_t depth;
    std::string name;
};

// Walks the whole queue the way the pass driver does, from a cursor of -1.
std::vector<Walked> walkQueue(HtmlContext& context) {
    std::vector<Walked> seen;
    int32_t cursor = -1;
    for (int guard = 0; guard < 100; ++guard) {
        uint16_t depth = 0xBEEF;
        char name[kHtmlNameBytes] = "untouched";
        if (nextPage(context, &depth, name, &cursor) != 1) {
            ADD_FAILURE() << "nextPage failed";
            break;
        }
        if (cursor == -1) break;
        seen.push_back({cursor, depth, name});
    }
    return seen;
}
}  // namespace

TEST(PageQueue, AnEmptyQueueEndsAtOnceAndOnePageIsYieldedOnce) {
    RecordStreams streams;
    HtmlContext& context = streams.context();
    EXPECT_TRUE(walkQueue(context).empty());

    int32_t offset = 77;
    ASSERT_TRUE(addPage(context, 0, "C:\\site\\index.htm", &offset));
    EXPECT_EQ(0, offset);  // the start page sits at offset 0
    const std::vector<Walked> seen = walkQueue(context);
    ASSERT_EQ(1u, seen.size());
    EXPECT_EQ(0, seen[0].offset);
    EXPECT_EQ(0, seen[0].depth);
    EXPECT_EQ("C:\\site\\index.htm", seen[0].name);
}

TEST(PageQueue, PagesComeBackInQueueOrderIncludingThoseAddedDuringTheWalk) {
    RecordStreams streams;
    HtmlContext& context = streams.context();
    ASSERT_TRUE(addPage(context, 0, "root", nullptr));
    ASSERT_TRUE(addPage(context, 1, "a", nullptr));

    int32_t cursor = -1;
    uint16_t depth;
    char name[kHtmlNameBytes];
    ASSERT_TRUE(nextPage(context, &depth, name, &cursor));
    ASSERT_TRUE(nextPage(context, &depth, name, &cursor));
    EXPECT_STREQ("a", name);
    ASSERT_TRUE(addPage(context, 2, "b", nullptr));  // queued while "a" is current
    ASSERT_TRUE(nextPage(context, &depth, name, &cursor));
    EXPECT_STREQ("b", name);
    EXPECT_EQ(2, depth);
    ASSERT_TRUE(nextPage(context, &depth, name, &cursor));
    EXPECT_EQ(-1, cursor);
    EXPECT_EQ(3u, context.pageCount);
    EXPECT_EQ(36u + 4 + 36 + 1, context.lastPage);  // offset of "b"
}

TEST(PageQueue, NamesLongerThan255BytesAreCutWhenWalked) {
    RecordStreams streams;
    HtmlContext& context = streams.context();
    const std::string longName(300, 'n');
    ASSERT_TRUE(addPage(context, 3, longName.c_str(), nullptr));
    ASSERT_TRUE(addPage(context, 4, "next", nullptr));
    const std::vector<Walked> seen = walkQueue(context);
    ASSERT_EQ(2u, seen.size());
    EXPECT_EQ(std::string(255, 'n'), seen[0].name);
    EXPECT_EQ("next", seen[1].name);
    EXPECT_EQ(36 + 300, seen[1].offset);  // the whole name is stored
}

TEST(PageQueue, RecordBytesAndTheFieldsEndPageCompletes) {
    RecordStreams streams;
    HtmlContext& context = streams.context();
    ASSERT_TRUE(addPage(context, 0, "Ab", nullptr));
    ASSERT_TRUE(addPage(context, 7, "c", nullptr));

    std::vector<uint8_t> expected;
    auto record = [&](int32_t next, const std::string& name, uint16_t depth) {
        appendLe(expected, static_cast<uint32_t>(next), 4);  // nextInQueue
        appendLe(expected, 0, 4);                            // nameCount
        appendLe(expected, 0xFFFFFFFF, 4);                   // firstName
        appendLe(expected, 0, 4);                            // incomingCount
        appendLe(expected, 0xFFFFFFFF, 4);                   // firstIncoming
        appendLe(expected, 0xFFFFFFFF, 4);                   // lastIncoming
        appendLe(expected, 0xFFFFFFFF, 4);                   // textStart
        appendLe(expected, nameHash(name.c_str()), 4);       // nameHash
        appendLe(expected, depth, 2);                        // depth
        appendLe(expected, name.size(), 2);                  // nameLength
        appendText(expected, name);
    };
    record(38, "Ab", 0);  // linked to the second record when that was added
    record(-1, "c", 7);
    EXPECT_EQ(expected, streams.bytes(context.pageStream));

    // Converting the second page with two anchors.
    ASSERT_TRUE(beginPage(context, 38));
    context.pageTextStart = 500;
    ASSERT_TRUE(addNameAnchor(context, 510, "x"));
    ASSERT_TRUE(addNameAnchor(context, 520, "y"));
    ASSERT_TRUE(endPage(context));
    const PageRecord page = streams.recordAt<PageRecord>(context.pageStream, 38);
    EXPECT_EQ(2, page.nameCount);
    EXPECT_EQ(38 + 37, page.firstName);  // the stream's end when the page began
    EXPECT_EQ(500, page.textStart);
    EXPECT_EQ(-1, page.nextInQueue);
    EXPECT_EQ(1, context.pagesDone);
}

TEST(Anchors, RecordBytesAndPatchingInPlace) {
    RecordStreams streams;
    HtmlContext& context = streams.context();
    ASSERT_TRUE(addPage(context, 0, "p", nullptr));
    ASSERT_TRUE(beginPage(context, 0));
    ASSERT_TRUE(addNameAnchor(context, 0x01020304, "Top"));
    EXPECT_EQ(37u, context.lastNameRecord);
    ASSERT_TRUE(addNameAnchor(context, 9, "s"));
    EXPECT_EQ(37u + 15, context.lastNameRecord);
    EXPECT_EQ(2, context.pageNameCount);
    ASSERT_TRUE(patchNameAnchor(context, 37, 12));

    std::vector<uint8_t> expected;
    appendLe(expected, 12, 4);              // textPos, patched
    appendLe(expected, nameHash("top"), 4); // nameHash
    appendLe(expected, 3, 2);               // nameLength
    appendLe(expected, 0, 2);               // reserved
    appendText(expected, "Top");
    appendLe(expected, 9, 4);
    appendLe(expected, nameHash("s"), 4);
    appendLe(expected, 1, 2);
    appendLe(expected, 0, 2);
    appendText(expected, "s");
    const std::vector<uint8_t> stream = streams.bytes(context.pageStream);
    EXPECT_EQ(expected, std::vector<uint8_t>(stream.begin() + 37, stream.end()));
}

TEST(Anchors, AFailedAppendLeavesNoRecordToPatch) {
    RecordStreams streams;
    HtmlContext& context = streams.context();
    ASSERT_TRUE(addPage(context, 0, "p", nullptr));
    ASSERT_TRUE(addNameAnchor(context, 5, "first"));
    streams.counting().failAt(IoOp::Write, streams.counting().calls(IoOp::Write) + 1);
    EXPECT_FALSE(addNameAnchor(context, 9, "second"));
    // The handler still notes lastNamePos; a patch must not move the first anchor.
    EXPECT_EQ(0xFFFFFFFFu, context.lastNameRecord);
}

TEST(Links, RecordBytesWithAndWithoutTargetAndFragment) {
    RecordStreams streams;
    HtmlContext& context = streams.context();
    context.pageDepth = 200;
    ASSERT_TRUE(addLink(context, 10, 20, "b.htm", "Sec"));
    ASSERT_TRUE(addLink(context, 30, 31, nullptr, "top"));
    ASSERT_TRUE(addLink(context, 40, 45, "c.htm", nullptr));
    EXPECT_EQ(3, context.pageLinkCount);

    std::vector<uint8_t> expected;
    auto record = [&](uint32_t start, uint32_t end, const char* path, const char* fragment) {
        const std::string p = path ? path : "";
        const std::string f = fragment ? fragment : "";
        appendLe(expected, 0xFFFFFFFF, 4);                                  // nextSameTarget
        appendLe(expected, start, 4);                                       // startPos
        appendLe(expected, end, 4);                                         // endPos
        appendLe(expected, 0, 4);                                           // targetPos
        appendLe(expected, 0, 1);                                           // flags
        appendLe(expected, 200, 1);                                         // sourceDepth
        appendLe(expected, 0, 2);                                           // reserved
        appendLe(expected, p.empty() ? 0xFFFFFFFF : nameHash(p.c_str()), 4);  // pathHash
        appendLe(expected, f.empty() ? 0xFFFFFFFF : nameHash(f.c_str()), 4);  // fragmentHash
        appendLe(expected, p.size(), 2);                                    // pathLength
        appendLe(expected, f.size(), 2);                                    // fragmentLength
        appendText(expected, p + f);
    };
    record(10, 20, "b.htm", "Sec");
    record(30, 31, nullptr, "top");
    record(40, 45, "c.htm", nullptr);
    EXPECT_EQ(expected, streams.bytes(context.linkStream));
}

TEST(Links, PagesDeeperThan255LevelsRecordNone) {
    RecordStreams streams;
    HtmlContext& context = streams.context();
    context.pageDepth = 255;
    EXPECT_TRUE(addLink(context, 0, 1, "a", nullptr));
    context.pageDepth = 256;
    EXPECT_FALSE(addLink(context, 0, 1, "a", nullptr));
    context.pageDepth = 0xFFFF;
    EXPECT_FALSE(addLink(context, 0, 1, "a", nullptr));
    EXPECT_EQ(1, context.pageLinkCount);
    EXPECT_EQ(32u + 1, streams.bytes(context.linkStream).size());
}

TEST(Layout, RuleAndPageEndRecordBytesAndTheCountWithoutAStream) {
    RecordStreams streams;
    HtmlContext& context = streams.context();
    ASSERT_TRUE(writeRuleRecord(context, 100, 2, 1, 5, -50));
    ASSERT_TRUE(writePageEndRecord(context, 180));
    std::vector<uint8_t> expected;
    for (int64_t field : {100, 1, 2, 1, 5, -50}) appendLe(expected, static_cast<uint64_t>(field), 4);
    for (int64_t field : {180, 2, 0, 0, 0, 0}) appendLe(expected, static_cast<uint64_t>(field), 4);
    EXPECT_EQ(expected, streams.bytes(context.layoutStream));

    const uint32_t layout = context.layoutStream;
    context.layoutStream = 0;
    EXPECT_TRUE(writeRuleRecord(context, 200, 0, 0, 2, -100));
    context.layoutStream = layout;
    EXPECT_EQ(3, context.layoutCount);
    EXPECT_EQ(48u, streams.bytes(layout).size());
}

// One page's worth of record writing, as a page conversion does it.
static bool writeOnePage(HtmlContext& context) {
    int32_t offset;
    return addPage(context, 0, "root.htm", &offset) && addPage(context, 1, "b.htm", nullptr) &&
           nextPage(context, nullptr, nullptr, &context.currentPage) && beginPage(context, offset) &&
           addNameAnchor(context, 3, "top") && patchNameAnchor(context, context.lastNameRecord, 4) &&
           addLink(context, 4, 9, "b.htm", "x") && writeRuleRecord(context, 9, 0, 0, 2, -100) &&
           writeStyleChange(context, 9, defaultStyle()) && writePageEndRecord(context, 12) && endPage(context);
}

TEST(PageRecordFaults, AnyFailedOrShortCallFailsAndNothingIsHeld) {
    int calls = 0;
    {
        RecordStreams probe;
        const int before = probe.counting().calls(IoOp::Any);
        ASSERT_TRUE(writeOnePage(probe.context()));
        calls = probe.counting().calls(IoOp::Any) - before;
    }
    forEachFailOrShort(calls, [](int k, bool shortTransfer) {
        RecordStreams streams;
        const int at = streams.counting().calls(IoOp::Any) + k;
        failOrShortAt(streams.counting(), IoOp::Any, at, shortTransfer);
        const int result = writeOnePage(streams.context());
        const IoOp op = streams.counting().log()[at - 1].op;
        const bool transfers = op == IoOp::Read || op == IoOp::Write;
        if (!shortTransfer || transfers) {
            EXPECT_EQ(0, result) << "call " << k << (shortTransfer ? " short" : "");
        }
        streams.closeStreams();
        expectNothingHeld(streams.counting());
    });
}
