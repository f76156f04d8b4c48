// fuzz/fuzz_support.cpp -- see fuzz_support.h.
#include "fuzz/fuzz_support.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "engine/book_reader.h"

void fuzzCheck(bool condition, const char* what) {
    if (condition) return;
    std::fprintf(stderr, "fuzz check failed: %s\n", what);
    std::abort();
}

bool isSpecifiedResult(int32_t result) {
    return result == ResultOk || result == ResultCanceled || result == ResultSourceOpenError ||
           result == ResultDestinationOpenError || result == ResultTempOpenError ||
           result == ResultPreprocessError || result == ResultConversionError;
}

void checkNothingHeld(const MemoryIo& memory) {
    fuzzCheck(memory.openHandles() == 0, "a handle was left open");
    fuzzCheck(memory.liveBlocks() == 0, "a block was left allocated");
    fuzzCheck(memory.badCloses() == 0, "a handle was closed twice or never opened");
    fuzzCheck(memory.badFrees() == 0, "a block was freed twice or never allocated");
    fuzzCheck(memory.writesToReadOnly() == 0, "a read-only handle was written");
}

// A run of document records (first relative to the first document record, count) must
// name records that exist.
static void checkRun(const BookReader& reader, int32_t first, int32_t count, const char* what) {
    const int32_t documentFirst = reader.recordZero.textRecordCount;
    fuzzCheck(count == 0 || documentFirst + first + count <= bookRecordCount(reader), what);
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
    checkRun(reader, zero.formatFirst, zero.formatCount, "format records past the record list");
    checkRun(reader, zero.linkFirst, zero.linkCount, "link records past the record list");
    checkRun(reader, zero.ruleFirst, zero.ruleCount, "rule records past the record list");
    checkRun(reader, zero.boundaryFirst, zero.boundaryCount, "page boundaries past the record list");
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
