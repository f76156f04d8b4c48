// tests/support/counting_io.h -- an IoOps that wraps another one (MemoryIo, or
// standardIoOps for files on disk) and keeps the books: every open handle, every live
// block, every call in order, every progress report. On request it makes the k-th call
// of one operation (or of any operation) fail, or transfer one byte short, and answers
// 0 (cancel) to the n-th progress report. Tests use it to prove that every handle is
// closed exactly once and every block freed on success, failure and cancel.
#pragma once
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "engine/io_ops.h"

enum class IoOp { Open, Close, Seek, Read, Write, CreateTemp, Alloc, Free, Report, Any };

struct IoCall {
    IoOp op;
    uint32_t handle;  // the handle used or returned; 0 when none
};

struct ProgressReport {
    int32_t stage;
    int32_t percent;   // StagePercent's value, else 0
    std::string page;  // StageCurrentPage's text, else empty
};

class CountingIo {
public:
    // `inner` must outlive this object. Its reportProgress is not called: this table
    // answers reports itself (1, or 0 at the chosen report).
    explicit CountingIo(const IoOps& inner);
    CountingIo(const CountingIo&) = delete;
    CountingIo& operator=(const CountingIo&) = delete;
    ~CountingIo();

    const IoOps& ops() const { return ops_; }

    // The k-th call (from 1) of `op` fails: open and createTemp give 0, seek -1, read and
    // write 0 bytes, alloc nullptr, report 0; close and free release the inner resource
    // and report failure. With IoOp::Any, k counts every call of any operation.
    void failAt(IoOp op, int k);
    // The k-th read or write (or k-th call counted by Any, when it is one) transfers one
    // byte fewer than asked.
    void shortAt(IoOp op, int k);
    // Refuse every block larger than `bytes`, as a short heap would (not a fault).
    void refuseBlocksOver(int32_t bytes) { maxBlockBytes_ = bytes; }
    // Answer 0 to the n-th progress report (from 1).
    void cancelAtReport(int n);
    // Leave the reportProgress slot empty.
    void withoutReportSlot();

    int calls(IoOp op) const;
    int openHandles() const { return static_cast<int>(open_.size()); }
    int liveBlocks() const { return static_cast<int>(blocks_.size()); }
    int badCloses() const { return badCloses_; }
    int badFrees() const { return badFrees_; }
    // Whether an injected fault (failAt or shortAt) has fired.
    bool faultFired() const { return faultFired_; }
    const std::vector<IoCall>& log() const { return log_; }
    // Handles in the order they were closed.
    std::vector<uint32_t> closeOrder() const;
    // Handles of temporary streams in the order they were created.
    std::vector<uint32_t> tempHandles() const;
    // The handle most recently opened for `path`, or 0.
    uint32_t handleOf(const std::string& path) const;
    const std::vector<ProgressReport>& reports() const { return reports_; }

private:
    bool shouldFail(IoOp op);
    bool shouldShorten(IoOp op);
    static uint32_t open(void* self, const char* path, int32_t mode);
    static int32_t close(void* self, uint32_t handle);
    static int32_t seek(void* self, uint32_t handle, int32_t offset, int32_t origin);
    static int32_t read(void* self, uint32_t handle, int32_t count, void* buffer);
    static int32_t write(void* self, uint32_t handle, int32_t count, const void* buffer);
    static uint32_t createTemp(void* self);
    static void* alloc(void* self, int32_t byteCount);
    static int32_t free(void* self, void* block);
    static int32_t report(void* self, int32_t stage, void* argument);

    const IoOps& inner_;
    IoOps ops_;
    std::map<IoOp, int> counts_;
    IoOp failOp_ = IoOp::Any;
    int failK_ = 0;
    IoOp shortOp_ = IoOp::Any;
    int shortK_ = 0;
    int cancelAt_ = 0;
    int32_t maxBlockBytes_ = 0;
    bool faultFired_ = false;
    std::set<uint32_t> open_;
    std::set<void*> blocks_;
    std::map<std::string, uint32_t> byPath_;
    std::vector<IoCall> log_;
    std::vector<ProgressReport> reports_;
    int badCloses_ = 0;
    int badFrees_ = 0;
};

// gtest assertions: nothing open, nothing allocated, nothing closed or freed twice.
void expectNothingHeld(const CountingIo& io);
