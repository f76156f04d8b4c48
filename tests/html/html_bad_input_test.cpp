// Malformed input is never an error: random bytes rich in the tokenizer's special
// characters (NUL, bytes above 0x7F, unterminated tags, quotes and references) are read
// to the end without touching memory outside a buffer (the sanitizer build watches),
// without stalling, and with every tag inside its limits. A failed read or
// seek anywhere reads as the end of the input.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>

#include "html/html_tables.h"
#include "tests/html/html_page.h"
#include "tests/support/fault_sweep.h"

namespace {

std::string randomSource(std::mt19937& random, size_t size) {
    static const char kSpecial[] = "<>&#;=\"' \t\n\r/!-0123456789abxAMPltHREF";
    std::string bytes;
    for (size_t i = 0; i < size; ++i) {
        const unsigned pick = random() % 8;
        if (pick == 0) bytes += static_cast<char>(random() % 256);
        else if (pick == 1) bytes += static_cast<char>(0x80 + random() % 128);
        else if (pick == 2) bytes += '\0';
        else bytes += kSpecial[random() % (sizeof kSpecial - 1)];
    }
    return bytes;
}

void expectTagWithinLimits(const HtmlContext& c) {
    ASSERT_LE(std::strlen(c.tagName), 31u);
    ASSERT_GE(c.attrCount, 0);
    ASSERT_LE(c.attrCount, 32);
    ASSERT_LE(c.attrPoolUsed, 4096);
    for (int i = 0; i < c.attrCount; ++i) {
        ASSERT_NE(nullptr, c.attrs[i].name);
        ASSERT_NE(nullptr, c.attrs[i].value);
        EXPECT_LE(std::strlen(c.attrs[i].name), 31u);
        EXPECT_LE(std::strlen(c.attrs[i].value), 255u);
    }
    for (int id = 0; id < 30; ++id) findAttribute(c, id);
}

// The page loop of a converter in miniature: text runs, raw after a PRE, tags, looked up.
// Returns the number of loop turns; each one consumes input, so it is bounded.
int tokenize(HtmlContext& c, size_t sourceSize) {
    int turns = 0;
    bool raw = false;
    int32_t prevSpace = 1;
    for (;;) {
        uint16_t length = 0;
        const int end = raw ? readRawText(c, c.textBuffer, kTextBufferBytes, length)
                            : readText(c, prevSpace, c.textBuffer, kTextBufferBytes, length);
        EXPECT_LE(length, kTextBufferBytes);
        if (++turns > static_cast<int>(sourceSize) + 2) {
            ADD_FAILURE() << "the reader stalls";
            return turns;
        }
        if (end == kEndOfInput) return turns;
        if (end != '<') continue;
        parseTag(c);
        expectTagWithinLimits(c);
        int32_t isEnd = 0;
        raw = lookupTag(c.tagName, isEnd) == TagPre ? isEnd == 0 : raw;
        lookupAlign(findAttribute(c, AttrAlign));
        lookupListType(findAttribute(c, AttrType));
    }
}

}  // namespace

TEST(BadInput, RandomBytesAreReadToTheEndSafely) {
    std::mt19937 random(20240611);
    for (int round = 0; round < 300; ++round) {
        const std::string source = randomSource(random, 1 + random() % 3000);
        HtmlPage page(source);
        ASSERT_TRUE(page.open());
        tokenize(*page.context, source.size());
        EXPECT_EQ(kEndOfInput, readChar(*page.context));
        page.close();
        expectNothingHeld(page.io);

        HtmlPage probe(source);
        ASSERT_TRUE(probe.open());
        scanHtmlSignature(*probe.context);
        expectTagWithinLimits(*probe.context);
        ASSERT_TRUE(openHtmlSource(*probe.context, probe.io.ops(), probe.stream));
        char title[32];
        readHtmlTitle(*probe.context, title, 31);
        EXPECT_LE(std::strlen(title), 31u);
        probe.close();
        expectNothingHeld(probe.io);
    }
}

TEST(BadInput, UnterminatedConstructsRunToTheEnd) {
    const std::string sources[] = {
        "<a href=\"" + std::string(5000, 'x'),
        "<a '" + std::string(5000, 'y'),
        "<" + std::string(5000, 'z'),
        "<a " + std::string(5000, '='),
        "&#" + std::string(5000, '0'),
        std::string(3000, '&'),
        "<a" + std::string(3000, ' ') + "b='" + std::string(3000, '>'),
        "&frac" + std::string(3000, '1'),
    };
    for (const std::string& source : sources) {
        HtmlPage page(source);
        ASSERT_TRUE(page.open());
        tokenize(*page.context, source.size());
        EXPECT_EQ(kEndOfInput, readChar(*page.context));
        page.close();
        expectNothingHeld(page.io);
    }
}

TEST(BadInput, AFailedReadOrSeekAnywhereEndsThePageQuietly) {
    std::mt19937 random(7);
    const std::string source = randomSource(random, 5000) + "<p>" + std::string(3000, 'x');
    HtmlPage probe(source);
    ASSERT_TRUE(probe.open());
    tokenize(*probe.context, source.size());
    const int reads = probe.io.calls(IoOp::Read);
    const int seeks = probe.io.calls(IoOp::Seek);
    probe.close();
    for (IoOp op : {IoOp::Read, IoOp::Seek}) {
        forEachFault(op == IoOp::Read ? reads : seeks, [&](int k) {
            HtmlPage page(source);
            page.io.failAt(op, k);
            if (!page.open()) {  // the size probe itself failed
                page.close();
                expectNothingHeld(page.io);
                return;
            }
            tokenize(*page.context, source.size());
            EXPECT_TRUE(page.io.faultFired()) << k;
            EXPECT_EQ(kEndOfInput, readChar(*page.context));
            page.close();
            expectNothingHeld(page.io);
        });
    }
}
