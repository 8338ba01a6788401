// The test catalogue: its files, written straight into the folder the catalogue server
// serves, and the server's run-time control (faults, request log) over HTTP on loopback; or,
// where a plain web server serves the folder, the access log it writes.
#pragma once

#include <string>
#include <vector>

#include "Driver.h"

namespace e2e {

// One request line of the server's log: "GET /path STATUS VERSION".
struct LoggedRequest {
    std::string method;
    std::string path;
    int status = 0;       // 0: the connection was closed without an answer
    std::string version;  // the request's HTTP version: "HTTP/1.0" or "HTTP/1.1"
    std::string more;     // what a plain web server's line holds after the version
};

class Catalogue {
public:
    // `baseUrl`: the program's catalogue URL, ending in '/' (http://127.0.0.1:PORT/Tessaloom/).
    // `folder`: the Windows path of the folder the server serves for that URL. `accessLog`:
    // the Windows path of the log of a plain web server that serves it in place of the
    // catalogue server, one line per request in the server's log form; such a server takes
    // no faults.
    Catalogue(const std::string& baseUrl, const std::string& folder,
              const std::string& accessLog = std::string());

    // URL and URL path of a file below the base: "TestServers.txt", "srv/QuorvaneLauncher.url".
    std::string UrlOf(const std::string& relative) const { return m_baseUrl + relative; }
    std::string PathOf(const std::string& relative) const { return m_basePath + relative; }

    // Writes a catalogue file byte for byte, creating its folders.
    void WriteFile(const std::string& relative, const std::string& bytes) const;

    // --- The server -------------------------------------------------------------------------
    // Whether anything answers on the server's address.
    bool ServerAnswers() const;
    // Drops every fault and empties the request log.
    void Clear() const;
    // Adds a fault on a file below the base: options as the server takes them
    // ("status=404", "truncate=5", "status=500,failfirst=1", "delay=2000", "close",
    // "chunked=8,truncate=20", "stall=600000", "redirect=NAME", "size=BYTES", "nolength";
    // tools/catalogue-server/fault.h).
    void AddFault(const std::string& relative, const std::string& options) const;
    std::vector<LoggedRequest> Log() const;
    // Statuses of the GETs of one file below the base, in order.
    std::vector<int> StatusesOf(const std::string& relative) const;
    // Waits until the log holds `count` GETs of the file, then returns their statuses (fewer
    // when the wait timed out).
    std::vector<int> WaitForRequests(const std::string& relative, std::size_t count,
                                     DWORD timeoutMs) const;
    // Fails unless every request in the log asked with HTTP `version` ("HTTP/1.0").
    void CheckRequestVersions(const std::string& version) const;

private:
    std::string Control(const std::string& command) const;
    std::string WindowsPathOf(const std::string& relative) const;

    std::string m_baseUrl;
    std::string m_origin;    // http://host:port
    std::string m_basePath;  // /Tessaloom/
    std::string m_folder;
    std::string m_accessLog;  // empty: the catalogue server's own log
};

}  // namespace e2e
