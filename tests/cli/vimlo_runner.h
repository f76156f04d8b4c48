// tests/cli/vimlo_runner.h -- runs the built vimlo program as a user would: in a folder of
// the test's, with its output caught, on a pseudo-terminal when a test needs one, or in
// the background to be interrupted. Also the byte helpers the checks share.
#pragma once
#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

namespace cli_test {

struct Outcome {
    int exitCode = -1;  // when the program exited
    int signal = 0;     // when a signal ended it
    std::string out;    // standard output
    std::string err;    // standard error, or the whole screen on a terminal
};

// The program's path: $VIMLO_BIN/vimlo, else the build's bin folder.
std::string vimloPath();

// Runs vimlo with `args` in `folder` and waits for it. Standard input is empty.
Outcome run(const std::vector<std::string>& args, const std::string& folder);

// Runs vimlo on a pseudo-terminal of 100 columns; when the screen shows `prompt` for the
// first time, `answer` is typed. The screen goes into Outcome::err.
Outcome runOnTerminal(const std::vector<std::string>& args, const std::string& folder,
                      const std::string& prompt = {}, const std::string& answer = {});

// Runs the vimlo at `program` as run() does, but as user and group 65534 when this
// process is root, so that a file's permissions bind it as they bind a user. The program
// and `folder` must be reachable by that user.
Outcome runUnprivileged(const std::string& program, const std::vector<std::string>& args,
                        const std::string& folder);

// A vimlo started in the background: the one at vimloPath(), or at `program`, as this
// process's user or (`unprivileged`) as user 65534 when this process is root.
class Background {
public:
    Background(const std::vector<std::string>& args, const std::string& folder);
    Background(const std::string& program, bool unprivileged, const std::vector<std::string>& args,
               const std::string& folder);
    ~Background();
    pid_t pid() const { return pid_; }
    Outcome wait();

private:
    pid_t pid_ = -1;
    std::string outPath_, errPath_;
};

// A converted book as its reader sees it: `vimlo text --raw` and `vimlo info`.
struct BookLink {
    uint32_t position, length, target;
};
struct BookView {
    std::string name;                  // the database name, as info gives it (UTF-8)
    std::string text;                  // the handheld's bytes
    std::vector<uint32_t> boundaries;  // the first page's start, then each page's end
    std::vector<BookLink> links;       // spacers left out
};
// Reads the book `name` in `folder`; a failure of either command fails the test.
BookView readBook(const std::string& folder, const std::string& name);

uint32_t big16(const std::string& bytes, size_t offset);
uint32_t big32(const std::string& bytes, size_t offset);
// The database with its conversion times zeroed: the header's creation and modification
// times (offsets 36 to 43) and record 0's time field.
std::string withoutTimes(std::string database);
// A PalmDoc database named `name` whose one text record holds `text` as plain literal
// bytes (no byte 1 to 8 or above 127). `announcedRecords` is record 0's text record count.
std::string palmDoc(const std::string& name, const std::string& text, uint16_t announcedRecords = 1);
// Waits up to `seconds` until process `pid` holds a file in `folder` open for writing (as
// /proc shows it, named or not); false when it never did. The engine opens its
// destination only after every check, so the conversion is then under way.
bool waitUntilWritingIn(pid_t pid, const std::string& folder, int seconds = 30);
// Names in `folder` starting with `prefix`.
std::vector<std::string> namesStartingWith(const std::string& folder, const std::string& prefix);

}  // namespace cli_test
