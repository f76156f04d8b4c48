// Faults the fuzz targets found in the HTML pipeline, each reproduced on the smallest
// input that shows it. The inputs that found them stay in fuzz/corpus/ as well.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "tests/html/pass_run.h"
#include "tests/support/memory_io.h"

namespace {

const std::string kDir = "C:\\site\\";

using Names = std::vector<std::string>;

// The pages the pass converted, in order, without the folder.
Names convertedPages(const std::vector<std::pair<std::string, std::string>>& pages, int32_t maxDepth = -1) {
    MemoryIo memory;
    for (const auto& [name, html] : pages) memory.addFile(kDir + name, html);
    PassOptions options;
    options.maxDepth = maxDepth;
    const auto start = std::chrono::steady_clock::now();
    const PassRun run = runPassOver(memory, kDir + pages.front().first, options);
    EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 5.0);
    EXPECT_EQ(StepDone, run.result);
    Names names;
    for (const std::string& page : run.pagesReported) names.push_back(page.substr(kDir.size()));
    return names;
}

// A frameset that names itself used to be queued again each time it was converted, at
// its own depth, so the pass converted it 32000 times (30 seconds for 700 bytes).
TEST(FuzzRegression, FramesetNamingItselfIsConvertedOnce) {
    EXPECT_EQ((Names{"index.htm", "nav.htm"}),
              convertedPages({{"index.htm", "<FRAMESET><FRAME SRC=\"index.htm\"><FRAME SRC=\"nav.htm\"></FRAMESET>"},
                              {"nav.htm", "nav"}}));
    // Names compare without letter case and after the path is normalized.
    EXPECT_EQ((Names{"index.htm"}),
              convertedPages({{"index.htm", "<FRAMESET><FRAME SRC=\"INDEX.HTM\"><FRAME SRC=\"x/../Index.htm\">"}}));
}

TEST(FuzzRegression, FramesetsNamingEachOtherAreConvertedOnceEach) {
    EXPECT_EQ((Names{"index.htm", "a.htm", "b.htm"}),
              convertedPages({{"index.htm", "<FRAMESET><FRAME SRC=\"a.htm\"></FRAMESET>"},
                              {"a.htm", "<FRAMESET><FRAME SRC=\"b.htm\"><FRAME SRC=\"index.htm\"></FRAMESET>"},
                              {"b.htm", "<FRAMESET><FRAME SRC=\"a.htm\"></FRAMESET>"}},
                             0));
}

TEST(FuzzRegression, PageNamedByTwoFramesetsOrByALinkIsConvertedOnce) {
    // Frames are queued while their page is read, links after it.
    EXPECT_EQ((Names{"index.htm", "nav.htm", "two.htm", "main.htm"}),
              convertedPages({{"index.htm", "<A HREF=\"main.htm\">m</A><FRAMESET><FRAME SRC=\"nav.htm\">"
                                            "<FRAME SRC=\"two.htm\"><FRAME SRC=\"nav.htm\"></FRAMESET>"},
                              {"nav.htm", "<A HREF=\"two.htm\">two</A>"},
                              {"main.htm", "main"},
                              {"two.htm", "<FRAMESET><FRAME SRC=\"nav.htm\"><FRAME SRC=\"main.htm\"></FRAMESET>"}}));
}

}  // namespace
