// frontend/win32/progress_channel.h -- ProgressState's synchronisation on Windows
// objects: a mutex guarding the progress fields (both sides wait at most 1000 ms) and an
// auto-reset event carrying the cancel request, which the worker's next progress report
// consumes.
#pragma once
#include <windows.h>

#include <atomic>

#include "frontend/progress.h"

inline constexpr DWORD kProgressLockWaitMs = 1000;

class Win32ProgressChannel : public ProgressChannel {
public:
    // Creates the event and the mutex; ready() tells whether both exist.
    Win32ProgressChannel();
    ~Win32ProgressChannel() override;
    Win32ProgressChannel(const Win32ProgressChannel&) = delete;
    Win32ProgressChannel& operator=(const Win32ProgressChannel&) = delete;

    bool ready() const { return cancel_ != nullptr && lock_ != nullptr; }
    // Sets the cancel event; false when it could not be set.
    bool requestCancel();
    // Whether a cancel was ever asked for. Unlike the event it is not consumed, so the
    // web fetcher, which waits outside the engine's progress reports, can poll it.
    bool cancelAsked() const { return cancelAsked_.load(); }

    bool takeCancelRequest() override;
    bool lockFields() override;
    void unlockFields() override;
    ProgressFields& fields() override { return fields_; }

private:
    HANDLE cancel_;
    HANDLE lock_;
    std::atomic<bool> cancelAsked_{false};
    ProgressFields fields_;
};
