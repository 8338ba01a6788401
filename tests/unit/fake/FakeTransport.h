// A scripted HTTP transport with a clock of its own, for the tests of the fetch rules. It
// counts the requests still open.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <string>
#include <vector>

#include "platform/http/HttpTransport.h"

namespace tessaloom {

// One scripted answer.
struct FakeExchange {
    std::uint32_t openError = 0;  // Open fails with it
    std::uint32_t sendMs = 0;     // the headers come after this long
    std::uint32_t sendError = 0;  // Send fails with it
    HttpResponse response;        // status 200 unless set
    std::string body;
    bool announce = true;          // a Content-Length of the body's size, unless one is set
    bool endless = false;          // the body never ends
    std::uint32_t chunk = 0;       // bytes a read delivers at most; 0: as many as asked
    std::uint32_t readMs = 0;      // each read takes this long
    std::size_t cutAt = SIZE_MAX;  // the connection ends after this many bytes of the body
    std::uint32_t readError = 0;   // ... with this error
    bool late = false;  // a call answers after all it takes, past its wait (a late wake-up)
};

class FakeTransport : public HttpTransport {
public:
    // Answers per URL in order; the last one repeats.
    std::map<std::string, std::deque<FakeExchange>> exchanges;
    std::uint64_t now = 1000;
    int open = 0;                   // requests not yet closed
    std::vector<std::string> urls;  // opened, in order
    std::uint64_t delivered = 0;    // body bytes read, all requests together

    std::unique_ptr<HttpRequest> Open(const std::string& url, std::uint32_t& error) override;
    std::uint64_t Now() override { return now; }
};

}  // namespace tessaloom
