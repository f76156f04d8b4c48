// tests/support/fault_sweep.cpp -- see fault_sweep.h.
#include "tests/support/fault_sweep.h"

#include <gtest/gtest.h>

namespace {

// Compares against the state at the start, so a sweep that follows an earlier failure
// in the same test still runs.
bool shouldStop(SweepStop stop, bool fatalBefore, bool anyBefore) {
    if (!fatalBefore && ::testing::Test::HasFatalFailure()) return true;
    return stop == SweepStop::AtAnyFailure && !anyBefore && ::testing::Test::HasFailure();
}

}  // namespace

void forEachFault(int count, const std::function<void(int k)>& check, SweepStop stop) {
    const bool fatalBefore = ::testing::Test::HasFatalFailure();
    const bool anyBefore = ::testing::Test::HasFailure();
    for (int k = 1; k <= count; ++k) {
        check(k);
        if (shouldStop(stop, fatalBefore, anyBefore)) return;
    }
}

void forEachFailOrShort(int count, const std::function<void(int k, bool shorten)>& check) {
    const bool fatalBefore = ::testing::Test::HasFatalFailure();
    for (bool shorten : {false, true}) {
        forEachFault(count, [&](int k) { check(k, shorten); });
        if (!fatalBefore && ::testing::Test::HasFatalFailure()) return;
    }
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
