// frontend/web_address.h -- http(s) addresses taken apart after RFC 3986, so the "where it
// goes" rule, robots.txt and the fetchers (libcurl's and WinHTTP's) compare the same
// pieces the transfer will use. Only absolute http and https addresses are accepted;
// anything else (file:, ftp:, a bare path, a malformed address) is refused. Resolving a
// relative reference against a base is offered for redirects (a Location may be relative).
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

struct WebAddress {
    std::string scheme;  // "http" or "https", lower case
    std::string host;    // lower case; an IPv6 literal keeps its brackets
    uint16_t port = 0;   // the explicit port, or 80 / 443 by the scheme
    std::string path;    // "/" at least, as given (percent-escapes untouched)
    std::string query;   // without the '?', "" when none
    // The address in one spelling: scheme and host in lower case, a default port left
    // out, dot segments removed, an empty path made "/", the fragment dropped.
    std::string whole;

    // "scheme://host:port", the unit robots.txt and politeness are kept per.
    std::string origin() const;
    // path plus "?query" when there is a query: what robots.txt rules match against.
    std::string pathAndQuery() const;
};

// Parses an absolute http(s) address. False (and `address` left unspecified) for any
// other scheme, a missing or malformed host or port, or a byte that is no printable ASCII
// (escape the address first with escapedAddress).
bool parseWebAddress(std::string_view text, WebAddress& address);

// Resolves `reference` (absolute, or relative as in a Location header) against `base`
// and parses the result as parseWebAddress does. Bytes the reference may not hold as
// they stand are escaped first, as browsers do with a Location.
bool resolveWebAddress(const WebAddress& base, std::string_view reference, WebAddress& address);

// Same scheme, host and port.
bool sameOrigin(const WebAddress& a, const WebAddress& b);

// `address` (UTF-8, as a page names it) with every byte that may not stand in an address
// (spaces, controls, bytes beyond ASCII, and " < > \ ^ ` { | }) percent-escaped.
std::string escapedAddress(const std::string& address);

// The http(s) address an Internet shortcut (a ".url" file, as browsers save a link) names:
// the URL key of its [InternetShortcut] section, names compared without case. nullopt
// when there is none, or it is no http or https address, or it holds a byte beyond
// ASCII (such files spell addresses in the system's code page, which is not known here).
std::optional<std::string> internetShortcutAddress(std::string_view text);
