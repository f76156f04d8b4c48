// tests/cli/epub_test.cpp -- EPUB books end to end. Real ones, made by an independent
// producer (pandoc, EPUB 3 and EPUB 2) from the Python tutorial's reStructuredText
// sources with a chapter of cross references added: the book must hold the contents
// page and then the chapters in spine order, carry the package's title, and every
// contents entry and every link between chapters must land on the text it names.
// Hand-built ones for the cases producers rarely make, and hostile ones, which must be
// refused with a message and leave nothing behind.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <fstream>
#include <string>
#include <vector>

#include "engine/windows1252.h"
#include "tests/cli/vimlo_runner.h"
#include "tests/support/temp_dir.h"
#include "tests/support/zip_builder.h"

using namespace cli_test;
namespace fs = std::filesystem;

namespace {

const char kSources[] = "/usr/share/doc/python3.11/html/_sources/tutorial";
const char kTitle[] = "Le tutoriel Python \xE2\x80\x94 \xC3\xBCn\xC3\xAF" "code";
// The title as the handheld has it, and as the database's 31-byte name keeps it.
const char kHandheldTitle[] = "Le tutoriel Python \x97 \xFCn\xEF" "code";

// Each chapter's source and its heading.
const std::vector<std::pair<std::string, std::string>> kChapters = {
    {"appetite", "Whetting Your Appetite"},
    {"interpreter", "Using the Python Interpreter"},
    {"introduction", "An Informal Introduction to Python"},
    {"controlflow", "More Control Flow Tools"},
    {"", "Cross references"},
};

void writeFile(const fs::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary);
    out << bytes;
}

bool present(const fs::path& path) {
    std::error_code error;
    return fs::exists(path, error);
}

ZipBuildEntry file(std::string name, std::string data, bool deflate = true) {
    ZipBuildEntry entry;
    entry.name = std::move(name);
    entry.data = std::move(data);
    entry.deflate = deflate;
    return entry;
}

// Makes `name` with pandoc in `dir` (format "epub3" or "epub2").
void makeTutorialEpub(const TempDir& dir, const std::string& name, const std::string& format) {
    writeFile(fs::path(dir.path()) / "links.rst",
              ".. _tut-crossrefs:\n\n****************\nCross references\n****************\n\n"
              "Read `how to start it <#tut-invoking>`_, then `numbers <#tut-numbers>`_ and "
              "`functions <#tut-functions>`_.\n");
    std::string command = "cd '" + dir.path() + "' && pandoc -f rst -t " + format +
                          " --metadata title='" + kTitle + "' -o '" + name + "'";
    for (const auto& [source, heading] : kChapters)
        command += source.empty() ? " links.rst" : " " + std::string(kSources) + "/" + source + ".rst.txt";
    command += " 2>/dev/null";
    ASSERT_EQ(0, std::system(command.c_str())) << command;
}

// The text of the book from `position` on, at most `length` bytes, the line breaks that
// open a page (a link to a whole chapter lands on its start) passed over.
std::string textAt(const BookView& book, uint32_t position, size_t length) {
    while (position < book.text.size() && book.text[position] == '\n') ++position;
    if (position >= book.text.size()) return "";
    return book.text.substr(position, length);
}

// The page (0 = the contents page) holding text position `position`.
size_t pageOf(const BookView& book, uint32_t position) {
    for (size_t page = 1; page < book.boundaries.size(); ++page)
        if (position < book.boundaries[page]) return page - 1;
    return book.boundaries.size();
}

void expectTheTutorialBook(const TempDir& dir, const std::string& epub, bool titlePageFirst) {
    const Outcome converted = run({"convert", epub, "-q"}, dir.path());
    ASSERT_EQ(0, converted.exitCode) << converted.err;
    const std::string bookName = fs::path(epub).stem().string() + ".pdb";
    ASSERT_TRUE(present(fs::path(dir.path()) / bookName)) << "the name is the EPUB's with .pdb";
    const BookView book = readBook(dir.path(), bookName);
    EXPECT_EQ(std::string(kTitle), book.name);

    // The contents page, the title page, then each chapter in spine order.
    const size_t firstChapter = titlePageFirst ? 2 : 1;
    ASSERT_EQ(firstChapter + kChapters.size() + (titlePageFirst ? 0 : 1) + 1, book.boundaries.size());
    for (size_t i = 0; i < kChapters.size(); ++i) {
        const uint32_t start = book.boundaries[firstChapter + i];
        const uint32_t end = book.boundaries[firstChapter + i + 1];
        const std::string page = book.text.substr(start, end - start);
        EXPECT_NE(std::string::npos, page.find(kChapters[i].second))
            << "page " << firstChapter + i << " should be " << kChapters[i].second;
    }
    EXPECT_NE(std::string::npos, book.text.find(kHandheldTitle)) << "the title in the handheld's characters";
    for (const char* mojibake : {"\xC3\xBC", "\xC3\xAF", "\xE2\x80", "\xC3\xA2"})
        EXPECT_EQ(std::string::npos, book.text.find(mojibake)) << "UTF-8 read as Windows-1252";

    // Every contents entry lands on the heading it names, in the chapter that has it.
    size_t contentsLinks = 0;
    size_t crossLinks = 0;
    for (const BookLink& link : book.links) {
        const std::string label = book.text.substr(link.position, link.length);
        const size_t from = pageOf(book, link.position);
        ASSERT_NE(0xFFFFFFFFu, link.target) << "unresolved link \"" << label << "\"";
        if (from == 0) {
            ++contentsLinks;
            EXPECT_EQ(label, textAt(book, link.target, label.size())) << "contents entry " << label;
            EXPECT_NE(0u, pageOf(book, link.target));
        } else if (from == firstChapter + kChapters.size() - 1) {
            ++crossLinks;
            const std::string expected = label == "how to start it" ? "Invoking the Interpreter"
                                         : label == "numbers"         ? "Numbers"
                                                                      : "Defining Functions";
            EXPECT_EQ(expected, textAt(book, link.target, expected.size())) << "link " << label;
        }
    }
    EXPECT_GE(contentsLinks, 30u);
    EXPECT_EQ(3u, crossLinks);
}

TEST(Epub, Epub3FromAnIndependentProducerHasItsChaptersContentsLinksAndTitle) {
    TempDir dir;
    makeTutorialEpub(dir, "tutorial.epub", "epub3");
    expectTheTutorialBook(dir, "tutorial.epub", true);
}

TEST(Epub, Epub2WithItsNcxConvertsAlikeAndTheExtensionIsNotNeeded) {
    TempDir dir;
    makeTutorialEpub(dir, "tutorial.epub", "epub2");
    fs::rename(fs::path(dir.path()) / "tutorial.epub", fs::path(dir.path()) / "tutorial.zip");
    expectTheTutorialBook(dir, "tutorial.zip", true);
}

// --- Hand-built books.

const char kContainer[] =
    "<?xml version=\"1.0\"?><container version=\"1.0\" "
    "xmlns=\"urn:oasis:names:tc:opendocument:xmlns:container\"><rootfiles>"
    "<rootfile full-path=\"OPS/book.opf\" media-type=\"application/oebps-package+xml\"/>"
    "</rootfiles></container>";

std::string chapter(const std::string& title, const std::string& body) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!DOCTYPE html PUBLIC \"-//W3C//DTD XHTML 1.1//EN\" "
           "\"http://www.w3.org/TR/xhtml11/DTD/xhtml11.dtd\">\n<html xmlns=\"http://www.w3.org/1999/xhtml\">"
           "<head><title>" + title + "</title></head><body>" + body + "</body></html>";
}

// An EPUB 2 with only an NCX: three chapters, the second not linear, the first linking
// to an id inside the third; the package names a chapter the archive lacks.
std::vector<ZipBuildEntry> epub2Entries() {
    return {
        file("mimetype", "application/epub+zip", false),
        file("META-INF/container.xml", kContainer),
        file("OPS/book.opf",
         "<?xml version=\"1.0\"?><package xmlns=\"http://www.idpf.org/2007/opf\" version=\"2.0\">"
         "<metadata xmlns:dc=\"http://purl.org/dc/elements/1.1/\"><dc:title>Caf\xC3\xA9 stories</dc:title></metadata>"
         "<manifest><item id=\"ncx\" href=\"toc.ncx\" media-type=\"application/x-dtbncx+xml\"/>"
         "<item id=\"a\" href=\"a.html\" media-type=\"application/xhtml+xml\"/>"
         "<item id=\"b\" href=\"b.html\" media-type=\"application/xhtml+xml\"/>"
         "<item id=\"c\" href=\"sub/c.html\" media-type=\"application/xhtml+xml\"/>"
         "<item id=\"x\" href=\"missing.html\" media-type=\"application/xhtml+xml\"/></manifest>"
         "<spine toc=\"ncx\"><itemref idref=\"a\"/><itemref idref=\"b\" linear=\"no\"/>"
         "<itemref idref=\"x\"/><itemref idref=\"c\"/></spine></package>"),
        file("OPS/toc.ncx",
         "<ncx xmlns=\"http://www.daisy.org/z3986/2005/ncx/\"><navMap>"
         "<navPoint><navLabel><text>Alpha</text></navLabel><content src=\"a.html\"/></navPoint>"
         "<navPoint><navLabel><text>Gamma</text></navLabel><content src=\"sub/c.html\"/>"
         "<navPoint><navLabel><text>Deep down</text></navLabel><content src=\"sub/c.html#deep\"/></navPoint>"
         "</navPoint></navMap></ncx>"),
        file("OPS/a.html", chapter("Alpha", "<h1>Alpha</h1><p>See <a href=\"sub/c.html#deep\">the deep part</a>.</p>")),
        file("OPS/b.html", chapter("Beta", "<h1>Beta aside</h1><p>Not in the reading line.</p>")),
        file("OPS/sub/c.html",
         chapter("Gamma", "<h1>Gamma</h1><p>" + std::string(3000, 'x') + "</p><h2 id=\"deep\">Deep down</h2>"
                          "<p><a href=\"../a.html\">back</a> <a href=\"../../../etc/passwd\">out</a> "
                          "<a href=\"http://example.com/\">web</a></p>")),
    };
}

TEST(Epub, HandBuiltEpub2WithNcxNonLinearItemsAndLinksToIdsInOtherChapters) {
    TempDir dir;
    writeFile(fs::path(dir.path()) / "stories.epub", buildZip(epub2Entries()));
    const Outcome converted = run({"convert", "stories.epub", "-q", "-v"}, dir.path());
    ASSERT_EQ(0, converted.exitCode) << converted.err;
    EXPECT_NE(std::string::npos, converted.err.find("missing.html")) << converted.err;
    const BookView book = readBook(dir.path(), "stories.pdb");
    EXPECT_EQ("Caf\xC3\xA9 stories", book.name);
    // Contents, Alpha, Gamma, then Beta (not linear) last.
    ASSERT_EQ(5u, book.boundaries.size());
    EXPECT_NE(std::string::npos, textAt(book, book.boundaries[1], 100).find("Alpha"));
    EXPECT_NE(std::string::npos, textAt(book, book.boundaries[2], 100).find("Gamma"));
    EXPECT_NE(std::string::npos, textAt(book, book.boundaries[3], 100).find("Beta aside"));
    EXPECT_EQ(std::string::npos, book.text.find("root:")) << "nothing outside the archive is read";
    bool deepFromAlpha = false;
    bool deepFromContents = false;
    for (const BookLink& link : book.links) {
        const std::string label = book.text.substr(link.position, link.length);
        if (label == "the deep part" || label == "Deep down") {
            EXPECT_EQ("Deep down", textAt(book, link.target, 9)) << label;
            (label == "Deep down" ? deepFromContents : deepFromAlpha) = true;
        }
        if (label == "back") {
            EXPECT_EQ(book.boundaries[1], link.target);
        }
    }
    EXPECT_TRUE(deepFromAlpha);
    EXPECT_TRUE(deepFromContents);
}

TEST(Epub, AMimetypeCompressedOrNotFirstIsAcceptedWhenTheRestIsSound) {
    TempDir dir;
    std::vector<ZipBuildEntry> entries = epub2Entries();
    entries[0].deflate = true;
    std::rotate(entries.begin(), entries.begin() + 1, entries.begin() + 3);
    writeFile(fs::path(dir.path()) / "late.epub", buildZip(entries));
    const Outcome converted = run({"convert", "late.epub", "-q"}, dir.path());
    EXPECT_EQ(0, converted.exitCode) << converted.err;
    EXPECT_EQ("Caf\xC3\xA9 stories", readBook(dir.path(), "late.pdb").name);
}

// Each hostile archive is refused with its reason and leaves no book and no temporary
// file; a book already there stays as it was.
TEST(Epub, HostileAndForeignArchivesAreRefusedWithTheirReasonAndNothingWritten) {
    struct Case {
        const char* what;
        std::vector<ZipBuildEntry> entries;
        const char* message;
    };
    std::vector<Case> cases;
    auto with = [](const std::function<void(std::vector<ZipBuildEntry>&)>& change) {
        std::vector<ZipBuildEntry> entries = epub2Entries();
        change(entries);
        return entries;
    };
    cases.push_back({"climbing name", with([](auto& e) { e.push_back(file("../evil.html", "x")); }), "outside"});
    cases.push_back({"absolute name", with([](auto& e) { e.push_back(file("/etc/evil.html", "x")); }), "outside"});
    cases.push_back({"encrypted entry", with([](auto& e) { e[4].extraFlags = 1; }),
                     "This EPUB is protected (DRM) and cannot be converted."});
    cases.push_back({"encryption manifest",
                     with([](auto& e) {
                         e.push_back(file("META-INF/encryption.xml",
                                      "<encryption><EncryptedData><EncryptionMethod "
                                      "Algorithm=\"http://www.w3.org/2001/04/xmlenc#aes128-cbc\"/>"
                                      "<CipherData><CipherReference URI=\"OPS/a.html\"/></CipherData>"
                                      "</EncryptedData></encryption>"));
                     }),
                     "This EPUB is protected (DRM) and cannot be converted."});
    cases.push_back({"declared size", with([](auto& e) { e[6].declaredSize = 10; }), "size"});
    cases.push_back({"bomb", with([](auto& e) { e.push_back(file("OPS/zeros.bin", std::string(4 << 20, '\0'))); }),
                     "100"});
    cases.push_back({"not an EPUB", {file("readme.txt", "hello"), file("data.csv", "1,2")},
                     "This zip archive is not an EPUB book and cannot be converted."});
    std::vector<ZipBuildEntry> many = epub2Entries();
    for (int i = 0; i < 10001; ++i) many.push_back(file("f/" + std::to_string(i), "", false));
    cases.push_back({"too many entries", many, "10,000"});

    for (const Case& test : cases) {
        TempDir dir;
        writeFile(fs::path(dir.path()) / "book.epub", buildZip(test.entries));
        const Outcome refused = run({"convert", "book.epub"}, dir.path());
        EXPECT_NE(0, refused.exitCode) << test.what;
        EXPECT_NE(std::string::npos, refused.err.find("book.epub: ")) << test.what << ": " << refused.err;
        EXPECT_NE(std::string::npos, refused.err.find(test.message)) << test.what << ": " << refused.err;
        EXPECT_EQ(std::vector<std::string>{"book.epub"}, namesStartingWith(dir.path(), ""))
            << test.what << ": nothing written";
    }

    // A cut central directory, at several places; the book already there survives.
    const std::string whole = buildZip(epub2Entries());
    for (size_t keep : {whole.size() - 1, whole.size() - 30, whole.size() / 2}) {
        TempDir dir;
        writeFile(fs::path(dir.path()) / "book.epub", whole.substr(0, keep));
        writeFile(fs::path(dir.path()) / "book.pdb", "an older book");
        const Outcome refused = run({"convert", "book.epub", "-y"}, dir.path());
        EXPECT_NE(0, refused.exitCode) << keep;
        EXPECT_NE(std::string::npos, refused.err.find("This EPUB cannot be converted")) << refused.err;
        std::ifstream in(fs::path(dir.path()) / "book.pdb", std::ios::binary);
        EXPECT_EQ("an older book", std::string(std::istreambuf_iterator<char>(in), {}));
    }
}

}  // namespace
