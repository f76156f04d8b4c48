// engine/windows1252.cpp -- see windows1252.h. The transliterations are a generated
// table; the compiler checks its shape below, since a run out of order or a length
// digit out of step would silently give every later character another's text.
#include "engine/windows1252.h"

namespace {

// The characters of bytes 0x80 to 0x9F, as browsers read Windows-1252.
constexpr uint16_t kHighCodePoints[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

// The card suits of the handheld's font, in the order of their bytes 0x8D to 0x90.
constexpr uint16_t kSuits[4] = {0x2666, 0x2663, 0x2665, 0x2660};

struct TransliterationRun {
    uint16_t first;  // code point of the run's first character
    uint16_t count;  // characters in the run, one after another
};

#include "engine/transliterations.inc"

constexpr int kRunCount = sizeof kTransliterationRuns / sizeof kTransliterationRuns[0];

// Every kBlock-th character's text offset, so that a lookup adds at most kBlock - 1
// length digits instead of walking a run of twenty thousand ideographs.
constexpr int kBlock = 64;
constexpr int kBlockCount = kTransliterationCount / kBlock + 1;

struct Index {
    int32_t runStart[kRunCount];      // index of each run's first character
    int32_t blockOffset[kBlockCount]; // text offset of characters 0, kBlock, 2 * kBlock, ...
};

constexpr Index makeIndex() {
    Index index{};
    int32_t character = 0;
    for (int run = 0; run < kRunCount; ++run) {
        index.runStart[run] = character;
        character += kTransliterationRuns[run].count;
    }
    int32_t offset = 0;
    for (int i = 0; i < kTransliterationCount; ++i) {
        if (i % kBlock == 0) index.blockOffset[i / kBlock] = offset;
        offset += kTransliterationLengths[i] - '0';
    }
    return index;
}

constexpr Index kIndex = makeIndex();

struct ByteOfCodePoint {
    uint16_t codePoint;
    uint8_t byte;
};

// The characters above 0xFF that the handheld has, sorted by code point: the code page's
// upper half and the suits. Built by the compiler from the two lists above.
constexpr int kWideCount = 27 + 4;
struct WideTable {
    ByteOfCodePoint entries[kWideCount];
};

constexpr WideTable makeWideTable() {
    WideTable table{};
    int count = 0;
    for (int i = 0; i < 32; ++i)
        if (kHighCodePoints[i] > 0xFF) table.entries[count++] = {kHighCodePoints[i], uint8_t(0x80 + i)};
    for (int i = 0; i < 4; ++i) table.entries[count++] = {kSuits[i], uint8_t(0x8D + i)};
    for (int i = 1; i < count; ++i)  // insertion sort: 31 entries
        for (int j = i; j > 0 && table.entries[j - 1].codePoint > table.entries[j].codePoint; --j) {
            const ByteOfCodePoint swapped = table.entries[j];
            table.entries[j] = table.entries[j - 1];
            table.entries[j - 1] = swapped;
        }
    return table;
}

constexpr WideTable kWide = makeWideTable();

// Every character of a page goes through here, so the common cases come first and the
// rest is a binary search of 31 entries.
constexpr int32_t byteOf(uint32_t codePoint) {
    if (codePoint < 0x80 || (codePoint >= 0xA0 && codePoint <= 0xFF))
        return static_cast<int32_t>(codePoint);
    if (codePoint <= 0xFF)  // the C1 controls: only those the code page leaves undefined
        return kHighCodePoints[codePoint - 0x80] == codePoint ? static_cast<int32_t>(codePoint) : -1;
    int low = 0, high = kWideCount - 1;
    while (low <= high) {
        const int middle = (low + high) / 2;
        const ByteOfCodePoint& entry = kWide.entries[middle];
        if (entry.codePoint == codePoint) return entry.byte;
        if (codePoint < entry.codePoint) high = middle - 1;
        else low = middle + 1;
    }
    return -1;
}

constexpr bool wideTableComplete() {
    for (int i = 1; i < kWideCount; ++i)
        if (kWide.entries[i - 1].codePoint >= kWide.entries[i].codePoint) return false;
    int wide = 0;
    for (uint16_t c : kHighCodePoints) wide += c > 0xFF ? 1 : 0;
    return wide == 27;
}
static_assert(wideTableComplete(), "27 wide characters in the upper half, none twice");

// Checked per run against the few characters above 0xFF that the handheld has, so that
// the check stays within what every compiler evaluates at compile time.
constexpr bool runsAscendOutsideTheCodePage() {
    uint32_t next = 0x100;
    int32_t characters = 0;
    for (const TransliterationRun& run : kTransliterationRuns) {
        if (run.count == 0 || run.first < next) return false;
        const uint32_t end = uint32_t{run.first} + run.count;
        if (end > 0x10000 || (run.first < 0xE000 && end > 0xD800)) return false;
        for (uint16_t c : kHighCodePoints)
            if (c >= run.first && c < end) return false;
        for (uint16_t c : kSuits)
            if (c >= run.first && c < end) return false;
        next = end + 1;  // adjacent runs would have been one
        characters += run.count;
    }
    return characters == kTransliterationCount;
}

constexpr bool lengthsMatchTexts() {
    if (sizeof kTransliterationLengths != kTransliterationCount + 1) return false;
    if (sizeof kTransliterationTexts != kTransliterationTextBytes + 1) return false;
    int32_t total = 0;
    for (int i = 0; i < kTransliterationCount; ++i) {
        const int length = kTransliterationLengths[i] - '0';
        if (length < 0 || length > kMaxTransliterationBytes) return false;
        total += length;
    }
    return total == kTransliterationTextBytes;
}

constexpr bool textsPrintable(int from, int to) {
    for (int i = from; i < to && i < kTransliterationTextBytes; ++i)
        if (kTransliterationTexts[i] < 0x20 || kTransliterationTexts[i] > 0x7E) return false;
    return true;
}

constexpr bool highBytesAreTheirOwn() {
    for (int byte = 0; byte < 256; ++byte) {
        const uint32_t codePoint = byte >= 0x80 && byte < 0xA0 ? kHighCodePoints[byte - 0x80]
                                                               : static_cast<uint32_t>(byte);
        if (byteOf(codePoint) != byte) return false;
    }
    return true;
}

static_assert(runsAscendOutsideTheCodePage(), "runs ascend, hold no handheld character");
static_assert(lengthsMatchTexts(), "one length digit per character");
static_assert(textsPrintable(0, 60000) && textsPrintable(60000, 120000) &&
                  textsPrintable(120000, 180000) && kTransliterationTextBytes <= 180000,
              "texts of printable ASCII");
static_assert(highBytesAreTheirOwn(), "every byte read as Windows-1252 maps back to itself");

// Index of `codePoint` among the table's characters, or -1.
int32_t characterIndex(uint32_t codePoint) {
    int low = 0, high = kRunCount - 1;
    while (low <= high) {
        const int middle = (low + high) / 2;
        const TransliterationRun& run = kTransliterationRuns[middle];
        if (codePoint < run.first) {
            high = middle - 1;
        } else if (codePoint >= uint32_t{run.first} + run.count) {
            low = middle + 1;
        } else {
            return kIndex.runStart[middle] + static_cast<int32_t>(codePoint - run.first);
        }
    }
    return -1;
}

}  // namespace

uint32_t windows1252CodePoint(uint8_t byte) {
    return byte >= 0x80 && byte < 0xA0 ? kHighCodePoints[byte - 0x80] : byte;
}

int32_t windows1252Byte(uint32_t codePoint) { return byteOf(codePoint); }

int32_t utf8Bytes(uint32_t codePoint, char out[4]) {
    if (codePoint < 0x80) {
        out[0] = static_cast<char>(codePoint);
        return 1;
    }
    const int32_t length = codePoint < 0x800 ? 2 : codePoint < 0x10000 ? 3 : 4;
    for (int32_t i = length - 1; i > 0; --i) {
        out[i] = static_cast<char>(0x80 | (codePoint & 0x3F));
        codePoint >>= 6;
    }
    out[0] = static_cast<char>((0xF00u >> length) | codePoint);
    return length;
}

HandheldText handheldText(uint32_t codePoint) {
    HandheldText text{HandheldForm::Replaced, 1, {'?'}};
    const int32_t byte = byteOf(codePoint);
    if (byte >= 0) {
        text.form = HandheldForm::Byte;
        text.bytes[0] = static_cast<char>(byte);
        return text;
    }
    if (codePoint > 0xFFFF) return text;
    const int32_t index = characterIndex(codePoint);
    if (index < 0) return text;
    int32_t offset = kIndex.blockOffset[index / kBlock];
    for (int32_t i = index - index % kBlock; i < index; ++i)
        offset += kTransliterationLengths[i] - '0';
    const int length = kTransliterationLengths[index] - '0';
    text.form = length == 0 ? HandheldForm::Removed : HandheldForm::Transliterated;
    text.length = static_cast<uint8_t>(length);
    for (int i = 0; i < length; ++i) text.bytes[i] = kTransliterationTexts[offset + i];
    return text;
}
