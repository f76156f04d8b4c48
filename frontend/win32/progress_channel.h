// frontend/win32/progress_channel.h -- ProgressState's synchronisation on Windows
// objects: a mutex guarding the progress fields (both sides wait at most 1000 ms) and an
// auto-reset event carrying the cancel request, which the worker's next progress report
// consumes.
#pragma once
#include <windows.h>

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

    bool takeCancelRequest() override;
    bool lockFields() override;
    void unlockFields() override;
    ProgressFields& fields() override { return fields_; }

private:
    HANDLE cancel_;
    HANDLE lock_;
    ProgressFields fields_;
};
