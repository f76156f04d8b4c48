// cli/text_command.h -- `vimlo text`: the decoded text of an e-book database on standard
// output, as UTF-8 for terminals and pipes, or as the stored bytes.
#pragma once
#include <string>

// Writes the decoded text to standard output: each byte as the character the handheld
// shows for it, in UTF-8, or with `raw` the stored Windows-1252 bytes unchanged. Returns
// the exit status.
int runText(const std::string& path, bool raw);
