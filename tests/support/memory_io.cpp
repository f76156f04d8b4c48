// tests/support/memory_io.cpp -- see memory_io.h.
#include "tests/support/memory_io.h"

#include <cstdlib>
#include <cstring>

MemoryIo::MemoryIo() {
    ops_.userData = this;
    ops_.openStream = &MemoryIo::open;
    ops_.closeStream = &MemoryIo::close;
    ops_.seekStream = &MemoryIo::seek;
    ops_.readStream = &MemoryIo::read;
    ops_.writeStream = &MemoryIo::write;
    ops_.createTempStream = &MemoryIo::createTemp;
    ops_.allocBlock = &MemoryIo::alloc;
    ops_.freeBlock = &MemoryIo::free;
    ops_.reportProgress = &MemoryIo::report;
}

MemoryIo::~MemoryIo() {
    // Blocks a faulty engine left behind are released so the sanitizers report the
    // test's own assertion, not a leak of the harness.
    for (auto& block : blocks_) std::free(block.first);
}

void MemoryIo::addFile(const std::string& name, const std::string& bytes) {
    files_[name] = std::make_shared<std::vector<uint8_t>>(bytes.begin(), bytes.end());
}

void MemoryIo::addFile(const std::string& name, const std::vector<uint8_t>& bytes) {
    files_[name] = std::make_shared<std::vector<uint8_t>>(bytes);
}

bool MemoryIo::exists(const std::string& name) const { return files_.count(name) != 0; }

std::vector<uint8_t> MemoryIo::bytesOf(const std::string& name) const {
    auto found = files_.find(name);
    return found == files_.end() ? std::vector<uint8_t>() : *found->second;
}

std::string MemoryIo::textOf(const std::string& name) const {
    const std::vector<uint8_t> bytes = bytesOf(name);
    return std::string(bytes.begin(), bytes.end());
}

std::vector<uint8_t> MemoryIo::bytesOfHandle(uint32_t handle) const {
    auto found = handles_.find(handle);
    return found == handles_.end() ? std::vector<uint8_t>() : *found->second.data;
}

void MemoryIo::removeFile(const std::string& name) { files_.erase(name); }

uint32_t MemoryIo::open(void* self, const char* path, int32_t mode) {
    auto& io = *static_cast<MemoryIo*>(self);
    if (path == nullptr || mode < 0 || mode > 2) return 0;
    auto found = io.files_.find(path);
    Handle handle;
    handle.mode = mode;
    if (mode == 1) {
        if (found == io.files_.end()) {
            handle.data = std::make_shared<std::vector<uint8_t>>();
            io.files_[path] = handle.data;
        } else {
            handle.data = found->second;
            handle.data->clear();
        }
    } else {
        if (found == io.files_.end()) return 0;
        handle.data = found->second;
    }
    const uint32_t id = io.nextHandle_++;
    io.handles_[id] = handle;
    return id;
}

int32_t MemoryIo::close(void* self, uint32_t handle) {
    auto& io = *static_cast<MemoryIo*>(self);
    if (io.handles_.erase(handle) == 0) {
        ++io.badCloses_;
        return 0;
    }
    return 1;
}

int32_t MemoryIo::seek(void* self, uint32_t handle, int32_t offset, int32_t origin) {
    auto& io = *static_cast<MemoryIo*>(self);
    auto found = io.handles_.find(handle);
    if (found == io.handles_.end()) return -1;
    Handle& h = found->second;
    int64_t base = 0;
    if (origin == 1) base = h.position;
    else if (origin == 2) base = static_cast<int64_t>(h.data->size());
    else if (origin != 0) return -1;
    const int64_t target = base + offset;
    if (target < 0 || target > INT32_MAX) return -1;
    h.position = target;
    return static_cast<int32_t>(target);
}

int32_t MemoryIo::read(void* self, uint32_t handle, int32_t count, void* buffer) {
    auto& io = *static_cast<MemoryIo*>(self);
    auto found = io.handles_.find(handle);
    if (found == io.handles_.end() || count <= 0) return 0;
    Handle& h = found->second;
    const int64_t size = static_cast<int64_t>(h.data->size());
    if (h.position >= size) return 0;
    const int64_t available = size - h.position;
    const int32_t taken = static_cast<int32_t>(available < count ? available : count);
    std::memcpy(buffer, h.data->data() + h.position, static_cast<size_t>(taken));
    h.position += taken;
    return taken;
}

int32_t MemoryIo::write(void* self, uint32_t handle, int32_t count, const void* buffer) {
    auto& io = *static_cast<MemoryIo*>(self);
    auto found = io.handles_.find(handle);
    if (found == io.handles_.end() || count <= 0) return 0;
    Handle& h = found->second;
    if (h.mode == 0) {
        ++io.writesToReadOnly_;
        return 0;
    }
    const size_t end = static_cast<size_t>(h.position) + static_cast<size_t>(count);
    if (h.data->size() < end) h.data->resize(end, 0);
    std::memcpy(h.data->data() + h.position, buffer, static_cast<size_t>(count));
    h.position += count;
    return count;
}

uint32_t MemoryIo::createTemp(void* self) {
    auto& io = *static_cast<MemoryIo*>(self);
    Handle handle;
    handle.mode = 1;
    handle.data = std::make_shared<std::vector<uint8_t>>();
    const uint32_t id = io.nextHandle_++;
    io.handles_[id] = handle;
    return id;
}

void* MemoryIo::alloc(void* self, int32_t byteCount) {
    auto& io = *static_cast<MemoryIo*>(self);
    if (byteCount <= 0) return nullptr;
    void* block = std::malloc(static_cast<size_t>(byteCount));
    if (block == nullptr) return nullptr;
    // Fresh blocks hold garbage, as the heap's would; code must not rely on zeros.
    std::memset(block, 0xA5, static_cast<size_t>(byteCount));
    io.blocks_[block] = byteCount;
    io.blockBytes_ += byteCount;
    if (io.blockBytes_ > io.peakBlockBytes_) io.peakBlockBytes_ = io.blockBytes_;
    return block;
}

int32_t MemoryIo::free(void* self, void* block) {
    auto& io = *static_cast<MemoryIo*>(self);
    auto found = io.blocks_.find(block);
    if (found == io.blocks_.end()) {
        ++io.badFrees_;
        return 0;
    }
    io.blockBytes_ -= found->second;
    io.blocks_.erase(found);
    std::free(block);
    return 1;
}

int32_t MemoryIo::report(void*, int32_t, void*) { return 1; }
