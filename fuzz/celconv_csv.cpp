// fuzz/celconv_csv.cpp -- celconv's CSV reader: arbitrary bytes as the CSV file of a
// conversion without an info file. A refusal is reported; a database is readable back.
#include <cstdint>
#include <string>

#include "fuzz/celconv_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string csv(reinterpret_cast<const char*>(data), size);
    std::string database;
    celconv::Messages messages;
    const bool converted = celconv::csvBytesToDatabase(csv, nullptr, "Fuzzed", database, messages);
    checkRefusalReported(converted, messages);
    if (converted) checkConvertsBack(database);
    return 0;
}
