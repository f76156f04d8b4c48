// html/html_pass.h -- the first two steps of an HTML conversion. Step 1 converts the
// source page and, breadth first, every page reachable from it through links and frames
// down to the request's maximum depth: all text goes to the request's text stream, and
// each page's formatting, links, anchors, rules and end go to four temporary streams of
// the pass. Step 2 resolves every link to a text position and appends the document
// records to the request's record stream, with their offsets in its offset stream.
// Compressing the text and writing the database are the driver's.
#pragma once
#include <cstdint>

#include "engine/conversion_job.h"
#include "engine/database_writer.h"
#include "engine/io_ops.h"

// How the pass opens pages: the root page through the source handle the driver already
// holds, every other page with openStream mode 0.
struct PageOpener {
    const ConversionJob* job;
    uint32_t cachedSource;  // the open source, handed out once for job->sourcePath
};

// The records the pass produces (the base: the record and offset streams and the runs
// of each kind) and what it needs to produce them.
struct HtmlPassRequest : DocumentRecordSet {
    uint32_t (*openPage)(void* pageCallbackData, const char* pagePath);
    void (*closePage)(void* pageCallbackData, uint32_t handle);
    void* pageCallbackData;  // usually a PageOpener
    const IoOps* io;
    uint32_t textStream;     // T1: the document text
    int32_t maxDepth;
    int32_t keepNavigation;  // 1: NAV and role=navigation are written like DIV
    int32_t maxPages;        // pages taken from the queue; 0 = kMaxPageIterations
};

// The PageOpener operations a driver puts into an HtmlPassRequest. openPage hands out the
// cached source when asked for the job's source path, else opens the page; closePage
// closes the handle and forgets the cached source when that is the one closed.
uint32_t openPage(void* pageCallbackData, const char* pagePath);
void closePage(void* pageCallbackData, uint32_t handle);

constexpr int32_t kMaxPageIterations = 32000;  // default page limit: pages taken from the queue, opened or not

// Runs the pass with `sourcePath` as the root page. Each page converted is announced by
// StageCurrentPage (its path) and StagePageProgress (its number and the pages known).
// When the pass stops at its page limit while a page it would take is still queued, it
// reports StageLimitReached once (LimitPages, the limit, the pages still queued) and
// goes on as after the last page. Returns StepDone with the request's
// record runs and page count filled in, StepCanceled when a progress report was answered
// with cancel (also while a page was read), or StepFailed on any stream, allocation or
// write failure, a page that could not be read to its end included. Pages that cannot be
// opened are skipped. Every stream, block and page handle the pass obtained is released
// before it returns; the request's own streams stay open.
StepResult runHtmlPass(HtmlPassRequest& request, const char* sourcePath);
