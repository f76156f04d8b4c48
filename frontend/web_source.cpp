// frontend/web_source.cpp -- see web_source.h.
#include "frontend/web_source.h"

#include "frontend/robots.h"
#include "frontend/web_address.h"

namespace {

class RulesRobots : public WebRobots {
public:
    explicit RulesRobots(RobotsRules rules) : rules_(std::move(rules)) {}
    bool allows(const std::string& address) const override {
        if (rules_.disallowAll) return false;
        WebAddress parsed;
        if (!parseWebAddress(escapedAddress(address), parsed)) return false;
        return robotsAllow(rules_, parsed.pathAndQuery());
    }

private:
    RobotsRules rules_;
};

// As the exclusion protocol has it: a file had is read; a missing one (4xx), or one
// behind too many redirects, allows everything; a server error or no answer forbids it all.
std::unique_ptr<WebRobots> robotsFrom(const std::string& body, int status) {
    if (status >= 200 && status <= 299) return std::make_unique<RulesRobots>(parseRobots(body));
    if (status >= 300 && status <= 499) return nullptr;
    RobotsRules none;
    none.disallowAll = true;
    return std::make_unique<RulesRobots>(std::move(none));
}

}  // namespace

// The fetcher's requests and results in the web wrapper's terms.
class WebSource::Fetching : public WebFetching {
public:
    explicit Fetching(PageFetcher& fetcher) : fetcher_(fetcher) {}

    WebFetchOutcome fetch(const std::string& address, bool anyType,
                          const std::function<bool(const uint8_t*, size_t)>& sink,
                          const std::function<bool(const std::string&)>& mayGo,
                          const std::function<bool()>& stillWanted) override {
        FetchRequest request;
        request.address = escapedAddress(address);
        request.sink = [&sink](const char* bytes, size_t length) {
            return sink(reinterpret_cast<const uint8_t*>(bytes), length);
        };
        request.mayFollow = [&mayGo](const WebAddress& target) { return mayGo(target.whole); };
        request.keepGoing = stillWanted;
        request.anyContentType = anyType;
        const FetchResult result = fetcher_.fetch(request);
        WebFetchOutcome outcome;
        outcome.succeeded = result.fault == FetchFault::None;
        outcome.canceled = result.fault == FetchFault::Canceled;
        outcome.finalAddress = result.address;
        outcome.charset = result.charset;
        outcome.status = static_cast<int>(result.status);
        // The fetcher names the address; the wrapper keeps it apart from the reason.
        outcome.reason = result.reason;
        const std::string named = result.address + ": ";
        if (outcome.reason.compare(0, named.size(), named) == 0) outcome.reason.erase(0, named.size());
        return outcome;
    }

private:
    PageFetcher& fetcher_;
};

WebSource::WebSource(const WebRunOptions& options, std::unique_ptr<PageFetcher> fetcher, std::string library)
    : options_(options), fetcher_(std::move(fetcher)), library_(std::move(library)) {}

WebSource::~WebSource() = default;

bool WebSource::start(const std::string& root, std::function<bool()> stillWanted,
                      std::function<void(const std::string&)> onRequest, std::string& reason) {
    WebAddress parsed;
    if (!parseWebAddress(escapedAddress(root), parsed)) {
        reason = "not an http or https address this program can read";
        return false;
    }
    if (fetcher_ == nullptr || !fetcher_->ready()) {
        reason = "the web cannot be reached from this program (" + library_ + " did not start)";
        return false;
    }
    fetching_ = std::make_unique<Fetching>(*fetcher_);
    root_ = parsed.whole;
    scope_ = makeWebScope(parsed, options_.mode);
    access_.fetching = fetching_.get();
    access_.mayGo = [this](const std::string& address) {
        WebAddress candidate;
        return parseWebAddress(escapedAddress(address), candidate) && inWebScope(scope_, candidate);
    };
    access_.parseRobots = &robotsFrom;
    access_.stillWanted = std::move(stillWanted);
    access_.onRequest = std::move(onRequest);
    access_.waitSeconds = options_.waitSeconds;
    access_.turns = options_.turns;
    return true;
}
