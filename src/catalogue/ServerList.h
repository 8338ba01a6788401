// The catalogue's list of test servers: lines of name=value.
#pragma once

#include <string>
#include <vector>

#include "platform/Platform.h"

namespace tessaloom {

// Only this many bytes of the list count.
constexpr std::size_t kServerListLimit = 1024;
// The list is fetched no further than the limit and the one byte that tells whether the
// entry at the limit was whole.
constexpr FetchLimit kServerListFetch = {kServerListLimit + 1, true};

struct ServerEntry {
    std::string name;   // shown in the selector
    std::string value;  // the server's directory on the catalogue host
};

// The list's text: one read of at most kServerListLimit bytes, up to the first zero byte.
// `cut` tells whether the limit fell inside a line (and so the text ends mid-line).
// A failed read gives an empty text.
struct ServerListText {
    std::string text;
    bool cut = false;
};
ServerListText ReadServerListText(Stream& stream);

// Parses the entries in file order. Each runs from the end of the previous entry's line to
// its "=" (name), and from there to the next line feed or the end of the text (value).
// When `cut` is set, an entry whose line the limit cut off is dropped: its value would be
// shortened.
std::vector<ServerEntry> ParseServerList(const std::string& text, bool cut);

// How the list's bytes are to be read: UTF-8 when they are valid UTF-8 (an incomplete
// character at the end of a cut text aside), otherwise the system's ANSI code page.
// A UTF-8 byte-order mark at the start is removed from `text`.
TextEncoding TakeServerListEncoding(std::string& text, bool cut);

// Removes every carriage return from a server value.
std::string ServerDirectory(const std::string& value);

}  // namespace tessaloom
