// tests/frontend/run_notes_test.cpp -- what a run leaves to be said: the limits the engine
// met, and the first failure of each kind beneath it with the platform's reason, alone
// and as runWorker hands them to both front ends; and the wording of both.
#include <gtest/gtest.h>

#include "engine/compressor.h"
#include "frontend/conversion_run.h"
#include "frontend/forwarding_io.h"
#include "frontend/html_reference_rules.h"
#include "frontend/progress.h"
#include "frontend/run_notes.h"
#include "tests/frontend/fakes.h"
#include "tests/support/memory_io.h"

namespace {

// The fake platform's error, per thread like the real one.
thread_local int tError = 0;
void clearError() { tError = 0; }
std::string errorReason() { return tError == 0 ? std::string() : "error " + std::to_string(tError); }
SystemErrors fakeErrors() {
    SystemErrors errors;
    errors.clear = &clearError;
    errors.reason = &errorReason;
    return errors;
}

// Memory files under a layer that fails as the platform would, setting tError.
struct Failing {
    IoOps inner{};
    bool writesFail = false;   // disk full
    bool tempsFail = false;    // too many open files
    bool readsFail = false;    // an I/O error halfway
};

uint32_t failingOpen(void* userData, const char* path, int32_t mode) {
    Failing& state = *static_cast<Failing*>(userData);
    const uint32_t handle = state.inner.openStream(state.inner.userData, path, mode);
    if (handle == 0) tError = 2;
    return handle;
}
int32_t failingWrite(void* userData, uint32_t handle, int32_t count, const void* buffer) {
    Failing& state = *static_cast<Failing*>(userData);
    if (!state.writesFail) return state.inner.writeStream(state.inner.userData, handle, count, buffer);
    tError = 28;
    return 0;
}
int32_t failingRead(void* userData, uint32_t handle, int32_t count, void* buffer) {
    Failing& state = *static_cast<Failing*>(userData);
    const int32_t got = state.inner.readStream(state.inner.userData, handle, count, buffer);
    if (!state.readsFail) return got;
    tError = 5;
    return got > 0 ? got - 1 : 0;
}
uint32_t failingTemp(void* userData) {
    Failing& state = *static_cast<Failing*>(userData);
    if (!state.tempsFail) return state.inner.createTempStream(state.inner.userData);
    tError = 24;
    return 0;
}

class RunNotes : public ::testing::Test {
protected:
    RunNotes() {
        memory.addFile("/in/a.txt", "four");
        failing.inner = memory.ops();
        base = forwardingIoOps(failing);
        base.openStream = &failingOpen;
        base.writeStream = &failingWrite;
        base.readStream = &failingRead;
        base.createTempStream = &failingTemp;
        failures.inner = base;
        failures.errors = fakeErrors();
    }
    int32_t readAll(const IoOps& io, uint32_t handle) {
        char buffer[16];
        return io.readStream(io.userData, handle, sizeof buffer, buffer);
    }
    MemoryIo memory;
    Failing failing;
    IoOps base{};
    IoFailures failures;
};

TEST_F(RunNotes, EachKindKeepsItsFirstFailureWithTheReasonOfThatCall) {
    const IoOps io = ioFailuresOps(failures);
    EXPECT_EQ(0u, io.openStream(io.userData, "/in/missing.htm", 0));
    EXPECT_EQ(0u, io.openStream(io.userData, "/in/also-missing.htm", 0));
    const uint32_t source = io.openStream(io.userData, "/in/a.txt", 0);
    ASSERT_NE(0u, source);
    EXPECT_EQ(4, readAll(io, source)) << "a read that reaches the end is no failure";
    const uint32_t book = io.openStream(io.userData, "/out/a.pdb", 1);
    ASSERT_NE(0u, book);
    EXPECT_EQ(4, io.writeStream(io.userData, book, 4, "book"));
    failing.writesFail = true;
    EXPECT_EQ(0, io.writeStream(io.userData, book, 4, "more"));
    failing.tempsFail = true;
    EXPECT_EQ(0u, io.createTempStream(io.userData));
    io.closeStream(io.userData, book);
    io.closeStream(io.userData, source);

    EXPECT_TRUE(failures.readOpen.happened);
    EXPECT_EQ("/in/missing.htm", failures.readOpen.path);
    EXPECT_EQ("error 2", failures.readOpen.reason);
    EXPECT_FALSE(failures.read.happened);
    EXPECT_TRUE(failures.written.happened);
    EXPECT_EQ("/out/a.pdb", failures.written.path);
    EXPECT_EQ("error 28", failures.written.reason);
    EXPECT_TRUE(failures.temporary.happened);
    EXPECT_EQ("", failures.temporary.path);
    EXPECT_EQ("error 24", failures.temporary.reason);
    EXPECT_EQ(0, memory.openHandles());
}

TEST_F(RunNotes, AShortReadCountsOnlyWithTheSystemsErrorAndNeverAStaleOne) {
    tError = 13;  // left by something before the run
    const IoOps io = ioFailuresOps(failures);
    const uint32_t source = io.openStream(io.userData, "/in/a.txt", 0);
    ASSERT_NE(0u, source);
    EXPECT_EQ(4, readAll(io, source));
    EXPECT_FALSE(failures.read.happened) << "the end of the stream, with an old error around";
    failing.readsFail = true;
    io.seekStream(io.userData, source, 0, 0);
    EXPECT_EQ(3, readAll(io, source));
    EXPECT_TRUE(failures.read.happened);
    EXPECT_EQ("/in/a.txt", failures.read.path);
    EXPECT_EQ("error 5", failures.read.reason);
    io.closeStream(io.userData, source);
}

TEST_F(RunNotes, AFailureOfATemporaryStreamIsNotTheDestinations) {
    const IoOps io = ioFailuresOps(failures);
    const uint32_t temp = io.createTempStream(io.userData);
    ASSERT_NE(0u, temp);
    failing.writesFail = true;
    EXPECT_EQ(0, io.writeStream(io.userData, temp, 1, "x"));
    io.closeStream(io.userData, temp);
    EXPECT_TRUE(failures.temporary.happened);
    EXPECT_EQ("error 28", failures.temporary.reason);
    EXPECT_FALSE(failures.written.happened);
}

int32_t channelReport(void* userData, int32_t stage, void* argument) {
    return reportProgressToChannel(userData, stage, argument);
}

TEST(LimitNotes, KeepsEachLimitAndHandsEveryReportOn) {
    LocalProgressChannel channel;
    MemoryIo memory;
    LimitNotes notes;
    notes.inner = memory.ops();
    notes.inner.userData = &channel;  // only the progress slot is called here
    notes.inner.reportProgress = &channelReport;
    const IoOps io = limitNotesOps(notes);
    PageProgress page{37, 173};
    EXPECT_EQ(1, io.reportProgress(io.userData, StagePageProgress, &page));
    LimitReport limit{LimitPages, 32000, 18000};
    EXPECT_EQ(1, io.reportProgress(io.userData, StageLimitReached, &limit));
    channel.requestCancel();
    LimitReport other{7, 4000, 12};
    EXPECT_EQ(0, io.reportProgress(io.userData, StageLimitReached, &other)) << "cancel passes up";
    ASSERT_EQ(2u, notes.limits.size());
    EXPECT_EQ(18000, notes.limits[0].dropped);
    EXPECT_EQ(7, notes.limits[1].kind);
    const std::optional<ProgressFields> snapshot = takeProgressSnapshot(channel);
    ASSERT_TRUE(snapshot);
    EXPECT_EQ("page 37 of 173 known", progressDisplay(*snapshot).pageCount);

    LimitNotes silent;  // nothing beneath listens: the engine goes on
    silent.inner = memory.ops();
    silent.inner.reportProgress = nullptr;
    const IoOps quiet = limitNotesOps(silent);
    EXPECT_EQ(1, quiet.reportProgress(quiet.userData, StageLimitReached, &limit));
    EXPECT_EQ(1u, silent.limits.size());
}

TEST(LimitNotes, MessagesNameTheLimitAndWhatLiftsIt) {
    EXPECT_EQ("stopped after 32000 pages; 18000 more were queued: use --max-pages",
              limitMessage({LimitPages, 32000, 18000}, "use --max-pages"));
    EXPECT_EQ("stopped after 5 pages; 1 more was queued: raise MaxPages",
              limitMessage({LimitPages, 5, 1}, "raise MaxPages"));
    EXPECT_EQ("3 links were left out: their addresses are longer than 255 bytes",
              limitMessage({LimitLongReferences, 255, 3}, "use --max-pages"));
    EXPECT_EQ("1 link was left out: its address is longer than 255 bytes",
              limitMessage({LimitLongReferences, 255, 1}, "use --max-pages"));
    EXPECT_EQ("2 links were left out, with the pages they lead to: they are on pages more than 255 links "
              "away from the first",
              limitMessage({LimitLinkDepth, 255, 2}, "use --max-pages"));
    EXPECT_EQ("1 link was left out, with the page it leads to: it is on a page more than 255 links away "
              "from the first",
              limitMessage({LimitLinkDepth, 255, 1}, "use --max-pages"));
    EXPECT_EQ("a limit of the converter left content out of the book (limit 9 at 4000: 12 left out)",
              limitMessage({9, 4000, 12}, "use --max-pages"));
}

// One book holds 1 + C + ceil(C / 8) <= 65535 text records for C chunks of 4096 bytes:
// C = 58252 (58252 + 7282 = 65534), so 238600192 bytes.
TEST(TooLong, TheLimitIsTheLastLengthWhoseRecordsFit) {
    EXPECT_EQ(238600192, maxBookTextBytes());
    EXPECT_NE(0u, textRecordCount(238600192u, 4096, 8));
    EXPECT_EQ(0u, textRecordCount(238600193u, 4096, 8));
    EXPECT_EQ("", tooLongReason(238600192));
    EXPECT_EQ("272629760 bytes, more than the 238600192 bytes of text one book holds (65535 records)",
              tooLongReason(272629760));
}

// A stand-in engine: reports a limit, reads its source and writes its destination.
std::string g_destination;
int32_t limitedWritingConvert(const ConversionJob& job) {
    const IoOps& io = *job.io;
    g_destination = job.destinationPath;
    EXPECT_EQ(9, job.maxPages);
    LimitReport limit{LimitPages, 9, 4};
    if (io.reportProgress != nullptr && io.reportProgress(io.userData, StageLimitReached, &limit) == 0)
        return ResultCanceled;
    const uint32_t source = io.openStream(io.userData, job.sourcePath, 0);
    if (source == 0) return ResultSourceOpenError;
    const uint32_t book = io.openStream(io.userData, job.destinationPath, 1);
    const int32_t written = book == 0 ? 0 : io.writeStream(io.userData, book, 4, "book");
    if (book != 0) io.closeStream(io.userData, book);
    io.closeStream(io.userData, source);
    return written == 4 ? ResultOk : ResultConversionError;
}

TEST_F(RunNotes, RunWorkerHandsTheLimitsAndTheFailuresToTheReport) {
    FakeFileSystem files;
    files.cwd = "/in";
    const HtmlReferenceRules rules;
    ConverterSettings settings;
    settings.maxPages = 9;
    const WorkerRequest request{"a.txt", "/out/a.pdb", "A"};
    LinkedPageReport report;
    EXPECT_EQ(StatusSucceeded, runWorker(request, settings, base, PathFlavor::Posix, rules, files,
                                         limitedWritingConvert, 4096, &report, fakeErrors()));
    ASSERT_EQ(1u, report.limits.size());
    EXPECT_EQ(4, report.limits[0].dropped);
    EXPECT_FALSE(report.writeFailure.happened);

    failing.writesFail = true;
    report = LinkedPageReport();
    EXPECT_EQ(StatusConversionError, runWorker(request, settings, base, PathFlavor::Posix, rules,
                                               files, limitedWritingConvert, 4096, &report, fakeErrors()));
    EXPECT_EQ("/out/a.pdb", report.writeFailure.path);
    EXPECT_EQ("error 28", report.writeFailure.reason);

    const WorkerRequest missing{"gone.txt", "/out/gone.pdb", "G"};
    report = LinkedPageReport();
    EXPECT_EQ(StatusSourceError, runWorker(missing, settings, base, PathFlavor::Posix, rules, files,
                                           limitedWritingConvert, 4096, &report, fakeErrors()));
    EXPECT_EQ("/in/gone.txt", report.sourceOpen.path);
    EXPECT_EQ("error 2", report.sourceOpen.reason);
    EXPECT_EQ(0, memory.openHandles());
}

}  // namespace
