// bench/compressor_bench.cpp -- the compressor's parts one at a time: the parse of one
// 4096-byte chunk, the code builder of one group, the bit writer, and the whole
// compressor over one group of eight chunks, all in memory.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "bench/bench_data.h"
#include "bench/bench_io.h"
#include "engine/bit_writer.h"
#include "engine/compressor.h"
#include "engine/deflate_tables.h"
#include "engine/ebook_layout.h"
#include "engine/huffman_code.h"
#include "engine/match_finder.h"

namespace {

constexpr int kChunk = kBookChunkSize;

struct ParseArea {
    std::vector<uint16_t> heads = std::vector<uint16_t>(kHashHeads);
    std::vector<uint16_t> links = std::vector<uint16_t>(kChunk);
    std::vector<uint8_t> litLen = std::vector<uint8_t>(kChunk);
    std::vector<uint16_t> distance = std::vector<uint16_t>(kChunk);
    MatchTables tables() { return MatchTables{heads.data(), links.data()}; }
};

void parseBench(benchmark::State& state, const std::vector<uint8_t>& chunk) {
    ParseArea area;
    int32_t tokens = 0;
    for (auto _ : state) {
        tokens = parseChunk(chunk.data(), kChunk, area.tables(), area.litLen.data(), area.distance.data());
        benchmark::DoNotOptimize(tokens);
    }
    state.SetBytesProcessed(state.iterations() * kChunk);
    state.counters["tokens"] = tokens;
}

void BM_ParseChunkText(benchmark::State& state) {
    const std::string text = realText(kChunk);
    parseBench(state, std::vector<uint8_t>(text.begin(), text.end()));
}
BENCHMARK(BM_ParseChunkText);

void BM_ParseChunkBinary(benchmark::State& state) { parseBench(state, binaryLike(kChunk)); }
BENCHMARK(BM_ParseChunkBinary);

int rangeOf(const uint16_t* bases, int count, int value) {
    int range = 0;
    while (range + 1 < count && bases[range + 1] <= value) ++range;
    return range;
}

// The literal/length and distance frequencies of one group of eight text chunks.
struct GroupFrequencies {
    uint32_t litLen[kLiteralLengthSymbols] = {};
    uint32_t distance[kDistanceSymbols] = {};
};

GroupFrequencies groupFrequencies(const std::string& text) {
    GroupFrequencies f;
    ParseArea area;
    for (size_t start = 0; start + kChunk <= text.size(); start += kChunk) {
        const auto* bytes = reinterpret_cast<const uint8_t*>(text.data()) + start;
        const int32_t tokens = parseChunk(bytes, kChunk, area.tables(), area.litLen.data(), area.distance.data());
        for (int32_t t = 0; t < tokens; ++t) {
            if (area.distance[t] == 0) {
                ++f.litLen[area.litLen[t]];
                continue;
            }
            ++f.litLen[kFirstLengthSymbol + rangeOf(kDeflateRanges.lengthBase, kLengthRanges, area.litLen[t] + kMinMatch)];
            ++f.distance[rangeOf(kDeflateRanges.distanceBase, kDistanceSymbols, area.distance[t])];
        }
    }
    ++f.litLen[kEndSymbol];
    return f;
}

// Both codes of a group with their canonical codes, as the compressor builds them.
void BM_BuildGroupCodes(benchmark::State& state) {
    const GroupFrequencies f = groupFrequencies(realText(kChunk * kBookGroupSize));
    CodeBuilderScratch scratch;
    uint8_t litLenLength[kLiteralLengthSymbols], distanceLength[kDistanceSymbols];
    uint16_t litLenCode[kLiteralLengthSymbols], distanceCode[kDistanceSymbols];
    for (auto _ : state) {
        buildCodeLengths(f.litLen, kLiteralLengthSymbols, kMaxCodeBits, scratch, litLenLength);
        makeCanonicalCodes(litLenLength, kLiteralLengthSymbols, litLenCode);
        buildCodeLengths(f.distance, kDistanceSymbols, kMaxCodeBits, scratch, distanceLength);
        makeCanonicalCodes(distanceLength, kDistanceSymbols, distanceCode);
        benchmark::DoNotOptimize(litLenCode);
        benchmark::DoNotOptimize(distanceCode);
    }
}
BENCHMARK(BM_BuildGroupCodes);

// The bit writer alone: the (value, width) pairs of one coded text chunk.
void BM_BitWriterChunk(benchmark::State& state) {
    const std::string text = realText(kChunk * kBookGroupSize);
    const GroupFrequencies f = groupFrequencies(text);
    CodeBuilderScratch scratch;
    uint8_t litLenLength[kLiteralLengthSymbols], distanceLength[kDistanceSymbols];
    uint16_t litLenCode[kLiteralLengthSymbols], distanceCode[kDistanceSymbols];
    buildCodeLengths(f.litLen, kLiteralLengthSymbols, kMaxCodeBits, scratch, litLenLength);
    makeCanonicalCodes(litLenLength, kLiteralLengthSymbols, litLenCode);
    buildCodeLengths(f.distance, kDistanceSymbols, kMaxCodeBits, scratch, distanceLength);
    makeCanonicalCodes(distanceLength, kDistanceSymbols, distanceCode);

    ParseArea area;
    const int32_t tokens = parseChunk(reinterpret_cast<const uint8_t*>(text.data()), kChunk, area.tables(),
                                      area.litLen.data(), area.distance.data());
    std::vector<uint32_t> values;
    std::vector<int32_t> widths;
    auto put = [&](uint32_t value, int32_t width) {
        values.push_back(value);
        widths.push_back(width);
    };
    for (int32_t t = 0; t < tokens; ++t) {
        if (area.distance[t] == 0) {
            put(litLenCode[area.litLen[t]], litLenLength[area.litLen[t]]);
            continue;
        }
        const int length = area.litLen[t] + kMinMatch;
        const int range = rangeOf(kDeflateRanges.lengthBase, kLengthRanges, length);
        put(litLenCode[kFirstLengthSymbol + range], litLenLength[kFirstLengthSymbol + range]);
        put(static_cast<uint32_t>(length - kDeflateRanges.lengthBase[range]), kDeflateRanges.lengthExtra[range]);
        const int d = rangeOf(kDeflateRanges.distanceBase, kDistanceSymbols, area.distance[t]);
        put(distanceCode[d], distanceLength[d]);
        put(static_cast<uint32_t>(area.distance[t] - kDeflateRanges.distanceBase[d]), kDeflateRanges.distanceExtra[d]);
    }
    put(litLenCode[kEndSymbol], litLenLength[kEndSymbol]);

    std::vector<uint8_t> out(kChunk);
    const size_t count = values.size();
    for (auto _ : state) {
        BitWriter writer;
        startBits(writer, out.data(), kChunk / 4);
        int ok = 1;
        for (size_t i = 0; i < count; ++i) ok &= putBits(writer, values[i], widths[i]);
        ok &= flushBits(writer);
        benchmark::DoNotOptimize(ok);
        benchmark::DoNotOptimize(out.data());
    }
    state.counters["fields"] = static_cast<double>(count);
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(count));
}
BENCHMARK(BM_BitWriterChunk);

// The whole compressor on one group: parse, spill, code tables, coding, records.
void compressBench(benchmark::State& state, const std::vector<uint8_t>& text) {
    BenchIo io;
    const uint32_t source = io.addStream(text);
    const uint32_t spill = io.addStream(std::vector<uint8_t>());
    const uint32_t out = io.addStream(std::vector<uint8_t>());
    for (auto _ : state) {
        io.clear(spill);
        io.clear(out);
        if (compressText(io.ops(), source, spill, out, kBookChunkSize, kBookGroupSize) != StepDone)
            state.SkipWithError("compressText failed");
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(text.size()));
    state.counters["ratio"] = static_cast<double>(io.bytesOf(out).size()) / static_cast<double>(text.size());
}

void BM_CompressGroupText(benchmark::State& state) {
    const std::string text = realText(kChunk * kBookGroupSize);
    compressBench(state, std::vector<uint8_t>(text.begin(), text.end()));
}
BENCHMARK(BM_CompressGroupText);

void BM_CompressGroupBinary(benchmark::State& state) { compressBench(state, binaryLike(kChunk * kBookGroupSize)); }
BENCHMARK(BM_CompressGroupBinary);

}  // namespace
