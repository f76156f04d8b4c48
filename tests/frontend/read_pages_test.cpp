// tests/frontend/read_pages_test.cpp -- the record of the files a conversion read: each
// one by its identity, whatever spelling reached it, and never the file the run writes,
// alone and as runWorker wires it for both front ends.
#include <gtest/gtest.h>

#include "frontend/conversion_run.h"
#include "frontend/html_reference_rules.h"
#include "frontend/read_pages.h"
#include "tests/frontend/fakes.h"
#include "tests/support/memory_io.h"

namespace {

class ReadPagesTest : public ::testing::Test {
protected:
    ReadPagesTest() {
        memory.addFile("a.htm", "page a");
        memory.addFile("A.HTM", "page a again");  // another spelling of a.htm
        memory.addFile("b.htm", "page b");
        memory.addFile("back.htm", "the destination, reached by a link");
        files.identities["a.htm"] = {1, 10};
        files.identities["A.HTM"] = {1, 10};
        files.identities["b.htm"] = {1, 11};
        files.identities["back.htm"] = {1, 12};
    }
    uint32_t open(const IoOps& io, const char* path, int32_t mode) {
        return io.openStream(io.userData, path, mode);
    }
    MemoryIo memory;
    FakeFileSystem files;
};

TEST_F(ReadPagesTest, RecordsEachFileReadOnceAndPassesEverythingThrough) {
    ReadPages pages{memory.ops(), &files, "out.pdb", {}, {}};
    const IoOps io = readPagesIoOps(pages);
    const uint32_t a = open(io, "a.htm", 0);
    const uint32_t again = open(io, "A.HTM", 0);
    const uint32_t b = open(io, "b.htm", 0);
    const uint32_t out = open(io, "out.pdb", 1);
    ASSERT_TRUE(a != 0 && again != 0 && b != 0 && out != 0);
    EXPECT_EQ(0u, open(io, "missing.htm", 0));
    files.identities["out.pdb"] = {1, 13};  // created by the run
    EXPECT_EQ((std::vector<FileIdentity>{{1, 10}, {1, 11}}), pages.read) << "written files are no pages";

    char bytes[6] = {};
    EXPECT_EQ(6, io.readStream(io.userData, a, 6, bytes));
    EXPECT_EQ("page a", std::string(bytes, 6));
    EXPECT_EQ(3, io.writeStream(io.userData, out, 3, "pdb"));
    EXPECT_EQ(0, io.seekStream(io.userData, out, 0, 0));
    const uint32_t temp = io.createTempStream(io.userData);
    void* block = io.allocBlock(io.userData, 16);
    EXPECT_NE(nullptr, block);
    EXPECT_NE(0, io.freeBlock(io.userData, block));
    EXPECT_NE(0, io.reportProgress(io.userData, StagePercent, nullptr));
    for (uint32_t handle : {a, again, b, out, temp}) EXPECT_NE(0, io.closeStream(io.userData, handle));
    EXPECT_EQ(0, memory.openHandles());
    EXPECT_EQ(0, memory.liveBlocks());
    EXPECT_EQ("pdb", memory.textOf("out.pdb"));

    EXPECT_TRUE(wasRead(pages.read, "A.HTM", files));
    EXPECT_FALSE(wasRead(pages.read, "out.pdb", files));
    EXPECT_FALSE(wasRead(pages.read, "nowhere.htm", files));
}

// A site of any size: with the places the results will go given, only those are noted,
// so the record does not grow with the pages read.
TEST_F(ReadPagesTest, WithWatchedPlacesOnlyThoseAreNoted) {
    ReadPages pages{memory.ops(), &files, "out.pdb", {"A.HTM", "gone.pdb"}, {}};
    const IoOps io = readPagesIoOps(pages);
    for (const char* path : {"b.htm", "a.htm", "back.htm", "a.htm"}) {
        const uint32_t handle = open(io, path, 0);
        ASSERT_NE(0u, handle) << path;
        io.closeStream(io.userData, handle);
    }
    EXPECT_EQ((std::vector<FileIdentity>{{1, 10}}), pages.read) << "a.htm is A.HTM";
    EXPECT_TRUE(wasRead(pages.read, "A.HTM", files));
    EXPECT_FALSE(wasRead(pages.read, "b.htm", files));
}

// The engine writes the destination while it reads pages: a link that leads back to the
// destination would feed the book its own half-written bytes.
TEST_F(ReadPagesTest, TheFileTheRunWritesIsNeverOpenedForReading) {
    files.identities["out.pdb"] = {1, 12};  // back.htm and out.pdb are one file
    ReadPages pages{memory.ops(), &files, "out.pdb", {}, {}};
    const IoOps io = readPagesIoOps(pages);
    EXPECT_EQ(0u, open(io, "back.htm", 0));
    EXPECT_EQ(0, memory.openHandles()) << "the refused handle is closed";
    EXPECT_TRUE(pages.read.empty());
    const uint32_t update = open(io, "back.htm", 2);
    EXPECT_NE(0u, update) << "only reading is refused";
    io.closeStream(io.userData, update);
}

// Both front ends reach the engine through runWorker, so the record is wired there.
std::string g_destination;
uint32_t g_backHandle = 1;
int32_t openingConvert(const ConversionJob& job) {
    const IoOps& io = *job.io;
    g_destination = job.destinationPath;
    const uint32_t source = io.openStream(io.userData, "a.htm", 0);
    const uint32_t page = io.openStream(io.userData, "b.htm", 0);
    g_backHandle = io.openStream(io.userData, "back.htm", 0);
    for (uint32_t handle : {source, page, g_backHandle})
        if (handle != 0) io.closeStream(io.userData, handle);
    return ResultOk;
}

TEST_F(ReadPagesTest, RunWorkerRecordsThePagesAndKeepsTheDestinationUnread) {
    files.cwd = "/site";
    files.identities["/out/back.pdb"] = {1, 12};
    const HtmlReferenceRules rules;
    ConverterSettings settings;
    settings.followLinksOutside = true;  // the pages here sit in no folder of the source's
    const WorkerRequest request{"/site/a.htm", "/out/back.pdb", "T"};
    LinkedPageReport report;
    EXPECT_EQ(StatusSucceeded, runWorker(request, settings, memory.ops(), PathFlavor::Posix, rules,
                                         files, openingConvert, 4096, &report));
    EXPECT_EQ("/out/back.pdb", g_destination);
    EXPECT_EQ(0u, g_backHandle);
    EXPECT_EQ((std::vector<FileIdentity>{{1, 10}, {1, 11}}), report.read);
    EXPECT_EQ(0, memory.openHandles());
}

}  // namespace
