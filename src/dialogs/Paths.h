// Path rules of the pickers and the Duplicate command.
#pragma once

#include <string>

namespace tessaloom {

// Whether `name` can stand as one folder name: not empty, "." or "..", no \ / : * ? " < > |
// or control characters, no trailing space or dot, not a reserved device name.
bool IsValidFolderName(const std::string& name);

// The picked folder, a separator unless it already ends with one, the name and a separator.
std::string ComposeDestination(const std::string& pickedFolder, const std::string& serverName);

// Whether a path of `length` characters fits in a path buffer with its terminator.
bool FitsInPathBuffer(std::size_t length);

// Whether `path` is `folder` itself or lies inside it, comparing whole components of the
// normalised paths, case-insensitively.
bool IsSameOrInside(const std::string& path, const std::string& folder);

}  // namespace tessaloom
