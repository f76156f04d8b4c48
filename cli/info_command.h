// cli/info_command.h -- `vimlo info`: everything an e-book database holds, as JSON on
// standard output, every record decoded on the way so a damaged one is reported rather
// than described.
#pragma once
#include <string>

// Prints what the database holds as JSON on standard output, written as it is decoded,
// once every record has been checked; returns the exit status. With `summary` each
// format record gives its run count ("runCount") in place of its runs, and each link,
// rule and page-boundary record its entry count ("entryCount") in place of its entries.
int runInfo(const std::string& path, bool summary = false);
