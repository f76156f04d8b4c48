// tests/cli/book_test.cpp -- `vimlo info` and `vimlo text` on databases vimlo made, and
// on files that are not sound e-book databases.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>

#include "tests/cli/vimlo_runner.h"
#include "tests/support/temp_dir.h"

using namespace cli_test;

namespace {

std::string sampleText() {
    std::string path = std::string(VIMLO_SOURCE_DIR) + "/samples/the-lighthouse-keepers-ledger.txt";
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The sample text converted in a fresh folder, as book.pdb.
struct ConvertedSample {
    TempDir dir;
    std::string text = sampleText();
    ConvertedSample() {
        dir.write("book.txt", text);
        const Outcome outcome = run({"convert", "-q", "book.txt", "-t", "Ledger"}, dir.path());
        EXPECT_EQ(0, outcome.exitCode) << outcome.err;
    }
    Outcome vimlo(const std::vector<std::string>& args) const { return run(args, dir.path()); }
};

TEST(BookText, GivesBackTheConvertedBytes) {
    ConvertedSample sample;
    ASSERT_GT(sample.text.size(), 4096u) << "the sample spans more than one chunk";
    ASSERT_EQ(std::string::npos, sample.text.find('\r'));
    const Outcome outcome = sample.vimlo({"text", "book.pdb"});
    EXPECT_EQ(0, outcome.exitCode);
    EXPECT_EQ(sample.text, outcome.out);
    EXPECT_EQ("", outcome.err);
}

TEST(BookInfo, DescribesHeaderRecordZeroAndEveryTextRecord) {
    ConvertedSample sample;
    const Outcome outcome = sample.vimlo({"info", "book.pdb"});
    ASSERT_EQ(0, outcome.exitCode) << outcome.err;
    const nlohmann::json info = nlohmann::json::parse(outcome.out);
    const std::string bytes = sample.dir.read("book.pdb");

    EXPECT_EQ(bytes.size(), info["fileSize"]);
    const nlohmann::json& header = info["header"];
    EXPECT_EQ("Ledger", header["name"]);
    EXPECT_EQ("Quib", header["type"]);
    EXPECT_EQ("Quib", header["creator"]);
    EXPECT_EQ(0x0100, header["version"]);
    EXPECT_EQ(big32(bytes, 36), header["creationTime"]);
    EXPECT_EQ(big16(bytes, 76), header["numRecords"]);

    const nlohmann::json& zero = info["recordZero"];
    const size_t zeroOffset = big32(bytes, 78);
    EXPECT_EQ(sample.text.size(), zero["textLength"]);
    EXPECT_EQ(8, zero["groupSize"]);
    EXPECT_EQ(big32(bytes, zeroOffset + 32), zero["conversionTime"]);
    const size_t chunks = (sample.text.size() + 4095) / 4096;
    EXPECT_EQ(1 + (chunks + 7) / 8 + chunks, zero["textRecordCount"]);
    EXPECT_EQ(0, zero["pageCount"]);

    // The text records in file order: a code table, then its group's chunks.
    const nlohmann::json& records = info["textRecords"];
    ASSERT_EQ(zero["textRecordCount"].get<size_t>() - 1, records.size());
    size_t textLength = 0;
    for (size_t i = 0; i < records.size(); ++i) {
        const nlohmann::json& record = records[i];
        EXPECT_EQ(i + 1, record["index"]);
        const size_t offset = record["offset"];
        EXPECT_EQ(offset, big32(bytes, 78 + 8 * (i + 1))) << "the record list's offset";
        EXPECT_EQ(4u, static_cast<uint8_t>(bytes.at(offset))) << "record header length";
        EXPECT_EQ(record["size"], 4 + 4 * big16(bytes, offset + 2));
        const std::string kind = record["kind"];
        if (i % 9 == 0) {
            EXPECT_EQ("code table", kind);
            EXPECT_GT(record["bits"], 0);
        } else {
            EXPECT_TRUE(kind == "coded" || kind == "stored") << kind;
            EXPECT_EQ((i - 1) / 9 * 8 + (i - 1) % 9, record["chunk"]);
            textLength += record["textLength"].get<size_t>();
        }
    }
    EXPECT_EQ(sample.text.size(), textLength);
    for (const char* kind : {"format", "link", "rule", "pageBoundary"})
        EXPECT_EQ(0, info["documentRecords"][kind]["count"]) << kind;
}

TEST(BookInfo, DecodesTheDocumentRecordsOfASiteWithAbsolutePositions) {
    TempDir dir;
    const std::string site = std::string(VIMLO_SOURCE_DIR) + "/samples/site/index.html";
    ASSERT_EQ(0, run({"convert", "-q", "-d", "-1", site, "-o", "site.pdb"}, dir.path()).exitCode);
    const Outcome outcome = run({"info", "site.pdb"}, dir.path());
    ASSERT_EQ(0, outcome.exitCode) << outcome.err;
    const nlohmann::json info = nlohmann::json::parse(outcome.out);
    const nlohmann::json& zero = info["recordZero"];
    const nlohmann::json& documents = info["documentRecords"];
    EXPECT_EQ("The Pocket Gardener", info["header"]["name"]);
    const uint32_t textLength = zero["textLength"];
    const std::string text = run({"text", "--raw", "site.pdb"}, dir.path()).out;
    ASSERT_EQ(textLength, text.size());

    // The runs follow the text records and each other, as record 0 says.
    uint32_t next = zero["textRecordCount"];
    for (const char* kind : {"format", "link", "rule", "pageBoundary"}) {
        EXPECT_EQ(next, documents[kind]["first"]) << kind;
        next += documents[kind]["count"].get<uint32_t>();
    }
    EXPECT_EQ(info["header"]["numRecords"], next);

    // Format runs tile the whole text from position 0.
    uint32_t position = 0;
    for (const auto& record : documents["format"]["records"])
        for (const auto& run : record["runs"]) {
            EXPECT_EQ(position, run["start"]);
            position += run["length"].get<uint32_t>();
        }
    EXPECT_EQ(textLength, position);

    // Every page of the site is one boundary; the last ends the text.
    const nlohmann::json& pages = documents["pageBoundary"]["records"];
    ASSERT_EQ(1u, pages.size());
    const std::vector<uint32_t> boundaries = pages[0]["boundaries"];
    EXPECT_EQ(zero["pageCount"].get<size_t>() + 1, boundaries.size());
    EXPECT_EQ(0u, boundaries.front());
    EXPECT_EQ(textLength, boundaries.back());

    // The contents list links "Soil and pots" to the page that starts with that heading.
    bool soilLinkFound = false;
    for (const auto& record : documents["link"]["records"])
        for (const auto& link : record["entries"]) {
            if (link.contains("spacer")) continue;
            const uint32_t at = link["position"], length = link["length"], target = link["target"];
            ASSERT_LE(at + length, textLength);
            ASSERT_LT(target, textLength);
            if (text.substr(at, length) == "Soil and pots") {
                soilLinkFound = true;
                EXPECT_NE(std::find(boundaries.begin(), boundaries.end(), target), boundaries.end())
                    << "a link to a page leads to the page's start";
            }
        }
    EXPECT_TRUE(soilLinkFound);

    // The first rule: <hr width="50%" size="2">.
    const nlohmann::json& rule = documents["rule"]["records"][0]["entries"][0];
    EXPECT_EQ(50, rule["widthPercent"]);
    EXPECT_EQ(2, rule["size"]);
    EXPECT_EQ("center", rule["align"]);
}

TEST(BookDamage, EachFaultIsNamedWithAStatusOfItsOwn) {
    ConvertedSample sample;
    const std::string good = sample.dir.read("book.pdb");
    struct Case {
        const char* what;
        std::string bytes;
        const char* message;
        int status;
    };
    std::string badChunk = good;
    const size_t chunkRecord = big32(good, 78 + 8 * 2);
    for (size_t i = chunkRecord + 4; i < chunkRecord + 40; ++i) badChunk[i] = static_cast<char>(~badChunk[i]);
    std::string badList = good;
    badList[78 + 8 * 2] = static_cast<char>(0x7F);  // record 2 placed far past the end
    const std::vector<Case> cases = {
        {"a text file", sample.text, "book.bad: not an e-book database\n", 9},
        {"cut short", good.substr(0, good.size() / 2), "book.bad: damaged e-book database", 9},
        {"record list", badList, "book.bad: damaged e-book database: bad record list\n", 9},
        {"chunk", badChunk, "book.bad: damaged e-book database: bad text chunk (record 2)\n", 9},
        {"empty", "", "book.bad: not an e-book database\n", 9},
    };
    for (const Case& c : cases) {
        sample.dir.write("book.bad", c.bytes);
        for (const char* command : {"info", "text"}) {
            const Outcome outcome = sample.vimlo({command, "book.bad"});
            EXPECT_EQ(c.status, outcome.exitCode) << c.what << " " << command;
            EXPECT_NE(std::string::npos, outcome.err.find(std::string("vimlo: ") + c.message))
                << c.what << " " << command << ": " << outcome.err;
        }
    }

    // A link record whose entry count disagrees with its length: the text still reads.
    const std::string site = std::string(VIMLO_SOURCE_DIR) + "/samples/site/index.html";
    ASSERT_EQ(0, sample.vimlo({"convert", "-q", site, "-o", "site.pdb"}).exitCode);
    std::string badLink = sample.dir.read("site.pdb");
    const size_t zero = big32(badLink, 78);
    const uint32_t linkRecord = big16(badLink, zero + 24);
    const size_t linkOffset = big32(badLink, 78 + 8 * linkRecord);
    badLink[linkOffset + 5] = static_cast<char>(badLink[linkOffset + 5] + 1);  // n + 1
    sample.dir.write("book.bad", badLink);
    Outcome outcome = sample.vimlo({"info", "book.bad"});
    EXPECT_EQ(9, outcome.exitCode);
    EXPECT_EQ("vimlo: book.bad: damaged e-book database: bad document record (record " +
                  std::to_string(linkRecord) + ")\n",
              outcome.err);
    EXPECT_EQ(0, sample.vimlo({"text", "book.bad"}).exitCode);

    outcome = sample.vimlo({"info", "absent.pdb"});
    EXPECT_EQ(4, outcome.exitCode);
    EXPECT_EQ("vimlo: absent.pdb: No such file or directory\n", outcome.err);
    outcome = sample.vimlo({"text", "."});
    EXPECT_EQ(4, outcome.exitCode);
    EXPECT_EQ("vimlo: .: not a regular file\n", outcome.err);
}

}  // namespace
