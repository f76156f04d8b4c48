// cli/info_command.cpp -- see info_command.h.
#include "cli/info_command.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <nlohmann/json.hpp>
#include <vector>

#include "cli/console.h"
#include "cli/exit_status.h"
#include "cli/json_stream.h"
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

// What the first pass learned of each chunk, so the output pass need not decode again.
struct ChunkFacts {
    BookChunkInfo info;
    int32_t length;
};

// Members "index", "offset" and "size" of record `index`.
void writeLocation(JsonStream& json, const BookReader& reader, int32_t index) {
    int32_t offset = 0, size = 0;
    bookRecordLocation(reader, index, offset, size);  // bookOpen checked every entry
    json.key("index");
    json.value(int64_t{index});
    json.key("offset");
    json.value(int64_t{offset});
    json.key("size");
    json.value(int64_t{size});
}

// Decodes every chunk, so a damaged one is reported before anything is written.
int32_t decodeChunks(BookReader& reader, std::vector<ChunkFacts>& chunks, int32_t& failedRecord) {
    std::vector<uint8_t> text(kBookChunkSize);
    chunks.resize(static_cast<size_t>(reader.chunkCount));
    for (int32_t chunk = 0; chunk < reader.chunkCount; ++chunk) {
        ChunkFacts& facts = chunks[static_cast<size_t>(chunk)];
        const int32_t result =
            bookReadChunk(reader, chunk, text.data(), kBookChunkSize, facts.length, &facts.info);
        if (result != BookOk) {
            failedRecord = failingRecord(reader, chunk, result);
            return result;
        }
    }
    return BookOk;
}

// The code-table and chunk records in file order.
void writeTextRecords(JsonStream& json, const BookReader& reader, const std::vector<ChunkFacts>& chunks) {
    json.beginArray();
    for (int32_t chunk = 0; chunk < reader.chunkCount; ++chunk) {
        const ChunkFacts& facts = chunks[static_cast<size_t>(chunk)];
        const BookChunkInfo& info = facts.info;
        if (chunk % reader.recordZero.groupSize == 0) {
            json.beginObject();
            writeLocation(json, reader, info.codeTableRecord);
            json.key("kind");
            json.value("code table");
            json.key("group");
            json.value(int64_t{chunk / reader.recordZero.groupSize});
            json.key("bits");
            json.value(int64_t{info.codeTableBits});
            json.endObject();
        }
        json.beginObject();
        writeLocation(json, reader, info.record);
        json.key("kind");
        json.value(info.kind == KindCodedChunk ? "coded" : "stored");
        json.key("chunk");
        json.value(int64_t{chunk});
        json.key("textLength");
        json.value(int64_t{facts.length});
        if (info.kind == KindCodedChunk) {
            json.key("bits");
            json.value(int64_t{info.chunkBits});
        } else {
            json.key("padding");
            json.value(int64_t{info.kind - KindStored});
        }
        json.endObject();
    }
    json.endArray();
}

// A format run's attribute and extra words spelled out.
void writeStyle(JsonStream& json, const FormatRun& run) {
    static const char* const kFlags[] = {"heading", "monospace", "bold", "underline", "link",
                                         "italic", "strike", "subscript", "superscript",
                                         "center", "right"};  // bits 3 to 13
    json.beginObject();
    json.key("fontSize");
    json.value(int64_t{run.attributes & 7});
    json.key("flags");
    json.beginArray();
    for (int bit = 3; bit <= 13; ++bit)
        if (run.attributes >> bit & 1) json.value(kFlags[bit - 3]);
    json.endArray();
    if (run.attributes & 0x8000) {
        json.key("indent");
        json.value(int64_t{run.extra & 7});
        if (run.extra & 0x40) {
            json.key("listType");
            json.value(int64_t{run.extra >> 3 & 7});
            json.key("listNumber");
            json.value(int64_t{(run.extra >> 8) + 1});
        }
    }
    json.endObject();
}

void writeFormat(JsonStream& json, const DecodedFormatRecord& record, bool summary) {
    json.key("end");
    json.value(int64_t{record.end});
    if (summary) {
        json.key("runCount");
        json.value(int64_t{record.count});
        return;
    }
    json.key("runs");
    json.beginArray();
    for (int32_t i = 0; i < record.count; ++i) {
        const FormatRun& run = record.runs[i];
        json.beginObject();
        json.key("start");
        json.value(int64_t{run.start});
        json.key("length");
        json.value(int64_t{run.length});
        json.key("attributes");
        json.value(int64_t{run.attributes});
        json.key("extra");
        json.value(int64_t{run.extra});
        json.key("style");
        writeStyle(json, run);
        json.endObject();
    }
    json.endArray();
}

void writeLinks(JsonStream& json, const DecodedLinkRecord& record) {
    json.key("entries");
    json.beginArray();
    for (int32_t i = 0; i < record.count; ++i) {
        const LinkEntry& link = record.entries[i];
        json.beginObject();
        json.key("position");
        json.value(int64_t{link.position});
        if (link.length == 0) {
            json.key("spacer");
            json.value(true);
        } else {
            json.key("length");
            json.value(int64_t{link.length});
            json.key("target");
            json.value(int64_t{link.target});
        }
        json.endObject();
    }
    json.endArray();
}

void writeRules(JsonStream& json, const DecodedRuleRecord& record) {
    json.key("entries");
    json.beginArray();
    for (int32_t i = 0; i < record.count; ++i) {
        const RuleEntry& rule = record.entries[i];
        json.beginObject();
        json.key("position");
        json.value(int64_t{rule.position});
        if (rule.kind != 1) {
            json.key("spacer");
            json.value(true);
            json.endObject();
            continue;
        }
        json.key("flags");
        json.value(int64_t{rule.flags});
        json.key("size");
        json.value(int64_t{rule.flags & 15});
        json.key("noShade");
        json.value((rule.flags & 0x10) != 0);
        json.key("align");
        json.value(rule.flags & 0x20 ? "right" : rule.flags & 0x40 ? "left" : "center");
        // Pixels, or with bit 15 a percentage of the screen; no word means the full width.
        if (rule.flags & 0x80) {
            json.key(rule.width & 0x8000 ? "widthPercent" : "width");
            json.value(int64_t{rule.width & 0x8000 ? rule.width & 0x7FFF : rule.width});
        }
        json.endObject();
    }
    json.endArray();
}

void writeBoundaries(JsonStream& json, const DecodedBoundaryRecord& record, bool summary) {
    json.key("firstPageNumber");
    json.value(int64_t{record.firstPageNumber});
    json.key("lastPageNumber");
    json.value(int64_t{record.lastPageNumber});
    if (summary) {
        json.key("entryCount");
        json.value(int64_t{record.count});
        return;
    }
    json.key("boundaries");
    json.beginArray();
    for (int32_t i = 0; i < record.count; ++i) json.value(int64_t{record.boundaries[i]});
    json.endArray();
}

// Each decoded record holds up to 258 entries: too big to keep on the stack.
struct DecodedRecords {
    DecodedFormatRecord format;
    DecodedLinkRecord link;
    DecodedRuleRecord rule;
    DecodedBoundaryRecord boundary;
};

// Decodes record `n` of the run of `kind` and, with `json`, writes its members.
int32_t documentRecord(BookReader& reader, int32_t kind, int32_t n, DecodedRecords& decoded,
                       JsonStream* json, bool summary) {
    int32_t result = BookBadArgument;
    switch (kind) {
        case DocumentFormat:
            result = bookReadFormatRecord(reader, n, decoded.format);
            if (result == BookOk && json != nullptr) writeFormat(*json, decoded.format, summary);
            break;
        case DocumentLink:
            result = bookReadLinkRecord(reader, n, decoded.link);
            if (result != BookOk || json == nullptr) break;
            if (!summary) {
                writeLinks(*json, decoded.link);
            } else {
                json->key("entryCount");
                json->value(int64_t{decoded.link.count});
            }
            break;
        case DocumentRule:
            result = bookReadRuleRecord(reader, n, decoded.rule);
            if (result != BookOk || json == nullptr) break;
            if (!summary) {
                writeRules(*json, decoded.rule);
            } else {
                json->key("entryCount");
                json->value(int64_t{decoded.rule.count});
            }
            break;
        case DocumentBoundary:
            result = bookReadBoundaryRecord(reader, n, decoded.boundary);
            if (result == BookOk && json != nullptr) writeBoundaries(*json, decoded.boundary, summary);
            break;
    }
    return result;
}

// The runs of document records that record 0 names, each record decoded with absolute
// text positions. Without `json` they are only checked.
int32_t documentRecords(BookReader& reader, DecodedRecords& decoded, JsonStream* json, bool summary,
                        int32_t& failedRecord) {
    static const char* const kNames[] = {"format", "link", "rule", "pageBoundary"};
    if (json != nullptr) json->beginObject();
    for (int32_t kind = DocumentFormat; kind <= DocumentBoundary; ++kind) {
        int32_t first = 0, count = 0;
        int32_t result = bookDocumentRun(reader, kind, first, count);
        if (result != BookOk) return result;
        if (json != nullptr) {
            json->key(kNames[kind]);
            json->beginObject();
            json->key("first");
            json->value(int64_t{first});
            json->key("count");
            json->value(int64_t{count});
            json->key("records");
            json->beginArray();
        }
        for (int32_t n = 0; n < count; ++n) {
            if (json != nullptr) {
                json->beginObject();
                writeLocation(*json, reader, first + n);
            }
            result = documentRecord(reader, kind, n, decoded, json, summary);
            if (result != BookOk) {
                failedRecord = first + n;
                return result;
            }
            if (json != nullptr) json->endObject();
        }
        if (json != nullptr) {
            json->endArray();
            json->endObject();
        }
    }
    if (json != nullptr) json->endObject();
    return BookOk;
}

}  // namespace

int runInfo(const std::string& path, bool summary) {
    OpenBook book;
    const int opened = book.open(path);
    if (opened != ExitSuccess) return opened;
    BookReader& reader = book.reader;

    // Everything is decoded once before the first byte goes out, so a damaged database
    // gives its complaint and no partial description.
    std::vector<ChunkFacts> chunks;
    int32_t failedRecord = -1;
    int32_t result = decodeChunks(reader, chunks, failedRecord);
    if (result != BookOk) return reportBookFailure(path, result, failedRecord);
    auto decoded = std::make_unique<DecodedRecords>();
    result = documentRecords(reader, *decoded, nullptr, summary, failedRecord);
    if (result != BookOk) return reportBookFailure(path, result, failedRecord);

    JsonStream json(stdout);
    json.beginObject();
    json.key("file");
    json.value(path);  // the only text not converted; a byte that is not UTF-8 shows as U+FFFD
    json.key("fileSize");
    json.value(int64_t{reader.fileSize});
    json.key("header");
    json.value(headerJson(reader.header));
    json.key("recordZero");
    json.value(recordZeroJson(reader.recordZero));
    json.key("chunkCount");
    json.value(int64_t{reader.chunkCount});
    json.key("groupCount");
    json.value(int64_t{reader.groupCount});
    json.key("textRecords");
    writeTextRecords(json, reader, chunks);
    json.key("documentRecords");
    // Checked above; only a file changed meanwhile fails here.
    result = documentRecords(reader, *decoded, &json, summary, failedRecord);
    if (result != BookOk) {
        json.flush();
        std::fflush(stdout);
        return reportBookFailure(path, result, failedRecord);
    }
    json.endObject();
    const bool written = json.flush() && std::fputc('\n', stdout) != EOF;
    if (!written || std::fflush(stdout) != 0 || std::ferror(stdout)) {
        console::printError(std::string("writing standard output failed: ") + std::strerror(errno));
        return ExitDestinationError;
    }
    return ExitSuccess;
}
