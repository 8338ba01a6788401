#include "framework/Framework.h"

#include <exception>
#include <new>
#include <string>

namespace tessaloom {

namespace {
int LowWord(std::uintptr_t value) { return static_cast<int>(value & 0xFFFF); }
unsigned HighWord(std::uintptr_t value) { return static_cast<unsigned>((value >> 16) & 0xFFFF); }
}  // namespace

int AfxMessageBox(Platform& platform, const std::string& text, unsigned style,
                  unsigned helpContext) {
    return platform.ShowMessageBox(text, platform.AppName(), style, helpContext);
}

int AfxMessageBox(Platform& platform, unsigned stringId, unsigned style, unsigned helpContext) {
    return AfxMessageBox(platform, platform.LoadStringResource(stringId), style, helpContext);
}

bool AfxSocketInit(Platform& platform) { return platform.SocketInit(); }

// --- CDialog ------------------------------------------------------------------------------

CDialog::CDialog(Platform& platform, unsigned templateId, CDialog* parent)
    : m_platform(platform), m_templateId(templateId), m_parent(parent) {}

std::intptr_t CDialog::DoModal() {
    Handle parent = m_parent != nullptr ? m_parent->m_hWnd : nullptr;
    std::intptr_t result = m_platform.RunModalDialog(m_templateId, parent, *this);
    m_hWnd = nullptr;
    return result;
}

void CDialog::EndDialog(std::intptr_t result) { m_platform.EndModal(m_hWnd, result); }

const MessageMap* CDialog::GetMessageMap() const { return nullptr; }

bool CDialog::OnInitDialog() {
    DoDataExchange();
    // Templates sit at 0, 0: centre over the owner, or on the screen for a top-level dialog.
    m_platform.Center(m_hWnd, m_parent != nullptr ? m_parent->m_hWnd : nullptr);
    return true;
}

void CDialog::OnOK() {
    DoDataExchange();
    EndDialog(kIdOk);
}

void CDialog::OnCancel() { EndDialog(kIdCancel); }

Handle CDialog::GetDlgItem(int id) const { return m_platform.DialogItem(m_hWnd, id); }

std::string CDialog::GetDlgItemText(int id) const {
    Handle item = GetDlgItem(id);
    return item != nullptr ? m_platform.GetText(item) : std::string();
}

void CDialog::SetDlgItemText(int id, const std::string& text) {
    if (Handle item = GetDlgItem(id)) m_platform.SetText(item, text);
}

bool CDialog::RouteCommand(int controlId, unsigned code) {
    if (const MessageMap* map = GetMessageMap()) {
        for (std::size_t i = 0; i < map->count; ++i) {
            const MessageMapEntry& entry = map->entries[i];
            if (entry.kind == MapKind::kClicked && entry.controlId == controlId &&
                code == kBnClicked) {
                (this->*entry.onVoid)();
                return true;
            }
        }
    }
    if (code != kBnClicked) return false;
    if (controlId == kIdOk) {
        OnOK();
        return true;
    }
    if (controlId == kIdCancel) {
        OnCancel();
        return true;
    }
    return false;
}

bool CDialog::HandleMessage(Handle window, const Message& message, std::intptr_t& result) {
    result = 0;
    // As the framework does for any handler: say so, and the dialog goes on. Nothing may
    // unwind through the system's dialog code.
    std::string text;
    try {
        return Dispatch(window, message, result);
    } catch (const std::bad_alloc&) {
        text = "Out of memory.";
    } catch (const std::exception& error) {
        try {
            text = std::string("An unexpected error stopped the command.\n") + error.what();
        } catch (const std::bad_alloc&) {
            text = "Out of memory.";
        }
    }
    try {
        AfxMessageBox(m_platform, text, kMbOk | kMbIconExclamation);
    } catch (...) {
    }
    result = 0;
    return true;
}

bool CDialog::Dispatch(Handle window, const Message& message, std::intptr_t& result) {
    if (message.id == kWmInitDialog) {
        m_hWnd = window;
        result = OnInitDialog() ? 1 : 0;
        return true;
    }
    if (message.id == kWmCommand) {
        return RouteCommand(LowWord(message.wParam), HighWord(message.wParam));
    }
    const MessageMap* map = GetMessageMap();
    if (map == nullptr) return false;
    for (std::size_t i = 0; i < map->count; ++i) {
        const MessageMapEntry& entry = map->entries[i];
        m_handled = true;
        if (message.id == kWmSysCommand && entry.kind == MapKind::kSysCommand) {
            (this->*entry.onSysCommand)(static_cast<unsigned>(message.wParam), message.lParam);
            return m_handled;
        }
        if (message.id == kWmPaint && entry.kind == MapKind::kPaint) {
            (this->*entry.onVoid)();
            return m_handled;
        }
        if (message.id == kWmQueryDragIcon && entry.kind == MapKind::kQueryDragIcon) {
            result = reinterpret_cast<std::intptr_t>((this->*entry.onIcon)());
            return m_handled;
        }
    }
    return false;
}

// --- CWinApp ------------------------------------------------------------------------------

int CWinApp::Run(Platform& platform) {
    m_platform = &platform;
    InitInstance();
    // No application message loop follows: the program ends when InitInstance returns.
    return 0;
}

void CWinApp::Enable3dControls() { m_platform->InitCommonControls(); }

}  // namespace tessaloom
