// tests/support/zip_builder.cpp -- see zip_builder.h.
#include "tests/support/zip_builder.h"

#include <zlib.h>

#include <algorithm>

namespace {

void put16(std::string& out, uint32_t value) {
    out += static_cast<char>(value & 0xFF);
    out += static_cast<char>((value >> 8) & 0xFF);
}
void put32(std::string& out, uint32_t value) {
    put16(out, value & 0xFFFF);
    put16(out, value >> 16);
}
void put64(std::string& out, uint64_t value) {
    put32(out, static_cast<uint32_t>(value));
    put32(out, static_cast<uint32_t>(value >> 32));
}

constexpr uint32_t kPlaceholder = 0xFFFFFFFF;

}  // namespace

std::string rawDeflate(const std::string& data) {
    z_stream deflater{};
    deflateInit2(&deflater, Z_BEST_COMPRESSION, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
    std::string out(deflateBound(&deflater, static_cast<uLong>(data.size())), '\0');
    deflater.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    deflater.avail_in = static_cast<uInt>(data.size());
    deflater.next_out = reinterpret_cast<Bytef*>(out.data());
    deflater.avail_out = static_cast<uInt>(out.size());
    deflate(&deflater, Z_FINISH);
    out.resize(deflater.total_out);
    deflateEnd(&deflater);
    return out;
}

std::string buildZip(const std::vector<ZipBuildEntry>& entries) { return buildZip(entries, ZipBuildOptions{}); }

std::string buildZip(const std::vector<ZipBuildEntry>& entries, const ZipBuildOptions& options) {
    std::string archive;
    std::string directory;
    for (const ZipBuildEntry& entry : entries) {
        const std::string stored = entry.deflate ? rawDeflate(entry.data) : entry.data;
        const auto realCrc = static_cast<uint32_t>(
            crc32(0, reinterpret_cast<const Bytef*>(entry.data.data()), static_cast<uInt>(entry.data.size())));
        const uint32_t crc = entry.crc.value_or(realCrc);
        const uint16_t method = entry.method.value_or(entry.deflate ? 8 : 0);
        const uint16_t flags = static_cast<uint16_t>(entry.extraFlags | (entry.dataDescriptor ? 0x0008 : 0) |
                                                     0x0800);  // names are UTF-8
        const auto compressed = static_cast<uint32_t>(stored.size());
        const uint32_t declared = entry.declaredSize.value_or(static_cast<uint32_t>(entry.data.size()));
        const uint32_t localDeclared = entry.localDeclaredSize.value_or(declared);
        const auto offset = static_cast<uint32_t>(archive.size());

        // Local header: signature, version needed, flags, method, time, date, CRC-32,
        // sizes, name length, extra length; then name and extra.
        std::string localExtra;
        if (entry.zip64) {
            put16(localExtra, 0x0001);
            put16(localExtra, 16);
            put64(localExtra, localDeclared);
            put64(localExtra, compressed);
        }
        put32(archive, 0x04034b50);
        put16(archive, entry.zip64 ? 45 : 20);
        put16(archive, flags);
        put16(archive, method);
        put16(archive, 0x6000);  // 12:00
        put16(archive, 0x5A21);  // 2025-01-01
        put32(archive, entry.dataDescriptor ? 0 : crc);
        put32(archive, entry.dataDescriptor ? 0 : entry.zip64 ? kPlaceholder : compressed);
        put32(archive, entry.dataDescriptor ? 0 : entry.zip64 ? kPlaceholder : localDeclared);
        put16(archive, static_cast<uint32_t>(entry.name.size()));
        put16(archive, static_cast<uint32_t>(localExtra.size()));
        archive += entry.name;
        archive += localExtra;
        archive += stored;
        if (entry.dataDescriptor) {
            put32(archive, 0x08074b50);
            put32(archive, crc);
            if (entry.zip64) {
                put64(archive, compressed);
                put64(archive, declared);
            } else {
                put32(archive, compressed);
                put32(archive, declared);
            }
        }

        // Central header: signature, version made by, then as the local header, comment
        // length, disk, internal and external attributes, local header offset.
        std::string centralExtra;
        if (entry.zip64) {
            put16(centralExtra, 0x0001);
            put16(centralExtra, 24);
            put64(centralExtra, declared);
            put64(centralExtra, compressed);
            put64(centralExtra, offset);
        }
        put32(directory, 0x02014b50);
        put16(directory, 0x0314);  // Unix, 2.0
        put16(directory, entry.zip64 ? 45 : 20);
        put16(directory, flags);
        put16(directory, method);
        put16(directory, 0x6000);
        put16(directory, 0x5A21);
        put32(directory, crc);
        put32(directory, entry.zip64 ? kPlaceholder : compressed);
        put32(directory, entry.zip64 ? kPlaceholder : declared);
        put16(directory, static_cast<uint32_t>(entry.name.size()));
        put16(directory, static_cast<uint32_t>(centralExtra.size()));
        put16(directory, 0);
        put16(directory, 0);
        put16(directory, 0);
        put32(directory, 0100644u << 16);
        put32(directory, entry.zip64 ? kPlaceholder : offset);
        directory += entry.name;
        directory += centralExtra;
    }
    const auto directoryOffset = static_cast<uint32_t>(archive.size());
    const auto count = static_cast<uint32_t>(entries.size());
    archive += directory;
    if (options.zip64End) {
        const auto recordOffset = static_cast<uint64_t>(archive.size());
        // ZIP64 end record: signature, size of the rest (44), versions, disks, entry
        // counts, directory size and offset.
        put32(archive, 0x06064b50);
        put64(archive, 44);
        put16(archive, 45);
        put16(archive, 45);
        put32(archive, 0);
        put32(archive, 0);
        put64(archive, count);
        put64(archive, count);
        put64(archive, directory.size());
        put64(archive, directoryOffset);
        // Locator: signature, the record's disk, its offset, number of disks.
        put32(archive, 0x07064b50);
        put32(archive, 0);
        put64(archive, recordOffset);
        put32(archive, 1);
    }
    // End record: signature, disks, entry counts, directory size and offset, comment.
    put32(archive, 0x06054b50);
    put16(archive, 0);
    put16(archive, 0);
    put16(archive, options.zip64End ? 0xFFFF : std::min<uint32_t>(count, 0xFFFF));
    put16(archive, options.zip64End ? 0xFFFF : std::min<uint32_t>(count, 0xFFFF));
    put32(archive, options.zip64End ? kPlaceholder : static_cast<uint32_t>(directory.size()));
    put32(archive, options.zip64End ? kPlaceholder : directoryOffset);
    put16(archive, static_cast<uint32_t>(options.comment.size()));
    archive += options.comment;
    return archive;
}

std::string buildZip(const std::vector<std::pair<std::string, std::string>>& files) {
    std::vector<ZipBuildEntry> entries;
    for (const auto& [name, data] : files) {
        ZipBuildEntry entry;
        entry.name = name;
        entry.data = data;
        if (name == "mimetype") {
            entry.deflate = false;
            entries.insert(entries.begin(), entry);
        } else {
            entries.push_back(entry);
        }
    }
    return buildZip(entries);
}

std::string buildZip(std::initializer_list<std::pair<std::string, std::string>> files) {
    return buildZip(std::vector<std::pair<std::string, std::string>>(files));
}
