// fuzz/celconv_info.cpp -- celconv's info-file reader: the first byte picks the number
// of fields (1 to 20) of a small CSV file, the rest is its info file. A refusal is
// reported; a database is readable back with its settings.
#include <cstdint>
#include <string>

#include "fuzz/celconv_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const int fields = 1 + data[0] % 20;
    std::string names, values;
    for (int field = 0; field < fields; ++field) {
        names += (field ? ",F" : "F") + std::to_string(field);
        values += (field ? "," : "") + std::to_string(field * 7);
    }
    const std::string csv = names + "\r\n" + values + "\r\n";
    const std::string info(reinterpret_cast<const char*>(data + 1), size - 1);
    std::string database;
    celconv::Messages messages;
    const bool converted = celconv::csvBytesToDatabase(csv, &info, "Fuzzed", database, messages);
    checkRefusalReported(converted, messages);
    if (converted) checkConvertsBack(database);
    return 0;
}
