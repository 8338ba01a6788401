// The checks of the Duplicate command before anything is fetched: whether the installation can
// be copied to the destination and the program's files written there, with the one walk of
// the installation that the copy is checked against afterwards.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "installation/InstallationSurvey.h"
#include "platform/Platform.h"

namespace tessaloom {

// A notice that stops the command; no text: none.
struct Refusal {
    std::string text;
    unsigned style = kMbOk | kMbIconError;
    bool Refused() const { return !text.empty(); }
};

struct CopyCheck {
    Refusal refusal;            // the first check that fails
    InstallationSurvey survey;  // the walk, once the checks got that far
};

// "Cannot write PATH." and the system's reason below it, the path broken into lines that fit.
std::string CannotWriteText(const std::string& path, const std::string& reason);

// Whether the copy may create its folder in the existing folder `parent`, and files in that
// folder as a folder made there inherits its rights: makes one, a file in it, and removes it;
// a test folder that cannot be removed is named.
Refusal ProbeNewFolder(Platform& platform, const std::string& parent);

// The length, in UTF-16 units, of the longest of `paths`.
std::size_t Deepest(const std::vector<std::string>& paths);

// Checks, in their order, copying `source` to `destination` and writing there the files at
// `written` (relative paths) after the copy.
CopyCheck CheckBeforeCopy(Platform& platform, const std::string& source,
                          const std::string& destination, const std::vector<std::string>& written);

}  // namespace tessaloom
