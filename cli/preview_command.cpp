// cli/preview_command.cpp -- see preview_command.h.
#include "cli/preview_command.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>
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

// Decodes the `count` records of one run with `read`, handing each to `take`.
template <typename Record, typename Read, typename Take>
int32_t decodeRun(BookReader& reader, int32_t first, int32_t count, Read read, Take take,
                  int32_t& failedRecord) {
    auto record = std::make_unique<Record>();  // up to 258 entries: too big for the stack
    for (int32_t n = 0; n < count; ++n) {
        const int32_t result = read(reader, n, *record);
        if (result != BookOk) {
            failedRecord = first + n;
            return result;
        }
        take(*record);
    }
    return BookOk;
}

// Everything the preview page shows, each record decoded and checked on the way.
int32_t loadPreviewBook(BookReader& reader, PreviewBook& book, int32_t& failedRecord) {
    PreviewFacts& facts = book.facts;
    facts.name.assign(reader.header.name, strnlen(reader.header.name, sizeof reader.header.name));
    facts.creationTime = reader.header.creationTime;
    facts.modificationTime = reader.header.modificationTime;
    facts.conversionTime = reader.recordZero.conversionTime;
    facts.fileSize = reader.fileSize;
    facts.recordCount = bookRecordCount(reader);
    facts.codeTableRecords = reader.groupCount;
    facts.chunkRecords = reader.chunkCount;
    facts.pageCount = reader.recordZero.pageCount;
    for (int32_t index = 1; index < reader.recordZero.textRecordCount; ++index) {
        int32_t offset = 0, size = 0;
        bookRecordLocation(reader, index, offset, size);  // bookOpen checked every entry
        facts.textRecordBytes += size;
    }

    std::vector<uint8_t> chunk(kBookChunkSize);
    for (int32_t n = 0; n < reader.chunkCount; ++n) {
        int32_t length = 0;
        const int32_t result = bookReadChunk(reader, n, chunk.data(), kBookChunkSize, length, nullptr);
        if (result != BookOk) {
            failedRecord = failingRecord(reader, n, result);
            return result;
        }
        book.text.append(reinterpret_cast<const char*>(chunk.data()), static_cast<size_t>(length));
    }

    int32_t first[4] = {}, count[4] = {};
    for (int32_t kind = DocumentFormat; kind <= DocumentBoundary; ++kind) {
        const int32_t result = bookDocumentRun(reader, kind, first[kind], count[kind]);
        if (result != BookOk) return result;
    }
    facts.formatRecords = count[DocumentFormat];
    facts.linkRecords = count[DocumentLink];
    facts.ruleRecords = count[DocumentRule];
    facts.boundaryRecords = count[DocumentBoundary];

    int32_t result = decodeRun<DecodedFormatRecord>(
        reader, first[DocumentFormat], count[DocumentFormat], bookReadFormatRecord,
        [&](const DecodedFormatRecord& r) {
            book.runs.insert(book.runs.end(), r.runs, r.runs + r.count);
        },
        failedRecord);
    if (result != BookOk) return result;
    result = decodeRun<DecodedLinkRecord>(
        reader, first[DocumentLink], count[DocumentLink], bookReadLinkRecord,
        [&](const DecodedLinkRecord& r) {
            book.links.insert(book.links.end(), r.entries, r.entries + r.count);
        },
        failedRecord);
    if (result != BookOk) return result;
    result = decodeRun<DecodedRuleRecord>(
        reader, first[DocumentRule], count[DocumentRule], bookReadRuleRecord,
        [&](const DecodedRuleRecord& r) {
            book.rules.insert(book.rules.end(), r.entries, r.entries + r.count);
        },
        failedRecord);
    if (result != BookOk) return result;
    return decodeRun<DecodedBoundaryRecord>(
        reader, first[DocumentBoundary], count[DocumentBoundary], bookReadBoundaryRecord,
        [&](const DecodedBoundaryRecord& r) {
            book.pages.push_back({r.firstPageNumber, {r.boundaries, r.boundaries + r.count}});
        },
        failedRecord);
}

// The preview page of the database at `path`; on failure shows why and returns the status.
int renderBook(const std::string& path, std::string& page) {
    OpenBook book;
    const int opened = book.open(path);
    if (opened != ExitSuccess) return opened;
    PreviewBook preview;
    int32_t failedRecord = -1;
    const int32_t result = loadPreviewBook(book.reader, preview, failedRecord);
    if (result != BookOk) return reportBookFailure(path, result, failedRecord);
    page = renderPreview(preview);
    return ExitSuccess;
}

int writeFailure(const std::string& where, int error) {
    console::printError(where + ": the preview cannot be written: " + std::strerror(error));
    return ExitDestinationError;
}

// Writes `page` aside in `destination`'s folder and puts it in place, over an existing
// file only when `replace`, so a failed write leaves whatever was there before.
int writePage(const std::string& page, const std::string& destination, bool replace,
              mode_t umaskBits) {
    StagedFile staged;
    if (!staged.create(destination, umaskBits)) return writeFailure(destination, errno);
    std::FILE* file = std::fopen(staged.temporaryPath().c_str(), "wb");
    if (file == nullptr) return writeFailure(destination, errno);
    const bool written = std::fwrite(page.data(), 1, page.size(), file) == page.size();
    const int writeError = errno;
    if (std::fclose(file) != 0 || !written)
        return writeFailure(destination, written ? errno : writeError);
    if (console::interruptSignal() != 0) return ExitCanceled;
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
    std::string page;
    const int rendered = renderBook(bookPath, page);
    if (rendered != ExitSuccess) return rendered;
    return writePage(page, pagePath, replace, umaskBits);
}

int runPreview(const PreviewRequest& request) {
    // The database first: a damaged one is the complaint, whatever the page's fate.
    std::string page;
    const int rendered = renderBook(request.book, page);
    if (rendered != ExitSuccess) return rendered;
    if (request.output == "-") {
        std::cout << page;
        std::cout.flush();
        if (!std::cout) {
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
    return writePage(page, destination, replace, request.umaskBits);
}
