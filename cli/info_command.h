// cli/info_command.h -- `vimlo info`: everything an e-book database holds, as JSON on
// standard output, every record decoded on the way so a damaged one is reported rather
// than described.
#pragma once
#include <string>

// Prints what the database holds as JSON on standard output; returns the exit status.
int runInfo(const std::string& path);
