// frontend/win32/winhttp_fetcher.cpp -- see winhttp_fetcher.h.
#include "frontend/win32/winhttp_fetcher.h"

#include <zlib.h>

#include <deque>
#include <memory>
#include <string>

#include "frontend/web_response.h"
#include "frontend/win32/wide_text.h"

namespace {

// The body waits here for the caller; beyond it, the request's thread waits for the caller.
constexpr size_t kMaxQueuedBytes = 1024 * 1024;
constexpr DWORD kReadPiece = 64 * 1024;

// One request and what its thread has learnt of the response. Shared by the caller and
// the thread; whichever lets go last frees it.
struct Exchange {
    // Fixed before the thread starts.
    HINTERNET session = nullptr;
    std::wstring host;
    INTERNET_PORT port = 0;
    bool secure = false;
    std::wstring object;  // path and query, escaped already

    SRWLOCK lock = SRWLOCK_INIT;
    CONDITION_VARIABLE changed = CONDITION_VARIABLE_INIT;
    HINTERNET request = nullptr;  // closed by the thread, or by a caller that gives up first
    bool abandoned = false;       // the caller gave up: nothing more is wanted
    bool headersReady = false;
    DWORD status = 0;
    std::string phrase;
    std::string contentType;
    std::string contentEncoding;
    std::string location;
    int64_t contentLength = -1;
    std::deque<std::string> pieces;
    size_t queuedBytes = 0;
    bool finished = false;
    DWORD error = 0;  // of the call that failed; 0 when the response ended whole
};

class Locked {
public:
    explicit Locked(SRWLOCK& lock) : lock_(lock) { AcquireSRWLockExclusive(&lock_); }
    ~Locked() { ReleaseSRWLockExclusive(&lock_); }
    Locked(const Locked&) = delete;
    Locked& operator=(const Locked&) = delete;

private:
    SRWLOCK& lock_;
};

// A header of the response as UTF-8 (bytes beyond ASCII are rare and shown, never judged);
// "" when it is absent.
std::string queryHeader(HINTERNET request, DWORD which) {
    DWORD size = 0;
    WinHttpQueryHeaders(request, which, WINHTTP_HEADER_NAME_BY_INDEX, WINHTTP_NO_OUTPUT_BUFFER, &size,
                        WINHTTP_NO_HEADER_INDEX);
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || size == 0) return std::string();
    std::wstring value(size / sizeof(wchar_t) + 1, L'\0');
    if (!WinHttpQueryHeaders(request, which, WINHTTP_HEADER_NAME_BY_INDEX, value.data(), &size,
                             WINHTTP_NO_HEADER_INDEX))
        return std::string();
    value.resize(size / sizeof(wchar_t));
    return wideToUtf8(value);
}

void finish(Exchange& exchange, DWORD error) {
    Locked locked(exchange.lock);
    exchange.finished = true;
    exchange.error = error;
    WakeAllConditionVariable(&exchange.changed);
}

// The request's thread: connect, send, read the headers, then the body piece by piece.
void runExchange(Exchange& exchange) {
    HINTERNET connection = WinHttpConnect(exchange.session, exchange.host.c_str(), exchange.port, 0);
    if (connection == nullptr) {
        finish(exchange, GetLastError());
        return;
    }
    // The address is escaped already; escaping it again would change what it asks for.
    const DWORD flags = (exchange.secure ? WINHTTP_FLAG_SECURE : 0) | WINHTTP_FLAG_ESCAPE_DISABLE |
                        WINHTTP_FLAG_ESCAPE_DISABLE_QUERY;
    HINTERNET request = WinHttpOpenRequest(connection, L"GET", exchange.object.c_str(), nullptr,
                                           WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES, flags);
    if (request == nullptr) {
        const DWORD error = GetLastError();
        WinHttpCloseHandle(connection);
        finish(exchange, error);
        return;
    }
    {
        Locked locked(exchange.lock);
        if (exchange.abandoned) {
            WinHttpCloseHandle(request);
            WinHttpCloseHandle(connection);
            exchange.finished = true;
            return;
        }
        exchange.request = request;
    }
    // Redirects are judged by the caller before they are followed; no cookie is kept
    // between the pages of a run, as the command line keeps none. Every request has a
    // connection of its own: a request let go with its body half read (a redirect, a
    // refused type, a cancel) must not leave that body on a connection the next one
    // would read as its answer, as Wine's connection cache was seen to do.
    DWORD disabled = WINHTTP_DISABLE_REDIRECTS | WINHTTP_DISABLE_COOKIES | WINHTTP_DISABLE_KEEP_ALIVE;
    WinHttpSetOption(request, WINHTTP_OPTION_DISABLE_FEATURE, &disabled, sizeof disabled);
    DWORD error = 0;
    const wchar_t kEncodings[] = L"Accept-Encoding: gzip, deflate";
    if (!WinHttpAddRequestHeaders(request, kEncodings, static_cast<DWORD>(-1L), WINHTTP_ADDREQ_FLAG_ADD) ||
        !WinHttpSendRequest(request, WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0, 0, 0) ||
        !WinHttpReceiveResponse(request, nullptr)) {
        error = GetLastError();
    }
    if (error == 0) {
        DWORD status = 0;
        DWORD size = sizeof status;
        WinHttpQueryHeaders(request, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                            WINHTTP_HEADER_NAME_BY_INDEX, &status, &size, WINHTTP_NO_HEADER_INDEX);
        const std::string length = queryHeader(request, WINHTTP_QUERY_CONTENT_LENGTH);
        Locked locked(exchange.lock);
        exchange.status = status;
        exchange.phrase = queryHeader(request, WINHTTP_QUERY_STATUS_TEXT);
        exchange.contentType = queryHeader(request, WINHTTP_QUERY_CONTENT_TYPE);
        exchange.contentEncoding = queryHeader(request, WINHTTP_QUERY_CONTENT_ENCODING);
        exchange.location = queryHeader(request, WINHTTP_QUERY_LOCATION);
        char* end = nullptr;
        const long long parsed = std::strtoll(length.c_str(), &end, 10);
        if (!length.empty() && *end == '\0' && parsed >= 0) exchange.contentLength = parsed;
        exchange.headersReady = true;
        WakeAllConditionVariable(&exchange.changed);
    }
    std::string piece;
    while (error == 0) {
        {
            Locked locked(exchange.lock);
            while (!exchange.abandoned && exchange.queuedBytes >= kMaxQueuedBytes)
                SleepConditionVariableSRW(&exchange.changed, &exchange.lock, INFINITE, 0);
            if (exchange.abandoned) break;
        }
        DWORD available = 0;
        if (!WinHttpQueryDataAvailable(request, &available)) {
            error = GetLastError();
            break;
        }
        if (available == 0) break;  // the end of the body
        piece.resize(available < kReadPiece ? available : kReadPiece);
        DWORD got = 0;
        if (!WinHttpReadData(request, piece.data(), static_cast<DWORD>(piece.size()), &got)) {
            error = GetLastError();
            break;
        }
        if (got == 0) break;
        piece.resize(got);
        Locked locked(exchange.lock);
        exchange.queuedBytes += piece.size();
        exchange.pieces.push_back(std::move(piece));
        piece = std::string();
        WakeAllConditionVariable(&exchange.changed);
    }
    {
        Locked locked(exchange.lock);
        if (exchange.request != nullptr) WinHttpCloseHandle(exchange.request);
        exchange.request = nullptr;
        exchange.finished = true;
        exchange.error = error;
        WakeAllConditionVariable(&exchange.changed);
    }
    WinHttpCloseHandle(connection);
}

DWORD WINAPI exchangeThread(void* parameter) {
    // The thread's own reference, handed over at its start.
    std::unique_ptr<std::shared_ptr<Exchange>> held(static_cast<std::shared_ptr<Exchange>*>(parameter));
    runExchange(**held);
    return 0;
}

// The caller lets go: the thread stops at its next step, and a blocked call is woken where
// the system can (closing the request is how WinHTTP cancels one).
void abandon(Exchange& exchange) {
    Locked locked(exchange.lock);
    exchange.abandoned = true;
    if (exchange.request != nullptr && !exchange.finished) {
        WinHttpCloseHandle(exchange.request);
        exchange.request = nullptr;
    }
    WakeAllConditionVariable(&exchange.changed);
}

// The fault and words for a request WinHTTP ended with `error`.
void describeFailure(DWORD error, int timeoutSeconds, FetchResult& result) {
    switch (error) {
    case ERROR_WINHTTP_NAME_NOT_RESOLVED:
        failFetch(result, FetchFault::Resolve, "could not resolve host");
        return;
    case ERROR_WINHTTP_CANNOT_CONNECT:
        failFetch(result, FetchFault::Refused, "could not connect (refused or unreachable)");
        return;
    case ERROR_WINHTTP_TIMEOUT:
    case WSAETIMEDOUT:  // as Wine reports a silent body
        failFetch(result, FetchFault::Timeout, timeoutText(timeoutSeconds));
        return;
    case ERROR_WINHTTP_SECURE_FAILURE:
    case ERROR_WINHTTP_SECURE_CERT_DATE_INVALID:
    case ERROR_WINHTTP_SECURE_CERT_CN_INVALID:
    case ERROR_WINHTTP_SECURE_INVALID_CA:
    case ERROR_WINHTTP_SECURE_CERT_REV_FAILED:
    case ERROR_WINHTTP_SECURE_CHANNEL_ERROR:
    case ERROR_WINHTTP_SECURE_INVALID_CERT:
    case ERROR_WINHTTP_SECURE_CERT_REVOKED:
    case ERROR_WINHTTP_SECURE_CERT_WRONG_USAGE:
    case ERROR_WINHTTP_CLIENT_AUTH_CERT_NEEDED:
        failFetch(result, FetchFault::Tls, "TLS or certificate problem (WinHTTP error " + std::to_string(error) + ")");
        return;
    case ERROR_WINHTTP_INVALID_SERVER_RESPONSE:
        failFetch(result, FetchFault::Other, "the server's answer is malformed");
        return;
    case ERROR_WINHTTP_CONNECTION_ERROR:
        failFetch(result, FetchFault::Other, "the connection was broken");
        return;
    case ERROR_NOT_ENOUGH_MEMORY:
        failFetch(result, FetchFault::Other, "out of memory");
        return;
    default:
        failFetch(result, FetchFault::Other, "WinHTTP error " + std::to_string(error));
        return;
    }
}

// Inflates a gzip or deflate body as it comes. "deflate" is zlib's format as the protocol
// says, or bare deflate data as some servers send it: the first bytes decide.
class BodyDecoder {
public:
    BodyDecoder() = default;
    BodyDecoder(const BodyDecoder&) = delete;
    BodyDecoder& operator=(const BodyDecoder&) = delete;
    ~BodyDecoder() {
        if (started_) inflateEnd(&stream_);
    }

    // False for a Content-Encoding this fetcher cannot read.
    bool begin(const std::string& encoding) {
        std::string lowered;
        for (const char c : trimHeaderText(encoding))
            lowered += (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
        if (lowered.empty() || lowered == "identity") return true;
        if (lowered == "gzip" || lowered == "x-gzip") return start(15 + 16);
        if (lowered == "deflate") {
            deflate_ = true;
            return start(15);
        }
        return false;
    }

    // Hands `piece` on to `deliver`, inflated when the body is encoded. False when the
    // data is damaged (damaged set) or `deliver` refused.
    template <typename Deliver>
    bool feed(const std::string& piece, Deliver&& deliver) {
        if (!started_) return deliver(piece.data(), piece.size());
        if (deflate_ && !sawOutput_) firstBytes_ += piece;  // kept until the format is known
        stream_.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(piece.data()));
        stream_.avail_in = static_cast<uInt>(piece.size());
        return pump(deliver);
    }

    // True when an encoded body ended where its data ends.
    bool complete() const { return !started_ || ended_; }
    bool damaged() const { return damaged_; }

private:
    bool start(int windowBits) {
        stream_ = z_stream{};
        started_ = inflateInit2(&stream_, windowBits) == Z_OK;
        return started_;
    }

    template <typename Deliver>
    bool pump(Deliver& deliver) {
        char out[16 * 1024];
        while (stream_.avail_in > 0 && !ended_) {
            stream_.next_out = reinterpret_cast<Bytef*>(out);
            stream_.avail_out = sizeof out;
            const int rc = inflate(&stream_, Z_NO_FLUSH);
            const size_t made = sizeof out - stream_.avail_out;
            if (rc == Z_DATA_ERROR && deflate_ && !sawOutput_ && !triedRaw_) {
                // Not zlib's format: bare deflate data, from its first byte.
                triedRaw_ = true;
                inflateEnd(&stream_);
                if (!start(-15)) return fail();
                stream_.next_in = reinterpret_cast<Bytef*>(firstBytes_.data());
                stream_.avail_in = static_cast<uInt>(firstBytes_.size());
                continue;
            }
            if (rc != Z_OK && rc != Z_STREAM_END && rc != Z_BUF_ERROR) return fail();
            if (made > 0) {
                sawOutput_ = true;
                firstBytes_.clear();
                if (!deliver(out, made)) return false;
            }
            if (rc == Z_STREAM_END) ended_ = true;
            if (rc == Z_BUF_ERROR && made == 0) break;
        }
        return true;
    }

    bool fail() {
        damaged_ = true;
        return false;
    }

    z_stream stream_{};
    bool started_ = false;
    bool deflate_ = false;
    bool triedRaw_ = false;
    bool sawOutput_ = false;
    bool ended_ = false;
    bool damaged_ = false;
    std::string firstBytes_;
};

enum class Wait { Ready, Canceled };

// Waits until `ready` holds, asking keepGoing every kWebCancelPollMs.
template <typename Ready>
Wait waitFor(Exchange& exchange, const FetchRequest& request, Ready&& ready) {
    AcquireSRWLockExclusive(&exchange.lock);
    while (!ready()) {
        SleepConditionVariableSRW(&exchange.changed, &exchange.lock, kWebCancelPollMs, 0);
        if (ready()) break;
        ReleaseSRWLockExclusive(&exchange.lock);
        const bool wanted = !request.keepGoing || request.keepGoing();
        AcquireSRWLockExclusive(&exchange.lock);
        if (!wanted) {
            ReleaseSRWLockExclusive(&exchange.lock);
            return Wait::Canceled;
        }
    }
    ReleaseSRWLockExclusive(&exchange.lock);
    return Wait::Ready;
}

// Starts the request for `address` on its thread; null when no thread could be made.
std::shared_ptr<Exchange> startExchange(HINTERNET session, const WebAddress& address) {
    auto exchange = std::make_shared<Exchange>();
    exchange->session = session;
    std::string host = address.host;
    // WinHTTP takes an IPv6 literal without its brackets.
    if (host.size() > 2 && host.front() == '[') host = host.substr(1, host.size() - 2);
    exchange->host = utf8ToWide(host);
    exchange->port = address.port;
    exchange->secure = address.scheme == "https";
    exchange->object = utf8ToWide(address.pathAndQuery());
    auto* handed = new std::shared_ptr<Exchange>(exchange);
    HANDLE thread = CreateThread(nullptr, 0, &exchangeThread, handed, 0, nullptr);
    if (thread == nullptr) {
        delete handed;
        return nullptr;
    }
    CloseHandle(thread);
    return exchange;
}

// Takes the body of an accepted response into the sink; false with `result` failed.
bool takeBody(Exchange& exchange, const FetchRequest& request, int timeoutSeconds, FetchResult& result) {
    BodyDecoder decoder;
    std::string encoding;
    {
        Locked locked(exchange.lock);
        encoding = exchange.contentEncoding;
    }
    if (!decoder.begin(encoding)) {
        failFetch(result, FetchFault::Other, "unsupported Content-Encoding " + encoding);
        return false;
    }
    FetchFault refusal = FetchFault::None;
    auto deliver = [&](const char* bytes, size_t length) {
        if (result.bytes + static_cast<int64_t>(length) > request.maxBytes) {
            refusal = FetchFault::TooLarge;
            return false;
        }
        if (!request.sink(bytes, length)) {
            refusal = FetchFault::WriteFailed;
            return false;
        }
        result.bytes += static_cast<int64_t>(length);
        return true;
    };
    for (;;) {
        if (waitFor(exchange, request, [&] { return !exchange.pieces.empty() || exchange.finished; }) == Wait::Canceled) {
            failFetch(result, FetchFault::Canceled, "canceled");
            return false;
        }
        std::string piece;
        bool ended = false;
        DWORD error = 0;
        {
            Locked locked(exchange.lock);
            if (!exchange.pieces.empty()) {
                piece = std::move(exchange.pieces.front());
                exchange.pieces.pop_front();
                exchange.queuedBytes -= piece.size();
                WakeAllConditionVariable(&exchange.changed);
            } else {
                ended = true;
                error = exchange.error;
            }
        }
        if (ended) {
            if (error != 0) {
                describeFailure(error, timeoutSeconds, result);
                return false;
            }
            if (!decoder.complete()) {
                failFetch(result, FetchFault::Other, "the page's compressed body ends early");
                return false;
            }
            return true;
        }
        if (!decoder.feed(piece, deliver)) {
            if (refusal == FetchFault::TooLarge)
                failFetch(result, FetchFault::TooLarge, tooLargeText(request.maxBytes));
            else if (refusal == FetchFault::WriteFailed)
                failFetch(result, FetchFault::WriteFailed, "could not store the page");
            else
                failFetch(result, FetchFault::Other, "the page's compressed body is damaged");
            return false;
        }
    }
}

}  // namespace

WinHttpFetcher::WinHttpFetcher(FetchSettings settings) : settings_(std::move(settings)) {
    if (settings_.userAgent.empty()) settings_.userAgent = webUserAgent();
    if (settings_.timeoutSeconds <= 0) settings_.timeoutSeconds = kDefaultWebTimeoutSeconds;
    // The proxy the user set up for Windows (Windows 8.1 and later); before that, only
    // WinHTTP's own setting is known.
    const std::wstring agent = utf8ToWide(settings_.userAgent);
    session_ = WinHttpOpen(agent.c_str(), WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY, WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0);
    if (session_ == nullptr)
        session_ = WinHttpOpen(agent.c_str(), WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, WINHTTP_NO_PROXY_NAME,
                               WINHTTP_NO_PROXY_BYPASS, 0);
    if (session_ == nullptr) return;
    // Resolving, connecting, sending and each wait for data: one timeout for each.
    const int milliseconds = settings_.timeoutSeconds * 1000;
    // The wait for a response's headers is a timeout of its own.
    DWORD headersWait = static_cast<DWORD>(milliseconds);
    if (!WinHttpSetTimeouts(session_, milliseconds, milliseconds, milliseconds, milliseconds) ||
        !WinHttpSetOption(session_, WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, &headersWait, sizeof headersWait)) {
        WinHttpCloseHandle(session_);
        session_ = nullptr;
    }
}

WinHttpFetcher::~WinHttpFetcher() {
    // A request a cancel left to its thread keeps its own hold on the session.
    if (session_ != nullptr) WinHttpCloseHandle(session_);
}

FetchResult WinHttpFetcher::fetch(const FetchRequest& request) {
    FetchResult result;
    WebAddress current;
    if (!beginFetch(request, ready(), result, current)) return result;
    for (;;) {
        const std::shared_ptr<Exchange> exchange = startExchange(session_, current);
        if (exchange == nullptr) {
            failFetch(result, FetchFault::Other, "could not start the transfer");
            return result;
        }
        // Every way out lets go of the request; its thread finishes on its own.
        struct Release {
            Exchange& exchange;
            ~Release() { abandon(exchange); }
        } release{*exchange};

        if (waitFor(*exchange, request, [&] { return exchange->headersReady || exchange->finished; }) ==
            Wait::Canceled) {
            failFetch(result, FetchFault::Canceled, "canceled");
            return result;
        }
        std::string phrase, location;
        bool answered = false;
        DWORD error = 0;
        {
            Locked locked(exchange->lock);
            answered = exchange->headersReady;
            error = exchange->error;
            result.status = static_cast<long>(exchange->status);
            splitContentType(exchange->contentType, result.contentType, result.charset);
            phrase = exchange->phrase;
            location = exchange->location;
        }
        if (!answered) {
            describeFailure(error, settings_.timeoutSeconds, result);
            return result;
        }
        const long status = result.status;
        if (status >= 200 && status <= 299) {
            if (!request.anyContentType && !isWebTextType(result.contentType)) {
                failFetch(result, FetchFault::NotHtmlOrText, notHtmlOrTextText(result.contentType));
                return result;
            }
            int64_t length = -1;
            {
                Locked locked(exchange->lock);
                length = exchange->contentLength;
            }
            // With a Content-Encoding this is the encoded length; the decoded bytes are counted too.
            if (length > request.maxBytes) {
                failFetch(result, FetchFault::TooLarge, tooLargeText(request.maxBytes));
                return result;
            }
            takeBody(*exchange, request, settings_.timeoutSeconds, result);
            return result;
        }
        if (!followRedirect(result, request, status, phrase, location, current)) return result;
    }
}
