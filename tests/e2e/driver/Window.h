// Windows of another process, seen and driven from outside as a person would: found by
// class and title, read with messages that cross processes, and clicked with posted
// messages only (a sent message would block while the program sits in a modal loop).
#pragma once

#include <string>
#include <vector>

#include "Driver.h"
#include "Process.h"

namespace e2e {

// Class name of a dialog window.
constexpr char kDialogClass[] = "#32770";
// How long a message sent to the program may take before it counts as hung: well beyond its
// fetches' limits (a fetch holds up the dialog's thread), and a loaded machine's delays.
constexpr DWORD kSendTimeoutMs = kReactTimeoutMs;

// --- Reading ----------------------------------------------------------------------------------

std::string ClassOf(HWND window);
// The window's text through WM_GETTEXT (works for read-only edits of another process);
// empty when the window has gone away.
std::string TextOf(HWND window);
// The text the window manager holds for the window, read without sending a message:
// for diagnostics, where nothing may block or fail.
std::string StoredTextOf(HWND window);
bool IsShown(HWND window);   // exists and is visible
int ControlId(HWND window);  // low 16 bits of the control id, as dialog templates store it
LONG StyleOf(HWND window);
bool IsIconStatic(HWND window);  // a static control of style SS_ICON

// Top-level windows of every process, and of process `pid`, in z-order.
std::vector<HWND> AllTopLevelWindows();
std::vector<HWND> TopLevelWindows(DWORD pid);
// Direct children of `parent`, in z-order.
std::vector<HWND> ChildWindows(HWND parent);
// A direct child with the control id; null when there is none.
HWND ChildById(HWND parent, int id);

// Top-level dialog (#32770) of process `pid` titled `title`, visible or not; null if none.
HWND FindDialog(DWORD pid, const std::string& title);
// Waits until such a dialog is visible; fails after `timeoutMs` or when the process ends.
HWND WaitForDialog(const AppProcess& app, const std::string& title, DWORD timeoutMs);

// The window that has the keyboard focus in the thread of `window`; null if none.
HWND FocusOf(HWND window);

// A message sent with a timeout; false when the receiver did not answer or is gone.
bool TrySend(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);
// The same, failing when the receiver does not answer.
LRESULT SendChecked(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// --- Writing ----------------------------------------------------------------------------------

// WM_SETTEXT (sent: it only stores the text and returns).
void SetTextOf(HWND window, const std::string& text);

// --- Input ------------------------------------------------------------------------------------

// Clicks the button `controlId` of `dialog` with a posted WM_COMMAND BN_CLICKED.
void PostClick(HWND dialog, int controlId);
// Escape pressed in the focused control of `dialog` (or the dialog itself without focus).
void PostEscape(HWND dialog);
// The close box of the caption: WM_SYSCOMMAND SC_CLOSE.
void PostCloseBox(HWND window);
// A WM_CLOSE, as some other programs send it.
void PostClose(HWND window);

// --- Combo boxes (drop-down lists) ------------------------------------------------------------

int ComboCount(HWND combo);
int ComboSelection(HWND combo);  // CB_ERR (-1) when nothing is selected
void ComboSelect(HWND combo, int index);
std::string ComboItem(HWND combo, int index);
std::vector<std::string> ComboItems(HWND combo);

// --- Diagnostics ------------------------------------------------------------------------------

// One line per top-level window of the process and per child of its dialogs.
std::string DescribeWindows(DWORD pid);

}  // namespace e2e
