// fuzz/decoding_io.cpp -- the decoding wrapper on pages from strangers. The first byte
// picks the page's role (the source or a linked page) and an override (none, UTF-8,
// Windows-1252, Shift_JIS, UTF-16LE); the rest is the file. Whatever the bytes, the page
// opens, reads the same whether read through or after a seek, a page of plain ASCII
// (no escape byte) comes out as it went in, nothing is held after the close, and a path
// made of the bytes decodes to valid UTF-8.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "frontend/decoding_io.h"
#include "frontend/text_encoding.h"
#include "fuzz/fuzz_support.h"
#include "tests/support/memory_io.h"

namespace {

constexpr const char* kSource = "/site/index.html";
constexpr const char* kLinked = "/site/page.html";

std::vector<uint8_t> readAll(const IoOps& io, uint32_t handle, int32_t chunk) {
    std::vector<uint8_t> bytes;
    std::vector<uint8_t> buffer(static_cast<size_t>(chunk));
    for (;;) {
        const int32_t got = io.readStream(io.userData, handle, chunk, buffer.data());
        fuzzCheck(got >= 0 && got <= chunk, "a read outside its bounds");
        bytes.insert(bytes.end(), buffer.begin(), buffer.begin() + got);
        if (got < chunk) return bytes;
    }
}

bool validUtf8(const std::string& text) {
    size_t at = 0;
    while (at < text.size()) {
        if (static_cast<uint8_t>(text[at]) < 0x80) {
            ++at;
            continue;
        }
        uint32_t codePoint = 0;
        const int length = utf8Sequence(reinterpret_cast<const uint8_t*>(text.data()) + at,
                                        text.size() - at, codePoint);
        if (length < 2) return false;
        at += static_cast<size_t>(length);
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const uint8_t choice = data[0];
    const std::string page(reinterpret_cast<const char*>(data) + 1, size - 1);

    const char* const overrides[] = {nullptr, "utf-8", "windows-1252", "shift_jis", "utf-16le"};
    const char* label = overrides[(choice >> 1) % 5];
    const std::optional<TextEncoding> encoding =
        label != nullptr ? encodingForLabel(label) : std::nullopt;
    const bool linked = (choice & 1) != 0;
    const int32_t chunk = 1 + ((choice >> 4) & 7) * 700;  // reads of 1 to 4901 bytes

    {
        MemoryIo memory;
        memory.addFile(kSource, linked ? std::string("<html>") : page);
        memory.addFile(kLinked, page);
        DecodingIo state;
        prepareDecodingIo(state, memory.ops(), nullptr, PathFlavor::Posix, kSource, encoding);
        const IoOps io = decodingIoOps(state);
        const std::string enginePath = engineFormOfPath(linked ? kLinked : kSource);
        const uint32_t handle = io.openStream(io.userData, enginePath.c_str(), 0);
        fuzzCheck(handle != 0, "an existing page did not open");
        const std::vector<uint8_t> whole = readAll(io, handle, chunk);
        const int32_t middle = static_cast<int32_t>(whole.size() / 2);
        fuzzCheck(io.seekStream(io.userData, handle, middle, 0) == middle, "a seek inside failed");
        const std::vector<uint8_t> rest = readAll(io, handle, 4096);
        fuzzCheck(rest.size() == whole.size() - static_cast<size_t>(middle) &&
                      std::equal(rest.begin(), rest.end(), whole.begin() + middle),
                  "the bytes after a seek differ from those read through");
        fuzzCheck(io.closeStream(io.userData, handle) != 0, "the close failed");

        bool plain = label == nullptr || std::string(label) != "utf-16le";
        for (uint8_t byte : page) plain = plain && byte >= 0x09 && byte < 0x7F && byte != 0x1B;
        if (plain)
            fuzzCheck(whole.size() == page.size() &&
                          std::equal(whole.begin(), whole.end(), page.begin(),
                                     [](uint8_t a, char b) { return a == static_cast<uint8_t>(b); }),
                      "a plain ASCII page changed");
        fuzzCheck(state.transliterated >= 0 && state.replaced >= 0, "a negative count");
        fuzzCheck(memory.openHandles() == 0 && memory.liveBlocks() == 0,
                  "a handle or block is held after the close");
    }
    fuzzCheck(validUtf8(decodeEnginePath(page.substr(0, 255))), "a decoded path is no UTF-8");
    return 0;
}
