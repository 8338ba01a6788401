#include "fault.h"

#include <algorithm>

namespace catalogue_server {
namespace {

// Parses a non-negative decimal number no larger than `max`.
bool ParseNumber(const std::string& s, long long max, long long& out) {
    if (s.empty() || s.size() > 12) return false;
    long long value = 0;
    for (char c : s) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + (c - '0');
    }
    if (value > max) return false;
    out = value;
    return true;
}

}  // namespace

std::optional<Fault> ParseFault(const std::string& text, std::string& error) {
    // Options never contain ':', so the last one separates path and options.
    const auto colon = text.rfind(':');
    if (colon == std::string::npos) {
        error = "expected PATH:OPTIONS";
        return std::nullopt;
    }
    Fault fault;
    fault.path = text.substr(0, colon);
    if (fault.path.empty() || fault.path[0] != '/') {
        error = "path must start with '/'";
        return std::nullopt;
    }

    bool hasDelay = false, hasStall = false, hasTrickle = false, hasChunked = false;
    bool hasFailFirst = false;
    const std::string options = text.substr(colon + 1);
    for (std::size_t start = 0; start <= options.size();) {
        const auto comma = std::min(options.find(',', start), options.size());
        const std::string option = options.substr(start, comma - start);
        start = comma + 1;
        if (option.empty()) {
            error = "empty option";
            return std::nullopt;
        }
        const auto eq = option.find('=');
        const std::string key = option.substr(0, eq);
        const std::string value = eq == std::string::npos ? std::string() : option.substr(eq + 1);
        const bool hasValue = eq != std::string::npos;
        const bool flag = key == "close" || key == "nolength" || key == "unreachable";
        long long n = 0;

        if (flag && hasValue) {
            error = "'" + key + "' takes no value";
            return std::nullopt;
        }
        if (!flag && !hasValue) {
            error = "option '" + key + "' needs a value";
            return std::nullopt;
        }

        if (key == "status" || key == "truncate" || key == "close" || key == "redirect" ||
            key == "unreachable") {
            if (fault.action != FaultAction::None) {
                error =
                    "only one of status, truncate, close, redirect and unreachable may be given";
                return std::nullopt;
            }
        }
        if (key == "status") {
            if (!ParseNumber(value, 599, n) || n < 400) {
                error = "status must be a code from 400 to 599";
                return std::nullopt;
            }
            fault.action = FaultAction::Status;
            fault.status = static_cast<int>(n);
        } else if (key == "truncate") {
            if (!ParseNumber(value, 1LL << 40, n)) {
                error = "truncate needs a byte count";
                return std::nullopt;
            }
            fault.action = FaultAction::Truncate;
            fault.truncateAt = static_cast<std::size_t>(n);
        } else if (key == "close") {
            fault.action = FaultAction::Close;
        } else if (key == "unreachable") {
            fault.action = FaultAction::Unreachable;
        } else if (key == "redirect") {
            if (value.empty() || value.find_first_of(" \t\r\n") != std::string::npos) {
                error = "redirect needs a target without spaces";
                return std::nullopt;
            }
            fault.action = FaultAction::Redirect;
            fault.location = value;
        } else if (key == "delay" || key == "stall" || key == "trickle") {
            bool& seen = key == "delay" ? hasDelay : key == "stall" ? hasStall : hasTrickle;
            if (seen || !ParseNumber(value, 600000, n) || (key == "trickle" && n == 0)) {
                error = key + " needs one value in milliseconds (at most 600000)";
                return std::nullopt;
            }
            seen = true;
            (key == "delay"   ? fault.delayMs
             : key == "stall" ? fault.stallMs
                              : fault.trickleMs) = static_cast<int>(n);
        } else if (key == "chunked") {
            if (hasChunked || !ParseNumber(value, 1LL << 24, n) || n == 0) {
                error = "chunked needs one chunk size in bytes (1 to 16777216)";
                return std::nullopt;
            }
            hasChunked = true;
            fault.chunkSize = static_cast<std::size_t>(n);
        } else if (key == "size") {
            if (fault.size || !ParseNumber(value, 1LL << 40, n)) {
                error = "size needs one byte count";
                return std::nullopt;
            }
            fault.size = static_cast<std::uint64_t>(n);
        } else if (key == "nolength") {
            fault.noLength = true;
        } else if (key == "failfirst") {
            if (hasFailFirst || !ParseNumber(value, 1000000, n) || n == 0) {
                error = "failfirst needs one positive count";
                return std::nullopt;
            }
            hasFailFirst = true;
            fault.failFirst = static_cast<int>(n);
        } else {
            error = "unknown option '" + key + "'";
            return std::nullopt;
        }
    }

    const bool changesSending =
        hasStall || hasTrickle || hasChunked || fault.size || fault.noLength;
    if (changesSending && fault.action != FaultAction::None &&
        fault.action != FaultAction::Truncate) {
        error =
            "stall, trickle, chunked, size and nolength apply to a file sent, with truncate alone";
        return std::nullopt;
    }
    if (hasChunked && hasTrickle) {
        error = "chunked and trickle exclude each other";
        return std::nullopt;
    }
    if (hasChunked && fault.noLength) {
        error = "chunked and nolength exclude each other";
        return std::nullopt;
    }
    if (fault.action == FaultAction::None && !hasDelay && !changesSending) {
        if (!hasFailFirst) {
            error = "no fault given";
            return std::nullopt;
        }
        // failfirst on its own fails with a server error.
        fault.action = FaultAction::Status;
        fault.status = 500;
    }
    return fault;
}

}  // namespace catalogue_server
