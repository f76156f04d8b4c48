// tests/cli/vimlo_runner.cpp -- see vimlo_runner.h.
#include "tests/cli/vimlo_runner.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <thread>

namespace cli_test {

namespace {

std::string tempFile() {
    char name[] = "/tmp/vimlo-cli-output-XXXXXX";
    const int descriptor = mkstemp(name);
    if (descriptor < 0) throw std::runtime_error("mkstemp failed");
    close(descriptor);
    return name;
}

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<char*> argv(const std::vector<std::string>& args, std::string& program) {
    if (program.empty()) program = vimloPath();
    std::vector<char*> list{program.data()};
    for (const std::string& arg : args) list.push_back(const_cast<char*>(arg.c_str()));
    list.push_back(nullptr);
    return list;
}

// In the child: runs vimlo (`program`, or vimloPath() when empty) in `folder`; never returns.
[[noreturn]] void execIn(const std::string& folder, const std::vector<std::string>& args,
                         std::string program = {}) {
    std::vector<char*> list = argv(args, program);
    if (chdir(folder.c_str()) != 0) _exit(126);
    execv(program.c_str(), list.data());
    _exit(127);
}

void fillStatus(Outcome& outcome, int status) {
    if (WIFEXITED(status)) outcome.exitCode = WEXITSTATUS(status);
    if (WIFSIGNALED(status)) outcome.signal = WTERMSIG(status);
}

}  // namespace

std::string vimloPath() {
    const char* folder = std::getenv("VIMLO_BIN");
    return std::string(folder != nullptr ? folder : VIMLO_DEFAULT_BIN) + "/vimlo";
}

Background::Background(const std::vector<std::string>& args, const std::string& folder)
    : Background(std::string(), false, args, folder) {}

Background::Background(const std::string& program, bool unprivileged, const std::vector<std::string>& args,
                       const std::string& folder)
    : outPath_(tempFile()), errPath_(tempFile()) {
    pid_ = fork();
    if (pid_ < 0) throw std::runtime_error("fork failed");
    if (pid_ == 0) {
        const int in = open("/dev/null", O_RDONLY);
        const int out = open(outPath_.c_str(), O_WRONLY | O_TRUNC);
        const int err = open(errPath_.c_str(), O_WRONLY | O_TRUNC);
        if (in < 0 || out < 0 || err < 0) _exit(125);
        dup2(in, 0);
        dup2(out, 1);
        dup2(err, 2);
        constexpr uid_t kNobody = 65534;
        if (unprivileged && geteuid() == 0 && (setgroups(0, nullptr) != 0 || setgid(kNobody) != 0 || setuid(kNobody) != 0))
            _exit(124);
        execIn(folder, args, program);
    }
}

Background::~Background() {
    if (pid_ > 0) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    unlink(outPath_.c_str());
    unlink(errPath_.c_str());
}

Outcome Background::wait() {
    Outcome outcome;
    int status = 0;
    while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    pid_ = -1;
    fillStatus(outcome, status);
    outcome.out = slurp(outPath_);
    outcome.err = slurp(errPath_);
    return outcome;
}

Outcome run(const std::vector<std::string>& args, const std::string& folder) {
    return Background(args, folder).wait();
}

Outcome runUnprivileged(const std::string& program, const std::vector<std::string>& args,
                        const std::string& folder) {
    return Background(program, true, args, folder).wait();
}

Outcome runOnTerminal(const std::vector<std::string>& args, const std::string& folder,
                      const std::string& prompt, const std::string& answer) {
    int master = -1;
    struct winsize size {};
    size.ws_row = 24;
    size.ws_col = 100;
    const pid_t pid = forkpty(&master, nullptr, nullptr, &size);
    if (pid < 0) throw std::runtime_error("forkpty failed");
    if (pid == 0) execIn(folder, args);

    Outcome outcome;
    bool answered = prompt.empty();
    for (;;) {
        struct pollfd ready {master, POLLIN, 0};
        if (poll(&ready, 1, 60000) <= 0) break;  // a minute of silence: give up
        char buffer[4096];
        const ssize_t got = read(master, buffer, sizeof buffer);
        if (got <= 0) break;  // EIO once the program has closed the terminal
        outcome.err.append(buffer, static_cast<size_t>(got));
        if (!answered && outcome.err.find(prompt) != std::string::npos) {
            answered = true;
            if (write(master, answer.data(), answer.size()) < 0) break;
        }
    }
    close(master);
    int status = 0;
    kill(pid, SIGKILL);  // only matters when the loop gave up
    waitpid(pid, &status, 0);
    fillStatus(outcome, status);
    return outcome;
}

uint32_t big16(const std::string& bytes, size_t offset) {
    return static_cast<uint32_t>(static_cast<uint8_t>(bytes.at(offset)) << 8 |
                                 static_cast<uint8_t>(bytes.at(offset + 1)));
}

uint32_t big32(const std::string& bytes, size_t offset) {
    return big16(bytes, offset) << 16 | big16(bytes, offset + 2);
}

std::string withoutTimes(std::string database) {
    for (size_t i = 36; i < 44; ++i) database.at(i) = 0;
    const size_t recordZero = big32(database, 78);
    for (size_t i = recordZero + 32; i < recordZero + 36; ++i) database.at(i) = 0;
    return database;
}

std::string palmDoc(const std::string& name, const std::string& text, uint16_t announcedRecords) {
    auto put16 = [](std::string& out, size_t at, uint32_t value) {
        out[at] = static_cast<char>(value >> 8);
        out[at + 1] = static_cast<char>(value);
    };
    auto put32 = [&](std::string& out, size_t at, uint32_t value) {
        put16(out, at, value >> 16);
        put16(out, at + 2, value);
    };
    const size_t recordZero = 78 + 2 * 8 + 2;  // header, two entries, the gap
    const size_t recordOne = recordZero + 16;
    std::string db(recordOne, '\0');
    db.replace(0, name.size(), name);
    db.replace(60, 4, "TEXt");
    db.replace(64, 4, "REAd");
    put16(db, 76, 2);
    put32(db, 78, static_cast<uint32_t>(recordZero));
    put32(db, 86, static_cast<uint32_t>(recordOne));
    db[86 + 5] = 1;  // unique id 1, little-endian
    put16(db, recordZero, 1);  // no compression
    put32(db, recordZero + 4, static_cast<uint32_t>(text.size()));
    put16(db, recordZero + 8, announcedRecords);
    put16(db, recordZero + 10, 4096);
    return db + text;
}

bool waitUntilWritingIn(pid_t pid, const std::string& folder, int seconds) {
    std::error_code error;
    const std::string wanted = std::filesystem::canonical(folder, error).string() + "/";
    const std::string proc = "/proc/" + std::to_string(pid);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (std::chrono::steady_clock::now() < deadline) {
        for (const auto& entry : std::filesystem::directory_iterator(proc + "/fd", error)) {
            std::error_code gone;  // a descriptor may close while we look
            const std::string target = std::filesystem::read_symlink(entry.path(), gone).string();
            if (gone || target.rfind(wanted, 0) != 0) continue;
            std::ifstream info(proc + "/fdinfo/" + entry.path().filename().string());
            std::string key, flags;
            while (info >> key >> flags && key != "flags:") {}
            // The access mode is the low two bits of the octal flags: 1 or 2 write.
            if (key == "flags:" && (std::stoul(flags, nullptr, 8) & 3) != 0) return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
}

std::vector<std::string> namesStartingWith(const std::string& folder, const std::string& prefix) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind(prefix, 0) == 0) names.push_back(name);
    }
    return names;
}

BookView readBook(const std::string& folder, const std::string& name) {
    BookView book;
    const Outcome text = run({"text", "--raw", name}, folder);
    EXPECT_EQ(0, text.exitCode) << text.err;
    book.text = text.out;
    const Outcome info = run({"info", name}, folder);
    EXPECT_EQ(0, info.exitCode) << info.err;
    const nlohmann::json parsed = nlohmann::json::parse(info.out, nullptr, false);
    if (parsed.is_discarded()) {
        ADD_FAILURE() << "vimlo info gave no JSON: " << info.out;
        return book;
    }
    book.name = parsed["header"]["name"].get<std::string>();
    const nlohmann::json& records = parsed["documentRecords"];
    for (const auto& record : records["link"]["records"])
        for (const auto& entry : record["entries"])
            if (!entry.contains("spacer"))
                book.links.push_back({entry["position"], entry["length"], entry["target"]});
    for (const auto& record : records["pageBoundary"]["records"])
        for (const auto& boundary : record["boundaries"])
            if (book.boundaries.empty() || boundary.get<uint32_t>() != book.boundaries.back())
                book.boundaries.push_back(boundary);
    return book;
}

}  // namespace cli_test
