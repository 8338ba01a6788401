// The windows: modal dialogs made from the executable's templates, message boxes owned by the
// dialog the user sees, the dialogs' controls and their windows' furniture.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/Platform.h"
// Brings in windows.h, after Winsock 2.
#include "platform/win32/Application.h"

namespace tessaloom {

// Runs dialogs modally and keeps those running, for the owner of a message box.
class ModalDialogs {
public:
    explicit ModalDialogs(const Application& application) : m_application(application) {}
    ModalDialogs(const ModalDialogs&) = delete;
    ModalDialogs& operator=(const ModalDialogs&) = delete;

    // Whether a dialog could not be created (no display, missing template...).
    bool DialogCreationFailed() const { return m_dialogCreationFailed; }

    // The Platform operations of the same names. A dialog that cannot be created is reported on
    // the standard error.
    int ShowMessageBox(const std::string& text, const std::string& title, unsigned style,
                       unsigned helpContext);
    std::intptr_t RunModalDialog(unsigned templateId, HWND parent, DialogSink& sink);

private:
    struct DialogContext;
    static INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
    void ForgetDialog(HWND dialog);

    const Application& m_application;
    bool m_dialogCreationFailed = false;
    std::vector<HWND> m_modalDialogs;  // dialogs being run by RunModalDialog, innermost last
};

// The Platform operations of the same names.
void EndModal(HWND dialog, std::intptr_t result);
void Center(HWND window, HWND over);
HWND DialogItem(HWND dialog, int id);
std::string GetText(HWND window);
void SetText(HWND window, const std::string& text);

int ComboAddString(HWND combo, const std::string& text);
int ComboGetCount(HWND combo);
int ComboGetCurSel(HWND combo);
void ComboSetCurSel(HWND combo, int index);
std::string ComboGetText(HWND combo, int index);

void AddSystemMenuEntry(HWND window, unsigned commandId, const std::string& text);
void SetWindowIcon(HWND window, HICON icon, bool big);
bool IsMinimized(HWND window);
void PaintMinimizedIcon(HWND window, HICON icon);

}  // namespace tessaloom
