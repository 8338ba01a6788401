#include "platform/win32/Win32Platform.h"

#include <commctrl.h>
#include <ole2.h>
#include <shellapi.h>
#include <shlobj.h>
#include <wininet.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <initializer_list>
#include <memory>
#include <new>
#include <string>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "paths/Paths.h"
#include "platform/MemoryStream.h"
#include "platform/http/Fetch.h"
#include "platform/win32/Files.h"
#include "platform/win32/ScopedHandles.h"
#include "platform/win32/Shell.h"
#include "platform/win32/Text.h"
#include "platform/win32/WinInetTransport.h"

namespace tessaloom {

namespace {

// A fetch fails when nothing arrives for the first time, or when it has not finished in the
// second. The end-to-end tests build the program with shorter ones.
#if !defined(TESSALOOM_FETCH_TIMEOUT_SECONDS) || !defined(TESSALOOM_FETCH_TOTAL_SECONDS)
#error \
    "TESSALOOM_FETCH_TIMEOUT_SECONDS and TESSALOOM_FETCH_TOTAL_SECONDS must be defined by the build"
#endif
constexpr FetchTimes kFetchTimes = {TESSALOOM_FETCH_TIMEOUT_SECONDS * 1000,
                                    TESSALOOM_FETCH_TOTAL_SECONDS * 1000};

HWND AsWindow(Handle handle) { return static_cast<HWND>(handle); }

}  // namespace

// What the dialog procedure needs of a dialog run by RunModalDialog.
struct Win32Platform::DialogContext {
    Win32Platform* platform;
    DialogSink* sink;
    HWND window;
};

Win32Platform::Win32Platform(HINSTANCE instance) : m_application(instance) {}

// --- Application ------------------------------------------------------------------------

bool Win32Platform::SocketInit() { return m_application.SocketInit(); }

void Win32Platform::InitCommonControls() { Application::InitCommonControls(); }

std::string Win32Platform::AppName() { return m_application.AppName(); }

std::string Win32Platform::LoadStringResource(unsigned id) {
    return m_application.LoadStringResource(id);
}

Handle Win32Platform::LoadIconResource(unsigned id) { return m_application.LoadIconResource(id); }

void Win32Platform::PostQuit(int exitCode) { Application::PostQuit(exitCode); }

void Win32Platform::ShowWaitCursor(bool wait) { m_application.ShowWaitCursor(wait); }

// --- Message boxes ----------------------------------------------------------------------

int Win32Platform::ShowMessageBox(const std::string& text, const std::string& title, unsigned style,
                                  unsigned helpContext) {
    const std::wstring wideText = Utf16FromUtf8(text);
    const std::wstring wideTitle = Utf16FromUtf8(title);
    MSGBOXPARAMSW params = {};
    params.cbSize = sizeof params;
    // Owned by the innermost dialog while it can be seen. The list's retry prompt comes before
    // the main dialog shows: owned by a hidden window it would get no taskbar button and stay
    // behind the windows the user went on to.
    HWND owner = m_modalDialogs.empty() ? nullptr : m_modalDialogs.back();
    if (owner != nullptr && !IsWindowVisible(owner)) owner = nullptr;
    params.hwndOwner = owner;
    params.hInstance = m_application.Instance();
    params.lpszText = wideText.c_str();
    params.lpszCaption = wideTitle.c_str();
    params.dwStyle = style;
    params.dwContextHelpId = helpContext;
    return MessageBoxIndirectW(&params);
}

// --- Dialogs and controls ---------------------------------------------------------------

INT_PTR CALLBACK Win32Platform::DialogProc(HWND dialog, UINT message, WPARAM wParam,
                                           LPARAM lParam) {
    DialogContext* context = nullptr;
    if (message == WM_INITDIALOG) {
        context = reinterpret_cast<DialogContext*>(lParam);
        SetWindowLongPtrW(dialog, DWLP_USER, lParam);
        context->window = dialog;
        context->platform->m_modalDialogs.push_back(dialog);
    } else {
        context = reinterpret_cast<DialogContext*>(GetWindowLongPtrW(dialog, DWLP_USER));
        if (context == nullptr) return FALSE;  // before WM_INITDIALOG
    }

    Message routed;
    routed.id = message;
    routed.wParam = wParam;
    routed.lParam = lParam;
    std::intptr_t result = 0;
    bool handled = context->sink->HandleMessage(dialog, routed, result);

    if (message == WM_NCDESTROY) {
        SetWindowLongPtrW(dialog, DWLP_USER, 0);
        context->platform->ForgetDialog(dialog);
    }

    switch (message) {
        case WM_INITDIALOG:
            return handled ? static_cast<INT_PTR>(result) : TRUE;
        // Messages whose result is the dialog procedure's return value.
        case WM_QUERYDRAGICON:
        case WM_CTLCOLORMSGBOX:
        case WM_CTLCOLOREDIT:
        case WM_CTLCOLORLISTBOX:
        case WM_CTLCOLORBTN:
        case WM_CTLCOLORDLG:
        case WM_CTLCOLORSCROLLBAR:
        case WM_CTLCOLORSTATIC:
        case WM_COMPAREITEM:
        case WM_VKEYTOITEM:
        case WM_CHARTOITEM:
            return handled ? static_cast<INT_PTR>(result) : FALSE;
        default:
            if (!handled) return FALSE;
            SetWindowLongPtrW(dialog, DWLP_MSGRESULT, static_cast<LONG_PTR>(result));
            return TRUE;
    }
}

void Win32Platform::ForgetDialog(HWND dialog) {
    m_modalDialogs.erase(std::remove(m_modalDialogs.begin(), m_modalDialogs.end(), dialog),
                         m_modalDialogs.end());
}

std::intptr_t Win32Platform::RunModalDialog(unsigned templateId, Handle parent, DialogSink& sink) {
    DialogContext context = {this, &sink, nullptr};
    INT_PTR result =
        DialogBoxParamW(m_application.Instance(), MAKEINTRESOURCEW(templateId), AsWindow(parent),
                        DialogProc, reinterpret_cast<LPARAM>(&context));
    if (context.window != nullptr) ForgetDialog(context.window);
    if (result == -1) {
        DWORD error = GetLastError();
        m_dialogCreationFailed = true;
        std::fprintf(stderr, "%s: cannot create dialog %u: %s (error %lu)\n", AppName().c_str(),
                     templateId, SystemMessage(error).c_str(), static_cast<unsigned long>(error));
        std::fflush(stderr);
    }
    return result;
}

void Win32Platform::EndModal(Handle dialog, std::intptr_t result) {
    EndDialog(AsWindow(dialog), static_cast<INT_PTR>(result));
}

void Win32Platform::Center(Handle window, Handle over) {
    HWND hwnd = AsWindow(window);
    HWND owner = AsWindow(over);
    RECT rect;
    if (!GetWindowRect(hwnd, &rect)) return;

    RECT work;
    MONITORINFO monitorInfo = {};
    monitorInfo.cbSize = sizeof monitorInfo;
    HMONITOR monitor = MonitorFromWindow(owner != nullptr ? owner : hwnd, MONITOR_DEFAULTTONEAREST);
    if (monitor != nullptr && GetMonitorInfoW(monitor, &monitorInfo)) {
        work = monitorInfo.rcWork;
    } else if (!SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0)) {
        work.left = 0;
        work.top = 0;
        work.right = GetSystemMetrics(SM_CXSCREEN);
        work.bottom = GetSystemMetrics(SM_CYSCREEN);
    }

    // A minimized or hidden owner has no useful rectangle: use the work area then.
    RECT area = work;
    RECT ownerRect;
    if (owner != nullptr && IsWindowVisible(owner) && !IsIconic(owner) &&
        GetWindowRect(owner, &ownerRect)) {
        area = ownerRect;
    }

    int width = rect.right - rect.left;
    int height = rect.bottom - rect.top;
    int x = area.left + ((area.right - area.left) - width) / 2;
    int y = area.top + ((area.bottom - area.top) - height) / 2;
    // Keep it on screen, its top-left corner first.
    x = std::max(static_cast<int>(work.left), std::min(x, static_cast<int>(work.right) - width));
    y = std::max(static_cast<int>(work.top), std::min(y, static_cast<int>(work.bottom) - height));
    SetWindowPos(hwnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

Handle Win32Platform::DialogItem(Handle dialog, int id) { return GetDlgItem(AsWindow(dialog), id); }

std::string Win32Platform::GetText(Handle window) {
    HWND hwnd = AsWindow(window);
    // The length may be larger than the text (never smaller).
    const int length = GetWindowTextLengthW(hwnd);
    if (length <= 0) return std::string();
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    const int copied = GetWindowTextW(hwnd, &text[0], static_cast<int>(text.size()));
    return Utf8FromUtf16(text.data(), static_cast<std::size_t>(std::max(copied, 0)));
}

void Win32Platform::SetText(Handle window, const std::string& text) {
    SetWindowTextW(AsWindow(window), Utf16FromUtf8(text).c_str());
}

int Win32Platform::ComboAddString(Handle combo, const std::string& text) {
    const std::wstring wide = Utf16FromUtf8(text);
    return static_cast<int>(
        SendMessageW(AsWindow(combo), CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(wide.c_str())));
}

int Win32Platform::ComboGetCount(Handle combo) {
    LRESULT count = SendMessageW(AsWindow(combo), CB_GETCOUNT, 0, 0);
    return count == CB_ERR ? 0 : static_cast<int>(count);
}

int Win32Platform::ComboGetCurSel(Handle combo) {
    LRESULT index = SendMessageW(AsWindow(combo), CB_GETCURSEL, 0, 0);
    return index == CB_ERR ? -1 : static_cast<int>(index);
}

void Win32Platform::ComboSetCurSel(Handle combo, int index) {
    SendMessageW(AsWindow(combo), CB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

std::string Win32Platform::ComboGetText(Handle combo, int index) {
    HWND hwnd = AsWindow(combo);
    // In characters, without the terminator.
    const LRESULT length = SendMessageW(hwnd, CB_GETLBTEXTLEN, static_cast<WPARAM>(index), 0);
    if (length == CB_ERR || length <= 0) return std::string();
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    const LRESULT copied = SendMessageW(hwnd, CB_GETLBTEXT, static_cast<WPARAM>(index),
                                        reinterpret_cast<LPARAM>(&text[0]));
    if (copied == CB_ERR || copied < 0) return std::string();
    return Utf8FromUtf16(text.data(), std::min(static_cast<std::size_t>(copied), text.size() - 1));
}

// --- Window furniture -------------------------------------------------------------------

void Win32Platform::AddSystemMenuEntry(Handle window, unsigned commandId, const std::string& text) {
    HMENU menu = GetSystemMenu(AsWindow(window), FALSE);
    if (menu == nullptr) return;
    AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(menu, MF_STRING, static_cast<UINT_PTR>(commandId), Utf16FromUtf8(text).c_str());
}

void Win32Platform::SetWindowIcon(Handle window, Handle icon, bool big) {
    SendMessageW(AsWindow(window), WM_SETICON, big ? ICON_BIG : ICON_SMALL,
                 reinterpret_cast<LPARAM>(icon));
}

bool Win32Platform::IsMinimized(Handle window) { return IsIconic(AsWindow(window)) != FALSE; }

void Win32Platform::PaintMinimizedIcon(Handle window, Handle icon) {
    HWND hwnd = AsWindow(window);
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(hwnd, &paint);
    if (dc == nullptr) return;
    SendMessageW(hwnd, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    RECT rect;
    GetClientRect(hwnd, &rect);
    const Point at = CentredIconPosition({rect.left, rect.top, rect.right, rect.bottom},
                                         GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON));
    DrawIcon(dc, at.x, at.y, static_cast<HICON>(icon));
    EndPaint(hwnd, &paint);
}

// --- Network ----------------------------------------------------------------------------

ResultCode Win32Platform::FetchUrl(const std::string& url, const FetchLimit& limit,
                                   StreamPtr& stream) {
    if (!m_transport)
        m_transport = std::make_unique<WinInetTransport>(AppName(), kFetchTimes.silenceMs);
    return FetchWithRules(*m_transport, url, limit, kFetchTimes, stream);
}

// --- Text -------------------------------------------------------------------------------

std::string Win32Platform::DecodeText(const std::string& text, TextEncoding encoding) {
    return tessaloom::DecodeText(text, encoding);
}

std::string Win32Platform::FoldCase(const std::string& name) { return tessaloom::FoldCase(name); }

// --- Shell and files --------------------------------------------------------------------

BrowseResult Win32Platform::BrowseForFolder(const std::string& title, std::string& path) {
    return tessaloom::BrowseForFolder(title, path);
}

CopyResult Win32Platform::ShellCopy(Handle owner, const std::string& from, const std::string& to) {
    return tessaloom::ShellCopy(AsWindow(owner), from, to);
}

void Win32Platform::OpenFolder(const std::string& path) { tessaloom::OpenFolder(path); }

bool Win32Platform::ProbeFile(const std::string& path) { return tessaloom::ProbeFile(path); }

bool Win32Platform::WriteWholeFile(const std::string& path, const void* data, std::size_t size,
                                   std::string& error) {
    return tessaloom::WriteWholeFile(path, data, size, error);
}

bool Win32Platform::ListFolder(const std::string& folder, std::vector<FolderEntry>& entries,
                               std::string& error) {
    return tessaloom::ListFolder(folder, entries, error);
}

bool Win32Platform::IdentifyFile(const std::string& path, FileId& id) {
    return tessaloom::IdentifyFile(path, id);
}

bool Win32Platform::QueryVolumeSpace(const std::string& folder, VolumeSpace& space) {
    return tessaloom::QueryVolumeSpace(folder, space);
}

bool Win32Platform::CanCreateFileIn(const std::string& folder, std::string& error) {
    return tessaloom::CanCreateFileIn(folder, error);
}

}  // namespace tessaloom
