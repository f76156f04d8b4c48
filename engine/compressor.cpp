// engine/compressor.cpp -- see compressor.h. Each chunk is parsed once, right after it
// is read, and its tokens wait in the spill stream until the group's frequencies are
// complete and its code table is built; then the tokens are read back and coded. The
// text is read a second time only for chunks whose coding does not fit and that are
// therefore stored.
#include "engine/compressor.h"

#include <cstring>

#include "engine/bit_writer.h"
#include "engine/checked_io.h"
#include "engine/deflate_tables.h"
#include "engine/ebook_layout.h"
#include "engine/huffman_code.h"
#include "engine/match_finder.h"
#include "engine/palm_database.h"

// At most one symbol per length and distance value: 286 + 30.
constexpr int kMaxRunSymbols = kLiteralLengthSymbols + kDistanceSymbols;

// Frequencies of one group and the three codes built from them.
struct CodingState {
    uint32_t litLenFrequency[kLiteralLengthSymbols];
    uint32_t distanceFrequency[kDistanceSymbols];
    uint32_t codeLengthFrequency[kCodeLengthSymbols];
    uint8_t litLenLength[kLiteralLengthSymbols];
    uint16_t litLenCode[kLiteralLengthSymbols];
    int32_t litLenMax;
    uint8_t distanceLength[kDistanceSymbols];
    uint16_t distanceCode[kDistanceSymbols];
    int32_t distanceMax;
    uint8_t codeLengthLength[kCodeLengthSymbols];
    uint16_t codeLengthCode[kCodeLengthSymbols];
    // The code-length symbols that describe both length sequences, with extra values.
    uint8_t runSymbol[kMaxRunSymbols];
    uint8_t runExtra[kMaxRunSymbols];
    int32_t runCount;
    CodeBuilderScratch builder;
};

// The work areas, each its own block. Under 50 KB for chunk size 4096 and group size 8.
struct CompressionWorkspace {
    uint8_t* record;        // 4-byte record header, then the chunk's text or the bit payload
    uint32_t* tokenCounts;  // tokens of each chunk of the group
    uint8_t* litLen;        // per token: literal byte, or match length - 3
    uint16_t* distance;     // per token: 0 for a literal, else the match distance
    uint16_t* heads;        // hash heads of the match finder
    uint16_t* links;        // chain links, one per chunk position
    CodingState* coding;
};

// Everything one compressText call works with.
struct Compression {
    const IoOps* io;
    uint32_t text;
    uint32_t spill;
    uint32_t destination;
    int32_t chunkSize;
    int32_t groupSize;
    int32_t textLength;
    CompressionWorkspace work;
};

constexpr int kWorkspaceParts = 7;

uint32_t textRecordCount(uint32_t textLength, int32_t chunkSize, int32_t groupSize) {
    if (chunkSize <= 0 || groupSize <= 0) return 0;
    const uint64_t chunks = (static_cast<uint64_t>(textLength) + chunkSize - 1) / chunkSize;
    const uint64_t groups = (chunks + groupSize - 1) / groupSize;
    const uint64_t records = 1 + groups + chunks;
    return records > static_cast<uint64_t>(kMaxBookRecords) ? 0 : static_cast<uint32_t>(records);
}

static void releaseWorkspace(const IoOps& io, void* const* parts) {
    for (int i = kWorkspaceParts - 1; i >= 0; --i)
        if (parts[i] != nullptr) io.freeBlock(io.userData, parts[i]);
}

// Allocates every part, or none: a failed allocation releases the parts obtained.
static bool allocateWorkspace(Compression& c) {
    const int32_t chunk = c.chunkSize;
    const int32_t sizes[kWorkspaceParts] = {
        kRecordHeaderSize + (chunk + 3) / 4 * 4,  // room for the pad bytes of a stored chunk
        c.groupSize * static_cast<int32_t>(sizeof(uint32_t)),
        chunk,
        chunk * static_cast<int32_t>(sizeof(uint16_t)),
        kHashHeads * static_cast<int32_t>(sizeof(uint16_t)),
        chunk * static_cast<int32_t>(sizeof(uint16_t)),
        static_cast<int32_t>(sizeof(CodingState)),
    };
    void* parts[kWorkspaceParts] = {};
    for (int i = 0; i < kWorkspaceParts; ++i) {
        parts[i] = c.io->allocBlock(c.io->userData, sizes[i]);
        if (parts[i] == nullptr) {
            releaseWorkspace(*c.io, parts);
            return false;
        }
    }
    c.work.record = static_cast<uint8_t*>(parts[0]);
    c.work.tokenCounts = static_cast<uint32_t*>(parts[1]);
    c.work.litLen = static_cast<uint8_t*>(parts[2]);
    c.work.distance = static_cast<uint16_t*>(parts[3]);
    c.work.heads = static_cast<uint16_t*>(parts[4]);
    c.work.links = static_cast<uint16_t*>(parts[5]);
    c.work.coding = static_cast<CodingState*>(parts[6]);
    return true;
}

static void freeWorkspace(Compression& c) {
    void* const parts[kWorkspaceParts] = {c.work.record, c.work.tokenCounts, c.work.litLen,
                                          c.work.distance, c.work.heads, c.work.links,
                                          c.work.coding};
    releaseWorkspace(*c.io, parts);
    c.work = CompressionWorkspace{};
}

// The range index of a match length (3-258) or a distance: the last range whose base is
// not above the value.
static constexpr int rangeOf(const uint16_t* bases, int rangeCount, int value) {
    int low = 0, high = rangeCount - 1;
    while (low < high) {
        const int middle = (low + high + 1) / 2;
        if (bases[middle] <= value) low = middle; else high = middle - 1;
    }
    return low;
}

// Every token needs its ranges, so they come from maps instead of a search: one entry
// per match length - 3, and for distances one entry per value below 257 and then one per
// 128 values, since every range from 257 on starts one above a multiple of 128 and spans
// whole multiples of it.
struct RangeMaps {
    uint8_t lengthRange[256];
    uint8_t distanceRange[512];
};

static constexpr RangeMaps makeRangeMaps() {
    RangeMaps maps{};
    for (int i = 0; i < 256; ++i)
        maps.lengthRange[i] = static_cast<uint8_t>(rangeOf(kDeflateRanges.lengthBase, kLengthRanges, i + kMinMatch));
    for (int i = 0; i < 256; ++i)
        maps.distanceRange[i] = static_cast<uint8_t>(rangeOf(kDeflateRanges.distanceBase, kDistanceSymbols, i + 1));
    for (int i = 2; i < 256; ++i)
        maps.distanceRange[256 + i] = static_cast<uint8_t>(rangeOf(kDeflateRanges.distanceBase, kDistanceSymbols, (i << 7) + 1));
    return maps;
}

static constexpr RangeMaps kRangeMaps = makeRangeMaps();

static constexpr int lengthRange(int matchLength) { return kRangeMaps.lengthRange[matchLength - kMinMatch]; }
// For distances 1 to 32768.
static constexpr int distanceRange(int distance) {
    const int d = distance - 1;
    return d < 256 ? kRangeMaps.distanceRange[d] : kRangeMaps.distanceRange[256 + (d >> 7)];
}

// The maps agree with the search for every length and distance.
static constexpr bool rangeMapsAgree() {
    for (int length = kMinMatch; length <= kMaxMatch; ++length)
        if (lengthRange(length) != rangeOf(kDeflateRanges.lengthBase, kLengthRanges, length)) return false;
    for (int distance = 1; distance <= 32768; ++distance)
        if (distanceRange(distance) != rangeOf(kDeflateRanges.distanceBase, kDistanceSymbols, distance)) return false;
    return true;
}
static_assert(rangeMapsAgree(), "the range maps give the ranges of RFC 1951");

static void clearFrequencies(CodingState& coding) {
    std::memset(coding.litLenFrequency, 0, sizeof coding.litLenFrequency);
    std::memset(coding.distanceFrequency, 0, sizeof coding.distanceFrequency);
}

static void countTokens(CodingState& coding, const uint8_t* litLen, const uint16_t* distance,
                        int32_t tokens) {
    for (int32_t t = 0; t < tokens; ++t) {
        if (distance[t] == 0) {
            ++coding.litLenFrequency[litLen[t]];
        } else {
            ++coding.litLenFrequency[kFirstLengthSymbol + lengthRange(litLen[t] + kMinMatch)];
            ++coding.distanceFrequency[distanceRange(distance[t])];
        }
    }
    ++coding.litLenFrequency[kEndSymbol];
}

static inline void addRunSymbol(CodingState& coding, int symbol, int extra) {
    coding.runSymbol[coding.runCount] = static_cast<uint8_t>(symbol);
    coding.runExtra[coding.runCount] = static_cast<uint8_t>(extra);
    ++coding.runCount;
}

// Describes lengths[0..count) with code-length symbols, one run of equal values at a
// time: a nonzero value is sent once, then repeated with 16 (3-6 at a time) unless only
// one or two remain; zeros go as 17 (3-10) or 18 (11-138), and one or two left over go
// as plain zeros.
static void describeLengths(CodingState& coding, const uint8_t* lengths, int count) {
    int i = 0;
    while (i < count) {
        const int value = lengths[i];
        int run = 1;
        while (i + run < count && lengths[i + run] == value) ++run;
        i += run;
        int remaining = run;
        if (value != 0) {
            addRunSymbol(coding, value, 0);
            --remaining;
            while (remaining > 0) {
                if (remaining <= 2) {
                    addRunSymbol(coding, value, 0);
                    --remaining;
                } else {
                    const int repeat = remaining < 6 ? remaining : 6;
                    addRunSymbol(coding, kRepeatPrevious, repeat - 3);
                    remaining -= repeat;
                }
            }
            continue;
        }
        while (remaining > 2) {
            if (remaining <= 10) {
                addRunSymbol(coding, kZeroRunShort, remaining - 3);
                remaining = 0;
            } else {
                const int zeros = remaining < 138 ? remaining : 138;
                addRunSymbol(coding, kZeroRunLong, zeros - 11);
                remaining -= zeros;
            }
        }
        for (; remaining > 0; --remaining) addRunSymbol(coding, 0, 0);
    }
}

// Builds the group's three codes; returns how many code-length code lengths are sent.
static int buildGroupCodes(CodingState& coding) {
    coding.litLenMax = buildCodeLengths(coding.litLenFrequency, kLiteralLengthSymbols,
                                        kMaxCodeBits, coding.builder, coding.litLenLength);
    makeCanonicalCodes(coding.litLenLength, kLiteralLengthSymbols, coding.litLenCode);
    coding.distanceMax = buildCodeLengths(coding.distanceFrequency, kDistanceSymbols,
                                          kMaxCodeBits, coding.builder, coding.distanceLength);
    makeCanonicalCodes(coding.distanceLength, kDistanceSymbols, coding.distanceCode);

    // Each sequence is described on its own, so no repeat crosses from one to the other.
    coding.runCount = 0;
    describeLengths(coding, coding.litLenLength, coding.litLenMax + 1);
    describeLengths(coding, coding.distanceLength, coding.distanceMax + 1);
    std::memset(coding.codeLengthFrequency, 0, sizeof coding.codeLengthFrequency);
    for (int i = 0; i < coding.runCount; ++i) ++coding.codeLengthFrequency[coding.runSymbol[i]];
    buildCodeLengths(coding.codeLengthFrequency, kCodeLengthSymbols, kMaxCodeLengthBits,
                     coding.builder, coding.codeLengthLength);
    makeCanonicalCodes(coding.codeLengthLength, kCodeLengthSymbols, coding.codeLengthCode);

    int sent = 4;  // the format always sends at least four
    for (int i = 0; i < kCodeLengthSymbols; ++i)
        if (coding.codeLengthLength[kCodeLengthOrder[i]] != 0 && i + 1 > sent) sent = i + 1;
    return sent;
}

// Writes the code-table bits; false when they do not fit the writer.
static bool putCodeTable(BitWriter& writer, const CodingState& coding, int codeLengthsSent) {
    bool ok = putBits(writer, static_cast<uint32_t>(coding.litLenMax + 1 - kFirstLengthSymbol), 5);
    ok &= putBits(writer, static_cast<uint32_t>(coding.distanceMax), 5);  // count - 1
    ok &= putBits(writer, static_cast<uint32_t>(codeLengthsSent - 4), 4);
    for (int i = 0; i < codeLengthsSent; ++i)
        ok &= putBits(writer, coding.codeLengthLength[kCodeLengthOrder[i]], 3);
    for (int i = 0; ok && i < coding.runCount; ++i) {
        const int symbol = coding.runSymbol[i];
        ok &= putBits(writer, coding.codeLengthCode[symbol], coding.codeLengthLength[symbol]);
        if (symbol == kRepeatPrevious) ok &= putBits(writer, coding.runExtra[i], 2);
        if (symbol == kZeroRunShort) ok &= putBits(writer, coding.runExtra[i], 3);
        if (symbol == kZeroRunLong) ok &= putBits(writer, coding.runExtra[i], 7);
    }
    return ok && flushBits(writer);
}

// Puts one token with the checked writer; false when a completed word finds no room
// or the token has no code.
static bool putToken(BitWriter& writer, const CodingState& coding, int litLenValue, int d) {
    const uint8_t* lengths = coding.litLenLength;
    const uint16_t* codes = coding.litLenCode;
    if (d == 0) return lengths[litLenValue] != 0 && putBits(writer, codes[litLenValue], lengths[litLenValue]);
    const int matchLength = litLenValue + kMinMatch;
    const int range = lengthRange(matchLength);
    const int symbol = kFirstLengthSymbol + range;
    const int distanceSymbol = distanceRange(d);
    if (lengths[symbol] == 0 || coding.distanceLength[distanceSymbol] == 0) return false;
    bool ok = putBits(writer, codes[symbol], lengths[symbol]);
    ok &= putBits(writer, static_cast<uint32_t>(matchLength - kDeflateRanges.lengthBase[range]),
                  kDeflateRanges.lengthExtra[range]);
    ok &= putBits(writer, coding.distanceCode[distanceSymbol], coding.distanceLength[distanceSymbol]);
    ok &= putBits(writer, static_cast<uint32_t>(d - kDeflateRanges.distanceBase[distanceSymbol]),
                  kDeflateRanges.distanceExtra[distanceSymbol]);
    return ok;
}

// Codes one chunk's tokens and the end symbol; false when they do not fit the writer
// (or a token has no code, which only a damaged spill stream could cause).
static bool putChunkTokens(BitWriter& writer, const CodingState& coding, const uint8_t* litLen,
                           const uint16_t* distance, int32_t tokens) {
    const uint8_t* lengths = coding.litLenLength;
    const uint16_t* codes = coding.litLenCode;
    int32_t t = 0;
    {
        // The writer's state in locals, written back once. A token adds at most 48 bits
        // (a length code and its extra bits, 15 + 5, then a distance code and its extra
        // bits, 15 + 13) to at most 31 pending ones, so it completes at most two words:
        // while two words are free, no word needs a room check.
        uint64_t accumulator = writer.accumulator;
        int32_t pendingBits = writer.pendingBits;
        uint8_t* out = writer.output + 4 * writer.storedWords;
        // Below this point at least two words are free.
        const uint8_t* const roomyEnd =
            writer.output + (writer.capacityWords >= 2 ? 4 * (writer.capacityWords - 1) : 0);
        auto append = [&](uint32_t bits, int32_t width) {
            accumulator |= static_cast<uint64_t>(bits) << pendingBits;
            pendingBits += width;
            if (pendingBits >= 32) {
                const uint32_t word = static_cast<uint32_t>(accumulator);
                out[0] = static_cast<uint8_t>(word >> 24);
                out[1] = static_cast<uint8_t>(word >> 16);
                out[2] = static_cast<uint8_t>(word >> 8);
                out[3] = static_cast<uint8_t>(word);
                out += 4;
                accumulator >>= 32;
                pendingBits -= 32;
            }
        };
        for (; t < tokens && out < roomyEnd; ++t) {
            const int d = distance[t];
            if (d == 0) {
                const int symbol = litLen[t];
                if (lengths[symbol] == 0) return false;
                append(codes[symbol], lengths[symbol]);
                continue;
            }
            const int matchLength = litLen[t] + kMinMatch;
            const int range = lengthRange(matchLength);
            const int symbol = kFirstLengthSymbol + range;
            const int distanceSymbol = distanceRange(d);
            const int distanceBits = coding.distanceLength[distanceSymbol];
            if (lengths[symbol] == 0 || distanceBits == 0) return false;
            append(codes[symbol] | static_cast<uint32_t>(matchLength - kDeflateRanges.lengthBase[range]) << lengths[symbol],
                   lengths[symbol] + kDeflateRanges.lengthExtra[range]);
            append(coding.distanceCode[distanceSymbol] |
                       static_cast<uint32_t>(d - kDeflateRanges.distanceBase[distanceSymbol]) << distanceBits,
                   distanceBits + kDeflateRanges.distanceExtra[distanceSymbol]);
        }
        writer.accumulator = accumulator;
        writer.pendingBits = pendingBits;
        writer.storedWords = static_cast<int32_t>((out - writer.output) / 4);
    }
    // Near the end of the room every completed word is checked.
    for (; t < tokens; ++t)
        if (!putToken(writer, coding, litLen[t], distance[t])) return false;
    if (lengths[kEndSymbol] == 0) return false;
    return putBits(writer, codes[kEndSymbol], lengths[kEndSymbol]) && flushBits(writer);
}

// Writes work.record as a record of `kind` with `words` payload words already in place.
static bool writeRecord(Compression& c, int kind, int32_t words) {
    uint8_t* header = c.work.record;
    header[0] = kRecordHeaderSize;
    header[1] = static_cast<uint8_t>(kind);
    putBigEndian16(header + 2, static_cast<uint32_t>(words));
    return writeExact(*c.io, c.destination, header, kRecordHeaderSize + 4 * words);
}

// The chunk's text as it stands, zero-padded to whole words; the kind names the pad.
static bool writeStoredChunk(Compression& c, int32_t chunkIndex) {
    const int32_t start = chunkIndex * c.chunkSize;
    const int32_t length = c.textLength - start < c.chunkSize ? c.textLength - start : c.chunkSize;
    uint8_t* payload = c.work.record + kRecordHeaderSize;
    if (!seekExact(*c.io, c.text, start)) return false;
    if (!readExact(*c.io, c.text, payload, length)) return false;  // all of it, or the text is lost
    const int32_t pad = (4 - length % 4) % 4;
    std::memset(payload + length, 0, static_cast<size_t>(pad));
    return writeRecord(c, KindStored + pad, (length + pad) / 4);
}

// Writes the code table of the group of `chunks` chunks starting at `firstChunk`, then
// each chunk's record from the tokens in the spill stream.
static bool emitGroup(Compression& c, int32_t firstChunk, int32_t chunks) {
    CodingState& coding = *c.work.coding;
    const int codeLengthsSent = buildGroupCodes(coding);
    const int32_t capacityWords = c.chunkSize / 4;
    BitWriter writer;
    startBits(writer, c.work.record + kRecordHeaderSize, capacityWords);
    if (!putCodeTable(writer, coding, codeLengthsSent)) return false;
    if (!writeRecord(c, KindCodeTable, writer.storedWords)) return false;

    if (!seekExact(*c.io, c.spill, 0)) return false;
    for (int32_t i = 0; i < chunks; ++i) {
        const int32_t tokens = static_cast<int32_t>(c.work.tokenCounts[i]);
        if (!readExact(*c.io, c.spill, c.work.litLen, tokens)) return false;
        if (!readExact(*c.io, c.spill, c.work.distance, tokens * 2)) return false;
        startBits(writer, c.work.record + kRecordHeaderSize, capacityWords);
        if (putChunkTokens(writer, coding, c.work.litLen, c.work.distance, tokens)) {
            if (!writeRecord(c, KindCodedChunk, writer.storedWords)) return false;
        } else if (!writeStoredChunk(c, firstChunk + i)) {
            return false;
        }
    }
    return true;
}

// Record 0 as the compressor knows it; the database writer fills the rest later.
static bool writeRecordZeroStart(Compression& c, uint32_t records) {
    uint8_t bytes[kRecordZeroSize] = {};
    putBigEndian16(bytes + kRecordZeroLength, kRecordZeroSize);
    putBigEndian16(bytes + kRecordZeroVersion, 1);
    bytes[kRecordZeroFlags] = 1;
    bytes[kRecordZeroFlags + 2] = 1;
    std::memcpy(bytes + kRecordZeroTag, kEbookTypeCreator, 4);
    putBigEndian32(bytes + kRecordZeroTextLength, static_cast<uint32_t>(c.textLength));
    putBigEndian16(bytes + kRecordZeroGroupSize, static_cast<uint32_t>(c.groupSize));
    putBigEndian16(bytes + kRecordZeroTextRecords, records);
    return writeExact(*c.io, c.destination, bytes, kRecordZeroSize);
}

// Reads, parses and spills every chunk, emitting each full group and then the last one.
static StepResult compressChunks(Compression& c, uint32_t records) {
    CompressionWorkspace& work = c.work;
    const MatchTables tables{work.heads, work.links};
    const int32_t chunkCount = (c.textLength + c.chunkSize - 1) / c.chunkSize;
    int32_t groupFirst = 0;
    int32_t groupChunks = 0;
    clearFrequencies(*work.coding);
    if (!seekExact(*c.io, c.spill, 0)) return StepFailed;
    for (int32_t chunk = 0; chunk < chunkCount; ++chunk) {
        const int32_t start = chunk * c.chunkSize;
        const int32_t length = c.textLength - start < c.chunkSize ? c.textLength - start : c.chunkSize;
        uint8_t* bytes = work.record + kRecordHeaderSize;
        // Exactly the bytes the text length promises: a short read would silently drop
        // text from the book.
        if (!seekExact(*c.io, c.text, start)) return StepFailed;
        if (!readExact(*c.io, c.text, bytes, length)) return StepFailed;
        const int32_t tokens = parseChunk(bytes, length, tables, work.litLen, work.distance);
        countTokens(*work.coding, work.litLen, work.distance, tokens);
        if (!writeExact(*c.io, c.spill, work.litLen, tokens)) return StepFailed;
        if (!writeExact(*c.io, c.spill, work.distance, tokens * 2)) return StepFailed;
        work.tokenCounts[groupChunks++] = static_cast<uint32_t>(tokens);
        if (groupChunks == c.groupSize) {
            if (!emitGroup(c, groupFirst, groupChunks)) return StepFailed;
            clearFrequencies(*work.coding);
            if (!seekExact(*c.io, c.spill, 0)) return StepFailed;
            groupFirst = chunk + 1;
            groupChunks = 0;
        }
        // Runs a little past 100 on the last chunks; the front end clips it.
        const int64_t done = (chunk + 1) / c.groupSize + (chunk + 1) + 2;
        if (!stillWantedPercent(*c.io, static_cast<int32_t>(done * 100 / records)))
            return StepCanceled;
    }
    if (groupChunks > 0 && !emitGroup(c, groupFirst, groupChunks)) return StepFailed;
    return StepDone;
}

StepResult compressText(const IoOps& io, uint32_t text, uint32_t spill, uint32_t destination,
                        int32_t chunkSize, int32_t groupSize) {
    if (chunkSize < 1 || chunkSize > kMaxChunkForMatcher) return StepFailed;
    if (groupSize < 1 || groupSize > kMaxBookRecords) return StepFailed;
    Compression c{&io, text, spill, destination, chunkSize, groupSize, 0, {}};
    c.textLength = streamSize(io, text);
    if (c.textLength <= 0) return StepFailed;
    const uint32_t records = textRecordCount(static_cast<uint32_t>(c.textLength), chunkSize, groupSize);
    if (records == 0) return StepFailed;
    if (!writeRecordZeroStart(c, records)) return StepFailed;
    if (!allocateWorkspace(c)) return StepFailed;
    const StepResult rc = compressChunks(c, records);
    freeWorkspace(c);
    return rc;
}
