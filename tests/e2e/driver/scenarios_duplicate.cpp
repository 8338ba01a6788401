// The Duplicate command: the checks before anything is fetched, the fetches of the three
// connection files, the shell's copy of the installation (new and existing copies, copies
// that fail or are cancelled) and the connection files written into the copy. Each outcome
// is checked on disk and in the catalogue server's log, not only by the notice.
#include <algorithm>
#include <cctype>
#include <cstring>
#include <string>
#include <vector>

#include "Duplication.h"
#include "Scenario.h"
#include "Window.h"
#include "platform/win32/ScopedHandles.h"

namespace e2e {

namespace {

// The shell's question before it replaces an entry of an existing copy, and its answers.
constexpr char kOverwritePromptTitle[] = "Confirm file overwrite";
constexpr int kYesToAll = 12807;

// File systems that scratch-mounts.sh mounts in the scratch folder.
constexpr char kFullDisk[] = "full";
constexpr char kReadOnlyDisk[] = "readonly";
// A folder of the read-only disk, made before the disk became read-only.
constexpr char kReadOnlyFolder[] = "Games";

constexpr char kPathTooLong[] = "The destination path is too long.";
constexpr char kInsideInstallation[] =
    "The destination folder must not be inside the Quorvane folder.";

// The most characters of a path: a path buffer less its terminator.
constexpr std::size_t kMostPathChars = 259;
// The longest folder name these scenarios make: file systems on Linux take 255 bytes.
constexpr std::size_t kLongestName = 120;

// A folder name of `length` characters, Cyrillic words and spaces.
std::string CyrillicName(std::size_t length) {
    const std::wstring words =
        L"\u041F\u0440\u043E\u0432\u0435\u0440\u043A\u0430 \u043A\u043E\u043F\u0438\u0439 ";
    std::wstring name;
    while (name.size() < length) name += words;
    name.resize(length);
    if (name.back() == L' ') name.back() = L'\u044F';  // no final space
    return Narrow(name);
}

std::string FailedDownload(std::size_t file) {
    return std::string("Failed to download ") + kConnectionFiles[file].name + " file.";
}

// --- The shell's overwrite prompts ----------------------------------------------------------

HWND FindOverwritePrompt(const AppProcess& app) {
    HWND prompt = FindDialog(app.Id(), kOverwritePromptTitle);
    return IsShown(prompt) ? prompt : nullptr;
}

void CheckOverwritePrompt(HWND prompt) {
    std::vector<std::string> buttons;
    for (HWND child : ChildWindows(prompt)) {
        if (ClassOf(child) != "Button" || !IsWindowVisible(child)) continue;
        std::string label;
        for (char c : TextOf(child)) {
            if (c != '&') label += c;
        }
        buttons.push_back(std::to_string(ControlId(child)) + " " + label);
    }
    CheckEqual(buttons, {"6 Yes", "12807 Yes to all", "7 No", "2 Cancel"},
               "buttons of the overwrite prompt");
}

// Answers every overwrite prompt with `buttonId` until the program shows a message box;
// returns how many prompts there were.
int AnswerOverwritePrompts(const AppProcess& app, int buttonId, const std::string& label) {
    Step("answer each overwrite prompt with " + Quote(label));
    int prompts = 0;
    for (;;) {
        HWND prompt = nullptr;
        bool boxShown = false;
        if (!WaitUntil(
                [&] {
                    app.CheckRunning("an overwrite prompt or a message box");
                    prompt = FindOverwritePrompt(app);
                    boxShown = !FindMessageBoxes(app.Id()).empty();
                    return prompt != nullptr || boxShown;
                },
                60000)) {
            Fail("neither an overwrite prompt nor a message box within 60 s; windows:\n" +
                 DescribeWindows(app.Id()));
        }
        if (prompt == nullptr) break;
        if (prompts == 0) CheckOverwritePrompt(prompt);
        PostClick(prompt, buttonId);
        if (!WaitUntil([&] { return !IsShown(prompt); }, kReactTimeoutMs)) {
            Fail("the overwrite prompt is still open after " + label);
        }
        ++prompts;
    }
    Note(std::to_string(prompts) + " overwrite prompt(s) answered");
    return prompts;
}

}  // namespace

E2E_SCENARIO(duplicate_full,
             "whole duplication through long folder names in Cyrillic, to the path limit: copy, "
             "bytes, log") {
    // Names no Western code page holds, picked in the real picker.
    const std::string games = "\xD0\x98\xD0\xB3\xD1\x80\xD1\x8B";          // "Игры"
    const std::string tests = "\xD0\xA2\xD0\xB5\xD1\x81\xD1\x82\xD1\x8B";  // "Тесты"
    // The parent's names fill the path: the copy's deepest path, a connection file's, has the
    // most characters a path may have, and more bytes than that in UTF-8.
    const std::string serverFolder = "\\Beta Server\\";
    std::string deepestFile;
    for (const ConnectionFile& file : kConnectionFiles) {
        if (std::strlen(file.local) > deepestFile.size()) deepestFile = file.local;
    }
    const std::size_t deepest = deepestFile.size();
    // The scratch folder, "Тесты", two separators, the server's folder and the deepest file.
    const std::size_t fixed =
        Widen(Join(ctx.options.scratch, tests)).size() + 2 + serverFolder.size() + deepest;
    if (fixed + 2 > kMostPathChars || kMostPathChars - fixed > 2 * kLongestName) {
        Fail("the scratch folder's path leaves no room for this scenario's names");
    }
    const std::size_t room = kMostPathChars - fixed;
    const std::string parent =
        tests + "\\" + CyrillicName(room / 2) + "\\" + CyrillicName(room - room / 2);
    DuplicationSetup setup = WithEmptyFields();
    setup.installation = games + "\\Quorvane";
    setup.copy = parent + serverFolder;
    setup.list = kTwoServersCrLf;  // the server's value has no CR in the URLs
    DuplicationFixture dup(ctx, setup);
    CreateFolders(Join(dup.scratch, parent));
    std::size_t installationDeepest = 0;
    for (const auto& entry : dup.installation.listing) {
        installationDeepest = std::max(installationDeepest, Widen(entry.first).size());
    }
    Check(installationDeepest <= deepest, "the connection files are the deepest paths of the copy");
    const std::string deepestPath = dup.copy + deepestFile;
    CheckEqual(static_cast<long long>(Widen(deepestPath).size()),
               static_cast<long long>(kMostPathChars), "characters of the copy's deepest path");
    Check(deepestPath.size() > kMostPathChars,
          "the copy's deepest path has " + std::to_string(deepestPath.size()) + " bytes in UTF-8");
    const ConnectionBytes beta = MakeConnectionBytes("beta");
    PublishConnectionFiles(ctx.catalogue, "beta", beta);
    CheckEqual(dup.dialog.Servers(), kTwoServerNames, "server selector entries");

    Step("choose the second server and both folders, as a person does");
    ComboSelect(dup.dialog.Item(IDC_SERVER_COMBO), 1);
    PickSource(dup.app, dup.dialog, dup.installation.root);
    PickParent(dup.app, dup.dialog, "Beta Server", Join(dup.scratch, parent));
    WaitUntil([&] { return dup.dialog.DestinationFolder() == dup.copy; }, kReactTimeoutMs);
    CheckEqual(dup.dialog.SourceFolder(), dup.installation.root, "installation folder field");
    CheckEqual(dup.dialog.DestinationFolder(), dup.copy, "parent folder field");

    dup.dialog.Click(IDC_DUPLICATE);
    dup.ExpectCompletion();
    std::vector<std::string> expected = ConnectionRequests(ctx.catalogue, "beta");
    expected.insert(expected.begin(), dup.listRequest);
    CheckRequests(ctx.catalogue, expected);
    CheckCopy(dup.installation, dup.copy, beta);
    CheckMissing(dup.copy + "Quorvane", "a copy nested in the destination");
    const std::string above = Join(dup.scratch, parent.substr(0, parent.find_last_of('\\')));
    CheckMissing(above + "\\Beta Server", "a copy in the folder above the picked one");
    CheckUnchanged(dup.installation);
}

E2E_SCENARIO(duplicate_japanese,
             "Japanese system code page: folders whose names hold a \"\\\" byte in it, a new "
             "copy and one merged into it") {
    // In code page 932 the second byte of 表 (95 5C) and ソ (83 5C) is "\": split as bytes of
    // that code page, such names put the copy beside the parent, and merge the installation's
    // folder into the copy instead of its entries.
    const std::string software = "\xE3\x82\xBD\xE3\x83\x95\xE3\x83\x88";   // "ソフト"
    const std::string release = "\xE7\x99\xBA\xE8\xA1\xA8";                // "発表"
    const std::string schedule = "\xE4\xBA\x88\xE5\xAE\x9A\xE8\xA1\xA8";   // "予定表"
    const std::string timetable = "\xE6\x97\xA5\xE7\xA8\x8B\xE8\xA1\xA8";  // "日程表"
    const std::string display = "\xE8\xA1\xA8\xE7\xA4\xBA";                // "表示"
    Step("the system's code page (run-scenario.sh --locale ja_JP.UTF-8)");
    CheckEqual(GetACP(), 932, "the system's ANSI code page");
    CheckEqual(GetUserDefaultUILanguage(), 0x0409, "the language of Wine's windows (English)");

    DuplicationSetup setup = WithEmptyFields();
    setup.installation = software + "\\" + release;
    setup.copy = schedule + "\\" + timetable + "\\";
    // A list without a byte-order mark is read in the system's code page: "日程表=alpha" and
    // "表示=beta" in code page 932.
    setup.list = "\x93\xFA\x92\xF6\x95\x5C=alpha\r\n\x95\x5C\x8E\xA6=beta\r\n";
    DuplicationFixture dup(ctx, setup);
    CheckEqual(dup.app.AnsiCodePage(), 932, "the ANSI code page the program runs with");
    const std::string parent = Join(dup.scratch, schedule);
    CreateFolders(parent);
    CheckEqual(dup.dialog.Servers(), {timetable, display}, "server selector entries");

    Step("choose both folders in the picker");
    PickSource(dup.app, dup.dialog, dup.installation.root);
    PickParent(dup.app, dup.dialog, timetable, parent);
    WaitUntil([&] { return dup.dialog.DestinationFolder() == dup.copy; }, kReactTimeoutMs);
    CheckEqual(dup.dialog.SourceFolder(), dup.installation.root, "installation folder field");
    CheckEqual(dup.dialog.DestinationFolder(), dup.copy, "parent folder field");
    dup.dialog.Click(IDC_DUPLICATE);
    dup.ExpectCompletion();
    CheckRequests(ctx.catalogue, dup.listAndFetches);
    CheckCopy(dup.installation, dup.copy, dup.alpha);
    CheckMissing(parent + timetable, "a copy beside the parent");
    for (const auto& entry : ListTree(parent)) {
        if (entry.first.compare(0, timetable.size(), timetable) != 0) {
            Fail("the parent holds " + Quote(entry.first) + " besides the copy");
        }
    }

    Step("duplicate again into the copy, a new file in the installation");
    WriteBytes(dup.installation.root + "\\data\\maps\\second.dat", "second");
    Relist(dup.installation);
    dup.alpha = MakeConnectionBytes("second");
    dup.Start();
    FillFields(dup.dialog, dup.installation.root, dup.copy);
    dup.dialog.Click(IDC_DUPLICATE);
    AnswerOverwritePrompts(dup.app, kYesToAll, "Yes to all");
    dup.ExpectCompletion();
    CheckRequests(ctx.catalogue, dup.listAndFetches);
    CheckCopy(dup.installation, dup.copy, dup.alpha, {}, FILE_ATTRIBUTE_READONLY);
    CheckMissing(dup.copy + release, "the installation's folder in the copy");
    CheckUnchanged(dup.installation);
}

E2E_SCENARIO(duplicate_refused, "checks before any fetch: empty fields, no version.id, bad paths") {
    DuplicationFixture dup(ctx, WithEmptyFields());
    const std::string& scratch = dup.scratch;
    const std::string& root = dup.installation.root;
    const std::string notInstalled = scratch + "\\Other";
    WriteBytes(notInstalled + "\\readme.txt", "no version.id here\r\n");
    WriteBytes(notInstalled + "\\data\\version.id", "1.0\r\n");  // not at the top
    const std::string tests = scratch + "\\Tests";

    Step("both fields empty");
    dup.ExpectRefusal(kNoSourceFolder);
    Step("only the installation chosen");
    PickSource(dup.app, dup.dialog, root);
    dup.ExpectRefusal("No destination folder selected");
    Step("a folder without version.id at its top");
    FillFields(dup.dialog, notInstalled, tests + "\\Alpha\\");
    dup.ExpectRefusal("The source folder must contain quorvane.");
    Step("a destination too long for the connection files' paths");
    FillFields(dup.dialog, root, tests + "\\" + std::string(180, 'x') + "\\Alpha\\");
    dup.ExpectRefusal(kPathTooLong);
    Step("a destination the connection files fit below, but not the installation's deepest file");
    // A file 160 characters below the top: seven folders and its name. In the copy its path
    // would have one character more than a path may have.
    const std::string deep = scratch + "\\Deep";
    std::string deepFile;
    for (int level = 0; level < 7; ++level)
        deepFile += std::string(19, static_cast<char>('a' + level)) + "\\";
    deepFile += std::string(20, 'z');
    WriteBytes(deep + "\\version.id", "1.4.2\r\n");
    WriteBytes(Join(deep, deepFile), "deep\r\n");
    const std::size_t around = Widen(tests).size() + std::strlen("\\\\Alpha\\");
    const std::size_t name = kMostPathChars + 1 - deepFile.size() - around;
    if (name > kLongestName) Fail("the scratch folder's path leaves no room for this step");
    FillFields(dup.dialog, deep, tests + "\\" + std::string(name, 'y') + "\\Alpha\\");
    dup.ExpectRefusal(kPathTooLong);

    Step("the installation itself as the parent, chosen with the pickers");
    PickSource(dup.app, dup.dialog, root);
    PickParent(dup.app, dup.dialog, "Alpha", root);
    dup.ExpectRefusal(kInsideInstallation);
    Step("a folder of the installation as the parent");
    PickParent(dup.app, dup.dialog, "Alpha", root + "\\data");
    dup.ExpectRefusal(kInsideInstallation);
    Step("the same, spelt in other case and with a dot segment");
    std::string upper = root;
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    FillFields(dup.dialog, root, upper + "\\.\\bin\\Alpha\\");
    dup.ExpectRefusal(kInsideInstallation);

    Step("a parent reached through a link to the installation");
    FillFields(dup.dialog, root, scratch + "\\ToGame\\Alpha\\");
    dup.ExpectRefusal(kInsideInstallation);
    FillFields(dup.dialog, root, scratch + "\\ToGame\\data\\Alpha\\");
    dup.ExpectRefusal(kInsideInstallation);
    Step("installations holding a link to their own folder and to the folder above");
    for (const char* looped : {"\\LoopSelf", "\\LoopUp"}) {
        FillFields(dup.dialog, scratch + looped, tests + "\\Alpha\\");
        dup.ExpectRefusal("The Quorvane folder contains a link that loops back into itself.");
    }
    Step("an existing copy holding one of the installation's files: a hard link, a symbolic link");
    const std::string linked = scratch + "\\Linked";
    WriteBytes(linked + "\\readme.txt", "mine\r\n");
    if (!CreateHardLinkW(Widen(linked + "\\version.id").c_str(),
                         Widen(root + "\\version.id").c_str(), nullptr)) {
        Fail("cannot make a hard link: error " + std::to_string(GetLastError()));
    }
    FillFields(dup.dialog, root, linked + "\\");
    dup.ExpectRefusal(kInsideInstallation);
    FillFields(dup.dialog, root, scratch + "\\Shared\\");
    dup.ExpectRefusal(kInsideInstallation);

    Step(
        "existing copies the copy would write through: a link to a folder, a link to a file, a "
        "link to nothing at a connection file's name, a second name of a file elsewhere");
    const std::string elsewhere = scratch + "\\Elsewhere";
    const TreeListing theirs = ListTree(elsewhere);
    const std::pair<const char*, std::string> throughs[] = {
        {"ThroughFolder", "cd_image\\data"},
        {"ThroughFile", "readme.txt"},
        {"ThroughNothing", kConnectionFiles[0].local},
        {"ThroughName", "readme.txt"},
    };
    for (const auto& [copy, entry] : throughs) {
        FillFields(dup.dialog, root, scratch + "\\" + copy + "\\");
        dup.dialog.Click(IDC_DUPLICATE);
        ExpectPathNotice(dup.app, "The destination folder holds a link where the copy writes:",
                         scratch + "\\" + copy + "\\" + entry);
    }
    CheckEqual(Describe(ListTree(elsewhere)), Describe(theirs), "what the links lead to");

    Step("a file where the copy's folder goes");
    WriteBytes(scratch + "\\InTheWay", "mine\r\n");
    FillFields(dup.dialog, root, scratch + "\\InTheWay\\");
    dup.dialog.Click(IDC_DUPLICATE);
    ExpectPathNotice(dup.app,
                     "A file is in the way of the destination folder:", scratch + "\\InTheWay");
    CheckEqual(ReadBytes(scratch + "\\InTheWay"), std::string("mine\r\n"), "the file in the way");

    Step(
        "an installation that lies too deep for the shell: its 336-character path named whole, "
        "in lines that fit");
    // A name of wide letters longer than any screen is wide, and narrow ones to fill the path.
    std::string deepTop = Join(scratch, "Long\\" + std::string(kLongestName, 'W'));
    deepTop +=
        "\\" + std::string(336 - std::strlen("\\version.id") - 1 - Widen(deepTop).size(), 'm');
    WriteBytes(deepTop + "\\version.id", "1.4.2\r\n");
    FillFields(dup.dialog, deepTop, tests + "\\Alpha\\");
    dup.dialog.Click(IDC_DUPLICATE);
    ExpectPathNotice(dup.app,
                     "The Quorvane folder holds a path too long to copy:", deepTop + "\\version.id",
                     &ctx, "path-too-long");
    dup.CheckDialogUsable();

    CheckRequests(ctx.catalogue, {dup.listRequest});  // nothing fetched
    CheckMissing(tests, "the destination's parent");
    CheckMissing(root + "\\Alpha", "a copy in the installation");
    CheckMissing(root + "\\data\\Alpha", "a copy in the installation");
    CheckUnchanged(dup.installation);
    dup.dialog.ClickCloseBox();
    dup.app.ExpectExit(0, kExitTimeoutMs, "the close box");
}

E2E_SCENARIO(duplicate_no_server, "an empty server list: \"No test server selected\"") {
    DuplicationSetup setup = WithEmptyFields();
    setup.list = "no servers today\n";
    DuplicationFixture dup(ctx, setup);
    CreateFolders(dup.scratch + "\\Tests");
    CheckEqual(ComboCount(dup.dialog.Item(IDC_SERVER_COMBO)), 0, "server selector entries");

    Step("the parent's picker needs a server");
    dup.dialog.Click(IDC_BROWSE_DEST);
    ExpectNotice(dup.app, "No test server selected");  // instead of the picker
    Step("Duplicate! needs one too");
    FillFields(dup.dialog, dup.installation.root, dup.copy);
    dup.ExpectRefusal("No test server selected");

    CheckRequests(ctx.catalogue, {dup.listRequest});  // nothing fetched
    CheckMissing(dup.copy, "the copy");
    dup.dialog.Click(IDCANCEL);
    dup.app.ExpectExit(0, kExitTimeoutMs, "Cancel");
}

E2E_SCENARIO(fetch_cancel, "fetch cancelled at file 1, then 2: nothing copied; then a success") {
    DuplicationFixture dup(ctx);
    for (std::size_t failing = 0; failing < 2; ++failing) {
        Step(std::string("status 404 for ") + kConnectionFiles[failing].name +
             ", cancelled at the prompt");
        ctx.catalogue.Clear();
        ctx.catalogue.AddFault(dup.File(failing), "status=404");
        dup.dialog.Click(IDC_DUPLICATE);
        Answer(dup.ExpectDownloadPrompt(failing, kCodeStatus404), IDCANCEL);
        ExpectNotice(dup.app, FailedDownload(failing));
        dup.CheckDialogUsable();
        // The files before it were fetched, none after it.
        std::vector<std::string> expected(dup.fetches.begin(), dup.fetches.begin() + failing);
        expected.push_back(dup.Request(failing, 404));
        CheckRequests(ctx.catalogue, expected);
        CheckMissing(dup.copy, "the copy");
    }

    Step("no fault but one status 500 for the third file: Retry, then all goes through");
    ctx.catalogue.Clear();
    ctx.catalogue.AddFault(dup.File(2), "status=500,failfirst=1");
    dup.dialog.Click(IDC_DUPLICATE);
    Answer(dup.ExpectDownloadPrompt(2, kCodeStatus500), IDRETRY);
    dup.ExpectCompletion();
    CheckRequests(ctx.catalogue,
                  {dup.fetches[0], dup.fetches[1], dup.Request(2, 500), dup.fetches[2]});
    CheckCopy(dup.installation, dup.copy, dup.alpha);
    CheckUnchanged(dup.installation);
}

E2E_SCENARIO(fetch_broken, "a cut connection file and a 404 one: notice after Cancel, no copy") {
    DuplicationFixture dup(ctx);
    Step("the first file's body stops after 5 bytes");
    ctx.catalogue.AddFault(dup.File(0), "truncate=5");
    dup.dialog.Click(IDC_DUPLICATE);
    Answer(dup.ExpectDownloadPrompt(0, kCodeDownloadFailure), IDCANCEL);
    ExpectNotice(dup.app, FailedDownload(0));
    // A 200 whose body stops short.
    CheckRequests(ctx.catalogue, {dup.listRequest, dup.fetches[0]});
    CheckMissing(dup.copy, "the copy");
    dup.CheckDialogUsable();

    Step("status 404 for the third file: Retry fetches it again, then Cancel");
    ctx.catalogue.Clear();
    ctx.catalogue.AddFault(dup.File(2), "status=404");
    dup.dialog.Click(IDC_DUPLICATE);
    Answer(dup.ExpectDownloadPrompt(2, kCodeStatus404), IDRETRY);
    Answer(dup.ExpectDownloadPrompt(2, kCodeStatus404), IDCANCEL);
    ExpectNotice(dup.app, FailedDownload(2));
    CheckRequests(ctx.catalogue,
                  {dup.fetches[0], dup.fetches[1], dup.Request(2, 404), dup.Request(2, 404)});
    CheckMissing(dup.copy, "the copy");
    dup.CheckDialogUsable();
    CheckUnchanged(dup.installation);
    dup.dialog.PressEscape();
    dup.app.ExpectExit(0, kExitTimeoutMs, "Escape");
}

E2E_SCENARIO(fetch_hostile,
             "connection files cut in their chunks, stalled, over 16 MiB: prompts, nothing "
             "written; five redirects and a body without length: the copy") {
    DuplicationFixture dup(ctx);
    // 300,000 bytes, of which a cut would leave a plausible file.
    std::string& big = dup.alpha[0];
    while (big.size() < 300000) big += big;
    big.resize(300000);
    PublishConnectionFiles(ctx.catalogue, "alpha", dup.alpha);
    // Every request of the program asks with HTTP/1.0, which no server may answer chunked.
    auto checkRequests = [&ctx](const std::vector<std::string>& expected) {
        CheckRequests(ctx.catalogue, expected);
        ctx.catalogue.CheckRequestVersions("HTTP/1.0");
    };
    const std::vector<std::string>& fetches = dup.fetches;

    Step("the first file chunked and cut after 100,000 bytes, inside a chunk");
    ctx.catalogue.AddFault(dup.File(0), "chunked=4096,truncate=100000");
    dup.dialog.Click(IDC_DUPLICATE);
    MessageBoxInfo box = dup.ExpectDownloadPrompt(0, kCodeDownloadFailure);
    Step("Retry: cut at a chunk boundary, then Cancel");
    ctx.catalogue.AddFault(dup.File(0), "chunked=4000,truncate=100000");
    Answer(box, IDRETRY);
    Answer(dup.ExpectDownloadPrompt(0, kCodeDownloadFailure), IDCANCEL);
    ExpectNotice(dup.app, FailedDownload(0));
    checkRequests({dup.listRequest, fetches[0], fetches[0]});
    CheckMissing(dup.copy, "the copy");
    dup.CheckDialogUsable();

    Step("the second file stalls after its headers, once; the third has 17 MiB");
    ctx.catalogue.Clear();
    ctx.catalogue.AddFault(dup.File(1), "stall=600000,failfirst=1");
    ctx.catalogue.AddFault(dup.File(2), "size=17825792");
    const unsigned long long start = GetTickCount64();
    dup.dialog.Click(IDC_DUPLICATE);
    box = dup.ExpectDownloadPrompt(1, kCodeTimeout);
    CheckGaveUpAfterTimeout(start);
    Answer(box, IDRETRY);
    box = dup.ExpectDownloadPrompt(2, kCodeTooLarge);
    Step("Retry: 17 MiB without a length announced, then Cancel");
    ctx.catalogue.AddFault(dup.File(2), "size=17825792,nolength");
    Answer(box, IDRETRY);
    Answer(dup.ExpectDownloadPrompt(2, kCodeTooLarge), IDCANCEL);
    ExpectNotice(dup.app, FailedDownload(2));
    checkRequests({fetches[0], fetches[1], fetches[1], fetches[2], fetches[2]});
    CheckMissing(dup.copy, "the copy");
    dup.CheckDialogUsable();

    Step("the first file redirected to itself five times, the second without a length");
    ctx.catalogue.Clear();
    ctx.catalogue.AddFault(dup.File(0),
                           std::string("redirect=") + kConnectionFiles[0].name + ",failfirst=5");
    ctx.catalogue.AddFault(dup.File(1), "nolength");
    dup.dialog.Click(IDC_DUPLICATE);
    dup.ExpectCompletion();
    std::vector<std::string> expected(5, dup.Request(0, 302));
    expected.insert(expected.end(), fetches.begin(), fetches.end());
    checkRequests(expected);
    CheckCopy(dup.installation, dup.copy, dup.alpha);
    CheckUnchanged(dup.installation);
}

E2E_SCENARIO(copy_disk_full,
             "a 1 MB disk: a new copy is refused, and so is one into an existing empty copy, or "
             "into one of sparse files") {
    const std::string disk = Join(ctx.options.scratch, kFullDisk);
    Check(IsFolder(disk), "the small disk is mounted (run-scenario --setup)");
    DuplicationSetup setup;
    setup.copy = std::string(kFullDisk) + "\\Alpha\\";
    DuplicationFixture dup(ctx, setup);
    Step("a new copy: refused before anything is fetched or made");
    dup.ExpectRefusal("There is not enough free space for the copy.");
    CheckRequests(ctx.catalogue, {dup.listRequest});
    CheckEqual(ListTree(disk).size(), std::size_t{0}, "entries on the disk");

    Step("an existing copy holding nothing yet: what the copy adds does not fit either");
    CreateFolders(dup.copy);
    dup.ExpectRefusal("There is not enough free space for the copy.");
    CheckRequests(ctx.catalogue, {dup.listRequest});
    CheckEqual(ListTree(dup.copy).size(), std::size_t{0}, "entries in the existing copy");

    Step(
        "an existing copy of the installation's files in length only (sparse): they occupy "
        "nothing, and free nothing");
    for (const auto& [path, entry] : dup.installation.listing) {
        if (entry.folder) {
            CreateFolders(Join(dup.copy, path));
            continue;
        }
        CreateFolders(Join(dup.copy, path.substr(0, path.find_last_of('\\') + 1)));
        const tessaloom::ScopedHandle file(CreateFileW(Widen(Join(dup.copy, path)).c_str(),
                                                       GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                                       FILE_ATTRIBUTE_NORMAL, nullptr));
        LARGE_INTEGER size;
        size.QuadPart = static_cast<LONGLONG>(entry.size);
        Check(file.valid() && SetFilePointerEx(file.get(), size, nullptr, FILE_BEGIN) &&
                  SetEndOfFile(file.get()),
              "a sparse " + path);
    }
    dup.ExpectRefusal("There is not enough free space for the copy.");
    CheckRequests(ctx.catalogue, {dup.listRequest});
    dup.dialog.Click(IDCANCEL);
    dup.app.ExpectExit(0, kExitTimeoutMs, "Cancel");
}

E2E_SCENARIO(copy_readonly_parent,
             "the parent's nearest folder is on a read-only disk: refused before any fetch, "
             "nothing made") {
    const std::string disk = Join(ctx.options.scratch, kReadOnlyDisk);
    Check(IsFolder(disk), "the read-only disk is mounted");
    const std::string nearest = Join(disk, kReadOnlyFolder);
    Check(IsFolder(nearest), "the read-only disk holds " + std::string(kReadOnlyFolder));
    const TreeListing before = ListTree(disk);
    DuplicationSetup setup;
    // Below a folder that does not exist either.
    setup.copy = std::string(kReadOnlyDisk) + "\\" + kReadOnlyFolder + "\\Tests\\Alpha\\";
    DuplicationFixture dup(ctx, setup);
    dup.dialog.Click(IDC_DUPLICATE);
    ExpectCannotWrite(dup.app, nearest, "exclamation");
    dup.CheckDialogUsable();
    CheckEqual(dup.dialog.DestinationFolder(), dup.copy, "parent folder field (kept)");
    CheckRequests(ctx.catalogue, {dup.listRequest});
    CheckEqual(Describe(ListTree(disk)), Describe(before), "entries on the read-only disk");
    CheckUnchanged(dup.installation);
    dup.dialog.Click(IDCANCEL);
    dup.app.ExpectExit(0, kExitTimeoutMs, "Cancel");
}

E2E_SCENARIO(copy_locked_source, "a source file open without sharing: copy failed; then retried") {
    DuplicationFixture dup(ctx);
    const std::string locked = dup.installation.root + "\\bin\\engine.dll";
    {
        Step("open " + locked + " without sharing");
        const std::wstring lockedPath = Widen(locked);
        const tessaloom::ScopedHandle lock(CreateFileW(lockedPath.c_str(), GENERIC_READ, 0, nullptr,
                                                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                                                       nullptr));
        Check(lock.valid(), "the file is open without sharing");
        dup.ExpectRefusal(kCopyFailed);
    }
    dup.CheckFetchedNothingWritten();

    Step("the file closed, Duplicate! again into what the failed copy left");
    ctx.catalogue.Clear();
    dup.dialog.Click(IDC_DUPLICATE);
    AnswerOverwritePrompts(dup.app, kYesToAll, "Yes to all");
    dup.ExpectCompletion();
    CheckRequests(ctx.catalogue, dup.fetches);
    CheckCopy(dup.installation, dup.copy, dup.alpha, {}, FILE_ATTRIBUTE_READONLY);
}

E2E_SCENARIO(duplicate_again, "into an existing copy: Yes to all, then Yes each; new bytes") {
    DuplicationFixture dup(ctx);
    dup.dialog.Click(IDC_DUPLICATE);
    dup.ExpectCompletion();
    CheckCopy(dup.installation, dup.copy, dup.alpha);

    // The user's own file in the copy stays; changed files of the installation replace the
    // copy's, nested ones too.
    WriteBytes(dup.copy + "notes.txt", "my notes\r\n");
    const TreeListing notes = {{"notes.txt", ListTree(dup.copy).at("notes.txt")}};
    const struct {
        const char* tag;
        int answer;
        const char* label;
        const char* changed;
    } runs[] = {
        {"second", kYesToAll, "Yes to all", "data\\maps\\harbour.dat"},
        {"third", IDYES, "Yes", "data\\sound\\ambient.bank"},
    };
    unsigned seed = 900;
    for (const auto& run : runs) {
        Step(std::string("duplicate again, answering ") + run.label);
        // Same size, other bytes: only a copy that really replaces the file shows it.
        const std::string root = dup.installation.root;
        WriteNoise(root + "\\" + run.changed, dup.installation.listing.at(run.changed).size,
                   ++seed);
        WriteBytes(root + "\\data\\maps\\" + run.tag + ".dat", run.tag);
        Relist(dup.installation);
        dup.alpha = MakeConnectionBytes(run.tag);
        dup.Start();

        dup.dialog.Click(IDC_DUPLICATE);
        const int prompts = AnswerOverwritePrompts(dup.app, run.answer, run.label);
        // Wine's shell asks once for files and once for folders before Yes to all holds for
        // all of them; answered Yes, it asks for every entry of the installation's top.
        if (run.answer == kYesToAll) {
            Check(prompts >= 1 && prompts <= 2, "Yes to all ends the prompts");
        } else {
            Check(prompts > 2, "an overwrite prompt per existing entry");
        }
        dup.ExpectCompletion();
        CheckRequests(ctx.catalogue, dup.listAndFetches);
        CheckCopy(dup.installation, dup.copy, dup.alpha, notes, FILE_ATTRIBUTE_READONLY);
        CheckMissing(dup.copy + "Quorvane", "a copy nested in the destination");
        CheckMissing(dup.copy + "Alpha", "a copy nested in the destination");
    }
    CheckUnchanged(dup.installation);
}

E2E_SCENARIO(duplicate_overwrite_cancel,
             "Cancel at the overwrite prompt: aborted, copy as before") {
    DuplicationFixture dup(ctx);
    dup.dialog.Click(IDC_DUPLICATE);
    dup.ExpectCompletion();
    const Installation copied = dup.installation;  // what the copy holds now
    const ConnectionBytes first = dup.alpha;

    Step("change the installation and the catalogue, then duplicate again");
    WriteNoise(dup.installation.root + "\\data\\maps\\harbour.dat",
               dup.installation.listing.at("data\\maps\\harbour.dat").size, 777);
    Relist(dup.installation);
    dup.alpha = MakeConnectionBytes("second");
    dup.Start();
    dup.dialog.Click(IDC_DUPLICATE);
    CheckEqual(AnswerOverwritePrompts(dup.app, IDCANCEL, "Cancel"), 1, "overwrite prompts");
    ExpectNotice(dup.app, "Operation aborted by user.");
    dup.CheckDialogUsable();
    CheckRequests(ctx.catalogue, dup.listAndFetches);
    // Nothing replaced: the copy and its connection files are those of the first run.
    CheckCopy(copied, dup.copy, first);
    CheckUnchanged(dup.installation);
    dup.dialog.Click(IDCANCEL);
    dup.app.ExpectExit(0, kExitTimeoutMs, "Cancel");
}

E2E_SCENARIO(duplicate_readonly_files,
             "read-only, hidden and system connection files, as a user: replaced, made normal") {
    // As installations from disc media have them; the copy keeps the attributes.
    DuplicationSetup setup;
    setup.connectionAttributes =
        FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    DuplicationFixture dup(ctx, setup);
    dup.dialog.Click(IDC_DUPLICATE);
    dup.ExpectCompletion();
    // The connection files with no attributes.
    CheckCopy(dup.installation, dup.copy, dup.alpha);
    CheckUnchanged(dup.installation);
}

E2E_SCENARIO(write_error,
             "no patcher folder: the write error names the file; none replaced, no completion") {
    DuplicationSetup setup;
    setup.withPatcherFolder = false;
    DuplicationFixture dup(ctx, setup);
    dup.dialog.Click(IDC_DUPLICATE);

    const std::string local = kConnectionFiles[2].local;
    // The destination ends with its separator: no doubled one before the local path.
    ExpectCannotWrite(dup.app, dup.copy + local, "exclamation");

    Step("no completion: the program goes on with its dialog");
    Sleep(1000);
    dup.CheckDialogUsable();
    Check(FindFolderWindow("Alpha") == nullptr, "no file manager window shows the copy");
    CheckRequests(ctx.catalogue, dup.listAndFetches);
    // All three are written before any takes its name: none is replaced, nothing is left.
    for (std::size_t i = 0; i < 2; ++i) {
        CheckEqual(ReadBytes(dup.copy + kConnectionFiles[i].local), dup.installation.shipped[i],
                   std::string(kConnectionFiles[i].name) + " in the copy, as copied");
    }
    const std::string launcher = dup.copy + "cd_image\\data\\launcher";
    for (const auto& entry : ListTree(launcher)) {
        Check(entry.first.find(".tmp") == std::string::npos, "no file left: " + entry.first);
    }
    CheckMissing(dup.copy + local, "the patcher's connection file");
    CheckUnchanged(dup.installation);
    dup.dialog.Click(IDCANCEL);
    dup.app.ExpectExit(0, kExitTimeoutMs, "Cancel");
}

}  // namespace e2e
