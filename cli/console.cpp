// cli/console.cpp -- see console.h.
#include "cli/console.h"

#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <mutex>

namespace {

std::mutex gOutputLock;
bool gProgressShown = false;  // guarded by gOutputLock

// Lock-free, so the signal handler may store into it.
std::atomic<int> gInterruptSignal{0};
static_assert(std::atomic<int>::is_always_lock_free, "the signal handler needs a lock-free flag");

extern "C" void onInterrupt(int signal) {
    int none = 0;
    gInterruptSignal.compare_exchange_strong(none, signal);
}

// One line from standard input, without its end. False at the end of input, on a read
// error or on an interrupt. The read waits in short polls: an interrupt that comes just
// before a blocking read would not end that read.
bool readAnswer(std::string& answer) {
    for (;;) {
        if (gInterruptSignal.load() != 0) return false;
        struct pollfd input {STDIN_FILENO, POLLIN, 0};
        const int ready = poll(&input, 1, 100);
        if (ready < 0 && errno != EINTR) return false;
        if (ready <= 0) continue;
        char c;
        const ssize_t got = read(STDIN_FILENO, &c, 1);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        if (c == '\n') return true;
        answer += c;
    }
}

void clearProgressLocked() {
    if (!gProgressShown) return;
    std::fputs("\r\033[K", stderr);
    gProgressShown = false;
}

}  // namespace

namespace console {

void printLine(const std::string& line) {
    std::lock_guard<std::mutex> hold(gOutputLock);
    clearProgressLocked();
    std::fprintf(stderr, "%s\n", line.c_str());
    std::fflush(stderr);
}

void printError(const std::string& line) { printLine("vimlo: " + line); }

void showProgressLine(const std::string& line) {
    std::lock_guard<std::mutex> hold(gOutputLock);
    clearProgressLocked();
    if (!line.empty()) {
        std::fputs(line.c_str(), stderr);
        gProgressShown = true;
    }
    std::fflush(stderr);
}

bool errorIsTerminal() { return isatty(STDERR_FILENO) == 1; }

bool canAsk() { return isatty(STDIN_FILENO) == 1 && errorIsTerminal(); }

bool askYesNo(const std::string& question) {
    {
        std::lock_guard<std::mutex> hold(gOutputLock);
        clearProgressLocked();
        std::fprintf(stderr, "vimlo: %s [y/N] ", question.c_str());
        std::fflush(stderr);
    }
    std::string answer;
    if (!readAnswer(answer)) {
        std::fputc('\n', stderr);
        return false;
    }
    for (char& c : answer)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    return answer == "y" || answer == "yes";
}

int terminalColumns() {
    struct winsize size {};
    if (ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
    return 80;
}

void installInterruptHandlers() {
    struct sigaction action {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;  // no SA_RESTART: a pending question must give up its read
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaction(signal, &action, nullptr);
}

int interruptSignal() { return gInterruptSignal.load(); }

void endBySignal(int signal) {
    std::fflush(nullptr);
    std::signal(signal, SIG_DFL);
    std::raise(signal);
    _exit(128 + signal);  // only if the signal is blocked or ignored
}

}  // namespace console

bool ConsoleMessages::show(MessageId id, const std::string& text) {
    if (messageEntry(id).buttons == MessageButtons::OkCancel) {
        if (!console::canAsk()) return false;
        return console::askYesNo(prefix_ + text);
    }
    console::printError(prefix_ + text);
    return true;
}
