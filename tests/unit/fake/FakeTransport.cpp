#include "fake/FakeTransport.h"

#include <algorithm>
#include <cstring>

namespace tessaloom {

namespace {

class FakeRequest : public HttpRequest {
public:
    FakeRequest(FakeTransport& transport, const FakeExchange& exchange)
        : m_transport(transport), m_exchange(exchange) {
        ++m_transport.open;
    }
    ~FakeRequest() override { --m_transport.open; }

    HttpWait Send(std::uint32_t waitMs, HttpResponse& response, std::uint32_t& error) override {
        if (!Wait(m_exchange.sendMs, waitMs)) return HttpWait::kTimedOut;
        if (m_exchange.sendError != 0) {
            error = m_exchange.sendError;
            return HttpWait::kFailed;
        }
        response = m_exchange.response;
        if (response.status == 0) response.status = 200;
        if (m_exchange.announce && !response.hasLength && !m_exchange.endless) {
            response.hasLength = true;
            response.length = std::to_string(m_exchange.body.size());
        }
        return HttpWait::kDone;
    }

    HttpWait Read(void* buffer, std::uint32_t count, std::uint32_t& read, std::uint32_t waitMs,
                  std::uint32_t& error) override {
        read = 0;
        if (!Wait(m_exchange.readMs, waitMs)) return HttpWait::kTimedOut;
        const std::size_t end = m_exchange.endless ? SIZE_MAX : m_exchange.body.size();
        const std::size_t available = std::min(end, m_exchange.cutAt) - m_position;
        if (available == 0) {
            error = m_exchange.readError;
            return m_exchange.readError != 0 ? HttpWait::kFailed : HttpWait::kDone;
        }
        std::size_t n = std::min<std::size_t>(count, available);
        if (m_exchange.chunk != 0) n = std::min<std::size_t>(n, m_exchange.chunk);
        auto* out = static_cast<char*>(buffer);
        for (std::size_t i = 0; i < n; ++i) {
            const std::size_t at = m_position + i;
            out[i] = at < m_exchange.body.size() ? m_exchange.body[at] : '\n';
        }
        m_position += n;
        m_transport.delivered += n;
        read = static_cast<std::uint32_t>(n);
        return HttpWait::kDone;
    }

private:
    // Spends `takes` on the clock, or `waitMs` when that is shorter; false then, unless the
    // answer comes late.
    bool Wait(std::uint32_t takes, std::uint32_t waitMs) {
        m_transport.now += m_exchange.late ? takes : std::min(takes, waitMs);
        return m_exchange.late || takes < waitMs;
    }

    FakeTransport& m_transport;
    FakeExchange m_exchange;
    std::size_t m_position = 0;
};

}  // namespace

std::unique_ptr<HttpRequest> FakeTransport::Open(const std::string& url, std::uint32_t& error) {
    urls.push_back(url);
    auto found = exchanges.find(url);
    if (found == exchanges.end() || found->second.empty()) {
        error = 12029;  // cannot connect
        return nullptr;
    }
    const FakeExchange exchange = found->second.front();
    if (found->second.size() > 1) found->second.pop_front();
    if (exchange.openError != 0) {
        error = exchange.openError;
        return nullptr;
    }
    return std::make_unique<FakeRequest>(*this, exchange);
}

}  // namespace tessaloom
