// frontend/web_fetch.cpp -- one libcurl easy handle driven through a multi handle, so the
// loop can wake every kWebCancelPollMs to ask keepGoing: libcurl's own progress callback
// may slow to one call a second while a server is silent, too slow for a prompt cancel.
// Redirects are followed here rather than by libcurl so that each target is judged by the
// caller's rule before any request goes to it.
#include "frontend/web_fetch.h"
#include "frontend/web_response.h"

#include <curl/curl.h>

#include <cerrno>
#include <cstdlib>
#include <utility>

struct WebFetcher::Handles {
    CURL* easy = nullptr;
    CURLM* multi = nullptr;
    bool globalInit = false;
    char errorText[CURL_ERROR_SIZE] = {};
};

namespace {

// What the header callback learns of the response being received. Every response of a
// transfer (a 100 Continue, then the real one) starts it afresh.
struct Response {
    long status = 0;
    std::string phrase;       // the status line's reason phrase
    std::string contentType;  // the header's value as given
    std::string location;
    int64_t contentLength = -1;
};

// The state one transfer's callbacks share.
struct Transfer {
    const FetchRequest* request = nullptr;
    Response response;
    bool headersDone = false;
    bool acceptBody = false;           // a 2xx response of an accepted type: its body goes to the sink
    FetchFault refusal = FetchFault::None;  // why a callback stopped the transfer
    int64_t delivered = 0;             // bytes given to the sink
    int64_t discarded = 0;             // body bytes of a redirect or error, dropped
    bool discardCut = false;           // such a body was too long to read through
};

// A redirect's or an error's body is read through so the connection can carry the next
// request; beyond this, dropping the connection costs less than reading on.
constexpr int64_t kMaxDiscardBytes = 64 * 1024;

// Judges a complete header block of a final response: the body of a 2xx response of an
// accepted type, within the limit, goes to the sink; that of a redirect or an error is
// dropped. False stops the transfer before any body byte arrives.
bool judgeHeaders(Transfer& transfer) {
    const Response& response = transfer.response;
    if (response.status < 200 || response.status > 299) return true;
    const FetchRequest& request = *transfer.request;
    if (!request.anyContentType) {
        std::string mediaType, charset;
        splitContentType(response.contentType, mediaType, charset);
        if (!isWebTextType(mediaType)) {
            transfer.refusal = FetchFault::NotHtmlOrText;
            return false;
        }
    }
    // With a Content-Encoding this is the encoded length; the decoded bytes are counted too.
    if (response.contentLength > request.maxBytes) {
        transfer.refusal = FetchFault::TooLarge;
        return false;
    }
    transfer.acceptBody = true;
    return true;
}

size_t onHeader(char* buffer, size_t size, size_t count, void* userData) {
    Transfer& transfer = *static_cast<Transfer*>(userData);
    const size_t length = size * count;
    const std::string_view line(buffer, length);
    if (startsFolded(line, "http/")) {
        // A new response: its status line, then its fields.
        transfer.response = Response{};
        transfer.headersDone = false;
        transfer.acceptBody = false;
        const size_t space = line.find(' ');
        if (space != std::string_view::npos) {
            const std::string_view rest = line.substr(space + 1);
            transfer.response.status = std::strtol(std::string(rest.substr(0, 3)).c_str(), nullptr, 10);
            if (rest.size() > 4) transfer.response.phrase = std::string(trimHeaderText(rest.substr(4)));
        }
        return length;
    }
    if (trimHeaderText(line).empty()) {
        // The end of a block. 1xx responses are followed by the real one.
        if (transfer.response.status >= 100 && transfer.response.status < 200) return length;
        transfer.headersDone = true;
        return judgeHeaders(transfer) ? length : 0;
    }
    const size_t colon = line.find(':');
    if (colon == std::string_view::npos) return length;
    const std::string_view name = line.substr(0, colon);
    const std::string_view value = trimHeaderText(line.substr(colon + 1));
    if (name.size() == 12 && startsFolded(name, "content-type")) {
        transfer.response.contentType = std::string(value);
    } else if (name.size() == 8 && startsFolded(name, "location")) {
        transfer.response.location = std::string(value);
    } else if (name.size() == 14 && startsFolded(name, "content-length")) {
        char* end = nullptr;
        const std::string digits(value);
        const long long parsed = std::strtoll(digits.c_str(), &end, 10);
        if (end != digits.c_str() && *end == '\0' && parsed >= 0) transfer.response.contentLength = parsed;
    }
    return length;
}

size_t onBody(char* buffer, size_t size, size_t count, void* userData) {
    Transfer& transfer = *static_cast<Transfer*>(userData);
    const size_t length = size * count;
    const FetchRequest& request = *transfer.request;
    if (!transfer.acceptBody) {
        transfer.discarded += static_cast<int64_t>(length);
        if (transfer.discarded > kMaxDiscardBytes) {
            transfer.discardCut = true;
            return 0;
        }
        return length;
    }
    if (transfer.delivered + static_cast<int64_t>(length) > request.maxBytes) {
        transfer.refusal = FetchFault::TooLarge;
        return 0;
    }
    if (!request.sink(buffer, length)) {
        transfer.refusal = FetchFault::WriteFailed;
        return 0;
    }
    transfer.delivered += static_cast<int64_t>(length);
    return length;
}

}  // namespace

WebFetcher::WebFetcher(FetchSettings settings) : settings_(std::move(settings)) {
    if (settings_.userAgent.empty()) settings_.userAgent = webUserAgent();
    if (settings_.timeoutSeconds <= 0) settings_.timeoutSeconds = kDefaultWebTimeoutSeconds;
    handles_ = new Handles;
    // libcurl counts its initialisations: each fetcher's cleanup undoes only its own.
    handles_->globalInit = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
    if (!handles_->globalInit) return;
    handles_->easy = curl_easy_init();
    handles_->multi = curl_multi_init();
}

WebFetcher::~WebFetcher() {
    if (handles_->easy != nullptr) curl_easy_cleanup(handles_->easy);
    if (handles_->multi != nullptr) curl_multi_cleanup(handles_->multi);
    if (handles_->globalInit) curl_global_cleanup();
    delete handles_;
}

bool WebFetcher::ready() const { return handles_->easy != nullptr && handles_->multi != nullptr; }

namespace {

// Sets what every transfer of the fetcher shares; false if libcurl refuses one (an old
// libcurl without the protocol lists, say), so no transfer runs with a limit missing.
bool configure(CURL* easy, const FetchSettings& settings, char* errorText) {
    bool ok = true;
    ok = ok && curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L) == CURLE_OK;
    ok = ok && curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https") == CURLE_OK;
    ok = ok && curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https") == CURLE_OK;
    ok = ok && curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 0L) == CURLE_OK;
    // A proxy's answer to CONNECT is not the page's: its headers would be judged as the
    // page's type and status.
    ok = ok && curl_easy_setopt(easy, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L) == CURLE_OK;
    ok = ok && curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, 1L) == CURLE_OK;
    ok = ok && curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, 2L) == CURLE_OK;
    ok = ok && curl_easy_setopt(easy, CURLOPT_ACCEPT_ENCODING, "gzip, deflate") == CURLE_OK;
    ok = ok && curl_easy_setopt(easy, CURLOPT_USERAGENT, settings.userAgent.c_str()) == CURLE_OK;
    ok = ok && curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT, static_cast<long>(settings.timeoutSeconds)) == CURLE_OK;
    // The read timeout: less than a byte a second for that long stops the transfer.
    ok = ok && curl_easy_setopt(easy, CURLOPT_LOW_SPEED_LIMIT, 1L) == CURLE_OK;
    ok = ok && curl_easy_setopt(easy, CURLOPT_LOW_SPEED_TIME, static_cast<long>(settings.timeoutSeconds)) == CURLE_OK;
    ok = ok && curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, onHeader) == CURLE_OK;
    ok = ok && curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, onBody) == CURLE_OK;
    ok = ok && curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, errorText) == CURLE_OK;
    return ok;
}

// The fault and words for a transfer libcurl ended with `code`.
void describeCurlFailure(CURL* easy, CURLcode code, const Transfer& transfer, const FetchRequest& request,
                         int timeoutSeconds, const char* errorText, FetchResult& result) {
    switch (code) {
    case CURLE_COULDNT_RESOLVE_HOST:
        failFetch(result, FetchFault::Resolve, "could not resolve host");
        return;
    case CURLE_COULDNT_CONNECT: {
        long osError = 0;
        curl_easy_getinfo(easy, CURLINFO_OS_ERRNO, &osError);
        failFetch(result, FetchFault::Refused, osError == ECONNREFUSED ? "connection refused" : "could not connect");
        return;
    }
    case CURLE_OPERATION_TIMEDOUT:
        failFetch(result, FetchFault::Timeout, timeoutText(timeoutSeconds));
        return;
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_ISSUER_ERROR:
    case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
    case CURLE_SSL_INVALIDCERTSTATUS:
        failFetch(result, FetchFault::Tls, std::string("TLS or certificate problem: ") +
                                          (errorText[0] != 0 ? errorText : curl_easy_strerror(code)));
        return;
    case CURLE_WRITE_ERROR:
        if (transfer.refusal == FetchFault::TooLarge) {
            failFetch(result, FetchFault::TooLarge, tooLargeText(request.maxBytes));
            return;
        }
        if (transfer.refusal == FetchFault::NotHtmlOrText) {
            failFetch(result, FetchFault::NotHtmlOrText,
                 notHtmlOrTextText(result.contentType));
            return;
        }
        if (transfer.refusal == FetchFault::WriteFailed) {
            failFetch(result, FetchFault::WriteFailed, "could not store the page");
            return;
        }
        break;
    default:
        break;
    }
    failFetch(result, FetchFault::Other, errorText[0] != 0 ? errorText : curl_easy_strerror(code));
}

}  // namespace

FetchResult WebFetcher::fetch(const FetchRequest& request) {
    FetchResult result;
    WebAddress current;
    if (!beginFetch(request, ready(), result, current)) return result;
    CURL* easy = handles_->easy;
    CURLM* multi = handles_->multi;

    for (;;) {
        Transfer transfer;
        transfer.request = &request;
        handles_->errorText[0] = 0;
        curl_easy_reset(easy);  // keeps the connection and DNS caches
        if (!configure(easy, settings_, handles_->errorText) ||
            curl_easy_setopt(easy, CURLOPT_HEADERDATA, &transfer) != CURLE_OK ||
            curl_easy_setopt(easy, CURLOPT_WRITEDATA, &transfer) != CURLE_OK ||
            curl_easy_setopt(easy, CURLOPT_URL, current.whole.c_str()) != CURLE_OK) {
            failFetch(result, FetchFault::Other, "libcurl refused a setting");
            return result;
        }
        if (curl_multi_add_handle(multi, easy) != CURLM_OK) {
            failFetch(result, FetchFault::Other, "libcurl could not start the transfer");
            return result;
        }
        bool canceled = false;
        bool multiFailed = false;
        for (;;) {
            int running = 0;
            if (curl_multi_perform(multi, &running) != CURLM_OK) { multiFailed = true; break; }
            if (running == 0) break;
            if (request.keepGoing && !request.keepGoing()) { canceled = true; break; }
            if (curl_multi_poll(multi, nullptr, 0, kWebCancelPollMs, nullptr) != CURLM_OK) { multiFailed = true; break; }
        }
        CURLcode code = CURLE_OK;
        bool done = false;
        int queued = 0;
        while (CURLMsg* message = curl_multi_info_read(multi, &queued)) {
            if (message->msg == CURLMSG_DONE && message->easy_handle == easy) {
                code = message->data.result;
                done = true;
            }
        }
        curl_multi_remove_handle(multi, easy);

        result.bytes = transfer.delivered;
        result.status = transfer.response.status;
        splitContentType(transfer.response.contentType, result.contentType, result.charset);
        if (canceled) {
            failFetch(result, FetchFault::Canceled, "canceled");
            return result;
        }
        if (multiFailed || !done) {
            failFetch(result, FetchFault::Other, "libcurl stopped the transfer");
            return result;
        }
        // Cutting short the body of a redirect or an error loses nothing that was wanted.
        if (code == CURLE_WRITE_ERROR && transfer.discardCut) code = CURLE_OK;
        if (code != CURLE_OK) {
            describeCurlFailure(easy, code, transfer, request, settings_.timeoutSeconds, handles_->errorText, result);
            return result;
        }
        const long status = transfer.response.status;
        if (status >= 200 && status <= 299) return result;

        // libcurl resolves the Location against the address asked; without one, the
        // header's own words are resolved here, so a target libcurl would not name (a
        // file: address) is still judged and refused rather than lost.
        const char* redirectUrl = nullptr;
        curl_easy_getinfo(easy, CURLINFO_REDIRECT_URL, &redirectUrl);
        const std::string target = redirectUrl != nullptr ? std::string(redirectUrl) : transfer.response.location;
        if (!followRedirect(result, request, status, transfer.response.phrase, target, current)) return result;
    }
}
