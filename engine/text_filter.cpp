// engine/text_filter.cpp -- see text_filter.h. Bytes that need no change are gathered
// into runs and written with one call; only replacements and held line breaks are
// written on their own.
#include "engine/text_filter.h"

#include <cstring>

#include "engine/checked_io.h"

namespace {

constexpr uint8_t kCR = 13;
constexpr uint8_t kLF = 10;
constexpr uint8_t kTab = 9;
constexpr uint8_t kNul = 0;

constexpr int32_t kFillBytes = 256;  // replacement bytes written per call

// Writes `count` copies of `byte`; false on a short write.
bool writeRepeated(const TextFilter& filter, uint8_t byte, int32_t count) {
    uint8_t fill[kFillBytes];
    std::memset(fill, byte, sizeof fill);
    while (count > 0) {
        const int32_t piece = count < kFillBytes ? count : kFillBytes;
        if (!writeExact(*filter.io, filter.output, fill, piece)) return false;
        count -= piece;
    }
    return true;
}

bool writeBytes(const TextFilter& filter, const uint8_t* bytes, int32_t count) {
    return writeExact(*filter.io, filter.output, bytes, count);
}

bool writePair(const TextFilter& filter, uint8_t first, uint8_t second) {
    const uint8_t pair[2] = {first, second};
    return writeBytes(filter, pair, 2);
}

bool isLineBreak(uint8_t c) { return c == kCR || c == kLF; }

// One byte under the single-line-break rule. `pending` is the first byte of the chunk not
// yet written; the run from it up to `i` is flushed before anything held is written.
bool singleBreakByte(TextFilter& f, const uint8_t* bytes, int32_t i, int32_t& pending) {
    const uint8_t c = bytes[i];
    const bool lineBreak = isLineBreak(c);
    switch (f.state) {
        case FilterInText:
            if (!lineBreak) return true;
            if (!writeBytes(f, bytes + pending, i - pending)) return false;
            f.state = (c == kCR && !f.convertCRtoLF) ? FilterOneCR : FilterOneLF;
            return true;
        case FilterOneCR:
            if (c == kCR) {
                f.state = FilterBreakRun;
                return writePair(f, kCR, kCR);
            }
            if (c == kLF) {
                f.state = FilterCRLF;
                return true;
            }
            break;
        case FilterOneLF:
            if (c == kCR && !f.convertCRtoLF) {
                f.state = FilterBreakRun;
                return writePair(f, kLF, kCR);
            }
            if (lineBreak) {
                f.state = FilterBreakRun;
                return writePair(f, kLF, kLF);
            }
            break;
        case FilterCRLF:
            if (lineBreak) {
                f.state = FilterBreakRun;
                const uint8_t three[3] = {kCR, kLF, c};
                return writeBytes(f, three, 3);
            }
            break;
        default:  // FilterBreakRun
            if (lineBreak) {
                const uint8_t out = (c == kCR && f.convertCRtoLF) ? kLF : c;
                return writeBytes(f, &out, 1);
            }
            // The end of a run of breaks is not a single break: no spaces.
            pending = i;
            f.state = FilterInText;
            return true;
    }
    // Text after exactly one held line break: the break becomes spaces.
    pending = i;
    f.state = FilterInText;
    return writeRepeated(f, ' ', f.slbSpaces);
}

}  // namespace

void filterInit(TextFilter& filter, const ConversionJob& job, const IoOps& io, uint32_t output) {
    filter.state = FilterInText;
    filter.io = &io;
    filter.output = output;
    filter.removeCR = job.removeCR;
    filter.removeLF = job.removeLF;
    filter.convertCRtoLF = job.convertCRtoLF;
    filter.slbSpaces = job.slbSpaces;
    filter.tabToLB = job.tabToLB;
    filter.tabToSpace = job.tabToSpace;
}

bool filterChunk(TextFilter& f, const uint8_t* bytes, int32_t length) {
    // The bytes some rule acts on inside text; with these options every other byte there
    // only joins the pending run, so runs of them are skipped in a tight loop.
    bool acts[256] = {};
    acts[kCR] = f.removeCR || f.convertCRtoLF || f.slbSpaces >= 0;
    acts[kLF] = f.removeLF || f.slbSpaces >= 0;
    acts[kNul] = f.slbSpaces < 0;
    acts[kTab] = f.slbSpaces < 0 && (f.tabToLB >= 0 || f.tabToSpace >= 0);
    int32_t pending = 0;
    for (int32_t i = 0; i < length; ++i) {
        if (f.state == FilterInText) {
            while (i < length && !acts[bytes[i]]) ++i;
            if (i == length) break;
        }
        const uint8_t c = bytes[i];
        // Removal comes before every other rule; outside text the byte simply vanishes.
        if ((c == kCR && f.removeCR) || (c == kLF && f.removeLF)) {
            if (f.state == FilterInText) {
                if (!writeBytes(f, bytes + pending, i - pending)) return false;
                pending = i + 1;
            }
            continue;
        }
        if (f.slbSpaces >= 0) {
            if (!singleBreakByte(f, bytes, i, pending)) return false;
            continue;
        }
        if (c == kCR && f.convertCRtoLF) {
            if (!writeBytes(f, bytes + pending, i - pending)) return false;
            pending = i + 1;
            if (!writeRepeated(f, kLF, 1)) return false;
        } else if (c == kNul) {
            if (!writeBytes(f, bytes + pending, i - pending)) return false;
            pending = i + 1;
        } else if (c == kTab && (f.tabToLB >= 0 || f.tabToSpace >= 0)) {
            if (!writeBytes(f, bytes + pending, i - pending)) return false;
            pending = i + 1;
            const bool ok = f.tabToLB >= 0 ? writeRepeated(f, kLF, f.tabToLB)
                                           : writeRepeated(f, ' ', f.tabToSpace);
            if (!ok) return false;
        }
    }
    // Held line breaks wait for the next chunk; a break that no text follows is dropped.
    if (f.state == FilterInText && !writeBytes(f, bytes + pending, length - pending)) return false;
    return true;
}
