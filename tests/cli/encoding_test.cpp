// tests/cli/encoding_test.cpp -- `vimlo convert` on pages and texts in today's encodings:
// UTF-8 sites in folders named José and 书 with links spelled in UTF-8, percent-escaped
// or with spaces; a Windows-1252 source giving exactly today's bytes; --encoding; the
// count of characters the handheld lacks and the --verbose notes. The books' text is
// read back with the engine's own book reader, as stored (Windows-1252).
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>

#include "engine/book_reader.h"
#include "platform/standard_io.h"
#include "tests/cli/vimlo_runner.h"
#include "tests/support/temp_dir.h"

using namespace cli_test;

namespace {

const char kDone[] = "Conversion successfully completed.\n";

// The book's text as stored on the handheld; "<unreadable>" when it does not decode.
std::string storedText(const std::string& book) {
    const IoOps& io = standardIoOps;
    const uint32_t input = io.openStream(io.userData, book.c_str(), 0);
    if (input == 0) return "<unreadable>";
    std::string text = "<unreadable>";
    BookReader reader{};
    if (bookOpen(io, input, reader) == BookOk) {
        const uint32_t output = io.createTempStream(io.userData);
        if (output != 0 && bookReadText(reader, output) == BookOk) {
            const int32_t size = io.seekStream(io.userData, output, 0, 2);
            io.seekStream(io.userData, output, 0, 0);
            text.assign(static_cast<size_t>(std::max(size, 0)), '\0');
            if (io.readStream(io.userData, output, size, text.data()) != size) text = "<unreadable>";
        }
        if (output != 0) io.closeStream(io.userData, output);
        bookClose(reader);
    }
    io.closeStream(io.userData, input);
    return text;
}

std::string fileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

bool has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

struct Workspace {
    TempDir dir;
    Outcome run(const std::vector<std::string>& args) const { return cli_test::run(args, dir.path()); }
    std::string text(const std::string& book) const { return storedText(dir.file(book)); }
    std::string title(const std::string& book) const {
        return nlohmann::json::parse(run({"info", book}).out)["header"]["name"];
    }
};

// A UTF-8 site whose pages link to each other in every spelling a page may use.
void writeSite(const Workspace& space, const std::string& folder) {
    std::filesystem::create_directories(space.dir.file(folder + "/sub"));
    space.dir.write(folder + "/index.html",
                    "<html><head><title>Caf\xC3\xA9 \xE2\x80\x93 notes</title></head><body>"
                    "<p>ROOT Python\xE2\x80\x99s caf\xC3\xA9</p>"
                    "<a href=\"caf\xC3\xA9.html\">utf-8</a>"
                    "<a href=\"sub/caf%C3%A9.html\">escaped</a>"
                    "<a href=\"my%20notes.html\">space</a>"
                    "<a href=\"%E4%B9%A6.html\">a name Windows-1252 lacks</a>"
                    "</body></html>");
    space.dir.write(folder + "/caf\xC3\xA9.html", "<p>CAFE-PAGE \xC2\xBD</p>");
    space.dir.write(folder + "/sub/caf\xC3\xA9.html", "<p>SUB-PAGE</p>");
    space.dir.write(folder + "/my notes.html", "<p>NOTES-PAGE</p>");
    space.dir.write(folder + "/\xE4\xB9\xA6.html", "<p>BOOK-PAGE</p>");
}

TEST(EncodingSites, EveryLinkSpellingOpensItsPageInFoldersOfAnyName) {
    for (const std::string folder : {"plain", "Jos\xC3\xA9", "\xE4\xB9\xA6"}) {
        Workspace space;
        writeSite(space, folder);
        const Outcome outcome = space.run({"convert", folder + "/index.html", "-o", "site.pdb"});
        EXPECT_EQ(0, outcome.exitCode) << folder << ": " << outcome.err;
        EXPECT_EQ(kDone, outcome.err) << folder;
        const std::string text = space.text("site.pdb");
        for (const char* mark : {"ROOT Python\x92s caf\xE9", "CAFE-PAGE \xBD", "SUB-PAGE", "NOTES-PAGE", "BOOK-PAGE"})
            EXPECT_TRUE(has(text, mark)) << folder << " lacks " << mark;
        EXPECT_FALSE(has(text, "\xC3")) << folder << ": UTF-8 read as Windows-1252";
        EXPECT_EQ("Caf\xC3\xA9 \xE2\x80\x93 notes", space.title("site.pdb")) << folder;
    }
}

TEST(EncodingSites, AWindows1252SourceGivesTodaysBytes) {
    Workspace space;
    const std::string page = "<html><title>Caf\xE9</title><p>\x93quoted\x94 \x80 caf\xE9 na\xEFve</p></html>";
    space.dir.write("old.html", page);
    space.dir.write("old.txt", "Caf\xE9 \x93quoted\x94\r\n\x80 100\r\n");
    for (const char* name : {"old.html", "old.txt"}) {
        ASSERT_EQ(0, space.run({"convert", "-q", name, "-o", "auto.pdb", "-y"}).exitCode);
        ASSERT_EQ(0, space.run({"convert", "-q", "--encoding", "windows-1252", name, "-o", "as-is.pdb", "-y"}).exitCode);
        EXPECT_EQ(withoutTimes(fileBytes(space.dir.file("as-is.pdb"))),
                  withoutTimes(fileBytes(space.dir.file("auto.pdb"))))
            << name;
    }
    EXPECT_TRUE(has(space.text("auto.pdb"), "Caf\xE9 \x93quoted\x94"));
}

TEST(EncodingText, AUtf8TextIsTransliteratedAndCounted) {
    Workspace space;
    space.dir.write("notes.txt", "Caf\xC3\xA9 \xE2\x86\x92 \xE2\x89\xA4 \xE2\x86\x92 \xF0\x9F\x98\x80\n");
    Outcome outcome = space.run({"convert", "notes.txt"});
    EXPECT_EQ(0, outcome.exitCode);
    EXPECT_EQ(std::string(kDone) + "3 characters were transliterated, 1 replaced by ?\n", outcome.err);
    EXPECT_EQ("Caf\xE9 -> <= -> ?\n", space.text("notes.pdb"));

    outcome = space.run({"convert", "-y", "-v", "notes.txt"});
    EXPECT_EQ(std::string(kDone) + "3 characters were transliterated, 1 replaced by ?\n"
                  "  \xE2\x86\x92 U+2192 became \"->\" in " + space.dir.file("notes.txt") + "\n"
                  "  \xE2\x89\xA4 U+2264 became \"<=\" in " + space.dir.file("notes.txt") + "\n"
                  "  \xF0\x9F\x98\x80 U+1F600 became ? in " + space.dir.file("notes.txt") + "\n",
              outcome.err);

    space.dir.write("one.txt", "a \xE2\x86\x92 b\n");
    outcome = space.run({"convert", "one.txt"});
    EXPECT_EQ(std::string(kDone) + "1 character was transliterated\n", outcome.err);
    outcome = space.run({"convert", "-q", "-y", "one.txt"});
    EXPECT_EQ("", outcome.err) << "--quiet says nothing of a success";
}

TEST(EncodingText, TheTitleFromAFileNameIsItsUtf8) {
    Workspace space;
    space.dir.write("Caf\xC3\xA9 notes.txt", "text");
    ASSERT_EQ(0, space.run({"convert", "-q", "Caf\xC3\xA9 notes.txt", "-o", "t.pdb"}).exitCode);
    EXPECT_EQ("Caf\xC3\xA9 notes", space.title("t.pdb"));
    ASSERT_EQ(0, space.run({"convert", "-q", "-y", "-t", "Ab\xE2\x86\x92" "c", "Caf\xC3\xA9 notes.txt", "-o", "t.pdb"}).exitCode);
    EXPECT_EQ("Ab->c", space.title("t.pdb")) << "a typed title's missing characters transliterated";
}

TEST(EncodingOption, TheOverrideAppliesToEveryPageAndUnknownNamesAreUsageErrors) {
    Workspace space;
    space.dir.write("koi.txt", "\xF0\xD2\xC9\xD7\xC5\xD4");
    const Outcome outcome = space.run({"convert", "--encoding", " KOI8-R ", "koi.txt"});
    EXPECT_EQ(0, outcome.exitCode) << outcome.err;
    EXPECT_EQ("Privet", space.text("koi.pdb"));
    ASSERT_EQ(0, space.run({"convert", "-q", "-y", "koi.txt"}).exitCode);
    EXPECT_EQ("\xF0\xD2\xC9\xD7\xC5\xD4", space.text("koi.pdb")) << "without it: Windows-1252";

    for (const char* name : {"klingon", "", "iso-2022-kr"}) {
        const Outcome refused = space.run({"convert", "--encoding", name, "koi.txt", "-y"});
        EXPECT_EQ(2, refused.exitCode) << name;
        EXPECT_TRUE(has(refused.err, "unknown encoding")) << refused.err;
    }
    const Outcome help = space.run({"--help"});
    for (const char* name : {"utf-8", "windows-1252", "shift_jis", "x-user-defined", "utf-16le"})
        EXPECT_TRUE(has(help.out, std::string(" ") + name)) << name;
    EXPECT_FALSE(has(help.out, "latin1")) << "names, not every label";
}

TEST(EncodingPages, DeclaredAndMarkedPagesEndToEnd) {
    Workspace space;
    // ISO-8859-2 declared, UTF-16LE with a mark, Shift_JIS declared: each linked page.
    space.dir.write("index.html", "<html><a href=\"l2.html\">a</a><a href=\"u16.html\">b</a>"
                                  "<a href=\"sj.html\">c</a></html>");
    space.dir.write("l2.html", "<meta charset=iso-8859-2><p>L2 \xB3\xF3" "d\xBC \xE9</p>");
    space.dir.write("u16.html", std::string("\xFF\xFE<\0p\0>\0U\0\xE9\0", 12));
    space.dir.write("sj.html", "<meta charset=shift_jis><p>SJ \x93\xFA\x96\x7B</p>");
    const Outcome outcome = space.run({"convert", "-v", "index.html"});
    EXPECT_EQ(0, outcome.exitCode) << outcome.err;
    const std::string text = space.text("index.pdb");
    EXPECT_TRUE(has(text, "U\xE9")) << text;
    // Until the HTML reader maps every reference, transliterated characters may still
    // show as their references; the bytes Windows-1252 has are right either way.
    EXPECT_TRUE(has(text, "L2 ")) << text;
    EXPECT_TRUE(has(text, "\xF3" "d")) << text;
    EXPECT_TRUE(has(text, "SJ ")) << text;
    EXPECT_TRUE(has(outcome.err, "4 characters were transliterated")) << outcome.err;
}

}  // namespace
