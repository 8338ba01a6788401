// Files and folders on the wide file functions: paths as those take them, and the file
// operations of the Platform interface.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <cstddef>
#include <string>
#include <vector>

#include "platform/Platform.h"

namespace tessaloom {

// `path` in UTF-16 for the wide file functions. A full path too long for a path buffer
// (MAX_PATH units with the terminator) is given in its long form, "\\?\C:\..." or
// "\\?\UNC\host\share\...", with '/' taken as '\' and no doubled separators, since the
// system does not normalise that form.
std::wstring SystemPath(const std::string& path);

// A path the system gives in its long form ("\\?\C:\...", "\\?\UNC\host\share\...") in its
// ordinary form, in UTF-8.
std::string OrdinaryPath(const std::wstring& path);

// The Platform operations of the same names; errors are the system's messages.
bool ProbeFile(const std::string& path);
WriteResult WriteNewFile(const std::string& path, const void* data, std::size_t size,
                         std::string& error);
bool MoveOver(const std::string& from, const std::string& to, std::string& error);
bool RemoveFile(const std::string& path);
bool CreateFolder(const std::string& path, std::string& error);
bool RemoveFolder(const std::string& path, std::string& error);
bool ListFolder(const std::string& folder, std::vector<FolderEntry>& entries, std::string& error);
bool IdentifyFile(const std::string& path, FileId& id);
bool QueryVolumeSpace(const std::string& folder, VolumeSpace& space);
bool CanCreateFileIn(const std::string& folder, std::string& error);
std::vector<NameFacts> InspectNames(const std::vector<std::string>& paths);

}  // namespace tessaloom
