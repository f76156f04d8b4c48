// cli/progress_line.h -- the progress of running conversions as one line on a terminal,
// redrawn in place every 100 ms: the step text of the current stage, the HTML page count,
// the current page and a percentage bar, as wide as the terminal is at that redraw. The figures come from each job's progress channel through the same
// snapshot and display rules as the Windows program's progress dialog.
#pragma once
#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "frontend/progress.h"

// One conversion's shared progress state.
struct JobProgress {
    enum Phase { Waiting, Running, Finished };
    LocalProgressChannel channel;
    std::string label;  // the source as given
    std::atomic<int> phase{Waiting};
};

// The line for one job: `prefix`, the step text, the page count ("page 37 of 173 known")
// and the page name, then the bar and percentage, cut to fit in `columns` terminal
// columns (the last stays free so the terminal never wraps). Control characters become
// "?" so that no file name can move the cursor or change the terminal, and a character
// shown two columns wide counts as two.
std::string progressLine(const std::string& prefix, const std::string& step,
                         const std::string& pageCount, const std::string& page,
                         int32_t barPosition, int columns);

// Shows the first running job's progress until destroyed, then clears the line. With
// several jobs the line starts with "[k/n] source: ".
class ProgressLine {
public:
    explicit ProgressLine(std::vector<JobProgress*> jobs);
    ProgressLine(const ProgressLine&) = delete;
    ProgressLine& operator=(const ProgressLine&) = delete;
    ~ProgressLine();

private:
    struct Shown {
        std::string step;
        std::string pageCount;
        std::string page;
        int32_t barPosition = 0;
    };
    void run();
    void tick();

    std::vector<JobProgress*> jobs_;
    std::vector<Shown> shown_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};
