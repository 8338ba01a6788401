// A file server for the test catalogue with scriptable faults.
#pragma once

#include <httplib.h>

#include <atomic>
#include <condition_variable>
#include <fstream>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "fault.h"

namespace catalogue_server {

// Serves the files under a root folder for GET/HEAD: the URL path /a/b reads ROOT/a/b.
// Requests under /__control/ (loopback peers only) manage faults and the request log:
//   /__control/fault?rule=PATH:OPTIONS  add or replace the fault for PATH
//   /__control/clear                    remove all faults and empty the request log
//   /__control/log                      the request log, one "METHOD PATH STATUS VERSION" a
//                                       line (VERSION: the request's, HTTP/1.0 or HTTP/1.1)
class CatalogueServer {
public:
    // Throws std::runtime_error if `log_path` is given and cannot be opened for appending.
    explicit CatalogueServer(std::string root, const std::string& log_path = {});
    ~CatalogueServer();

    void set_fault(const Fault& fault);
    void clear();
    std::vector<std::string> log() const;

    // Binds to host:port (0 picks a free port). Returns the port, or -1 on failure.
    int bind(const std::string& host, int port);
    // Starts serving on a thread of its own; call after bind(). False if that fails.
    bool start();
    // Stops serving and waits for the requests in progress.
    void stop();

private:
    struct FaultState {
        Fault fault;
        int hits = 0;
    };

    void handle(const httplib::Request& req, httplib::Response& res);
    void handle_control(const httplib::Request& req, httplib::Response& res);
    // Serves the file as `fault` (a Truncate or None action) says.
    void serve_file(const httplib::Request& req, httplib::Response& res, const Fault& fault);
    // The fault that applies to this request, counting it against failfirst.
    std::optional<Fault> take_fault(const std::string& path);
    void record(const httplib::Request& req, int status);
    // Waits `ms` milliseconds, or less when the server stops; false when it stopped.
    bool pause(int ms);
    // A port of 127.0.0.1 whose queue of connections is full: further connection attempts get
    // no answer. Opened on first use; -1 when that fails.
    int tarpit_port();

    const std::string root_;
    httplib::Server server_;
    std::thread thread_;
    std::atomic<bool> finished_{false};
    bool stopping_ = false;  // guarded by mutex_
    std::condition_variable stopped_;

    mutable std::mutex mutex_;
    std::map<std::string, FaultState> faults_;
    std::vector<std::string> log_;
    std::ofstream log_file_;
    int tarpit_port_ = 0;          // 0: not opened yet
    std::vector<int> tarpit_fds_;  // its listening socket and the connections that fill it
};

}  // namespace catalogue_server
