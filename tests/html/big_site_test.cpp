// Sites far beyond the sizes the link indexes once had blocks for: every page must be
// converted once and every link land where the generated site says, checked against
// markers written into the pages rather than against the engine's own bookkeeping. The
// same runner times a cancel inside link resolution and reads the limit reports.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "engine/document_records.h"
#include "html/html_pass.h"
#include "tests/support/memory_io.h"

namespace {

using Clock = std::chrono::steady_clock;

const std::string kDir = "C:\\site\\";  // pages resolve against their own folder, as the driver's do

struct Link {
    uint32_t start;
    uint32_t target;
};

struct BigRun {
    StepResult result = StepFailed;
    std::string text;
    std::vector<Link> links;
    std::vector<std::string> pagesOpened;
    std::vector<PageProgress> progress;
    std::vector<LimitReport> limits;
    int reports = 0;
    int32_t maxBlockBytes = 0;  // larger blocks are refused, as a short heap would; 0: none
    // Answers each report (nonzero = go on); empty: always go on.
    std::function<int32_t(int32_t stage, void* argument)> answer;
};

// The run being reported on; the IoOps slot has no room for a second pointer.
BigRun* activeRun = nullptr;

int32_t recordReport(void*, int32_t stage, void* argument) {
    BigRun& run = *activeRun;
    run.reports += 1;
    if (stage == StagePageProgress) run.progress.push_back(*static_cast<PageProgress*>(argument));
    if (stage == StageLimitReached) run.limits.push_back(*static_cast<LimitReport*>(argument));
    return run.answer ? run.answer(stage, argument) : 1;
}

void* (*memoryAlloc)(void*, int32_t) = nullptr;

void* cappedAlloc(void* data, int32_t byteCount) {
    if (activeRun->maxBlockBytes > 0 && byteCount > activeRun->maxBlockBytes) return nullptr;
    return memoryAlloc(data, byteCount);
}

struct Opener {
    PageOpener opener;
    std::vector<std::string>* opened;
};

uint32_t openNoted(void* data, const char* path) {
    auto& noted = *static_cast<Opener*>(data);
    const uint32_t handle = openPage(&noted.opener, path);
    if (handle != 0) noted.opened->push_back(path);
    return handle;
}

void closeNoted(void* data, uint32_t handle) { closePage(&static_cast<Opener*>(data)->opener, handle); }

// The pass over `memory` from `source`, as the driver runs it, with the link records
// decoded. Checks that every handle and block was given back.
void runPass(MemoryIo& memory, const std::string& source, BigRun& run, int32_t maxPages = 0) {
    IoOps io = memory.ops();
    io.reportProgress = &recordReport;
    memoryAlloc = io.allocBlock;
    io.allocBlock = &cappedAlloc;
    activeRun = &run;
    ConversionJob job{};
    job.io = &io;
    job.sourcePath = source.c_str();
    job.maxDepth = -1;
    Opener opener{PageOpener{&job, io.openStream(io.userData, source.c_str(), 0)}, &run.pagesOpened};
    HtmlPassRequest request{};
    request.openPage = &openNoted;
    request.closePage = &closeNoted;
    request.pageCallbackData = &opener;
    request.io = &io;
    request.textStream = io.createTempStream(io.userData);
    request.recordStream = io.createTempStream(io.userData);
    request.offsetStream = io.createTempStream(io.userData);
    request.maxDepth = -1;
    request.maxPages = maxPages;
    run.result = runHtmlPass(request, source.c_str());
    activeRun = nullptr;

    const std::vector<uint8_t> text = memory.bytesOfHandle(request.textStream);
    run.text.assign(text.begin(), text.end());
    const std::vector<uint8_t> records = memory.bytesOfHandle(request.recordStream);
    const std::vector<uint8_t> offsets = memory.bytesOfHandle(request.offsetStream);
    std::vector<uint32_t> starts(offsets.size() / 4);
    if (!starts.empty()) std::memcpy(starts.data(), offsets.data(), starts.size() * 4);
    auto decoded = std::make_unique<DecodedLinkRecord>();
    for (int32_t i = request.linkFirst; run.result == StepDone && i < request.linkFirst + request.linkCount; ++i) {
        const size_t begin = starts[static_cast<size_t>(i)];
        const size_t end = static_cast<size_t>(i) + 1 < starts.size() ? starts[static_cast<size_t>(i) + 1] : records.size();
        ASSERT_TRUE(decodeLinkRecord(records.data() + begin, static_cast<int32_t>(end - begin), *decoded)) << i;
        for (int32_t e = 0; e < decoded->count; ++e)
            if (decoded->entries[e].length > 0)
                run.links.push_back({decoded->entries[e].position, decoded->entries[e].target});
    }
    for (uint32_t stream : {request.offsetStream, request.recordStream, request.textStream})
        io.closeStream(io.userData, stream);
    if (opener.opener.cachedSource != 0) io.closeStream(io.userData, opener.opener.cachedSource);
    EXPECT_EQ(0, memory.openHandles());
    EXPECT_EQ(0, memory.liveBlocks());
}

// The marker `marker` starts at `position`, perhaps after the line breaks and spaces
// that the text places before a page or anchor.
bool markerAt(const std::string& text, uint32_t position, const std::string& marker) {
    size_t at = position;
    while (at < text.size() && (text[at] == '\n' || text[at] == ' ')) ++at;
    return text.compare(at, marker.size(), marker) == 0;
}

std::string pageName(int k) { return "p" + std::to_string(k) + ".htm"; }
std::string pageMarker(int k) { return "[page" + std::to_string(k) + "]"; }
std::string anchorMarker(int k) { return "[anchor" + std::to_string(k) + "]"; }

// Each page's text starts with its marker: which page a link landed on. One scan of
// the text, so the check stays linear for the biggest sites.
std::map<uint32_t, int> pageStarts(const std::string& text) {
    std::map<uint32_t, int> starts;
    const std::string prefix = "[page";
    for (size_t at = text.find(prefix); at != std::string::npos; at = text.find(prefix, at + 1)) {
        const size_t close = text.find(']', at);
        if (close != std::string::npos) starts[static_cast<uint32_t>(at)] = std::stoi(text.substr(at + 5, close - at - 5));
    }
    return starts;
}

// Which page the link at `target` lands on (the page whose marker follows it), or -1.
int landedPage(const std::map<uint32_t, int>& starts, const std::string& text, uint32_t target) {
    auto it = starts.lower_bound(target);
    if (it == starts.end() || !markerAt(text, target, pageMarker(it->second))) return -1;
    return it->second;
}

// index.htm links pages 1..n; each page links back to the index and to its successor.
void addLinkedSite(MemoryIo& memory, int n) {
    std::string index = "<P>" + pageMarker(0) + "</P>";
    for (int k = 1; k <= n; ++k) index += "<A HREF=\"" + pageName(k) + "\">" + std::to_string(k) + "</A> ";
    memory.addFile(kDir + "index.htm", index);
    for (int k = 1; k <= n; ++k)
        memory.addFile(kDir + pageName(k), "<P>" + pageMarker(k) + " <A HREF=\"INDEX.HTM\">up</A> <A HREF=\"" +
                                        pageName(k % n + 1) + "\">next</A></P>");
}

// Every page once; n links from the index to pages 1..n in order, then the two links of
// each page, all landing on the page they name.
void expectLinkedSite(const BigRun& run, int n) {
    ASSERT_EQ(StepDone, run.result);
    ASSERT_EQ(static_cast<size_t>(n) + 1, run.pagesOpened.size());
    EXPECT_EQ(run.pagesOpened.size(), std::set<std::string>(run.pagesOpened.begin(), run.pagesOpened.end()).size());
    ASSERT_EQ(static_cast<size_t>(3 * n), run.links.size());
    const std::map<uint32_t, int> starts = pageStarts(run.text);
    ASSERT_EQ(static_cast<size_t>(n) + 1, starts.size());
    int wrong = 0;
    for (int k = 1; k <= n; ++k)
        if (landedPage(starts, run.text, run.links[static_cast<size_t>(k - 1)].target) != k) ++wrong;
    // Page k's links follow its own start: up, then next.
    for (size_t i = static_cast<size_t>(n); i < run.links.size(); i += 2) {
        auto page = std::prev(starts.upper_bound(run.links[i].start))->second;
        if (landedPage(starts, run.text, run.links[i].target) != 0) ++wrong;
        if (landedPage(starts, run.text, run.links[i + 1].target) != page % n + 1) ++wrong;
    }
    EXPECT_EQ(0, wrong) << "links landing elsewhere";
}

TEST(BigSites, TenThousandLinkedPagesAreConvertedOnceAndEveryLinkLands) {
    MemoryIo memory;
    addLinkedSite(memory, 10000);
    BigRun run;
    runPass(memory, kDir + "index.htm", run);
    expectLinkedSite(run, 10000);
    // Each page announced with its number and the pages known by then.
    ASSERT_EQ(10001u, run.progress.size());
    EXPECT_EQ(1, run.progress.front().page);
    EXPECT_EQ(1, run.progress.front().known);
    EXPECT_EQ(10001, run.progress[1].known);
    EXPECT_EQ(10001, run.progress.back().page);
    EXPECT_TRUE(run.limits.empty());
}

TEST(BigSites, FiftyThousandLinkedPages) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "ten thousand pages cover the same paths under the sanitizers";
#endif
    MemoryIo memory;
    addLinkedSite(memory, 50000);
    BigRun run;
    runPass(memory, kDir + "index.htm", run, 60000);
    expectLinkedSite(run, 50000);
}

// Pages 8000 and beyond were once queued again by each page linking them; here every
// hub links all pages, in an order of its own, and they still come once each.
TEST(BigSites, PagesLinkedFromSeveralHubsComeOnce) {
    constexpr int kPages = 9000;
    constexpr int kHubs = 3;
    MemoryIo memory;
    std::string index = "<P>" + pageMarker(0) + "</P>";
    for (int h = 0; h < kHubs; ++h) index += "<A HREF=\"hub" + std::to_string(h) + ".htm\">hub</A>";
    memory.addFile(kDir + "index.htm", index);
    for (int h = 0; h < kHubs; ++h) {
        std::string hub = "<P>[hub" + std::to_string(h) + "]</P>";
        for (int i = 0; i < kPages; ++i) {
            const int k = 1 + (i * (2 * h + 1) + h * 1000) % kPages;  // a different walk per hub
            hub += "<A HREF=\"" + pageName(k) + "\">" + std::to_string(k) + "</A>";
        }
        memory.addFile(kDir + "hub" + std::to_string(h) + ".htm", hub);
    }
    for (int k = 1; k <= kPages; ++k) memory.addFile(kDir + pageName(k), "<P>" + pageMarker(k) + "</P>");
    BigRun run;
    runPass(memory, kDir + "index.htm", run);
    ASSERT_EQ(StepDone, run.result);
    EXPECT_EQ(static_cast<size_t>(1 + kHubs + kPages), run.pagesOpened.size());
    EXPECT_EQ(run.pagesOpened.size(), std::set<std::string>(run.pagesOpened.begin(), run.pagesOpened.end()).size());
    ASSERT_EQ(static_cast<size_t>(kHubs + kHubs * kPages), run.links.size());
    const std::map<uint32_t, int> starts = pageStarts(run.text);
    int wrong = 0;
    for (int h = 0; h < kHubs; ++h)
        for (int i = 0; i < kPages; ++i) {
            const int k = 1 + (i * (2 * h + 1) + h * 1000) % kPages;
            const size_t link = static_cast<size_t>(kHubs + h * kPages + i);
            if (landedPage(starts, run.text, run.links[link].target) != k) ++wrong;
        }
    EXPECT_EQ(0, wrong);
}

// A page with `anchors` anchors, a link to each from the page itself and from a second
// page, and `toLast` more links from the second page to the last anchor, in mixed case.
void addAnchorSite(MemoryIo& memory, int anchors, int toLast) {
    std::string page = "<P>" + pageMarker(0) + " <A HREF=\"other.htm\">other</A></P>";
    for (int k = 0; k < anchors; ++k)
        page += "<A NAME=\"a" + std::to_string(k) + "\">" + anchorMarker(k) + "</A> ";
    for (int k = 0; k < anchors; ++k) page += "<A HREF=\"#A" + std::to_string(k) + "\">x</A> ";
    memory.addFile(kDir + "index.htm", page);
    std::string other = "<P>" + pageMarker(1) + "</P>";
    for (int k = 0; k < anchors; ++k) other += "<A HREF=\"index.htm#a" + std::to_string(k) + "\">y</A> ";
    const std::string last = "<A HREF=\"Index.htm#a" + std::to_string(anchors - 1) + "\">z</A> ";
    for (int k = 0; k < toLast; ++k) other += last;
    memory.addFile(kDir + "other.htm", other);
}

// Up to 65,536 anchors are looked up in a block; a page with more, or one whose block the
// heap refuses, in a table in a temporary stream. Both must give every link its anchor.
TEST(BigSites, EveryLinkToOneOfManyAnchorsLandsOnIt) {
    struct Case {
        int anchors;
        int32_t maxBlockBytes;
    };
    // 48,000 bytes take the 4000 anchors a hash alone may identify, and no more.
    for (const Case c : {Case{3999, 0}, Case{4001, 0}, Case{30000, 0}, Case{3999, 48000}, Case{4001, 48000},
                         Case{30000, 48000}, Case{70000, 0}}) {
        const int anchors = c.anchors;
        SCOPED_TRACE(testing::Message() << anchors << " anchors, blocks up to " << c.maxBlockBytes);
        MemoryIo memory;
        addAnchorSite(memory, anchors, anchors == 30000 ? 40000 : 10);
        BigRun run;
        run.maxBlockBytes = c.maxBlockBytes;
        runPass(memory, kDir + "index.htm", run);
        ASSERT_EQ(StepDone, run.result) << anchors;
        const size_t toLast = anchors == 30000 ? 40000 : 10;
        ASSERT_EQ(1 + 2 * static_cast<size_t>(anchors) + toLast, run.links.size()) << anchors;
        int wrong = 0;
        for (int k = 0; k < anchors; ++k) {
            if (!markerAt(run.text, run.links[1 + static_cast<size_t>(k)].target, anchorMarker(k))) ++wrong;
            if (!markerAt(run.text, run.links[1 + static_cast<size_t>(anchors + k)].target, anchorMarker(k))) ++wrong;
        }
        for (size_t i = 1 + 2 * static_cast<size_t>(anchors); i < run.links.size(); ++i)
            if (!markerAt(run.text, run.links[i].target, anchorMarker(anchors - 1))) ++wrong;
        EXPECT_EQ(0, wrong) << anchors;
    }
}

// A cancel answered inside the resolution of 40,000 anchors and links ends the pass
// quickly: the time from the cancel to the return is what counts, not the whole run.
TEST(BigSites, ACancelInsideLinkResolutionEndsThePassQuickly) {
    MemoryIo memory;
    addAnchorSite(memory, 40000, 40000);
    for (const bool inStepTwo : {false, true}) {
        BigRun run;
        bool inResolution = false;
        int lastPercent = -1;
        int pagesDone = 0;
        Clock::time_point canceledAt{};
        run.answer = [&](int32_t stage, void* argument) -> int32_t {
            if (stage == StageFormatHtml) inResolution = inStepTwo;
            if (stage != StagePercent) return 1;
            const int percent = *static_cast<int32_t*>(argument);
            // In step 1 a page's 100 repeated is link resolution's report; in step 2,
            // 5 repeated is.
            const bool repeated = percent == lastPercent && (percent == 100 || percent == 5);
            if (percent == 100 && lastPercent != 100) ++pagesDone;
            lastPercent = percent;
            if (!inStepTwo) inResolution = pagesDone >= 1;
            if (inResolution && repeated && canceledAt == Clock::time_point{}) {
                canceledAt = Clock::now();
                return 0;
            }
            return 1;
        };
        runPass(memory, kDir + "index.htm", run);
        const Clock::time_point returned = Clock::now();
        EXPECT_EQ(StepCanceled, run.result) << inStepTwo;
        ASSERT_NE(Clock::time_point{}, canceledAt) << "no report inside link resolution, step " << (inStepTwo ? 2 : 1);
        EXPECT_LT(std::chrono::duration<double>(returned - canceledAt).count(), 0.5) << inStepTwo;
    }
}

TEST(BigSites, APassStoppedByItsPageLimitSaysHowManyPagesWereLeft) {
    MemoryIo memory;
    addLinkedSite(memory, 30);
    BigRun limited;
    runPass(memory, kDir + "index.htm", limited, 10);
    ASSERT_EQ(StepDone, limited.result);
    EXPECT_EQ(10u, limited.pagesOpened.size());
    ASSERT_EQ(1u, limited.limits.size());
    EXPECT_EQ(LimitPages, limited.limits[0].kind);
    EXPECT_EQ(10, limited.limits[0].limit);
    EXPECT_EQ(21, limited.limits[0].dropped);

    // A site that ends exactly at the limit left nothing out, and says nothing.
    BigRun exact;
    runPass(memory, kDir + "index.htm", exact, 31);
    ASSERT_EQ(StepDone, exact.result);
    EXPECT_EQ(31u, exact.pagesOpened.size());
    EXPECT_TRUE(exact.limits.empty());

    // A cancel answered to the limit report cancels the pass.
    BigRun canceled;
    canceled.answer = [](int32_t stage, void*) -> int32_t { return stage == StageLimitReached ? 0 : 1; };
    runPass(memory, kDir + "index.htm", canceled, 10);
    EXPECT_EQ(StepCanceled, canceled.result);
}

// A chain of pages each linking the next: a link record keeps its page's depth in one
// byte, so the links of a page 256 links away from the first are left out, with the
// pages they lead to, and the pass says how many.
TEST(BigSites, LinksBeyondTheDepthALinkRecordHoldsAreSaidToBeLeftOut) {
    for (const int pages : {257, 259}) {
        SCOPED_TRACE(testing::Message() << pages << " pages in a chain");
        MemoryIo memory;
        for (int k = 0; k < pages; ++k) {
            const std::string next = k + 1 < pages ? "<A HREF=\"" + pageName(k + 1) + "\">next</A>" : "";
            memory.addFile(kDir + (k == 0 ? std::string("index.htm") : pageName(k)),
                           "<P>" + pageMarker(k) + " " + next + "</P>");
        }
        BigRun run;
        runPass(memory, kDir + "index.htm", run);
        ASSERT_EQ(StepDone, run.result);
        EXPECT_EQ(257u, run.pagesOpened.size()) << "depths 0 to 256";
        if (pages == 257) {
            EXPECT_TRUE(run.limits.empty()) << "the page at depth 256 is the last and links nowhere";
        } else {
            ASSERT_EQ(1u, run.limits.size());
            EXPECT_EQ(LimitLinkDepth, run.limits[0].kind);
            EXPECT_EQ(255, run.limits[0].limit);
            EXPECT_EQ(1, run.limits[0].dropped) << "the next of the page at depth 256";
        }
    }
}

}  // namespace
