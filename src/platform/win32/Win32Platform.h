// The Platform interface on the Win32 API: its wide functions, the interface's UTF-8 strings
// converted at the boundary, whatever the system's code page. The work is done in the files
// named for it (Application, Dialogs, Files, Shell, Text, WinInetTransport); this class hands
// each call on and holds the state that lives as long as the program.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/Platform.h"
#include "platform/http/HttpTransport.h"
// Brings in windows.h, after Winsock 2.
#include "platform/win32/Application.h"
#include "platform/win32/Dialogs.h"

namespace tessaloom {

class Win32Platform : public Platform {
public:
    // Initialises COM for the calling thread (the shell's folder picker needs it).
    explicit Win32Platform(HINSTANCE instance);
    Win32Platform(const Win32Platform&) = delete;
    Win32Platform& operator=(const Win32Platform&) = delete;

    // Whether a dialog could not be created (no display, missing template...).
    bool DialogCreationFailed() const { return m_dialogs.DialogCreationFailed(); }

    bool SocketInit() override;
    void InitCommonControls() override;
    std::string AppName() override;
    std::string LoadStringResource(unsigned id) override;
    Handle LoadIconResource(unsigned id) override;
    void PostQuit(int exitCode) override;
    void ShowWaitCursor(bool wait) override;

    int ShowMessageBox(const std::string& text, const std::string& title, unsigned style,
                       unsigned helpContext) override;

    std::intptr_t RunModalDialog(unsigned templateId, Handle parent, DialogSink& sink) override;
    void EndModal(Handle dialog, std::intptr_t result) override;
    void Center(Handle window, Handle over) override;
    Handle DialogItem(Handle dialog, int id) override;
    std::string GetText(Handle window) override;
    void SetText(Handle window, const std::string& text) override;

    int ComboAddString(Handle combo, const std::string& text) override;
    int ComboGetCount(Handle combo) override;
    int ComboGetCurSel(Handle combo) override;
    void ComboSetCurSel(Handle combo, int index) override;
    std::string ComboGetText(Handle combo, int index) override;

    void AddSystemMenuEntry(Handle window, unsigned commandId, const std::string& text) override;
    void SetWindowIcon(Handle window, Handle icon, bool big) override;
    bool IsMinimized(Handle window) override;
    void PaintMinimizedIcon(Handle window, Handle icon) override;

    ResultCode FetchUrl(const std::string& url, const FetchLimit& limit,
                        StreamPtr& stream) override;
    std::string DecodeText(const std::string& text, TextEncoding encoding) override;
    std::string FoldCase(const std::string& name) override;

    BrowseResult BrowseForFolder(const std::string& title, std::string& path) override;
    CopyResult ShellCopy(Handle owner, const std::string& from, const std::string& to) override;
    void OpenFolder(const std::string& path) override;
    bool ProbeFile(const std::string& path) override;
    WriteResult WriteNewFile(const std::string& path, const void* data, std::size_t size,
                             std::string& error) override;
    bool MoveOver(const std::string& from, const std::string& to, std::string& error) override;
    bool RemoveFile(const std::string& path) override;
    bool CreateFolder(const std::string& path, std::string& error) override;
    bool RemoveFolder(const std::string& path, std::string& error) override;
    bool ListFolder(const std::string& folder, std::vector<FolderEntry>& entries,
                    std::string& error) override;
    bool IdentifyFile(const std::string& path, FileId& id) override;
    bool QueryVolumeSpace(const std::string& folder, VolumeSpace& space) override;
    bool CanCreateFileIn(const std::string& folder, std::string& error) override;
    std::vector<NameFacts> InspectNames(const std::vector<std::string>& paths) override;

private:
    Application m_application;
    ModalDialogs m_dialogs;                      // after m_application, which it uses
    std::unique_ptr<HttpTransport> m_transport;  // made at the first fetch
};

}  // namespace tessaloom
