// cli/convert_command.cpp -- see convert_command.h. Every check runs on the main thread
// before the first conversion starts, so a question is never asked while a progress line
// is being drawn, and two sources can be kept from writing the same file.
#include "cli/convert_command.h"

#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstdlib>
#include <memory>
#include <thread>

#include "cli/console.h"
#include "cli/exit_status.h"
#include "cli/overwrite_check.h"
#include "cli/preview_command.h"
#include "cli/progress_line.h"
#include "cli/staged_file.h"
#include "driver/conversion.h"
#include "platform/standard_io.h"
#include "frontend/conversion_run.h"
#include "frontend/decoding_io.h"
#include "frontend/engine_title_probes.h"
#include "frontend/html_reference_rules.h"
#include "frontend/posix_file_system.h"
#include "frontend/read_pages.h"
#include "frontend/source_destination.h"
#include "frontend/web_source.h"
#include "frontend/web_io.h"

namespace {

struct Planned {
    std::string source;  // blanks trimmed
    std::string destination;
    std::string previewPath;  // empty without --preview
    std::string title;
    std::string prefix;  // in front of this source's messages
    int exitStatus = ExitSuccess;
    // Whether an existing file may be replaced (-y or the user's yes); else the name must
    // still be free when the file is put in place.
    bool replaceDestination = false;
    bool replacePage = false;
    JobProgress progress;
};

// The engine's reportProgress: userData is the job's progress. An interrupt becomes the
// job's cancel request, which the front end's answer turns into 0.
int32_t reportJobProgress(void* userData, int32_t stage, void* argument) {
    JobProgress& progress = *static_cast<JobProgress*>(userData);
    if (console::interruptSignal() != 0) progress.channel.requestCancel();
    return answerProgress(progress.channel, stage, argument);
}

enum class OutputKind { BesideSource, IntoFolder, AsFile };

// Where the preview page of `destination` goes, and the checks that keep it from
// replacing a source, the database itself or another file this command writes. A page
// beside its database is the source's own name whenever an HTML page is converted in
// its folder, so this refusal is the one that protects the user's site. Refusals show
// their own message, set the exit status and return false.
bool planPreview(Planned& job, const ConvertRequest& request, const std::string& destination,
                 const std::vector<std::unique_ptr<Planned>>& earlier, const FileSystem& files) {
    const std::string page = previewPathFor(destination);
    std::string clash;
    if (sameFile(page, destination, PathFlavor::Posix, files))
        clash = " would be both the database and its preview page; give the database a .pdb name.";
    for (const std::string& source : request.sources)
        if (clash.empty() && sameFile(trimBlanks(source), page, PathFlavor::Posix, files))
            clash = " is a source of this command, and the preview page would replace it; "
                    "-o puts the database and its preview elsewhere.";
    for (const std::unique_ptr<Planned>& other : earlier) {
        if (!clash.empty()) break;
        for (const std::string* written : {&other->destination, &other->previewPath})
            if (!written->empty() && sameFile(*written, page, PathFlavor::Posix, files))
                clash = " is also written for " + other->source + ".";
    }
    if (!clash.empty()) {
        console::printError(job.prefix + page + clash);
        job.exitStatus = ExitRefused;
        return false;
    }
    job.exitStatus = confirmOverwrite(page, request.force, job.prefix, files, job.replacePage);
    if (job.exitStatus != ExitSuccess) return false;
    job.previewPath = page;
    return true;
}

// Destination, same-file, duplicate and overwrite checks for one source. Refusals show
// their own message and set the exit status.
void plan(Planned& job, const ConvertRequest& request, OutputKind kind,
          const std::vector<std::unique_ptr<Planned>>& earlier, const FileSystem& files,
          TitleProbes& probes) {
    ConsoleMessages messages(job.prefix);
    if (job.source.empty()) {
        messages.show(MsgNoSourceFile, messageText(MsgNoSourceFile));
        job.exitStatus = ExitRefused;
        return;
    }
    ChangeTracker tracker;
    // A page on the web has no folder here: its book goes to the current one.
    const bool fromWeb = isWebAddress(job.source);
    const Proposal proposal = fromWeb ? proposeWebTitleAndName(job.source)
                                      : proposeTitleAndName(job.source, PathFlavor::Posix, tracker, probes);
    job.title = request.title ? *request.title : proposal.title.value_or("");

    DestinationRequest where;
    where.sourcePath = job.source;
    where.fileName = proposal.fileName.value_or("");
    where.location = kind == OutputKind::BesideSource && !fromWeb ? LocationSourceFolder : LocationChosenFolder;
    if (kind == OutputKind::BesideSource && fromWeb) where.destinationFolder = ".";
    if (kind == OutputKind::IntoFolder) where.destinationFolder = request.output;
    if (kind == OutputKind::AsFile) {
        const PathParts parts = splitPath(request.output, PathFlavor::Posix);
        where.destinationFolder = parts.folder;
        where.fileName = parts.baseName + parts.extension;
    }
    std::optional<std::string> destination =
        computeDestination(where, PathFlavor::Posix, files, messages);
    if (!destination ||
        !checkSameName(job.source, *destination, PathFlavor::Posix, files, messages)) {
        job.exitStatus = ExitRefused;
        return;
    }
    for (const std::unique_ptr<Planned>& other : earlier) {
        // Parallel jobs must not race for one file, nor one read what another writes.
        std::string clash;
        if (!other->destination.empty() &&
            sameFile(other->destination, *destination, PathFlavor::Posix, files))
            clash = " is also the destination of " + other->source + ".";
        else if (sameFile(other->source, *destination, PathFlavor::Posix, files))
            clash = " is also a source of this command.";
        else if (!other->previewPath.empty() &&
                 sameFile(other->previewPath, *destination, PathFlavor::Posix, files))
            clash = " is also the preview page of " + other->source + ".";
        if (!clash.empty()) {
            console::printError(job.prefix + *destination + clash);
            job.exitStatus = ExitRefused;
            return;
        }
    }
    job.exitStatus =
        confirmOverwrite(*destination, request.force, job.prefix, files, job.replaceDestination);
    if (job.exitStatus != ExitSuccess) return;
    if (request.preview && !planPreview(job, request, *destination, earlier, files)) return;
    job.destination = std::move(*destination);
}

// After a successful run: refuses when the database or its page would replace a page the
// run read (the same site converted over one of its own pages), else puts the database in
// place. ExitSuccess, a refusal it has shown, or ExitDestinationError unshown.
int placeDatabase(const Planned& job, StagedFile& staged, const std::vector<FileIdentity>& pagesRead,
                  const FileSystem& files) {
    for (const std::string* replaced : {&job.destination, &job.previewPath}) {
        if (!replaced->empty() && wasRead(pagesRead, *replaced, files)) {
            console::printError(job.prefix + *replaced +
                                " is a page this conversion read; it is left as it was.");
            return ExitRefused;
        }
    }
    return commitStaged(staged, job.replaceDestination, job.destination, job.prefix,
                        ExitDestinationError);
}

// After the result: what became of characters the handheld lacks, and with --verbose the
// first few of them and the pages whose encoding could not be decoded here.
void reportCharacters(const Planned& job, const ConvertRequest& request,
                      const LinkedPageReport& report) {
    if (request.verbose) {
        for (const EncodingNote& note : report.undecodable)
            console::printError(job.prefix + note.page + ": the encoding " + note.encoding +
                                " cannot be decoded here; read as UTF-8 and Windows-1252");
    }
    if (request.quiet) return;
    const std::string counts = characterCountMessage(report.transliterated, report.replaced);
    if (counts.empty()) return;
    console::printLine(job.prefix + counts);
    if (request.verbose)
        for (const CharacterNote& note : report.characters)
            console::printLine(job.prefix + "  " + describeCharacter(note));
}

// After the result: the linked pages the run did not read. The count is shown even with
// --quiet, since the book then lacks pages the user may expect in it.
void reportLinkedPages(const Planned& job, const ConvertRequest& request,
                       const LinkedPageReport& report) {
    if (request.verbose) {
        for (const std::string& path : report.outsideFolder)
            console::printError(job.prefix + "outside the folder, not followed: " + path);
        for (const std::string& path : report.notPages)
            console::printError(job.prefix + "not a text page, not followed: " + path);
        for (const std::string& entry : report.missingEntries)
            console::printError(job.prefix + "named by the book but missing from it, skipped: " + entry);
        for (const WebFailure& failure : report.fetchFailed)
            console::printError(job.prefix + "not fetched: " + failure.address + ": " + failure.reason);
        if (report.fetchFailures > static_cast<int64_t>(report.fetchFailed.size()))
            console::printError(job.prefix + "and " +
                                std::to_string(report.fetchFailures - static_cast<int64_t>(report.fetchFailed.size())) +
                                " more not fetched");
    }
    if (report.fetchFailures > 0) console::printError(job.prefix + webFailureCountMessage(report.fetchFailures));
    const size_t count = report.outsideFolder.size();
    if (count == 0) return;
    const bool one = count == 1;
    console::printError(job.prefix + std::to_string(count) + (one ? " linked page" : " linked pages") +
                        " outside " + job.source + "'s folder " + (one ? "was" : "were") +
                        " not followed; use --follow-links-outside to include " +
                        (one ? "it" : "them"));
}

// After the result: each limit that left pages out. Shown even with --quiet, like the
// pages outside the folder: the book lacks what the user may expect in it.
void reportLimits(const Planned& job, const LinkedPageReport& report) {
    for (const LimitReport& limit : report.limits)
        console::printError(job.prefix + limitMessage(limit, "use --max-pages"));
}

// The system's words for a failure of the staged file (create or commit).
std::string systemText(int error) { return error != 0 ? standardIoErrorText(error) : std::string(); }

// Whether `path` is a PalmDoc database, by the same test the engine makes.
bool isPalmDocFile(const std::string& path) {
    const uint32_t stream = standardIoOps.openStream(standardIoOps.userData, path.c_str(), 0);
    if (stream == 0) return false;
    const bool doc = isDocSource(standardIoOps, stream);
    standardIoOps.closeStream(standardIoOps.userData, stream);
    return doc;
}

// After a failed run's message: the file that failed and why, as far as it is known.
void reportFailure(const Planned& job, int32_t status, const LinkedPageReport& report,
                   const std::string& stagedPath, int stagedError) {
    // The engine writes the staged file; the user knows it by the destination's name.
    auto named = [&](const std::string& path) { return path == stagedPath ? job.destination : path; };
    auto say = [](const std::string& file, const std::string& reason, const char* otherwise) {
        console::printError(file + ": " + (reason.empty() ? otherwise : reason));
    };
    const char* folder = std::getenv("TMPDIR");
    const std::string temporaries =
        std::string("a temporary file in ") + (folder != nullptr && *folder != '\0' ? folder : "/tmp");
    switch (status) {
        case StatusSourceError:
            say(job.source, report.sourceOpen.reason, "cannot be opened");
            return;
        case StatusTempError:
            say(temporaries, report.tempFailure.reason, "cannot be created");
            return;
        case StatusDestinationError:
            if (report.writeFailure.happened)
                say(named(report.writeFailure.path), report.writeFailure.reason, "cannot be written");
            else
                say(job.destination, systemText(stagedError), "cannot be written");
            return;
        case StatusPreprocessError:
        case StatusConversionError:
        case StatusUnknownError:
            break;
        default:
            return;
    }
    if (report.writeFailure.happened) {
        say(named(report.writeFailure.path), report.writeFailure.reason, "cannot be written");
    } else if (report.tempFailure.happened) {
        say(temporaries, report.tempFailure.reason, "cannot be written");
    } else if (report.readFailure.happened) {
        say(report.readFailure.path, report.readFailure.reason, "cannot be read");
    } else {
        // Nothing failed beneath the engine: a PalmDoc database whose records do not
        // decode, or a text too long for one book, the one failure its size shows.
        struct stat info {};
        if (status == StatusPreprocessError && isPalmDocFile(job.source)) {
            console::printError(job.source + ": a damaged PalmDoc database: its text records cannot be decoded");
        } else if (stat(job.source.c_str(), &info) == 0) {
            const std::string tooLong = tooLongReason(static_cast<int64_t>(info.st_size));
            if (!tooLong.empty()) console::printError(job.source + ": " + tooLong);
        }
    }
}

// One conversion on the calling thread, from staging to the result message.
void convertOne(Planned& job, const ConvertRequest& request, const FileSystem& files,
                const ReferenceRules& rules, WebHostTurns& hostTurns) {
    int32_t status = StatusCanceled;
    int refusal = ExitSuccess;  // shown where it was found
    LinkedPageReport linkedPages;
    std::string stagedPath;
    int stagedError = 0;
    if (console::interruptSignal() == 0) {
        job.progress.phase.store(JobProgress::Running);
        StagedFile staged;
        if (!staged.create(job.destination, request.umaskBits)) {
            status = StatusDestinationError;
        } else {
            IoOps io = standardIoOps;  // its operations never look at userData
            io.userData = &job.progress;
            io.reportProgress = reportJobProgress;
            // Only the database's and its page's places are asked about afterwards.
            WorkerRequest worker{job.source, staged.temporaryPath(), job.title};
            // A page on the web: the fetcher, the places the run may go, its politeness.
            std::unique_ptr<CurlWeb> web;
            std::string webRefusal;
            if (isWebAddress(job.source)) {
                WebRunOptions options;
                options.mode = request.followHosts                     ? WebScopeMode::AnyHost
                               : request.settings.followLinksOutside ? WebScopeMode::WholeHost
                                                                     : WebScopeMode::BelowRoot;
                options.waitSeconds = request.waitSeconds;
                options.timeoutSeconds = request.timeoutSeconds;
                options.turns = &hostTurns;
                web = std::make_unique<CurlWeb>(options);
                JobProgress* progress = &job.progress;
                // The line shows the address being fetched, as it shows the page converted.
                auto fetching = [progress](const std::string& address) {
                    reportJobProgress(progress, StageCurrentPage, const_cast<char*>(address.c_str()));
                };
                if (web->start(job.source, [] { return console::interruptSignal() == 0; }, fetching, webRefusal)) {
                    worker.sourcePath = web->root();
                    worker.web = &web->access();
                }
            }
            worker.watched = {job.destination};
            if (!job.previewPath.empty()) worker.watched.push_back(job.previewPath);
            stagedPath = staged.temporaryPath();
            // The reasons are this thread's: parallel jobs never see each other's.
            SystemErrors errors;
            errors.clear = &clearStandardIoError;
            errors.reason = [] { return standardIoErrorText(standardIoError()); };
            // The engine takes any destination length; the limit is the system's.
            if (!webRefusal.empty()) {
                linkedPages.sourceOpen = IoFailure{true, job.source, webRefusal};
                status = StatusSourceError;
            } else {
                status = runWorker(worker, request.settings, io, PathFlavor::Posix, rules, files,
                                   convertDocument, PATH_MAX, &linkedPages, errors);
            }
            if (status == StatusSucceeded) {
                refusal = placeDatabase(job, staged, linkedPages.read, files);
                if (refusal == ExitDestinationError) {
                    refusal = ExitSuccess;
                    status = StatusDestinationError;
                }
            }
        }
        stagedError = staged.error();
        job.progress.phase.store(JobProgress::Finished);
    }
    if (refusal != ExitSuccess) {
        job.exitStatus = refusal;
        return;
    }
    job.exitStatus = exitStatusFor(status);
    const RunOutcome outcome = runOutcome(status, request.quiet, LocationSourceFolder);
    if (outcome.message) {
        // The success and cancel messages read as results, not as complaints.
        // A refusal names the file itself, and why.
        const std::string text =
            status == StatusSourceRefused
                ? messageText(MsgSourceRefused, job.source + ": " + linkedPages.refusal)
                : job.prefix + messageText(*outcome.message);
        if (messageEntry(*outcome.message).icon == MessageIcon::Error) {
            console::printError(text);
            reportFailure(job, status, linkedPages, stagedPath, stagedError);
        } else {
            console::printLine(text);
        }
    }
    if (status == StatusSucceeded) reportLimits(job, linkedPages);
    if (status == StatusSucceeded) reportCharacters(job, request, linkedPages);
    reportLinkedPages(job, request, linkedPages);
    // The database stands; a page that cannot be written is a failure of its own.
    if (status == StatusSucceeded && !job.previewPath.empty())
        job.exitStatus =
            writePreview(job.destination, job.previewPath, job.replacePage, request.umaskBits);
}

}  // namespace

int runConvert(const ConvertRequest& request) {
    const PosixFileSystem files;
    const HtmlReferenceRules rules;
    EngineTitleProbes probes(standardIoOps, request.settings.encoding);
    const bool several = request.sources.size() > 1;

    OutputKind kind = OutputKind::BesideSource;
    if (!request.output.empty()) {
        kind = files.lookup(request.output) == PathLookup::Folder || request.output.back() == '/'
                   ? OutputKind::IntoFolder
                   : OutputKind::AsFile;
        if (several && kind != OutputKind::IntoFolder) {
            console::printError("with several sources, -o must name a folder: " + request.output);
            return ExitUsage;
        }
    }

    std::vector<std::unique_ptr<Planned>> jobs;
    std::vector<Planned*> runnable;
    for (const std::string& source : request.sources) {
        auto job = std::make_unique<Planned>();
        job->source = trimBlanks(source);
        job->progress.label = source;
        if (several) job->prefix = source + ": ";
        if (console::interruptSignal() != 0) {
            job->exitStatus = ExitCanceled;  // interrupted at a question: ask nothing more
        } else {
            plan(*job, request, kind, jobs, files, probes);
            if (job->exitStatus == ExitSuccess) runnable.push_back(job.get());
        }
        jobs.push_back(std::move(job));
    }

    {
        std::unique_ptr<ProgressLine> progressLine;
        if (!request.quiet && console::errorIsTerminal() && !runnable.empty()) {
            std::vector<JobProgress*> shown;
            for (Planned* job : runnable) shown.push_back(&job->progress);
            progressLine = std::make_unique<ProgressLine>(std::move(shown));
        }
        std::atomic<size_t> next{0};
        // Parallel runs from one host take turns at it, as one run does.
        WebHostTurns hostTurns;
        auto worker = [&] {
            for (size_t i = next++; i < runnable.size(); i = next++)
                convertOne(*runnable[i], request, files, rules, hostTurns);
        };
        const size_t threads = std::min(runnable.size(), static_cast<size_t>(request.jobs));
        std::vector<std::thread> pool;
        for (size_t i = 1; i < threads; ++i) pool.emplace_back(worker);
        worker();
        for (std::thread& thread : pool) thread.join();
    }

    int status = ExitSuccess;
    bool canceled = false;
    for (const std::unique_ptr<Planned>& job : jobs) {
        if (status == ExitSuccess) status = job->exitStatus;
        canceled = canceled || job->exitStatus == ExitCanceled;
    }
    // An interrupt that stopped something ends the program as the signal would have; one
    // that came too late to stop anything does not.
    if (canceled && console::interruptSignal() != 0) console::endBySignal(console::interruptSignal());
    return status;
}
