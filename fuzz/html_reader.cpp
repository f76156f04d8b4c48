// fuzz/html_reader.cpp -- the HTML reader on its own: the HTML test, the title probe and
// the tokenizer over a whole page of arbitrary bytes, through the 1024-byte window. The
// first byte decides, every few tokens, whether text is read as preformatted. Names,
// values, titles and text runs stay within their limits, the reader always moves on, and
// the context leaves nothing behind.
#include <cstdint>
#include <cstring>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "html/html_reader.h"
#include "html/html_tables.h"

namespace {

constexpr int kTextRun = 4096;

void checkTag(const HtmlContext& context) {
    fuzzCheck(std::strlen(context.tagName) <= kTagNameChars, "a tag name past 31 characters");
    fuzzCheck(context.attrCount >= 0 && context.attrCount <= kMaxAttributes, "too many attributes");
    fuzzCheck(context.attrPoolUsed >= 0 && context.attrPoolUsed <= kAttrPoolBytes, "the attribute pool overflowed");
    for (int32_t index = 0; index < context.attrCount; ++index) {
        fuzzCheck(std::strlen(context.attrs[index].name) <= kAttrNameChars, "an attribute name past 31 characters");
        fuzzCheck(std::strlen(context.attrs[index].value) <= kAttrValueChars, "an attribute value past 255 characters");
    }
    for (int32_t id = 0; id < AttrCount; ++id) {
        const char* value = findAttribute(context, id);
        if (value != nullptr) fuzzCheck(std::strlen(value) <= kAttrValueChars, "a found value past 255 characters");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const uint8_t rawEvery = data[0];
    MemoryIo memory;
    memory.addFile("page.html", std::vector<uint8_t>(data + 1, data + size));
    const IoOps& io = memory.ops();
    const uint32_t stream = io.openStream(io.userData, "page.html", 0);
    HtmlContext* context = createHtmlContext(io);
    fuzzCheck(context != nullptr, "no context on memory");

    fuzzCheck(openHtmlSource(*context, io, stream), "a readable source did not open");
    scanHtmlSignature(*context);  // any answer will do; it must only read safely

    fuzzCheck(openHtmlSource(*context, io, stream), "a readable source did not open again");
    char title[32];
    std::memset(title, 0x5A, sizeof title);
    if (readHtmlTitle(*context, title, 31))
        fuzzCheck(std::memchr(title, 0, sizeof title) != nullptr, "a title past 31 bytes");

    fuzzCheck(openHtmlSource(*context, io, stream), "a readable source did not open a third time");
    std::vector<uint8_t> run(kTextRun);
    int32_t prevSpace = 0;
    // Every token consumes at least one byte, so the page ends within its length.
    size_t steps = 0;
    for (;; ++steps) {
        fuzzCheck(steps <= size + 2, "the tokenizer stopped moving");
        uint16_t length = 0;
        const bool raw = rawEvery != 0 && steps % rawEvery == static_cast<size_t>(rawEvery - 1);
        const int end = raw ? readRawText(*context, run.data(), kTextRun, length)
                            : readText(*context, prevSpace, run.data(), kTextRun, length);
        fuzzCheck(length <= kTextRun, "a text run past its buffer");
        if (end == kEndOfInput) break;
        if (end == '<') {
            parseTag(*context);
            checkTag(*context);
        } else {
            // A full run may stop short by a reference that did not fit whole.
            fuzzCheck(end == kTextRunFull && length > kTextRun - kMaxReferenceBytes,
                      "a text run ended by neither a tag nor the end");
        }
    }
    destroyHtmlContext(io, context);
    io.closeStream(io.userData, stream);
    checkNothingHeld(memory);
    return 0;
}
