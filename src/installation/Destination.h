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

// A folder of an existing destination as listed.
struct ListedFolder {
    bool listed = false;                         // false: missing, or it cannot be listed
    std::map<std::string, FolderEntry> entries;  // by folded name
};

// What an existing destination holds at the places the copy and the program write, each of
// its folders there listed once.
struct ExistingCopy {
    std::string path;  // the destination
    // Its folders that the copy writes into and that hold the files the program writes, by
    // folded relative path ("" for the destination itself).
    std::map<std::string, ListedFolder> folders;
    // Files there at the places of the installation's files, by folded relative path.
    std::map<std::string, FolderEntry> files;
    // Folders there at the places of the installation's folders (folded relative paths).
    std::set<std::string> foldersThere;
};

// Lists what the existing folder `destination` holds where the copy of the installation
// walked as `survey` writes, and in the folders on the way to the files the program writes
// after it (`written`, relative paths). Only listings: nothing is opened.
ExistingCopy SurveyExistingCopy(Platform& platform, const InstallationSurvey& survey,
                                const std::string& destination,
                                const std::vector<std::string>& written);

// The entry of `copy` at the relative path `path`, when its folder lists one; null otherwise.
const FolderEntry* EntryAt(Platform& platform, const ExistingCopy& copy, const std::string& path);

// The sizes of the files `copy` holds where the copy writes, by folded relative path.
std::map<std::string, std::uint64_t> FileSizes(const ExistingCopy& copy);

// Whether a file of `copy` that the copy of `source` (walked as `survey`) or the program
// (`written`) writes is one of the installation's: a second name of it, or a link to it.
// Writing it would write the installation. Only entries that are links are opened.
bool SharesInstallationFile(Platform& platform, const std::string& source,
                            const InstallationSurvey& survey, const ExistingCopy& copy,
                            const std::vector<std::string>& written);

// The relative path of the first entry of `copy` that the copy of the installation (walked as
// `survey`) or the program (`written`) would write through, or that lies on the way to one: a
// junction, symbolic link or mount point, or a file with other names (a hard link). Empty
// when there is none. Links the listings show cost nothing; each file written there is
// inspected (Platform::InspectNames).
std::string LinkWhereWritten(Platform& platform, const InstallationSurvey& survey,
                             const ExistingCopy& copy, const std::vector<std::string>& written);

// Whether writing at `destination` could reach the installation: the destination or a folder
// above it is one of the installation's; or, for an existing destination, a folder of it that
// the copy writes into (`written`, relative paths, besides the survey's folders) is, or the
// installation reaches the destination or a folder inside it.
bool ReachesInstallation(Platform& platform, const std::string& destination,
                         const InstallationSurvey& survey, const std::vector<std::string>& written);

// Whether `path` is an existing folder.
bool IsFolder(Platform& platform, const std::string& path);

// What exists nearest to `path`: the path itself or its closest existing parent (`found`, with
// its identity); false when nothing of it exists.
bool NearestExisting(Platform& platform, const std::string& path, std::string& found, FileId& id);

// The space the installation's files take on a volume with clusters of `cluster` bytes, less
// what the files of an existing copy (`there`, or none) already occupy at their places, each
// no more than the file that replaces it needs.
std::uint64_t SpaceNeeded(Platform& platform, const InstallationSurvey& survey,
                          std::uint64_t cluster, const ExistingCopy* there);

// Whether the copy fits on the volume of `existing`, the destination's nearest existing
// folder, besides what an existing destination already holds (`there`, or none). True when
// that cannot be told.
bool CopyFits(Platform& platform, const std::string& existing, const InstallationSurvey& survey,
              const ExistingCopy* there);

}  // namespace tessaloom
