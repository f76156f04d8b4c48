// html/tag_handlers.h -- what each tag does to the page being converted: the open-element
// stack, break requests, links and NAME anchors, rules and tables, and the tags that
// take over the reading (XMP, PLAINTEXT, FRAMESET, TITLE and the skipped SCRIPT-like
// elements). Unknown tags and the recognised-but-ignored ones do nothing. Handlers note
// failed writes in the PageParse and never stop the page for a failed record write;
// the main loop of page_parser calls them once per tag.
#pragma once
#include <cstdint>

#include "html/page_parser.h"

// Runs the handler of `tag` (a TagId, or -1 for an unknown tag) for a start tag, or for
// an end tag when `isEnd` is 1. The tag's attributes are those of the context's last tag.
// Before the handler, an ID on a start tag records an anchor; NAV, and any element with
// ROLE=navigation, leaves out its text up to its matching end tag unless keepNavigation
// is set (its links still record, with no text, so their pages are queued).
void runTagHandler(PageParse& parse, int tag, int32_t isEnd);

// Ends left-out navigation (an element still open at the end of its page): what comes
// next is written again, with the break requests from before it. Nothing when none.
void endHiddenNavigation(HtmlContext& context);

// Ends the open link at the current text position and records it: a "#name" HREF as a
// link into the page itself, any other resolved against baseDir and split into target
// page and fragment. An HREF that cannot be resolved is dropped. Nothing when no link
// is open.
void closeLink(PageParse& parse);

// Reads on, emitting nothing, up to and including the end tag that closes the `tag`
// element just opened, or the end of the input. Unless `nested`, the next end tag of
// `tag` closes it (SCRIPT, STYLE); when `nested`, start tags of the same name that do not
// close themselves open one more level each (an SVG inside an SVG needs two end tags).
void skipToEndTag(HtmlContext& context, int tag, bool nested);

// Decimal number as the C library reads it: optional whitespace and sign, then digits;
// no digits give 0. Saturates at +-2147483647 instead of overflowing.
int32_t readDecimal(const char* text);
