// Paths as the file functions take them, and the listing of a folder.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <functional>
#include <string>

namespace tessaloom {

// `path` in UTF-16 for the wide file functions. A full path too long for a path buffer
// (MAX_PATH units with the terminator) is given in its long form, "\\?\C:\..." or
// "\\?\UNC\host\share\...", with '/' taken as '\' and no doubled separators, since the
// system does not normalise that form.
std::wstring SystemPath(const std::string& path);

// A path the system gives in its long form ("\\?\C:\...", "\\?\UNC\host\share\...") in its
// ordinary form, in UTF-8.
std::string OrdinaryPath(const std::wstring& path);

// Calls `visit` for every entry of `folder` but "." and "..", hidden and system ones included.
// Returns ERROR_SUCCESS when the folder was listed completely, otherwise the error that
// stopped the listing.
DWORD ListEntries(const std::string& folder,
                  const std::function<void(const WIN32_FIND_DATAW&)>& visit);

}  // namespace tessaloom
