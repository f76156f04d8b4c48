// tests/html/parsed_page.cpp -- see parsed_page.h.
#include "tests/html/parsed_page.h"

#include <gtest/gtest.h>

#include <cstring>

#include "html/html_context.h"
#include "html/html_reader.h"
#include "html/page_parser.h"
#include "html/references.h"

namespace {

template <typename Record>
bool recordAt(const std::vector<uint8_t>& bytes, size_t offset, Record& record) {
    if (offset + sizeof record > bytes.size()) return false;
    std::memcpy(&record, bytes.data() + offset, sizeof record);
    return true;
}

std::string textAt(const std::vector<uint8_t>& bytes, size_t offset, size_t length) {
    if (offset + length > bytes.size()) return "<past the end>";
    return std::string(bytes.begin() + static_cast<long>(offset),
                       bytes.begin() + static_cast<long>(offset + length));
}

void readBack(MemoryIo& memory, const HtmlContext& context, uint32_t text, ParsedPage& page) {
    const std::vector<uint8_t> textBytes = memory.bytesOfHandle(text);
    page.text.assign(textBytes.begin(), textBytes.end());
    page.textPos = context.textPos;
    page.title = context.title;

    const std::vector<uint8_t> styles = memory.bytesOfHandle(context.styleStream);
    StyleChange change;
    for (size_t at = 0; recordAt(styles, at, change); at += sizeof change)
        page.styles.push_back({change.position, describeStyle(change.style)});

    const std::vector<uint8_t> links = memory.bytesOfHandle(context.linkStream);
    LinkRecord link;
    for (size_t at = 0; recordAt(links, at, link);) {
        at += sizeof link;
        const std::string target = textAt(links, at, link.pathLength);
        const std::string fragment = textAt(links, at + link.pathLength, link.fragmentLength);
        page.links.push_back({link.startPos, link.endPos, target, fragment});
        at += link.pathLength + link.fragmentLength;
    }

    const std::vector<uint8_t> layout = memory.bytesOfHandle(context.layoutStream);
    LayoutRecord record;
    for (size_t at = 0; recordAt(layout, at, record); at += sizeof record) {
        if (record.kind == LayoutRule)
            page.rules.push_back({record.position, record.align, record.noShade, record.size, record.width});
        else
            page.pageEnds.push_back(record.position);
    }

    // The page's own record is at 0; endPage named its anchors; frames follow in the queue.
    const std::vector<uint8_t> pages = memory.bytesOfHandle(context.pageStream);
    PageRecord own;
    if (!recordAt(pages, 0, own)) return;
    size_t at = static_cast<size_t>(own.firstName);
    for (int32_t i = 0; i < own.nameCount; ++i) {
        NameRecord name;
        if (!recordAt(pages, at, name)) break;
        page.anchors.push_back({name.textPos, textAt(pages, at + sizeof name, name.nameLength)});
        at += sizeof name + name.nameLength;
    }
    for (int32_t next = own.nextInQueue; next != kNoRecord;) {
        PageRecord queued;
        if (!recordAt(pages, static_cast<size_t>(next), queued)) break;
        page.queued.push_back({queued.depth, textAt(pages, static_cast<size_t>(next) + sizeof queued, queued.nameLength)});
        next = queued.nextInQueue;
    }
}

}  // namespace

std::string describeStyle(const StyleRecord& style) {
    std::string out;
    auto add = [&out](const std::string& word) { out += (out.empty() ? "" : " ") + word; };
    if (style.alignment != 0) add("al" + std::to_string(style.alignment));
    if (style.heading != 0) add("h");
    if (style.fontSize != 3) add("size" + std::to_string(style.fontSize));
    if (style.monospace != 0) add("mono");
    if (style.bold != 0) add("b");
    if (style.underline != 0) add("u" + std::to_string(style.underline));
    if (style.italic != 0) add("i");
    if (style.strike != 0) add("s");
    if (style.subscript != 0) add("sub");
    if (style.superscript != 0) add("sup");
    if (style.indent != 0) add("ind" + std::to_string(style.indent));
    if (style.listMarker != 0)
        add("li" + std::to_string(style.listType) + "." + std::to_string(style.listNumber));
    return out;
}

ParsedPage parseOnePage(const std::string& html, const PageOptions& options) {
    MemoryIo memory;
    memory.addFile(options.name, html);
    CountingIo counting(memory.ops());
    const IoOps& io = counting.ops();
    ParsedPage page;

    HtmlContext* context = createHtmlContext(io);
    const uint32_t text = io.createTempStream(io.userData);
    uint32_t streams[4];
    for (uint32_t& stream : streams) stream = io.createTempStream(io.userData);
    const uint32_t input = io.openStream(io.userData, options.name.c_str(), 0);
    EXPECT_NE(nullptr, context);
    EXPECT_NE(0u, input);
    if (context != nullptr && input != 0 && resetHtmlContext(*context, io)) {
        context->textStream = text;
        context->styleStream = streams[0];
        context->linkStream = streams[1];
        context->pageStream = streams[2];
        context->layoutStream = streams[3];
        int32_t offset = -1;
        char path[kHtmlNameBytes];
        uint16_t depth = 0;
        EXPECT_TRUE(addPage(*context, options.depth, options.name.c_str(), &offset));
        EXPECT_TRUE(nextPage(*context, &depth, path, &context->currentPage));
        EXPECT_TRUE(beginHtmlPage(*context, depth, input));
        directoryPart(path, context->baseDir);
        std::memcpy(context->pageName, path, sizeof path);
        EXPECT_TRUE(beginPage(*context, offset));
        context->keepNavigation = options.keepNavigation ? 1 : 0;
        if (options.beforeParse) options.beforeParse(counting);
        page.result = parsePage(*context, &page.writeFailed);
        page.faultFired = counting.faultFired();
        counting.failAt(IoOp::Any, 0);  // reading back must not fail
        counting.shortAt(IoOp::Any, 0);
        EXPECT_TRUE(endPage(*context));
        readBack(memory, *context, text, page);
    }

    destroyHtmlContext(io, context);
    if (input != 0) io.closeStream(io.userData, input);
    for (int i = 3; i >= 0; --i) io.closeStream(io.userData, streams[i]);
    io.closeStream(io.userData, text);
    expectNothingHeld(counting);
    return page;
}
