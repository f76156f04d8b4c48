// frontend/web_fetch.h -- downloads one page at a time over HTTP(S) with libcurl, for the
// wrapper that serves web pages to the engine. The body is handed to a sink piece by piece
// as it arrives, so a page is never whole in memory; the caller decides where it goes (a
// temporary stream) and what to do with a page that failed.
//
// Every limit of a conversion from the web is enforced here: only http and https, at most
// kMaxWebRedirects redirects followed by hand and each one asked of the caller's rule
// first, a connect timeout and a read timeout (no byte for that long), at most
// kMaxWebPageBytes of body, and only HTML or plain text (the Content-Type is judged before
// the first byte reaches the sink). Certificates are always verified. A cancel asked for
// through keepGoing stops the transfer within kWebCancelPollMs, even while the server
// sends nothing.
//
// One fetcher keeps one connection cache, so pages from the same host reuse the
// connection. It is not thread safe: one fetch at a time.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "frontend/settings.h"  // kDefaultWebTimeoutSeconds
#include "frontend/web_address.h"

inline constexpr int64_t kMaxWebPageBytes = 16 * 1024 * 1024;
inline constexpr int kMaxWebRedirects = 5;
// How often a transfer asks keepGoing: well inside the half second a cancel may take.
inline constexpr int kWebCancelPollMs = 100;

enum class FetchFault : int32_t {
    None = 0,
    BadAddress,        // not an absolute http or https address
    Resolve,           // the host name could not be resolved
    Refused,           // the connection was refused or could not be made
    Timeout,           // no connection, or no byte received, within the timeout
    HttpStatus,        // the server answered with a status other than 2xx (or a 3xx without Location)
    TooLarge,          // more than the body limit, by Content-Length or as received
    NotHtmlOrText,     // a Content-Type other than HTML, XHTML or plain text, or none
    TooManyRedirects,  // more than kMaxWebRedirects redirects
    RedirectRefused,   // a redirect to a non-http(s) address, or one the caller's rule refused
    Tls,               // TLS handshake or certificate verification failed
    Canceled,          // keepGoing answered false
    WriteFailed,       // the sink refused the bytes
    Other,             // anything else libcurl reports (a malformed response, a bad encoding)
};

struct FetchSettings {
    int timeoutSeconds = kDefaultWebTimeoutSeconds;  // for connecting, and for each silence
    std::string userAgent;                           // "" means webUserAgent()
};

// Takes the next piece of the body; false refuses it and stops the transfer (WriteFailed).
using WebSink = std::function<bool(const char* bytes, size_t length)>;
// Whether a redirect may go to `target` (already known to be http or https).
using WebRedirectRule = std::function<bool(const WebAddress& target)>;
// Polled during the transfer; false cancels it.
using WebKeepGoing = std::function<bool()>;

struct FetchRequest {
    std::string address;
    WebSink sink;                 // required
    WebRedirectRule mayFollow;    // empty: any http or https address
    WebKeepGoing keepGoing;       // empty: never cancel
    bool anyContentType = false;  // take any Content-Type (robots.txt is text whatever it says)
    int64_t maxBytes = kMaxWebPageBytes;
};

struct FetchResult {
    FetchFault fault = FetchFault::None;
    std::string address;      // the final address after redirects (the one asked when it failed first)
    long status = 0;          // the last HTTP status received, 0 when none
    std::string contentType;  // media type in lower case without parameters, "" when none
    std::string charset;      // the Content-Type's charset parameter as given, unquoted, "" when none
    int64_t bytes = 0;        // body bytes handed to the sink (after decoding gzip or deflate)
    int redirects = 0;        // redirects followed
    std::string reason;       // "" on success; else "<address>: <why>", e.g. "...: HTTP 404 Not Found"
};

// "vimlo/<version>", the version the command line prints for --version.
std::string webUserAgent();

// One page at a time, as the web wrapper's adapter asks: libcurl's WebFetcher below, and
// the Windows program's WinHTTP fetcher, which keeps every rule above alike.
class PageFetcher {
public:
    virtual ~PageFetcher() = default;
    virtual bool ready() const = 0;
    virtual FetchResult fetch(const FetchRequest& request) = 0;
};

class WebFetcher : public PageFetcher {
public:
    explicit WebFetcher(FetchSettings settings = {});
    WebFetcher(const WebFetcher&) = delete;
    WebFetcher& operator=(const WebFetcher&) = delete;
    ~WebFetcher();

    // False when libcurl could not make its handles; fetch then fails with Other.
    bool ready() const override;

    // Fetches request.address, following redirects, into request.sink. A failed fetch may
    // have handed some bytes to the sink already (result.bytes says how many); what to do
    // with them is the caller's.
    FetchResult fetch(const FetchRequest& request) override;

private:
    struct Handles;
    FetchSettings settings_;
    Handles* handles_ = nullptr;
};
