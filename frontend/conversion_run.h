// frontend/conversion_run.h -- a conversion run without its windows: the checks before
// the run, the worker's making of the absolute source path and of the ConversionJob, the
// engine result mapped to a status and its message, and what follows the run. The
// Windows shell adds the thread and the progress dialog, the command line its terminal.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "driver/conversion.h"
#include "frontend/decoding_io.h"
#include "frontend/file_system.h"
#include "frontend/messages.h"
#include "frontend/path_rules.h"
#include "frontend/run_notes.h"
#include "frontend/settings.h"
#include "frontend/source_destination.h"
#include "frontend/web_io.h"

// The outcome of a run, written by the worker.
enum ConversionStatus : int32_t {
    StatusUnknownError = 0,  // any other result, or a worker stopped by force
    StatusSucceeded = 1,
    StatusCanceled = 2,
    StatusSourceError = 3,   // also: the source path could not be made absolute
    StatusDestinationError = 4,
    StatusTempError = 5,
    StatusPreprocessError = 6,
    StatusConversionError = 7,
    StatusSourceRefused = 8, // a source the toolkit will not convert: LinkedPageReport says why
};

int32_t statusForResult(int32_t result);
// MsgConversionSucceeded .. MsgUnknownError; unknown statuses give MsgUnknownError.
MessageId statusMessage(int32_t status);

// Limits of the strings the engine receives, without the terminating zero.
inline constexpr size_t kMaxSourcePathLength = 255;
inline constexpr size_t kMaxDestinationPathLength = 259;
inline constexpr size_t kMaxJobTitleLength = 35;

// The HTML pipeline's reference helpers, which the engine also uses to resolve links:
// the source path must be absolute by their rules for the root page's links to resolve.
class ReferenceRules {
public:
    virtual ~ReferenceRules() = default;
    // 1 drive, 2 UNC, 3 root, 4 http URL, 0 relative.
    virtual int pathKind(const std::string& reference) const = 0;
    // `reference` resolved against the absolute `base`; at most 255 bytes. nullopt when
    // there is no result.
    virtual std::optional<std::string> resolveReference(const std::string& base,
                                                        const std::string& reference) const = 0;
    // ".." segments applied; nullopt when one climbs above the first segment.
    virtual std::optional<std::string> normalizePath(const std::string& path) const = 0;
};

// The source path as the engine gets it: unchanged when already absolute (pathKind not
// 0), else resolved against the current directory (for "C:name", the current directory
// of drive C, with "C:" removed) and normalized, keeping the resolved path when
// normalizing fails. nullopt when the base is unknown, there is no result, or the path
// is longer than kMaxSourcePathLength; a resolved path that fills the helpers' 255 bytes
// may have been cut and is refused too.
std::optional<std::string> makeSourceAbsolute(const std::string& sourcePath, PathFlavor flavor,
                                              const ReferenceRules& rules,
                                              const FileSystem& files);

// Owns the strings a ConversionJob points to, so the job stays valid for the whole
// engine call. Neither copied nor moved: the job points into it.
class PreparedJob {
public:
    PreparedJob() = default;
    PreparedJob(const PreparedJob&) = delete;
    PreparedJob& operator=(const PreparedJob&) = delete;
    const ConversionJob& job() const { return job_; }

private:
    friend void fillConversionJob(PreparedJob&, const ConverterSettings&, const IoOps&,
                                  const std::string&, const std::string&, const std::string&);
    std::string sourcePath_;
    std::string destinationPath_;
    std::string title_;
    ConversionJob job_{};
};

// The job from the settings: the three flags as 0 or 1; slbSpaces = SLBToSpace when
// ConvertSingleLB is on, else -1; tabToLB = TabToLB under TabConversion 1, tabToSpace =
// TabToSpace under TabConversion 2, else -1; maxDepth = MaxDepth, maxPages = MaxPages. The title (UTF-8) is
// put in Windows-1252, with transliterations, and cut to kMaxJobTitleLength bytes. The
// source path is taken as the engine is to have it. `io` must outlive the job too.
void fillConversionJob(PreparedJob& owner, const ConverterSettings& settings, const IoOps& io,
                       const std::string& absoluteSourcePath,
                       const std::string& destinationPath, const std::string& title);

struct WorkerRequest {
    std::string sourcePath;       // as checked by checkRunTarget
    std::string destinationPath;  // full
    std::string title;
    // Files the caller will ask wasRead about after the run; empty: every file read is
    // reported (LinkedPageReport::read), which grows with the site.
    std::vector<std::string> watched = {};
    // How to reach the web, for an http(s) source; null: such a source is refused.
    const WebAccess* web = nullptr;
};
using ConvertFunction = int32_t (*)(const ConversionJob& job);

// The linked pages a run did not read, each by its real path, once; and what became of
// the characters of the pages it read.
struct LinkedPageReport {
    std::vector<std::string> outsideFolder;  // refused: outside the root page's folder
    std::vector<std::string> notPages;       // skipped: binary, or a size unknown or too large
    std::vector<FileIdentity> read;          // every file opened for reading, once
    int64_t transliterated = 0;              // characters transliterated or removed
    int64_t replaced = 0;                    // characters replaced by "?"
    std::vector<CharacterNote> characters;   // the first few of them
    std::vector<EncodingNote> undecodable;   // pages read by the UTF-8 rule instead
    std::string refusal;                     // why the source was refused (StatusSourceRefused)
    std::vector<std::string> missingEntries; // an EPUB's entries its package names but lacks
    std::vector<LimitReport> limits;         // each limit met that left content out
    int64_t pagesFetched = 0;                // from the web
    int64_t fetchFailures = 0;               // pages of the web that could not be had
    std::vector<WebFailure> fetchFailed;     // the first of them, with their reasons
    // The first failure of each kind beneath the engine (run_notes.h), for naming the file
    // and the reason after a failed run. sourceOpen also holds why the source path itself
    // was refused before anything was opened.
    IoFailure sourceOpen;                    // a file that could not be opened for reading
    IoFailure readFailure;                   // a file that failed while being read
    IoFailure writeFailure;                  // the destination, as the engine opened it
    IoFailure tempFailure;                   // a temporary stream
};

// The worker's whole run: source made absolute (else StatusSourceError) and spelled with
// "/" separators (withSlashSeparators), so that links back to the root page find it, a
// destination longer than `maxDestinationLength` refused with StatusDestinationError
// rather than cut to another name, the job filled and handed to `convert`
// (convertDocument in the programs), the result mapped to a status. Paths, titles and
// pages are UTF-8 on this side. The engine reaches `io` through three wrappers: the
// decoding (decoding_io.h), which presents every page in Windows-1252 (with
// settings.encoding as the override) and gets the source path in its Windows-1252 form
// (longer than kMaxSourcePathLength: StatusSourceError); below it a ReadPages record
// (read_pages.h), so the destination is never read as a page and the identity of every
// file read can be checked before anything is put in place; and below that the page
// confinement (page_confinement.h), with the folder rule lifted by
// settings.followLinksOutside. A zip archive is taken as an EPUB (epub_io.h): the
// archive wrapper goes between the decoding and the rest, the engine starts from the
// generated contents page, and the depth is 1, so that exactly the spine's chapters are
// converted; an archive that is no EPUB, or a refused one, gives StatusSourceRefused
// before the engine runs (or, for an entry found damaged, after it stopped). When
// `report` is given it receives what was refused and skipped, what was read and what
// became of its characters, why a source was refused, the limits the engine met and the
// first failures beneath it, with the reasons `errors` gives for `io`'s failures.
int32_t runWorker(const WorkerRequest& request, const ConverterSettings& settings,
                  const IoOps& io, PathFlavor flavor, const ReferenceRules& rules,
                  const FileSystem& files, ConvertFunction convert,
                  size_t maxDestinationLength = kMaxDestinationPathLength,
                  LinkedPageReport* report = nullptr, const SystemErrors& errors = {});

struct RunTarget {
    std::string sourcePath;  // blanks trimmed
    std::string destinationPath;
};
// The checks before a run, after both pages were committed: a source (MsgNoSourceFile
// when blank), the destination computed for the saved location, the same-file check and
// the overwrite question. nullopt when one refused (it showed its own message, except an
// unknown location); the shell then makes the Source/Destination page active.
std::optional<RunTarget> checkRunTarget(const PageValues& page, const ConverterSettings& settings,
                                        const std::string& desktopPath, bool forceOverwrite,
                                        PathFlavor flavor, const FileSystem& files,
                                        MessageSink& messages);

// What follows a run that reached the worker.
struct RunOutcome {
    bool clearChangeTracking = false;       // every run but a canceled one
    std::optional<MessageId> message;       // nothing for a quiet success
    bool registerInstallation = false;      // success with automatic installation
    bool succeeded = false;                 // runConversion's answer
};
RunOutcome runOutcome(int32_t status, bool quiet, int32_t location);
