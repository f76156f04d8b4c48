// bench/html_bench.cpp -- the HTML tokenizer over one real page (text runs and tags as
// the page conversion loop asks for them, then each kind alone) and computeStyle on a
// deep open-element stack.
#include <benchmark/benchmark.h>

#include "bench/bench_data.h"
#include "bench/bench_io.h"
#include "html/formatted_output.h"
#include "html/html_reader.h"

namespace {

// Splits a page into its tags ("<...>", the '<' kept) and the text between them.
void splitPage(const std::string& page, std::string& tags, std::string& text) {
    bool inTag = false;
    for (char c : page) {
        if (c == '<') inTag = true;
        (inTag ? tags : text) += c;
        if (c == '>') inTag = false;
    }
}

struct Reader {
    BenchIo io;
    HtmlContext* context;
    uint32_t stream;
    int64_t bytes;
    explicit Reader(const std::string& input)
        : context(createHtmlContext(io.ops())), stream(io.addStream(input)),
          bytes(static_cast<int64_t>(input.size())) {}
    ~Reader() { destroyHtmlContext(io.ops(), context); }
    void restart() { openHtmlSource(*context, io.ops(), stream); }
};

// Text runs until a tag follows, then the tag, as the page loop reads a page.
void BM_TokenizePage(benchmark::State& state) {
    std::string name;
    Reader reader(realPage(&name));
    HtmlContext& context = *reader.context;
    int64_t tags = 0;
    for (auto _ : state) {
        reader.restart();
        int32_t prevSpace = 1;
        tags = 0;
        for (;;) {
            uint16_t length = 0;
            const int end = readText(context, prevSpace, context.textBuffer, kTextBufferBytes, length);
            if (end == kEndOfInput) break;
            if (end == '<') {
                parseTag(context);
                ++tags;
            }
        }
    }
    state.SetBytesProcessed(state.iterations() * reader.bytes);
    state.counters["tags"] = static_cast<double>(tags);
    state.SetLabel(name);
}
BENCHMARK(BM_TokenizePage);

void BM_ReadTextOfPage(benchmark::State& state) {
    std::string tags, text;
    splitPage(realPage(), tags, text);
    Reader reader(text);
    HtmlContext& context = *reader.context;
    for (auto _ : state) {
        reader.restart();
        int32_t prevSpace = 1;
        uint16_t length = 0;
        while (readText(context, prevSpace, context.textBuffer, kTextBufferBytes, length) != kEndOfInput) {
        }
    }
    state.SetBytesProcessed(state.iterations() * reader.bytes);
}
BENCHMARK(BM_ReadTextOfPage);

void BM_ParseTagsOfPage(benchmark::State& state) {
    std::string tags, text;
    splitPage(realPage(), tags, text);
    Reader reader(tags);
    HtmlContext& context = *reader.context;
    for (auto _ : state) {
        reader.restart();
        while (readChar(context) == '<') parseTag(context);
    }
    state.SetBytesProcessed(state.iterations() * reader.bytes);
}
BENCHMARK(BM_ParseTagsOfPage);

// 240 open elements of every contributing kind: lists, fonts, cells, links.
void BM_ComputeStyleDeepStack(benchmark::State& state) {
    BenchIo io;
    FormattedOutput* output = createFormattedOutput(io.ops());
    resetElements(*output);
    for (int i = 0; output->count < 240; ++i) {
        switch (i % 12) {
            case 0: pushListElement(*output, ElementUl, -1, 0); break;
            case 1: beginListItem(*output, -1, 0); break;
            case 2: pushFontElement(*output, ElementFont, 1, 1, 200); break;
            case 3: pushElement(*output, ElementB); break;
            case 4: pushElementValue(*output, ElementDiv, kAlignCenter); break;
            case 5: pushElement(*output, ElementBlockquote); break;
            case 6: pushElement(*output, ElementTable); break;
            case 7: pushElement(*output, ElementTd); break;
            case 8: pushListElement(*output, ElementOl, 5, 3); break;
            case 9: pushElement(*output, ElementA); break;
            case 10: pushElement(*output, ElementSmall); break;
            default: pushElement(*output, ElementTt); break;
        }
    }
    StyleRecord style;
    for (auto _ : state) {
        computeStyle(*output, style);
        benchmark::DoNotOptimize(style);
    }
    state.counters["entries"] = output->count;
    destroyFormattedOutput(io.ops(), output);
}
BENCHMARK(BM_ComputeStyleDeepStack);

}  // namespace
