#include "Catalogue.h"

#include <wininet.h>

#include <cstdio>
#include <sstream>

#include "FileTree.h"
#include "platform/win32/ScopedHandles.h"

namespace e2e {

namespace {

using tessaloom::ScopedInternet;

constexpr DWORD kHttpTimeoutMs = 10000;

struct HttpAnswer {
    bool connected = false;  // false: no answer at all (nothing listens, connection dropped)
    DWORD status = 0;
    std::string body;
};

// "http://host:port/path..." -> origin "http://host:port" and path "/path...".
void SplitUrl(const std::string& url, std::string& origin, std::string& path) {
    std::size_t scheme = url.find("://");
    std::size_t slash = scheme == std::string::npos ? std::string::npos : url.find('/', scheme + 3);
    if (slash == std::string::npos) Fail("not an absolute URL with a path: " + url);
    origin = url.substr(0, slash);
    path = url.substr(slash);
}

// A plain GET that bypasses every cache.
HttpAnswer HttpGet(const std::string& url) {
    HttpAnswer answer;
    const ScopedInternet session(
        InternetOpenW(L"tessaloom-e2e-driver", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0));
    if (!session.valid()) {
        Fail("InternetOpen failed (error " + std::to_string(GetLastError()) + ")");
    }
    DWORD timeout = kHttpTimeoutMs;
    InternetSetOptionW(session.get(), INTERNET_OPTION_CONNECT_TIMEOUT, &timeout, sizeof timeout);
    InternetSetOptionW(session.get(), INTERNET_OPTION_RECEIVE_TIMEOUT, &timeout, sizeof timeout);
    const DWORD flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE |
                        INTERNET_FLAG_PRAGMA_NOCACHE | INTERNET_FLAG_NO_COOKIES |
                        INTERNET_FLAG_NO_UI;
    std::wstring wideUrl = Widen(url);
    const ScopedInternet request(
        InternetOpenUrlW(session.get(), wideUrl.c_str(), nullptr, 0, flags, 0));
    if (!request.valid()) return answer;

    answer.connected = true;
    DWORD status = 0;
    DWORD size = sizeof status;
    if (HttpQueryInfoW(request.get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status,
                       &size, nullptr)) {
        answer.status = status;
    }
    char buffer[4096];
    DWORD read = 0;
    while (InternetReadFile(request.get(), buffer, sizeof buffer, &read) && read > 0) {
        answer.body.append(buffer, read);
    }
    return answer;
}

// Percent-encodes everything but unreserved characters, for a query value.
std::string UrlEncode(const std::string& text) {
    std::string encoded;
    for (unsigned char c : text) {
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
            c == '-' || c == '_' || c == '.' || c == '~') {
            encoded += static_cast<char>(c);
        } else {
            char escaped[4];
            std::snprintf(escaped, sizeof escaped, "%%%02X", c);
            encoded += escaped;
        }
    }
    return encoded;
}

}  // namespace

Catalogue::Catalogue(const std::string& baseUrl, const std::string& folder,
                     const std::string& accessLog)
    : m_baseUrl(baseUrl), m_folder(folder), m_accessLog(accessLog) {
    if (m_baseUrl.empty() || m_baseUrl.back() != '/') Fail("the catalogue URL must end in '/'");
    SplitUrl(m_baseUrl, m_origin, m_basePath);
    while (!m_folder.empty() && m_folder.back() == '\\') m_folder.pop_back();
}

std::string Catalogue::WindowsPathOf(const std::string& relative) const {
    std::string path = m_folder + "\\" + relative;
    for (char& c : path) {
        if (c == '/') c = '\\';
    }
    return path;
}

void Catalogue::WriteFile(const std::string& relative, const std::string& bytes) const {
    WriteBytes(WindowsPathOf(relative), bytes);
    Note("catalogue file " + PathOf(relative) + " = " + Quote(bytes));
}

bool Catalogue::ServerAnswers() const { return HttpGet(m_origin + "/__control/log").connected; }

std::string Catalogue::Control(const std::string& command) const {
    const std::string url = m_origin + "/__control/" + command;
    HttpAnswer answer = HttpGet(url);
    if (!answer.connected) Fail("the catalogue server does not answer " + url);
    if (answer.status != 200) {
        Fail("the catalogue server refused " + url + ": " + std::to_string(answer.status) + " " +
             Quote(answer.body));
    }
    return answer.body;
}

void Catalogue::Clear() const {
    if (m_accessLog.empty()) {
        Control("clear");
    } else {
        WriteBytes(m_accessLog, "");  // emptied in place: the server appends to it
    }
}

void Catalogue::AddFault(const std::string& relative, const std::string& options) const {
    if (!m_accessLog.empty()) Fail("a plain web server serves the catalogue: it takes no faults");
    const std::string fault = PathOf(relative) + ":" + options;
    Control("fault?rule=" + UrlEncode(fault));
    Note("server fault " + fault);
}

std::vector<LoggedRequest> Catalogue::Log() const {
    std::vector<LoggedRequest> requests;
    std::istringstream lines(m_accessLog.empty() ? Control("log") : ReadBytes(m_accessLog));
    std::string line;
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty()) continue;
        std::istringstream fields(line);
        LoggedRequest request;
        if (!(fields >> request.method >> request.path >> request.status >> request.version)) {
            Fail("unexpected line in the server log: " + Quote(line));
        }
        std::getline(fields >> std::ws, request.more);
        requests.push_back(request);
    }
    return requests;
}

std::vector<int> Catalogue::StatusesOf(const std::string& relative) const {
    const std::string path = PathOf(relative);
    std::vector<int> statuses;
    for (const LoggedRequest& request : Log()) {
        if (request.method == "GET" && request.path == path) statuses.push_back(request.status);
    }
    return statuses;
}

std::vector<int> Catalogue::WaitForRequests(const std::string& relative, std::size_t count,
                                            DWORD timeoutMs) const {
    std::vector<int> statuses;
    WaitUntil(
        [&] {
            statuses = StatusesOf(relative);
            return statuses.size() >= count;
        },
        timeoutMs);
    return statuses;
}

void Catalogue::CheckRequestVersions(const std::string& version) const {
    std::vector<std::string> others;
    for (const LoggedRequest& request : Log()) {
        if (request.version != version) others.push_back(request.path + " " + request.version);
    }
    CheckEqual(others, {}, "requests not asked with " + version);
}

}  // namespace e2e
