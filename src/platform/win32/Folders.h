// Listing a folder with the narrow find functions.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

namespace tessaloom {

// Calls `visit` for every entry of `folder` but "." and "..", hidden and system ones included.
// False when the folder cannot be listed completely: missing, not a folder, or a path too long
// for the narrow functions.
bool ListEntries(const std::string& folder,
                 const std::function<void(const WIN32_FIND_DATAA&)>& visit);

}  // namespace tessaloom
