// A small application framework: an application class with InitInstance, a modal dialog
// class with message-map routing, and message boxes titled with the application's name.
// Only what the program uses; everything goes through the Platform interface.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/Platform.h"

namespace tessaloom {

class CDialog;

// --- Message maps -------------------------------------------------------------------------

enum class MapKind { kClicked, kSysCommand, kPaint, kQueryDragIcon };

struct MessageMapEntry {
    using VoidHandler = void (CDialog::*)();
    using SysCommandHandler = void (CDialog::*)(unsigned id, std::intptr_t param);
    using IconHandler = Handle (CDialog::*)();

    MapKind kind;
    int controlId;  // kClicked only
    VoidHandler onVoid;
    SysCommandHandler onSysCommand;
    IconHandler onIcon;
};

struct MessageMap {
    const MessageMapEntry* entries;
    std::size_t count;
};

template <class T>
MessageMapEntry OnClicked(int controlId, void (T::*handler)()) {
    return {MapKind::kClicked, controlId, static_cast<MessageMapEntry::VoidHandler>(handler),
            nullptr, nullptr};
}
template <class T>
MessageMapEntry OnSysCommandMsg(void (T::*handler)(unsigned, std::intptr_t)) {
    return {MapKind::kSysCommand, 0, nullptr,
            static_cast<MessageMapEntry::SysCommandHandler>(handler), nullptr};
}
template <class T>
MessageMapEntry OnPaintMsg(void (T::*handler)()) {
    return {MapKind::kPaint, 0, static_cast<MessageMapEntry::VoidHandler>(handler), nullptr,
            nullptr};
}
template <class T>
MessageMapEntry OnQueryDragIconMsg(Handle (T::*handler)()) {
    return {MapKind::kQueryDragIcon, 0, nullptr, nullptr,
            static_cast<MessageMapEntry::IconHandler>(handler)};
}

// --- Message boxes ------------------------------------------------------------------------

// A message box titled with the application's name.
int AfxMessageBox(Platform& platform, const std::string& text, unsigned style = kMbOk,
                  unsigned helpContext = 0);
// The same with a text from the string table; the help context defaults to the string's id.
int AfxMessageBox(Platform& platform, unsigned stringId, unsigned style, unsigned helpContext);

bool AfxSocketInit(Platform& platform);

// --- Dialogs ------------------------------------------------------------------------------

// Shows the wait cursor for as long as it lives, while the program blocks.
class CWaitCursor {
public:
    explicit CWaitCursor(Platform& platform) : m_platform(platform) {
        m_platform.ShowWaitCursor(true);
    }
    ~CWaitCursor() { m_platform.ShowWaitCursor(false); }
    CWaitCursor(const CWaitCursor&) = delete;
    CWaitCursor& operator=(const CWaitCursor&) = delete;

private:
    Platform& m_platform;
};

class CDialog : private DialogSink {
public:
    CDialog(Platform& platform, unsigned templateId, CDialog* parent = nullptr);
    ~CDialog() override = default;
    CDialog(const CDialog&) = delete;
    CDialog& operator=(const CDialog&) = delete;

    // Runs the dialog modally; returns the result passed to EndDialog, or -1 when the
    // dialog could not be created.
    std::intptr_t DoModal();
    void EndDialog(std::intptr_t result);

    Handle m_hWnd = nullptr;

protected:
    virtual const MessageMap* GetMessageMap() const;
    virtual void DoDataExchange() {}
    virtual bool OnInitDialog();
    virtual void OnOK();
    virtual void OnCancel();
    // Leaves the message being handled to the platform's default dialog handling.
    void Default() { m_handled = false; }

    Handle GetDlgItem(int id) const;
    std::string GetDlgItemText(int id) const;
    void SetDlgItemText(int id, const std::string& text);

    Platform& m_platform;

private:
    // Routes a message; a handler that runs out of memory is reported and the dialog goes on.
    bool HandleMessage(Handle window, const Message& message, std::intptr_t& result) override;
    bool Dispatch(Handle window, const Message& message, std::intptr_t& result);
    bool RouteCommand(int controlId, unsigned code);

    unsigned m_templateId;
    CDialog* m_parent;
    bool m_handled = false;
};

// --- Application --------------------------------------------------------------------------

class CWinApp {
public:
    // The application's name is the executable's file name without its extension.
    CWinApp() = default;
    virtual ~CWinApp() = default;
    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;

    virtual bool InitInstance() { return false; }

    // The framework's entry: binds the platform, runs InitInstance and returns the exit code.
    int Run(Platform& platform);

    CDialog* m_pMainWnd = nullptr;

protected:
    void Enable3dControls();
    Platform& GetPlatform() const { return *m_platform; }

private:
    Platform* m_platform = nullptr;
};

}  // namespace tessaloom
