// celconv/database_to_csv.cpp -- see database_to_csv.h.
#include "celconv/database_to_csv.h"

#include <algorithm>
#include <string>
#include <vector>

#include "celconv/celdo_layout.h"
#include "celconv/info_file.h"

namespace celconv {

namespace {

const char kUnreadable[] = "Error: could not read the database file.\n";
const char kNoHeader[] = "Error: database file too short.\n";
const char kTooManyRecords[] = "Error: record count larger than the database file holds.\n";
const char kNoAppInfo[] = "Error: database application info incomplete.\n";
const char kPopupNotEnded[] = "Error: popup list data not terminated in database.\n";
const char kTooManyFields[] = "Error: database has more than 20 fields.\n";
const char kRecordCut[] = "Error: database ends inside record %i.\n";
const char kValueTooLong[] = "Error: field value too long at record %i.\n";
const char kWriteFailed[] = "Error: could not write output file.\n";

// Reads `length` bytes at `offset`; false if the stream has fewer.
bool readAt(std::istream& in, uint64_t offset, std::string& bytes, size_t length) {
    in.clear();
    in.seekg(static_cast<std::streamoff>(offset));
    bytes.assign(length, '\0');
    in.read(bytes.data(), static_cast<std::streamsize>(length));
    return in.gcount() == static_cast<std::streamsize>(length);
}

struct LiveRecord {
    uint32_t offset;
    int number;  // 1-based place in the record list, for messages
};

// Database bytes in the CSV file's encoding.
std::string csvText(const std::string& bytes, CsvEncoding encoding) {
    return encoding == CsvEncoding::Utf8 ? utf8FromDatabase(bytes) : bytes;
}

// A value as the CSV file holds it: enclosed in double quotes, quotes doubled, line
// breaks replaced by spaces.
bool writeValue(std::istream& database, std::string& text, std::ostream& csv, CsvEncoding encoding) {
    text.clear();
    for (int c = database.get(); c != 0; c = database.get()) {
        if (c == std::char_traits<char>::eof()) return false;
        if (c == '"') text += '"';
        text += (c == '\r' || c == '\n') ? ' ' : static_cast<char>(c);
        if (static_cast<int>(text.size()) > kMaxValueChars) return false;
    }
    csv << '"' << csvText(text, encoding) << '"';
    return true;
}

}  // namespace

bool readAppInfo(CeldoAppInfo& appInfo, std::istream& database, uint64_t offset, uint64_t limit,
                 Reporter& reporter) {
    std::string bytes;
    if (offset + kAppInfoFixedSize > limit || !readAt(database, offset, bytes, kAppInfoFixedSize)) {
        reporter.error(kNoAppInfo);
        return false;
    }
    decodeAppInfoFixed(bytes, appInfo);
    // The strings end at the first empty one, however short the first string is.
    appInfo.popupStrings.clear();
    std::string text;
    for (uint64_t position = offset + kAppInfoFixedSize; position < limit; ++position) {
        const int c = database.get();
        if (c == std::char_traits<char>::eof()) break;
        if (c != 0) {
            text += static_cast<char>(c);
        } else if (text.empty()) {
            return true;
        } else {
            appInfo.popupStrings.push_back(text);
            text.clear();
        }
    }
    reporter.error(kPopupNotEnded);
    return false;
}

bool databaseToCsv(std::istream& database, std::ostream& csv, std::ostream* info, Reporter& reporter,
                   CsvEncoding encoding) {
    database.seekg(0, std::ios::end);
    const std::streamoff end = database.tellg();
    if (end < 0) {
        reporter.error(kUnreadable);
        return false;
    }
    const uint64_t fileSize = static_cast<uint64_t>(end);

    std::string header;
    if (!readAt(database, 0, header, kHeaderSize)) {
        reporter.error(kNoHeader);
        return false;
    }
    const uint32_t recordCount = loadBig16(header, kRecordCountOffset);
    std::string list;
    if (kRecordListOffset + uint64_t{kRecordEntrySize} * recordCount > fileSize ||
        !readAt(database, kRecordListOffset, list, size_t{kRecordEntrySize} * recordCount)) {
        reporter.error(kTooManyRecords);
        return false;
    }
    const uint64_t appInfoOffset = loadBig32(header, kAppInfoOffsetOffset);
    // The application information reaches up to the first record after its fixed part.
    uint64_t appInfoLimit = fileSize;
    std::vector<LiveRecord> live;
    for (uint32_t entry = 0; entry < recordCount; ++entry) {
        const uint32_t offset = loadBig32(list, size_t{kRecordEntrySize} * entry);
        if (offset >= appInfoOffset + kAppInfoFixedSize) appInfoLimit = std::min<uint64_t>(appInfoLimit, offset);
        const uint8_t attributes = static_cast<uint8_t>(list[kRecordEntrySize * entry + kEntryAttributeOffset]);
        if ((attributes & kDeleteAttribute) == 0) live.push_back({offset, static_cast<int>(entry) + 1});
    }

    if (appInfoOffset < kHeaderSize) {  // 0 means the database has none
        reporter.error(kNoAppInfo);
        return false;
    }
    CeldoAppInfo appInfo;
    if (!readAppInfo(appInfo, database, appInfoOffset, appInfoLimit, reporter)) return false;
    if (appInfo.fieldCount > kFieldSlots) {
        reporter.error(kTooManyFields);
        return false;
    }
    const int fieldCount = appInfo.fieldCount;
    if (info != nullptr && !writeInfoFile(*info, appInfo)) {
        reporter.error(kWriteFailed);
        return false;
    }

    if (encoding == CsvEncoding::Utf8) csv << kUtf8ByteOrderMark;
    for (int field = 0; field < fieldCount; ++field) {
        if (field > 0) csv << ',';
        const std::string name = csvText(appInfo.fieldNames[field], encoding);
        if (!name.empty()) {
            csv << '"';
            for (const char c : name) csv << (c == '"' ? "\"\"" : std::string(1, c));
            csv << '"';
        }
    }
    csv << "\r\n";

    std::string text;
    for (const LiveRecord& record : live) {
        database.clear();
        if (record.offset > fileSize || !database.seekg(record.offset)) {
            reporter.error(format(kRecordCut, record.number));
            return false;
        }
        for (int field = 0; field < fieldCount; ++field) {
            if (field > 0) csv << ',';
            if (!writeValue(database, text, csv, encoding)) {
                const bool cut = database.eof();
                reporter.error(format(cut ? kRecordCut : kValueTooLong, record.number));
                return false;
            }
        }
        csv << "\r\n";
    }
    csv.flush();
    if (!csv) {
        reporter.error(kWriteFailed);
        return false;
    }
    return true;
}

}  // namespace celconv
