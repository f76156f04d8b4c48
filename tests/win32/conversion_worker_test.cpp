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

// Names beyond ASCII, and beyond any ANSI code page, in UTF-8 as the dialog, a drop and
// the command line give them: a text and an HTML page in folders so named convert
// beside themselves, under such a title, with the temporary files in a folder so named
// too, none of them left behind.
TEST(ConversionWorker, NamesBeyondAsciiOpenForSourceDestinationAndTemporaryFiles) {
    TempDir dir;
    const std::string temporary = winPath(dir, kChineseName + " Temp");
    ASSERT_TRUE(makeFolder(temporary));
    wchar_t previousTmp[MAX_PATH] = {}, previousTemp[MAX_PATH] = {};
    GetEnvironmentVariableW(L"TMP", previousTmp, MAX_PATH);
    GetEnvironmentVariableW(L"TEMP", previousTemp, MAX_PATH);
    SetEnvironmentVariableW(L"TMP", wideOf(temporary).c_str());
    SetEnvironmentVariableW(L"TEMP", wideOf(temporary).c_str());

    const std::string base = "caf\u00e9 \u4e66\u2019s";
    const struct {
        const char* extension;
        const char* content;
        const char* mark;
    } sources[] = {
        {".txt", "TEXT-MARK caf\xe9\r\n", "TEXT-MARK"},
        {".htm", "<html><body><p>PAGE-MARK</p></body></html>", "PAGE-MARK"},
    };
    Win32ProgressChannel channel;
    for (const std::string& folderName : {kLatinName, kChineseName}) {
        const std::string folder = winPath(dir, folderName);
        ASSERT_TRUE(makeFolder(folder));
        for (const auto& source : sources) {
            ConversionTask task;
            task.channel = &channel;
            task.request.sourcePath = folder + "\\" + base + source.extension;
            task.request.destinationPath = folder + "\\" + base + ".pdb";
            task.request.title = "Caf\u00e9 \u4e66";
            ASSERT_TRUE(writeBytes(task.request.sourcePath, source.content));
            EXPECT_EQ(StatusSucceeded, runWorkerThread(task)) << task.request.sourcePath;
            EXPECT_NE(std::string::npos, bookText(task.request.destinationPath).find(source.mark))
                << task.request.destinationPath;
        }
    }
    SetEnvironmentVariableW(L"TMP", previousTmp);
    SetEnvironmentVariableW(L"TEMP", previousTemp);

    WIN32_FIND_DATAW found;
    const HANDLE search = FindFirstFileW(wideOf(temporary + "\\*").c_str(), &found);
    ASSERT_NE(INVALID_HANDLE_VALUE, search);
    int entries = 0;  // "." and ".." only
    do ++entries;
    while (FindNextFileW(search, &found));
    FindClose(search);
    EXPECT_EQ(2, entries);
}

// A UTF-8 site in folders named beyond ASCII: every page, linked by its UTF-8 name, by
// its percent-escaped name and by a plain one, is converted once, and its characters
// arrive as the handheld's bytes or their transliterations.
TEST(ConversionWorker, AUtf8SiteInAFolderOfAnyNameConvertsWithAllItsPages) {
    TempDir dir;
    Win32ProgressChannel channel;
    for (const std::string& folderName : {kLatinName, kChineseName}) {
        const std::string folder = winPath(dir, folderName);
        ASSERT_TRUE(makeFolder(folder));
        ASSERT_TRUE(writeBytes(folder + "\\index.html",
                               "<html><head><meta charset=\"utf-8\"><title>Men\u00fc</title></head><body>"
                               "<p>ROOT \u2192 <a href=\"caf%C3%A9.html\">one</a> "
                               "<a href=\"caf\u00e9.html\">again</a> <a href=\"plain.html\">two</a></p>"
                               "</body></html>"));
        ASSERT_TRUE(writeBytes(folder + "\\caf\u00e9.html",
                               "<html><body><p>CAFE-MARK cr\u00e8me \u2014 \u0141\u00f3d\u017a</p></body></html>"));
        ASSERT_TRUE(writeBytes(folder + "\\plain.html", "<html><body><p>PLAIN-MARK</p></body></html>"));
        ConversionTask task;
        task.channel = &channel;
        task.request.sourcePath = folder + "\\index.html";
        task.request.destinationPath = folder + "\\site.pdb";
        task.settings.maxDepth = -1;
        ASSERT_EQ(StatusSucceeded, runWorkerThread(task)) << folderName;
        const std::string text = bookText(task.request.destinationPath);
        EXPECT_NE(std::string::npos, text.find("ROOT ->")) << text;
        EXPECT_NE(std::string::npos, text.find("CAFE-MARK cr\xE8me \x97 L\xF3" "dz")) << text;
        EXPECT_EQ(text.find("CAFE-MARK"), text.rfind("CAFE-MARK")) << "one page, two spellings";
        EXPECT_NE(std::string::npos, text.find("PLAIN-MARK")) << text;
    }
}

// The standard table takes every path as UTF-8: bytes that are no UTF-8 open nothing,
// for reading or writing, rather than some other file.
TEST(StandardIo, PathsThatAreNoUtf8OpenNothing) {
    TempDir dir;
    ASSERT_TRUE(writeBytes(winPath(dir, "caf\u00e9.txt"), "x"));
    const IoOps& io = standardIoOps;
    const uint32_t utf8 = io.openStream(io.userData, winPath(dir, "caf\u00e9.txt").c_str(), 0);
    EXPECT_NE(0u, utf8);
    if (utf8 != 0) io.closeStream(io.userData, utf8);
    for (const int32_t mode : {0, 1, 2}) {
        EXPECT_EQ(0u, io.openStream(io.userData, winPath(dir, "caf\xe9.txt").c_str(), mode)) << mode;
        EXPECT_EQ(0u, io.openStream(io.userData, winPath(dir, "cut\xe4\xb9").c_str(), mode)) << mode;
    }
    EXPECT_EQ(0u, io.openStream(io.userData, "", 1));
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
