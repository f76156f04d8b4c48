// frontend/web_curl.cpp -- the command line's web source: libcurl's fetcher.
#include "frontend/web_source.h"

CurlWeb::CurlWeb(const WebRunOptions& options)
    : WebSource(options, std::make_unique<WebFetcher>(FetchSettings{options.timeoutSeconds, std::string()}),
                "libcurl") {}
