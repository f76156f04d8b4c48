// cli/console.h -- vimlo's side of the user's terminal: message lines on standard error
// (kept apart from the progress line, which several threads would otherwise tear), the
// overwrite question when there is someone to ask, and the interrupt signals, which only
// raise a flag that the conversions see at their next progress report.
#pragma once
#include <string>

#include "frontend/messages.h"

namespace console {

// `line` on standard error, after clearing the progress line if one is shown.
void printLine(const std::string& line);
// The same with "vimlo: " in front, for complaints.
void printError(const std::string& line);
// Replaces the progress line with `line` (no newline; "" clears it). Only for terminals.
void showProgressLine(const std::string& line);

bool errorIsTerminal();
// True when standard input and standard error are both terminals: a question can be
// asked and answered.
bool canAsk();
// Asks `question` followed by " [y/N] " and reads one line: true for "y" or "yes" in any
// case. An end of input, a read error or an interrupt is a no.
bool askYesNo(const std::string& question);
// The terminal's width in columns, or 80 when it cannot be told.
int terminalColumns();

// SIGINT, SIGTERM and SIGHUP set the interrupt flag instead of ending the process.
void installInterruptHandlers();
// The first interrupting signal received, or 0.
int interruptSignal();
// Ends the process as `signal` would have: the shell then sees the program stopped by
// it (130 for Ctrl-C) and a script running it stops too.
[[noreturn]] void endBySignal(int signal);

}  // namespace console

// The core's messages as lines on standard error; an OK/Cancel question is asked when
// possible and otherwise answered Cancel. `prefix` (the source, when there are several)
// goes in front of each text.
class ConsoleMessages : public MessageSink {
public:
    explicit ConsoleMessages(std::string prefix = {}) : prefix_(std::move(prefix)) {}
    bool show(MessageId id, const std::string& text) override;

private:
    std::string prefix_;
};
