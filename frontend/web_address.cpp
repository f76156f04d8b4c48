// frontend/web_address.cpp -- the pieces of an http(s) address after RFC 3986, by hand:
// both front ends must judge addresses alike, and only one of them carries libcurl.
#include "frontend/web_address.h"

#include <cstdlib>

namespace {

char lowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool isAlpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isHex(char c) { return isDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

// unreserved, pct-encoded's '%' and sub-delims: what a registered host name may hold.
bool isHostByte(char c) {
    return isAlpha(c) || isDigit(c) || std::string_view("-._~%!$&'()*+,;=").find(c) != std::string_view::npos;
}

// What an address may hold anywhere: printable ASCII. Spaces, controls and bytes beyond
// ASCII must have been escaped by whoever made the address (escapedAddress).
bool printableAscii(std::string_view text) {
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte <= 0x20 || byte >= 0x7F) return false;
    }
    return true;
}

// The scheme of `text` ("http" in "http://..."), or empty when it has none.
std::string_view schemeOf(std::string_view text) {
    if (text.empty() || !isAlpha(text[0])) return {};
    for (size_t i = 1; i < text.size(); ++i) {
        const char c = text[i];
        if (c == ':') return text.substr(0, i);
        if (!isAlpha(c) && !isDigit(c) && c != '+' && c != '-' && c != '.') return {};
    }
    return {};
}

// RFC 3986 5.2.4: literal "." and ".." segments removed; ".." never climbs above "/".
std::string removeDotSegments(std::string_view path) {
    std::string out;
    size_t at = 0;
    while (at < path.size()) {
        const std::string_view rest = path.substr(at);
        if (rest.substr(0, 3) == "../") { at += 3; continue; }
        if (rest.substr(0, 2) == "./") { at += 2; continue; }
        if (rest.substr(0, 3) == "/./") { at += 2; continue; }
        if (rest == "/.") { out += '/'; break; }
        if (rest.substr(0, 4) == "/../" || rest == "/..") {
            const size_t cut = out.rfind('/');
            out.erase(cut == std::string::npos ? 0 : cut);
            if (rest == "/..") { out += '/'; break; }
            at += 3;
            continue;
        }
        if (rest == "." || rest == "..") break;
        size_t end = path.find('/', at + 1);
        if (end == std::string_view::npos) end = path.size();
        out.append(path.substr(at, end - at));
        at = end;
    }
    return out;
}

// Takes apart "scheme://authority/path?query" (fragment already gone).
bool parseAbsolute(std::string_view text, WebAddress& address) {
    const std::string_view scheme = schemeOf(text);
    if (scheme.empty()) return false;
    address.scheme.clear();
    for (const char c : scheme) address.scheme += lowerAscii(c);
    if (address.scheme != "http" && address.scheme != "https") return false;
    std::string_view rest = text.substr(scheme.size() + 1);
    if (rest.substr(0, 2) != "//") return false;
    rest.remove_prefix(2);
    const size_t authorityEnd = rest.find_first_of("/?");
    const std::string_view authority = rest.substr(0, authorityEnd);
    rest = authorityEnd == std::string_view::npos ? std::string_view() : rest.substr(authorityEnd);

    // user:password@ is kept in the address as given, never judged.
    const size_t at = authority.rfind('@');
    const std::string_view userInfo = at == std::string_view::npos ? std::string_view() : authority.substr(0, at + 1);
    std::string_view hostPort = at == std::string_view::npos ? authority : authority.substr(at + 1);
    std::string_view host;
    std::string_view port;
    if (!hostPort.empty() && hostPort[0] == '[') {
        const size_t close = hostPort.find(']');
        if (close == std::string_view::npos || close < 3) return false;
        for (const char c : hostPort.substr(1, close - 1))
            if (!isHex(c) && c != ':' && c != '.') return false;
        host = hostPort.substr(0, close + 1);
        const std::string_view after = hostPort.substr(close + 1);
        if (!after.empty() && after[0] != ':') return false;
        if (!after.empty()) port = after.substr(1);
    } else {
        const size_t colon = hostPort.rfind(':');
        host = hostPort.substr(0, colon);
        if (colon != std::string_view::npos) port = hostPort.substr(colon + 1);
        for (const char c : host)
            if (!isHostByte(c)) return false;
    }
    if (host.empty()) return false;
    address.host.clear();
    for (const char c : host) address.host += lowerAscii(c);
    const uint16_t defaultPort = address.scheme == "https" ? 443 : 80;
    if (port.empty()) {
        address.port = defaultPort;
    } else {
        if (port.size() > 5) return false;
        long number = 0;
        for (const char c : port) {
            if (!isDigit(c)) return false;
            number = number * 10 + (c - '0');
        }
        if (number <= 0 || number > 65535) return false;
        address.port = static_cast<uint16_t>(number);
    }

    const size_t question = rest.find('?');
    address.path = removeDotSegments(rest.substr(0, question));
    if (address.path.empty()) address.path = "/";
    address.query = question == std::string_view::npos ? std::string() : std::string(rest.substr(question + 1));

    // One spelling per address: scheme and host in lower case, a default port left out.
    address.whole = address.scheme + "://" + std::string(userInfo) + address.host;
    if (address.port != defaultPort) address.whole += ":" + std::to_string(address.port);
    address.whole += address.path;
    if (question != std::string_view::npos) address.whole += "?" + address.query;
    return true;
}

}  // namespace

std::string WebAddress::origin() const {
    return scheme + "://" + host + ":" + std::to_string(port);
}

std::string WebAddress::pathAndQuery() const {
    return query.empty() ? path : path + "?" + query;
}

bool parseWebAddress(std::string_view text, WebAddress& address) {
    if (!printableAscii(text)) return false;
    // The fragment names a place in the page, never a different document to fetch.
    return parseAbsolute(text.substr(0, text.find('#')), address);
}

bool resolveWebAddress(const WebAddress& base, std::string_view reference, WebAddress& address) {
    // A Location header may carry what an address may not: escaped, as browsers do.
    const std::string escaped = escapedAddress(std::string(reference));
    std::string_view ref = escaped;
    ref = ref.substr(0, ref.find('#'));
    // RFC 3986 5.2.2, strict: a reference with a scheme is absolute.
    if (!schemeOf(ref).empty()) return parseAbsolute(ref, address);
    std::string target;
    const std::string prefix = base.scheme + "://";
    if (ref.substr(0, 2) == "//") {
        target = base.scheme + ":" + std::string(ref);
    } else {
        // The base's authority as its normal form spells it (user information included).
        const std::string_view whole = base.whole;
        const size_t pathAt = whole.find_first_of("/?", prefix.size());
        const std::string origin(whole.substr(0, pathAt));
        if (ref.empty()) {
            target = origin + base.pathAndQuery();
        } else if (ref[0] == '/') {
            target = origin + std::string(ref);
        } else if (ref[0] == '?') {
            target = origin + base.path + std::string(ref);
        } else {
            const size_t slash = base.path.rfind('/');
            target = origin + base.path.substr(0, slash + 1) + std::string(ref);
        }
    }
    return parseAbsolute(target, address);
}

bool sameOrigin(const WebAddress& a, const WebAddress& b) {
    return a.scheme == b.scheme && a.host == b.host && a.port == b.port;
}

std::string escapedAddress(const std::string& address) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string escaped;
    for (const char c : address) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte <= 0x20 || byte >= 0x7F || std::string_view("\"<>\\^`{|}").find(c) != std::string_view::npos) {
            escaped += '%';
            escaped += kHex[byte >> 4];
            escaped += kHex[byte & 15];
        } else {
            escaped += c;
        }
    }
    return escaped;
}

std::optional<std::string> internetShortcutAddress(std::string_view text) {
    auto equalsFolded = [](std::string_view a, std::string_view b) {
        if (a.size() != b.size()) return false;
        for (size_t i = 0; i < a.size(); ++i)
            if (lowerAscii(a[i]) != lowerAscii(b[i])) return false;
        return true;
    };
    auto trim = [](std::string_view line) {
        while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
        while (!line.empty() && (line.back() == ' ' || line.back() == '\t' || line.back() == '\r'))
            line.remove_suffix(1);
        return line;
    };
    // A UTF-8 byte-order mark before the first section is no part of its name.
    if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
    bool inSection = false;
    while (!text.empty()) {
        const size_t end = text.find('\n');
        const std::string_view line = trim(text.substr(0, end));
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        if (!line.empty() && line.front() == '[') {
            inSection = line.back() == ']' && equalsFolded(line.substr(1, line.size() - 2), "InternetShortcut");
            continue;
        }
        const size_t equals = line.find('=');
        if (!inSection || equals == std::string_view::npos || !equalsFolded(trim(line.substr(0, equals)), "URL"))
            continue;
        const std::string_view value = trim(line.substr(equals + 1));
        WebAddress address;
        if (!printableAscii(value) || !parseWebAddress(value, address)) return std::nullopt;
        return std::string(value);
    }
    return std::nullopt;
}
