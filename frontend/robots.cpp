// frontend/robots.cpp -- robots.txt groups, rules and longest-match decisions.
#include "frontend/robots.h"
#include "frontend/text_encoding.h"

#include <algorithm>
#include <cstdint>

namespace {

char lowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

std::string_view trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r'))
        text.remove_suffix(1);
    return text;
}

bool equalsFolded(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (lowerAscii(a[i]) != lowerAscii(b[i])) return false;
    return true;
}


bool isUnreserved(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
           c == '-' || c == '.' || c == '_' || c == '~';
}

// One spelling for paths and patterns: escaped unreserved characters are decoded, other
// escapes written with upper-case hex, and bytes outside ASCII escaped, so "/%7Efoo",
// "/~foo" and "/%7efoo" compare equal and a UTF-8 pattern matches an escaped path.
std::string normalise(std::string_view text) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c == '%' && i + 2 < text.size() && hexDigitValue(text[i + 1]) >= 0 && hexDigitValue(text[i + 2]) >= 0) {
            const unsigned char decoded = static_cast<unsigned char>(hexDigitValue(text[i + 1]) * 16 + hexDigitValue(text[i + 2]));
            if (isUnreserved(decoded)) {
                out += static_cast<char>(decoded);
            } else {
                out += '%';
                out += kHex[decoded >> 4];
                out += kHex[decoded & 15];
            }
            i += 2;
        } else if (c >= 0x80) {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 15];
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

// Whether `pattern` matches a prefix of `path` ('*' any run of bytes, a final '$' the end
// of the path). Greedy with one point of return per star: linear in practice, at worst
// the product of the lengths, never exponential.
bool patternMatches(std::string_view pattern, std::string_view path) {
    bool anchored = false;
    if (!pattern.empty() && pattern.back() == '$') {
        anchored = true;
        pattern.remove_suffix(1);
    }
    size_t p = 0, s = 0;
    size_t starAt = std::string_view::npos, resumeAt = 0;
    for (;;) {
        if (p == pattern.size()) {
            if (!anchored || s == path.size()) return true;
        } else if (pattern[p] == '*') {
            starAt = p++;
            resumeAt = s;
            continue;
        } else if (s < path.size() && pattern[p] == path[s]) {
            ++p;
            ++s;
            continue;
        }
        // A mismatch (or an anchored end not reached): let the last star take one more byte.
        if (starAt == std::string_view::npos || resumeAt >= path.size()) return false;
        p = starAt + 1;
        s = ++resumeAt;
    }
}

// The product token of a User-agent line: its leading letters, '_' and '-' ("vimlo/1.0"
// names vimlo).
std::string_view productToken(std::string_view value) {
    size_t end = 0;
    while (end < value.size()) {
        const char c = value[end];
        const bool tokenChar = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c == '-';
        if (!tokenChar) break;
        ++end;
    }
    if (end == 0 && !value.empty() && value[0] == '*') return value.substr(0, 1);
    return value.substr(0, end);
}

}  // namespace

RobotsRules parseRobots(std::string_view text, std::string_view agent) {
    RobotsRules mine, anyone;
    bool groupIsMine = false, groupIsAnyone = false;
    bool inAgentLines = false;  // the previous field was a User-agent line
    bool haveMine = false;
    if (text.size() > kMaxRobotsBytes) {
        // Cut at the last line break within the limit rather than read half a rule.
        const size_t lastBreak = text.substr(0, kMaxRobotsBytes).find_last_of("\r\n");
        text = text.substr(0, lastBreak == std::string_view::npos ? 0 : lastBreak + 1);
    }
    if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);

    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find_first_of("\r\n", start);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(start, end - start);
        start = end + 1;
        const size_t hash = line.find('#');
        if (hash != std::string_view::npos) line = line.substr(0, hash);
        const size_t colon = line.find(':');
        if (colon == std::string_view::npos) continue;
        const std::string_view key = trim(line.substr(0, colon));
        const std::string_view value = trim(line.substr(colon + 1));

        if (equalsFolded(key, "user-agent")) {
            if (!inAgentLines) groupIsMine = groupIsAnyone = false;  // a new group starts
            inAgentLines = true;
            const std::string_view token = productToken(value);
            if (token == "*") groupIsAnyone = true;
            else if (!token.empty() && equalsFolded(token, agent)) groupIsMine = haveMine = true;
            continue;
        }
        const bool allow = equalsFolded(key, "allow");
        if (!allow && !equalsFolded(key, "disallow")) continue;  // sitemap and the like
        inAgentLines = false;
        if (value.empty()) continue;  // matches nothing
        const RobotsRule rule{allow, normalise(value)};
        if (groupIsMine) mine.rules.push_back(rule);
        if (groupIsAnyone) anyone.rules.push_back(rule);
    }
    return haveMine ? mine : anyone;
}

bool robotsAllow(const RobotsRules& rules, std::string_view pathAndQuery) {
    if (pathAndQuery == "/robots.txt") return true;
    if (rules.disallowAll) return false;
    const std::string path = normalise(pathAndQuery);
    size_t bestLength = 0;
    bool bestAllow = true;
    bool matched = false;
    for (const RobotsRule& rule : rules.rules) {
        if (!patternMatches(rule.pattern, path)) continue;
        const size_t length = rule.pattern.size();
        if (!matched || length > bestLength || (length == bestLength && rule.allow)) {
            bestLength = length;
            bestAllow = rule.allow;
            matched = true;
        }
    }
    return bestAllow;
}

RobotsFetch fetchRobots(PageFetcher& fetcher, const WebAddress& page, const WebKeepGoing& keepGoing) {
    RobotsFetch fetched;
    std::string text;
    FetchRequest request;
    request.address = page.scheme + "://" + page.host + ":" + std::to_string(page.port) + "/robots.txt";
    request.keepGoing = keepGoing;
    request.anyContentType = true;
    // Only the sink's cut bounds the file: a huge one is still read up to it, not refused.
    request.maxBytes = INT64_MAX;
    // The sink keeps the first kMaxRobotsBytes and then stops the transfer: the rest is
    // never read.
    bool cut = false;
    request.sink = [&text, &cut](const char* bytes, size_t length) {
        const size_t room = kMaxRobotsBytes - text.size();
        text.append(bytes, std::min(room, length));
        if (length > room) {
            cut = true;
            return false;
        }
        return true;
    };
    fetched.result = fetcher.fetch(request);
    const FetchResult& result = fetched.result;
    if (result.fault == FetchFault::Canceled) {
        fetched.canceled = true;
        fetched.rules.disallowAll = true;
        return fetched;
    }
    if (result.fault == FetchFault::None || (result.fault == FetchFault::WriteFailed && cut)) {
        std::string_view usable = text;
        // A file cut at the limit loses its last, partial line rather than read half a rule.
        if (cut) {
            const size_t lastBreak = usable.find_last_of("\r\n");
            usable = usable.substr(0, lastBreak == std::string_view::npos ? 0 : lastBreak + 1);
        }
        fetched.rules = parseRobots(usable);
        return fetched;
    }
    const bool unavailable = (result.fault == FetchFault::HttpStatus && result.status >= 400 && result.status <= 499) ||
                             result.fault == FetchFault::TooManyRedirects;
    fetched.rules.disallowAll = !unavailable;
    return fetched;
}
