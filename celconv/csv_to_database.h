// celconv/csv_to_database.h -- mode 1: a comma-separated file whose first line names the
// fields becomes a Celdo database. The CSV file is read twice: the first pass checks
// every line and measures every record, then the header, record list and application
// information are written, and the second pass re-reads the file and writes each record
// as soon as it is rebuilt, so records are never held together. Each field is split and
// unquoted on the file's bytes, then its characters become the database's
// (csv_characters.h); lengths are counted in the database's bytes.
#pragma once
#include <functional>
#include <istream>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "celconv/reporter.h"

namespace celconv {

// Splits CSV lines into fields. One in-quotes flag serves a whole conversion: it is not
// reset at a line end, so a line with an unbalanced double quote makes the commas of the
// following lines part of a field.
class LineSplitter {
public:
    // Splits `line` (a read piece, its line feed included if it has one) into its fields
    // as written, quotes included. A comma outside quotes ends a field; a line feed or a
    // zero byte ends the line; two double quotes inside quotes are an escaped quote.
    void split(const std::string& line, std::vector<std::string>& fields);
    bool inQuotes() const { return inQuotes_; }
    void setInQuotes(bool inQuotes) { inQuotes_ = inQuotes; }

private:
    bool inQuotes_ = false;
};

// Each pair of adjacent double quotes becomes one, scanning from the left.
std::string collapseQuotes(const std::string& text);
// A field name as stored: a name starting with a double quote loses its first and last
// character and is cut at the next double quote; then pairs collapse.
std::string unquoteFieldName(const std::string& written);
// A value as stored: a value starting with a double quote loses its first and last
// character, whatever the last one is; then pairs collapse.
std::string unquoteValue(const std::string& written);

// Opens the CSV file again for the second pass; nullptr when it cannot be opened.
using CsvOpener = std::function<std::unique_ptr<std::istream>()>;

// Converts the CSV file `csv` (opened for the first pass) into a database written to
// `database`. `info` is the open info file or nullptr; `databaseName` holds 1 to 31
// characters (a longer one is cut). Progress lines and errors go to `reporter`. Returns
// true when the whole database has been written; on false an error has been reported
// and `database` holds what was written so far.
bool csvToDatabase(std::istream& csv, const CsvOpener& reopenCsv, std::istream* info,
                   const std::string& databaseName, std::ostream& database, Reporter& reporter);

}  // namespace celconv
