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
    // Throws std::runtime_error if `logPath` is given and cannot be opened for appending.
    explicit CatalogueServer(std::string root, const std::string& logPath = {});
    ~CatalogueServer();

    void SetFault(const Fault& fault);
    void Clear();
    std::vector<std::string> Log() const;

    // Binds to host:port (0 picks a free port). Returns the port, or -1 on failure.
    int Bind(const std::string& host, int port);
    // Starts serving on a thread of its own; call after Bind(). False if that fails.
    bool Start();
    // Stops serving and waits for the requests in progress.
    void Stop();

private:
    struct FaultState {
        Fault fault;
        int hits = 0;
    };

    void Handle(const httplib::Request& req, httplib::Response& res);
    void HandleControl(const httplib::Request& req, httplib::Response& res);
    // Serves the file as `fault` (a Truncate or None action) says.
    void ServeFile(const httplib::Request& req, httplib::Response& res, const Fault& fault);
    // The fault that applies to this request, counting it against failfirst.
    std::optional<Fault> TakeFault(const std::string& path);
    void Record(const httplib::Request& req, int status);
    // Waits `ms` milliseconds, or less when the server stops; false when it stopped.
    bool Pause(int ms);
    // A port of 127.0.0.1 whose queue of connections is full: further connection attempts get
    // no answer. Opened on first use; -1 when that fails.
    int TarpitPort();

    const std::string m_root;
    httplib::Server m_server;
    std::thread m_thread;
    std::atomic<bool> m_finished{false};
    bool m_stopping = false;  // guarded by m_mutex
    std::condition_variable m_stopped;

    mutable std::mutex m_mutex;
    std::map<std::string, FaultState> m_faults;
    std::vector<std::string> m_log;
    std::ofstream m_logFile;
    int m_tarpitPort = 0;          // 0: not opened yet
    std::vector<int> m_tarpitFds;  // its listening socket and the connections that fill it
};

}  // namespace catalogue_server
