// cli/preview_command.cpp -- see preview_command.h.
#include "cli/preview_command.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <vector>

#include "cli/console.h"
#include "cli/exit_status.h"
#include "cli/open_book.h"
#include "cli/overwrite_check.h"
#include "cli/preview.h"
#include "cli/staged_file.h"
#include "engine/book_reader.h"
#include "frontend/path_rules.h"
#include "frontend/posix_file_system.h"
#include "frontend/source_destination.h"

namespace {

// The database as the page's source, one record at a time; a record that does not
// decode ends the page and is named by `failedRecord`.
class BookSource : public PreviewSource {
public:
    explicit BookSource(BookReader& reader) : reader_(reader) {}

    uint64_t textLength() override { return reader_.recordZero.textLength; }
    int32_t readText(int32_t n, std::string& bytes) override {
        int32_t length = 0;
        const int32_t result = bookReadChunk(reader_, n, chunk_, kBookChunkSize, length, nullptr);
        if (result != BookOk) {
            failedRecord = failingRecord(reader_, n, result);
            return result;
        }
        bytes.assign(reinterpret_cast<const char*>(chunk_), static_cast<size_t>(length));
        return BookOk;
    }
    int32_t readRuns(const std::function<void(const FormatRun&)>& take) override {
        return readRun(DocumentFormat, records_->format, bookReadFormatRecord,
                       [&](const DecodedFormatRecord& r) {
                           for (int32_t i = 0; i < r.count; ++i) take(r.runs[i]);
                       });
    }
    int32_t readLinks(const std::function<void(const LinkEntry&)>& take) override {
        return readRun(DocumentLink, records_->link, bookReadLinkRecord,
                       [&](const DecodedLinkRecord& r) {
                           for (int32_t i = 0; i < r.count; ++i) take(r.entries[i]);
                       });
    }
    int32_t readRules(const std::function<void(const RuleEntry&)>& take) override {
        return readRun(DocumentRule, records_->rule, bookReadRuleRecord,
                       [&](const DecodedRuleRecord& r) {
                           for (int32_t i = 0; i < r.count; ++i) take(r.entries[i]);
                       });
    }
    int32_t readPages(const std::function<void(const PageBoundaryRun&)>& take) override {
        PageBoundaryRun run;
        return readRun(DocumentBoundary, records_->boundary, bookReadBoundaryRecord,
                       [&](const DecodedBoundaryRecord& r) {
                           run.firstPageNumber = r.firstPageNumber;
                           run.boundaries.assign(r.boundaries, r.boundaries + r.count);
                           take(run);
                       });
    }
    int32_t pageRecordCount() override { return reader_.recordZero.boundaryCount; }

    // Decodes every chunk and document record, so a damaged database is the complaint
    // before any page is written or any question asked.
    int32_t check() {
        std::string bytes;
        for (int32_t n = 0; n < reader_.chunkCount; ++n) {
            const int32_t result = readText(n, bytes);
            if (result != BookOk) return result;
        }
        int32_t result = readRuns([](const FormatRun&) {});
        if (result == BookOk) result = readLinks([](const LinkEntry&) {});
        if (result == BookOk) result = readRules([](const RuleEntry&) {});
        if (result == BookOk) result = readPages([](const PageBoundaryRun&) {});
        return result;
    }

    int32_t failedRecord = -1;

private:
    // Decodes the records of one run with `read`, handing each to `take`.
    template <typename Record, typename Read, typename Take>
    int32_t readRun(int32_t kind, Record& record, Read read, Take take) {
        int32_t first = 0, count = 0;
        int32_t result = bookDocumentRun(reader_, kind, first, count);
        for (int32_t n = 0; result == BookOk && n < count; ++n) {
            result = read(reader_, n, record);
            if (result != BookOk) failedRecord = first + n;
            else take(record);
        }
        return result;
    }

    // Each decoded record holds up to 258 entries: too big for the stack.
    struct Records {
        DecodedFormatRecord format;
        DecodedLinkRecord link;
        DecodedRuleRecord rule;
        DecodedBoundaryRecord boundary;
    };
    BookReader& reader_;
    std::unique_ptr<Records> records_ = std::make_unique<Records>();
    uint8_t chunk_[kBookChunkSize] = {};
};

// What the block above the page tells, from the header, record 0 and the record list.
PreviewFacts factsOf(const BookReader& reader) {
    PreviewFacts facts;
    facts.name.assign(reader.header.name, strnlen(reader.header.name, sizeof reader.header.name));
    facts.creationTime = reader.header.creationTime;
    facts.modificationTime = reader.header.modificationTime;
    facts.conversionTime = reader.recordZero.conversionTime;
    facts.fileSize = reader.fileSize;
    facts.recordCount = bookRecordCount(reader);
    facts.codeTableRecords = reader.groupCount;
    facts.chunkRecords = reader.chunkCount;
    facts.pageCount = reader.recordZero.pageCount;
    facts.formatRecords = reader.recordZero.formatCount;
    facts.linkRecords = reader.recordZero.linkCount;
    facts.ruleRecords = reader.recordZero.ruleCount;
    facts.boundaryRecords = reader.recordZero.boundaryCount;
    for (int32_t index = 1; index < reader.recordZero.textRecordCount; ++index) {
        int32_t offset = 0, size = 0;
        bookRecordLocation(reader, index, offset, size);  // bookOpen checked every entry
        facts.textRecordBytes += size;
    }
    return facts;
}

int writeFailure(const std::string& where, int error) {
    console::printError(where + ": the preview cannot be written: " + std::strerror(error));
    return ExitDestinationError;
}

// A database opened and checked whole, ready to be laid out.
class CheckedBook {
public:
    // Opens and checks the database at `path`; on failure shows why and returns the status.
    int open(const std::string& path) {
        path_ = path;
        const int opened = book_.open(path);
        if (opened != ExitSuccess) return opened;
        source_ = std::make_unique<BookSource>(book_.reader);
        const int32_t result = source_->check();
        if (result != BookOk) return reportBookFailure(path, result, source_->failedRecord);
        return ExitSuccess;
    }
    // Lays out the page through `write`; `where` names the page in a failure to write.
    int write(const std::function<bool(std::string_view)>& write, const std::string& where) {
        const int32_t result = writePreviewPage(factsOf(book_.reader), *source_, write);
        if (result == BookOk) return ExitSuccess;
        if (result == kPreviewWriteFailed && console::interruptSignal() != 0) return ExitCanceled;
        if (result == kPreviewWriteFailed) return writeFailure(where, errno);
        if (result == kPreviewSpillFailed) {
            console::printError(path_ + ": the preview's temporary file failed: " + std::strerror(errno));
            return ExitTempError;
        }
        return reportBookFailure(path_, result, source_->failedRecord);  // changed since checked
    }

private:
    std::string path_;
    OpenBook book_;
    std::unique_ptr<BookSource> source_;
};

// Writes the page aside in `destination`'s folder and puts it in place, over an existing
// file only when `replace`, so a failed write leaves whatever was there before.
int writePage(CheckedBook& book, const std::string& destination, bool replace, mode_t umaskBits) {
    StagedFile staged;
    if (!staged.create(destination, umaskBits)) return writeFailure(destination, errno);
    std::FILE* file = std::fopen(staged.temporaryPath().c_str(), "wb");
    if (file == nullptr) return writeFailure(destination, errno);
    // Ctrl-C stops the page at its next piece.
    const int written = book.write(
        [&](std::string_view piece) {
            return console::interruptSignal() == 0 &&
                   std::fwrite(piece.data(), 1, piece.size(), file) == piece.size();
        },
        destination);
    const int writeError = errno;
    const bool closed = std::fclose(file) == 0;
    if (console::interruptSignal() != 0) return ExitCanceled;
    if (written != ExitSuccess) return written;
    if (!closed) return writeFailure(destination, writeError);
    const int placed = commitStaged(staged, replace, destination, "", ExitDestinationError);
    if (placed == ExitDestinationError) return writeFailure(destination, errno);
    return placed;
}

}  // namespace

std::string previewPathFor(const std::string& bookPath) {
    const PathParts parts = splitPath(bookPath, PathFlavor::Posix);
    return parts.folder + parts.baseName + ".html";
}

int writePreview(const std::string& bookPath, const std::string& pagePath, bool replace,
                 mode_t umaskBits) {
    CheckedBook book;
    const int checked = book.open(bookPath);
    if (checked != ExitSuccess) return checked;
    return writePage(book, pagePath, replace, umaskBits);
}

int runPreview(const PreviewRequest& request) {
    // The database first: a damaged one is the complaint, whatever the page's fate.
    CheckedBook book;
    const int checked = book.open(request.book);
    if (checked != ExitSuccess) return checked;
    if (request.output == "-") {
        const int written = book.write(
            [](std::string_view piece) {
                return console::interruptSignal() == 0 &&
                       std::fwrite(piece.data(), 1, piece.size(), stdout) == piece.size();
            },
            "standard output");
        if (written != ExitSuccess) return written;
        if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
            console::printError(std::string("writing standard output failed: ") + std::strerror(errno));
            return ExitDestinationError;
        }
        return ExitSuccess;
    }

    const PosixFileSystem files;
    std::string destination = request.output.empty() ? previewPathFor(request.book) : request.output;
    if (files.lookup(destination) == PathLookup::Folder) {
        if (destination.back() != '/') destination += '/';
        destination += splitPath(request.book, PathFlavor::Posix).baseName + ".html";
    }
    // A database named .html would otherwise be replaced by its own preview.
    if (sameFile(request.book, destination, PathFlavor::Posix, files)) {
        console::printError(destination + " is the database itself; name the preview with -o.");
        return ExitRefused;
    }
    bool replace = false;
    const int confirmed = confirmOverwrite(destination, request.force, "", files, replace);
    if (confirmed != ExitSuccess) return confirmed;
    if (console::interruptSignal() != 0) return ExitCanceled;
    return writePage(book, destination, replace, request.umaskBits);
}
