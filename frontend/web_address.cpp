// frontend/web_address.cpp -- the pieces of an http(s) address, through curl_url.
#include "frontend/web_address.h"

#include <curl/curl.h>

#include <cstdlib>

namespace {

// Owns one CURLU handle; every exit releases it.
struct UrlHandle {
    CURLU* url = curl_url();
    UrlHandle() = default;
    UrlHandle(const UrlHandle&) = delete;
    UrlHandle& operator=(const UrlHandle&) = delete;
    ~UrlHandle() { if (url != nullptr) curl_url_cleanup(url); }
};

// One part of `url` into `out`; "" for a part that is not there.
bool getPart(CURLU* url, CURLUPart part, unsigned flags, std::string& out) {
    char* text = nullptr;
    const CURLUcode rc = curl_url_get(url, part, &text, flags);
    if (rc == CURLUE_OK) {
        out = text;
        curl_free(text);
        return true;
    }
    out.clear();
    // A part that is simply absent is no error.
    return rc == CURLUE_NO_QUERY || rc == CURLUE_NO_FRAGMENT || rc == CURLUE_NO_PORT;
}

char lowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool fillFrom(CURLU* url, WebAddress& address) {
    if (!getPart(url, CURLUPART_SCHEME, 0, address.scheme)) return false;
    for (char& c : address.scheme) c = lowerAscii(c);
    if (address.scheme != "http" && address.scheme != "https") return false;
    if (!getPart(url, CURLUPART_HOST, 0, address.host) || address.host.empty()) return false;
    for (char& c : address.host) c = lowerAscii(c);
    std::string port;
    if (!getPart(url, CURLUPART_PORT, CURLU_DEFAULT_PORT, port) || port.empty()) return false;
    const long portNumber = std::strtol(port.c_str(), nullptr, 10);
    if (portNumber <= 0 || portNumber > 65535) return false;
    address.port = static_cast<uint16_t>(portNumber);
    if (!getPart(url, CURLUPART_PATH, 0, address.path)) return false;
    if (address.path.empty()) address.path = "/";
    if (!getPart(url, CURLUPART_QUERY, 0, address.query)) return false;
    // The fragment names a place in the page, never a different document to fetch.
    if (curl_url_set(url, CURLUPART_FRAGMENT, nullptr, 0) != CURLUE_OK) return false;
    return getPart(url, CURLUPART_URL, 0, address.whole);
}

}  // namespace

std::string WebAddress::origin() const {
    return scheme + "://" + host + ":" + std::to_string(port);
}

std::string WebAddress::pathAndQuery() const {
    return query.empty() ? path : path + "?" + query;
}

bool parseWebAddress(std::string_view text, WebAddress& address) {
    UrlHandle handle;
    if (handle.url == nullptr) return false;
    // Refuse embedded zero bytes: the C API would read a shorter address than was given.
    if (text.find('\0') != std::string_view::npos) return false;
    const std::string copy(text);
    // No CURLU_GUESS_SCHEME and no default scheme: a bare "host/page" is not an address.
    if (curl_url_set(handle.url, CURLUPART_URL, copy.c_str(), CURLU_NON_SUPPORT_SCHEME) != CURLUE_OK)
        return false;
    return fillFrom(handle.url, address);
}

bool resolveWebAddress(const WebAddress& base, std::string_view reference, WebAddress& address) {
    UrlHandle handle;
    if (handle.url == nullptr) return false;
    if (reference.find('\0') != std::string_view::npos) return false;
    if (curl_url_set(handle.url, CURLUPART_URL, base.whole.c_str(), 0) != CURLUE_OK) return false;
    // Setting a URL on a handle that holds one resolves it as a relative reference.
    const std::string copy(reference);
    if (curl_url_set(handle.url, CURLUPART_URL, copy.c_str(), CURLU_NON_SUPPORT_SCHEME) != CURLUE_OK)
        return false;
    return fillFrom(handle.url, address);
}

bool sameOrigin(const WebAddress& a, const WebAddress& b) {
    return a.scheme == b.scheme && a.host == b.host && a.port == b.port;
}
