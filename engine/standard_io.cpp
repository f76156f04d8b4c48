// engine/standard_io.cpp -- the ready-made IoOps table on the C standard I/O library and
// the C heap. Handles are 32-bit while FILE pointers are not, so open files live in a
// fixed table of slots and a handle is its slot number plus one. That table is the only
// process-wide state of the toolkit; it belongs to this platform layer, and a mutex
// guards it because several conversions may run on their own threads at once.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <system_error>

#include "engine/conversion.h"

namespace {

// Enough for a few parallel conversions, each holding its source, its destination, four
// temporary streams and the HTML pass's own streams and pages.
constexpr int kSlotCount = 256;

// C stdio forbids switching between reading and writing without a seek in between, so
// each slot remembers the direction of its last transfer.
enum class LastTransfer { None, Read, Write };

struct Slot {
    std::FILE* file;
    LastTransfer last;
};

struct SlotTable {
    std::mutex lock;
    Slot slots[kSlotCount];
};

SlotTable& slotTable() {
    static SlotTable table;
    return table;
}

// Takes a free slot for `file`: its handle, or 0 when the table is full.
uint32_t takeSlot(std::FILE* file) {
    SlotTable& table = slotTable();
    std::lock_guard<std::mutex> guard(table.lock);
    for (int index = 0; index < kSlotCount; ++index) {
        if (table.slots[index].file == nullptr) {
            table.slots[index] = Slot{file, LastTransfer::None};
            return static_cast<uint32_t>(index) + 1;
        }
    }
    return 0;
}

// The slot of an open handle, or nullptr. A slot is used only by the thread that holds
// its handle, so the pointer stays valid outside the lock until that thread closes it.
Slot* findSlot(uint32_t handle) {
    if (handle == 0 || handle > static_cast<uint32_t>(kSlotCount)) return nullptr;
    SlotTable& table = slotTable();
    std::lock_guard<std::mutex> guard(table.lock);
    Slot* slot = &table.slots[handle - 1];
    return slot->file != nullptr ? slot : nullptr;
}

// Removes the handle from the table and gives back its file, or nullptr.
std::FILE* releaseSlot(uint32_t handle) {
    if (handle == 0 || handle > static_cast<uint32_t>(kSlotCount)) return nullptr;
    SlotTable& table = slotTable();
    std::lock_guard<std::mutex> guard(table.lock);
    Slot& slot = table.slots[handle - 1];
    std::FILE* file = slot.file;
    slot = Slot{nullptr, LastTransfer::None};
    return file;
}

// Hands a new FILE to the table, closing it again when no slot is free.
uint32_t adopt(std::FILE* file) {
    if (file == nullptr) return 0;
    const uint32_t handle = takeSlot(file);
    if (handle == 0) std::fclose(file);
    return handle;
}

// Before a transfer in direction `next`, a seek to the current position when the last
// transfer went the other way, as C stdio requires.
bool turnTo(Slot& slot, LastTransfer next) {
    if (slot.last != LastTransfer::None && slot.last != next) {
        if (std::fseek(slot.file, 0, SEEK_CUR) != 0) return false;
    }
    slot.last = next;
    return true;
}

uint32_t openStream(void*, const char* path, int32_t mode) {
    if (path == nullptr) return 0;
    const char* how = nullptr;
    switch (mode) {
        case 0: how = "rb"; break;
        case 1: how = "wb+"; break;
        case 2: how = "rb+"; break;
        default: return 0;
    }
    if (mode == 0) {
        // Only regular files are read: a directory would open and then have no size, and
        // a FIFO or device could block the conversion for ever.
        std::error_code error;
        const std::filesystem::file_status status = std::filesystem::status(path, error);
        if (error || !std::filesystem::is_regular_file(status)) return 0;
    }
    return adopt(std::fopen(path, how));
}

int32_t closeStream(void*, uint32_t handle) {
    std::FILE* file = releaseSlot(handle);
    if (file == nullptr) return 0;
    return std::fclose(file) == 0 ? 1 : 0;
}

int32_t seekStream(void*, uint32_t handle, int32_t offset, int32_t origin) {
    Slot* slot = findSlot(handle);
    if (slot == nullptr) return -1;
    int whence = SEEK_SET;
    switch (origin) {
        case 0: whence = SEEK_SET; break;
        case 1: whence = SEEK_CUR; break;
        case 2: whence = SEEK_END; break;
        default: return -1;
    }
    if (std::fseek(slot->file, offset, whence) != 0) return -1;
    slot->last = LastTransfer::None;
    const long position = std::ftell(slot->file);
    // A position past what a 32-bit answer can carry is as good as a failed seek.
    if (position < 0 || position > INT32_MAX) return -1;
    return static_cast<int32_t>(position);
}

int32_t readStream(void*, uint32_t handle, int32_t count, void* buffer) {
    Slot* slot = findSlot(handle);
    if (slot == nullptr || count <= 0 || buffer == nullptr) return 0;
    if (!turnTo(*slot, LastTransfer::Read)) return 0;
    return static_cast<int32_t>(std::fread(buffer, 1, static_cast<size_t>(count), slot->file));
}

int32_t writeStream(void*, uint32_t handle, int32_t count, const void* buffer) {
    Slot* slot = findSlot(handle);
    if (slot == nullptr || count <= 0 || buffer == nullptr) return 0;
    if (!turnTo(*slot, LastTransfer::Write)) return 0;
    return static_cast<int32_t>(std::fwrite(buffer, 1, static_cast<size_t>(count), slot->file));
}

uint32_t createTempStream(void*) { return adopt(std::tmpfile()); }

void* allocBlock(void*, int32_t byteCount) {
    if (byteCount < 0) return nullptr;
    return std::malloc(byteCount == 0 ? 1 : static_cast<size_t>(byteCount));
}

int32_t freeBlock(void*, void* block) {
    std::free(block);
    return 1;
}

int32_t reportProgress(void*, int32_t, void*) { return 1; }

}  // namespace

const IoOps standardIoOps = {
    nullptr,      openStream, closeStream, seekStream,     readStream,
    writeStream,  createTempStream, allocBlock, freeBlock, reportProgress,
};
