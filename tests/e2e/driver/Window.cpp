#include "Window.h"

#include <cstdio>

namespace e2e {

namespace {

BOOL CALLBACK CollectTopLevel(HWND window, LPARAM param) {
    reinterpret_cast<std::vector<HWND>*>(param)->push_back(window);
    return TRUE;
}

}  // namespace

std::string ClassOf(HWND window) {
    wchar_t name[256];
    int length = GetClassNameW(window, name, 256);
    return length > 0 ? Narrow(name, static_cast<std::size_t>(length)) : std::string();
}

bool TrySend(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    DWORD_PTR answer = 0;
    if (!SendMessageTimeoutW(window, message, wParam, lParam, SMTO_ABORTIFHUNG, kSendTimeoutMs,
                             &answer)) {
        return false;
    }
    result = static_cast<LRESULT>(answer);
    return true;
}

LRESULT SendChecked(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    LRESULT result = 0;
    if (!TrySend(window, message, wParam, lParam, result)) {
        if (!IsWindow(window)) Fail("the window went away while sending " + Hex(message));
        Fail("a " + ClassOf(window) + " window did not answer message " + Hex(message) +
             " within " + std::to_string(kSendTimeoutMs) + " ms");
    }
    return result;
}

std::string TextOf(HWND window) {
    // A window that goes away meanwhile (a closing message box) reads as empty.
    LRESULT length = 0;
    if (!TrySend(window, WM_GETTEXTLENGTH, 0, 0, length)) {
        if (!IsWindow(window)) return std::string();
        SendChecked(window, WM_GETTEXTLENGTH, 0, 0);  // fails, naming the hung window
    }
    if (length <= 0) return std::string();
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    LRESULT copied = 0;
    if (!TrySend(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(&text[0]), copied)) {
        if (!IsWindow(window)) return std::string();
        SendChecked(window, WM_GETTEXT, 0, 0);
    }
    if (copied < 0) copied = 0;
    return Narrow(text.data(), static_cast<std::size_t>(copied));
}

std::string StoredTextOf(HWND window) {
    wchar_t text[512];
    int length = InternalGetWindowText(window, text, 512);
    return length > 0 ? Narrow(text, static_cast<std::size_t>(length)) : std::string();
}

bool IsShown(HWND window) {
    return window != nullptr && IsWindow(window) && IsWindowVisible(window);
}

int ControlId(HWND window) { return GetDlgCtrlID(window) & 0xFFFF; }

LONG StyleOf(HWND window) { return GetWindowLongW(window, GWL_STYLE); }

bool IsIconStatic(HWND window) {
    return ClassOf(window) == "Static" && (StyleOf(window) & SS_TYPEMASK) == SS_ICON;
}

std::vector<HWND> AllTopLevelWindows() {
    std::vector<HWND> windows;
    EnumWindows(CollectTopLevel, reinterpret_cast<LPARAM>(&windows));
    return windows;
}

std::vector<HWND> TopLevelWindows(DWORD pid) {
    std::vector<HWND> windows;
    for (HWND window : AllTopLevelWindows()) {
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        if (owner == pid) windows.push_back(window);
    }
    return windows;
}

std::vector<HWND> ChildWindows(HWND parent) {
    std::vector<HWND> children;
    for (HWND child = GetWindow(parent, GW_CHILD); child != nullptr;
         child = GetWindow(child, GW_HWNDNEXT)) {
        children.push_back(child);
    }
    return children;
}

HWND ChildById(HWND parent, int id) {
    for (HWND child : ChildWindows(parent)) {
        if (ControlId(child) == (id & 0xFFFF)) return child;
    }
    return nullptr;
}

HWND FindDialog(DWORD pid, const std::string& title) {
    for (HWND window : TopLevelWindows(pid)) {
        if (ClassOf(window) == kDialogClass && TextOf(window) == title) return window;
    }
    return nullptr;
}

HWND WaitForDialog(const AppProcess& app, const std::string& title, DWORD timeoutMs) {
    const unsigned long long start = GetTickCount64();
    HWND dialog = nullptr;
    bool shown = WaitUntil(
        [&] {
            app.CheckRunning("the dialog " + Quote(title));
            dialog = FindDialog(app.Id(), title);
            return IsShown(dialog);
        },
        timeoutMs);
    if (!shown) {
        Fail("no visible dialog " + Quote(title) + " within " + std::to_string(timeoutMs) + " ms" +
             (dialog != nullptr ? " (it exists but stays hidden)" : "") +
             "; windows of the program:\n" + DescribeWindows(app.Id()));
    }
    Note("dialog " + Quote(title) + " visible after " + std::to_string(ElapsedMs(start)) + " ms");
    return dialog;
}

HWND FocusOf(HWND window) {
    GUITHREADINFO info = {};
    info.cbSize = sizeof info;
    DWORD thread = GetWindowThreadProcessId(window, nullptr);
    if (thread == 0 || !GetGUIThreadInfo(thread, &info)) return nullptr;
    return info.hwndFocus;
}

void SetTextOf(HWND window, const std::string& text) {
    std::wstring wide = Widen(text);
    if (!SendChecked(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(wide.c_str()))) {
        Fail("WM_SETTEXT refused by a " + ClassOf(window) + " window");
    }
}

void PostClick(HWND dialog, int controlId) {
    HWND button = GetDlgItem(dialog, controlId);
    if (button == nullptr) Fail("the dialog has no control " + std::to_string(controlId));
    if (!IsWindowEnabled(button)) Fail("control " + std::to_string(controlId) + " is disabled");
    if (!PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(controlId, BN_CLICKED),
                      reinterpret_cast<LPARAM>(button))) {
        Fail("cannot post a click to the dialog (error " + std::to_string(GetLastError()) + ")");
    }
}

void PostEscape(HWND dialog) {
    HWND target = FocusOf(dialog);
    if (target == nullptr || (target != dialog && !IsChild(dialog, target))) target = dialog;
    // Repeat count 1, scan code 1 (Escape); the key-up also has the previous-state and
    // transition bits.
    const LPARAM down = 0x00010001;
    const LPARAM up = static_cast<LPARAM>(0xC0010001u);
    // The dialog acts on the key-down: on a busy machine it may have closed before the key-up.
    const bool posted = PostMessageW(target, WM_KEYDOWN, VK_ESCAPE, down) &&
                        (PostMessageW(target, WM_KEYUP, VK_ESCAPE, up) || !IsWindow(target));
    if (!posted) Fail("cannot post Escape (error " + std::to_string(GetLastError()) + ")");
}

void PostCloseBox(HWND window) {
    if (!PostMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0)) {
        Fail("cannot post SC_CLOSE (error " + std::to_string(GetLastError()) + ")");
    }
}

void PostClose(HWND window) {
    if (!PostMessageW(window, WM_CLOSE, 0, 0)) {
        Fail("cannot post WM_CLOSE (error " + std::to_string(GetLastError()) + ")");
    }
}

int ComboCount(HWND combo) { return static_cast<int>(SendChecked(combo, CB_GETCOUNT, 0, 0)); }

int ComboSelection(HWND combo) { return static_cast<int>(SendChecked(combo, CB_GETCURSEL, 0, 0)); }

void ComboSelect(HWND combo, int index) {
    LRESULT result = SendChecked(combo, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    if (index >= 0 && result != index) Fail("CB_SETCURSEL " + std::to_string(index) + " refused");
}

std::string ComboItem(HWND combo, int index) {
    LRESULT length = SendChecked(combo, CB_GETLBTEXTLEN, static_cast<WPARAM>(index), 0);
    if (length == CB_ERR) Fail("the combo box has no item " + std::to_string(index));
    // Generous: the cross-process copy sizes its buffer by the item's length.
    std::wstring text(static_cast<std::size_t>(length) + 256, L'\0');
    LRESULT copied = SendChecked(combo, CB_GETLBTEXT, static_cast<WPARAM>(index),
                                 reinterpret_cast<LPARAM>(&text[0]));
    if (copied == CB_ERR || copied < 0) Fail("cannot read item " + std::to_string(index));
    return Narrow(text.data(), static_cast<std::size_t>(copied));
}

std::vector<std::string> ComboItems(HWND combo) {
    std::vector<std::string> items;
    int count = ComboCount(combo);
    for (int i = 0; i < count; ++i) items.push_back(ComboItem(combo, i));
    return items;
}

std::string DescribeWindows(DWORD pid) {
    std::string text;
    char line[160];
    for (HWND window : TopLevelWindows(pid)) {
        std::snprintf(line, sizeof line, "  %s%s ", ClassOf(window).c_str(),
                      IsWindowVisible(window) ? "" : " (hidden)");
        text += line + Quote(StoredTextOf(window)) + "\n";
        if (ClassOf(window) != kDialogClass) continue;
        for (HWND child : ChildWindows(window)) {
            std::snprintf(line, sizeof line, "    %s id=%d style=0x%08lx%s ",
                          ClassOf(child).c_str(), ControlId(child),
                          static_cast<unsigned long>(StyleOf(child)),
                          IsWindowVisible(child) ? "" : " (hidden)");
            text += line + Quote(StoredTextOf(child)) + "\n";
        }
    }
    return text.empty() ? "  (none)\n" : text;
}

}  // namespace e2e
