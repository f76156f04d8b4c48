// fuzz/web_rules.cpp -- the rules a conversion from the web applies to what servers send:
// addresses (a Location header, a page's link in its normal form), where a run may go,
// robots.txt and the Content-Type. The input is three lines, a base address, a
// reference and a Content-Type, then a robots.txt body. An address that parses has one
// spelling: its normal form parses to itself; a resolved address is http(s) with a path;
// below the root nothing outside the root's folder is allowed; robots.txt itself is
// always allowed.
#include <cstdint>
#include <string>
#include <string_view>

#include "frontend/robots.h"
#include "frontend/web_address.h"
#include "frontend/web_response.h"
#include "frontend/web_scope.h"
#include "fuzz/fuzz_support.h"

namespace {

std::string_view nextLine(std::string_view& rest) {
    const size_t end = rest.find('\n');
    const std::string_view line = rest.substr(0, end);
    rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
    return line;
}

void checkAddress(const WebAddress& address) {
    fuzzCheck(address.scheme == "http" || address.scheme == "https", "an address of another scheme");
    fuzzCheck(!address.host.empty() && address.port != 0, "an address without host or port");
    fuzzCheck(!address.path.empty() && address.path[0] == '/', "a path not starting with '/'");
    WebAddress again;
    fuzzCheck(parseWebAddress(address.whole, again), "a normal form that does not parse");
    fuzzCheck(again.whole == address.whole, "a normal form that is not its own");
    fuzzCheck(sameOrigin(again, address) && again.pathAndQuery() == address.pathAndQuery(),
              "a normal form naming another place");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view rest(reinterpret_cast<const char*>(data), size);
    const std::string_view baseText = nextLine(rest);
    const std::string_view reference = nextLine(rest);
    const std::string_view contentType = nextLine(rest);

    std::string mediaType, charset;
    splitContentType(contentType, mediaType, charset);
    fuzzCheck(mediaType.size() <= contentType.size() && charset.size() <= contentType.size(),
              "a Content-Type part longer than the header");

    const RobotsRules rules = parseRobots(rest);
    fuzzCheck(robotsAllow(rules, "/robots.txt"), "robots.txt refused to itself");

    WebAddress base;
    if (!parseWebAddress(baseText, base)) return 0;
    checkAddress(base);
    robotsAllow(rules, base.pathAndQuery());
    WebAddress target;
    if (!resolveWebAddress(base, reference, target)) return 0;
    checkAddress(target);
    robotsAllow(rules, target.pathAndQuery());
    const WebScope below = makeWebScope(base, WebScopeMode::BelowRoot);
    if (inWebScope(below, target)) {
        fuzzCheck(sameOrigin(base, target), "below the root on another host");
        fuzzCheck(target.path.compare(0, below.folder.size(), below.folder) == 0, "below the root outside its folder");
    }
    fuzzCheck(inWebScope(makeWebScope(base, WebScopeMode::AnyHost), target), "an http(s) address refused by any host");
    return 0;
}
