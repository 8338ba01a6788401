#include "platform/win32/Files.h"

// After windows.h, which it needs.
#include <winternl.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <cwchar>
#include <map>
#include <memory>
#include <string>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "paths/Paths.h"
#include "platform/win32/ScopedHandles.h"
#include "platform/win32/Text.h"

namespace tessaloom {

namespace {

const wchar_t kLongPrefix[] = L"\\\\?\\";          // "\\?\"
const wchar_t kLongUncPrefix[] = L"\\\\?\\UNC\\";  // "\\?\UNC\"

bool StartsWith(const std::wstring& text, const wchar_t* prefix) {
    return text.compare(0, std::wcslen(prefix), prefix) == 0;
}

bool IsDriveRoot(const std::wstring& path) {
    return path.size() >= 3 &&
           ((path[0] >= L'A' && path[0] <= L'Z') || (path[0] >= L'a' && path[0] <= L'z')) &&
           path[1] == L':' && path[2] == L'\\';
}

// `folder` in UTF-16 with a final separator, which a share's root needs ("\\host\share\").
std::wstring WithSeparator(const std::string& folder) {
    std::wstring wide = SystemPath(folder);
    if (!wide.empty() && wide.back() != L'\\' && wide.back() != L'/') wide.push_back(L'\\');
    return wide;
}

// Classes and flags of Windows 10 1809 that not every SDK declares.
const FILE_INFO_BY_HANDLE_CLASS kFileRenameInfoEx = static_cast<FILE_INFO_BY_HANDLE_CLASS>(22);
const DWORD kRenameReplaceIfExists = 0x1;
const DWORD kRenamePosixSemantics = 0x2;   // Windows 10 1607
const DWORD kRenameIgnoreReadOnly = 0x40;  // Windows 10 1809
// FILE_RENAME_INFO as FileRenameInfoEx takes it: flags in place of ReplaceIfExists.
struct RenameInfoEx {
    DWORD flags;
    HANDLE rootDirectory;
    DWORD fileNameLength;
    WCHAR fileName[1];
};

const DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// An entry as listed, its name as UTF-16 units; "." and ".." are left out.
void AddEntry(const wchar_t* name, std::size_t length, DWORD attributes, DWORD reparseTag,
              std::uint64_t size, std::uint64_t allocated, std::uint64_t idHigh,
              std::uint64_t idLow, std::vector<FolderEntry>& entries) {
    if ((length == 1 && name[0] == L'.') || (length == 2 && name[0] == L'.' && name[1] == L'.')) {
        return;
    }
    FolderEntry entry;
    entry.name = Utf8FromUtf16(name, length);
    entry.folder = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    // Junctions and symbolic links name another file; other reparse points (cloud
    // placeholders, deduplicated files...) are the file itself. No reparse point has the
    // reserved tag 0: Wine gives it to its symbolic links.
    entry.link = (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 &&
                 (IsReparseTagNameSurrogate(reparseTag) || reparseTag == 0);
    entry.size = size;
    // A link's own allocation is not what its target occupies.
    entry.allocated = entry.link ? kUnknownAllocation : allocated;
    entry.idHigh = idHigh;
    entry.idLow = idLow;
    entries.push_back(std::move(entry));
}

// Calls that fail so where the system or the file system lacks the information class.
bool Unsupported(DWORD error) {
    return error == ERROR_INVALID_PARAMETER || error == ERROR_NOT_SUPPORTED ||
           error == ERROR_INVALID_FUNCTION;
}

// Lists the open folder with each entry's own file ID: 128-bit where the system and the file
// system give it (Windows 8 and later), else 64-bit. `supported` is false, with nothing
// listed, where neither class is known.
DWORD ListWithIds(HANDLE folder, std::vector<FolderEntry>& entries, bool& supported) {
    const std::size_t kWords = 8192;  // 64 KiB, entries 8-byte aligned
    const std::unique_ptr<std::uint64_t[]> buffer(new std::uint64_t[kWords]);
    const DWORD bytes = static_cast<DWORD>(kWords * sizeof(std::uint64_t));
    FILE_INFO_BY_HANDLE_CLASS query = FileIdExtdDirectoryInfo;
    bool first = true;
    for (;;) {
        if (!GetFileInformationByHandleEx(folder, query, buffer.get(), bytes)) {
            const DWORD error = GetLastError();
            if (first && Unsupported(error)) {
                if (query != FileIdExtdDirectoryInfo) {
                    supported = false;
                    return error;
                }
                query = FileIdBothDirectoryRestartInfo;
                continue;
            }
            // The first query of a folder without "." and ".." (a drive's root) finds nothing.
            return error == ERROR_NO_MORE_FILES || (first && error == ERROR_FILE_NOT_FOUND)
                       ? ERROR_SUCCESS
                       : error;
        }
        const std::size_t before = entries.size();
        bool anyId = false;
        for (const char* at = reinterpret_cast<const char*>(buffer.get());;) {
            DWORD next = 0;
            if (query == FileIdExtdDirectoryInfo) {
                const auto& info = *reinterpret_cast<const FILE_ID_EXTD_DIR_INFO*>(at);
                std::uint64_t low = 0, high = 0;
                std::memcpy(&low, info.FileId.Identifier, sizeof low);
                std::memcpy(&high, info.FileId.Identifier + sizeof low, sizeof high);
                anyId = anyId || low != 0 || high != 0;
                AddEntry(info.FileName, info.FileNameLength / sizeof(wchar_t), info.FileAttributes,
                         info.ReparsePointTag, static_cast<std::uint64_t>(info.EndOfFile.QuadPart),
                         static_cast<std::uint64_t>(info.AllocationSize.QuadPart), high, low,
                         entries);
                next = info.NextEntryOffset;
            } else {
                const auto& info = *reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(at);
                // A reparse point's tag is given in place of the size of its extended attributes.
                const bool reparse = (info.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
                AddEntry(info.FileName, info.FileNameLength / sizeof(wchar_t), info.FileAttributes,
                         reparse ? info.EaSize : 0,
                         static_cast<std::uint64_t>(info.EndOfFile.QuadPart),
                         static_cast<std::uint64_t>(info.AllocationSize.QuadPart), 0,
                         static_cast<std::uint64_t>(info.FileId.QuadPart), entries);
                next = info.NextEntryOffset;
            }
            if (next == 0) break;
            at += next;
        }
        if (first && query == FileIdExtdDirectoryInfo && !anyId) {
            // A file system without 128-bit IDs may still have 64-bit ones ("." is listed
            // too, except in a root): as IdentifyFile, take those.
            entries.resize(before);
            query = FileIdBothDirectoryRestartInfo;
            continue;
        }
        if (query == FileIdBothDirectoryRestartInfo) query = FileIdBothDirectoryInfo;
        first = false;
    }
}

// Lists `folder` by name, without file IDs: where the listing through a handle is not known.
DWORD ListThroughFind(const std::string& folder, std::vector<FolderEntry>& entries) {
    const std::wstring pattern = SystemPath(JoinPath(folder, "*"));
    WIN32_FIND_DATAW data;
    // No short names, and fewer calls into the file system for a large folder.
    ScopedFind find(FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &data, FindExSearchNameMatch,
                                     nullptr, FIND_FIRST_EX_LARGE_FETCH));
    if (!find.valid() && GetLastError() == ERROR_INVALID_PARAMETER) {
        // Before Windows 7 neither is known.
        find.reset(FindFirstFileExW(pattern.c_str(), FindExInfoStandard, &data,
                                    FindExSearchNameMatch, nullptr, 0));
    }
    if (!find.valid()) {
        const DWORD error = GetLastError();
        // Nothing matched in an existing folder: one without "." and ".." (a drive's root).
        if (error == ERROR_FILE_NOT_FOUND) {
            const DWORD attributes = GetFileAttributesW(SystemPath(folder).c_str());
            if (attributes != INVALID_FILE_ATTRIBUTES &&
                (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
                return ERROR_SUCCESS;
            }
        }
        return error;
    }
    do {
        // dwReserved0 holds a reparse point's tag.
        AddEntry(data.cFileName, std::wcslen(data.cFileName), data.dwFileAttributes,
                 data.dwReserved0,
                 (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow,
                 kUnknownAllocation, 0, 0, entries);
    } while (FindNextFileW(find.get(), &data));
    const DWORD error = GetLastError();
    return error == ERROR_NO_MORE_FILES ? ERROR_SUCCESS : error;
}

// Whether `name` ends `path`, compared as the file system compares names.
bool EndsWithName(const std::wstring& path, const std::wstring& name) {
    return path.size() >= name.size() &&
           (path.size() == name.size() || path[path.size() - name.size() - 1] == L'\\') &&
           CompareStringOrdinal(path.c_str() + path.size() - name.size(),
                                static_cast<int>(name.size()), name.c_str(),
                                static_cast<int>(name.size()), TRUE) == CSTR_EQUAL;
}

// Gives the plain file at `path` the read-only attribute or takes it away; true when that
// changed it. Never a link (nor its target), a folder or a file of several names, whose
// attributes other paths share: the name's own file is opened, checked through the same
// handle and changed through it.
bool SetReadOnly(const std::wstring& path, bool readOnly) {
    ScopedHandle file(CreateFileW(
        path.c_str(), FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES, kShareAll, nullptr,
        OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    FILE_BASIC_INFO basic = {};
    FILE_STANDARD_INFO standard = {};
    std::vector<std::uint64_t> named(sizeof(FILE_NAME_INFO) / 8 + 8192);  // 32767 units and more
    const auto* name = reinterpret_cast<const FILE_NAME_INFO*>(named.data());
    if (!file.valid() ||
        !GetFileInformationByHandleEx(file.get(), FileBasicInfo, &basic, sizeof basic) ||
        !GetFileInformationByHandleEx(file.get(), FileStandardInfo, &standard, sizeof standard) ||
        !GetFileInformationByHandleEx(file.get(), FileNameInfo, named.data(),
                                      static_cast<DWORD>(named.size() * 8))) {
        return false;
    }
    const std::size_t slash = path.find_last_of(L"\\/");
    // Wine opens a link's target even so: the handle's name shows it.
    const bool itself = EndsWithName(std::wstring(name->FileName, name->FileNameLength / 2),
                                     path.substr(slash == std::wstring::npos ? 0 : slash + 1));
    const DWORD kNotPlain = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT;
    if (!itself || (basic.FileAttributes & kNotPlain) != 0 || standard.NumberOfLinks != 1 ||
        ((basic.FileAttributes & FILE_ATTRIBUTE_READONLY) != 0) == readOnly) {
        return false;
    }
    FILE_BASIC_INFO change = {};  // times of zero are left as they are
    change.FileAttributes = readOnly ? basic.FileAttributes | FILE_ATTRIBUTE_READONLY
                                     : basic.FileAttributes & ~FILE_ATTRIBUTE_READONLY;
    if (change.FileAttributes == 0) change.FileAttributes = FILE_ATTRIBUTE_NORMAL;
    return SetFileInformationByHandle(file.get(), FileBasicInfo, &change, sizeof change) != FALSE;
}

enum class Rename { kDone, kUnsupported, kFailed };

// Renames `from` to `to` with `flags` of FileRenameInfoEx (Windows 10 1607 and later, on NTFS):
// with POSIX semantics, a file whose holders share delete is replaced at once.
Rename RenameByHandle(const std::wstring& from, const std::wstring& to, DWORD flags) {
    ScopedHandle file(CreateFileW(from.c_str(), DELETE | SYNCHRONIZE, kShareAll, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!file.valid()) return Rename::kFailed;
    std::vector<std::uint64_t> buffer((sizeof(RenameInfoEx) + to.size() * sizeof(wchar_t)) / 8 + 1);
    auto* info = reinterpret_cast<RenameInfoEx*>(buffer.data());
    info->flags = flags;
    info->rootDirectory = nullptr;
    info->fileNameLength = static_cast<DWORD>(to.size() * sizeof(wchar_t));
    std::memcpy(info->fileName, to.c_str(), to.size() * sizeof(wchar_t));
    if (SetFileInformationByHandle(file.get(), kFileRenameInfoEx, info,
                                   static_cast<DWORD>(buffer.size() * 8))) {
        return Rename::kDone;
    }
    return Unsupported(GetLastError()) ? Rename::kUnsupported : Rename::kFailed;
}

bool IsReadOnly(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0;
}

// The handle's path on its volume (no drive), as the system resolves it.
bool NameOf(HANDLE handle, std::wstring& name) {
    // A path buffer's room first; the longest path a volume holds where that is short.
    for (std::size_t words : {std::size_t{MAX_PATH / 4 + 1}, std::size_t{8193}}) {
        std::vector<std::uint64_t> named(sizeof(FILE_NAME_INFO) / 8 + words);
        if (GetFileInformationByHandleEx(handle, FileNameInfo, named.data(),
                                         static_cast<DWORD>(named.size() * 8))) {
            const auto* info = reinterpret_cast<const FILE_NAME_INFO*>(named.data());
            name.assign(info->FileName, info->FileNameLength / sizeof(wchar_t));
            return true;
        }
        if (GetLastError() != ERROR_MORE_DATA) break;
    }
    return false;
}

bool SameNames(const std::wstring& a, const std::wstring& b) {
    return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(),
                                static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

NameFacts ProbeFreeName(const std::wstring& path);

// Creates the file `path`, gone when its handle closes, at once; never replaces anything that
// stands there, nor follows a link there. ERROR_SUCCESS, or why it could not.
DWORD CreateGoneFile(const std::wstring& path) {
    ScopedHandle file(CreateFileW(path.c_str(), GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_TEMPORARY |
                                      FILE_FLAG_DELETE_ON_CLOSE | FILE_FLAG_OPEN_REPARSE_POINT,
                                  nullptr));
    return file.valid() ? ERROR_SUCCESS : GetLastError();
}

// FILE_STAT_INFORMATION, as NtQueryInformationByName gives it for FileStatInformation.
struct FileStatInformation {
    LARGE_INTEGER fileId, creationTime, lastAccessTime, lastWriteTime, changeTime;
    LARGE_INTEGER allocationSize, endOfFile;
    ULONG fileAttributes, reparseTag, numberOfLinks;
    ACCESS_MASK effectiveAccess;
};
const int kFileStatInformation = 68;
using QueryInformationByName = LONG(WINAPI*)(POBJECT_ATTRIBUTES, PIO_STATUS_BLOCK, PVOID, ULONG,
                                             int);

// Windows 10 1709 and later ask a file's metadata by its name, without opening it; older
// systems and Wine cannot.
QueryInformationByName QueryByName() {
    static const QueryInformationByName query =
        reinterpret_cast<QueryInformationByName>(reinterpret_cast<void (*)()>(
            GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryInformationByName")));
    return query;
}

enum class Stat { kDone, kMissing, kUnanswered };

// The number of names of the name `path` and whether it is a link itself, asked by name.
Stat StatByName(QueryInformationByName query, const std::wstring& path, NameFacts& fact) {
    // The NT form of the path: "\\??\\C:\\...", "\\??\\UNC\\host\\share\\...".
    std::wstring nt;
    if (StartsWith(path, kLongPrefix)) {
        nt = L"\\??\\" + path.substr(std::wcslen(kLongPrefix));
    } else if (StartsWith(path, L"\\\\")) {
        nt = L"\\??\\UNC\\" + path.substr(2);
    } else {
        nt = L"\\??\\" + path;
    }
    std::replace(nt.begin(), nt.end(), L'/', L'\\');
    if (nt.size() * sizeof(wchar_t) >= 0xFFFF) return Stat::kUnanswered;
    UNICODE_STRING name;
    name.Buffer = &nt[0];
    name.Length = name.MaximumLength = static_cast<USHORT>(nt.size() * sizeof(wchar_t));
    OBJECT_ATTRIBUTES attributes;
    InitializeObjectAttributes(&attributes, &name, OBJ_CASE_INSENSITIVE, nullptr, nullptr);
    IO_STATUS_BLOCK status = {};
    FileStatInformation stat = {};
    const LONG result = query(&attributes, &status, &stat, sizeof stat, kFileStatInformation);
    const LONG kNameNotFound = static_cast<LONG>(0xC0000034);
    const LONG kPathNotFound = static_cast<LONG>(0xC000003A);
    if (result == kNameNotFound || result == kPathNotFound) return Stat::kMissing;
    if (result < 0) return Stat::kUnanswered;  // a file system that does not answer it
    fact.taken = true;
    fact.link = (stat.fileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 &&
                IsReparseTagNameSurrogate(stat.reparseTag);
    fact.names = stat.numberOfLinks;
    return Stat::kDone;
}

// What stands at the name `path`, whose file's resolved path is `expected` unless the system
// reached it through a link (empty: not compared).
NameFacts InspectName(const std::wstring& path, const std::wstring& expected) {
    NameFacts fact;
    // Where the system asks by name, its listings show every link too, a link to nothing
    // included: the number of names is all the listing does not tell.
    if (const QueryInformationByName query = QueryByName()) {
        const Stat stat = StatByName(query, path, fact);
        if (stat == Stat::kDone) return fact;
        if (stat == Stat::kMissing) return NameFacts{};
    }
    ScopedHandle file(
        CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING,
                    FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!file.valid()) {
        const DWORD failure = GetLastError();
        if (failure == ERROR_FILE_NOT_FOUND || failure == ERROR_PATH_NOT_FOUND) {
            return ProbeFreeName(path);
        }
        fact.taken = true;  // there, though it does not open
        return fact;
    }
    fact.taken = true;
    // Its own number of names (the link itself opened), and where the system places it: Wine
    // lists and opens a link to a file as that file, though not at the link's name.
    FILE_STANDARD_INFO standard = {};
    if (GetFileInformationByHandleEx(file.get(), FileStandardInfo, &standard, sizeof standard)) {
        fact.names = standard.NumberOfLinks;
    }
    std::wstring name;
    if (fact.names <= 1 && !expected.empty() && NameOf(file.get(), name) &&
        !SameNames(name, expected)) {
        fact.link = true;
    }
    return fact;
}

// What stands at `path`, which nothing opens at: a link to nothing takes the name (Wine lists
// none, and opens none), so creating a file there fails. The file made is gone when closed.
NameFacts ProbeFreeName(const std::wstring& path) {
    NameFacts facts;
    const DWORD failure = CreateGoneFile(path);
    facts.taken = facts.link = failure == ERROR_FILE_EXISTS || failure == ERROR_ALREADY_EXISTS;
    return facts;
}

}  // namespace

std::wstring SystemPath(const std::string& path) {
    std::wstring wide = Utf16FromUtf8(path);
    if (wide.size() < MAX_PATH) return wide;
    std::replace(wide.begin(), wide.end(), L'/', L'\\');
    // Already a long or device path; a relative path has no long form.
    if (StartsWith(wide, kLongPrefix) || StartsWith(wide, L"\\\\.\\")) return wide;
    std::wstring prefix;
    std::size_t rest = 0;
    if (IsDriveRoot(wide)) {
        prefix = kLongPrefix;
    } else if (StartsWith(wide, L"\\\\")) {
        prefix = kLongUncPrefix;
        rest = 2;
    } else {
        return wide;
    }
    std::wstring result = prefix;
    result.reserve(prefix.size() + wide.size());
    for (std::size_t i = rest; i < wide.size(); ++i) {
        if (wide[i] != L'\\' || result.back() != L'\\') result.push_back(wide[i]);
    }
    return result;
}

std::string OrdinaryPath(const std::wstring& path) {
    if (StartsWith(path, kLongUncPrefix)) {
        return Utf8FromUtf16(L"\\\\" + path.substr(std::wcslen(kLongUncPrefix)));
    }
    if (StartsWith(path, kLongPrefix) && IsDriveRoot(path.substr(std::wcslen(kLongPrefix)))) {
        return Utf8FromUtf16(path.substr(std::wcslen(kLongPrefix)));
    }
    return Utf8FromUtf16(path);
}

bool ProbeFile(const std::string& path) {
    return ScopedHandle(CreateFileW(SystemPath(path).c_str(), GENERIC_READ, 0, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr))
        .valid();
}

WriteResult WriteNewFile(const std::string& path, const void* data, std::size_t size,
                         std::string& error) {
    // Never through what stands at the name, a link to nowhere included: CREATE_NEW fails at
    // any name taken, and the reparse point's flag keeps the system from following one.
    ScopedHandle handle(CreateFileW(SystemPath(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!handle.valid()) {
        const DWORD failure = GetLastError();
        error = SystemMessage(failure);
        return failure == ERROR_FILE_EXISTS || failure == ERROR_ALREADY_EXISTS
                   ? WriteResult::kNameTaken
                   : WriteResult::kFailed;
    }
    const char* next = static_cast<const char*>(data);
    std::size_t remaining = size;
    DWORD failure = ERROR_SUCCESS;
    while (remaining > 0) {
        DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(remaining, 1u << 30));
        DWORD written = 0;
        if (!WriteFile(handle.get(), next, chunk, &written, nullptr)) {
            failure = GetLastError();
            break;
        }
        if (written == 0) {
            failure = ERROR_WRITE_FAULT;
            break;
        }
        next += written;
        remaining -= written;
    }
    // On disk before it takes a name: a power cut after the move leaves no empty file.
    if (failure == ERROR_SUCCESS && !FlushFileBuffers(handle.get())) failure = GetLastError();
    // Closing can fail too (a network file written back on close): that is a failed write.
    if (!handle.close() && failure == ERROR_SUCCESS) failure = GetLastError();
    if (failure == ERROR_SUCCESS) return WriteResult::kWritten;
    error = SystemMessage(failure);
    return WriteResult::kFailedPart;
}

bool MoveOver(const std::string& from, const std::string& to, std::string& error) {
    const std::wstring source = SystemPath(from);
    const std::wstring target = SystemPath(to);
    const DWORD kReplace = MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH;
    // A rename replaces the name's entry, whatever stands there: a link itself, never its
    // target. With POSIX semantics (Windows 10 1607 and later, on NTFS) a file that a scanner,
    // indexer or sync client holds open, sharing delete, is replaced at once; from 1809 a
    // read-only one too. Elsewhere a held file refuses the rename (a sharing violation, or
    // access denied while it is open for deletion): tried again while the holder lets go.
    DWORD posix = kRenameReplaceIfExists | kRenamePosixSemantics | kRenameIgnoreReadOnly;
    DWORD failure = ERROR_SUCCESS;
    const ULONGLONG start = GetTickCount64();
    for (;;) {
        while (posix != 0) {
            const Rename renamed = RenameByHandle(source, target, posix);
            if (renamed == Rename::kDone) return true;
            if (renamed == Rename::kFailed) break;
            // An older system, or another file system: without the read-only flag, then none.
            posix = (posix & kRenameIgnoreReadOnly) != 0 ? posix & ~kRenameIgnoreReadOnly : 0;
        }
        if (MoveFileExW(source.c_str(), target.c_str(), kReplace)) return true;
        failure = GetLastError();
        // Windows replaces no read-only file with MoveFileEx (an installation from disc
        // media keeps the attribute in its copy): the attribute of a plain file is taken
        // away, and given back when the move still fails.
        const bool readOnly = failure == ERROR_ACCESS_DENIED && IsReadOnly(target);
        if (readOnly && SetReadOnly(target, false)) {
            if (MoveFileExW(source.c_str(), target.c_str(), kReplace)) return true;
            failure = GetLastError();
            SetReadOnly(target, true);
        }
        const bool held =
            failure == ERROR_SHARING_VIOLATION || (failure == ERROR_ACCESS_DENIED && !readOnly);
        if (!held || GetTickCount64() - start >= 5000) break;
        Sleep(100);
    }
    error = SystemMessage(failure);
    return false;
}

bool RemoveFile(const std::string& path) { return DeleteFileW(SystemPath(path).c_str()) != FALSE; }

bool CreateFolder(const std::string& path, std::string& error) {
    if (CreateDirectoryW(SystemPath(path).c_str(), nullptr)) return true;
    error = SystemMessage(GetLastError());
    return false;
}

bool RemoveFolder(const std::string& path, std::string& error) {
    const std::wstring folder = SystemPath(path);
    DWORD failure = ERROR_SUCCESS;
    // A file deleted in it stays until its last holder (a scanner) closes it.
    for (int attempt = 0; attempt < 10; ++attempt) {
        if (attempt > 0) Sleep(100);
        if (RemoveDirectoryW(folder.c_str())) return true;
        failure = GetLastError();
        if (failure != ERROR_DIR_NOT_EMPTY && failure != ERROR_SHARING_VIOLATION) break;
    }
    error = SystemMessage(failure);
    return false;
}

bool ListFolder(const std::string& folder, std::vector<FolderEntry>& entries, std::string& error) {
    entries.clear();
    // Opened as FindFirstFileEx opens it, final separator included (a share's root needs it).
    ScopedHandle handle(CreateFileW(WithSeparator(folder).c_str(), FILE_LIST_DIRECTORY, kShareAll,
                                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    DWORD failure = handle.valid() ? ERROR_SUCCESS : GetLastError();
    bool supported = true;
    if (handle.valid()) failure = ListWithIds(handle.get(), entries, supported);
    if (!supported) {
        handle.reset();
        failure = ListThroughFind(folder, entries);
    }
    if (failure != ERROR_SUCCESS) {
        error = SystemMessage(failure);
        return false;
    }
    for (FolderEntry& entry : entries) {
        if (!entry.link || entry.folder) continue;
        // A link to a file lists its own size; the copy takes its target's.
        ScopedHandle target(CreateFileW(SystemPath(JoinPath(folder, entry.name)).c_str(), 0,
                                        kShareAll, nullptr, OPEN_EXISTING, 0, nullptr));
        LARGE_INTEGER size;
        if (target.valid() && GetFileSizeEx(target.get(), &size)) {
            entry.size = static_cast<std::uint64_t>(size.QuadPart);
        }
    }
    return true;
}

bool IdentifyFile(const std::string& path, FileId& id) {
    // No access rights asked: enough to identify, and folders open too.
    ScopedHandle file(CreateFileW(SystemPath(path).c_str(), 0,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!file.valid()) return false;
    id = FileId{};
    // Two queries answer on Windows 8 and later; the older one where either fails or the ID
    // comes back zero (some servers, file systems without such IDs).
    FILE_ID_INFO wide = {};
    if (GetFileInformationByHandleEx(file.get(), FileIdInfo, &wide, sizeof wide)) {
        id.volume = wide.VolumeSerialNumber;
        std::memcpy(&id.low, wide.FileId.Identifier, sizeof id.low);
        std::memcpy(&id.high, wide.FileId.Identifier + sizeof id.low, sizeof id.high);
    }
    FILE_BASIC_INFO basic = {};
    const bool haveBasic =
        GetFileInformationByHandleEx(file.get(), FileBasicInfo, &basic, sizeof basic) != FALSE;
    id.folder = (basic.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    BY_HANDLE_FILE_INFORMATION info;
    if ((!id.Known() || !haveBasic) && GetFileInformationByHandle(file.get(), &info)) {
        // The 64-bit file index: the 128-bit ID's form on NTFS, zero-extended.
        const std::uint64_t index =
            (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
        if (!id.Known() && index != 0) {
            id.volume = info.dwVolumeSerialNumber;
            id.low = index;
        }
        if (!haveBasic) id.folder = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    } else if (!haveBasic) {
        return false;  // not even its kind
    }
    // The length without the terminator, or the room needed with it when the buffer is short.
    std::wstring resolved(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            GetFinalPathNameByHandleW(file.get(), &resolved[0], static_cast<DWORD>(resolved.size()),
                                      FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
        if (length == 0) break;  // no drive letter, a share refusing a component...
        if (length < resolved.size()) {
            resolved.resize(length);
            id.finalPath = OrdinaryPath(resolved);
            break;
        }
        if (length > 32768) break;
        resolved.assign(length, L'\0');
    }
    return true;
}

bool QueryVolumeSpace(const std::string& folder, VolumeSpace& space) {
    if (folder.empty()) return false;  // would be the current folder's
    ULARGE_INTEGER available;
    if (!GetDiskFreeSpaceExW(WithSeparator(folder).c_str(), &available, nullptr, nullptr)) {
        return false;
    }
    // The root of the volume the folder is on (a mounted folder is a root of its own),
    // with its final separator: the sizes of clusters are asked of roots only.
    const std::wstring wide = SystemPath(folder);
    // A prefix of the path and a separator; a relative path gets the current drive's root.
    std::wstring root(std::max<std::size_t>(wide.size() + 2, MAX_PATH), L'\0');
    if (!GetVolumePathNameW(wide.c_str(), &root[0], static_cast<DWORD>(root.size()))) {
        return false;
    }
    root.resize(std::wcslen(root.c_str()));
    DWORD sectorsPerCluster = 0, bytesPerSector = 0, freeClusters = 0, clusters = 0;
    if (!GetDiskFreeSpaceW(root.c_str(), &sectorsPerCluster, &bytesPerSector, &freeClusters,
                           &clusters)) {
        return false;
    }
    space.free = available.QuadPart;
    space.cluster = static_cast<std::uint64_t>(sectorsPerCluster) * bytesPerSector;
    return true;
}

bool CanCreateFileIn(const std::string& folder, std::string& error) {
    DWORD failure = ERROR_SUCCESS;
    for (unsigned attempt = 0; attempt < 100; ++attempt) {
        const std::string name = "~tessaloom-" + std::to_string(GetCurrentProcessId()) + "-" +
                                 std::to_string(GetTickCount64()) + "-" + std::to_string(attempt) +
                                 ".tmp";
        failure = CreateGoneFile(SystemPath(JoinPath(folder, name)));
        if (failure == ERROR_SUCCESS) return true;
        if (failure != ERROR_FILE_EXISTS) break;
    }
    error = SystemMessage(failure);
    return false;
}

std::vector<NameFacts> InspectNames(const std::vector<std::string>& paths) {
    std::vector<NameFacts> facts(paths.size());
    // Each folder's name as the system resolves it, links followed: each file must lie right
    // below it, or the system reached it through a link.
    std::map<std::string, std::wstring> resolved;
    std::vector<std::wstring> expected(paths.size());
    for (std::size_t i = 0; i < paths.size(); ++i) {
        std::string folder, name;
        SplitPath(paths[i], folder, name);
        if (folder.empty()) continue;
        const auto [found, fresh] = resolved.try_emplace(folder);
        std::wstring& place = found->second;
        if (fresh) {
            ScopedHandle handle(CreateFileW(SystemPath(folder).c_str(), 0, kShareAll, nullptr,
                                            OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
            if (!handle.valid() || !NameOf(handle.get(), place)) place.clear();
            if (!place.empty() && place.back() != L'\\') place.push_back(L'\\');
        }
        if (!place.empty()) expected[i] = place + Utf16FromUtf8(name);
    }
    // Each name costs a few calls into the system, which wait on it more than they work (on
    // Wine, on its server): several at once.
    const auto inspect = [&](std::size_t first, std::size_t step) {
        for (std::size_t i = first; i < paths.size(); i += step) {
            facts[i] = InspectName(SystemPath(paths[i]), expected[i]);
        }
    };
    const std::size_t workers = paths.size() >= 32 ? 4 : 1;
    std::vector<std::thread> threads;
    for (std::size_t worker = 1; worker < workers; ++worker) {
        try {
            threads.emplace_back(inspect, worker, workers);
        } catch (const std::system_error&) {
            inspect(worker, workers);  // no thread to be had: here
        }
    }
    inspect(0, workers);
    for (std::thread& thread : threads) thread.join();
    return facts;
}

}  // namespace tessaloom
