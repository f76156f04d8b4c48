// Link resolution decides which page is converted next and where every link lands, so
// each rule is checked on a small site run through the page loop of the pass: queue
// walk, page records, local links, page links, and all links at the end.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "html/link_resolution.h"
#include "html/page_records.h"
#include "tests/html/record_streams.h"
#include "tests/support/fault_sweep.h"

namespace {

struct SiteLink {
    uint32_t start;  // within the page's text
    uint32_t end;
    std::string target;  // empty: the page itself, as a "#name" HREF gives
    std::string fragment;
};

struct SitePage {
    uint32_t textLength = 10;
    std::vector<std::pair<uint32_t, std::string>> anchors;  // position within the page, name
    std::vector<SiteLink> links;
};

using Site = std::map<std::string, SitePage>;  // the pages that can be opened, by exact name

// The page loop of the pass over `site`, with `maxDepth` as the pass applies it. Pages
// missing from `site` are skipped like pages that cannot be opened. Returns 1, or 0 at
// the first failing operation.
bool runSite(HtmlContext& context, const Site& site, const std::string& root, int maxDepth,
             std::vector<std::string>* converted = nullptr) {
    if (!addPage(context, 0, root.c_str(), nullptr)) return false;
    for (int iteration = 0; iteration < 32000; ++iteration) {
        uint16_t depth;
        char name[kHtmlNameBytes];
        if (!nextPage(context, &depth, name, &context.currentPage)) return false;
        if (context.currentPage == -1) break;
        if (maxDepth >= 0 && depth > maxDepth) break;
        const auto found = site.find(name);
        if (found == site.end()) continue;
        if (converted != nullptr) converted->push_back(name);
        const SitePage& page = found->second;
        context.pageDepth = depth;
        context.pageTextStart = context.textPos;
        std::strcpy(context.pageName, name);
        if (!beginPage(context, context.currentPage)) return false;
        for (const auto& [offset, anchor] : page.anchors)
            if (!addNameAnchor(context, context.textPos + offset, anchor.c_str())) return false;
        for (const SiteLink& link : page.links) {
            const char* target = link.target.empty() ? context.pageName : link.target.c_str();
            const char* fragment = link.fragment.empty() ? nullptr : link.fragment.c_str();
            if (!addLink(context, context.textPos + link.start, context.textPos + link.end, target, fragment))
                return false;
        }
        context.textPos += page.textLength;
        if (!writePageEndRecord(context, context.textPos) || !endPage(context) ||
            !resolveLocalLinks(context) || !resolvePageLinks(context))
            return false;
    }
    return resolveAllLinks(context);
}

struct LinkOutcome {
    uint32_t start;
    uint32_t target;
    bool resolved;
};

// Every LinkRecord of the link stream, in order.
std::vector<LinkOutcome> linkOutcomes(const RecordStreams& streams, uint32_t linkStream) {
    std::vector<LinkOutcome> outcomes;
    const size_t size = streams.bytes(linkStream).size();
    for (size_t offset = 0; offset + sizeof(LinkRecord) <= size;) {
        const LinkRecord link = streams.recordAt<LinkRecord>(linkStream, static_cast<int32_t>(offset));
        outcomes.push_back({link.startPos, link.targetPos, (link.flags & kLinkResolved) != 0});
        offset += sizeof link + link.pathLength + link.fragmentLength;
    }
    return outcomes;
}

// Every page of the queue: name and depth, in queue order.
std::vector<std::pair<std::string, int>> queuedPages(HtmlContext& context) {
    std::vector<std::pair<std::string, int>> pages;
    int32_t cursor = -1;
    for (;;) {
        uint16_t depth;
        char name[kHtmlNameBytes];
        if (!nextPage(context, &depth, name, &cursor) || cursor == -1) break;
        pages.emplace_back(name, depth);
    }
    return pages;
}

// Two different names with one hash. CRC-32 is linear, so four bytes appended to any
// prefix can steer the register to any value: walking back from the target fixes the
// table index each byte must select, and walking forward from the prefix picks the bytes.
// A prefix is retried when a steered byte is 0 or an upper-case letter (folded away).
const std::pair<std::string, std::string>& collidingNames() {
    static const std::pair<std::string, std::string> pair = [] {
        uint32_t table[256];
        for (uint32_t n = 0; n < 256; ++n) {
            uint32_t c = n;
            for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            table[n] = c;
        }
        const std::string x = "chapter-one";
        const uint32_t target = nameHash(x.c_str());
        uint8_t index[4];
        uint32_t back = target;
        for (int k = 3; k >= 0; --k) {
            int i = 0;
            while ((table[i] >> 24) != (back >> 24)) ++i;  // top bytes of the table are distinct
            index[k] = static_cast<uint8_t>(i);
            back = (back ^ table[i]) << 8;
        }
        for (int attempt = 0; attempt < 1000; ++attempt) {
            std::string y = "steered" + std::to_string(attempt);
            uint32_t reg = nameHash(y.c_str());
            bool usable = true;
            for (int k = 0; k < 4; ++k) {
                const uint8_t byte = static_cast<uint8_t>((reg ^ index[k]) & 0xFF);
                usable = usable && byte != 0 && !(byte >= 'A' && byte <= 'Z');
                y.push_back(static_cast<char>(byte));
                reg = (reg >> 8) ^ table[index[k]];
            }
            if (usable && reg == target) return std::make_pair(x, y);
        }
        return std::make_pair(std::string(), std::string());
    }();
    return pair;
}

}  // namespace

TEST(LinkResolution, ASamePageLinkLandsOnItsAnchorRightAfterThePage) {
    RecordStreams streams;
    HtmlContext& context = streams.context();
    int32_t root;
    ASSERT_TRUE(addPage(context, 0, "C:\\s\\index.htm", &root));
    ASSERT_TRUE(nextPage(context, nullptr, nullptr, &context.currentPage));
    context.textPos = context.pageTextStart = 100;
    ASSERT_TRUE(beginPage(context, root));
    ASSERT_TRUE(addNameAnchor(context, 104, "TOP"));
    ASSERT_TRUE(addLink(context, 150, 155, "C:\\s\\index.htm", "top"));
    ASSERT_TRUE(addLink(context, 160, 165, "c:\\S\\INDEX.htm", "Top"));  // the page's name in other letters
    ASSERT_TRUE(addLink(context, 170, 175, nullptr, "top"));              // no target at all
    ASSERT_TRUE(addLink(context, 180, 185, "C:\\s\\other.htm", "top"));
    ASSERT_TRUE(endPage(context));
    ASSERT_TRUE(resolveLocalLinks(context));

    const std::vector<LinkOutcome> links = linkOutcomes(streams, context.linkStream);
    ASSERT_EQ(4u, links.size());
    for (int i = 0; i < 3; ++i) {
        EXPECT_TRUE(links[i].resolved) << i;
        EXPECT_EQ(104u, links[i].target) << i;
    }
    EXPECT_FALSE(links[3].resolved);
    EXPECT_EQ(1u, context.pageCount);  // local links queue nothing
    streams.closeStreams();
    expectNothingHeld(streams.counting());
}

TEST(LinkResolution, LinksLandOnAnchorsPageTopsOrNowhere) {
    Site site;
    site["C:\\s\\index.htm"] = SitePage{20, {{2, "intro"}},
                                        {{0, 1, "C:\\s\\b.htm", "Part"},
                                         {2, 3, "C:\\s\\b.htm", "nowhere"},
                                         {4, 5, "c:\\S\\B.HTM", ""},
                                         {6, 7, "C:\\s\\missing.htm", "x"},
                                         {8, 9, "", "INTRO"}}};
    site["C:\\s\\b.htm"] = SitePage{30, {{0, "first"}, {7, "part"}}, {{1, 2, "C:\\s\\index.htm", "intro"}}};
    RecordStreams streams;
    HtmlContext& context = streams.context();
    std::vector<std::string> converted;
    ASSERT_TRUE(runSite(context, site, "C:\\s\\index.htm", -1, &converted));

    EXPECT_EQ((std::vector<std::string>{"C:\\s\\index.htm", "C:\\s\\b.htm"}), converted);
    // One page for both spellings of b.htm; missing.htm is queued but never converted.
    EXPECT_EQ((std::vector<std::pair<std::string, int>>{
                  {"C:\\s\\index.htm", 0}, {"C:\\s\\b.htm", 1}, {"C:\\s\\missing.htm", 1}}),
              queuedPages(context));
    const std::vector<LinkOutcome> links = linkOutcomes(streams, context.linkStream);
    ASSERT_EQ(6u, links.size());
    const uint32_t expected[] = {20 + 7, 20, 20, 0xFFFFFFFF, 2, 2};
    for (size_t i = 0; i < links.size(); ++i) {
        EXPECT_TRUE(links[i].resolved) << i;
        EXPECT_EQ(expected[i], links[i].target) << i;
    }
    streams.closeStreams();
    expectNothingHeld(streams.counting());
}

TEST(LinkResolution, PagesBeyondTheDepthAreQueuedButTheirLinksGoNowhere) {
    Site site;
    site["r"] = SitePage{10, {}, {{0, 1, "a", ""}}};
    site["a"] = SitePage{10, {}, {{0, 1, "b", "x"}, {2, 3, "r", ""}}};
    site["b"] = SitePage{10, {{0, "x"}}, {}};
    RecordStreams streams;
    HtmlContext& context = streams.context();
    std::vector<std::string> converted;
    ASSERT_TRUE(runSite(context, site, "r", 1, &converted));
    EXPECT_EQ((std::vector<std::string>{"r", "a"}), converted);
    const std::vector<LinkOutcome> links = linkOutcomes(streams, context.linkStream);
    ASSERT_EQ(3u, links.size());
    EXPECT_EQ(10u, links[0].target);
    EXPECT_EQ(0xFFFFFFFFu, links[1].target);
    EXPECT_TRUE(links[1].resolved);
    EXPECT_EQ(0u, links[2].target);  // back to the start page's top
}

TEST(LinkResolution, AShorterPathLowersAQueuedPagesDepthButNotItsPlace) {
    RecordStreams streams;
    HtmlContext& context = streams.context();
    int32_t linking;
    ASSERT_TRUE(addPage(context, 0, "root", nullptr));
    ASSERT_TRUE(addPage(context, 4, "deep", nullptr));
    ASSERT_TRUE(addPage(context, 1, "mid", &linking));
    ASSERT_TRUE(addPage(context, 3, "other", nullptr));

    // "mid" (depth 1) links to "deep" (depth 4) and to "other" (depth 3); "other" is
    // then reached from a depth-5 page, which must not raise it again.
    context.pageDepth = 1;
    ASSERT_TRUE(beginPage(context, linking));
    ASSERT_TRUE(addLink(context, 0, 1, "DEEP", nullptr));
    ASSERT_TRUE(addLink(context, 1, 2, "other", nullptr));
    ASSERT_TRUE(endPage(context));
    ASSERT_TRUE(resolveLocalLinks(context));
    ASSERT_TRUE(resolvePageLinks(context));
    context.pageDepth = 5;
    ASSERT_TRUE(beginPage(context, linking));
    ASSERT_TRUE(addLink(context, 2, 3, "other", nullptr));
    ASSERT_TRUE(resolvePageLinks(context));

    EXPECT_EQ((std::vector<std::pair<std::string, int>>{{"root", 0}, {"deep", 2}, {"mid", 1}, {"other", 2}}),
              queuedPages(context));
    // Both links to "other" hang in one chain, in the order they were attached.
    const PageRecord other = streams.recordAt<PageRecord>(context.pageStream, static_cast<int32_t>(context.lastPage));
    EXPECT_EQ(2, other.incomingCount);
    EXPECT_EQ(32 + 4, other.firstIncoming);
    EXPECT_EQ((32 + 4) + (32 + 5), other.lastIncoming);
    EXPECT_EQ(other.lastIncoming,
              streams.recordAt<LinkRecord>(context.linkStream, other.firstIncoming).nextSameTarget);
}

TEST(LinkResolution, AnAnchorBeyondTheFirst4000IsStillFound) {
    Site site;
    SitePage big;
    big.textLength = 5000;
    for (uint32_t i = 0; i <= 4000; ++i) big.anchors.emplace_back(i, "a" + std::to_string(i));
    site["big"] = big;
    site["r"] = SitePage{10, {}, {{0, 1, "big", "A4000"}, {1, 2, "big", "a17"}, {2, 3, "big", "a4001"}}};
    RecordStreams streams;
    HtmlContext& context = streams.context();
    ASSERT_TRUE(runSite(context, site, "r", -1));
    const std::vector<LinkOutcome> links = linkOutcomes(streams, context.linkStream);
    ASSERT_EQ(3u, links.size());
    EXPECT_EQ(10u + 4000, links[0].target);
    EXPECT_EQ(10u + 17, links[1].target);
    EXPECT_EQ(10u, links[2].target);  // no such anchor: the page's top
    streams.closeStreams();
    expectNothingHeld(streams.counting());
}

TEST(LinkResolution, WithoutAnIndexBlockEveryAnchorIsSearchedOneByOne) {
    RecordStreams streams;
    HtmlContext& context = streams.context();
    int32_t page;
    ASSERT_TRUE(addPage(context, 0, "p", &page));
    ASSERT_TRUE(beginPage(context, page));
    context.pageTextStart = 40;
    ASSERT_TRUE(addNameAnchor(context, 41, "one"));
    ASSERT_TRUE(addNameAnchor(context, 42, "two"));
    ASSERT_TRUE(addLink(context, 0, 1, "p", "TWO"));
    ASSERT_TRUE(endPage(context));

    streams.counting().failAt(IoOp::Alloc, streams.counting().calls(IoOp::Alloc) + 1);
    ASSERT_TRUE(resolveLocalLinks(context));
    EXPECT_TRUE(streams.counting().faultFired());
    EXPECT_EQ(42u, streams.recordAt<LinkRecord>(context.linkStream, 0).targetPos);
    streams.closeStreams();
    expectNothingHeld(streams.counting());
}

TEST(LinkResolution, NamesWithEqualHashesAreToldApartByTheirText) {
    const auto& [x, y] = collidingNames();
    ASSERT_FALSE(x.empty());
    ASSERT_NE(x, y);
    ASSERT_EQ(nameHash(x.c_str()), nameHash(y.c_str()));

    Site site;
    site["both"] = SitePage{100, {{10, x}, {20, y}}, {}};
    site["onlyX"] = SitePage{100, {{30, x}}, {}};
    SitePage crowded;  // more anchors than the index holds: no trust in a lone hash
    crowded.textLength = 5000;
    crowded.anchors.emplace_back(40, x);
    for (uint32_t i = 0; i < 4000; ++i) crowded.anchors.emplace_back(50, "c" + std::to_string(i));
    site["crowded"] = crowded;
    site[x] = SitePage{};  // two pages whose names share a hash
    site[y] = SitePage{};
    site["r"] = SitePage{10, {},
                         {{0, 1, "both", x}, {1, 2, "both", y}, {2, 3, "onlyX", y},
                          {3, 4, "crowded", y}, {4, 5, y, ""}, {5, 6, x, ""}, {6, 7, y, ""}}};
    RecordStreams streams;
    HtmlContext& context = streams.context();
    ASSERT_TRUE(runSite(context, site, "r", -1));

    const std::vector<std::pair<std::string, int>> queue = queuedPages(context);
    ASSERT_EQ(6u, queue.size());  // r, both, onlyX, crowded, y, x: each once
    EXPECT_EQ(y, queue[4].first);
    EXPECT_EQ(x, queue[5].first);
    const uint32_t both = 10, onlyX = 110, crowdedTop = 210, yTop = 5210, xTop = 5220;
    const std::vector<LinkOutcome> links = linkOutcomes(streams, context.linkStream);
    ASSERT_EQ(7u, links.size());
    EXPECT_EQ(both + 10, links[0].target);
    EXPECT_EQ(both + 20, links[1].target);
    EXPECT_EQ(onlyX + 30, links[2].target);  // a lone hash with every anchor indexed is trusted
    EXPECT_EQ(crowdedTop, links[3].target);  // with anchors left out it is checked
    EXPECT_EQ(yTop, links[4].target);
    EXPECT_EQ(xTop, links[5].target);
    EXPECT_EQ(yTop, links[6].target);
}

TEST(LinkResolution, AmongEqualNamesTheFirstAnchorWrittenAndThePageQueuedFirstWin) {
    // 150 anchors, every third one spelled some way of "dup": enough entries for the
    // sort to be more than an insertion sort. Then as many anchors and pages again as
    // the blocks hold, so the tables in temporary streams answer: the same winners.
    for (const bool big : {false, true}) {
        RecordStreams streams;
        HtmlContext& context = streams.context();
        int32_t page;
        ASSERT_TRUE(addPage(context, 0, "p", &page));
        const int fillers = big ? kPageIndexEntries : 0;
        for (int i = 0; i < fillers; ++i)
            ASSERT_TRUE(addPage(context, 1, ("filler" + std::to_string(i)).c_str(), nullptr));
        ASSERT_TRUE(beginPage(context, page));
        const char* spellings[] = {"Dup", "DUP", "dup"};
        const uint32_t anchors = big ? kAnchorIndexEntries + 500 : 150;
        for (uint32_t i = 0; i < anchors; ++i) {
            const std::string name = i % 3 == 1 && i < 150 ? spellings[(i / 3) % 3] : "o" + std::to_string(i);
            ASSERT_TRUE(addNameAnchor(context, 1000 + i, name.c_str()));
        }
        ASSERT_TRUE(addLink(context, 0, 1, "p", "dup"));
        // Frames can queue one page several times; 40 pages, each queued twice.
        std::vector<int32_t> first(40);
        for (int round = 0; round < 2; ++round)
            for (int i = 0; i < 40; ++i) {
                int32_t offset;
                ASSERT_TRUE(addPage(context, 1, ("f" + std::to_string(i) + ".htm").c_str(), &offset));
                if (round == 0) first[i] = offset;
            }
        for (int i = 0; i < 40; ++i)
            ASSERT_TRUE(addLink(context, 2, 3, ("F" + std::to_string(i) + ".HTM").c_str(), nullptr));
        ASSERT_TRUE(endPage(context));
        ASSERT_TRUE(resolveLocalLinks(context));
        ASSERT_TRUE(resolvePageLinks(context));

        EXPECT_EQ(1001u, streams.recordAt<LinkRecord>(context.linkStream, 0).targetPos) << big;
        for (int i = 0; i < 40; ++i) {
            EXPECT_EQ(1, streams.recordAt<PageRecord>(context.pageStream, first[i]).incomingCount) << i << big;
        }
        EXPECT_EQ(81u + fillers, context.pageCount);  // nothing queued a third time
        int32_t found = -1;
        ASSERT_TRUE(findKnownPage(context, "F7.htm", &found));
        EXPECT_EQ(first[7], found) << big;
        streams.closeStreams();
        expectNothingHeld(streams.counting());
    }
}

// Around the size where the lookups leave the block for the table in a temporary stream,
// and far past the 8000 pages the block once held: a new target is queued once and
// every link attaches, to new and known pages alike.
TEST(LinkResolution, AtAnyCountOfKnownPagesNewTargetsAreQueuedOnceAndAttached) {
    for (int known : {kPageIndexEntries - 2, kPageIndexEntries - 1, kPageIndexEntries, 8000, 9000}) {
        RecordStreams streams;
        HtmlContext& context = streams.context();
        int32_t root;
        ASSERT_TRUE(addPage(context, 0, "root", &root));
        for (int i = 1; i < known; ++i)
            ASSERT_TRUE(addPage(context, 1, ("p" + std::to_string(i)).c_str(), nullptr));
        ASSERT_TRUE(beginPage(context, root));
        ASSERT_TRUE(addLink(context, 0, 1, "new", nullptr));
        ASSERT_TRUE(addLink(context, 1, 2, "NEW", nullptr));
        ASSERT_TRUE(addLink(context, 2, 3, ("p" + std::to_string(known - 1)).c_str(), nullptr));
        ASSERT_TRUE(addLink(context, 3, 4, "new2", nullptr));
        ASSERT_TRUE(addLink(context, 4, 5, "New2", nullptr));
        ASSERT_TRUE(endPage(context));
        ASSERT_TRUE(resolveLocalLinks(context));
        ASSERT_TRUE(resolvePageLinks(context));

        EXPECT_EQ(static_cast<uint32_t>(known + 2), context.pageCount) << known;
        const PageRecord last = streams.recordAt<PageRecord>(context.pageStream, static_cast<int32_t>(context.lastPage));
        EXPECT_EQ(2, last.incomingCount) << known;
        int32_t found = -1;
        ASSERT_TRUE(findKnownPage(context, "NEW2", &found));
        EXPECT_EQ(static_cast<int32_t>(context.lastPage), found) << known;
        ASSERT_TRUE(findKnownPage(context, "absent", &found));
        EXPECT_EQ(-1, found) << known;
        ASSERT_TRUE(resolveAllLinks(context));
        const std::vector<LinkOutcome> links = linkOutcomes(streams, context.linkStream);
        ASSERT_EQ(5u, links.size());
        for (const LinkOutcome& link : links) {
            EXPECT_TRUE(link.resolved) << known;
            EXPECT_EQ(0xFFFFFFFFu, link.target) << known;  // none of them was converted
        }
        streams.closeStreams();
        expectNothingHeld(streams.counting());
    }
}

TEST(LinkResolutionFaults, AnyFailingCallFailsTheRunAndFreesEveryBlock) {
    Site site;
    site["r"] = SitePage{10, {{1, "top"}}, {{0, 1, "a", "s"}, {1, 2, "", "top"}, {2, 3, "b", ""}}};
    site["a"] = SitePage{10, {{2, "s"}, {3, "t"}}, {{0, 1, "r", "top"}, {1, 2, "b", "x"}}};
    site["b"] = SitePage{10, {{0, "x"}}, {{0, 1, "A", "t"}}};
    int calls = 0;
    {
        RecordStreams probe;
        const int before = probe.counting().calls(IoOp::Any);
        ASSERT_TRUE(runSite(probe.context(), site, "r", -1));
        calls = probe.counting().calls(IoOp::Any) - before;
    }
    forEachFault(calls, [&](int k) {
        RecordStreams streams;
        const int at = streams.counting().calls(IoOp::Any) + k;
        streams.counting().failAt(IoOp::Any, at);
        const int result = runSite(streams.context(), site, "r", -1);
        const IoOp op = streams.counting().log()[at - 1].op;
        if (op == IoOp::Seek || op == IoOp::Read || op == IoOp::Write) {
            EXPECT_EQ(0, result) << "call " << k;
        }
        streams.closeStreams();
        expectNothingHeld(streams.counting());
    });
}

// The same for a site past both blocks, whose lookups go through tables in temporary
// streams: a page past the page block, and a page of 4001 anchors whose block the heap
// refuses. A fault at every call would take minutes; 120 spread over the run, and each
// temporary stream refused in turn, reach every step of the tables.
TEST(LinkResolutionFaults, TablesInTemporaryStreamsFailCleanly) {
    constexpr int32_t kAnchorBlock4000 = kAnchorIndexEntries * static_cast<int32_t>(sizeof(AnchorIndexEntry));
    Site site;
    SitePage root{10, {}, {}};
    for (int i = 0; i < kPageIndexEntries + 8; ++i) root.links.push_back({0, 1, "q" + std::to_string(i), ""});
    root.links.push_back({1, 2, "big", "a4000"});
    site["r"] = root;
    for (int i = 0; i < kPageIndexEntries + 8; ++i) site["q" + std::to_string(i)] = SitePage{};
    SitePage big{5000, {}, {{0, 1, "", "a17"}, {1, 2, "r", ""}}};
    for (uint32_t i = 0; i <= kAnchorIndexEntries; ++i) big.anchors.emplace_back(i, "a" + std::to_string(i));
    site["big"] = big;
    int calls = 0;
    int temps = 0;
    {
        RecordStreams probe;
        probe.counting().refuseBlocksOver(kAnchorBlock4000);
        const int before = probe.counting().calls(IoOp::Any);
        const int tempsBefore = probe.counting().calls(IoOp::CreateTemp);
        ASSERT_TRUE(runSite(probe.context(), site, "r", -1));
        calls = probe.counting().calls(IoOp::Any) - before;
        temps = probe.counting().calls(IoOp::CreateTemp) - tempsBefore;
        const std::vector<LinkOutcome> links = linkOutcomes(probe, probe.context().linkStream);
        ASSERT_EQ(static_cast<size_t>(kPageIndexEntries + 8 + 3), links.size());
        EXPECT_EQ(10u + 10u * (kPageIndexEntries + 8) + 4000, links[static_cast<size_t>(kPageIndexEntries + 8)].target);
    }
    ASSERT_GE(temps, 3);  // the page table, and an anchor table for each pass over "big"
    constexpr int kSpread = 120;
    forEachFault(kSpread, [&](int k) {
        RecordStreams streams;
        streams.counting().refuseBlocksOver(kAnchorBlock4000);
        const int at = streams.counting().calls(IoOp::Any) + static_cast<int>(int64_t{calls} * k / kSpread);
        streams.counting().failAt(IoOp::Any, at);
        const int result = runSite(streams.context(), site, "r", -1);
        const IoOp op = streams.counting().log()[at - 1].op;
        if (op == IoOp::Seek || op == IoOp::Read || op == IoOp::Write || op == IoOp::CreateTemp) {
            EXPECT_EQ(0, result) << "call " << k;
        }
        streams.closeStreams();
        expectNothingHeld(streams.counting());
    }, SweepStop::AtAnyFailure);
    forEachFault(temps, [&](int k) {
        RecordStreams streams;
        streams.counting().refuseBlocksOver(kAnchorBlock4000);
        streams.counting().failAt(IoOp::CreateTemp, streams.counting().calls(IoOp::CreateTemp) + k);
        EXPECT_FALSE(runSite(streams.context(), site, "r", -1)) << k;
        streams.closeStreams();
        expectNothingHeld(streams.counting());
    });
}
