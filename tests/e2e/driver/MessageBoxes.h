// Message boxes of the program under test: found among its top-level windows, read
// (title, text, buttons, icon) and answered with a posted button command.
//
// A message box is a dialog (#32770) whose only text static has the id 0xFFFF; its other
// children are push buttons with the standard answer ids and the static of its icon.
// The icon static (SS_ICON) may exist without an icon: only a static that holds an icon
// counts as one.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "Driver.h"
#include "Process.h"

namespace e2e {

constexpr int kMessageBoxTextId = 0xFFFF;

struct MessageBoxButton {
    int id = 0;
    std::string text;  // as shown, with the mnemonic '&' removed
    HWND window = nullptr;
};

struct MessageBoxInfo {
    HWND window = nullptr;
    std::string title;
    std::string text;
    std::vector<MessageBoxButton> buttons;  // visible ones, left to right
    bool hasIcon = false;

    std::vector<std::string> ButtonTexts() const;
};

bool IsMessageBox(HWND window);
// Reads a message box; nullopt when `window` is not one (or has gone away).
std::optional<MessageBoxInfo> ReadMessageBox(HWND window);
// The visible message boxes of process `pid`.
std::vector<MessageBoxInfo> FindMessageBoxes(DWORD pid);

// Waits until the process shows a message box. `duringWait` runs at every poll (for checks
// that must hold until the box appears). Fails after `timeoutMs` or when the process ends.
MessageBoxInfo WaitForMessageBox(const AppProcess& app, DWORD timeoutMs,
                                 const std::function<void()>& duringWait = {});
// Fails when the process shows a message box now.
void CheckNoMessageBox(const AppProcess& app, const std::string& when);

// Clicks the answer `buttonId` (IDOK, IDRETRY, IDCANCEL...) and waits for the box to close.
void Answer(const MessageBoxInfo& box, int buttonId, DWORD timeoutMs = kReactTimeoutMs);

// Checks title, text, the set of buttons (by id, in order) and whether an icon is shown.
void CheckMessageBox(const MessageBoxInfo& box, const std::string& title, const std::string& text,
                     const std::vector<int>& buttonIds, bool hasIcon);

std::string Describe(const MessageBoxInfo& box);

}  // namespace e2e
