// tests/support/memory_io.h -- an IoOps over named in-memory files and temporary
// streams, so engine tests need no disk. Streams behave like the C library's: seeks with
// all three origins, seeking past the end is allowed and a later write fills the gap
// with zeros, reads return fewer bytes only at the end. It also refuses (and counts)
// writes through handles opened in mode 0, so a test can prove the source is never
// written. Wrap it in CountingIo for handle/block accounting and fault injection.
#pragma once
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "engine/io_ops.h"

class MemoryIo {
public:
    MemoryIo();
    MemoryIo(const MemoryIo&) = delete;
    MemoryIo& operator=(const MemoryIo&) = delete;
    ~MemoryIo();

    const IoOps& ops() const { return ops_; }

    // Files by exact name; addFile replaces any earlier content.
    void addFile(const std::string& name, const std::string& bytes);
    void addFile(const std::string& name, const std::vector<uint8_t>& bytes);
    bool exists(const std::string& name) const;
    // The file's bytes; empty when it does not exist.
    std::vector<uint8_t> bytesOf(const std::string& name) const;
    std::string textOf(const std::string& name) const;
    // Current bytes of an open handle (a temporary stream, for instance).
    std::vector<uint8_t> bytesOfHandle(uint32_t handle) const;
    void removeFile(const std::string& name);

    int openHandles() const { return static_cast<int>(handles_.size()); }
    int liveBlocks() const { return static_cast<int>(blocks_.size()); }
    // Writes attempted through a handle opened with mode 0.
    int writesToReadOnly() const { return writesToReadOnly_; }
    // Closes of handles that were not open, frees of blocks that were not live.
    int badCloses() const { return badCloses_; }
    int badFrees() const { return badFrees_; }
    // Peak of live block bytes over the object's life.
    int64_t peakBlockBytes() const { return peakBlockBytes_; }

private:
    struct Handle {
        std::shared_ptr<std::vector<uint8_t>> data;
        int64_t position = 0;
        int32_t mode = 0;
    };
    static uint32_t open(void* self, const char* path, int32_t mode);
    static int32_t close(void* self, uint32_t handle);
    static int32_t seek(void* self, uint32_t handle, int32_t offset, int32_t origin);
    static int32_t read(void* self, uint32_t handle, int32_t count, void* buffer);
    static int32_t write(void* self, uint32_t handle, int32_t count, const void* buffer);
    static uint32_t createTemp(void* self);
    static void* alloc(void* self, int32_t byteCount);
    static int32_t free(void* self, void* block);
    static int32_t report(void* self, int32_t stage, void* argument);

    IoOps ops_;
    std::map<std::string, std::shared_ptr<std::vector<uint8_t>>> files_;
    std::map<uint32_t, Handle> handles_;
    std::map<void*, int32_t> blocks_;
    uint32_t nextHandle_ = 0x1001;
    int writesToReadOnly_ = 0;
    int badCloses_ = 0;
    int badFrees_ = 0;
    int64_t blockBytes_ = 0;
    int64_t peakBlockBytes_ = 0;
};
