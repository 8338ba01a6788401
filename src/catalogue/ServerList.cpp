#include "catalogue/ServerList.h"

#include <algorithm>
#include <cstdint>

namespace tessaloom {

ServerListText ReadServerListText(Stream& stream) {
    ServerListText result;
    char buffer[kServerListLimit + 1] = {};
    std::uint32_t count = 0;
    if (!stream.Read(buffer, kServerListLimit, count)) return result;
    count = std::min<std::uint32_t>(count, kServerListLimit);
    const char* end = std::find(buffer, buffer + count, '\0');
    result.text.assign(static_cast<const char*>(buffer), end);
    if (end == buffer + count && count == kServerListLimit) {
        // A full read: the entry at the end is whole only if its line feed comes next.
        char next = 0;
        std::uint32_t more = 0;
        bool peeked = stream.Read(&next, 1, more);
        result.cut = !peeked || (more == 1 && next != '\n');
    }
    return result;
}

std::vector<ServerEntry> ParseServerList(const std::string& text, bool cut) {
    std::vector<ServerEntry> entries;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t equals = text.find('=', start);
        if (equals == std::string::npos) break;
        std::size_t lineEnd = text.find('\n', equals + 1);
        bool ended = lineEnd != std::string::npos;
        if (!ended) {
            if (cut) break;
            lineEnd = text.size();
        }
        entries.push_back(
            {text.substr(start, equals - start), text.substr(equals + 1, lineEnd - equals - 1)});
        start = lineEnd + 1;
    }
    return entries;
}

std::string ServerDirectory(const std::string& value) {
    std::string directory = value;
    directory.erase(std::remove(directory.begin(), directory.end(), '\r'), directory.end());
    return directory;
}

}  // namespace tessaloom
