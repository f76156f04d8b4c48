// frontend/win32/winhttp_fetcher.h -- the Windows program's page fetcher: the same rules
// as the command line's libcurl fetcher (web_fetch.h), over the Windows HTTP API. Only
// http and https, redirects followed by hand and each asked of the caller's rule, at most
// kMaxWebRedirects of them, a timeout for resolving, connecting and every silence, at most
// kMaxWebPageBytes of body, only HTML or text, gzip and deflate bodies inflated with zlib,
// certificates verified as Windows verifies them.
//
// Each request runs on a thread of its own while the caller's thread waits on it, handing
// the body to the sink and asking keepGoing every kWebCancelPollMs. A cancel returns at
// once: the request is closed and left to its thread, which ends when its blocked call
// does (WinHTTP does not promise to wake a blocked synchronous call on every system).
#pragma once
#include <windows.h>
#include <winhttp.h>

#include "frontend/web_fetch.h"

class WinHttpFetcher : public PageFetcher {
public:
    explicit WinHttpFetcher(FetchSettings settings = {});
    WinHttpFetcher(const WinHttpFetcher&) = delete;
    WinHttpFetcher& operator=(const WinHttpFetcher&) = delete;
    ~WinHttpFetcher() override;

    bool ready() const override { return session_ != nullptr; }
    FetchResult fetch(const FetchRequest& request) override;

private:
    FetchSettings settings_;
    HINTERNET session_ = nullptr;
};
