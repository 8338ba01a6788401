// What the Duplicate command learns of an installation in its one walk before it fetches or
// copies anything: the record the copy is checked against, its folders' identities, its depth.
#pragma once

#include <cstddef>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "platform/Platform.h"

namespace tessaloom {

struct SurveyedFolder {
    std::string path;                  // relative to the installation; empty for its top
    std::vector<FolderEntry> entries;  // as listed, links followed
    bool checked = true;    // its copy's entries are compared (not below a junction or link)
    std::string finalPath;  // where the system resolves it; empty when it does not say
};

struct InstallationSurvey {
    enum class Fault { kNone, kLoop, kUnreadable };
    Fault fault = Fault::kNone;
    std::string unreadable;               // kUnreadable: the folder that cannot be read
    std::string reason;                   // and the system's reason
    std::vector<SurveyedFolder> folders;  // in walk order, the installation's top first
    std::set<std::string> identities;     // IdentityKey of every folder walked
    std::size_t deepest = 0;              // UTF-16 units of the longest relative path of an entry
};

// How the folders of a survey are told apart: their identity, or their final path where the
// file system gives no identity.
std::string IdentityKey(Platform& platform, const FileId& id);

// Walks `source` once, metadata only, following links as the shell's copy does. Stops at the
// first loop or folder that cannot be read.
InstallationSurvey SurveyInstallation(Platform& platform, const std::string& source);

// The space the installation's files take on a volume with clusters of `cluster` bytes.
std::uint64_t SizeOnVolume(const InstallationSurvey& survey, std::uint64_t cluster);

// Whether writing at `destination` could reach the installation: the destination or a folder
// above it is one of the installation's; or, for an existing destination, a folder of it that
// the copy writes into (`written`, relative paths, besides the survey's folders) is, or the
// installation reaches the destination or a folder inside it.
bool ReachesInstallation(Platform& platform, const std::string& destination,
                         const InstallationSurvey& survey, const std::vector<std::string>& written);

// The nearest existing folder of `path`: the path itself or its closest existing parent.
bool NearestExistingFolder(Platform& platform, const std::string& path, std::string& folder);

// Whether the installation fits at `destination`, whose nearest existing folder is `existing`:
// an existing destination is merged and not checked; a new one needs its size on the volume
// it would be on. True when that cannot be told.
bool CopyFits(Platform& platform, const std::string& destination, const std::string& existing,
              const InstallationSurvey& survey);

}  // namespace tessaloom
