// fuzz/fuzz_support.h -- what every fuzz target checks after a run: a defined result
// code, nothing left open or allocated, nothing written through a read-only handle, and
// for a finished conversion a database the book reader accepts. A broken promise prints
// what broke and aborts, so libFuzzer keeps the input and the replay test fails.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/memory_io.h"

// Prints `what` and aborts when `condition` is false.
void fuzzCheck(bool condition, const char* what);

// True for the codes convertDocument may return: 0, 100, 102 to 106.
bool isSpecifiedResult(int32_t result);

// No open handle, no live block, no bad close or free, no write to a read-only handle.
void checkNothingHeld(const MemoryIo& memory);

// Opens `name` in `memory` as an e-book database: the book reader must accept it and
// decode exactly as many bytes as record 0 records; the decoded text goes to `text`.
// Every run of document records named by record 0 must lie inside the record list.
void checkBook(MemoryIo& memory, const std::string& name, std::vector<uint8_t>& text);

// An IoOps over a MemoryIo that misbehaves once: the k-th call of any operation fails
// (open and createTemp give 0, seek -1, read and write 0, alloc nullptr, close and free
// release but answer 0, report answers cancel), or the k-th read or write moves one
// byte fewer, or the k-th progress report answers cancel.
enum class FaultKind { None, FailCall, ShortTransfer, CancelReport };

class FaultyIo {
public:
    FaultyIo(MemoryIo& inner, FaultKind kind, int k);
    const IoOps& ops() const { return ops_; }
    bool fired() const { return fired_; }

private:
    bool hit(bool counted);
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
    FaultKind kind_;
    int k_;
    int count_ = 0;
    bool fired_ = false;
};

// Bytes of [data, data + size) split at every kPageSeparator.
inline constexpr char kPageSeparator[] = "\n#PAGE#\n";
std::vector<std::string> splitPages(const uint8_t* data, size_t size);
