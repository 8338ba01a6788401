#include "FileTree.h"

#include <cstdio>
#include <vector>

#include "platform/win32/ScopedHandles.h"

namespace e2e {

namespace {

using tessaloom::ScopedFind;
using tessaloom::ScopedHandle;

std::string LastError() { return " (error " + std::to_string(GetLastError()) + ")"; }

std::uint64_t HashFile(const std::string& path, unsigned long long& size) {
    std::wstring wide = Widen(path);
    const ScopedHandle file(CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                        OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file.valid()) Fail("cannot open " + path + LastError());
    std::vector<char> buffer(1 << 16);
    std::uint64_t hash = Fnv1a(nullptr, 0);
    size = 0;
    DWORD read = 0;
    BOOL ok;
    while ((ok = ReadFile(file.get(), buffer.data(), static_cast<DWORD>(buffer.size()), &read,
                          nullptr)) &&
           read > 0) {
        hash = Fnv1a(buffer.data(), read, hash);
        size += read;
    }
    if (!ok) Fail("cannot read " + path);
    return hash;
}

void ListInto(const std::string& root, const std::string& relative, TreeListing& listing) {
    const std::string folder = Join(root, relative);
    std::vector<std::string> folders;
    {
        std::wstring pattern = Widen(Join(folder, "*"));
        WIN32_FIND_DATAW data;
        const ScopedFind find(FindFirstFileW(pattern.c_str(), &data));
        if (!find.valid()) Fail("cannot list " + folder + LastError());
        do {
            const std::string name = Narrow(data.cFileName);
            if (name == "." || name == "..") continue;
            const std::string path = Join(relative, name);
            TreeEntry entry;
            entry.folder = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
            entry.attributes = data.dwFileAttributes & kKeptAttributes;
            if (entry.folder) {
                folders.push_back(path);
            } else {
                entry.hash = HashFile(Join(root, path), entry.size);
            }
            listing[path] = entry;
        } while (FindNextFileW(find.get(), &data));
        if (GetLastError() != ERROR_NO_MORE_FILES) Fail("cannot list all of " + folder);
    }
    for (const std::string& sub : folders) ListInto(root, sub, listing);
}

}  // namespace

std::uint64_t Fnv1a(const void* data, std::size_t size, std::uint64_t hash) {
    const unsigned char* bytes = static_cast<const unsigned char*>(data);
    for (std::size_t i = 0; i < size; ++i) {
        hash ^= bytes[i];
        hash *= 0x100000001b3ull;
    }
    return hash;
}

std::string Join(const std::string& folder, const std::string& name) {
    if (folder.empty()) return name;
    return folder.back() == '\\' ? folder + name : folder + "\\" + name;
}

bool PathExists(const std::string& path) {
    std::wstring wide = Widen(path);
    return GetFileAttributesW(wide.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool IsFolder(const std::string& path) {
    std::wstring wide = Widen(path);
    const DWORD attributes = GetFileAttributesW(wide.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

void CreateFolders(const std::string& folder) {
    // Every prefix ending before a backslash past the drive ("Z:\"), then the folder itself.
    const std::string path = folder.back() == '\\' ? folder : folder + "\\";
    for (std::size_t pos = path.find('\\', 3); pos != std::string::npos;
         pos = path.find('\\', pos + 1)) {
        std::wstring prefix = Widen(path.substr(0, pos));
        if (!CreateDirectoryW(prefix.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
            Fail("cannot create the folder " + path.substr(0, pos) + LastError());
        }
    }
}

void WriteBytes(const std::string& path, const std::string& bytes, DWORD attributes) {
    CreateFolders(path.substr(0, path.find_last_of('\\')));
    std::wstring wide = Widen(path);
    {
        const ScopedHandle file(CreateFileW(wide.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                            FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file.valid()) Fail("cannot create " + path + LastError());
        DWORD written = 0;
        if (!WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                       nullptr) ||
            written != bytes.size()) {
            Fail("cannot write " + path);
        }
    }
    if (attributes != FILE_ATTRIBUTE_NORMAL && !SetFileAttributesW(wide.c_str(), attributes)) {
        Fail("cannot set the attributes of " + path + LastError());
    }
}

void WriteNoise(const std::string& path, unsigned long long size, unsigned seed, DWORD attributes) {
    std::string bytes(static_cast<std::size_t>(size), '\0');
    std::uint32_t state = seed * 2654435761u + 1;
    for (char& byte : bytes) {
        state = state * 1664525u + 1013904223u;  // every byte value, zero included
        byte = static_cast<char>(state >> 24);
    }
    WriteBytes(path, bytes, attributes);
}

std::string ReadBytes(const std::string& path) {
    std::wstring wide = Widen(path);
    const ScopedHandle file(CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                        OPEN_EXISTING, 0, nullptr));
    if (!file.valid()) Fail("cannot open " + path + LastError());
    std::string bytes;
    char buffer[4096];
    DWORD read = 0;
    BOOL ok;
    while ((ok = ReadFile(file.get(), buffer, sizeof buffer, &read, nullptr)) && read > 0) {
        bytes.append(buffer, read);
    }
    if (!ok) Fail("cannot read " + path);
    return bytes;
}

TreeListing ListTree(const std::string& root) {
    TreeListing listing;
    ListInto(root, "", listing);
    return listing;
}

std::uint64_t HashOf(const TreeListing& listing) {
    std::uint64_t hash = Fnv1a(nullptr, 0);
    for (const auto& [path, entry] : listing) {
        hash = Fnv1a(path.data(), path.size() + 1, hash);  // with its terminator
        const std::uint64_t fields[] = {entry.folder ? 1u : 0u, entry.size, entry.attributes,
                                        entry.hash};
        hash = Fnv1a(fields, sizeof fields, hash);
    }
    return hash;
}

std::string Describe(const TreeListing& listing) {
    std::string text;
    char line[96];
    for (const auto& [path, entry] : listing) {
        if (entry.folder) {
            std::snprintf(line, sizeof line, "  folder       attr=0x%lx ",
                          static_cast<unsigned long>(entry.attributes));
        } else {
            std::snprintf(line, sizeof line, "  %10llu B attr=0x%lx hash=%016llx ", entry.size,
                          static_cast<unsigned long>(entry.attributes),
                          static_cast<unsigned long long>(entry.hash));
        }
        text += line + Quote(path) + "\n";
    }
    return text.empty() ? "  (empty)\n" : text;
}

}  // namespace e2e
