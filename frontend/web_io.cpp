// frontend/web_io.cpp -- see web_io.h.
#include "frontend/web_io.h"

#include <chrono>
#include <thread>

#include "frontend/forwarding_io.h"
#include "frontend/web_address.h"

namespace {

using Slots = ForwardingSlots<WebIo>;

constexpr auto kPoll = std::chrono::milliseconds(50);  // a cancel is seen within this while waiting

double now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }

bool startsWithFolded(const std::string& text, const char* prefix) {
    size_t i = 0;
    for (; prefix[i] != '\0'; ++i)
        if (i >= text.size() || lower(text[i]) != prefix[i]) return false;
    return true;
}

void noteFailure(WebIo& web, const std::string& address, const std::string& reason) {
    ++web.failureCount;
    if (web.failures.size() < kKeptWebFailures) web.failures.push_back(WebFailure{address, reason});
}

bool stillWanted(WebIo& web) {
    if (!web.canceled && web.stillWanted && !web.stillWanted()) web.canceled = true;
    return !web.canceled;
}

WebHostTurns& turnsOf(WebIo& web) { return web.turns != nullptr ? *web.turns : web.ownTurns; }

// Holds the host's turn for one request; `held` false when the user canceled meanwhile.
class HostTurn {
public:
    HostTurn(WebIo& web, const std::string& origin)
        : turns_(turnsOf(web)), origin_(origin),
          held(turns_.acquire(origin, web.waitSeconds, [&web] { return stillWanted(web); })) {}
    ~HostTurn() {
        if (held) turns_.release(origin_);
    }
    HostTurn(const HostTurn&) = delete;
    HostTurn& operator=(const HostTurn&) = delete;

private:
    WebHostTurns& turns_;
    std::string origin_;

public:
    const bool held;
};

// One download into `stream` (written from its start); the outcome as the fetcher gives it.
WebFetchOutcome download(WebIo& web, const std::string& address, bool anyType, uint32_t stream,
                         const std::function<bool(const std::string&)>& mayGo) {
    const IoOps& io = web.inner;
    int64_t written = 0;
    auto sink = [&](const uint8_t* bytes, size_t count) {
        while (count > 0) {
            const int32_t piece = static_cast<int32_t>(std::min<size_t>(count, 65536));
            if (written + piece > web.maxPageBytes) return false;
            if (io.writeStream(io.userData, stream, piece, bytes) != piece) return false;
            written += piece;
            bytes += piece;
            count -= static_cast<size_t>(piece);
        }
        return true;
    };
    if (web.onRequest) web.onRequest(address);
    return web.fetching->fetch(address, anyType, sink, mayGo, [&web] { return stillWanted(web); });
}

// The host's robots rules, read on its first page.
bool robotsAllow(WebIo& web, const std::string& origin, WebIo::Host& host, const std::string& address) {
    if (!host.robotsRead && web.parseRobots) {
        const IoOps& io = web.inner;
        const uint32_t stream = io.createTempStream(io.userData);
        std::string body;
        int status = 0;
        const HostTurn turn(web, origin);
        if (stream != 0 && turn.held) {
            // Asked as a browser would write it: a default port left out.
            const std::string defaultPort = origin.starts_with("https:") ? ":443" : ":80";
            const std::string address =
                origin.ends_with(defaultPort) ? origin.substr(0, origin.size() - defaultPort.size()) : origin;
            const WebFetchOutcome outcome =
                download(web, address + "/robots.txt", true, stream, [](const std::string& next) { return isWebAddress(next); });
            if (outcome.canceled) web.canceled = true;
            status = outcome.status;
            // Rules come from a sound body only; 500 KB of them are plenty.
            char piece[4096];
            if (outcome.succeeded && io.seekStream(io.userData, stream, 0, 0) == 0) {
                for (int32_t got; body.size() < 512000 &&
                                  (got = io.readStream(io.userData, stream, sizeof piece, piece)) > 0;)
                    body.append(piece, static_cast<size_t>(got));
            }
        }
        if (stream != 0) io.closeStream(io.userData, stream);
        if (web.canceled) return false;
        host.robots = web.parseRobots(body, status);
        host.robotsRead = true;
    }
    return !host.robots || host.robots->allows(address);
}

uint32_t openPage(WebIo& web, const std::string& address) {
    const IoOps& io = web.inner;
    if (!stillWanted(web)) return 0;
    if (!web.mayGo || !web.mayGo(address)) {
        noteFailure(web, address, "outside the places this run may go");
        return 0;
    }
    const std::string origin = webOrigin(address);
    WebIo::Host& host = web.hosts[origin];
    if (!robotsAllow(web, origin, host, address)) {
        if (!web.canceled) noteFailure(web, address, "refused by the site's robots.txt");
        return 0;
    }
    const uint32_t stream = io.createTempStream(io.userData);
    if (stream == 0) return 0;
    WebFetchOutcome outcome;
    {
        const HostTurn turn(web, origin);
        if (!turn.held) {
            io.closeStream(io.userData, stream);
            return 0;
        }
        outcome = download(web, address, false, stream, web.mayGo);
    }
    if (outcome.canceled) web.canceled = true;
    if (!outcome.succeeded || io.seekStream(io.userData, stream, 0, 0) != 0) {
        if (!web.canceled) noteFailure(web, address, outcome.reason.empty() ? "cannot be fetched" : outcome.reason);
        io.closeStream(io.userData, stream);
        return 0;
    }
    ++web.pagesFetched;
    web.lastCharset = outcome.charset;
    return stream;
}

uint32_t open(void* userData, const char* path, int32_t mode) {
    WebIo& web = *static_cast<WebIo*>(userData);
    if (mode != 0) return Slots::open(userData, path, mode);
    web.lastCharset.clear();
    const std::string name = path;
    // A page reached over the web never opens a local file.
    if (!isWebAddress(name) || web.fetching == nullptr) return 0;
    return openPage(web, name);
}

int32_t report(void* userData, int32_t stage, void* argument) {
    WebIo& web = *static_cast<WebIo*>(userData);
    if (web.canceled) return 0;
    const IoOps& io = web.inner;
    return io.reportProgress != nullptr ? io.reportProgress(io.userData, stage, argument) : 1;
}

// "3 pages could not be fetched", the start of both reports of them.
std::string pagesNotFetched(int64_t count) {
    return std::to_string(count) + (count == 1 ? " page" : " pages") + " could not be fetched";
}

}  // namespace

bool WebHostTurns::acquire(const std::string& origin, double waitSeconds, const std::function<bool()>& stillWanted) {
    for (;;) {
        if (stillWanted && !stillWanted()) return false;
        double left = 0;
        {
            const std::lock_guard<std::mutex> locked(lock_);
            Turn& turn = hosts_[origin];
            if (!turn.busy) {
                left = turn.lastEnd < 0 ? 0 : turn.lastEnd + waitSeconds - now();
                if (left <= 0) {
                    turn.busy = true;
                    return true;
                }
            }
        }
        // A cancel is seen within kPoll, whether the host is busy or its wait runs.
        const auto pause = left > 0 ? std::min<std::chrono::duration<double>>(kPoll, std::chrono::duration<double>(left))
                                    : std::chrono::duration<double>(kPoll);
        std::this_thread::sleep_for(pause);
    }
}

void WebHostTurns::release(const std::string& origin) {
    const std::lock_guard<std::mutex> locked(lock_);
    Turn& turn = hosts_[origin];
    turn.busy = false;
    turn.lastEnd = now();
}

bool isWebAddress(const std::string& name) {
    return startsWithFolded(name, "http://") || startsWithFolded(name, "https://");
}

std::string webOrigin(const std::string& address) {
    WebAddress parsed;
    return parseWebAddress(escapedAddress(address), parsed) ? parsed.origin() : std::string();
}

void prepareWebIo(WebIo& state, const IoOps& inner, const WebAccess& access) {
    state.inner = inner;
    state.fetching = access.fetching;
    state.mayGo = access.mayGo;
    state.parseRobots = access.parseRobots;
    state.stillWanted = access.stillWanted;
    state.onRequest = access.onRequest;
    state.waitSeconds = access.waitSeconds;
    state.turns = access.turns;
}

IoOps webIoOps(WebIo& state) {
    IoOps ops = forwardingIoOps(state);
    ops.openStream = &open;
    ops.reportProgress = &report;
    return ops;
}

std::string webFailureCountMessage(int64_t count) {
    if (count <= 0) return std::string();
    return pagesNotFetched(count) + "; --verbose lists them";
}

std::string webFailureListMessage(int64_t count, const std::vector<WebFailure>& first, size_t shown) {
    if (count <= 0) return std::string();
    std::string text = pagesNotFetched(count) + ":";
    size_t listed = 0;
    for (; listed < first.size() && listed < shown; ++listed)
        text += "\n" + first[listed].address + ": " + first[listed].reason;
    if (count > static_cast<int64_t>(listed))
        text += "\nand " + std::to_string(count - static_cast<int64_t>(listed)) + " more";
    return text;
}
