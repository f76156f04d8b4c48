// cli/progress_line.cpp -- see progress_line.h.
#include "cli/progress_line.h"

#include <chrono>

#include "cli/console.h"

static constexpr int kBarCells = 20;

// At most `width` bytes of `text`, not ending inside a UTF-8 sequence.
static std::string cutToWidth(const std::string& text, size_t width) {
    if (text.size() <= width) return text;
    size_t end = width;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
    return text.substr(0, end);
}

std::string progressLine(const std::string& prefix, const std::string& step,
                         const std::string& page, int32_t barPosition, int columns) {
    const int32_t filled = barPosition * kBarCells / 100;
    std::string bar = " [";
    bar.append(static_cast<size_t>(filled), '#');
    bar.append(static_cast<size_t>(kBarCells - filled), '-');
    bar += "] ";
    const std::string percent = std::to_string(barPosition) + "%";
    bar.append(4 - percent.size(), ' ');
    bar += percent;

    std::string text = prefix + step;
    if (!page.empty()) text += (step.empty() ? "" : " ") + page;
    const int room = columns - 1 - static_cast<int>(bar.size());
    if (room <= 0) return cutToWidth(bar.substr(1), static_cast<size_t>(columns > 1 ? columns - 1 : 0));
    return cutToWidth(text, static_cast<size_t>(room)) + bar;
}

ProgressLine::ProgressLine(std::vector<JobProgress*> jobs)
    : jobs_(std::move(jobs)), shown_(jobs_.size()) {
    thread_ = std::thread([this] { run(); });
}

ProgressLine::~ProgressLine() {
    stop_.store(true);
    thread_.join();
    console::showProgressLine("");
}

void ProgressLine::run() {
    while (!stop_.load()) {
        tick();
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
}

void ProgressLine::tick() {
    int first = -1;
    for (size_t i = 0; i < jobs_.size(); ++i) {
        if (jobs_[i]->phase.load() != JobProgress::Running) continue;
        // Every running job's snapshot is taken, so none of its step or page changes is
        // lost while another job is the one shown.
        const std::optional<ProgressFields> snapshot = takeProgressSnapshot(jobs_[i]->channel);
        if (snapshot) {
            const ProgressDisplay display = progressDisplay(*snapshot);
            Shown& shown = shown_[i];
            shown.barPosition = display.barPosition;
            if (display.stepLine) shown.step = *display.stepLine;
            if (display.pageLine) shown.page = *display.pageLine;
        }
        if (first < 0) first = static_cast<int>(i);
    }
    if (first < 0) {
        console::showProgressLine("");
        return;
    }
    std::string prefix;
    if (jobs_.size() > 1)
        prefix = "[" + std::to_string(first + 1) + "/" + std::to_string(jobs_.size()) + "] " +
                 jobs_[static_cast<size_t>(first)]->label + ": ";
    const Shown& shown = shown_[static_cast<size_t>(first)];
    console::showProgressLine(
        progressLine(prefix, shown.step, shown.page, shown.barPosition, console::terminalColumns()));
}
