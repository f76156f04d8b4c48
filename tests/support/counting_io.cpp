// tests/support/counting_io.cpp -- see counting_io.h.
#include "tests/support/counting_io.h"

CountingIo::CountingIo(const IoOps& inner) : inner_(inner) {
    ops_.userData = this;
    ops_.openStream = &CountingIo::open;
    ops_.closeStream = &CountingIo::close;
    ops_.seekStream = &CountingIo::seek;
    ops_.readStream = &CountingIo::read;
    ops_.writeStream = &CountingIo::write;
    ops_.createTempStream = &CountingIo::createTemp;
    ops_.allocBlock = &CountingIo::alloc;
    ops_.freeBlock = &CountingIo::free;
    ops_.reportProgress = &CountingIo::report;
}

CountingIo::~CountingIo() {
    // Whatever a faulty engine left open is released through the inner table, so a test
    // over real files leaves none behind; the test's own checks have already spoken.
    for (uint32_t handle : open_) inner_.closeStream(inner_.userData, handle);
    for (void* block : blocks_) inner_.freeBlock(inner_.userData, block);
}

void CountingIo::failAt(IoOp op, int k) {
    failOp_ = op;
    failK_ = k;
}

void CountingIo::shortAt(IoOp op, int k) {
    shortOp_ = op;
    shortK_ = k;
}

void CountingIo::cancelAtReport(int n) { cancelAt_ = n; }

void CountingIo::withoutReportSlot() { ops_.reportProgress = nullptr; }

int CountingIo::calls(IoOp op) const {
    auto found = counts_.find(op);
    return found == counts_.end() ? 0 : found->second;
}

std::vector<uint32_t> CountingIo::closeOrder() const {
    std::vector<uint32_t> order;
    for (const IoCall& call : log_)
        if (call.op == IoOp::Close) order.push_back(call.handle);
    return order;
}

std::vector<uint32_t> CountingIo::tempHandles() const {
    std::vector<uint32_t> handles;
    for (const IoCall& call : log_)
        if (call.op == IoOp::CreateTemp && call.handle != 0) handles.push_back(call.handle);
    return handles;
}

uint32_t CountingIo::handleOf(const std::string& path) const {
    auto found = byPath_.find(path);
    return found == byPath_.end() ? 0 : found->second;
}

// Counts the call under its own operation and under Any, and says whether it is the one
// chosen to fail.
bool CountingIo::shouldFail(IoOp op) {
    const int own = ++counts_[op];
    const int any = ++counts_[IoOp::Any];
    const bool hit = failK_ > 0 && ((failOp_ == op && own == failK_) ||
                                    (failOp_ == IoOp::Any && any == failK_));
    if (hit) faultFired_ = true;
    return hit;
}

bool CountingIo::shouldShorten(IoOp op) {
    if (shortK_ <= 0) return false;
    const bool hit = (shortOp_ == op && counts_[op] == shortK_) ||
                     (shortOp_ == IoOp::Any && counts_[IoOp::Any] == shortK_);
    if (hit) faultFired_ = true;
    return hit;
}

uint32_t CountingIo::open(void* self, const char* path, int32_t mode) {
    auto& io = *static_cast<CountingIo*>(self);
    if (io.shouldFail(IoOp::Open)) {
        io.log_.push_back({IoOp::Open, 0});
        return 0;
    }
    const uint32_t handle = io.inner_.openStream(io.inner_.userData, path, mode);
    io.log_.push_back({IoOp::Open, handle});
    if (handle != 0) {
        io.open_.insert(handle);
        io.byPath_[path] = handle;
    }
    return handle;
}

int32_t CountingIo::close(void* self, uint32_t handle) {
    auto& io = *static_cast<CountingIo*>(self);
    const bool fail = io.shouldFail(IoOp::Close);
    io.log_.push_back({IoOp::Close, handle});
    if (io.open_.erase(handle) == 0) {
        ++io.badCloses_;
        return 0;
    }
    const int32_t closed = io.inner_.closeStream(io.inner_.userData, handle);
    return fail ? 0 : closed;
}

int32_t CountingIo::seek(void* self, uint32_t handle, int32_t offset, int32_t origin) {
    auto& io = *static_cast<CountingIo*>(self);
    io.log_.push_back({IoOp::Seek, handle});
    if (io.shouldFail(IoOp::Seek)) return -1;
    return io.inner_.seekStream(io.inner_.userData, handle, offset, origin);
}

int32_t CountingIo::read(void* self, uint32_t handle, int32_t count, void* buffer) {
    auto& io = *static_cast<CountingIo*>(self);
    io.log_.push_back({IoOp::Read, handle});
    if (io.shouldFail(IoOp::Read)) return 0;
    if (io.shouldShorten(IoOp::Read) && count > 0) --count;
    return io.inner_.readStream(io.inner_.userData, handle, count, buffer);
}

int32_t CountingIo::write(void* self, uint32_t handle, int32_t count, const void* buffer) {
    auto& io = *static_cast<CountingIo*>(self);
    io.log_.push_back({IoOp::Write, handle});
    if (io.shouldFail(IoOp::Write)) return 0;
    if (io.shouldShorten(IoOp::Write) && count > 0) --count;
    if (count == 0) return 0;
    return io.inner_.writeStream(io.inner_.userData, handle, count, buffer);
}

uint32_t CountingIo::createTemp(void* self) {
    auto& io = *static_cast<CountingIo*>(self);
    if (io.shouldFail(IoOp::CreateTemp)) {
        io.log_.push_back({IoOp::CreateTemp, 0});
        return 0;
    }
    const uint32_t handle = io.inner_.createTempStream(io.inner_.userData);
    io.log_.push_back({IoOp::CreateTemp, handle});
    if (handle != 0) io.open_.insert(handle);
    return handle;
}

void* CountingIo::alloc(void* self, int32_t byteCount) {
    auto& io = *static_cast<CountingIo*>(self);
    io.log_.push_back({IoOp::Alloc, 0});
    if (io.shouldFail(IoOp::Alloc)) return nullptr;
    if (io.maxBlockBytes_ > 0 && byteCount > io.maxBlockBytes_) return nullptr;
    void* block = io.inner_.allocBlock(io.inner_.userData, byteCount);
    if (block != nullptr) io.blocks_.insert(block);
    return block;
}

int32_t CountingIo::free(void* self, void* block) {
    auto& io = *static_cast<CountingIo*>(self);
    io.log_.push_back({IoOp::Free, 0});
    const bool fail = io.shouldFail(IoOp::Free);
    if (io.blocks_.erase(block) == 0) {
        ++io.badFrees_;
        return 0;
    }
    const int32_t freed = io.inner_.freeBlock(io.inner_.userData, block);
    return fail ? 0 : freed;
}

int32_t CountingIo::report(void* self, int32_t stage, void* argument) {
    auto& io = *static_cast<CountingIo*>(self);
    io.log_.push_back({IoOp::Report, 0});
    ProgressReport entry{stage, 0, std::string()};
    if (stage == StagePercent && argument != nullptr) entry.percent = *static_cast<int32_t*>(argument);
    if (stage == StageCurrentPage && argument != nullptr) entry.page = static_cast<const char*>(argument);
    io.reports_.push_back(entry);
    const bool fail = io.shouldFail(IoOp::Report);
    if (fail) return 0;
    if (io.cancelAt_ > 0 && static_cast<int>(io.reports_.size()) == io.cancelAt_) return 0;
    return 1;
}
