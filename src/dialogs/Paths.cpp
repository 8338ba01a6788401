#include "dialogs/Paths.h"

#include <cctype>
#include <cstring>
#include <vector>

#include "platform/Platform.h"

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
    static const char* const kNames[] = {"CON", "PRN", "AUX", "NUL"};
    for (const char* reserved : kNames) {
        if (stem == reserved) return true;
    }
    if (stem.size() == 4 && (stem.compare(0, 3, "COM") == 0 || stem.compare(0, 3, "LPT") == 0)) {
        return stem[3] >= '1' && stem[3] <= '9';
    }
    return false;
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
    std::string destination = pickedFolder;
    if (destination.empty() || destination.back() != '\\') destination += '\\';
    return destination + serverName + '\\';
}

bool FitsInPathBuffer(std::size_t length) { return length < kMaxPath; }

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
