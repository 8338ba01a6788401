#include "installation/Destination.h"

#include <algorithm>
#include <optional>

#include "paths/Paths.h"

namespace tessaloom {

namespace {

// The installation's files as the file system knows them: identities where it gives them,
// and the final paths of its folders for links that lead to files without one.
class InstallationFiles {
public:
    InstallationFiles(Platform& platform, const std::string& source,
                      const InstallationSurvey& survey)
        : m_platform(platform) {
        for (const SurveyedFolder& folder : survey.folders) {
            if (!folder.id.finalPath.empty()) {
                m_folders.push_back(platform.FoldCase(folder.id.finalPath));
            }
            for (const FolderEntry& entry : folder.entries) {
                if (entry.folder) continue;
                FileId id;
                // The copy reads what a link leads to.
                if (entry.link && !platform.IdentifyFile(
                                      JoinPath(JoinPath(source, folder.path), entry.name), id)) {
                    continue;
                }
                if (!entry.link) id = Listed(folder.id, entry);
                if (id.Known()) m_identities.insert(IdentityKey(platform, id));
            }
        }
    }

    // Whether the entry `entry` of the folder `folder` (whose identity is `folderId`) is, or
    // leads to, one of the installation's files.
    bool Holds(const std::string& folder, const FileId& folderId, const FolderEntry& entry) const {
        FileId id;
        if (!entry.link) {
            id = Listed(folderId, entry);
        } else if (!m_platform.IdentifyFile(JoinPath(folder, entry.name), id)) {
            return false;
        }
        if (id.Known()) return m_identities.count(IdentityKey(m_platform, id)) != 0;
        if (!entry.link || id.finalPath.empty()) return false;
        const std::string final = m_platform.FoldCase(id.finalPath);
        return std::any_of(m_folders.begin(), m_folders.end(), [&](const std::string& inside) {
            return IsSameOrInside(final, inside);
        });
    }

private:
    static FileId Listed(const FileId& folder, const FolderEntry& entry) {
        FileId id;
        id.volume = folder.volume;
        id.high = entry.idHigh;
        id.low = entry.idLow;
        return id;
    }

    Platform& m_platform;
    std::set<std::string> m_identities;
    std::vector<std::string> m_folders;
};

// A folder of the destination, listed by folded name, with its identity.
struct ListedFolder {
    bool listed = false;
    std::map<std::string, FolderEntry> entries;
    FileId id;
};

}  // namespace

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
        if (!folder.id.finalPath.empty() &&
            IsSameOrInside(platform.FoldCase(folder.id.finalPath), inside)) {
            return true;
        }
    }
    return false;
}

DestinationSurvey SurveyDestination(Platform& platform, const std::string& source,
                                    const InstallationSurvey& survey,
                                    const std::string& destination,
                                    const std::vector<std::string>& written, bool shared) {
    DestinationSurvey there;
    std::optional<InstallationFiles> installation;
    if (shared) installation.emplace(platform, source, survey);
    std::map<std::string, ListedFolder> listed;  // by folded relative path
    const auto list = [&](const std::string& relative) -> ListedFolder& {
        ListedFolder& folder = listed[platform.FoldCase(relative)];
        if (!folder.listed) {
            folder.listed = true;
            const std::string path = JoinPath(destination, relative);
            // Its identity places its entries' file IDs on a volume.
            if (ListByName(platform, path, folder.entries) && installation) {
                platform.IdentifyFile(path, folder.id);
            }
        }
        return folder;
    };
    const auto check = [&](const std::string& relative, ListedFolder& folder,
                           const FolderEntry& entry) {
        if (installation &&
            installation->Holds(JoinPath(destination, relative), folder.id, entry)) {
            there.sharesInstallationFile = true;
        }
    };

    for (const SurveyedFolder& folder : survey.folders) {
        ListedFolder& copy = list(folder.path);
        for (const FolderEntry& entry : folder.entries) {
            const auto match = copy.entries.find(platform.FoldCase(entry.name));
            if (match == copy.entries.end() || match->second.folder != entry.folder) continue;
            const std::string key = RelativeKey(platform, folder, entry);
            if (entry.folder) {
                there.folders.insert(key);
                continue;
            }
            there.files[key] = match->second.size;
            check(folder.path, copy, match->second);
            if (there.sharesInstallationFile) return there;
        }
    }
    for (const std::string& path : written) {
        if (there.files.count(platform.FoldCase(path)) != 0) continue;  // checked above
        std::string relative;
        if (!ParentFolder(path, relative)) relative.clear();
        ListedFolder& folder = list(relative);
        const std::string name = relative.empty() ? path : path.substr(relative.size() + 1);
        const auto match = folder.entries.find(platform.FoldCase(name));
        if (match == folder.entries.end() || match->second.folder) continue;
        check(relative, folder, match->second);
        if (there.sharesInstallationFile) return there;
    }
    return there;
}

bool IsFolder(Platform& platform, const std::string& path) {
    FileId id;
    return platform.IdentifyFile(path, id) && id.folder;
}

bool NearestExistingFolder(Platform& platform, const std::string& path, std::string& folder) {
    folder = path;
    for (;;) {
        FileId id;
        if (platform.IdentifyFile(folder, id)) return true;
        if (!ParentFolder(folder, folder)) return false;
    }
}

bool CopyFits(Platform& platform, const std::string& existing, const InstallationSurvey& survey,
              const DestinationSurvey& there) {
    VolumeSpace space;
    if (!platform.QueryVolumeSpace(existing, space)) return true;
    return space.free >= SpaceNeeded(survey, space.cluster, platform, there.files);
}

}  // namespace tessaloom
