// frontend/web_curl.h -- the web for a conversion from the command line: the libcurl
// fetcher behind the web wrapper's interface, the rule of where the run may go, made from
// its root address, and robots.txt read by the protocol's rules. Only http and https.
#pragma once
#include <functional>
#include <memory>
#include <string>

#include "frontend/web_io.h"
#include "frontend/web_scope.h"

struct WebRunOptions {
    WebScopeMode mode = WebScopeMode::BelowRoot;
    double waitSeconds = 0.5;
    int timeoutSeconds = 30;
};

class CurlWeb {
public:
    explicit CurlWeb(const WebRunOptions& options);
    CurlWeb(const CurlWeb&) = delete;
    CurlWeb& operator=(const CurlWeb&) = delete;
    ~CurlWeb();

    // Prepares a run from `root`; false, with the reason, when it is no http(s) address
    // libcurl accepts or libcurl cannot start. `root()` then holds its normal form (host
    // in lower case, a default port left out), which the run is to be given.
    bool start(const std::string& root, std::function<bool()> stillWanted,
               std::function<void(const std::string&)> onRequest, std::string& reason);
    const std::string& root() const { return root_; }
    const WebAccess& access() const { return access_; }

private:
    class Fetching;
    WebRunOptions options_;
    std::unique_ptr<Fetching> fetching_;
    WebScope scope_;
    WebAccess access_;
    std::string root_;
};

// `address` (UTF-8, as a page names it) with every byte that may not stand in an address
// (spaces, controls, bytes beyond ASCII, and " < > \ ^ ` { | }) percent-escaped.
std::string escapedAddress(const std::string& address);
