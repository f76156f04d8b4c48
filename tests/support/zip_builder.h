// tests/support/zip_builder.h -- writes zip archives for tests: sound ones, and ones with
// exactly the lie a test needs (a method, size, CRC-32 or flag the data does not have).
// Deflating uses zlib, so the archives do not depend on the reader under test.
#pragma once
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <utility>
#include <vector>

struct ZipBuildEntry {
    std::string name;
    std::string data;
    bool deflate = true;                        // false: stored
    uint16_t extraFlags = 0;                    // ORed into both headers' flags (1 = encrypted)
    std::optional<uint16_t> method = std::nullopt;             // written instead of the real method
    std::optional<uint32_t> declaredSize = std::nullopt;       // uncompressed size written in both headers
    std::optional<uint32_t> localDeclaredSize = std::nullopt;  // only in the local header
    std::optional<uint32_t> crc = std::nullopt;                // written instead of the real CRC-32
    // Flag bit 3: zeros in the local header's CRC-32 and sizes, a data descriptor after
    // the data (the directory holds the values).
    bool dataDescriptor = false;
    // Sizes (and in the directory the offset) in ZIP64 extra fields, 0xFFFFFFFF in the headers.
    bool zip64 = false;
};

struct ZipBuildOptions {
    // A ZIP64 end record and its locator before the end record, whose counts, size and
    // offset then hold their placeholders.
    bool zip64End = false;
    std::string comment;  // the archive's comment, after the end record
};

// A whole zip archive, entries in the given order, central directory after them.
std::string buildZip(const std::vector<ZipBuildEntry>& entries);
std::string buildZip(const std::vector<ZipBuildEntry>& entries, const ZipBuildOptions& options);
// Convenience for sound archives: `mimetype` first and stored when present, the rest deflated.
std::string buildZip(const std::vector<std::pair<std::string, std::string>>& files);
// The same for a braced list of {name, data} pairs, which would otherwise convert to
// either vector above.
std::string buildZip(std::initializer_list<std::pair<std::string, std::string>> files);

// Raw deflate (no zlib header) of `data` at the best compression.
std::string rawDeflate(const std::string& data);
