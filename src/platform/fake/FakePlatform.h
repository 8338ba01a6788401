// A scripted stand-in for the platform, for the native unit tests. It records what the
// program asks of it, in order, in `events`, and answers from what the test set up.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/Platform.h"

namespace tessaloom {

struct FakeMessageBox {
    std::string text;
    std::string title;
    unsigned style = 0;
    unsigned helpContext = 0;
};

struct FakeFetch {
    ResultCode code = kResultOk;
    std::string body;
    bool statFails = false;
    bool readFails = false;
    std::uint64_t reportedSize = ~std::uint64_t{0};  // the body's size unless set
};

struct FakeControl {
    std::string text;
    std::vector<std::string> items;  // combo entries
    int selection = -1;
};

struct FakeDialog {
    unsigned templateId = 0;
    Handle parent = nullptr;
    DialogSink* sink = nullptr;
    std::map<int, FakeControl> controls;
    bool ended = false;
    std::intptr_t result = 0;
};

struct FakeMenuItem {
    bool separator = false;
    unsigned id = 0;
    std::string text;
};

class FakePlatform : public Platform {
public:
    FakePlatform();
    ~FakePlatform() override;

    // --- Set up by the test ---
    bool socketInitSucceeds = true;
    std::string appName = "Tessaloom";
    std::map<unsigned, std::string> strings;
    // Answers to message boxes in order; when none is left: kIdCancel for a retry prompt,
    // kIdOk otherwise.
    std::deque<int> answers;
    // Replies per URL in order; the last one repeats. A URL without replies fails.
    std::map<std::string, std::deque<FakeFetch>> replies;
    // Runs while a dialog is modal, as the user; the dialog ends when it returns (with
    // kIdCancel unless something ended it before).
    std::function<void(FakePlatform&, FakeDialog&)> user;
    // Controls missing from the main dialog.
    std::set<int> missingControls;
    bool hasSystemMenu = true;
    bool minimized = false;
    Rect client{0, 0, 100, 100};
    int iconWidth = 32, iconHeight = 32;
    std::deque<std::pair<BrowseResult, std::string>> browseReplies;
    CopyResult copyResult;
    std::set<std::string> existingFiles;               // files ProbeFile opens
    std::map<std::string, std::string> writeFailures;  // path -> reason

    // --- Recorded ---
    std::vector<std::string> events;  // "fetch URL", "release URL", "box TEXT", "copy S -> D"...
    std::vector<FakeMessageBox> boxes;
    std::vector<std::string> fetchedUrls;
    std::vector<std::string> browseTitles;
    std::map<std::string, std::string> writtenFiles;
    std::vector<FakeMenuItem> menu;
    std::map<bool, Handle> icons;  // big -> icon set on the main dialog
    std::vector<Message> sent;
    struct PaintedIcon {
        int x, y;
        Handle icon;
        Handle dc;
    };
    std::vector<PaintedIcon> painted;
    int paintsStarted = 0, paintsFinished = 0;
    int commonControlsInitialised = 0;
    std::vector<unsigned> dialogsRun;  // template ids in order
    std::vector<std::pair<Handle, Handle>> centred;
    bool quitPosted = false;
    int liveStreams = 0;

    // --- Acting as the user on a running dialog ---
    // Sends a button click to the dialog's sink.
    void Click(FakeDialog& dialog, int id);
    void SendTo(FakeDialog& dialog, const Message& message, std::intptr_t* result = nullptr);
    void Select(FakeDialog& dialog, int index);
    static Handle IconHandle(unsigned id);
    static const Handle kPaintDc;

    // --- Platform ---
    bool SocketInit() override;
    void InitCommonControls() override;
    std::string AppName() override;
    std::string LoadStringResource(unsigned id) override;
    Handle LoadIconResource(unsigned id) override;
    void PostQuit(int exitCode) override;
    int ShowMessageBox(const std::string& text, const std::string& title, unsigned style,
                       unsigned helpContext) override;
    std::intptr_t RunModalDialog(unsigned templateId, Handle parent, DialogSink& sink) override;
    void EndModal(Handle dialog, std::intptr_t result) override;
    void Center(Handle window, Handle over) override;
    Handle DialogItem(Handle dialog, int id) override;
    std::string GetText(Handle window) override;
    void SetText(Handle window, const std::string& text) override;
    std::intptr_t Send(Handle window, const Message& message) override;
    int ComboAddString(Handle combo, const std::string& text) override;
    int ComboGetCount(Handle combo) override;
    int ComboGetCurSel(Handle combo) override;
    void ComboSetCurSel(Handle combo, int index) override;
    std::string ComboGetText(Handle combo, int index) override;
    Handle SystemMenu(Handle window) override;
    void AppendMenuSeparator(Handle menu) override;
    void AppendMenuItem(Handle menu, unsigned commandId, const std::string& text) override;
    void SetWindowIcon(Handle window, Handle icon, bool big) override;
    bool IsMinimized(Handle window) override;
    int SystemMetric(int index) override;
    Rect ClientRect(Handle window) override;
    Handle StartPaint(Handle window) override;
    void FinishPaint(Handle window) override;
    void PaintIcon(Handle dc, int x, int y, Handle icon) override;
    ResultCode FetchUrl(const std::string& url, StreamPtr& stream) override;
    BrowseResult BrowseForFolder(const std::string& title, std::string& path) override;
    CopyResult CopyFolder(Handle owner, const std::string& source,
                          const std::string& destination) override;
    void OpenFolder(const std::string& path) override;
    bool ProbeFile(const std::string& path) override;
    bool WriteWholeFile(const std::string& path, const void* data, std::size_t size,
                        std::string& error) override;

private:
    std::vector<std::unique_ptr<FakeDialog>> m_dialogs;  // running, innermost last
};

}  // namespace tessaloom
