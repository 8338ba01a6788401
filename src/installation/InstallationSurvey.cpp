#include "installation/InstallationSurvey.h"

#include <algorithm>
#include <cstdio>
#include <utility>

#include "paths/Paths.h"

namespace tessaloom {

namespace {

// The key of the folder at `path`, or its path's when it has no identity.
std::string KeyOf(Platform& platform, const std::string& path, FileId& id) {
    if (!platform.IdentifyFile(path, id)) id = FileId{};
    if (!id.Known() && id.finalPath.empty()) id.finalPath = WithoutFinalSeparator(path);
    return IdentityKey(platform, id);
}

// Walks `folder`, whose identity is `known` when its parent's listing gave it.
void Walk(Platform& platform, const std::string& folder, const std::string& relative, bool checked,
          const FileId* known, std::vector<std::string>& ancestors, InstallationSurvey& survey) {
    std::vector<FolderEntry> entries;
    std::string error;
    if (!platform.ListFolder(folder, entries, error)) {
        survey.fault = InstallationSurvey::Fault::kUnreadable;
        survey.unreadable = folder;
        survey.reason = error;
        return;
    }
    FileId id;
    if (known != nullptr) id = *known;
    const std::string key =
        known != nullptr ? IdentityKey(platform, id) : KeyOf(platform, folder, id);
    if (std::find(ancestors.begin(), ancestors.end(), key) != ancestors.end()) {
        survey.fault = InstallationSurvey::Fault::kLoop;
        return;
    }
    survey.identities.insert(key);
    const std::size_t index = survey.folders.size();
    survey.folders.push_back({relative, std::move(entries), checked, std::move(id)});

    ancestors.push_back(key);
    // By index: the walk below adds to the record.
    for (std::size_t i = 0; i < survey.folders[index].entries.size(); ++i) {
        const FolderEntry& entry = survey.folders[index].entries[i];
        const std::string path = relative.empty() ? entry.name : JoinPath(relative, entry.name);
        const std::string where = JoinPath(folder, entry.name);
        const std::size_t length = Utf16Length(path);
        survey.deepest = std::max(survey.deepest, length);
        if (survey.tooLong.empty() && !FitsInPathBuffer(where)) survey.tooLong = where;
        // Where a link leads decides what the copy reads.
        FileId target;
        if (entry.link && (!platform.IdentifyFile(where, target) || !Placeable(target))) {
            survey.fault = InstallationSurvey::Fault::kUnplaceable;
            survey.unplaceable = where;
            break;
        }
        if (!entry.folder) continue;
        survey.deepestFolder = std::max(survey.deepestFolder, length);
        // No copy holds a path this deep: a loop that neither identities nor final paths
        // show ends here.
        if (length >= kMaxPath) continue;
        // A folder that is no link lies on its parent's volume, below its parent's final path.
        const bool listed = !entry.link && HasListedId(entry);
        if (listed) target = ListedId(survey.folders[index].id, entry);
        Walk(platform, where, path, checked && !entry.link,
             listed || entry.link ? &target : nullptr, ancestors, survey);
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
    Walk(platform, source, "", true, nullptr, ancestors, survey);
    return survey;
}

bool Placeable(const FileId& id) { return id.Known() || !id.finalPath.empty(); }

bool HasListedId(const FolderEntry& entry) { return entry.idHigh != 0 || entry.idLow != 0; }

FileId ListedId(const FileId& folder, const FolderEntry& entry) {
    FileId id;
    id.volume = folder.volume;
    id.high = entry.idHigh;
    id.low = entry.idLow;
    id.finalPath =
        folder.finalPath.empty() ? std::string() : JoinPath(folder.finalPath, entry.name);
    id.folder = entry.folder;
    return id;
}

bool ListByName(Platform& platform, const std::string& folder,
                std::map<std::string, FolderEntry>& byName) {
    std::vector<FolderEntry> entries;
    std::string error;
    if (!platform.ListFolder(folder, entries, error)) return false;
    for (FolderEntry& entry : entries) byName[platform.FoldCase(entry.name)] = std::move(entry);
    return true;
}

std::string RelativePath(const SurveyedFolder& folder, const FolderEntry& entry) {
    return folder.path.empty() ? entry.name : JoinPath(folder.path, entry.name);
}

std::string RelativeKey(Platform& platform, const SurveyedFolder& folder,
                        const FolderEntry& entry) {
    return platform.FoldCase(RelativePath(folder, entry));
}

}  // namespace tessaloom
