#include "platform/http/Fetch.h"

#include <algorithm>
#include <cctype>
#include <memory>
#include <utility>
#include <vector>

#include "platform/MemoryStream.h"

namespace tessaloom {

namespace {

// The transport's error numbers (WinINet's and the system's).
constexpr std::uint32_t kErrorNotEnoughMemory = 8;
constexpr std::uint32_t kErrorOutOfMemory = 14;
constexpr std::uint32_t kErrorSocketTimedOut = 10060;  // Wine's, for a body that stops coming
constexpr std::uint32_t kErrorTimeout = 12002;
constexpr std::uint32_t kErrorInvalidUrl = 12005;
constexpr std::uint32_t kErrorUnrecognizedScheme = 12006;
constexpr std::uint32_t kErrorNameNotResolved = 12007;
constexpr std::uint32_t kErrorCancelled = 12017;
constexpr std::uint32_t kErrorConnectionAborted = 12030;
// Every certificate and secure-channel failure WinINet documents.
constexpr std::uint32_t kCertificateErrors[] = {
    12037,  // certificate date invalid
    12038,  // certificate name invalid
    12044,  // client certificate needed
    12045,  // unknown certificate authority
    12046,  // client authentication not set up
    12055,  // certificate errors
    12056,  // no revocation check
    12057,  // revocation check failed
    12062,  // weak signature
    12157,  // secure channel error (no protocol in common)
    12169,  // invalid certificate
    12170,  // certificate revoked
};

// Bytes a fetch asks its transport for at once: a large body comes in few hand-offs.
constexpr std::uint64_t kReadPiece = 256 * 1024;

bool IsRedirect(unsigned status) {
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

bool StartsWithNoCase(const std::string& text, const char* prefix) {
    for (std::size_t i = 0; prefix[i] != '\0'; ++i) {
        if (i >= text.size() || std::tolower(static_cast<unsigned char>(text[i])) !=
                                    static_cast<unsigned char>(prefix[i])) {
            return false;
        }
    }
    return true;
}

bool IsHttps(const std::string& url) { return StartsWithNoCase(url, "https:"); }

// Whether a Content-Encoding names a coding besides "identity" (the bytes as they are).
bool IsContentCoded(const std::string& encoding) {
    for (std::size_t start = 0; start < encoding.size();) {
        const std::size_t end = std::min(encoding.find(',', start), encoding.size());
        const std::size_t first = encoding.find_first_not_of(" \t", start);
        if (first < end) {
            const std::size_t last = encoding.find_last_not_of(" \t", end - 1);
            const std::string coding = encoding.substr(first, last + 1 - first);
            if (coding.size() != 8 || !StartsWithNoCase(coding, "identity")) return true;
        }
        start = end + 1;
    }
    return false;
}

// A decimal Content-Length, blanks around it allowed; false for anything else.
bool ParseLength(const std::string& text, std::uint64_t& length) {
    const std::size_t begin = text.find_first_not_of(" \t");
    if (begin == std::string::npos) return false;
    const std::size_t end = text.find_last_not_of(" \t");
    length = 0;
    for (std::size_t i = begin; i <= end; ++i) {
        const char c = text[i];
        if (c < '0' || c > '9' || length > (UINT64_MAX - 9) / 10) return false;
        length = length * 10 + static_cast<std::uint64_t>(c - '0');
    }
    return true;
}

// Where a path's dot segments lead ("/a/./b/../c" is "/a/c").
std::string RemoveDotSegments(const std::string& path) {
    std::vector<std::string> segments;
    std::size_t start = 1;
    while (start <= path.size()) {
        std::size_t end = std::min(path.find('/', start), path.size());
        const std::string segment = path.substr(start, end - start);
        if (segment == "..") {
            if (!segments.empty()) segments.pop_back();
        } else if (segment != ".") {
            segments.push_back(segment);
        }
        if (end == path.size() && (segment == "." || segment == "..")) segments.push_back("");
        start = end + 1;
    }
    std::string result;
    for (const std::string& segment : segments) result += "/" + segment;
    return result.empty() ? "/" : result;
}

// The time a fetch has: `times` from its start.
class Deadline {
public:
    Deadline(HttpTransport& transport, const FetchTimes& times)
        : m_transport(transport), m_times(times), m_start(transport.Now()) {}
    // How long the next wait may last: the silence allowed, within what is left in all.
    std::uint32_t NextWait() const {
        const std::uint64_t spent = m_transport.Now() - m_start;
        if (spent >= m_times.totalMs) return 0;
        return static_cast<std::uint32_t>(
            std::min<std::uint64_t>(m_times.silenceMs, m_times.totalMs - spent));
    }

private:
    HttpTransport& m_transport;
    FetchTimes m_times;
    std::uint64_t m_start;
};

// Reads the body of a 2xx response within `limit`, never holding more of it than the limit.
ResultCode ReadBody(HttpRequest& request, const HttpResponse& response, const FetchLimit& limit,
                    const Deadline& deadline, StreamPtr& stream) {
    // Nothing tells a whole transfer-coded body from a cut one. No server may send one to an
    // HTTP/1.0 request, but Windows asks with HTTP/1.1 whatever version is given (Wine asks
    // as told): refused, with a code that says why.
    if (response.transferCoded) return kResultTransferCoded;
    // A server may compress what it serves though nobody asked (precompressed files served
    // always): those bytes are not the file, and are never taken for it.
    if (IsContentCoded(response.encoding)) return kResultContentCoded;
    std::uint64_t announced = 0;
    // A length that is no length ("-1", more digits than any size) makes the answer invalid.
    const bool hasLength = response.hasLength;
    if (hasLength && !ParseLength(response.length, announced)) return kResultDownloadFailure;
    if (hasLength && announced > limit.maxBytes && !limit.prefixOnly) return kResultTooLarge;

    std::vector<std::uint8_t> body;
    if (hasLength) body.reserve(static_cast<std::size_t>(std::min(announced, limit.maxBytes)));
    std::vector<std::uint8_t> buffer(
        static_cast<std::size_t>(std::min(kReadPiece, std::max<std::uint64_t>(limit.maxBytes, 1))));
    for (;;) {
        const std::uint64_t room = limit.maxBytes - body.size();
        if (room == 0 && limit.prefixOnly) break;  // the rest is not read
        // With no room left, one more byte tells a body longer than the limit.
        const auto wanted = static_cast<std::uint32_t>(
            std::min<std::uint64_t>(buffer.size(), std::max<std::uint64_t>(room, 1)));
        const std::uint32_t wait = deadline.NextWait();
        if (wait == 0) return kResultTimeout;
        std::uint32_t read = 0, error = 0;
        const HttpWait outcome = request.Read(buffer.data(), wanted, read, wait, error);
        if (outcome == HttpWait::kTimedOut) return kResultTimeout;
        if (outcome == HttpWait::kFailed) return FetchError(error);
        if (read == 0) break;
        if (read > room) return kResultTooLarge;
        body.insert(body.end(), buffer.begin(), buffer.begin() + read);
    }
    // A body cut short of its Content-Length is no body.
    if (hasLength && body.size() < std::min(announced, limit.maxBytes)) {
        return kResultDownloadFailure;
    }
    stream = std::make_unique<MemoryStream>(std::move(body));
    return kResultOk;
}

}  // namespace

ResultCode FetchError(std::uint32_t error) {
    switch (error) {
        case kErrorNameNotResolved:
            return kResultNotFound;
        case kErrorInvalidUrl:
            return kResultInvalidUrl;
        case kErrorUnrecognizedScheme:
            return kResultUnknownProtocol;
        case kErrorCancelled:
            return kResultAborted;
        case kErrorTimeout:
        case kErrorSocketTimedOut:
            return kResultTimeout;
        case kErrorNotEnoughMemory:
        case kErrorOutOfMemory:
            return kResultOutOfMemory;
        default:
            break;
    }
    const auto* end = std::end(kCertificateErrors);
    if (std::find(std::begin(kCertificateErrors), end, error) != end) {
        return kResultInvalidCertificate;
    }
    return kResultDownloadFailure;  // cannot connect, reset, invalid response...
}

std::string CombineUrl(const std::string& base, const std::string& reference) {
    // A reference with a scheme of its own stands alone.
    const std::size_t colon = reference.find(':');
    if (colon != std::string::npos && colon > 0 &&
        std::isalpha(static_cast<unsigned char>(reference[0])) &&
        reference.find_first_not_of(
            "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789+-.") == colon) {
        return reference;
    }
    const std::size_t schemeEnd = base.find("://");
    if (schemeEnd == std::string::npos) return reference;
    const std::size_t authorityEnd =
        std::min(base.find_first_of("/?#", schemeEnd + 3), base.size());
    const std::string scheme = base.substr(0, schemeEnd + 1);  // "http:"
    const std::string origin = base.substr(0, authorityEnd);   // "http://host:port"
    const std::string ref = reference.substr(0, reference.find('#'));
    if (ref.compare(0, 2, "//") == 0) return scheme + ref;
    if (!ref.empty() && ref[0] == '/') {
        const std::size_t query = ref.find('?');
        return origin + RemoveDotSegments(ref.substr(0, query)) +
               (query == std::string::npos ? "" : ref.substr(query));
    }
    const std::size_t pathEnd = std::min(base.find_first_of("?#", authorityEnd), base.size());
    const std::string path = base.substr(authorityEnd, pathEnd - authorityEnd);
    if (ref.empty()) return base.substr(0, std::min(base.find('#'), base.size()));
    if (ref[0] == '?') return origin + (path.empty() ? "/" : path) + ref;
    const std::size_t query = ref.find('?');
    const std::string directory = path.substr(0, path.rfind('/') + 1);
    return origin +
           RemoveDotSegments((directory.empty() ? "/" : directory) + ref.substr(0, query)) +
           (query == std::string::npos ? "" : ref.substr(query));
}

ResultCode FetchWithRules(HttpTransport& transport, const std::string& url, const FetchLimit& limit,
                          const FetchTimes& times, StreamPtr& stream) {
    stream.reset();
    const Deadline deadline(transport, times);
    std::string current = url;
    for (int redirects = 0;; ++redirects) {
        if (!StartsWithNoCase(current, "http://") && !StartsWithNoCase(current, "https://")) {
            return kResultUnknownProtocol;
        }
        std::uint32_t error = 0;
        const std::unique_ptr<HttpRequest> request = transport.Open(current, error);
        if (!request) return FetchError(error);
        const std::uint32_t wait = deadline.NextWait();
        if (wait == 0) return kResultTimeout;
        HttpResponse response;
        const std::uint64_t sent = transport.Now();
        const HttpWait outcome = request->Send(wait, response, error);
        if (outcome == HttpWait::kTimedOut) return kResultTimeout;
        if (outcome == HttpWait::kFailed) {
            // Wine reports a wait for the headers that ran out as an aborted connection.
            if (error == kErrorConnectionAborted && transport.Now() - sent >= wait) {
                return kResultTimeout;
            }
            return FetchError(error);
        }
        const unsigned status = response.status;
        if (status < 100 || status > 999) return kResultDownloadFailure;
        if (IsRedirect(status) && !response.location.empty()) {
            const std::string target = CombineUrl(current, response.location);
            // Never from an encrypted connection to a plain one.
            if (redirects >= kMaxRedirects || (IsHttps(current) && !IsHttps(target))) {
                return kResultRedirectFailed;
            }
            current = target;
            continue;
        }
        if (status < 200 || status > 299) return kResultHttpStatusBase + status;
        return ReadBody(*request, response, limit, deadline, stream);
    }
}

}  // namespace tessaloom
