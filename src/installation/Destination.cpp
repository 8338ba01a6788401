#include "installation/Destination.h"

#include <algorithm>

#include "paths/Paths.h"

namespace tessaloom {

namespace {

std::uint64_t OnVolume(std::uint64_t size, std::uint64_t cluster) {
    return cluster > 1 ? (size + cluster - 1) / cluster * cluster : size;
}

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
                if (!entry.link) id = ListedId(folder.id, entry);
                if (id.Known()) m_identities.insert(IdentityKey(platform, id));
            }
        }
    }

    // Whether the entry `entry` of the folder `folder` (whose identity is `folderId`) is, or
    // leads to, one of the installation's files.
    bool Holds(const std::string& folder, const FileId& folderId, const FolderEntry& entry) const {
        FileId id;
        if (!entry.link) {
            id = ListedId(folderId, entry);
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
    Platform& m_platform;
    std::set<std::string> m_identities;
    std::vector<std::string> m_folders;
};

}  // namespace

std::string LinkWhereWritten(Platform& platform, const InstallationSurvey& survey,
                             const ExistingCopy& copy, const std::vector<std::string>& written) {
    // The folders on the way: the installation's, and those above the program's files.
    std::vector<std::string> folders;
    for (const SurveyedFolder& folder : survey.folders) folders.push_back(folder.path);
    for (std::string path : written) {
        while (ParentFolder(path, path)) folders.push_back(path);
    }
    for (const std::string& folder : folders) {
        const FolderEntry* entry = folder.empty() ? nullptr : EntryAt(platform, copy, folder);
        if (entry != nullptr && entry->link) return folder;
    }
    // The files: links the listings show, then, all asked at once, what they do not (names the
    // files have; on Wine links to files, and links to nothing at the program's files).
    std::vector<std::string> asked;  // relative paths
    for (const SurveyedFolder& folder : survey.folders) {
        for (const FolderEntry& entry : folder.entries) {
            if (entry.folder) continue;
            const auto there = copy.files.find(RelativeKey(platform, folder, entry));
            if (there == copy.files.end()) continue;
            if (there->second.link) return RelativePath(folder, entry);
            asked.push_back(RelativePath(folder, there->second));
        }
    }
    for (const std::string& path : written) {
        std::string folder, name;
        SplitPath(path, folder, name);
        const auto listed = copy.folders.find(platform.FoldCase(folder));
        if (listed == copy.folders.end() || !listed->second.listed) continue;  // made anew
        if (copy.files.count(platform.FoldCase(path)) != 0) continue;          // asked above
        const FolderEntry* entry = EntryAt(platform, copy, path);
        if (entry != nullptr && entry->link) return path;
        if (entry == nullptr || !entry->folder) asked.push_back(path);
    }
    std::vector<std::string> paths;
    for (const std::string& path : asked) paths.push_back(JoinPath(copy.path, path));
    const std::vector<NameFacts> facts = platform.InspectNames(paths);
    for (std::size_t i = 0; i < facts.size() && i < asked.size(); ++i) {
        if (facts[i].link || facts[i].names > 1) return asked[i];
    }
    return std::string();
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
        if (!folder.id.finalPath.empty() &&
            IsSameOrInside(platform.FoldCase(folder.id.finalPath), inside)) {
            return true;
        }
    }
    return false;
}

ExistingCopy SurveyExistingCopy(Platform& platform, const InstallationSurvey& survey,
                                const std::string& destination,
                                const std::vector<std::string>& written) {
    ExistingCopy copy;
    copy.path = destination;
    const auto list = [&](const std::string& relative) -> ListedFolder& {
        ListedFolder& folder = copy.folders[platform.FoldCase(relative)];
        if (!folder.listed) {
            folder.listed = ListByName(platform, JoinPath(destination, relative), folder.entries);
        }
        return folder;
    };
    for (const SurveyedFolder& folder : survey.folders) {
        const ListedFolder& there = list(folder.path);
        for (const FolderEntry& entry : folder.entries) {
            const auto match = there.entries.find(platform.FoldCase(entry.name));
            if (match == there.entries.end() || match->second.folder != entry.folder) continue;
            const std::string key = RelativeKey(platform, folder, entry);
            if (entry.folder) {
                copy.foldersThere.insert(key);
            } else {
                copy.files[key] = match->second;
            }
        }
    }
    // Every folder on the way to the program's files.
    for (const std::string& path : written) {
        std::string folder = path;
        while (ParentFolder(folder, folder)) list(folder);
        list("");
    }
    return copy;
}

const FolderEntry* EntryAt(Platform& platform, const ExistingCopy& copy, const std::string& path) {
    std::string folder, name;
    SplitPath(path, folder, name);
    const auto listed = copy.folders.find(platform.FoldCase(folder));
    if (listed == copy.folders.end()) return nullptr;
    const auto entry = listed->second.entries.find(platform.FoldCase(name));
    return entry != listed->second.entries.end() ? &entry->second : nullptr;
}

std::map<std::string, std::uint64_t> FileSizes(const ExistingCopy& copy) {
    std::map<std::string, std::uint64_t> sizes;
    for (const auto& [key, entry] : copy.files) sizes[key] = entry.size;
    return sizes;
}

bool SharesInstallationFile(Platform& platform, const std::string& source,
                            const InstallationSurvey& survey, const ExistingCopy& copy,
                            const std::vector<std::string>& written) {
    const InstallationFiles installation(platform, source, survey);
    // The identities of the copy's folders place their entries' file IDs on a volume.
    std::map<std::string, FileId> identities;
    const auto holds = [&](const std::string& relative, const FolderEntry& entry) {
        const std::string folder = JoinPath(copy.path, relative);
        const std::string key = platform.FoldCase(relative);
        auto identity = identities.find(key);
        if (identity == identities.end()) {
            identity = identities.emplace(key, FileId{}).first;
            if (!platform.IdentifyFile(folder, identity->second)) identity->second = FileId{};
        }
        return installation.Holds(folder, identity->second, entry);
    };
    for (const SurveyedFolder& folder : survey.folders) {
        for (const FolderEntry& entry : folder.entries) {
            if (entry.folder) continue;
            const auto there = copy.files.find(RelativeKey(platform, folder, entry));
            if (there != copy.files.end() && holds(folder.path, there->second)) return true;
        }
    }
    for (const std::string& path : written) {
        if (copy.files.count(platform.FoldCase(path)) != 0) continue;  // checked above
        const FolderEntry* entry = EntryAt(platform, copy, path);
        std::string folder, name;
        SplitPath(path, folder, name);
        if (entry != nullptr && !entry->folder && holds(folder, *entry)) return true;
    }
    return false;
}

bool IsFolder(Platform& platform, const std::string& path) {
    FileId id;
    return platform.IdentifyFile(path, id) && id.folder;
}

bool NearestExisting(Platform& platform, const std::string& path, std::string& found, FileId& id) {
    found = WithoutFinalSeparator(path);
    for (;;) {
        if (platform.IdentifyFile(found, id)) return true;
        if (!ParentFolder(found, found)) return false;
    }
}

std::uint64_t SpaceNeeded(Platform& platform, const InstallationSurvey& survey,
                          std::uint64_t cluster, const ExistingCopy* there) {
    std::uint64_t total = 0;
    for (const SurveyedFolder& folder : survey.folders) {
        for (const FolderEntry& entry : folder.entries) {
            if (entry.folder) continue;
            std::uint64_t need = OnVolume(entry.size, cluster);
            if (there != nullptr) {
                const auto found = there->files.find(RelativeKey(platform, folder, entry));
                if (found != there->files.end()) {
                    // What the file there occupies, which a compressed, sparse or online-only
                    // one does not in full; its whole clusters where the listing does not say.
                    const FolderEntry& file = found->second;
                    const std::uint64_t have = file.allocated != kUnknownAllocation
                                                   ? file.allocated
                                                   : OnVolume(file.size, cluster);
                    need -= std::min(need, have);
                }
            }
            total += need;
        }
    }
    return total;
}

bool CopyFits(Platform& platform, const std::string& existing, const InstallationSurvey& survey,
              const ExistingCopy* there) {
    VolumeSpace space;
    if (!platform.QueryVolumeSpace(existing, space)) return true;
    return space.free >= SpaceNeeded(platform, survey, space.cluster, there);
}

}  // namespace tessaloom
