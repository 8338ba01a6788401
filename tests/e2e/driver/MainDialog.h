// The program's main dialog as a person sees it: caption, server selector, the two folder
// fields and the buttons.
#pragma once

#include <string>
#include <vector>

#include "Constants.h"
#include "Driver.h"
#include "Process.h"
#include "resources/resource.h"

namespace e2e {

class MainDialog {
public:
    explicit MainDialog(HWND window) : m_window(window) {}
    // Waits until the main dialog is visible; fails otherwise.
    static MainDialog WaitFor(const AppProcess& app, DWORD timeoutMs = kWindowTimeoutMs);

    HWND Window() const { return m_window; }
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
    HWND m_window;
};

}  // namespace e2e
