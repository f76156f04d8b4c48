// bench/bench_io.h -- a lean in-memory IoOps for the micro-benchmarks: streams are flat
// byte vectors addressed by handle, blocks come from the C heap, progress always goes
// on. Unlike the tests' MemoryIo it keeps no books and injects no faults, so what a
// benchmark measures is the engine, not the bookkeeping.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "engine/io_ops.h"

class BenchIo {
public:
    BenchIo();
    const IoOps& ops() const { return ops_; }
    // A stream holding `bytes`, positioned at 0; returns its handle.
    uint32_t addStream(const std::vector<uint8_t>& bytes);
    uint32_t addStream(const std::string& bytes);
    // Empties the stream behind `handle` and puts it at position 0.
    void clear(uint32_t handle);
    const std::vector<uint8_t>& bytesOf(uint32_t handle) const { return streams_[handle - 1].bytes; }

private:
    struct Stream {
        std::vector<uint8_t> bytes;
        int64_t position = 0;
    };
    static uint32_t open(void* self, const char* path, int32_t mode);
    static int32_t close(void* self, uint32_t handle);
    static int32_t seek(void* self, uint32_t handle, int32_t offset, int32_t origin);
    static int32_t read(void* self, uint32_t handle, int32_t count, void* buffer);
    static int32_t write(void* self, uint32_t handle, int32_t count, const void* buffer);
    static uint32_t createTemp(void* self);
    static void* alloc(void* self, int32_t byteCount);
    static int32_t free(void* self, void* block);

    IoOps ops_;
    std::vector<Stream> streams_;
};

// An IoOps whose every write succeeds and goes nowhere; it counts the bytes.
struct NullSink {
    static const IoOps& ops();
    static int64_t& bytesWritten();
};
