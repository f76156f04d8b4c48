// html/html_output.cpp -- see html_output.h.
#include "html/html_output.h"

#include <cstring>

bool flushOutput(HtmlContext& context) {
    if (context.outFill == 0) return true;
    if (context.textStream != 0) {
        const IoOps& io = *context.io;
        const int32_t written =
            io.writeStream(io.userData, context.textStream, context.outFill, context.outBuffer);
        if (written != context.outFill) return false;
    }
    context.outFill = 0;
    return true;
}

bool emitText(HtmlContext& context, int32_t count) {
    if (count < 0 || count > kTextBufferBytes) return false;
    if (context.hideNesting > 0) return true;  // left-out navigation: no text, no position
    if (context.outFill + count > kOutBufferBytes && !flushOutput(context)) return false;
    std::memcpy(context.outBuffer + context.outFill, context.textBuffer,
                static_cast<size_t>(count));
    context.outFill = static_cast<uint16_t>(context.outFill + count);
    context.textPos += static_cast<uint32_t>(count);
    for (int32_t i = 0; i < count; ++i) {
        // Saturates rather than wrapping to 0, which would read as "no newline at the end".
        if (context.textBuffer[i] != 0x0A) context.trailingNewlines = 0;
        else if (context.trailingNewlines < 0xFFFF) ++context.trailingNewlines;
    }
    return true;
}

bool emitRepeated(HtmlContext& context, uint8_t byte, uint16_t count) {
    if (context.hideNesting > 0) return true;
    for (uint16_t i = 0; i < count; ++i) {
        if (context.outFill >= kOutBufferBytes && !flushOutput(context)) return false;
        context.outBuffer[context.outFill++] = byte;
        ++context.textPos;
    }
    return true;
}
