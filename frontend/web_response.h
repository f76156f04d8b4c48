// frontend/web_response.h -- what both fetchers (libcurl's here, WinHTTP's in the Windows
// program) make of a response alike: its media type and charset, which types a page may
// have, the words for a status, and the reason a failure is given with. One copy, so the
// two programs judge and describe the same response the same way.
#pragma once
#include <string>
#include <string_view>

#include "frontend/web_fetch.h"

// `text` without the spaces, tabs and line ends around it.
std::string_view trimHeaderText(std::string_view text);
// Whether `text` starts with `prefix` (lower case), ASCII letters compared without case.
bool startsFolded(std::string_view text, std::string_view prefix);

// A Content-Type's media type in lower case without parameters, and its charset
// parameter as given, unquoted ("" when none).
void splitContentType(std::string_view value, std::string& mediaType, std::string& charset);

// HTML, XHTML or plain text: the types a page may have.
bool isWebTextType(const std::string& mediaType);

// "HTTP 404 Not Found": the server's phrase, or the standard one when it gave none.
std::string httpStatusText(long status, const std::string& phrase);

// Marks `result` failed with `fault`, its reason "<address>: <why>"; control characters
// of either are shown as '?', so a reason cannot move the cursor or forge a report line.
void failFetch(FetchResult& result, FetchFault fault, const std::string& why);

// The reason of a timeout, and of a body beyond the limit, in the words both fetchers use.
std::string timeoutText(int timeoutSeconds);
std::string tooLargeText(int64_t maxBytes);
std::string notHtmlOrTextText(const std::string& mediaType);

// After a response that is no 2xx: true when it is a redirect the fetch may follow, with
// `current` and result.address moved to its target and result.redirects counted; else
// false with `result` failed, naming the status, a missing Location, too many redirects,
// or a target that is no http(s) address or that request.mayFollow refuses. `location`
// is the target as the response gave it (relative ones resolve against `current`).
bool followRedirect(FetchResult& result, const FetchRequest& request, long status, const std::string& phrase,
                    const std::string& location, WebAddress& current);

// The start of every fetch: true with `current` parsed from request.address and
// result.address its normal form; else false with `result` failed (no http(s) address,
// a fetcher that is not ready, a request without a sink).
bool beginFetch(const FetchRequest& request, bool ready, FetchResult& result, WebAddress& current);
