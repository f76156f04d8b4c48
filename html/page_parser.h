// html/page_parser.h -- converts one HTML page: plain text to the text stream, style
// changes, links, anchors, rules, frame pages and the page end to the pass's record
// streams. Block tags never write newlines themselves: they request breaks, and the
// newlines are written just before the next text, so a burst of block tags gives one
// break and a NAME anchor or link can move past it. What each tag does
// lives in the tag handlers; this module holds the main loop, the break bookkeeping and
// the steps that close every page. The pass driver prepares the context for the page
// (beginHtmlPage, baseDir, pageName, beginPage) and resolves links afterwards.
#pragma once
#include <cstdint>

#include "html/html_context.h"
#include "html/style_record.h"

// One page's parse: what the main loop and the tag handlers share beyond the context.
struct PageParse {
    HtmlContext* context;
    StyleRecord currentStyle;  // the style of the text written last
    int32_t rawText;           // 1 inside PRE: whitespace is kept
    int32_t endLoop;           // leave the main loop and run the closing steps
    int32_t pageClosed;        // the closing steps have run (PLAINTEXT, FRAMESET)
    int32_t writeFailed;       // a write of text or of a record failed
};

// Converts the page the context is reading. Returns true when the page was converted,
// also when a write failed or the input ended early, and false only when the context
// has no element stack. `writeFailed`, when given, becomes 1 when any write of text or of a
// record failed (the page's output is then incomplete), else 0. Every page ends with a
// newline (unless it produced no text), its page-end record and a default style record.
bool parsePage(HtmlContext& context, int32_t* writeFailed = nullptr);

// Break requests: each sets prevSpace, so whitespace after a block tag is dropped.
// The next text starts on a new line (nothing more when the text already does).
void requestLineBreak(HtmlContext& context);
// At least one empty line before the next text.
void requestBlankLine(HtmlContext& context);
// One newline per burst of block tags.
void requestNewline(HtmlContext& context);
// At least two newlines.
void requestParagraphEnd(HtmlContext& context);
// BR: one more newline, however many are pending.
void requestBr(HtmlContext& context);

// Before text: records a style change when the element stack changed the style, and
// writes the pending newlines. A list-item marker stays with the item's text, a NAME
// anchor that sits where the newlines go moves past them, and an open link starts after
// them. False when a write failed.
bool flushPendingBreaks(PageParse& parse);
// Writes the pending newlines and nothing else (table rules). False when a write failed.
bool writePendingNewlines(HtmlContext& context);
// The steps that end every page from the final newline on: the final newline when the
// text does not end in one, the flush, the page-end record and the default style record.
// Failures are noted in `parse`.
void finishPage(PageParse& parse);
