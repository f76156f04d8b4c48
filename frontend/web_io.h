// frontend/web_io.h -- an IoOps wrapper that serves pages on the web to the engine as it
// serves files: when the engine opens an http:// or https:// address for reading, the
// page is downloaded into a temporary stream of the inner table (so no page is ever
// whole in memory) and that stream is handed over; the engine reads and closes it as any
// page. The rules of a polite spider live here: the places a run may go (a predicate
// given by the front end, also asked for every redirect by the fetcher), robots.txt read
// once per host and obeyed, and a wait between two requests to one host.
//
// A run from the web never opens a local file for reading: every other name opened in
// mode 0 is refused. Opens for writing, and every other slot, go to the inner table.
// A page that cannot be fetched is a missing page (the engine skips it) and is noted with
// its reason; a cancel seen during a download or a wait ends that open, and every later
// progress report is answered with cancel, so the engine unwinds as from its own cancel.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "engine/io_ops.h"

// One download, as the fetcher ends it.
struct WebFetchOutcome {
    bool succeeded = false;
    std::string finalAddress;  // after redirects
    std::string charset;       // the Content-Type header's charset parameter, or empty
    int status = 0;            // the HTTP status, 0 when none was received
    std::string reason;        // why it failed, for the user ("HTTP 404 Not Found", ...)
    bool canceled = false;
};

// The web as WebIo sees it; the front end's fetcher implements it over libcurl.
class WebFetching {
public:
    virtual ~WebFetching() = default;
    // Downloads `address`, handing the body's bytes to `sink` as they come (false from
    // the sink stops the transfer as a failure); `stillWanted` is polled often, even
    // while nothing arrives. Redirects are followed only to addresses `mayGo` allows.
    // Pages must be HTML or text unless `anyType` (robots.txt is text whatever it says).
    virtual WebFetchOutcome fetch(const std::string& address, bool anyType,
                                  const std::function<bool(const uint8_t*, size_t)>& sink,
                                  const std::function<bool(const std::string&)>& mayGo,
                                  const std::function<bool()>& stillWanted) = 0;
};

// The rules of robots.txt for one host, as WebIo asks them.
class WebRobots {
public:
    virtual ~WebRobots() = default;
    // Whether the path and query of `address` may be fetched.
    virtual bool allows(const std::string& address) const = 0;
};

// Whose turn it is at each host ("scheme://host:port"): one request at a time per host,
// and the wait between the end of one and the start of the next. Runs in parallel (vimlo
// -j) share one, so a host sees the same politeness however many books are made from it.
// Thread safe.
class WebHostTurns {
public:
    // Waits until `origin` is free and its wait is over, then holds it until release();
    // false, holding nothing, once `stillWanted` answers false.
    bool acquire(const std::string& origin, double waitSeconds, const std::function<bool()>& stillWanted);
    void release(const std::string& origin);

private:
    struct Turn {
        bool busy = false;
        double lastEnd = -1;  // seconds on a steady clock; < 0: never asked
    };
    std::mutex lock_;
    std::map<std::string, Turn> hosts_;
};

// A page the run could not have.
struct WebFailure {
    std::string address;
    std::string reason;
};

// How many failures are kept by name; beyond them they are only counted.
inline constexpr size_t kKeptWebFailures = 1000;

struct WebIo {
    IoOps inner{};                       // borrowed for the whole run
    WebFetching* fetching = nullptr;     // borrowed
    // Where the run may go: the root address's rule, asked for every page and redirect.
    std::function<bool(const std::string&)> mayGo;
    // Reads robots.txt for the host of an address ("scheme://host:port"), from the
    // robots.txt body and the status it came with (0: none could be had).
    std::function<std::unique_ptr<WebRobots>(const std::string& body, int status)> parseRobots;
    std::function<bool()> stillWanted;   // false once the user canceled
    // Called before each request with the address, so the progress line can show it.
    std::function<void(const std::string&)> onRequest;
    double waitSeconds = 0.5;            // between two requests to one host
    int64_t maxPageBytes = 16 * 1024 * 1024;

    // What the run met.
    int64_t pagesFetched = 0;
    int64_t failureCount = 0;             // pages that could not be fetched, robots refusals included
    std::vector<WebFailure> failures;     // the first kKeptWebFailures of them
    std::string lastCharset;              // of the page opened last, for the decoding above
    bool canceled = false;

    // Per host ("scheme://host:port"): its robots rules.
    struct Host {
        bool robotsRead = false;
        std::unique_ptr<WebRobots> robots;  // null: everything allowed
    };
    std::map<std::string, Host> hosts;   // one entry per host the run reached
    WebHostTurns* turns = nullptr;       // shared with parallel runs; null: ownTurns
    WebHostTurns ownTurns;
};

// What a run from the web needs besides its source address: the front end makes it
// (the command line over libcurl); a front end without it refuses web addresses.
struct WebAccess {
    WebFetching* fetching = nullptr;  // borrowed for the run
    std::function<bool(const std::string&)> mayGo;
    std::function<std::unique_ptr<WebRobots>(const std::string& body, int status)> parseRobots;
    std::function<bool()> stillWanted;
    std::function<void(const std::string&)> onRequest;
    double waitSeconds = 0.5;
    WebHostTurns* turns = nullptr;    // borrowed; null: the run keeps its own
};

// Fills `state` for a run over `inner` from `access`.
void prepareWebIo(WebIo& state, const IoOps& inner, const WebAccess& access);

// Whether `name` is an http:// or https:// address (scheme in any letter case).
bool isWebAddress(const std::string& name);

// "scheme://host:port" of an address, lower case, the port always written; empty when
// `address` is no http(s) address with a host.
std::string webOrigin(const std::string& address);

// The table to hand on; its userData points at `state`, which must outlive it.
IoOps webIoOps(WebIo& state);

// "3 pages could not be fetched; --verbose lists them" and its singular; empty for 0.
std::string webFailureCountMessage(int64_t count);

// For a message box: "3 pages could not be fetched:" and the first `shown` of them, one
// per line with its reason, then "and N more"; empty for 0.
std::string webFailureListMessage(int64_t count, const std::vector<WebFailure>& first, size_t shown);
