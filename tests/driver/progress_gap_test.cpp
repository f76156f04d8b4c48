// A cancel is only heard at a progress report, so the longest stretch between two
// reports bounds how long a cancel waits. Whole conversions of inputs built to make some
// one loop long (many style changes and links, many anchors, long text) must report
// often throughout, in every step, and a cancel at the slowest stretch must still unwind.
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "driver/conversion.h"
#include "tests/engine/engine_fixtures.h"
#include "platform/standard_io.h"
#include "tests/support/temp_dir.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Gaps {
    Clock::time_point last{};
    double longest = 0;
    int32_t stageBefore = -1;  // the stage reported last before the longest stretch
    int32_t stage = -1;
    int reports = 0;
    int cancelAt = 0;
    int at = 0, percent = -1, percentBefore = -1;  // answer cancel to this report (1-based); 0 never
};

Gaps* activeGaps = nullptr;

int32_t timeReport(void*, int32_t stage, void*) {
    Gaps& gaps = *activeGaps;
    const Clock::time_point now = Clock::now();
    const double gap = std::chrono::duration<double>(now - gaps.last).count();
    if (gaps.reports > 0 && gap > gaps.longest) {
        gaps.longest = gap;
        gaps.stageBefore = gaps.stage;
    }

    if (stage != StagePercent) gaps.stage = stage;
    gaps.last = now;
    gaps.reports += 1;
    return gaps.reports == gaps.cancelAt ? 0 : 1;
}

// Converts `source` into `destination` through the standard IoOps (real files, as the
// command line converts: in-memory streams would add the copying of their growth); the
// result code, with `gaps` filled in.
int32_t convertTimed(const std::string& source, const std::string& destination, Gaps& gaps) {
    IoOps io = standardIoOps;
    io.reportProgress = &timeReport;
    activeGaps = &gaps;
    ConversionJob job = defaultJob(io, source.c_str(), destination.c_str());
    job.maxDepth = -1;
    gaps.last = Clock::now();
    const int32_t result = convertDocument(job);
    activeGaps = nullptr;
    return result;
}

std::string styledPage(int words) {
    std::string page;
    for (int k = 0; k < words; ++k)
        page += "<B>bold" + std::to_string(k) + "</B> <I>it" + std::to_string(k) + "</I> <A HREF=\"#n" +
                std::to_string(k % 1000) + "\">l</A>\n";
    return page;
}

std::string anchorPage(int anchors) {
    std::string page;
    for (int k = 0; k < anchors; ++k) page += "<A NAME=\"a" + std::to_string(k) + "\">anchor</A>\n";
    for (int k = 0; k < anchors; ++k) page += "<A HREF=\"#a" + std::to_string(k) + "\">x</A>\n";
    return page;
}

std::string longText(int lines) {
    std::string text;
    for (int k = 0; k < lines; ++k) text += "A line of text number " + std::to_string(k) + "\r\n\t\r\n";
    return text;
}

TEST(ProgressGaps, EveryStepReportsOftenOnInputsMadeToSlowOneLoop) {
#if defined(__SANITIZE_ADDRESS__) || !defined(__OPTIMIZE__)
    constexpr double kLongest = 2.0;  // sanitizers and debug builds run several times slower
#else
    constexpr double kLongest = 0.45;  // under the half second a cancel may take, with room for a loaded machine
#endif
    struct Case {
        const char* name;
        std::string bytes;
    };
    const Case cases[] = {{"styled.htm", styledPage(120000)},
                          {"anchors.htm", anchorPage(40000)},
                          {"long.txt", longText(150000)}};
    for (const Case& input : cases) {
        TempDir dir;
        dir.write(input.name, input.bytes);
        Gaps gaps;
        EXPECT_EQ(ResultOk, convertTimed(dir.file(input.name), dir.file("out.pdb"), gaps)) << input.name;
        EXPECT_LT(gaps.longest, kLongest) << input.name << ": after stage " << gaps.stageBefore;

        // A cancel at the middle report unwinds like any other.
        Gaps canceled;
        canceled.cancelAt = gaps.reports / 2;
        EXPECT_EQ(ResultCanceled, convertTimed(dir.file(input.name), dir.file("again.pdb"), canceled)) << input.name;
        EXPECT_EQ(canceled.cancelAt, canceled.reports) << "no report after the cancel";
    }
}

}  // namespace
