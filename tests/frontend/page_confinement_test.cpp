// The wrapper that keeps linked pages inside the root page's folder and skips linked
// files that are no pages: over an in-memory table with a file system of listed real
// paths for the rule itself, and through runWorker over real files for what the engine
// then reads.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <set>

#include "driver/conversion.h"
#include "frontend/conversion_run.h"
#include "frontend/html_reference_rules.h"
#include "frontend/page_confinement.h"
#include "platform/standard_io.h"
#include "tests/frontend/fakes.h"
#include "tests/support/counting_io.h"
#include "tests/support/memory_io.h"
#include "tests/support/temp_dir.h"
#ifndef _WIN32
#include "frontend/posix_file_system.h"
#endif

namespace {

// Opens `path` for reading through `ops`; true when a handle came, which is closed again.
bool opens(const IoOps& ops, const std::string& path) {
    const uint32_t handle = ops.openStream(ops.userData, path.c_str(), 0);
    if (handle != 0) ops.closeStream(ops.userData, handle);
    return handle != 0;
}

TEST(PageConfinement, OnlyPagesInTheFolderOrBelowWithoutHiddenNamesOpen) {
    struct Row { const char* asked; const char* real; bool opens; };
    const Row rows[] = {
        {"/site/a.html", "/site/a.html", true},
        {"/site/sub/deeper/b.html", "/site/sub/deeper/b.html", true},
        {"/site/link.html", "/site/sub/b.html", true},        // a link that stays inside
        {"/site/escape.html", "/etc/passwd", false},          // a link out
        {"/etc/passwd", "/etc/passwd", false},
        {"/site/../etc/hostname", "/etc/hostname", false},
        {"/site-other/a.html", "/site-other/a.html", false},  // a longer name is no folder below
        {"/site", "/site", false},
        {"/site/.git/config", "/site/.git/config", false},
        {"/site/sub/.env", "/site/sub/.env", false},
        {"/site/sub/..x.html", "/site/sub/..x.html", false},
        {"/site/sub./a.html", "/site/sub./a.html", true},     // only a leading dot hides
        {"/site/missing.html", nullptr, false},
    };
    MemoryIo memory;
    FakeFileSystem files;
    files.realPaths["/site/"] = "/site";
    for (const Row& row : rows) {
        memory.addFile(row.asked, "<p>page</p>");
        if (row.real != nullptr) files.realPaths[row.asked] = row.real;
    }
    PageConfinement state;
    preparePageConfinement(state, memory.ops(), files, PathFlavor::Posix, "/site/index.html", false);
    const IoOps ops = pageConfinementOps(state);
    for (const Row& row : rows) EXPECT_EQ(row.opens, opens(ops, row.asked)) << row.asked;
    EXPECT_EQ(ops.userData, &state);

    // Each refused path once, in order; a missing page is no refusal.
    EXPECT_TRUE(opens(ops, "/etc/passwd") == false);
    const std::vector<std::string> refused = {"/site/escape.html", "/etc/passwd",
                                              "/site/../etc/hostname", "/site-other/a.html", "/site",
                                              "/site/.git/config", "/site/sub/.env", "/site/sub/..x.html"};
    EXPECT_EQ(refused, state.outsideFolder);
    EXPECT_TRUE(state.notPages.empty());
    EXPECT_EQ(0, memory.openHandles());

    PageConfinement open;
    preparePageConfinement(open, memory.ops(), files, PathFlavor::Posix, "/site/index.html", true);
    for (const Row& row : rows) EXPECT_TRUE(opens(pageConfinementOps(open), row.asked)) << row.asked;
    EXPECT_TRUE(open.outsideFolder.empty());
}

TEST(PageConfinement, TheSourceAndEveryOtherKindOfOpenPassUntouched) {
    MemoryIo memory;
    memory.addFile("/elsewhere/index.html", "<p>root</p>");
    memory.addFile("/elsewhere/other.html", "<p>sibling</p>");
    FakeFileSystem files;  // knows no real path at all: the folder is unknown
    PageConfinement state;
    preparePageConfinement(state, memory.ops(), files, PathFlavor::Posix, "/elsewhere/index.html", false);
    const IoOps ops = pageConfinementOps(state);
    EXPECT_FALSE(state.rootFolder);
    EXPECT_TRUE(opens(ops, "/elsewhere/index.html"));
    EXPECT_TRUE(opens(ops, "/elsewhere/index.html")) << "again, when a page links back";
    files.realPaths["/elsewhere/other.html"] = "/elsewhere/other.html";
    EXPECT_FALSE(opens(ops, "/elsewhere/other.html")) << "no folder known, nothing linked opens";

    const uint32_t written = ops.openStream(ops.userData, "/out/book.pdb", 1);
    ASSERT_NE(0u, written);
    EXPECT_EQ(3, ops.writeStream(ops.userData, written, 3, "abc"));
    EXPECT_EQ(1, ops.seekStream(ops.userData, written, 1, 0));
    char back[2] = {};
    EXPECT_EQ(2, ops.readStream(ops.userData, written, 2, back));
    EXPECT_EQ("bc", std::string(back, 2));
    EXPECT_NE(0, ops.closeStream(ops.userData, written));
    EXPECT_EQ("abc", memory.textOf("/out/book.pdb"));
    const uint32_t temp = ops.createTempStream(ops.userData);
    EXPECT_NE(0u, temp);
    ops.closeStream(ops.userData, temp);
    void* block = ops.allocBlock(ops.userData, 16);
    EXPECT_NE(nullptr, block);
    ops.freeBlock(ops.userData, block);
    EXPECT_EQ(0, memory.openHandles());
    EXPECT_EQ(0, memory.liveBlocks());
}

TEST(PageConfinement, WindowsFoldersCompareCaseBlindWithEitherSeparator) {
    MemoryIo memory;
    FakeFileSystem files;
    files.realPaths["C:/Work/Site/"] = "C:\\Work\\Site";
    const std::map<std::string, std::string> real = {
        {"C:/work/site/Sub/Page.HTML", "C:\\Work\\Site\\Sub\\Page.html"},
        {"c:\\WORK\\SITE\\a.htm", "C:\\Work\\Site\\a.htm"},
        {"C:/Work/Site/../Other/x.htm", "C:\\Work\\Other\\x.htm"},
        {"C:/Work/SiteB/x.htm", "C:\\Work\\SiteB\\x.htm"},
        {"D:/Work/Site/x.htm", "D:\\Work\\Site\\x.htm"},
    };
    for (const auto& [asked, path] : real) {
        memory.addFile(asked, "text");
        files.realPaths[asked] = path;
    }
    PageConfinement state;
    preparePageConfinement(state, memory.ops(), files, PathFlavor::Windows, "C:/Work/Site/index.htm", false);
    const IoOps ops = pageConfinementOps(state);
    EXPECT_TRUE(opens(ops, "C:/work/site/Sub/Page.HTML"));
    EXPECT_TRUE(opens(ops, "c:\\WORK\\SITE\\a.htm"));
    EXPECT_FALSE(opens(ops, "C:/Work/Site/../Other/x.htm"));
    EXPECT_FALSE(opens(ops, "C:/Work/SiteB/x.htm"));
    EXPECT_FALSE(opens(ops, "D:/Work/Site/x.htm"));
    EXPECT_EQ(3u, state.outsideFolder.size());

    // A drive's root as the folder: everything on that drive but hidden names.
    files.realPaths["C:/"] = "C:\\";
    files.realPaths["C:/x.htm"] = "C:\\x.htm";
    files.realPaths["C:/.x.htm"] = "C:\\.x.htm";
    memory.addFile("C:/x.htm", "text");
    memory.addFile("C:/.x.htm", "text");
    preparePageConfinement(state, memory.ops(), files, PathFlavor::Windows, "C:/root.htm", false);
    EXPECT_TRUE(opens(pageConfinementOps(state), "C:/x.htm"));
    EXPECT_FALSE(opens(pageConfinementOps(state), "C:/.x.htm"));
}

TEST(LinkedFiles, BinaryContentIsSkippedAndTheStreamOfAPageStartsAtZero) {
    struct Row { const char* name; std::string bytes; bool opens; };
    const Row rows[] = {
        {"png", std::string("\x89PNG\r\n\x1A\nIHDR", 12), false},
        {"jpeg", std::string("\xFF\xD8\xFF\xE1 Exif text", 14), false},
        {"gif", "GIF89a text after", false},
        {"pdf", "%PDF-1.7 text after", false},
        {"zip", "PK\x03\x04text", false},
        {"gzip", "\x1F\x8Btext", false},
        {"elf", "\x7F" "ELF text", false},
        {"zero late", std::string(1023, 'a') + std::string(1, '\0'), false},
        {"zero after the first kilobyte", std::string(1024, 'a') + std::string(1, '\0'), true},
        {"utf-16le", std::string("\xFF\xFE<\0p\0>\0", 8), true},
        {"utf-16be", std::string("\xFE\xFF\0<\0p\0>", 8), true},
        {"utf-8 with bom", "\xEF\xBB\xBF<p>x</p>", true},
        {"empty", "", true},
        {"html", "<html><p>GIF89a</p></html>", true},
    };
    MemoryIo memory;
    FakeFileSystem files;
    files.realPaths["/s/"] = "/s";
    for (const Row& row : rows) {
        const std::string path = std::string("/s/") + row.name;
        memory.addFile(path, row.bytes);
        files.realPaths[path] = path;
    }
    for (bool followLinksOutside : {false, true}) {
        PageConfinement state;
        preparePageConfinement(state, memory.ops(), files, PathFlavor::Posix, "/s/i.html", followLinksOutside);
        const IoOps ops = pageConfinementOps(state);
        std::vector<std::string> skipped;
        for (const Row& row : rows) {
            const std::string path = std::string("/s/") + row.name;
            const uint32_t handle = ops.openStream(ops.userData, path.c_str(), 0);
            EXPECT_EQ(row.opens, handle != 0) << row.name;
            if (!row.opens) skipped.push_back(path);
            if (handle == 0) continue;
            std::string start(std::min<size_t>(row.bytes.size(), 8), '\0');
            EXPECT_EQ(static_cast<int32_t>(start.size()),
                      ops.readStream(ops.userData, handle, static_cast<int32_t>(start.size()), start.data()));
            EXPECT_EQ(row.bytes.substr(0, start.size()), start) << row.name << " read from its start";
            ops.closeStream(ops.userData, handle);
        }
        EXPECT_EQ(skipped, state.notPages);
        EXPECT_TRUE(state.outsideFolder.empty());
        EXPECT_EQ(0, memory.openHandles());
    }
    // The root source is read whatever it holds: it was named by the user.
    PageConfinement state;
    preparePageConfinement(state, memory.ops(), files, PathFlavor::Posix, "/s/png", false);
    EXPECT_TRUE(opens(pageConfinementOps(state), "/s/png"));
}

TEST(LinkedFiles, AStreamWhoseSizeIsUnknownOrUntrueIsSkippedAndClosed) {
    MemoryIo memory;
    memory.addFile("/s/page.html", std::string(3000, 'a'));
    FakeFileSystem files;
    files.realPaths["/s/"] = "/s";
    files.realPaths["/s/page.html"] = "/s/page.html";
    // The first seek (to the end: the size), the second (back to the start), the first
    // read short (a file announcing more than it holds), the last seek back.
    struct Row { IoOp op; int k; bool shortOnly; };
    const Row rows[] = {{IoOp::Seek, 1, false}, {IoOp::Seek, 2, false}, {IoOp::Read, 1, true},
                        {IoOp::Read, 1, false}, {IoOp::Seek, 3, false}};
    for (const Row& row : rows) {
        CountingIo counting(memory.ops());
        if (row.shortOnly) counting.shortAt(row.op, row.k);
        else counting.failAt(row.op, row.k);
        PageConfinement state;
        preparePageConfinement(state, counting.ops(), files, PathFlavor::Posix, "/s/i.html", true);
        EXPECT_FALSE(opens(pageConfinementOps(state), "/s/page.html")) << row.k;
        EXPECT_TRUE(counting.faultFired());
        EXPECT_EQ(std::vector<std::string>{"/s/page.html"}, state.notPages);
        EXPECT_EQ(0, counting.openHandles());
    }
}

#ifndef _WIN32
// What the engine reads when the front end runs it over real files.
struct RealRun {
    const PosixFileSystem files;
    const HtmlReferenceRules rules;
    LinkedPageReport report;
    std::vector<std::string> pagesConverted;
    int32_t run(const std::string& source, const std::string& destination, ConverterSettings settings) {
        CountingIo counting(standardIoOps);
        const WorkerRequest request{source, destination, "T"};
        const int32_t status = runWorker(request, settings, counting.ops(), PathFlavor::Posix, rules,
                                         files, convertDocument, 4096, &report);
        pagesConverted.clear();
        for (const ProgressReport& progress : counting.reports())
            if (progress.stage == StageCurrentPage) pagesConverted.push_back(progress.page);
        EXPECT_EQ(0, counting.openHandles());
        return status;
    }
};

TEST(PageConfinementRun, TheEngineNeverReadsWhatTheRuleRefuses) {
    TempDir dir;
    std::filesystem::create_directories(dir.file("site/sub"));
    std::filesystem::create_directories(dir.file("outside"));
    dir.write("outside/secret.html", "<p>secret</p>");
    dir.write("site/sub/page.html", "<p>inside</p>");
    dir.write("site/photo.png", std::string("\x89PNG\r\n\x1A\n", 8));
    std::filesystem::create_symlink(dir.file("outside"), dir.file("site/door"));
    dir.write("site/index.html",
              "<html><a href=\"sub/page.html\">a</a><a href=\"door/secret.html\">b</a>"
              "<a href=\"" + dir.file("outside/secret.html") + "\">c</a><a href=\"photo.png\">d</a>");
    RealRun confined;
    ConverterSettings settings;
    ASSERT_EQ(StatusSucceeded, confined.run(dir.file("site/index.html"), dir.file("a.pdb"), settings));
    EXPECT_EQ((std::vector<std::string>{dir.file("site/index.html"), dir.file("site/sub/page.html")}),
              confined.pagesConverted);
    EXPECT_EQ((std::vector<std::string>{dir.file("site/door/secret.html"), dir.file("outside/secret.html")}),
              confined.report.outsideFolder);
    EXPECT_EQ(std::vector<std::string>{dir.file("site/photo.png")}, confined.report.notPages);

    RealRun open;
    settings.followLinksOutside = true;
    ASSERT_EQ(StatusSucceeded, open.run(dir.file("site/index.html"), dir.file("b.pdb"), settings));
    EXPECT_EQ(4u, open.pagesConverted.size());
    EXPECT_TRUE(open.report.outsideFolder.empty());
    EXPECT_EQ(std::vector<std::string>{dir.file("site/photo.png")}, open.report.notPages);
}

TEST(PageConfinementRun, EveryPageOfAManualBelowItsIndexIsConverted) {
    const std::string manual = "/usr/share/doc/flex-doc/html/index.html";
    ASSERT_TRUE(std::filesystem::is_regular_file(manual))
        << "the flex-doc package is missing: scripts/ensure-packages scripts/packages/test-engine.txt";
    TempDir dir;
    RealRun run;
    ConverterSettings settings;
    settings.maxDepth = -1;  // no limit, as vimlo -d -1 gives it
    ASSERT_EQ(StatusSucceeded, run.run(manual, dir.file("flex.pdb"), settings));
    EXPECT_EQ(173u, std::set<std::string>(run.pagesConverted.begin(), run.pagesConverted.end()).size());
    EXPECT_EQ(173u, run.pagesConverted.size());
    EXPECT_TRUE(run.report.outsideFolder.empty());
    EXPECT_TRUE(run.report.notPages.empty());
}
#endif

}  // namespace
