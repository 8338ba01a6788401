#include "platform/win32/Shell.h"

#include <shellapi.h>
#include <shlobj.h>

#include <string>

#include "platform/win32/Text.h"

namespace tessaloom {

BrowseResult BrowseForFolder(const std::string& title, std::string& path) {
    // Both take buffers of MAX_PATH characters.
    wchar_t buffer[MAX_PATH] = {};
    const std::wstring wideTitle = Utf16FromUtf8(title);
    BROWSEINFOW info = {};
    info.hwndOwner = nullptr;
    info.pidlRoot = nullptr;
    info.pszDisplayName = buffer;
    info.lpszTitle = wideTitle.c_str();
    info.ulFlags = 0;
    info.lpfn = nullptr;
    PIDLIST_ABSOLUTE item = SHBrowseForFolderW(&info);
    if (item == nullptr) return BrowseResult::kCancelled;
    const BOOL isPath = SHGetPathFromIDListW(item, buffer);
    CoTaskMemFree(item);
    if (!isPath) return BrowseResult::kNotFileSystem;
    path = Utf8FromUtf16(buffer);
    return BrowseResult::kChosen;
}

CopyResult ShellCopy(HWND owner, const std::string& from, const std::string& to) {
    // Lists of one path each, ended by two zero characters (c_str adds the second).
    const std::wstring fromList = Utf16FromUtf8(from) + L'\0';
    const std::wstring toList = Utf16FromUtf8(to) + L'\0';
    SHFILEOPSTRUCTW operation = {};
    operation.hwnd = owner;
    operation.wFunc = FO_COPY;
    operation.pFrom = fromList.c_str();
    operation.pTo = toList.c_str();
    operation.fFlags = 0;
    CopyResult result;
    result.code = SHFileOperationW(&operation);
    result.aborted = operation.fAnyOperationsAborted != FALSE;
    return result;
}

void OpenFolder(const std::string& path) {
    ShellExecuteW(nullptr, L"open", Utf16FromUtf8(path).c_str(), nullptr, nullptr,
                  SW_SHOWNOACTIVATE);
}

}  // namespace tessaloom
