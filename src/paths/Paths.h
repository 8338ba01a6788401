// Path rules, the same for the dialogs and the Win32 layer: UTF-8 paths in the file
// system's form, "\\" as separator ("/" is taken as one too). Lengths are counted as Windows
// counts them, in UTF-16 units.
#pragma once

#include <cstddef>
#include <string>

namespace tessaloom {

constexpr std::size_t kMaxPath = 260;  // path buffers in UTF-16 units, terminator included
// Folders are created only where an 8.3 file name would still fit in a path buffer: their
// paths stay under this many UTF-16 units.
constexpr std::size_t kMaxFolderPath = kMaxPath - 12;

// The length of UTF-8 `text` in UTF-16 units (an invalid byte counts as one).
std::size_t Utf16Length(const std::string& text);

bool IsSeparator(char c);
// `path` without its final separators; a root ("C:\\", "\\\\host\\share\\") keeps its own.
std::string WithoutFinalSeparator(const std::string& path);
// `folder` and `name` with one separator between them.
std::string JoinPath(const std::string& folder, const std::string& name);

// Whether `name` can stand as one folder name: not empty, "." or "..", no \ / : * ? " < > |
// or control characters, no trailing space or dot, not a reserved device name (with or
// without an extension).
bool IsValidFolderName(const std::string& name);

// The picked folder, a separator unless it already ends with one, the name and a separator.
std::string ComposeDestination(const std::string& pickedFolder, const std::string& serverName);

// Whether a path fits in a path buffer with its terminator.
bool FitsInPathBuffer(const std::string& path);
// Whether a path fits in the shell's path lists: a path buffer holding the path and the two
// zero bytes that end the list.
bool FitsInShellList(const std::string& path);

// The one length rule of the destination: the shell's copy takes it, and a path of
// `deepest` UTF-16 units below it (the longest the copy will hold) still fits in a path buffer
// when joined to it.
bool DestinationFits(const std::string& destination, std::size_t deepest);

// Whether a folder `deepest` UTF-16 units below `destination` (the destination itself for 0)
// can be created.
bool FolderFits(const std::string& destination, std::size_t deepest);

// The folder that holds `path` (its final separators ignored); false for a root ("C:",
// "\\host\share") or a path without a separator.
bool ParentFolder(const std::string& path, std::string& parent);

// UTF-16 units a line of a notice holds: at the system's message font, a notice of such lines
// fits a screen 1024 pixels wide.
constexpr std::size_t kNoticeLineWidth = 64;

// `path` broken into lines of at most `width` UTF-16 units, after its separators, and a name
// longer than a line within itself; the first line already holds `used` units. Without the
// line feeds it is `path` exactly.
std::string WrapPath(const std::string& path, std::size_t used = 0,
                     std::size_t width = kNoticeLineWidth);

// `path` (its final separators ignored) as the folder that holds it and its own name; the
// folder is empty for a root or a path without a separator, which is its own name.
void SplitPath(const std::string& path, std::string& folder, std::string& name);

// Whether `path` is `folder` itself or lies inside it, comparing whole components of the
// normalised paths, case-insensitively.
bool IsSameOrInside(const std::string& path, const std::string& folder);

}  // namespace tessaloom
