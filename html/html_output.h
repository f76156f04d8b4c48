// html/html_output.h -- the buffer every byte of document text passes through on its
// way to the text stream. The text position counts every byte emitted, also in a probe
// context that has no text stream (its bytes are dropped). While navigation is left out
// (hideNesting above 0) both emit calls drop their bytes without counting them.
#pragma once
#include <cstdint>

#include "html/html_context.h"

// Appends the first `count` bytes of textBuffer (0 to 4096), flushing first when they
// would not fit. Counts trailing newlines. False when the flush fails (then
// nothing is appended) or `count` is out of range.
bool emitText(HtmlContext& context, int32_t count);
// Appends `byte` `count` times, flushing whenever the buffer is full. Leaves
// trailingNewlines alone. False when a flush fails.
bool emitRepeated(HtmlContext& context, uint8_t byte, uint16_t count);
// Writes the waiting bytes to textStream (drops them without one). False on a short
// write, leaving the buffer as it was.
bool flushOutput(HtmlContext& context);
