#include "platform/win32/WinInetTransport.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
// After windows.h, which they need.
#include <wininet.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "platform/win32/ScopedHandles.h"
#include "platform/win32/Text.h"

namespace tessaloom {

namespace {

// A server that stops answering fails the call instead of blocking its thread for ever. Set on
// each handle: a request takes them from its connection when opened, and Wine's connection
// does not take the send and receive ones from the session. Wine ignores the connect one.
void SetTimeouts(HINTERNET handle, DWORD timeoutMs) {
    for (DWORD option : {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT,
                         INTERNET_OPTION_RECEIVE_TIMEOUT}) {
        InternetSetOptionW(handle, option, &timeoutMs, static_cast<DWORD>(sizeof timeoutMs));
    }
}

// A response header's value; false when it is missing.
bool QueryHeader(HINTERNET request, DWORD header, std::string& value) {
    std::vector<wchar_t> buffer(256);
    for (;;) {
        DWORD size = static_cast<DWORD>(buffer.size() * sizeof(wchar_t));  // in bytes
        if (HttpQueryInfoW(request, header, buffer.data(), &size, nullptr)) {
            // Header bytes come as the characters of the same values; anything else as UTF-8.
            const std::size_t length = size / sizeof(wchar_t);
            const bool bytes = std::all_of(buffer.data(), buffer.data() + length,
                                           [](wchar_t c) { return c < 0x100; });
            value = bytes ? std::string(buffer.data(), buffer.data() + length)
                          : Utf8FromUtf16(buffer.data(), length);
            return true;
        }
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || buffer.size() >= 65536) return false;
        buffer.resize(std::max<std::size_t>(size / sizeof(wchar_t) + 1, buffer.size() * 2));
    }
}

struct Target {
    std::wstring host;
    INTERNET_PORT port = 0;
    std::wstring object;  // path and query
    bool secure = false;
};

// The parts of an http:// or https:// URL; false with the system's error otherwise.
bool CrackUrl(const std::string& url, Target& target, DWORD& error) {
    const std::wstring wide = Utf16FromUtf8(url);
    URL_COMPONENTSW parts = {};
    parts.dwStructSize = sizeof parts;
    parts.dwHostNameLength = 1;  // non-zero: point into `wide`
    parts.dwUrlPathLength = 1;
    parts.dwExtraInfoLength = 1;
    if (!InternetCrackUrlW(wide.c_str(), 0, 0, &parts)) {
        error = GetLastError();
        return false;
    }
    if (parts.nScheme != INTERNET_SCHEME_HTTP && parts.nScheme != INTERNET_SCHEME_HTTPS) {
        error = ERROR_INTERNET_UNRECOGNIZED_SCHEME;
        return false;
    }
    if (parts.dwHostNameLength == 0) {
        error = ERROR_INTERNET_INVALID_URL;
        return false;
    }
    target.secure = parts.nScheme == INTERNET_SCHEME_HTTPS;
    target.host.assign(parts.lpszHostName, parts.dwHostNameLength);
    target.port = parts.nPort != 0
                      ? parts.nPort
                      : (target.secure ? INTERNET_DEFAULT_HTTPS_PORT : INTERNET_DEFAULT_HTTP_PORT);
    target.object.assign(parts.lpszUrlPath, parts.dwUrlPathLength);
    target.object.append(parts.lpszExtraInfo, parts.dwExtraInfoLength);  // the query
    if (target.object.empty()) target.object = L"/";
    return true;
}

// One GET, shared by the fetch that owns it and the thread that makes its WinINet calls.
// The handles live and die on that thread: closing an unfinished request may block (Wine
// first reads what is left of its body, or waits for a connection that never comes).
struct Exchange {
    enum class Job { kNone, kSend, kRead };

    Target target;
    std::wstring agent;
    DWORD timeoutMs = 0;

    std::mutex mutex;
    std::condition_variable changed;
    Job job = Job::kNone;    // asked of the thread, not yet done
    bool abandoned = false;  // the owner is gone: close and end
    // The outcome of the last job.
    bool succeeded = false;
    DWORD error = ERROR_SUCCESS;
    HttpResponse response;
    // The body as a read job brings it: bytes not yet taken, how many more the job may
    // fetch, and whether the body has ended.
    std::vector<std::uint8_t> data;
    std::uint32_t wanted = 0;
    bool ended = false;

    // Only the thread touches these.
    ScopedInternet session, connection, request;
    std::vector<std::uint8_t> piece;

    void Send() {
        session.reset(
            InternetOpenW(agent.c_str(), INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
        if (!session.valid()) return Fail();
        SetTimeouts(session.get(), timeoutMs);
        connection.reset(InternetConnectW(session.get(), target.host.c_str(), target.port, nullptr,
                                          nullptr, INTERNET_SERVICE_HTTP, 0, 0));
        if (!connection.valid()) return Fail();
        SetTimeouts(connection.get(), timeoutMs);
        // HTTP/1.0: the answer cannot come chunked, so its Content-Length (or the end of the
        // connection) tells a whole body from a cut one; WinINet ends a cut chunked body as
        // if it were whole. Only Wine sends the version given: Windows' WinINet sends the
        // one its Internet Options set, HTTP/1.1 unless the user turned it off, and the fetch
        // refuses a chunked answer. No decoding asked (INTERNET_OPTION_HTTP_DECODING stays
        // off): a compressed answer comes as it was sent, and is refused. Never from or into
        // a cache, no cookies, no windows, no redirect followed.
        const DWORD flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE |
                            INTERNET_FLAG_PRAGMA_NOCACHE | INTERNET_FLAG_NO_UI |
                            INTERNET_FLAG_NO_COOKIES | INTERNET_FLAG_NO_AUTO_REDIRECT |
                            (target.secure ? INTERNET_FLAG_SECURE : 0);
        const wchar_t* acceptTypes[] = {L"*/*", nullptr};
        request.reset(HttpOpenRequestW(connection.get(), L"GET", target.object.c_str(), L"HTTP/1.0",
                                       nullptr, acceptTypes, flags, 0));
        if (!request.valid()) return Fail();
        SetTimeouts(request.get(), timeoutMs);
        if (!HttpSendRequestW(request.get(), nullptr, 0, nullptr, 0)) return Fail();

        HttpResponse answer;
        DWORD status = 0, size = sizeof status;
        if (HttpQueryInfoW(request.get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status,
                           &size, nullptr)) {
            answer.status = status;
        }
        QueryHeader(request.get(), HTTP_QUERY_LOCATION, answer.location);
        answer.hasLength = QueryHeader(request.get(), HTTP_QUERY_CONTENT_LENGTH, answer.length);
        std::string coding;
        answer.transferCoded = QueryHeader(request.get(), HTTP_QUERY_TRANSFER_ENCODING, coding);
        QueryHeader(request.get(), HTTP_QUERY_CONTENT_ENCODING, answer.encoding);
        const std::lock_guard<std::mutex> lock(mutex);
        response = std::move(answer);
        succeeded = true;
    }

    // Reads until it has fetched `wanted` bytes or the body has ended, handing each piece
    // over as it comes: the owner takes what has come without asking for each piece.
    void Read() {
        for (;;) {
            // InternetQueryDataAvailable waits until something has arrived; InternetReadFile
            // returns only once it has filled its buffer or the body has ended: asking for
            // what has arrived, it returns at once.
            DWORD available = 0;
            if (!InternetQueryDataAvailable(request.get(), &available, 0, 0)) return Fail();
            DWORD size = 0;
            {
                const std::lock_guard<std::mutex> lock(mutex);
                if (abandoned) return;
                size = std::max<DWORD>(1, std::min<DWORD>(available, wanted));
            }
            piece.resize(size);
            DWORD read = 0;
            if (!InternetReadFile(request.get(), piece.data(), size, &read)) return Fail();
            const std::lock_guard<std::mutex> lock(mutex);
            data.insert(data.end(), piece.data(), piece.data() + read);
            wanted -= std::min<std::uint32_t>(read, wanted);
            ended = read == 0;
            if (ended || wanted == 0) return;
            changed.notify_all();
        }
    }

    void Fail() {
        const DWORD failure = GetLastError();
        const std::lock_guard<std::mutex> lock(mutex);
        error = failure != ERROR_SUCCESS ? failure : ERROR_INTERNET_INTERNAL_ERROR;
        succeeded = false;
    }

    // The thread: runs the jobs it is given until the owner is gone, then closes.
    static void Serve(std::shared_ptr<Exchange> self) {
        std::unique_lock<std::mutex> lock(self->mutex);
        for (;;) {
            self->changed.wait(lock, [&] { return self->job != Job::kNone || self->abandoned; });
            if (self->job == Job::kNone) break;  // abandoned while idle
            const Job job = self->job;
            lock.unlock();
            if (job == Job::kSend) self->Send();
            if (job == Job::kRead) self->Read();
            lock.lock();
            self->job = Job::kNone;
            self->changed.notify_all();
        }
        lock.unlock();
        // Here, where nobody waits for it.
        self->request.reset();
        self->connection.reset();
        self->session.reset();
    }
};

class WinInetRequest : public HttpRequest {
public:
    explicit WinInetRequest(std::shared_ptr<Exchange> exchange) : m_exchange(std::move(exchange)) {}
    ~WinInetRequest() override {
        const std::lock_guard<std::mutex> lock(m_exchange->mutex);
        m_exchange->abandoned = true;
        m_exchange->changed.notify_all();
    }
    WinInetRequest(const WinInetRequest&) = delete;
    WinInetRequest& operator=(const WinInetRequest&) = delete;

    HttpWait Send(std::uint32_t waitMs, HttpResponse& response, std::uint32_t& error) override {
        std::unique_lock<std::mutex> lock(m_exchange->mutex);
        const HttpWait outcome = Await(lock, Exchange::Job::kSend, waitMs, error);
        if (outcome == HttpWait::kDone) response = m_exchange->response;
        return outcome;
    }

    // Takes what the read job has brought so far, waiting for it only when there is nothing;
    // a new job, for up to `count` bytes, only once the last one has brought all it was
    // asked for. The thread reads on while the owner takes.
    HttpWait Read(void* buffer, std::uint32_t count, std::uint32_t& read, std::uint32_t waitMs,
                  std::uint32_t& error) override {
        read = 0;
        Exchange& exchange = *m_exchange;
        std::unique_lock<std::mutex> lock(exchange.mutex);
        const auto arrived = [&] {
            return !exchange.data.empty() || exchange.ended || !exchange.succeeded;
        };
        if (!arrived()) {
            if (exchange.job == Exchange::Job::kNone) {
                exchange.wanted = count;
                exchange.job = Exchange::Job::kRead;
                exchange.changed.notify_all();
            }
            if (!exchange.changed.wait_for(lock, std::chrono::milliseconds(waitMs), arrived)) {
                return HttpWait::kTimedOut;
            }
        }
        std::vector<std::uint8_t>& data = exchange.data;
        read = static_cast<std::uint32_t>(std::min<std::size_t>(data.size(), count));
        std::copy(data.begin(), data.begin() + read, static_cast<std::uint8_t*>(buffer));
        data.erase(data.begin(), data.begin() + read);
        if (read > 0 || exchange.succeeded) return HttpWait::kDone;
        error = exchange.error;
        return HttpWait::kFailed;
    }

private:
    // Gives the thread `job` and waits at most `waitMs` for it. A job that takes longer goes
    // on without its owner, whose next call finds it still busy.
    HttpWait Await(std::unique_lock<std::mutex>& lock, Exchange::Job job, std::uint32_t waitMs,
                   std::uint32_t& error) {
        Exchange& exchange = *m_exchange;
        if (exchange.job != Exchange::Job::kNone) return HttpWait::kTimedOut;
        exchange.job = job;
        exchange.changed.notify_all();
        if (!exchange.changed.wait_for(lock, std::chrono::milliseconds(waitMs),
                                       [&] { return exchange.job == Exchange::Job::kNone; })) {
            return HttpWait::kTimedOut;
        }
        if (exchange.succeeded) return HttpWait::kDone;
        error = exchange.error;
        return HttpWait::kFailed;
    }

    std::shared_ptr<Exchange> m_exchange;
};

}  // namespace

WinInetTransport::WinInetTransport(std::string agent, unsigned long timeoutMs)
    : m_agent(std::move(agent)), m_timeoutMs(timeoutMs) {}

std::unique_ptr<HttpRequest> WinInetTransport::Open(const std::string& url, std::uint32_t& error) {
    auto exchange = std::make_shared<Exchange>();
    DWORD failure = ERROR_SUCCESS;
    if (!CrackUrl(url, exchange->target, failure)) {
        error = failure;
        return nullptr;
    }
    exchange->agent = Utf16FromUtf8(m_agent);
    exchange->timeoutMs = m_timeoutMs;
    try {
        std::thread(Exchange::Serve, exchange).detach();
    } catch (const std::system_error&) {
        error = ERROR_NOT_ENOUGH_MEMORY;
        return nullptr;
    }
    return std::make_unique<WinInetRequest>(std::move(exchange));
}

std::uint64_t WinInetTransport::Now() { return GetTickCount64(); }

}  // namespace tessaloom
