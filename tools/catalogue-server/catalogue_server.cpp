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

bool is_loopback(const std::string& addr) {
    return addr.rfind("127.", 0) == 0 || addr == "::1" || addr.rfind("::ffff:127.", 0) == 0;
}

// True if the path has no ".." segment and no NUL byte, so it stays under the root.
bool is_safe_path(const std::string& path) {
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

bool read_file(const std::string& name, std::string& data) {
    struct stat st {};
    if (stat(name.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    std::ifstream in(name, std::ios::binary);
    if (!in) return false;
    data.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

int port_of(const sockaddr_storage& addr) {
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
void drop_connection(const httplib::Request& req) {
    DIR* dir = opendir("/proc/self/fd");
    if (!dir) return;
    while (const dirent* entry = readdir(dir)) {
        const int fd = std::atoi(entry->d_name);
        if (fd <= 2 || fd == dirfd(dir)) continue;
        sockaddr_storage local{}, peer{};
        socklen_t local_len = sizeof local, peer_len = sizeof peer;
        if (getsockname(fd, reinterpret_cast<sockaddr*>(&local), &local_len) != 0 ||
            getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &peer_len) != 0) {
            continue;
        }
        if (port_of(local) == req.local_port && port_of(peer) == req.remote_port) {
            shutdown(fd, SHUT_RDWR);
            break;
        }
    }
    closedir(dir);
}

// A query parameter taken from the raw target, so that an unencoded '=' in the value
// survives (httplib's own parsing cuts the value there).
std::string raw_param(const std::string& target, const std::string& name) {
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
        : file_(std::move(file)), length_(length) {}
    std::uint64_t length() const { return length_; }
    // Writes `count` bytes from `offset`, which must lie inside the body.
    void write(httplib::DataSink& sink, std::uint64_t offset, std::uint64_t count) const {
        static const std::string filler(kPiece, '\n');
        while (count > 0) {
            const char* from = filler.data();
            std::uint64_t n = std::min<std::uint64_t>(count, kPiece);
            if (offset < file_->size()) {
                from = file_->data() + offset;
                n = std::min<std::uint64_t>(n, file_->size() - offset);
            }
            sink.write(from, static_cast<std::size_t>(n));
            offset += n;
            count -= n;
        }
    }

    static constexpr std::size_t kPiece = 64 * 1024;  // the most written in one go

private:
    std::shared_ptr<const std::string> file_;
    std::uint64_t length_;
};

void set_error(httplib::Response& res, int status) {
    res.status = status;
    res.set_content("<html><body><h1>Error " + std::to_string(status) + "</h1></body></html>\n",
                    "text/html");
}

}  // namespace

CatalogueServer::CatalogueServer(std::string root, const std::string& log_path)
    : root_(std::move(root)) {
    if (!log_path.empty()) {
        log_file_.open(log_path, std::ios::app);
        if (!log_file_) throw std::runtime_error("cannot open log file " + log_path);
    }
    // Like httplib's default but without SO_REUSEPORT, so a second server cannot share the port.
    server_.set_socket_options([](socket_t sock) {
        int yes = 1;
        setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    });
    server_.set_pre_routing_handler([this](const httplib::Request& req, httplib::Response& res) {
        handle(req, res);
        return httplib::Server::HandlerResponse::Handled;
    });
}

void CatalogueServer::set_fault(const Fault& fault) {
    std::lock_guard<std::mutex> lock(mutex_);
    faults_[fault.path] = FaultState{fault, 0};
}

void CatalogueServer::clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    faults_.clear();
    log_.clear();
}

std::vector<std::string> CatalogueServer::log() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return log_;
}

int CatalogueServer::bind(const std::string& host, int port) {
    if (port == 0) return server_.bind_to_any_port(host);
    return server_.bind_to_port(host, port) ? port : -1;
}

CatalogueServer::~CatalogueServer() { stop(); }

bool CatalogueServer::start() {
    thread_ = std::thread([this] {
        server_.listen_after_bind();
        finished_ = true;
    });
    // httplib ignores stop() until its accept loop runs, so wait for that.
    while (!server_.is_running() && !finished_) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return !finished_;
}

int CatalogueServer::tarpit_port() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (tarpit_port_ != 0) return tarpit_port_;
    tarpit_port_ = -1;
    const int listener = socket(AF_INET, SOCK_STREAM, 0);
    if (listener < 0) return tarpit_port_;
    tarpit_fds_.push_back(listener);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    // A backlog of none, never accepted, filled by connections of its own.
    if (::bind(listener, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        listen(listener, 0) != 0 ||
        getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        return tarpit_port_;
    }
    for (int i = 0; i < 3; ++i) {
        const int filler = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
        if (filler < 0) return tarpit_port_;
        tarpit_fds_.push_back(filler);
        connect(filler, reinterpret_cast<sockaddr*>(&address), length);
    }
    tarpit_port_ = ntohs(address.sin_port);
    return tarpit_port_;
}

void CatalogueServer::stop() {
    if (thread_.joinable()) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stopping_ = true;
        }
        stopped_.notify_all();
        server_.stop();
        thread_.join();
    }
    for (const int fd : tarpit_fds_) close(fd);
    tarpit_fds_.clear();
}

std::optional<Fault> CatalogueServer::take_fault(const std::string& path) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = faults_.find(path);
    if (it == faults_.end()) return std::nullopt;
    FaultState& state = it->second;
    if (state.fault.fail_first > 0 && state.hits >= state.fault.fail_first) return std::nullopt;
    ++state.hits;
    return state.fault;
}

bool CatalogueServer::pause(int ms) {
    std::unique_lock<std::mutex> lock(mutex_);
    return !stopped_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return stopping_; });
}

void CatalogueServer::record(const httplib::Request& req, int status) {
    char code[8];
    std::snprintf(code, sizeof code, "%03d", status);
    const std::string line = req.method + " " + req.path + " " + code + " " + req.version;
    std::lock_guard<std::mutex> lock(mutex_);
    log_.push_back(line);
    if (log_file_.is_open()) log_file_ << line << std::endl;
    std::cout << line << std::endl;
}

void CatalogueServer::handle(const httplib::Request& req, httplib::Response& res) {
    res.set_header("Cache-Control", "no-store");
    if (req.path.rfind(kControlPrefix, 0) == 0) {
        handle_control(req, res);
        return;
    }
    if (req.method != "GET" && req.method != "HEAD") {
        set_error(res, 405);
        record(req, res.status);
        return;
    }

    const Fault fault = take_fault(req.path).value_or(Fault{});
    if (fault.delay_ms > 0 && !pause(fault.delay_ms)) return;
    switch (fault.action) {
        case FaultAction::Status:
            set_error(res, fault.status);
            break;
        case FaultAction::Close:
            record(req, 0);  // logged as status 000: no answer
            drop_connection(req);
            res.status = 500;
            return;
        case FaultAction::Redirect:
        case FaultAction::Unreachable: {
            const std::string location =
                fault.action == FaultAction::Redirect
                    ? fault.location
                    : "http://127.0.0.1:" + std::to_string(tarpit_port()) + req.path;
            res.status = 302;
            res.set_header("Location", location);
            res.set_content("Moved to " + location + "\n", "text/plain");
            break;
        }
        case FaultAction::Truncate:
        case FaultAction::None:
            serve_file(req, res, fault);
            break;
    }
    record(req, res.status);
}

void CatalogueServer::serve_file(const httplib::Request& req, httplib::Response& res,
                                 const Fault& fault) {
    auto data = std::make_shared<std::string>();
    if (!is_safe_path(req.path) || !read_file(root_ + req.path, *data)) {
        set_error(res, 404);
        return;
    }
    const bool is_text =
        req.path.size() >= 4 && req.path.compare(req.path.size() - 4, 4, ".txt") == 0;
    const std::string type = is_text ? "text/plain" : "application/octet-stream";
    const Body body(data, fault.size.value_or(data->size()));
    res.status = 200;
    if (body.length() == 0) {
        res.set_content("", type);
        return;
    }
    // The body bytes sent before the connection is ended early.
    const std::uint64_t limit = fault.action == FaultAction::Truncate
                                    ? std::min<std::uint64_t>(fault.truncate_at, body.length())
                                    : body.length();
    const int stall_ms = fault.stall_ms;
    // Every provider below runs first with nothing sent: the headers have gone out then.
    // Returning false ends the connection.

    if (fault.chunk_size > 0 && req.version == "HTTP/1.1") {
        // The chunks are framed here rather than by httplib, so that a cut can fall inside one.
        res.set_header("Transfer-Encoding", "chunked");
        const std::uint64_t chunk_size = fault.chunk_size;
        auto sent = std::make_shared<std::uint64_t>(0);
        res.set_content_provider(type, [this, body, limit, stall_ms, chunk_size, sent](
                                           std::size_t, httplib::DataSink& sink) {
            if (*sent == 0 && stall_ms > 0 && !pause(stall_ms)) return false;
            if (*sent == body.length()) {
                sink.write("0\r\n\r\n", 5);
                sink.done();
                return true;
            }
            if (*sent == limit) return false;  // at a chunk boundary
            const std::uint64_t chunk = std::min(chunk_size, body.length() - *sent);
            char size_line[24];
            std::snprintf(size_line, sizeof size_line, "%" PRIx64 "\r\n", chunk);
            sink.write(size_line, std::strlen(size_line));
            const std::uint64_t part = std::min(chunk, limit - *sent);
            body.write(sink, *sent, part);
            *sent += part;
            if (part < chunk) return false;  // inside the chunk
            sink.write("\r\n", 2);
            return true;
        });
        return;
    }

    if (fault.no_length) {
        res.set_content_provider(
            type, [this, body, limit, stall_ms](std::size_t offset, httplib::DataSink& sink) {
                if (offset == 0 && stall_ms > 0 && !pause(stall_ms)) return false;
                if (offset == limit) return false;  // the end of the connection ends the body
                body.write(sink, offset, std::min<std::uint64_t>(limit - offset, Body::kPiece));
                return true;
            });
        return;
    }

    // With a known length httplib never compresses, so the bytes go out exactly as stored.
    res.set_content_provider(
        static_cast<std::size_t>(body.length()), type,
        [this, body, limit, stall_ms](std::size_t offset, std::size_t length,
                                      httplib::DataSink& sink) {
            if (offset == 0 && stall_ms > 0 && !pause(stall_ms)) return false;
            if (offset >= limit) return false;
            body.write(sink, offset,
                       std::min<std::uint64_t>({length, limit - offset, Body::kPiece}));
            return true;
        });
}

void CatalogueServer::handle_control(const httplib::Request& req, httplib::Response& res) {
    if (!is_loopback(req.remote_addr)) {
        set_error(res, 403);
        return;
    }
    const std::string command = req.path.substr(sizeof kControlPrefix - 1);
    if (command == "fault") {
        std::string error;
        const auto fault = parse_fault(raw_param(req.target, "rule"), error);
        if (!fault) {
            res.status = 400;
            res.set_content(error + "\n", "text/plain");
            return;
        }
        set_fault(*fault);
    } else if (command == "clear") {
        clear();
    } else if (command == "log") {
        std::string text;
        for (const auto& line : log()) text += line + "\n";
        res.set_content(text, "text/plain");
        return;
    } else {
        set_error(res, 404);
        return;
    }
    res.set_content("ok", "text/plain");
}

}  // namespace catalogue_server
