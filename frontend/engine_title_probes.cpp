// frontend/engine_title_probes.cpp -- see engine_title_probes.h.
#include "frontend/engine_title_probes.h"

#include <cstring>
#include <vector>

#include "driver/conversion.h"
#include "driver/html_probes.h"
#include "frontend/decoding_io.h"
#include "frontend/epub_io.h"

std::optional<std::string> EngineTitleProbes::docTitle(const std::string& path) {
    DecodingIo decoding;
    prepareDecodingIo(decoding, io_, nullptr, PathFlavor::Posix, path, encoding_);
    decoding.prefixBytes = kTitleProbeBytes;
    const IoOps io = decodingIoOps(decoding);
    char name[33] = {};
    if (!probeDocTitle(io, decoding.engineSourcePath.c_str(), name)) return std::nullopt;
    return windows1252ToUtf8(std::string(name, strnlen(name, 32)));
}

std::optional<std::string> EngineTitleProbes::htmlTitle(const std::string& path,
                                                        int32_t maxLength) {
    if (maxLength < 0) return std::nullopt;
    // An EPUB's title is its contents page's, which carries the package's dc:title.
    EpubIo epub;
    IoOps beneath{};
    std::string page;
    std::string refusal;
    if (!layEpubIfArchive(epub, io_, path, beneath, page, refusal)) return std::nullopt;
    DecodingIo decoding;
    prepareDecodingIo(decoding, beneath, nullptr, PathFlavor::Posix, page, encoding_);
    decoding.prefixBytes = kTitleProbeBytes;
    const IoOps io = decodingIoOps(decoding);
    std::vector<char> title(static_cast<size_t>(maxLength) + 1, '\0');
    if (!probeHtmlTitle(io, decoding.engineSourcePath.c_str(), title.data(), maxLength))
        return std::nullopt;
    return windows1252ToUtf8(
        std::string(title.data(), strnlen(title.data(), static_cast<size_t>(maxLength))));
}
