// bench/text_filter_bench.cpp -- filterChunk over 4096 bytes of CR LF text, with the
// command line's usual options (CR removed) and with the single-line-break rule.
#include <benchmark/benchmark.h>

#include "bench/bench_data.h"
#include "bench/bench_io.h"
#include "engine/text_filter.h"

namespace {

// 4096 bytes of real text with CR LF line ends, as a text written on Windows has.
std::string crlfChunk() {
    std::string text;
    for (char c : realText(8192)) {
        if (c == '\n') text += '\r';
        text += c;
    }
    text.resize(4096);
    return text;
}

void filterBench(benchmark::State& state, int32_t removeCR, int32_t slbSpaces, int32_t tabToSpace) {
    const std::string chunk = crlfChunk();
    ConversionJob job{};
    job.removeCR = removeCR;
    job.slbSpaces = slbSpaces;
    job.tabToLB = -1;
    job.tabToSpace = tabToSpace;
    TextFilter filter;
    filterInit(filter, job, NullSink::ops(), 1);
    const auto* bytes = reinterpret_cast<const uint8_t*>(chunk.data());
    for (auto _ : state) {
        if (!filterChunk(filter, bytes, static_cast<int32_t>(chunk.size()))) state.SkipWithError("filter failed");
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(chunk.size()));
}

void BM_FilterChunkRemoveCR(benchmark::State& state) { filterBench(state, 1, -1, -1); }
BENCHMARK(BM_FilterChunkRemoveCR);

void BM_FilterChunkSingleBreaks(benchmark::State& state) { filterBench(state, 0, 1, 4); }
BENCHMARK(BM_FilterChunkSingleBreaks);

}  // namespace
