// The POSIX file system on real files: the same-name check relies on its identities to
// catch links, which no spelling comparison can.
#ifndef _WIN32
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "frontend/posix_file_system.h"
#include "frontend/source_destination.h"
#include "tests/frontend/fakes.h"
#include "tests/support/temp_dir.h"

TEST(PosixFileSystem, LooksUpFoldersFilesAndContent) {
    TempDir dir;
    dir.write("a.txt", std::string("ab\0c", 4));
    const PosixFileSystem files;
    EXPECT_EQ(PathLookup::Folder, files.lookup(dir.path()));
    EXPECT_EQ(PathLookup::File, files.lookup(dir.file("a.txt")));
    EXPECT_EQ(PathLookup::Missing, files.lookup(dir.file("b.txt")));
    EXPECT_EQ((std::vector<uint8_t>{'a', 'b', 0, 'c'}), files.readFile(dir.file("a.txt")).value_or(std::vector<uint8_t>{}));
    EXPECT_FALSE(files.readFile(dir.file("b.txt")));
    EXPECT_FALSE(files.readFile(dir.path()));  // a folder is not a file to read
    EXPECT_FALSE(files.currentDirectoryOfDrive('C'));
    const std::optional<std::string> cwd = files.currentDirectory();
    ASSERT_TRUE(cwd);
    EXPECT_EQ('/', cwd->front());
}

// The page confinement compares real paths: links resolved, no "." or "..", no
// separator at the end.
TEST(PosixFileSystem, RealPathResolvesLinksAndSpellings) {
    TempDir dir;
    ASSERT_EQ(0, mkdir(dir.file("site").c_str(), 0755));
    ASSERT_EQ(0, mkdir(dir.file("outside").c_str(), 0755));
    dir.write("outside/a.html", "x");
    ASSERT_EQ(0, symlink("../outside", dir.file("site/door").c_str()));
    ASSERT_EQ(0, symlink("../outside/a.html", dir.file("site/a.html").c_str()));
    const PosixFileSystem files;
    const std::optional<std::string> root = files.realPath(dir.path());
    ASSERT_TRUE(root);
    EXPECT_EQ('/', root->front());
    EXPECT_EQ(*root + "/outside/a.html", files.realPath(dir.file("site/door/a.html")));
    EXPECT_EQ(*root + "/outside/a.html", files.realPath(dir.file("site/a.html")));
    EXPECT_EQ(*root + "/site", files.realPath(dir.path() + "/site/./../site/"));
    EXPECT_EQ("/", files.realPath("/"));
    EXPECT_FALSE(files.realPath(dir.file("site/missing.html")));
}

TEST(PosixFileSystem, LinksAndOtherSpellingsAreTheSameFile) {
    TempDir dir;
    dir.write("book.txt", "text");
    dir.write("other.txt", "text");
    ASSERT_EQ(0, symlink(dir.file("book.txt").c_str(), dir.file("soft.pdb").c_str()));
    ASSERT_EQ(0, link(dir.file("book.txt").c_str(), dir.file("hard.pdb").c_str()));
    const PosixFileSystem files;
    const std::string source = dir.file("book.txt");
    EXPECT_EQ(files.identity(source), files.identity(dir.file("soft.pdb")));
    EXPECT_NE(files.identity(source), files.identity(dir.file("other.txt")));
    EXPECT_FALSE(files.identity(dir.file("missing.pdb")));

    struct Row { std::string destination; bool refused; };
    const Row rows[] = {
        {dir.file("soft.pdb"), true},
        {dir.file("hard.pdb"), true},
        {dir.path() + "/./book.txt", true},
        {dir.path() + "//book.txt", true},
        {dir.file("other.txt"), false},
        {dir.file("new.pdb"), false},
    };
    for (const Row& row : rows) {
        RecordingSink messages;
        EXPECT_EQ(!row.refused, checkSameName(source, row.destination, PathFlavor::Posix, files, messages))
            << row.destination;
    }
}
#endif
