// platform/standard_io.h -- the ready-made IoOps table on the C standard I/O library,
// the only code under the engine that touches the operating system.
#pragma once
#include <string>

#include "engine/io_ops.h"

// Modes 0 ("rb", regular files only), 1 ("wb+") and 2 ("rb+"), anonymous temporary
// files, the C heap, and a reportProgress that always answers 1; userData is unused.
// Front ends copy it and replace reportProgress. Safe to use from several threads.
extern const IoOps standardIoOps;

// Why an operation of the table failed, kept per thread (each conversion runs on one
// thread, so parallel runs never see each other's failures): the errno of the failing
// system call, kNotRegularFile for a source that is no regular file, or 0. Each failing
// operation replaces it; clearStandardIoError sets 0. A failed write-back may surface in
// a later read, seek or close of the same stream, which then sets it.
inline constexpr int kNotRegularFile = -1;
int standardIoError();
void clearStandardIoError();
// The system's words for `error` ("No space left on device"), "Not a regular file" for
// kNotRegularFile, "" for 0.
std::string standardIoErrorText(int error);
