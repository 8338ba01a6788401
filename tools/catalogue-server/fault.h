// Fault injection rules of the test catalogue server.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

namespace catalogue_server {

enum class FaultAction {
    None,      // serve normally (a delay alone)
    Status,    // answer with an HTTP error status
    Truncate,  // announce the full length, send only a prefix, then close
    Close,     // close the connection without an answer
};

// A fault on one URL path, written as "PATH:option[,option...]" with the options
// status=CODE, truncate=BYTES, delay=MS, close and failfirst=N.
struct Fault {
    std::string path;
    FaultAction action = FaultAction::None;
    int status = 0;               // Status: the code to answer with
    std::size_t truncate_at = 0;  // Truncate: body bytes sent before the connection closes
    int delay_ms = 0;             // wait before answering
    int fail_first = 0;           // > 0: only the first N requests are affected
};

// Parses a fault description. Returns nullopt and a reason in `error` if it is malformed.
std::optional<Fault> parse_fault(const std::string& text, std::string& error);

}  // namespace catalogue_server
