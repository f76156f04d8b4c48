// celconv/info_file.h -- the info file: a database's layout settings as plain text.
// In order: N field type codes, N field widths, the editing width, the first show
// column (integers in C literal syntax, any white space between them), the password
// line ("none" for no password), the password lock, then every remaining line as a
// popup string (a line starting with "popup" begins a new list).
#pragma once
#include <ostream>

#include "celconv/celdo_app_info.h"
#include "celconv/reporter.h"
#include "celconv/text_reader.h"

namespace celconv {

// Reads an info file for a CSV file of `fieldCount` fields (at most 20) into `appInfo`,
// whose defaults the caller has set; slots from fieldCount on keep them. Returns true on
// success; on false an error has been reported and `appInfo` is partly filled. The
// stream stays open.
bool readInfoFile(TextReader& in, CeldoAppInfo& appInfo, int fieldCount, Reporter& reporter);

// Writes `appInfo` (fieldCount at most 20) as an info file with CR LF line ends; the
// popup strings end at the first empty one. Returns false if the stream failed.
bool writeInfoFile(std::ostream& out, const CeldoAppInfo& appInfo);

}  // namespace celconv
