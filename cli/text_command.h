// cli/text_command.h -- `vimlo text`: the decoded text of an e-book database, unchanged
// bytes, on standard output.
#pragma once
#include <string>

// Writes the decoded text, unchanged bytes, to standard output; returns the exit status.
int runText(const std::string& path);
