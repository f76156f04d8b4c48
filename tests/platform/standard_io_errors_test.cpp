// The standard table's reasons for its failures: the errno of the very call that failed,
// per thread, so parallel conversions never report each other's.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cerrno>
#include <thread>

#include "platform/standard_io.h"
#include "tests/support/temp_dir.h"

namespace {

const IoOps& io = standardIoOps;

TEST(StandardIoErrors, AFailedOpenForReadingSaysWhy) {
    TempDir dir;
    mkdir(dir.file("folder").c_str(), 0755);
    mkfifo(dir.file("fifo").c_str(), 0644);
    struct Row { std::string path; int error; };
    const Row rows[] = {
        {dir.file("missing.txt"), ENOENT},
        {dir.file("folder"), EISDIR},
        {dir.file("fifo"), kNotRegularFile},
        {dir.file("missing/deeper.txt"), ENOENT},
    };
    for (const Row& row : rows) {
        clearStandardIoError();
        EXPECT_EQ(0u, io.openStream(io.userData, row.path.c_str(), 0)) << row.path;
        EXPECT_EQ(row.error, standardIoError()) << row.path;
    }
    EXPECT_EQ("No such file or directory", standardIoErrorText(ENOENT));
    EXPECT_EQ("Is a directory", standardIoErrorText(EISDIR));
    EXPECT_EQ("Not a regular file", standardIoErrorText(kNotRegularFile));
    EXPECT_EQ("", standardIoErrorText(0));
}

// /dev/full takes the open and refuses every byte, as a full disk does. The windows keep
// small writes until the close, which then fails with the system's reason.
TEST(StandardIoErrors, AFullDeviceFailsTheWriteBackWithNoSpace) {
    clearStandardIoError();
    uint32_t handle = io.openStream(io.userData, "/dev/full", 1);
    if (handle == 0) GTEST_SKIP() << "no /dev/full here";
    EXPECT_EQ(4, io.writeStream(io.userData, handle, 4, "book"));
    EXPECT_EQ(0, standardIoError()) << "nothing has reached the device yet";
    EXPECT_EQ(0, io.closeStream(io.userData, handle));
    EXPECT_EQ(ENOSPC, standardIoError());
    EXPECT_EQ("No space left on device", standardIoErrorText(standardIoError()));

    clearStandardIoError();
    handle = io.openStream(io.userData, "/dev/full", 1);
    ASSERT_NE(0u, handle);
    std::string large(1 << 17, 'x');  // past the windows: straight to the device
    EXPECT_GT(static_cast<int32_t>(large.size()),
              io.writeStream(io.userData, handle, static_cast<int32_t>(large.size()), large.data()));
    EXPECT_EQ(ENOSPC, standardIoError());
    io.closeStream(io.userData, handle);
}

TEST(StandardIoErrors, EachThreadSeesOnlyItsOwnFailures) {
    clearStandardIoError();
    int seenThere = -2;
    std::thread other([&] {
        io.openStream(io.userData, "/nonexistent/file", 0);
        seenThere = standardIoError();
    });
    other.join();
    EXPECT_EQ(ENOENT, seenThere);
    EXPECT_EQ(0, standardIoError());
}

}  // namespace
