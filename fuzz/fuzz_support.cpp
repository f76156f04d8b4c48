// fuzz/fuzz_support.cpp -- see fuzz_support.h.
#include "fuzz/fuzz_support.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "engine/book_reader.h"
#include "engine/palm_database.h"

void fuzzCheck(bool condition, const char* what) {
    if (condition) return;
    std::fprintf(stderr, "fuzz check failed: %s\n", what);
    std::abort();
}

void checkNothingHeld(const MemoryIo& memory) {
    fuzzCheck(memory.openHandles() == 0, "a handle was left open");
    fuzzCheck(memory.liveBlocks() == 0, "a block was left allocated");
    fuzzCheck(memory.badCloses() == 0, "a handle was closed twice or never opened");
    fuzzCheck(memory.badFrees() == 0, "a block was freed twice or never allocated");
    fuzzCheck(memory.writesToReadOnly() == 0, "a read-only handle was written");
}

enum DocumentKind { FormatRecord, LinkRecord, RuleRecord, BoundaryRecord };

static uint32_t big16(const std::vector<uint8_t>& record, size_t at) {
    fuzzCheck(at + 2 <= record.size(), "a document record is shorter than its counts say");
    return getBigEndian16(record.data() + at);
}

static uint32_t big32(const std::vector<uint8_t>& record, size_t at) {
    fuzzCheck(at + 4 <= record.size(), "a document record is shorter than its counts say");
    return getBigEndian32(record.data() + at);
}

// One document record: its size fits its counts, and no text position in it lies past
// the end of the text.
static void checkDocumentRecord(const std::vector<uint8_t>& record, DocumentKind kind, uint32_t textLength) {
    switch (kind) {
        case FormatRecord: {  // high words, n, n starts, last end, n attributes, m, m extras
            const uint32_t n = big16(record, 4);
            fuzzCheck(n >= 1 && n <= 256, "a format record with no or too many runs");
            const uint32_t end = big16(record, 2) << 16 | big16(record, 6 + 2 * n);
            fuzzCheck(end <= textLength, "a format run ends past the text");
            const uint32_t m = big16(record, 8 + 4 * n);
            fuzzCheck(record.size() == 10 + 4 * n + 2 * m, "a format record of the wrong size");
            break;
        }
        case LinkRecord: {  // high words, n, n positions, last end, n lengths, n zeros, n targets
            const uint32_t n = big16(record, 4);
            fuzzCheck(n >= 1 && n <= 256, "a link record with no or too many entries");
            fuzzCheck(record.size() == 8 + 8 * n, "a link record of the wrong size");
            const uint32_t end = big16(record, 2) << 16 | big16(record, 6 + 2 * n);
            fuzzCheck(end <= textLength, "a link ends past the text");
            for (uint32_t entry = 0; entry < n; ++entry)
                fuzzCheck(big32(record, 8 + 4 * n + 4 * entry) <= textLength, "a link target lies past the text");
            break;
        }
        case RuleRecord: {  // high words, n, n positions, n kinds, n flags, width words
            const uint32_t n = big16(record, 4);
            fuzzCheck(n >= 1 && n <= 256, "a rule record with no or too many entries");
            const uint32_t last = big16(record, 2) << 16 | big16(record, 6 + 2 * (n - 1));
            fuzzCheck(last <= textLength, "a rule lies past the text");
            fuzzCheck(record.size() >= 6 + 4 * n && record.size() <= 6 + 6 * n, "a rule record of the wrong size");
            break;
        }
        case BoundaryRecord: {  // high words, first and last page numbers, n, n entries
            const uint32_t n = big16(record, 8);
            fuzzCheck(n >= 2 && n <= 258, "a page-boundary record with too few or too many entries");
            fuzzCheck(record.size() == 10 + 2 * n, "a page-boundary record of the wrong size");
            const uint32_t last = big16(record, 2) << 16 | big16(record, 10 + 2 * (n - 1));
            fuzzCheck(last <= textLength, "a page boundary lies past the text");
            break;
        }
    }
}

// A run of document records (record 0 holds its absolute first index and count) must
// name records after the text part that exist, each sound.
static void checkRun(const BookReader& reader, int32_t first, int32_t count, DocumentKind kind,
                     const char* what) {
    fuzzCheck(count == 0 || (first >= reader.recordZero.textRecordCount && first + count <= bookRecordCount(reader)),
              what);
    for (int32_t index = first; index < first + count; ++index) {
        int32_t offset = 0, size = 0;
        fuzzCheck(bookRecordLocation(reader, index, offset, size) == BookOk, "a document record has no location");
        std::vector<uint8_t> record(static_cast<size_t>(size) + 1);
        int32_t length = 0;
        fuzzCheck(bookReadRecord(reader, index, record.data(), size + 1, length) == BookOk,
                  "a document record cannot be read");
        record.resize(static_cast<size_t>(length));
        checkDocumentRecord(record, kind, reader.recordZero.textLength);
    }
}

void checkBook(MemoryIo& memory, const std::string& name, std::vector<uint8_t>& text) {
    const IoOps& io = memory.ops();
    const uint32_t book = io.openStream(io.userData, name.c_str(), 0);
    fuzzCheck(book != 0, "the finished conversion left no database");
    BookReader reader{};
    const int32_t opened = bookOpen(io, book, reader);
    if (opened != BookOk) std::fprintf(stderr, "book reader: %s\n", bookResultName(opened));
    fuzzCheck(opened == BookOk, "the book reader refused a finished conversion");
    const uint32_t out = io.createTempStream(io.userData);
    fuzzCheck(out != 0, "no temporary stream for the decoded text");
    const int32_t decoded = bookReadText(reader, out);
    if (decoded != BookOk) std::fprintf(stderr, "book reader: %s\n", bookResultName(decoded));
    fuzzCheck(decoded == BookOk, "the text of a finished conversion does not decode");
    text = memory.bytesOfHandle(out);
    fuzzCheck(text.size() == reader.recordZero.textLength, "decoded text length differs from record 0");
    const DocumentHeaderRecord& zero = reader.recordZero;
    checkRun(reader, zero.formatFirst, zero.formatCount, FormatRecord, "format records past the record list");
    checkRun(reader, zero.linkFirst, zero.linkCount, LinkRecord, "link records past the record list");
    checkRun(reader, zero.ruleFirst, zero.ruleCount, RuleRecord, "rule records past the record list");
    checkRun(reader, zero.boundaryFirst, zero.boundaryCount, BoundaryRecord, "page boundaries past the record list");
    bookClose(reader);
    io.closeStream(io.userData, out);
    io.closeStream(io.userData, book);
}

std::vector<std::string> splitPages(const uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const size_t separatorLength = std::strlen(kPageSeparator);
    std::vector<std::string> pages;
    size_t start = 0;
    for (;;) {
        const size_t at = bytes.find(kPageSeparator, start);
        if (at == std::string::npos) break;
        pages.push_back(bytes.substr(start, at - start));
        start = at + separatorLength;
    }
    pages.push_back(bytes.substr(start));
    return pages;
}
