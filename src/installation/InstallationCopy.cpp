#include "installation/InstallationCopy.h"

#include <vector>

#include "installation/Destination.h"
#include "paths/Paths.h"

namespace tessaloom {

namespace {

constexpr int kCopyCannotCreate = 3;  // the destination folder could not be made

// Creates `folder` and the folders above it that are missing.
bool CreateFolders(Platform& platform, const std::string& folder) {
    std::vector<std::string> missing;
    for (std::string path = folder; !IsFolder(platform, path);) {
        missing.push_back(path);
        if (!ParentFolder(path, path)) break;
    }
    std::string error;
    for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
        if (!platform.CreateFolder(*it, error)) return false;
    }
    return true;
}

}  // namespace

bool CopyIsComplete(Platform& platform, const InstallationSurvey& survey,
                    const std::string& destination,
                    const std::map<std::string, std::uint64_t>& kept) {
    for (const SurveyedFolder& folder : survey.folders) {
        if (!folder.checked) continue;
        std::map<std::string, FolderEntry> copied;
        if (!ListByName(platform, JoinPath(destination, folder.path), copied)) return false;
        for (const FolderEntry& entry : folder.entries) {
            const auto match = copied.find(platform.FoldCase(entry.name));
            if (match == copied.end() || match->second.folder != entry.folder) return false;
            if (entry.folder || match->second.size == entry.size) continue;
            // A file the user kept in the shell's prompts, as it was.
            const auto before = kept.find(RelativeKey(platform, folder, entry));
            if (before == kept.end() || before->second != match->second.size) return false;
        }
    }
    return true;
}

bool CopiesEntries(const std::string& source, bool merge) {
    std::string parent;
    return merge || !ParentFolder(source, parent);
}

CopyResult CopyInstallation(Platform& platform, Handle owner, const std::string& source,
                            const std::string& destination, const InstallationSurvey& survey) {
    CopyResult result;
    // A final separator would make Wine's shell nest the copy in a folder of its own.
    const std::string target = WithoutFinalSeparator(destination);
    // A missing destination is created as the copy of the folder. An existing one receives
    // the folder's entries ("source\*", hidden ones included); handing it the folder itself
    // would nest the copy inside it. A drive's root is always handed as its entries, into a
    // destination made first.
    const bool merge = IsFolder(platform, target);
    const bool entries = CopiesEntries(source, merge);
    const std::string from = entries ? JoinPath(source, "*") : WithoutFinalSeparator(source);
    if (from.empty() || target.empty() || !FitsInShellList(from) || !FitsInShellList(target)) {
        result.code = kCopyPathTooLong;
        return result;
    }
    // Files already there may be kept at the user's word in the shell's prompts, as they are
    // now.
    const std::map<std::string, std::uint64_t> kept =
        merge ? FileSizes(SurveyExistingCopy(platform, survey, target, {}))
              : std::map<std::string, std::uint64_t>();
    if (entries && !merge && !CreateFolders(platform, target)) {
        result.code = kCopyCannotCreate;
        return result;
    }

    result = platform.ShellCopy(owner, from, target);
    // The shell can report success after copying nothing or only part (read-only or full
    // target, a source file locked): check what it really copied.
    if (result.code == 0 && !result.aborted && !CopyIsComplete(platform, survey, target, kept)) {
        result.code = kCopyIncomplete;
    }
    return result;
}

}  // namespace tessaloom
