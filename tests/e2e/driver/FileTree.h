// Files and folders on disk, for scenarios that check what the program copied and wrote:
// written byte for byte, read back, and listed as a whole tree with a hash of every file.
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "Driver.h"

namespace e2e {

// The attributes a copy must keep.
constexpr DWORD kKeptAttributes =
    FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_READONLY;

struct TreeEntry {
    bool folder = false;
    unsigned long long size = 0;
    DWORD attributes = 0;    // the kKeptAttributes bits only
    std::uint64_t hash = 0;  // of the contents (files only)

    bool operator==(const TreeEntry& other) const {
        return folder == other.folder && size == other.size && attributes == other.attributes &&
               hash == other.hash;
    }
    bool operator!=(const TreeEntry& other) const { return !(*this == other); }
};
// Every file and folder below a root, hidden ones included, by relative path ("a\b.txt").
using TreeListing = std::map<std::string, TreeEntry>;

// 64-bit FNV-1a, continued from `hash`.
std::uint64_t Fnv1a(const void* data, std::size_t size, std::uint64_t hash = 0xcbf29ce484222325ull);

// `folder`\`name`, with one backslash between them; `name` alone when `folder` is empty.
std::string Join(const std::string& folder, const std::string& name);
bool PathExists(const std::string& path);
bool IsFolder(const std::string& path);
// Creates `folder` and its missing parents; fails when it cannot.
void CreateFolders(const std::string& folder);
// Writes `bytes` to `path` (creating its folders), then sets `attributes`.
void WriteBytes(const std::string& path, const std::string& bytes,
                DWORD attributes = FILE_ATTRIBUTE_NORMAL);
// A file of `size` bytes from a fixed pseudo-random sequence started at `seed`.
void WriteNoise(const std::string& path, unsigned long long size, unsigned seed,
                DWORD attributes = FILE_ATTRIBUTE_NORMAL);
// The whole contents of a file; fails when it cannot be read.
std::string ReadBytes(const std::string& path);

// Lists the tree below `root`; fails when a folder cannot be listed or a file read.
TreeListing ListTree(const std::string& root);
// One hash over the names, kinds, sizes, kept attributes and contents of a whole listing.
std::uint64_t HashOf(const TreeListing& listing);
std::string Describe(const TreeListing& listing);  // one line per entry, for failures

}  // namespace e2e
