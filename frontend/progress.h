// frontend/progress.h -- the front end's side of the engine's progress reports: what
// reportProgress answers and records, and what the progress display makes of a snapshot.
// The state shared by the worker and the display sits behind ProgressChannel, so the
// Windows program can back it with its mutex and auto-reset event while the command line
// and the tests use LocalProgressChannel.
#pragma once
#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>

// The fields guarded by the channel's lock.
struct ProgressFields {
    int32_t percent = 0;
    int32_t stage = -1;            // last step started (0..5), -1 when none is waiting
    bool pageTextPending = false;  // pageText is new and not yet shown
    std::string pageText;          // current page name, at most kMaxPageTextLength
    int32_t page = 0;              // the HTML page being converted, 1-based; 0 before any
    int32_t pagesKnown = 0;        // pages known so far: converted, being converted, queued
};

inline constexpr size_t kMaxPageTextLength = 255;

class ProgressChannel {
public:
    virtual ~ProgressChannel() = default;
    // True when cancel was requested since the last call; testing clears the request
    // (an auto-reset event). Never waits.
    virtual bool takeCancelRequest() = 0;
    // Takes the lock, waiting at most 1000 ms; false when it could not be had.
    virtual bool lockFields() = 0;
    virtual void unlockFields() = 0;
    // Only between a successful lockFields and unlockFields.
    virtual ProgressFields& fields() = 0;
};

// reportProgress's answer: 0 (cancel) when cancel was requested; otherwise records the
// report under the lock (StageCurrentPage: page text pending and percent 0; StagePercent:
// the percentage `argument` points to; StagePageProgress: the page and the pages known;
// stages 0..5: the stage and percent 0; others nothing) and answers 1. When the lock cannot be had it records nothing and answers 1.
int32_t answerProgress(ProgressChannel& channel, int32_t stage, const void* argument);
// An IoOps reportProgress whose userData is a ProgressChannel*.
int32_t reportProgressToChannel(void* userData, int32_t stage, void* argument);

// The display's tick: a copy of the fields taken under the lock, after which the stage
// becomes -1 and the page text is no longer pending. nullopt when the lock could not be
// had; the tick then skips its display update.
std::optional<ProgressFields> takeProgressSnapshot(ProgressChannel& channel);

// What one tick shows.
struct ProgressDisplay {
    int32_t barPosition = 0;                // percent limited to 0..100
    std::string percentText;                // "NN%"
    std::optional<std::string> stepLine;    // a new step line, when a stage was started
    std::optional<std::string> pageLine;    // a new current-page line ("" empties it)
    std::string pageCount;                  // "page 37 of 173 known", "" before any page
};
ProgressDisplay progressDisplay(const ProgressFields& snapshot);

// A channel on the standard library: a mutex taken with a bounded wait, and an atomic
// cancel flag.
class LocalProgressChannel : public ProgressChannel {
public:
    // Back to the reset values of a new run; no cancel pending.
    void reset();
    // What the "Cancel" button and Ctrl-C do.
    void requestCancel() { cancel_.store(true); }

    bool takeCancelRequest() override { return cancel_.exchange(false); }
    bool lockFields() override;
    void unlockFields() override { lock_.unlock(); }
    ProgressFields& fields() override { return fields_; }

private:
    std::atomic<bool> cancel_{false};
    std::mutex lock_;
    ProgressFields fields_;
};
