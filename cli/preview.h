// cli/preview.h -- one self-contained HTML page that shows an e-book as the handheld's
// reader lays it out from its document records: the text in its format runs, list
// markers, links to text positions, horizontal rules and page boundaries, under a block
// of facts about the database. It works on plain values already read from the database;
// reading and writing files is left to the caller.
//
// Layout rules. The text is cut into lines at its newlines; a line takes its alignment,
// indent, list marker and heading role from the format run that holds its first
// character. A list marker is drawn at every line that starts, with text, inside a run
// whose extra word has the marker bit. A rule sits at its text position on a line of its
// own, in place of the empty line the converter leaves for it. Page boundaries are bands
// between lines. Text no run covers has the default style (size 3, no flags), and
// positions past the end of the text are drawn at its end. Nothing in the records can
// make the page malformed: every byte of text and of the name is escaped.
#pragma once
#include <cstdint>
#include <string>
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

struct PreviewBook {
    PreviewFacts facts;
    std::string text;                    // the decoded text, Windows-1252 bytes
    std::vector<FormatRun> runs;         // in text order, from every format record
    std::vector<LinkEntry> links;        // spacer entries may be left in; they are skipped
    std::vector<RuleEntry> rules;        // spacer entries may be left in; they are skipped
    std::vector<PageBoundaryRun> pages;  // in record order
};

// The whole page, UTF-8.
std::string renderPreview(const PreviewBook& book);

// The marker a list line starts with, from a run's extra word: a bullet for list types
// 0 to 2 (disc, circle, square), else the item number ((bits 8-15) + 1) as a capital or
// small letter sequence, a capital or small roman numeral, or a decimal, with a full stop.
std::string listMarkerText(uint16_t extra);
