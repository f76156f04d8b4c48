// frontend/web_response.cpp -- see web_response.h.
#include "frontend/web_response.h"

#ifndef VIMLO_VERSION
#define VIMLO_VERSION "unknown"
#endif

namespace {

char lowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

const char* standardPhrase(long status) {
    switch (status) {
    case 400: return "Bad Request";
    case 401: return "Unauthorized";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    case 410: return "Gone";
    case 429: return "Too Many Requests";
    case 500: return "Internal Server Error";
    case 502: return "Bad Gateway";
    case 503: return "Service Unavailable";
    case 504: return "Gateway Timeout";
    default: return "";
    }
}

std::string printable(std::string_view text) {
    std::string shown;
    for (char c : text) shown += (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) ? '?' : c;
    return shown;
}

}  // namespace

std::string webUserAgent() { return std::string("vimlo/") + VIMLO_VERSION; }

std::string_view trimHeaderText(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r' ||
                             text.back() == '\n'))
        text.remove_suffix(1);
    return text;
}

bool startsFolded(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) return false;
    for (size_t i = 0; i < prefix.size(); ++i)
        if (lowerAscii(text[i]) != prefix[i]) return false;
    return true;
}

void splitContentType(std::string_view value, std::string& mediaType, std::string& charset) {
    mediaType.clear();
    charset.clear();
    const size_t semicolon = value.find(';');
    for (char c : trimHeaderText(value.substr(0, semicolon))) mediaType += lowerAscii(c);
    size_t at = semicolon;
    while (at != std::string_view::npos) {
        const size_t next = value.find(';', at + 1);
        const std::string_view parameter = trimHeaderText(
            value.substr(at + 1, next == std::string_view::npos ? std::string_view::npos : next - at - 1));
        if (startsFolded(parameter, "charset")) {
            std::string_view rest = trimHeaderText(parameter.substr(7));
            if (!rest.empty() && rest.front() == '=') {
                rest = trimHeaderText(rest.substr(1));
                if (rest.size() >= 2 && rest.front() == '"' && rest.back() == '"')
                    rest = rest.substr(1, rest.size() - 2);
                charset = std::string(rest);
            }
        }
        at = next;
    }
}

bool isWebTextType(const std::string& mediaType) {
    return mediaType == "text/html" || mediaType == "application/xhtml+xml" || mediaType == "text/plain";
}

std::string httpStatusText(long status, const std::string& phrase) {
    std::string text = "HTTP " + std::to_string(status);
    const std::string shown = phrase.empty() ? std::string(standardPhrase(status)) : phrase;
    if (!shown.empty()) text += " " + shown;
    return text;
}

void failFetch(FetchResult& result, FetchFault fault, const std::string& why) {
    result.fault = fault;
    result.reason = printable(result.address) + ": " + printable(why);
}

std::string timeoutText(int timeoutSeconds) {
    return "timed out (nothing received for " + std::to_string(timeoutSeconds) + " s)";
}

std::string tooLargeText(int64_t maxBytes) {
    return "too large (more than " + std::to_string(maxBytes) + " bytes)";
}

std::string notHtmlOrTextText(const std::string& mediaType) {
    return mediaType.empty() ? std::string("not HTML or text (no Content-Type)")
                             : "not HTML or text (" + mediaType + ")";
}

bool followRedirect(FetchResult& result, const FetchRequest& request, long status, const std::string& phrase,
                    const std::string& location, WebAddress& current) {
    const bool redirect = status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
    if (!redirect) {
        failFetch(result, FetchFault::HttpStatus, httpStatusText(status, phrase));
        return false;
    }
    if (location.empty()) {
        failFetch(result, FetchFault::HttpStatus, httpStatusText(status, phrase) + " without a Location");
        return false;
    }
    if (result.redirects == kMaxWebRedirects) {
        failFetch(result, FetchFault::TooManyRedirects, "more than " + std::to_string(kMaxWebRedirects) + " redirects");
        return false;
    }
    WebAddress next;
    if (!resolveWebAddress(current, location, next)) {
        failFetch(result, FetchFault::RedirectRefused, "redirect to " + location + " refused (not an http or https address)");
        return false;
    }
    if (request.mayFollow && !request.mayFollow(next)) {
        failFetch(result, FetchFault::RedirectRefused, "redirect to " + next.whole + " refused (outside the allowed places)");
        return false;
    }
    current = next;
    result.address = current.whole;
    result.redirects += 1;
    return true;
}

bool beginFetch(const FetchRequest& request, bool ready, FetchResult& result, WebAddress& current) {
    result.address = request.address;
    if (!parseWebAddress(request.address, current)) {
        failFetch(result, FetchFault::BadAddress, "not an http or https address");
        return false;
    }
    if (!ready || !request.sink) {
        failFetch(result, FetchFault::Other, "the fetcher could not start");
        return false;
    }
    result.address = current.whole;
    return true;
}
