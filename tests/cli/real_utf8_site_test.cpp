// tests/cli/real_utf8_site_test.cpp -- a real UTF-8 site end to end: the Python tutorial
// that Debian installs (python3.11-doc), converted at depth 1 as a user would. Every
// non-ASCII character of its pages' text must arrive as the handheld's byte or its
// transliteration, and none of the byte pairs that UTF-8 read as Windows-1252 leaves
// behind may appear.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <set>
#include <string>

#include "engine/windows1252.h"
#include "tests/cli/vimlo_runner.h"
#include "tests/support/temp_dir.h"

using namespace cli_test;

namespace {

const char kTutorial[] = "/usr/share/doc/python3.11/html/tutorial";

std::string fileBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The code points above ASCII in a page's text: outside tags, scripts and styles. The
// pages are well-formed UTF-8, so a plain decoder serves.
void collectTextCharacters(const std::string& page, std::set<uint32_t>& found) {
    size_t at = 0;
    while (at < page.size()) {
        if (page[at] == '<') {
            for (const char* skipped : {"<script", "<style"}) {
                if (page.compare(at, std::strlen(skipped), skipped) == 0) {
                    const std::string end = std::string("</") + (skipped + 1);
                    const size_t close = page.find(end, at);
                    at = close == std::string::npos ? page.size() : close;
                }
            }
            const size_t close = page.find('>', at);
            at = close == std::string::npos ? page.size() : close + 1;
            continue;
        }
        const auto lead = static_cast<uint8_t>(page[at]);
        const int length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        if (length > 1 && at + length <= page.size()) {
            uint32_t codePoint = lead & (0x7F >> length);
            for (int i = 1; i < length; ++i)
                codePoint = (codePoint << 6) | (static_cast<uint8_t>(page[at + i]) & 0x3F);
            found.insert(codePoint);
        }
        at += length;
    }
}

TEST(RealUtf8Site, PythonTutorialArrivesInTheHandheldsCharacters) {
    namespace fs = std::filesystem;
    if (!fs::exists(fs::path(kTutorial) / "index.html"))
        GTEST_FAIL() << kTutorial << " is missing: install python3.11-doc (scripts/packages)";
    TempDir dir;
    // Navigation kept: its characters (the "«" of the page links) are counted below too.
    const Outcome converted = run({"convert", std::string(kTutorial) + "/index.html", "-d", "1", "-o",
                                   "tutorial.pdb", "--keep-navigation"},
                                  dir.path());
    ASSERT_EQ(0, converted.exitCode) << converted.err;

    const Outcome text = run({"text", "--raw", "tutorial.pdb"}, dir.path());
    ASSERT_EQ(0, text.exitCode) << text.err;
    const std::string& book = text.out;

    std::set<uint32_t> characters;
    int pages = 0;
    for (const fs::directory_entry& entry : fs::directory_iterator(kTutorial)) {
        if (entry.path().extension() != ".html") continue;
        ++pages;
        collectTextCharacters(fileBytes(entry.path()), characters);
    }
    ASSERT_GT(pages, 10);
    ASSERT_GT(characters.size(), 8u) << "the tutorial has typographic characters";
    for (uint32_t codePoint : characters) {
        const HandheldText expected = handheldText(codePoint);
        if (expected.form == HandheldForm::Removed) continue;
        EXPECT_NE(std::string::npos, book.find(std::string(expected.bytes, expected.length)))
            << "U+" << std::hex << codePoint << " is missing from the book";
    }

    // UTF-8 read as Windows-1252: "Ã" or "Â" before a continuation byte, "â€" before one.
    for (size_t i = 0; i + 1 < book.size(); ++i) {
        const auto first = static_cast<uint8_t>(book[i]);
        const auto second = static_cast<uint8_t>(book[i + 1]);
        const bool misread = ((first == 0xC2 || first == 0xC3) && second >= 0x80 && second < 0xC0) ||
                             (first == 0xE2 && second == 0x80);
        ASSERT_FALSE(misread) << "garbled bytes at " << i << ": "
                              << book.substr(i > 20 ? i - 20 : 0, 40);
    }
    // The pilcrow after every heading, one byte each.
    EXPECT_GT(std::count(book.begin(), book.end(), '\xB6'), 100);

    const Outcome info = run({"info", "tutorial.pdb"}, dir.path());
    ASSERT_EQ(0, info.exitCode) << info.err;
    const std::string title = nlohmann::json::parse(info.out)["header"]["name"];
    EXPECT_EQ(0u, title.find("The Python Tutorial \u2014 Python 3.")) << title;
}

}  // namespace
