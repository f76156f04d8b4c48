// celconv/console.h -- the console driver: the start lines, the choice of mode (menu or
// command line), the prompts, the opening of every file in a fixed order, the error log,
// and the exit status. The conversions themselves live in csv_to_database and
// database_to_csv.
#pragma once
#include <istream>
#include <ostream>
#include <string>
#include <vector>

#include "celconv/csv_characters.h"

namespace celconv {

// Exit statuses. Scripts can tell a conversion from a refusal: 0 only after a successful
// conversion.
constexpr int kExitConverted = 0;
constexpr int kExitFailed = 1;  // a file, the input data or the answers stopped the run
constexpr int kExitUsage = 2;   // the command line named no complete conversion

constexpr char kErrorLogName[] = "celconv.err";

// What one run converts, gathered from the command line or the prompts.
struct ConversionRun {
    int mode = 0;              // 1: CSV to database, 2: database to CSV
    std::string inputName;
    std::string outputName;
    std::string databaseName;  // mode 1 only
    std::string infoName;
    bool infoRequested = false;
    CsvEncoding csvEncoding = CsvEncoding::Windows1252;  // of the CSV file mode 2 writes
};

// Runs the utility: args[0] is the program name, which the start lines show without its
// folder. An argument "--utf8" right after it makes mode 2 write its CSV file in UTF-8;
// mode 1 reads either encoding without being told. Answers are read from `in`, every message goes to `out`, and conversion errors
// also go to the error log at `errorLogPath`, which a successful conversion deletes. A
// run whose output is one of its other files is refused before anything is created;
// outputs are staged and replace their files only when the whole run succeeded.
// Returns the exit status.
int runCelconv(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
               const std::string& errorLogPath = kErrorLogName);

}  // namespace celconv
