// tests/support/expect_nothing_held.cpp -- the gtest side of CountingIo, apart so the
// fuzz targets can use CountingIo without GoogleTest.
#include <gtest/gtest.h>

#include "tests/support/counting_io.h"

void expectNothingHeld(const CountingIo& io) {
    EXPECT_EQ(0, io.openHandles()) << "handles left open";
    EXPECT_EQ(0, io.liveBlocks()) << "blocks left allocated";
    EXPECT_EQ(0, io.badCloses()) << "handles closed twice or never opened";
    EXPECT_EQ(0, io.badFrees()) << "blocks freed twice or never allocated";
}
