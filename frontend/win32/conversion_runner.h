// frontend/win32/conversion_runner.h -- a conversion run of the Windows program: the
// pages committed and the destination checked through the core, the engine on a worker
// thread while the modal ConversionProgressDialog shows its progress and offers Cancel,
// then the result message and, after a successful automatic installation, the install
// flag.
#pragma once
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <string>

#include "frontend/conversion_run.h"
#include "frontend/win32/app.h"
#include "frontend/win32/options_page.h"
#include "frontend/win32/progress_channel.h"
#include "frontend/win32/src_dst_page.h"

// How a run ended: the pages' values or the destination refused before it started (the
// sheet then shows the Source/Destination page), or the conversion ran.
enum class RunEnd { TargetRefused, NotSucceeded, Succeeded };

// One run from the two pages, with its dialogs over `owner` (the sheet's window).
RunEnd runConversion(ConverterApp& app, HWND owner, CQuibSrcDstPage& sourcePage,
                     CQuibOptionsPage& optionsPage);

// Everything the worker thread reads, fixed before it starts.
struct ConversionTask {
    WorkerRequest request;
    ConverterSettings settings;
    Win32ProgressChannel* channel = nullptr;
    // Written once by the worker before it ends; read only after it has ended. Stays
    // StatusUnknownError when the worker is stopped by force.
    std::atomic<int32_t> status{StatusUnknownError};
    LinkedPageReport report;  // written by the worker, like status
};

// The worker's thread procedure; `parameter` is a ConversionTask*. Exit code 0.
DWORD WINAPI conversionWorker(void* parameter);

inline constexpr UINT kProgressTickMs = 100;
inline constexpr DWORD kCancelWaitMs = 5000;
inline constexpr DWORD kForcedExitCode = 2;

// ConversionProgressDialog: runs modally over `owner`, starts the worker for `task` and
// ends when the worker has ended or the user canceled. `sourceAsEntered` and
// `destinationName` fill its two fields. False when a worker is still running after it
// (it could be neither created nor stopped): the caller must then leave `task` and its
// channel alive.
bool runProgressDialog(HINSTANCE instance, HWND owner, ConversionTask& task,
                       const std::string& sourceAsEntered, const std::string& destinationName);
