// tests/html/pass_run.h -- runs the HTML pass over a site held in memory, as the driver
// runs it (the root page through the already open source, the others opened by path),
// and reads back the text and the document records, decoded to absolute positions.
// Every page the pass asks for is noted, so tests can check it asks only for pages it
// found through links, frames or the source path.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "html/html_pass.h"
#include "engine/document_records.h"
#include "tests/support/counting_io.h"
#include "tests/support/memory_io.h"

struct PassOptions {
    int32_t maxDepth = -1;
    bool withReportSlot = true;
    bool keepNavigation = false;
    // Runs just before the pass, to arm faults or a cancel on the counting table.
    std::function<void(CountingIo&)> arm;
};

struct PassLink {
    uint32_t start;
    uint32_t end;
    uint32_t target;
    bool operator==(const PassLink&) const = default;
};

struct PassRun {
    int32_t result = -1;
    HtmlPassRequest request{};
    std::string text;
    std::vector<std::string> pagesAsked;     // every path given to openPage, in order
    std::vector<std::string> pagesReported;  // StageCurrentPage reports, in order
    std::vector<ProgressReport> reports;
    std::vector<std::vector<uint8_t>> records;  // split at the offsets of T4
    bool recordsDecoded = false;                 // every record decoded as its kind
    std::vector<FormatRun> runs;
    std::vector<PassLink> links;   // link entries (a link of more than 255 has several), no spacers
    std::vector<RuleEntry> rules;  // spacers left out
    std::vector<uint32_t> boundaries;  // page ends, from the page-boundary records
    std::vector<IoCall> log;
    std::vector<uint32_t> closeOrder;
    std::vector<uint32_t> passTemps;  // the four temporary streams the pass created
    bool faultFired = false;
};

// The pass over `memory` from `source`. Checks with gtest that nothing is held after it.
PassRun runPassOver(MemoryIo& memory, const std::string& source, const PassOptions& options = PassOptions());

// The text between `start` and `end`.
std::string textBetween(const PassRun& run, uint32_t start, uint32_t end);
