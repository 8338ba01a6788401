#include "installation/InstallationSurvey.h"

#include <algorithm>
#include <cstdio>

#include "paths/Paths.h"

namespace tessaloom {

namespace {

// The key of the folder at `path`, or its path's when it has no identity.
std::string KeyOf(Platform& platform, const std::string& path, FileId& id) {
    if (!platform.IdentifyFile(path, id)) id = FileId{};
    if (!id.Known() && id.finalPath.empty()) id.finalPath = WithoutFinalSeparator(path);
    return IdentityKey(platform, id);
}

void Walk(Platform& platform, const std::string& folder, const std::string& relative, bool checked,
          std::vector<std::string>& ancestors, InstallationSurvey& survey) {
    std::vector<FolderEntry> entries;
    std::string error;
    if (!platform.ListFolder(folder, entries, error)) {
        survey.fault = InstallationSurvey::Fault::kUnreadable;
        survey.unreadable = folder;
        survey.reason = error;
        return;
    }
    FileId id;
    const std::string key = KeyOf(platform, folder, id);
    if (std::find(ancestors.begin(), ancestors.end(), key) != ancestors.end()) {
        survey.fault = InstallationSurvey::Fault::kLoop;
        return;
    }
    survey.identities.insert(key);
    survey.folders.push_back({relative, entries, checked, id.finalPath});

    ancestors.push_back(key);
    for (const FolderEntry& entry : entries) {
        const std::string path = relative.empty() ? entry.name : JoinPath(relative, entry.name);
        survey.deepest = std::max(survey.deepest, Utf16Length(path));
        if (!entry.folder) continue;
        Walk(platform, JoinPath(folder, entry.name), path, checked && !entry.link, ancestors,
             survey);
        if (survey.fault != InstallationSurvey::Fault::kNone) break;
    }
    ancestors.pop_back();
}

}  // namespace

std::string IdentityKey(Platform& platform, const FileId& id) {
    if (!id.Known()) return "@" + platform.FoldCase(WithoutFinalSeparator(id.finalPath));
    char key[64];
    std::snprintf(
        key, sizeof key, "#%016llx:%016llx:%016llx", static_cast<unsigned long long>(id.volume),
        static_cast<unsigned long long>(id.high), static_cast<unsigned long long>(id.low));
    return key;
}

InstallationSurvey SurveyInstallation(Platform& platform, const std::string& source) {
    InstallationSurvey survey;
    std::vector<std::string> ancestors;
    Walk(platform, source, "", true, ancestors, survey);
    return survey;
}

std::uint64_t SizeOnVolume(const InstallationSurvey& survey, std::uint64_t cluster) {
    std::uint64_t total = 0;
    for (const SurveyedFolder& folder : survey.folders) {
        for (const FolderEntry& entry : folder.entries) {
            if (entry.folder) continue;
            total += cluster > 1 ? (entry.size + cluster - 1) / cluster * cluster : entry.size;
        }
    }
    return total;
}

bool ReachesInstallation(Platform& platform, const std::string& destination,
                         const InstallationSurvey& survey,
                         const std::vector<std::string>& written) {
    const auto isInstallation = [&](const std::string& path, FileId& id) {
        return platform.IdentifyFile(path, id) &&
               survey.identities.count(IdentityKey(platform, id)) != 0;
    };
    FileId id;
    for (std::string folder = destination;;) {
        if (isInstallation(folder, id)) return true;
        if (!ParentFolder(folder, folder)) break;
    }

    FileId target;
    if (!platform.IdentifyFile(destination, target)) return false;
    // An existing destination: what the copy writes into may lead back into the installation.
    for (const SurveyedFolder& folder : survey.folders) {
        if (!folder.path.empty() && isInstallation(JoinPath(destination, folder.path), id)) {
            return true;
        }
    }
    for (const std::string& path : written) {
        if (isInstallation(JoinPath(destination, path), id)) return true;
    }
    // And the installation may lead into the destination, which the copy then reads while
    // it writes there.
    if (target.finalPath.empty()) return false;
    const std::string inside = platform.FoldCase(target.finalPath);
    for (const SurveyedFolder& folder : survey.folders) {
        if (!folder.finalPath.empty() &&
            IsSameOrInside(platform.FoldCase(folder.finalPath), inside)) {
            return true;
        }
    }
    return false;
}

bool NearestExistingFolder(Platform& platform, const std::string& path, std::string& folder) {
    folder = path;
    for (;;) {
        FileId id;
        if (platform.IdentifyFile(folder, id)) return true;
        if (!ParentFolder(folder, folder)) return false;
    }
}

bool CopyFits(Platform& platform, const std::string& destination, const std::string& existing,
              const InstallationSurvey& survey) {
    VolumeSpace space;
    // An existing destination is merged: what it still needs is not known.
    if (WithoutFinalSeparator(existing) == WithoutFinalSeparator(destination) ||
        !platform.QueryVolumeSpace(existing, space)) {
        return true;
    }
    return space.free >= SizeOnVolume(survey, space.cluster);
}

}  // namespace tessaloom
