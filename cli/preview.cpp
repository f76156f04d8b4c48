// cli/preview.cpp -- see preview.h. The page is built in one forward walk over the text:
// at each position the page bands, rules and anchors that sit there come first, then the
// text up to the next position where the run, the link, a band, a rule, an anchor or the
// line changes. No whitespace is written between the elements of a line, so a word cut
// by runs stays one word. The walk only moves forward, so it reads the text a piece at a
// time and takes each kind of entry from its own sorted stream.
#include "cli/preview.h"

#include <algorithm>
#include <cstdio>
#include <limits>

#include "cli/palm_text.h"
#include "cli/spill_sort.h"
#include "engine/book_reader.h"
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
void appendBookByte(std::string& out, uint8_t byte, bool markup = true) {
    switch (byte) {
        case '&': out += "&amp;"; return;
        case '<': out += "&lt;"; return;
        case '>': out += "&gt;"; return;
        case '"': out += "&quot;"; return;
        case '\t': out += '\t'; return;
        case '\r': out += "&#13;"; return;
        case 0x0B: out += "&#11;"; return;
        case 0x0C: out += "&#12;"; return;
        default: break;
    }
    const uint32_t code = codePointOf1252(byte);
    const bool c1 = code >= 0x80 && code < 0xA0;
    if (code >= 0x20 && code != 0x7F && !c1) {
        appendUtf8(out, code);
        return;
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

void appendBookText(std::string& out, const std::string& text, bool markup = true) {
    for (const char c : text) appendBookByte(out, static_cast<uint8_t>(c), markup);
}

std::string number(uint64_t value) { return std::to_string(value); }

// The entries of one kind, sorted by their position. At most a few blocks of them are
// in memory at once.
template <typename Item>
class Sorted {
public:
    using Entry = typename SpillSorter<Item>::Entry;
    explicit Sorted(size_t blockEntries) : sorter_(blockEntries) {}
    void add(uint64_t position, const Item& item) { sorter_.add(position, item); }
    bool finish() { return sorter_.finish(); }
    bool failed() const { return sorter_.failed(); }

    // As a queue of things drawn at a position, which the walk takes as it passes. Also
    // true for an item left behind, so none is ever lost.
    bool hasAt(uint64_t position) const {
        const Entry* head = sorter_.peek();
        return head != nullptr && head->key <= position;
    }
    uint64_t nextPosition() const {
        const Entry* head = sorter_.peek();
        return head != nullptr ? head->key : kNowhere;
    }
    const Entry* head() const { return sorter_.peek(); }
    void pop() { sorter_.pop(); }

    // As stretches [key, item.end) while the position only grows: which one holds the
    // position, and where that next changes. Where they overlap, the earlier one holds
    // until it ends.
    const Entry* at(uint64_t position) {
        const Entry* head = sorter_.peek();
        while (head != nullptr && head->item.end <= position) {
            sorter_.pop();
            head = sorter_.peek();
        }
        return head != nullptr && head->key <= position ? head : nullptr;
    }
    uint64_t nextChange(uint64_t position) {
        const Entry* holding = at(position);
        if (holding != nullptr) return holding->item.end;
        return nextPosition();
    }

private:
    SpillSorter<Item> sorter_;
};

struct RunItem {
    uint64_t end;
    uint16_t attributes;
    uint16_t extra;
};

struct LinkItem {
    uint64_t end;
    uint32_t target;
};

struct Anchor {};  // an anchor is all position

// The text read forward a piece at a time. The byte before the current piece is kept,
// since a line starts after a newline.
class TextCursor {
public:
    TextCursor(PreviewSource& source, uint64_t length) : source_(source), length_(length) {}
    // The byte at `position`, which is never before the byte before the current piece.
    // 0 once reading failed (`failure` says why).
    uint8_t at(uint64_t position) {
        while (failure_ == BookOk && position >= start_ + piece_.size()) {
            if (!piece_.empty()) before_ = static_cast<uint8_t>(piece_.back());
            start_ += piece_.size();
            piece_.clear();
            if (start_ >= length_) failure_ = BookBadArgument;  // past the text: a caller's fault
            else failure_ = source_.readText(next_++, piece_);
            if (failure_ == BookOk && piece_.empty()) failure_ = BookBadArgument;
        }
        if (failure_ != BookOk) return 0;
        return position < start_ ? before_ : static_cast<uint8_t>(piece_[position - start_]);
    }
    int32_t failure() const { return failure_; }

private:
    PreviewSource& source_;
    uint64_t length_;
    std::string piece_;
    uint64_t start_ = 0;  // text position of piece_[0]
    int32_t next_ = 0;    // the next piece to read
    uint8_t before_ = 0;
    int32_t failure_ = BookOk;
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

constexpr size_t kOutputBytes = 1 << 16;  // the page goes out in pieces of about this size

class PageWriter {
public:
    PageWriter(const PreviewFacts& facts, PreviewSource& source,
               const std::function<bool(std::string_view)>& write, size_t blockEntries)
        : facts_(facts),
          source_(source),
          write_(write),
          length_(source.textLength()),
          text_(source, length_),
          runs_(blockEntries),
          links_(blockEntries),
          bands_(blockEntries),
          rules_(blockEntries),
          anchors_(blockEntries) {}
    int32_t render();

private:
    int32_t collect();
    void writeFacts();
    void walk();
    void placeBlocks(uint64_t position);
    void placeAnchors(uint64_t position);
    void openLine(uint64_t position);
    void closeLine();
    uint64_t writeSegment(uint64_t from, uint64_t to);
    void writeRule(const RuleEntry& rule);
    void send();
    bool ok() const { return text_.failure() == BookOk && !writeFailed_; }
    uint16_t attributesAt(uint64_t position);
    uint16_t extraAt(uint64_t position);
    bool isLineStart(uint64_t position) { return position == 0 || text_.at(position - 1) == '\n'; }

    const PreviewFacts& facts_;
    PreviewSource& source_;
    const std::function<bool(std::string_view)>& write_;
    const uint64_t length_;
    TextCursor text_;
    std::string out_;
    bool writeFailed_ = false;
    Sorted<RunItem> runs_;
    Sorted<LinkItem> links_;
    Sorted<PageBand> bands_;
    Sorted<RuleEntry> rules_;
    Sorted<Anchor> anchors_;  // link targets within the text
    bool lineOpen_ = false;
    const char* lineTag_ = "div";
    uint16_t lineAttributes_ = kDefaultAttributes;  // of the run at the text line's start
    uint16_t lineExtra_ = 0;
    bool ruleTookLine_ = false;  // a rule stands at the start of the current text line
};

void PageWriter::send() {
    if (!writeFailed_ && !out_.empty() && !write_(out_)) writeFailed_ = true;
    out_.clear();
}

uint16_t PageWriter::attributesAt(uint64_t position) {
    const auto* run = runs_.at(position);
    return run != nullptr ? run->item.attributes : kDefaultAttributes;
}

uint16_t PageWriter::extraAt(uint64_t position) {
    const auto* run = runs_.at(position);
    if (run == nullptr) return 0;
    return run->item.attributes & kExtraWordBit ? run->item.extra : 0;
}

int32_t PageWriter::collect() {
    const uint64_t length = length_;
    int32_t result = source_.readRuns([&](const FormatRun& run) {
        runs_.add(run.start, {static_cast<uint64_t>(run.start) + run.length, run.attributes, run.extra});
    });
    if (result != BookOk) return result;
    result = source_.readLinks([&](const LinkEntry& link) {
        if (link.length == 0) return;  // a spacer
        links_.add(link.position, {static_cast<uint64_t>(link.position) + link.length, link.target});
        if (link.target <= length) anchors_.add(link.target, {});
    });
    if (result != BookOk) return result;
    result = source_.readRules([&](const RuleEntry& rule) {
        if (rule.kind == 1) rules_.add(std::min<uint64_t>(rule.position, length), rule);
    });
    if (result != BookOk) return result;

    // Each boundary ends one page and begins the next; the last one ends the last page.
    // A record's first entry repeats the boundary where the record before it stopped.
    const int32_t records = source_.pageRecordCount();
    int32_t record = 0;
    bool marked = false;
    uint64_t lastAt = 0;
    PageBand lastBand{};
    result = source_.readPages([&](const PageBoundaryRun& run) {
        const size_t count = run.boundaries.size();
        for (size_t i = 0; i < count; ++i) {
            const uint64_t at = std::min<uint64_t>(run.boundaries[i], length);
            const uint32_t page = run.firstPageNumber + static_cast<uint32_t>(i);
            const bool last = record + 1 == records && i + 1 == count && i > 0;
            const PageBand band = last ? PageBand{false, page - 1} : PageBand{true, page};
            if (marked && lastAt == at && lastBand.begins == band.begins && lastBand.page == band.page)
                continue;
            bands_.add(at, band);
            marked = true;
            lastAt = at;
            lastBand = band;
        }
        ++record;
    });
    if (result != BookOk) return result;
    const bool sorted = runs_.finish() & links_.finish() & rules_.finish() & bands_.finish() &
                        anchors_.finish();
    return sorted ? BookOk : kPreviewSpillFailed;
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
    const bool hasText = position < length_ && text_.at(position) != '\n';
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
    if (out_.size() >= kOutputBytes) send();
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
    for (; bands_.hasAt(position); bands_.pop()) {
        const PageBand& band = bands_.head()->item;
        out_ += "<div class=\"page\">";
        out_ += (band.begins ? "page " : "end of page ") + number(band.page);
        out_ += "</div>\n";
    }
    for (; rules_.hasAt(position); rules_.pop()) {
        writeRule(rules_.head()->item);
        if (isLineStart(position)) ruleTookLine_ = true;
    }
}

void PageWriter::placeAnchors(uint64_t position) {
    if (!anchors_.hasAt(position)) return;
    out_ += "<a id=\"t" + number(position) + "\"></a>";
    // One anchor for every link to the same position.
    const uint64_t placed = anchors_.head()->key;
    while (anchors_.head() != nullptr && anchors_.head()->key == placed) anchors_.pop();
}

// Writes the text from `from` up to `to` or the next newline, whichever comes first, and
// returns where it stopped.
uint64_t PageWriter::writeSegment(uint64_t from, uint64_t to) {
    const uint16_t attributes = attributesAt(from);
    const auto* link = links_.at(from);
    if (link != nullptr) {
        const uint32_t target = link->item.target;
        if (target <= length_)
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
    uint64_t position = from;
    for (; position < to; ++position) {
        const uint8_t byte = text_.at(position);
        if (byte == '\n' || text_.failure() != BookOk) break;
        appendBookByte(out_, byte);
        if (out_.size() >= kOutputBytes) send();  // a line may be as long as the text
    }
    for (size_t i = std::size(kTags); i-- > 0;)
        if (attributes & kTags[i].bit) out_ += std::string("</") + kTags[i].tag + ">";
    out_ += "</span>";
    if (link != nullptr) out_ += "</a>";
    return position;
}

void PageWriter::walk() {
    const uint64_t length = length_;
    uint64_t position = 0;
    while (position < length && ok()) {
        if (isLineStart(position)) ruleTookLine_ = false;
        placeBlocks(position);
        if (text_.at(position) == '\n') {
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
        const uint64_t end =
            std::min({length, runs_.nextChange(position), links_.nextChange(position),
                      bands_.nextPosition() > position ? bands_.nextPosition() : kNowhere,
                      rules_.nextPosition() > position ? rules_.nextPosition() : kNowhere,
                      anchors_.nextPosition() > position ? anchors_.nextPosition() : kNowhere});
        position = writeSegment(position, end);
    }
    if (!ok()) return;
    // What stands at the very end: the last page's end, rules and anchors there.
    placeBlocks(length);
    placeAnchors(length);
    closeLine();
}

void PageWriter::writeFacts() {
    const PreviewFacts& facts = facts_;
    out_ += "<header class=\"facts\">\n<p class=\"name\">";
    appendBookText(out_, facts.name);
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
    std::string text = number(length_) + " bytes";
    if (facts.pageCount > 0)
        text += " from " + number(facts.pageCount) + (facts.pageCount == 1 ? " page" : " pages");
    fact("Text", text);
    fact("Records", number(facts.recordCount) + ": record 0, code tables " +
                        number(facts.codeTableRecords) + ", text " + number(facts.chunkRecords) +
                        ", format " + number(facts.formatRecords) + ", link " +
                        number(facts.linkRecords) + ", rule " + number(facts.ruleRecords) +
                        ", page boundary " + number(facts.boundaryRecords));
    std::string compression = "no text";
    if (length_ > 0 && facts.textRecordBytes > 0) {
        char ratio[96];
        std::snprintf(
            ratio, sizeof ratio, "%.2f : 1 (%lld bytes of text records, %.1f %% of the text)",
            static_cast<double>(length_) / static_cast<double>(facts.textRecordBytes),
            static_cast<long long>(facts.textRecordBytes),
            100.0 * static_cast<double>(facts.textRecordBytes) / static_cast<double>(length_));
        compression = ratio;
    }
    fact("Compression", compression);
    fact("File", number(facts.fileSize) + " bytes");
    out_ += "</dl>\n</header>\n";
}

int32_t PageWriter::render() {
    const int32_t collected = collect();
    if (collected != BookOk) return collected;
    out_ +=
        "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
        "<meta name=\"viewport\" content=\"width=device-width\">\n<title>";
    appendBookText(out_, facts_.name, false);
    out_ += " (preview)</title>\n<style>";
    out_ += kStyleSheet;
    out_ += ".screen{width:" + number(kScreenPixels * kCssPixelsPerPixel) + "px}";
    out_ += "</style>\n</head>\n<body>\n";
    writeFacts();
    out_ += "<main class=\"screen\">\n";
    walk();
    if (text_.failure() != BookOk) return text_.failure();
    if (runs_.failed() || links_.failed() || rules_.failed() || bands_.failed() || anchors_.failed())
        return kPreviewSpillFailed;
    out_ += "</main>\n</body>\n</html>\n";
    send();
    return writeFailed_ ? kPreviewWriteFailed : BookOk;
}

// A book held in memory as a source.
class HeldSource : public PreviewSource {
public:
    explicit HeldSource(const PreviewBook& book) : book_(book) {}
    uint64_t textLength() override { return book_.text.size(); }
    int32_t readText(int32_t n, std::string& bytes) override {
        const size_t from = static_cast<size_t>(n) * kBookChunkSize;
        if (from >= book_.text.size()) return BookBadArgument;
        bytes.assign(book_.text, from, kBookChunkSize);
        return BookOk;
    }
    int32_t readRuns(const std::function<void(const FormatRun&)>& take) override {
        for (const FormatRun& run : book_.runs) take(run);
        return BookOk;
    }
    int32_t readLinks(const std::function<void(const LinkEntry&)>& take) override {
        for (const LinkEntry& link : book_.links) take(link);
        return BookOk;
    }
    int32_t readRules(const std::function<void(const RuleEntry&)>& take) override {
        for (const RuleEntry& rule : book_.rules) take(rule);
        return BookOk;
    }
    int32_t readPages(const std::function<void(const PageBoundaryRun&)>& take) override {
        for (const PageBoundaryRun& run : book_.pages) take(run);
        return BookOk;
    }
    int32_t pageRecordCount() override { return static_cast<int32_t>(book_.pages.size()); }

private:
    const PreviewBook& book_;
};

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

int32_t writePreviewPage(const PreviewFacts& facts, PreviewSource& source,
                         const std::function<bool(std::string_view)>& write, size_t sortBlockEntries) {
    if (sortBlockEntries == 0) sortBlockEntries = SpillSorter<RunItem>::kDefaultBlockEntries;
    return PageWriter(facts, source, write, sortBlockEntries).render();
}

std::string renderPreview(const PreviewBook& book, size_t sortBlockEntries) {
    HeldSource source(book);
    std::string page;
    writePreviewPage(book.facts, source, [&](std::string_view piece) {
        page.append(piece);
        return true;
    }, sortBlockEntries);
    return page;
}
