// engine/html_probes.cpp -- the driver's questions to the HTML reader: is a source HTML,
// and what is a page's title.
#include "engine/conversion.h"

// Stand-ins until the HTML reader replaces them: no source is HTML, no page has a title.
bool isHtmlSource(const IoOps&, uint32_t) { return false; }

bool probeHtmlTitle(const IoOps&, const char*, char*, int32_t) { return false; }
