// engine/preprocess.h -- the first step of a text or PalmDoc conversion: the source's
// text, passed through the TextFilter, into the text stream. Both report StagePercent
// as they go (the caller reports the stage itself), so they are steps: they return a
// StepResult, and the driver reports a failure as ResultPreprocessError. They neither
// open nor close streams; on failure the output keeps what was written.
#pragma once
#include <cstdint>

#include "engine/conversion_job.h"

// Reads the source in 4096-byte pieces. Returns StepDone, StepCanceled, or StepFailed
// when its size cannot be found, a seek or read falls short, or a write to `output`
// falls short. An empty source gives an empty output and no report.
StepResult preprocessText(const ConversionJob& job, uint32_t source, uint32_t output);
// Reads a PalmDoc source record by record. Returns StepDone, StepCanceled, or StepFailed
// when the database or one of its text records is unreadable, malformed or too large, or
// a write to `output` falls short.
StepResult preprocessDoc(const ConversionJob& job, uint32_t source, uint32_t output);
