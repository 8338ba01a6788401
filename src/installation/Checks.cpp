#include "installation/Checks.h"

#include <algorithm>
#include <map>
#include <optional>
#include <utility>

#include "installation/Destination.h"
#include "installation/InstallationCopy.h"
#include "paths/Paths.h"

namespace tessaloom {

namespace {

const char kPathTooLong[] = "The destination path is too long.";
const char kInsideSource[] = "The destination folder must not be inside the Quorvane folder.";
const char kCannotPlace[] = "The system cannot tell where this link leads:\n";

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

// A notice naming `path` after `text` (on the same line), the path broken into lines that fit.
std::string Naming(const std::string& text, const std::string& path, const char* after = "") {
    const std::size_t line = text.rfind('\n');
    return text +
           WrapPath(path, Utf16Length(line == std::string::npos ? text : text.substr(line + 1))) +
           after;
}

Refusal CannotWrite(const std::string& folder, const std::string& reason) {
    return {CannotWriteText(WithoutFinalSeparator(folder), reason), kMbOk | kMbIconExclamation};
}

}  // namespace

std::string CannotWriteText(const std::string& path, const std::string& reason) {
    return Naming("Cannot write ", path, ".\n") + reason;
}

Refusal ProbeNewFolder(Platform& platform, const std::string& parent) {
    std::string probe, error;
    for (int attempt = 0;; ++attempt) {
        if (attempt == 100) return CannotWrite(parent, "Too many test folders are in the way.");
        probe = JoinPath(
            parent, "~tessaloom-probe" + (attempt == 0 ? std::string() : std::to_string(attempt)));
        FileId taken;
        if (platform.IdentifyFile(probe, taken)) continue;
        if (platform.CreateFolder(probe, error)) break;
        if (!platform.IdentifyFile(probe, taken)) return CannotWrite(parent, error);
    }
    std::string fileError, removeError;
    const bool files = platform.CanCreateFileIn(probe, fileError);
    // Never left behind unnamed.
    std::string left;
    if (!platform.RemoveFolder(probe, removeError)) {
        left = Naming("Cannot remove the test folder ", probe, ".\n") + removeError;
    }
    if (!files) {
        Refusal refusal = CannotWrite(parent, fileError);
        if (!left.empty()) refusal.text += "\n" + left;
        return refusal;
    }
    if (!left.empty()) return {left, kMbOk | kMbIconExclamation};
    return {};
}

namespace {

// Whether the copy and the program's own writes may go where they go: a missing destination
// is created in its nearest existing folder (`existing`); files go into an existing
// destination and its existing folders that receive a file of `written`.
Refusal CheckRights(Platform& platform, const std::string& destination, const std::string& existing,
                    bool exists, const std::vector<std::string>& written) {
    if (!exists) return ProbeNewFolder(platform, existing);
    std::string error;
    if (!platform.CanCreateFileIn(existing, error)) return CannotWrite(existing, error);
    for (const std::string& folder : FoldersOf(written, false)) {
        const std::string path = JoinPath(destination, folder);
        if (IsFolder(platform, path) && !platform.CanCreateFileIn(path, error)) {
            return CannotWrite(path, error);
        }
    }
    return {};
}

// A link on the destination's path (the destination itself or a folder above it) that the
// system cannot place, from `found`, the nearest of them that exists, up; empty when none.
std::string UnplaceableOnTheWay(Platform& platform, const std::string& found) {
    for (std::string path = found;;) {
        std::string parent, name;
        SplitPath(path, parent, name);
        if (parent.empty()) return std::string();
        FileId id;
        std::map<std::string, FolderEntry> entries;
        // Only a link can lead elsewhere: its parent's listing tells.
        if (platform.IdentifyFile(path, id) && !Placeable(id) &&
            ListByName(platform, parent, entries)) {
            const auto entry = entries.find(platform.FoldCase(name));
            if (entry != entries.end() && entry->second.link) return path;
        }
        path = parent;
    }
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
//  3. no file stands at the destination or a folder above it, and no link there that the
//     system cannot place;
//  4. the walk of the installation: no link that loops or that cannot be placed, every folder
//     readable;
//  5. an existing destination is surveyed; every path of the copy fits, and every folder it
//     creates can be created;
//  6. the shell can read every file of the installation where it lies, and take the
//     installation's entries ("source\*") where it is handed them;
//  7. writing at the destination cannot reach the installation, through a shared file or
//     through links and identities;
//  8. nothing the copy or the program writes in an existing destination is a link or a file
//     of other names, nor is a folder on the way there;
//  9. the copy and the program may write where they write;
// 10. the copy fits on the destination's volume.
CopyCheck CheckBeforeCopy(Platform& platform, const std::string& source,
                          const std::string& destination, const std::vector<std::string>& written) {
    CopyCheck check;
    const auto refuse = [&check](Refusal refusal) {
        check.refusal = std::move(refusal);
        return check;
    };
    const auto notice = [&refuse](std::string text) { return refuse({std::move(text)}); };
    // 1, 2.
    if (!DestinationFits(destination, Deepest(written))) return notice(kPathTooLong);
    if (IsSameOrInside(platform.FoldCase(destination), platform.FoldCase(source))) {
        return notice(kInsideSource);
    }
    // 3. The destination's own folders are the user's choice and are followed, where the
    // system can say where they lead.
    std::string existing;
    FileId existingId;
    const bool anything = NearestExisting(platform, destination, existing, existingId);
    if (anything && !existingId.folder) {
        return notice(Naming("A file is in the way of the destination folder:\n", existing));
    }
    const std::string unplaceable = anything ? UnplaceableOnTheWay(platform, existing) : "";
    if (!unplaceable.empty()) return notice(Naming(kCannotPlace, unplaceable));
    // 4. Links decide what the copy really walks and where it really writes.
    check.survey = SurveyInstallation(platform, source);
    const InstallationSurvey& survey = check.survey;
    switch (survey.fault) {
        case InstallationSurvey::Fault::kLoop:
            return notice("The Quorvane folder contains a link that loops back into itself.");
        case InstallationSurvey::Fault::kUnreadable:
            return refuse({Naming("Cannot read ", survey.unreadable, ".\n") + survey.reason,
                           kMbOk | kMbIconExclamation});
        case InstallationSurvey::Fault::kUnplaceable:
            return notice(Naming(kCannotPlace, survey.unplaceable));
        case InstallationSurvey::Fault::kNone:
            break;
    }
    // 5.
    const bool exists = anything && WithoutFinalSeparator(destination) == existing;
    std::optional<ExistingCopy> there;
    if (exists) there = SurveyExistingCopy(platform, survey, destination, written);
    const ExistingCopy* existingCopy = there ? &*there : nullptr;
    if (!CopyPathsFit(platform, destination, survey, written, existingCopy)) {
        return notice(kPathTooLong);
    }
    // 6.
    if (!survey.tooLong.empty()) {
        return notice(
            Naming("The Quorvane folder holds a path too long to copy:\n", survey.tooLong));
    }
    if (CopiesEntries(source, exists) && !FitsInShellList(JoinPath(source, "*"))) {
        return notice(kPathTooLong);
    }
    // 7.
    if ((there && SharesInstallationFile(platform, source, survey, *there, written)) ||
        ReachesInstallation(platform, destination, survey, FoldersOf(written, true))) {
        return notice(kInsideSource);
    }
    // 8. The shell's copy and the program's own writes go through a link to wherever it leads.
    const std::string link = there ? LinkWhereWritten(platform, survey, *there, written) : "";
    if (!link.empty()) {
        return notice(Naming("The destination folder holds a link where the copy writes:\n",
                             JoinPath(destination, link)));
    }
    // 9. The shell's copy may ask for administrator rights; the program's own writes cannot.
    if (!anything) return check;  // no drive: the copy says so
    const Refusal rights = CheckRights(platform, destination, existing, exists, written);
    if (rights.Refused()) return refuse(rights);
    // 10.
    if (!CopyFits(platform, existing, survey, existingCopy)) {
        return notice("There is not enough free space for the copy.");
    }
    return check;
}

}  // namespace tessaloom
