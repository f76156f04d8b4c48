// cli/preview.cpp -- see preview.h. The page is built in one forward walk over the text:
// at each position the page bands, rules and anchors that sit there come first, then the
// text up to the next position where the run, the link, a band, a rule, an anchor or the
// line changes. No whitespace is written between the elements of a line, so a word cut
// by runs stays one word.
#include "cli/preview.h"

#include <algorithm>
#include <cstdio>
#include <limits>

#include "cli/palm_text.h"
#include "engine/ebook_layout.h"

namespace {

constexpr uint16_t kDefaultAttributes = 3;  // size 3, no flags: text no run covers

// The handheld's screen is 160 pixels wide; the page draws each of its pixels as this
// many CSS pixels, so a 160-pixel-wide book column.
constexpr int kCssPixelsPerPixel = 2;
constexpr int kScreenPixels = 160;
constexpr int kIndentPixels = 10;  // one indent level

constexpr uint64_t kNowhere = std::numeric_limits<uint64_t>::max();

const char kStyleSheet[] =
    "body{margin:0;padding:16px;background:#d8d8d0;color:#000;font-family:sans-serif}"
    ".facts{max-width:40em;margin:0 auto 16px;font-size:13px}"
    ".facts .name{font-size:16px;font-weight:bold;margin:0 0 4px}"
    ".facts dl{display:grid;grid-template-columns:max-content auto;gap:1px 12px;margin:0}"
    ".facts dt{color:#555}.facts dd{margin:0}"
    ".screen{box-sizing:content-box;margin:0 auto;padding:8px 8px 8px 24px;"
    "background:#fff;border:1px solid #888;font-size:15px}"
    ".l{margin:0;font-weight:normal;font-size:15px;white-space:pre-wrap;overflow-wrap:anywhere}"
    ".c{text-align:center}.r{text-align:right}"
    ".f1{font-size:11px}.f2{font-size:13px}.f3{font-size:15px}.f4{font-size:17px}"
    ".f5{font-size:20px}.f6{font-size:24px}.f7{font-size:28px}"
    ".h{font-weight:bold}"
    ".lu{text-decoration:underline dotted}"
    "a{color:inherit;text-decoration:none}a[href]:hover{background:#eef}"
    "a.dead{cursor:not-allowed}"
    "code{font-family:monospace,monospace;font-size:1em}"
    ".mk{display:inline-block;box-sizing:border-box;width:2.4em;margin-left:-2.4em;"
    "padding-right:.4em;text-align:right;user-select:none}"
    ".ctl{color:#a00}"
    ".x{font:9px/1 monospace;border:1px solid;padding:0 1px;vertical-align:middle}"
    "hr.rule{margin:6px auto;border:1px inset #999;box-sizing:border-box}"
    "hr.rule.solid{border:none;background:#333}"
    ".page{margin:6px -8px 6px -24px;padding:1px 8px;border-top:1px dashed #888;"
    "color:#666;background:#f4f4ee;font-size:11px;text-align:right;user-select:none}"
    ".screen>.page:first-child{margin-top:-8px;border-top:none}";

void escapeInto(std::string& out, const std::string& utf8) {
    for (const char c : utf8) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            default: out += c;
        }
    }
}

// Book text bytes as page text. Carriage returns, vertical tabs and form feeds are
// whitespace of the book, so they stay as characters, written as references because the
// HTML parser would turn a raw CR into a line break. Other control bytes have no glyph
// and no place in an HTML page: the C0 controls and DEL show as their control pictures,
// and the two C1 controls Windows-1252 puts at its undefined bytes (0x81, 0x9D), which
// have no pictures, as their hexadecimal value in a box. Without `markup` (the page's
// title) the marks stand alone, and the C1 controls become U+FFFD.
void appendBookText(std::string& out, const std::string& text, size_t from, size_t to,
                    bool markup = true) {
    for (size_t i = from; i < to; ++i) {
        const uint8_t byte = static_cast<uint8_t>(text[i]);
        switch (byte) {
            case '&': out += "&amp;"; continue;
            case '<': out += "&lt;"; continue;
            case '>': out += "&gt;"; continue;
            case '"': out += "&quot;"; continue;
            case '\t': out += '\t'; continue;
            case '\r': out += "&#13;"; continue;
            case 0x0B: out += "&#11;"; continue;
            case 0x0C: out += "&#12;"; continue;
            default: break;
        }
        const uint32_t code = codePointOf1252(byte);
        const bool c1 = code >= 0x80 && code < 0xA0;
        if (code >= 0x20 && code != 0x7F && !c1) {
            appendUtf8(out, code);
            continue;
        }
        if (markup) out += c1 ? "<span class=\"ctl x\">" : "<span class=\"ctl\">";
        if (!c1) {
            appendUtf8(out, code == 0x7F ? 0x2421 : 0x2400 + code);
        } else if (markup) {
            static const char kHex[] = "0123456789ABCDEF";
            out += kHex[code >> 4];
            out += kHex[code & 0xF];
        } else {
            appendUtf8(out, 0xFFFD);
        }
        if (markup) out += "</span>";
    }
}

std::string number(uint64_t value) { return std::to_string(value); }

// A stretch of text [start, end) and the entry it came from.
struct Span {
    uint64_t start;
    uint64_t end;
    size_t index;
};

// Walks spans sorted by start while the position only grows: which span holds the
// position, and where that next changes. Where spans overlap, the earlier one holds
// until it ends.
class SpanCursor {
public:
    explicit SpanCursor(std::vector<Span> spans) : spans_(std::move(spans)) {
        std::stable_sort(spans_.begin(), spans_.end(),
                         [](const Span& a, const Span& b) { return a.start < b.start; });
    }
    // The span holding `position`, or nullptr.
    const Span* at(uint64_t position) {
        while (next_ < spans_.size() && spans_[next_].end <= position) ++next_;
        if (next_ < spans_.size() && spans_[next_].start <= position) return &spans_[next_];
        return nullptr;
    }
    // The first position after `position` where at() may answer differently.
    uint64_t nextChange(uint64_t position) {
        const Span* holding = at(position);
        if (holding != nullptr) return holding->end;
        return next_ < spans_.size() ? spans_[next_].start : kNowhere;
    }

private:
    std::vector<Span> spans_;
    size_t next_ = 0;
};

// Things drawn at a text position, in position order; the walk takes them as it passes.
template <typename T>
struct Queue {
    std::vector<std::pair<uint64_t, T>> items;
    size_t next = 0;
    void sortByPosition() {
        std::stable_sort(items.begin(), items.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
    }
    // Also true for an item left behind, so none is ever lost.
    bool hasAt(uint64_t position) const { return next < items.size() && items[next].first <= position; }
    uint64_t nextPosition() const { return next < items.size() ? items[next].first : kNowhere; }
};

struct PageBand {
    bool begins;    // a page begins here; else the last page ends here
    uint32_t page;  // the page that begins, or that ends
};

std::string alphabetic(uint32_t n, char first) {
    std::string letters;
    for (; n > 0; n = (n - 1) / 26)
        letters.insert(letters.begin(), static_cast<char>(first + (n - 1) % 26));
    return letters;
}

std::string roman(uint32_t n, bool capital) {
    static const struct {
        uint32_t value;
        const char* digits;
    } kRoman[] = {{1000, "m"}, {900, "cm"}, {500, "d"}, {400, "cd"}, {100, "c"}, {90, "xc"}, {50, "l"},
                  {40, "xl"},  {10, "x"},   {9, "ix"},  {5, "v"},    {4, "iv"},  {1, "i"}};
    std::string out;
    for (const auto& step : kRoman)
        for (; n >= step.value; n -= step.value) out += step.digits;
    if (capital)
        for (char& c : out) c = static_cast<char>(c - 'a' + 'A');
    return out;
}

class PageWriter {
public:
    explicit PageWriter(const PreviewBook& book) : book_(book), text_(book.text) {}
    std::string render();

private:
    void writeFacts();
    void collect();
    void walk();
    void placeBlocks(uint64_t position);
    void placeAnchors(uint64_t position);
    void openLine(uint64_t position);
    void closeLine();
    void writeSegment(uint64_t from, uint64_t to);
    void writeRule(const RuleEntry& rule);
    uint16_t attributesAt(uint64_t position);
    uint16_t extraAt(uint64_t position);
    bool isLineStart(uint64_t position) const { return position == 0 || text_[position - 1] == '\n'; }

    const PreviewBook& book_;
    const std::string& text_;
    std::string out_;
    SpanCursor runs_{{}};
    SpanCursor links_{{}};
    Queue<PageBand> bands_;
    Queue<size_t> rules_;  // index into book_.rules
    Queue<char> anchors_;  // link targets within the text
    bool lineOpen_ = false;
    const char* lineTag_ = "div";
    uint16_t lineAttributes_ = kDefaultAttributes;  // of the run at the text line's start
    uint16_t lineExtra_ = 0;
    uint64_t newline_ = 0;  // the next newline at or after the walk's position, or the length
    bool ruleTookLine_ = false;  // a rule stands at the start of the current text line
};

uint16_t PageWriter::attributesAt(uint64_t position) {
    const Span* run = runs_.at(position);
    return run != nullptr ? book_.runs[run->index].attributes : kDefaultAttributes;
}

uint16_t PageWriter::extraAt(uint64_t position) {
    const Span* run = runs_.at(position);
    if (run == nullptr) return 0;
    const FormatRun& format = book_.runs[run->index];
    return format.attributes & kExtraWordBit ? format.extra : 0;
}

void PageWriter::collect() {
    const uint64_t length = text_.size();
    std::vector<Span> runs;
    for (size_t i = 0; i < book_.runs.size(); ++i) {
        const FormatRun& run = book_.runs[i];
        runs.push_back({run.start, static_cast<uint64_t>(run.start) + run.length, i});
    }
    runs_ = SpanCursor(std::move(runs));

    std::vector<Span> links;
    for (size_t i = 0; i < book_.links.size(); ++i) {
        const LinkEntry& link = book_.links[i];
        if (link.length == 0) continue;  // a spacer
        links.push_back({link.position, static_cast<uint64_t>(link.position) + link.length, i});
        if (link.target <= length) anchors_.items.push_back({link.target, 0});
    }
    links_ = SpanCursor(std::move(links));
    anchors_.sortByPosition();
    anchors_.items.erase(std::unique(anchors_.items.begin(), anchors_.items.end()),
                         anchors_.items.end());

    for (size_t i = 0; i < book_.rules.size(); ++i)
        if (book_.rules[i].kind == 1)
            rules_.items.push_back({std::min<uint64_t>(book_.rules[i].position, length), i});
    rules_.sortByPosition();

    // Each boundary ends one page and begins the next; the last one ends the last page.
    // A record's first entry repeats the boundary where the record before it stopped.
    std::vector<std::pair<uint64_t, PageBand>> marks;
    for (size_t r = 0; r < book_.pages.size(); ++r) {
        const PageBoundaryRun& run = book_.pages[r];
        const size_t count = run.boundaries.size();
        for (size_t i = 0; i < count; ++i) {
            const uint64_t at = std::min<uint64_t>(run.boundaries[i], length);
            const uint32_t page = run.firstPageNumber + static_cast<uint32_t>(i);
            const bool last = r + 1 == book_.pages.size() && i + 1 == count && i > 0;
            const PageBand band = last ? PageBand{false, page - 1} : PageBand{true, page};
            if (!marks.empty() && marks.back().first == at &&
                marks.back().second.begins == band.begins && marks.back().second.page == band.page)
                continue;
            marks.push_back({at, band});
        }
    }
    bands_.items = std::move(marks);
    bands_.sortByPosition();
}

void PageWriter::openLine(uint64_t position) {
    // A line continued after a rule or band keeps its alignment and indent, not its marker.
    const bool fresh = isLineStart(position);
    if (fresh) {
        lineAttributes_ = attributesAt(position);
        lineExtra_ = extraAt(position);
    }
    const uint16_t attributes = lineAttributes_;
    const uint16_t extra = lineExtra_;
    const int size = std::max(1, attributes & kSizeMask);
    const bool hasText = position < text_.size() && text_[position] != '\n';
    // A heading's level follows its size (H1 is size 7); its blank lines are no headings.
    lineTag_ = "div";
    static const char* const kHeadings[] = {"h1", "h2", "h3", "h4", "h5", "h6"};
    if ((attributes & kHeadingBit) && hasText) lineTag_ = kHeadings[std::clamp(8 - size, 1, 6) - 1];

    out_ += '<';
    out_ += lineTag_;
    out_ += " class=\"l f" + number(size);
    if (attributes & kCenterBit)
        out_ += " c";
    else if (attributes & kRightBit)
        out_ += " r";
    out_ += '"';
    const int indent = extra & kIndentMask;
    if (indent > 0)
        out_ += " style=\"padding-left:" + number(indent * kIndentPixels * kCssPixelsPerPixel) + "px\"";
    out_ += '>';
    lineOpen_ = true;
    // A marker for each item's line: a run may hold several items of an unordered list.
    if (fresh && hasText && (extra & kListMarkerBit)) {
        out_ += "<span class=\"mk\">";
        escapeInto(out_, listMarkerText(extra));
        out_ += "</span>";
    }
}

void PageWriter::closeLine() {
    if (!lineOpen_) return;
    out_ += "</";
    out_ += lineTag_;
    out_ += ">\n";
    lineOpen_ = false;
}

void PageWriter::writeRule(const RuleEntry& rule) {
    const int size = std::max(1, rule.flags & kRuleSizeMask) * kCssPixelsPerPixel;
    std::string style = "height:" + number(size) + "px";
    if (rule.flags & kRuleWidthBit) {
        if (rule.width & kRulePercentBit)
            style += ";width:" + number(std::min(100, rule.width & 0x7FFF)) + "%";
        else
            style += ";width:" + number(rule.width * kCssPixelsPerPixel) + "px;max-width:100%";
    }
    // Centred unless a side is given.
    if (rule.flags & kRuleRightBit)
        style += ";margin-right:0";
    else if (rule.flags & kRuleLeftBit)
        style += ";margin-left:0";
    out_ += "<hr class=\"rule";
    if (rule.flags & kRuleNoShadeBit) out_ += " solid";
    out_ += "\" style=\"" + style + "\">\n";
}

// Bands and rules are blocks: a line they fall into is ended and goes on after them.
void PageWriter::placeBlocks(uint64_t position) {
    if (!bands_.hasAt(position) && !rules_.hasAt(position)) return;
    closeLine();
    for (; bands_.hasAt(position); ++bands_.next) {
        const PageBand& band = bands_.items[bands_.next].second;
        out_ += "<div class=\"page\">";
        out_ += (band.begins ? "page " : "end of page ") + number(band.page);
        out_ += "</div>\n";
    }
    for (; rules_.hasAt(position); ++rules_.next) {
        writeRule(book_.rules[rules_.items[rules_.next].second]);
        if (isLineStart(position)) ruleTookLine_ = true;
    }
}

void PageWriter::placeAnchors(uint64_t position) {
    if (!anchors_.hasAt(position)) return;
    out_ += "<a id=\"t" + number(position) + "\"></a>";
    ++anchors_.next;
}

void PageWriter::writeSegment(uint64_t from, uint64_t to) {
    const uint16_t attributes = attributesAt(from);
    const Span* link = links_.at(from);
    if (link != nullptr) {
        const uint32_t target = book_.links[link->index].target;
        if (target <= text_.size())
            out_ += "<a href=\"#t" + number(target) + "\">";
        else
            out_ += "<a class=\"dead\" title=\"leads to text position " + number(target) +
                    ", past the end of the text\">";
    }
    out_ += "<span class=\"f" + number(std::max(1, attributes & kSizeMask));
    if (attributes & kHeadingBit) out_ += " h";
    if (attributes & kLinkUnderlineBit) out_ += " lu";
    out_ += "\">";
    static const struct {
        uint16_t bit;
        const char* tag;
    } kTags[] = {{kBoldBit, "b"},        {kItalicBit, "i"},      {kUnderlineBit, "u"},
                 {kStrikeBit, "s"},      {kSubscriptBit, "sub"}, {kSuperscriptBit, "sup"},
                 {kMonospaceBit, "code"}};
    for (const auto& tag : kTags)
        if (attributes & tag.bit) out_ += std::string("<") + tag.tag + ">";
    appendBookText(out_, text_, from, to);
    for (size_t i = std::size(kTags); i-- > 0;)
        if (attributes & kTags[i].bit) out_ += std::string("</") + kTags[i].tag + ">";
    out_ += "</span>";
    if (link != nullptr) out_ += "</a>";
}

void PageWriter::walk() {
    const uint64_t length = text_.size();
    uint64_t position = 0;
    newline_ = 0;
    while (position < length) {
        if (isLineStart(position)) ruleTookLine_ = false;
        placeBlocks(position);
        if (text_[position] == '\n') {
            // The line ends here. An empty one is drawn as a blank line, unless a rule
            // stands on it; after a rule or band inside a line nothing is left of it.
            if (!lineOpen_ && isLineStart(position) && !ruleTookLine_) {
                openLine(position);
                placeAnchors(position);
                out_ += "<br>";
            } else {
                placeAnchors(position);
            }
            closeLine();
            ++position;
            continue;
        }
        if (!lineOpen_) openLine(position);
        placeAnchors(position);
        // Found once per line, not once per piece: a long line may hold many runs.
        if (newline_ <= position) {  // the character here is no newline, so it is stale
            const size_t found = text_.find('\n', position);
            newline_ = found == std::string::npos ? length : found;
        }
        uint64_t end = newline_;
        end = std::min({end, runs_.nextChange(position), links_.nextChange(position),
                        bands_.nextPosition() > position ? bands_.nextPosition() : kNowhere,
                        rules_.nextPosition() > position ? rules_.nextPosition() : kNowhere,
                        anchors_.nextPosition() > position ? anchors_.nextPosition() : kNowhere});
        writeSegment(position, end);
        position = end;
    }
    // What stands at the very end: the last page's end, rules and anchors there.
    placeBlocks(length);
    placeAnchors(length);
    closeLine();
}

void PageWriter::writeFacts() {
    const PreviewFacts& facts = book_.facts;
    out_ += "<header class=\"facts\">\n<p class=\"name\">";
    appendBookText(out_, facts.name, 0, facts.name.size());
    out_ += "</p>\n<dl>\n";
    auto fact = [&](const char* label, const std::string& value) {
        out_ += "<dt>";
        out_ += label;
        out_ += "</dt><dd>";
        escapeInto(out_, value);
        out_ += "</dd>\n";
    };
    fact("Created", palmTimeText(facts.creationTime));
    fact("Modified", palmTimeText(facts.modificationTime));
    fact("Converted", palmTimeText(facts.conversionTime));
    std::string text = number(text_.size()) + " bytes";
    if (facts.pageCount > 0)
        text += " from " + number(facts.pageCount) + (facts.pageCount == 1 ? " page" : " pages");
    fact("Text", text);
    fact("Records", number(facts.recordCount) + ": record 0, code tables " +
                        number(facts.codeTableRecords) + ", text " + number(facts.chunkRecords) +
                        ", format " + number(facts.formatRecords) + ", link " +
                        number(facts.linkRecords) + ", rule " + number(facts.ruleRecords) +
                        ", page boundary " + number(facts.boundaryRecords));
    std::string compression = "no text";
    if (!text_.empty() && facts.textRecordBytes > 0) {
        char ratio[96];
        std::snprintf(
            ratio, sizeof ratio, "%.2f : 1 (%lld bytes of text records, %.1f %% of the text)",
            static_cast<double>(text_.size()) / static_cast<double>(facts.textRecordBytes),
            static_cast<long long>(facts.textRecordBytes),
            100.0 * static_cast<double>(facts.textRecordBytes) / static_cast<double>(text_.size()));
        compression = ratio;
    }
    fact("Compression", compression);
    fact("File", number(facts.fileSize) + " bytes");
    out_ += "</dl>\n</header>\n";
}

std::string PageWriter::render() {
    collect();
    out_ +=
        "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
        "<meta name=\"viewport\" content=\"width=device-width\">\n<title>";
    appendBookText(out_, book_.facts.name, 0, book_.facts.name.size(), false);
    out_ += " (preview)</title>\n<style>";
    out_ += kStyleSheet;
    out_ += ".screen{width:" + number(kScreenPixels * kCssPixelsPerPixel) + "px}";
    out_ += "</style>\n</head>\n<body>\n";
    writeFacts();
    out_ += "<main class=\"screen\">\n";
    walk();
    out_ += "</main>\n</body>\n</html>\n";
    return std::move(out_);
}

}  // namespace

std::string listMarkerText(uint16_t extra) {
    const int type = extra >> kListTypeShift & 7;
    const uint32_t item = (extra >> kListNumberShift) + 1u;
    switch (type) {
        case 0: return "\xE2\x80\xA2";  // U+2022 bullet: disc
        case 1: return "\xE2\x97\xA6";  // U+25E6 white bullet: circle
        case 2: return "\xE2\x96\xAA";  // U+25AA small black square
        case 3: return alphabetic(item, 'A') + ".";
        case 4: return alphabetic(item, 'a') + ".";
        case 5: return roman(item, true) + ".";
        case 6: return roman(item, false) + ".";
        default: return number(item) + ".";
    }
}

std::string renderPreview(const PreviewBook& book) { return PageWriter(book).render(); }
