// tests/html/parsed_page.h -- runs parsePage over one page held in memory, prepared the
// way the pass driver prepares a page, and reads back everything the page produced: the
// text and the four record streams. Each test then states the text and records a page
// gives. Styles are shown as short strings of their non-default fields, so a row reads
// "b i ind1 li7.3" for bold, italic, indent 1 and a pending marker of item 3 of type 7.
#pragma once
#include <cstdint>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "html/page_records.h"
#include "html/style_record.h"
#include "tests/support/counting_io.h"
#include "tests/support/memory_io.h"

struct StyleAt {
    uint32_t position;
    std::string style;
    bool operator==(const StyleAt&) const = default;
};

struct LinkAt {
    uint32_t start;
    uint32_t end;
    std::string target;
    std::string fragment;
    bool operator==(const LinkAt&) const = default;
};

struct AnchorAt {
    uint32_t position;
    std::string name;
    bool operator==(const AnchorAt&) const = default;
};

struct RuleAt {
    uint32_t position;
    int32_t align, noShade, size, width;
    bool operator==(const RuleAt&) const = default;
};

struct QueuedPage {
    uint16_t depth;
    std::string name;
    bool operator==(const QueuedPage&) const = default;
};

// Readable gtest failure output.
inline std::ostream& operator<<(std::ostream& out, const StyleAt& s) {
    return out << "{" << s.position << " \"" << s.style << "\"}";
}
inline std::ostream& operator<<(std::ostream& out, const LinkAt& l) {
    return out << "{" << l.start << "-" << l.end << " " << l.target << " #" << l.fragment << "}";
}
inline std::ostream& operator<<(std::ostream& out, const AnchorAt& a) {
    return out << "{" << a.position << " " << a.name << "}";
}
inline std::ostream& operator<<(std::ostream& out, const RuleAt& r) {
    return out << "{" << r.position << " align " << r.align << " noshade " << r.noShade << " size "
               << r.size << " width " << r.width << "}";
}
inline std::ostream& operator<<(std::ostream& out, const QueuedPage& p) {
    return out << "{" << p.depth << " " << p.name << "}";
}

struct PageOptions {
    std::string name = "C:\\site\\page.htm";
    uint16_t depth = 0;
    bool keepNavigation = false;
    // Runs just before parsePage, to arm faults on the counting table.
    std::function<void(CountingIo&)> beforeParse;
};

struct ParsedPage {
    int result = -1;
    int32_t writeFailed = -1;
    std::string text;
    uint32_t textPos = 0;  // the context's text position afterwards
    std::string title;
    std::vector<StyleAt> styles;
    std::vector<LinkAt> links;
    std::vector<AnchorAt> anchors;
    std::vector<RuleAt> rules;
    std::vector<uint32_t> pageEnds;
    std::vector<QueuedPage> queued;  // pages queued after this one
    bool faultFired = false;
};

// The non-default fields of `style`, in field order, separated by spaces; "" for the
// default style. The list type and number show only with a pending marker.
std::string describeStyle(const StyleRecord& style);

// Parses `html` as the page `options.name` at `options.depth`. Checks with gtest that
// nothing is held afterwards.
ParsedPage parseOnePage(const std::string& html, const PageOptions& options = PageOptions());
