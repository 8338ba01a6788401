// What the Duplicate command learns of the destination before it fetches or copies anything:
// whether writing there could reach the installation, what an existing copy already holds,
// and whether the copy fits.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "installation/InstallationSurvey.h"
#include "platform/Platform.h"

namespace tessaloom {

// What an existing destination holds at the places the copy writes.
struct DestinationSurvey {
    std::map<std::string, std::uint64_t> files;  // folded relative path -> size of a file there
    std::set<std::string> folders;               // folded relative paths of folders there
    // A file there, at a path the copy or the program writes, is one of the installation's
    // (a hard link, or a link to it): writing it would write the installation.
    bool sharesInstallationFile = false;
};

// Whether writing at `destination` could reach the installation: the destination or a folder
// above it is one of the installation's; or, for an existing destination, a folder of it that
// the copy writes into (`written`, relative paths, besides the survey's folders) is, or the
// installation reaches the destination or a folder inside it.
bool ReachesInstallation(Platform& platform, const std::string& destination,
                         const InstallationSurvey& survey, const std::vector<std::string>& written);

// What the existing folder `destination` holds where the copy of `source`, walked as `survey`,
// writes, and, when `shared`, whether a file there or at the files the program writes
// (`written`, relative paths) is one of the installation's. Only entries that are links are
// opened; the rest is learnt from the listings.
DestinationSurvey SurveyDestination(Platform& platform, const std::string& source,
                                    const InstallationSurvey& survey,
                                    const std::string& destination,
                                    const std::vector<std::string>& written, bool shared = true);

// Whether `path` is an existing folder.
bool IsFolder(Platform& platform, const std::string& path);

// The nearest existing folder of `path`: the path itself or its closest existing parent.
bool NearestExistingFolder(Platform& platform, const std::string& path, std::string& folder);

// Whether the copy fits on the volume of `existing`, the destination's nearest existing
// folder, besides what the destination already holds (`there`). True when that cannot be told.
bool CopyFits(Platform& platform, const std::string& existing, const InstallationSurvey& survey,
              const DestinationSurvey& there);

}  // namespace tessaloom
