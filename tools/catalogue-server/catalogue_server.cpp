#include "catalogue_server.h"

#include <dirent.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <memory>
#include <stdexcept>
#include <thread>

namespace catalogue_server {
namespace {

const char kControlPrefix[] = "/__control/";

bool IsLoopback(const std::string& addr) {
    return addr.rfind("127.", 0) == 0 || addr == "::1" || addr.rfind("::ffff:127.", 0) == 0;
}

// True if the path has no ".." segment and no NUL byte, so it stays under the root.
bool IsSafePath(const std::string& path) {
    if (path.empty() || path[0] != '/' || path.find('\0') != std::string::npos) return false;
    std::size_t start = 0;
    while (start <= path.size()) {
        auto end = path.find('/', start);
        if (end == std::string::npos) end = path.size();
        if (path.compare(start, end - start, "..") == 0) return false;
        start = end + 1;
    }
    return true;
}

bool ReadFile(const std::string& name, std::string& data) {
    struct stat st {};
    if (stat(name.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    std::ifstream in(name, std::ios::binary);
    if (!in) return false;
    data.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

int PortOf(const sockaddr_storage& addr) {
    if (addr.ss_family == AF_INET) {
        return ntohs(reinterpret_cast<const sockaddr_in&>(addr).sin_port);
    }
    if (addr.ss_family == AF_INET6) {
        return ntohs(reinterpret_cast<const sockaddr_in6&>(addr).sin6_port);
    }
    return -1;
}

// The handler cannot reach the connection's socket, so look it up among the open
// descriptors by its ports and shut it down: the response httplib then tries to write
// fails and the peer sees the connection end without an answer.
void DropConnection(const httplib::Request& req) {
    DIR* dir = opendir("/proc/self/fd");
    if (!dir) return;
    while (const dirent* entry = readdir(dir)) {
        const int fd = std::atoi(entry->d_name);
        if (fd <= 2 || fd == dirfd(dir)) continue;
        sockaddr_storage local{}, peer{};
        socklen_t localLength = sizeof local, peerLength = sizeof peer;
        if (getsockname(fd, reinterpret_cast<sockaddr*>(&local), &localLength) != 0 ||
            getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &peerLength) != 0) {
            continue;
        }
        if (PortOf(local) == req.local_port && PortOf(peer) == req.remote_port) {
            shutdown(fd, SHUT_RDWR);
            break;
        }
    }
    closedir(dir);
}

// A query parameter taken from the raw target, so that an unencoded '=' in the value
// survives (httplib's own parsing cuts the value there).
std::string RawParam(const std::string& target, const std::string& name) {
    const auto query = target.find('?');
    if (query == std::string::npos) return {};
    for (std::size_t start = query + 1; start < target.size();) {
        auto end = target.find('&', start);
        if (end == std::string::npos) end = target.size();
        if (target.compare(start, name.size() + 1, name + "=") == 0) {
            const auto value =
                target.substr(start + name.size() + 1, end - start - name.size() - 1);
            return httplib::detail::decode_url(value, true);
        }
        start = end + 1;
    }
    return {};
}

// The body as sent: the file's bytes, then line feeds up to its length, made as they are sent
// so that a body of any length costs no memory.
class Body {
public:
    Body(std::shared_ptr<const std::string> file, std::uint64_t length)
        : m_file(std::move(file)), m_length(length) {}
    std::uint64_t Length() const { return m_length; }
    // Writes `count` bytes from `offset`, which must lie inside the body.
    void Write(httplib::DataSink& sink, std::uint64_t offset, std::uint64_t count) const {
        static const std::string filler(kPiece, '\n');
        while (count > 0) {
            const char* from = filler.data();
            std::uint64_t n = std::min<std::uint64_t>(count, kPiece);
            if (offset < m_file->size()) {
                from = m_file->data() + offset;
                n = std::min<std::uint64_t>(n, m_file->size() - offset);
            }
            sink.write(from, static_cast<std::size_t>(n));
            offset += n;
            count -= n;
        }
    }

    static constexpr std::size_t kPiece = 64 * 1024;  // the most written in one go

private:
    std::shared_ptr<const std::string> m_file;
    std::uint64_t m_length;
};

void SetError(httplib::Response& res, int status) {
    res.status = status;
    res.set_content("<html><body><h1>Error " + std::to_string(status) + "</h1></body></html>\n",
                    "text/html");
}

}  // namespace

CatalogueServer::CatalogueServer(std::string root, const std::string& logPath)
    : m_root(std::move(root)) {
    if (!logPath.empty()) {
        m_logFile.open(logPath, std::ios::app);
        if (!m_logFile) throw std::runtime_error("cannot open log file " + logPath);
    }
    // Like httplib's default but without SO_REUSEPORT, so a second server cannot share the port.
    m_server.set_socket_options([](socket_t sock) {
        int yes = 1;
        setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    });
    m_server.set_pre_routing_handler([this](const httplib::Request& req, httplib::Response& res) {
        Handle(req, res);
        return httplib::Server::HandlerResponse::Handled;
    });
}

void CatalogueServer::SetFault(const Fault& fault) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_faults[fault.path] = FaultState{fault, 0};
}

void CatalogueServer::Clear() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_faults.clear();
    m_log.clear();
}

std::vector<std::string> CatalogueServer::Log() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_log;
}

int CatalogueServer::Bind(const std::string& host, int port) {
    if (port == 0) return m_server.bind_to_any_port(host);
    return m_server.bind_to_port(host, port) ? port : -1;
}

CatalogueServer::~CatalogueServer() { Stop(); }

bool CatalogueServer::Start() {
    m_thread = std::thread([this] {
        m_server.listen_after_bind();
        m_finished = true;
    });
    // httplib ignores stop() until its accept loop runs, so wait for that.
    while (!m_server.is_running() && !m_finished) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return !m_finished;
}

int CatalogueServer::TarpitPort() {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_tarpitPort != 0) return m_tarpitPort;
    m_tarpitPort = -1;
    const int listener = socket(AF_INET, SOCK_STREAM, 0);
    if (listener < 0) return m_tarpitPort;
    m_tarpitFds.push_back(listener);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    // A backlog of none, never accepted, filled by connections of its own.
    if (::bind(listener, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        listen(listener, 0) != 0 ||
        getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        return m_tarpitPort;
    }
    for (int i = 0; i < 3; ++i) {
        const int filler = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
        if (filler < 0) return m_tarpitPort;
        m_tarpitFds.push_back(filler);
        connect(filler, reinterpret_cast<sockaddr*>(&address), length);
    }
    m_tarpitPort = ntohs(address.sin_port);
    return m_tarpitPort;
}

void CatalogueServer::Stop() {
    if (m_thread.joinable()) {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_stopping = true;
        }
        m_stopped.notify_all();
        m_server.stop();
        m_thread.join();
    }
    for (const int fd : m_tarpitFds) close(fd);
    m_tarpitFds.clear();
}

std::optional<Fault> CatalogueServer::TakeFault(const std::string& path) {
    std::lock_guard<std::mutex> lock(m_mutex);
    auto it = m_faults.find(path);
    if (it == m_faults.end()) return std::nullopt;
    FaultState& state = it->second;
    if (state.fault.failFirst > 0 && state.hits >= state.fault.failFirst) return std::nullopt;
    ++state.hits;
    return state.fault;
}

bool CatalogueServer::Pause(int ms) {
    std::unique_lock<std::mutex> lock(m_mutex);
    return !m_stopped.wait_for(lock, std::chrono::milliseconds(ms), [this] { return m_stopping; });
}

void CatalogueServer::Record(const httplib::Request& req, int status) {
    char code[8];
    std::snprintf(code, sizeof code, "%03d", status);
    const std::string line = req.method + " " + req.path + " " + code + " " + req.version;
    std::lock_guard<std::mutex> lock(m_mutex);
    m_log.push_back(line);
    if (m_logFile.is_open()) m_logFile << line << std::endl;
    std::cout << line << std::endl;
}

void CatalogueServer::Handle(const httplib::Request& req, httplib::Response& res) {
    res.set_header("Cache-Control", "no-store");
    if (req.path.rfind(kControlPrefix, 0) == 0) {
        HandleControl(req, res);
        return;
    }
    if (req.method != "GET" && req.method != "HEAD") {
        SetError(res, 405);
        Record(req, res.status);
        return;
    }

    const Fault fault = TakeFault(req.path).value_or(Fault{});
    if (fault.delayMs > 0 && !Pause(fault.delayMs)) return;
    switch (fault.action) {
        case FaultAction::Status:
            SetError(res, fault.status);
            break;
        case FaultAction::Close:
            Record(req, 0);  // logged as status 000: no answer
            DropConnection(req);
            res.status = 500;
            return;
        case FaultAction::Redirect:
        case FaultAction::Unreachable: {
            const std::string location =
                fault.action == FaultAction::Redirect
                    ? fault.location
                    : "http://127.0.0.1:" + std::to_string(TarpitPort()) + req.path;
            res.status = 302;
            res.set_header("Location", location);
            res.set_content("Moved to " + location + "\n", "text/plain");
            break;
        }
        case FaultAction::Truncate:
        case FaultAction::None:
            ServeFile(req, res, fault);
            break;
    }
    Record(req, res.status);
}

void CatalogueServer::ServeFile(const httplib::Request& req, httplib::Response& res,
                                const Fault& fault) {
    auto data = std::make_shared<std::string>();
    if (!IsSafePath(req.path) || !ReadFile(m_root + req.path, *data)) {
        SetError(res, 404);
        return;
    }
    const bool isText =
        req.path.size() >= 4 && req.path.compare(req.path.size() - 4, 4, ".txt") == 0;
    const std::string type = isText ? "text/plain" : "application/octet-stream";
    const Body body(data, fault.size.value_or(data->size()));
    res.status = 200;
    if (body.Length() == 0) {
        res.set_content("", type);
        return;
    }
    // The body bytes sent before the connection is ended early.
    const std::uint64_t limit = fault.action == FaultAction::Truncate
                                    ? std::min<std::uint64_t>(fault.truncateAt, body.Length())
                                    : body.Length();
    const int stallMs = fault.stallMs;
    // Every provider below runs first with nothing sent: the headers have gone out then.
    // Returning false ends the connection.

    if (fault.chunkSize > 0 && req.version == "HTTP/1.1") {
        // The chunks are framed here rather than by httplib, so that a cut can fall inside one.
        res.set_header("Transfer-Encoding", "chunked");
        const std::uint64_t chunkSize = fault.chunkSize;
        auto sent = std::make_shared<std::uint64_t>(0);
        res.set_content_provider(type, [this, body, limit, stallMs, chunkSize, sent](
                                           std::size_t, httplib::DataSink& sink) {
            if (*sent == 0 && stallMs > 0 && !Pause(stallMs)) return false;
            if (*sent == body.Length()) {
                sink.write("0\r\n\r\n", 5);
                sink.done();
                return true;
            }
            if (*sent == limit) return false;  // at a chunk boundary
            const std::uint64_t chunk = std::min(chunkSize, body.Length() - *sent);
            char sizeLine[24];
            std::snprintf(sizeLine, sizeof sizeLine, "%" PRIx64 "\r\n", chunk);
            sink.write(sizeLine, std::strlen(sizeLine));
            const std::uint64_t part = std::min(chunk, limit - *sent);
            body.Write(sink, *sent, part);
            *sent += part;
            if (part < chunk) return false;  // inside the chunk
            sink.write("\r\n", 2);
            return true;
        });
        return;
    }

    // A trickle sends one byte at a time, each after its pause.
    const int trickleMs = fault.trickleMs;
    const std::uint64_t piece = trickleMs > 0 ? 1 : Body::kPiece;

    if (fault.noLength) {
        res.set_content_provider(type, [this, body, limit, stallMs, trickleMs, piece](
                                           std::size_t offset, httplib::DataSink& sink) {
            if (offset == 0 && stallMs > 0 && !Pause(stallMs)) return false;
            if (offset == limit) return false;  // the end of the connection ends the body
            if (trickleMs > 0 && !Pause(trickleMs)) return false;
            body.Write(sink, offset, std::min<std::uint64_t>(limit - offset, piece));
            return true;
        });
        return;
    }

    // With a known length httplib never compresses, so the bytes go out exactly as stored.
    res.set_content_provider(
        static_cast<std::size_t>(body.Length()), type,
        [this, body, limit, stallMs, trickleMs, piece](std::size_t offset, std::size_t length,
                                                       httplib::DataSink& sink) {
            if (offset == 0 && stallMs > 0 && !Pause(stallMs)) return false;
            if (offset >= limit) return false;
            if (trickleMs > 0 && !Pause(trickleMs)) return false;
            body.Write(sink, offset, std::min<std::uint64_t>({length, limit - offset, piece}));
            return true;
        });
}

void CatalogueServer::HandleControl(const httplib::Request& req, httplib::Response& res) {
    if (!IsLoopback(req.remote_addr)) {
        SetError(res, 403);
        return;
    }
    const std::string command = req.path.substr(sizeof kControlPrefix - 1);
    if (command == "fault") {
        std::string error;
        const auto fault = ParseFault(RawParam(req.target, "rule"), error);
        if (!fault) {
            res.status = 400;
            res.set_content(error + "\n", "text/plain");
            return;
        }
        SetFault(*fault);
    } else if (command == "clear") {
        Clear();
    } else if (command == "log") {
        std::string text;
        for (const auto& line : Log()) text += line + "\n";
        res.set_content(text, "text/plain");
        return;
    } else {
        SetError(res, 404);
        return;
    }
    res.set_content("ok", "text/plain");
}

}  // namespace catalogue_server
