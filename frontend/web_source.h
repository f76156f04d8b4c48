// frontend/web_source.h -- the web for a conversion from a page's address: a page fetcher
// (libcurl's in the command line, WinHTTP's in the Windows program) behind the web
// wrapper's interface, the rule of where the run may go, made from its root address, and
// robots.txt read by the protocol's rules. Only http and https.
#pragma once
#include <functional>
#include <memory>
#include <string>

#include "frontend/web_fetch.h"
#include "frontend/web_io.h"
#include "frontend/web_scope.h"

struct WebRunOptions {
    WebScopeMode mode = WebScopeMode::BelowRoot;
    double waitSeconds = 0.5;
    int timeoutSeconds = 30;
    WebHostTurns* turns = nullptr;  // shared by parallel runs (borrowed); null: the run's own
};

class WebSource {
public:
    // `fetcher` does the requests; `library` names what it uses, for the one failure
    // that is the program's own ("libcurl", "WinHTTP").
    WebSource(const WebRunOptions& options, std::unique_ptr<PageFetcher> fetcher, std::string library);
    WebSource(const WebSource&) = delete;
    WebSource& operator=(const WebSource&) = delete;
    virtual ~WebSource();

    // Prepares a run from `root`; false, with the reason, when it is no http(s) address
    // or the fetcher cannot start. `root()` then holds its normal form (host in lower
    // case, a default port left out), which the run is to be given.
    bool start(const std::string& root, std::function<bool()> stillWanted,
               std::function<void(const std::string&)> onRequest, std::string& reason);
    const std::string& root() const { return root_; }
    const WebAccess& access() const { return access_; }
    const WebRunOptions& options() const { return options_; }

private:
    class Fetching;
    WebRunOptions options_;
    std::unique_ptr<PageFetcher> fetcher_;
    std::string library_;
    std::unique_ptr<Fetching> fetching_;
    WebScope scope_;
    WebAccess access_;
    std::string root_;
};

// The command line's: libcurl. Defined only where libcurl is built in.
class CurlWeb : public WebSource {
public:
    explicit CurlWeb(const WebRunOptions& options);
};
