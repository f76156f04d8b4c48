// The decoding wrapper over an in-memory table: what each page is presented as (passed
// through, or decoded by its mark, its declaration or the UTF-8 rule, in a page's or a
// text's form), decoding across chunk ends, the counts, the paths mapped back to real
// names, and every handle and block released when any call fails.
#include <gtest/gtest.h>

#include "frontend/decoding_io.h"
#include "frontend/engine_title_probes.h"
#include "frontend/legacy_decoder.h"
#include "tests/frontend/fakes.h"
#include "tests/support/counting_io.h"
#include "tests/support/fault_sweep.h"
#include "tests/support/memory_io.h"

namespace {

const char kSource[] = "/site/index";  // no HTML name: the content decides
const char kPage[] = "/site/page.html";

// The whole stream behind `handle`, read from its start.
std::string contentOf(const IoOps& io, uint32_t handle) {
    const int32_t size = io.seekStream(io.userData, handle, 0, 2);
    if (size < 0 || io.seekStream(io.userData, handle, 0, 0) != 0) return "<no size>";
    std::string bytes(static_cast<size_t>(size), '\0');
    if (io.readStream(io.userData, handle, size, bytes.data()) != size) return "<short read>";
    return bytes;
}

struct Decoding {
    MemoryIo memory;
    DecodingIo state;
    std::string sourcePath;
    explicit Decoding(std::optional<TextEncoding> encoding = std::nullopt, std::string source = kSource)
        : sourcePath(std::move(source)) {
        prepareDecodingIo(state, memory.ops(), nullptr, PathFlavor::Posix, sourcePath, encoding);
    }
    // What the engine reads of `bytes` as the source (or as a linked page).
    std::string present(const std::string& bytes, bool asSource = false) {
        const char* path = asSource ? sourcePath.c_str() : kPage;
        memory.addFile(path, bytes);
        const IoOps ops = decodingIoOps(state);
        const uint32_t handle = ops.openStream(ops.userData, path, 0);
        if (handle == 0) return "<not opened>";
        const std::string result = contentOf(ops, handle);
        ops.closeStream(ops.userData, handle);
        EXPECT_EQ(0, memory.openHandles());
        EXPECT_EQ(0, memory.liveBlocks());
        return result;
    }
};

std::string page(const std::string& bytes) { return Decoding().present(bytes); }
std::string source(const std::string& bytes) { return Decoding().present(bytes, true); }

TEST(DecodingPages, WhatNeedsNoChangeIsHandedOnAsItIs) {
    const std::string rows[] = {
        "<p>plain ASCII</p>",
        "<p>Caf\xE9 \x93quoted\x94 \x80 \x81\x8D\x8F\x90\x9D</p>",  // Windows-1252, odd bytes too
        "<meta charset=windows-1252><p>caf\xC3\xA9</p>",             // declared: taken at its word
        "<meta charset=iso-8859-1><p>caf\xC3\xA9</p>",
        "<meta charset=utf-8><p>caf\xE9</p>",                        // a wrong declaration
        "",
    };
    for (const std::string& bytes : rows) {
        MemoryIo memory;
        memory.addFile(kPage, bytes);
        CountingIo counting(memory.ops());
        DecodingIo state;
        prepareDecodingIo(state, counting.ops(), nullptr, PathFlavor::Posix, kSource, std::nullopt);
        const IoOps ops = decodingIoOps(state);
        const uint32_t handle = ops.openStream(ops.userData, kPage, 0);
        ASSERT_NE(0u, handle);
        EXPECT_EQ(counting.handleOf(kPage), handle) << "the file's own handle";
        EXPECT_EQ(0, counting.calls(IoOp::CreateTemp));
        EXPECT_EQ(bytes, contentOf(ops, handle));
        ops.closeStream(ops.userData, handle);
        expectNothingHeld(counting);
    }
}

TEST(DecodingPages, MarksDecideAndAreNoText) {
    EXPECT_EQ("<p>caf\xE9 \x80</p>", page("\xEF\xBB\xBF<p>caf\xC3\xA9 \xE2\x82\xAC</p>"));
    EXPECT_EQ("<p>x</p>", page("\xEF\xBB\xBF<p>x</p>"));  // the mark alone changes something
    // UTF-16 both ways, with a surrogate pair (U+1F600, replaced) and U+2192 (a reference).
    const std::string le("\xFF\xFE<\0p\0>\0\xE9\0\xAC\x20=\xD8\0\xDE\x92!", 18);
    EXPECT_EQ("<p>\xE9\x80?&#8594;", page(le));
    const std::string be("\xFE\xFF\0<\0p\0>\0\xE9\x20\xAC\xD8=\xDE\0!\x92", 18);
    EXPECT_EQ("<p>\xE9\x80?&#8594;", page(be));
    // Unpaired surrogates and an odd last byte become "?".
    EXPECT_EQ("a?b?c?", page(std::string("\xFF\xFE" "a\0\0\xD8" "b\0\0\xDC" "c\0\x41", 13)));
}

TEST(DecodingPages, DeclarationsInTheFirstKilobyteDecide) {
    EXPECT_EQ("<meta charset=\"iso-8859-2\"><p>&#321;\xF3" "d&#378;</p>",
              page("<meta charset=\"iso-8859-2\"><p>\xA3\xF3" "d\xBC</p>"));
    EXPECT_EQ("<meta http-equiv=\"Content-Type\" content=\"text/html; charset=koi8-r\">"
              "&#1055;&#1088;&#1080;",
              page("<meta http-equiv=\"Content-Type\" content=\"text/html; charset=koi8-r\">\xF0\xD2\xC9"));
    EXPECT_EQ("<?xml version=\"1.0\" encoding=\"iso-8859-2\"?><p>&#321;</p>",
              page("<?xml version=\"1.0\" encoding=\"iso-8859-2\"?><p>\xA3</p>"));
    // Past the first 1024 bytes a declaration counts for nothing: the UTF-8 rule reads it.
    const std::string late = "<!--" + std::string(1020, '-') + "-->";
    EXPECT_EQ(late + "<meta charset=koi8-r>\xE9\xF0", page(late + "<meta charset=koi8-r>\xC3\xA9\xF0"));
    // A declaration of UTF-8 is the UTF-8 rule.
    EXPECT_EQ("<meta charset=utf-8>\xE9\xE9", page("<meta charset=utf-8>\xC3\xA9\xE9"));
}

// A web page's Content-Type charset goes before its own declaration and after a mark, as
// in browsers; for a text source too, where a declaration would count for nothing.
TEST(DecodingPages, TheTransportsCharsetGoesBeforeTheDeclaration) {
    auto sent = [](const char* label, const std::string& bytes, bool asSource = false) {
        Decoding decoding;
        decoding.state.transportEncoding = [label] { return encodingForLabel(label); };
        return decoding.present(bytes, asSource);
    };
    EXPECT_EQ("<meta charset=utf-8><p>&#321;\xF3</p>", sent("iso-8859-2", "<meta charset=utf-8><p>\xA3\xF3</p>"));
    EXPECT_EQ("<p>caf\xC3\xA9</p>", sent("windows-1252", "<p>caf\xC3\xA9</p>")) << "taken at its word";
    EXPECT_EQ("<p>caf\xE9</p>", sent("iso-8859-2", "\xEF\xBB\xBF<p>caf\xC3\xA9</p>")) << "the mark first";
    EXPECT_EQ("P", sent("koi8-r", "\xF0", true)) << "a text source, whose characters are transliterated";
    // Without a word from the transport the page's own declaration decides, as before.
    Decoding silent;
    silent.state.transportEncoding = [] { return std::optional<TextEncoding>(); };
    EXPECT_EQ("<meta charset=iso-8859-2>&#321;", silent.present("<meta charset=iso-8859-2>\xA3"));
}

TEST(DecodingPages, LegacyMultiByteEncodingsGoThroughThePlatformDecoder) {
    if (makeLegacyDecoder(TextEncoding::ShiftJis) == nullptr) GTEST_SKIP() << "no Shift_JIS here";
    // Half-width katakana (A6) is a Shift_JIS character of one byte; 93 FA 96 7B is 日本.
    EXPECT_EQ("<meta charset=shift_jis>&#26085;&#26412;&#65382;",
              page("<meta charset=shift_jis>\x93\xFA\x96\x7B\xA6"));
    // A two-byte character across the decoder's chunk end decodes as whole.
    const std::string head = "<meta charset=shift_jis>";
    const std::string fill(65535 - head.size(), 'a');
    EXPECT_EQ(head + fill + "&#26085;!", page(head + fill + "\x93\xFA!"));
}

TEST(DecodingPages, MixedBytesLoseNothing) {
    // Valid UTF-8 is UTF-8; every other byte is its Windows-1252 self.
    EXPECT_EQ("caf\xE9 and caf\xE9 \x93x\x94", page("caf\xC3\xA9 and caf\xE9 \x93x\x94"));
    struct Row { std::string bytes; std::string presented; };
    const Row rows[] = {
        {"\xC3\xA9 \xC0\xAF", "\xE9 \xC0\xAF"},                 // overlong
        {"\xC3\xA9 \xE0\x80\xAF", "\xE9 \xE0\x80\xAF"},         // overlong
        {"\xC3\xA9 \xF0\x80\x80\xAF", "\xE9 \xF0\x80\x80\xAF"}, // overlong
        {"\xC3\xA9 \xED\xA0\x80", "\xE9 \xED\xA0\x80"},         // a surrogate
        {"\xC3\xA9 \xF4\x90\x80\x80", "\xE9 \xF4\x90\x80\x80"}, // above U+10FFFF
        {"\xC3\xA9 \xE2\x82", "\xE9 \xE2\x82"},                 // cut by the end
        {"\xC3\xA9 \xE2\x82 x", "\xE9 \xE2\x82 x"},             // broken off
        {"\xC3\xA9\xC2\x80", "\xE9?"},                          // U+0080 is no euro sign
    };
    for (const Row& row : rows) EXPECT_EQ(row.presented, page(row.bytes)) << testing::PrintToString(row.bytes);
}

TEST(DecodingPages, ASequenceCutByAnyWindowOrChunkEndDecodesAsWhole) {
    for (const size_t end : {size_t{1024}, size_t{4096}, size_t{65536}, size_t{131072}}) {
        for (size_t before = 1; before <= 3; ++before) {
            // "€" (three bytes) starts `before` bytes ahead of the end.
            const std::string fill(end - before, 'a');
            EXPECT_EQ(fill + "\x80" "b", page(fill + "\xE2\x82\xAC" "b")) << end << " " << before;
            // A sequence that is broken off right after the end stays bytes.
            EXPECT_EQ(fill + "\xE9\xE2\x82" "b", page(fill + "\xC3\xA9\xE2\x82" "b"))
                << end << " " << before;
        }
        const std::string fill(end - 1, 'a');
        EXPECT_EQ(fill + "\xE9?", page(fill + "\xC3\xA9\xF0\x9F\x98\x80"));
    }
}

TEST(DecodingSource, TheSourceIsAPageOnlyWhenTheEngineWouldTakeItForOne) {
    EXPECT_EQ("Arrows -> and <=, Zivago", source("Arrows \xE2\x86\x92 and \xE2\x89\xA4, \xD0\x96ivago"));
    EXPECT_EQ("<html><p>&#8594; &#8804;</p>", source("<html><p>\xE2\x86\x92 \xE2\x89\xA4</p>"));
    EXPECT_EQ("<!DOCTYPE html><p>&#8594;</p>", source("\xEF\xBB\xBF<!DOCTYPE html><p>\xE2\x86\x92</p>"));
    // The HTML test reads past the decoded prefix: the whole page is decoded for it.
    const std::string comment = "<!-- " + std::string(100000, 'x') + " -->";
    EXPECT_EQ(comment + "<html>&#8594;", source(comment + "<html>\xE2\x86\x92"));
    EXPECT_EQ(comment + " text ->", source(comment + " text \xE2\x86\x92"));
    // A declaration in a text means nothing; in a page it decides.
    EXPECT_EQ("<meta charset=koi8-r> text \xE9", source("<meta charset=koi8-r> text \xC3\xA9"));
    EXPECT_EQ("<html><meta charset=koi8-r>&#1055;", source("<html><meta charset=koi8-r>\xF0"));
    EXPECT_EQ("<meta charset=windows-1252> \xE9", source("<meta charset=windows-1252> \xC3\xA9"));
    EXPECT_EQ("<html><meta charset=windows-1252> \xC3\xA9",
              source("<html><meta charset=windows-1252> \xC3\xA9"));
    // A PalmDoc database keeps its bytes.
    std::string palmDoc(78, '\0');
    palmDoc.replace(60, 8, "TEXtREAd");
    palmDoc += "caf\xC3\xA9";
    EXPECT_EQ(palmDoc, source(palmDoc));
}

// The wrapper asks the engine's test with the source's name, as the driver does, so a
// page the driver takes for HTML by its name is decoded as one.
TEST(DecodingSource, AnHtmlNameMakesTheSourceAPage) {
    const std::string fragment = "<p>\xE2\x86\x92 text</p>";
    EXPECT_EQ("<p>-> text</p>", Decoding(std::nullopt, "/site/notes").present(fragment, true));
    EXPECT_EQ("<p>&#8594; text</p>", Decoding(std::nullopt, "/site/ch1.xhtml").present(fragment, true));
    // UTF-16 XHTML with an XML declaration, as EPUB chapters come.
    const std::u16string xhtml = u"<?xml version=\"1.0\" encoding=\"UTF-16\"?><p>\u2192</p>";
    std::string utf16 = "\xFF\xFE";
    for (char16_t unit : xhtml) {
        utf16 += static_cast<char>(unit & 0xFF);
        utf16 += static_cast<char>(unit >> 8);
    }
    EXPECT_EQ("<?xml version=\"1.0\" encoding=\"UTF-16\"?><p>&#8594;</p>",
              Decoding(std::nullopt, "/site/CH2.XHTML").present(utf16, true));
    EXPECT_EQ("<?xml version=\"1.0\" encoding=\"UTF-16\"?><p>-></p>",
              Decoding(std::nullopt, "/site/ch2.xml").present(utf16, true));
}

TEST(DecodingSource, TheOverrideReplacesMarksDeclarationsAndTheRule) {
    EXPECT_EQ("caf\xC3\xA9", Decoding(TextEncoding::Windows1252).present("caf\xC3\xA9", true));
    EXPECT_EQ("<html><meta charset=koi8-r>\xF0",
              Decoding(TextEncoding::Windows1252).present("<html><meta charset=koi8-r>\xF0"));
    EXPECT_EQ("Pri", Decoding(TextEncoding::Koi8R).present("\xF0\xD2\xC9", true));
    EXPECT_EQ("<p>&#1055;</p>", Decoding(TextEncoding::Koi8R).present("<p>\xF0</p>"));
    EXPECT_EQ("x\xC3\xE9", Decoding(TextEncoding::Utf8).present("\xEF\xBB\xBFx\xC3\xC3\xA9", true));
    EXPECT_EQ("a", Decoding(TextEncoding::Utf16Le).present(std::string("a\0", 2), true));
}

TEST(DecodingCounts, EachPageCountsOnceAndTheFirstCharactersAreNoted) {
    Decoding decoding;
    // Transliterated, removed (a zero-width space), replaced, and one the code page has.
    const std::string bytes = "<p>\xE2\x86\x92\xE2\x80\x8B\xF0\x9F\x98\x80\xE2\x86\x92 \xE2\x82\xAC</p>";
    EXPECT_EQ("<p>&#8594;?&#8594; \x80</p>", decoding.present(bytes));
    EXPECT_EQ("<p>&#8594;?&#8594; \x80</p>", decoding.present(bytes)) << "opened again";
    EXPECT_EQ(3, decoding.state.transliterated);
    EXPECT_EQ(1, decoding.state.replaced);
    ASSERT_EQ(3u, decoding.state.noted.size());
    EXPECT_EQ(0x2192u, decoding.state.noted[0].codePoint);
    EXPECT_EQ("->", decoding.state.noted[0].became);
    EXPECT_EQ(kPage, decoding.state.noted[0].page);
    EXPECT_EQ(HandheldForm::Removed, decoding.state.noted[1].form);
    EXPECT_EQ(HandheldForm::Replaced, decoding.state.noted[2].form);
    EXPECT_EQ("\xE2\x86\x92 U+2192 became \"->\" in /site/page.html", describeCharacter(decoding.state.noted[0]));
    EXPECT_EQ("\xF0\x9F\x98\x80 U+1F600 became ? in /site/page.html", describeCharacter(decoding.state.noted[2]));

    // No more than five distinct ones, each once.
    Decoding many;
    many.present("\xC4\x80\xC4\x80\xC4\x81\xC4\x82\xC4\x83\xC4\x84\xC4\x85\xC4\x86");
    EXPECT_EQ(8, many.state.transliterated);
    ASSERT_EQ(kNotedCharacters, many.state.noted.size());
    EXPECT_EQ(0x104u, many.state.noted.back().codePoint);
}

TEST(DecodingCounts, TheMessageSaysWhatHappenedInPlainWords) {
    EXPECT_EQ("", characterCountMessage(0, 0));
    EXPECT_EQ("312 characters were transliterated, 4 replaced by ?", characterCountMessage(312, 4));
    EXPECT_EQ("1 character was transliterated, 1 replaced by ?", characterCountMessage(1, 1));
    EXPECT_EQ("1 character was transliterated", characterCountMessage(1, 0));
    EXPECT_EQ("2 characters were replaced by ?", characterCountMessage(0, 2));
}

TEST(DecodingStreams, SeeksAndReadsAnywhereMatchTheWholeDecodedPage) {
    std::string bytes, expected;
    for (int i = 0; i < 30000; ++i) {
        bytes += "ab\xC3\xA9\xE2\x86\x92";
        expected += "ab\xE9&#8594;";
    }
    Decoding decoding;
    decoding.memory.addFile(kPage, bytes);
    const IoOps ops = decodingIoOps(decoding.state);
    const uint32_t handle = ops.openStream(ops.userData, kPage, 0);
    ASSERT_NE(0u, handle);
    EXPECT_EQ(static_cast<int32_t>(expected.size()), ops.seekStream(ops.userData, handle, 0, 2));
    for (const int32_t at : {0, 1, 4095, 4096, 65535, 65536, 100001, static_cast<int32_t>(expected.size()) - 3}) {
        ASSERT_EQ(at, ops.seekStream(ops.userData, handle, at, 0));
        char part[7] = {};
        const int32_t got = ops.readStream(ops.userData, handle, 7, part);
        EXPECT_EQ(expected.substr(static_cast<size_t>(at), 7), std::string(part, static_cast<size_t>(got))) << at;
    }
    ops.closeStream(ops.userData, handle);
    EXPECT_EQ(0, decoding.memory.openHandles());
    // Memory stays a few fixed chunks, whatever the page's size.
    EXPECT_LT(decoding.memory.peakBlockBytes(), 300000);
}

TEST(DecodingFaults, AnyFailingCallFailsTheOpenAndReleasesEverything) {
    const std::string pages[] = {
        "<html><p>\xE2\x86\x92 caf\xC3\xA9</p>" + std::string(70000, 'x') + "\xC3\xA9",
        "Text \xE2\x86\x92 " + std::string(70000, 'y'),
        "<meta charset=koi8-r>\xF0\xD2",
        "plain",
    };
    std::vector<std::string> all(std::begin(pages), std::end(pages));
    // Output more than twice the input: a failed write early in a chunk must not let the
    // rest of that chunk run past the output buffer.
    std::string arrows = "<p>";
    for (int i = 0; i < 30000; ++i) arrows += "\xE2\x86\x92";
    all.push_back(arrows);
    for (const std::string& bytes : all) {
        for (const bool asSource : {true, false}) {
            MemoryIo memory;
            memory.addFile(kSource, bytes);
            memory.addFile(kPage, bytes);
            const char* path = asSource ? kSource : kPage;
            std::string expected;
            int calls = 0;
            {
                CountingIo probe(memory.ops());
                DecodingIo state;
                prepareDecodingIo(state, probe.ops(), nullptr, PathFlavor::Posix, kSource, std::nullopt);
                const IoOps ops = decodingIoOps(state);
                const uint32_t handle = ops.openStream(ops.userData, path, 0);
                ASSERT_NE(0u, handle);
                calls = static_cast<int>(probe.log().size());
                expected = contentOf(ops, handle);
                ops.closeStream(ops.userData, handle);
            }
            forEachFailOrShort(calls, [&](int k, bool shorten) {
                CountingIo counting(memory.ops());
                failOrShortAt(counting, IoOp::Any, k, shorten);
                DecodingIo state;
                prepareDecodingIo(state, counting.ops(), nullptr, PathFlavor::Posix, kSource, std::nullopt);
                const IoOps ops = decodingIoOps(state);
                const uint32_t handle = ops.openStream(ops.userData, path, 0);
                // Either no stream, or the right one: never a half-decoded page.
                if (handle != 0) {
                    const std::string got = contentOf(ops, handle);
                    EXPECT_TRUE(expected == got) << k << (shorten ? " short" : "") << " of "
                                                 << testing::PrintToString(bytes.substr(0, 20))
                                                 << (asSource ? " as the source" : "") << ": "
                                                 << testing::PrintToString(got.substr(0, 30));
                    ops.closeStream(ops.userData, handle);
                }
                expectNothingHeld(counting);
            });
        }
    }
}

TEST(DecodingPaths, TheEngineFormMapsBackToTheRealNames) {
    EXPECT_EQ("/home/Jos\xE9/index.html", engineFormOfPath("/home/Jos\xC3\xA9/index.html"));
    EXPECT_EQ("/home/100%/a.html", engineFormOfPath("/home/100%/a.html"));
    EXPECT_EQ("/home/%E4%B9%A6/100%25/a.html", engineFormOfPath("/home/\xE4\xB9\xA6/100%/a.html"));

    DecodingIo state;
    const IoOps none{};
    prepareDecodingIo(state, none, nullptr, PathFlavor::Posix, "/d/\xE4\xB9\xA6/Jos\xC3\xA9/index.html",
                      std::nullopt);
    EXPECT_EQ("/d/%E4%B9%A6/Jos\xE9/index.html", state.engineSourcePath);
    struct Row { const char* engine; const char* real; };
    const Row rows[] = {
        {"/d/%E4%B9%A6/Jos\xE9/index.html", "/d/\xE4\xB9\xA6/Jos\xC3\xA9/index.html"},
        {"/d/%E4%B9%A6/Jos\xE9/caf\xE9.html", "/d/\xE4\xB9\xA6/Jos\xC3\xA9/caf\xC3\xA9.html"},
        {"/d/%E4%B9%A6/Jos\xE9/caf%C3%A9.html", "/d/\xE4\xB9\xA6/Jos\xC3\xA9/caf\xC3\xA9.html"},
        {"/d/%E4%B9%A6/Jos\xE9/my%20notes.html", "/d/\xE4\xB9\xA6/Jos\xC3\xA9/my notes.html"},
        {"/d/%E4%B9%A6/Jos\xE9/sub/%E4%B9%A6.html", "/d/\xE4\xB9\xA6/Jos\xC3\xA9/sub/\xE4\xB9\xA6.html"},
        {"/d/%E4%B9%A6/Jos\xE9/\x80%E9.html", "/d/\xE4\xB9\xA6/Jos\xC3\xA9/\xE2\x82\xAC\xC3\xA9.html"},
        // Escapes that would add a folder level or end the name stay written.
        {"/d/%E4%B9%A6/Jos\xE9/a%2Fb%5Cc%00d%25.html", "/d/\xE4\xB9\xA6/Jos\xC3\xA9/a%2Fb%5Cc%00d%.html"},
        // Outside the folder the whole path is decoded.
        {"/d/%E4%B9%A6/other.html", "/d/\xE4\xB9\xA6/other.html"},
        {"/e/caf\xE9%20x.html", "/e/caf\xC3\xA9 x.html"},
        {"/e/100%zz.html", "/e/100%zz.html"},
    };
    for (const Row& row : rows) EXPECT_EQ(row.real, realPathFor(state, row.engine)) << row.engine;

    // Windows spells a folder in any case and with either separator.
    prepareDecodingIo(state, none, nullptr, PathFlavor::Windows, "C:/Users/\xE4\xB9\xA6/index.htm", std::nullopt);
    EXPECT_EQ("C:/Users/\xE4\xB9\xA6/a b.htm", realPathFor(state, "c:\\users\\%E4%B9%A6/a%20b.htm"));
}

TEST(DecodingPaths, OpensGoToTheRealFileAndProgressNamesIt) {
    MemoryIo memory;
    memory.addFile("/d/Jos\xC3\xA9/index.html", "<p>root</p>");
    memory.addFile("/d/Jos\xC3\xA9/my notes.html", "<p>notes</p>");
    CountingIo counting(memory.ops());
    DecodingIo state;
    prepareDecodingIo(state, counting.ops(), nullptr, PathFlavor::Posix, "/d/Jos\xC3\xA9/index.html",
                      std::nullopt);
    const IoOps ops = decodingIoOps(state);
    for (const char* path : {"/d/Jos\xE9/index.html", "/d/Jos\xE9/my%20notes.html"}) {
        const uint32_t handle = ops.openStream(ops.userData, path, 0);
        EXPECT_NE(0u, handle) << path;
        if (handle != 0) ops.closeStream(ops.userData, handle);
    }
    char page[] = "/d/Jos\xE9/my%20notes.html";
    EXPECT_EQ(1, ops.reportProgress(ops.userData, StageCurrentPage, page));
    ASSERT_EQ(1u, counting.reports().size());
    EXPECT_EQ("/d/Jos\xC3\xA9/my notes.html", counting.reports()[0].page);
    // A "%" meant literally: the name as written, when the decoded one does not exist.
    memory.addFile("/d/Jos\xC3\xA9/100%41.html", "<p>literal</p>");
    FakeFileSystem files;
    files.entries["/d/Jos\xC3\xA9/100%41.html"] = PathLookup::File;
    state.files = &files;
    const uint32_t literal = ops.openStream(ops.userData, "/d/Jos\xE9/100%41.html", 0);
    EXPECT_NE(0u, literal);
    if (literal != 0) ops.closeStream(ops.userData, literal);
    EXPECT_EQ(0u, ops.openStream(ops.userData, "/d/Jos\xE9/missing.html", 0));
    state.files = nullptr;
    // Files the engine writes keep their names.
    const uint32_t written = ops.openStream(ops.userData, "/d/out.pdb", 1);
    EXPECT_NE(0u, written);
    ops.closeStream(ops.userData, written);
    EXPECT_TRUE(memory.exists("/d/out.pdb"));
    expectNothingHeld(counting);
}

TEST(TitleProbes, TitlesComeBackAsUtf8FromPagesInAnyEncoding) {
    MemoryIo memory;
    memory.addFile("caf\xC3\xA9.html", "<title>Chapter 1 \xE2\x80\x93 Caf\xC3\xA9</title>");
    memory.addFile("u16.html", std::string("\xFF\xFE<\0t\0i\0t\0l\0e\0>\0\xE9\0", 18));
    memory.addFile("koi.html", "<meta charset=koi8-r><title>\xE1\xC2</title>");
    EngineTitleProbes probes(memory.ops());
    EXPECT_EQ("Chapter 1 \xE2\x80\x93 Caf\xC3\xA9", probes.htmlTitle("caf\xC3\xA9.html", 31));
    EXPECT_EQ("\xC3\xA9", probes.htmlTitle("u16.html", 31));
    EXPECT_EQ(std::nullopt, probes.docTitle("u16.html"));
    EXPECT_EQ(0, memory.openHandles());
    EXPECT_EQ(0, memory.liveBlocks());
    if (makeLegacyDecoder(TextEncoding::Koi8R) != nullptr) {
        // The engine's reader maps the references the decoding writes.
        const std::optional<std::string> koi = probes.htmlTitle("koi.html", 31);
        ASSERT_TRUE(koi);
        EXPECT_TRUE(*koi == "Ab" || *koi == "&#1040;&#1073;") << *koi;
    }
    std::string palmDoc(78, '\0');
    palmDoc.replace(0, 5, "Caf\xE9!");
    palmDoc.replace(60, 8, "TEXtREAd");
    memory.addFile("book.pdb", palmDoc);
    EXPECT_EQ("Caf\xC3\xA9!", probes.docTitle("book.pdb"));
}

}  // namespace
