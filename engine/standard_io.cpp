// engine/standard_io.cpp -- the ready-made IoOps table on the C standard I/O library and
// the C heap. Handles are 32-bit while FILE pointers are not, so open files live in a
// fixed table of slots and a handle is its slot number plus one. That table is the only
// process-wide state of the toolkit; it belongs to this platform layer, and a mutex
// guards it because several conversions may run on their own threads at once.
//
// The engine reads and writes in pieces of a few bytes to 4 KB and positions the stream
// before nearly every piece, mostly where it already is. So each file gets a 64 KB
// buffer, and a seek only records the position: the FILE is moved when a transfer finds
// it elsewhere. Streams only this handle writes (temporary streams and created files)
// also keep their size, so finding their end costs no system call either.
#include <cstdint>
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

constexpr size_t kBufferBytes = 65536;
constexpr int64_t kUnknown = -1;

struct Slot {
    std::FILE* file;
    char* buffer;          // the FILE's buffer, freed after it is closed; may be null
    LastTransfer last;
    int64_t position;      // where the engine has put the stream
    int64_t filePosition;  // where the FILE stands, or kUnknown
    int64_t size;          // kUnknown unless only this handle writes the stream
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
uint32_t takeSlot(const Slot& slot) {
    SlotTable& table = slotTable();
    std::lock_guard<std::mutex> guard(table.lock);
    for (int index = 0; index < kSlotCount; ++index) {
        if (table.slots[index].file == nullptr) {
            table.slots[index] = slot;
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

// Removes the handle from the table and gives back its slot (file nullptr if none).
Slot releaseSlot(uint32_t handle) {
    if (handle == 0 || handle > static_cast<uint32_t>(kSlotCount)) return Slot{};
    SlotTable& table = slotTable();
    std::lock_guard<std::mutex> guard(table.lock);
    Slot& slot = table.slots[handle - 1];
    const Slot released = slot;
    slot = Slot{};
    return released;
}

// Hands a new FILE, at position 0, to the table with its buffer, closing it again when
// no slot is free. `sizeKnown`: only this handle will write it, and it is empty.
uint32_t adopt(std::FILE* file, bool sizeKnown) {
    if (file == nullptr) return 0;
    // Without a buffer of its own the FILE keeps the C library's; that only costs time.
    char* buffer = static_cast<char*>(std::malloc(kBufferBytes));
    if (buffer != nullptr && std::setvbuf(file, buffer, _IOFBF, kBufferBytes) != 0) {
        std::free(buffer);
        buffer = nullptr;
    }
    const uint32_t handle =
        takeSlot(Slot{file, buffer, LastTransfer::None, 0, 0, sizeKnown ? 0 : kUnknown});
    if (handle == 0) {
        std::fclose(file);
        std::free(buffer);
    }
    return handle;
}

// Moves the FILE to the engine's position when it stands elsewhere. A seek also allows
// the next transfer to go either way.
bool moveFileTo(Slot& slot) {
    if (slot.filePosition == slot.position) return true;
    if (std::fseek(slot.file, static_cast<long>(slot.position), SEEK_SET) != 0) {
        slot.filePosition = kUnknown;
        return false;
    }
    slot.filePosition = slot.position;
    slot.last = LastTransfer::None;
    return true;
}

// After `count` bytes went through the FILE: both positions move on, and a write may
// have made the stream longer. A transfer that fell short leaves the FILE's position in
// doubt, so the next transfer seeks.
void advance(Slot& slot, size_t count, size_t asked, bool wrote) {
    slot.position += static_cast<int64_t>(count);
    slot.filePosition = count == asked ? slot.position : kUnknown;
    if (wrote && slot.size != kUnknown && slot.position > slot.size) slot.size = slot.position;
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
    return adopt(std::fopen(path, how), mode == 1);
}

int32_t closeStream(void*, uint32_t handle) {
    const Slot slot = releaseSlot(handle);
    if (slot.file == nullptr) return 0;
    const int closed = std::fclose(slot.file) == 0 ? 1 : 0;
    std::free(slot.buffer);
    return closed;
}

int32_t seekStream(void*, uint32_t handle, int32_t offset, int32_t origin) {
    Slot* slot = findSlot(handle);
    if (slot == nullptr) return -1;
    int64_t base = 0;
    switch (origin) {
        case 0: base = 0; break;
        case 1: base = slot->position; break;
        case 2:
            if (slot->size != kUnknown) {
                base = slot->size;
                break;
            }
            // Someone else may change the file's length: ask the file.
            if (std::fseek(slot->file, 0, SEEK_END) != 0) {
                slot->filePosition = kUnknown;
                return -1;
            }
            slot->last = LastTransfer::None;
            slot->filePosition = std::ftell(slot->file);
            if (slot->filePosition < 0) return -1;
            base = slot->filePosition;
            break;
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
    if (!moveFileTo(*slot) || !turnTo(*slot, LastTransfer::Read)) return 0;
    const size_t asked = static_cast<size_t>(count);
    const size_t read = std::fread(buffer, 1, asked, slot->file);
    // After a short read the next transfer seeks, which also clears the end-of-file flag
    // that would otherwise hide bytes written to the file since.
    advance(*slot, read, asked, false);
    return static_cast<int32_t>(read);
}

int32_t writeStream(void*, uint32_t handle, int32_t count, const void* buffer) {
    Slot* slot = findSlot(handle);
    if (slot == nullptr || count <= 0 || buffer == nullptr) return 0;
    if (!moveFileTo(*slot) || !turnTo(*slot, LastTransfer::Write)) return 0;
    const size_t asked = static_cast<size_t>(count);
    const size_t written = std::fwrite(buffer, 1, asked, slot->file);
    advance(*slot, written, asked, true);
    return static_cast<int32_t>(written);
}

uint32_t createTempStream(void*) { return adopt(std::tmpfile(), true); }

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
