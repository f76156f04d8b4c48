// html/html_pass.cpp -- see html_pass.h. The pass owns the HTML context and four
// temporary streams; they are obtained in a fixed order and released in the reverse
// order at one exit, so success, failure and cancel run the same cleanup.
#include "html/html_pass.h"

#include <cstring>

#include "engine/checked_io.h"
#include "html/html_context.h"
#include "html/html_reader.h"
#include "html/link_resolution.h"
#include "html/page_parser.h"
#include "html/page_records.h"
#include "html/record_serializer.h"
#include "html/references.h"

namespace {

// The pass's temporary streams, in the order they are created.
enum PassStream { StyleTemp = 0, LinkTemp = 1, PageTemp = 2, LayoutTemp = 3, PassTempCount = 4 };

// The reader's progress hook: the engine's percent report.
bool reportReadPercent(void* progressArg, int32_t percent) {
    return stillWantedPercent(*static_cast<const IoOps*>(progressArg), percent);
}

// Step 1: the page loop. `page` holds the handle of the page being converted, so the
// caller can release it on any exit.
StepResult convertPages(HtmlPassRequest& request, HtmlContext& context, const char* sourcePath,
                        uint32_t& page) {
    const IoOps& io = *request.io;
    if (!addPage(context, 0, sourcePath, nullptr)) return StepFailed;
    char path[kHtmlNameBytes];
    const int32_t limit = request.maxPages > 0 ? request.maxPages : kMaxPageIterations;
    int32_t iteration = 0;
    for (; iteration < limit; ++iteration) {
        uint16_t depth = 0;
        if (!nextPage(context, &depth, path, &context.currentPage)) return StepFailed;
        if (context.currentPage == kNoRecord) break;
        // The queue is in breadth-first order, so the first page too deep ends step 1.
        if (request.maxDepth >= 0 && depth > request.maxDepth) break;
        page = request.openPage(request.pageCallbackData, path);
        if (page == 0) continue;
        if (!stillWanted(io, StageCurrentPage, path)) return StepCanceled;
        PageProgress progress{context.pagesDone + 1, static_cast<int32_t>(context.pageCount)};
        if (!stillWanted(io, StagePageProgress, &progress)) return StepCanceled;
        if (!beginHtmlPage(context, depth, page)) return StepFailed;
        const uint32_t pageBytes = context.inputSize;
        pageBase(path, context.baseDir);
        std::memcpy(context.pageName, path, sizeof context.pageName);
        if (!beginPage(context, context.currentPage)) return StepFailed;
        int32_t writeFailed = 0;
        if (!parsePage(context, &writeFailed)) return StepFailed;
        if (context.canceled != 0) return StepCanceled;
        // The reader takes a failed read for the end of the page, and a failed write
        // ends it early: either way the document would be missing part of the page.
        if (writeFailed != 0 || context.inputSize != pageBytes) return StepFailed;
        request.closePage(request.pageCallbackData, page);
        page = 0;
        if (!stillWantedPercent(io, 100)) return StepCanceled;
        context.tickPercent = 100;
        if (!endPage(context) || !resolveLocalLinks(context) || !resolvePageLinks(context))
            return context.canceled != 0 ? StepCanceled : StepFailed;
    }
    if (iteration < limit) return StepDone;
    // Stopped by the limit: say so only when the queue still holds a page the loop would
    // have taken, so a site that ends exactly at the limit is not reported.
    int32_t cursor = context.currentPage;
    uint16_t depth = 0;
    if (!nextPage(context, &depth, path, &cursor)) return StepFailed;
    if (cursor == kNoRecord || (request.maxDepth >= 0 && depth > request.maxDepth)) return StepDone;
    const int64_t queued = static_cast<int64_t>(context.pageCount) - iteration;
    LimitReport report{LimitPages, limit, static_cast<int32_t>(queued < 0x7FFFFFFF ? queued : 0x7FFFFFFF)};
    return stillWanted(io, StageLimitReached, &report) ? StepDone : StepCanceled;
}

// Step 2: links to text positions, then the four kinds of document record in order.
StepResult writeDocumentRecords(HtmlPassRequest& request, HtmlContext& context,
                                const uint32_t temps[]) {
    const IoOps& io = *request.io;
    const uint32_t records = request.recordStream;
    const uint32_t offsets = request.offsetStream;
    if (!stillWanted(io, StageFormatHtml, nullptr)) return StepCanceled;
    if (!stillWantedPercent(io, 5)) return StepCanceled;
    context.tickPercent = 5;
    if (!resolveAllLinks(context)) return context.canceled != 0 ? StepCanceled : StepFailed;
    if (!stillWantedPercent(io, 20)) return StepCanceled;

    // A writer that stops on a cancel returns false like a failed one; the flag tells them apart.
    SerializerProgress progress{20, false};
    const auto failedOrCanceled = [&progress] { return progress.canceled ? StepCanceled : StepFailed; };
    int32_t count = 0;
    if (!writeFormatRecords(io, temps[StyleTemp], records, offsets, &count, &progress)) return failedOrCanceled();
    request.formatFirst = 0;
    request.formatCount = count;
    if (!stillWantedPercent(io, 40)) return StepCanceled;

    progress.percent = 40;
    if (!writeLinkRecords(io, temps[LinkTemp], records, offsets, &count, &progress)) return failedOrCanceled();
    request.linkFirst = request.formatCount;
    request.linkCount = count;
    if (!stillWantedPercent(io, 60)) return StepCanceled;

    progress.percent = 60;
    if (!writeRuleRecords(io, temps[LayoutTemp], records, offsets, &count, &progress)) return failedOrCanceled();
    request.ruleFirst = request.formatCount + request.linkCount;
    request.ruleCount = count;
    if (!stillWantedPercent(io, 80)) return StepCanceled;

    progress.percent = 80;
    int32_t pages = 0;
    if (!writePageRecords(io, temps[LayoutTemp], records, offsets, &count, &pages, &progress))
        return failedOrCanceled();
    request.pageCount = pages;
    if (!stillWantedPercent(io, 100)) return StepCanceled;
    request.boundaryFirst = request.formatCount + request.linkCount + request.ruleCount;
    request.boundaryCount = count;
    return StepDone;
}

}  // namespace

uint32_t openPage(void* pageCallbackData, const char* pagePath) {
    PageOpener& opener = *static_cast<PageOpener*>(pageCallbackData);
    const IoOps& io = *opener.job->io;
    if (opener.cachedSource != 0 && std::strcmp(pagePath, opener.job->sourcePath) == 0)
        return opener.cachedSource;
    return io.openStream(io.userData, pagePath, 0);
}

void closePage(void* pageCallbackData, uint32_t handle) {
    PageOpener& opener = *static_cast<PageOpener*>(pageCallbackData);
    const IoOps& io = *opener.job->io;
    if (handle == 0) return;
    io.closeStream(io.userData, handle);
    if (handle == opener.cachedSource) opener.cachedSource = 0;
}

StepResult runHtmlPass(HtmlPassRequest& request, const char* sourcePath) {
    const IoOps& io = *request.io;
    if (!stillWanted(io, StageParseHtml, nullptr)) return StepCanceled;

    uint32_t temps[PassTempCount] = {};
    HtmlContext* context = nullptr;
    uint32_t page = 0;
    StepResult result = StepDone;

    // As in the driver: the first stream or block that cannot be had ends the obtaining,
    // and the cleanup releases whatever is non-zero.
    for (int index = 0; result == StepDone && index < PassTempCount; ++index) {
        temps[index] = io.createTempStream(io.userData);
        if (temps[index] == 0) result = StepFailed;
    }
    if (result == StepDone) {
        context = createHtmlContext(io);
        if (context == nullptr || !resetHtmlContext(*context, io)) result = StepFailed;
    }

    if (result == StepDone) {
        if (io.reportProgress != nullptr) {
            context->progressPercent = &reportReadPercent;
            context->progressArg = const_cast<IoOps*>(&io);
            context->canceled = 0;
        }
        context->textStream = request.textStream;
        context->styleStream = temps[StyleTemp];
        context->linkStream = temps[LinkTemp];
        context->pageStream = temps[PageTemp];
        context->layoutStream = temps[LayoutTemp];
        context->keepNavigation = request.keepNavigation != 0 ? 1 : 0;
        context->longReferences = 0;
        context->deepLinks = 0;
        result = convertPages(request, *context, sourcePath, page);
    }
    if (result == StepDone && context->longReferences > 0) {
        LimitReport report{LimitLongReferences, kReferenceBytes - 1, context->longReferences};
        if (!stillWanted(io, StageLimitReached, &report)) result = StepCanceled;
    }
    if (result == StepDone && context->deepLinks > 0) {
        LimitReport report{LimitLinkDepth, 255, context->deepLinks};
        if (!stillWanted(io, StageLimitReached, &report)) result = StepCanceled;
    }
    if (result == StepDone) result = writeDocumentRecords(request, *context, temps);

    if (page != 0) request.closePage(request.pageCallbackData, page);
    if (context != nullptr) releaseLinkIndex(*context);
    destroyHtmlContext(io, context);
    for (int index = PassTempCount - 1; index >= 0; --index) {
        if (temps[index] != 0) io.closeStream(io.userData, temps[index]);
    }
    return result;
}
