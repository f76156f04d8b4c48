// cli/book_commands.cpp -- see book_commands.h.
#include "cli/book_commands.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <memory>
#include <nlohmann/json.hpp>
#include <vector>

#include "cli/console.h"
#include "cli/exit_status.h"
#include "cli/palm_text.h"
#include "cli/preview.h"
#include "cli/staged_file.h"
#include "engine/book_reader.h"
#include "platform/standard_io.h"
#include "frontend/path_rules.h"
#include "frontend/posix_file_system.h"
#include "frontend/source_destination.h"

using nlohmann::ordered_json;

namespace {

// An open database and its reader, released together.
class OpenBook {
public:
    OpenBook() = default;
    OpenBook(const OpenBook&) = delete;
    OpenBook& operator=(const OpenBook&) = delete;
    ~OpenBook() {
        if (opened_) bookClose(reader);
        if (stream_ != 0) standardIoOps.closeStream(standardIoOps.userData, stream_);
    }
    // Opens and checks the database; on failure shows why and returns the exit status.
    int open(const std::string& path);

    BookReader reader{};

private:
    uint32_t stream_ = 0;
    bool opened_ = false;
};

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

int failure(const std::string& path, int32_t result, int32_t record = -1) {
    std::string text = path + ": " + describe(result);
    if (record >= 0) text += " (record " + std::to_string(record) + ")";
    console::printError(text);
    return result == BookIoFailed || result == BookNoMemory ? ExitSourceError : ExitDamagedBook;
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
    if (result != BookOk) return failure(path, result);
    opened_ = true;
    return ExitSuccess;
}

// The record index of a chunk: each group is its code table, then its chunks.
int32_t chunkRecord(const BookReader& reader, int32_t chunk) {
    const int32_t groupSize = reader.recordZero.groupSize;
    return 1 + chunk / groupSize * (groupSize + 1) + 1 + chunk % groupSize;
}

// The record a failed bookReadChunk of `chunk` complains about.
int32_t failingRecord(const BookReader& reader, int32_t chunk, int32_t result) {
    const int32_t groupStart = chunk - chunk % reader.recordZero.groupSize;
    return result == BookBadCodeTable ? chunkRecord(reader, groupStart) - 1 : chunkRecord(reader, chunk);
}

ordered_json headerJson(const DatabaseHeader& h) {
    ordered_json j;
    j["name"] = textFrom1252(h.name, strnlen(h.name, sizeof h.name));
    j["attributes"] = h.attributes;
    j["version"] = h.version;
    j["creationTime"] = h.creationTime;
    j["creationTimeText"] = palmTimeText(h.creationTime);
    j["modificationTime"] = h.modificationTime;
    j["modificationTimeText"] = palmTimeText(h.modificationTime);
    j["backupTime"] = h.backupTime;
    j["modificationNumber"] = h.modificationNumber;
    j["appInfoOffset"] = h.appInfoOffset;
    j["sortInfoOffset"] = h.sortInfoOffset;
    j["type"] = textFrom1252(h.type, sizeof h.type);
    j["creator"] = textFrom1252(h.creator, sizeof h.creator);
    j["uniqueIdSeed"] = h.uniqueIdSeed;
    j["nextRecordList"] = h.nextRecordList;
    j["numRecords"] = h.numRecords;
    return j;
}

ordered_json recordZeroJson(const DocumentHeaderRecord& r) {
    ordered_json j;
    j["recordLength"] = r.recordLength;
    j["version"] = r.version;
    j["flags"] = {r.flags[0], r.flags[1], r.flags[2], r.flags[3]};
    j["tag"] = textFrom1252(r.tag, sizeof r.tag);
    j["textLength"] = r.textLength;
    j["groupSize"] = r.groupSize;
    j["textRecordCount"] = r.textRecordCount;
    j["formatFirst"] = r.formatFirst;
    j["formatCount"] = r.formatCount;
    j["linkFirst"] = r.linkFirst;
    j["linkCount"] = r.linkCount;
    j["ruleFirst"] = r.ruleFirst;
    j["ruleCount"] = r.ruleCount;
    j["conversionTime"] = r.conversionTime;
    j["conversionTimeText"] = palmTimeText(r.conversionTime);
    j["pageCount"] = r.pageCount;
    j["boundaryFirst"] = r.boundaryFirst;
    j["boundaryCount"] = r.boundaryCount;
    return j;
}

ordered_json locationJson(const BookReader& reader, int32_t index) {
    int32_t offset = 0, size = 0;
    bookRecordLocation(reader, index, offset, size);  // bookOpen checked every entry
    return {{"index", index}, {"offset", offset}, {"size", size}};
}

// The code-table and chunk records in file order; every chunk is decoded, so a damaged
// one is reported rather than described.
int32_t textRecordsJson(BookReader& reader, ordered_json& out, int32_t& failedRecord) {
    out = ordered_json::array();
    std::vector<uint8_t> text(kBookChunkSize);
    for (int32_t chunk = 0; chunk < reader.chunkCount; ++chunk) {
        int32_t length = 0;
        BookChunkInfo info{};
        const int32_t result =
            bookReadChunk(reader, chunk, text.data(), kBookChunkSize, length, &info);
        if (result != BookOk) {
            failedRecord = failingRecord(reader, chunk, result);
            return result;
        }
        if (chunk % reader.recordZero.groupSize == 0) {
            ordered_json table = locationJson(reader, info.codeTableRecord);
            table["kind"] = "code table";
            table["group"] = chunk / reader.recordZero.groupSize;
            table["bits"] = info.codeTableBits;
            out.push_back(std::move(table));
        }
        ordered_json record = locationJson(reader, info.record);
        record["kind"] = info.kind == KindCodedChunk ? "coded" : "stored";
        record["chunk"] = chunk;
        record["textLength"] = length;
        if (info.kind == KindCodedChunk) record["bits"] = info.chunkBits;
        else record["padding"] = info.kind - KindStored;
        out.push_back(std::move(record));
    }
    return BookOk;
}

// A format run's attribute and extra words spelled out.
ordered_json styleJson(const FormatRun& run) {
    static const char* const kFlags[] = {"heading", "monospace", "bold", "underline", "link",
                                         "italic", "strike", "subscript", "superscript",
                                         "center", "right"};  // bits 3 to 13
    ordered_json flags = ordered_json::array();
    for (int bit = 3; bit <= 13; ++bit)
        if (run.attributes >> bit & 1) flags.push_back(kFlags[bit - 3]);
    ordered_json style = {{"fontSize", run.attributes & 7}, {"flags", flags}};
    if (run.attributes & 0x8000) {
        style["indent"] = run.extra & 7;
        if (run.extra & 0x40) {
            style["listType"] = run.extra >> 3 & 7;
            style["listNumber"] = (run.extra >> 8) + 1;
        }
    }
    return style;
}

ordered_json formatJson(const DecodedFormatRecord& record) {
    ordered_json runs = ordered_json::array();
    for (int32_t i = 0; i < record.count; ++i) {
        const FormatRun& run = record.runs[i];
        ordered_json entry = {{"start", run.start}, {"length", run.length},
                              {"attributes", run.attributes}, {"extra", run.extra}};
        entry["style"] = styleJson(run);
        runs.push_back(std::move(entry));
    }
    return {{"end", record.end}, {"runs", runs}};
}

ordered_json linkJson(const DecodedLinkRecord& record) {
    ordered_json entries = ordered_json::array();
    for (int32_t i = 0; i < record.count; ++i) {
        const LinkEntry& link = record.entries[i];
        if (link.length == 0)
            entries.push_back({{"position", link.position}, {"spacer", true}});
        else
            entries.push_back({{"position", link.position}, {"length", link.length}, {"target", link.target}});
    }
    return {{"entries", entries}};
}

ordered_json ruleJson(const DecodedRuleRecord& record) {
    ordered_json entries = ordered_json::array();
    for (int32_t i = 0; i < record.count; ++i) {
        const RuleEntry& rule = record.entries[i];
        if (rule.kind != 1) {
            entries.push_back({{"position", rule.position}, {"spacer", true}});
            continue;
        }
        ordered_json entry = {{"position", rule.position}, {"flags", rule.flags},
                              {"size", rule.flags & 15}, {"noShade", (rule.flags & 0x10) != 0}};
        entry["align"] = rule.flags & 0x20 ? "right" : rule.flags & 0x40 ? "left" : "center";
        // Pixels, or with bit 15 a percentage of the screen; no word means the full width.
        if (rule.flags & 0x80) {
            if (rule.width & 0x8000) entry["widthPercent"] = rule.width & 0x7FFF;
            else entry["width"] = rule.width;
        }
        entries.push_back(std::move(entry));
    }
    return {{"entries", entries}};
}

ordered_json boundaryJson(const DecodedBoundaryRecord& record) {
    return {{"firstPageNumber", record.firstPageNumber},
            {"lastPageNumber", record.lastPageNumber},
            {"boundaries", std::vector<uint32_t>(record.boundaries, record.boundaries + record.count)}};
}

// One decoded document record of `kind` as JSON, or the reader's complaint.
int32_t documentRecordJson(BookReader& reader, int32_t kind, int32_t n, ordered_json& out) {
    int32_t result = BookBadArgument;
    // Each decoded record holds up to 258 entries: too big to keep four on the stack.
    switch (kind) {
        case DocumentFormat: {
            auto record = std::make_unique<DecodedFormatRecord>();
            result = bookReadFormatRecord(reader, n, *record);
            if (result == BookOk) out = formatJson(*record);
            break;
        }
        case DocumentLink: {
            auto record = std::make_unique<DecodedLinkRecord>();
            result = bookReadLinkRecord(reader, n, *record);
            if (result == BookOk) out = linkJson(*record);
            break;
        }
        case DocumentRule: {
            auto record = std::make_unique<DecodedRuleRecord>();
            result = bookReadRuleRecord(reader, n, *record);
            if (result == BookOk) out = ruleJson(*record);
            break;
        }
        case DocumentBoundary: {
            auto record = std::make_unique<DecodedBoundaryRecord>();
            result = bookReadBoundaryRecord(reader, n, *record);
            if (result == BookOk) out = boundaryJson(*record);
            break;
        }
    }
    return result;
}

// The runs of document records that record 0 names, each record decoded with absolute
// text positions.
int32_t documentRecordsJson(BookReader& reader, ordered_json& out, int32_t& failedRecord) {
    static const char* const kNames[] = {"format", "link", "rule", "pageBoundary"};
    out = ordered_json::object();
    for (int32_t kind = DocumentFormat; kind <= DocumentBoundary; ++kind) {
        int32_t first = 0, count = 0;
        int32_t result = bookDocumentRun(reader, kind, first, count);
        if (result != BookOk) return result;
        ordered_json records = ordered_json::array();
        for (int32_t n = 0; n < count; ++n) {
            ordered_json record = locationJson(reader, first + n);
            ordered_json decoded;
            result = documentRecordJson(reader, kind, n, decoded);
            if (result != BookOk) {
                failedRecord = first + n;
                return result;
            }
            record.update(decoded);
            records.push_back(std::move(record));
        }
        out[kNames[kind]] = {{"first", first}, {"count", count}, {"records", records}};
    }
    return BookOk;
}

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
    if (result != BookOk) return failure(path, result, failedRecord);
    page = renderPreview(preview);
    return ExitSuccess;
}

int writeFailure(const std::string& where, int error) {
    console::printError(where + ": the preview cannot be written: " + std::strerror(error));
    return ExitDestinationError;
}

// Writes `page` under a temporary name beside `destination` and renames it into place,
// so a failed write leaves whatever was there before.
int writePage(const std::string& page, const std::string& destination, mode_t umaskBits) {
    StagedFile staged;
    if (!staged.create(destination, umaskBits)) return writeFailure(destination, errno);
    std::FILE* file = std::fopen(staged.temporaryPath().c_str(), "wb");
    if (file == nullptr) return writeFailure(destination, errno);
    const bool written = std::fwrite(page.data(), 1, page.size(), file) == page.size();
    const int writeError = errno;
    if (std::fclose(file) != 0 || !written)
        return writeFailure(destination, written ? errno : writeError);
    if (console::interruptSignal() != 0) return ExitCanceled;
    if (!staged.commit()) return writeFailure(destination, errno);
    return ExitSuccess;
}

}  // namespace

int runInfo(const std::string& path) {
    OpenBook book;
    const int opened = book.open(path);
    if (opened != ExitSuccess) return opened;
    BookReader& reader = book.reader;

    ordered_json info;
    info["file"] = path;
    info["fileSize"] = reader.fileSize;
    info["header"] = headerJson(reader.header);
    info["recordZero"] = recordZeroJson(reader.recordZero);
    info["chunkCount"] = reader.chunkCount;
    info["groupCount"] = reader.groupCount;
    ordered_json textRecords;
    int32_t failedRecord = -1;
    const int32_t result = textRecordsJson(reader, textRecords, failedRecord);
    if (result != BookOk) return failure(path, result, failedRecord);
    info["textRecords"] = std::move(textRecords);
    ordered_json documentRecords;
    const int32_t documentResult = documentRecordsJson(reader, documentRecords, failedRecord);
    if (documentResult != BookOk) return failure(path, documentResult, failedRecord);
    info["documentRecords"] = std::move(documentRecords);

    // The path is the only text not converted above; a byte that is not UTF-8 shows as U+FFFD.
    std::cout << info.dump(2, ' ', false, ordered_json::error_handler_t::replace) << '\n';
    std::cout.flush();
    if (!std::cout) {
        console::printError(std::string("writing standard output failed: ") + std::strerror(errno));
        return ExitDestinationError;
    }
    return ExitSuccess;
}

int runText(const std::string& path) {
    OpenBook book;
    const int opened = book.open(path);
    if (opened != ExitSuccess) return opened;
    BookReader& reader = book.reader;

    std::vector<uint8_t> text(kBookChunkSize);
    for (int32_t chunk = 0; chunk < reader.chunkCount; ++chunk) {
        int32_t length = 0;
        const int32_t result = bookReadChunk(reader, chunk, text.data(), kBookChunkSize, length, nullptr);
        if (result != BookOk) {
            std::fflush(stdout);
            return failure(path, result, failingRecord(reader, chunk, result));
        }
        if (std::fwrite(text.data(), 1, static_cast<size_t>(length), stdout) != static_cast<size_t>(length))
            break;
    }
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        console::printError(std::string("writing standard output failed: ") + std::strerror(errno));
        return ExitDestinationError;
    }
    return ExitSuccess;
}

std::string previewPathFor(const std::string& bookPath) {
    const PathParts parts = splitPath(bookPath, PathFlavor::Posix);
    return parts.folder + parts.baseName + ".html";
}

int writePreview(const std::string& bookPath, const std::string& pagePath, mode_t umaskBits) {
    std::string page;
    const int rendered = renderBook(bookPath, page);
    if (rendered != ExitSuccess) return rendered;
    return writePage(page, pagePath, umaskBits);
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
    if (!request.force && files.lookup(destination) != PathLookup::Missing) {
        if (!console::canAsk()) {
            console::printError(destination + " already exists; use -y (--force) to overwrite it.");
            return ExitRefused;
        }
        ConsoleMessages messages;
        if (!checkOverwrite(false, destination, files, messages))
            return console::interruptSignal() != 0 ? ExitCanceled : ExitRefused;
    }
    if (console::interruptSignal() != 0) return ExitCanceled;
    return writePage(page, destination, request.umaskBits);
}
