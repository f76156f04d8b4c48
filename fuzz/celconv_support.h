// fuzz/celconv_support.h -- checks shared by the celconv targets. celconv reads through
// C++ streams, not IoOps, so leaks and stray reads are the sanitizers' to catch; what is
// checked here is that every refusal is reported, and that a database celconv wrote
// converts back.
#pragma once
#include <string>

#include "celconv/byte_entry.h"

// A refusal must leave a message on the screen and in the error log.
void checkRefusalReported(bool converted, const celconv::Messages& messages);
// A database celconv has just written must convert back to CSV and an info file.
void checkConvertsBack(const std::string& database);
