// Files dropped on the main window: the first name only and only when read whole,
// shortcuts followed to their targets, and only files (no folders, no broken shortcuts)
// accepted.
#include <windows.h>
#include <objidl.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <cstring>

#include <gtest/gtest.h>

#include "frontend/path_rules.h"
#include "frontend/win32/shell_drop.h"
#include "tests/frontend/fakes.h"
#include "tests/win32/win32_fixtures.h"

namespace {

// An HDROP as the shell hands it over: DROPFILES, then the names, each ending in a zero,
// and one more zero.
HDROP makeDrop(const std::vector<std::string>& names) {
    size_t bytes = sizeof(DROPFILES) + 1;
    for (const std::string& name : names) bytes += name.size() + 1;
    const HGLOBAL memory = GlobalAlloc(GHND, bytes);
    auto* header = static_cast<DROPFILES*>(GlobalLock(memory));
    header->pFiles = sizeof(DROPFILES);
    header->fWide = FALSE;
    char* next = reinterpret_cast<char*>(header) + sizeof(DROPFILES);
    for (const std::string& name : names) {
        std::memcpy(next, name.c_str(), name.size() + 1);
        next += name.size() + 1;
    }
    GlobalUnlock(memory);
    return static_cast<HDROP>(memory);
}

// The same with UTF-16 names, as the shell hands most drops over.
HDROP makeWideDrop(const std::wstring& name) {
    const size_t bytes = sizeof(DROPFILES) + (name.size() + 2) * sizeof(wchar_t);
    const HGLOBAL memory = GlobalAlloc(GHND, bytes);
    auto* header = static_cast<DROPFILES*>(GlobalLock(memory));
    header->pFiles = sizeof(DROPFILES);
    header->fWide = TRUE;
    std::memcpy(reinterpret_cast<char*>(header) + sizeof(DROPFILES), name.c_str(),
                (name.size() + 1) * sizeof(wchar_t));
    GlobalUnlock(memory);
    return static_cast<HDROP>(memory);
}

class ShellDrop : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr))); }
    void TearDown() override { CoUninitialize(); }

    // Saves a shortcut at `linkPath` pointing to `target` (both UTF-8).
    static void makeShortcut(const std::string& linkPath, const std::string& target) {
        IShellLinkW* link = nullptr;
        ASSERT_TRUE(SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER,
                                               IID_IShellLinkW, reinterpret_cast<void**>(&link))));
        link->SetPath(wideOf(target).c_str());
        IPersistFile* file = nullptr;
        ASSERT_TRUE(SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file))));
        EXPECT_TRUE(SUCCEEDED(file->Save(wideOf(linkPath).c_str(), TRUE)));
        file->Release();
        link->Release();
    }
};

}  // namespace

TEST_F(ShellDrop, FirstNameIsTakenWholeOrReported) {
    RecordingSink messages;
    HDROP drop = makeDrop({"C:\\books\\a.htm", "C:\\books\\b.htm"});
    EXPECT_EQ("C:\\books\\a.htm", firstDroppedName(drop, messages).value_or("?"));
    GlobalFree(drop);

    drop = makeDrop({});
    EXPECT_FALSE(firstDroppedName(drop, messages));
    GlobalFree(drop);
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_FALSE(firstDroppedName(nullptr, messages));

    // Longer than a path can be: cut, it would name another file.
    drop = makeDrop({"C:\\" + std::string(297, 'n')});
    EXPECT_FALSE(firstDroppedName(drop, messages));
    GlobalFree(drop);
    ASSERT_EQ(std::vector<MessageId>{MsgDragQueryFailed}, messages.ids());
    EXPECT_EQ(0u, messages.shown[0].text.find("Failed drag query file: "));
    const int got = std::stoi(messages.shown[0].text.substr(24));
    EXPECT_GT(got, 0);
    EXPECT_LT(got, 300);
}

TEST_F(ShellDrop, FilesAndShortcutsToFilesAreTaken) {
    TempDir dir;
    dir.write("page.htm", "<html>");
    const std::string page = winPath(dir, "page.htm");
    EXPECT_EQ(page, acceptDroppedPath(page).value_or("?"));

    const std::string link = winPath(dir, "page shortcut.lnk");
    makeShortcut(link, page);
    EXPECT_TRUE(equalIgnoringCase(page, resolveShortcut(link).value_or("?")));
    EXPECT_TRUE(equalIgnoringCase(page, acceptDroppedPath(link).value_or("?")));
}

TEST_F(ShellDrop, AnInternetShortcutGivesItsWebAddress) {
    TempDir dir;
    dir.write("Intro.url", "[InternetShortcut]\r\nURL=https://example.org/docs/intro.html\r\n");
    EXPECT_EQ("https://example.org/docs/intro.html", acceptDroppedPath(winPath(dir, "Intro.url")).value_or("?"));
    // One to a local file is no page of the web, and is not taken for a text file either.
    dir.write("local.URL", "[InternetShortcut]\r\nURL=file:///C:/windows/win.ini\r\n");
    EXPECT_FALSE(acceptDroppedPath(winPath(dir, "local.URL")));
}

TEST_F(ShellDrop, FoldersBrokenShortcutsAndNothingAreRefused) {
    TempDir dir;
    CreateDirectoryA(winPath(dir, "sub").c_str(), nullptr);
    EXPECT_FALSE(acceptDroppedPath(winPath(dir, "sub")));
    EXPECT_FALSE(acceptDroppedPath(winPath(dir, "missing.htm")));

    const std::string folderLink = winPath(dir, "sub.lnk");
    makeShortcut(folderLink, winPath(dir, "sub"));
    EXPECT_FALSE(acceptDroppedPath(folderLink));

    dir.write("garbage.lnk", std::string(200, '\x5a'));
    EXPECT_FALSE(resolveShortcut(winPath(dir, "garbage.lnk")));
    EXPECT_FALSE(acceptDroppedPath(winPath(dir, "garbage.lnk")));
}

// A name beyond any ANSI code page comes out in UTF-8, and names a file the shell and
// the engine's checks then find, through a shortcut too.
TEST_F(ShellDrop, WideNamesBeyondAsciiArriveInUtf8) {
    TempDir dir;
    const std::string folder = winPath(dir, kChineseName);
    ASSERT_TRUE(makeFolder(folder));
    const std::string page = folder + "\\caf\u00e9 \u2019story\u2019.htm";
    ASSERT_TRUE(writeBytes(page, "<html>"));

    RecordingSink messages;
    const HDROP drop = makeWideDrop(wideOf(page));
    EXPECT_EQ(page, firstDroppedName(drop, messages).value_or("?"));
    GlobalFree(drop);
    EXPECT_EQ(page, acceptDroppedPath(page).value_or("?"));

    const std::string link = folder + "\\" + kLatinName + ".lnk";
    makeShortcut(link, page);
    EXPECT_TRUE(equalIgnoringCase(page, resolveShortcut(link).value_or("?")));
    EXPECT_TRUE(equalIgnoringCase(page, acceptDroppedPath(link).value_or("?")));
}
