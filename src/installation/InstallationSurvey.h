// What the Duplicate command learns of an installation in its one walk before it fetches or
// copies anything: the record the copy is checked against, its folders' identities, its depth.
#pragma once

#include <cstddef>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/Platform.h"

namespace tessaloom {

struct SurveyedFolder {
    std::string path;                  // relative to the installation; empty for its top
    std::vector<FolderEntry> entries;  // as listed, links followed
    bool checked = true;  // its copy's entries are compared (not below a junction or link)
    FileId id;            // its identity, and where the system resolves it (empty: not said)
};

struct InstallationSurvey {
    // kUnplaceable: a link whose target the system neither identifies nor resolves (some
    // network shares, WebDAV, file systems in user mode), or leads nowhere: whether it loops,
    // or leads into the destination, cannot be told.
    enum class Fault { kNone, kLoop, kUnreadable, kUnplaceable };
    Fault fault = Fault::kNone;
    std::string unreadable;               // kUnreadable: the folder that cannot be read
    std::string reason;                   // and the system's reason
    std::string unplaceable;              // kUnplaceable: the link
    std::vector<SurveyedFolder> folders;  // in walk order, the installation's top first
    std::set<std::string> identities;     // IdentityKey of every folder walked
    // UTF-16 units of the longest relative path of an entry, and of a folder. A walk that
    // goes deeper than any copy could hold (a loop no identity shows) stops there.
    std::size_t deepest = 0;
    std::size_t deepestFolder = 0;
    // The first path of the installation, where it lies, too long for the shell to read.
    std::string tooLong;
};

// How the folders of a survey are told apart: their identity, or their final path where the
// file system gives no identity.
std::string IdentityKey(Platform& platform, const FileId& id);

// Whether the system can say where the file or folder `id` lies: by its identity, or by its
// final path.
bool Placeable(const FileId& id);

// Walks `source` once, metadata only, following links as the shell's copy does. Stops at the
// first loop, folder that cannot be read or link that cannot be placed.
InstallationSurvey SurveyInstallation(Platform& platform, const std::string& source);

// Whether the listing gave `entry` a file ID.
bool HasListedId(const FolderEntry& entry);
// The identity of `entry` as the listing of the folder whose identity is `folder` gives it:
// its file ID on the folder's volume, its final path below the folder's. Of an entry that is
// no link; a link's own ID is not its target's.
FileId ListedId(const FileId& folder, const FolderEntry& entry);

// The entries of `folder` by folded name; false when it cannot be listed.
bool ListByName(Platform& platform, const std::string& folder,
                std::map<std::string, FolderEntry>& byName);

// The relative path of `entry` of `folder`; folded, how the copy's entries are matched.
std::string RelativePath(const SurveyedFolder& folder, const FolderEntry& entry);
std::string RelativeKey(Platform& platform, const SurveyedFolder& folder, const FolderEntry& entry);

}  // namespace tessaloom
