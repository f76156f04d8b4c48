// engine/book_reader.cpp -- see book_reader.h. Huffman codes are decoded one bit at a
// time against the count of codes of each length (the canonical order makes the codes of
// one length consecutive), which needs no table beyond the sorted symbols and checks
// every code as it goes. Speed matters less here than being plainly right.
#include "engine/book_reader.h"

#include <cstring>

#include "engine/checked_io.h"
#include "engine/deflate_tables.h"

constexpr int kRecordBufferSize = kRecordHeaderSize + 4 * kMaxPayloadWords;
constexpr int kEntriesPerRead = kRecordBufferSize / kRecordEntrySize;  // record list scan

// A canonical code ready for decoding: how many codes each length has, and the symbols
// in code order (by length, then by symbol).
struct HuffmanDecoder {
    uint16_t countOfLength[kMaxCodeBits + 1];
    uint16_t symbols[kLiteralLengthSymbols];
};

struct BookReaderWork {
    uint8_t record[kRecordBufferSize];
    uint8_t text[kBookChunkSize];
    HuffmanDecoder literals;
    HuffmanDecoder distances;
};

// Reads bits of a record payload: bit k is bit k mod 32 of the big-endian word k div 32.
struct BitReader {
    const uint8_t* payload;
    int32_t totalBits;
    int32_t position;
    bool overrun;  // a read went past the payload; its bits came back as 0
};

static int nextBit(BitReader& in) {
    if (in.position >= in.totalBits) {
        in.overrun = true;
        return 0;
    }
    const int32_t k = in.position++;
    const int32_t byteIndex = (k >> 5) * 4 + 3 - ((k >> 3) & 3);
    return (in.payload[byteIndex] >> (k & 7)) & 1;
}

// A number of `count` bits, lowest first.
static uint32_t readNumber(BitReader& in, int count) {
    uint32_t value = 0;
    for (int i = 0; i < count; ++i) value |= static_cast<uint32_t>(nextBit(in)) << i;
    return value;
}

// True when everything after the current position is zero padding inside the last word.
static bool onlyPaddingLeft(const BitReader& in) {
    if (in.overrun) return false;
    if (in.totalBits - in.position >= 32) return false;  // a whole word too many
    BitReader rest = in;
    while (rest.position < rest.totalBits)
        if (nextBit(rest) != 0) return false;
    return true;
}

// Builds a decoder from code lengths; false unless the lengths form a complete prefix
// code (every bit string leads to exactly one symbol).
static bool buildDecoder(const uint8_t* lengths, int symbolCount, HuffmanDecoder& decoder) {
    std::memset(decoder.countOfLength, 0, sizeof decoder.countOfLength);
    for (int s = 0; s < symbolCount; ++s) {
        if (lengths[s] > kMaxCodeBits) return false;
        ++decoder.countOfLength[lengths[s]];
    }
    int32_t unused = 1;  // code space left at the current length
    for (int bits = 1; bits <= kMaxCodeBits; ++bits) {
        unused = unused * 2 - decoder.countOfLength[bits];
        if (unused < 0) return false;  // more codes than the length can hold
    }
    if (unused != 0) return false;
    uint16_t next[kMaxCodeBits + 2] = {};
    for (int bits = 1; bits <= kMaxCodeBits; ++bits)
        next[bits + 1] = static_cast<uint16_t>(next[bits] + decoder.countOfLength[bits]);
    for (int s = 0; s < symbolCount; ++s)
        if (lengths[s] != 0) decoder.symbols[next[lengths[s]]++] = static_cast<uint16_t>(s);
    return true;
}

// The next symbol, or -1 when the bits run out.
static int decodeSymbol(BitReader& in, const HuffmanDecoder& decoder) {
    int32_t code = 0;   // the bits read so far, first bit highest
    int32_t first = 0;  // the first code of the current length
    int32_t index = 0;  // where the current length's symbols start
    for (int bits = 1; bits <= kMaxCodeBits; ++bits) {
        code |= nextBit(in);
        const int32_t count = decoder.countOfLength[bits];
        if (code - first < count) return in.overrun ? -1 : decoder.symbols[index + code - first];
        index += count;
        first = (first + count) << 1;
        code <<= 1;
    }
    return -1;  // a complete code never gets here
}

// Reads one length sequence of `count` entries with the code-length code. Repeats stay
// inside the sequence; a 16 needs a length before it in the same sequence.
static bool readLengthSequence(BitReader& in, const HuffmanDecoder& codeLengths, uint8_t* lengths,
                               int count) {
    int i = 0;
    while (i < count) {
        const int symbol = decodeSymbol(in, codeLengths);
        if (symbol < 0) return false;
        if (symbol < kRepeatPrevious) {
            lengths[i++] = static_cast<uint8_t>(symbol);
            continue;
        }
        uint8_t value = 0;
        int repeat;
        if (symbol == kRepeatPrevious) {
            if (i == 0) return false;
            value = lengths[i - 1];
            repeat = 3 + static_cast<int>(readNumber(in, 2));
        } else if (symbol == kZeroRunShort) {
            repeat = 3 + static_cast<int>(readNumber(in, 3));
        } else {
            repeat = 11 + static_cast<int>(readNumber(in, 7));
        }
        if (in.overrun || repeat > count - i) return false;
        for (; repeat > 0; --repeat) lengths[i++] = value;
    }
    return true;
}

// Decodes a code-table payload into the work's literal/length and distance decoders.
// Returns BookOk or BookBadCodeTable; `tableBits` gets the table's length in bits.
static int32_t decodeCodeTable(BookReaderWork& work, const uint8_t* payload, int32_t words,
                               int32_t& tableBits) {
    BitReader in{payload, words * 32, 0, false};
    const int literalCount = static_cast<int>(readNumber(in, 5)) + kFirstLengthSymbol;
    const int distanceCount = static_cast<int>(readNumber(in, 5)) + 1;
    const int codeLengthCount = static_cast<int>(readNumber(in, 4)) + 4;
    if (literalCount > kLiteralLengthSymbols || distanceCount > kDistanceSymbols) return BookBadCodeTable;

    uint8_t codeLengthLengths[kCodeLengthSymbols] = {};
    for (int i = 0; i < codeLengthCount; ++i)
        codeLengthLengths[kCodeLengthOrder[i]] = static_cast<uint8_t>(readNumber(in, 3));
    if (in.overrun) return BookBadCodeTable;
    HuffmanDecoder codeLengths;
    if (!buildDecoder(codeLengthLengths, kCodeLengthSymbols, codeLengths)) return BookBadCodeTable;

    uint8_t literalLengths[kLiteralLengthSymbols] = {};
    uint8_t distanceLengths[kDistanceSymbols] = {};
    if (!readLengthSequence(in, codeLengths, literalLengths, literalCount)) return BookBadCodeTable;
    if (!readLengthSequence(in, codeLengths, distanceLengths, distanceCount)) return BookBadCodeTable;
    if (literalLengths[kEndSymbol] == 0) return BookBadCodeTable;  // no chunk could end
    if (!buildDecoder(literalLengths, kLiteralLengthSymbols, work.literals)) return BookBadCodeTable;
    if (!buildDecoder(distanceLengths, kDistanceSymbols, work.distances)) return BookBadCodeTable;
    if (!onlyPaddingLeft(in)) return BookBadCodeTable;
    tableBits = in.position;
    return BookOk;
}

// Decodes a coded-chunk payload into out[0..expected). BookOk or BookBadChunk.
static int32_t decodeChunk(const BookReaderWork& work, const uint8_t* payload, int32_t words,
                           uint8_t* out, int32_t expected, int32_t& chunkBits) {
    BitReader in{payload, words * 32, 0, false};
    int32_t produced = 0;
    for (;;) {
        const int symbol = decodeSymbol(in, work.literals);
        if (symbol < 0) return BookBadChunk;
        if (symbol < kEndSymbol) {
            if (produced >= expected) return BookBadChunk;
            out[produced++] = static_cast<uint8_t>(symbol);
            continue;
        }
        if (symbol == kEndSymbol) break;
        const int range = symbol - kFirstLengthSymbol;
        if (range >= kLengthRanges) return BookBadChunk;
        const int32_t length = kDeflateRanges.lengthBase[range] +
                               static_cast<int32_t>(readNumber(in, kDeflateRanges.lengthExtra[range]));
        const int distanceSymbol = decodeSymbol(in, work.distances);
        if (distanceSymbol < 0) return BookBadChunk;
        const int32_t distance =
            kDeflateRanges.distanceBase[distanceSymbol] +
            static_cast<int32_t>(readNumber(in, kDeflateRanges.distanceExtra[distanceSymbol]));
        if (in.overrun) return BookBadChunk;
        if (distance > produced) return BookBadChunk;           // before the chunk start
        if (length > expected - produced) return BookBadChunk;  // past the chunk's end
        for (int32_t i = 0; i < length; ++i, ++produced) out[produced] = out[produced - distance];
    }
    if (produced != expected || !onlyPaddingLeft(in)) return BookBadChunk;
    chunkBits = in.position;
    return BookOk;
}

// Reads a record of at most one full payload into the work's record buffer and checks
// its header against its size. `words` gets the payload length in words.
static int32_t loadTextRecord(const BookReader& reader, int32_t index, int32_t& kind, int32_t& words) {
    int32_t length = 0;
    const int32_t rc = bookReadRecord(reader, index, reader.work->record, kRecordBufferSize, length);
    if (rc == BookBadArgument) return BookBadRecordHeader;  // longer than any text record
    if (rc != BookOk) return rc;
    const uint8_t* header = reader.work->record;
    if (length < kRecordHeaderSize || header[0] != kRecordHeaderSize) return BookBadRecordHeader;
    kind = header[1];
    words = static_cast<int32_t>(getBigEndian16(header + 2));
    if (length != kRecordHeaderSize + 4 * words) return BookBadRecordHeader;
    return BookOk;
}

static int32_t textRecordsFor(uint32_t textLength, uint32_t groupSize) {
    const int64_t chunks = (static_cast<int64_t>(textLength) + kBookChunkSize - 1) / kBookChunkSize;
    const int64_t groups = (chunks + groupSize - 1) / groupSize;
    const int64_t records = 1 + groups + chunks;
    return records > kMaxBookRecords ? -1 : static_cast<int32_t>(records);
}

static int32_t chunkRecordIndex(const BookReader& reader, int32_t chunk) {
    const int32_t groupSize = reader.recordZero.groupSize;
    return chunk + chunk / groupSize + 2;
}

static int32_t codeTableRecordIndex(const BookReader& reader, int32_t group) {
    return 1 + group * (reader.recordZero.groupSize + 1);
}

// Checks every record entry: inside the file, after the record list, never going back.
static int32_t checkRecordList(BookReader& reader) {
    const IoOps& io = *reader.io;
    const int32_t count = reader.header.numRecords;
    const int64_t listEnd = kDatabaseHeaderSize + static_cast<int64_t>(kRecordEntrySize) * count;
    uint8_t* entries = reader.work->record;
    int64_t previous = listEnd;
    if (!seekExact(io, reader.stream, kDatabaseHeaderSize)) return BookIoFailed;
    for (int32_t done = 0; done < count;) {
        const int32_t piece = count - done < kEntriesPerRead ? count - done : kEntriesPerRead;
        if (!readExact(io, reader.stream, entries, piece * kRecordEntrySize)) return BookIoFailed;
        for (int32_t i = 0; i < piece; ++i) {
            const int64_t offset = getBigEndian32(entries + kRecordEntrySize * i);
            if (offset < previous || offset > reader.fileSize) return BookBadRecordList;
            previous = offset;
        }
        done += piece;
    }
    return BookOk;
}

// Record 0: its tag and length, a text length and group size that give exactly the R
// it states, and runs of document records that lie inside the database.
static int32_t checkRecordZero(BookReader& reader) {
    int32_t offset = 0, size = 0;
    uint8_t bytes[kRecordZeroSize];
    const int32_t rc = bookRecordLocation(reader, 0, offset, size);
    if (rc != BookOk) return rc;
    if (size < kRecordZeroSize) return BookBadRecordZero;
    if (!seekExact(*reader.io, reader.stream, offset)) return BookIoFailed;
    if (!readExact(*reader.io, reader.stream, bytes, kRecordZeroSize)) return BookIoFailed;

    DocumentHeaderRecord& r = reader.recordZero;
    r.recordLength = static_cast<uint16_t>(bytes[0] << 8 | bytes[1]);
    r.version = static_cast<uint16_t>(bytes[2] << 8 | bytes[3]);
    std::memcpy(r.flags, bytes + 4, 4);
    std::memcpy(r.tag, bytes + 8, 4);
    r.textLength = getBigEndian32(bytes + 12);
    uint16_t* const fields[] = {&r.groupSize, &r.textRecordCount, &r.formatFirst, &r.formatCount,
                                &r.linkFirst, &r.linkCount,       &r.ruleFirst,   &r.ruleCount};
    for (int i = 0; i < 8; ++i) *fields[i] = static_cast<uint16_t>(getBigEndian16(bytes + 16 + 2 * i));
    r.conversionTime = getBigEndian32(bytes + 32);
    r.pageCount = static_cast<uint16_t>(getBigEndian16(bytes + 36));
    r.boundaryFirst = static_cast<uint16_t>(getBigEndian16(bytes + 38));
    r.boundaryCount = static_cast<uint16_t>(getBigEndian16(bytes + 40));

    if (r.recordLength != kRecordZeroSize || std::memcmp(r.tag, kEbookTypeCreator, 4) != 0)
        return BookBadRecordZero;
    if (r.textLength == 0 || r.groupSize == 0) return BookBadRecordZero;
    const int32_t records = textRecordsFor(r.textLength, r.groupSize);
    if (records < 0 || records != r.textRecordCount || records > reader.header.numRecords)
        return BookBadRecordZero;
    const uint16_t runs[4][2] = {{r.formatFirst, r.formatCount}, {r.linkFirst, r.linkCount},
                                 {r.ruleFirst, r.ruleCount}, {r.boundaryFirst, r.boundaryCount}};
    for (const auto& run : runs) {
        if (run[1] == 0) continue;
        if (run[0] < records || run[0] + run[1] > reader.header.numRecords) return BookBadRecordZero;
    }
    reader.chunkCount = static_cast<int32_t>((static_cast<int64_t>(r.textLength) + kBookChunkSize - 1) /
                                             kBookChunkSize);
    reader.groupCount = (reader.chunkCount + r.groupSize - 1) / r.groupSize;
    return BookOk;
}

// Every text record: header length 4, the kind its place calls for (a code table first
// in each group, then the chunks), a size that matches its word count, at most 1024
// words, and stored chunks exactly as long as their text.
static int32_t checkTextRecords(BookReader& reader) {
    const int32_t groupSize = reader.recordZero.groupSize;
    for (int32_t index = 1; index < reader.recordZero.textRecordCount; ++index) {
        int32_t offset = 0, size = 0;
        uint8_t header[kRecordHeaderSize];
        const int32_t rc = bookRecordLocation(reader, index, offset, size);
        if (rc != BookOk) return rc;
        if (size < kRecordHeaderSize) return BookBadRecordHeader;
        if (!seekExact(*reader.io, reader.stream, offset)) return BookIoFailed;
        if (!readExact(*reader.io, reader.stream, header, kRecordHeaderSize)) return BookIoFailed;
        const int32_t words = static_cast<int32_t>(getBigEndian16(header + 2));
        const int kind = header[1];
        if (header[0] != kRecordHeaderSize || size != kRecordHeaderSize + 4 * words)
            return BookBadRecordHeader;
        if (words == 0 || words > kMaxPayloadWords) return BookBadRecordHeader;
        const int32_t place = (index - 1) % (groupSize + 1);
        if (place == 0) {
            if (kind != KindCodeTable) return BookBadRecordHeader;
            continue;
        }
        const int32_t chunk = (index - 1) / (groupSize + 1) * groupSize + place - 1;
        if (kind == KindCodedChunk) continue;
        if (kind < KindStored || kind > KindStored + 3) return BookBadRecordHeader;
        if (4 * words - (kind - KindStored) != bookChunkLength(reader, chunk)) return BookBadRecordHeader;
    }
    return BookOk;
}

static int32_t checkHeader(BookReader& reader) {
    const DatabaseHeader& h = reader.header;
    if (std::memcmp(h.type, kEbookTypeCreator, 4) != 0 || std::memcmp(h.creator, kEbookTypeCreator, 4) != 0)
        return BookNotEbook;
    if (h.name[kDatabaseNameBytes - 1] != 0 || h.numRecords < 3) return BookBadHeader;
    const int64_t listEnd = kDatabaseHeaderSize + static_cast<int64_t>(kRecordEntrySize) * h.numRecords;
    if (listEnd > reader.fileSize) return BookBadHeader;
    return BookOk;
}

int32_t bookOpen(const IoOps& io, uint32_t stream, BookReader& reader) {
    std::memset(&reader, 0, sizeof reader);
    reader.io = &io;
    reader.stream = stream;
    reader.loadedGroup = -1;
    reader.fileSize = streamSize(io, stream);
    if (reader.fileSize < 0) return BookIoFailed;
    if (reader.fileSize < kDatabaseHeaderSize) return BookNotEbook;
    if (!readDatabaseHeader(io, stream, reader.header)) return BookIoFailed;
    int32_t rc = checkHeader(reader);
    if (rc != BookOk) return rc;
    reader.work = static_cast<BookReaderWork*>(io.allocBlock(io.userData, sizeof(BookReaderWork)));
    if (reader.work == nullptr) return BookNoMemory;
    rc = checkRecordList(reader);
    if (rc == BookOk) rc = checkRecordZero(reader);
    if (rc == BookOk) rc = checkTextRecords(reader);
    if (rc != BookOk) bookClose(reader);
    return rc;
}

void bookClose(BookReader& reader) {
    if (reader.work != nullptr) reader.io->freeBlock(reader.io->userData, reader.work);
    reader.work = nullptr;
    reader.loadedGroup = -1;
}

int32_t bookRecordCount(const BookReader& reader) { return reader.header.numRecords; }

int32_t bookRecordLocation(const BookReader& reader, int32_t index, int32_t& offset, int32_t& size) {
    if (index < 0 || index >= reader.header.numRecords) return BookBadArgument;
    if (!readRecordLocation(*reader.io, reader.stream, reader.header, static_cast<uint32_t>(index),
                            offset, size))
        return BookIoFailed;
    if (offset + static_cast<int64_t>(size) > reader.fileSize) return BookBadRecordList;
    return BookOk;
}

int32_t bookReadRecord(const BookReader& reader, int32_t index, uint8_t* buffer, int32_t capacity,
                       int32_t& length) {
    int32_t offset = 0, size = 0;
    const int32_t rc = bookRecordLocation(reader, index, offset, size);
    if (rc != BookOk) return rc;
    if (size > capacity) return BookBadArgument;
    if (!seekExact(*reader.io, reader.stream, offset)) return BookIoFailed;
    if (!readExact(*reader.io, reader.stream, buffer, size)) return BookIoFailed;
    length = size;
    return BookOk;
}

int32_t bookChunkLength(const BookReader& reader, int32_t chunk) {
    if (chunk < 0 || chunk >= reader.chunkCount) return -1;
    const int64_t rest = static_cast<int64_t>(reader.recordZero.textLength) -
                         static_cast<int64_t>(chunk) * kBookChunkSize;
    return rest < kBookChunkSize ? static_cast<int32_t>(rest) : kBookChunkSize;
}

// Makes the code table of `group` the decoded one.
static int32_t loadGroup(BookReader& reader, int32_t group) {
    if (reader.loadedGroup == group) return BookOk;
    reader.loadedGroup = -1;
    int32_t kind = 0, words = 0;
    int32_t rc = loadTextRecord(reader, codeTableRecordIndex(reader, group), kind, words);
    if (rc != BookOk) return rc;
    if (kind != KindCodeTable || words == 0 || words > kMaxPayloadWords) return BookBadRecordHeader;
    rc = decodeCodeTable(*reader.work, reader.work->record + kRecordHeaderSize, words,
                         reader.loadedTableBits);
    if (rc == BookOk) reader.loadedGroup = group;
    return rc;
}

int32_t bookReadChunk(BookReader& reader, int32_t chunk, uint8_t* out, int32_t capacity,
                      int32_t& length, BookChunkInfo* info) {
    if (reader.work == nullptr) return BookBadArgument;
    const int32_t expected = bookChunkLength(reader, chunk);
    if (expected < 0 || capacity < expected) return BookBadArgument;
    const int32_t group = chunk / reader.recordZero.groupSize;
    int32_t rc = loadGroup(reader, group);
    if (rc != BookOk) return rc;

    const int32_t record = chunkRecordIndex(reader, chunk);
    int32_t kind = 0, words = 0;
    rc = loadTextRecord(reader, record, kind, words);
    if (rc != BookOk) return rc;
    if (words > kMaxPayloadWords) return BookBadRecordHeader;
    const uint8_t* payload = reader.work->record + kRecordHeaderSize;
    int32_t chunkBits = 0;
    if (kind == KindCodedChunk) {
        rc = decodeChunk(*reader.work, payload, words, out, expected, chunkBits);
        if (rc != BookOk) return rc;
    } else if (kind >= KindStored && kind <= KindStored + 3) {
        const int32_t pad = kind - KindStored;
        if (4 * words - pad != expected) return BookBadRecordHeader;
        for (int32_t i = expected; i < 4 * words; ++i)
            if (payload[i] != 0) return BookBadChunk;
        std::memcpy(out, payload, static_cast<size_t>(expected));
    } else {
        return BookBadRecordHeader;
    }
    length = expected;
    if (info != nullptr)
        *info = BookChunkInfo{record, kind, codeTableRecordIndex(reader, group),
                              reader.loadedTableBits, chunkBits};
    return BookOk;
}

int32_t bookReadText(BookReader& reader, uint32_t output) {
    if (reader.work == nullptr) return BookBadArgument;
    for (int32_t chunk = 0; chunk < reader.chunkCount; ++chunk) {
        int32_t length = 0;
        const int32_t rc = bookReadChunk(reader, chunk, reader.work->text, kBookChunkSize, length, nullptr);
        if (rc != BookOk) return rc;
        if (!writeExact(*reader.io, output, reader.work->text, length)) return BookIoFailed;
    }
    return BookOk;
}

int32_t bookDocumentRun(const BookReader& reader, int32_t kind, int32_t& first, int32_t& count) {
    const DocumentHeaderRecord& r = reader.recordZero;
    switch (kind) {
        case DocumentFormat: first = r.formatFirst; count = r.formatCount; return BookOk;
        case DocumentLink: first = r.linkFirst; count = r.linkCount; return BookOk;
        case DocumentRule: first = r.ruleFirst; count = r.ruleCount; return BookOk;
        case DocumentBoundary: first = r.boundaryFirst; count = r.boundaryCount; return BookOk;
        default: return BookBadArgument;
    }
}

// Reads record `n` of the run of `kind` into the work buffer; `length` gets its size.
static int32_t loadDocumentRecord(BookReader& reader, int32_t kind, int32_t n, int32_t& length) {
    if (reader.work == nullptr) return BookBadArgument;
    int32_t first = 0, count = 0;
    const int32_t rc = bookDocumentRun(reader, kind, first, count);
    if (rc != BookOk) return rc;
    if (n < 0 || n >= count) return BookBadArgument;
    const int32_t read = bookReadRecord(reader, first + n, reader.work->record, kRecordBufferSize, length);
    // Every kind of document record is smaller than the buffer of a text record.
    return read == BookBadArgument ? BookBadDocumentRecord : read;
}

template <typename Decoded>
static int32_t readDocumentRecord(BookReader& reader, int32_t kind, int32_t n, Decoded& out,
                                  bool (*decode)(const uint8_t*, int32_t, Decoded&)) {
    int32_t length = 0;
    const int32_t rc = loadDocumentRecord(reader, kind, n, length);
    if (rc != BookOk) return rc;
    return decode(reader.work->record, length, out) ? BookOk : BookBadDocumentRecord;
}

int32_t bookReadFormatRecord(BookReader& reader, int32_t n, DecodedFormatRecord& out) {
    return readDocumentRecord(reader, DocumentFormat, n, out, &decodeFormatRecord);
}

int32_t bookReadLinkRecord(BookReader& reader, int32_t n, DecodedLinkRecord& out) {
    return readDocumentRecord(reader, DocumentLink, n, out, &decodeLinkRecord);
}

int32_t bookReadRuleRecord(BookReader& reader, int32_t n, DecodedRuleRecord& out) {
    return readDocumentRecord(reader, DocumentRule, n, out, &decodeRuleRecord);
}

int32_t bookReadBoundaryRecord(BookReader& reader, int32_t n, DecodedBoundaryRecord& out) {
    return readDocumentRecord(reader, DocumentBoundary, n, out, &decodeBoundaryRecord);
}

const char* bookResultName(int32_t result) {
    static const char* const kNames[] = {
        "BookOk",           "BookIoFailed",        "BookNoMemory",     "BookNotEbook",
        "BookBadHeader",    "BookBadRecordList",   "BookBadRecordZero", "BookBadRecordHeader",
        "BookBadCodeTable", "BookBadChunk",        "BookBadArgument",  "BookBadDocumentRecord",
    };
    if (result < 0 || result > BookBadDocumentRecord) return "unknown book result";
    return kNames[result];
}
