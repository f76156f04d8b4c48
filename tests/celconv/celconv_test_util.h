// tests/celconv/celconv_test_util.h -- short ways to run both conversions over bytes and
// to look into the database bytes they give.
#pragma once
#include <cstdint>
#include <string>

#include "celconv/byte_entry.h"

namespace celconv_test {

struct CsvRun {
    bool converted = false;
    std::string database;
    celconv::Messages messages;
};

inline CsvRun toDatabase(const std::string& csv, const std::string* info = nullptr,
                         const std::string& name = "Test") {
    CsvRun run;
    run.converted = celconv::csvBytesToDatabase(csv, info, name, run.database, run.messages);
    return run;
}

struct DatabaseRun {
    bool converted = false;
    std::string csv;
    std::string info;
    celconv::Messages messages;
};

inline DatabaseRun toCsv(const std::string& database, bool wantInfo = false) {
    DatabaseRun run;
    run.converted = celconv::databaseBytesToCsv(database, run.csv, wantInfo ? &run.info : nullptr, run.messages);
    return run;
}

inline uint32_t big16(const std::string& bytes, size_t offset) {
    return (static_cast<uint8_t>(bytes.at(offset)) << 8) | static_cast<uint8_t>(bytes.at(offset + 1));
}
inline uint32_t big32(const std::string& bytes, size_t offset) {
    return (big16(bytes, offset) << 16) | big16(bytes, offset + 2);
}

}  // namespace celconv_test
