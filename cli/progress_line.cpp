// cli/progress_line.cpp -- see progress_line.h.
#include "cli/progress_line.h"

#include <chrono>

#include "cli/console.h"

static constexpr int kBarCells = 20;

namespace {

// One character of UTF-8 text: its bytes and the columns a terminal gives it.
struct Glyph {
    std::string bytes;
    int columns;
};

// Columns of code point `c`: two for the East Asian wide and fullwidth blocks and the
// pictographs, else one. Counting a combining mark as one only errs on the narrow side.
int columnsOf(uint32_t c) {
    const bool wide = (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0xA4CF) ||
                      (c >= 0xAC00 && c <= 0xD7A3) || (c >= 0xF900 && c <= 0xFAFF) ||
                      (c >= 0xFE30 && c <= 0xFE4F) || (c >= 0xFF00 && c <= 0xFF60) ||
                      (c >= 0xFFE0 && c <= 0xFFE6) || (c >= 0x1F300 && c <= 0x1FAFF) ||
                      (c >= 0x20000 && c <= 0x3FFFD);
    return wide ? 2 : 1;
}

// The glyphs of `text`. A control character, and a byte that starts no valid sequence,
// becomes "?": page names come from the files being read.
std::vector<Glyph> glyphsOf(const std::string& text) {
    std::vector<Glyph> glyphs;
    size_t at = 0;
    while (at < text.size()) {
        const auto lead = static_cast<unsigned char>(text[at]);
        const int length = lead < 0x80 ? 1 : lead < 0xC2 ? 0 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3
                         : lead < 0xF5 ? 4 : 0;
        uint32_t c = lead & (length == 1 ? 0x7Fu : length == 2 ? 0x1Fu : length == 3 ? 0x0Fu : 0x07u);
        bool valid = length > 0 && at + static_cast<size_t>(length) <= text.size();
        for (int i = 1; valid && i < length; ++i) {
            const auto next = static_cast<unsigned char>(text[at + static_cast<size_t>(i)]);
            valid = (next & 0xC0) == 0x80;
            c = c << 6 | (next & 0x3Fu);
        }
        // C1 controls (U+0080..U+009F) act on terminals as ESC sequences do.
        if (!valid || c < 0x20 || c == 0x7F || (c >= 0x80 && c < 0xA0)) {
            glyphs.push_back({"?", 1});
            at += valid ? static_cast<size_t>(length) : 1;
            continue;
        }
        glyphs.push_back({text.substr(at, static_cast<size_t>(length)), columnsOf(c)});
        at += static_cast<size_t>(length);
    }
    return glyphs;
}

// `text` made safe and cut to at most `columns` columns.
std::string fitted(const std::string& text, int columns) {
    std::string out;
    int used = 0;
    for (const Glyph& glyph : glyphsOf(text)) {
        if (used + glyph.columns > columns) break;
        out += glyph.bytes;
        used += glyph.columns;
    }
    return out;
}

int widthOf(const std::string& text) {
    int columns = 0;
    for (const Glyph& glyph : glyphsOf(text)) columns += glyph.columns;
    return columns;
}

// The end of `text` made safe, in at most `columns` columns.
std::string fittedEnd(const std::string& text, int columns) {
    const std::vector<Glyph> glyphs = glyphsOf(text);
    size_t first = glyphs.size();
    for (int used = 0; first > 0 && used + glyphs[first - 1].columns <= columns; --first)
        used += glyphs[first - 1].columns;
    std::string out;
    for (size_t i = first; i < glyphs.size(); ++i) out += glyphs[i].bytes;
    return out;
}

}  // namespace

std::string progressLine(const std::string& prefix, const std::string& step,
                         const std::string& pageCount, const std::string& page,
                         int32_t barPosition, int columns) {
    const int32_t filled = barPosition * kBarCells / 100;
    std::string bar = " [";
    bar.append(static_cast<size_t>(filled), '#');
    bar.append(static_cast<size_t>(kBarCells - filled), '-');
    bar += "] ";
    const std::string percent = std::to_string(barPosition) + "%";
    bar.append(4 - percent.size(), ' ');
    bar += percent;

    // The count goes before the name: cut from the end, the name is what goes first. A
    // name that does not fit keeps its end ("...docs/page.html"), which tells pages apart.
    std::string text = prefix + step;
    if (!pageCount.empty()) text += (text.size() == prefix.size() ? "" : " ") + pageCount;
    const int room = columns - 1 - static_cast<int>(bar.size());
    if (room <= 0) return fitted(bar.substr(1), columns > 1 ? columns - 1 : 0);
    if (!page.empty()) {
        const std::string separator = text.size() == prefix.size() ? "" : " ";
        const int pageRoom = room - widthOf(text + separator);
        if (widthOf(page) <= pageRoom) return fitted(text + separator + page, room) + bar;
        constexpr int kShortestEnd = 4;  // "..." and at least one column of the name
        if (pageRoom >= kShortestEnd) return fitted(text + separator + "..." + fittedEnd(page, pageRoom - 3), room) + bar;
    }
    return fitted(text, room) + bar;
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
            shown.pageCount = display.pageCount;
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
    // The width is asked at every redraw, so a resized terminal is followed at once.
    console::showProgressLine(progressLine(prefix, shown.step, shown.pageCount, shown.page,
                                           shown.barPosition, console::terminalColumns()));
}
