// tests/support/generated_table.cpp -- see generated_table.h.
#include "tests/support/generated_table.h"

#include <cstdio>
#include <fstream>
#include <memory>
#include <sstream>

std::string generatedTableDiffers(const std::string& generator, const std::string& table) {
    const std::string root = VIMLO_SOURCE_DIR;
    const std::string command = "/usr/bin/python3 " + root + "/scripts/" + generator + " --stdout";
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return "cannot run " + command;
    std::string generated;
    char chunk[65536];
    size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, pipe)) > 0) generated.append(chunk, got);
    if (pclose(pipe) != 0) return command + " failed (it needs Debian's python3 and python3-icu)";
    std::ifstream in(root + "/" + table, std::ios::binary);
    std::ostringstream checkedIn;
    checkedIn << in.rdbuf();
    if (generated != checkedIn.str()) return table + " differs from scripts/" + generator + "'s output";
    return {};
}
