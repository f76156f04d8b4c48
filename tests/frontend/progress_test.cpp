// What reportProgress answers and records, and what a display tick shows. A wrong answer
// either cancels a run nobody canceled or ignores the user's cancel.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "engine/io_ops.h"
#include "frontend/progress.h"

namespace {

// A channel whose lock can be made unavailable, counting lock attempts.
class ScriptedChannel : public ProgressChannel {
public:
    bool takeCancelRequest() override {
        const bool was = cancel;
        cancel = false;
        return was;
    }
    bool lockFields() override {
        ++lockAttempts;
        if (!lockAvailable) return false;
        held = true;
        return true;
    }
    void unlockFields() override { held = false; }
    ProgressFields& fields() override { return state; }

    bool cancel = false;
    bool lockAvailable = true;
    bool held = false;
    int lockAttempts = 0;
    ProgressFields state;
};

}  // namespace

TEST(ReportProgress, RecordsEachStageKind) {
    ScriptedChannel channel;
    int32_t percent = 42;
    EXPECT_EQ(1, answerProgress(channel, StagePercent, &percent));
    EXPECT_EQ(42, channel.state.percent);
    EXPECT_EQ(-1, channel.state.stage);
    EXPECT_EQ(1, answerProgress(channel, StageCompressText, nullptr));
    EXPECT_EQ(StageCompressText, channel.state.stage);
    EXPECT_EQ(0, channel.state.percent);
    percent = 120;
    answerProgress(channel, StagePercent, &percent);
    char page[] = "C:\\site\\a.htm";
    EXPECT_EQ(1, answerProgress(channel, StageCurrentPage, page));
    EXPECT_EQ(0, channel.state.percent);
    EXPECT_TRUE(channel.state.pageTextPending);
    EXPECT_EQ("C:\\site\\a.htm", channel.state.pageText);
    EXPECT_EQ(StageCompressText, channel.state.stage);  // a page leaves the step alone
    percent = 50;
    answerProgress(channel, StagePercent, &percent);
    EXPECT_EQ(1, answerProgress(channel, 99, &percent));  // unknown stages change nothing
    EXPECT_EQ(1, answerProgress(channel, -1, &percent));
    EXPECT_EQ(50, channel.state.percent);
    EXPECT_EQ(StageCompressText, channel.state.stage);
    EXPECT_FALSE(channel.held);
}

TEST(ReportProgress, LongPageNamesAreCutTo255) {
    ScriptedChannel channel;
    std::string name(300, 'n');
    answerProgress(channel, StageCurrentPage, name.data());
    EXPECT_EQ(std::string(kMaxPageTextLength, 'n'), channel.state.pageText);
}

TEST(ReportProgress, CancelIsAnsweredOnceAndBeforeTheLock) {
    ScriptedChannel channel;
    channel.cancel = true;
    int32_t percent = 10;
    EXPECT_EQ(0, answerProgress(channel, StagePercent, &percent));
    EXPECT_EQ(0, channel.lockAttempts);
    EXPECT_EQ(0, channel.state.percent);
    EXPECT_EQ(1, answerProgress(channel, StagePercent, &percent));  // the request was used up
    EXPECT_EQ(10, channel.state.percent);
}

TEST(ReportProgress, BusyLockGoesOnWithoutRecording) {
    ScriptedChannel channel;
    channel.lockAvailable = false;
    EXPECT_EQ(1, answerProgress(channel, StageParseHtml, nullptr));
    EXPECT_EQ(-1, channel.state.stage);
    EXPECT_FALSE(takeProgressSnapshot(channel));
}

TEST(ReportProgress, IoOpsSlotReachesTheChannelThroughUserData) {
    LocalProgressChannel channel;
    channel.reset();
    IoOps io{};
    io.userData = &channel;
    io.reportProgress = reportProgressToChannel;
    EXPECT_EQ(1, io.reportProgress(io.userData, StagePreprocessText, nullptr));
    channel.requestCancel();
    EXPECT_EQ(0, io.reportProgress(io.userData, StagePreprocessText, nullptr));
    EXPECT_EQ(1, io.reportProgress(io.userData, StagePreprocessText, nullptr));
    const std::optional<ProgressFields> snapshot = takeProgressSnapshot(channel);
    ASSERT_TRUE(snapshot);
    EXPECT_EQ(StagePreprocessText, snapshot->stage);
}

TEST(ProgressSnapshot, TakesTheNewsOnce) {
    ScriptedChannel channel;
    answerProgress(channel, StageParseHtml, nullptr);
    char page[] = "a.htm";
    answerProgress(channel, StageCurrentPage, page);
    const std::optional<ProgressFields> first = takeProgressSnapshot(channel);
    ASSERT_TRUE(first);
    EXPECT_EQ(StageParseHtml, first->stage);
    EXPECT_TRUE(first->pageTextPending);
    const std::optional<ProgressFields> second = takeProgressSnapshot(channel);
    ASSERT_TRUE(second);
    EXPECT_EQ(-1, second->stage);
    EXPECT_FALSE(second->pageTextPending);
    EXPECT_EQ("a.htm", second->pageText);
    EXPECT_FALSE(channel.held);
}

TEST(ProgressDisplay, BarTextStepAndPageLines) {
    ProgressFields fields;
    fields.percent = 120;
    ProgressDisplay display = progressDisplay(fields);
    EXPECT_EQ(100, display.barPosition);
    EXPECT_EQ("100%", display.percentText);
    EXPECT_FALSE(display.stepLine);
    EXPECT_FALSE(display.pageLine);

    fields.percent = -5;
    fields.stage = StageParseHtml;
    fields.pageTextPending = true;
    fields.pageText = "index.htm";
    display = progressDisplay(fields);
    EXPECT_EQ(0, display.barPosition);
    EXPECT_EQ("0%", display.percentText);
    EXPECT_EQ("Step 1 of 3: Parsing HTML page(s)...", display.stepLine.value_or(""));
    EXPECT_EQ("index.htm", display.pageLine.value_or("<none>"));

    // Formatting clears the page line left from parsing, even with a page pending.
    fields.stage = StageFormatHtml;
    display = progressDisplay(fields);
    EXPECT_EQ("Step 2 of 3: Processing formatting information...", display.stepLine.value_or(""));
    EXPECT_EQ("", display.pageLine.value_or("<none>"));
}

TEST(LocalProgressChannel, LockWaitIsBoundedAndResetClearsEverything) {
    LocalProgressChannel channel;
    channel.requestCancel();
    channel.fields().stage = 3;
    channel.reset();
    EXPECT_FALSE(channel.takeCancelRequest());
    EXPECT_EQ(-1, channel.fields().stage);

    ASSERT_TRUE(channel.lockFields());
    std::optional<bool> answer;
    std::chrono::steady_clock::duration waited{};
    std::thread worker([&] {
        const auto start = std::chrono::steady_clock::now();
        answer = answerProgress(channel, StageCompressText, nullptr) == 1;
        waited = std::chrono::steady_clock::now() - start;
    });
    worker.join();  // gives up after about a second while the lock is held here
    channel.unlockFields();
    EXPECT_TRUE(answer.value_or(false));
    EXPECT_GE(waited, std::chrono::milliseconds(900));
    EXPECT_EQ(-1, channel.fields().stage);
}
