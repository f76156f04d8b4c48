// celconv/csv_to_database.cpp -- see csv_to_database.h.
#include "celconv/csv_to_database.h"

#include <cstdint>

#include "celconv/celdo_app_info.h"
#include "celconv/celdo_layout.h"
#include "celconv/csv_characters.h"
#include "celconv/info_file.h"
#include "celconv/text_reader.h"

namespace celconv {

void LineSplitter::split(const std::string& line, std::vector<std::string>& fields) {
    fields.clear();
    std::string field;
    for (size_t index = 0; index < line.size(); ++index) {
        const char c = line[index];
        if (c == '\n' || c == '\0') break;  // a zero byte ends the line text as its line end does
        if (c == '"') {
            if (inQuotes_ && index + 1 < line.size() && line[index + 1] == '"') {
                field += "\"\"";
                ++index;
                continue;
            }
            inQuotes_ = !inQuotes_;
        } else if (c == ',' && !inQuotes_) {
            fields.push_back(field);
            field.clear();
            continue;
        }
        field += c;
    }
    fields.push_back(field);
}

std::string collapseQuotes(const std::string& text) {
    std::string result;
    for (size_t index = 0; index < text.size(); ++index) {
        result += text[index];
        if (text[index] == '"' && index + 1 < text.size() && text[index + 1] == '"') ++index;
    }
    return result;
}

// Drops the first and the last character of a text that starts with a double quote. A
// last character in UTF-8 goes whole, so a field whose closing quote stands elsewhere
// loses no half character.
static std::string dropEnclosingQuotes(const std::string& text) {
    if (text.empty() || text[0] != '"') return text;
    if (text.size() < 2) return std::string();
    size_t last = 1;
    for (size_t length = 2; length <= 4 && length < text.size(); ++length) {
        if (utf8SequenceLength(text, text.size() - length) == static_cast<int>(length)) last = length;
    }
    return text.substr(1, text.size() - 1 - last);
}

std::string unquoteFieldName(const std::string& written) {
    std::string name = dropEnclosingQuotes(written);
    if (!written.empty() && written[0] == '"' && name.size() > 1) {
        const size_t quote = name.find('"', 1);
        if (quote != std::string::npos) name.resize(quote);
    }
    return collapseQuotes(name);
}

std::string unquoteValue(const std::string& written) {
    return collapseQuotes(dropEnclosingQuotes(written));
}

namespace {

const char kHeaderTooLong[] = "Input record too long.\n";
const char kTooManyFields[] = "Error: more than 20 fields in the header line.\n";
const char kFieldTooLong[] = "Field data too long at record : %i \n";
const char kFieldCountDiffers[] = "Data format error - missing field data at record: %i \n";
const char kTooManyRecords[] = "Error: more than 50000 records in the input file.\n";
const char kCannotReopen[] = "Could not open input file\n";
const char kInputChanged[] = "Error: input file changed during conversion.\n";
const char kWriteFailed[] = "Error: could not write output file.\n";

// What the first pass learns and the writing needs.
struct FirstPass {
    CeldoAppInfo appInfo;
    bool quotesAfterHeader = false;     // the flag the data lines start with, in each pass
    std::vector<uint32_t> recordSizes;  // sum of (value length + 1), one per data line
};

// The message pattern for a data line whose fields (as written, counted in the
// database's bytes) do not fit the header, or nullptr when they do.
const char* dataLineProblem(const std::vector<std::string>& fields, int fieldCount) {
    for (const std::string& field : fields) {
        if (databaseLength(field) > static_cast<size_t>(kMaxFieldChars)) return kFieldTooLong;
    }
    if (static_cast<int>(fields.size()) != fieldCount) return kFieldCountDiffers;
    return nullptr;
}

bool readHeaderLine(TextReader& csv, LineSplitter& splitter, FirstPass& pass, Reporter& reporter) {
    std::string line;
    int stored = 0;
    csv.readCharacters(line, kLinePieceChars, stored);  // an empty file gives an empty header line
    if (stored >= kLinePieceChars && line.back() != '\n' && csv.peek() >= 0) {
        reporter.error(kHeaderTooLong);
        return false;
    }
    std::vector<std::string> names;
    splitter.split(line, names);
    if (static_cast<int>(names.size()) > kFieldSlots) {
        reporter.error(kTooManyFields);
        return false;
    }
    for (size_t field = 0; field < names.size(); ++field) {
        // Unquoted before the characters are mapped: a transliteration (a hard sign
        // becomes '"') is text, never a quote.
        const std::string name = databaseText(unquoteFieldName(names[field]));
        if (static_cast<int>(name.size()) > kMaxFieldNameLength) {
            const int number = static_cast<int>(field) + 1;
            reporter.error(format("Field Name %i too long\n", number),
                           format("Field Name %i too long : %s\n", number, name.c_str()));
            return false;
        }
        pass.appInfo.fieldNames[field] = name;
    }
    pass.appInfo.fieldCount = static_cast<uint16_t>(names.size());
    pass.quotesAfterHeader = splitter.inQuotes();
    return true;
}

bool measureRecords(TextReader& csv, LineSplitter& splitter, FirstPass& pass, Reporter& reporter) {
    std::vector<std::string> fields;
    std::string line;
    int stored = 0;
    for (int lineIndex = 0; csv.readCharacters(line, kLinePieceChars, stored); ++lineIndex) {
        reporter.say(format("%i\n", lineIndex));
        if (lineIndex == kMaxRecords) {
            reporter.error(kTooManyRecords);
            return false;
        }
        splitter.split(line, fields);
        if (const char* problem = dataLineProblem(fields, pass.appInfo.fieldCount)) {
            reporter.error(format(problem, lineIndex + 1));
            return false;
        }
        uint32_t recordSize = 0;
        for (const std::string& field : fields) recordSize += databaseText(unquoteValue(field)).size() + 1;
        pass.recordSizes.push_back(recordSize);
    }
    return true;
}

std::string buildHeader(const std::string& databaseName, uint32_t recordCount) {
    std::string header(kHeaderSize, '\0');
    header.replace(kNameOffset, std::min<size_t>(databaseName.size(), kMaxDatabaseNameLength),
                   databaseName, 0, kMaxDatabaseNameLength);
    storeBig16(header, kAttributesOffset, kBackupAttribute);
    storeBig16(header, kVersionOffset, kDatabaseVersion);
    storeBig32(header, kCreationDateOffset, kFixedDate);
    storeBig32(header, kModificationDateOffset, kFixedDate);
    storeBig32(header, kAppInfoOffsetOffset, appInfoOffsetFor(recordCount));
    header.replace(kTypeOffset, 4, kDatabaseType);
    header.replace(kCreatorOffset, 4, kDatabaseCreator);
    storeBig16(header, kRecordCountOffset, static_cast<uint16_t>(recordCount));
    return header;
}

// Header, record list, filler and application information.
void writeLayout(std::ostream& database, const std::string& databaseName, const FirstPass& pass) {
    const uint32_t recordCount = static_cast<uint32_t>(pass.recordSizes.size());
    const std::string appInfo = encodeAppInfo(pass.appInfo);
    std::string front = buildHeader(databaseName, recordCount);
    uint32_t recordOffset = appInfoOffsetFor(recordCount) + static_cast<uint32_t>(appInfo.size());
    for (const uint32_t recordSize : pass.recordSizes) {
        std::string entry(kRecordEntrySize, '\0');  // attributes and unique id stay 0
        storeBig32(entry, 0, recordOffset);
        front += entry;
        recordOffset += recordSize;
    }
    front.append(reinterpret_cast<const char*>(kFiller), kFillerSize);
    front += appInfo;
    database.write(front.data(), static_cast<std::streamsize>(front.size()));
}

// The second pass: the same lines split the same way, each record written as rebuilt.
// A file that no longer matches what the first pass measured stops the run rather than
// leave a record list that points elsewhere.
bool writeRecords(TextReader& csv, LineSplitter& splitter, const FirstPass& pass,
                  std::ostream& database, Reporter& reporter) {
    std::string line;
    int stored = 0;
    csv.readCharacters(line, kLinePieceChars, stored);  // the header line, checked by the first pass
    splitter.setInQuotes(pass.quotesAfterHeader);
    std::vector<std::string> fields;
    std::string record;
    size_t recordIndex = 0;
    for (; csv.readCharacters(line, kLinePieceChars, stored); ++recordIndex) {
        splitter.split(line, fields);
        if (recordIndex >= pass.recordSizes.size() ||
            dataLineProblem(fields, pass.appInfo.fieldCount) != nullptr) {
            reporter.error(kInputChanged);
            return false;
        }
        record.clear();
        for (const std::string& field : fields) {
            record += databaseText(unquoteValue(field));
            record += '\0';
        }
        if (record.size() != pass.recordSizes[recordIndex]) {
            reporter.error(kInputChanged);
            return false;
        }
        database.write(record.data(), static_cast<std::streamsize>(record.size()));
    }
    if (recordIndex != pass.recordSizes.size()) {
        reporter.error(kInputChanged);
        return false;
    }
    return true;
}

}  // namespace

bool csvToDatabase(std::istream& csv, const CsvOpener& reopenCsv, std::istream* info,
                   const std::string& databaseName, std::ostream& database, Reporter& reporter) {
    FirstPass pass;
    {
        skipByteOrderMark(csv);  // spreadsheet programs write one; it is no part of a name
        TextReader reader(csv);
        LineSplitter splitter;
        if (!readHeaderLine(reader, splitter, pass, reporter)) return false;
        if (!measureRecords(reader, splitter, pass, reporter)) return false;
    }
    setAppInfoDefaults(pass.appInfo);
    if (info != nullptr) {
        TextReader infoReader(*info);
        if (!readInfoFile(infoReader, pass.appInfo, pass.appInfo.fieldCount, reporter)) return false;
    }
    reporter.say(format("Records converted: %i\n", static_cast<int>(pass.recordSizes.size())));
    writeLayout(database, databaseName, pass);

    const std::unique_ptr<std::istream> again = reopenCsv ? reopenCsv() : nullptr;
    if (!again) {
        reporter.say(kCannotReopen);
        return false;
    }
    skipByteOrderMark(*again);
    TextReader reader(*again);
    LineSplitter splitter;
    if (!writeRecords(reader, splitter, pass, database, reporter)) return false;
    database.flush();
    if (!database) {
        reporter.error(kWriteFailed);
        return false;
    }
    return true;
}

}  // namespace celconv
