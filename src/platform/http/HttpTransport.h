// The system's HTTP client, asked for one GET at a time: the thin part of a fetch. What a
// fetch makes of it (redirects, limits, lengths, time, result codes) is FetchWithRules'.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace tessaloom {

struct HttpResponse {
    unsigned status = 0;     // 0 when there is no status line
    std::string location;    // the Location header; empty when there is none
    bool hasLength = false;  // a Content-Length header, as sent
    std::string length;
    bool transferCoded = false;  // a Transfer-Encoding header
    std::string encoding;        // the Content-Encoding header; empty when there is none
};

enum class HttpWait {
    kDone,
    kFailed,    // `error` holds the system's error number
    kTimedOut,  // nothing came in the time given
};

// One GET. Destroying it closes it, without ever making the caller wait.
class HttpRequest {
public:
    virtual ~HttpRequest() = default;
    // Sends the request and waits at most `waitMs` for the response's headers.
    virtual HttpWait Send(std::uint32_t waitMs, HttpResponse& response, std::uint32_t& error) = 0;
    // Waits at most `waitMs` for more of the body: `read` bytes into `buffer`, 0 at its end.
    // It may fetch up to `count` bytes in all ahead of what it returns, for the next reads.
    virtual HttpWait Read(void* buffer, std::uint32_t count, std::uint32_t& read,
                          std::uint32_t waitMs, std::uint32_t& error) = 0;
};

class HttpTransport {
public:
    virtual ~HttpTransport() = default;
    // A GET of the http:// or https:// `url`, asked as HTTP/1.0 (Windows sends HTTP/1.1 in
    // its place), never from or into a cache, with no cookies, no windows, no redirect
    // followed and no body decoded. Null, with the system's error number in
    // `error`, when it cannot be made.
    virtual std::unique_ptr<HttpRequest> Open(const std::string& url, std::uint32_t& error) = 0;
    // Milliseconds of a clock that only goes forward.
    virtual std::uint64_t Now() = 0;
};

}  // namespace tessaloom
