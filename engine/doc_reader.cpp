// engine/doc_reader.cpp -- see doc_reader.h. The compressed bytes are read through a
// small window on the stack, so the source is touched once per window and never past
// the record; every index into the window and the output is checked before use.
#include "engine/doc_reader.h"

#include "engine/checked_io.h"

namespace {

constexpr int32_t kWindowBytes = 512;

// The record's bytes not yet consumed, read ahead a window at a time.
struct RecordInput {
    const IoOps* io;
    uint32_t handle;
    int32_t remaining;  // record bytes not yet read into the window
    uint8_t window[kWindowBytes];
    int32_t position;   // next byte of the window
    int32_t fill;       // valid bytes in the window
};

int32_t bytesLeft(const RecordInput& in) { return in.remaining + in.fill - in.position; }

// The next record byte into `byte`; false when the record is used up or a read falls
// short.
bool nextByte(RecordInput& in, uint8_t& byte) {
    if (in.position == in.fill) {
        if (in.remaining == 0) return false;
        const int32_t piece = in.remaining < kWindowBytes ? in.remaining : kWindowBytes;
        if (!readExact(*in.io, in.handle, in.window, piece)) return false;
        in.remaining -= piece;
        in.position = 0;
        in.fill = piece;
    }
    byte = in.window[in.position++];
    return true;
}

}  // namespace

bool docExpand(const IoOps& io, uint32_t handle, int32_t offset, int32_t size, uint8_t* buffer,
               int32_t capacity, int32_t& length) {
    length = 0;
    if (size < 0 || capacity < 0) return false;
    if (!seekExact(io, handle, offset)) return false;
    RecordInput in;
    in.io = &io;
    in.handle = handle;
    in.remaining = size;
    in.position = 0;
    in.fill = 0;
    int32_t produced = 0;
    uint8_t b = 0;
    while (bytesLeft(in) > 0) {
        if (!nextByte(in, b)) return false;
        if (b >= 1 && b <= 8) {
            // A literal run: the next b record bytes, unchanged.
            if (bytesLeft(in) < b || capacity - produced < b) return false;
            for (int k = 0; k < b; ++k) {
                if (!nextByte(in, buffer[produced])) return false;
                ++produced;
            }
        } else if (b < 128) {
            if (produced == capacity) return false;
            buffer[produced++] = b;
        } else if (b < 192) {
            // A copy pair: 11 bits of distance back into the output, 3 bits of length - 3.
            uint8_t c = 0;
            if (!nextByte(in, c)) return false;
            const int32_t distance = ((b & 63) << 5) | (c >> 3);
            const int32_t count = (c & 7) + 3;
            if (distance == 0 || distance > produced || capacity - produced < count) return false;
            // Byte by byte: the copy may overlap the bytes it is writing.
            for (int32_t k = 0; k < count; ++k, ++produced) buffer[produced] = buffer[produced - distance];
        } else {
            if (capacity - produced < 2) return false;
            buffer[produced++] = ' ';
            buffer[produced++] = static_cast<uint8_t>(b & 127);
        }
    }
    length = produced;
    return true;
}

bool docOpen(DocReader& reader, const IoOps& io, uint32_t handle) {
    reader.io = &io;
    reader.handle = handle;
    reader.nextRecord = 1;
    reader.endRecord = 1;
    reader.compression = 0;
    if (!readDatabaseHeader(io, handle, reader.header)) return false;
    int32_t offset = 0;
    int32_t size = 0;
    if (!readRecordLocation(io, handle, reader.header, 0, offset, size)) return false;
    uint8_t recordZero[kDocRecordZeroBytes];
    if (!seekExact(io, handle, offset)) return false;
    if (!readExact(io, handle, recordZero, kDocRecordZeroBytes)) return false;
    const uint32_t textRecords = getBigEndian16(recordZero + kDocRecordCountOffset);
    // Record 0 itself is one of the database's records, so the text needs fewer.
    if (textRecords >= reader.header.numRecords) return false;
    reader.compression = static_cast<uint16_t>(getBigEndian16(recordZero + kDocCompressionOffset));
    reader.endRecord = static_cast<uint16_t>(textRecords + 1);
    return true;
}

bool docNextRecord(DocReader& reader, uint8_t* buffer, int32_t capacity, int32_t& length) {
    length = 0;
    if (capacity < kDocMinimumCapacity) return false;
    const IoOps& io = *reader.io;
    // An empty record is passed over: a length of 0 must mean the end of the text, or
    // the records after it would be lost.
    while (length == 0 && reader.nextRecord < reader.endRecord) {
        int32_t offset = 0;
        int32_t size = 0;
        if (!readRecordLocation(io, reader.handle, reader.header, reader.nextRecord, offset, size))
            return false;
        ++reader.nextRecord;
        if (reader.compression == kDocUncompressed) {
            // Stored text: every byte is text, including 1 to 8 and 128 and above.
            if (size > capacity) return false;
            if (!seekExact(io, reader.handle, offset)) return false;
            if (!readExact(io, reader.handle, buffer, size)) return false;
            length = size;
        } else if (!docExpand(io, reader.handle, offset, size, buffer, capacity, length)) {
            return false;
        }
    }
    return true;
}
