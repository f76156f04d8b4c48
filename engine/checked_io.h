// engine/checked_io.h -- exact-length stream access over an IoOps table. Every engine
// step moves bytes through these, so a short read or write, or a seek that lands
// elsewhere, fails the step in one place. They never close streams.
#pragma once
#include <cstdint>

#include "engine/io_ops.h"

// Reads exactly `length` bytes into `buffer`; false if fewer came (end of stream too).
bool readExact(const IoOps& io, uint32_t stream, void* buffer, int32_t length);
// Writes exactly `length` bytes; false on a short write.
bool writeExact(const IoOps& io, uint32_t stream, const void* buffer, int32_t length);
// Moves to absolute `position`; true only if the stream answers that very position.
bool seekExact(const IoOps& io, uint32_t stream, int32_t position);
// The stream's size (seek to 0 from the end), or -1. Leaves the position at the end.
int32_t streamSize(const IoOps& io, uint32_t stream);
// Reports `stage` with `argument`: true to go on (also when the slot is empty), false
// when the user canceled. The one place that reads the slot's answer.
bool stillWanted(const IoOps& io, int32_t stage, void* argument);
// Reports StagePercent with `percent`: true to go on, false to cancel.
bool stillWantedPercent(const IoOps& io, int32_t percent);
