// engine/checked_io.cpp -- see checked_io.h.
#include "engine/checked_io.h"

bool readExact(const IoOps& io, uint32_t stream, void* buffer, int32_t length) {
    if (length < 0) return false;
    if (length == 0) return true;
    return io.readStream(io.userData, stream, length, buffer) == length;
}

bool writeExact(const IoOps& io, uint32_t stream, const void* buffer, int32_t length) {
    if (length < 0) return false;
    if (length == 0) return true;
    return io.writeStream(io.userData, stream, length, buffer) == length;
}

bool seekExact(const IoOps& io, uint32_t stream, int32_t position) {
    if (position < 0) return false;
    return io.seekStream(io.userData, stream, position, 0) == position;
}

int32_t streamSize(const IoOps& io, uint32_t stream) {
    const int32_t size = io.seekStream(io.userData, stream, 0, 2);
    return size < 0 ? -1 : size;
}

bool stillWanted(const IoOps& io, int32_t stage, void* argument) {
    if (io.reportProgress == nullptr) return true;
    return io.reportProgress(io.userData, stage, argument) != 0;
}

bool stillWantedPercent(const IoOps& io, int32_t percent) {
    int32_t value = percent;
    return stillWanted(io, StagePercent, &value);
}
