// engine/preprocess.cpp -- see preprocess.h. Buffers live on the stack (at most 8 KB),
// so there is nothing to release on any path.
#include "engine/preprocess.h"

#include "engine/checked_io.h"
#include "engine/doc_reader.h"
#include "engine/text_filter.h"

namespace {

constexpr int32_t kTextPieceBytes = 4096;   // plain text is read in pieces of this size
constexpr int32_t kDocRecordBuffer = 8192;  // one expanded PalmDoc record

// done x 100 / total in 64 bits: a 32-bit product would overflow past 21 MB.
int32_t percentOf(int64_t done, int64_t total) {
    return total > 0 ? static_cast<int32_t>(done * 100 / total) : 100;
}

}  // namespace

StepResult preprocessText(const ConversionJob& job, uint32_t source, uint32_t output) {
    const IoOps& io = *job.io;
    const int32_t size = streamSize(io, source);
    if (size < 0) return StepFailed;
    if (!seekExact(io, source, 0)) return StepFailed;
    TextFilter filter;
    filterInit(filter, job, io, output);
    uint8_t piece[kTextPieceBytes];
    int32_t done = 0;
    while (done < size) {
        const int32_t remaining = size - done;
        const int32_t length = remaining < kTextPieceBytes ? remaining : kTextPieceBytes;
        if (!readExact(io, source, piece, length)) return StepFailed;
        if (!filterChunk(filter, piece, length)) return StepFailed;
        done += length;
        if (!stillWantedPercent(io, percentOf(done, size))) return StepCanceled;
    }
    return StepDone;
}

StepResult preprocessDoc(const ConversionJob& job, uint32_t source, uint32_t output) {
    const IoOps& io = *job.io;
    TextFilter filter;
    filterInit(filter, job, io, output);
    DocReader reader;
    if (!docOpen(reader, io, source)) return StepFailed;
    uint8_t record[kDocRecordBuffer];
    for (;;) {
        int32_t length = 0;
        if (!docNextRecord(reader, record, kDocRecordBuffer, length)) return StepFailed;
        if (length == 0) return StepDone;
        if (!filterChunk(filter, record, length)) return StepFailed;
        if (!stillWantedPercent(io, percentOf(reader.nextRecord, reader.endRecord)))
            return StepCanceled;
    }
}
