// tests/cli/cancel_in_links_test.cpp -- Ctrl-C takes effect within half a second even
// while the links of one huge page are being resolved, where nothing else reports.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <fstream>
#include <string>
#include <thread>

#include "tests/cli/vimlo_runner.h"
#include "tests/support/temp_dir.h"

using namespace cli_test;

namespace {

// One page with `count` anchors, each followed by a link to an anchor further on, so
// every link waits for resolution until the page has been read whole.
std::string anchorPage(int count) {
    std::string page = "<html><body>";
    page.reserve(static_cast<size_t>(count) * 48);
    for (int i = 0; i < count; ++i) {
        const std::string n = std::to_string(i);
        page += "<a name=\"a" + n + "\">" + n + "</a> <a href=\"#a" +
                std::to_string((i * 7919 + 1) % count) + "\">to</a>\n";
    }
    return page + "</body></html>";
}

// Stops vimlo where it stands so that the interrupt lands at a known point, not after the
// run ended by itself. False if the run had already ended: it went faster than measured.
bool freezeWhileRunning(pid_t pid) {
    if (kill(pid, SIGSTOP) != 0) return false;
    for (int i = 0; i < 5000; ++i) {
        std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
        std::string line;
        std::getline(stat, line);
        // The state follows the command name, which is in parentheses and may hold spaces.
        const size_t close = line.rfind(')');
        const char state = close != std::string::npos && close + 2 < line.size() ? line[close + 2] : '?';
        if (state == 'T') return true;
        if (state == 'Z' || state == 'X') return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return false;
}

// A page of 200,000 anchors and links takes seconds: its anchors outgrow the block and are
// looked up in a table on disk. Timed from the first byte written, a whole run is
// measured first; then Ctrl-C lands at a quarter, half and three quarters of it (the
// parse, the link resolution and the record writing) and must end vimlo within 0.5 s.
TEST(Interrupt, CancelsWithinHalfASecondAnywhereInAHugePage) {
    using Clock = std::chrono::steady_clock;
    TempDir dir;
    dir.write("anchors.htm", anchorPage(200000));
    const std::vector<std::string> args{"convert", "-y", "-d", "0", "anchors.htm"};
    Clock::duration whole{};
    {
        Background vimlo(args, dir.path());
        ASSERT_TRUE(waitUntilWritingIn(vimlo.pid(), dir.path()));
        const auto started = Clock::now();
        const Outcome outcome = vimlo.wait();
        whole = Clock::now() - started;
        ASSERT_EQ(0, outcome.exitCode) << outcome.err;
    }
    ASSERT_GT(whole, std::chrono::milliseconds(800)) << "too fast to be interrupted at a chosen point";
    for (const int quarter : {1, 2, 3}) {
        SCOPED_TRACE(testing::Message() << quarter << "/4 of the way");
        // A busy machine runs at another pace than the measured run: a run that ends before
        // its interrupt is tried again, sooner.
        auto delay = whole * quarter / 4;
        bool interrupted = false;
        for (int attempt = 0; attempt < 4 && !interrupted; ++attempt, delay = delay * 2 / 3) {
            Background vimlo(args, dir.path());
            ASSERT_TRUE(waitUntilWritingIn(vimlo.pid(), dir.path()));
            std::this_thread::sleep_for(delay);
            if (!freezeWhileRunning(vimlo.pid())) continue;
            interrupted = true;
            ASSERT_EQ(0, kill(vimlo.pid(), SIGINT));
            ASSERT_EQ(0, kill(vimlo.pid(), SIGCONT));
            const auto sent = Clock::now();
            const Outcome outcome = vimlo.wait();
            const auto took = Clock::now() - sent;
            EXPECT_LE(took, std::chrono::milliseconds(500))
                << std::chrono::duration_cast<std::chrono::milliseconds>(took).count() << " ms";
            EXPECT_EQ(SIGINT, outcome.signal);
            EXPECT_EQ("Conversion canceled.\n", outcome.err);
        }
        EXPECT_TRUE(interrupted) << "every run ended before its interrupt";
    }
}

}  // namespace
