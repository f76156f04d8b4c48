// frontend/zip_archive.cpp -- see zip_archive.h. The directory is trusted only after every
// entry's span (header, data, descriptor) is shown to lie inside the file and apart from
// every other span; an entry's bytes are trusted only after its local header agrees with
// the directory and its inflated size and CRC-32 match.
#include "frontend/zip_archive.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <limits>

#include "engine/checked_io.h"

namespace {

// Signatures, as the little-endian numbers the format stores.
constexpr uint32_t kLocalSignature = 0x04034b50;         // "PK\3\4"
constexpr uint32_t kCentralSignature = 0x02014b50;       // "PK\1\2"
constexpr uint32_t kEndSignature = 0x06054b50;           // "PK\5\6"
constexpr uint32_t kZip64EndSignature = 0x06064b50;      // "PK\6\6"
constexpr uint32_t kZip64LocatorSignature = 0x07064b50;  // "PK\6\7"

// signature 4, version needed 2, flags 2, method 2, time 2, date 2, CRC-32 4,
// compressed size 4, uncompressed size 4, name length 2, extra length 2
constexpr int32_t kLocalHeaderBytes = 30;
// signature 4, version made by 2, then the local header's fields from version needed to
// extra length (26), comment length 2, first disk 2, internal attributes 2, external
// attributes 4, local header offset 4
constexpr int32_t kCentralHeaderBytes = 46;
// signature 4, this disk 2, the directory's disk 2, entries on this disk 2, entries 2,
// directory size 4, directory offset 4, comment length 2
constexpr int32_t kEndBytes = 22;
constexpr int32_t kMaxCommentBytes = 65535;
// signature 4, the ZIP64 end record's disk 4, its offset 8, number of disks 4
constexpr int32_t kZip64LocatorBytes = 20;
// signature 4, record size 8, versions 2 + 2, this disk 4, the directory's disk 4,
// entries on this disk 8, entries 8, directory size 8, directory offset 8
constexpr int32_t kZip64EndBytes = 56;

constexpr uint16_t kFlagEncrypted = 0x0001;
constexpr uint16_t kFlagDataDescriptor = 0x0008;  // CRC-32 and sizes follow the data
constexpr uint16_t kFlagStrongEncryption = 0x0040;
constexpr uint16_t kMethodStored = 0;
constexpr uint16_t kMethodDeflated = 8;
constexpr uint16_t kZip64ExtraId = 0x0001;
// A 32-bit field holding this says its value is in the ZIP64 extra field.
constexpr uint32_t kZip64Placeholder = 0xFFFFFFFF;
constexpr uint16_t kZip64DiskPlaceholder = 0xFFFF;

// The archive is read, and entries inflated, through buffers of this size.
constexpr int32_t kPieceBytes = 32768;
// The largest position IoOps can answer.
constexpr int64_t kMaxPosition = std::numeric_limits<int32_t>::max();

uint16_t le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
uint32_t le32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}
uint64_t le64(const uint8_t* p) { return le32(p) | static_cast<uint64_t>(le32(p + 4)) << 32; }

bool fail(ZipProblem& problem, ZipFault fault, const std::string& entry = std::string()) {
    problem.fault = fault;
    problem.entry = entry;
    return false;
}

bool failSplit(ZipProblem& problem) {
    problem.spansFiles = true;
    return fail(problem, ZipFault::CutDirectory);
}

bool readAt(const IoOps& io, uint32_t stream, int64_t position, void* buffer, int32_t length) {
    return position >= 0 && position <= kMaxPosition &&
           seekExact(io, stream, static_cast<int32_t>(position)) &&
           readExact(io, stream, buffer, length);
}

// Sequential reads of [start, end) of the archive through one fixed buffer. Reading past
// `end` is CutDirectory; a read the stream refuses is ReadFailed.
class PieceReader {
public:
    PieceReader(const IoOps& io, uint32_t stream, int64_t start, int64_t end)
        : io_(io), stream_(stream), next_(start), end_(end), buffer_(kPieceBytes) {}

    // Copies the next `count` bytes to `out`, or skips them when `out` is null.
    bool take(void* out, int64_t count) {
        auto* to = static_cast<uint8_t*>(out);
        while (count > 0) {
            if (begin_ == filled_ && !refill()) return false;
            const int32_t length = static_cast<int32_t>(std::min<int64_t>(count, filled_ - begin_));
            if (to != nullptr) {
                std::memcpy(to, buffer_.data() + begin_, static_cast<size_t>(length));
                to += length;
            }
            begin_ += length;
            count -= length;
        }
        return true;
    }
    ZipFault fault() const { return fault_; }

private:
    bool refill() {
        if (next_ >= end_) {
            fault_ = ZipFault::CutDirectory;
            return false;
        }
        const int32_t length = static_cast<int32_t>(std::min<int64_t>(kPieceBytes, end_ - next_));
        if (!readAt(io_, stream_, next_, buffer_.data(), length)) {
            fault_ = ZipFault::ReadFailed;
            return false;
        }
        next_ += length;
        begin_ = 0;
        filled_ = length;
        return true;
    }

    const IoOps& io_;
    uint32_t stream_;
    int64_t next_;  // the archive position of the byte after the buffer's last
    int64_t end_;
    std::vector<uint8_t> buffer_;
    int32_t begin_ = 0;
    int32_t filled_ = 0;
    ZipFault fault_ = ZipFault::None;
};

// Replaces each value that holds its placeholder by the next one of the ZIP64 extra field
// (id 1), in the format's order: uncompressed size, compressed size, header offset, disk.
// Values missing from the field keep their placeholder, which is then too large for IoOps.
void applyZip64Extra(const uint8_t* extra, size_t length, uint64_t& uncompressed, uint64_t& compressed,
                     uint64_t* offset, uint32_t* disk) {
    size_t at = 0;
    while (at + 4 <= length) {
        const uint16_t id = le16(extra + at);
        const size_t size = le16(extra + at + 2);
        if (at + 4 + size > length) return;  // a field running past the end: not there
        if (id == kZip64ExtraId) {
            const uint8_t* value = extra + at + 4;
            size_t left = size;
            auto next64 = [&](uint64_t& field) {
                if (field != kZip64Placeholder || left < 8) return;
                field = le64(value);
                value += 8;
                left -= 8;
            };
            next64(uncompressed);
            next64(compressed);
            if (offset != nullptr) next64(*offset);
            if (disk != nullptr && *disk == kZip64DiskPlaceholder && left >= 4) *disk = le32(value);
            return;
        }
        at += 4 + size;
    }
}

bool isAsciiLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// False for a name a caller could turn into a place outside the archive's own folder.
bool isSafeName(std::string_view name) {
    if (name.empty() || name.size() > kMaxZipNameBytes) return false;
    if (name.find('\0') != std::string_view::npos) return false;
    if (name[0] == '/' || name[0] == '\\') return false;
    if (name.size() >= 2 && name[1] == ':' && isAsciiLetter(name[0])) return false;
    size_t start = 0;
    while (start <= name.size()) {
        size_t end = name.find_first_of("/\\", start);
        if (end == std::string_view::npos) end = name.size();
        if (name.substr(start, end - start) == "..") return false;
        start = end + 1;
    }
    return true;
}

// Whether `uncompressed` bytes from `compressed` bytes look like a bomb.
bool expandsTooMuch(uint64_t uncompressed, uint64_t compressed) {
    return uncompressed > kZipRatioFloor && uncompressed > compressed * kMaxZipRatio;
}

// Where the end record sits, found as readers do: scanning back from the end over at most
// the longest comment. A record whose comment reaches exactly the end of the file wins
// over one followed by stray bytes, so a record-like pattern inside a comment is passed.
// -1 when there is none; -2 when the tail could not be read.
int64_t findEndRecord(const IoOps& io, uint32_t stream, int32_t archiveSize, uint16_t& commentBytes) {
    const int32_t tailBytes = std::min(archiveSize, kEndBytes + kMaxCommentBytes);
    if (tailBytes < kEndBytes) return -1;
    const int32_t tailStart = archiveSize - tailBytes;
    std::vector<uint8_t> tail(static_cast<size_t>(tailBytes));
    if (!readAt(io, stream, tailStart, tail.data(), tailBytes)) return -2;
    int64_t fitting = -1;
    for (int32_t at = tailBytes - kEndBytes; at >= 0; --at) {
        if (le32(tail.data() + at) != kEndSignature) continue;
        const uint16_t comment = le16(tail.data() + at + 20);
        const int64_t end = static_cast<int64_t>(tailStart) + at + kEndBytes + comment;
        if (end == archiveSize) {
            commentBytes = comment;
            return tailStart + at;
        }
        if (end < archiveSize && fitting < 0) {
            fitting = tailStart + at;
            commentBytes = comment;
        }
    }
    return fitting;
}

// What the end records say about the central directory.
struct DirectoryPlace {
    uint64_t entryCount = 0;
    uint64_t size = 0;
    uint64_t offset = 0;
    int64_t limit = 0;  // where the end records begin: the directory must end by then
};

bool readEndRecords(const IoOps& io, uint32_t stream, int32_t archiveSize, bool startsLikeZip,
                    DirectoryPlace& place, ZipProblem& problem) {
    uint16_t commentBytes = 0;
    const int64_t endAt = findEndRecord(io, stream, archiveSize, commentBytes);
    if (endAt == -2) return fail(problem, ZipFault::ReadFailed);
    if (endAt < 0) return fail(problem, startsLikeZip ? ZipFault::CutDirectory : ZipFault::NotZip);
    uint8_t end[kEndBytes];
    if (!readAt(io, stream, endAt, end, kEndBytes)) return fail(problem, ZipFault::ReadFailed);
    place.entryCount = le16(end + 10);
    place.size = le32(end + 12);
    place.offset = le32(end + 16);
    place.limit = endAt;

    uint8_t locator[kZip64LocatorBytes] = {};
    if (endAt >= kZip64LocatorBytes &&
        !readAt(io, stream, endAt - kZip64LocatorBytes, locator, kZip64LocatorBytes))
        return fail(problem, ZipFault::ReadFailed);
    const bool zip64 = le32(locator) == kZip64LocatorSignature;
    if (!zip64) {
        if (le16(end + 4) != 0 || le16(end + 6) != 0) return failSplit(problem);
        return true;
    }
    // Disk numbers count from 0; some writers give the number of disks as 0 for one.
    if (le32(locator + 4) != 0 || le32(locator + 16) > 1) return failSplit(problem);
    const uint64_t recordAt = le64(locator + 8);
    const int64_t locatorAt = endAt - kZip64LocatorBytes;
    if (recordAt > static_cast<uint64_t>(kMaxPosition)) return fail(problem, ZipFault::TooLarge);
    if (static_cast<int64_t>(recordAt) + kZip64EndBytes > locatorAt)
        return fail(problem, ZipFault::CutDirectory);
    uint8_t record[kZip64EndBytes];
    if (!readAt(io, stream, static_cast<int64_t>(recordAt), record, kZip64EndBytes))
        return fail(problem, ZipFault::ReadFailed);
    if (le32(record) != kZip64EndSignature) return fail(problem, ZipFault::CutDirectory);
    if (le32(record + 16) != 0 || le32(record + 20) != 0) return failSplit(problem);
    place.entryCount = le64(record + 32);
    place.size = le64(record + 40);
    place.offset = le64(record + 48);
    place.limit = static_cast<int64_t>(recordAt);
    return true;
}

// Reads one central header and what follows it into `entry`, with every check that needs
// no other entry.
bool readCentralHeader(PieceReader& reader, std::vector<uint8_t>& extra, ZipEntry& entry,
                       uint64_t& compressed, uint64_t& uncompressed, ZipProblem& problem) {
    uint8_t header[kCentralHeaderBytes];
    if (!reader.take(header, kCentralHeaderBytes)) return fail(problem, reader.fault());
    if (le32(header) != kCentralSignature) return fail(problem, ZipFault::CutDirectory);
    entry.flags = le16(header + 8);
    entry.method = le16(header + 10);
    entry.crc32 = le32(header + 16);
    compressed = le32(header + 20);
    uncompressed = le32(header + 24);
    const uint16_t nameBytes = le16(header + 28);
    const uint16_t extraBytes = le16(header + 30);
    const uint16_t commentBytes = le16(header + 32);
    uint32_t disk = le16(header + 34);
    uint64_t offset = le32(header + 42);

    // A name too long is kept to its first bytes, enough to show which one it was.
    entry.name.assign(std::min<size_t>(nameBytes, kMaxZipNameBytes + 1), '\0');
    if (!reader.take(entry.name.data(), static_cast<int64_t>(entry.name.size())) ||
        !reader.take(nullptr, nameBytes - static_cast<int64_t>(entry.name.size())))
        return fail(problem, reader.fault());
    extra.resize(extraBytes);
    if (!reader.take(extra.data(), extraBytes) || !reader.take(nullptr, commentBytes))
        return fail(problem, reader.fault());

    if (!isSafeName(entry.name)) return fail(problem, ZipFault::UnsafeName, entry.name);
    if ((entry.flags & (kFlagEncrypted | kFlagStrongEncryption)) != 0)
        return fail(problem, ZipFault::Encrypted, entry.name);
    if (entry.method != kMethodStored && entry.method != kMethodDeflated)
        return fail(problem, ZipFault::UnsupportedMethod, entry.name);
    applyZip64Extra(extra.data(), extra.size(), uncompressed, compressed, &offset, &disk);
    if (disk != 0) return failSplit(problem);
    if (compressed > static_cast<uint64_t>(kMaxPosition) || uncompressed > static_cast<uint64_t>(kMaxPosition) ||
        offset > static_cast<uint64_t>(kMaxPosition))
        return fail(problem, ZipFault::TooLarge, entry.name);
    entry.compressedSize = static_cast<uint32_t>(compressed);
    entry.uncompressedSize = static_cast<uint32_t>(uncompressed);
    entry.localHeaderOffset = static_cast<uint32_t>(offset);
    if (entry.method == kMethodStored && compressed != uncompressed)
        return fail(problem, ZipFault::SizeMismatch, entry.name);
    if (expandsTooMuch(uncompressed, compressed)) return fail(problem, ZipFault::RatioTooHigh, entry.name);
    return true;
}

// The least an entry occupies from its local header on: the header, its name (the local
// name must be the central one) and its data.
int64_t leastSpanEnd(const ZipEntry& entry) {
    return static_cast<int64_t>(entry.localHeaderOffset) + kLocalHeaderBytes +
           static_cast<int64_t>(entry.name.size()) + entry.compressedSize;
}

// Gives each entry its span's end and refuses spans that lie outside the entry area
// [0, directoryOffset) or inside each other.
bool placeSpans(std::vector<ZipEntry>& entries, int64_t directoryOffset, ZipProblem& problem) {
    std::vector<size_t> order(entries.size());
    for (size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::sort(order.begin(), order.end(), [&](size_t a, size_t b) {
        return entries[a].localHeaderOffset < entries[b].localHeaderOffset;
    });
    for (size_t k = 0; k < order.size(); ++k) {
        ZipEntry& entry = entries[order[k]];
        const bool last = k + 1 == order.size();
        const int64_t next = last ? directoryOffset : entries[order[k + 1]].localHeaderOffset;
        if (static_cast<int64_t>(entry.localHeaderOffset) + kLocalHeaderBytes > directoryOffset)
            return fail(problem, ZipFault::CutDirectory, entry.name);
        if (leastSpanEnd(entry) > directoryOffset) return fail(problem, ZipFault::SizeMismatch, entry.name);
        if (leastSpanEnd(entry) > next) return fail(problem, ZipFault::Overlapping, entry.name);
        entry.spanEnd = static_cast<uint32_t>(next);
    }
    return true;
}

// Where inflated bytes go: an IoOps stream or a string.
struct Sink {
    bool (*write)(void* context, const uint8_t* bytes, int32_t length);
    void* context;
};

struct StreamTarget {
    const IoOps* io;
    uint32_t stream;
};

bool writeToStream(void* context, const uint8_t* bytes, int32_t length) {
    const auto& target = *static_cast<StreamTarget*>(context);
    return writeExact(*target.io, target.stream, bytes, length);
}

bool appendToString(void* context, const uint8_t* bytes, int32_t length) {
    static_cast<std::string*>(context)->append(reinterpret_cast<const char*>(bytes), static_cast<size_t>(length));
    return true;
}

// Reads the entry's local header and checks it against the directory; on success the
// stream stands at the entry's data.
bool checkLocalHeader(const ZipArchive& archive, const ZipEntry& entry, ZipProblem& problem) {
    const IoOps& io = archive.io;
    const int64_t headerAt = entry.localHeaderOffset;
    if (headerAt + kLocalHeaderBytes > archive.archiveSize) return fail(problem, ZipFault::CutDirectory, entry.name);
    if (headerAt + kLocalHeaderBytes > entry.spanEnd) return fail(problem, ZipFault::Overlapping, entry.name);
    uint8_t header[kLocalHeaderBytes];
    if (!readAt(io, archive.stream, headerAt, header, kLocalHeaderBytes))
        return fail(problem, ZipFault::ReadFailed, entry.name);
    if (le32(header) != kLocalSignature) return fail(problem, ZipFault::SizeMismatch, entry.name);
    const uint16_t flags = le16(header + 6);
    const uint16_t method = le16(header + 8);
    const uint32_t crc = le32(header + 14);
    uint64_t compressed = le32(header + 18);
    uint64_t uncompressed = le32(header + 22);
    const uint16_t nameBytes = le16(header + 26);
    const uint16_t extraBytes = le16(header + 28);
    if ((flags & (kFlagEncrypted | kFlagStrongEncryption)) != 0) return fail(problem, ZipFault::Encrypted, entry.name);

    const int64_t dataAt = headerAt + kLocalHeaderBytes + nameBytes + extraBytes;
    if (dataAt > archive.archiveSize) return fail(problem, ZipFault::CutDirectory, entry.name);
    if (dataAt > entry.spanEnd) return fail(problem, ZipFault::Overlapping, entry.name);
    if (dataAt + entry.compressedSize > archive.archiveSize) return fail(problem, ZipFault::SizeMismatch, entry.name);
    if (dataAt + entry.compressedSize > entry.spanEnd) return fail(problem, ZipFault::Overlapping, entry.name);
    if (method != entry.method || nameBytes != entry.name.size())
        return fail(problem, ZipFault::SizeMismatch, entry.name);
    char name[kMaxZipNameBytes];
    if (!readExact(io, archive.stream, name, nameBytes)) return fail(problem, ZipFault::ReadFailed, entry.name);
    if (std::memcmp(name, entry.name.data(), nameBytes) != 0) return fail(problem, ZipFault::SizeMismatch, entry.name);
    if ((compressed == kZip64Placeholder || uncompressed == kZip64Placeholder) && extraBytes > 0) {
        std::vector<uint8_t> extra(extraBytes);
        if (!readExact(io, archive.stream, extra.data(), extraBytes))
            return fail(problem, ZipFault::ReadFailed, entry.name);
        applyZip64Extra(extra.data(), extra.size(), uncompressed, compressed, nullptr, nullptr);
    }
    // With a data descriptor the local header may hold zeros where the values would be.
    const bool described = ((flags | entry.flags) & kFlagDataDescriptor) != 0;
    auto agrees = [described](uint64_t local, uint32_t central) {
        return local == central || (described && local == 0);
    };
    if (!agrees(crc, entry.crc32) || !agrees(compressed, entry.compressedSize) ||
        !agrees(uncompressed, entry.uncompressedSize))
        return fail(problem, ZipFault::SizeMismatch, entry.name);
    if (!seekExact(io, archive.stream, static_cast<int32_t>(dataAt))) return fail(problem, ZipFault::ReadFailed, entry.name);
    return true;
}

bool copyStored(const ZipArchive& archive, const ZipEntry& entry, const Sink& sink, uint8_t* buffer,
                uint32_t& crc, ZipProblem& problem) {
    if (entry.compressedSize != entry.uncompressedSize) return fail(problem, ZipFault::SizeMismatch, entry.name);
    for (uint32_t done = 0; done < entry.compressedSize;) {
        const int32_t length = static_cast<int32_t>(std::min<uint32_t>(kPieceBytes, entry.compressedSize - done));
        if (!readExact(archive.io, archive.stream, buffer, length)) return fail(problem, ZipFault::ReadFailed, entry.name);
        crc = static_cast<uint32_t>(::crc32(crc, buffer, static_cast<uInt>(length)));
        if (!sink.write(sink.context, buffer, length)) return fail(problem, ZipFault::WriteFailed, entry.name);
        done += static_cast<uint32_t>(length);
    }
    return true;
}

// Inflates exactly the entry's compressed bytes; refuses output beyond the declared size
// before writing it, a stream that ends early or late, and any corrupt stream.
bool inflateEntry(const ZipArchive& archive, const ZipEntry& entry, const Sink& sink, uint8_t* input,
                  uint8_t* output, uint32_t& crc, ZipProblem& problem) {
    z_stream inflater{};
    if (inflateInit2(&inflater, -MAX_WBITS) != Z_OK) return fail(problem, ZipFault::ReadFailed, entry.name);
    ZipFault fault = ZipFault::None;
    uint32_t inputLeft = entry.compressedSize;
    uint32_t outputLeft = entry.uncompressedSize;
    bool ended = false;
    while (fault == ZipFault::None && !ended) {
        if (inflater.avail_in == 0 && inputLeft > 0) {
            const int32_t length = static_cast<int32_t>(std::min<uint32_t>(kPieceBytes, inputLeft));
            if (!readExact(archive.io, archive.stream, input, length)) {
                fault = ZipFault::ReadFailed;
                break;
            }
            inflater.next_in = input;
            inflater.avail_in = static_cast<uInt>(length);
            inputLeft -= static_cast<uint32_t>(length);
        }
        inflater.next_out = output;
        inflater.avail_out = kPieceBytes;
        const int rc = inflate(&inflater, Z_NO_FLUSH);
        const uint32_t produced = kPieceBytes - inflater.avail_out;
        if (rc == Z_MEM_ERROR) {
            fault = ZipFault::ReadFailed;
        } else if (rc != Z_OK && rc != Z_STREAM_END) {
            // Z_BUF_ERROR here means the input ran out before the stream's end.
            fault = ZipFault::SizeMismatch;
        } else if (produced > outputLeft) {
            fault = ZipFault::SizeMismatch;
        } else {
            crc = static_cast<uint32_t>(::crc32(crc, output, produced));
            if (produced > 0 && !sink.write(sink.context, output, static_cast<int32_t>(produced)))
                fault = ZipFault::WriteFailed;
            outputLeft -= produced;
            ended = rc == Z_STREAM_END;
        }
    }
    // Compressed bytes left after the stream's end mean the declared size is wrong.
    if (fault == ZipFault::None && (inflater.avail_in != 0 || inputLeft != 0 || outputLeft != 0))
        fault = ZipFault::SizeMismatch;
    inflateEnd(&inflater);
    return fault == ZipFault::None || fail(problem, fault, entry.name);
}

bool extractInto(const ZipArchive& archive, const ZipEntry& entry, const Sink& sink, ZipProblem& problem) {
    problem = ZipProblem{};
    if (entry.method != kMethodStored && entry.method != kMethodDeflated)
        return fail(problem, ZipFault::UnsupportedMethod, entry.name);
    if (entry.name.size() > kMaxZipNameBytes) return fail(problem, ZipFault::UnsafeName, entry.name);
    if (!checkLocalHeader(archive, entry, problem)) return false;
    std::vector<uint8_t> buffers(2 * static_cast<size_t>(kPieceBytes));
    uint32_t crc = static_cast<uint32_t>(::crc32(0, Z_NULL, 0));
    const bool copied = entry.method == kMethodStored
                            ? copyStored(archive, entry, sink, buffers.data(), crc, problem)
                            : inflateEntry(archive, entry, sink, buffers.data(), buffers.data() + kPieceBytes,
                                           crc, problem);
    if (!copied) return false;
    if (crc != entry.crc32) return fail(problem, ZipFault::SizeMismatch, entry.name);
    return true;
}

// `value` with a comma between each group of three digits: 10000 as "10,000".
std::string withThousands(uint64_t value) {
    std::string digits = std::to_string(value);
    for (size_t at = digits.size(); at > 3; at -= 3) digits.insert(at - 3, ",");
    return digits;
}

// The name in double quotes, fit for a message: control characters escaped (a name from a
// stranger could otherwise move the terminal's cursor), long names cut at a character's start.
std::string quoted(const std::string& name) {
    constexpr size_t kShownBytes = 80;
    std::string shown = "\"";
    for (size_t at = 0; at < name.size(); ++at) {
        const auto byte = static_cast<uint8_t>(name[at]);
        if (at >= kShownBytes && (byte & 0xC0) != 0x80) {
            shown += "...";
            break;
        }
        if (byte < 0x20 || byte == 0x7F) {
            static const char kHex[] = "0123456789ABCDEF";
            shown += "\\x";
            shown += kHex[byte >> 4];
            shown += kHex[byte & 15];
        } else {
            shown += static_cast<char>(byte);
        }
    }
    return shown + "\"";
}

}  // namespace

bool looksLikeZip(const uint8_t* bytes, int32_t length) {
    return bytes != nullptr && length >= 4 &&
           (le32(bytes) == kLocalSignature || le32(bytes) == kEndSignature);
}

bool readZipDirectory(ZipArchive& archive, const IoOps& io, uint32_t stream, ZipProblem& problem) {
    problem = ZipProblem{};
    archive.io = io;
    archive.stream = stream;
    archive.archiveSize = 0;
    archive.entries.clear();
    archive.byName.clear();

    const int32_t archiveSize = streamSize(io, stream);
    if (archiveSize < 0) return fail(problem, ZipFault::ReadFailed);
    archive.archiveSize = archiveSize;
    uint8_t start[4] = {};
    if (archiveSize >= 4 && !readAt(io, stream, 0, start, 4)) return fail(problem, ZipFault::ReadFailed);
    const bool startsLikeZip = archiveSize >= 4 && le32(start) == kLocalSignature;

    DirectoryPlace place;
    if (!readEndRecords(io, stream, archiveSize, startsLikeZip, place, problem)) return false;
    if (place.entryCount > kMaxZipEntries) return fail(problem, ZipFault::TooManyEntries);
    if (place.offset > static_cast<uint64_t>(kMaxPosition) || place.size > static_cast<uint64_t>(kMaxPosition))
        return fail(problem, ZipFault::TooLarge);
    const auto directoryAt = static_cast<int64_t>(place.offset);
    const int64_t directoryEnd = directoryAt + static_cast<int64_t>(place.size);
    if (directoryEnd > place.limit || place.entryCount * kCentralHeaderBytes > place.size)
        return fail(problem, ZipFault::CutDirectory);

    std::vector<ZipEntry> entries(static_cast<size_t>(place.entryCount));
    PieceReader reader(io, stream, directoryAt, directoryEnd);
    std::vector<uint8_t> extra;
    uint64_t totalCompressed = 0;
    uint64_t totalUncompressed = 0;
    for (ZipEntry& entry : entries) {
        uint64_t compressed = 0;
        uint64_t uncompressed = 0;
        if (!readCentralHeader(reader, extra, entry, compressed, uncompressed, problem)) return false;
        totalCompressed += compressed;
        totalUncompressed += uncompressed;
    }
    if (expandsTooMuch(totalUncompressed, totalCompressed)) return fail(problem, ZipFault::RatioTooHigh);
    if (!placeSpans(entries, directoryAt, problem)) return false;

    archive.entries = std::move(entries);
    for (size_t i = 0; i < archive.entries.size(); ++i) archive.byName.emplace(archive.entries[i].name, i);
    return true;
}

const ZipEntry* findZipEntry(const ZipArchive& archive, std::string_view name) {
    const auto found = archive.byName.find(std::string(name));
    return found == archive.byName.end() ? nullptr : &archive.entries[found->second];
}

bool extractZipEntry(const ZipArchive& archive, const ZipEntry& entry, const IoOps& out, uint32_t outStream,
                     ZipProblem& problem) {
    StreamTarget target{&out, outStream};
    return extractInto(archive, entry, Sink{&writeToStream, &target}, problem);
}

bool readZipEntry(const ZipArchive& archive, const ZipEntry& entry, size_t maxBytes, std::string& text,
                  ZipProblem& problem) {
    text.clear();
    if (entry.uncompressedSize > maxBytes) {
        problem = ZipProblem{};
        return fail(problem, ZipFault::TooLarge, entry.name);
    }
    text.reserve(entry.uncompressedSize);
    if (extractInto(archive, entry, Sink{&appendToString, &text}, problem)) return true;
    text.clear();
    return false;
}

std::string describeZipProblem(const ZipProblem& problem) {
    const std::string entry = "the entry " + quoted(problem.entry);
    const bool named = !problem.entry.empty();
    switch (problem.fault) {
    case ZipFault::None:
        return "it is a sound zip archive";
    case ZipFault::NotZip:
        return "it is not a zip archive";
    case ZipFault::CutDirectory:
        if (problem.spansFiles) return "it is a zip archive split across several files, which cannot be read";
        return named ? entry + " has its header cut short or outside the file" : "its central directory is cut short";
    case ZipFault::TooManyEntries:
        return "it holds more than " + withThousands(kMaxZipEntries) + " entries";
    case ZipFault::UnsafeName:
        if (!named) return "an entry has an empty name";
        if (problem.entry.size() > kMaxZipNameBytes)
            return entry + " has a name longer than " + withThousands(kMaxZipNameBytes) + " bytes";
        if (problem.entry.find('\0') != std::string::npos) return entry + " has a zero byte in its name";
        return entry + " names a place outside the archive";
    case ZipFault::Encrypted:
        return entry + " is encrypted";
    case ZipFault::UnsupportedMethod:
        return entry + " is compressed with a method other than deflate";
    case ZipFault::SizeMismatch:
        return entry + " is not the size its header declares, or its data is damaged";
    case ZipFault::RatioTooHigh:
        return (named ? entry : std::string("it")) + " expands more than " + std::to_string(kMaxZipRatio) +
               " times (a zip bomb?)";
    case ZipFault::TooLarge:
        return named ? entry + " is too large" : "it is too large (2 GB or more)";
    case ZipFault::ReadFailed:
        return named ? entry + " could not be read" : "it could not be read";
    case ZipFault::WriteFailed:
        return entry + " could not be written out (is the disk full?)";
    case ZipFault::Overlapping:
        return entry + " overlaps another entry's data (a zip bomb?)";
    }
    return "it could not be read as a zip archive";
}
