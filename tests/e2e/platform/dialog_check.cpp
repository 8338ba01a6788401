// The dialog side of the platform layer, run on the program's own dialog templates.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "checks.h"
#include "resources/resource.h"

namespace tessaloom_checks {

namespace {

using tessaloom::Handle;
using tessaloom::Message;
using tessaloom::Win32Platform;

constexpr UINT kHandledMessage = WM_APP + 1;    // the sink answers 1234
constexpr UINT kUnhandledMessage = WM_APP + 2;  // the sink leaves it to the dialog manager
constexpr UINT_PTR kStartTimer = 1;
constexpr UINT_PTR kAnswerBoxTimer = 2;
constexpr char kBoxTitle[] = "platform-checks box";

int g_failures = 0;

void Check(bool condition, const char* what) {
    if (condition) return;
    ++g_failures;
    std::printf("dialog: FAILED: %s\n", what);
}

HWND AsWindow(Handle handle) { return static_cast<HWND>(handle); }

POINT CentreOf(const RECT& rect) {
    POINT centre = {(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
    return centre;
}

bool NearlyEqual(POINT a, POINT b) { return std::abs(a.x - b.x) <= 1 && std::abs(a.y - b.y) <= 1; }

// The About box: centred over its owner, ended from WM_INITDIALOG.
class AboutSink : public tessaloom::DialogSink {
public:
    AboutSink(Win32Platform& platform, HWND owner) : m_platform(platform), m_owner(owner) {}

    bool HandleMessage(Handle window, const Message& message, std::intptr_t& result) override {
        if (message.id != WM_INITDIALOG) return false;
        m_platform.Center(window, m_owner);
        RECT rect;
        RECT ownerRect;
        GetWindowRect(AsWindow(window), &rect);
        GetWindowRect(m_owner, &ownerRect);
        Check(NearlyEqual(CentreOf(rect), CentreOf(ownerRect)), "About box centred on its owner");
        Check(GetWindow(AsWindow(window), GW_OWNER) == m_owner, "About box owned by its parent");
        m_platform.EndModal(window, 7);
        result = TRUE;
        return true;
    }

private:
    Win32Platform& m_platform;
    HWND m_owner;
};

class MainSink : public tessaloom::DialogSink {
public:
    explicit MainSink(Win32Platform& platform) : m_platform(platform) {}

    bool HandleMessage(Handle window, const Message& message, std::intptr_t& result) override {
        HWND hwnd = AsWindow(window);
        switch (message.id) {
            case WM_INITDIALOG:
                InitDialog(hwnd);
                result = TRUE;
                return true;
            case WM_TIMER:
                if (message.wParam == kStartTimer) {
                    KillTimer(hwnd, kStartTimer);
                    Run(hwnd);
                } else if (message.wParam == kAnswerBoxTimer) {
                    KillTimer(hwnd, kAnswerBoxTimer);
                    AnswerBox(hwnd);
                }
                return true;
            case WM_QUERYDRAGICON:
                result = reinterpret_cast<std::intptr_t>(m_icon);
                return true;
            case WM_PAINT:
                if (!m_paintWanted) return false;
                Paint(hwnd);
                return true;
            case kHandledMessage:
                result = 1234;
                return true;
            default:
                return false;
        }
    }

private:
    void InitDialog(HWND dialog) {
        Win32Platform& p = m_platform;
        Check(p.AppName() == "platform-checks", "AppName is the file name without extension");
        Check(p.LoadStringResource(IDS_ABOUTBOX) == "&About Tessaloom...", "string resource");
        Check(p.LoadStringResource(9999).empty(), "missing string resource is empty");
        m_icon = static_cast<HICON>(p.LoadIconResource(IDR_MAINFRAME));
        Check(m_icon != nullptr, "icon resource");

        // The drop-down list keeps insertion order.
        Handle combo = p.DialogItem(dialog, IDC_SERVER_COMBO);
        Check(combo != nullptr, "combo box item");
        Check(p.DialogItem(dialog, 4242) == nullptr, "missing item is null");
        Check(p.ComboGetCount(combo) == 0 && p.ComboGetCurSel(combo) == -1, "empty combo box");
        Check(p.ComboAddString(combo, "Zulu") == 0, "first entry index");
        Check(p.ComboAddString(combo, "Alpha") == 1, "second entry appended, not sorted");
        Check(p.ComboGetCount(combo) == 2, "combo count");
        p.ComboSetCurSel(combo, 1);
        Check(p.ComboGetCurSel(combo) == 1, "combo selection");
        Check(p.ComboGetText(combo, 0) == "Zulu" && p.ComboGetText(combo, 1) == "Alpha",
              "combo entry texts");
        Check(p.ComboGetText(combo, 5).empty(), "text of a missing entry is empty");

        // Texts of any length, and empty ones.
        Handle edit = p.DialogItem(dialog, IDC_SOURCE_EDIT);
        std::string longText(5000, 'x');
        longText += "\\end";
        p.SetText(edit, longText);
        Check(p.GetText(edit) == longText, "long edit text round trip");
        p.SetText(edit, "");
        Check(p.GetText(edit).empty(), "empty edit text");
        Check(p.GetText(dialog) == "Tessaloom V2.1", "dialog caption");

        // System menu entry.
        HMENU menu = static_cast<HMENU>(p.SystemMenu(dialog));
        Check(menu != nullptr, "system menu");
        if (menu != nullptr) {
            int before = GetMenuItemCount(menu);
            p.AppendMenuSeparator(menu);
            p.AppendMenuItem(menu, IDM_ABOUTBOX, "&About Tessaloom...");
            char text[64] = "";
            GetMenuStringA(menu, IDM_ABOUTBOX, text, sizeof text, MF_BYCOMMAND);
            Check(
                GetMenuItemCount(menu) == before + 2 && std::string(text) == "&About Tessaloom...",
                "system menu separator and item");
        }

        p.SetWindowIcon(dialog, m_icon, true);
        p.SetWindowIcon(dialog, m_icon, false);
        Check(
            reinterpret_cast<HICON>(SendMessageA(dialog, WM_GETICON, ICON_BIG, 0)) == m_icon &&
                reinterpret_cast<HICON>(SendMessageA(dialog, WM_GETICON, ICON_SMALL, 0)) == m_icon,
            "window icons");

        // Centred on the work area.
        p.Center(dialog, nullptr);
        RECT rect;
        RECT work;
        GetWindowRect(dialog, &rect);
        SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
        Check(NearlyEqual(CentreOf(rect), CentreOf(work)), "dialog centred on the work area");
        tessaloom::Rect client = p.ClientRect(dialog);
        Check(client.Width() > 0 && client.Height() > 0 && client.left == 0, "client rectangle");
        Check(!p.IsMinimized(dialog), "not minimized");
        Check(p.SystemMetric(tessaloom::kSmCxIcon) > 0, "system metric");

        SetTimer(dialog, kStartTimer, 100, nullptr);
    }

    void Run(HWND dialog) {
        Win32Platform& p = m_platform;
        // Message results: returned directly, through DWLP_MSGRESULT, or by default handling.
        Check(reinterpret_cast<HICON>(p.Send(dialog, {WM_QUERYDRAGICON, 0, 0})) == m_icon,
              "WM_QUERYDRAGICON result returned directly");
        Check(p.Send(dialog, {kHandledMessage, 0, 0}) == 1234, "handled message result");
        Check(p.Send(dialog, {kUnhandledMessage, 0, 0}) == 0, "unhandled message result");

        // Painting through the sink validates the window.
        m_paintWanted = true;
        InvalidateRect(dialog, nullptr, TRUE);
        UpdateWindow(dialog);
        m_paintWanted = false;
        Check(m_painted, "WM_PAINT routed to the sink");
        Check(!GetUpdateRect(dialog, nullptr, FALSE), "painting validated the window");

        // A nested dialog.
        AboutSink about(p, dialog);
        Check(p.RunModalDialog(IDD_ABOUTBOX, dialog, about) == 7, "nested dialog result");

        // A message box is owned by the innermost dialog and returns the answer.
        SetTimer(dialog, kAnswerBoxTimer, 300, nullptr);
        int answer =
            p.ShowMessageBox("Answered by the check", kBoxTitle,
                             tessaloom::kMbRetryCancel | tessaloom::kMbIconExclamation, 4321);
        Check(m_boxFound, "message box shown");
        Check(m_boxOwner == dialog, "message box owned by the running dialog");
        Check(answer == tessaloom::kIdRetry, "message box answer");

        p.EndModal(dialog, 42);
    }

    void Paint(HWND dialog) {
        Handle dc = m_platform.StartPaint(dialog);
        Check(dc != nullptr, "paint device context");
        m_platform.PaintIcon(dc, 0, 0, m_icon);
        m_platform.FinishPaint(dialog);
        m_painted = true;
    }

    static BOOL CALLBACK FindBox(HWND window, LPARAM param) {
        char title[64] = "";
        GetWindowTextA(window, title, sizeof title);
        if (std::string(title) != kBoxTitle) return TRUE;
        *reinterpret_cast<HWND*>(param) = window;
        return FALSE;
    }

    void AnswerBox(HWND dialog) {
        HWND box = nullptr;
        EnumThreadWindows(GetCurrentThreadId(), FindBox, reinterpret_cast<LPARAM>(&box));
        m_boxFound = box != nullptr;
        if (box == nullptr) {
            // Not there yet: look again for a while, then end the program's loops.
            if (++m_boxLookups < 20) {
                SetTimer(dialog, kAnswerBoxTimer, 300, nullptr);
            } else {
                PostQuitMessage(1);
            }
            return;
        }
        m_boxOwner = GetWindow(box, GW_OWNER);
        PostMessageA(box, WM_COMMAND, IDRETRY, 0);
    }

    Win32Platform& m_platform;
    HICON m_icon = nullptr;
    bool m_paintWanted = false;
    bool m_painted = false;
    bool m_boxFound = false;
    int m_boxLookups = 0;
    HWND m_boxOwner = nullptr;
};

// For a dialog that is never created.
class UnusedSink : public tessaloom::DialogSink {
public:
    bool HandleMessage(Handle, const Message&, std::intptr_t&) override { return false; }
};

}  // namespace

bool RunDialogChecks(Win32Platform& platform) {
    g_failures = 0;
    MainSink sink(platform);
    std::intptr_t result = platform.RunModalDialog(IDD_TESSALOOM_DIALOG, nullptr, sink);
    Check(result == 42, "dialog result is the value passed to EndModal");
    Check(!platform.DialogCreationFailed(), "dialog created");

    UnusedSink unused;
    Check(platform.RunModalDialog(9999, nullptr, unused) == -1, "missing template gives -1");
    Check(platform.DialogCreationFailed(), "missing template recorded");

    std::printf("dialog: %s\n", g_failures == 0 ? "all checks passed" : "UNEXPECTED");
    return g_failures == 0;
}

}  // namespace tessaloom_checks
