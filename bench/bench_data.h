// bench/bench_data.h -- the inputs of the micro-benchmarks. Real text and a real page
// are taken from what every Debian machine has (the GPL's text in common-licenses) or
// what scripts/packages/bench.txt installs (the flex manual); without them the samples
// of this repository stand in, so the benchmarks always run, but only figures taken
// from the same inputs compare.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

// `bytes` bytes of English text: the GPL version 3, repeated as needed.
std::string realText(size_t bytes);
// `bytes` bytes with little to find: mostly noise, some copies and runs (fixed seed).
std::vector<uint8_t> binaryLike(size_t bytes);
// One real HTML page of a multi-page manual (about 23 KB), and its name.
std::string realPage(std::string* name = nullptr);
