// celconv/reporter.h -- where the utility's messages go. Progress and counts go to the
// screen only; a conversion error goes to the screen and, once the driver has opened it,
// to the error log too. The reporter owns neither stream.
#pragma once
#include <ostream>
#include <string>

namespace celconv {

class Reporter {
public:
    explicit Reporter(std::ostream& screen) : screen_(screen) {}
    // From here on errors are also written to `log` (nullptr: screen only again).
    void attachLog(std::ostream* log) { log_ = log; }
    // Screen only.
    void say(const std::string& text);
    // An error with the same text on the screen and in the error log.
    void error(const std::string& text) { error(text, text); }
    // An error whose log line says more than the screen line.
    void error(const std::string& screenText, const std::string& logText);

private:
    std::ostream& screen_;
    std::ostream* log_ = nullptr;
};

// printf-style formatting of one message into a string.
std::string format(const char* pattern, ...) __attribute__((format(printf, 1, 2)));

}  // namespace celconv
