// What the Duplicate command and the folder pickers are checked against: an installation on
// disk, the catalogue's connection files, the program's notices, the catalogue server's
// request log and the file manager window that shows the copy; and the fixture that sets all
// of it up for a scenario.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "Catalogue.h"
#include "Constants.h"
#include "Driver.h"
#include "FileTree.h"
#include "MainDialog.h"
#include "MessageBoxes.h"
#include "Process.h"
#include "Scenario.h"

namespace e2e {

// The three files of a server directory: fetched and written in this order, to these places
// below the copy.
struct ConnectionFile {
    const char* name;
    const char* local;
};
constexpr std::size_t kConnectionFileCount = 3;
extern const ConnectionFile kConnectionFiles[kConnectionFileCount];
using ConnectionBytes = std::array<std::string, kConnectionFileCount>;

// Contents that any text translation would change: CR LF, lone CR and LF, a zero byte,
// UTF-8 and bytes that are not UTF-8. `tag` makes each set distinct.
ConnectionBytes MakeConnectionBytes(const std::string& tag);
// Writes the three files of the server directory `value` into the catalogue.
void PublishConnectionFiles(const Catalogue& catalogue, const std::string& value,
                            const ConnectionBytes& bytes);

// --- The installation ---------------------------------------------------------------------

// An installation as the program finds one: "version.id", programs and data in nested
// folders (a few MB), the three connection files as shipped, hidden, system and read-only
// files, a hidden folder, an empty file and folder, names with spaces and non-ASCII letters.
struct Installation {
    std::string root;
    TreeListing listing;  // as made
    std::uint64_t hash = 0;
    ConnectionBytes shipped;  // its own connection files
};
// Makes it at `root` (which must not exist); `withPatcherFolder` false leaves out
// cd_image\data\patcher and what it holds. Its connection files get `connectionAttributes`.
Installation MakeInstallation(const std::string& root, bool withPatcherFolder = true,
                              DWORD connectionAttributes = FILE_ATTRIBUTE_NORMAL);
// Takes the listing and hash afresh, after the scenario changed the installation.
void Relist(Installation& installation);
// Fails unless the installation is byte for byte as it was made.
void CheckUnchanged(const Installation& installation);

// Fails unless `copy` holds exactly the installation's entries, at the same places, files with
// the same contents and kept attributes, except the connection files, which hold `connection`;
// `alsoThere` holds the entries it has besides, as ListTree gives them. `unkept`: attributes
// not compared (Wine's shell drops the read-only attribute of a file it replaces).
void CheckCopy(const Installation& installation, const std::string& copy,
               const ConnectionBytes& connection, const TreeListing& alsoThere = {},
               DWORD unkept = 0);
void CheckMissing(const std::string& path, const std::string& what);

// --- The program --------------------------------------------------------------------------

// Checks the standard icon the message box shows, told by its colours on screen: "error"
// (red), "exclamation" (yellow) or "information" (blue); waits a moment for it to be drawn.
void CheckIcon(const MessageBoxInfo& box, const std::string& kind, const std::string& what);
// Waits for a message box and checks that it is the program's notice `text`: its name as
// title, an error icon and OK alone; answers OK.
void ExpectNotice(const AppProcess& app, const std::string& text, DWORD timeoutMs = 30000);

// Waits for the program's notice of `first` on its first line and `path` below it, broken
// into lines that fit, checks it (its name as title, OK alone, an error icon, on the screen,
// no wider than 1024 pixels) and answers OK; with `shots`, a screenshot `screenshot` of it
// first.
void ExpectPathNotice(const AppProcess& app, const std::string& first, const std::string& path,
                      const Context* shots = nullptr, const std::string& screenshot = "");

// Waits for the program's message "Cannot write PATH." (the path perhaps broken into lines)
// with the system's reason on a line of its own below, checks it (its name as title, OK
// alone, the icon `icon` as CheckIcon tells it, on the screen) and answers OK.
void ExpectCannotWrite(const AppProcess& app, const std::string& path, const std::string& icon);

// Fills the folder fields as the pickers do.
void FillFields(const MainDialog& dialog, const std::string& source,
                const std::string& destination);
// Clicks "..." beside the field and chooses `folder` in the picker.
void PickSource(const AppProcess& app, const MainDialog& dialog, const std::string& folder);
void PickParent(const AppProcess& app, const MainDialog& dialog, const std::string& serverName,
                const std::string& folder);

// --- The catalogue server's log -----------------------------------------------------------

// Fails unless the server's log holds `expected`, "GET /path STATUS" lines.
void CheckRequests(const Catalogue& catalogue, const std::vector<std::string>& expected);
// The requests of the three connection files of `value`, each answered with 200.
std::vector<std::string> ConnectionRequests(const Catalogue& catalogue, const std::string& value);

// --- The file manager ---------------------------------------------------------------------

// A visible file manager window (of any process) titled `title`; null when there is none.
HWND FindFolderWindow(const std::string& title);

// --- The fixture --------------------------------------------------------------------------

// What a scenario starts from; the defaults are the common case. Paths are below the scratch
// folder.
struct DuplicationSetup {
    std::string installation = "Quorvane";
    // As MakeInstallation takes them.
    bool withPatcherFolder = true;
    DWORD connectionAttributes = FILE_ATTRIBUTE_NORMAL;
    std::string copy = "Tests\\Alpha\\";  // the folder the copy goes to
    std::string list = kTwoServers;       // the server list served
    bool fillFields = true;               // false: both folder fields stay empty
};
// The common set-up with both folder fields left empty.
DuplicationSetup WithEmptyFields();

// The set-up the duplication and picker scenarios share, done when it is made: the
// installation; the list and the connection files of "alpha" served, the server's faults and
// log cleared; the program started, its main dialog shown and the fields filled with the
// installation and the copy.
struct DuplicationFixture {
    explicit DuplicationFixture(const Context& context, const DuplicationSetup& given = {});

    // Serves the list and `alpha` afresh, starts the program and fills the fields, as when
    // the fixture was made; for a second run.
    void Start();

    // "alpha/NAME" for connection file `file`, and its GET as the server logs it.
    std::string File(std::size_t file) const;
    std::string Request(std::size_t file, int status) const;

    // Waits for the retry prompt of connection file `file` and checks it.
    MessageBoxInfo ExpectDownloadPrompt(std::size_t file, unsigned long code) const;
    // Clicks Duplicate! and expects the notice `text`, with the fields kept and the dialog
    // usable.
    void ExpectRefusal(const std::string& text) const;
    // A copy that fails: the notice, then CheckFetchedNothingWritten.
    void ExpectCopyFailure() const;
    // The three files were fetched, yet none was written into the copy (each is missing or
    // still the installation's, whole or cut short); the installation is unchanged.
    void CheckFetchedNothingWritten() const;
    // Waits for "Operation completed.", checks the file manager shows the copy, closes it,
    // answers the notice and expects exit code 0.
    void ExpectCompletion() const;
    // The program still runs with its dialog shown, enabled and alone.
    void CheckDialogUsable() const;

    const Context& ctx;
    const DuplicationSetup setup;
    const std::string scratch;
    Installation installation;
    const std::string copy;
    ConnectionBytes alpha;  // served as the connection files of "alpha"
    AppProcess app;
    MainDialog dialog;
    // The requests of a run: the list at start, then the three files Duplicate! fetches.
    const std::string listRequest;
    const std::vector<std::string> fetches;
    const std::vector<std::string> listAndFetches;
};

}  // namespace e2e
