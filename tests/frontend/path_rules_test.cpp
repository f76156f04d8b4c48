// Path splitting and the one-spelling form that the same-file check compares: a wrong
// cut proposes a wrong name, a wrong spelling lets a source be overwritten.
#include <gtest/gtest.h>

#include "frontend/path_rules.h"
#include "tests/frontend/fakes.h"

TEST(SplitPath, CutsDriveFolderBaseNameAndExtension) {
    struct Row { const char* path; PathFlavor flavor; const char* drive; const char* folder;
                 const char* base; const char* extension; };
    const Row rows[] = {
        {"C:\\docs\\report.txt", PathFlavor::Windows, "C:", "\\docs\\", "report", ".txt"},
        {"C:/docs/a.b.htm", PathFlavor::Windows, "C:", "/docs/", "a.b", ".htm"},
        {"report.txt", PathFlavor::Windows, "", "", "report", ".txt"},
        {"D:name", PathFlavor::Windows, "D:", "", "name", ""},
        {"\\\\srv\\share\\x.pdb", PathFlavor::Windows, "", "\\\\srv\\share\\", "x", ".pdb"},
        {"C:\\v1.2\\readme", PathFlavor::Windows, "C:", "\\v1.2\\", "readme", ""},
        {"/home/u/book.html", PathFlavor::Posix, "", "/home/u/", "book", ".html"},
        {"C:a\\b.txt", PathFlavor::Posix, "", "", "C:a\\b", ".txt"},  // no drives, "\" is a name byte
    };
    for (const Row& row : rows) {
        const PathParts parts = splitPath(row.path, row.flavor);
        EXPECT_EQ(row.drive, parts.drive) << row.path;
        EXPECT_EQ(row.folder, parts.folder) << row.path;
        EXPECT_EQ(row.base, parts.baseName) << row.path;
        EXPECT_EQ(row.extension, parts.extension) << row.path;
    }
}

TEST(PathRules, BlanksDrivesAndDriveRelativePaths) {
    EXPECT_EQ("a b", trimBlanks(" \t a b \t"));
    EXPECT_EQ("", trimBlanks("   "));
    EXPECT_TRUE(isBareDrive("C:"));
    EXPECT_FALSE(isBareDrive("C:\\"));
    EXPECT_TRUE(isDriveRelative("C:"));
    EXPECT_TRUE(isDriveRelative("c:file.txt"));
    EXPECT_FALSE(isDriveRelative("C:\\file.txt"));
    EXPECT_FALSE(isDriveRelative("C:/file.txt"));
    EXPECT_FALSE(isDriveRelative("1:file.txt"));
    EXPECT_TRUE(equalIgnoringCase("C:\\A\\X.PDB", "c:\\a\\x.pdb"));
    EXPECT_FALSE(equalIgnoringCase("x.pdb", "x.pdb "));
}

TEST(ComparablePath, DifferentSpellingsOfOnePlaceBecomeEqual) {
    FakeFileSystem files;
    files.cwd = "C:\\Work";
    files.driveDirectories['D'] = "D:\\Books\\New";
    struct Row { const char* path; const char* expected; };
    const Row rows[] = {
        {"x.pdb", "c:\\work\\x.pdb"},
        {".\\x.pdb", "c:\\work\\x.pdb"},
        {"C:\\WORK\\.\\\\x.pdb", "c:\\work\\x.pdb"},
        {"C:/work/sub/../x.pdb", "c:\\work\\x.pdb"},
        {"c:\\work\\x.pdb.", "c:\\work\\x.pdb"},  // Windows drops trailing dots
        {"\\Work\\x.pdb", "c:\\work\\x.pdb"},     // rooted on the current drive
        {"d:x.pdb", "d:\\books\\new\\x.pdb"},
        {"D:..\\x.pdb", "d:\\books\\x.pdb"},
        {"C:\\..\\..\\x", "c:\\x"},                // cannot climb above the root
        {"\\\\Srv\\Share\\a\\..\\b", "\\\\srv\\share\\b"},
        {"C:\\", "c:\\"},
    };
    for (const Row& row : rows) {
        const std::optional<std::string> comparable = comparablePath(row.path, PathFlavor::Windows, files);
        ASSERT_TRUE(comparable) << row.path;
        EXPECT_EQ(row.expected, *comparable) << row.path;
    }
    EXPECT_FALSE(comparablePath("e:x.pdb", PathFlavor::Windows, files));  // drive has no directory
    files.cwd.reset();
    EXPECT_FALSE(comparablePath("x.pdb", PathFlavor::Windows, files));
    EXPECT_EQ("c:\\a", *comparablePath("C:\\a", PathFlavor::Windows, files));
}

TEST(ComparablePath, PosixKeepsCaseAndBackslashes) {
    FakeFileSystem files;
    files.cwd = "/home/Ann";
    EXPECT_EQ("/home/Ann/X.pdb", *comparablePath("./X.pdb", PathFlavor::Posix, files));
    EXPECT_EQ("/home/x.pdb", *comparablePath("../x.pdb", PathFlavor::Posix, files));
    EXPECT_EQ("/a\\b.pdb", *comparablePath("//a\\b.pdb", PathFlavor::Posix, files));
    EXPECT_EQ("/", *comparablePath("/..", PathFlavor::Posix, files));
}
