// frontend/win32/progress_channel.cpp -- see progress_channel.h.
#include "frontend/win32/progress_channel.h"

Win32ProgressChannel::Win32ProgressChannel()
    : cancel_(CreateEventW(nullptr, FALSE, FALSE, nullptr)),
      lock_(CreateMutexW(nullptr, FALSE, nullptr)) {}

Win32ProgressChannel::~Win32ProgressChannel() {
    if (cancel_ != nullptr) CloseHandle(cancel_);
    if (lock_ != nullptr) CloseHandle(lock_);
}

bool Win32ProgressChannel::requestCancel() {
    cancelAsked_.store(true);
    return cancel_ != nullptr && SetEvent(cancel_) != FALSE;
}

bool Win32ProgressChannel::takeCancelRequest() {
    return cancel_ != nullptr && WaitForSingleObject(cancel_, 0) == WAIT_OBJECT_0;
}

bool Win32ProgressChannel::lockFields() {
    if (lock_ == nullptr) return false;
    // Abandoned: a worker stopped by force held it. The wait still made us the owner,
    // and the fields are plain values, so they are safe to use.
    const DWORD waited = WaitForSingleObject(lock_, kProgressLockWaitMs);
    return waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED;
}

void Win32ProgressChannel::unlockFields() { ReleaseMutex(lock_); }
