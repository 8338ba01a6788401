#include "platform/win32/Files.h"

#include <algorithm>
#include <cwchar>

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

DWORD ListEntries(const std::string& folder,
                  const std::function<void(const WIN32_FIND_DATAW&)>& visit) {
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
        const wchar_t* name = data.cFileName;
        if (std::wcscmp(name, L".") != 0 && std::wcscmp(name, L"..") != 0) visit(data);
    } while (FindNextFileW(find.get(), &data));
    const DWORD error = GetLastError();
    return error == ERROR_NO_MORE_FILES ? ERROR_SUCCESS : error;
}

}  // namespace tessaloom
