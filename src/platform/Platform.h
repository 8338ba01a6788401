// The operations the program needs of the operating system, behind one interface.
// Win32Platform (src/platform/win32) is the real one; FakePlatform (tests/unit/fake)
// stands in for it in the native unit tests. Everything above this layer is portable.
// Every string crossing it is UTF-8, paths included, whatever the system's code page.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace tessaloom {

// Opaque handles: a window, menu, icon or device context of the platform.
using Handle = void*;

// 32-bit result code of a fetch, in the platform's error-code form.
using ResultCode = std::uint32_t;

constexpr ResultCode kResultOk = 0;
constexpr ResultCode kResultAborted = 0x80004004u;          // the fetch was aborted
constexpr ResultCode kResultDownloadFailure = 0x800C0008u;  // transport failure, short body
constexpr ResultCode kResultHttpStatusBase = 0x80190000u;   // + HTTP status (404 -> ...194)
constexpr ResultCode kResultTimeout = 0x800C000Bu;          // nothing received for too long
constexpr ResultCode kResultTooLarge = 0x800C000Fu;         // body longer than the fetch allows
constexpr ResultCode kResultRedirectFailed = 0x800C0014u;   // too many redirects

// Message box styles and answers (same values as the platform's).
constexpr unsigned kMbOk = 0x0;
constexpr unsigned kMbRetryCancel = 0x5;
constexpr unsigned kMbIconError = 0x10;
constexpr unsigned kMbIconExclamation = 0x30;
constexpr int kIdOk = 1;
constexpr int kIdCancel = 2;
constexpr int kIdRetry = 4;

// Window messages the framework routes (same values as the platform's).
constexpr std::uint32_t kWmPaint = 0x000F;
constexpr std::uint32_t kWmQueryDragIcon = 0x0037;
constexpr std::uint32_t kWmInitDialog = 0x0110;
constexpr std::uint32_t kWmCommand = 0x0111;
constexpr std::uint32_t kWmSysCommand = 0x0112;
constexpr unsigned kBnClicked = 0;

// A fetched body held in memory. Destroying it releases it.
class Stream {
public:
    virtual ~Stream() = default;
    // Total size of the body; false when the query fails.
    virtual bool Stat(std::uint64_t& size) = 0;
    // Copies up to `count` bytes from the current position; `read` gets the number delivered.
    // False when the read fails.
    virtual bool Read(void* buffer, std::uint32_t count, std::uint32_t& read) = 0;
};
using StreamPtr = std::unique_ptr<Stream>;

struct Message {
    std::uint32_t id = 0;
    std::uintptr_t wParam = 0;
    std::intptr_t lParam = 0;
};

// Receives the messages of a modal dialog run by the platform.
class DialogSink {
public:
    virtual ~DialogSink() = default;
    // Returns true when handled; `result` is then the message's result (for WM_INITDIALOG,
    // whether the platform should set the default focus; for WM_QUERYDRAGICON, the icon).
    // False hands the message to the platform's default dialog handling.
    virtual bool HandleMessage(Handle window, const Message& message, std::intptr_t& result) = 0;
};

struct Rect {
    int left = 0, top = 0, right = 0, bottom = 0;
    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
};

struct Point {
    int x = 0, y = 0;
};

// Where the minimized window's icon goes: centred in the client area, rounding up, with the
// division truncating toward zero.
inline Point CentredIconPosition(const Rect& client, int iconWidth, int iconHeight) {
    return {(client.Width() - iconWidth + 1) / 2, (client.Height() - iconHeight + 1) / 2};
}

enum class BrowseResult {
    kCancelled,      // the user closed the picker without choosing
    kNotFileSystem,  // the chosen item has no file-system path
    kChosen,         // `path` holds the chosen folder
};

// How much of a body a fetch takes.
struct FetchLimit {
    std::uint64_t maxBytes = 0;
    // True: a longer body gives its first maxBytes bytes and the rest is not read.
    // False: a longer body fails the fetch with kResultTooLarge.
    bool prefixOnly = false;
};

// Text encodings the program reads narrow text in.
enum class TextEncoding {
    kUtf8,
    kSystemAnsi,  // the system's own ANSI code page, whatever the process uses
};

// A file or folder's identity: the same for every path that reaches it, links included.
struct FileId {
    std::uint64_t volume = 0;
    std::uint64_t high = 0, low = 0;
    std::string finalPath;  // the path the system resolves it to, links followed
    bool folder = false;
    // Some file systems (network shares, WebDAV, user-mode ones) give files no file ID, though
    // their volume has a serial number: only the final path tells such files apart.
    bool Known() const { return high != 0 || low != 0; }
};

constexpr std::uint64_t kUnknownAllocation = ~std::uint64_t{0};

struct FolderEntry {
    std::string name;
    bool folder = false;     // a folder, or a link that leads to one
    bool link = false;       // a junction or symbolic link (not another kind of reparse point)
    std::uint64_t size = 0;  // of a file; a link's target's
    // Bytes the file occupies on its volume (less than its size when compressed, sparse or
    // online-only); kUnknownAllocation when the listing does not say.
    std::uint64_t allocated = kUnknownAllocation;
    // The entry's own file ID on the listed folder's volume (a link's own, not its target's),
    // in FileId's form; zero when the listing gives none.
    std::uint64_t idHigh = 0, idLow = 0;
};

// What stands at a name itself, links not followed, beyond what its folder's listing says.
struct NameFacts {
    bool taken = false;  // something stands there
    // A link the listing does not show as one: a file the system places elsewhere than at the
    // name (Wine lists and opens a link to a file as that file), or a name taken by nothing
    // that opens (a link to nothing, which Wine's listings leave out). A link the listing
    // shows may be marked too.
    bool link = false;
    std::uint32_t names = 1;  // of a file: how many names it has (hard links)
};

struct VolumeSpace {
    std::uint64_t free = 0;     // bytes the user may still write
    std::uint64_t cluster = 0;  // bytes of one allocation unit
};

enum class WriteResult {
    kWritten,
    kNameTaken,   // something already stands at the path: nothing was written
    kFailed,      // nothing was created
    kFailedPart,  // the file was created, then the write failed: it may hold part
};

struct CopyResult {
    int code = 0;          // 0 on success
    bool aborted = false;  // the user cancelled the operation in the shell's windows
};

class Platform {
public:
    virtual ~Platform() = default;

    // --- Application --------------------------------------------------------------------
    virtual bool SocketInit() = 0;
    // Visual styles and common controls for the dialogs.
    virtual void InitCommonControls() = 0;
    // The executable's file name without its extension: the title of every message box.
    virtual std::string AppName() = 0;
    // A string of the executable's string table; empty when there is none.
    virtual std::string LoadStringResource(unsigned id) = 0;
    virtual Handle LoadIconResource(unsigned id) = 0;
    // Ends the modal loop that runs the main dialog, and then the program.
    virtual void PostQuit(int exitCode) = 0;
    // Shows the wait cursor while the program blocks (`wait`), or the cursor it replaced.
    virtual void ShowWaitCursor(bool wait) = 0;

    // --- Message boxes ------------------------------------------------------------------
    // Modal; returns the answer (kIdOk, kIdRetry, kIdCancel...).
    virtual int ShowMessageBox(const std::string& text, const std::string& title, unsigned style,
                               unsigned helpContext) = 0;

    // --- Dialogs and controls -----------------------------------------------------------
    // Creates the dialog of template `templateId` and runs it modally; returns the value
    // passed to EndDialog, or -1 when the dialog could not be created.
    virtual std::intptr_t RunModalDialog(unsigned templateId, Handle parent, DialogSink& sink) = 0;
    virtual void EndModal(Handle dialog, std::intptr_t result) = 0;
    // Centres `window` over `over`, or over the screen's work area when `over` is null.
    virtual void Center(Handle window, Handle over) = 0;
    virtual Handle DialogItem(Handle dialog, int id) = 0;
    virtual std::string GetText(Handle window) = 0;
    virtual void SetText(Handle window, const std::string& text) = 0;

    // Drop-down list (combo box); entries keep insertion order.
    virtual int ComboAddString(Handle combo, const std::string& text) = 0;
    virtual int ComboGetCount(Handle combo) = 0;
    virtual int ComboGetCurSel(Handle combo) = 0;  // -1 when nothing is selected
    virtual void ComboSetCurSel(Handle combo, int index) = 0;
    virtual std::string ComboGetText(Handle combo, int index) = 0;

    // --- Window furniture ---------------------------------------------------------------
    // Appends a separator and the entry to the window's system menu, when it has one.
    virtual void AddSystemMenuEntry(Handle window, unsigned commandId, const std::string& text) = 0;
    virtual void SetWindowIcon(Handle window, Handle icon, bool big) = 0;
    virtual bool IsMinimized(Handle window) = 0;
    // Paints the minimized window: its icon background erased, `icon` at the system's icon
    // size where CentredIconPosition puts it.
    virtual void PaintMinimizedIcon(Handle window, Handle icon) = 0;

    // --- Network ------------------------------------------------------------------------
    // Fetches the body of `url` within `limit`, never from a cache. kResultOk with `stream`
    // set only for a 2xx status with the complete body (or its prefix, see FetchLimit);
    // kResultAborted when aborted; kResultHttpStatusBase + status for another HTTP status;
    // kResultTimeout when nothing arrived for too long; kResultRedirectFailed after too many
    // redirects; kResultTooLarge past the limit; otherwise an error code.
    virtual ResultCode FetchUrl(const std::string& url, const FetchLimit& limit,
                                StreamPtr& stream) = 0;

    // --- Text ---------------------------------------------------------------------------
    // `text` in `encoding`, converted to UTF-8; invalid sequences become U+FFFD.
    virtual std::string DecodeText(const std::string& text, TextEncoding encoding) = 0;
    // `name` with its case folded as the file system folds it (ordinal, on UTF-16 units), so
    // that two names the file system takes as one compare equal.
    virtual std::string FoldCase(const std::string& name) = 0;

    // --- Shell and files ----------------------------------------------------------------
    // The shell's folder picker, with no owner window, starting at the top of the shell
    // namespace.
    virtual BrowseResult BrowseForFolder(const std::string& title, std::string& path) = 0;
    // The shell's copy of `from` (a folder, or "folder\*" for its entries) to the folder
    // `to`, each as the only path of its list, with the progress window owned by `owner`.
    // The shell's own result: whether everything was copied is for the caller to check.
    virtual CopyResult ShellCopy(Handle owner, const std::string& from, const std::string& to) = 0;
    // Opens a folder in the file manager without taking the focus; whether it opened is not
    // told (the command has done its work by then).
    virtual void OpenFolder(const std::string& path) = 0;
    // Whether the file opens for reading without sharing.
    virtual bool ProbeFile(const std::string& path) = 0;
    // Creates the file `path`, where nothing stands yet, and writes `size` bytes to it without
    // sharing, with normal attributes. On failure `error` is the reason in the user's words.
    virtual WriteResult WriteNewFile(const std::string& path, const void* data, std::size_t size,
                                     std::string& error) = 0;
    // Moves the file `from` over the name `to` in the same folder: whatever stands at `to` is
    // replaced, a read-only, hidden or system file too, and a link itself, never its target.
    // On failure `error` is the reason in the user's words and nothing changed.
    virtual bool MoveOver(const std::string& from, const std::string& to, std::string& error) = 0;
    // Deletes the file at `path`; false when it cannot.
    virtual bool RemoveFile(const std::string& path) = 0;
    // Creates the folder `path` in an existing folder. On failure `error` is the reason in
    // the user's words.
    virtual bool CreateFolder(const std::string& path, std::string& error) = 0;
    // Removes the empty folder `path`. On failure `error` is the reason in the user's words.
    virtual bool RemoveFolder(const std::string& path, std::string& error) = 0;
    // The entries of `folder` without "." and "..", hidden and system ones included. False
    // when it cannot be listed completely, with `error` set to the reason in the user's words.
    virtual bool ListFolder(const std::string& folder, std::vector<FolderEntry>& entries,
                            std::string& error) = 0;
    // The identity of the file or folder at `path`, links followed. False when there is none.
    virtual bool IdentifyFile(const std::string& path, FileId& id) = 0;
    // The free space and cluster size of the volume that holds the existing folder `folder`.
    virtual bool QueryVolumeSpace(const std::string& folder, VolumeSpace& space) = 0;
    // Whether this program may create a file in the existing folder `folder`: creates one that
    // is gone when closed. On failure `error` is the reason in the user's words.
    virtual bool CanCreateFileIn(const std::string& folder, std::string& error) = 0;
    // What stands at each of `paths` (each in an existing folder), in their order, where the
    // folder's listing does not tell: how many names a file has, and on Wine which files are
    // links. Each is asked by name where the system can (Windows 10 1709 and later), else
    // opened itself; at a name nothing opens, a file is created and gone at once, to find a
    // link to nothing.
    virtual std::vector<NameFacts> InspectNames(const std::vector<std::string>& paths) = 0;
};

}  // namespace tessaloom
