// celconv/reporter.cpp -- see reporter.h.
#include "celconv/reporter.h"

#include <cstdarg>
#include <cstdio>
#include <vector>

namespace celconv {

void Reporter::say(const std::string& text) {
    screen_ << text;
    screen_.flush();
}

void Reporter::error(const std::string& screenText, const std::string& logText) {
    say(screenText);
    if (log_ != nullptr) {
        *log_ << logText;
        log_->flush();
    }
}

std::string format(const char* pattern, ...) {
    va_list arguments;
    va_start(arguments, pattern);
    va_list measuring;
    va_copy(measuring, arguments);
    const int length = std::vsnprintf(nullptr, 0, pattern, measuring);
    va_end(measuring);
    std::string text;
    if (length > 0) {
        std::vector<char> buffer(static_cast<size_t>(length) + 1);
        std::vsnprintf(buffer.data(), buffer.size(), pattern, arguments);
        text.assign(buffer.data(), static_cast<size_t>(length));
    }
    va_end(arguments);
    return text;
}

}  // namespace celconv
