// The run's two threads on Windows objects: the auto-reset cancel event seen by exactly
// one progress report, the one-second limit on the lock, and the worker thread that
// makes the source absolute and hands the engine a table whose progress reports reach
// the dialog's channel.
#include <windows.h>

#include <thread>

#include <gtest/gtest.h>

#include "engine/io_ops.h"
#include "frontend/win32/conversion_runner.h"
#include "frontend/win32/progress_channel.h"
#include "frontend/win32/resource.h"
#include "tests/win32/win32_fixtures.h"

TEST(Win32ProgressChannel, CancelIsConsumedByOneReport) {
    Win32ProgressChannel channel;
    ASSERT_TRUE(channel.ready());
    int32_t percent = 40;
    EXPECT_EQ(1, answerProgress(channel, StagePercent, &percent));
    ASSERT_TRUE(channel.requestCancel());
    EXPECT_EQ(0, answerProgress(channel, StagePercent, &percent));
    EXPECT_EQ(1, answerProgress(channel, StagePercent, &percent));
}

TEST(Win32ProgressChannel, ALockHeldElsewhereIsWaitedForOneSecondThenSkipped) {
    Win32ProgressChannel channel;
    const HANDLE held = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    const HANDLE release = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    // A Windows mutex is recursive for its owner, so another thread must hold it.
    std::thread holder([&] {
        channel.lockFields();
        SetEvent(held);
        WaitForSingleObject(release, 10000);
        channel.unlockFields();
    });
    WaitForSingleObject(held, 10000);
    const DWORD start = GetTickCount();
    int32_t percent = 70;
    EXPECT_EQ(1, answerProgress(channel, StagePercent, &percent));  // goes on, records nothing
    const DWORD waited = GetTickCount() - start;
    EXPECT_GE(waited, 900u);
    EXPECT_LT(waited, 3000u);
    EXPECT_FALSE(takeProgressSnapshot(channel));
    SetEvent(release);
    holder.join();
    const std::optional<ProgressFields> after = takeProgressSnapshot(channel);
    ASSERT_TRUE(after);
    EXPECT_EQ(0, after->percent);
    CloseHandle(held);
    CloseHandle(release);
}

namespace {

// Runs the worker procedure on its own thread, as the dialog does.
int32_t runWorkerThread(ConversionTask& task) {
    DWORD id = 0;
    const HANDLE thread = CreateThread(nullptr, 0, &conversionWorker, &task, 0, &id);
    EXPECT_NE(nullptr, thread);
    if (thread == nullptr) return -1;
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(thread, 30000));
    DWORD exitCode = 99;
    GetExitCodeThread(thread, &exitCode);
    EXPECT_EQ(0u, exitCode);
    CloseHandle(thread);
    return task.status.load();
}

}  // namespace

TEST(ConversionWorker, ReportsReachTheChannelAndCancelStopsTheEngine) {
    TempDir dir;
    dir.write("story.txt", std::string(20000, 'a') + "\r\n");
    Win32ProgressChannel channel;
    ConversionTask task;
    task.channel = &channel;
    task.request.sourcePath = winPath(dir, "story.txt");
    task.request.destinationPath = winPath(dir, "story.pdb");
    task.request.title = "story";
    ASSERT_TRUE(channel.requestCancel());
    EXPECT_EQ(StatusCanceled, runWorkerThread(task));
    // The engine had opened the destination before its first report, and leaves it.
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(task.request.destinationPath.c_str()));

    ConversionTask again;
    again.channel = &channel;
    again.request = task.request;
    const int32_t status = runWorkerThread(again);
    EXPECT_TRUE(status == StatusSucceeded || status == StatusConversionError) << status;
    const std::optional<ProgressFields> seen = takeProgressSnapshot(channel);
    ASSERT_TRUE(seen);
    EXPECT_TRUE(seen->stage == StagePreprocessText || seen->stage == StageCompressText) << seen->stage;
}

TEST(ConversionWorker, SourceIsMadeAbsoluteOrRefused) {
    TempDir dir;
    dir.write("story.txt", "line\r\n");
    char previous[MAX_PATH];
    GetCurrentDirectoryA(MAX_PATH, previous);
    ASSERT_TRUE(SetCurrentDirectoryA(dir.path().c_str()));
    Win32ProgressChannel channel;
    ConversionTask relative;
    relative.channel = &channel;
    relative.request.sourcePath = "story.txt";
    relative.request.destinationPath = winPath(dir, "story.pdb");
    const int32_t status = runWorkerThread(relative);
    EXPECT_NE(StatusSourceError, status);
    EXPECT_NE(StatusUnknownError, status);

    ConversionTask missing;
    missing.channel = &channel;
    missing.request.sourcePath = "absent.txt";
    missing.request.destinationPath = winPath(dir, "absent.pdb");
    EXPECT_EQ(StatusSourceError, runWorkerThread(missing));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(missing.request.destinationPath.c_str()));

    // Longer than the engine's 255 characters: refused, not cut to another name.
    ConversionTask longPath;
    longPath.channel = &channel;
    longPath.request.sourcePath = winPath(dir, std::string(280, 's') + ".txt");
    longPath.request.destinationPath = winPath(dir, "long.pdb");
    EXPECT_EQ(StatusSourceError, runWorkerThread(longPath));
    SetCurrentDirectoryA(previous);
}

TEST(Resources, StepLinesAreTheCoresTexts) {
    const HINSTANCE module = GetModuleHandleA(nullptr);
    for (int32_t stage = StageParseHtml; stage <= StageCompressText; ++stage) {
        char text[128] = {};
        ASSERT_GT(LoadStringA(module, IDS_STEP_FIRST + static_cast<UINT>(stage), text, sizeof text), 0)
            << stage;
        EXPECT_STREQ(stepText(stage), text);
    }
    EXPECT_NE(nullptr, LoadImageA(module, MAKEINTRESOURCEA(IDI_APP), IMAGE_ICON, 32, 32, 0));
    EXPECT_NE(nullptr, LoadImageA(module, MAKEINTRESOURCEA(IDB_ABOUT), IMAGE_BITMAP, 0, 0, 0));
}
