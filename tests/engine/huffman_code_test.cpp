// The code builder must give complete prefix codes within the length limit whatever
// the frequencies, optimal ones when the limit does not bite, and the tie rules decide
// between equally good trees, so those are pinned with hand-worked cases.
#include <gtest/gtest.h>

#include <functional>
#include <queue>
#include <random>
#include <vector>

#include "engine/huffman_code.h"

namespace {

struct Built {
    std::vector<uint8_t> lengths;
    int maxSymbol;
};

Built build(const std::vector<uint32_t>& frequencies, int maxBits) {
    CodeBuilderScratch scratch;
    Built built{std::vector<uint8_t>(frequencies.size(), 0xEE), 0};
    built.maxSymbol = buildCodeLengths(frequencies.data(), static_cast<int>(frequencies.size()),
                                       maxBits, scratch, built.lengths.data());
    return built;
}

// Kraft sum in units of 2^-15: exactly 2^15 for a complete prefix code.
uint64_t kraft(const std::vector<uint8_t>& lengths) {
    uint64_t sum = 0;
    for (uint8_t length : lengths)
        if (length != 0) sum += uint64_t{1} << (15 - length);
    return sum;
}

uint64_t cost(const std::vector<uint32_t>& frequencies, const std::vector<uint8_t>& lengths) {
    uint64_t total = 0;
    for (size_t s = 0; s < frequencies.size(); ++s) total += uint64_t{frequencies[s]} * lengths[s];
    return total;
}

// The cost of an optimal unlimited code: the sum of all merged weights.
uint64_t optimalCost(const std::vector<uint32_t>& frequencies) {
    std::priority_queue<uint64_t, std::vector<uint64_t>, std::greater<uint64_t>> queue;
    for (uint32_t f : frequencies)
        if (f != 0) queue.push(f);
    uint64_t total = 0;
    while (queue.size() > 1) {
        const uint64_t a = queue.top();
        queue.pop();
        const uint64_t b = queue.top();
        queue.pop();
        total += a + b;
        queue.push(a + b);
    }
    return total;
}

std::vector<uint32_t> fibonacci(int count, int period) {
    std::vector<uint32_t> f(static_cast<size_t>(count));
    uint32_t a = 1, b = 1;
    for (int i = 0; i < count; ++i) {
        if (i % period == 0) a = 1, b = 1;
        f[static_cast<size_t>(i)] = a;
        const uint32_t next = a + b;
        a = b;
        b = next;
    }
    return f;
}

}  // namespace

TEST(CodeBuilder, SkewedFrequenciesStayWithinTheLimitAndFormACompleteCode) {
    struct Row {
        std::vector<uint32_t> frequencies;
        int maxBits;
    };
    std::vector<uint32_t> firstThirty = fibonacci(286, 1000);
    for (size_t s = 30; s < firstThirty.size(); ++s) firstThirty[s] = 1;
    const Row rows[] = {
        {fibonacci(286, 25), 15},  // every run of 25 symbols is a Fibonacci series
        {firstThirty, 15},         // 30 Fibonacci symbols, 256 rare ones
        {fibonacci(30, 30), 15},   // the distance alphabet, a depth-29 tree unlimited
        {fibonacci(19, 19), 7},    // the code-length alphabet
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.frequencies.size());
        const Built built = build(row.frequencies, row.maxBits);
        for (size_t s = 0; s < built.lengths.size(); ++s) {
            EXPECT_GE(built.lengths[s], 1) << s;
            EXPECT_LE(built.lengths[s], row.maxBits) << s;
        }
        EXPECT_EQ(uint64_t{1} << 15, kraft(built.lengths));
        EXPECT_EQ(static_cast<int>(row.frequencies.size()) - 1, built.maxSymbol);
        // The least frequent symbols never get the shorter codes.
        for (size_t a = 0; a < built.lengths.size(); ++a) {
            for (size_t b = 0; b < built.lengths.size(); ++b) {
                if (row.frequencies[a] < row.frequencies[b]) {
                    ASSERT_GE(built.lengths[a], built.lengths[b]) << a << " vs " << b;
                }
            }
        }
    }
}

TEST(CodeBuilder, CodesAreOptimalWhenTheLimitDoesNotBite) {
    std::mt19937 generator(11);
    for (int round = 0; round < 200; ++round) {
        const int symbols = 2 + static_cast<int>(generator() % 285);
        std::vector<uint32_t> frequencies(static_cast<size_t>(symbols));
        int last = -1;
        for (int s = 0; s < symbols; ++s) {
            frequencies[static_cast<size_t>(s)] = generator() % 3 == 0 ? 0 : 1 + generator() % 500;
            if (frequencies[static_cast<size_t>(s)] != 0) last = s;
        }
        if (last < 1 || frequencies[0] + frequencies[1] == 0) continue;
        const Built built = build(frequencies, 15);
        EXPECT_EQ(last, built.maxSymbol);
        EXPECT_EQ(uint64_t{1} << 15, kraft(built.lengths));
        EXPECT_EQ(optimalCost(frequencies), cost(frequencies, built.lengths)) << "round " << round;
        for (int s = 0; s < symbols; ++s)
            EXPECT_EQ(frequencies[static_cast<size_t>(s)] == 0, built.lengths[static_cast<size_t>(s)] == 0);
    }
}

TEST(CodeBuilder, TiesFollowTheHeapRules) {
    // 1 + 1 merge first into a node of frequency 2 and depth 1; the two leaves of
    // frequency 2 then come before it, so the tree stays flat.
    EXPECT_EQ((std::vector<uint8_t>{2, 2, 2, 2}), build({1, 1, 2, 2}, 15).lengths);
    EXPECT_EQ((std::vector<uint8_t>{1, 2, 2}), build({2, 1, 1}, 15).lengths);
    // Sifting takes the right child only when it is strictly smaller: after 0 leaves,
    // 1 (left) rises over 2 (right), so 0 and 1 pair up.
    EXPECT_EQ((std::vector<uint8_t>{3, 3, 2, 1}), build({1, 1, 1, 3}, 15).lengths);
    // The length limit pushes the rare leaves up and moves a frequent one down.
    EXPECT_EQ((std::vector<uint8_t>{2, 2, 2, 2}), build({1, 1, 2, 4}, 2).lengths);
}

TEST(CodeBuilder, FewerThanTwoUsedSymbolsGetAPartner) {
    const struct {
        std::vector<uint32_t> frequencies;
        std::vector<uint8_t> lengths;
        int maxSymbol;
    } rows[] = {
        {{0, 0, 0, 0, 0, 7, 0}, {1, 0, 0, 0, 0, 1, 0}, 5},  // symbol 0 joins
        {{3, 0, 0}, {1, 1, 0}, 1},                          // symbol 1 joins
        {{0, 0, 0}, {1, 1, 0}, 1},                          // nothing used: 0 and 1
    };
    for (const auto& row : rows) {
        const Built built = build(row.frequencies, 15);
        EXPECT_EQ(row.lengths, built.lengths);
        EXPECT_EQ(row.maxSymbol, built.maxSymbol);
    }
}

TEST(CodeBuilder, CanonicalCodesFollowLengthThenSymbolOrder) {
    // The example of RFC 1951 section 3.2.2: A-H with lengths 3,3,3,3,3,2,4,4 get
    // 010, 011, 100, 101, 110, 00, 1110, 1111; stored reversed for lowest-first sending.
    const std::vector<uint8_t> lengths = {3, 3, 3, 3, 3, 2, 4, 4, 0};
    std::vector<uint16_t> codes(lengths.size());
    makeCanonicalCodes(lengths.data(), static_cast<int>(lengths.size()), codes.data());
    EXPECT_EQ((std::vector<uint16_t>{0b010, 0b110, 0b001, 0b101, 0b011, 0b00, 0b0111, 0b1111, 0}), codes);
}
