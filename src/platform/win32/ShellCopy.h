// Copies a folder with the shell's file operation and its progress window.
#pragma once

#include <windows.h>

#include <set>
#include <string>

#include "platform/Platform.h"

namespace tessaloom {

// Copies the folder `source` so that its contents lie directly in `destination` (with or
// without a final separator), merging into it when it exists. Returns the shell's code and
// aborted flag; a copy the shell reports as done but that fails VerifyCopy gets
// ERROR_WRITE_FAULT. A path too long for the shell's buffers gets ERROR_FILENAME_EXCED_RANGE.
CopyResult ShellCopyFolder(HWND owner, const std::string& source, const std::string& destination);

// The files of `source` that already exist as files at the same place under `destination`,
// as relative paths ("sub\name"), upper-cased.
std::set<std::string> ExistingFiles(const std::string& source, const std::string& destination);

// Whether every file and folder of `source` (hidden and system ones included) is present under
// `destination` with the same kind, and every file not in `preexisting` (as ExistingFiles
// gives them) has the source's size. Reads metadata only; false when a folder can't be listed,
// a path too long included.
bool VerifyCopy(const std::string& source, const std::string& destination,
                const std::set<std::string>& preexisting);

}  // namespace tessaloom
