// frontend/conversion_run.cpp -- see conversion_run.h.
#include "frontend/conversion_run.h"

#include "frontend/epub_io.h"
#include "frontend/page_confinement.h"
#include "frontend/read_pages.h"

int32_t statusForResult(int32_t result) {
    switch (result) {
        case ResultOk: return StatusSucceeded;
        case ResultCanceled: return StatusCanceled;
        case ResultSourceOpenError: return StatusSourceError;
        case ResultDestinationOpenError: return StatusDestinationError;
        case ResultTempOpenError: return StatusTempError;
        case ResultPreprocessError: return StatusPreprocessError;
        case ResultConversionError: return StatusConversionError;
        default: return StatusUnknownError;
    }
}

MessageId statusMessage(int32_t status) {
    switch (status) {
        case StatusSucceeded: return MsgConversionSucceeded;
        case StatusCanceled: return MsgConversionCanceled;
        case StatusSourceError: return MsgSourceOpenError;
        case StatusDestinationError: return MsgDestinationOpenError;
        case StatusTempError: return MsgTempOpenError;
        case StatusPreprocessError: return MsgPreprocessError;
        case StatusConversionError: return MsgConversionError;
        case StatusSourceRefused: return MsgSourceRefused;
        default: return MsgUnknownError;
    }
}

std::optional<std::string> makeSourceAbsolute(const std::string& sourcePath, PathFlavor flavor,
                                              const ReferenceRules& rules,
                                              const FileSystem& files) {
    if (rules.pathKind(sourcePath) != 0) {
        if (sourcePath.size() > kMaxSourcePathLength) return std::nullopt;
        return sourcePath;
    }
    std::optional<std::string> base;
    std::string reference = sourcePath;
    if (flavor == PathFlavor::Windows && isDriveRelative(sourcePath)) {
        base = files.currentDirectoryOfDrive(sourcePath[0]);
        reference.erase(0, 2);
    } else {
        base = files.currentDirectory();
    }
    if (!base) return std::nullopt;
    std::optional<std::string> resolved = rules.resolveReference(*base, reference);
    // The helpers stop at 255 bytes, so a full result may be a cut one naming another
    // file; refusing the rare path of exactly 255 bytes is the safe side.
    if (!resolved || resolved->size() >= kMaxSourcePathLength) return std::nullopt;
    std::optional<std::string> normalized = rules.normalizePath(*resolved);
    return normalized ? *normalized : *resolved;
}

void fillConversionJob(PreparedJob& owner, const ConverterSettings& settings, const IoOps& io,
                       const std::string& absoluteSourcePath,
                       const std::string& destinationPath, const std::string& title) {
    owner.sourcePath_ = absoluteSourcePath;
    owner.destinationPath_ = destinationPath;
    owner.title_ = utf8ToWindows1252(title).substr(0, kMaxJobTitleLength);
    ConversionJob& job = owner.job_;
    job.io = &io;
    job.sourcePath = owner.sourcePath_.c_str();
    job.destinationPath = owner.destinationPath_.c_str();
    job.title = owner.title_.c_str();
    job.removeCR = settings.removeCR ? 1 : 0;
    job.removeLF = settings.removeLF ? 1 : 0;
    job.convertCRtoLF = settings.convertCRtoLF ? 1 : 0;
    job.slbSpaces = settings.convertSingleLB ? settings.slbToSpace : -1;
    job.tabToLB = settings.tabConversion == TabsToLineBreaks ? settings.tabToLB : -1;
    job.tabToSpace = settings.tabConversion == TabsToSpaces ? settings.tabToSpace : -1;
    job.maxDepth = settings.maxDepth;
    job.keepNavigation = settings.keepNavigation ? 1 : 0;
    job.maxPages = settings.maxPages;
}

// The failures beneath the engine after the source's open, for the report.
static void takeLaterFailures(LinkedPageReport& report, IoFailures& failures) {
    report.readFailure = std::move(failures.read);
    report.writeFailure = std::move(failures.written);
    report.tempFailure = std::move(failures.temporary);
}

// The last layers of every run: the limits the engine meets are noted above the
// decoding, and the job is filled and converted. `limitsMet` gets those limits.
static int32_t convertDecoded(DecodingIo& decoding, const ConverterSettings& settings,
                              const WorkerRequest& request, ConvertFunction convert,
                              std::vector<LimitReport>& limitsMet) {
    LimitNotes limits;
    limits.inner = decodingIoOps(decoding);
    const IoOps noted = limitNotesOps(limits);
    PreparedJob prepared;
    fillConversionJob(prepared, settings, noted, decoding.engineSourcePath, request.destinationPath,
                      request.title);
    const int32_t status = statusForResult(convert(prepared.job()));
    limitsMet = std::move(limits.limits);
    return status;
}

// What became of the pages' characters, for the report.
static void takeCharacters(LinkedPageReport& report, DecodingIo& decoding) {
    report.transliterated = decoding.transliterated;
    report.replaced = decoding.replaced;
    report.characters = std::move(decoding.noted);
    report.undecodable = std::move(decoding.undecodable);
}

// A source on the web: every page comes through the web wrapper and none from the disk,
// so neither the folder rule nor the record of files read has anything to do.
static int32_t runWebWorker(const WorkerRequest& request, const ConverterSettings& settings,
                            const IoOps& observed, IoFailures& failures, PathFlavor flavor,
                            ConvertFunction convert, LinkedPageReport* report) {
    auto refuse = [report](const char* reason) {
        if (report != nullptr) report->refusal = reason;
        return StatusSourceRefused;
    };
    if (request.web == nullptr || request.web->fetching == nullptr)
        return refuse("web addresses are converted by the command line only");
    WebIo web;
    prepareWebIo(web, observed, *request.web);
    const IoOps fetched = webIoOps(web);
    DecodingIo decoding;
    prepareDecodingIo(decoding, fetched, nullptr, flavor, request.sourcePath, settings.encoding);
    decoding.transportEncoding = [&web]() -> std::optional<TextEncoding> {
        if (web.lastCharset.empty()) return std::nullopt;
        return encodingForLabel(web.lastCharset);
    };
    if (decoding.engineSourcePath.size() > kMaxSourcePathLength) {
        if (report != nullptr)
            report->sourceOpen = IoFailure{true, request.sourcePath, "the address is too long (at most 255 bytes)"};
        return StatusSourceError;
    }
    std::vector<LimitReport> limits;
    int32_t status = convertDecoded(decoding, settings, request, convert, limits);
    // A cancel during a download fails that page's open, which the engine may take for
    // a failure of its own before it next asks whether to go on.
    if (web.canceled && status != StatusSucceeded) status = StatusCanceled;
    if (report != nullptr) {
        takeCharacters(*report, decoding);
        report->limits = std::move(limits);
        report->pagesFetched = web.pagesFetched;
        report->fetchFailures = web.failureCount;
        // The source's own failure is the run's, told after its message rather than counted.
        if (status == StatusSourceError && !web.failures.empty() &&
            web.failures.front().address == request.sourcePath) {
            report->sourceOpen = IoFailure{true, request.sourcePath, web.failures.front().reason};
            web.failures.erase(web.failures.begin());
            report->fetchFailures -= 1;
        } else {
            report->sourceOpen = std::move(failures.readOpen);
        }
        report->fetchFailed = std::move(web.failures);
        takeLaterFailures(*report, failures);
    }
    return status;
}

int32_t runWorker(const WorkerRequest& request, const ConverterSettings& settings,
                  const IoOps& io, PathFlavor flavor, const ReferenceRules& rules,
                  const FileSystem& files, ConvertFunction convert,
                  size_t maxDestinationLength, LinkedPageReport* report,
                  const SystemErrors& errors) {
    // Says why the paths themselves were refused, for a run that never opened a file.
    auto refusePath = [report](IoFailure LinkedPageReport::*failure, const std::string& path,
                               const char* reason) {
        if (report != nullptr) report->*failure = IoFailure{true, path, reason};
    };
    if (isWebAddress(request.sourcePath)) {
        if (request.destinationPath.size() > maxDestinationLength) {
            refusePath(&LinkedPageReport::writeFailure, request.destinationPath, "the path is too long");
            return StatusDestinationError;
        }
        IoFailures failures;
        failures.inner = io;
        failures.errors = errors;
        return runWebWorker(request, settings, ioFailuresOps(failures), failures, flavor, convert, report);
    }
    const std::optional<std::string> source =
        makeSourceAbsolute(request.sourcePath, flavor, rules, files);
    if (!source) {
        refusePath(&LinkedPageReport::sourceOpen, request.sourcePath,
                   "the full path is too long (at most 255 bytes) or the current folder is unknown");
        return StatusSourceError;
    }
    if (request.destinationPath.size() > maxDestinationLength) {
        refusePath(&LinkedPageReport::writeFailure, request.destinationPath,
                   "the path is too long");
        return StatusDestinationError;
    }
    const std::string realPath = withSlashSeparators(*source, flavor);
    IoFailures failures;
    failures.inner = io;
    failures.errors = errors;
    const IoOps observed = ioFailuresOps(failures);
    PageConfinement confinement;
    preparePageConfinement(confinement, observed, files, flavor, realPath, settings.followLinksOutside);
    const IoOps confined = pageConfinementOps(confinement);
    ReadPages pages{confined, &files, request.destinationPath, request.watched, {}};
    const IoOps recorded = readPagesIoOps(pages);

    // An EPUB is converted as the site its contents page starts.
    EpubIo epub;
    IoOps beneathDecoding{};
    std::string rootPath;
    std::string refusal;
    if (!layEpubIfArchive(epub, recorded, realPath, beneathDecoding, rootPath, refusal)) {
        if (report != nullptr) report->refusal = std::move(refusal);
        return StatusSourceRefused;
    }
    ConverterSettings runSettings = settings;
    if (epub.archiveStream != 0) runSettings.maxDepth = 1;

    DecodingIo decoding;
    prepareDecodingIo(decoding, beneathDecoding, &files, flavor, rootPath, settings.encoding);
    if (decoding.engineSourcePath.size() > kMaxSourcePathLength) {
        refusePath(&LinkedPageReport::sourceOpen, request.sourcePath,
                   "the full path is too long (at most 255 bytes)");
        return StatusSourceError;
    }
    std::vector<LimitReport> limits;
    int32_t status = convertDecoded(decoding, runSettings, request, convert, limits);
    refusal = epubRunRefusal(epub);
    if (!refusal.empty()) status = StatusSourceRefused;
    if (report != nullptr) {
        report->outsideFolder = std::move(confinement.outsideFolder);
        report->notPages = std::move(confinement.notPages);
        report->read = std::move(pages.read);
        takeCharacters(*report, decoding);
        report->refusal = std::move(refusal);
        report->missingEntries = epub.package.missing;
        report->limits = std::move(limits);
        report->sourceOpen = std::move(failures.readOpen);
        takeLaterFailures(*report, failures);
    }
    return status;
}

std::optional<RunTarget> checkRunTarget(const PageValues& page, const ConverterSettings& settings,
                                        const std::string& desktopPath, bool forceOverwrite,
                                        PathFlavor flavor, const FileSystem& files,
                                        MessageSink& messages) {
    RunTarget target;
    target.sourcePath = trimBlanks(page.sourcePath);
    if (target.sourcePath.empty()) {
        messages.show(MsgNoSourceFile, messageText(MsgNoSourceFile));
        return std::nullopt;
    }
    DestinationRequest request;
    request.location = settings.destinationLocation;
    request.desktopPath = desktopPath;
    request.userFolder = page.userFolder;
    request.sourcePath = target.sourcePath;
    request.destinationFolder = settings.destinationFolder;
    request.fileName = page.fileName;
    std::optional<std::string> destination = computeDestination(request, flavor, files, messages);
    if (!destination) return std::nullopt;
    target.destinationPath = std::move(*destination);
    if (!checkSameName(target.sourcePath, target.destinationPath, flavor, files, messages))
        return std::nullopt;
    if (!checkOverwrite(forceOverwrite, target.destinationPath, files, messages))
        return std::nullopt;
    return target;
}

RunOutcome runOutcome(int32_t status, bool quiet, int32_t location) {
    RunOutcome outcome;
    outcome.succeeded = status == StatusSucceeded;
    outcome.clearChangeTracking = status != StatusCanceled;
    if (!(outcome.succeeded && quiet)) outcome.message = statusMessage(status);
    outcome.registerInstallation = outcome.succeeded && location == LocationAutoInstall;
    return outcome;
}
