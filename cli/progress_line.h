// cli/progress_line.h -- the progress of running conversions as one line on a terminal,
// redrawn in place every 100 ms: the step text of the current stage, the current page and
// a percentage bar. The figures come from each job's progress channel through the same
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

// The line for one job: `prefix`, the step and page texts, then the bar and percentage,
// cut to fit in `columns` (the last column stays free so the terminal never wraps).
std::string progressLine(const std::string& prefix, const std::string& step,
                         const std::string& page, int32_t barPosition, int columns);

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
