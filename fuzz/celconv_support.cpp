// fuzz/celconv_support.cpp -- see celconv_support.h.
#include "fuzz/celconv_support.h"

#include <cstdio>

#include "fuzz/fuzz_support.h"

void checkRefusalReported(bool converted, const celconv::Messages& messages) {
    if (converted) return;
    fuzzCheck(!messages.screen.empty(), "a refusal printed nothing");
    fuzzCheck(!messages.log.empty(), "a refusal left the error log empty");
}

void checkConvertsBack(const std::string& database) {
    std::string csv, info;
    celconv::Messages messages;
    const bool converted = celconv::databaseBytesToCsv(database, csv, &info, messages);
    if (!converted) std::fprintf(stderr, "%s", messages.screen.c_str());
    fuzzCheck(converted, "a database celconv wrote does not convert back");
}
