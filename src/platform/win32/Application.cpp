#include "platform/win32/Application.h"

#include <commctrl.h>
#include <ole2.h>

#include <string>

#include "platform/win32/Text.h"

namespace tessaloom {

Application::Application(HINSTANCE instance) : m_instance(instance) {
    m_comInitialized = SUCCEEDED(OleInitialize(nullptr));
}

Application::~Application() {
    while (m_socketStartups > 0) {
        WSACleanup();
        --m_socketStartups;
    }
    if (m_comInitialized) OleUninitialize();
}

bool Application::SocketInit() {
    WSADATA data;
    if (WSAStartup(MAKEWORD(2, 2), &data) != 0) return false;
    ++m_socketStartups;
    return true;
}

void Application::InitCommonControls() {
    INITCOMMONCONTROLSEX controls;
    controls.dwSize = sizeof controls;
    controls.dwICC = ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES;
    InitCommonControlsEx(&controls);
}

std::string Application::AppName() const {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        // A path cut to fit the buffer comes back as long as the buffer.
        const DWORD length =
            GetModuleFileNameW(m_instance, &path[0], static_cast<DWORD>(path.size()));
        if (length == 0) return std::string();
        if (length < path.size()) {
            path.resize(length);
            break;
        }
        if (path.size() >= 32768) return std::string();
        path.resize(path.size() * 2);
    }
    const std::size_t slash = path.find_last_of(L"\\/:");
    std::wstring name = slash == std::wstring::npos ? path : path.substr(slash + 1);
    const std::size_t dot = name.rfind(L'.');
    if (dot != std::wstring::npos && dot > 0) name.resize(dot);
    return Utf8FromUtf16(name);
}

std::string Application::LoadStringResource(unsigned id) const {
    // With no buffer size, the system gives a pointer to the string in the resource itself
    // and its length; the string is not terminated there.
    const wchar_t* text = nullptr;
    const int length = LoadStringW(m_instance, id, reinterpret_cast<LPWSTR>(&text), 0);
    if (length <= 0 || text == nullptr) return std::string();
    return Utf8FromUtf16(text, static_cast<std::size_t>(length));
}

HICON Application::LoadIconResource(unsigned id) const {
    return LoadIconW(m_instance, MAKEINTRESOURCEW(id));
}

void Application::PostQuit(int exitCode) { PostQuitMessage(exitCode); }

void Application::ShowWaitCursor(bool wait) {
    const auto* const kWait = MAKEINTRESOURCEW(32514);   // IDC_WAIT
    const auto* const kArrow = MAKEINTRESOURCEW(32512);  // IDC_ARROW
    if (wait) {
        HCURSOR previous = SetCursor(LoadCursorW(nullptr, kWait));
        if (!m_waiting) m_cursorBeforeWait = previous;
        m_waiting = true;
    } else if (m_waiting) {
        SetCursor(m_cursorBeforeWait != nullptr ? m_cursorBeforeWait
                                                : LoadCursorW(nullptr, kArrow));
        m_waiting = false;
    }
}

}  // namespace tessaloom
