// cli/info_command.cpp -- see info_command.h.
#include "cli/info_command.h"

#include <cerrno>
#include <cstring>
#include <iostream>
#include <memory>
#include <nlohmann/json.hpp>
#include <vector>

#include "cli/console.h"
#include "cli/exit_status.h"
#include "cli/open_book.h"
#include "cli/palm_text.h"
#include "engine/book_reader.h"

using nlohmann::ordered_json;

namespace {

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
    if (result != BookOk) return reportBookFailure(path, result, failedRecord);
    info["textRecords"] = std::move(textRecords);
    ordered_json documentRecords;
    const int32_t documentResult = documentRecordsJson(reader, documentRecords, failedRecord);
    if (documentResult != BookOk) return reportBookFailure(path, documentResult, failedRecord);
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
