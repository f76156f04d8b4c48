// tests/support/web_server.cpp -- the loopback server's process, its port and its log.
#include "tests/support/web_server.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <sstream>
#include <thread>

extern char** environ;

WebServer::WebServer(const std::string& pagesFolder, const std::vector<std::string>& extraArguments) {
    const char* python = std::getenv("VIMLO_PYTHON");
    // Debian's interpreter starts in a quarter of the time of a version manager's shim.
    std::string interpreter = access("/usr/bin/python3", X_OK) == 0 ? "/usr/bin/python3" : "python3";
    if (python != nullptr && python[0] != 0) interpreter = python;
    std::vector<std::string> words = {interpreter, std::string(VIMLO_SOURCE_DIR) + "/tests/web/server.py",
                                      "--root", pagesFolder, "--log", logFolder_.file("requests.log")};
    words.insert(words.end(), extraArguments.begin(), extraArguments.end());
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);

    int input[2] = {-1, -1}, output[2] = {-1, -1};
    if (pipe2(input, O_CLOEXEC) != 0) return;
    if (pipe2(output, O_CLOEXEC) != 0) {
        close(input[0]);
        close(input[1]);
        return;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, input[0], 0);
    posix_spawn_file_actions_adddup2(&actions, output[1], 1);
    if (posix_spawnp(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    close(input[0]);
    close(output[1]);
    toServer_ = input[1];

    // The first line is the port; a server that says nothing within 10 s has failed.
    std::string line;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (pid_ > 0 && line.find('\n') == std::string::npos && std::chrono::steady_clock::now() < deadline) {
        pollfd ready{output[0], POLLIN, 0};
        if (poll(&ready, 1, 100) <= 0) continue;
        char buffer[64];
        const ssize_t got = read(output[0], buffer, sizeof buffer);
        if (got <= 0) break;
        line.append(buffer, static_cast<size_t>(got));
    }
    close(output[0]);
    if (line.find('\n') != std::string::npos) port_ = std::atoi(line.c_str());
}

WebServer::~WebServer() {
    if (toServer_ >= 0) close(toServer_);
    if (pid_ <= 0) return;
    for (int waited = 0; waited < 50; ++waited) {
        if (waitpid(pid_, nullptr, WNOHANG) == pid_) return;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
}

std::string WebServer::url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
}

std::vector<LoggedRequest> WebServer::requests() const {
    std::vector<LoggedRequest> logged;
    std::istringstream lines(logFolder_.read("requests.log"));
    std::string line;
    while (std::getline(lines, line)) {
        LoggedRequest request;
        std::istringstream fields(line);
        std::string port;
        std::getline(fields, request.method, '\t');
        std::getline(fields, request.path, '\t');
        std::getline(fields, request.userAgent, '\t');
        std::string at;
        std::getline(fields, port, '\t');
        std::getline(fields, at);
        request.clientPort = std::atoi(port.c_str());
        request.at = std::atof(at.c_str());
        logged.push_back(request);
    }
    return logged;
}
