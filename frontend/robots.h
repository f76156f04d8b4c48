// frontend/robots.h -- robots.txt for the agent "vimlo": which paths of a host the
// conversion may fetch. Parsing and matching work on text already fetched; fetchRobots
// fetches a host's file with a PageFetcher and turns its status into rules as the robots
// exclusion protocol asks (a missing file allows everything, a server error or no answer
// forbids everything). Remembering the rules per host is left to the caller.
#pragma once
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "frontend/web_fetch.h"

// Crawlers must read at least 500 KiB of the file; what lies beyond is ignored.
inline constexpr size_t kMaxRobotsBytes = 500 * 1024;
inline constexpr std::string_view kRobotsAgent = "vimlo";

struct RobotsRule {
    bool allow = false;
    std::string pattern;  // normalised escapes; '*' any bytes, a final '$' the end
};

struct RobotsRules {
    bool disallowAll = false;       // the file could not be had for a reason that forbids everything
    std::vector<RobotsRule> rules;  // the group(s) for the agent, or those for "*"
};

// The rules of `text` that apply to `agent`: all groups naming it (case-insensitively),
// else all groups for "*", else none. Lines of other fields, and rules before any
// User-agent line, are ignored; an empty Allow or Disallow matches nothing.
RobotsRules parseRobots(std::string_view text, std::string_view agent = kRobotsAgent);

// Whether `pathAndQuery` ("/dir/page.html?x=1") may be fetched: the matching rule with the
// longest pattern decides, Allow winning a tie; no match allows. "/robots.txt" is always
// allowed.
bool robotsAllow(const RobotsRules& rules, std::string_view pathAndQuery);

struct RobotsFetch {
    RobotsRules rules;
    FetchResult result;   // the fetch of the file, for reporting
    bool canceled = false;
};

// Fetches "<origin of page>/robots.txt" and makes its rules: a 2xx body (its first
// kMaxRobotsBytes) is parsed; a 4xx, or more redirects than allowed, allows everything; a
// 5xx, a failed connection or any other failure forbids everything on the host.
RobotsFetch fetchRobots(PageFetcher& fetcher, const WebAddress& page, const WebKeepGoing& keepGoing = {});
