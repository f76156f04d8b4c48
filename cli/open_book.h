// cli/open_book.h -- what `vimlo info`, `vimlo text` and `vimlo preview` share: an
// e-book database read back through the engine's book reader, which checks the whole
// container before anything is shown, and the one clear complaint and non-zero status
// a damaged or unreadable file gives.
#pragma once
#include <cstdint>
#include <string>

#include "engine/book_reader.h"

// An open database and its reader, released together.
class OpenBook {
public:
    OpenBook() = default;
    OpenBook(const OpenBook&) = delete;
    OpenBook& operator=(const OpenBook&) = delete;
    ~OpenBook();
    // Opens and checks the database; on failure shows why and returns the exit status.
    int open(const std::string& path);

    BookReader reader{};

private:
    uint32_t stream_ = 0;
    bool opened_ = false;
};

// Shows the reader's complaint `result` about `path` (naming `record` when it is not
// negative) and returns the exit status it calls for.
int reportBookFailure(const std::string& path, int32_t result, int32_t record = -1);

// The record a failed bookReadChunk of `chunk` complains about: the group's code table
// for BookBadCodeTable, else the chunk's own record.
int32_t failingRecord(const BookReader& reader, int32_t chunk, int32_t result);
