// frontend/read_pages.cpp -- see read_pages.h.
#include "frontend/read_pages.h"

#include <algorithm>

#include "frontend/forwarding_io.h"

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
    if (!state.watched.empty()) {
        const bool watched = std::any_of(state.watched.begin(), state.watched.end(), [&](const std::string& path) {
            return state.files->identity(path) == page;
        });
        if (!watched) return handle;
    }
    if (std::find(state.read.begin(), state.read.end(), *page) == state.read.end())
        state.read.push_back(*page);
    return handle;
}

}  // namespace

IoOps readPagesIoOps(ReadPages& state) {
    IoOps ops = forwardingIoOps(state);
    ops.openStream = &openStream;
    return ops;
}

bool wasRead(const std::vector<FileIdentity>& read, const std::string& path,
             const FileSystem& files) {
    const std::optional<FileIdentity> identity = files.identity(path);
    return identity && std::find(read.begin(), read.end(), *identity) != read.end();
}
