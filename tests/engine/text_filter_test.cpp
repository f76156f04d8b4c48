// The filter decides what every text and PalmDoc conversion keeps of the source's line
// breaks, tabs and NUL bytes. Rows name the input, the options and the exact bytes out;
// each row is also cut at every pair of chunk boundaries, since held line breaks must
// come out as if the input had arrived in one piece.
#include <gtest/gtest.h>

#include "engine/text_filter.h"
#include "tests/engine/engine_fixtures.h"
#include "tests/support/counting_io.h"
#include "tests/support/fault_sweep.h"
#include "tests/support/memory_io.h"

namespace {

struct Options {
    int32_t removeCR = 0, removeLF = 0, convertCRtoLF = 0;
    int32_t slbSpaces = -1, tabToLB = -1, tabToSpace = -1;
};

ConversionJob jobWith(const IoOps& io, const Options& o) {
    ConversionJob job = defaultJob(io, "src", "dst");
    job.removeCR = o.removeCR;
    job.removeLF = o.removeLF;
    job.convertCRtoLF = o.convertCRtoLF;
    job.slbSpaces = o.slbSpaces;
    job.tabToLB = o.tabToLB;
    job.tabToSpace = o.tabToSpace;
    return job;
}

// Filters `input` cut at the given positions (ascending) and returns what was written.
std::string filterPieces(const std::string& input, const Options& options,
                         const std::vector<size_t>& cuts) {
    MemoryIo mem;
    const IoOps& io = mem.ops();
    const uint32_t out = io.createTempStream(io.userData);
    const ConversionJob job = jobWith(io, options);
    TextFilter filter;
    filterInit(filter, job, io, out);
    size_t start = 0;
    std::vector<size_t> ends = cuts;
    ends.push_back(input.size());
    for (size_t end : ends) {
        const auto* bytes = reinterpret_cast<const uint8_t*>(input.data()) + start;
        EXPECT_TRUE(filterChunk(filter, bytes, static_cast<int32_t>(end - start)));
        start = end;
    }
    const Bytes written = mem.bytesOfHandle(out);
    io.closeStream(io.userData, out);
    return toText(written);
}

std::string filterWhole(const std::string& input, const Options& options) {
    return filterPieces(input, options, {});
}

struct Row {
    const char* what;
    std::string input;
    Options options;
    std::string expected;
};

Options slb(int32_t spaces, int32_t convert = 0, int32_t removeCR = 0) {
    Options o;
    o.slbSpaces = spaces;
    o.convertCRtoLF = convert;
    o.removeCR = removeCR;
    return o;
}

Options plain(int32_t removeCR, int32_t removeLF, int32_t convert, int32_t tabToLB = -1,
              int32_t tabToSpace = -1) {
    Options o;
    o.removeCR = removeCR;
    o.removeLF = removeLF;
    o.convertCRtoLF = convert;
    o.tabToLB = tabToLB;
    o.tabToSpace = tabToSpace;
    return o;
}

// One row per cell of the single-line-break table, then the listed edge cases, then the
// rules that apply while single line breaks are kept.
const std::vector<Row>& rows() {
    static const std::vector<Row> table = {
        // state 0: text joins the run; a CR (conversion off) holds state 1, an LF state 2
        {"text only", "plain text", slb(1), "plain text"},
        {"CR alone is a single break", "a\rb", slb(1), "a b"},
        {"LF alone is a single break", "a\nb", slb(1), "a b"},
        {"CR taken as LF is a single break", "a\rb", slb(1, 1), "a b"},
        // state 1 (one CR)
        {"CR CR is a run, as it came", "a\r\rb", slb(1), "a\r\rb"},
        {"CR LF then text is single", "a\r\nb", slb(1), "a b"},
        // state 2 (one LF, or CR as LF)
        {"LF CR is a run", "a\n\rb", slb(1), "a\n\rb"},
        {"LF LF is a run", "a\n\nb", slb(1), "a\n\nb"},
        {"CR CR with conversion is LF LF", "a\r\rb", slb(1, 1), "a\n\nb"},
        {"LF CR with conversion is LF LF", "a\n\rb", slb(1, 1), "a\n\nb"},
        // state 3 (CR LF)
        {"CR LF CR LF stays", "a\r\n\r\nb", slb(1), "a\r\n\r\nb"},
        {"CR LF LF stays", "a\r\n\nb", slb(1), "a\r\n\nb"},
        // state 4 (a run of breaks)
        {"long run passes as it came", "a\n\n\r\n\rb", slb(1), "a\n\n\r\n\rb"},
        {"long run with conversion is all LF", "a\r\r\r\rb", slb(1, 1), "a\n\n\n\nb"},
        {"text after a run gets no spaces", "a\n\n\nb", slb(3), "a\n\n\nb"},
        // counts of spaces
        {"zero spaces join the lines", "a\nb\nc", slb(0), "abc"},
        {"three spaces", "a\r\nb", slb(3), "a   b"},
        {"more spaces than one write carries", "a\nb", slb(300), "a" + std::string(300, ' ') + "b"},
        // held breaks at the end
        {"a final single break is dropped", "a\n", slb(1), "a"},
        {"a final CR LF is dropped", "a\r\n", slb(1), "a"},
        {"a final run is kept", "a\n\n", slb(1), "a\n\n"},
        {"a leading single break becomes spaces", "\nb", slb(2), "  b"},
        // listed edge cases
        {"defaults: CR LF becomes LF, NUL vanishes", std::string("a\r\nb\0c\r\n", 8), plain(1, 0, 0),
         "a\nbc\n"},
        {"removeCR makes CR LF a single LF", "a\r\nb", slb(1, 0, 1), "a b"},
        {"removeCR keeps a double break as LF LF", "a\r\n\r\nb", slb(1, 0, 1), "a\n\nb"},
        {"CR CR converted, slb 2", "a\r\rb", slb(2, 1), "a\n\nb"},
        {"CR converted, slb 2", "a\rb", slb(2, 1), "a  b"},
        {"tab and NUL stay while slb is on", std::string("a\tb\0c", 5), [] {
             Options o = slb(1);
             o.tabToLB = 2;
             return o;
         }(), std::string("a\tb\0c", 5)},
        // while single line breaks are kept
        {"CR to LF", "a\rb\r\nc", plain(0, 0, 1), "a\nb\n\nc"},
        {"removal wins over conversion", "a\rb", plain(1, 0, 1), "ab"},
        {"LF removal", "a\nb\r\nc", plain(0, 1, 0), "ab\rc"},
        {"both removed", "a\r\n\r\nb", plain(1, 1, 0), "ab"},
        {"NUL bytes vanish", std::string("\0a\0\0b\0", 6), plain(0, 0, 0), "ab"},
        {"tab to two line feeds", "a\tb", plain(0, 0, 0, 2), "a\n\nb"},
        {"tab to eight spaces", "a\tb", plain(0, 0, 0, -1, 8), "a        b"},
        {"tab to line feeds wins over spaces", "a\tb", plain(0, 0, 0, 1, 8), "a\nb"},
        {"tab to zero line feeds removes it", "a\t\tb", plain(0, 0, 0, 0), "ab"},
        {"tab to zero spaces removes it", "a\tb", plain(0, 0, 0, -1, 0), "ab"},
        {"tab stays when both are off", "a\tb", plain(0, 0, 0), "a\tb"},
        {"other bytes pass unchanged", "\x01\x7f\x80\xff\x1a", plain(1, 1, 1, 1, 1), "\x01\x7f\x80\xff\x1a"},
        {"empty input", "", slb(1), ""},
    };
    return table;
}

TEST(TextFilter, EachRowGivesItsBytes) {
    for (const Row& row : rows()) {
        EXPECT_EQ(row.expected, filterWhole(row.input, row.options)) << row.what;
    }
}

TEST(TextFilter, EveryPairOfChunkBoundariesGivesTheSameBytes) {
    for (const Row& row : rows()) {
        const std::string whole = filterWhole(row.input, row.options);
        for (size_t first = 0; first <= row.input.size(); ++first) {
            for (size_t second = first; second <= row.input.size(); ++second) {
                EXPECT_EQ(whole, filterPieces(row.input, row.options, {first, second}))
                    << row.what << " cut at " << first << " and " << second;
            }
        }
    }
}

TEST(TextFilter, OneByteChunksThroughAMixedText) {
    const std::string input = "Para one\r\nline two\r\n\r\nPara two\nline\n\n\nend\r\n";
    const Options options = slb(1, 0, 0);
    std::vector<size_t> everyByte;
    for (size_t k = 1; k < input.size(); ++k) everyByte.push_back(k);
    EXPECT_EQ("Para one line two\r\n\r\nPara two line\n\n\nend", filterPieces(input, options, everyByte));
}

TEST(TextFilter, UnchangedBytesGoOutInOneWrite) {
    MemoryIo mem;
    CountingIo counting(mem.ops());
    const IoOps& io = counting.ops();
    const uint32_t out = io.createTempStream(io.userData);
    const ConversionJob job = jobWith(io, plain(1, 0, 0));
    TextFilter filter;
    filterInit(filter, job, io, out);
    const std::string text(3000, 'x');
    ASSERT_TRUE(filterChunk(filter, reinterpret_cast<const uint8_t*>(text.data()), 3000));
    EXPECT_EQ(1, counting.calls(IoOp::Write));
    io.closeStream(io.userData, out);
    expectNothingHeld(counting);
}

TEST(TextFilter, AShortWriteFailsTheChunk) {
    const std::string input = "a\tb\r\nc\nd";
    forEachFault(6, [&](int k) {
        MemoryIo mem;
        CountingIo counting(mem.ops());
        counting.shortAt(IoOp::Write, k);
        const IoOps& io = counting.ops();
        const uint32_t out = io.createTempStream(io.userData);
        Options options = plain(1, 0, 0, -1, 4);
        const ConversionJob job = jobWith(io, options);
        TextFilter filter;
        filterInit(filter, job, io, out);
        const int ok = filterChunk(filter, reinterpret_cast<const uint8_t*>(input.data()),
                                   static_cast<int32_t>(input.size()));
        EXPECT_EQ(counting.faultFired() ? 0 : 1, ok) << "write " << k;
        io.closeStream(io.userData, out);
    });
}

}  // namespace
