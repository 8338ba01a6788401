// What the Duplicate command and the folder pickers are checked against: an installation on
// disk, the catalogue's connection files, the program's notices, the catalogue server's
// request log and the file manager window that shows the copy.
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
// Fails unless the installation is byte for byte as it was made.
void CheckUnchanged(const Installation& installation);

// Fails unless `copy` holds exactly the installation's entries, at the same places, files with
// the same contents and kept attributes, except the connection files, which hold `connection`;
// `alsoThere` holds the entries it has besides, as ListTree gives them. `unkept`: attributes
// not compared (Wine's shell drops the read-only attribute of a file it replaces).
void CheckCopy(const Installation& installation, const std::string& copy,
               const ConnectionBytes& connection, const TreeListing& alsoThere = {},
               DWORD unkept = 0);
// Fails unless each connection file below `copy` is missing or still as in the installation
// (none holds what the catalogue served).
void CheckNoConnectionFileWritten(const Installation& installation, const std::string& copy);
void CheckMissing(const std::string& path, const std::string& what);

// --- The program --------------------------------------------------------------------------

// The standard icon a message box shows, told by its colours on screen: "error" (red),
// "exclamation" (yellow), "information" (blue) or "none".
std::string IconKindOf(const MessageBoxInfo& box);

// Waits for a message box and checks that it is the program's notice `text`: its name as
// title, an error icon and OK alone; answers OK.
void ExpectNotice(const AppProcess& app, const std::string& text, DWORD timeoutMs = 30000);
// Checks that the program still runs with its dialog shown, enabled and alone.
void CheckDialogUsable(const AppProcess& app, const MainDialog& dialog);

// Fills the folder fields as the pickers do.
void FillFields(const MainDialog& dialog, const std::string& source,
                const std::string& destination);
// Clicks "..." beside the field and chooses `folder` in the picker.
void PickSource(const AppProcess& app, const MainDialog& dialog, const std::string& folder);
void PickParent(const AppProcess& app, const MainDialog& dialog, const std::string& serverName,
                const std::string& folder);

// --- The catalogue server's log -----------------------------------------------------------

// The server's log as "GET /path STATUS" lines.
std::vector<std::string> RequestLines(const Catalogue& catalogue);
void CheckRequests(const Catalogue& catalogue, const std::vector<std::string>& expected);
// "GET /Tessaloom/RELATIVE STATUS".
std::string Request(const Catalogue& catalogue, const std::string& relative, int status = 200);
// The requests of the three connection files of `value`, each answered with 200.
std::vector<std::string> ConnectionRequests(const Catalogue& catalogue, const std::string& value);

// --- The file manager ---------------------------------------------------------------------

// A visible file manager window (of any process) titled `title`; null when there is none.
HWND FindFolderWindow(const std::string& title);
// Waits for one; fails after `timeoutMs`.
HWND WaitForFolderWindow(const std::string& title, DWORD timeoutMs = 20000);
// Closes it and waits until it and its process have gone.
void CloseFolderWindow(HWND window);

// Waits for "Operation completed.", checks the file manager shows `copy` (a folder path),
// closes it, answers the notice and expects exit code 0.
void ExpectCompletion(const AppProcess& app, const std::string& copy);

}  // namespace e2e
