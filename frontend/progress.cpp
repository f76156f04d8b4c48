// frontend/progress.cpp -- see progress.h.
#include "frontend/progress.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

#include "engine/io_ops.h"
#include "frontend/messages.h"

int32_t answerProgress(ProgressChannel& channel, int32_t stage, const void* argument) {
    if (channel.takeCancelRequest()) return 0;
    if (!channel.lockFields()) return 1;  // never hold the engine up for the display
    ProgressFields& fields = channel.fields();
    if (stage == StageCurrentPage) {
        const char* name = static_cast<const char*>(argument);
        fields.percent = 0;
        fields.pageText = name == nullptr ? std::string()
                                          : std::string(name, strnlen(name, kMaxPageTextLength));
        fields.pageTextPending = true;
    } else if (stage == StagePercent) {
        if (argument != nullptr) {
            int32_t percent;
            std::memcpy(&percent, argument, sizeof percent);
            fields.percent = percent;
        }
    } else if (stage == StagePageProgress) {
        if (argument != nullptr) {
            PageProgress progress;
            std::memcpy(&progress, argument, sizeof progress);
            fields.page = progress.page;
            fields.pagesKnown = progress.known;
        }
    } else if (stage >= StageParseHtml && stage <= StageCompressText) {
        fields.stage = stage;
        fields.percent = 0;
    }
    channel.unlockFields();
    return 1;
}

int32_t reportProgressToChannel(void* userData, int32_t stage, void* argument) {
    return answerProgress(*static_cast<ProgressChannel*>(userData), stage, argument);
}

std::optional<ProgressFields> takeProgressSnapshot(ProgressChannel& channel) {
    if (!channel.lockFields()) return std::nullopt;
    ProgressFields& fields = channel.fields();
    std::optional<ProgressFields> snapshot = fields;
    fields.stage = -1;
    fields.pageTextPending = false;
    channel.unlockFields();
    return snapshot;
}

ProgressDisplay progressDisplay(const ProgressFields& snapshot) {
    ProgressDisplay display;
    display.barPosition = snapshot.percent < 0 ? 0 : snapshot.percent > 100 ? 100 : snapshot.percent;
    display.percentText = std::to_string(display.barPosition) + "%";
    if (snapshot.stage != -1) {
        const char* step = stepText(snapshot.stage);
        if (step != nullptr) display.stepLine = step;
    }
    if (snapshot.pageTextPending) display.pageLine = snapshot.pageText;
    if (snapshot.page > 0)
        display.pageCount = "page " + std::to_string(snapshot.page) + " of " +
                            std::to_string(std::max(snapshot.page, snapshot.pagesKnown)) + " known";
    // Formatting works on the whole document, so the last page name would mislead.
    if (snapshot.stage == StageFormatHtml) display.pageLine = std::string();
    return display;
}

void LocalProgressChannel::reset() {
    cancel_.store(false);
    std::lock_guard<std::mutex> hold(lock_);
    fields_ = ProgressFields();
}

bool LocalProgressChannel::lockFields() {
    // Polled rather than a timed mutex's wait: the other side holds the lock only to copy
    // a few fields, and a plain try_lock is a call every thread checker understands (the
    // C library's clocked lock behind try_lock_for is not).
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(1000);
    while (!lock_.try_lock()) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return true;
}
