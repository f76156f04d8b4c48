// tests/support/result_codes.h -- the result codes convertDocument may give, for the
// tests and fuzz targets that check a run under faults or hostile input ended with one
// of them. Inline, so the fuzz targets use it without the tests' support library.
#pragma once
#include <cstdint>

#include "engine/io_ops.h"

// True for a ResultCode: 0, 100 and 102 to 106 (101 is not one).
inline bool isDefinedResult(int32_t result) {
    return result == ResultOk || result == ResultCanceled || result == ResultSourceOpenError ||
           result == ResultDestinationOpenError || result == ResultTempOpenError ||
           result == ResultPreprocessError || result == ResultConversionError;
}
