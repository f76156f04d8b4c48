// cli/open_book.cpp -- see open_book.h.
#include "cli/open_book.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "cli/console.h"
#include "cli/exit_status.h"
#include "platform/standard_io.h"

namespace {

// What a reader's complaint means to someone holding the file.
std::string describe(int32_t result) {
    switch (result) {
        case BookIoFailed: return "read error";
        case BookNoMemory: return "out of memory";
        case BookNotEbook: return "not an e-book database";
        case BookBadHeader: return "damaged e-book database: bad header";
        case BookBadRecordList: return "damaged e-book database: bad record list";
        case BookBadRecordZero: return "damaged e-book database: bad record 0";
        case BookBadRecordHeader: return "damaged e-book database: bad text record";
        case BookBadCodeTable: return "damaged e-book database: bad code table";
        case BookBadChunk: return "damaged e-book database: bad text chunk";
        case BookBadDocumentRecord: return "damaged e-book database: bad document record";
        default: return std::string("unexpected reader result ") + bookResultName(result);
    }
}

// The record index of a chunk: each group is its code table, then its chunks.
int32_t chunkRecord(const BookReader& reader, int32_t chunk) {
    const int32_t groupSize = reader.recordZero.groupSize;
    return 1 + chunk / groupSize * (groupSize + 1) + 1 + chunk % groupSize;
}

}  // namespace

OpenBook::~OpenBook() {
    if (opened_) bookClose(reader);
    if (stream_ != 0) standardIoOps.closeStream(standardIoOps.userData, stream_);
}

int OpenBook::open(const std::string& path) {
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) {
        console::printError(path + ": " + std::strerror(errno));
        return ExitSourceError;
    }
    if (!S_ISREG(info.st_mode)) {
        console::printError(path + ": not a regular file");
        return ExitSourceError;
    }
    stream_ = standardIoOps.openStream(standardIoOps.userData, path.c_str(), 0);
    if (stream_ == 0) {
        console::printError(path + ": cannot be opened");
        return ExitSourceError;
    }
    const int32_t result = bookOpen(standardIoOps, stream_, reader);
    if (result != BookOk) return reportBookFailure(path, result);
    opened_ = true;
    return ExitSuccess;
}

int reportBookFailure(const std::string& path, int32_t result, int32_t record) {
    std::string text = path + ": " + describe(result);
    if (record >= 0) text += " (record " + std::to_string(record) + ")";
    console::printError(text);
    return result == BookIoFailed || result == BookNoMemory ? ExitSourceError : ExitDamagedBook;
}

int32_t failingRecord(const BookReader& reader, int32_t chunk, int32_t result) {
    const int32_t groupStart = chunk - chunk % reader.recordZero.groupSize;
    return result == BookBadCodeTable ? chunkRecord(reader, groupStart) - 1 : chunkRecord(reader, chunk);
}
