// cli/preview.h -- one self-contained HTML page that shows an e-book as the handheld's
// reader lays it out from its document records: the text in its format runs, list
// markers, links to text positions, horizontal rules and page boundaries, under a block
// of facts about the database. It works on plain values a source hands it (the records
// already decoded); reading the database and writing the page are left to the caller.
//
// Layout rules. The text is cut into lines at its newlines; a line takes its alignment,
// indent, list marker and heading role from the format run that holds its first
// character. A list marker is drawn at every line that starts, with text, inside a run
// whose extra word has the marker bit. A rule sits at its text position on a line of its
// own, in place of the empty line the converter leaves for it. Page boundaries are bands
// between lines. Text no run covers has the default style (size 3, no flags), and
// positions past the end of the text are drawn at its end. Nothing in the records can
// make the page malformed: every byte of text and of the name is escaped.
//
// The page is written as it is laid out, from text read a chunk at a time; the runs,
// links, anchors, rules and page bands are put in text order by a sort that spills to a
// temporary file, so no database, however large, is held whole.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/document_records.h"

// What the block above the page tells about the database.
struct PreviewFacts {
    std::string name;           // the database name's bytes (Windows-1252), without the terminator
    uint32_t creationTime = 0;  // seconds since 1904, from the header
    uint32_t modificationTime = 0;
    uint32_t conversionTime = 0;  // from record 0
    int64_t fileSize = 0;
    int32_t recordCount = 0;  // every record, record 0 included
    int32_t codeTableRecords = 0;
    int32_t chunkRecords = 0;
    int32_t formatRecords = 0;
    int32_t linkRecords = 0;
    int32_t ruleRecords = 0;
    int32_t boundaryRecords = 0;
    int32_t pageCount = 0;        // record 0's count of source pages
    int64_t textRecordBytes = 0;  // code-table and chunk records together, headers included
};

// One page-boundary record: `boundaries[0]` is where page `firstPageNumber` begins, and
// each further entry where the next page ends (and the one after it begins).
struct PageBoundaryRun {
    uint16_t firstPageNumber = 0;
    std::vector<uint32_t> boundaries;
};

// Where the page's ingredients come from. Each call returns BookOk or the reader's
// complaint (a BookResult), which ends the page.
class PreviewSource {
public:
    virtual ~PreviewSource() = default;
    virtual uint64_t textLength() = 0;
    // Text bytes [4096 n, 4096 (n + 1)), fewer for the last piece, into `bytes`.
    virtual int32_t readText(int32_t n, std::string& bytes) = 0;
    // Hand over every entry, in record order; spacer entries may be among them.
    virtual int32_t readRuns(const std::function<void(const FormatRun&)>& take) = 0;
    virtual int32_t readLinks(const std::function<void(const LinkEntry&)>& take) = 0;
    virtual int32_t readRules(const std::function<void(const RuleEntry&)>& take) = 0;
    // Every page-boundary record, in record order.
    virtual int32_t readPages(const std::function<void(const PageBoundaryRun&)>& take) = 0;
    virtual int32_t pageRecordCount() = 0;
};

// What the layout returns beside the source's BookResult.
constexpr int32_t kPreviewSpillFailed = -1;  // the temporary file of the sort failed (errno)
constexpr int32_t kPreviewWriteFailed = -2;  // `write` answered false

// Lays out the page of `source`, handing it to `write` in pieces as it goes. The
// sort keeps up to `sortBlockEntries` entries of a kind in memory before it spills.
int32_t writePreviewPage(const PreviewFacts& facts, PreviewSource& source,
                         const std::function<bool(std::string_view)>& write,
                         size_t sortBlockEntries = 0);

struct PreviewBook {
    PreviewFacts facts;
    std::string text;                    // the decoded text, Windows-1252 bytes
    std::vector<FormatRun> runs;         // in text order, from every format record
    std::vector<LinkEntry> links;        // spacer entries may be left in; they are skipped
    std::vector<RuleEntry> rules;        // spacer entries may be left in; they are skipped
    std::vector<PageBoundaryRun> pages;  // in record order
};

// The whole page of a book held in memory, UTF-8.
std::string renderPreview(const PreviewBook& book, size_t sortBlockEntries = 0);

// The marker a list line starts with, from a run's extra word: a bullet for list types
// 0 to 2 (disc, circle, square), else the item number ((bits 8-15) + 1) as a capital or
// small letter sequence, a capital or small roman numeral, or a decimal, with a full stop.
std::string listMarkerText(uint16_t extra);
