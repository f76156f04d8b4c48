// bench/bench_io.cpp -- see bench_io.h.
#include "bench/bench_io.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

BenchIo::BenchIo()
    : ops_{this, &open, &close, &seek, &read, &write, &createTemp, &alloc, &free, nullptr} {}

uint32_t BenchIo::addStream(const std::vector<uint8_t>& bytes) {
    streams_.push_back(Stream{bytes, 0});
    return static_cast<uint32_t>(streams_.size());
}

uint32_t BenchIo::addStream(const std::string& bytes) {
    return addStream(std::vector<uint8_t>(bytes.begin(), bytes.end()));
}

void BenchIo::clear(uint32_t handle) {
    streams_[handle - 1].bytes.clear();
    streams_[handle - 1].position = 0;
}

uint32_t BenchIo::open(void*, const char*, int32_t) { return 0; }  // no named files
int32_t BenchIo::close(void*, uint32_t) { return 1; }

int32_t BenchIo::seek(void* self, uint32_t handle, int32_t offset, int32_t origin) {
    Stream& s = static_cast<BenchIo*>(self)->streams_[handle - 1];
    const int64_t base = origin == 0 ? 0 : origin == 1 ? s.position : static_cast<int64_t>(s.bytes.size());
    if (base + offset < 0) return -1;
    s.position = base + offset;
    return static_cast<int32_t>(s.position);
}

int32_t BenchIo::read(void* self, uint32_t handle, int32_t count, void* buffer) {
    Stream& s = static_cast<BenchIo*>(self)->streams_[handle - 1];
    const int64_t size = static_cast<int64_t>(s.bytes.size());
    const int64_t n = s.position >= size ? 0 : std::min<int64_t>(count, size - s.position);
    if (n > 0) std::memcpy(buffer, s.bytes.data() + s.position, static_cast<size_t>(n));
    s.position += n;
    return static_cast<int32_t>(n);
}

int32_t BenchIo::write(void* self, uint32_t handle, int32_t count, const void* buffer) {
    Stream& s = static_cast<BenchIo*>(self)->streams_[handle - 1];
    const size_t end = static_cast<size_t>(s.position) + static_cast<size_t>(count);
    if (s.bytes.size() < end) s.bytes.resize(end);
    std::memcpy(s.bytes.data() + s.position, buffer, static_cast<size_t>(count));
    s.position += count;
    return count;
}

uint32_t BenchIo::createTemp(void* self) {
    return static_cast<BenchIo*>(self)->addStream(std::vector<uint8_t>());
}

void* BenchIo::alloc(void*, int32_t byteCount) { return std::malloc(byteCount > 0 ? byteCount : 1); }

int32_t BenchIo::free(void*, void* block) {
    std::free(block);
    return 1;
}

namespace {
int32_t sinkWrite(void*, uint32_t, int32_t count, const void*) {
    NullSink::bytesWritten() += count;
    return count;
}
}  // namespace

const IoOps& NullSink::ops() {
    static const IoOps table{nullptr, nullptr, nullptr, nullptr, nullptr, &sinkWrite,
                             nullptr, nullptr, nullptr, nullptr};
    return table;
}

int64_t& NullSink::bytesWritten() {
    static int64_t bytes = 0;
    return bytes;
}
