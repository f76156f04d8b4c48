// fuzz/convert_document.cpp -- a whole conversion of arbitrary bytes. The first byte
// picks the text options and the link depth; the rest is the root page and, split at
// kPageSeparator, further pages named p1.html, p2.html, ... beside it, so HTML links
// reach them. Whatever the source is (PalmDoc, HTML or text), the result is a defined
// code, nothing is held afterwards, and a finished database reads back to text of the
// length record 0 records; for a text source, to exactly what the filter makes of it.
#include <cstdint>
#include <string>
#include <vector>

#include "engine/conversion.h"
#include "engine/text_filter.h"
#include "fuzz/fuzz_support.h"

namespace {

constexpr const char* kRoot = "C:\\site\\index.html";
constexpr const char* kDestination = "C:\\out\\book.pdb";
constexpr int kMaxPages = 16;

ConversionJob jobFor(const IoOps& io, uint8_t options) {
    ConversionJob job{};
    job.io = &io;
    job.sourcePath = kRoot;
    job.destinationPath = kDestination;
    job.title = "Fuzzed book";
    job.removeCR = options & 1;
    job.removeLF = (options >> 1) & 1;
    job.convertCRtoLF = (options >> 2) & 1;
    job.slbSpaces = static_cast<int32_t>((options >> 3) & 3) - 1;  // -1 to 2
    const int tabs = (options >> 5) & 3;
    job.tabToLB = tabs == 1 ? 1 : tabs == 3 ? 0 : -1;
    job.tabToSpace = tabs == 2 ? 4 : -1;
    job.maxDepth = (options & 0x80) ? 1 : -1;
    return job;
}

// The text a text source must decode to: the filter's output, one line feed if empty.
std::vector<uint8_t> filteredText(const ConversionJob& job, const std::string& source) {
    MemoryIo memory;
    const IoOps& io = memory.ops();
    const uint32_t out = io.createTempStream(io.userData);
    TextFilter filter{};
    filterInit(filter, job, io, out);
    fuzzCheck(filterChunk(filter, reinterpret_cast<const uint8_t*>(source.data()),
                          static_cast<int32_t>(source.size())) == 1,
              "the filter failed on memory");
    std::vector<uint8_t> text = memory.bytesOfHandle(out);
    io.closeStream(io.userData, out);
    if (text.empty()) text.push_back('\n');
    return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    std::vector<std::string> pages = splitPages(data + 1, size - 1);
    if (pages.size() > kMaxPages) pages.resize(kMaxPages);

    MemoryIo memory;
    memory.addFile(kRoot, pages[0]);
    for (size_t page = 1; page < pages.size(); ++page)
        memory.addFile("C:\\site\\p" + std::to_string(page) + ".html", pages[page]);
    const ConversionJob job = jobFor(memory.ops(), data[0]);

    const int32_t result = convertDocument(job);
    fuzzCheck(isSpecifiedResult(result), "convertDocument returned an unspecified code");
    checkNothingHeld(memory);
    if (result != ResultOk) return 0;

    std::vector<uint8_t> text;
    checkBook(memory, kDestination, text);
    // A text source is whatever neither probe claims; its text is the filter's output.
    const IoOps& io = memory.ops();
    const uint32_t source = io.openStream(io.userData, kRoot, 0);
    const bool plainText = !isDocSource(io, source) && !isHtmlSource(io, source);
    io.closeStream(io.userData, source);
    if (plainText) fuzzCheck(text == filteredText(job, pages[0]), "a text source decodes to other text");
    checkNothingHeld(memory);
    return 0;
}
