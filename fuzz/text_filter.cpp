// fuzz/text_filter.cpp -- the text filter against a byte-at-a-time model of its rules.
// The first bytes pick the options (counts up to 300, past the filter's 256-byte fill)
// and where the input is cut into chunks; the output must not depend on the cuts.
#include <algorithm>
#include <cstdint>
#include <vector>

#include "engine/text_filter.h"
#include "fuzz/fuzz_support.h"

namespace {

constexpr uint8_t kCR = 13, kLF = 10, kTab = 9;

// -1 (off) for the top half of the byte values, else a count from 0 to 300.
int32_t countOption(uint8_t value) {
    if (value & 0x80) return -1;
    if (value & 0x40) return 256 + (value & 0x3F) % 45;
    return value % 5;
}

// The rules written out one byte at a time, with nothing held back but the state.
std::vector<uint8_t> modelFilter(const ConversionJob& job, const uint8_t* bytes, size_t length) {
    std::vector<uint8_t> out;
    int state = 0;
    auto spaces = [&]() { out.insert(out.end(), static_cast<size_t>(job.slbSpaces), ' '); };
    for (size_t i = 0; i < length; ++i) {
        const uint8_t c = bytes[i];
        if ((c == kCR && job.removeCR) || (c == kLF && job.removeLF)) continue;
        if (job.slbSpaces >= 0) {
            const bool lineBreak = c == kCR || c == kLF;
            switch (state) {
                case 0:
                    if (lineBreak) state = (c == kCR && !job.convertCRtoLF) ? 1 : 2;
                    else out.push_back(c);
                    break;
                case 1:
                    if (c == kCR) { out.insert(out.end(), {kCR, kCR}); state = 4; }
                    else if (c == kLF) state = 3;
                    else { spaces(); out.push_back(c); state = 0; }
                    break;
                case 2:
                    if (c == kCR && !job.convertCRtoLF) { out.insert(out.end(), {kLF, kCR}); state = 4; }
                    else if (lineBreak) { out.insert(out.end(), {kLF, kLF}); state = 4; }
                    else { spaces(); out.push_back(c); state = 0; }
                    break;
                case 3:
                    if (lineBreak) { out.insert(out.end(), {kCR, kLF, c}); state = 4; }
                    else { spaces(); out.push_back(c); state = 0; }
                    break;
                default:
                    if (lineBreak) out.push_back(c == kCR && job.convertCRtoLF ? kLF : c);
                    else { out.push_back(c); state = 0; }
                    break;
            }
            continue;
        }
        if (c == kCR && job.convertCRtoLF) out.push_back(kLF);
        else if (c == 0) continue;
        else if (c == kTab && job.tabToLB >= 0) out.insert(out.end(), static_cast<size_t>(job.tabToLB), kLF);
        else if (c == kTab && job.tabToSpace >= 0) out.insert(out.end(), static_cast<size_t>(job.tabToSpace), ' ');
        else out.push_back(c);
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    constexpr size_t kOptionBytes = 6;
    if (size < kOptionBytes) return 0;
    ConversionJob job{};
    job.removeCR = data[0] & 1;
    job.removeLF = (data[0] >> 1) & 1;
    job.convertCRtoLF = (data[0] >> 2) & 1;
    job.slbSpaces = countOption(data[1]);
    job.tabToLB = countOption(data[2]);
    job.tabToSpace = countOption(data[3]);
    // Chunk lengths cycle through two sizes from 1 to 256.
    const size_t cuts[2] = {static_cast<size_t>(data[4]) + 1, static_cast<size_t>(data[5]) + 1};
    const uint8_t* text = data + kOptionBytes;
    const size_t length = size - kOptionBytes;

    MemoryIo memory;
    const IoOps& io = memory.ops();
    job.io = &io;
    const uint32_t out = io.createTempStream(io.userData);
    TextFilter filter{};
    filterInit(filter, job, io, out);
    for (size_t done = 0, turn = 0; done < length; ++turn) {
        const size_t piece = std::min(cuts[turn % 2], length - done);
        fuzzCheck(filterChunk(filter, text + done, static_cast<int32_t>(piece)), "filterChunk failed on memory");
        done += piece;
    }
    fuzzCheck(memory.bytesOfHandle(out) == modelFilter(job, text, length), "the filter disagrees with its rules");
    io.closeStream(io.userData, out);
    checkNothingHeld(memory);
    return 0;
}
