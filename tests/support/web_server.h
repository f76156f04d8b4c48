// tests/support/web_server.h -- starts tests/web/server.py on 127.0.0.1 for one test and
// stops it when the object goes (its standard input is closed; SIGKILL if it lingers).
// The server's request log lives in the object's own temporary folder.
#pragma once
#include <sys/types.h>

#include <string>
#include <vector>

#include "tests/support/temp_dir.h"

struct LoggedRequest {
    std::string method;
    std::string path;       // as the request line gave it, query included
    std::string userAgent;
    int clientPort = 0;     // the same port on two requests: the connection was reused
    double at = 0;          // when it came, in seconds on the server's monotonic clock
};

class WebServer {
public:
    // Serves `pagesFolder`; `extraArguments` go to server.py as they are (e.g. "--robots",
    // "<file>"). The interpreter is $VIMLO_PYTHON, else /usr/bin/python3, else the python3
    // on PATH.
    explicit WebServer(const std::string& pagesFolder, const std::vector<std::string>& extraArguments = {});
    WebServer(const WebServer&) = delete;
    WebServer& operator=(const WebServer&) = delete;
    ~WebServer();

    // Whether the server started and told its port.
    bool running() const { return port_ > 0; }
    int port() const { return port_; }
    // "http://127.0.0.1:<port>" + path
    std::string url(const std::string& path) const;
    // The requests logged so far, in the order they came.
    std::vector<LoggedRequest> requests() const;

private:
    TempDir logFolder_;
    pid_t pid_ = -1;
    int toServer_ = -1;  // the server's standard input
    int port_ = 0;
};
