// The Windows shell: its folder picker, its copy (with the shell's progress window and
// questions) and opening a folder in the file manager.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <string>

#include "platform/Platform.h"

namespace tessaloom {

// The Platform operations of the same names. The picker needs COM on the calling thread
// (Application initialises it).
BrowseResult BrowseForFolder(const std::string& title, std::string& path);
CopyResult ShellCopy(HWND owner, const std::string& from, const std::string& to);
void OpenFolder(const std::string& path);

}  // namespace tessaloom
