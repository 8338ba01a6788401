// What the Duplicate command learns of an installation and of the destination's volume
// before it fetches or copies anything.
#pragma once

#include <cstdint>
#include <set>
#include <string>

#include "platform/Platform.h"

namespace tessaloom {

struct InstallationSurvey {
    bool loops = false;        // a folder is reached again inside itself
    std::uint64_t bytes = 0;   // the size of every file the copy will write
    std::set<FileId> folders;  // every folder the copy will walk, the installation included
};

// Walks `source` once, metadata only, following links as the shell's copy does. Stops at the
// first loop. Folders that cannot be read are left to the copy, which reports them.
InstallationSurvey SurveyInstallation(Platform& platform, const std::string& source);

// Whether `path`, or any existing folder above it, is one of the surveyed folders, whichever
// path reaches it.
bool ReachesSurveyedFolder(Platform& platform, const std::string& path,
                           const InstallationSurvey& survey);

// The nearest existing folder of `path`: the path itself or its closest existing parent.
bool NearestExistingFolder(Platform& platform, const std::string& path, std::string& folder);

// Whether a copy of `survey.bytes` bytes fits at `destination`: an existing destination is
// merged and not checked; a new one needs that much free space on the volume it would be on.
// True when that cannot be told.
bool CopyFits(Platform& platform, const std::string& destination, const InstallationSurvey& survey);

}  // namespace tessaloom
