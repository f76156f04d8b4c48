// tests/cli/spill_sort_test.cpp -- the spilling sort gives what a stable sort in memory
// gives, whether its entries stay in memory or go through the temporary file in many
// blocks.
#include "cli/spill_sort.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <utility>
#include <vector>

namespace {

struct Tagged {
    uint32_t order;  // the entry's place among those added
};

TEST(SpillSorter, AgreesWithAStableSortAtAnyBlockSize) {
    std::mt19937 random(21);
    std::vector<std::pair<uint64_t, uint32_t>> entries;
    for (uint32_t i = 0; i < 5000; ++i) entries.push_back({random() % 97, i});  // many equal keys
    entries.push_back({~uint64_t{0}, 5000});
    entries.push_back({0, 5001});
    std::vector<std::pair<uint64_t, uint32_t>> expected = entries;
    std::stable_sort(expected.begin(), expected.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });

    for (const size_t block : {size_t{1}, size_t{2}, size_t{7}, size_t{1000}, size_t{5002}, size_t{100000}}) {
        SpillSorter<Tagged> sorter(block);
        for (const auto& [key, order] : entries) ASSERT_TRUE(sorter.add(key, {order}));
        ASSERT_TRUE(sorter.finish()) << block;
        std::vector<std::pair<uint64_t, uint32_t>> got;
        for (auto* entry = sorter.peek(); entry != nullptr; entry = sorter.peek()) {
            got.push_back({entry->key, entry->item.order});
            sorter.pop();
        }
        EXPECT_FALSE(sorter.failed());
        EXPECT_EQ(expected, got) << "block of " << block;
    }
}

TEST(SpillSorter, NothingAddedGivesNothing) {
    for (const size_t block : {size_t{1}, size_t{100}}) {
        SpillSorter<Tagged> sorter(block);
        ASSERT_TRUE(sorter.finish());
        EXPECT_EQ(nullptr, sorter.peek());
        sorter.pop();  // harmless at the end
        EXPECT_EQ(nullptr, sorter.peek());
    }
}

}  // namespace
