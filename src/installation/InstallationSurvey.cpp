#include "installation/InstallationSurvey.h"

#include <algorithm>
#include <vector>

#include "paths/Paths.h"

namespace tessaloom {

namespace {

void Walk(Platform& platform, const std::string& folder, std::vector<FileId>& ancestors,
          InstallationSurvey& survey) {
    FileId id;
    if (!platform.IdentifyFile(folder, id)) return;
    if (std::find(ancestors.begin(), ancestors.end(), id) != ancestors.end()) {
        survey.loops = true;
        return;
    }
    survey.folders.insert(id);
    std::vector<FolderEntry> entries;
    if (!platform.ListFolder(folder, entries)) return;
    ancestors.push_back(id);
    for (const FolderEntry& entry : entries) {
        if (entry.folder) {
            Walk(platform, JoinPath(folder, entry.name), ancestors, survey);
            if (survey.loops) break;
        } else {
            survey.bytes += entry.size;
        }
    }
    ancestors.pop_back();
}

}  // namespace

InstallationSurvey SurveyInstallation(Platform& platform, const std::string& source) {
    InstallationSurvey survey;
    std::vector<FileId> ancestors;
    Walk(platform, source, ancestors, survey);
    return survey;
}

bool ReachesSurveyedFolder(Platform& platform, const std::string& path,
                           const InstallationSurvey& survey) {
    std::string folder = path;
    for (;;) {
        FileId id;
        if (platform.IdentifyFile(folder, id) && survey.folders.count(id) != 0) return true;
        if (!ParentFolder(folder, folder)) return false;
    }
}

bool NearestExistingFolder(Platform& platform, const std::string& path, std::string& folder) {
    folder = path;
    for (;;) {
        FileId id;
        if (platform.IdentifyFile(folder, id)) return true;
        if (!ParentFolder(folder, folder)) return false;
    }
}

bool CopyFits(Platform& platform, const std::string& destination,
              const InstallationSurvey& survey) {
    std::string existing;
    std::uint64_t free = 0;
    // An existing destination is merged: what it still needs is not known.
    if (!NearestExistingFolder(platform, destination, existing) || existing == destination ||
        !platform.FreeSpace(existing, free)) {
        return true;
    }
    return free >= survey.bytes;
}

}  // namespace tessaloom
