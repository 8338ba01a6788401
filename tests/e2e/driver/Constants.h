// What the program under test shows and is served, where more than one place of the driver
// checks it: its titles, notices and result codes, and the test catalogue's server lists.
#pragma once

#include <string>
#include <vector>

namespace e2e {

// --- Titles and notices -----------------------------------------------------------------------

constexpr char kMainDialogTitle[] = "Tessaloom V2.1";
// Title of the program's message boxes: the executable's name.
constexpr char kAppTitle[] = "Tessaloom";
constexpr char kAboutTitle[] = "About Tessaloom";

constexpr char kNoSourceFolder[] = "No source folder selected";
constexpr char kCompleted[] = "Operation completed.";
constexpr char kCopyFailed[] = "Failed to copy the Quorvane folder.";

// The instructions of the folder pickers: the installation's, and the parent's for the server
// `name`.
constexpr char kSourceInstruction[] = "Select the Quorvane folder:";
inline std::string DestinationInstruction(const std::string& name) {
    return "Select where you want the \"" + name + "\" folder:";
}

// --- Result codes of failed fetches, in the program's error-code form --------------------------

constexpr unsigned long kCodeStatus404 = 0x80190194;
constexpr unsigned long kCodeStatus500 = 0x801901F4;
constexpr unsigned long kCodeDownloadFailure = 0x800C0008;  // no answer, or a short body
constexpr unsigned long kCodeTimeout = 0x800C000B;          // a silent server
constexpr unsigned long kCodeTooLarge = 0x800C000F;         // a body over the limit
constexpr unsigned long kCodeRedirectFailed = 0x800C0014;   // too many redirects

// --- The test catalogue -----------------------------------------------------------------------

constexpr char kServerListName[] = "TestServers.txt";

constexpr char kTwoServers[] = "Alpha=alpha\nBeta Server=beta\n";
constexpr char kTwoServersCrLf[] = "Alpha=alpha\r\nBeta Server=beta\r\n";
inline const std::vector<std::string> kTwoServerNames = {"Alpha", "Beta Server"};

constexpr char kThreeServers[] = "Alpha=alpha\nBeta Server=beta\nGamma=gamma\n";
inline const std::vector<std::string> kThreeServerNames = {"Alpha", "Beta Server", "Gamma"};

}  // namespace e2e
