// fuzz/celconv_database.cpp -- celconv's database reader: arbitrary bytes as the
// database of a conversion to CSV with an info file. Every offset and length comes from
// the file, so each must be checked before use; a refusal is reported.
#include <cstdint>
#include <string>

#include "fuzz/celconv_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string database(reinterpret_cast<const char*>(data), size);
    std::string csv, info;
    celconv::Messages messages;
    const bool converted = celconv::databaseBytesToCsv(database, csv, &info, messages);
    checkRefusalReported(converted, messages);
    return 0;
}
