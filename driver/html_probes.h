// driver/html_probes.h -- the driver's and the front ends' questions to the HTML reader:
// is a source HTML, and what is a page's title. Each probe reads through a reader
// context of its own, created and destroyed within the call.
#pragma once
#include <cstdint>

#include "engine/io_ops.h"

// True when `name` (the source's path, or nullptr when unknown) ends in an HTML
// extension (see hasHtmlName), or when the HTML sniff finds an HTML start tag or an HTML
// document type among the leading tags of the stream (read from its start). Whoever
// decides for the engine what a source is passes the same name, so both agree.
bool isHtmlSource(const IoOps& io, uint32_t stream, const char* name);
// The text of the TITLE element, at most `maxLength` bytes plus a zero, into `title`.
bool probeHtmlTitle(const IoOps& io, const char* path, char* title, int32_t maxLength);
