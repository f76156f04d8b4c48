// The reader's life cycle and its 1024-byte window: block reads, stepping back across a
// block boundary, progress and cancel, and failures that must read as the end.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "html/formatted_output.h"
#include "tests/html/html_page.h"
#include "tests/support/fault_sweep.h"

using namespace std::string_literals;

namespace {

// Bytes whose value tells their offset apart within any 251-byte stretch.
std::string numbered(int size) {
    std::string bytes;
    for (int i = 0; i < size; ++i) bytes += static_cast<char>(i % 251);
    return bytes;
}

bool recordPercent(void* argument, int32_t percent) {
    auto* seen = static_cast<std::string*>(argument);
    *seen += std::to_string(percent) + " ";
    return true;
}

bool cancelAtFifty(void* argument, int32_t percent) {
    ++*static_cast<int*>(argument);
    return percent < 50;
}

}  // namespace

TEST(HtmlContextLife, FailedAllocationsHoldNothing) {
    forEachFault(2, [](int k) {
        MemoryIo memory;
        CountingIo io(memory.ops());
        io.failAt(IoOp::Alloc, k);
        EXPECT_EQ(nullptr, createHtmlContext(io.ops())) << "allocation " << k;
        expectNothingHeld(io);
    });
}

TEST(HtmlContextLife, ResetLeavesAConversionReadyToStart) {
    HtmlPage page("<p>x");
    ASSERT_TRUE(page.open());
    HtmlContext& c = *page.context;
    c.textStream = 5;
    c.layoutStream = 6;
    c.canceled = 1;
    c.textPos = 99;
    pushElement(*c.elements, ElementB);
    std::strcpy(c.title, "old");
    ASSERT_TRUE(resetHtmlContext(c, page.io.ops()));
    EXPECT_EQ(0u, c.input);
    EXPECT_EQ(0u, c.textStream);
    EXPECT_EQ(0u, c.layoutStream);
    EXPECT_EQ(0u, c.canceled);
    EXPECT_EQ(0u, c.textPos);
    EXPECT_EQ(nullptr, c.progressPercent);
    EXPECT_EQ(0, c.elements->count);
    EXPECT_STREQ("", c.title);
    EXPECT_STREQ("", c.baseDir);
    EXPECT_EQ(1, c.prevSpace);
    EXPECT_EQ(1, c.trailingNewlines);
    EXPECT_EQ(-1, c.linkStart);
    EXPECT_EQ(-1, c.currentPage);
    EXPECT_EQ(0xFFFFFFFFu, c.lastPage);
    EXPECT_EQ(0xFFFFFFFFu, c.lastNamePos);
    EXPECT_EQ(0xFFFFFFFFu, c.lastNameRecord);
    page.close();
    expectNothingHeld(page.io);
}

TEST(HtmlContextLife, BeginPageKeepsTheConversionAndRestartsThePage) {
    HtmlPage page("first page");
    ASSERT_TRUE(page.open());
    page.memory.addFile("second.html", std::string("second"));
    const IoOps& ops = page.io.ops();
    const uint32_t second = ops.openStream(ops.userData, "second.html", 0);
    HtmlContext& c = *page.context;
    EXPECT_EQ('f', readChar(c));
    c.textPos = 40;
    c.textStream = 9;
    std::strcpy(c.baseDir, "dir/");
    c.prevSpace = 0;
    c.trailingNewlines = 0;
    c.linkStart = 12;
    c.lastNamePos = 3;
    c.pageCount = 2;
    pushElement(*c.elements, ElementI);
    // A stream whose size cannot be found changes nothing.
    page.io.failAt(IoOp::Seek, page.io.calls(IoOp::Seek) + 1);
    EXPECT_FALSE(beginHtmlPage(c, 3, second));
    EXPECT_EQ(1, c.elements->count);
    EXPECT_EQ('i', readChar(c));
    ASSERT_TRUE(beginHtmlPage(c, 3, second));
    EXPECT_EQ(second, c.input);
    EXPECT_EQ(6u, c.inputSize);
    EXPECT_EQ(0, c.elements->count);
    EXPECT_EQ(3, c.pageDepth);
    EXPECT_EQ(40u, c.pageTextStart);
    EXPECT_EQ(40u, c.textPos);
    EXPECT_EQ(9u, c.textStream);
    EXPECT_STREQ("dir/", c.baseDir);
    EXPECT_EQ(2u, c.pageCount);
    EXPECT_EQ(1, c.prevSpace);
    EXPECT_EQ(1, c.trailingNewlines);
    EXPECT_EQ(-1, c.linkStart);
    EXPECT_EQ(0xFFFFFFFFu, c.lastNamePos);
    EXPECT_EQ("second", page.rest());
    c.textStream = 0;
    ops.closeStream(ops.userData, second);
    page.close();
    expectNothingHeld(page.io);
}

TEST(HtmlContextLife, OpeningAStreamOfUnknownSizeFails) {
    HtmlPage page("x");
    page.io.failAt(IoOp::Seek, 1);
    EXPECT_FALSE(page.open());
    page.close();
    expectNothingHeld(page.io);
}

TEST(InputWindow, PageOf1024BytesIsReadInOneBlock) {
    const std::string bytes = numbered(1024);
    HtmlPage page(bytes);
    ASSERT_TRUE(page.open());
    EXPECT_TRUE(bytes == page.rest());
    EXPECT_EQ(kEndOfInput, readChar(*page.context));
    EXPECT_EQ(1, page.io.calls(IoOp::Read));
    // The end is no byte: one step back gives the last real byte, from the window.
    EXPECT_EQ(1, unreadChars(*page.context, 1));
    EXPECT_EQ(1023 % 251, readChar(*page.context));
    EXPECT_EQ(1, page.io.calls(IoOp::Read));
    page.close();
    expectNothingHeld(page.io);
}

TEST(InputWindow, BlocksAreAtMost1024BytesAndTheLastOneIsShort) {
    const std::string bytes = numbered(2500);
    HtmlPage page(bytes);
    ASSERT_TRUE(page.open());
    EXPECT_TRUE(bytes == page.rest());
    EXPECT_EQ(3, page.io.calls(IoOp::Read));
    EXPECT_EQ(2500u - 2048u, static_cast<uint32_t>(page.context->bufferFill));
    page.close();
    expectNothingHeld(page.io);
}

TEST(InputWindow, UnreadingAcrossABlockBoundaryRereadsTheSameBytes) {
    const std::string bytes = numbered(3000);
    HtmlPage page(bytes);
    ASSERT_TRUE(page.open());
    HtmlContext& c = *page.context;
    for (int i = 0; i < 1030; ++i) ASSERT_EQ(static_cast<uint8_t>(bytes[i]), readChar(c));
    EXPECT_EQ(10, unreadChars(c, 10));
    std::string again;
    for (int i = 0; i < 20; ++i) again += static_cast<char>(readChar(c));
    EXPECT_EQ(bytes.substr(1020, 20), again);
    // Far back, across two boundaries, and the rest of the page still follows.
    EXPECT_EQ(1030, unreadChars(c, 1030));
    EXPECT_TRUE(bytes.substr(10) == page.rest());
    page.close();
    expectNothingHeld(page.io);
}

TEST(InputWindow, UnreadingBeforeTheStartFailsAndChangesNothing) {
    HtmlPage page("abcdef");
    ASSERT_TRUE(page.open());
    HtmlContext& c = *page.context;
    EXPECT_EQ(-1, unreadChars(c, 1));
    readChar(c);
    readChar(c);
    EXPECT_EQ(-1, unreadChars(c, 3));
    EXPECT_EQ(-1, unreadChars(c, -1));
    EXPECT_EQ('c', readChar(c));
    EXPECT_EQ(3, unreadChars(c, 3));
    EXPECT_EQ("abcdef", page.rest());
    page.close();
    expectNothingHeld(page.io);
}

TEST(InputWindow, ProgressIsReportedBeforeEachBlock) {
    HtmlPage page(numbered(4000));
    ASSERT_TRUE(page.open());
    std::string seen;
    page.context->progressPercent = recordPercent;
    page.context->progressArg = &seen;
    page.rest();
    EXPECT_EQ("0 25 51 76 ", seen);  // offsets 0, 1024, 2048, 3072 of 4000
    EXPECT_EQ(0u, page.context->canceled);
    page.close();
    expectNothingHeld(page.io);
}

TEST(InputWindow, CancelEndsTheInputForGoodAndIsKept) {
    HtmlPage page(numbered(4000));
    ASSERT_TRUE(page.open());
    int calls = 0;
    page.context->progressPercent = cancelAtFifty;
    page.context->progressArg = &calls;
    EXPECT_EQ(2048u, page.rest().size());
    EXPECT_EQ(1u, page.context->canceled);
    const int reads = page.io.calls(IoOp::Read);
    EXPECT_EQ(kEndOfInput, readChar(*page.context));
    EXPECT_EQ(kEndOfInput, readNonSpace(*page.context));
    EXPECT_EQ(3, calls);
    EXPECT_EQ(reads, page.io.calls(IoOp::Read));
    // Bytes already read can still be stepped back over.
    EXPECT_EQ(2, unreadChars(*page.context, 2));
    EXPECT_EQ(2u, page.rest().size());
    page.close();
    expectNothingHeld(page.io);
}

TEST(InputWindow, AFailedOrShortReadOrSeekReadsAsTheEndForGood) {
    const std::string bytes = numbered(3000);
    struct Row { IoOp op; int k; bool shortened; size_t bytesRead; };
    // Seek 1 finds the size; seek k + 1 and read k load block k.
    const Row rows[] = {
        {IoOp::Read, 1, false, 0},    {IoOp::Read, 2, false, 1024}, {IoOp::Read, 3, true, 2048},
        {IoOp::Seek, 2, false, 0},    {IoOp::Seek, 4, false, 2048},
    };
    for (const Row& row : rows) {
        HtmlPage page(bytes);
        ASSERT_TRUE(page.open());
        if (row.shortened) page.io.shortAt(row.op, row.k);
        else page.io.failAt(row.op, row.k);
        EXPECT_TRUE(bytes.substr(0, row.bytesRead) == page.rest()) << row.k;
        EXPECT_TRUE(page.io.faultFired());
        const int calls = page.io.calls(IoOp::Any);
        EXPECT_EQ(kEndOfInput, readChar(*page.context));
        EXPECT_EQ(calls, page.io.calls(IoOp::Any)) << "no retry after the end";
        page.close();
        expectNothingHeld(page.io);
    }
}

TEST(InputWindow, StepsBackOverBytesBeforeAFailedBlockReload) {
    const std::string bytes = numbered(2000);
    HtmlPage page(bytes);
    ASSERT_TRUE(page.open());
    page.io.failAt(IoOp::Read, 2);
    EXPECT_EQ(1024u, page.rest().size());
    EXPECT_EQ(4, unreadChars(*page.context, 4));
    EXPECT_EQ(bytes.substr(1020, 4), page.rest());
    page.close();
    expectNothingHeld(page.io);
}

TEST(Tokens, ReadTokenAndReadUntilStopKeepAndConsume) {
    HtmlPage page("abc=def ghi>x\"quoted text\" a\0b=c end"s);
    ASSERT_TRUE(page.open());
    HtmlContext& c = *page.context;
    char buffer[8];
    EXPECT_EQ('=', readToken(c, "=>", buffer, 7));
    EXPECT_STREQ("abc", buffer);
    EXPECT_EQ(' ', readToken(c, "=>", buffer, 2));  // stored two, read three
    EXPECT_STREQ("de", buffer);
    EXPECT_EQ('>', readToken(c, ">", buffer, 7));
    EXPECT_STREQ("ghi", buffer);
    EXPECT_EQ('"', readUntil(c, '"', buffer, 7));
    EXPECT_STREQ("x", buffer);
    EXPECT_EQ('"', readUntil(c, '"', buffer, 7));  // whitespace is no stop here
    EXPECT_STREQ("quoted ", buffer);
    EXPECT_EQ('a', readNonSpace(c));
    EXPECT_EQ('=', readToken(c, "=", buffer, 7));  // a NUL byte never stops a token
    EXPECT_EQ(0, buffer[0]);
    EXPECT_EQ('b', buffer[1]);
    EXPECT_EQ(' ', readToken(c, "", buffer, 0));  // 'c' read, nothing stored
    EXPECT_STREQ("", buffer);
    EXPECT_EQ(kEndOfInput, readToken(c, "", buffer, 7));
    EXPECT_STREQ("end", buffer);
    EXPECT_EQ(kEndOfInput, readUntil(c, 'x', buffer, 7));
    EXPECT_STREQ("", buffer);
    page.close();
    expectNothingHeld(page.io);
}
