// cli/exit_status.h -- the exit statuses of vimlo: one per outcome a script may want to
// tell apart. The conversion statuses come from the front end's status table, so the
// command line and the Windows program sort outcomes the same way.
#pragma once
#include <cstdint>

#include "frontend/conversion_run.h"

enum ExitStatus : int {
    ExitSuccess = 0,
    ExitUnknownError = 1,      // StatusUnknownError
    ExitUsage = 2,             // options or arguments not understood
    ExitRefused = 3,           // a check before the run refused: nothing was written
    ExitSourceError = 4,       // StatusSourceError; info/text: the file cannot be opened
    ExitDestinationError = 5,  // StatusDestinationError; text: standard output failed
    ExitTempError = 6,         // StatusTempError
    ExitPreprocessError = 7,   // StatusPreprocessError
    ExitConversionError = 8,   // StatusConversionError
    ExitDamagedBook = 9,       // info/text: not an e-book database, or a damaged one
    ExitCanceled = 130,        // StatusCanceled; the shell's number for Ctrl-C
};

inline int exitStatusFor(int32_t status) {
    switch (status) {
        case StatusSucceeded: return ExitSuccess;
        case StatusCanceled: return ExitCanceled;
        case StatusSourceError:
        case StatusSourceRefused: return ExitSourceError;
        case StatusDestinationError: return ExitDestinationError;
        case StatusTempError: return ExitTempError;
        case StatusPreprocessError: return ExitPreprocessError;
        case StatusConversionError: return ExitConversionError;
        default: return ExitUnknownError;
    }
}
