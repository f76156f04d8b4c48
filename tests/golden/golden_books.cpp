// tests/golden/golden_books.cpp -- makes a fixed corpus and converts it, so that the
// books' checksums can be compared with bench/golden.txt. Every source is generated
// from a fixed seed or copied from samples/, and the conversion time stamps are zeroed,
// so the same engine writes the same bytes on every machine and every day; a speed-up
// that changes one output byte shows up as a changed checksum.
//
// usage: golden_books OUTPUT_DIR   (writes OUTPUT_DIR/corpus/* and OUTPUT_DIR/*.pdb;
// prints each conversion's result code name, exits 1 when one was not ResultOk). Source
// paths are absolute and every page is read through the decoding wrapper, as the front
// ends do; no book depends on where they are.
#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "driver/conversion.h"
#include "frontend/decoding_io.h"
#include "frontend/epub_io.h"
#include "platform/standard_io.h"

namespace {

using Bytes = std::vector<uint8_t>;

// Numerical Recipes' LCG: fixed, portable, and good enough to vary word choice.
struct Lcg {
    uint32_t state;
    uint32_t next() {
        state = state * 1664525u + 1013904223u;
        return state >> 8;
    }
    uint32_t below(uint32_t bound) { return next() % bound; }
};

const char* const kWords[] = {
    "the", "of", "and", "to", "a", "in", "is", "that", "for", "it", "as", "was", "with",
    "be", "by", "on", "not", "he", "this", "are", "or", "his", "from", "at", "which",
    "but", "have", "an", "had", "they", "you", "were", "their", "one", "all", "we", "can",
    "her", "has", "there", "been", "if", "more", "when", "will", "would", "who", "so",
    "lighthouse", "keeper", "ledger", "lamp", "wick", "oil", "tide", "harbour", "storm",
    "gallery", "lantern", "shipping", "northern", "southern", "weather", "barometer",
    "software", "licence", "distribute", "copyright", "permission", "warranty", "source",
    "program", "document", "conditions", "provided", "notice", "without", "modification",
    "Palm", "handheld", "reader", "chapter", "section", "paragraph", "compression",
    "inspector", "visibility", "fathoms", "Tuesday", "October", "evening", "morning",
};
constexpr uint32_t kWordCount = sizeof kWords / sizeof kWords[0];

// English-like prose: sentences of 4-20 words, lines broken near 72 columns, blank
// lines between paragraphs; CR LF in every third paragraph, a tab indent in every
// fourth, and now and then a NUL byte or a lone CR so every filter rule meets its byte.
std::string makeProse(uint32_t seed, size_t targetBytes) {
    Lcg rng{seed};
    std::string text;
    for (int paragraph = 0; text.size() < targetBytes; ++paragraph) {
        const char* lineBreak = paragraph % 3 == 0 ? "\r\n" : "\n";
        if (paragraph % 4 == 1) text += '\t';
        size_t column = 0;
        const int sentences = 2 + static_cast<int>(rng.below(6));
        for (int s = 0; s < sentences; ++s) {
            const int words = 4 + static_cast<int>(rng.below(17));
            for (int w = 0; w < words; ++w) {
                std::string word = kWords[rng.below(kWordCount)];
                if (w == 0) word[0] = static_cast<char>(std::toupper(word[0]));
                if (w + 1 == words) word += rng.below(5) == 0 ? "?" : ".";
                else if (rng.below(9) == 0) word += ",";
                if (column + word.size() > 72) {
                    text += lineBreak;
                    column = 0;
                } else if (column > 0) {
                    text += ' ';
                    ++column;
                }
                text += word;
                column += word.size();
                if (rng.below(997) == 0) text += '\0';
                if (rng.below(1499) == 0) text += '\r';
            }
        }
        text += lineBreak;
        text += lineBreak;
    }
    text.resize(targetBytes);
    return text;
}

// Bytes with little to find: mostly noise, with short copies of earlier bytes at every
// distance, long runs and an incompressible stretch that forces stored chunks.
Bytes makeBinary(uint32_t seed, size_t targetBytes) {
    Lcg rng{seed};
    Bytes bytes;
    while (bytes.size() < targetBytes) {
        const uint32_t pick = rng.below(10);
        if (pick < 5 || bytes.size() < 300) {
            for (int i = 0; i < 40; ++i) bytes.push_back(static_cast<uint8_t>(rng.next()));
        } else if (pick < 8) {
            const size_t distance = 1 + rng.below(static_cast<uint32_t>(std::min<size_t>(bytes.size(), 4095)));
            const size_t length = 3 + rng.below(300);
            for (size_t i = 0; i < length; ++i) bytes.push_back(bytes[bytes.size() - distance]);
        } else {
            bytes.insert(bytes.end(), 1 + rng.below(600), static_cast<uint8_t>(rng.next()));
        }
    }
    // The last 12 KB are pure noise: those chunks cannot be coded smaller and are stored.
    for (size_t i = targetBytes > 12288 ? targetBytes - 12288 : 0; i < targetBytes; ++i)
        bytes[i] = static_cast<uint8_t>(rng.next());
    bytes.resize(targetBytes);
    return bytes;
}

// A site of `pages` pages that uses every kind of markup the pass knows: headings,
// paragraphs and breaks, fonts, lists of every type, definition lists, tables, rules,
// preformatted text, entities good and bad, anchors and links between the pages (with
// and without fragments, in any letter case), frames, and markup that is malformed.
// Page 0 is index.html; page k links on to pages 2k+1 and 2k+2, so depth limits cut it.
std::string makeHtmlPage(int page, int pages, uint32_t seed, size_t paragraphs) {
    Lcg rng{seed + static_cast<uint32_t>(page) * 977u};
    auto name = [](int k) { return k == 0 ? std::string("index.html") : "page" + std::to_string(k) + ".html"; };
    std::string html = "<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.01//EN\">\n<HTML><head><title>Page " +
                       std::to_string(page) + " of the &quot;ledger&quot;</title></head>\n<body bgcolor=white>\n";
    html += "<h1 align=center><a name=\"top\">Chapter " + std::to_string(page) + "</a></h1>\n";
    for (int child = 2 * page + 1; child <= 2 * page + 2 && child < pages; ++child)
        html += "<p>Next: <a href=\"" + name(child) + "\">chapter " + std::to_string(child) + "</a>\n";
    if (page > 0) html += "<p><A HREF=\"" + name((page - 1) / 2) + "#Section2\">Up to section 2</A>, or <a href='#TOP'>top</a>.\n";
    for (size_t p = 0; p < paragraphs; ++p) {
        const uint32_t kind = rng.below(16);
        if (kind == 0) html += "<h" + std::to_string(2 + rng.below(5)) + "><a name=\"section" + std::to_string(p) + "\">Section " + std::to_string(p) + "</a></h2>\n";
        if (kind == 1) html += "<ul type=square><li>one<li>two <b>bold</b><ul><li>inner</ul><li>three</ul>\n";
        if (kind == 2) html += "<ol type=A start=" + std::to_string(rng.below(30)) + "><li>first<li value=7>seventh<li>eighth</ol>\n";
        if (kind == 3) html += "<dl><dt>Term<dd>Its meaning, <i>in italics</i>.<dt>Other<dd>Another</dl>\n";
        if (kind == 4) html += "<table border=1><tr><th>Head<td align=right>cell 1<td>cell 2</tr><tr><td colspan=2>wide</table>\n";
        if (kind == 5) html += "<hr width=" + std::to_string(10 + rng.below(90)) + "% size=" + std::to_string(1 + rng.below(5)) + " noshade align=left>\n";
        if (kind == 6) html += "<pre>  preformatted\r\n\ttext   keeps  its   spaces\n  &lt;tag&gt; &amp;c\n</pre>\n";
        if (kind == 7) html += "<p>Entities: &eacute;t&eacute; &copy; &#233; &#8364; &#x41; &bogus; &amp &lt3 &#99999; &nbsp;end\n";
        if (kind == 8) html += "<font size=+2 color=red>big <font size=1>small</font> back</font> <big>bigger</big> <small>smaller</small> <tt>mono</tt> <u>under</u> <s>struck</s> x<sub>2</sub> y<sup>3</sup>\n";
        if (kind == 9) html += "<center>Centred <br> line<br><br>after two breaks</center><blockquote>Quoted <em>text</em>.</blockquote>\n";
        if (kind == 10) html += "<p>A <a href=\"" + name(static_cast<int>(rng.below(static_cast<uint32_t>(pages)))) + "#section" + std::to_string(rng.below(12)) + "\">link to a section</a> and <a href=\"missing" + std::to_string(rng.below(5)) + ".html\">a missing page</a>.\n";
        if (kind == 11) html += "<p <b>malformed <tag attr=\"unterminated>text</p> <xyz>unknown</xyz> < not a tag > & alone\n";
        if (kind == 12) html += "<script>var x = \"<b>not text</b>\";</script><style>p { color: red }</style><xmp><b>literal</b></xmp>\n";
        if (kind == 13) html += "<div align=right><p align=center>aligned <strike>old</strike> <strong>strong</strong> <code>code</code> <kbd>keys</kbd> <var>v</var> <cite>cite</cite> <address>addr</address></div>\n";
        if (kind == 14) html += "<menu><li>menu item</menu><dir><li>dir item</dir><ol type=i><li>roman<li>two</ol><ol type=1 start=0><li>zero</ol>\n";
        if (kind == 15) html += "<a name=\"n" + std::to_string(p) + "\"></a><basefont size=5>basefont <h3 align=right>right heading</h3>\n";
        html += "<p>";
        const int sentences = 1 + static_cast<int>(rng.below(4));
        for (int w = 0; w < sentences * 12; ++w) {
            html += kWords[rng.below(kWordCount)];
            html += rng.below(10) == 0 ? "\n  " : " ";
        }
        html += "\n";
    }
    if (page == 1) html += "<frameset cols=\"50%,50%\"><frame src=\"page3.html\"><frame src=\"PAGE4.HTML\"></frameset>\n";
    html += "<p><a href=\"#top\">Back to the top</a>\n</body></HTML>\n";
    return html;
}

void putBig16(Bytes& out, size_t at, uint32_t value) {
    out[at] = static_cast<uint8_t>(value >> 8);
    out[at + 1] = static_cast<uint8_t>(value);
}
void putBig32(Bytes& out, size_t at, uint32_t value) {
    putBig16(out, at, value >> 16);
    putBig16(out, at + 2, value);
}

// PalmDoc compression of one record, greedy: copies of 3-10 bytes at distances up to
// 2047, a space folded into the next byte, literal runs for bytes 0 and 0x80 up.
Bytes palmDocCompress(const uint8_t* text, size_t length) {
    Bytes out;
    size_t i = 0;
    while (i < length) {
        size_t bestLength = 0, bestDistance = 0;
        for (size_t distance = 1; distance <= 2047 && distance <= i; ++distance) {
            size_t n = 0;
            while (n < 10 && i + n < length && text[i + n - distance] == text[i + n]) ++n;
            if (n > bestLength) {
                bestLength = n;
                bestDistance = distance;
            }
        }
        if (bestLength >= 3) {
            const uint32_t pair = 0x8000u | static_cast<uint32_t>(bestDistance << 3) |
                                  static_cast<uint32_t>(bestLength - 3);
            out.push_back(static_cast<uint8_t>(pair >> 8));
            out.push_back(static_cast<uint8_t>(pair));
            i += bestLength;
        } else if (text[i] == ' ' && i + 1 < length && text[i + 1] >= 0x40 && text[i + 1] < 0x80) {
            out.push_back(static_cast<uint8_t>(text[i + 1] ^ 0x80));
            i += 2;
        } else if (text[i] == 0 || text[i] >= 0x80 || (text[i] >= 1 && text[i] <= 8)) {
            out.push_back(1);
            out.push_back(text[i]);
            ++i;
        } else {
            out.push_back(text[i]);
            ++i;
        }
    }
    return out;
}

// A PalmDoc database of `text` in 4096-byte records, compressed or not.
Bytes makePalmDoc(const std::string& name, const std::string& text, bool compressed) {
    std::vector<Bytes> records;
    Bytes zero(16, 0);
    putBig16(zero, 0, compressed ? 2 : 1);
    putBig32(zero, 4, static_cast<uint32_t>(text.size()));
    const size_t textRecords = (text.size() + 4095) / 4096;
    putBig16(zero, 8, static_cast<uint32_t>(textRecords));
    putBig16(zero, 10, 4096);
    records.push_back(zero);
    for (size_t start = 0; start < text.size(); start += 4096) {
        const auto* bytes = reinterpret_cast<const uint8_t*>(text.data()) + start;
        const size_t length = std::min<size_t>(4096, text.size() - start);
        records.push_back(compressed ? palmDocCompress(bytes, length) : Bytes(bytes, bytes + length));
    }
    Bytes file(78 + 8 * records.size() + 2, 0);
    for (size_t i = 0; i < name.size() && i < 31; ++i) file[i] = static_cast<uint8_t>(name[i]);
    std::copy_n("TEXtREAd", 8, file.begin() + 60);
    putBig16(file, 76, static_cast<uint32_t>(records.size()));
    for (size_t r = 0; r < records.size(); ++r) {
        putBig32(file, 78 + 8 * r, static_cast<uint32_t>(file.size()));
        file[78 + 8 * r + 5] = static_cast<uint8_t>(r);  // unique ids, little-endian
        file.insert(file.end(), records[r].begin(), records[r].end());
    }
    return file;
}

bool writeFile(const std::filesystem::path& path, const void* data, size_t size) {
    std::ofstream out(path, std::ios::binary);
    out.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
    return static_cast<bool>(out);
}

// Zeroes the three conversion time stamps: the container's creation and modification
// times (header bytes 36-43) and record 0's conversion time (its bytes 32-35).
bool zeroTimes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    Bytes book((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (book.size() < 86) return false;
    std::fill(book.begin() + 36, book.begin() + 44, 0);
    const size_t recordZero = static_cast<size_t>(book[78]) << 24 | book[79] << 16 | book[80] << 8 | book[81];
    if (recordZero + 36 > book.size()) return false;
    std::fill(book.begin() + static_cast<std::ptrdiff_t>(recordZero) + 32,
              book.begin() + static_cast<std::ptrdiff_t>(recordZero) + 36, 0);
    return writeFile(path, book.data(), book.size());
}

struct Options {
    int32_t removeCR, removeLF, convertCRtoLF, slbSpaces, tabToLB, tabToSpace;
};

constexpr Options kCliDefaults{1, 0, 0, -1, -1, -1};

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: golden_books OUTPUT_DIR\n");
        return 2;
    }
    namespace fs = std::filesystem;
    const fs::path out = argv[1];
    const fs::path corpus = out / "corpus";
    fs::create_directories(corpus);

    const std::string prose = makeProse(11, 300000);
    const Bytes binary = makeBinary(23, 60000);
    std::string runs(4097, 'a');  // one full chunk of 258-byte matches and a 1-byte chunk
    runs += std::string(5000, 'b') + "ab" + std::string(3000, 'c');
    const std::string tiny = "x";
    const std::string edge(4096 + 4096 * 7 + 2, 'z');  // eight chunks exactly, then two bytes

    bool ok = writeFile(corpus / "prose.txt", prose.data(), prose.size()) &&
              writeFile(corpus / "binary.bin", binary.data(), binary.size()) &&
              writeFile(corpus / "runs.txt", runs.data(), runs.size()) &&
              writeFile(corpus / "tiny.txt", tiny.data(), tiny.size()) &&
              writeFile(corpus / "edge.txt", edge.data(), edge.size());
    const Bytes docPlain = makePalmDoc("Plain Doc", prose.substr(0, 50000), false);
    const Bytes docPacked = makePalmDoc("Packed Doc", prose.substr(100000, 50000), true);
    ok = ok && writeFile(corpus / "plain.pdb", docPlain.data(), docPlain.size()) &&
         writeFile(corpus / "packed.pdb", docPacked.data(), docPacked.size());
    // HTML: a site of 40 generated pages, one long generated page, and the sample site.
    fs::create_directories(corpus / "site");
    for (int page = 0; page < 40 && ok; ++page) {
        const std::string html = makeHtmlPage(page, 40, 31, 24);
        const std::string name = page == 0 ? "index.html" : "page" + std::to_string(page) + ".html";
        ok = writeFile(corpus / "site" / name, html.data(), html.size());
    }
    const std::string longPage = makeHtmlPage(0, 1, 37, 2500);
    ok = ok && writeFile(corpus / "long.html", longPage.data(), longPage.size());
    // Characters beyond Windows-1252: UTF-8 text (with a stray Windows-1252 byte and an
    // emoji), a UTF-16 page with a mark and a surrogate pair, a page declared KOI8-R, and
    // a UTF-8 site in a folder named "José" linking by a percent-escaped name.
    const std::string utf8Text =
        "Caf\xC3\xA9 \xE2\x80\x9Cquoted\xE2\x80\x9D \xE2\x80\x94 na\xC3\xAFve \xE2\x82\xAC" "5\n"
        "\xD0\x96\xD1\x83\xD1\x80\xD0\xBD\xD0\xB0\xD0\xBB \xE4\xB8\xAD\xE6\x96\x87 "
        "x \xE2\x89\xA4 y \xE2\x86\x92 z\xE2\x80\x8B\n"
        "stray \xE9 byte, smile \xF0\x9F\x98\x80, cut \xE2\x82\n" + prose.substr(0, 20000);
    std::string utf16Page = "\xFF\xFE";
    for (char16_t unit : std::u16string(
             u"<html><head><title>Gr\u00FC\u00DFe \u2013 \u0416</title></head><body>"
             u"<h1>\u00C4rger \u2192 \U0001F600 \u00BD</h1><p>\u041F\u0440\u0438\u0432\u0435\u0442, "
             u"\u201Cworld\u201D \u2264 &amp; \u4E2D</p></body></html>\n")) {
        utf16Page += static_cast<char>(unit & 0xFF);
        utf16Page += static_cast<char>(unit >> 8);
    }
    const std::string koi8Page =
        "<html><head><meta charset=\"koi8-r\"><title>\xF0\xD2\xC9\xD7\xC5\xD4</title></head>"
        "<body><p>\xF0\xD2\xC9\xD7\xC5\xD4, \xCD\xC9\xD2! \xE1\xE2\xF7 \xC1\xC2\xD7</p></body></html>\n";
    const std::string utf8Index =
        "<html><head><meta charset=\"utf-8\"><title>Jos\xC3\xA9\xE2\x80\x99s caf\xC3\xA9</title></head>"
        "<body><p>Men\xC3\xBC <a href=\"caf%C3%A9.html\">caf\xC3\xA9 \xE2\x86\x92</a> "
        "<a href=\"caf\xC3\xA9.html#end\">fin</a></p></body></html>\n";
    const std::string utf8Cafe =
        "<html><body><p>\xC3\x89t\xC3\xA9 \xE2\x80\x94 cr\xC3\xA8me br\xC3\xBBl\xC3\xA9" "e "
        "\xE2\x80\xA6</p><a name=\"end\">\xC5\x93uvre \xC5\x81\xC3\xB3" "d\xC5\xBA</a></body></html>\n";
    ok = ok && writeFile(corpus / "utf8.txt", utf8Text.data(), utf8Text.size()) &&
         writeFile(corpus / "utf16.html", utf16Page.data(), utf16Page.size()) &&
         writeFile(corpus / "koi8.html", koi8Page.data(), koi8Page.size());
    const fs::path jose = corpus / "Jos\xC3\xA9";
    fs::create_directories(jose);
    ok = ok && writeFile(jose / "index.html", utf8Index.data(), utf8Index.size()) &&
         writeFile(jose / "caf\xC3\xA9.html", utf8Cafe.data(), utf8Cafe.size());
    const fs::path samples = fs::path(VIMLO_SOURCE_DIR) / "samples";
    std::error_code error;
    fs::copy_file(samples / "the-lighthouse-keepers-ledger.txt", corpus / "ledger.txt",
                  fs::copy_options::overwrite_existing, error);
    if (!error)
        fs::copy_file(samples / "the-lighthouse-keepers-ledger.epub", corpus / "ledger.epub",
                      fs::copy_options::overwrite_existing, error);
    if (!error)
        fs::copy(samples / "site", corpus / "garden",
                 fs::copy_options::overwrite_existing | fs::copy_options::recursive, error);
    if (!ok || error) {
        std::fprintf(stderr, "golden_books: cannot write the corpus in %s\n", corpus.c_str());
        return 1;
    }

    struct Book {
        const char* name;
        const char* source;
        Options options;
        int32_t maxDepth = 0;
    };
    const Book books[] = {
        {"ledger", "ledger.txt", kCliDefaults},
        {"prose", "prose.txt", kCliDefaults},
        {"prose-keep", "prose.txt", {0, 0, 0, -1, -1, -1}},
        {"prose-slb", "prose.txt", {0, 0, 1, 1, -1, -1}},
        {"prose-slb-cr", "prose.txt", {1, 0, 0, 2, -1, -1}},
        {"prose-tabs", "prose.txt", {1, 1, 0, -1, -1, 4}},
        {"prose-tab-lb", "prose.txt", {0, 0, 1, -1, 2, -1}},
        {"binary", "binary.bin", {0, 0, 0, -1, -1, -1}},
        {"runs", "runs.txt", kCliDefaults},
        {"tiny", "tiny.txt", kCliDefaults},
        {"edge", "edge.txt", kCliDefaults},
        {"plain-doc", "plain.pdb", kCliDefaults},
        {"packed-doc", "packed.pdb", {0, 0, 0, 0, -1, 1}},
        {"site-all", "site/index.html", kCliDefaults, -1},
        {"site-depth2", "site/index.html", kCliDefaults, 2},
        {"site-page", "site/page5.html", kCliDefaults, 0},
        {"long-page", "long.html", kCliDefaults, 0},
        {"garden", "garden/index.html", kCliDefaults, -1},
        {"utf8-text", "utf8.txt", kCliDefaults},
        {"utf16-page", "utf16.html", kCliDefaults, 0},
        {"koi8-page", "koi8.html", kCliDefaults, 0},
        {"utf8-site", "Jos\xC3\xA9/index.html", kCliDefaults, -1},
        {"ledger-epub", "ledger.epub", kCliDefaults, 1},
    };
    int status = 0;
    for (const Book& book : books) {
        const std::string source = fs::absolute(corpus / book.source).string();
        const std::string destination = (out / (std::string(book.name) + ".pdb")).string();
        // An EPUB is converted from its contents page, as the front ends do.
        EpubIo epub;
        IoOps beneath{};
        std::string root;
        std::string refusal;
        if (!layEpubIfArchive(epub, standardIoOps, source, beneath, root, refusal)) {
            std::printf("%s: %s\n", book.name, refusal.c_str());
            status = 1;
            continue;
        }
        DecodingIo decoding;
        prepareDecodingIo(decoding, beneath, nullptr, PathFlavor::Posix, root, std::nullopt);
        const IoOps io = decodingIoOps(decoding);
        const std::string engineSource = engineFormOfPath(root);
        ConversionJob job{};
        job.io = &io;
        job.sourcePath = engineSource.c_str();
        job.destinationPath = destination.c_str();
        job.title = book.name;
        job.removeCR = book.options.removeCR;
        job.removeLF = book.options.removeLF;
        job.convertCRtoLF = book.options.convertCRtoLF;
        job.slbSpaces = book.options.slbSpaces;
        job.tabToLB = book.options.tabToLB;
        job.tabToSpace = book.options.tabToSpace;
        job.maxDepth = book.maxDepth;
        const int32_t result = convertDocument(job);
        std::printf("%s: %s\n", book.name, resultCodeName(result));
        if (result != ResultOk || !zeroTimes(destination)) status = 1;
    }
    return status;
}
