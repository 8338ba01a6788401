// The program as Windows runs it: COM and Windows sockets for its lifetime, the common
// controls, the executable's name, string and icon resources, quitting, and the wait cursor.
#pragma once

// std::min and std::max rather than the min and max macros of windows.h.
#ifndef NOMINMAX
#define NOMINMAX
#endif
// clang-format off
// Winsock 2 before windows.h, which would otherwise bring in the old winsock.h.
#include <winsock2.h>
#include <windows.h>
// clang-format on

#include <string>

namespace tessaloom {

class Application {
public:
    // Initialises COM for the calling thread (the shell's folder picker needs it).
    explicit Application(HINSTANCE instance);
    // Ends each SocketInit that succeeded, then COM.
    ~Application();
    Application(const Application&) = delete;
    Application& operator=(const Application&) = delete;

    HINSTANCE Instance() const { return m_instance; }

    // The Platform operations of the same names.
    bool SocketInit();
    static void InitCommonControls();
    std::string AppName() const;
    std::string LoadStringResource(unsigned id) const;
    HICON LoadIconResource(unsigned id) const;
    static void PostQuit(int exitCode);
    void ShowWaitCursor(bool wait);

private:
    HINSTANCE m_instance;
    bool m_comInitialized = false;
    int m_socketStartups = 0;
    bool m_waiting = false;
    HCURSOR m_cursorBeforeWait = nullptr;
};

}  // namespace tessaloom
