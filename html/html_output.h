// html/html_output.h -- the buffer every byte of document text passes through on its
// way to the text stream. The text position counts every byte emitted, also in a probe
// context that has no text stream (its bytes are dropped).
#pragma once
#include <cstdint>

#include "html/html_context.h"

// Appends the first `count` bytes of textBuffer (0 to 4096), flushing first when they
// would not fit. Counts trailing newlines. Returns 1, or 0 when the flush fails (then
// nothing is appended) or `count` is out of range.
int emitText(HtmlContext& context, int32_t count);
// Appends `byte` `count` times, flushing whenever the buffer is full. Leaves
// trailingNewlines alone. Returns 1, or 0 when a flush fails.
int emitRepeated(HtmlContext& context, uint8_t byte, uint16_t count);
// Writes the waiting bytes to textStream (drops them without one). Returns 1, or 0 on a
// short write, leaving the buffer as it was.
int flushOutput(HtmlContext& context);
