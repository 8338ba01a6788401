// Path rules of the pickers and the Duplicate command.
#pragma once

#include <string>

namespace tessaloom {

// Whether `name` can stand as one folder name: not empty, "." or "..", no \ / : * ? " < > |
// or control characters, no trailing space or dot, not a reserved device name (with or
// without an extension).
bool IsValidFolderName(const std::string& name);

// The picked folder, a separator unless it already ends with one, the name and a separator.
std::string ComposeDestination(const std::string& pickedFolder, const std::string& serverName);

// Whether a path of `length` characters fits in a path buffer with its terminator.
bool FitsInPathBuffer(std::size_t length);

// The one length rule of the destination: the shell's copy takes it, and every path written
// below it (the destination without its final separator, then a suffix of at most
// `longestSuffix` characters starting with a separator) fits in a path buffer.
bool DestinationFits(const std::string& destination, std::size_t longestSuffix);

// `folder` and `name` with one separator between them.
std::string JoinPath(const std::string& folder, const std::string& name);

// The folder that holds `path` (its final separators ignored); false for a root ("C:",
// "\\host\share") or a path without a separator.
bool ParentFolder(const std::string& path, std::string& parent);

// Whether `path` is `folder` itself or lies inside it, comparing whole components of the
// normalised paths, case-insensitively.
bool IsSameOrInside(const std::string& path, const std::string& folder);

}  // namespace tessaloom
