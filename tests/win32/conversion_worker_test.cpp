// The run's two threads on Windows objects: the auto-reset cancel event seen by exactly
// one progress report, the one-second limit on the lock, and the worker thread that
// makes the source absolute and hands the engine a table whose progress reports reach
// the dialog's channel.
#include <windows.h>

#include <algorithm>
#include <thread>

#include <gtest/gtest.h>

#include "engine/book_reader.h"
#include "engine/io_ops.h"
#include "platform/standard_io.h"
#include "frontend/win32/app.h"
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

// The decoded text of the database at `path`; empty when it cannot be read.
std::string bookText(const std::string& path) {
    const IoOps& io = standardIoOps;
    const uint32_t book = io.openStream(io.userData, path.c_str(), 0);
    if (book == 0) return {};
    BookReader reader{};
    const uint32_t text = io.createTempStream(io.userData);
    std::string bytes;
    if (text != 0 && bookOpen(io, book, reader) == BookOk && bookReadText(reader, text) == BookOk) {
        bytes.resize(static_cast<size_t>(std::max(0, io.seekStream(io.userData, text, 0, 2))));
        io.seekStream(io.userData, text, 0, 0);
        io.readStream(io.userData, text, static_cast<int32_t>(bytes.size()), bytes.data());
    }
    bookClose(reader);
    if (text != 0) io.closeStream(io.userData, text);
    io.closeStream(io.userData, book);
    return bytes;
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

// A page's links to files outside its folder, by a climb spelled with "\\" and by an
// absolute path with a drive, are not followed unless FollowLinksOutside is set.
TEST(ConversionWorker, LinkedPagesOutsideTheFolderAreNotFollowedByDefault) {
    TempDir dir;
    ASSERT_TRUE(CreateDirectoryA(winPath(dir, "site").c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryA(winPath(dir, "outside").c_str(), nullptr));
    dir.write("outside/climb.htm", "<p>CLIMB-MARK</p>");
    dir.write("outside/absolute.htm", "<p>ABSOLUTE-MARK</p>");
    dir.write("site/Inside.htm", "<p>INSIDE-MARK</p>");
    dir.write("site/index.htm", "<html><a href=\"..\\outside\\climb.htm\">a</a><a href=\"" +
                                    winPath(dir, "outside\\absolute.htm") +
                                    "\">b</a><a href=\"INSIDE.HTM\">c</a></html>");
    Win32ProgressChannel channel;
    for (const bool followLinksOutside : {false, true}) {
        ConversionTask task;
        task.channel = &channel;
        task.settings.followLinksOutside = followLinksOutside;
        task.request.sourcePath = winPath(dir, "site\\index.htm");
        task.request.destinationPath = winPath(dir, followLinksOutside ? "open.pdb" : "confined.pdb");
        ASSERT_EQ(StatusSucceeded, runWorkerThread(task));
        const std::string text = bookText(task.request.destinationPath);
        EXPECT_NE(std::string::npos, text.find("INSIDE-MARK")) << text;
        EXPECT_EQ(followLinksOutside, text.find("CLIMB-MARK") != std::string::npos) << text;
        EXPECT_EQ(followLinksOutside, text.find("ABSOLUTE-MARK") != std::string::npos) << text;
    }
}

// Names with letters beyond ASCII, spelled in the ANSI code page as the dialog, a drop and
// the command line give them: "\u00e9" has the same value in Latin-1, "\u2019" has not.
// The temporary folder is named so too; its files must open and be gone afterwards.
TEST(ConversionWorker, NamesBeyondAsciiOpenForSourceDestinationAndTemporaryFiles) {
    const std::optional<std::string> folderName = ansiName(L"Jos\u00e9\u2019s files");
    const std::optional<std::string> baseName = ansiName(L"caf\u00e9 \u2019story\u2019");
    if (!folderName || !baseName) GTEST_SKIP() << "the ANSI code page " << GetACP() << " cannot spell the names";
    ASSERT_TRUE(useAnsiCodePageForNames());
    TempDir dir;
    const std::string folder = winPath(dir, *folderName);
    ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
    const std::string temporary = winPath(dir, *folderName) + "\\Temp";
    ASSERT_TRUE(CreateDirectoryA(temporary.c_str(), nullptr));
    const std::string source = folder + "\\" + *baseName + ".htm";
    const HANDLE file = CreateFileA(source.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    const std::string page = "<html><body><p>Caf\xe9 page.</p></body></html>";
    DWORD written = 0;
    WriteFile(file, page.data(), static_cast<DWORD>(page.size()), &written, nullptr);
    CloseHandle(file);

    char previousTmp[MAX_PATH] = {}, previousTemp[MAX_PATH] = {};
    GetEnvironmentVariableA("TMP", previousTmp, MAX_PATH);
    GetEnvironmentVariableA("TEMP", previousTemp, MAX_PATH);
    SetEnvironmentVariableA("TMP", temporary.c_str());
    SetEnvironmentVariableA("TEMP", temporary.c_str());
    Win32ProgressChannel channel;
    ConversionTask task;
    task.channel = &channel;
    task.request.sourcePath = source;
    task.request.destinationPath = folder + "\\" + *baseName + ".pdb";
    task.request.title = "Caf\xe9";
    const int32_t status = runWorkerThread(task);
    SetEnvironmentVariableA("TMP", previousTmp);
    SetEnvironmentVariableA("TEMP", previousTemp);

    EXPECT_EQ(StatusSucceeded, status);
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(task.request.destinationPath.c_str()));
    WIN32_FIND_DATAA found;
    const HANDLE search = FindFirstFileA((temporary + "\\*.tmp").c_str(), &found);
    EXPECT_EQ(INVALID_HANDLE_VALUE, search) << "left behind: " << found.cFileName;
    if (search != INVALID_HANDLE_VALUE) FindClose(search);
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
