// The copy of a surveyed installation with the shell's copy, and the check of what the shell
// really copied.
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "installation/InstallationSurvey.h"
#include "platform/Platform.h"

namespace tessaloom {

// Result codes of CopyInstallation besides the shell's own (the system's error codes).
constexpr int kCopyIncomplete = 29;    // the copy misses files the shell reported as copied
constexpr int kCopyPathTooLong = 206;  // a path list does not fit the shell's buffers

// Whether every entry of the surveyed installation is under `destination` with its kind, and
// every file with its size, or, for a file that was already there (`kept`: folded relative
// paths and sizes before the copy), with the size it had. Entries below a junction or link
// are not compared.
bool CopyIsComplete(Platform& platform, const InstallationSurvey& survey,
                    const std::string& destination,
                    const std::map<std::string, std::uint64_t>& kept);

// Whether the shell is handed the entries of `source` ("source\*") rather than the folder
// itself: to merge into an existing destination, and for a drive's root.
bool CopiesEntries(const std::string& source, bool merge);

// Copies the folder `source`, walked as `survey`, so that its contents lie directly in
// `destination` (with or without a final separator), merging into it when it exists, with
// the shell's windows owned by `owner`. A copy the shell reports as done but that
// CopyIsComplete refuses gets kCopyIncomplete.
CopyResult CopyInstallation(Platform& platform, Handle owner, const std::string& source,
                            const std::string& destination, const InstallationSurvey& survey);

}  // namespace tessaloom
