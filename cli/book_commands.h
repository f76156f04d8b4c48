// cli/book_commands.h -- `vimlo info` and `vimlo text`: an e-book database read back
// through the engine's book reader, which checks the whole container before anything is
// shown, so a damaged file gives one clear complaint and a non-zero status.
#pragma once
#include <string>

// Prints what the database holds as JSON on standard output; returns the exit status.
int runInfo(const std::string& path);
// Writes the decoded text, unchanged bytes, to standard output; returns the exit status.
int runText(const std::string& path);
