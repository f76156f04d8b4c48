// html/page_parser.cpp -- see page_parser.h.
#include "html/page_parser.h"

#include "html/formatted_output.h"
#include "html/html_output.h"
#include "html/html_reader.h"
#include "html/html_tables.h"
#include "html/page_records.h"
#include "html/tag_handlers.h"

namespace {

constexpr uint32_t kNone = 0xFFFFFFFFu;     // lastNameRecord: no anchor to move
constexpr uint16_t kMaxRepeat = 0xFFFF;     // emitRepeated counts in 16 bits

// Consecutive BR tags may ask for more newlines than one emitRepeated call can write.
bool writeNewlines(HtmlContext& context, int32_t count) {
    while (count > 0) {
        const uint16_t chunk = count > kMaxRepeat ? kMaxRepeat : static_cast<uint16_t>(count);
        if (!emitRepeated(context, 0x0A, chunk)) return false;
        count -= chunk;
    }
    return true;
}

}  // namespace

void requestLineBreak(HtmlContext& context) {
    context.prevSpace = 1;
    if (context.breakPending != 0) return;
    context.breakPending = 1;
    if (context.trailingNewlines == 0 && context.pendingNewlines == 0) context.pendingNewlines = 1;
}

void requestBlankLine(HtmlContext& context) {
    context.prevSpace = 1;
    context.breakPending = 1;
    const int32_t have = int32_t{context.trailingNewlines} + context.pendingNewlines;
    if (have < 2) context.pendingNewlines += 2 - have;
}

void requestNewline(HtmlContext& context) {
    context.prevSpace = 1;
    if (context.breakPending != 0) return;
    context.breakPending = 1;
    context.pendingNewlines += 1;
}

void requestParagraphEnd(HtmlContext& context) {
    context.prevSpace = 1;
    context.breakPending = 1;
    if (context.pendingNewlines < 2) context.pendingNewlines = 2;
}

void requestBr(HtmlContext& context) {
    context.prevSpace = 1;
    context.pendingNewlines += 1;
}

bool writePendingNewlines(HtmlContext& context) {
    if (context.pendingNewlines == 0) return true;
    if (!writeNewlines(context, context.pendingNewlines)) return false;
    context.breakPending = 0;
    context.pendingNewlines = 0;
    return true;
}

bool flushPendingBreaks(PageParse& parse) {
    HtmlContext& context = *parse.context;
    // Left-out navigation writes nothing, not even a style change, so the breaks wait.
    if (context.hideNesting > 0) return true;
    bool changed = updateStyle(*context.elements, parse.currentStyle);
    if (context.pendingNewlines != 0) {
        // The newlines that end a list item keep the item's style, but not its marker:
        // the marker belongs to the item's text.
        if (changed && parse.currentStyle.listMarker == 0 && context.lastListMarker == 1) {
            context.lastListMarker = 0;
            if (!writeStyleChange(context, context.textPos, parse.currentStyle)) return false;
            changed = false;
        }
        if (context.lastNameRecord != kNone && context.lastNamePos == context.textPos) {
            const uint32_t moved = context.lastNamePos + static_cast<uint32_t>(context.pendingNewlines);
            if (!patchNameAnchors(context, context.firstNameRecord, context.namesAtPosition, moved))
                return false;
            context.lastNameRecord = kNone;
            context.namesAtPosition = 0;
        }
        if (!writeNewlines(context, context.pendingNewlines)) return false;
        context.breakPending = 0;
        context.pendingNewlines = 0;
        if (context.linkStart != -1) context.linkStart = static_cast<int32_t>(context.textPos);
    }
    if (changed) {
        context.lastListMarker = static_cast<uint32_t>(parse.currentStyle.listMarker);
        if (!writeStyleChange(context, context.textPos, parse.currentStyle)) return false;
    }
    return true;
}

void finishPage(PageParse& parse) {
    HtmlContext& context = *parse.context;
    endHiddenNavigation(context);  // navigation left open ends with its page
    if (context.trailingNewlines == 0) {
        context.textBuffer[0] = 0x0A;
        if (!emitText(context, 1)) parse.writeFailed = 1;
    }
    if (!flushOutput(context)) parse.writeFailed = 1;
    if (!writePageEndRecord(context, context.textPos)) parse.writeFailed = 1;
    // The next page starts in the default style.
    if (!writeStyleChange(context, context.textPos, defaultStyle())) parse.writeFailed = 1;
    parse.pageClosed = 1;
}

bool parsePage(HtmlContext& context, int32_t* writeFailed) {
    if (writeFailed != nullptr) *writeFailed = 0;
    if (context.elements == nullptr) return false;
    resetElements(*context.elements);
    PageParse parse{&context, StyleRecord{}, 0, 0, 0, 0};
    computeStyle(*context.elements, parse.currentStyle);
    context.lastListMarker = static_cast<uint32_t>(parse.currentStyle.listMarker);

    // A run read but not yet emitted: the text after the last tag, or a run whose
    // write failed (tried once more by the closing steps).
    uint16_t unemitted = 0;
    while (parse.endLoop == 0 && parse.pageClosed == 0) {
        uint16_t length = 0;
        const int end = parse.rawText != 0
                            ? readRawText(context, context.textBuffer, kTextBufferBytes, length)
                            : readText(context, context.prevSpace, context.textBuffer,
                                       kTextBufferBytes, length);
        if (end == kEndOfInput) {
            unemitted = length;
            break;
        }
        if (length > 0 && !(flushPendingBreaks(parse) && emitText(context, length))) {
            unemitted = length;
            parse.writeFailed = 1;
            break;
        }
        if (end != '<') continue;  // the buffer was full

        parseTag(context);
        int32_t isEnd = 0;
        const int tag = lookupTag(context.tagName, isEnd);
        // The list-item marker rides on the item's first text only.
        if (length > 0 && tag != TagLi) clearListItemMarker(*context.elements);
        runTagHandler(parse, tag, isEnd);
    }

    if (parse.pageClosed == 0) {
        if (context.hideNesting > 0) {
            unemitted = 0;  // the last run belongs to navigation left open
            endHiddenNavigation(context);
        }
        if (!flushPendingBreaks(parse)) parse.writeFailed = 1;
        if (unemitted > 0 && !emitText(context, unemitted)) parse.writeFailed = 1;
        finishPage(parse);
    }
    if (writeFailed != nullptr) *writeFailed = parse.writeFailed;
    return true;
}
