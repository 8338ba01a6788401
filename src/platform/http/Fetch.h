// The rules of a fetch, on any HTTP transport: what counts as a whole body, how long a fetch
// may take, which redirects are followed and what result code each failure gives.
#pragma once

#include <cstdint>
#include <string>

#include "platform/Platform.h"
#include "platform/http/HttpTransport.h"

namespace tessaloom {

struct FetchTimes {
    std::uint32_t silenceMs = 30000;  // nothing received for this long
    std::uint32_t totalMs = 60000;    // since the fetch began
};

constexpr int kMaxRedirects = 5;  // followed per fetch

// Fetch result codes beside those of Platform.h.
constexpr ResultCode kResultInvalidUrl = 0x800C0002u;
constexpr ResultCode kResultNotFound = 0x800C0005u;  // host name not resolved
// A transfer-coded (chunked) body: nothing tells a whole one from a cut one.
constexpr ResultCode kResultTransferCoded = 0x800C0007u;
// A content-coded (compressed) body, which the program did not ask for: not the file itself.
constexpr ResultCode kResultContentCoded = 0x800C000Au;
constexpr ResultCode kResultUnknownProtocol = 0x800C000Du;
constexpr ResultCode kResultInvalidCertificate = 0x800C0019u;
constexpr ResultCode kResultOutOfMemory = 0x8007000Eu;

// The result code of the transport's error number `error`.
ResultCode FetchError(std::uint32_t error);

// `reference` (a Location header) resolved against the URL `base`.
std::string CombineUrl(const std::string& base, const std::string& reference);

// Fetches `url` within `limit` and `times` as Platform::FetchUrl promises: kResultOk with
// `stream` set only for a 2xx status with the whole body (or its prefix, see FetchLimit).
// Every request it opens is closed before it returns.
ResultCode FetchWithRules(HttpTransport& transport, const std::string& url, const FetchLimit& limit,
                          const FetchTimes& times, StreamPtr& stream);

}  // namespace tessaloom
