// frontend/read_pages.cpp -- see read_pages.h.
#include "frontend/read_pages.h"

#include <algorithm>

namespace {

ReadPages& stateOf(void* userData) { return *static_cast<ReadPages*>(userData); }

uint32_t openStream(void* userData, const char* path, int32_t mode) {
    ReadPages& state = stateOf(userData);
    const uint32_t handle = state.inner.openStream(state.inner.userData, path, mode);
    if (handle == 0 || mode != 0 || path == nullptr) return handle;
    // Looked up once the file is open, so the identity is that of the file being read.
    const std::optional<FileIdentity> page = state.files->identity(path);
    if (!page) return handle;
    if (!state.written.empty() && state.files->identity(state.written) == page) {
        state.inner.closeStream(state.inner.userData, handle);
        return 0;
    }
    if (std::find(state.read.begin(), state.read.end(), *page) == state.read.end())
        state.read.push_back(*page);
    return handle;
}

int32_t closeStream(void* userData, uint32_t handle) {
    ReadPages& state = stateOf(userData);
    return state.inner.closeStream(state.inner.userData, handle);
}

int32_t seekStream(void* userData, uint32_t handle, int32_t offset, int32_t origin) {
    ReadPages& state = stateOf(userData);
    return state.inner.seekStream(state.inner.userData, handle, offset, origin);
}

int32_t readStream(void* userData, uint32_t handle, int32_t count, void* buffer) {
    ReadPages& state = stateOf(userData);
    return state.inner.readStream(state.inner.userData, handle, count, buffer);
}

int32_t writeStream(void* userData, uint32_t handle, int32_t count, const void* buffer) {
    ReadPages& state = stateOf(userData);
    return state.inner.writeStream(state.inner.userData, handle, count, buffer);
}

uint32_t createTempStream(void* userData) {
    ReadPages& state = stateOf(userData);
    return state.inner.createTempStream(state.inner.userData);
}

void* allocBlock(void* userData, int32_t byteCount) {
    ReadPages& state = stateOf(userData);
    return state.inner.allocBlock(state.inner.userData, byteCount);
}

int32_t freeBlock(void* userData, void* block) {
    ReadPages& state = stateOf(userData);
    return state.inner.freeBlock(state.inner.userData, block);
}

// An empty slot stays "go on", as the engine reads it.
int32_t reportProgress(void* userData, int32_t stage, void* argument) {
    ReadPages& state = stateOf(userData);
    if (state.inner.reportProgress == nullptr) return 1;
    return state.inner.reportProgress(state.inner.userData, stage, argument);
}

}  // namespace

IoOps readPagesIoOps(ReadPages& state) {
    return IoOps{&state,       openStream,       closeStream, seekStream, readStream,
                 writeStream,  createTempStream, allocBlock,  freeBlock,  reportProgress};
}

bool wasRead(const std::vector<FileIdentity>& read, const std::string& path,
             const FileSystem& files) {
    const std::optional<FileIdentity> identity = files.identity(path);
    return identity && std::find(read.begin(), read.end(), *identity) != read.end();
}
