#include "installation/Checks.h"

#include <algorithm>
#include <optional>

#include "installation/Destination.h"
#include "installation/InstallationCopy.h"
#include "paths/Paths.h"

namespace tessaloom {

namespace {

const char kPathTooLong[] = "The destination path is too long.";
const char kInsideSource[] = "The destination folder must not be inside the Quorvane folder.";

// The folders that hold `written`; with `above`, every folder above them too.
std::vector<std::string> FoldersOf(const std::vector<std::string>& written, bool above) {
    std::vector<std::string> folders;
    for (std::string path : written) {
        while (ParentFolder(path, path)) {
            if (std::find(folders.begin(), folders.end(), path) == folders.end()) {
                folders.push_back(path);
            }
            if (!above) break;
        }
    }
    return folders;
}

// Whether every file of the copy and of `written` fits a path buffer below `destination`,
// and every folder the copy creates there (all of them, unless an existing copy holds them)
// can be created.
bool CopyPathsFit(Platform& platform, const std::string& destination,
                  const InstallationSurvey& survey, const std::vector<std::string>& written,
                  const ExistingCopy* there) {
    if (!DestinationFits(destination, std::max(survey.deepest, Deepest(written)))) return false;
    if (there == nullptr) {
        return FolderFits(destination, 0) && FolderFits(destination, survey.deepestFolder);
    }
    std::size_t deepest = 0;
    for (const SurveyedFolder& folder : survey.folders) {
        for (const FolderEntry& entry : folder.entries) {
            if (!entry.folder || there->foldersThere.count(RelativeKey(platform, folder, entry))) {
                continue;
            }
            deepest = std::max(deepest, Utf16Length(RelativePath(folder, entry)));
        }
    }
    return deepest == 0 || FolderFits(destination, deepest);
}

// Whether the copy and the program's own writes may go where they go, or the first folder
// where they may not (`refused`): the copy creates a missing destination in its nearest
// existing folder (`existing`); files go into an existing destination and its existing
// folders that receive a file of `written`.
bool CanWrite(Platform& platform, const std::string& destination, const std::string& existing,
              bool exists, const std::vector<std::string>& written, std::string& refused,
              std::string& error) {
    refused = existing;
    if (!exists) return platform.CanCreateFolderIn(refused, error);
    if (!platform.CanCreateFileIn(refused, error)) return false;
    for (const std::string& folder : FoldersOf(written, false)) {
        refused = JoinPath(destination, folder);
        if (IsFolder(platform, refused) && !platform.CanCreateFileIn(refused, error)) {
            return false;
        }
    }
    return true;
}

}  // namespace

std::size_t Deepest(const std::vector<std::string>& paths) {
    std::size_t deepest = 0;
    for (const std::string& path : paths) deepest = std::max(deepest, Utf16Length(path));
    return deepest;
}

// In this order, the first that fails refusing:
//  1. the program's files fit below the destination;
//  2. the destination is not, by its name, the installation or inside it;
//  3. the walk of the installation: no link that loops, every folder readable;
//  4. an existing destination is surveyed; every path of the copy fits, and every folder it
//     creates can be created;
//  5. the shell can read every file of the installation where it lies, and take the
//     installation's entries ("source\*") where it is handed them;
//  6. writing at the destination cannot reach the installation, through a shared file or
//     through links and identities;
//  7. the copy and the program may write where they write;
//  8. the copy fits on the destination's volume.
CopyCheck CheckBeforeCopy(Platform& platform, const std::string& source,
                          const std::string& destination, const std::vector<std::string>& written) {
    CopyCheck check;
    const auto refuse = [&check](std::string text, unsigned style = kMbOk | kMbIconError) {
        check.refusal = {std::move(text), style};
        return check;
    };
    // 1, 2.
    if (!DestinationFits(destination, Deepest(written))) return refuse(kPathTooLong);
    if (IsSameOrInside(platform.FoldCase(destination), platform.FoldCase(source))) {
        return refuse(kInsideSource);
    }
    // 3. Links decide what the copy really walks and where it really writes.
    check.survey = SurveyInstallation(platform, source);
    const InstallationSurvey& survey = check.survey;
    if (survey.fault == InstallationSurvey::Fault::kLoop) {
        return refuse("The Quorvane folder contains a link that loops back into itself.");
    }
    if (survey.fault == InstallationSurvey::Fault::kUnreadable) {
        return refuse("Cannot read " + survey.unreadable + ".\n" + survey.reason,
                      kMbOk | kMbIconExclamation);
    }
    // 4.
    std::optional<ExistingCopy> there;
    if (IsFolder(platform, destination)) {
        there = SurveyExistingCopy(platform, survey, destination, written);
    }
    const ExistingCopy* existingCopy = there ? &*there : nullptr;
    if (!CopyPathsFit(platform, destination, survey, written, existingCopy)) {
        return refuse(kPathTooLong);
    }
    // 5.
    if (!survey.tooLong.empty()) {
        return refuse("The Quorvane folder holds a path too long to copy:\n" + survey.tooLong);
    }
    if (CopiesEntries(source, there.has_value()) && !FitsInShellList(JoinPath(source, "*"))) {
        return refuse(kPathTooLong);
    }
    // 6.
    if ((there && SharesInstallationFile(platform, source, survey, *there, written)) ||
        ReachesInstallation(platform, destination, survey, FoldersOf(written, true))) {
        return refuse(kInsideSource);
    }
    // 7. The shell's copy may ask for administrator rights; the program's own writes cannot.
    std::string existing, refused, error;
    if (!NearestExistingFolder(platform, destination, existing)) return check;  // the copy's
    if (!CanWrite(platform, destination, existing, there.has_value(), written, refused, error)) {
        return refuse("Cannot write " + WithoutFinalSeparator(refused) + ".\n" + error,
                      kMbOk | kMbIconExclamation);
    }
    // 8.
    if (!CopyFits(platform, existing, survey, existingCopy)) {
        return refuse("There is not enough free space for the copy.");
    }
    return check;
}

}  // namespace tessaloom
