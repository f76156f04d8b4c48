// celconv/byte_entry.cpp -- see byte_entry.h.
#include "celconv/byte_entry.h"

#include <memory>
#include <sstream>

#include "celconv/csv_to_database.h"
#include "celconv/database_to_csv.h"
#include "celconv/reporter.h"

namespace celconv {

bool csvBytesToDatabase(const std::string& csv, const std::string* info, const std::string& databaseName,
                        std::string& database, Messages& messages) {
    std::istringstream firstPass(csv);
    std::istringstream infoStream(info != nullptr ? *info : std::string());
    std::ostringstream output;
    std::ostringstream screen;
    std::ostringstream log;
    Reporter reporter(screen);
    reporter.attachLog(&log);
    const CsvOpener reopen = [&csv]() -> std::unique_ptr<std::istream> {
        return std::make_unique<std::istringstream>(csv);
    };
    const bool converted =
        csvToDatabase(firstPass, reopen, info != nullptr ? &infoStream : nullptr, databaseName, output, reporter);
    database = output.str();
    messages.screen = screen.str();
    messages.log = log.str();
    return converted;
}

bool databaseBytesToCsv(const std::string& database, std::string& csv, std::string* info,
                        Messages& messages, CsvEncoding encoding) {
    std::istringstream input(database);
    std::ostringstream output;
    std::ostringstream infoStream;
    std::ostringstream screen;
    std::ostringstream log;
    Reporter reporter(screen);
    reporter.attachLog(&log);
    const bool converted = databaseToCsv(input, output, info != nullptr ? &infoStream : nullptr, reporter, encoding);
    csv = output.str();
    if (info != nullptr) *info = infoStream.str();
    messages.screen = screen.str();
    messages.log = log.str();
    return converted;
}

}  // namespace celconv
