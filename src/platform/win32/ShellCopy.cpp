#include "platform/win32/ShellCopy.h"

#include <shellapi.h>

#include <map>

#include "paths/Paths.h"
#include "platform/win32/Folders.h"

namespace tessaloom {
namespace {

struct Entry {
    std::string name;  // as stored
    bool folder = false;
    bool link = false;  // reparse point: checked for presence, not walked
    ULONGLONG size = 0;
};
using Listing = std::map<std::string, Entry>;  // by upper-cased name

std::string Fold(std::string text) {
    if (!text.empty()) CharUpperBuffA(&text[0], static_cast<DWORD>(text.size()));
    return text;
}

// Lists `folder`; false when it can't be listed (see ListEntries).
bool ListFolder(const std::string& folder, Listing& entries) {
    return ListEntries(folder, [&entries](const WIN32_FIND_DATAA& data) {
        const std::string name = data.cFileName;
        Entry& entry = entries[Fold(name)];
        entry.name = name;
        entry.folder = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        entry.link = (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
        entry.size = (static_cast<ULONGLONG>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    });
}

// ExistingFiles for one folder pair; `prefix` is the folded relative path of the pair.
void CollectExisting(const std::string& from, const std::string& to, const std::string& prefix,
                     std::set<std::string>& found) {
    Listing source, target;
    if (!ListFolder(from, source) || !ListFolder(to, target)) return;
    for (const auto& [key, entry] : source) {
        const auto match = target.find(key);
        if (match == target.end() || match->second.folder != entry.folder) continue;
        if (!entry.folder)
            found.insert(prefix + key);
        else if (!entry.link)
            CollectExisting(JoinPath(from, entry.name), JoinPath(to, match->second.name),
                            prefix + key + '\\', found);
    }
}

// VerifyCopy for one folder pair; `prefix` is the folded relative path of the pair.
bool CompareFolders(const std::string& from, const std::string& to, const std::string& prefix,
                    const std::set<std::string>& preexisting) {
    Listing source, target;
    if (!ListFolder(from, source) || !ListFolder(to, target)) return false;
    for (const auto& [key, entry] : source) {
        const auto match = target.find(key);
        if (match == target.end() || match->second.folder != entry.folder) return false;
        if (!entry.folder) {
            if (match->second.size != entry.size && preexisting.count(prefix + key) == 0)
                return false;
        } else if (!entry.link &&
                   !CompareFolders(JoinPath(from, entry.name), JoinPath(to, match->second.name),
                                   prefix + key + '\\', preexisting)) {
            return false;
        }
    }
    return true;
}

// Fills a zero-filled shell path list: the path and the two zero bytes that end the list.
bool FillPathList(char (&list)[kMaxPath], const std::string& path) {
    if (path.empty() || !FitsInShellList(path)) return false;
    path.copy(list, path.size());
    return true;
}

}  // namespace

std::set<std::string> ExistingFiles(const std::string& source, const std::string& destination) {
    std::set<std::string> found;
    CollectExisting(source, destination, "", found);
    return found;
}

bool VerifyCopy(const std::string& source, const std::string& destination,
                const std::set<std::string>& preexisting) {
    return CompareFolders(source, destination, "", preexisting);
}

CopyResult ShellCopyFolder(HWND owner, const std::string& source, const std::string& destination) {
    CopyResult result;
    // A final separator would make Wine's shell nest the copy in a folder of its own.
    const std::string target = WithoutFinalSeparator(destination);

    // A missing destination is created as the copy of the folder. An existing one receives
    // the folder's contents ("source\*": every entry, hidden ones included); handing it the
    // folder itself would nest the copy inside it, as a final separator does on Wine.
    const DWORD attributes = GetFileAttributesA(target.c_str());
    const bool merge =
        attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    char fromList[kMaxPath] = {};
    char toList[kMaxPath] = {};
    if (!FillPathList(fromList, merge ? JoinPath(source, "*") : source) ||
        !FillPathList(toList, target)) {
        result.code = ERROR_FILENAME_EXCED_RANGE;
        return result;
    }
    // Files already there may be kept at the user's word in the shell's prompts.
    const std::set<std::string> preexisting =
        merge ? ExistingFiles(source, target) : std::set<std::string>();

    SHFILEOPSTRUCTA operation = {};
    operation.hwnd = owner;
    operation.wFunc = FO_COPY;
    operation.pFrom = fromList;
    operation.pTo = toList;
    result.code = SHFileOperationA(&operation);
    result.aborted = operation.fAnyOperationsAborted != FALSE;

    // The shell can report success after copying nothing or only part (read-only or full
    // target, source file locked): check the result.
    if (result.code == 0 && !result.aborted && !VerifyCopy(source, target, preexisting))
        result.code = ERROR_WRITE_FAULT;
    return result;
}

}  // namespace tessaloom
