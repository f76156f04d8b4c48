// tests/engine/engine_fixtures.cpp -- see engine_fixtures.h.
#include "tests/engine/engine_fixtures.h"

Bytes toBytes(const std::string& text) { return Bytes(text.begin(), text.end()); }

std::string toText(const Bytes& bytes) { return std::string(bytes.begin(), bytes.end()); }

ConversionJob defaultJob(const IoOps& io, const char* source, const char* destination) {
    ConversionJob job{};
    job.io = &io;
    job.sourcePath = source;
    job.destinationPath = destination;
    job.title = "Test title";
    job.removeCR = 1;
    job.removeLF = 0;
    job.convertCRtoLF = 0;
    job.slbSpaces = -1;
    job.tabToLB = -1;
    job.tabToSpace = -1;
    job.maxDepth = 0;
    return job;
}

static void put16(Bytes& out, size_t at, uint32_t value) {
    out[at] = static_cast<uint8_t>(value >> 8);
    out[at + 1] = static_cast<uint8_t>(value);
}

static void put32(Bytes& out, size_t at, uint32_t value) {
    for (int k = 0; k < 4; ++k) out[at + k] = static_cast<uint8_t>(value >> (24 - 8 * k));
}

Bytes makePalmDoc(const std::vector<Bytes>& textRecords, const DocLayout& layout) {
    const size_t recordCount = textRecords.size() + 1;
    Bytes out(78 + 8 * recordCount + 2, 0);
    for (size_t k = 0; k < layout.name.size() && k < 32; ++k) out[k] = static_cast<uint8_t>(layout.name[k]);
    put16(out, 34, 0x0001);  // version
    for (int k = 0; k < 4; ++k) {
        out[60 + k] = static_cast<uint8_t>(layout.type[k]);
        out[64 + k] = static_cast<uint8_t>(layout.creator[k]);
    }
    put16(out, 76, static_cast<uint32_t>(recordCount));

    uint32_t textLength = 0;
    for (const Bytes& record : textRecords) textLength += static_cast<uint32_t>(record.size());
    Bytes recordZero(16, 0);
    put16(recordZero, 0, layout.compression);
    put32(recordZero, 4, textLength);
    put16(recordZero, 8, static_cast<uint32_t>(layout.announcedRecords >= 0 ? layout.announcedRecords
                                                                             : textRecords.size()));
    put16(recordZero, 10, 4096);

    std::vector<const Bytes*> records{&recordZero};
    for (const Bytes& record : textRecords) records.push_back(&record);
    for (size_t index = 0; index < records.size(); ++index) {
        put32(out, 78 + 8 * index, static_cast<uint32_t>(out.size()));
        out[78 + 8 * index + 5] = static_cast<uint8_t>(index);  // unique id, low byte
        out.insert(out.end(), records[index]->begin(), records[index]->end());
    }
    return out;
}

uint32_t recordOffsetIn(const Bytes& database, int index) {
    const size_t at = 78 + 8 * static_cast<size_t>(index);
    return static_cast<uint32_t>(database[at]) << 24 | static_cast<uint32_t>(database[at + 1]) << 16 |
           static_cast<uint32_t>(database[at + 2]) << 8 | database[at + 3];
}
