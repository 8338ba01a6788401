#include "paths/Paths.h"

#include <cctype>
#include <cstring>
#include <vector>

namespace tessaloom {

namespace {

std::string UpperAscii(std::string text) {
    for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

bool IsReservedDeviceName(const std::string& name) {
    // The device names are reserved with any extension too: "NUL.txt" is NUL.
    std::string stem = UpperAscii(name.substr(0, name.find('.')));
    while (!stem.empty() && stem.back() == ' ') stem.pop_back();
    static const char* const kNames[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
    for (const char* reserved : kNames) {
        if (stem == reserved) return true;
    }
    if (stem.compare(0, 3, "COM") != 0 && stem.compare(0, 3, "LPT") != 0) return false;
    const std::string port = stem.substr(3);
    if (port.size() == 1 && port[0] >= '0' && port[0] <= '9') return true;
    // Superscript one, two and three: in UTF-8, and as the single bytes of the Western code
    // page that older systems give narrow strings in.
    static const char* const kSuperscripts[] = {"\xC2\xB9", "\xC2\xB2", "\xC2\xB3",
                                                "\xB9",     "\xB2",     "\xB3"};
    for (const char* superscript : kSuperscripts) {
        if (port == superscript) return true;
    }
    return false;
}

// Length of the root of `path`: "C:\" (3), "\\host\share\" (up to its separator), 0 when
// it has none.
std::size_t RootLength(const std::string& path) {
    if (path.size() >= 3 && path[1] == ':' && IsSeparator(path[2])) return 3;
    if (path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1])) {
        std::size_t host = path.find_first_of("\\/", 2);
        if (host == std::string::npos) return path.size();
        std::size_t share = path.find_first_of("\\/", host + 1);
        return share == std::string::npos ? path.size() : share + 1;
    }
    return 0;
}

// Absolute path split into upper-cased components, with "." and ".." resolved.
std::vector<std::string> Components(const std::string& path) {
    std::vector<std::string> parts;
    std::string part;
    auto flush = [&]() {
        if (part == "..") {
            if (!parts.empty()) parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(UpperAscii(part));
        }
        part.clear();
    };
    for (char c : path) {
        if (c == '\\' || c == '/') {
            flush();
        } else {
            part += c;
        }
    }
    flush();
    return parts;
}

}  // namespace

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

std::string WithoutFinalSeparator(const std::string& path) {
    std::size_t end = path.size();
    while (end > RootLength(path) && IsSeparator(path[end - 1])) --end;
    return path.substr(0, end);
}

std::string JoinPath(const std::string& folder, const std::string& name) {
    if (folder.empty() || IsSeparator(folder.back())) return folder + name;
    return folder + '\\' + name;
}

bool IsValidFolderName(const std::string& name) {
    if (name.empty() || name == "." || name == "..") return false;
    for (char c : name) {
        if (static_cast<unsigned char>(c) < 0x20) return false;
        if (std::strchr("\\/:*?\"<>|", c) != nullptr) return false;
    }
    if (name.back() == ' ' || name.back() == '.') return false;
    return !IsReservedDeviceName(name);
}

std::string ComposeDestination(const std::string& pickedFolder, const std::string& serverName) {
    return JoinPath(pickedFolder, serverName) + '\\';
}

std::size_t Utf16Length(const std::string& text) {
    std::size_t units = 0;
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        std::size_t length = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
        if (lead >= 0x80 && (lead < 0xC2 || lead > 0xF4)) length = 1;  // not a lead byte
        bool whole = i + length <= text.size();
        for (std::size_t k = 1; whole && k < length; ++k) {
            whole = (static_cast<unsigned char>(text[i + k]) & 0xC0) == 0x80;
        }
        if (!whole) length = 1;
        units += length == 4 ? 2 : 1;  // beyond the basic plane: a surrogate pair
        i += length;
    }
    return units;
}

bool FitsInPathBuffer(const std::string& path) { return Utf16Length(path) < kMaxPath; }

bool FitsInShellList(const std::string& path) { return Utf16Length(path) <= kMaxPath - 2; }

bool DestinationFits(const std::string& destination, std::size_t deepest) {
    const std::string folder = WithoutFinalSeparator(destination);
    if (folder.empty() || !FitsInShellList(folder)) return false;
    const std::size_t separator = IsSeparator(folder.back()) ? 0 : 1;
    return Utf16Length(folder) + separator + deepest < kMaxPath;
}

bool FolderFits(const std::string& destination, std::size_t deepest) {
    const std::string folder = WithoutFinalSeparator(destination);
    if (folder.empty()) return false;
    const std::size_t separator = deepest == 0 || IsSeparator(folder.back()) ? 0 : 1;
    return Utf16Length(folder) + separator + deepest < kMaxFolderPath;
}

bool ParentFolder(const std::string& path, std::string& parent) {
    const std::string folder = WithoutFinalSeparator(path);
    const std::size_t separator = folder.find_last_of("\\/");
    if (folder.size() <= RootLength(folder) || separator == std::string::npos) return false;
    parent = WithoutFinalSeparator(folder.substr(0, separator + 1));
    return true;
}

void SplitPath(const std::string& path, std::string& folder, std::string& name) {
    const std::string full = WithoutFinalSeparator(path);
    if (!ParentFolder(full, folder)) {
        folder.clear();
        name = full;
        return;
    }
    name = full.substr(folder.size() + (IsSeparator(folder.back()) ? 0 : 1));
}

std::string WrapPath(const std::string& path, std::size_t used, std::size_t width) {
    std::string wrapped;
    std::size_t line = used;
    // Character by character, a name held back until its separator or the path's end tells
    // whether it fits the line.
    std::string name;
    std::size_t nameUnits = 0;
    const auto newLine = [&] {
        wrapped += '\n';
        line = 0;
    };
    const auto flush = [&] {
        if (line > 0 && line + nameUnits > width) newLine();
        wrapped += name;
        line += nameUnits;
        name.clear();
        nameUnits = 0;
    };
    for (std::size_t i = 0; i < path.size();) {
        std::size_t length = 1;
        while (i + length < path.size() &&
               (static_cast<unsigned char>(path[i + length]) & 0xC0) == 0x80) {
            ++length;
        }
        const std::string character = path.substr(i, length);
        const std::size_t units = Utf16Length(character);
        i += length;
        if (nameUnits + units > width) {  // a name longer than a line: broken within itself
            if (line > 0) newLine();
            wrapped += name;
            newLine();
            name.clear();
            nameUnits = 0;
        }
        name += character;
        nameUnits += units;
        if (IsSeparator(character[0])) flush();
    }
    flush();
    return wrapped;
}

bool IsSameOrInside(const std::string& path, const std::string& folder) {
    std::vector<std::string> inner = Components(path);
    std::vector<std::string> outer = Components(folder);
    if (outer.empty() || inner.size() < outer.size()) return false;
    for (std::size_t i = 0; i < outer.size(); ++i) {
        if (inner[i] != outer[i]) return false;
    }
    return true;
}

}  // namespace tessaloom
