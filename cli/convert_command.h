// cli/convert_command.h -- `vimlo convert`: each source checked and given a destination
// and title by the front end's rules, then converted by the engine on one of `jobs`
// worker threads into a staged file that replaces the destination only on success; on
// request each finished database's preview page is written beside it.
#pragma once
#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

#include "frontend/settings.h"

struct ConvertRequest {
    std::vector<std::string> sources;
    std::string output;                // empty: beside each source
    std::optional<std::string> title;  // default: the proposed title
    ConverterSettings settings;        // the text options, MaxDepth, FollowLinksOutside, KeepNavigation, encoding
    bool force = false;
    bool quiet = false;
    bool preview = false;  // also write each database's preview page beside it
    bool verbose = false;  // name each linked page not followed, the characters changed
    int jobs = 1;
    // Sources on the web (http:// and https:// addresses).
    bool followHosts = false;    // any host; --follow-links-outside: the whole host
    double waitSeconds = 0.5;    // between two requests to one host
    int timeoutSeconds = 30;     // for connecting, and for each silence of the server
    mode_t umaskBits = 022;  // for new destinations
};

// Runs the whole command and returns its exit status: 0 when every source converted,
// else the status of the first source in command-line order that did not. When an
// interrupt canceled a conversion it does not return but ends by that signal.
int runConvert(const ConvertRequest& request);
