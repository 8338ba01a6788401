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

// A file, folder or link of the fake file system.
struct FakeNode {
    std::string name;  // as created
    std::string path;  // as created, in full
    bool folder = true;
    std::uint64_t size = 0;
    std::string linkTo;  // a link: the path it leads to
    std::uint64_t id = 0;
    std::string content;  // what the program wrote into it
    // What a file occupies on its volume; unless set, its size in whole clusters.
    std::uint64_t allocated = kUnknownAllocation;
    std::string noFiles;  // a folder where no file may be created: the reason
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
    std::deque<std::pair<BrowseResult, std::string>> browseReplies;
    // What the shell's copy returns. When it returns 0 and no abort, the copy is made in the
    // fake file system, links followed, but for the entries named in `copyOmits` (paths
    // relative to the source, as the program's fold gives them) and those in `copyShortens`,
    // copied a byte short; `copyKeepsExisting` keeps files already there, as the user's "No"
    // to the shell's overwrite prompt does. A file copied onto a link is written through it. A
    // copy into itself (through a link) fails with 206 where its paths no longer fit, as the
    // shell's does.
    // Entries ("folder\*") are copied only into a folder that exists.
    CopyResult copyResult;
    std::set<std::string> copyOmits;
    std::set<std::string> copyShortens;
    bool copyKeepsExisting = false;
    std::set<std::string> existingFiles;  // files ProbeFile opens besides those in `nodes`
    std::map<std::string, std::string> writeFailures;  // folder -> reason new files there fail
    std::set<std::string> failAfterCreating;           // of those, the ones that leave part written
    // The file system that ListFolder, IdentifyFile and QueryVolumeSpace see, by folded path
    // without final separators ("C:", "C:\GAMES"); made with AddFolder, AddFile, AddLink.
    std::map<std::string, FakeNode> nodes;
    std::map<std::string, std::uint64_t> freeSpace;    // by drive ("D:")
    std::map<std::string, std::uint64_t> clusterSize;  // by drive; 1 unless set
    std::set<std::string> zeroIdentities;              // drives whose files have no file ID
    std::set<std::string> noFinalPaths;  // drives where the system resolves no final path
    std::map<std::string, std::string> unreadable;    // folded folder path -> reason
    std::map<std::string, std::string> unwritable;    // folded folder path -> reason
    std::map<std::string, std::string> noNewFolders;  // the same, for creating folders
    // Folders created in these (folded paths) grant no new files, for that reason.
    std::map<std::string, std::string> newFoldersRefuseFiles;
    std::map<std::string, std::string> unremovable;   // folded parent -> why its folders stay
    std::map<std::string, std::string> moveFailures;  // target path -> why the move fails
    std::set<std::string> noAllocations;              // drives whose listings give no allocation
    // Listings show links to files as plain files, as Wine's do.
    bool listingsHideFileLinks = false;
    // The next recorded event that starts with this throws std::bad_alloc (once); with
    // `errorAt`, a std::runtime_error saying "fake failure".
    std::string outOfMemoryAt;
    std::string errorAt;

    // --- Recorded ---
    std::vector<std::string> events;  // "fetch URL", "release URL", "box TEXT", "copy S -> D"...
    std::vector<FakeMessageBox> boxes;
    std::vector<std::string> fetchedUrls;
    std::vector<FetchLimit> fetchLimits;
    std::vector<std::string> browseTitles;
    std::map<std::string, std::string> writtenFiles;
    std::vector<FakeMenuItem> menu;
    std::map<bool, Handle> icons;      // big -> icon set on the main dialog
    std::vector<Handle> paintedIcons;  // icons painted in the minimized main dialog
    int commonControlsInitialised = 0;
    std::vector<unsigned> dialogsRun;  // template ids in order
    std::vector<std::pair<Handle, Handle>> centred;
    bool quitPosted = false;
    bool waitCursor = false;
    // Calls that may block made without the wait cursor, and boxes shown with it.
    int blockedWithoutWaitCursor = 0;
    int boxesUnderWaitCursor = 0;
    int liveStreams = 0;

    // --- Acting as the user on a running dialog ---
    // Sends a button click to the dialog's sink.
    void Click(FakeDialog& dialog, int id);
    void SendTo(FakeDialog& dialog, const Message& message, std::intptr_t* result = nullptr);
    void Select(FakeDialog& dialog, int index);
    static Handle IconHandle(unsigned id);
    // Adds to the file system, with any missing folders above.
    void AddFolder(const std::string& path);
    void AddFile(const std::string& path, std::uint64_t size);
    void AddLink(const std::string& path, const std::string& target);
    // A second name of the file `target`: the same file, with its identity.
    void AddHardLink(const std::string& path, const std::string& target);
    // The node `path` names, links in its last component not followed; null when none.
    FakeNode* Find(const std::string& path);

    // --- Platform ---
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
    // ASCII, Latin-1 and Cyrillic letters are folded; enough to tell the fold from a byte's.
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
    void Record(const std::string& event);
    FakeNode& AddNode(const std::string& path);
    // The key of the node `path` leads to once links are followed; empty when there is none.
    std::string Resolve(const std::string& path, int depth = 0);
    std::string Key(const std::string& path);
    // The key a node at `path` has: its folder resolved, its own name not.
    std::string NodeKey(const std::string& path);
    bool List(const std::string& folder, std::vector<FolderEntry>& entries, std::string& error);
    // Copies the node at key `from` to the path `to`, links followed; `relative` is its path
    // in the copy's source.
    void CopyNode(const std::string& from, const std::string& to, const std::string& relative);

    std::vector<std::unique_ptr<FakeDialog>> m_dialogs;  // running, innermost last
    std::uint64_t m_nextId = 1;
    bool m_copyFailed = false;  // the running ShellCopy's paths no longer fit
};

}  // namespace tessaloom
