// driver/html_probes.cpp -- see html_probes.h.
#include "driver/html_probes.h"

#include "html/html_reader.h"

bool isHtmlSource(const IoOps& io, uint32_t stream, const char* name) {
    if (hasHtmlName(name)) return true;
    // Without a context the source cannot be sniffed; it is then converted as text.
    HtmlContext* context = createHtmlContext(io);
    if (context == nullptr) return false;
    const bool html = openHtmlSource(*context, io, stream) && scanHtmlSignature(*context);
    destroyHtmlContext(io, context);
    return html;
}

bool probeHtmlTitle(const IoOps& io, const char* path, char* title, int32_t maxLength) {
    const uint32_t stream = io.openStream(io.userData, path, 0);
    if (stream == 0) return false;
    bool found = false;
    HtmlContext* context = createHtmlContext(io);
    if (context != nullptr) {
        found = openHtmlSource(*context, io, stream) && readHtmlTitle(*context, title, maxLength);
        destroyHtmlContext(io, context);
    }
    io.closeStream(io.userData, stream);
    return found;
}
