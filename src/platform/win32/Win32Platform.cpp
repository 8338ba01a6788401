#include "platform/win32/Win32Platform.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/http/Fetch.h"
#include "platform/win32/Dialogs.h"
#include "platform/win32/Files.h"
#include "platform/win32/Shell.h"
#include "platform/win32/Text.h"
#include "platform/win32/WinInetTransport.h"

namespace tessaloom {

namespace {

// A fetch fails when nothing arrives for the first time, or when it has not finished in the
// second. The end-to-end tests build the program with shorter ones.
#if !defined(TESSALOOM_FETCH_TIMEOUT_SECONDS) || !defined(TESSALOOM_FETCH_TOTAL_SECONDS)
#error \
    "TESSALOOM_FETCH_TIMEOUT_SECONDS and TESSALOOM_FETCH_TOTAL_SECONDS must be defined by the build"
#endif
constexpr FetchTimes kFetchTimes = {TESSALOOM_FETCH_TIMEOUT_SECONDS * 1000,
                                    TESSALOOM_FETCH_TOTAL_SECONDS * 1000};

HWND AsWindow(Handle handle) { return static_cast<HWND>(handle); }
HICON AsIcon(Handle handle) { return static_cast<HICON>(handle); }

}  // namespace

Win32Platform::Win32Platform(HINSTANCE instance)
    : m_application(instance), m_dialogs(m_application) {}

// --- Application ------------------------------------------------------------------------

bool Win32Platform::SocketInit() { return m_application.SocketInit(); }

void Win32Platform::InitCommonControls() { Application::InitCommonControls(); }

std::string Win32Platform::AppName() { return m_application.AppName(); }

std::string Win32Platform::LoadStringResource(unsigned id) {
    return m_application.LoadStringResource(id);
}

Handle Win32Platform::LoadIconResource(unsigned id) { return m_application.LoadIconResource(id); }

void Win32Platform::PostQuit(int exitCode) { Application::PostQuit(exitCode); }

void Win32Platform::ShowWaitCursor(bool wait) { m_application.ShowWaitCursor(wait); }

// --- Message boxes ----------------------------------------------------------------------

int Win32Platform::ShowMessageBox(const std::string& text, const std::string& title, unsigned style,
                                  unsigned helpContext) {
    return m_dialogs.ShowMessageBox(text, title, style, helpContext);
}

// --- Dialogs and controls ---------------------------------------------------------------

std::intptr_t Win32Platform::RunModalDialog(unsigned templateId, Handle parent, DialogSink& sink) {
    return m_dialogs.RunModalDialog(templateId, AsWindow(parent), sink);
}

void Win32Platform::EndModal(Handle dialog, std::intptr_t result) {
    tessaloom::EndModal(AsWindow(dialog), result);
}

void Win32Platform::Center(Handle window, Handle over) {
    tessaloom::Center(AsWindow(window), AsWindow(over));
}

Handle Win32Platform::DialogItem(Handle dialog, int id) {
    return tessaloom::DialogItem(AsWindow(dialog), id);
}

std::string Win32Platform::GetText(Handle window) { return tessaloom::GetText(AsWindow(window)); }

void Win32Platform::SetText(Handle window, const std::string& text) {
    tessaloom::SetText(AsWindow(window), text);
}

int Win32Platform::ComboAddString(Handle combo, const std::string& text) {
    return tessaloom::ComboAddString(AsWindow(combo), text);
}

int Win32Platform::ComboGetCount(Handle combo) { return tessaloom::ComboGetCount(AsWindow(combo)); }

int Win32Platform::ComboGetCurSel(Handle combo) {
    return tessaloom::ComboGetCurSel(AsWindow(combo));
}

void Win32Platform::ComboSetCurSel(Handle combo, int index) {
    tessaloom::ComboSetCurSel(AsWindow(combo), index);
}

std::string Win32Platform::ComboGetText(Handle combo, int index) {
    return tessaloom::ComboGetText(AsWindow(combo), index);
}

// --- Window furniture -------------------------------------------------------------------

void Win32Platform::AddSystemMenuEntry(Handle window, unsigned commandId, const std::string& text) {
    tessaloom::AddSystemMenuEntry(AsWindow(window), commandId, text);
}

void Win32Platform::SetWindowIcon(Handle window, Handle icon, bool big) {
    tessaloom::SetWindowIcon(AsWindow(window), AsIcon(icon), big);
}

bool Win32Platform::IsMinimized(Handle window) { return tessaloom::IsMinimized(AsWindow(window)); }

void Win32Platform::PaintMinimizedIcon(Handle window, Handle icon) {
    tessaloom::PaintMinimizedIcon(AsWindow(window), AsIcon(icon));
}

// --- Network ----------------------------------------------------------------------------

ResultCode Win32Platform::FetchUrl(const std::string& url, const FetchLimit& limit,
                                   StreamPtr& stream) {
    if (!m_transport)
        m_transport = std::make_unique<WinInetTransport>(AppName(), kFetchTimes.silenceMs);
    return FetchWithRules(*m_transport, url, limit, kFetchTimes, stream);
}

// --- Text -------------------------------------------------------------------------------

std::string Win32Platform::DecodeText(const std::string& text, TextEncoding encoding) {
    return tessaloom::DecodeText(text, encoding);
}

std::string Win32Platform::FoldCase(const std::string& name) { return tessaloom::FoldCase(name); }

// --- Shell and files --------------------------------------------------------------------

BrowseResult Win32Platform::BrowseForFolder(const std::string& title, std::string& path) {
    return tessaloom::BrowseForFolder(title, path);
}

CopyResult Win32Platform::ShellCopy(Handle owner, const std::string& from, const std::string& to) {
    return tessaloom::ShellCopy(AsWindow(owner), from, to);
}

void Win32Platform::OpenFolder(const std::string& path) { tessaloom::OpenFolder(path); }

bool Win32Platform::ProbeFile(const std::string& path) { return tessaloom::ProbeFile(path); }

WriteResult Win32Platform::WriteNewFile(const std::string& path, const void* data, std::size_t size,
                                        std::string& error) {
    return tessaloom::WriteNewFile(path, data, size, error);
}

bool Win32Platform::MoveOver(const std::string& from, const std::string& to, std::string& error) {
    return tessaloom::MoveOver(from, to, error);
}

bool Win32Platform::RemoveFile(const std::string& path) { return tessaloom::RemoveFile(path); }

bool Win32Platform::CreateFolder(const std::string& path, std::string& error) {
    return tessaloom::CreateFolder(path, error);
}

bool Win32Platform::RemoveFolder(const std::string& path, std::string& error) {
    return tessaloom::RemoveFolder(path, error);
}

bool Win32Platform::ListFolder(const std::string& folder, std::vector<FolderEntry>& entries,
                               std::string& error) {
    return tessaloom::ListFolder(folder, entries, error);
}

bool Win32Platform::IdentifyFile(const std::string& path, FileId& id) {
    return tessaloom::IdentifyFile(path, id);
}

bool Win32Platform::QueryVolumeSpace(const std::string& folder, VolumeSpace& space) {
    return tessaloom::QueryVolumeSpace(folder, space);
}

bool Win32Platform::CanCreateFileIn(const std::string& folder, std::string& error) {
    return tessaloom::CanCreateFileIn(folder, error);
}

std::vector<NameFacts> Win32Platform::InspectNames(const std::vector<std::string>& paths) {
    return tessaloom::InspectNames(paths);
}

}  // namespace tessaloom
