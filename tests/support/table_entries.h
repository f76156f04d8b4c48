// tests/support/table_entries.h -- an EPUB's entries from a table of names and bytes, so
// the package can be read without an archive (the tests and the package's fuzz target).
#pragma once
#include <map>
#include <string>

#include "frontend/epub_package.h"

class TableEntries : public EpubEntries {
public:
    bool exists(const std::string& name) const override { return files.count(name) != 0; }
    bool read(const std::string& name, std::string& bytes, std::string& reason) override {
        auto found = files.find(name);
        if (found == files.end()) {
            reason = "the entry \"" + name + "\" is missing";
            return false;
        }
        bytes = found->second;
        return true;
    }
    std::map<std::string, std::string> files;
};
