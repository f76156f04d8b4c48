// engine/text_filter.h -- the byte filter that text and PalmDoc input pass through on
// their way into the text stream: removal of CR and LF, CR to LF, single line breaks to
// spaces, tabs to line feeds or spaces, NUL removal. It keeps only a small state between
// chunks, so a line break split across two chunks comes out as if it were not split.
// It neither opens nor closes streams and does not report progress.
#pragma once
#include <cstdint>

#include "engine/conversion_job.h"

// What the single-line-break rule has seen and not yet written.
enum FilterState : int32_t {
    FilterInText = 0,      // inside text; pending bytes are written at the chunk's end
    FilterOneCR = 1,       // one CR held
    FilterOneLF = 2,       // one LF held, or one CR taken as LF
    FilterCRLF = 3,        // a CR LF pair held
    FilterBreakRun = 4,    // two or more line breaks, written as they come
};

struct TextFilter {
    int32_t state;  // a FilterState; starts at FilterInText
    const IoOps* io;
    uint32_t output;
    int32_t removeCR;
    int32_t removeLF;
    int32_t convertCRtoLF;
    int32_t slbSpaces;   // spaces for a single line break; -1 = the rule is off
    int32_t tabToLB;     // line feeds for a tab; -1 = off
    int32_t tabToSpace;  // spaces for a tab; -1 = off; consulted only while tabToLB is -1
};

// Starts a filter that writes to `output` with the job's text options.
void filterInit(TextFilter& filter, const ConversionJob& job, const IoOps& io, uint32_t output);
// Filters `length` bytes; false when a write to the output fell short (the
// output then keeps what was written before).
bool filterChunk(TextFilter& filter, const uint8_t* bytes, int32_t length);
