// platform/standard_io.cpp -- the ready-made IoOps table on the C standard I/O library and
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
// the buffer away. So each stream keeps two windows of its own over the file, of up to
// 64 KB each (4 KB where reads jump about), so that a stream read through in one place
// while records elsewhere are patched keeps both places at hand. Reads and writes
// inside a window touch only memory, written bytes go back when a window moves or the
// stream closes, and a seek only records the position. The windows never overlap, so
// no byte has two copies. The FILE itself is unbuffered and is always positioned right
// before each transfer, which also satisfies the C rule that a seek separate reading
// from writing.
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <string>
#include <system_error>

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX  // std::min and std::max, not the macros
#endif
#include <windows.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

#include "platform/standard_io.h"

namespace {

thread_local int gLastError = 0;

// Records errno (or `fallback` when the call left none) as the thread's last failure.
void noteFailure(int fallback = EIO) { gLastError = errno != 0 ? errno : fallback; }

// Enough for a few parallel conversions, each holding its source, its destination, four
// temporary streams and the HTML pass's own streams and pages.
constexpr int kSlotCount = 256;

constexpr int64_t kWindowBytes = 65536;
constexpr int64_t kLookupBytes = 4096;  // loaded for a read away from both windows
constexpr int kWindows = 2;
constexpr int64_t kUnknown = -1;

// Bytes [start, start + length) of the file, of which [dirtyFrom, dirtyTo) (relative to
// start) are not yet in the file.
struct Window {
    uint8_t* bytes;  // kWindowBytes
    int64_t start;
    int64_t length;
    int64_t dirtyFrom;
    int64_t dirtyTo;
    int64_t end() const { return start + length; }
};

struct Slot {
    // Set while the slot holds an open stream; the only field read without owning it.
    std::atomic<std::FILE*> file;
    uint8_t* block;        // both windows' bytes, freed after the FILE is closed
    bool writable;
    bool failed;           // a write-back fell short: the stream's content is lost
    int64_t position;      // where the engine has put the stream
    int64_t size;          // kUnknown unless only this handle writes the stream
    Window windows[kWindows];
    int recent;            // the window used last; a miss takes the other one
};

struct SlotTable {
    std::mutex lock;
    Slot slots[kSlotCount];
};

SlotTable& slotTable() {
    static SlotTable table;
    return table;
}

// Takes a free slot for `file` and `block`: its handle, or 0 when the table is full.
uint32_t takeSlot(std::FILE* file, uint8_t* block, bool writable, bool sizeKnown) {
    SlotTable& table = slotTable();
    std::lock_guard<std::mutex> guard(table.lock);
    for (int index = 0; index < kSlotCount; ++index) {
        Slot& slot = table.slots[index];
        if (slot.file.load(std::memory_order_relaxed) != nullptr) continue;
        slot.block = block;
        slot.writable = writable;
        slot.failed = false;
        slot.position = 0;
        slot.size = sizeKnown ? 0 : kUnknown;
        for (int w = 0; w < kWindows; ++w) slot.windows[w] = Window{block + w * kWindowBytes, 0, 0, 0, 0};
        slot.recent = 0;
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
    slot.block = nullptr;
    slot.file.store(nullptr, std::memory_order_release);
}

// Hands a new FILE, at position 0, to the table, closing it again when it cannot be made
// unbuffered, its windows cannot be had or no slot is free. `sizeKnown`: only this
// handle will write it, and it is empty.
uint32_t adopt(std::FILE* file, bool writable, bool sizeKnown) {
    if (file == nullptr) {
        noteFailure();
        return 0;
    }
    auto* block = static_cast<uint8_t*>(std::malloc(kWindows * kWindowBytes));
    uint32_t handle = 0;
    if (block == nullptr) gLastError = ENOMEM;
    else if (std::setvbuf(file, nullptr, _IONBF, 0) != 0) noteFailure();
    else if ((handle = takeSlot(file, block, writable, sizeKnown)) == 0) gLastError = EMFILE;
    if (handle == 0) {
        std::fclose(file);
        std::free(block);
    }
    return handle;
}

std::FILE* fileOf(const Slot& slot) { return slot.file.load(std::memory_order_relaxed); }

bool seekFile(std::FILE* file, int64_t position) {
    return std::fseek(file, static_cast<long>(position), SEEK_SET) == 0;
}

// Writes a window's changed bytes to the file. Returns false when they do not all go;
// the stream is then failed for good, since the engine has been told they were written.
bool writeBack(Slot& slot, Window& window) {
    if (slot.failed) return false;
    if (window.dirtyFrom == window.dirtyTo) return true;
    std::FILE* file = fileOf(slot);
    const size_t count = static_cast<size_t>(window.dirtyTo - window.dirtyFrom);
    errno = 0;
    if (!seekFile(file, window.start + window.dirtyFrom) ||
        std::fwrite(window.bytes + window.dirtyFrom, 1, count, file) != count) {
        noteFailure();
        slot.failed = true;
        return false;
    }
    window.dirtyFrom = window.dirtyTo = 0;
    return true;
}

bool writeBackAll(Slot& slot) {
    bool ok = true;
    for (Window& window : slot.windows) ok = writeBack(slot, window) && ok;
    return ok;
}

// Writes a window back and empties it, so that it next holds the bytes at `start`.
bool moveWindow(Slot& slot, Window& window, int64_t start) {
    if (!writeBack(slot, window)) return false;
    window.start = start;
    window.length = 0;
    return true;
}

// Empties both windows: for a large transfer that goes past them.
bool emptyWindows(Slot& slot) {
    bool ok = true;
    for (Window& window : slot.windows) ok = moveWindow(slot, window, slot.position) && ok;
    return ok;
}

// Whether a file to be read is refused for what status() found, noting why.
bool refusedAsSource(const std::filesystem::file_status& status, const std::error_code& error) {
    if (error) {
        // Windows answers with its own codes: the portable condition is the errno value.
        const std::error_condition condition = error.default_error_condition();
        gLastError = condition.category() == std::generic_category() && condition.value() != 0
                         ? condition.value()
                         : ENOENT;
        return true;
    }
    if (std::filesystem::is_directory(status)) gLastError = EISDIR;
    else if (!std::filesystem::is_regular_file(status)) gLastError = kNotRegularFile;
    else return false;
    return true;
}

#ifdef _WIN32
// Every path the toolkit hands over is UTF-8. Windows reaches every name only through
// its UTF-16 spelling (the narrow calls read the ANSI code page), so paths are opened
// wide. Bytes that are not UTF-8 name no file: they are refused rather than opened under
// a replacement character's name. Empty when refused.
std::wstring widePath(const char* path) {
    const int units = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path, -1, nullptr, 0);
    if (units <= 1) return std::wstring();
    std::wstring wide(static_cast<size_t>(units), L'\0');
    if (MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path, -1, wide.data(), units) != units)
        return std::wstring();
    wide.resize(static_cast<size_t>(units) - 1);  // the terminating zero
    return wide;
}

uint32_t openStream(void*, const char* path, int32_t mode) {
    if (path == nullptr) return 0;
    const wchar_t* how = nullptr;
    switch (mode) {
        case 0: how = L"rb"; break;
        case 1: how = L"wb+"; break;
        case 2: how = L"rb+"; break;
        default: return 0;
    }
    const std::wstring wide = widePath(path);
    if (wide.empty()) {
        gLastError = EINVAL;
        return 0;
    }
    if (mode == 0) {
        // Only regular files are read, as below.
        std::error_code error;
        const std::filesystem::file_status status = std::filesystem::status(std::filesystem::path(wide), error);
        if (refusedAsSource(status, error)) return 0;
    }
    errno = 0;
    return adopt(_wfopen(wide.c_str(), how), mode != 0, mode == 1);
}
#else
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
        if (refusedAsSource(status, error)) return 0;
    }
    errno = 0;
    return adopt(std::fopen(path, how), mode != 0, mode == 1);
}
#endif

int32_t closeStream(void*, uint32_t handle) {
    Slot* slot = findSlot(handle);
    if (slot == nullptr) return 0;
    const bool written = writeBackAll(*slot);
    std::FILE* file = fileOf(*slot);
    uint8_t* block = slot->block;
    releaseSlot(*slot);
    errno = 0;
    const bool closed = std::fclose(file) == 0;
    if (!closed) noteFailure();
    std::free(block);
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
            std::FILE* file = fileOf(*slot);
            if (!writeBackAll(*slot)) return -1;
            errno = 0;
            if (std::fseek(file, 0, SEEK_END) != 0 || (base = std::ftell(file)) < 0) {
                noteFailure();
                return -1;
            }
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
        const int64_t position = slot->position;
        Window* hit = nullptr;
        for (int w = 0; w < kWindows && hit == nullptr; ++w) {
            Window& window = slot->windows[(slot->recent + w) % kWindows];
            if (position >= window.start && position < window.end()) hit = &window;
        }
        if (hit != nullptr) {
            const int64_t at = position - hit->start;
            const int64_t piece = std::min<int64_t>(count - done, hit->length - at);
            std::memcpy(out + done, hit->bytes + at, static_cast<size_t>(piece));
            done += piece;
            slot->position += piece;
            slot->recent = static_cast<int>(hit - slot->windows);
            continue;
        }
        std::FILE* file = fileOf(*slot);
        if (count - done >= kWindowBytes) {
            // A large read goes straight to the caller, once the file holds what was
            // written here; the windows are left empty.
            if (!emptyWindows(*slot) || !seekFile(file, position)) break;
            errno = 0;
            const size_t got = std::fread(out + done, 1, static_cast<size_t>(count - done), file);
            if (std::ferror(file)) noteFailure();
            done += static_cast<int64_t>(got);
            slot->position += static_cast<int64_t>(got);
            break;
        }
        // Reading on from a window's end is reading through the stream: a whole window is
        // worth loading. Anywhere else it is a record looked up here and there, and a
        // whole window would be read for a few bytes.
        const int victim = 1 - slot->recent;
        Window& window = slot->windows[victim];
        Window& other = slot->windows[slot->recent];
        const bool onward = position == window.end() || position == other.end();
        int64_t load = onward ? kWindowBytes : std::max<int64_t>(kLookupBytes, count - done);
        // Never over bytes the other window holds.
        if (other.length > 0 && other.start > position) load = std::min(load, other.start - position);
        if (!moveWindow(*slot, window, position) || !seekFile(file, position)) break;
        errno = 0;
        window.length = static_cast<int64_t>(std::fread(window.bytes, 1, static_cast<size_t>(load), file));
        if (std::ferror(file)) noteFailure();
        if (window.length < load && other.dirtyFrom != other.dirtyTo && other.start + other.dirtyFrom >= position) {
            // The file ends before bytes written further on that only the other window
            // holds yet: once they are in the file, the gap reads as zeros.
            if (!writeBack(*slot, other) || !seekFile(file, position)) break;
            window.length = static_cast<int64_t>(std::fread(window.bytes, 1, static_cast<size_t>(load), file));
        }
        slot->recent = victim;
        if (window.length == 0) break;  // the end of the file
    }
    return static_cast<int32_t>(done);
}

// Whether `window` can take `count` bytes at `position`: they continue or overwrite what
// it holds, and they fit.
bool takesWrite(const Window& window, int64_t position, int32_t count) {
    const int64_t at = position - window.start;
    return at >= 0 && at <= window.length && at + count <= kWindowBytes;
}

int32_t writeStream(void*, uint32_t handle, int32_t count, const void* buffer) {
    Slot* slot = findSlot(handle);
    if (slot == nullptr || count <= 0 || buffer == nullptr || !slot->writable) return 0;
    const auto* bytes = static_cast<const uint8_t*>(buffer);
    const int64_t position = slot->position;
    if (count >= kWindowBytes) {
        // A large write goes straight to the file; the windows are left empty.
        std::FILE* file = fileOf(*slot);
        if (!emptyWindows(*slot) || !seekFile(file, position)) return 0;
        errno = 0;
        const size_t written = std::fwrite(bytes, 1, static_cast<size_t>(count), file);
        slot->position += static_cast<int64_t>(written);
        if (written != static_cast<size_t>(count)) {
            noteFailure();
            slot->failed = true;
        }
        else if (slot->size != kUnknown) slot->size = std::max(slot->size, slot->position);
        return static_cast<int32_t>(written);
    }
    // Into a window that holds or continues the bytes, else into the other one, moved
    // there. Whatever of the bytes the other window holds is written back and dropped
    // first, so that no byte has two copies.
    int target = slot->recent;
    if (!takesWrite(slot->windows[target], position, count)) {
        target = 1 - target;
        if (!takesWrite(slot->windows[target], position, count) &&
            !moveWindow(*slot, slot->windows[target], position))
            return 0;
    }
    Window& window = slot->windows[target];
    Window& other = slot->windows[1 - target];
    if (other.length > 0 && other.start < position + count && position < other.end() &&
        !moveWindow(*slot, other, other.start))
        return 0;
    const int64_t from = position - window.start;
    std::memcpy(window.bytes + from, bytes, static_cast<size_t>(count));
    if (window.dirtyFrom == window.dirtyTo) {
        window.dirtyFrom = from;
        window.dirtyTo = from + count;
    } else {
        window.dirtyFrom = std::min(window.dirtyFrom, from);
        window.dirtyTo = std::max(window.dirtyTo, from + count);
    }
    window.length = std::max(window.length, from + count);
    slot->recent = target;
    slot->position += count;
    if (slot->size != kUnknown) slot->size = std::max(slot->size, slot->position);
    return count;
}

#ifdef _WIN32
// The Windows C library's tmpfile() creates its files in the root of the current drive,
// where ordinary users may not write, so every conversion would fail to open its
// temporary streams. The user's temporary folder takes them instead; mode "D" has the
// library remove the file when it is closed, as tmpfile() would. The name is opened
// wide like every other: the folder often lies below a user's name with letters beyond
// ASCII.
std::FILE* openTemporaryFile() {
    static std::atomic<uint32_t> serial{0};
    std::error_code error;
    const std::filesystem::path folder = std::filesystem::temp_directory_path(error);
    if (error) return std::tmpfile();
    const auto now = static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
    for (int attempt = 0; attempt < 64; ++attempt) {
        const uint32_t number = serial.fetch_add(1, std::memory_order_relaxed);
        const std::filesystem::path name =
            folder / ("vimlo-" + std::to_string(now % 1000000007u) + "-" + std::to_string(number) + ".tmp");
        if (std::filesystem::exists(name, error)) continue;
        if (std::FILE* file = _wfopen(name.c_str(), L"w+bD")) return file;
    }
    return nullptr;
}
#else
// tmpfile() ignores TMPDIR, where users point large scratch files. On Linux the file has
// no name at all (O_TMPFILE), so nothing is left behind even if the process is killed;
// elsewhere, or where the file system cannot, a unique name is removed at once.
std::FILE* openTemporaryFileIn(const char* folder) {
    int descriptor = -1;
#ifdef O_TMPFILE
    descriptor = open(folder, O_TMPFILE | O_RDWR | O_EXCL | O_CLOEXEC, 0600);
#endif
    if (descriptor < 0) {
        std::string pattern = std::string(folder) + "/vimlo-XXXXXX";
        descriptor = mkstemp(pattern.data());
        if (descriptor < 0) return nullptr;
        unlink(pattern.c_str());
    }
    std::FILE* file = fdopen(descriptor, "w+b");
    if (file == nullptr) close(descriptor);
    return file;
}

std::FILE* openTemporaryFile() {
    const char* folder = std::getenv("TMPDIR");
    if (folder != nullptr && *folder != '\0') {
        if (std::FILE* file = openTemporaryFileIn(folder)) return file;
    }
    return openTemporaryFileIn("/tmp");
}
#endif

uint32_t createTempStream(void*) {
    errno = 0;
    return adopt(openTemporaryFile(), true, true);
}

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

int standardIoError() { return gLastError; }

void clearStandardIoError() { gLastError = 0; }

std::string standardIoErrorText(int error) {
    if (error == 0) return std::string();
    if (error == kNotRegularFile) return "Not a regular file";
    // The generic category's message is the C library's text, fetched thread-safely.
    return std::generic_category().message(error);
}

const IoOps standardIoOps = {
    nullptr,      openStream, closeStream, seekStream,     readStream,
    writeStream,  createTempStream, allocBlock, freeBlock, reportProgress,
};
