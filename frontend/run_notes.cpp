// frontend/run_notes.cpp -- see run_notes.h.
#include "frontend/run_notes.h"

#include "engine/compressor.h"
#include "engine/ebook_layout.h"
#include "frontend/forwarding_io.h"

namespace {

int32_t reportLimit(void* userData, int32_t stage, void* argument) {
    LimitNotes& state = *static_cast<LimitNotes*>(userData);
    if (stage == StageLimitReached && argument != nullptr)
        state.limits.push_back(*static_cast<const LimitReport*>(argument));
    if (state.inner.reportProgress == nullptr) return 1;
    return state.inner.reportProgress(state.inner.userData, stage, argument);
}

IoFailures& failuresOf(void* userData) { return *static_cast<IoFailures*>(userData); }

// Takes the thread's last failure, so that a later failure is not told this one's reason.
std::string takeReason(IoFailures& state) {
    std::string reason = state.errors.reason != nullptr ? state.errors.reason() : std::string();
    if (state.errors.clear != nullptr) state.errors.clear();
    return reason;
}

void note(IoFailure& failure, const std::string& path, std::string reason) {
    if (failure.happened) return;
    failure.happened = true;
    failure.path = path;
    failure.reason = std::move(reason);
}

// A failure of an open stream, noted by what the stream is.
void noteStreamFailure(IoFailures& state, uint32_t handle, std::string reason) {
    const auto found = state.open.find(handle);
    if (found == state.open.end()) return;
    const IoFailures::Stream& stream = found->second;
    if (stream.temporary) note(state.temporary, std::string(), std::move(reason));
    else if (stream.writable) note(state.written, stream.path, std::move(reason));
    else note(state.read, stream.path, std::move(reason));
}

uint32_t openStream(void* userData, const char* path, int32_t mode) {
    IoFailures& state = failuresOf(userData);
    const uint32_t handle = state.inner.openStream(state.inner.userData, path, mode);
    const std::string name = path != nullptr ? path : "";
    if (handle == 0) {
        note(mode == 0 ? state.readOpen : state.written, name, takeReason(state));
        return 0;
    }
    state.open[handle] = IoFailures::Stream{name, false, mode != 0};
    return handle;
}

int32_t closeStream(void* userData, uint32_t handle) {
    IoFailures& state = failuresOf(userData);
    const int32_t closed = state.inner.closeStream(state.inner.userData, handle);
    if (closed == 0) noteStreamFailure(state, handle, takeReason(state));
    state.open.erase(handle);
    return closed;
}

int32_t seekStream(void* userData, uint32_t handle, int32_t offset, int32_t origin) {
    IoFailures& state = failuresOf(userData);
    const int32_t position = state.inner.seekStream(state.inner.userData, handle, offset, origin);
    // A position out of range fails too, with no reason: only the system's failures count.
    if (position < 0) {
        std::string reason = takeReason(state);
        if (!reason.empty()) noteStreamFailure(state, handle, std::move(reason));
    }
    return position;
}

int32_t readStream(void* userData, uint32_t handle, int32_t count, void* buffer) {
    IoFailures& state = failuresOf(userData);
    const int32_t got = state.inner.readStream(state.inner.userData, handle, count, buffer);
    if (got < count) {
        std::string reason = takeReason(state);
        if (!reason.empty()) noteStreamFailure(state, handle, std::move(reason));
    }
    return got;
}

int32_t writeStream(void* userData, uint32_t handle, int32_t count, const void* buffer) {
    IoFailures& state = failuresOf(userData);
    const int32_t written = state.inner.writeStream(state.inner.userData, handle, count, buffer);
    if (written < count) noteStreamFailure(state, handle, takeReason(state));
    return written;
}

uint32_t createTempStream(void* userData) {
    IoFailures& state = failuresOf(userData);
    const uint32_t handle = state.inner.createTempStream(state.inner.userData);
    if (handle == 0) note(state.temporary, std::string(), takeReason(state));
    else state.open[handle] = IoFailures::Stream{std::string(), true, true};
    return handle;
}

}  // namespace

IoOps limitNotesOps(LimitNotes& state) {
    IoOps ops = forwardingIoOps(state);
    ops.reportProgress = &reportLimit;
    return ops;
}

IoOps ioFailuresOps(IoFailures& state) {
    if (state.errors.clear != nullptr) state.errors.clear();
    IoOps ops = forwardingIoOps(state);
    ops.openStream = &openStream;
    ops.closeStream = &closeStream;
    ops.seekStream = &seekStream;
    ops.readStream = &readStream;
    ops.writeStream = &writeStream;
    ops.createTempStream = &createTempStream;
    return ops;
}

std::string limitMessage(const LimitReport& report, const std::string& remedy) {
    if (report.kind == LimitPages)
        return "stopped after " + std::to_string(report.limit) + " pages; " +
               std::to_string(report.dropped) + " more " + (report.dropped == 1 ? "was" : "were") +
               " queued: " + remedy;
    if (report.kind == LimitLinkDepth)
        return std::to_string(report.dropped) +
               (report.dropped == 1 ? " link was left out, with the page it leads to: it is on a page"
                                    : " links were left out, with the pages they lead to: they are on pages") +
               " more than " + std::to_string(report.limit) + " links away from the first";
    if (report.kind == LimitLongReferences)
        return std::to_string(report.dropped) + (report.dropped == 1 ? " link was" : " links were") +
               " left out: " + (report.dropped == 1 ? "its address is" : "their addresses are") +
               " longer than " + std::to_string(report.limit) + " bytes";
    return "a limit of the converter left content out of the book (limit " +
           std::to_string(report.kind) + " at " + std::to_string(report.limit) + ": " +
           std::to_string(report.dropped) + " left out)";
}

int64_t maxBookTextBytes() {
    // textRecordCount grows with the length, so the last length it accepts is found by
    // halving; it refuses 0 and a count beyond 65535.
    uint32_t fits = 1, tooLong = UINT32_MAX;
    while (tooLong - fits > 1) {
        const uint32_t middle = fits + (tooLong - fits) / 2;
        if (textRecordCount(middle, kBookChunkSize, kBookGroupSize) != 0) fits = middle;
        else tooLong = middle;
    }
    return fits;
}

std::string tooLongReason(int64_t sizeBytes) {
    const int64_t limit = maxBookTextBytes();
    if (sizeBytes <= limit) return std::string();
    return std::to_string(sizeBytes) + " bytes, more than the " + std::to_string(limit) +
           " bytes of text one book holds (" + std::to_string(kMaxBookRecords) + " records)";
}
