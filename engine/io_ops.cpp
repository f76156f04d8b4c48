// engine/io_ops.cpp -- names of the result codes and progress stages, for messages,
// logs and test output.
#include "engine/io_ops.h"

const char* resultCodeName(int32_t code) {
    switch (code) {
        case ResultOk: return "ResultOk";
        case ResultCanceled: return "ResultCanceled";
        case ResultSourceOpenError: return "ResultSourceOpenError";
        case ResultDestinationOpenError: return "ResultDestinationOpenError";
        case ResultTempOpenError: return "ResultTempOpenError";
        case ResultPreprocessError: return "ResultPreprocessError";
        case ResultConversionError: return "ResultConversionError";
        default: return "unknown result";
    }
}

const char* progressStageName(int32_t stage) {
    static const char* const kNames[] = {
        "StageParseHtml",      "StageFormatHtml",  "StageCompressHtml", "StagePreprocessDoc",
        "StagePreprocessText", "StageCompressText", "StageCurrentPage",  "StagePercent",
        "StagePageProgress",   "StageLimitReached",
    };
    if (stage < 0 || stage > StageLimitReached) return "unknown stage";
    return kNames[stage];
}
