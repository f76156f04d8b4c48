// tests/cli/real_html5_site_test.cpp -- a real site of today's markup end to end: the
// Python tutorial Debian installs (python3.11-doc), whose sections are named by ID and
// whose pages open with navigation bars. Converted at depth 1, every link to a fragment
// that its page defines must land on that element, never on the page's start; the
// navigation bars must be gone; and the book must hold the same pages, in the same
// order, as with --keep-navigation.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <nlohmann/json.hpp>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "engine/windows1252.h"
#include "tests/cli/vimlo_runner.h"
#include "tests/support/temp_dir.h"

using namespace cli_test;
namespace fs = std::filesystem;

namespace {

const char kTutorial[] = "/usr/share/doc/python3.11/html/tutorial";

std::string fileBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

using Book = BookView;

Book convertTutorial(const TempDir& dir, const std::string& name, bool keepNavigation) {
    std::vector<std::string> arguments = {"convert", std::string(kTutorial) + "/index.html", "-d", "1",
                                          "-q", "-o", name};
    if (keepNavigation) arguments.push_back("--keep-navigation");
    const Outcome converted = run(arguments, dir.path());
    EXPECT_EQ(0, converted.exitCode) << converted.err;
    return readBook(dir.path(), name);
}

// Link text as the book holds it: tags dropped, the few references Sphinx writes in
// link text decoded, whitespace collapsed, characters as the handheld has them. Empty
// when the text has another reference (it is not compared).
std::string bookFormOf(const std::string& html) {
    const std::string plain = std::regex_replace(html, std::regex("<[^>]*>"), "");
    std::string out;
    for (size_t i = 0; i < plain.size(); ++i) {
        const char c = plain[i];
        const auto lead = static_cast<uint8_t>(c);
        if (lead >= 0x80) {
            // UTF-8, as the pages are: the character as the handheld has it.
            const size_t length = lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
            uint32_t codePoint = lead & (0x7F >> length);
            for (size_t k = 1; k < length && i + k < plain.size(); ++k)
                codePoint = (codePoint << 6) | (static_cast<uint8_t>(plain[i + k]) & 0x3F);
            const HandheldText handheld = handheldText(codePoint);
            out.append(handheld.bytes, handheld.length);
            i += length - 1;
        } else if (c == '&') {
            const size_t end = plain.find(';', i);
            const std::string name = plain.substr(i + 1, end - i - 1);
            out += name == "amp" ? "&" : name == "lt" ? "<" : name == "gt" ? ">" : name == "quot" ? "\"" : "";
            if (name != "amp" && name != "lt" && name != "gt" && name != "quot") return "";
            i = end;
        } else if (c == ' ' || c == '\n' || c == '\t' || c == '\r') {
            if (!out.empty() && out.back() != ' ') out += ' ';
        } else {
            out += c;
        }
    }
    while (!out.empty() && out.back() == ' ') out.pop_back();
    return out;
}

struct SourceLinks {
    std::set<std::string> toFragments;  // texts of links to an ID their target page defines
    std::set<std::string> toPages;      // texts of links to a page without a fragment
    int fragmentLinks = 0;
};

// Every link between the tutorial's pages, by its text.
SourceLinks linksOfTheTutorial(std::map<std::string, std::string>& titles) {
    std::map<std::string, std::set<std::string>> ids;
    std::map<std::string, std::string> pages;
    for (const fs::directory_entry& entry : fs::directory_iterator(kTutorial)) {
        if (entry.path().extension() != ".html") continue;
        const std::string name = entry.path().filename().string();
        pages[name] = fileBytes(entry.path());
        const std::regex id("id=\"([^\"]+)\"");
        for (std::sregex_iterator it(pages[name].begin(), pages[name].end(), id), end; it != end; ++it)
            ids[name].insert((*it)[1]);
        std::smatch heading;
        if (std::regex_search(pages[name], heading, std::regex("<h1>([\\s\\S]*?)<a class=\"headerlink\"")))
            titles[name] = bookFormOf(heading[1]);
    }
    SourceLinks links;
    const std::regex anchor("<a [^>]*href=\"([^\"]*)\"[^>]*>([\\s\\S]*?)</a>");
    for (const auto& [name, bytes] : pages) {
        for (std::sregex_iterator it(bytes.begin(), bytes.end(), anchor), end; it != end; ++it) {
            const std::string href = (*it)[1];
            const std::string text = bookFormOf((*it)[2]);
            if (text.empty() || href.find("://") != std::string::npos) continue;
            const size_t hash = href.find('#');
            const std::string page = hash == 0 ? name : href.substr(0, hash);
            if (!pages.count(page)) continue;
            const std::string fragment = hash == std::string::npos ? "" : href.substr(hash + 1);
            if (fragment.empty()) {
                links.toPages.insert(text);
            } else if (ids[page].count(fragment)) {
                links.toFragments.insert(text);
                ++links.fragmentLinks;
            }
        }
    }
    return links;
}

// The pages of the book in order, each named by the page whose own heading (its title
// and the pilcrow after it) it holds; "?" when none or several.
std::vector<std::string> pageOrder(const Book& book, const std::map<std::string, std::string>& titles) {
    std::vector<std::string> order;
    for (size_t i = 0; i + 1 < book.boundaries.size(); ++i) {
        const std::string page = book.text.substr(book.boundaries[i], book.boundaries[i + 1] - book.boundaries[i]);
        std::string found = "?";
        int matches = 0;
        for (const auto& [name, title] : titles)
            if (!title.empty() && page.find(title + "\xB6") != std::string::npos) {
                found = name;
                ++matches;
            }
        order.push_back(matches == 1 ? found : "?");
    }
    return order;
}

TEST(RealHtml5Site, PythonTutorialLinksLandOnTheirSectionsWithoutNavigation) {
    if (!fs::exists(fs::path(kTutorial) / "index.html"))
        GTEST_FAIL() << kTutorial << " is missing: install python3.11-doc (scripts/packages)";
    TempDir dir;
    const Book book = convertTutorial(dir, "tutorial.pdb", false);
    const Book kept = convertTutorial(dir, "kept.pdb", true);
    ASSERT_GT(book.boundaries.size(), 10u);

    // The navigation bars are gone, and only they: with the switch they are there.
    for (const char* bar : {"Navigation", "Previous topic", "This Page", "Report a Bug", "Show Source"}) {
        EXPECT_EQ(std::string::npos, book.text.find(bar)) << bar;
        EXPECT_NE(std::string::npos, kept.text.find(bar)) << bar;
    }
    EXPECT_LT(book.text.size(), kept.text.size());

    // The same pages in the same order.
    std::map<std::string, std::string> titles;
    const SourceLinks source = linksOfTheTutorial(titles);
    const std::vector<std::string> order = pageOrder(book, titles);
    EXPECT_EQ(order, pageOrder(kept, titles));
    EXPECT_EQ(std::set<std::string>(order.begin(), order.end()).size(), order.size()) << "each page once";
    EXPECT_EQ(0, std::count(order.begin(), order.end(), "?"));
    ASSERT_GT(source.fragmentLinks, 130);

    // Links to a fragment land where the element is, never on a page's start: a link
    // named as a section lands on that section's heading, a heading's own pilcrow on the
    // start of that heading's line.
    const std::set<uint32_t> pageStarts(book.boundaries.begin(), book.boundaries.end());
    int checked = 0, sections = 0, pilcrows = 0;
    for (const BookLink& link : book.links) {
        const std::string text = book.text.substr(link.position, link.length);
        const bool toFragment = source.toFragments.count(text) != 0;
        const bool toPage = source.toPages.count(text) != 0;
        if (pageStarts.count(link.target) != 0) {
            EXPECT_TRUE(toPage) << "\"" << text << "\" at " << link.position << " lands on a page's start";
            continue;
        }
        if (!toFragment || toPage) continue;
        ++checked;
        ASSERT_LT(link.target, book.text.size());
        if (text == "\xB6") {
            ++pilcrows;
            EXPECT_LE(link.target, link.position);
            const size_t lineEnd = book.text.find('\n', link.target);
            EXPECT_TRUE(lineEnd == std::string::npos || lineEnd > link.position)
                << book.text.substr(link.target, 60);
            EXPECT_EQ('\n', book.text[link.target - 1]) << book.text.substr(link.target, 60);
        } else if (book.text.compare(link.target, text.size() + 1, text + "\xB6") == 0) {
            ++sections;  // the heading's text and its pilcrow
        }
    }
    EXPECT_GT(pilcrows, 100);
    EXPECT_GT(sections, 50);
    EXPECT_GT(checked, 130);
}

}  // namespace

namespace {

// An EPUB-style chapter: UTF-16 with a byte-order mark, an XML declaration and a body
// fragment. Its name makes it HTML, so the decoding front end and the engine both take
// it for a page; the same bytes named .txt are text with every tag visible.
TEST(RealHtml5Site, AUtf16XhtmlChapterConvertsAsAPage) {
    TempDir dir;
    const std::u16string chapter =
        u"<?xml version=\"1.0\" encoding=\"UTF-16\"?>\n<p id=\"c1\">Caf\u00e9 <b>bold</b> \u2014 end</p>";
    std::string bytes = "\xFF\xFE";
    for (char16_t unit : chapter) {
        bytes += static_cast<char>(unit & 0xFF);
        bytes += static_cast<char>(unit >> 8);
    }
    for (const char* name : {"ch.xhtml", "ch.txt"}) {
        std::ofstream(fs::path(dir.path()) / name, std::ios::binary) << bytes;
        const Outcome converted = run({"convert", name, "-q", "-o", "out.pdb", "-y"}, dir.path());
        ASSERT_EQ(0, converted.exitCode) << converted.err;
        const Outcome text = run({"text", "--raw", "out.pdb"}, dir.path());
        ASSERT_EQ(0, text.exitCode) << text.err;
        if (std::string(name) == "ch.xhtml")
            EXPECT_EQ("\n\nCaf\xE9 bold \x97 end\n\n\n", text.out);  // P breaks around it
        else
            EXPECT_NE(std::string::npos, text.out.find("<b>bold</b>")) << text.out;
    }
}

}  // namespace
