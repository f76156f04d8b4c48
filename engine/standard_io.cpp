// engine/standard_io.cpp -- the ready-made IoOps table on the C standard I/O library and
// the C heap. Handles are 32-bit while FILE pointers are not, so open files live in a
// fixed table of slots and a handle is its slot number plus one. That table is the only
// process-wide state of the toolkit; it belongs to this platform layer, and a mutex
// guards the taking and freeing of slots because several conversions may run on their
// own threads at once.
//
// The engine moves a few bytes to 4 KB at a time and positions the stream before nearly
// every transfer; the HTML pass reads, patches and appends small records on the same
// streams in turn. A FILE's own buffer serves that badly: every turn from reading to
// writing, and every seek to the end of what it has read, costs system calls and throws
// the buffer away. So each stream keeps its own 64 KB window of the file: reads and
// writes inside it touch only memory, written bytes go back when the window moves or the
// stream closes, and a seek only records the position. The FILE itself is unbuffered
// and is always positioned right before each transfer, which also satisfies the C rule
// that a seek separate reading from writing.
#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <system_error>

#include "engine/conversion.h"

namespace {

// Enough for a few parallel conversions, each holding its source, its destination, four
// temporary streams and the HTML pass's own streams and pages.
constexpr int kSlotCount = 256;

constexpr int64_t kWindowBytes = 65536;
constexpr int64_t kUnknown = -1;

struct Slot {
    // Set while the slot holds an open stream; the only field read without owning it.
    std::atomic<std::FILE*> file;
    uint8_t* window;       // kWindowBytes, freed after the FILE is closed
    bool writable;
    int64_t position;      // where the engine has put the stream
    int64_t size;          // kUnknown unless only this handle writes the stream
    int64_t windowStart;   // file offset of window[0]
    int64_t windowLength;  // bytes of the window that hold the file's content
    int64_t dirtyFrom;     // window bytes [dirtyFrom, dirtyTo) are not yet in the file
    int64_t dirtyTo;
    bool failed;           // a write-back fell short: the stream's content is lost
};

struct SlotTable {
    std::mutex lock;
    Slot slots[kSlotCount];
};

SlotTable& slotTable() {
    static SlotTable table;
    return table;
}

// Takes a free slot for `file` and `window`: its handle, or 0 when the table is full.
uint32_t takeSlot(std::FILE* file, uint8_t* window, bool writable, bool sizeKnown) {
    SlotTable& table = slotTable();
    std::lock_guard<std::mutex> guard(table.lock);
    for (int index = 0; index < kSlotCount; ++index) {
        Slot& slot = table.slots[index];
        if (slot.file.load(std::memory_order_relaxed) != nullptr) continue;
        slot.window = window;
        slot.writable = writable;
        slot.position = 0;
        slot.size = sizeKnown ? 0 : kUnknown;
        slot.windowStart = 0;
        slot.windowLength = 0;
        slot.dirtyFrom = slot.dirtyTo = 0;
        slot.failed = false;
        slot.file.store(file, std::memory_order_release);
        return static_cast<uint32_t>(index) + 1;
    }
    return 0;
}

// The slot of an open handle, or nullptr. A slot is used only by the thread that holds
// its handle, so it needs no lock until that thread closes it.
Slot* findSlot(uint32_t handle) {
    if (handle == 0 || handle > static_cast<uint32_t>(kSlotCount)) return nullptr;
    Slot* slot = &slotTable().slots[handle - 1];
    return slot->file.load(std::memory_order_acquire) != nullptr ? slot : nullptr;
}

// Frees the handle's slot.
void releaseSlot(Slot& slot) {
    std::lock_guard<std::mutex> guard(slotTable().lock);
    slot.window = nullptr;
    slot.file.store(nullptr, std::memory_order_release);
}

// Hands a new FILE, at position 0, to the table, closing it again when it cannot be made
// unbuffered, its window cannot be had or no slot is free. `sizeKnown`: only this handle
// will write it, and it is empty.
uint32_t adopt(std::FILE* file, bool writable, bool sizeKnown) {
    if (file == nullptr) return 0;
    auto* window = static_cast<uint8_t*>(std::malloc(kWindowBytes));
    uint32_t handle = 0;
    if (window != nullptr && std::setvbuf(file, nullptr, _IONBF, 0) == 0)
        handle = takeSlot(file, window, writable, sizeKnown);
    if (handle == 0) {
        std::fclose(file);
        std::free(window);
    }
    return handle;
}

bool seekFile(std::FILE* file, int64_t position) {
    return std::fseek(file, static_cast<long>(position), SEEK_SET) == 0;
}

// Writes the window's changed bytes to the file. Returns false when they do not all go;
// the stream is then failed for good, since the engine has been told they were written.
bool writeBack(Slot& slot) {
    if (slot.failed) return false;
    if (slot.dirtyFrom == slot.dirtyTo) return true;
    std::FILE* file = slot.file.load(std::memory_order_relaxed);
    const size_t count = static_cast<size_t>(slot.dirtyTo - slot.dirtyFrom);
    if (!seekFile(file, slot.windowStart + slot.dirtyFrom) ||
        std::fwrite(slot.window + slot.dirtyFrom, 1, count, file) != count) {
        slot.failed = true;
        return false;
    }
    slot.dirtyFrom = slot.dirtyTo = 0;
    return true;
}

// Writes the window back and empties it, so that it next holds the bytes at `start`.
bool moveWindow(Slot& slot, int64_t start) {
    if (!writeBack(slot)) return false;
    slot.windowStart = start;
    slot.windowLength = 0;
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
    return adopt(std::fopen(path, how), mode != 0, mode == 1);
}

int32_t closeStream(void*, uint32_t handle) {
    Slot* slot = findSlot(handle);
    if (slot == nullptr) return 0;
    const bool written = writeBack(*slot);
    std::FILE* file = slot->file.load(std::memory_order_relaxed);
    uint8_t* window = slot->window;
    releaseSlot(*slot);
    const bool closed = std::fclose(file) == 0;
    std::free(window);
    return written && closed ? 1 : 0;
}

int32_t seekStream(void*, uint32_t handle, int32_t offset, int32_t origin) {
    Slot* slot = findSlot(handle);
    if (slot == nullptr) return -1;
    int64_t base = 0;
    switch (origin) {
        case 0: base = 0; break;
        case 1: base = slot->position; break;
        case 2: {
            if (slot->size != kUnknown) {
                base = slot->size;
                break;
            }
            // Someone else may change the file's length: ask the file, once it holds
            // what was written here.
            std::FILE* file = slot->file.load(std::memory_order_relaxed);
            if (!writeBack(*slot) || std::fseek(file, 0, SEEK_END) != 0) return -1;
            base = std::ftell(file);
            if (base < 0) return -1;
            break;
        }
        default: return -1;
    }
    const int64_t position = base + offset;
    // A position before the start fails as fseek would; one past what a 32-bit answer
    // can carry is as good as a failed seek.
    if (position < 0 || position > INT32_MAX) return -1;
    slot->position = position;
    return static_cast<int32_t>(position);
}

int32_t readStream(void*, uint32_t handle, int32_t count, void* buffer) {
    Slot* slot = findSlot(handle);
    if (slot == nullptr || count <= 0 || buffer == nullptr) return 0;
    auto* out = static_cast<uint8_t*>(buffer);
    int64_t done = 0;
    while (done < count) {
        const int64_t at = slot->position - slot->windowStart;
        if (at >= 0 && at < slot->windowLength) {
            const int64_t piece = std::min<int64_t>(count - done, slot->windowLength - at);
            std::memcpy(out + done, slot->window + at, static_cast<size_t>(piece));
            done += piece;
            slot->position += piece;
            continue;
        }
        if (!moveWindow(*slot, slot->position)) break;
        std::FILE* file = slot->file.load(std::memory_order_relaxed);
        if (!seekFile(file, slot->position)) break;
        if (count - done >= kWindowBytes) {
            // A large read goes straight to the caller; the window stays empty.
            const size_t got = std::fread(out + done, 1, static_cast<size_t>(count - done), file);
            done += static_cast<int64_t>(got);
            slot->position += static_cast<int64_t>(got);
            break;
        }
        slot->windowLength = static_cast<int64_t>(std::fread(slot->window, 1, kWindowBytes, file));
        if (slot->windowLength == 0) break;  // the end of the file
    }
    return static_cast<int32_t>(done);
}

int32_t writeStream(void*, uint32_t handle, int32_t count, const void* buffer) {
    Slot* slot = findSlot(handle);
    if (slot == nullptr || count <= 0 || buffer == nullptr || !slot->writable) return 0;
    const auto* bytes = static_cast<const uint8_t*>(buffer);
    const int64_t at = slot->position - slot->windowStart;
    // Into the window when the bytes continue or overwrite what it holds and fit; else
    // the window moves to them. A large write goes straight to the file.
    if (at < 0 || at > slot->windowLength || at + count > kWindowBytes) {
        if (!moveWindow(*slot, slot->position)) return 0;
        if (count >= kWindowBytes) {
            std::FILE* file = slot->file.load(std::memory_order_relaxed);
            if (!seekFile(file, slot->position)) return 0;
            const size_t written = std::fwrite(bytes, 1, static_cast<size_t>(count), file);
            slot->position += static_cast<int64_t>(written);
            if (written != static_cast<size_t>(count)) slot->failed = true;
            else if (slot->size != kUnknown) slot->size = std::max(slot->size, slot->position);
            return static_cast<int32_t>(written);
        }
    }
    const int64_t from = slot->position - slot->windowStart;
    std::memcpy(slot->window + from, bytes, static_cast<size_t>(count));
    if (slot->dirtyFrom == slot->dirtyTo) {
        slot->dirtyFrom = from;
        slot->dirtyTo = from + count;
    } else {
        slot->dirtyFrom = std::min(slot->dirtyFrom, from);
        slot->dirtyTo = std::max(slot->dirtyTo, from + count);
    }
    slot->windowLength = std::max(slot->windowLength, from + count);
    slot->position += count;
    if (slot->size != kUnknown) slot->size = std::max(slot->size, slot->position);
    return count;
}

uint32_t createTempStream(void*) { return adopt(std::tmpfile(), true, true); }

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
