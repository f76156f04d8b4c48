// engine/checked_io.cpp -- see checked_io.h.
#include "engine/checked_io.h"

int readExact(const IoOps& io, uint32_t stream, void* buffer, int32_t length) {
    if (length < 0) return 0;
    if (length == 0) return 1;
    return io.readStream(io.userData, stream, length, buffer) == length ? 1 : 0;
}

int writeExact(const IoOps& io, uint32_t stream, const void* buffer, int32_t length) {
    if (length < 0) return 0;
    if (length == 0) return 1;
    return io.writeStream(io.userData, stream, length, buffer) == length ? 1 : 0;
}

int seekExact(const IoOps& io, uint32_t stream, int32_t position) {
    if (position < 0) return 0;
    return io.seekStream(io.userData, stream, position, 0) == position ? 1 : 0;
}

int32_t streamSize(const IoOps& io, uint32_t stream) {
    const int32_t size = io.seekStream(io.userData, stream, 0, 2);
    return size < 0 ? -1 : size;
}

int stillWanted(const IoOps& io, int32_t stage, void* argument) {
    if (io.reportProgress == nullptr) return 1;
    return io.reportProgress(io.userData, stage, argument) != 0 ? 1 : 0;
}

int stillWantedPercent(const IoOps& io, int32_t percent) {
    int32_t value = percent;
    return stillWanted(io, StagePercent, &value);
}
