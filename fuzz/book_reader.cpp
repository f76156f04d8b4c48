// fuzz/book_reader.cpp -- the book reader over arbitrary databases. Whatever the bytes,
// it answers with a BookResult, reads and writes only inside its buffers and frees
// them; what it accepts decodes chunk by chunk to the lengths it announces, and as a
// whole to the text length of record 0.
#include <cstdint>
#include <vector>

#include "engine/book_reader.h"
#include "fuzz/fuzz_support.h"

namespace {

bool isBookResult(int32_t result) { return result >= BookOk && result <= BookBadArgument; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    MemoryIo memory;
    memory.addFile("book.pdb", std::vector<uint8_t>(data, data + size));
    const IoOps& io = memory.ops();
    const uint32_t book = io.openStream(io.userData, "book.pdb", 0);
    BookReader reader{};
    const int32_t opened = bookOpen(io, book, reader);
    fuzzCheck(isBookResult(opened), "bookOpen answered an unknown result");
    if (opened != BookOk) {
        fuzzCheck(memory.liveBlocks() == 0, "a refused database left blocks behind");
        bookClose(reader);  // allowed after a failed open
        io.closeStream(io.userData, book);
        checkNothingHeld(memory);
        return 0;
    }

    // Every record by index, into a buffer too small for most of them now and then.
    std::vector<uint8_t> record(size + 1);
    for (int32_t index = 0; index < bookRecordCount(reader); ++index) {
        int32_t offset = 0, length = 0;
        fuzzCheck(bookRecordLocation(reader, index, offset, length) == BookOk, "a listed record has no location");
        fuzzCheck(offset >= 0 && length >= 0 && static_cast<size_t>(offset) + length <= size,
                  "a record lies outside the file");
        const int32_t capacity = (index % 3 == 2) ? length / 2 : static_cast<int32_t>(record.size());
        const int32_t read = bookReadRecord(reader, index, record.data(), capacity, length);
        fuzzCheck(isBookResult(read), "bookReadRecord answered an unknown result");
    }
    int32_t offset = 0, length = 0;
    fuzzCheck(bookRecordLocation(reader, bookRecordCount(reader), offset, length) == BookBadArgument,
              "a record past the list was located");

    // Chunks in reverse order, so code tables are loaded again and again.
    int64_t total = 0;
    bool chunksDecode = true;
    std::vector<uint8_t> chunk(kBookChunkSize);
    for (int32_t index = reader.chunkCount - 1; index >= 0; --index) {
        BookChunkInfo info{};
        const int32_t result = bookReadChunk(reader, index, chunk.data(), kBookChunkSize, length, &info);
        fuzzCheck(isBookResult(result), "bookReadChunk answered an unknown result");
        if (result != BookOk) {
            chunksDecode = false;
            continue;
        }
        fuzzCheck(length == bookChunkLength(reader, index), "a chunk decoded to another length than announced");
        total += length;
    }
    if (chunksDecode) fuzzCheck(total == reader.recordZero.textLength, "the chunks do not add up to record 0's length");

    const uint32_t out = io.createTempStream(io.userData);
    const int32_t whole = bookReadText(reader, out);
    fuzzCheck(isBookResult(whole), "bookReadText answered an unknown result");
    fuzzCheck((whole == BookOk) == chunksDecode, "the whole text and its chunks disagree");
    if (whole == BookOk)
        fuzzCheck(memory.bytesOfHandle(out).size() == reader.recordZero.textLength, "the text is not record 0's length");
    io.closeStream(io.userData, out);
    bookClose(reader);
    bookClose(reader);  // a second close is allowed
    io.closeStream(io.userData, book);
    checkNothingHeld(memory);
    return 0;
}
