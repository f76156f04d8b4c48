// frontend/run_notes.h -- what a run leaves to be said after it: the limits the engine
// met that left content out, and which file failed and why. Two IoOps wrappers gather
// them: the limits at the top, where the engine reports progress, and the failures at
// the bottom, right over the platform's table, where the system's reason is still known.
// Neither changes a call's answer; the wording of the messages is here too, so the
// command line and the Windows program say the same.
#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "engine/io_ops.h"

// Notes each StageLimitReached report and hands every report on; with no progress slot
// beneath, it answers "go on".
struct LimitNotes {
    IoOps inner{};                    // borrowed for the whole run
    std::vector<LimitReport> limits;  // in the order reported
};
IoOps limitNotesOps(LimitNotes& state);

// How the platform beneath tells why its last failing call on this thread failed. Either
// slot may be empty: the reasons are then unknown, the files still named.
struct SystemErrors {
    void (*clear)() = nullptr;
    std::string (*reason)() = nullptr;  // "" when the last failure gave none
};

struct IoFailure {
    bool happened = false;
    std::string path;    // as the engine opened it; "" for a temporary stream
    std::string reason;  // the system's words, "" when unknown
};

// The first failure of each kind. A failed open for reading is not a failure of the run
// by itself (a missing linked page is skipped), so it is kept apart; a short read counts
// only when the system reported an error, since the end of a stream is one too.
struct IoFailures {
    IoOps inner{};          // borrowed for the whole run
    SystemErrors errors;
    IoFailure readOpen;     // opening a file for reading
    IoFailure read;         // reading an open file
    IoFailure written;      // opening, writing, seeking in or closing a file being written
    IoFailure temporary;    // creating or using a temporary stream
    struct Stream {
        std::string path;
        bool temporary;
        bool writable;
    };
    std::map<uint32_t, Stream> open;  // every handle handed out and not yet closed
};
// Forgets any failure left over on this thread, so the first one seen is the run's own.
IoOps ioFailuresOps(IoFailures& state);

// "stopped after 32000 pages; 18000 more were queued: use --max-pages" for LimitPages,
// "3 links were left out: their addresses are longer than 255 bytes" for
// LimitLongReferences, a line naming the limit for any other kind. `remedy` is what lifts the page limit where
// the message is read ("use --max-pages", "raise MaxPages in the registry").
std::string limitMessage(const LimitReport& report, const std::string& remedy);

// The most text bytes one book holds: with the handheld's chunk and group sizes, one more
// would need more than 65535 text records.
int64_t maxBookTextBytes();
// Why a source of `sizeBytes` may have failed as too long for one book, or "" when it
// fits: "272629760 bytes, more than the 238596096 bytes of text one book holds (65535
// records)".
std::string tooLongReason(int64_t sizeBytes);
