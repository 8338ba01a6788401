#include "platform/win32/Dialogs.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>

#include "platform/win32/Text.h"

namespace tessaloom {

// What the dialog procedure needs of a dialog run by RunModalDialog.
struct ModalDialogs::DialogContext {
    ModalDialogs* dialogs;
    DialogSink* sink;
    HWND window;
};

// --- Message boxes ----------------------------------------------------------------------

int ModalDialogs::ShowMessageBox(const std::string& text, const std::string& title, unsigned style,
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

INT_PTR CALLBACK ModalDialogs::DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    DialogContext* context = nullptr;
    if (message == WM_INITDIALOG) {
        context = reinterpret_cast<DialogContext*>(lParam);
        SetWindowLongPtrW(dialog, DWLP_USER, lParam);
        context->window = dialog;
        context->dialogs->m_modalDialogs.push_back(dialog);
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
        context->dialogs->ForgetDialog(dialog);
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

void ModalDialogs::ForgetDialog(HWND dialog) {
    m_modalDialogs.erase(std::remove(m_modalDialogs.begin(), m_modalDialogs.end(), dialog),
                         m_modalDialogs.end());
}

std::intptr_t ModalDialogs::RunModalDialog(unsigned templateId, HWND parent, DialogSink& sink) {
    DialogContext context = {this, &sink, nullptr};
    INT_PTR result = DialogBoxParamW(m_application.Instance(), MAKEINTRESOURCEW(templateId), parent,
                                     DialogProc, reinterpret_cast<LPARAM>(&context));
    if (context.window != nullptr) ForgetDialog(context.window);
    if (result == -1) {
        DWORD error = GetLastError();
        m_dialogCreationFailed = true;
        std::fprintf(stderr, "%s: cannot create dialog %u: %s (error %lu)\n",
                     m_application.AppName().c_str(), templateId, SystemMessage(error).c_str(),
                     static_cast<unsigned long>(error));
        std::fflush(stderr);
    }
    return result;
}

void EndModal(HWND dialog, std::intptr_t result) {
    EndDialog(dialog, static_cast<INT_PTR>(result));
}

void Center(HWND window, HWND over) {
    RECT rect;
    if (!GetWindowRect(window, &rect)) return;

    RECT work;
    MONITORINFO monitorInfo = {};
    monitorInfo.cbSize = sizeof monitorInfo;
    HMONITOR monitor = MonitorFromWindow(over != nullptr ? over : window, MONITOR_DEFAULTTONEAREST);
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
    if (over != nullptr && IsWindowVisible(over) && !IsIconic(over) &&
        GetWindowRect(over, &ownerRect)) {
        area = ownerRect;
    }

    int width = rect.right - rect.left;
    int height = rect.bottom - rect.top;
    int x = area.left + ((area.right - area.left) - width) / 2;
    int y = area.top + ((area.bottom - area.top) - height) / 2;
    // Keep it on screen, its top-left corner first.
    x = std::max(static_cast<int>(work.left), std::min(x, static_cast<int>(work.right) - width));
    y = std::max(static_cast<int>(work.top), std::min(y, static_cast<int>(work.bottom) - height));
    SetWindowPos(window, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

HWND DialogItem(HWND dialog, int id) { return GetDlgItem(dialog, id); }

std::string GetText(HWND window) {
    // The length may be larger than the text (never smaller).
    const int length = GetWindowTextLengthW(window);
    if (length <= 0) return std::string();
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    const int copied = GetWindowTextW(window, &text[0], static_cast<int>(text.size()));
    return Utf8FromUtf16(text.data(), static_cast<std::size_t>(std::max(copied, 0)));
}

void SetText(HWND window, const std::string& text) {
    SetWindowTextW(window, Utf16FromUtf8(text).c_str());
}

int ComboAddString(HWND combo, const std::string& text) {
    const std::wstring wide = Utf16FromUtf8(text);
    return static_cast<int>(
        SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(wide.c_str())));
}

int ComboGetCount(HWND combo) {
    LRESULT count = SendMessageW(combo, CB_GETCOUNT, 0, 0);
    return count == CB_ERR ? 0 : static_cast<int>(count);
}

int ComboGetCurSel(HWND combo) {
    LRESULT index = SendMessageW(combo, CB_GETCURSEL, 0, 0);
    return index == CB_ERR ? -1 : static_cast<int>(index);
}

void ComboSetCurSel(HWND combo, int index) {
    SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

std::string ComboGetText(HWND combo, int index) {
    // In characters, without the terminator.
    const LRESULT length = SendMessageW(combo, CB_GETLBTEXTLEN, static_cast<WPARAM>(index), 0);
    if (length == CB_ERR || length <= 0) return std::string();
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    const LRESULT copied = SendMessageW(combo, CB_GETLBTEXT, static_cast<WPARAM>(index),
                                        reinterpret_cast<LPARAM>(&text[0]));
    if (copied == CB_ERR || copied < 0) return std::string();
    return Utf8FromUtf16(text.data(), std::min(static_cast<std::size_t>(copied), text.size() - 1));
}

// --- Window furniture -------------------------------------------------------------------

void AddSystemMenuEntry(HWND window, unsigned commandId, const std::string& text) {
    HMENU menu = GetSystemMenu(window, FALSE);
    if (menu == nullptr) return;
    AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(menu, MF_STRING, static_cast<UINT_PTR>(commandId), Utf16FromUtf8(text).c_str());
}

void SetWindowIcon(HWND window, HICON icon, bool big) {
    SendMessageW(window, WM_SETICON, big ? ICON_BIG : ICON_SMALL, reinterpret_cast<LPARAM>(icon));
}

bool IsMinimized(HWND window) { return IsIconic(window) != FALSE; }

void PaintMinimizedIcon(HWND window, HICON icon) {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    if (dc == nullptr) return;
    SendMessageW(window, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    RECT rect;
    GetClientRect(window, &rect);
    const Point at = CentredIconPosition({rect.left, rect.top, rect.right, rect.bottom},
                                         GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON));
    DrawIcon(dc, at.x, at.y, icon);
    EndPaint(window, &paint);
}

}  // namespace tessaloom
