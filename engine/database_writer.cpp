// engine/database_writer.cpp -- see database_writer.h.
#include "engine/database_writer.h"

#include <cstring>
#include <ctime>

#include "engine/checked_io.h"
#include "engine/compressor.h"
#include "engine/palm_database.h"

constexpr int32_t kCopyBufferSize = 4096;     // document records move through this
constexpr int32_t kOffsetsPerPass = 256;      // 1 KB of offsets in, 2 KB of entries out
constexpr uint8_t kEmptyTextByte = 10;        // an empty text becomes one line feed
constexpr int64_t kSecondsPerDay = 86400;

uint32_t conversionTime(const LocalDateTime& local) {
    const int64_t years = static_cast<int64_t>(local.year) - 1904;
    const int64_t quads = years >= 0 ? years / 4 : -((3 - years) / 4);  // floor division
    const int64_t rest = years - 4 * quads;
    int64_t days = 1461 * quads;
    if (rest != 0) days += 366 + 365 * (rest - 1);
    static constexpr int kMonthDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    for (int month = 1; month < local.month && month <= 12; ++month)
        days += month == 2 && rest == 0 ? 29 : kMonthDays[month - 1];
    days += local.day - 1;
    const int64_t seconds = days * kSecondsPerDay + static_cast<int64_t>(local.hour) * 3600 +
                            static_cast<int64_t>(local.minute) * 60 + local.second;
    return static_cast<uint32_t>(static_cast<uint64_t>(seconds));  // modulo 2^32
}

uint32_t currentConversionTime() {
    const std::time_t now = std::time(nullptr);
    // The re-entrant form: conversions on several threads each stamp their own book, and
    // localtime's one buffer would be shared by all of them. (The Windows build gets it
    // from the C library's POSIX thread-safe functions.)
    std::tm local{};
    if (localtime_r(&now, &local) == nullptr) return 0;
    const LocalDateTime when{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
                             local.tm_hour,        local.tm_min,     local.tm_sec};
    return conversionTime(when);
}

void encodeDocumentHeader(const DocumentHeaderRecord& r, uint8_t out[kRecordZeroSize]) {
    std::memset(out, 0, kRecordZeroSize);
    putBigEndian16(out + kRecordZeroLength, r.recordLength);
    putBigEndian16(out + kRecordZeroVersion, r.version);
    std::memcpy(out + kRecordZeroFlags, r.flags, 4);
    std::memcpy(out + kRecordZeroTag, r.tag, 4);
    putBigEndian32(out + kRecordZeroTextLength, r.textLength);
    putBigEndian16(out + kRecordZeroGroupSize, r.groupSize);
    putBigEndian16(out + kRecordZeroTextRecords, r.textRecordCount);
    putBigEndian16(out + kRecordZeroFormatFirst, r.formatFirst);
    putBigEndian16(out + kRecordZeroFormatCount, r.formatCount);
    putBigEndian16(out + kRecordZeroLinkFirst, r.linkFirst);
    putBigEndian16(out + kRecordZeroLinkCount, r.linkCount);
    putBigEndian16(out + kRecordZeroRuleFirst, r.ruleFirst);
    putBigEndian16(out + kRecordZeroRuleCount, r.ruleCount);
    putBigEndian32(out + kRecordZeroTime, r.conversionTime);
    putBigEndian16(out + kRecordZeroPageCount, r.pageCount);
    putBigEndian16(out + kRecordZeroBoundaryFirst, r.boundaryFirst);
    putBigEndian16(out + kRecordZeroBoundaryCount, r.boundaryCount);
}

void decodeDocumentHeader(const uint8_t bytes[kRecordZeroSize], DocumentHeaderRecord& r) {
    const auto u16 = [bytes](int offset) { return static_cast<uint16_t>(getBigEndian16(bytes + offset)); };
    r.recordLength = u16(kRecordZeroLength);
    r.version = u16(kRecordZeroVersion);
    std::memcpy(r.flags, bytes + kRecordZeroFlags, 4);
    std::memcpy(r.tag, bytes + kRecordZeroTag, 4);
    r.textLength = getBigEndian32(bytes + kRecordZeroTextLength);
    r.groupSize = u16(kRecordZeroGroupSize);
    r.textRecordCount = u16(kRecordZeroTextRecords);
    r.formatFirst = u16(kRecordZeroFormatFirst);
    r.formatCount = u16(kRecordZeroFormatCount);
    r.linkFirst = u16(kRecordZeroLinkFirst);
    r.linkCount = u16(kRecordZeroLinkCount);
    r.ruleFirst = u16(kRecordZeroRuleFirst);
    r.ruleCount = u16(kRecordZeroRuleCount);
    r.conversionTime = getBigEndian32(bytes + kRecordZeroTime);
    r.pageCount = u16(kRecordZeroPageCount);
    r.boundaryFirst = u16(kRecordZeroBoundaryFirst);
    r.boundaryCount = u16(kRecordZeroBoundaryCount);
}

// Seeks to record 0 through the header and record list; false when it cannot be
// located or is shorter than 64 bytes.
static bool seekRecordZero(const IoOps& io, uint32_t database) {
    DatabaseHeader header;
    int32_t offset = 0, size = 0;
    if (!readDatabaseHeader(io, database, header)) return false;
    if (!readRecordLocation(io, database, header, 0, offset, size)) return false;
    if (size < kRecordZeroSize) return false;
    return seekExact(io, database, offset);
}

bool readRecordZero(const IoOps& io, uint32_t database, DocumentHeaderRecord& record) {
    uint8_t bytes[kRecordZeroSize];
    if (!seekRecordZero(io, database)) return false;
    if (!readExact(io, database, bytes, kRecordZeroSize)) return false;
    decodeDocumentHeader(bytes, record);
    return true;
}

bool writeRecordZero(const IoOps& io, uint32_t database, const DocumentHeaderRecord& record) {
    uint8_t bytes[kRecordZeroSize];
    encodeDocumentHeader(record, bytes);
    if (!seekRecordZero(io, database)) return false;
    return writeExact(io, database, bytes, kRecordZeroSize);
}

// The container header of the e-book database, times already set.
static void buildHeader(const char* title, uint32_t time, uint32_t records, DatabaseHeader& header) {
    std::memset(&header, 0, sizeof header);
    for (int i = 0; title != nullptr && i < kDatabaseNameBytes - 1 && title[i] != 0; ++i)
        header.name[i] = title[i];
    header.version = kEbookVersion;
    header.creationTime = time;
    header.modificationTime = time;
    std::memcpy(header.type, kEbookTypeCreator, 4);
    std::memcpy(header.creator, kEbookTypeCreator, 4);
    header.numRecords = static_cast<uint16_t>(records);
}

// Writes entries 0 to R-1 by walking the text-part records as they stand in the file:
// record 0 by its length field, every other record by its header. The walk must end
// exactly where the compressor stopped writing. Entries are gathered kOffsetsPerPass at
// a time and written together: the walk then only reads forward, which the stream's
// buffer serves, instead of turning from reading to writing at every record.
static bool fillTextRecordList(const IoOps& io, uint32_t destination, uint32_t records,
                               int64_t firstRecord, int64_t textEnd) {
    uint8_t entries[kRecordEntrySize * kOffsetsPerPass];
    uint8_t bytes[kRecordZeroSize];
    int64_t offset = firstRecord;
    for (uint32_t first = 0; first < records; first += kOffsetsPerPass) {
        const uint32_t piece = records - first < static_cast<uint32_t>(kOffsetsPerPass)
                                   ? records - first
                                   : static_cast<uint32_t>(kOffsetsPerPass);
        for (uint32_t i = 0; i < piece; ++i) {
            const uint32_t k = first + i;
            if (k > 0 && offset > textEnd) return false;
            if (!seekExact(io, destination, static_cast<int32_t>(offset))) return false;
            if (!readExact(io, destination, bytes, k == 0 ? kRecordZeroSize : kRecordHeaderSize)) return false;
            encodeRecordEntry(RecordEntry{static_cast<uint32_t>(offset), 0, k}, entries + kRecordEntrySize * i);
            offset += k == 0 ? getBigEndian16(bytes + kRecordZeroLength)
                             : bytes[0] + 4 * static_cast<int64_t>(getBigEndian16(bytes + 2));
        }
        const int64_t listPosition = kDatabaseHeaderSize + static_cast<int64_t>(kRecordEntrySize) * first;
        if (!seekExact(io, destination, static_cast<int32_t>(listPosition))) return false;
        if (!writeExact(io, destination, entries, kRecordEntrySize * static_cast<int32_t>(piece))) return false;
    }
    return offset == textEnd;
}

StepResult writeDatabase(const IoOps& io, uint32_t text, uint32_t spill, uint32_t destination,
                         const char* title, int32_t chunkSize, int32_t groupSize,
                         int32_t documentRecordCount) {
    if (documentRecordCount < 0) return StepFailed;
    const uint32_t time = currentConversionTime();
    int32_t textLength = streamSize(io, text);
    if (textLength < 0) return StepFailed;
    if (textLength == 0) {
        // The handheld cannot show a book without text; the stream is at its end, 0.
        if (!writeExact(io, text, &kEmptyTextByte, 1)) return StepFailed;
        textLength = 1;
    }
    const uint32_t records = textRecordCount(static_cast<uint32_t>(textLength), chunkSize, groupSize);
    if (records < 3) return StepFailed;
    // numRecords is 16-bit: a larger total would be stored wrapped.
    const uint32_t allRecords = records + static_cast<uint32_t>(documentRecordCount);
    if (allRecords > kMaxBookRecords) return StepFailed;

    DatabaseHeader header;
    uint8_t headerBytes[kDatabaseHeaderSize];
    buildHeader(title, time, allRecords, header);
    encodeDatabaseHeader(header, headerBytes);
    if (!seekExact(io, destination, 0)) return StepFailed;
    if (!writeExact(io, destination, headerBytes, kDatabaseHeaderSize)) return StepFailed;
    const int64_t listEnd = kDatabaseHeaderSize + static_cast<int64_t>(kRecordEntrySize) * allRecords;
    static constexpr uint8_t kGap[2] = {0, 0};
    if (!seekExact(io, destination, static_cast<int32_t>(listEnd))) return StepFailed;
    if (!writeExact(io, destination, kGap, 2)) return StepFailed;

    const StepResult compressed = compressText(io, text, spill, destination, chunkSize, groupSize);
    if (compressed != StepDone) return compressed;

    const int32_t textEnd = streamSize(io, destination);
    if (textEnd < 0) return StepFailed;
    if (!fillTextRecordList(io, destination, records, listEnd + 2, textEnd)) return StepFailed;
    return stillWantedPercent(io, 100) ? StepDone : StepCanceled;
}

// Copies `size` bytes from the start of `from` to the current position of `to`.
static bool copyStream(const IoOps& io, uint32_t from, uint32_t to, int32_t size, uint8_t* buffer) {
    if (!seekExact(io, from, 0)) return false;
    for (int32_t done = 0; done < size;) {
        const int32_t piece = size - done < kCopyBufferSize ? size - done : kCopyBufferSize;
        if (!readExact(io, from, buffer, piece)) return false;
        if (!writeExact(io, to, buffer, piece)) return false;
        done += piece;
    }
    return true;
}

// Writes entries R to R + count - 1 from the offsets in `offsetStream`. The first
// record must start the stream and no offset may go backwards or past its end: bytes
// before the first record would otherwise lengthen the last text record, and a wild
// offset would point the handheld at bytes that are not records.
static bool writeDocumentEntries(const IoOps& io, uint32_t offsetStream, uint32_t destination,
                                 uint32_t firstIndex, int32_t count, uint32_t base,
                                 uint32_t recordStreamSize, uint8_t* buffer) {
    uint8_t* offsets = buffer;
    uint8_t* entries = buffer + 4 * kOffsetsPerPass;
    const int64_t listPosition = kDatabaseHeaderSize + static_cast<int64_t>(kRecordEntrySize) * firstIndex;
    if (!seekExact(io, destination, static_cast<int32_t>(listPosition))) return false;
    if (!seekExact(io, offsetStream, 0)) return false;
    if (count == 0) return recordStreamSize == 0;
    uint32_t previous = 0;
    for (int32_t done = 0; done < count;) {
        const int32_t piece = count - done < kOffsetsPerPass ? count - done : kOffsetsPerPass;
        if (!readExact(io, offsetStream, offsets, 4 * piece)) return false;
        for (int32_t i = 0; i < piece; ++i) {
            uint32_t value;
            std::memcpy(&value, offsets + 4 * i, 4);  // host order in the temporary stream
            if (value > recordStreamSize || value < previous) return false;
            if (done + i == 0 && value != 0) return false;
            previous = value;
            encodeRecordEntry(RecordEntry{base + value, 0, firstIndex + done + i},
                              entries + kRecordEntrySize * i);
        }
        if (!writeExact(io, destination, entries, kRecordEntrySize * piece)) return false;
        done += piece;
    }
    return true;
}

// Record 0's runs: format, link, rule and page-boundary records follow one another from
// the first document record R. Every run must end below index 32768 and inside the
// database's records.
static bool fillRuns(DocumentHeaderRecord& record, const DocumentRecordSet& records, uint32_t allRecords) {
    const int32_t counts[4] = {records.formatCount, records.linkCount, records.ruleCount,
                               records.boundaryCount};
    uint16_t* fields[4][2] = {{&record.formatFirst, &record.formatCount},
                              {&record.linkFirst, &record.linkCount},
                              {&record.ruleFirst, &record.ruleCount},
                              {&record.boundaryFirst, &record.boundaryCount}};
    int64_t first = record.textRecordCount;
    for (int run = 0; run < 4; ++run) {
        if (counts[run] < 0) return false;
        const int64_t end = first + counts[run];
        if (end > kMaxDocumentIndex || end > allRecords) return false;
        *fields[run][0] = static_cast<uint16_t>(first);
        *fields[run][1] = static_cast<uint16_t>(counts[run]);
        first = end;
    }
    if (records.pageCount < 0) return false;
    record.pageCount = static_cast<uint16_t>(records.pageCount);  // low 16 bits, as page numbers
    return true;
}

StepResult appendDocumentRecords(const IoOps& io, uint32_t recordStream, uint32_t offsetStream,
                                 uint32_t destination, int32_t documentRecordCount,
                                 const DocumentRecordSet& records) {
    if (documentRecordCount < 0) return StepFailed;
    DocumentHeaderRecord record;
    DatabaseHeader header;
    if (!readRecordZero(io, destination, record)) return StepFailed;
    if (!readDatabaseHeader(io, destination, header)) return StepFailed;
    // The entries go into the room writeDatabase left; more would overwrite record 0.
    const uint32_t allRecords = header.numRecords;
    if (static_cast<uint32_t>(record.textRecordCount) + documentRecordCount != allRecords)
        return StepFailed;

    uint8_t* buffer = static_cast<uint8_t*>(io.allocBlock(io.userData, kCopyBufferSize));
    if (buffer == nullptr) return StepFailed;
    const int32_t recordsSize = streamSize(io, recordStream);
    const int32_t base = streamSize(io, destination);  // leaves the destination at its end
    const bool copied =
        recordsSize >= 0 && base >= 0 &&
        copyStream(io, recordStream, destination, recordsSize, buffer) &&
        writeDocumentEntries(io, offsetStream, destination, record.textRecordCount,
                             documentRecordCount, static_cast<uint32_t>(base),
                             static_cast<uint32_t>(recordsSize), buffer);
    io.freeBlock(io.userData, buffer);
    if (!copied) return StepFailed;

    if (!stillWantedPercent(io, 100)) return StepCanceled;
    if (!fillRuns(record, records, allRecords)) return StepFailed;
    return writeRecordZero(io, destination, record) ? StepDone : StepFailed;
}

bool stampRecordZero(const IoOps& io, uint32_t destination) {
    DocumentHeaderRecord record;
    if (!readRecordZero(io, destination, record)) return false;
    record.conversionTime = currentConversionTime();
    return writeRecordZero(io, destination, record);  // encoding zeroes bytes 42-63
}

StepResult writeBookDatabase(const ConversionJob& job, uint32_t text, uint32_t spill,
                             uint32_t destination, const DocumentRecordSet* html,
                             int32_t documentRecordCount) {
    const IoOps& io = *job.io;
    if (!stillWanted(io, html != nullptr ? StageCompressHtml : StageCompressText, nullptr))
        return StepCanceled;
    const int32_t documents = html != nullptr ? documentRecordCount : 0;
    StepResult rc = writeDatabase(io, text, spill, destination, job.title, kBookChunkSize,
                                  kBookGroupSize, documents);
    if (rc == StepDone && html != nullptr)
        rc = appendDocumentRecords(io, html->recordStream, html->offsetStream, destination,
                                   documents, *html);
    if (rc == StepDone && !stampRecordZero(io, destination)) rc = StepFailed;
    return rc;
}
