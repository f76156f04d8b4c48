// frontend/zip_archive.h -- reads zip archives from strangers (EPUB books) through an
// IoOps table: the central directory once, then any entry inflated on demand through
// fixed buffers with zlib. Everything a hostile archive could use against the reader is
// refused with a ZipFault before any of the entry's bytes are trusted: names that leave
// the archive's folder, encryption, unknown methods, sizes that disagree, data that runs
// into another entry's, expansion beyond kMaxZipRatio, and sizes or offsets that IoOps'
// 32-bit positions cannot reach.
//
// The reader borrows the archive's stream and the output streams; it opens and closes
// none of them, allocates no IoOps blocks, and leaves the archive stream's position
// anywhere. An archive whose size the stream cannot tell (beyond 2 GB) is ReadFailed. Only archives in one file are read: one
// split across several is refused as CutDirectory (with ZipProblem::spansFiles set).
// Deciding what the entries mean (the EPUB package) is left to the caller.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "engine/io_ops.h"

inline constexpr size_t kMaxZipEntries = 10000;
inline constexpr uint32_t kMaxZipRatio = 100;            // uncompressed : compressed
inline constexpr uint32_t kZipRatioFloor = 1024 * 1024;  // smaller entries (and wholes) cannot be bombs
inline constexpr size_t kMaxZipNameBytes = 1023;

enum class ZipFault : int32_t {
    None = 0,
    NotZip,            // no zip signature at the start and no end-of-central-directory record
    CutDirectory,      // starts like a zip, but the end record is missing, or the central directory is cut or lies outside the file, or a local header is cut
    TooManyEntries,    // more than kMaxZipEntries
    UnsafeName,        // empty, longer than kMaxZipNameBytes, a zero byte, absolute ("/x", "\\x", "C:..."), or a ".." segment (either separator)
    Encrypted,         // general-purpose flag bit 0 (or bit 6, strong encryption)
    UnsupportedMethod, // not stored (0) or deflated (8)
    SizeMismatch,      // local header disagrees with the central directory (sizes, CRC-32, method or name), the data is cut, inflating gives more or fewer bytes than declared, a CRC-32 differs, or the deflate stream is corrupt
    RatioTooHigh,      // an entry, or the whole archive, expands more than kMaxZipRatio:1 (only above kZipRatioFloor uncompressed bytes)
    TooLarge,          // an archive, size or offset beyond what IoOps' 32-bit signed positions address
    ReadFailed,        // a seek or read of the archive failed (or zlib found no memory)
    WriteFailed,       // writing the output stream failed
    Overlapping,       // an entry's header or data lies inside another entry's (the overlapping-files bomb)
};

struct ZipEntry {
    std::string name;          // bytes as stored (EPUB names are UTF-8)
    uint16_t method = 0;
    uint16_t flags = 0;
    uint32_t crc32 = 0;
    uint32_t compressedSize = 0;
    uint32_t uncompressedSize = 0;
    uint32_t localHeaderOffset = 0;
    // Where the next entry's local header, or the central directory, begins: the entry's
    // header, data and data descriptor must end by then.
    uint32_t spanEnd = 0;
};

struct ZipProblem {
    ZipFault fault = ZipFault::None;
    std::string entry;  // the entry concerned, when there is one (a name too long: its first bytes)
    bool spansFiles = false;  // CutDirectory because the archive is split across several files
};

struct ZipArchive {
    IoOps io{};                   // borrowed; the archive's stream is read through it
    uint32_t stream = 0;          // borrowed; the caller opened it and closes it
    int32_t archiveSize = 0;
    std::vector<ZipEntry> entries;   // in central-directory order
    std::unordered_map<std::string, size_t> byName;  // first entry of each name
};

// Quick sniff of a file's first bytes: a local header "PK\3\4" (or the empty archive "PK\5\6").
bool looksLikeZip(const uint8_t* bytes, int32_t length);

// Reads and checks the whole central directory of the archive on `stream` (fills `archive`):
// entry count, names, encryption flags, methods, the declared sizes against the archive's
// size and against the ratio rule per entry and for the whole, and that no two entries'
// spans overlap. False with `problem` set on the first fault; `archive` is then left
// without entries. Bounded memory: the directory is read in fixed-size pieces.
bool readZipDirectory(ZipArchive& archive, const IoOps& io, uint32_t stream, ZipProblem& problem);

// The entry named exactly `name`, or nullptr.
const ZipEntry* findZipEntry(const ZipArchive& archive, std::string_view name);

// Writes the entry's uncompressed bytes to `outStream` of `out` (at its current position),
// inflating through fixed buffers (never the whole entry in memory). Checks the local
// header against the directory, never writes more than the declared size, and checks the
// size and the CRC-32 at the end. False with `problem` set (problem.entry = the name); what
// was written by then stays in the stream, for the caller to discard.
bool extractZipEntry(const ZipArchive& archive, const ZipEntry& entry, const IoOps& out,
                     uint32_t outStream, ZipProblem& problem);

// The entry's bytes into `text` when its declared size is at most `maxBytes`; otherwise
// false with TooLarge. Same checks as extractZipEntry; `text` is cleared on failure. For
// the small XML documents of a package (container, package, navigation).
bool readZipEntry(const ZipArchive& archive, const ZipEntry& entry, size_t maxBytes,
                  std::string& text, ZipProblem& problem);

// A clear English reason, naming the entry where there is one, for a message such as
// "book.epub: <reason>": "it is not a zip archive", "the entry \"a.xhtml\" is encrypted",
// ... Control characters of a name are shown escaped and long names shortened.
std::string describeZipProblem(const ZipProblem& problem);
