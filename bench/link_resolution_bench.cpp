// bench/link_resolution_bench.cpp -- link resolution of a site of 2000 pages, driven as
// the HTML pass drives it: pages are taken from the queue breadth first, each adds its
// anchors and links, then its local and page links are resolved, and after the last
// page all links are. Every page has 6 anchors, links to two child pages and to 8 other
// pages' anchors, and 2 local links. Once over in-memory streams (the code alone) and
// once over the standard I/O table's temporary files (the code with its stream traffic).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>

#include "bench/bench_io.h"
#include "platform/standard_io.h"
#include "html/html_reader.h"
#include "html/link_resolution.h"
#include "html/page_records.h"

namespace {

constexpr int kPages = 2000;
constexpr int kAnchors = 6;
constexpr int kOtherLinks = 8;

void pageName(int page, char* name) { std::snprintf(name, 32, "chapter-%04d.html", page); }

// Converts the whole site's records; returns the pages converted, or -1 on a failure.
int resolveSite(HtmlContext& context) {
    char name[kHtmlNameBytes];
    pageName(0, name);
    if (!addPage(context, 0, name, nullptr)) return -1;
    int32_t cursor = kNoRecord;
    int converted = 0;
    for (;;) {
        uint16_t depth = 0;
        if (!nextPage(context, &depth, name, &cursor)) return -1;
        if (cursor == kNoRecord) break;
        const int page = std::atoi(name + 8);
        context.pageDepth = depth;
        context.pageTextStart = context.textPos;
        if (!beginPage(context, cursor)) return -1;
        char anchor[32], target[32];
        for (int a = 0; a < kAnchors; ++a) {
            std::snprintf(anchor, sizeof anchor, "section-%d", a);
            if (!addNameAnchor(context, context.textPos + 100u * a, anchor)) return -1;
        }
        uint32_t at = context.textPos;
        for (int child = 2 * page + 1; child <= 2 * page + 2 && child < kPages; ++child, at += 20) {
            pageName(child, target);
            if (!addLink(context, at, at + 10, target, nullptr)) return -1;
        }
        for (int k = 0; k < kOtherLinks; ++k, at += 20) {
            pageName((page * 7 + k * 263) % kPages, target);
            std::snprintf(anchor, sizeof anchor, "Section-%d", (page + k) % (kAnchors + 1));
            if (!addLink(context, at, at + 10, target, anchor)) return -1;
        }
        for (int k = 0; k < 2; ++k, at += 20) {
            std::snprintf(anchor, sizeof anchor, "section-%d", (page + 3 * k) % kAnchors);
            if (!addLink(context, at, at + 10, nullptr, anchor)) return -1;
        }
        context.textPos += 1000;
        if (!endPage(context) || !resolveLocalLinks(context) || !resolvePageLinks(context)) return -1;
        ++converted;
    }
    return resolveAllLinks(context) ? converted : -1;
}

void siteBench(benchmark::State& state, const IoOps& io) {
    HtmlContext* context = createHtmlContext(io);
    int pages = 0;
    for (auto _ : state) {
        resetHtmlContext(*context, io);
        context->pageStream = io.createTempStream(io.userData);
        context->linkStream = io.createTempStream(io.userData);
        pages = resolveSite(*context);
        releaseLinkIndex(*context);
        io.closeStream(io.userData, context->pageStream);
        io.closeStream(io.userData, context->linkStream);
        if (pages != kPages) state.SkipWithError("the site did not resolve");
    }
    state.counters["pages"] = pages;
    destroyHtmlContext(io, context);
}

void BM_ResolveSite2000Memory(benchmark::State& state) {
    BenchIo io;
    siteBench(state, io.ops());
}
BENCHMARK(BM_ResolveSite2000Memory)->Unit(benchmark::kMillisecond);

void BM_ResolveSite2000Stdio(benchmark::State& state) { siteBench(state, standardIoOps); }
BENCHMARK(BM_ResolveSite2000Stdio)->Unit(benchmark::kMillisecond);

}  // namespace
