// engine/checked_io.h -- exact-length stream access over an IoOps table. Every engine
// step moves bytes through these, so a short read or write, or a seek that lands
// elsewhere, fails the step in one place. They never close streams.
#pragma once
#include <cstdint>

#include "engine/io_ops.h"

// Reads exactly `length` bytes into `buffer`: 1, or 0 if fewer came (end of stream too).
int readExact(const IoOps& io, uint32_t stream, void* buffer, int32_t length);
// Writes exactly `length` bytes. Returns 1, or 0 on a short write.
int writeExact(const IoOps& io, uint32_t stream, const void* buffer, int32_t length);
// Moves to absolute `position`: 1 only if the stream answers that very position, else 0.
int seekExact(const IoOps& io, uint32_t stream, int32_t position);
// The stream's size (seek to 0 from the end), or -1. Leaves the position at the end.
int32_t streamSize(const IoOps& io, uint32_t stream);
// Reports `stage` with `argument`: 1 to go on (also when the slot is empty), 0 to cancel.
int stillWanted(const IoOps& io, int32_t stage, void* argument);
// Reports StagePercent with `percent`: 1 to go on, 0 to cancel.
int stillWantedPercent(const IoOps& io, int32_t percent);
