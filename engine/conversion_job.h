// engine/conversion_job.h -- the job a front end hands to the conversion: which source,
// which destination, the title and the text and link options. Every step of the engine
// reads it; none changes it.
#pragma once
#include <cstdint>

#include "engine/io_ops.h"

// Built by the caller, read-only to the engine, alive for the whole call.
struct ConversionJob {
    const IoOps* io;
    const char* sourcePath;       // at most 255 characters; also the root page's name
    const char* destinationPath;
    const char* title;            // the database name keeps its first 31 bytes
    int32_t removeCR;             // 0 or 1
    int32_t removeLF;             // 0 or 1
    int32_t convertCRtoLF;        // 0 or 1
    int32_t slbSpaces;            // spaces for a single line break; -1 = keep it
    int32_t tabToLB;              // line feeds for a tab; -1 = off
    int32_t tabToSpace;           // spaces for a tab; -1 = off; only while tabToLB is -1
    int32_t maxDepth;             // link depth the HTML pass follows; -1 = no limit
    int32_t keepNavigation;       // 0 or 1: 1 writes the text of HTML navigation blocks
    int32_t maxPages;             // pages the HTML pass takes from its queue; 0 = 32000
};
