#include "installation/InstallationCopy.h"

#include <map>
#include <vector>

#include "paths/Paths.h"

namespace tessaloom {

namespace {

// The entries of `folder` by folded name; false when it cannot be listed.
bool ListByName(Platform& platform, const std::string& folder,
                std::map<std::string, FolderEntry>& byName) {
    std::vector<FolderEntry> entries;
    std::string error;
    if (!platform.ListFolder(folder, entries, error)) return false;
    for (FolderEntry& entry : entries) byName[platform.FoldCase(entry.name)] = std::move(entry);
    return true;
}

std::string RelativeKey(Platform& platform, const SurveyedFolder& folder,
                        const FolderEntry& entry) {
    return platform.FoldCase(folder.path.empty() ? entry.name : JoinPath(folder.path, entry.name));
}

}  // namespace

std::set<std::string> ExistingFiles(Platform& platform, const InstallationSurvey& survey,
                                    const std::string& destination) {
    std::set<std::string> found;
    for (const SurveyedFolder& folder : survey.folders) {
        std::map<std::string, FolderEntry> there;
        if (!folder.checked || !ListByName(platform, JoinPath(destination, folder.path), there)) {
            continue;
        }
        for (const FolderEntry& entry : folder.entries) {
            const auto match = there.find(platform.FoldCase(entry.name));
            if (!entry.folder && match != there.end() && !match->second.folder) {
                found.insert(RelativeKey(platform, folder, entry));
            }
        }
    }
    return found;
}

bool CopyIsComplete(Platform& platform, const InstallationSurvey& survey,
                    const std::string& destination, const std::set<std::string>& kept) {
    for (const SurveyedFolder& folder : survey.folders) {
        if (!folder.checked) continue;
        std::map<std::string, FolderEntry> copied;
        if (!ListByName(platform, JoinPath(destination, folder.path), copied)) return false;
        for (const FolderEntry& entry : folder.entries) {
            const auto match = copied.find(platform.FoldCase(entry.name));
            if (match == copied.end() || match->second.folder != entry.folder) return false;
            if (!entry.folder && match->second.size != entry.size &&
                kept.count(RelativeKey(platform, folder, entry)) == 0) {
                return false;
            }
        }
    }
    return true;
}

CopyResult CopyInstallation(Platform& platform, Handle owner, const std::string& source,
                            const std::string& destination, const InstallationSurvey& survey) {
    CopyResult result;
    // A final separator would make Wine's shell nest the copy in a folder of its own.
    const std::string target = WithoutFinalSeparator(destination);
    // A missing destination is created as the copy of the folder. An existing one receives
    // the folder's entries ("source\*", hidden ones included); handing it the folder itself
    // would nest the copy inside it.
    FileId existing;
    const bool merge = platform.IdentifyFile(target, existing) && existing.folder;
    const std::string from = merge ? JoinPath(source, "*") : source;
    if (from.empty() || target.empty() || !FitsInShellList(from) || !FitsInShellList(target)) {
        result.code = kCopyPathTooLong;
        return result;
    }
    // Files already there may be kept at the user's word in the shell's prompts.
    const std::set<std::string> kept =
        merge ? ExistingFiles(platform, survey, target) : std::set<std::string>();

    result = platform.ShellCopy(owner, from, target);
    // The shell can report success after copying nothing or only part (read-only or full
    // target, a source file locked): check what it really copied.
    if (result.code == 0 && !result.aborted && !CopyIsComplete(platform, survey, target, kept)) {
        result.code = kCopyIncomplete;
    }
    return result;
}

}  // namespace tessaloom
