// fuzz/convert_document.cpp -- a whole conversion of arbitrary bytes. The first byte
// picks the text options and the link depth, the next three a fault (none, a failing
// call, a short read or write, a cancel) and the call it hits; the rest is the root page
// and, split at kPageSeparator, further pages named p1.html, p2.html, ... beside it, so
// HTML links reach them. Whatever the source is (PalmDoc, HTML or text), the result is a
// defined code, nothing is held afterwards and no source is written; a finished
// database, even one finished past a fault, reads back to text of the length record 0
// records; without a fault, a text source reads back as exactly what the filter makes.
#include <cstdint>
#include <string>
#include <vector>

#include "driver/conversion.h"
#include "driver/html_probes.h"
#include "engine/text_filter.h"
#include "fuzz/fuzz_support.h"
#include "tests/support/counting_io.h"
#include "tests/support/result_codes.h"

namespace {

// No HTML extension: the HTML test would otherwise take every root for a page.
constexpr const char* kRoot = "C:\\site\\index";
constexpr const char* kDestination = "C:\\out\\book.pdb";
constexpr int kMaxPages = 16;

// The name of page `index`: the root, then p1.html, p2.html, ... beside it.
std::string pageName(size_t index) {
    return index == 0 ? std::string(kRoot) : "C:\\site\\p" + std::to_string(index) + ".html";
}

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
                          static_cast<int32_t>(source.size())),
              "the filter failed on memory");
    std::vector<uint8_t> text = memory.bytesOfHandle(out);
    io.closeStream(io.userData, out);
    if (text.empty()) text.push_back('\n');
    return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    constexpr size_t kPrefixBytes = 4;  // options, fault kind, fault call (big-endian)
    if (size < kPrefixBytes) return 0;
    // One misbehaviour at most: the k-th call of any operation fails, or the k-th call
    // moves one byte short (when it is a read or a write), or the k-th report cancels.
    const int fault = data[1] % 4;
    const int faultAt = data[2] << 8 | data[3];
    std::vector<std::string> pages = splitPages(data + kPrefixBytes, size - kPrefixBytes);
    if (pages.size() > kMaxPages) pages.resize(kMaxPages);

    MemoryIo memory;
    for (size_t page = 0; page < pages.size(); ++page) memory.addFile(pageName(page), pages[page]);
    CountingIo faulty(memory.ops());
    if (fault == 1) faulty.failAt(IoOp::Any, faultAt);
    if (fault == 2) faulty.shortAt(IoOp::Any, faultAt);
    if (fault == 3) faulty.cancelAtReport(faultAt);
    const ConversionJob job = jobFor(faulty.ops(), data[0]);

    const int32_t result = convertDocument(job);
    fuzzCheck(isDefinedResult(result), "convertDocument returned an undefined code");
    checkNothingHeld(memory);
    for (size_t page = 0; page < pages.size(); ++page)
        fuzzCheck(memory.textOf(pageName(page)) == pages[page], "a source page changed");
    const bool canceled = fault == 3 && faultAt > 0 && static_cast<int>(faulty.reports().size()) >= faultAt;
    if (canceled) fuzzCheck(result == ResultCanceled, "a cancel was not 100");
    if (result != ResultOk) return 0;

    std::vector<uint8_t> text;
    checkBook(memory, kDestination, text);
    // A text source is whatever neither probe claims; its text is the filter's output.
    const IoOps& io = memory.ops();
    const uint32_t source = io.openStream(io.userData, kRoot, 0);
    const bool plainText = !isDocSource(io, source) && !isHtmlSource(io, source, kRoot);
    io.closeStream(io.userData, source);
    if (plainText && !faulty.faultFired()) fuzzCheck(text == filteredText(job, pages[0]), "a text source decodes to other text");
    checkNothingHeld(memory);
    return 0;
}
