// frontend/web_scope.h -- where a conversion from the web may go: the web counterpart of
// keeping a local conversion inside its folder. The rule is asked for every page found
// and for every redirect target before anything is fetched from it; a page outside is
// not fetched at all. Deciding what to do with a refused page is left to the caller.
#pragma once
#include <string>

#include "frontend/web_address.h"

enum class WebScopeMode {
    BelowRoot,  // same scheme, host and port, and the path at or below the root page's folder
    WholeHost,  // same scheme, host and port, any path
    AnyHost,    // any http or https address
};

struct WebScope {
    WebAddress root;
    WebScopeMode mode = WebScopeMode::BelowRoot;
    // The root page's folder: its path up to and including the last '/'.
    std::string folder;
};

// The scope of a conversion starting at `root`.
WebScope makeWebScope(const WebAddress& root, WebScopeMode mode);

// Whether `candidate` may be fetched. Paths are compared byte for byte as they appear in
// the address (libcurl's parser has already removed literal dot segments). Below the root,
// a segment that is a dot segment written with escapes ("%2e%2e", ".%2E") is refused:
// browsers and many servers take it as "..", which would climb out of the folder.
bool inWebScope(const WebScope& scope, const WebAddress& candidate);
