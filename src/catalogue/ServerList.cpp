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
        // A full read: the entry at the end is whole only if its line or the text ends right
        // after it.
        char next = 0;
        std::uint32_t more = 0;
        bool peeked = stream.Read(&next, 1, more);
        result.cut = !peeked || (more == 1 && next != '\n' && next != '\r' && next != '\0');
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

namespace {

// Length of the UTF-8 character starting at `text[i]`: 0 when it is invalid, -1 when the text
// ends inside it.
int Utf8CharLength(const std::string& text, std::size_t i) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = byte(i);
    if (lead < 0x80) return 1;
    int length = 0;
    unsigned char low = 0x80, high = 0xBF;  // range of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;   // no overlong forms
        if (lead == 0xED) high = 0x9F;  // no surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;  // nothing past U+10FFFF
    } else {
        return 0;
    }
    for (int k = 1; k < length; ++k) {
        if (i + k >= text.size()) return -1;
        const unsigned char c = byte(i + k);
        if (k == 1 ? (c < low || c > high) : (c < 0x80 || c > 0xBF)) return 0;
    }
    return length;
}

}  // namespace

TextEncoding TakeServerListEncoding(std::string& text, bool cut) {
    static const char kByteOrderMark[] = "\xEF\xBB\xBF";
    if (text.compare(0, 3, kByteOrderMark) == 0) text.erase(0, 3);
    for (std::size_t i = 0; i < text.size();) {
        const int length = Utf8CharLength(text, i);
        if (length < 0 && cut) break;  // the limit fell inside a character
        if (length <= 0) return TextEncoding::kSystemAnsi;
        i += static_cast<std::size_t>(length);
    }
    return TextEncoding::kUtf8;
}

std::string ServerDirectory(const std::string& value) {
    std::string directory = value;
    directory.erase(std::remove(directory.begin(), directory.end(), '\r'), directory.end());
    return directory;
}

}  // namespace tessaloom
