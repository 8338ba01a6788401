// The HTTP transport on WinINet: each request's calls run on a thread of its own, so that
// the caller waits no longer than it chooses and a close that blocks never makes it wait.
#pragma once

#include <string>

#include "platform/http/HttpTransport.h"

namespace tessaloom {

class WinInetTransport : public HttpTransport {
public:
    // `agent` names the program to servers; `timeoutMs` bounds each blocking WinINet call.
    WinInetTransport(std::string agent, unsigned long timeoutMs);

    std::unique_ptr<HttpRequest> Open(const std::string& url, std::uint32_t& error) override;
    std::uint64_t Now() override;

private:
    std::string m_agent;
    unsigned long m_timeoutMs;
};

}  // namespace tessaloom
