// The copy of a surveyed installation with the shell's copy, and the check of what the shell
// really copied.
#pragma once

#include <set>
#include <string>

#include "installation/InstallationSurvey.h"
#include "platform/Platform.h"

namespace tessaloom {

// Result codes of CopyInstallation besides the shell's own (the system's error codes).
constexpr int kCopyIncomplete = 29;    // the copy misses files the shell reported as copied
constexpr int kCopyPathTooLong = 206;  // a path list does not fit the shell's buffers

// The files of the installation that already exist as files at the same place below
// `destination` (folded relative paths): a merge may keep them as they are.
std::set<std::string> ExistingFiles(Platform& platform, const InstallationSurvey& survey,
                                    const std::string& destination);

// Whether every entry of the surveyed installation is under `destination` with its kind, and
// every file not in `kept` (as ExistingFiles gives them) with its size. Entries below a
// junction or link are not compared.
bool CopyIsComplete(Platform& platform, const InstallationSurvey& survey,
                    const std::string& destination, const std::set<std::string>& kept);

// Copies the folder `source`, walked as `survey`, so that its contents lie directly in
// `destination` (with or without a final separator), merging into it when it exists, with
// the shell's windows owned by `owner`. A copy the shell reports as done but that
// CopyIsComplete refuses gets kCopyIncomplete.
CopyResult CopyInstallation(Platform& platform, Handle owner, const std::string& source,
                            const std::string& destination, const InstallationSurvey& survey);

}  // namespace tessaloom
