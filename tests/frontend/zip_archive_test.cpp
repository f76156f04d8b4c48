// The zip reader: sound archives (ours and an independent producer's) come out byte for
// byte, and each kind of hostile archive is refused with its fault, without writing past
// an entry's declared size and without holding anything afterwards.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdlib>
#include <map>
#include <random>

#include "frontend/zip_archive.h"
#include "tests/support/counting_io.h"
#include "tests/support/fault_sweep.h"
#include "tests/support/memory_io.h"
#include "tests/support/temp_dir.h"
#include "tests/support/zip_builder.h"

namespace {

constexpr uint32_t kCentralSignature = 0x02014b50;
constexpr uint32_t kLocalSignature = 0x04034b50;
constexpr uint32_t kEndSignature = 0x06054b50;

// An archive in memory, its directory read through a CountingIo.
struct Opened {
    MemoryIo memory;
    CountingIo counting{memory.ops()};
    uint32_t stream = 0;
    ZipArchive archive;
    ZipProblem problem;
    bool read = false;

    explicit Opened(const std::string& bytes) {
        memory.addFile("/book.epub", bytes);
        const IoOps& io = counting.ops();
        stream = io.openStream(io.userData, "/book.epub", 0);
        read = readZipDirectory(archive, io, stream, problem);
    }
    ~Opened() {
        const IoOps& io = counting.ops();
        if (stream != 0) io.closeStream(io.userData, stream);
        expectNothingHeld(counting);
    }
    // The entry's bytes through a temporary stream, or "<fault N>".
    std::string extract(const std::string& name, ZipProblem* problemOut = nullptr) {
        const ZipEntry* entry = findZipEntry(archive, name);
        if (entry == nullptr) return "<missing>";
        const IoOps& io = counting.ops();
        const uint32_t temp = io.createTempStream(io.userData);
        ZipProblem extractProblem;
        const bool ok = extractZipEntry(archive, *entry, io, temp, extractProblem);
        const std::vector<uint8_t> bytes = memory.bytesOfHandle(temp);
        EXPECT_LE(bytes.size(), entry->uncompressedSize) << name << ": written past the declared size";
        io.closeStream(io.userData, temp);
        if (problemOut != nullptr) *problemOut = extractProblem;
        if (!ok) return "<fault " + std::to_string(static_cast<int>(extractProblem.fault)) + ">";
        EXPECT_EQ(ZipFault::None, extractProblem.fault);
        return std::string(bytes.begin(), bytes.end());
    }
    ZipFault extractFault(const std::string& name) {
        ZipProblem extractProblem;
        extract(name, &extractProblem);
        return extractProblem.fault;
    }
};

ZipFault directoryFault(const std::string& bytes) { return Opened(bytes).problem.fault; }

std::string randomBytes(size_t count, uint32_t seed) {
    std::mt19937 generator(seed);
    std::string bytes(count, '\0');
    for (char& byte : bytes) byte = static_cast<char>(generator() & 0xFF);
    return bytes;
}

// Offset of the n-th (from 0) occurrence of a signature.
size_t signatureAt(const std::string& zip, uint32_t signature, int n) {
    const std::string pattern{static_cast<char>(signature & 0xFF), static_cast<char>((signature >> 8) & 0xFF),
                              static_cast<char>((signature >> 16) & 0xFF), static_cast<char>(signature >> 24)};
    size_t at = zip.find(pattern);
    for (int i = 0; i < n && at != std::string::npos; ++i) at = zip.find(pattern, at + 1);
    EXPECT_NE(std::string::npos, at) << "no such signature";
    return at;
}

void patch16(std::string& zip, size_t at, uint32_t value) {
    zip[at] = static_cast<char>(value & 0xFF);
    zip[at + 1] = static_cast<char>((value >> 8) & 0xFF);
}
void patch32(std::string& zip, size_t at, uint32_t value) {
    patch16(zip, at, value & 0xFFFF);
    patch16(zip, at + 2, value >> 16);
}
uint32_t read32(const std::string& zip, size_t at) {
    uint32_t value = 0;
    for (int i = 3; i >= 0; --i) value = value << 8 | static_cast<uint8_t>(zip[at + static_cast<size_t>(i)]);
    return value;
}

const std::string kChapter = [] {
    std::string text;
    for (int line = 0; line < 4000; ++line) text += "<p>Line " + std::to_string(line) + " of the chapter.</p>\n";
    return text;
}();

std::string soundArchive() {
    return buildZip({{"mimetype", "application/epub+zip"},
                     {"META-INF/container.xml", "<container/>"},
                     {"OEBPS/chapter.xhtml", kChapter}});
}

TEST(ZipSoundArchives, StoredDeflatedAndEmptyEntriesComeOutAsTheyWent) {
    const std::string binary = randomBytes(200000, 7);  // several buffers' worth, incompressible
    ZipBuildEntry mimetype{"mimetype", "application/epub+zip"};
    mimetype.deflate = false;
    ZipBuildEntry emptyStored{"empty-stored", ""};
    emptyStored.deflate = false;
    ZipBuildEntry binaryStored{"images/b.bin", binary};
    binaryStored.deflate = false;
    Opened zip(buildZip({mimetype, {"OEBPS/chapter.xhtml", kChapter}, {"OEBPS/", ""}, emptyStored,
                         {"empty-deflated", ""}, binaryStored, {"images/a.bin", binary}}));
    ASSERT_TRUE(zip.read) << describeZipProblem(zip.problem);
    ASSERT_EQ(7u, zip.archive.entries.size());
    EXPECT_EQ("mimetype", zip.archive.entries[0].name) << "directory order";
    EXPECT_EQ(0, zip.archive.entries[0].method);
    EXPECT_EQ(8, zip.archive.entries[1].method);
    EXPECT_EQ("application/epub+zip", zip.extract("mimetype"));
    EXPECT_EQ(kChapter, zip.extract("OEBPS/chapter.xhtml"));
    EXPECT_EQ("", zip.extract("OEBPS/"));
    EXPECT_EQ("", zip.extract("empty-stored"));
    EXPECT_EQ("", zip.extract("empty-deflated"));
    EXPECT_EQ(binary, zip.extract("images/b.bin"));
    EXPECT_EQ(binary, zip.extract("images/a.bin"));
    EXPECT_EQ(nullptr, findZipEntry(zip.archive, "OEBPS/Chapter.xhtml")) << "names match exactly";
    EXPECT_EQ(0, zip.counting.calls(IoOp::Alloc)) << "the reader borrows no IoOps blocks";
}

TEST(ZipSoundArchives, DataDescriptorsAndZip64FieldsAreRead) {
    ZipBuildEntry described{"described.txt", kChapter};
    described.dataDescriptor = true;
    ZipBuildEntry storedDescribed{"stored.txt", "plain"};
    storedDescribed.deflate = false;
    storedDescribed.dataDescriptor = true;
    ZipBuildEntry wide{"wide.txt", kChapter};
    wide.zip64 = true;
    ZipBuildEntry wideDescribed{"wide-described.txt", "short"};
    wideDescribed.zip64 = true;
    wideDescribed.dataDescriptor = true;
    for (bool zip64End : {false, true}) {
        ZipBuildOptions options;
        options.zip64End = zip64End;
        Opened zip(buildZip({described, storedDescribed, wide, wideDescribed}, options));
        ASSERT_TRUE(zip.read) << describeZipProblem(zip.problem);
        EXPECT_EQ(kChapter.size(), zip.archive.entries[2].uncompressedSize) << "from the ZIP64 extra field";
        EXPECT_EQ(kChapter, zip.extract("described.txt"));
        EXPECT_EQ("plain", zip.extract("stored.txt"));
        EXPECT_EQ(kChapter, zip.extract("wide.txt"));
        EXPECT_EQ("short", zip.extract("wide-described.txt"));
    }
}

TEST(ZipSoundArchives, TheEndRecordIsFoundBehindACommentEvenOneThatLooksLikeARecord) {
    ZipBuildOptions options;
    // A record-like pattern in the comment whose own comment length does not reach the end.
    options.comment = std::string("note PK\x05\x06", 9) + std::string(18, '\x01') + " end";
    Opened zip(buildZip({{"a.txt", "alpha"}}, options));
    ASSERT_TRUE(zip.read) << describeZipProblem(zip.problem);
    EXPECT_EQ("alpha", zip.extract("a.txt"));
    options.comment = std::string(65535, 'c');
    Opened longest(buildZip({{"a.txt", "alpha"}}, options));
    EXPECT_TRUE(longest.read) << describeZipProblem(longest.problem);
}

TEST(ZipSoundArchives, EmptyArchivesDuplicateNamesAndSmallRepetitiveEntriesAreAccepted) {
    const std::string empty = buildZip(std::vector<ZipBuildEntry>{});
    EXPECT_TRUE(looksLikeZip(reinterpret_cast<const uint8_t*>(empty.data()), 4));
    Opened none(empty);
    EXPECT_TRUE(none.read);
    EXPECT_TRUE(none.archive.entries.empty());

    Opened twice(buildZip({{"a.txt", "first"}, {"a.txt", "second"}}));
    ASSERT_TRUE(twice.read);
    EXPECT_EQ(2u, twice.archive.entries.size());
    EXPECT_EQ("first", twice.extract("a.txt")) << "the first of a name wins";

    // Far above 100:1, but too small to be a bomb: the floor lets it through.
    Opened spaces(buildZip({{"spaces.txt", std::string(10240, ' ')}}));
    ASSERT_TRUE(spaces.read) << describeZipProblem(spaces.problem);
    EXPECT_GT(spaces.archive.entries[0].uncompressedSize, 100 * spaces.archive.entries[0].compressedSize);
    EXPECT_EQ(std::string(10240, ' '), spaces.extract("spaces.txt"));
}

TEST(ZipSoundArchives, ReadZipEntryKeepsToItsLimit) {
    Opened zip(soundArchive());
    ASSERT_TRUE(zip.read);
    const ZipEntry& chapter = *findZipEntry(zip.archive, "OEBPS/chapter.xhtml");
    std::string text = "stale";
    ZipProblem problem;
    EXPECT_TRUE(readZipEntry(zip.archive, chapter, kChapter.size(), text, problem));
    EXPECT_EQ(kChapter, text);
    EXPECT_FALSE(readZipEntry(zip.archive, chapter, kChapter.size() - 1, text, problem));
    EXPECT_EQ(ZipFault::TooLarge, problem.fault);
    EXPECT_EQ("OEBPS/chapter.xhtml", problem.entry);
    EXPECT_TRUE(text.empty());
}

#ifndef _WIN32
// Python's zipfile, writing to a file, to a stream it cannot seek (data descriptors) and
// with ZIP64 local headers forced.
TEST(ZipSoundArchives, AnIndependentProducersArchivesRead) {
    TempDir dir;
    dir.write("make.py", R"(import io, sys, zipfile
text = ''.join('<p>Line %d of the chapter.</p>\n' % line for line in range(4000))
class Unseekable(io.RawIOBase):
    def __init__(self, f): self.f = f
    def writable(self): return True
    def write(self, b): return self.f.write(b)
def fill(z, force64):
    z.writestr(zipfile.ZipInfo('mimetype'), 'application/epub+zip', compress_type=zipfile.ZIP_STORED)
    with z.open('OEBPS/chapter.xhtml', 'w', force_zip64=force64) as f: f.write(text.encode())
    z.writestr('empty.txt', '', compress_type=zipfile.ZIP_DEFLATED)
    z.writestr('raw.bin', bytes(range(256)) * 3, compress_type=zipfile.ZIP_STORED)
for name, force64 in (('plain.zip', False), ('zip64.zip', True)):
    with zipfile.ZipFile(sys.argv[1] + '/' + name, 'w', zipfile.ZIP_DEFLATED) as z: fill(z, force64)
with open(sys.argv[1] + '/streamed.zip', 'wb') as out:
    with zipfile.ZipFile(Unseekable(out), 'w', zipfile.ZIP_DEFLATED) as z: fill(z, False)
)");
    ASSERT_EQ(0, std::system(("/usr/bin/python3 " + dir.file("make.py") + " " + dir.path()).c_str()));
    std::string raw;
    for (int copy = 0; copy < 3; ++copy)
        for (int byte = 0; byte < 256; ++byte) raw += static_cast<char>(byte);
    for (const char* name : {"plain.zip", "zip64.zip", "streamed.zip"}) {
        Opened zip(dir.read(name));
        ASSERT_TRUE(zip.read) << name << ": " << describeZipProblem(zip.problem);
        ASSERT_EQ(4u, zip.archive.entries.size()) << name;
        EXPECT_EQ("application/epub+zip", zip.extract("mimetype")) << name;
        EXPECT_EQ(kChapter, zip.extract("OEBPS/chapter.xhtml")) << name;
        EXPECT_EQ("", zip.extract("empty.txt")) << name;
        EXPECT_EQ(raw, zip.extract("raw.bin")) << name;
    }
    EXPECT_NE(0, Opened(dir.read("streamed.zip")).archive.entries[1].flags & 0x0008) << "descriptors used";
}
#endif

TEST(ZipDirectoryFaults, WhatIsNoZipOrIsCutShortIsRefused) {
    EXPECT_EQ(ZipFault::NotZip, directoryFault(""));
    EXPECT_EQ(ZipFault::NotZip, directoryFault("PK"));
    EXPECT_EQ(ZipFault::NotZip, directoryFault("<html><body>Not a zip at all.</body></html>"));
    EXPECT_FALSE(looksLikeZip(reinterpret_cast<const uint8_t*>("<html>"), 6));

    const std::string sound = soundArchive();
    for (size_t length = 4; length < sound.size(); ++length)
        EXPECT_EQ(ZipFault::CutDirectory, directoryFault(sound.substr(0, length))) << "cut at " << length;

    const size_t end = signatureAt(sound, kEndSignature, 0);
    std::string outside = sound;
    patch32(outside, end + 16, read32(sound, end + 16) + 1);  // the directory runs into the end record
    EXPECT_EQ(ZipFault::CutDirectory, directoryFault(outside));
    std::string moreEntries = sound;
    patch16(moreEntries, end + 10, 4);
    EXPECT_EQ(ZipFault::CutDirectory, directoryFault(moreEntries));
    std::string notAHeader = sound;
    notAHeader[signatureAt(sound, kCentralSignature, 1)] = 'Q';
    EXPECT_EQ(ZipFault::CutDirectory, directoryFault(notAHeader));

    std::string split = sound;
    patch16(split, end + 4, 1);  // this is disk 2 of 2
    Opened splitZip(split);
    EXPECT_EQ(ZipFault::CutDirectory, splitZip.problem.fault);
    EXPECT_TRUE(splitZip.problem.spansFiles);
}

TEST(ZipDirectoryFaults, NamesThatLeaveTheArchiveAreRefused) {
    const std::string unsafe[] = {"../x", "a/../../x", "a\\..\\x", "..", "a/..", "/etc/passwd", "\\x",
                                  "C:x", "c:/x", "", std::string("a\0b", 3), std::string(1024, 'n')};
    for (const std::string& name : unsafe) {
        Opened zip(buildZip({{"fine.txt", "x"}, {name, "data"}}));
        EXPECT_EQ(ZipFault::UnsafeName, zip.problem.fault) << name;
        EXPECT_EQ(name.substr(0, kMaxZipNameBytes + 1), zip.problem.entry);
        EXPECT_TRUE(zip.archive.entries.empty()) << "nothing kept of a refused directory";
    }
    for (const std::string& name : {std::string("a..b"), std::string("..a/b."), std::string("a/.../b"),
                                    std::string("./a"), std::string("1:x"), std::string(1023, 'n')})
        EXPECT_TRUE(Opened(buildZip({{name, "data"}})).read) << name;
}

TEST(ZipDirectoryFaults, EncryptionAndOtherMethodsAreRefused) {
    for (uint16_t flag : {0x0001, 0x0040}) {
        ZipBuildEntry entry{"a.xhtml", "secret"};
        entry.extraFlags = flag;
        Opened zip(buildZip({entry}));
        EXPECT_EQ(ZipFault::Encrypted, zip.problem.fault) << flag;
        EXPECT_EQ("a.xhtml", zip.problem.entry);
    }
    for (uint16_t method : {1, 12, 14, 93, 99}) {
        ZipBuildEntry entry{"a", "data"};
        entry.method = method;
        EXPECT_EQ(ZipFault::UnsupportedMethod, directoryFault(buildZip({entry}))) << method;
    }
}

TEST(ZipDirectoryFaults, MoreThanTenThousandEntriesAreRefused) {
    std::vector<ZipBuildEntry> entries(kMaxZipEntries);
    for (size_t i = 0; i < entries.size(); ++i) {
        entries[i].name = "e" + std::to_string(i);
        entries[i].deflate = false;
    }
    EXPECT_TRUE(Opened(buildZip(entries)).read);
    entries.push_back(ZipBuildEntry{"one-more", ""});
    EXPECT_EQ(ZipFault::TooManyEntries, directoryFault(buildZip(entries)));
}

TEST(ZipDirectoryFaults, BombsAreRefused) {
    // One entry of 2 MiB of zeros deflates to about 2 KiB.
    Opened one(buildZip({{"a.txt", "small"}, {"zeros", std::string(2 << 20, '\0')}}));
    EXPECT_EQ(ZipFault::RatioTooHigh, one.problem.fault);
    EXPECT_EQ("zeros", one.problem.entry);
    // Each entry at the floor, the whole far above it.
    std::vector<ZipBuildEntry> many;
    for (int i = 0; i < 4; ++i) many.push_back({"zeros" + std::to_string(i), std::string(kZipRatioFloor, '\0')});
    Opened whole(buildZip(many));
    EXPECT_EQ(ZipFault::RatioTooHigh, whole.problem.fault);
    EXPECT_EQ("", whole.problem.entry) << "the whole, no one entry";
    many.resize(1);
    EXPECT_TRUE(Opened(buildZip(many)).read) << "at the floor";
    EXPECT_TRUE(Opened(buildZip({{"noise", randomBytes(3 << 20, 3)}})).read) << "large but incompressible";

    // A declared size that the data cannot hold: a stored entry's two sizes must agree.
    ZipBuildEntry stored{"s", "12345"};
    stored.deflate = false;
    stored.declaredSize = 500;
    EXPECT_EQ(ZipFault::SizeMismatch, directoryFault(buildZip({stored})));
}

TEST(ZipDirectoryFaults, OverlappingEntriesAreRefused) {
    const std::string sound = buildZip({{"a.txt", kChapter}, {"b.txt", "bee"}, {"c.txt", "sea"}});
    // The same local header (and data) named by two entries.
    std::string shared = sound;
    patch32(shared, signatureAt(sound, kCentralSignature, 2) + 42, read32(sound, signatureAt(sound, kCentralSignature, 1) + 42));
    EXPECT_EQ(ZipFault::Overlapping, directoryFault(shared));
    // The first entry's data declared to run over the second's header, as the
    // overlapping-files bomb quotes the next header inside each entry.
    std::string quoting = sound;
    const size_t first = signatureAt(sound, kCentralSignature, 0);
    patch32(quoting, first + 20, read32(sound, first + 20) + 40);
    Opened zip(quoting);
    EXPECT_EQ(ZipFault::Overlapping, zip.problem.fault);
    EXPECT_EQ("a.txt", zip.problem.entry);
    // Data declared to run into the central directory.
    std::string intoDirectory = sound;
    const size_t last = signatureAt(sound, kCentralSignature, 2);
    patch32(intoDirectory, last + 20, read32(sound, last + 20) + 1);
    EXPECT_EQ(ZipFault::SizeMismatch, directoryFault(intoDirectory));
}

TEST(ZipDirectoryFaults, SizesAndOffsetsBeyondIoOpsPositionsAreTooLarge) {
    const std::string sound = buildZip({{"a.txt", "alpha"}});
    const size_t central = signatureAt(sound, kCentralSignature, 0);
    for (size_t field : {20u, 24u, 42u}) {  // compressed size, uncompressed size, offset
        std::string wide = sound;
        patch32(wide, central + field, 0x80000000u);
        EXPECT_EQ(ZipFault::TooLarge, directoryFault(wide)) << field;
    }
    ZipBuildEntry zip64{"a.txt", "alpha"};
    zip64.zip64 = true;
    std::string extra = buildZip({zip64});
    // The ZIP64 extra field's uncompressed size: 4 GiB.
    const size_t value = signatureAt(extra, kCentralSignature, 0) + 46 + 5 + 4;
    extra[value + 4] = 1;
    EXPECT_EQ(ZipFault::TooLarge, directoryFault(extra));
}

TEST(ZipEntryFaults, HeadersAndDataThatDisagreeAreRefusedWithoutWritingPastTheDeclaredSize) {
    struct Row {
        const char* what;
        ZipBuildEntry entry;
    };
    std::vector<Row> rows;
    rows.push_back({"local size", {"x", kChapter}});
    rows.back().entry.localDeclaredSize = 100;
    rows.push_back({"both sizes smaller", {"x", kChapter}});
    rows.back().entry.declaredSize = 1000;
    rows.push_back({"both sizes larger", {"x", kChapter}});
    rows.back().entry.declaredSize = static_cast<uint32_t>(kChapter.size() + 1);
    rows.push_back({"CRC-32", {"x", kChapter}});
    rows.back().entry.crc = 0x12345678;
    rows.push_back({"stored CRC-32", {"x", "stored bytes"}});
    rows.back().entry.deflate = false;
    rows.back().entry.crc = 0;
    rows.push_back({"descriptor CRC-32", {"x", kChapter}});
    rows.back().entry.dataDescriptor = true;
    rows.back().entry.crc = 1;
    // Deflated bytes and then more: the compressed size is not the stream's.
    rows.push_back({"compressed size", {"x", rawDeflate(kChapter) + "trailing"}});
    rows.back().entry.deflate = false;
    rows.back().entry.method = 8;
    rows.back().entry.declaredSize = static_cast<uint32_t>(kChapter.size());
    rows.back().entry.crc = static_cast<uint32_t>(
        crc32(0, reinterpret_cast<const Bytef*>(kChapter.data()), static_cast<uInt>(kChapter.size())));
    rows.push_back({"cut stream", rows.back().entry});
    rows.back().entry.data = rawDeflate(kChapter).substr(0, 300);
    rows.push_back({"corrupt stream", {"x", std::string("\xFF\xFF\xFF\xFF", 4) + kChapter}});
    rows.back().entry.deflate = false;
    rows.back().entry.method = 8;
    for (const Row& row : rows) {
        Opened zip(buildZip({{"before", "b"}, row.entry, {"after", "a"}}));
        ASSERT_TRUE(zip.read) << row.what << ": " << describeZipProblem(zip.problem);
        ZipProblem problem;
        EXPECT_NE(std::string::npos, zip.extract("x", &problem).find("<fault")) << row.what;
        EXPECT_EQ(ZipFault::SizeMismatch, problem.fault) << row.what;
        EXPECT_EQ("x", problem.entry) << row.what;
        std::string text;
        EXPECT_FALSE(readZipEntry(zip.archive, zip.archive.entries[1], 1 << 20, text, problem)) << row.what;
        EXPECT_TRUE(text.empty()) << row.what;
        EXPECT_EQ("a", zip.extract("after")) << row.what << ": the next entry is untouched";
    }
    // The same construction with nothing trailing is sound, so the rows fail for their lie.
    ZipBuildEntry exact = rows[6].entry;
    exact.data = rawDeflate(kChapter);
    EXPECT_EQ(kChapter, Opened(buildZip({exact})).extract("x"));
}

TEST(ZipEntryFaults, LocalHeadersThatDisagreeWithTheDirectoryAreRefused) {
    const std::string sound = buildZip({{"a.txt", kChapter}, {"b.txt", "bee"}});
    const size_t local = signatureAt(sound, kLocalSignature, 0);
    const struct {
        const char* what;
        size_t at;
        int width;
        uint32_t value;
        ZipFault fault;
    } rows[] = {
        {"signature", local, 4, 0x04034b51, ZipFault::SizeMismatch},
        {"method", local + 8, 2, 0, ZipFault::SizeMismatch},
        {"CRC-32 left out without a descriptor", local + 14, 4, 0, ZipFault::SizeMismatch},
        {"name", local + 30, 1, 'A', ZipFault::SizeMismatch},
        {"name length", local + 26, 2, 4, ZipFault::SizeMismatch},
        {"encrypted", local + 6, 2, 0x0801, ZipFault::Encrypted},
        {"extra into the next entry", local + 28, 2, 20, ZipFault::Overlapping},
        {"extra past the end", local + 28, 2, 0xFFFF, ZipFault::CutDirectory},
    };
    for (const auto& row : rows) {
        std::string zip = sound;
        if (row.width == 1) zip[row.at] = static_cast<char>(row.value);
        else if (row.width == 2) patch16(zip, row.at, row.value);
        else patch32(zip, row.at, row.value);
        Opened opened(zip);
        ASSERT_TRUE(opened.read) << row.what;
        EXPECT_EQ(row.fault, opened.extractFault("a.txt")) << row.what;
    }
}

TEST(ZipEntryFaults, AnyFailedReadSeekOrWriteIsReportedAndReleasesEverything) {
    const std::string archive = soundArchive();
    // Reading the directory and extracting the chapter, with the k-th read or seek failing.
    for (IoOp op : {IoOp::Read, IoOp::Seek}) {
        forEachFaultUntil([&](int k) {
            MemoryIo memory;
            memory.addFile("/book.epub", archive);
            CountingIo counting(memory.ops());
            const IoOps& io = counting.ops();
            const uint32_t stream = io.openStream(io.userData, "/book.epub", 0);
            const uint32_t temp = io.createTempStream(io.userData);
            counting.failAt(op, k);
            ZipArchive zip;
            ZipProblem problem;
            bool ok = readZipDirectory(zip, io, stream, problem);
            const ZipEntry* chapter = findZipEntry(zip, "OEBPS/chapter.xhtml");
            if (ok) ok = chapter != nullptr && extractZipEntry(zip, *chapter, io, temp, problem);
            EXPECT_EQ(!counting.faultFired(), ok) << "fault at " << k;
            if (counting.faultFired()) {
                EXPECT_EQ(ZipFault::ReadFailed, problem.fault) << "fault at " << k;
            }
            io.closeStream(io.userData, temp);
            io.closeStream(io.userData, stream);
            expectNothingHeld(counting);
            return counting.faultFired();
        });
    }
    // The k-th write to the output failing, or falling one byte short.
    Opened zip(archive);
    ASSERT_TRUE(zip.read);
    const ZipEntry& chapter = *findZipEntry(zip.archive, "OEBPS/chapter.xhtml");
    forEachFaultUntil([&](int k) {
        CountingIo out(zip.memory.ops());
        const IoOps& io = out.ops();
        const uint32_t temp = io.createTempStream(io.userData);
        out.shortAt(IoOp::Write, k);
        ZipProblem problem;
        const bool ok = extractZipEntry(zip.archive, chapter, io, temp, problem);
        EXPECT_EQ(!out.faultFired(), ok) << "write " << k;
        if (out.faultFired()) {
            EXPECT_EQ(ZipFault::WriteFailed, problem.fault) << "write " << k;
        }
        io.closeStream(io.userData, temp);
        expectNothingHeld(out);
        return out.faultFired();
    });
}

TEST(ZipProblems, ReasonsNameTheEntryShownSafely) {
    const struct {
        ZipFault fault;
        std::string entry;
        const char* reason;
    } rows[] = {
        {ZipFault::NotZip, "", "it is not a zip archive"},
        {ZipFault::CutDirectory, "", "its central directory is cut short"},
        {ZipFault::TooManyEntries, "", "it holds more than 10,000 entries"},
        {ZipFault::UnsafeName, "../../x", "the entry \"../../x\" names a place outside the archive"},
        {ZipFault::UnsafeName, "", "an entry has an empty name"},
        {ZipFault::UnsafeName, std::string(1024, 'n'), "has a name longer than 1,023 bytes"},
        {ZipFault::Encrypted, "a.xhtml", "the entry \"a.xhtml\" is encrypted"},
        {ZipFault::UnsupportedMethod, "a", "the entry \"a\" is compressed with a method other than deflate"},
        {ZipFault::SizeMismatch, "a", "the entry \"a\" is not the size its header declares"},
        {ZipFault::RatioTooHigh, "a", "the entry \"a\" expands more than 100 times (a zip bomb?)"},
        {ZipFault::RatioTooHigh, "", "it expands more than 100 times (a zip bomb?)"},
        {ZipFault::Overlapping, "a", "the entry \"a\" overlaps another entry's data"},
        // A name's control characters cannot reach the terminal.
        {ZipFault::Encrypted, "a\x1B[2Jb\n", "the entry \"a\\x1B[2Jb\\x0A\" is encrypted"},
    };
    for (const auto& row : rows) {
        ZipProblem problem;
        problem.fault = row.fault;
        problem.entry = row.entry;
        EXPECT_NE(std::string::npos, describeZipProblem(problem).find(row.reason)) << describeZipProblem(problem);
    }
    ZipProblem split;
    split.fault = ZipFault::CutDirectory;
    split.spansFiles = true;
    EXPECT_NE(std::string::npos, describeZipProblem(split).find("split across several files"));
    ZipProblem longName;
    longName.fault = ZipFault::UnsafeName;
    longName.entry = std::string(1024, 'n');
    EXPECT_LT(describeZipProblem(longName).size(), 200u) << "a long name is shortened";
}

}  // namespace
