// The About box, opened through the system menu's command, and the main dialog's window
// furniture: its icon, minimizing and restoring.
#include <cstdlib>
#include <string>

#include "MainDialog.h"
#include "MessageBoxes.h"
#include "Scenario.h"
#include "Window.h"

namespace e2e {

namespace {

constexpr char kAboutVersion[] = "Tessaloom Version 1.3";
// How far the About box's centre may be from the main dialog's (rounding of odd sizes).
constexpr long kCentreTolerance = 3;

std::string RectText(const RECT& rect) {
    return "(" + std::to_string(rect.left) + ", " + std::to_string(rect.top) + ")-(" +
           std::to_string(rect.right) + ", " + std::to_string(rect.bottom) + ")";
}

RECT RectOf(HWND window) {
    RECT rect = {};
    if (!GetWindowRect(window, &rect)) Fail("cannot read a window's rectangle");
    return rect;
}

// Orange of the icon's front tile: nothing else in a caption has it.
bool IsIconOrange(COLORREF colour) {
    const int r = GetRValue(colour), g = GetGValue(colour), b = GetBValue(colour);
    return r >= 200 && g >= 100 && g <= 215 && b <= 110 && r - b >= 120;
}

// Pixels of the icon's orange in `area` of the screen.
int IconPixelsIn(const RECT& area) {
    const int width = area.right - area.left;
    const int height = area.bottom - area.top;
    if (width <= 0 || height <= 0) return 0;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, area.left, area.top, SRCCOPY);
    int count = 0;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            if (IsIconOrange(GetPixel(memory, x, y))) ++count;
        }
    }
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return count;
}

// The same in the caption bar of `window`.
int IconPixelsInCaption(HWND window) {
    RECT caption = RectOf(window);
    caption.bottom =
        caption.top + GetSystemMetrics(SM_CYCAPTION) + 2 * GetSystemMetrics(SM_CYFIXEDFRAME);
    return IconPixelsIn(caption);
}

// Enough pixels of the orange to tell the icon from anything else drawn there.
constexpr int kIconPixels = 4;

// The system menu command: posted, as the menu posts it, so that the About box's modal loop
// does not block the driver.
void PostSysCommand(const MainDialog& dialog, WPARAM command, const std::string& what) {
    Step("system menu command " + Hex(static_cast<unsigned long>(command)) + " (" + what + ")");
    if (!PostMessageW(dialog.Window(), WM_SYSCOMMAND, command, 0)) {
        Fail("cannot post WM_SYSCOMMAND (error " + std::to_string(GetLastError()) + ")");
    }
}

HWND ChildWithText(HWND parent, const std::string& cls, const std::string& text) {
    for (HWND child : ChildWindows(parent)) {
        if (ClassOf(child) == cls && TextOf(child) == text) return child;
    }
    return nullptr;
}

// Waits for the About box and checks it: owned by the main dialog, which it disables while
// it is open, centred over it, with the version text, the program's icon and an OK button.
HWND ExpectAboutBox(const AppProcess& app, const MainDialog& dialog) {
    HWND about = WaitForDialog(app, kAboutTitle, kWindowTimeoutMs);
    Check(GetWindow(about, GW_OWNER) == dialog.Window(),
          "the About box is owned by the main dialog");
    Check(!IsWindowEnabled(dialog.Window()),
          "the main dialog is disabled while the About box is open");
    Check(ChildWithText(about, "Static", kAboutVersion) != nullptr,
          "the About box says " + Quote(kAboutVersion));

    HWND ok = GetDlgItem(about, IDOK);
    Check(ok != nullptr && IsShown(ok) && IsWindowEnabled(ok),
          "the About box has an enabled OK button (id 1)");
    CheckEqual(TextOf(ok), "OK", "the About box's button");

    HWND icon = nullptr;
    for (HWND child : ChildWindows(about)) {
        if (IsIconStatic(child) && SendChecked(child, STM_GETICON, 0, 0) != 0) {
            icon = child;
        }
    }
    Check(icon != nullptr && IsShown(icon), "the About box shows an icon");
    int pixels = 0;
    WaitUntil([&] { return (pixels = IconPixelsIn(RectOf(icon))) >= kIconPixels; },
              kReactTimeoutMs);
    Check(pixels >= kIconPixels, "the About box's icon is the program's (" +
                                     std::to_string(pixels) + " pixels of its orange)");

    const RECT outer = RectOf(dialog.Window());
    const RECT inner = RectOf(about);
    Note("main dialog " + RectText(outer) + ", About box " + RectText(inner));
    // Twice the centre, to stay in whole pixels.
    const long dx = (inner.left + inner.right) - (outer.left + outer.right);
    const long dy = (inner.top + inner.bottom) - (outer.top + outer.bottom);
    Check(std::labs(dx) <= 2 * kCentreTolerance && std::labs(dy) <= 2 * kCentreTolerance,
          "the About box is centred over the main dialog (offset " + std::to_string(dx / 2) + ", " +
              std::to_string(dy / 2) + ")");
    return about;
}

void ExpectClosed(const MainDialog& dialog, HWND about, const std::string& after) {
    if (!WaitUntil([&] { return !IsShown(about); }, kReactTimeoutMs)) {
        Fail("the About box is still open " + std::to_string(kReactTimeoutMs) + " ms after " +
             after);
    }
    Check(true, after + " closes the About box");
    Check(WaitUntil([&] { return IsWindowEnabled(dialog.Window()) != FALSE; }, kReactTimeoutMs),
          "the main dialog is enabled again");
    Check(IsShown(dialog.Window()), "the main dialog is still shown");
}

// Duplicate with both folder fields empty: the program answers with its notice, so the
// dialog still handles its commands.
void ExpectDuplicateAnswers(const AppProcess& app, const MainDialog& dialog) {
    dialog.Click(IDC_DUPLICATE);
    MessageBoxInfo box = WaitForMessageBox(app, kWindowTimeoutMs);
    CheckMessageBox(box, kAppTitle, kNoSourceFolder, {IDOK}, true);
    Answer(box, IDOK);
    app.CheckRunning("the main dialog after the notice");
}

bool UnderWine() {
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

// The main dialog's large and small icons. Wine passes no icon messages between processes;
// there the icon must show in the caption bar, which a dialog with a modal frame has only
// when it was given an icon.
void CheckWindowIcons(HWND window) {
    if (!UnderWine()) {
        Check(SendChecked(window, WM_GETICON, ICON_BIG, 0) != 0,
              "the main dialog has a large icon");
        Check(SendChecked(window, WM_GETICON, ICON_SMALL, 0) != 0,
              "the main dialog has a small icon");
        return;
    }
    Note("Wine sends no WM_GETICON to another process: reading the caption bar");
    int pixels = 0;
    WaitUntil([&] { return (pixels = IconPixelsInCaption(window)) >= kIconPixels; },
              kReactTimeoutMs);
    Check(pixels >= kIconPixels, "the main dialog's caption shows the program's icon (" +
                                     std::to_string(pixels) + " pixels of its orange)");
}

}  // namespace

E2E_SCENARIO(about_box, "About box from the system menu command; window icon; minimize, restore") {
    ctx.catalogue.WriteFile(kServerListName, kTwoServers);
    AppProcess app = ctx.Launch();
    Step("wait for the main dialog");
    MainDialog dialog = MainDialog::WaitFor(app);
    CheckNoMessageBox(app, "over the main dialog");

    CheckWindowIcons(dialog.Window());

    PostSysCommand(dialog, IDM_ABOUTBOX, "About");
    HWND about = ExpectAboutBox(app, dialog);
    ctx.Screenshot("about-box");
    Step("click OK in the About box");
    PostClick(about, IDOK);
    ExpectClosed(dialog, about, "OK");
    ExpectDuplicateAnswers(app, dialog);

    // The low four bits of a system command are the system's own; the command still counts.
    PostSysCommand(dialog, IDM_ABOUTBOX | 0x000F, "About, low bits set");
    about = ExpectAboutBox(app, dialog);
    Step("press Escape in the About box");
    PostEscape(about);
    ExpectClosed(dialog, about, "Escape");

    const RECT before = RectOf(dialog.Window());
    PostSysCommand(dialog, SC_MINIMIZE, "minimize");
    Check(WaitUntil([&] { return IsIconic(dialog.Window()) != FALSE; }, kReactTimeoutMs),
          "the main dialog is minimized");
    CheckNoMessageBox(app, "while minimized");
    PostSysCommand(dialog, SC_RESTORE, "restore");
    Check(WaitUntil([&] { return !IsIconic(dialog.Window()) && IsShown(dialog.Window()); },
                    kReactTimeoutMs),
          "the main dialog is restored");
    const RECT after = RectOf(dialog.Window());
    CheckEqual(RectText(after), RectText(before), "the main dialog's place after restoring");
    CheckEqual(dialog.Servers(), kTwoServerNames, "server selector entries");
    ExpectDuplicateAnswers(app, dialog);

    dialog.Click(IDCANCEL);
    app.ExpectExit(0, kExitTimeoutMs, "Cancel");
}

}  // namespace e2e
