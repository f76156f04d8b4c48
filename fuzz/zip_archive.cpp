// fuzz/zip_archive.cpp -- the zip reader on archives from strangers. The input is the
// archive. Whatever the bytes, the directory is read or refused with a fault, every entry
// of an accepted directory is extracted or refused, an extraction never writes more than
// the entry's declared size (nor anything the CRC-32 and size checks did not pass, in the
// text form), and nothing is held afterwards.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "frontend/zip_archive.h"
#include "fuzz/fuzz_support.h"
#include "tests/support/memory_io.h"

namespace {

constexpr const char* kArchive = "/book.epub";
// Enough for any entry the ratio rule lets a small input declare, small enough to stay fast.
constexpr size_t kMaxTextBytes = 1 << 20;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    MemoryIo memory;
    memory.addFile(kArchive, std::string(reinterpret_cast<const char*>(data), size));
    const IoOps& io = memory.ops();
    {
        const uint32_t stream = io.openStream(io.userData, kArchive, 0);
        fuzzCheck(stream != 0, "the archive did not open");
        ZipArchive archive;
        ZipProblem problem;
        const bool read = readZipDirectory(archive, io, stream, problem);
        fuzzCheck(read == (problem.fault == ZipFault::None), "a result disagreeing with its fault");
        fuzzCheck(!describeZipProblem(problem).empty(), "an empty reason");
        fuzzCheck(read || archive.entries.empty(), "entries kept after a refusal");
        fuzzCheck(archive.entries.size() <= kMaxZipEntries, "too many entries accepted");
        for (const ZipEntry& entry : archive.entries) {
            fuzzCheck(findZipEntry(archive, entry.name) != nullptr, "an entry not found by its name");
            const uint32_t temp = io.createTempStream(io.userData);
            fuzzCheck(temp != 0, "no temporary stream");
            ZipProblem extractProblem;
            const bool extracted = extractZipEntry(archive, entry, io, temp, extractProblem);
            const size_t written = memory.bytesOfHandle(temp).size();
            fuzzCheck(written <= entry.uncompressedSize, "more written than the declared size");
            fuzzCheck(!extracted || written == entry.uncompressedSize, "an extraction short of its size");
            fuzzCheck(extracted == (extractProblem.fault == ZipFault::None), "an extraction's result disagrees");
            fuzzCheck(extracted || extractProblem.entry == entry.name, "a refusal not naming its entry");
            io.closeStream(io.userData, temp);

            std::string text;
            ZipProblem textProblem;
            const bool gotText = readZipEntry(archive, entry, kMaxTextBytes, text, textProblem);
            fuzzCheck(gotText == extracted || entry.uncompressedSize > kMaxTextBytes,
                      "the text form and the stream form disagree");
            fuzzCheck(gotText ? text.size() == entry.uncompressedSize : text.empty(),
                      "text of the wrong size");
        }
        io.closeStream(io.userData, stream);
    }
    checkNothingHeld(memory);
    return 0;
}
