// tests/support/fault_sweep.h -- the loop behind every "fault at the k-th call, for each
// k" test. A clean probe run tells how many calls (or reads, writes, reports) there are;
// the sweep then runs the case once per k, with the fault armed by the caller's check.
// Each check names k in its own failure messages.
#pragma once
#include <functional>

#include "tests/support/counting_io.h"

// When a sweep gives up. A fatal failure (an ASSERT) always ends it, as it would end a
// hand-written loop; AtAnyFailure also stops at the first EXPECT that fails, for runs
// so long that one broken k is all anyone will read.
enum class SweepStop { AtFatalFailure, AtAnyFailure };

// check(k) for k = 1 .. count.
void forEachFault(int count, const std::function<void(int k)>& check,
                  SweepStop stop = SweepStop::AtFatalFailure);

// check(k, false) for k = 1 .. count, then check(k, true) for the same k: the k-th call
// failing, then the k-th call falling one byte short.
void forEachFailOrShort(int count, const std::function<void(int k, bool shorten)>& check);

// check(k) for k = 1, 2, ... until it returns false, for runs whose call count only
// the faulty runs tell (the first run in which the fault never fires ends it).
void forEachFaultUntil(const std::function<bool(int k)>& check);

// Arms `io` so that its `at`-th call of `op` fails, or with `shorten` transfers one byte
// short (see CountingIo::failAt and shortAt).
void failOrShortAt(CountingIo& io, IoOp op, int at, bool shorten);
