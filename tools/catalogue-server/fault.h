// Fault injection rules of the test catalogue server.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace catalogue_server {

enum class FaultAction {
    None,         // serve normally (a delay or a change in how the body is sent alone)
    Status,       // answer with an HTTP error status
    Truncate,     // announce the full length, send only a prefix, then close
    Close,        // close the connection without an answer
    Redirect,     // answer 302 Found with a Location
    Unreachable,  // answer 302 Found to a server that never takes the connection
};

// A fault on one URL path, written as "PATH:option[,option...]" with the options
//   status=CODE      answer with CODE (400-599)
//   truncate=BYTES   send only the first BYTES bytes of the body, then close the connection
//   close            close the connection without an answer
//   redirect=TARGET  answer 302 Found with Location TARGET (a path, or a URL relative to the
//                    request's; it cannot hold ':' or ',')
//   unreachable      answer 302 Found with the same path on a port of 127.0.0.1 where a
//                    connection is never accepted: the client's connection attempt hangs
//   delay=MS         wait MS milliseconds before answering
//   stall=MS         send the headers, then nothing for MS milliseconds before the body
//   trickle=MS       send the body one byte at a time, each MS milliseconds after the last
//   chunked=SIZE     send the body to an HTTP/1.1 request in chunks of SIZE bytes; an
//                    HTTP/1.0 request, which cannot take chunks, gets it with its length
//   size=BYTES       the body is BYTES long: the file, then line feeds made as they are sent
//   nolength         send no length: the body ends when the connection closes
//   failfirst=N      only the first N requests are affected
// status, truncate, close, redirect and unreachable exclude each other; stall, trickle, chunked,
// size and nolength change how a file is sent and go with truncate alone; trickle and chunked
// exclude each other.
struct Fault {
    std::string path;
    FaultAction action = FaultAction::None;
    int status = 0;                     // Status: the code to answer with
    std::size_t truncateAt = 0;         // Truncate: body bytes sent before the connection closes
    std::string location;               // Redirect: the Location header
    int delayMs = 0;                    // wait before answering
    int stallMs = 0;                    // wait between the headers and the body
    int trickleMs = 0;                  // > 0: wait before each byte of the body
    std::size_t chunkSize = 0;          // > 0: chunked to HTTP/1.1 requests
    std::optional<std::uint64_t> size;  // the body's length, when not the file's
    bool noLength = false;              // no Content-Length: the connection ends the body
    int failFirst = 0;                  // > 0: only the first N requests are affected
};

// Parses a fault description. Returns nullopt and a reason in `error` if it is malformed.
std::optional<Fault> ParseFault(const std::string& text, std::string& error);

}  // namespace catalogue_server
