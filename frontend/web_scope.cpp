// frontend/web_scope.cpp -- the "where it goes" rule over parsed addresses.
#include "frontend/web_scope.h"

#include <string_view>

namespace {

// "." or "..", each dot possibly written "%2e" or "%2E".
bool isEscapedDotSegment(std::string_view segment) {
    int dots = 0;
    size_t at = 0;
    while (at < segment.size()) {
        if (segment[at] == '.') {
            at += 1;
        } else if (segment.size() - at >= 3 && segment[at] == '%' && segment[at + 1] == '2' &&
                   (segment[at + 2] == 'e' || segment[at + 2] == 'E')) {
            at += 3;
        } else {
            return false;
        }
        dots += 1;
    }
    return dots == 1 || dots == 2;
}

bool hasDotSegment(std::string_view path) {
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find('/', start);
        if (end == std::string_view::npos) end = path.size();
        if (end > start && isEscapedDotSegment(path.substr(start, end - start))) return true;
        start = end + 1;
    }
    return false;
}

}  // namespace

WebScope makeWebScope(const WebAddress& root, WebScopeMode mode) {
    WebScope scope;
    scope.root = root;
    scope.mode = mode;
    const size_t slash = root.path.rfind('/');
    scope.folder = slash == std::string::npos ? std::string("/") : root.path.substr(0, slash + 1);
    return scope;
}

bool inWebScope(const WebScope& scope, const WebAddress& candidate) {
    // parseWebAddress admits only http and https, but a hand-made address may not have
    // gone through it.
    if (candidate.scheme != "http" && candidate.scheme != "https") return false;
    if (scope.mode == WebScopeMode::AnyHost) return true;
    if (!sameOrigin(scope.root, candidate)) return false;
    if (scope.mode == WebScopeMode::WholeHost) return true;
    return candidate.path.compare(0, scope.folder.size(), scope.folder) == 0 &&
           !hasDotSegment(candidate.path);
}
