// The shell's "Browse for Folder" window of the program under test, driven from outside:
// found by the instruction the program gives it, its folder tree read with memory in the
// program's process, folders expanded and selected with tree-view messages, and OK or Cancel
// clicked with posted messages.
//
// The tree starts at the desktop; under Wine the desktop holds "/", the root of the Unix file
// system, which is drive Z:. A folder is reached through "/" and the components of its path.
#pragma once

#include <string>

#include "Driver.h"
#include "Process.h"

namespace e2e {

// Control id of the picker's folder tree and of the static showing the instruction.
constexpr int kPickerTreeId = 0x3741;
constexpr int kPickerInstructionId = 0x3742;

class FolderPicker {
public:
    // Waits until process `app` shows a picker whose instruction reads `instruction`; fails
    // after `timeoutMs`, when the process ends, or when the picker shows another instruction.
    static FolderPicker WaitFor(const AppProcess& app, const std::string& instruction,
                                DWORD timeoutMs = kWindowTimeoutMs);
    // A visible picker of process `pid`; null when none is shown.
    static HWND Find(DWORD pid);

    HWND Window() const { return m_window; }
    std::string Instruction() const;

    // Expands "/" and the components of `folder` (a Unix path or a path on drive Z:) and
    // selects the last one; "/" and "Z:\" select the root itself.
    void Select(const std::string& folder) const;
    // Posts OK (or Cancel) and waits until the picker has closed.
    void ClickOk() const;
    void ClickCancel() const;

private:
    FolderPicker(DWORD pid, HWND window, HWND tree) : m_pid(pid), m_window(window), m_tree(tree) {}
    void Close(int buttonId, const std::string& label) const;

    DWORD m_pid;
    HWND m_window;
    HWND m_tree;
};

// Waits for a picker of `app` with `instruction`, selects `folder` in it and clicks OK.
void PickFolder(const AppProcess& app, const std::string& instruction, const std::string& folder);
// Waits for a picker of `app` with `instruction` and clicks Cancel.
void CancelPicker(const AppProcess& app, const std::string& instruction);

}  // namespace e2e
