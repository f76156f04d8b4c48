// frontend/forwarding_io.h -- the part every IoOps wrapper of the front end shares: a
// table whose slots hand each call on to the wrapped table, for a wrapper to replace
// the few slots it changes. `State` is the wrapper's record, with the wrapped table as
// its member `inner`; the table's userData points at the record.
#pragma once
#include "engine/io_ops.h"

template <class State>
struct ForwardingSlots {
    static const IoOps& inner(void* userData) { return static_cast<State*>(userData)->inner; }
    static uint32_t open(void* userData, const char* path, int32_t mode) {
        const IoOps& io = inner(userData);
        return io.openStream(io.userData, path, mode);
    }
    static int32_t close(void* userData, uint32_t handle) {
        const IoOps& io = inner(userData);
        return io.closeStream(io.userData, handle);
    }
    static int32_t seek(void* userData, uint32_t handle, int32_t offset, int32_t origin) {
        const IoOps& io = inner(userData);
        return io.seekStream(io.userData, handle, offset, origin);
    }
    static int32_t read(void* userData, uint32_t handle, int32_t count, void* buffer) {
        const IoOps& io = inner(userData);
        return io.readStream(io.userData, handle, count, buffer);
    }
    static int32_t write(void* userData, uint32_t handle, int32_t count, const void* buffer) {
        const IoOps& io = inner(userData);
        return io.writeStream(io.userData, handle, count, buffer);
    }
    static uint32_t createTemp(void* userData) {
        const IoOps& io = inner(userData);
        return io.createTempStream(io.userData);
    }
    static void* alloc(void* userData, int32_t byteCount) {
        const IoOps& io = inner(userData);
        return io.allocBlock(io.userData, byteCount);
    }
    static int32_t free(void* userData, void* block) {
        const IoOps& io = inner(userData);
        return io.freeBlock(io.userData, block);
    }
    static int32_t report(void* userData, int32_t stage, void* argument) {
        const IoOps& io = inner(userData);
        return io.reportProgress(io.userData, stage, argument);
    }
};

// A table over `state` that forwards every call to state.inner. An empty progress slot
// stays empty: callers then go on, as they would without the wrapper.
template <class State>
IoOps forwardingIoOps(State& state) {
    using Slots = ForwardingSlots<State>;
    return IoOps{&state,          &Slots::open,       &Slots::close, &Slots::seek,
                 &Slots::read,    &Slots::write,      &Slots::createTemp,
                 &Slots::alloc,   &Slots::free,
                 state.inner.reportProgress != nullptr ? &Slots::report : nullptr};
}
