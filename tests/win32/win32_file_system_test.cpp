// The Windows file system under the core: lookups, identities that see through other
// spellings, the current directories the source path is resolved against, and whole-file
// reads that refuse folders, locked files and giants.
#include <gtest/gtest.h>

#include "frontend/install.h"
#include "frontend/source_destination.h"
#include "frontend/win32/win32_file_system.h"
#include "tests/frontend/fakes.h"
#include "tests/win32/win32_fixtures.h"

TEST(Win32FileSystem, LooksUpFoldersFilesAndNothingThroughWildcards) {
    TempDir dir;
    dir.write("a.txt", "x");
    const Win32FileSystem files;
    EXPECT_EQ(PathLookup::Folder, files.lookup(winPath(dir, "")));
    EXPECT_EQ(PathLookup::Folder, files.lookup(dir.path()));
    EXPECT_EQ(PathLookup::File, files.lookup(winPath(dir, "a.txt")));
    EXPECT_EQ(PathLookup::File, files.lookup(winPath(dir, "A.TXT")));
    EXPECT_EQ(PathLookup::Missing, files.lookup(winPath(dir, "b.txt")));
    EXPECT_EQ(PathLookup::Missing, files.lookup(winPath(dir, "*.txt")));
    EXPECT_EQ(PathLookup::Missing, files.lookup(winPath(dir, "a.tx?")));
    EXPECT_EQ(PathLookup::Missing, files.lookup(""));
}

TEST(Win32FileSystem, OtherSpellingsOfOneFileAreTheSameFile) {
    TempDir dir;
    dir.write("Book.txt", "text");
    dir.write("other.txt", "text");
    const Win32FileSystem files;
    const std::string source = winPath(dir, "Book.txt");
    ASSERT_TRUE(files.identity(source));
    EXPECT_EQ(files.identity(source), files.identity(winPath(dir, "BOOK.TXT")));
    EXPECT_EQ(files.identity(source), files.identity(dir.path() + "/Book.txt"));
    EXPECT_NE(files.identity(source), files.identity(winPath(dir, "other.txt")));
    EXPECT_FALSE(files.identity(winPath(dir, "missing.txt")));

    RecordingSink messages;
    EXPECT_FALSE(checkSameName(source, dir.path() + "/./book.TXT", PathFlavor::Windows, files, messages));
    EXPECT_TRUE(checkSameName(source, winPath(dir, "other.txt"), PathFlavor::Windows, files, messages));
    EXPECT_EQ(std::vector<MessageId>{MsgSameName}, messages.ids());
}

// The page confinement compares these: one spelling per folder, whichever way it was asked.
TEST(Win32FileSystem, RealPathIsOneSpellingWithoutPrefixOrTrailingSeparator) {
    TempDir dir;
    dir.write("Page.htm", "text");
    const Win32FileSystem files;
    const std::optional<std::string> folder = files.realPath(dir.path());
    ASSERT_TRUE(folder);
    EXPECT_EQ(std::string::npos, folder->find("\\\\?\\")) << *folder;
    EXPECT_NE('\\', folder->back());
    EXPECT_EQ(':', (*folder)[1]) << *folder;
    EXPECT_EQ(files.realPath(winPath(dir, "Page.htm")), files.realPath(dir.path() + "/sub/../Page.htm"));
    EXPECT_EQ(folder, files.realPath(winPath(dir, ".\\")));
    EXPECT_FALSE(files.realPath(winPath(dir, "missing.htm")));
    EXPECT_FALSE(files.realPath(winPath(dir, "*.htm")));
}

TEST(Win32FileSystem, CurrentDirectoriesOfTheProcessAndOfItsDrive) {
    const Win32FileSystem files;
    char expected[MAX_PATH];
    ASSERT_GT(GetCurrentDirectoryA(MAX_PATH, expected), 0u);
    EXPECT_EQ(expected, files.currentDirectory().value_or("?"));
    EXPECT_EQ(expected, files.currentDirectoryOfDrive(expected[0]).value_or("?"));
    EXPECT_FALSE(files.currentDirectoryOfDrive('1'));
    EXPECT_FALSE(files.currentDirectoryOfDrive(':'));
}

TEST(Win32FileSystem, ReadsWholeFilesAndRefusesWhatCannotBeRead) {
    TempDir dir;
    dir.write("bytes.bin", std::string("a\0\xff\r\n", 5));
    const Win32FileSystem files;
    EXPECT_EQ((std::vector<uint8_t>{'a', 0, 0xff, '\r', '\n'}),
              files.readFile(winPath(dir, "bytes.bin")).value_or(std::vector<uint8_t>{}));
    EXPECT_FALSE(files.readFile(winPath(dir, "missing.bin")));
    EXPECT_FALSE(files.readFile(dir.path()));

    // Held by a writer that shares nothing: no read, and no partial content.
    const std::string locked = winPath(dir, "locked.dat");
    const HANDLE writer = CreateFileA(locked.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, writer);
    EXPECT_FALSE(files.readFile(locked));
    CloseHandle(writer);
    EXPECT_TRUE(files.readFile(locked));
}

// users.dat as the desktop writes it: count, then records of tag, id, name, folder,
// flags, a skipped block and two tagged lists.
static std::string userRecord(uint16_t tag, uint32_t id, const std::string& name, const std::string& folder) {
    std::string record;
    auto little = [&record](uint32_t value, int width) {
        for (int i = 0; i < width; ++i) record += static_cast<char>((value >> (8 * i)) & 0xFF);
    };
    little(tag, 2);
    if (tag == 0xFFFF) {
        little(1, 2);
        little(7, 2);
        record += "CUserDb";
    }
    little(id, 4);
    record += static_cast<char>(name.size()) + name;
    record += static_cast<char>(folder.size()) + folder;
    little(0x0102, 2);
    little(3, 4);
    record += "abc";
    little(1, 2);
    little(0x8001, 2);
    record += std::string(8, 'x');
    little(0, 2);
    return record;
}

TEST(Win32FileSystem, UsersFileIsReadUpToItsDamage) {
    TempDir dir;
    const std::string desktop = winPath(dir, "");
    const Win32FileSystem files;
    std::vector<UserEntry> users;
    EXPECT_FALSE(loadUsers(desktop, files, users));  // no users.dat
    EXPECT_TRUE(users.empty());

    // Count 3, the second record with an empty name: the first user only.
    dir.write("users.dat", std::string("\x03\x00", 2) + userRecord(0xFFFF, 4000000000u, "Ann", "AnnF") +
                               userRecord(0x8001, 7, "", "BobF") + userRecord(0x8001, 8, "Cy", "CyF"));
    EXPECT_FALSE(loadUsers(desktop, files, users));
    ASSERT_EQ(1u, users.size());
    EXPECT_EQ(4000000000u, users[0].userId);
    EXPECT_EQ("AnnF", users[0].userFolder);

    dir.write("users.dat", "\x02");  // the count itself cut short
    EXPECT_FALSE(loadUsers(desktop, files, users));
    EXPECT_TRUE(users.empty());
}

// The desktop software writes users.dat in the handheld's Windows-1252: names come out in
// UTF-8, every byte as Windows itself reads that code page, and a folder so named is
// found below a desktop folder named beyond any ANSI code page.
TEST(Win32FileSystem, UsersFileNamesAreReadFromWindows1252) {
    TempDir dir;
    const std::string desktop = winPath(dir, kChineseName) + "\\";
    ASSERT_TRUE(makeFolder(desktop));
    std::string everyByte;
    for (int byte = 0x20; byte <= 0xFF; ++byte) everyByte += static_cast<char>(byte);
    ASSERT_TRUE(writeBytes(desktop + "users.dat", std::string("\x02\x00", 2) +
                                                      userRecord(0x8001, 1, "Zo\xeb", "Zo\xeb") +
                                                      userRecord(0x8001, 2, everyByte, "All")));
    const Win32FileSystem files;
    std::vector<UserEntry> users;
    ASSERT_TRUE(loadUsers(desktop, files, users));
    ASSERT_EQ(2u, users.size());
    EXPECT_EQ("Zo\u00eb", users[0].userName);
    EXPECT_EQ("Zo\u00eb", users[0].userFolder);
    ASSERT_TRUE(makeFolder(desktop + "Zo\u00eb"));
    ASSERT_TRUE(makeFolder(desktop + "Zo\u00eb\\Install"));
    EXPECT_EQ(PathLookup::Folder, files.lookup(installFolder(desktop, users[0].userFolder)));

    wchar_t wide[256] = {};
    const int units = MultiByteToWideChar(1252, 0, everyByte.data(), static_cast<int>(everyByte.size()), wide, 256);
    char expected[1024] = {};
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, wide, units, expected, sizeof expected, nullptr, nullptr);
    ASSERT_GT(bytes, 0);
    EXPECT_EQ(std::string(expected, static_cast<size_t>(bytes)), users[1].userName);
}

// Names beyond any ANSI code page: every call finds them and spells them back in UTF-8
// as they went in; bytes that are no UTF-8 find nothing and break nothing.
TEST(Win32FileSystem, NamesBeyondAsciiAreFoundAndSpelledBackInUtf8) {
    TempDir dir;
    const std::string latin = winPath(dir, kLatinName);
    const std::string chinese = latin + "\\" + kChineseName;
    ASSERT_TRUE(makeFolder(latin));
    ASSERT_TRUE(makeFolder(chinese));
    const std::string pageName = "caf\u00e9 \u4e66\u2019s.htm";
    const std::string page = chinese + "\\" + pageName;
    ASSERT_TRUE(writeBytes(page, "text"));
    ASSERT_TRUE(writeBytes(chinese + "\\other.htm", "text"));

    const Win32FileSystem files;
    EXPECT_EQ(PathLookup::Folder, files.lookup(chinese));
    EXPECT_EQ(PathLookup::File, files.lookup(page));
    EXPECT_EQ(PathLookup::Missing, files.lookup(chinese + "\\caf\u00e9.htm"));
    EXPECT_EQ(PathLookup::Missing, files.lookup(latin + "\\\xe4\xb9"));  // a cut character
    EXPECT_EQ((std::vector<uint8_t>{'t', 'e', 'x', 't'}), files.readFile(page).value_or(std::vector<uint8_t>{}));

    const std::string otherSpelling = chinese + "\\..\\" + kChineseName + "\\" + pageName;
    ASSERT_TRUE(files.identity(page));
    EXPECT_EQ(files.identity(page), files.identity(otherSpelling));
    EXPECT_NE(files.identity(page), files.identity(chinese + "\\other.htm"));
    const std::optional<std::string> real = files.realPath(otherSpelling);
    ASSERT_TRUE(real);
    const std::string tail = "\\" + kLatinName + "\\" + kChineseName + "\\" + pageName;
    ASSERT_GT(real->size(), tail.size());
    EXPECT_EQ(tail, real->substr(real->size() - tail.size())) << *real;

    wchar_t previous[MAX_PATH];
    ASSERT_GT(GetCurrentDirectoryW(MAX_PATH, previous), 0u);
    ASSERT_TRUE(SetCurrentDirectoryW(wideOf(chinese).c_str()));
    const std::optional<std::string> current = files.currentDirectory();
    const std::optional<std::string> ofDrive =
        current ? files.currentDirectoryOfDrive((*current)[0]) : std::nullopt;
    SetCurrentDirectoryW(previous);
    ASSERT_TRUE(current);
    EXPECT_EQ(chinese, *current);
    EXPECT_EQ(current, ofDrive);
}

TEST(Win32FileSystem, DestinationFolderThatIsAFileIsRefused) {
    TempDir dir;
    dir.write("plain.txt", "x");
    const Win32FileSystem files;
    RecordingSink messages;
    DestinationRequest request;
    request.location = LocationChosenFolder;
    request.fileName = "book.pdb";
    request.destinationFolder = winPath(dir, "plain.txt");
    EXPECT_FALSE(computeDestination(request, PathFlavor::Windows, files, messages));
    request.destinationFolder = winPath(dir, "nowhere");
    EXPECT_FALSE(computeDestination(request, PathFlavor::Windows, files, messages));
    EXPECT_EQ((std::vector<MessageId>{MsgNotAFolder, MsgFolderMissing}), messages.ids());
    request.destinationFolder = winPath(dir, "") + "  ";
    EXPECT_EQ(winPath(dir, "book.pdb"),
              computeDestination(request, PathFlavor::Windows, files, messages).value_or("?"));
}
