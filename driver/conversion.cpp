// driver/conversion.cpp -- the driver: opens the source, the destination and the four
// temporary streams, decides the kind of source, runs its first step and closes
// everything in a fixed order on every path. Also the PalmDoc probes. The steps
// themselves live in their own modules.
#include "driver/conversion.h"

#include <cstring>

#include "driver/html_probes.h"
#include "engine/checked_io.h"
#include "engine/database_writer.h"
#include "engine/palm_database.h"
#include "engine/preprocess.h"
#include "html/html_pass.h"

namespace {

enum SourceKind { SourcePalmDoc, SourceHtml, SourceText };

// The temporary streams, in the order they are created and the reverse of closing.
enum TempStream { TempText = 0, TempSpill = 1, TempRecords = 2, TempOffsets = 3, TempCount = 4 };

// Each document record has a 4-byte offset in T4; the database's 16-bit record count
// leaves room for fewer than 32768 of them beside the text records.
constexpr int32_t kMaxOffsetBytes = 131072;

constexpr char kDocCreator[4] = {'R', 'E', 'A', 'd'};
constexpr int kCreatorOffset = 64;  // type at 60, creator at 64, 4 bytes each

bool hasDocCreator(const uint8_t header[kDatabaseHeaderSize]) {
    return std::memcmp(header + kCreatorOffset, kDocCreator, sizeof kDocCreator) == 0;
}

SourceKind decideSourceKind(const IoOps& io, uint32_t source, const char* sourcePath) {
    if (isDocSource(io, source)) return SourcePalmDoc;
    if (isHtmlSource(io, source, sourcePath)) return SourceHtml;
    return SourceText;
}

// The HTML source's first step: the pass converts the root page and the pages it links
// to, writing text to T1 and the document records to T3 with their offsets in T4.
StepResult htmlFirstStep(const ConversionJob& job, PageOpener& opener, const uint32_t temps[],
                         HtmlPassRequest& request, int32_t& documentRecords) {
    const IoOps& io = *job.io;
    request.openPage = &openPage;
    request.closePage = &closePage;
    request.pageCallbackData = &opener;
    request.io = &io;
    request.textStream = temps[TempText];
    request.recordStream = temps[TempRecords];
    request.offsetStream = temps[TempOffsets];
    request.maxDepth = job.maxDepth;
    request.keepNavigation = job.keepNavigation;
    request.maxPages = job.maxPages;
    const StepResult pass = runHtmlPass(request, job.sourcePath);
    if (pass != StepDone) return pass;
    const int32_t offsetBytes = streamSize(io, request.offsetStream);
    if (offsetBytes < 0 || offsetBytes >= kMaxOffsetBytes) return StepFailed;
    documentRecords = offsetBytes / 4;
    return StepDone;
}

// The first step for any kind of source.
StepResult firstStep(const ConversionJob& job, SourceKind kind, PageOpener& opener,
                     const uint32_t temps[], HtmlPassRequest& request, int32_t& documentRecords) {
    const IoOps& io = *job.io;
    switch (kind) {
        case SourcePalmDoc:
            if (!stillWanted(io, StagePreprocessDoc, nullptr)) return StepCanceled;
            return preprocessDoc(job, opener.cachedSource, temps[TempText]);
        case SourceHtml:
            return htmlFirstStep(job, opener, temps, request, documentRecords);
        default:
            if (!stillWanted(io, StagePreprocessText, nullptr)) return StepCanceled;
            return preprocessText(job, opener.cachedSource, temps[TempText]);
    }
}

// The result code of a step: a failure is reported as the step's own code.
int32_t stepResultCode(StepResult step, int32_t failureCode) {
    switch (step) {
        case StepDone: return ResultOk;
        case StepCanceled: return ResultCanceled;
        default: return failureCode;
    }
}

// What a failed first step is reported as: the text and PalmDoc input fail as
// preprocessing, the HTML pass as conversion.
int32_t firstStepFailure(SourceKind kind) {
    return kind == SourceHtml ? ResultConversionError : ResultPreprocessError;
}

}  // namespace

int32_t convertDocument(const ConversionJob& job) {
    const IoOps& io = *job.io;
    // The opener holds the source for every kind: only the HTML pass's closePage clears
    // it, so the cleanup closes the source exactly when nobody else has.
    PageOpener opener{&job, 0};
    uint32_t destination = 0;
    uint32_t temps[TempCount] = {};
    HtmlPassRequest request{};
    SourceKind kind = SourceText;
    int32_t documentRecords = 0;
    int32_t result = ResultOk;

    opener.cachedSource = io.openStream(io.userData, job.sourcePath, 0);
    if (opener.cachedSource == 0) return ResultSourceOpenError;
    destination = io.openStream(io.userData, job.destinationPath, 1);
    if (destination == 0) result = ResultDestinationOpenError;
    for (int index = 0; result == ResultOk && index < TempCount; ++index) {
        temps[index] = io.createTempStream(io.userData);
        if (temps[index] == 0) result = ResultTempOpenError;
    }

    if (result == ResultOk) {
        kind = decideSourceKind(io, opener.cachedSource, job.sourcePath);
        result = stepResultCode(firstStep(job, kind, opener, temps, request, documentRecords),
                                firstStepFailure(kind));
    }

    if (result == ResultOk) {
        const StepResult written =
            writeBookDatabase(job, temps[TempText], temps[TempSpill], destination,
                              kind == SourceHtml ? &request : nullptr, documentRecords);
        result = stepResultCode(written, ResultConversionError);
    }

    // Released in reverse order of opening, on every path.
    for (int index = TempCount - 1; index >= 0; --index) {
        if (temps[index] != 0) io.closeStream(io.userData, temps[index]);
    }
    // Closing the destination may still write its last bytes: a book whose end never
    // reached the file is no success. Other streams are finished with by then.
    if (destination != 0 && io.closeStream(io.userData, destination) == 0 && result == ResultOk)
        result = ResultConversionError;
    if (opener.cachedSource != 0) io.closeStream(io.userData, opener.cachedSource);
    return result;
}

bool isDocSource(const IoOps& io, uint32_t stream) {
    uint8_t header[kDatabaseHeaderSize];
    if (!seekExact(io, stream, 0)) return false;
    if (!readExact(io, stream, header, kDatabaseHeaderSize)) return false;
    return hasDocCreator(header);
}

bool probeDocTitle(const IoOps& io, const char* path, char name[33]) {
    const uint32_t stream = io.openStream(io.userData, path, 0);
    if (stream == 0) return false;
    uint8_t header[kDatabaseHeaderSize];
    const bool isDoc = readExact(io, stream, header, kDatabaseHeaderSize) && hasDocCreator(header);
    const bool closed = io.closeStream(io.userData, stream) != 0;
    if (!isDoc || !closed) return false;
    std::memcpy(name, header, kDatabaseNameBytes);
    name[kDatabaseNameBytes] = '\0';
    return true;
}
