// driver/conversion.h -- the conversion's entry point: it opens the source, decides
// whether it is a PalmDoc database, an HTML page or plain text, and runs that kind's
// first step (the text and PalmDoc input below it, or the HTML pass beside it) and the
// database writer. Also the PalmDoc title probe a front end calls before a conversion;
// the HTML probes are in driver/html_probes.h.
#pragma once
#include <cstdint>

#include "engine/conversion_job.h"
#include "engine/io_ops.h"

// Runs the whole conversion on the calling thread; returns a ResultCode. Every handle
// and block obtained through job.io is released before it returns; a partly written
// destination is left as it is.
int32_t convertDocument(const ConversionJob& job);

// True when the stream is a PalmDoc database (creator "REAd" at bytes 64-67).
bool isDocSource(const IoOps& io, uint32_t stream);
// On a PalmDoc file: true, and `name` gets the 32 name bytes plus a zero byte.
bool probeDocTitle(const IoOps& io, const char* path, char name[33]);
