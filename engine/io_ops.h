// engine/io_ops.h -- the table through which the engine reaches files, memory and the
// user interface, with the progress stages and result codes that cross it. The engine
// and the HTML pipeline include no platform header; a front end fills an IoOps (usually
// a copy of standardIoOps with its own reportProgress) and owns it for the whole call.
#pragma once
#include <cstdint>

// Slot order is part of the contract: userData first, then nine operations.
struct IoOps {
    void* userData;
    // mode 0: existing file, read; mode 1: create or truncate, read and write;
    // mode 2: existing file, read and write. Returns a nonzero handle, or 0.
    uint32_t (*openStream)(void* userData, const char* path, int32_t mode);
    // Nonzero on success. Every handle is closed exactly once.
    int32_t (*closeStream)(void* userData, uint32_t handle);
    // origin 0 start, 1 current, 2 end. Returns the new absolute position or -1.
    int32_t (*seekStream)(void* userData, uint32_t handle, int32_t offset, int32_t origin);
    // Returns the bytes read; fewer than asked only at the end of the stream.
    int32_t (*readStream)(void* userData, uint32_t handle, int32_t count, void* buffer);
    // Returns the bytes written; any shortfall is a failure.
    int32_t (*writeStream)(void* userData, uint32_t handle, int32_t count, const void* buffer);
    // A new empty read/write stream that disappears when closed; 0 on failure.
    uint32_t (*createTempStream)(void* userData);
    void* (*allocBlock)(void* userData, int32_t byteCount);
    int32_t (*freeBlock)(void* userData, void* block);
    // 0 = cancel, nonzero = go on. May be empty: callers then go on.
    int32_t (*reportProgress)(void* userData, int32_t stage, void* argument);
};

enum ProgressStage : int32_t {
    StageParseHtml = 0,       // no argument
    StageFormatHtml = 1,      // no argument
    StageCompressHtml = 2,    // no argument
    StagePreprocessDoc = 3,   // no argument
    StagePreprocessText = 4,  // no argument
    StageCompressText = 5,    // no argument
    StageCurrentPage = 6,     // argument: zero-terminated page name
    StagePercent = 7,         // argument: pointer to a signed 32-bit percentage
    StagePageProgress = 8,    // argument: pointer to a PageProgress, as each page starts
    StageLimitReached = 9,    // argument: pointer to a LimitReport, once per limit met
};

// Where an HTML conversion stands: the page being converted (1-based) and the pages known
// so far (converted, being converted and queued).
struct PageProgress {
    int32_t page;
    int32_t known;
};

// A limit that left content out of the book.
enum LimitKind : int32_t {
    LimitPages = 1,  // the pass stopped at job.maxPages; `dropped` pages were still queued
    LimitLongReferences = 2,  // `dropped` links and frames named a page past `limit` (255) bytes
    LimitLinkDepth = 3,       // `dropped` links were on pages deeper than `limit` (255) links
};
struct LimitReport {
    int32_t kind;     // a LimitKind
    int32_t limit;    // the limit's value
    int32_t dropped;  // what was left out, in the kind's unit
};

// How functions answer, one rule per kind (the values below cross the engine's
// boundary and never change):
// - Only the driver makes a ResultCode: convertDocument returns one.
// - A step (part of a conversion that reports progress, or calls something that does,
//   and so can be canceled) returns a StepResult; the driver maps it to the step's code.
// - A helper that can only succeed or fail returns bool, true = success. A count, size,
//   position or index is returned as such, with its documented failure value; more than
//   two outcomes get an int or an enum of their own, documented where declared (the
//   book reader's BookResult is one).
// - Every "go on?" answer inside the engine is bool, true = go on (stillWanted). Only the
//   reportProgress slot keeps its int32 answer, 0 = cancel.
enum ResultCode : int32_t {
    ResultOk = 0,
    ResultCanceled = 100,
    ResultSourceOpenError = 102,
    ResultDestinationOpenError = 103,
    ResultTempOpenError = 104,
    ResultPreprocessError = 105,
    ResultConversionError = 106,
};

enum StepResult : int32_t {
    StepDone = 0,
    StepCanceled = 1,
    StepFailed = 2,
};

// The result code's name ("ResultOk", ...), or "unknown result".
const char* resultCodeName(int32_t code);
// The stage's name ("StageParseHtml", ...), or "unknown stage".
const char* progressStageName(int32_t stage);
