#include "platform/win32/Folders.h"

#include "paths/Paths.h"
#include "platform/win32/ScopedHandles.h"

namespace tessaloom {

bool ListEntries(const std::string& folder,
                 const std::function<void(const WIN32_FIND_DATAA&)>& visit) {
    const std::string pattern = JoinPath(folder, "*");
    if (!FitsInPathBuffer(pattern)) return false;
    WIN32_FIND_DATAA data;
    ScopedFind find(FindFirstFileA(pattern.c_str(), &data));
    if (!find.valid()) {
        // Nothing matched: an empty folder without "." and ".." (a drive's root).
        const DWORD error = GetLastError();
        const DWORD attributes = GetFileAttributesA(folder.c_str());
        return error == ERROR_FILE_NOT_FOUND && attributes != INVALID_FILE_ATTRIBUTES &&
               (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    }
    do {
        const std::string name = data.cFileName;
        if (name != "." && name != "..") visit(data);
    } while (FindNextFileA(find.get(), &data));
    return GetLastError() == ERROR_NO_MORE_FILES;
}

}  // namespace tessaloom
