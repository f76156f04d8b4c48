// A real multi-page HTML manual (flex-doc's, listed in scripts/packages/test-engine.txt)
// converted through the standard I/O table: every page that a plain crawler of its
// links reaches within the depth is converted exactly once, no other page is, and the
// database passes the book reader with records that cover its text.
#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <regex>
#include <set>
#include <string>

#include "engine/book_reader.h"
#include "driver/conversion.h"
#include "platform/standard_io.h"
#include "tests/engine/engine_fixtures.h"
#include "tests/support/counting_io.h"
#include "tests/support/temp_dir.h"

namespace {

const std::string kManualDir = "/usr/share/doc/flex-doc/html/";

std::string lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

std::string fileText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Breadth first over the A HREF links of the manual's own pages, names folded to lower
// case as the converter compares them: a page within `maxDepth` links of the root (all
// of them for -1). Links with a scheme, absolute paths and fragments alone lead nowhere.
std::set<std::string> crawl(const std::string& root, int maxDepth) {
    static const std::regex kHref(R"(<a\s[^>]*href\s*=\s*"([^"#]*)[^"]*")", std::regex::icase);
    std::set<std::string> seen{lower(root)};
    std::deque<std::pair<std::string, int>> queue{{root, 0}};
    while (!queue.empty()) {
        const auto [name, depth] = queue.front();
        queue.pop_front();
        if (maxDepth >= 0 && depth >= maxDepth) continue;
        const std::string html = fileText(kManualDir + name);
        for (std::sregex_iterator it(html.begin(), html.end(), kHref), end; it != end; ++it) {
            const std::string target = (*it)[1];
            if (target.empty() || target.find(':') != std::string::npos || target[0] == '/') continue;
            if (!std::filesystem::is_regular_file(kManualDir + target)) continue;
            if (seen.insert(lower(target)).second) queue.emplace_back(target, depth + 1);
        }
    }
    return seen;
}

TEST(RealSite, EveryReachablePageOnceAndADatabaseThatReadsBack) {
    const std::string root = kManualDir + "index.html";
    ASSERT_TRUE(std::filesystem::is_regular_file(root))
        << "the flex-doc package is missing: scripts/ensure-packages scripts/packages/test-engine.txt";
    TempDir dir;
    const std::string out = dir.file("manual.pdb");
    for (int maxDepth : {1, -1}) {
        CountingIo counting(standardIoOps);
        ConversionJob job = defaultJob(counting.ops(), root.c_str(), out.c_str());
        job.maxDepth = maxDepth;
        ASSERT_EQ(ResultOk, convertDocument(job)) << maxDepth;
        expectNothingHeld(counting);

        std::map<std::string, int> converted;
        for (const ProgressReport& report : counting.reports()) {
            if (report.stage != StageCurrentPage) continue;
            ASSERT_EQ(0u, report.page.rfind(kManualDir, 0)) << report.page;
            ++converted[lower(report.page.substr(kManualDir.size()))];
        }
        std::set<std::string> names;
        for (const auto& [name, times] : converted) {
            EXPECT_EQ(1, times) << name;
            names.insert(name);
        }
        const std::set<std::string> expected = crawl("index.html", maxDepth);
        EXPECT_EQ(expected, names) << maxDepth;
        if (maxDepth < 0) {
            EXPECT_GT(names.size(), 150u);
        }

        // The database: its container and text decode, and so does every document record.
        const IoOps& io = standardIoOps;
        const uint32_t book = io.openStream(io.userData, out.c_str(), 0);
        ASSERT_NE(0u, book);
        BookReader reader{};
        ASSERT_EQ(BookOk, bookOpen(io, book, reader));
        const uint32_t text = io.createTempStream(io.userData);
        EXPECT_EQ(BookOk, bookReadText(reader, text));
        const int32_t textLength = static_cast<int32_t>(io.seekStream(io.userData, text, 0, 2));
        EXPECT_EQ(static_cast<int32_t>(reader.recordZero.textLength), textLength);
        auto format = std::make_unique<DecodedFormatRecord>();
        auto link = std::make_unique<DecodedLinkRecord>();
        auto rule = std::make_unique<DecodedRuleRecord>();
        auto boundary = std::make_unique<DecodedBoundaryRecord>();
        int32_t first = 0, count = 0;
        uint32_t covered = 0;
        bookDocumentRun(reader, DocumentFormat, first, count);
        for (int32_t n = 0; n < count; ++n) {
            ASSERT_EQ(BookOk, bookReadFormatRecord(reader, n, *format)) << n;
            EXPECT_EQ(covered, format->runs[0].start);
            covered = format->end;
        }
        EXPECT_EQ(static_cast<uint32_t>(textLength), covered);
        bookDocumentRun(reader, DocumentLink, first, count);
        EXPECT_GT(count, 0);
        for (int32_t n = 0; n < count; ++n) {
            ASSERT_EQ(BookOk, bookReadLinkRecord(reader, n, *link)) << n;
            for (int32_t e = 0; e < link->count; ++e)
                EXPECT_LT(link->entries[e].target, static_cast<uint32_t>(textLength));
        }
        bookDocumentRun(reader, DocumentRule, first, count);
        for (int32_t n = 0; n < count; ++n) EXPECT_EQ(BookOk, bookReadRuleRecord(reader, n, *rule)) << n;
        bookDocumentRun(reader, DocumentBoundary, first, count);
        uint32_t lastEnd = 0;
        for (int32_t n = 0; n < count; ++n) {
            ASSERT_EQ(BookOk, bookReadBoundaryRecord(reader, n, *boundary)) << n;
            lastEnd = boundary->boundaries[boundary->count - 1];
        }
        EXPECT_EQ(static_cast<uint32_t>(textLength), lastEnd);
        EXPECT_LE(reader.recordZero.pageCount, names.size());
        bookClose(reader);
        io.closeStream(io.userData, text);
        io.closeStream(io.userData, book);
    }
}

}  // namespace
