// The output buffer in front of the text stream: what reaches the stream and when, the
// text position, the trailing-newline count, and write failures.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "html/html_output.h"
#include "html/html_reader.h"
#include "tests/support/counting_io.h"
#include "tests/support/memory_io.h"

namespace {

class Output : public ::testing::Test {
protected:
    void SetUp() override {
        context = createHtmlContext(io.ops());
        ASSERT_NE(nullptr, context);
        ASSERT_TRUE(resetHtmlContext(*context, io.ops()));
        text = io.ops().createTempStream(io.ops().userData);
        context->textStream = text;
    }
    void TearDown() override {
        destroyHtmlContext(io.ops(), context);
        io.ops().closeStream(io.ops().userData, text);
        expectNothingHeld(io);
    }
    bool emit(const std::string& bytes) {
        std::memcpy(context->textBuffer, bytes.data(), bytes.size());
        return emitText(*context, static_cast<int32_t>(bytes.size()));
    }
    std::string written() const {
        const std::vector<uint8_t> bytes = memory.bytesOfHandle(text);
        return std::string(bytes.begin(), bytes.end());
    }

    MemoryIo memory;
    CountingIo io{memory.ops()};
    HtmlContext* context = nullptr;
    uint32_t text = 0;
};

}  // namespace

TEST_F(Output, TextWaitsInTheBufferUntilFlushed) {
    ASSERT_TRUE(emit("Hello"));
    EXPECT_EQ("", written());
    EXPECT_EQ(5u, context->textPos);
    ASSERT_TRUE(emitRepeated(*context, '!', 3));
    EXPECT_EQ(8u, context->textPos);
    ASSERT_TRUE(flushOutput(*context));
    EXPECT_EQ("Hello!!!", written());
    EXPECT_EQ(0, context->outFill);
    const int writes = io.calls(IoOp::Write);
    EXPECT_TRUE(flushOutput(*context));  // nothing waiting: no write
    EXPECT_EQ(writes, io.calls(IoOp::Write));
}

TEST_F(Output, FlushesInBlocksOfAtMost4096) {
    ASSERT_TRUE(emit(std::string(4000, 'a')));
    ASSERT_TRUE(emit(std::string(96, 'b')));  // exactly fills the buffer
    EXPECT_EQ("", written());
    ASSERT_TRUE(emit("c"));
    EXPECT_EQ(4096u, written().size());
    EXPECT_EQ(1, context->outFill);
    ASSERT_TRUE(emitRepeated(*context, 'd', 10000));
    EXPECT_EQ(4096u * 3, written().size());
    EXPECT_EQ(10001u - 4096u * 2, context->outFill);
    EXPECT_EQ(4097u + 10000u, context->textPos);
    flushOutput(*context);
    const std::string all = written();
    EXPECT_EQ(std::string(4000, 'a') + std::string(96, 'b') + "c" + std::string(10000, 'd'), all);
    EXPECT_FALSE(emitText(*context, 4097));
    EXPECT_FALSE(emitText(*context, -1));
    EXPECT_TRUE(emitText(*context, 0));
}

TEST_F(Output, TrailingNewlinesCountOnlyEmittedText) {
    EXPECT_EQ(1, context->trailingNewlines);
    emit("a\n\n");
    EXPECT_EQ(2, context->trailingNewlines);
    emit("\n");
    EXPECT_EQ(3, context->trailingNewlines);
    emit("\nb");
    EXPECT_EQ(0, context->trailingNewlines);
    emitRepeated(*context, '\n', 4);  // written ahead of text, not counted
    EXPECT_EQ(0, context->trailingNewlines);
    emit("c\n");
    EXPECT_EQ(1, context->trailingNewlines);
}

TEST_F(Output, AFailedWriteKeepsTheBufferAndFailsTheCaller) {
    emit(std::string(4000, 'a'));
    io.failAt(IoOp::Write, 1);
    EXPECT_FALSE(emit(std::string(200, 'b')));
    EXPECT_EQ(4000, context->outFill);
    EXPECT_EQ(4000u, context->textPos);
    io.shortAt(IoOp::Write, 2);
    EXPECT_FALSE(flushOutput(*context));
    EXPECT_EQ(4000, context->outFill);
    emitRepeated(*context, 'x', 96);
    io.failAt(IoOp::Write, 3);
    EXPECT_FALSE(emitRepeated(*context, 'y', 5));
    EXPECT_EQ(4096, context->outFill);
    EXPECT_EQ(4096u, context->textPos);
    EXPECT_TRUE(flushOutput(*context));
    EXPECT_EQ(std::string(4000, 'a') + std::string(96, 'x'), written().substr(written().size() - 4096));
}

TEST_F(Output, WithoutATextStreamBytesAreDroppedButCounted) {
    context->textStream = 0;
    emit(std::string(4096, 'a'));
    emit("more");
    emitRepeated(*context, ' ', 5000);
    EXPECT_TRUE(flushOutput(*context));
    EXPECT_EQ(0, context->outFill);
    EXPECT_EQ(4096u + 4u + 5000u, context->textPos);
    EXPECT_EQ(0, io.calls(IoOp::Write));
}
