// The table on C stdio, over real files: the three open modes, refusal of anything but
// a regular file for reading, bytes passing unchanged, seeks with all three origins,
// temporary streams, the handle table's limits and its use from several threads.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "engine/checked_io.h"
#include "driver/conversion.h"
#include "platform/standard_io.h"
#include "tests/engine/engine_fixtures.h"
#include "tests/support/counting_io.h"
#include "tests/support/memory_io.h"
#include "tests/support/temp_dir.h"

namespace {

const IoOps& io = standardIoOps;

std::string readAll(uint32_t handle) {
    std::string out;
    char piece[256];
    if (io.seekStream(io.userData, handle, 0, 0) != 0) return "<seek failed>";
    for (;;) {
        const int32_t got = io.readStream(io.userData, handle, sizeof piece, piece);
        out.append(piece, static_cast<size_t>(got));
        if (got < static_cast<int32_t>(sizeof piece)) return out;
    }
}

TEST(StandardIo, ModesOpenReadCreateAndUpdate) {
    TempDir dir;
    const std::string bytes("line\r\nCTRL-Z \x1a NUL \0 end\n", 24);
    dir.write("in.txt", bytes);

    const uint32_t reading = io.openStream(io.userData, dir.file("in.txt").c_str(), 0);
    ASSERT_NE(0u, reading);
    EXPECT_EQ(bytes, readAll(reading)) << "bytes pass unchanged";
    EXPECT_EQ(0, io.writeStream(io.userData, reading, 1, "x")) << "mode 0 does not write";
    EXPECT_EQ(1, io.closeStream(io.userData, reading));
    EXPECT_EQ(bytes, dir.read("in.txt"));

    EXPECT_EQ(0u, io.openStream(io.userData, dir.file("missing").c_str(), 0));
    EXPECT_EQ(0u, io.openStream(io.userData, dir.file("missing").c_str(), 2));
    EXPECT_EQ(0u, io.openStream(io.userData, dir.file("in.txt").c_str(), 3));
    EXPECT_EQ(0u, io.openStream(io.userData, dir.file("in.txt").c_str(), -1));
    EXPECT_EQ(0u, io.openStream(io.userData, nullptr, 0));

    const uint32_t created = io.openStream(io.userData, dir.file("in.txt").c_str(), 1);
    ASSERT_NE(0u, created);
    EXPECT_EQ(0, io.seekStream(io.userData, created, 0, 2)) << "mode 1 truncates";
    EXPECT_EQ(3, io.writeStream(io.userData, created, 3, "a\r\n"));
    EXPECT_EQ("a\r\n", readAll(created)) << "mode 1 also reads";
    EXPECT_EQ(1, io.closeStream(io.userData, created));

    const uint32_t updating = io.openStream(io.userData, dir.file("in.txt").c_str(), 2);
    ASSERT_NE(0u, updating);
    EXPECT_EQ(3, io.seekStream(io.userData, updating, 0, 2)) << "mode 2 keeps the content";
    EXPECT_EQ(1, io.seekStream(io.userData, updating, 1, 0));
    EXPECT_EQ(1, io.writeStream(io.userData, updating, 1, "B"));
    EXPECT_EQ(1, io.closeStream(io.userData, updating));
    EXPECT_EQ("aB\n", dir.read("in.txt"));
}

TEST(StandardIo, OnlyRegularFilesOpenForReading) {
    TempDir dir;
    EXPECT_EQ(0u, io.openStream(io.userData, dir.path().c_str(), 0)) << "a directory";
    EXPECT_EQ(0u, io.openStream(io.userData, "/dev/null", 0)) << "a device";
    ASSERT_EQ(0, ::mkfifo(dir.file("fifo").c_str(), 0600));
    EXPECT_EQ(0u, io.openStream(io.userData, dir.file("fifo").c_str(), 0)) << "a FIFO";
    ASSERT_EQ(0, ::symlink(dir.path().c_str(), dir.file("folder-link").c_str()));
    EXPECT_EQ(0u, io.openStream(io.userData, dir.file("folder-link").c_str(), 0));
    dir.write("real", "x");
    ASSERT_EQ(0, ::symlink(dir.file("real").c_str(), dir.file("file-link").c_str()));
    const uint32_t linked = io.openStream(io.userData, dir.file("file-link").c_str(), 0);
    EXPECT_NE(0u, linked) << "a link to a regular file is fine";
    if (linked != 0) io.closeStream(io.userData, linked);
}

TEST(StandardIo, SeeksAnswerTheNewPosition) {
    const uint32_t temp = io.createTempStream(io.userData);
    ASSERT_NE(0u, temp);
    EXPECT_EQ(0, io.seekStream(io.userData, temp, 0, 2)) << "a new temporary stream is empty";
    EXPECT_EQ(10, io.writeStream(io.userData, temp, 10, "0123456789"));
    EXPECT_EQ(10, io.seekStream(io.userData, temp, 0, 2));
    EXPECT_EQ(4, io.seekStream(io.userData, temp, 4, 0));
    EXPECT_EQ(6, io.seekStream(io.userData, temp, 2, 1));
    EXPECT_EQ(7, io.seekStream(io.userData, temp, -3, 2));
    EXPECT_EQ(-1, io.seekStream(io.userData, temp, -20, 1));
    EXPECT_EQ(-1, io.seekStream(io.userData, temp, 0, 3));
    EXPECT_EQ(2, io.seekStream(io.userData, temp, 2, 0));
    char two[2];
    EXPECT_EQ(2, io.readStream(io.userData, temp, 2, two));
    // Straight from reading to writing and back, with no seek in between.
    EXPECT_EQ(2, io.writeStream(io.userData, temp, 2, "XY"));
    EXPECT_EQ(2, io.readStream(io.userData, temp, 2, two));
    EXPECT_EQ("67", std::string(two, 2));
    EXPECT_EQ("0123XY6789", readAll(temp));
    char rest[20];
    EXPECT_EQ(10, io.seekStream(io.userData, temp, 0, 2));
    EXPECT_EQ(0, io.readStream(io.userData, temp, 20, rest)) << "nothing past the end";
    EXPECT_EQ(1, io.closeStream(io.userData, temp));
}

TEST(StandardIo, ClosedAndUnknownHandlesAreRefused) {
    const uint32_t temp = io.createTempStream(io.userData);
    ASSERT_NE(0u, temp);
    EXPECT_EQ(1, io.closeStream(io.userData, temp));
    char byte;
    for (uint32_t handle : {temp, 0u, 100000u}) {
        EXPECT_EQ(0, io.closeStream(io.userData, handle));
        EXPECT_EQ(-1, io.seekStream(io.userData, handle, 0, 0));
        EXPECT_EQ(0, io.readStream(io.userData, handle, 1, &byte));
        EXPECT_EQ(0, io.writeStream(io.userData, handle, 1, "x"));
    }
}

TEST(StandardIo, AFullHandleTableRefusesAndRecovers) {
    std::vector<uint32_t> handles;
    for (int k = 0; k < 1000; ++k) {
        const uint32_t handle = io.createTempStream(io.userData);
        if (handle == 0) break;
        handles.push_back(handle);
    }
    EXPECT_LT(handles.size(), 1000u) << "the table has a limit";
    EXPECT_GE(handles.size(), 64u) << "room for several conversions";
    ASSERT_EQ(1, io.closeStream(io.userData, handles.back()));
    handles.back() = io.createTempStream(io.userData);
    EXPECT_NE(0u, handles.back()) << "a closed slot is free again";
    for (uint32_t handle : handles) EXPECT_EQ(1, io.closeStream(io.userData, handle));
}

TEST(StandardIo, ParallelConversionsKeepTheirOwnStreams) {
    TempDir dir;
    constexpr int kThreads = 4;
    for (int t = 0; t < kThreads; ++t) dir.write("in" + std::to_string(t) + ".txt", std::string(20000, 'a' + t));
    std::vector<int32_t> results(kThreads, -1);
    std::vector<std::string> echoes(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            const std::string source = dir.file("in" + std::to_string(t) + ".txt");
            const std::string destination = dir.file("out" + std::to_string(t) + ".pdb");
            for (int round = 0; round < 20; ++round) {
                results[t] = convertDocument(defaultJob(io, source.c_str(), destination.c_str()));
                if (results[t] != ResultOk) return;
            }
            const uint32_t temp = io.createTempStream(io.userData);
            const std::string mine(5000, 'a' + t);
            writeExact(io, temp, mine.data(), static_cast<int32_t>(mine.size()));
            echoes[t] = readAll(temp);
            io.closeStream(io.userData, temp);
        });
    }
    for (std::thread& thread : threads) thread.join();
    for (int t = 0; t < kThreads; ++t) {
        EXPECT_EQ(ResultOk, results[t]) << "thread " << t;
        EXPECT_EQ(std::string(5000, 'a' + t), echoes[t]) << "thread " << t;
    }
}

TEST(StandardIo, ConversionOverRealFilesClosesEverything) {
    TempDir dir;
    dir.write("in.txt", "Some text\r\n");
    CountingIo counting(standardIoOps);
    const std::string source = dir.file("in.txt");
    const std::string nowhere = dir.file("no/such/folder/out.pdb");
    EXPECT_EQ(ResultDestinationOpenError,
              convertDocument(defaultJob(counting.ops(), source.c_str(), nowhere.c_str())));
    EXPECT_EQ(ResultSourceOpenError,
              convertDocument(defaultJob(counting.ops(), dir.path().c_str(), source.c_str())))
        << "a folder as source";
    const std::string destination = dir.file("out.pdb");
    EXPECT_EQ(ResultOk, convertDocument(defaultJob(counting.ops(), source.c_str(), destination.c_str())));
    expectNothingHeld(counting);
    EXPECT_EQ("Some text\r\n", dir.read("in.txt"));
}

}  // namespace

// The table keeps its own account of each stream's position and, for streams only it
// writes, of the size, holds two windows of each file and moves the FILE only when a
// transfer needs it there. Any mix of seeks, reads and writes must still answer exactly
// as in-memory streams with the C library's rules do: for a temporary stream (size
// known) and for an existing file opened for update (size asked from the file); with
// pieces large and small thrown anywhere, and with small records read, patched and
// appended all over a growing stream, as the HTML pass does.
TEST(StandardIo, AnyMixOfSeeksReadsAndWritesAnswersLikeMemoryStreams) {
    enum Pattern { Anywhere, Records };
    for (const Pattern pattern : {Anywhere, Records}) {
        for (const bool temporary : {true, false}) {
            SCOPED_TRACE(pattern == Anywhere ? "pieces anywhere" : "records");
            SCOPED_TRACE(temporary ? "temporary stream" : "file opened in mode 2");
            TempDir dir;
            dir.write("update.bin", std::string(100000, 'u'));
            MemoryIo memory;
            const IoOps& model = memory.ops();
            uint32_t expected = 0;
            uint32_t actual = 0;
            if (temporary) {
                expected = model.createTempStream(model.userData);
                actual = io.createTempStream(io.userData);
            } else {
                memory.addFile("update.bin", std::string(100000, 'u'));
                expected = model.openStream(model.userData, "update.bin", 2);
                actual = io.openStream(io.userData, dir.file("update.bin").c_str(), 2);
            }
            ASSERT_NE(0u, expected);
            ASSERT_NE(0u, actual);
            uint32_t seed = pattern == Anywhere ? 7 : 11;
            auto next = [&seed](uint32_t bound) {
                seed = seed * 1664525u + 1013904223u;
                return (seed >> 8) % bound;
            };
            std::vector<uint8_t> bytes(70000), want(70000), got(70000);
            for (int step = 0; step < 6000; ++step) {
                int32_t count = 0;
                int32_t offset = 0;
                int32_t origin = 0;
                if (pattern == Anywhere) {
                    // Mostly small pieces, now and then one larger than a window.
                    count = next(20) == 0 ? 1 + next(70000) : 1 + next(300);
                    origin = next(3);
                    offset = static_cast<int32_t>(next(140000)) - 40000;
                } else {
                    // Records of up to 64 bytes anywhere in what is there, or at the end.
                    count = 1 + next(64);
                    const int32_t size = model.seekStream(model.userData, expected, 0, 2);
                    origin = next(4) == 0 ? 2 : 0;
                    offset = origin == 2 ? 0 : static_cast<int32_t>(next(static_cast<uint32_t>(size) + 1));
                    model.seekStream(model.userData, expected, 0, 0);  // the size lookup moved it
                    io.seekStream(io.userData, actual, 0, 0);
                }
                switch (next(4)) {
                    case 0:
                        ASSERT_EQ(model.seekStream(model.userData, expected, offset, origin),
                                  io.seekStream(io.userData, actual, offset, origin))
                            << "step " << step << ": seek " << offset << " from " << origin;
                        break;
                    case 1: {
                        if (pattern == Records) {
                            model.seekStream(model.userData, expected, offset, origin);
                            io.seekStream(io.userData, actual, offset, origin);
                        }
                        const int32_t wantCount = model.readStream(model.userData, expected, count, want.data());
                        ASSERT_EQ(wantCount, io.readStream(io.userData, actual, count, got.data())) << "step " << step;
                        ASSERT_TRUE(std::equal(want.begin(), want.begin() + wantCount, got.begin())) << "step " << step;
                        break;
                    }
                    default:
                        if (pattern == Records) {
                            model.seekStream(model.userData, expected, offset, origin);
                            io.seekStream(io.userData, actual, offset, origin);
                        }
                        for (int32_t i = 0; i < count; ++i) bytes[i] = static_cast<uint8_t>(next(256));
                        ASSERT_EQ(model.writeStream(model.userData, expected, count, bytes.data()),
                                  io.writeStream(io.userData, actual, count, bytes.data()))
                            << "step " << step;
                }
            }
            EXPECT_EQ(model.seekStream(model.userData, expected, 0, 2), io.seekStream(io.userData, actual, 0, 2));
            const std::vector<uint8_t> content = memory.bytesOfHandle(expected);
            EXPECT_EQ(std::string(content.begin(), content.end()), readAll(actual));
            EXPECT_EQ(1, io.closeStream(io.userData, actual));
            model.closeStream(model.userData, expected);
            if (!temporary) {
                EXPECT_EQ(std::string(content.begin(), content.end()), dir.read("update.bin"));
            }
        }
    }
}

// The C library's end-of-file flag is sticky: a stream that read to its end must not
// keep reporting the end once the file has grown through another handle.
TEST(StandardIo, BytesAppendedElsewhereAfterTheEndWasReachedAreRead) {
    TempDir dir;
    dir.write("grows.txt", "abc");
    const uint32_t reader = io.openStream(io.userData, dir.file("grows.txt").c_str(), 0);
    ASSERT_NE(0u, reader);
    char bytes[8];
    EXPECT_EQ(3, io.readStream(io.userData, reader, 8, bytes)) << "a short read at the end";
    const uint32_t writer = io.openStream(io.userData, dir.file("grows.txt").c_str(), 2);
    ASSERT_NE(0u, writer);
    EXPECT_EQ(3, io.seekStream(io.userData, writer, 0, 2));
    EXPECT_EQ(2, io.writeStream(io.userData, writer, 2, "de"));
    EXPECT_EQ(1, io.closeStream(io.userData, writer));
    EXPECT_EQ(3, io.seekStream(io.userData, reader, 3, 0));
    ASSERT_EQ(2, io.readStream(io.userData, reader, 8, bytes));
    EXPECT_EQ("de", std::string(bytes, 2));
    EXPECT_EQ(5, io.seekStream(io.userData, reader, 0, 2)) << "its end is asked from the file";
    EXPECT_EQ(1, io.closeStream(io.userData, reader));
}

#ifndef _WIN32
// The folder a process holds a file of open in, as /proc shows it ("/t/#123 (deleted)"
// for an unnamed or removed file); empty when it holds none there.
static std::string openFileIn(const std::string& folder) {
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd", error)) {
        std::error_code gone;
        const std::string target = std::filesystem::read_symlink(entry.path(), gone).string();
        if (!gone && target.rfind(folder + "/", 0) == 0) return target;
    }
    return {};
}

// Temporary streams hold the whole book text; a user's TMPDIR is where there is room.
TEST(StandardIo, TemporaryStreamsLiveInTmpdirAndLeaveNoName) {
    TempDir dir;
    const char* before = std::getenv("TMPDIR");
    const std::string saved = before != nullptr ? before : "";
    const std::string folder = std::filesystem::canonical(dir.path()).string();
    ASSERT_EQ(0, setenv("TMPDIR", folder.c_str(), 1));
    const uint32_t stream = standardIoOps.createTempStream(nullptr);
    if (before != nullptr) setenv("TMPDIR", saved.c_str(), 1); else unsetenv("TMPDIR");
    ASSERT_NE(0u, stream);
    EXPECT_NE("", openFileIn(folder)) << "the stream's file is in TMPDIR";
    EXPECT_TRUE(std::filesystem::is_empty(folder)) << "and has no name there";
    ASSERT_EQ(5, standardIoOps.writeStream(nullptr, stream, 5, "bytes"));
    EXPECT_EQ(0, standardIoOps.seekStream(nullptr, stream, 0, 0));
    char back[5] = {};
    EXPECT_EQ(5, standardIoOps.readStream(nullptr, stream, 5, back));
    EXPECT_EQ("bytes", std::string(back, 5));
    EXPECT_NE(0, standardIoOps.closeStream(nullptr, stream));
    EXPECT_EQ("", openFileIn(folder));

    // A TMPDIR that is no folder falls back to /tmp rather than failing the conversion.
    ASSERT_EQ(0, setenv("TMPDIR", dir.file("missing").c_str(), 1));
    const uint32_t fallback = standardIoOps.createTempStream(nullptr);
    if (before != nullptr) setenv("TMPDIR", saved.c_str(), 1); else unsetenv("TMPDIR");
    EXPECT_NE(0u, fallback);
    if (fallback != 0) standardIoOps.closeStream(nullptr, fallback);
}
#endif
