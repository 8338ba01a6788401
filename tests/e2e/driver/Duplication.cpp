#include "Duplication.h"

#include <algorithm>
#include <cstdio>

#include "Picker.h"
#include "Window.h"
#include "platform/win32/ScopedHandles.h"

namespace e2e {

namespace {

constexpr char kFolderWindowClass[] = "ExplorerWClass";

std::string StatusText(int status) {
    char text[8];
    std::snprintf(text, sizeof text, "%03d", status);
    return text;
}

std::string ShortcutText(const std::string& target) {
    return "[InternetShortcut]\r\nURL=http://live.quorvane.example/" + target +
           "\r\n; original, from the installation\r\n";
}

}  // namespace

const ConnectionFile kConnectionFiles[kConnectionFileCount] = {
    {"QuorvaneLauncher.url", "cd_image\\data\\launcher\\QuorvaneLauncher.url"},
    {"DozidavuvUvurez.url", "cd_image\\data\\launcher\\DozidavuvUvurez.url"},
    {"QuorvanePatcher.url", "cd_image\\data\\patcher\\QuorvanePatcher.url"},
};

ConnectionBytes MakeConnectionBytes(const std::string& tag) {
    ConnectionBytes bytes;
    for (std::size_t i = 0; i < kConnectionFileCount; ++i) {
        bytes[i] = "[InternetShortcut]\r\nURL=http://test.quorvane.example/" + tag + "/" +
                   kConnectionFiles[i].name + "\r\n" + std::string(1, '\0') +
                   "Name=Pr\xC3\xBC"
                   "fstand \xE2\x80\x93 " +
                   tag + "\n\rraw=\xFF\xFE\x80\r\n";
    }
    return bytes;
}

void PublishConnectionFiles(const Catalogue& catalogue, const std::string& value,
                            const ConnectionBytes& bytes) {
    for (std::size_t i = 0; i < kConnectionFileCount; ++i) {
        catalogue.WriteFile(value + "/" + kConnectionFiles[i].name, bytes[i]);
    }
}

// --- The installation ---------------------------------------------------------------------

Installation MakeInstallation(const std::string& root, bool withPatcherFolder,
                              DWORD connectionAttributes) {
    Step("make an installation in " + root);
    if (PathExists(root)) Fail(root + " exists already");
    auto text = [&root](const std::string& path, const std::string& contents,
                        DWORD attributes = FILE_ATTRIBUTE_NORMAL) {
        WriteBytes(Join(root, path), contents, attributes);
    };
    auto noise = [&root](const std::string& path, unsigned long long size, unsigned seed,
                         DWORD attributes = FILE_ATTRIBUTE_NORMAL) {
        WriteNoise(Join(root, path), size, seed, attributes);
    };
    Installation installation;
    installation.root = root;
    installation.shipped = {ShortcutText("launcher"), ShortcutText("dozidavuv-uvurez"),
                            withPatcherFolder ? ShortcutText("patcher") : std::string()};

    text("version.id", "1.4.2\r\n");
    text("readme.txt", "Quorvane 1.4.2\r\n\r\nGenerated test data.\r\n");
    noise("bin\\game.exe", 640 * 1024, 11);
    noise("bin\\engine.dll", 1024 * 1024 + 17, 12);
    text("bin\\license.txt", "Read-only licence text.\r\n", FILE_ATTRIBUTE_READONLY);
    noise("cd_image\\setup.exe", 300 * 1024, 13);
    text(kConnectionFiles[0].local, installation.shipped[0], connectionAttributes);
    text(kConnectionFiles[1].local, installation.shipped[1], connectionAttributes);
    text("cd_image\\data\\launcher\\launcher.cfg", "[Launcher]\r\nLanguage=en\r\n");
    if (withPatcherFolder) {
        text(kConnectionFiles[2].local, installation.shipped[2], connectionAttributes);
        text("cd_image\\data\\patcher\\patcher.ini", "[Patcher]\r\nChannel=live\r\n");
    }
    noise("data\\maps\\harbour.dat", 400 * 1024, 101);
    noise("data\\maps\\highlands.dat", 300 * 1024 + 1, 102);
    noise("data\\sound\\ambient.bank", 700 * 1024, 201);
    noise("data\\save games\\slot 1.sav", 4096, 301);
    text(
        "data\\texts\\\xC3\x9C"
        "bersicht.txt",
        "Karten: harbour, highlands\r\n");
    text("data\\texts\\a\\b\\c\\deep.txt", "four levels down\r\n");
    text("data\\empty.cfg", "");
    noise("data\\cache.idx", 5000, 401, FILE_ATTRIBUTE_HIDDEN);
    text("desktop.ini", "[.ShellClassInfo]\r\n", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
    text("Hidden Folder\\inner.txt", "inner\r\n");
    const std::wstring hiddenFolder = Widen(Join(root, "Hidden Folder"));
    if (!SetFileAttributesW(hiddenFolder.c_str(), FILE_ATTRIBUTE_HIDDEN)) {
        Fail("cannot hide " + Join(root, "Hidden Folder"));
    }
    CreateFolders(Join(root, "logs"));

    Relist(installation);
    unsigned long long bytes = 0;
    for (const auto& entry : installation.listing) bytes += entry.second.size;
    Note("installation: " + std::to_string(installation.listing.size()) + " entries, " +
         std::to_string(bytes) + " bytes");
    return installation;
}

void Relist(Installation& installation) {
    installation.listing = ListTree(installation.root);
    installation.hash = HashOf(installation.listing);
}

void CheckUnchanged(const Installation& installation) {
    TreeListing now = ListTree(installation.root);
    if (HashOf(now) != installation.hash) {
        Fail("the installation changed\n   before:\n" + Describe(installation.listing) +
             "   after:\n" + Describe(now));
    }
    Check(true, "the installation is unchanged (" + std::to_string(now.size()) + " entries)");
}

void CheckCopy(const Installation& installation, const std::string& copy,
               const ConnectionBytes& connection, const TreeListing& alsoThere, DWORD unkept) {
    Step("compare " + copy + " with the installation");
    TreeListing expected = installation.listing;
    for (std::size_t i = 0; i < kConnectionFileCount; ++i) {
        CheckEqual(ReadBytes(Join(copy, kConnectionFiles[i].local)), connection[i],
                   std::string(kConnectionFiles[i].name) + " in the copy");
        TreeEntry& entry = expected[kConnectionFiles[i].local];
        entry.folder = false;
        entry.size = connection[i].size();
        entry.attributes = 0;
        entry.hash = Fnv1a(connection[i].data(), connection[i].size());
    }
    for (const auto& entry : alsoThere) expected.insert(entry);
    TreeListing actual = ListTree(copy);
    for (auto* listing : {&expected, &actual}) {
        for (auto& entry : *listing) entry.second.attributes &= ~unkept;
    }
    std::string differences;
    for (const auto& [path, entry] : expected) {
        auto found = actual.find(path);
        if (found == actual.end()) {
            differences += "  missing " + Quote(path) + "\n";
        } else if (entry.folder ? !found->second.folder : found->second != entry) {
            // Wine's shell makes the copy's folders afresh, without the source's attributes.
            differences += "  different " + Quote(path) + "\n";
        }
    }
    for (const auto& entry : actual) {
        if (expected.count(entry.first) == 0) differences += "  extra " + Quote(entry.first) + "\n";
    }
    if (!differences.empty()) {
        Fail("the copy differs from the installation:\n" + differences + "   the copy:\n" +
             Describe(actual));
    }
    Check(true, "the copy holds the installation's " + std::to_string(actual.size()) +
                    " entries at the same places, with the served connection files");
}

void CheckMissing(const std::string& path, const std::string& what) {
    Check(!PathExists(path), what + " does not exist: " + path);
}

// --- The program --------------------------------------------------------------------------

namespace {

// The standard icon a message box shows, told by its colours on screen: "error" (red),
// "exclamation" (yellow), "information" (blue) or "none".
std::string IconKindOf(const MessageBoxInfo& box) {
    for (HWND child : ChildWindows(box.window)) {
        if (!IsIconStatic(child) || !IsWindowVisible(child)) continue;
        RECT rect;
        if (!GetWindowRect(child, &rect)) continue;
        HDC screen = GetDC(nullptr);
        int red = 0, yellow = 0, blue = 0;
        for (int y = rect.top; y < rect.bottom; ++y) {
            for (int x = rect.left; x < rect.right; ++x) {
                const COLORREF pixel = GetPixel(screen, x, y);
                const int r = GetRValue(pixel), g = GetGValue(pixel), b = GetBValue(pixel);
                if (r > 150 && g < 90 && b < 90) {
                    ++red;
                } else if (r > 170 && g > 140 && b < 90) {
                    ++yellow;
                } else if (b > 150 && r < 110) {
                    ++blue;
                }
            }
        }
        ReleaseDC(nullptr, screen);
        // An eighth of the icon's area in one colour tells it (the yellow triangle covers
        // a fifth).
        const int enough = (rect.right - rect.left) * (rect.bottom - rect.top) / 8;
        if (red >= enough && red > yellow && red > blue) return "error";
        if (yellow >= enough && yellow > blue) return "exclamation";
        if (blue >= enough) return "information";
    }
    return "none";
}

}  // namespace

void CheckIcon(const MessageBoxInfo& box, const std::string& kind, const std::string& what) {
    std::string icon;
    WaitUntil([&] { return (icon = IconKindOf(box)) != "none"; }, kReactTimeoutMs);
    CheckEqual(icon, kind, what);
}

void ExpectNotice(const AppProcess& app, const std::string& text, DWORD timeoutMs) {
    Step("wait for the notice " + Quote(text));
    MessageBoxInfo box = WaitForMessageBox(app, timeoutMs);
    CheckMessageBox(box, kAppTitle, text, {IDOK}, true);
    CheckIcon(box, "error", "icon of the notice");
    Answer(box, IDOK);
}

namespace {

std::string WithoutLineFeeds(std::string text) {
    text.erase(std::remove(text.begin(), text.end(), '\n'), text.end());
    return text;
}

// The program breaks a path it shows into lines: the whole box must fit a screen 1024 pixels
// wide, and lie on this one.
void CheckFitsTheScreen(const MessageBoxInfo& box) {
    RECT rect;
    Check(GetWindowRect(box.window, &rect) != FALSE, "the message box has a rectangle");
    const int width = rect.right - rect.left;
    Check(width <= 1024,
          "the message box is " + std::to_string(width) + " pixels wide, no more than 1024");
    Check(rect.left >= 0 && rect.top >= 0 && rect.right <= GetSystemMetrics(SM_CXSCREEN) &&
              rect.bottom <= GetSystemMetrics(SM_CYSCREEN),
          "the message box lies on the screen");
}

}  // namespace

void ExpectPathNotice(const AppProcess& app, const std::string& first, const std::string& path,
                      const Context* shots, const std::string& screenshot) {
    Step("wait for the notice " + Quote(first) + " naming " + path);
    MessageBoxInfo box = WaitForMessageBox(app, 30000);
    if (shots != nullptr) shots->Screenshot(screenshot);
    const std::size_t end = box.text.find('\n');
    Check(box.text.substr(0, end) == first && end != std::string::npos &&
              WithoutLineFeeds(box.text.substr(end + 1)) == path,
          "the notice names " + path + " whole: " + Quote(box.text));
    CheckMessageBox(box, kAppTitle, box.text, {IDOK}, true);
    CheckIcon(box, "error", "icon of the notice");
    CheckFitsTheScreen(box);
    Answer(box, IDOK);
}

void ExpectCannotWrite(const AppProcess& app, const std::string& path, const std::string& icon) {
    Step("wait for the message that " + path + " cannot be written");
    MessageBoxInfo box = WaitForMessageBox(app, 60000);
    // The reason is the last line; the path may take several before it.
    const std::size_t last = box.text.rfind('\n');
    const std::string head = "Cannot write " + path + ".";
    Check(last != std::string::npos && WithoutLineFeeds(box.text.substr(0, last)) == head,
          "the message names " + path + ": " + Quote(box.text));
    const std::string reason = box.text.substr(last + 1);
    Check(!reason.empty(), "the message gives the reason on a line of its own: " + Quote(reason));
    CheckMessageBox(box, kAppTitle, box.text, {IDOK}, true);
    CheckIcon(box, icon, "icon of the message");
    CheckFitsTheScreen(box);
    Answer(box, IDOK);
}

void FillFields(const MainDialog& dialog, const std::string& source,
                const std::string& destination) {
    Step("fill the fields: " + Quote(source) + ", " + Quote(destination));
    SetTextOf(dialog.Item(IDC_SOURCE_EDIT), source);
    SetTextOf(dialog.Item(IDC_DEST_EDIT), destination);
}

void PickSource(const AppProcess& app, const MainDialog& dialog, const std::string& folder) {
    dialog.Click(IDC_BROWSE_SOURCE);
    PickFolder(app, kSourceInstruction, folder);
}

void PickParent(const AppProcess& app, const MainDialog& dialog, const std::string& serverName,
                const std::string& folder) {
    dialog.Click(IDC_BROWSE_DEST);
    PickFolder(app, DestinationInstruction(serverName), folder);
}

// --- The catalogue server's log -----------------------------------------------------------

namespace {

std::vector<std::string> RequestLines(const Catalogue& catalogue) {
    std::vector<std::string> lines;
    for (const LoggedRequest& request : catalogue.Log()) {
        lines.push_back(request.method + " " + request.path + " " + StatusText(request.status));
    }
    return lines;
}

// "GET /Tessaloom/RELATIVE STATUS".
std::string LogLine(const Catalogue& catalogue, const std::string& relative, int status = 200) {
    return "GET " + catalogue.PathOf(relative) + " " + StatusText(status);
}

}  // namespace

void CheckRequests(const Catalogue& catalogue, const std::vector<std::string>& expected) {
    CheckEqual(RequestLines(catalogue), expected, "requests the catalogue server saw");
}

std::vector<std::string> ConnectionRequests(const Catalogue& catalogue, const std::string& value) {
    std::vector<std::string> requests;
    for (const ConnectionFile& file : kConnectionFiles) {
        requests.push_back(LogLine(catalogue, value + "/" + file.name));
    }
    return requests;
}

// --- The file manager ---------------------------------------------------------------------

HWND FindFolderWindow(const std::string& title) {
    for (HWND window : AllTopLevelWindows()) {
        if (ClassOf(window) == kFolderWindowClass && IsWindowVisible(window) &&
            StoredTextOf(window) == title) {
            return window;
        }
    }
    return nullptr;
}

namespace {

// Waits for a file manager window titled `title`; fails after `timeoutMs`.
HWND WaitForFolderWindow(const std::string& title, DWORD timeoutMs) {
    Step("wait for the file manager window " + Quote(title));
    const unsigned long long start = GetTickCount64();
    HWND found = nullptr;
    if (!WaitUntil([&] { return (found = FindFolderWindow(title)) != nullptr; }, timeoutMs)) {
        // Every visible window, a crash report of the file manager included.
        std::string seen;
        for (HWND window : AllTopLevelWindows()) {
            if (!IsWindowVisible(window)) continue;
            DWORD pid = 0;
            GetWindowThreadProcessId(window, &pid);
            seen += "\n  pid " + std::to_string(pid) + " " + ClassOf(window) + " " +
                    Quote(StoredTextOf(window));
        }
        Fail("no file manager window " + Quote(title) + " within " + std::to_string(timeoutMs) +
             " ms; visible windows:" + seen);
    }
    Check(true, "file manager window " + Quote(title) + " after " +
                    std::to_string(ElapsedMs(start)) + " ms");
    return found;
}

// Closes the window and waits until it and its process have gone.
void CloseFolderWindow(HWND window) {
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    const tessaloom::ScopedHandle process(OpenProcess(SYNCHRONIZE, FALSE, pid));
    Step("close the file manager window");
    PostClose(window);
    const bool closed = WaitUntil([&] { return !IsWindow(window); }, kReactTimeoutMs);
    const bool ended =
        !process.valid() || WaitForSingleObject(process.get(), kExitTimeoutMs) == WAIT_OBJECT_0;
    Check(closed, "the file manager window has closed");
    Check(ended, "the file manager's process has ended");
}

void ExpectCompletion(const AppProcess& app, const std::string& copy) {
    Step("wait for the completion notice");
    MessageBoxInfo box = WaitForMessageBox(app, 60000);
    CheckMessageBox(box, kAppTitle, kCompleted, {IDOK}, true);
    CheckIcon(box, "error", "icon of the notice");

    std::string folder = copy;
    while (!folder.empty() && folder.back() == '\\') folder.pop_back();
    CloseFolderWindow(
        WaitForFolderWindow(folder.substr(folder.find_last_of('\\') + 1), kWindowTimeoutMs));

    Answer(box, IDOK);
    app.ExpectExit(0, kExitTimeoutMs, "the completion notice");
}

}  // namespace

// --- The fixture --------------------------------------------------------------------------

namespace {

std::vector<std::string> Concat(std::vector<std::string> first,
                                const std::vector<std::string>& second) {
    first.insert(first.end(), second.begin(), second.end());
    return first;
}

}  // namespace

DuplicationSetup WithEmptyFields() {
    DuplicationSetup setup;
    setup.fillFields = false;
    return setup;
}

DuplicationFixture::DuplicationFixture(const Context& context, const DuplicationSetup& given)
    : ctx(context),
      setup(given),
      scratch(ctx.options.scratch),
      installation(MakeInstallation(Join(scratch, setup.installation), setup.withPatcherFolder,
                                    setup.connectionAttributes)),
      copy(Join(scratch, setup.copy)),
      alpha(MakeConnectionBytes("alpha")),
      dialog(nullptr),
      listRequest(LogLine(ctx.catalogue, kServerListName)),
      fetches(ConnectionRequests(ctx.catalogue, "alpha")),
      listAndFetches(Concat({listRequest}, fetches)) {
    Start();
}

void DuplicationFixture::Start() {
    ctx.catalogue.WriteFile(kServerListName, setup.list);
    PublishConnectionFiles(ctx.catalogue, "alpha", alpha);
    ctx.catalogue.Clear();
    app = ctx.Launch();
    Step("wait for the main dialog");
    dialog = MainDialog::WaitFor(app);
    if (setup.fillFields) FillFields(dialog, installation.root, copy);
}

std::string DuplicationFixture::File(std::size_t file) const {
    return std::string("alpha/") + kConnectionFiles[file].name;
}

std::string DuplicationFixture::Request(std::size_t file, int status) const {
    return LogLine(ctx.catalogue, File(file), status);
}

MessageBoxInfo DuplicationFixture::ExpectDownloadPrompt(std::size_t file,
                                                        unsigned long code) const {
    Step(std::string("wait for the retry prompt of ") + kConnectionFiles[file].name);
    MessageBoxInfo box = WaitForMessageBox(app, kWindowTimeoutMs);
    ctx.CheckDownloadPrompt(box, code, ctx.catalogue.UrlOf(File(file)));
    return box;
}

void DuplicationFixture::ExpectRefusal(const std::string& text) const {
    const std::string source = dialog.SourceFolder();
    const std::string destination = dialog.DestinationFolder();
    dialog.Click(IDC_DUPLICATE);
    ExpectNotice(app, text);
    CheckDialogUsable();
    CheckEqual(dialog.SourceFolder(), source, "installation folder field (kept)");
    CheckEqual(dialog.DestinationFolder(), destination, "parent folder field (kept)");
}

void DuplicationFixture::ExpectCopyFailure() const {
    ExpectRefusal(kCopyFailed);
    CheckFetchedNothingWritten();
}

void DuplicationFixture::CheckFetchedNothingWritten() const {
    CheckRequests(ctx.catalogue, listAndFetches);
    for (std::size_t i = 0; i < kConnectionFileCount; ++i) {
        const std::string path = Join(copy, kConnectionFiles[i].local);
        if (!PathExists(path)) {
            Check(true, std::string(kConnectionFiles[i].name) + " not in the copy");
            continue;
        }
        // The shell may have copied the installation's file, or part of it, before failing.
        const std::string bytes = ReadBytes(path);
        const std::string& shipped = installation.shipped[i];
        Check(shipped.compare(0, bytes.size(), bytes) == 0 && bytes.size() <= shipped.size(),
              std::string(kConnectionFiles[i].name) + " in the copy is the installation's (" +
                  std::to_string(bytes.size()) + " bytes)");
    }
    CheckUnchanged(installation);
}

void DuplicationFixture::ExpectCompletion() const { e2e::ExpectCompletion(app, copy); }

void DuplicationFixture::CheckDialogUsable() const {
    app.CheckRunning("the main dialog");
    Check(IsShown(dialog.Window()) && IsWindowEnabled(dialog.Window()),
          "the main dialog is shown and enabled");
    CheckNoMessageBox(app, "over the main dialog");
}

}  // namespace e2e
