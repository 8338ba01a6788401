#include "catalogue_server.h"

#include <dirent.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
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

void CatalogueServer::stop() {
    if (!thread_.joinable()) return;
    server_.stop();
    thread_.join();
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

void CatalogueServer::record(const httplib::Request& req, int status) {
    char code[8];
    std::snprintf(code, sizeof code, "%03d", status);
    const std::string line = req.method + " " + req.path + " " + code;
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

    const auto fault = take_fault(req.path);
    std::size_t truncate_at = std::string::npos;
    if (fault) {
        if (fault->delay_ms > 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(fault->delay_ms));
        }
        switch (fault->action) {
            case FaultAction::Status:
                set_error(res, fault->status);
                record(req, res.status);
                return;
            case FaultAction::Close:
                record(req, 0);  // logged as status 000: no answer
                drop_connection(req);
                res.status = 500;
                return;
            case FaultAction::Truncate:
                truncate_at = fault->truncate_at;
                break;
            case FaultAction::None:
                break;
        }
    }
    serve_file(req, res, truncate_at);
    record(req, res.status);
}

void CatalogueServer::serve_file(const httplib::Request& req, httplib::Response& res,
                                 std::size_t truncate_at) {
    auto data = std::make_shared<std::string>();
    if (!is_safe_path(req.path) || !read_file(root_ + req.path, *data)) {
        set_error(res, 404);
        return;
    }
    const bool is_text =
        req.path.size() >= 4 && req.path.compare(req.path.size() - 4, 4, ".txt") == 0;
    const std::string type = is_text ? "text/plain" : "application/octet-stream";
    res.status = 200;
    if (data->empty()) {
        res.set_content("", type);
        return;
    }
    // Served through a provider with a known length, which httplib never compresses, so the
    // bytes go out exactly as stored. Returning false ends the connection early.
    const std::size_t limit = std::min(truncate_at, data->size());
    res.set_content_provider(
        data->size(), type,
        [data, limit](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
            if (offset >= limit) return false;
            sink.write(data->data() + offset, std::min(length, limit - offset));
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
