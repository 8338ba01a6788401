// The program's main dialog as a person sees it: caption, server selector, the two folder
// fields and the buttons.
#pragma once

#include <string>
#include <vector>

#include "Driver.h"
#include "Process.h"
#include "resources/resource.h"

namespace e2e {

constexpr char kMainDialogTitle[] = "Tessaloom V2.1";
// Title of the program's message boxes: the executable's name.
constexpr char kAppTitle[] = "Tessaloom";
// How long the program may take to show a window (Wine starts slowly on a fresh server).
constexpr DWORD kWindowTimeoutMs = 30000;
// How long the program may take to end after it was told to.
constexpr DWORD kExitTimeoutMs = 10000;

class MainDialog {
public:
    explicit MainDialog(HWND window) : window_(window) {}
    // Waits until the main dialog is visible; fails otherwise.
    static MainDialog WaitFor(const AppProcess& app, DWORD timeoutMs = kWindowTimeoutMs);

    HWND Window() const { return window_; }
    // The control `id`; fails when the dialog has none.
    HWND Item(int id) const;

    std::string Caption() const;
    std::vector<std::string> Servers() const;
    int SelectedServer() const;  // -1 when nothing is selected
    std::string SourceFolder() const;
    std::string DestinationFolder() const;

    void Click(int id) const;  // a posted button click
    void PressEscape() const;
    void ClickCloseBox() const;

private:
    HWND window_;
};

}  // namespace e2e
