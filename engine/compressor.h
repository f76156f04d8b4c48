// engine/compressor.h -- turns the preprocessed text into the text part of an e-book
// database: record 0's first fields, then per group of chunks one code-table record and
// one record per chunk, Huffman-coded with the group's table or stored as it is when the
// coding does not fit. The handheld decodes exactly this format, so the match finder's
// and the code builder's choices fix the bytes. The caller positions the destination
// and fills the record list afterwards (database_writer.h).
#pragma once
#include <cstdint>

#include "engine/io_ops.h"

// R, the number of text-part records (record 0, one code table per group, one record per
// chunk) for `textLength` bytes, or 0 when R would exceed 65535 or a size is not positive.
uint32_t textRecordCount(uint32_t textLength, int32_t chunkSize, int32_t groupSize);

// Compresses the whole of `text` into records written at the destination's current
// position: record 0 (64 bytes) and the text-part records, big-endian. `spill` is an
// empty-able temporary stream for the token arrays of one group. The chunk size must be
// 1 to 32768 and the group size 1 to 65535; the text must not be empty. Reports
// StagePercent after each chunk. The work areas come from allocBlock and are freed on
// every way out. Returns StepDone, StepCanceled, or StepFailed (a failed or short
// stream operation, a failed allocation, an empty or too long text, a code table that
// does not fit).
StepResult compressText(const IoOps& io, uint32_t text, uint32_t spill, uint32_t destination,
                        int32_t chunkSize, int32_t groupSize);
