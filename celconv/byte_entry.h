// celconv/byte_entry.h -- both conversions over bytes in memory instead of files, for
// tests and fuzz targets. They run the very code the program runs; only the streams
// differ (the CSV "reopened" for the second pass is the same bytes again).
#pragma once
#include <string>

#include "celconv/csv_characters.h"

namespace celconv {

// What the conversion printed, and what it wrote to the error log.
struct Messages {
    std::string screen;
    std::string log;
};

// CSV bytes (and info-file bytes unless `info` is nullptr) to database bytes. The
// database name is taken as given (the driver's 1-to-31 check is not made here).
// Returns true when the database was completed.
bool csvBytesToDatabase(const std::string& csv, const std::string* info, const std::string& databaseName,
                        std::string& database, Messages& messages);

// Database bytes to CSV bytes, and info-file bytes unless `info` is nullptr.
bool databaseBytesToCsv(const std::string& database, std::string& csv, std::string* info,
                        Messages& messages, CsvEncoding encoding = CsvEncoding::Windows1252);

}  // namespace celconv
