// tests/html/html_page.h -- a page held in memory and read through a fresh HtmlContext,
// with the I/O books kept by CountingIo, for the reader's tests.
#pragma once
#include <gtest/gtest.h>

#include <string>

#include "html/html_context.h"
#include "html/html_reader.h"
#include "tests/support/counting_io.h"
#include "tests/support/memory_io.h"

class HtmlPage {
public:
    // Faults may be armed on `io` before open().
    explicit HtmlPage(const std::string& bytes) { memory.addFile("page.html", bytes); }
    HtmlPage(const HtmlPage&) = delete;
    HtmlPage& operator=(const HtmlPage&) = delete;
    ~HtmlPage() { close(); }

    // Opens the page and binds a new context to it; false when either fails.
    bool open() {
        const IoOps& ops = io.ops();
        stream = ops.openStream(ops.userData, "page.html", 0);
        if (stream == 0) return false;
        context = createHtmlContext(ops);
        return context != nullptr && openHtmlSource(*context, ops, stream) == 1;
    }
    // Releases the context and the stream.
    void close() {
        const IoOps& ops = io.ops();
        if (context != nullptr) destroyHtmlContext(ops, context);
        context = nullptr;
        if (stream != 0) ops.closeStream(ops.userData, stream);
        stream = 0;
    }

    // Every remaining byte.
    std::string rest() {
        std::string bytes;
        for (int c = readChar(*context); c != kEndOfInput; c = readChar(*context))
            bytes += static_cast<char>(c);
        return bytes;
    }
    // One run of readText (prevSpace as given) into textBuffer, as a string.
    std::string textRun(int32_t prevSpace = 0, int32_t max = kTextBufferBytes) {
        uint16_t length = 0;
        lastEnd = readText(*context, prevSpace, context->textBuffer, max, length);
        lastPrevSpace = prevSpace;
        return std::string(reinterpret_cast<const char*>(context->textBuffer), length);
    }
    std::string rawRun(int32_t max = kTextBufferBytes) {
        uint16_t length = 0;
        lastEnd = readRawText(*context, context->textBuffer, max, length);
        return std::string(reinterpret_cast<const char*>(context->textBuffer), length);
    }

    MemoryIo memory;
    CountingIo io{memory.ops()};
    uint32_t stream = 0;
    HtmlContext* context = nullptr;
    int lastEnd = 0;
    int32_t lastPrevSpace = 0;
};
