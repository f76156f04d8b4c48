// platform/standard_io.h -- the ready-made IoOps table on the C standard I/O library,
// the only code under the engine that touches the operating system.
#pragma once
#include "engine/io_ops.h"

// Modes 0 ("rb", regular files only), 1 ("wb+") and 2 ("rb+"), anonymous temporary
// files, the C heap, and a reportProgress that always answers 1; userData is unused.
// Front ends copy it and replace reportProgress. Safe to use from several threads.
extern const IoOps standardIoOps;
