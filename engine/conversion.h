// engine/conversion.h -- the engine's entry point: the job a front end hands over, the
// record through which the driver hands the source and streams to the HTML pass, the
// title probes a front end calls before a conversion, and the ready-made IoOps table on
// the C standard I/O library.
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
};

// How the HTML pass opens pages: the root page through the source handle the driver
// already holds, every other page with openStream mode 0.
struct PageOpener {
    const ConversionJob* job;
    uint32_t cachedSource;  // the open source until closePage clears it
};

struct HtmlPassRequest {
    uint32_t (*openPage)(void* pageCallbackData, const char* pagePath);
    void (*closePage)(void* pageCallbackData, uint32_t handle);
    void* pageCallbackData;  // the driver's PageOpener
    const IoOps* io;
    uint32_t textStream;     // T1: the document text
    uint32_t recordStream;   // T3: serialized document records
    uint32_t offsetStream;   // T4: one 32-bit host-order start offset per record
    int32_t maxDepth;
    int32_t formatFirst, formatCount;
    int32_t linkFirst, linkCount;
    int32_t ruleFirst, ruleCount;
    int32_t pageCount;
    int32_t boundaryFirst, boundaryCount;
};

// The PageOpener operations the driver puts into an HtmlPassRequest.
uint32_t openPage(void* pageCallbackData, const char* pagePath);
void closePage(void* pageCallbackData, uint32_t handle);

// Runs the whole conversion on the calling thread; returns a ResultCode. Every handle
// and block obtained through job.io is released before it returns; a partly written
// destination is left as it is.
int32_t convertDocument(const ConversionJob& job);

// True when the stream is a PalmDoc database (creator "REAd" at bytes 64-67).
bool isDocSource(const IoOps& io, uint32_t stream);
// True when the HTML sniff finds an HTML start tag or an HTML document type among the
// leading tags.
bool isHtmlSource(const IoOps& io, uint32_t stream);
// On a PalmDoc file: true, and `name` gets the 32 name bytes plus a zero byte.
bool probeDocTitle(const IoOps& io, const char* path, char name[33]);
// The text of the TITLE element, at most `maxLength` bytes plus a zero, into `title`.
bool probeHtmlTitle(const IoOps& io, const char* path, char* title, int32_t maxLength);
// Reports StagePercent with `percent`; true when the answer was cancel.
bool progressPercent(const IoOps& io, int32_t percent);

// The table on the C standard I/O library: userData 0, modes 0 ("rb", regular files
// only), 1 ("wb+") and 2 ("rb+"), anonymous temporary files, the C heap, and a
// reportProgress that always answers 1. Front ends copy it and replace reportProgress.
extern const IoOps standardIoOps;
