// bench/bench_data.cpp -- see bench_data.h.
#include "bench/bench_data.h"

#include <algorithm>
#include <fstream>
#include <iterator>

namespace {

std::string readFile(const char* path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

}  // namespace

std::string realText(size_t bytes) {
    std::string source = readFile("/usr/share/common-licenses/GPL-3");
    if (source.empty()) source = readFile(VIMLO_SOURCE_DIR "/samples/the-lighthouse-keepers-ledger.txt");
    std::string text;
    while (text.size() < bytes) text += source;
    text.resize(bytes);
    return text;
}

std::vector<uint8_t> binaryLike(size_t bytes) {
    uint32_t state = 23;
    auto next = [&state] {
        state = state * 1664525u + 1013904223u;
        return state >> 8;
    };
    std::vector<uint8_t> out;
    while (out.size() < bytes) {
        const uint32_t pick = next() % 10;
        if (pick < 6 || out.size() < 64) {
            for (int i = 0; i < 24; ++i) out.push_back(static_cast<uint8_t>(next()));
        } else if (pick < 9) {
            const size_t distance = 1 + next() % std::min<size_t>(out.size(), 4095);
            const size_t length = 3 + next() % 40;
            for (size_t i = 0; i < length; ++i) out.push_back(out[out.size() - distance]);
        } else {
            out.insert(out.end(), 1 + next() % 60, static_cast<uint8_t>(next()));
        }
    }
    out.resize(bytes);
    return out;
}

std::string realPage(std::string* name) {
    const char* manualPage = "/usr/share/doc/flex-doc/html/Patterns.html";
    std::string page = readFile(manualPage);
    if (!page.empty()) {
        if (name != nullptr) *name = manualPage;
        return page;
    }
    if (name != nullptr) *name = "samples/site/*.html";
    for (const char* sample : {"index.html", "soil.html", "sowing.html", "plot-north.html"})
        page += readFile((std::string(VIMLO_SOURCE_DIR "/samples/site/") + sample).c_str());
    return page;
}
