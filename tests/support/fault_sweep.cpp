// tests/support/fault_sweep.cpp -- see fault_sweep.h.
#include "tests/support/fault_sweep.h"

#include <gtest/gtest.h>

void forEachFault(int count, const std::function<void(int k)>& check, SweepStop stop) {
    // Failures from before the sweep began do not end it.
    const bool fatalBefore = ::testing::Test::HasFatalFailure();
    const bool anyBefore = ::testing::Test::HasFailure();
    for (int k = 1; k <= count; ++k) {
        check(k);
        if (!fatalBefore && ::testing::Test::HasFatalFailure()) return;
        if (stop == SweepStop::AtAnyFailure && !anyBefore && ::testing::Test::HasFailure()) return;
    }
}

void forEachFailOrShort(int count, const std::function<void(int k, bool shorten)>& check) {
    forEachFault(2 * count, [&](int run) { check((run - 1) % count + 1, run > count); });
}

void forEachFaultUntil(const std::function<bool(int k)>& check) {
    const bool fatalBefore = ::testing::Test::HasFatalFailure();
    for (int k = 1; check(k); ++k)
        if (!fatalBefore && ::testing::Test::HasFatalFailure()) return;
}

void failOrShortAt(CountingIo& io, IoOp op, int at, bool shorten) {
    if (shorten) io.shortAt(op, at);
    else io.failAt(op, at);
}
