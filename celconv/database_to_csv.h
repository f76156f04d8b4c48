// celconv/database_to_csv.h -- mode 2: a Celdo database becomes a comma-separated file
// whose first line names the fields, and on request an info file with its settings.
// The database is read at the offsets its header and record list give; every offset and
// length is checked against the file, so a damaged database stops the run with a
// message instead of being read outside its bytes.
#pragma once
#include <cstdint>
#include <istream>
#include <ostream>

#include "celconv/celdo_app_info.h"
#include "celconv/csv_characters.h"
#include "celconv/reporter.h"

namespace celconv {

// Reads the application information that starts at `offset` of `database`: the 564
// fixed bytes, then the popup strings up to the first empty one, which must end before
// `limit` (where the next part of the file begins). Returns false (reported) when the
// fixed part or the popup data runs past `limit`.
bool readAppInfo(CeldoAppInfo& appInfo, std::istream& database, uint64_t offset, uint64_t limit,
                 Reporter& reporter);

// Converts the database in `database` (a seekable byte stream) into CSV lines on `csv`,
// and writes the info file to `info` unless it is nullptr. CSV and info lines end in
// CR LF. Deleted records are left out. The CSV file has the database's Windows-1252
// bytes, or with CsvEncoding::Utf8 the same text in UTF-8 after a byte-order mark; the
// length limit applies to the database's bytes either way. The info file always has
// the database's bytes. Returns true when everything was written; on false an error has
// been reported and the outputs hold what was written so far.
bool databaseToCsv(std::istream& database, std::ostream& csv, std::ostream* info, Reporter& reporter,
                   CsvEncoding encoding = CsvEncoding::Windows1252);

}  // namespace celconv
