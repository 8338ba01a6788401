// The Duplicate command: the checks before anything is fetched, the fetches of the three
// connection files, the shell's copy of the installation (new and existing copies, copies
// that fail or are cancelled) and the connection files written into the copy. Each outcome
// is checked on disk and in the catalogue server's log, not only by the notice.
#include <cctype>
#include <string>
#include <vector>

#include "Duplication.h"
#include "MainDialog.h"
#include "MessageBoxes.h"
#include "Scenario.h"
#include "Window.h"
#include "platform/win32/ScopedHandles.h"

namespace e2e {

namespace {

// The shell's question before it replaces an entry of an existing copy, and its answers.
constexpr char kOverwritePromptTitle[] = "Confirm file overwrite";
constexpr int kYesToAll = 12807;

// File systems that scratch-mounts.sh mounts in the scratch folder.
constexpr char kFullDisk[] = "\\full";
constexpr char kReadOnlyDisk[] = "\\readonly";

// A catalogue with the server list and the connection files of "alpha", its log emptied.
void PrepareCatalogue(const Context& ctx, const char* list, const ConnectionBytes& alpha) {
    ctx.catalogue.WriteFile(kServerListName, list);
    PublishConnectionFiles(ctx.catalogue, "alpha", alpha);
    ctx.catalogue.Clear();
}

MainDialog Start(const Context& ctx, AppProcess& app) {
    app = ctx.Launch();
    Step("wait for the main dialog");
    return MainDialog::WaitFor(app);
}

std::vector<std::string> Concat(std::vector<std::string> first,
                                const std::vector<std::string>& second) {
    first.insert(first.end(), second.begin(), second.end());
    return first;
}

std::vector<std::string> ListRequest(const Context& ctx) {
    return {Request(ctx.catalogue, kServerListName)};
}

std::string ConnectionUrl(const Context& ctx, const std::string& value, std::size_t file) {
    return ctx.catalogue.UrlOf(value + "/" + kConnectionFiles[file].name);
}

std::string FailedDownload(std::size_t file) {
    return std::string("Failed to download ") + kConnectionFiles[file].name + " file.";
}

// Waits for the retry prompt of connection file `file` of "alpha" and checks it.
MessageBoxInfo ExpectDownloadPrompt(const Context& ctx, const AppProcess& app, std::size_t file,
                                    unsigned long code) {
    Step(std::string("wait for the retry prompt of ") + kConnectionFiles[file].name);
    MessageBoxInfo box = WaitForMessageBox(app, kWindowTimeoutMs);
    ctx.CheckDownloadPrompt(box, code, ConnectionUrl(ctx, "alpha", file));
    return box;
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
        if (!WaitUntil([&] { return !IsShown(prompt); }, 5000)) {
            Fail("the overwrite prompt is still open after " + label);
        }
        ++prompts;
    }
    Note(std::to_string(prompts) + " overwrite prompt(s) answered");
    return prompts;
}

// --- Attempts that stop --------------------------------------------------------------------

// Clicks Duplicate! and expects the notice `text`, with the fields kept and the dialog usable.
void ExpectRefusal(const AppProcess& app, const MainDialog& dialog, const std::string& text) {
    const std::string source = dialog.SourceFolder();
    const std::string destination = dialog.DestinationFolder();
    dialog.Click(IDC_DUPLICATE);
    ExpectNotice(app, text);
    CheckDialogUsable(app, dialog);
    CheckEqual(dialog.SourceFolder(), source, "installation folder field (kept)");
    CheckEqual(dialog.DestinationFolder(), destination, "parent folder field (kept)");
}

// A copy that fails: the notice, the three fetches before it, no connection file written.
void ExpectCopyFailure(const Context& ctx, const AppProcess& app, const MainDialog& dialog,
                       const Installation& installation, const std::string& copy) {
    ExpectRefusal(app, dialog, kCopyFailed);
    CheckRequests(ctx.catalogue,
                  Concat(ListRequest(ctx), ConnectionRequests(ctx.catalogue, "alpha")));
    CheckNoConnectionFileWritten(installation, copy);
    CheckUnchanged(installation);
}

}  // namespace

E2E_SCENARIO(duplicate_full,
             "whole duplication through folders named in Cyrillic: copy, bytes, log") {
    const std::string scratch = ctx.options.scratch;
    // Names no Western code page holds, picked in the real picker.
    const std::string games = scratch + "\\\xD0\x98\xD0\xB3\xD1\x80\xD1\x8B";          // "Игры"
    const std::string tests = scratch + "\\\xD0\xA2\xD0\xB5\xD1\x81\xD1\x82\xD1\x8B";  // "Тесты"
    const Installation installation = MakeInstallation(games + "\\Quorvane");
    CreateFolders(tests);
    const ConnectionBytes beta = MakeConnectionBytes("beta");
    PublishConnectionFiles(ctx.catalogue, "beta", beta);
    // A CR LF list: the server's value has no CR in the URLs.
    PrepareCatalogue(ctx, kTwoServersCrLf, MakeConnectionBytes("alpha"));
    AppProcess app;
    MainDialog dialog = Start(ctx, app);
    CheckEqual(dialog.Servers(), kTwoServerNames, "server selector entries");

    Step("choose the second server and both folders, as a person does");
    ComboSelect(dialog.Item(IDC_SERVER_COMBO), 1);
    PickSource(app, dialog, installation.root);
    PickParent(app, dialog, "Beta Server", tests);
    const std::string copy = tests + "\\Beta Server\\";
    WaitUntil([&] { return dialog.DestinationFolder() == copy; }, 2000);
    CheckEqual(dialog.SourceFolder(), installation.root, "installation folder field");
    CheckEqual(dialog.DestinationFolder(), copy, "parent folder field");

    dialog.Click(IDC_DUPLICATE);
    ExpectCompletion(app, copy);
    CheckRequests(ctx.catalogue,
                  Concat(ListRequest(ctx), ConnectionRequests(ctx.catalogue, "beta")));
    CheckCopy(installation, copy, beta);
    CheckMissing(copy + "Quorvane", "a copy nested in the destination");
    CheckMissing(scratch + "\\Beta Server", "a copy in the folder above the picked one");
    CheckUnchanged(installation);
}

E2E_SCENARIO(duplicate_refused, "checks before any fetch: empty fields, no version.id, bad paths") {
    const std::string scratch = ctx.options.scratch;
    const Installation installation = MakeInstallation(scratch + "\\Quorvane");
    const std::string notInstalled = scratch + "\\Other";
    WriteBytes(notInstalled + "\\readme.txt", "no version.id here\r\n");
    WriteBytes(notInstalled + "\\data\\version.id", "1.0\r\n");  // not at the top
    const std::string tests = scratch + "\\Tests";
    PrepareCatalogue(ctx, kTwoServers, MakeConnectionBytes("alpha"));
    AppProcess app;
    MainDialog dialog = Start(ctx, app);

    Step("both fields empty");
    ExpectRefusal(app, dialog, kNoSourceFolder);
    Step("only the installation chosen");
    PickSource(app, dialog, installation.root);
    ExpectRefusal(app, dialog, "No destination folder selected");
    Step("a folder without version.id at its top");
    FillFields(dialog, notInstalled, tests + "\\Alpha\\");
    ExpectRefusal(app, dialog, "The source folder must contain quorvane.");
    Step("a destination too long for the connection files' paths");
    FillFields(dialog, installation.root, tests + "\\" + std::string(180, 'x') + "\\Alpha\\");
    ExpectRefusal(app, dialog, "The destination path is too long.");

    Step("the installation itself as the parent, chosen with the pickers");
    PickSource(app, dialog, installation.root);
    PickParent(app, dialog, "Alpha", installation.root);
    ExpectRefusal(app, dialog, "The destination folder must not be inside the Quorvane folder.");
    Step("a folder of the installation as the parent");
    PickParent(app, dialog, "Alpha", installation.root + "\\data");
    ExpectRefusal(app, dialog, "The destination folder must not be inside the Quorvane folder.");
    Step("the same, spelt in other case and with a dot segment");
    std::string upper = installation.root;
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    FillFields(dialog, installation.root, upper + "\\.\\bin\\Alpha\\");
    ExpectRefusal(app, dialog, "The destination folder must not be inside the Quorvane folder.");

    Step("a parent reached through a link to the installation");
    FillFields(dialog, installation.root, scratch + "\\ToGame\\Alpha\\");
    ExpectRefusal(app, dialog, "The destination folder must not be inside the Quorvane folder.");
    FillFields(dialog, installation.root, scratch + "\\ToGame\\data\\Alpha\\");
    ExpectRefusal(app, dialog, "The destination folder must not be inside the Quorvane folder.");
    Step("installations holding a link to their own folder and to the folder above");
    for (const char* looped : {"\\LoopSelf", "\\LoopUp"}) {
        FillFields(dialog, scratch + looped, tests + "\\Alpha\\");
        ExpectRefusal(app, dialog,
                      "The Quorvane folder contains a link that loops back into itself.");
    }

    CheckRequests(ctx.catalogue, ListRequest(ctx));  // nothing fetched
    CheckMissing(tests, "the destination's parent");
    CheckMissing(installation.root + "\\Alpha", "a copy in the installation");
    CheckMissing(installation.root + "\\data\\Alpha", "a copy in the installation");
    CheckUnchanged(installation);
    dialog.ClickCloseBox();
    app.ExpectExit(0, kExitTimeoutMs, "the close box");
}

E2E_SCENARIO(duplicate_no_server, "an empty server list: \"No test server selected\"") {
    const std::string scratch = ctx.options.scratch;
    const Installation installation = MakeInstallation(scratch + "\\Quorvane");
    CreateFolders(scratch + "\\Tests");
    PrepareCatalogue(ctx, "no servers today\n", MakeConnectionBytes("alpha"));
    AppProcess app;
    MainDialog dialog = Start(ctx, app);
    CheckEqual(ComboCount(dialog.Item(IDC_SERVER_COMBO)), 0, "server selector entries");

    Step("the parent's picker needs a server");
    dialog.Click(IDC_BROWSE_DEST);
    ExpectNotice(app, "No test server selected");  // instead of the picker
    Step("Duplicate! needs one too");
    FillFields(dialog, installation.root, scratch + "\\Tests\\Alpha\\");
    ExpectRefusal(app, dialog, "No test server selected");

    CheckRequests(ctx.catalogue, ListRequest(ctx));  // nothing fetched
    CheckMissing(scratch + "\\Tests\\Alpha", "the copy");
    dialog.Click(IDCANCEL);
    app.ExpectExit(0, kExitTimeoutMs, "Cancel");
}

E2E_SCENARIO(fetch_cancel, "fetch cancelled at file 1, then 2: nothing copied; then a success") {
    const std::string scratch = ctx.options.scratch;
    const Installation installation = MakeInstallation(scratch + "\\Quorvane");
    const std::string copy = scratch + "\\Tests\\Alpha\\";
    const ConnectionBytes alpha = MakeConnectionBytes("alpha");
    PrepareCatalogue(ctx, kTwoServers, alpha);
    AppProcess app;
    MainDialog dialog = Start(ctx, app);
    FillFields(dialog, installation.root, copy);
    const std::vector<std::string> fetches = ConnectionRequests(ctx.catalogue, "alpha");

    for (std::size_t failing = 0; failing < 2; ++failing) {
        const std::string name = kConnectionFiles[failing].name;
        Step("status 404 for " + name + ", cancelled at the prompt");
        ctx.catalogue.Clear();
        ctx.catalogue.AddFault("alpha/" + name, "status=404");
        dialog.Click(IDC_DUPLICATE);
        Answer(ExpectDownloadPrompt(ctx, app, failing, kCodeStatus404), IDCANCEL);
        ExpectNotice(app, FailedDownload(failing));
        CheckDialogUsable(app, dialog);
        // The files before it were fetched, none after it.
        std::vector<std::string> expected(fetches.begin(), fetches.begin() + failing);
        expected.push_back(Request(ctx.catalogue, "alpha/" + name, 404));
        CheckRequests(ctx.catalogue, expected);
        CheckMissing(copy, "the copy");
    }

    Step("no fault but one status 500 for the third file: Retry, then all goes through");
    ctx.catalogue.Clear();
    ctx.catalogue.AddFault(std::string("alpha/") + kConnectionFiles[2].name,
                           "status=500,failfirst=1");
    dialog.Click(IDC_DUPLICATE);
    Answer(ExpectDownloadPrompt(ctx, app, 2, kCodeStatus500), IDRETRY);
    ExpectCompletion(app, copy);
    CheckRequests(ctx.catalogue,
                  {fetches[0], fetches[1],
                   Request(ctx.catalogue, std::string("alpha/") + kConnectionFiles[2].name, 500),
                   fetches[2]});
    CheckCopy(installation, copy, alpha);
    CheckUnchanged(installation);
}

E2E_SCENARIO(fetch_broken, "a cut connection file and a 404 one: notice after Cancel, no copy") {
    const std::string scratch = ctx.options.scratch;
    const Installation installation = MakeInstallation(scratch + "\\Quorvane");
    const std::string copy = scratch + "\\Tests\\Alpha\\";
    PrepareCatalogue(ctx, kTwoServers, MakeConnectionBytes("alpha"));
    AppProcess app;
    MainDialog dialog = Start(ctx, app);
    FillFields(dialog, installation.root, copy);
    const std::vector<std::string> fetches = ConnectionRequests(ctx.catalogue, "alpha");
    const std::string first = std::string("alpha/") + kConnectionFiles[0].name;
    const std::string third = std::string("alpha/") + kConnectionFiles[2].name;

    Step("the first file's body stops after 5 bytes");
    ctx.catalogue.AddFault(first, "truncate=5");
    dialog.Click(IDC_DUPLICATE);
    Answer(ExpectDownloadPrompt(ctx, app, 0, kCodeDownloadFailure), IDCANCEL);
    ExpectNotice(app, FailedDownload(0));
    // A 200 whose body stops short.
    CheckRequests(ctx.catalogue, Concat(ListRequest(ctx), {fetches[0]}));
    CheckMissing(copy, "the copy");
    CheckDialogUsable(app, dialog);

    Step("status 404 for the third file: Retry fetches it again, then Cancel");
    ctx.catalogue.Clear();
    ctx.catalogue.AddFault(third, "status=404");
    dialog.Click(IDC_DUPLICATE);
    Answer(ExpectDownloadPrompt(ctx, app, 2, kCodeStatus404), IDRETRY);
    Answer(ExpectDownloadPrompt(ctx, app, 2, kCodeStatus404), IDCANCEL);
    ExpectNotice(app, FailedDownload(2));
    CheckRequests(ctx.catalogue, {fetches[0], fetches[1], Request(ctx.catalogue, third, 404),
                                  Request(ctx.catalogue, third, 404)});
    CheckMissing(copy, "the copy");
    CheckDialogUsable(app, dialog);
    CheckUnchanged(installation);
    dialog.PressEscape();
    app.ExpectExit(0, kExitTimeoutMs, "Escape");
}

E2E_SCENARIO(fetch_hostile,
             "connection files cut in their chunks, stalled, over 16 MiB: prompts, nothing "
             "written; five redirects and a body without length: the copy") {
    const std::string scratch = ctx.options.scratch;
    const Installation installation = MakeInstallation(scratch + "\\Quorvane");
    const std::string copy = scratch + "\\Tests\\Alpha\\";
    ConnectionBytes alpha = MakeConnectionBytes("alpha");
    // 300,000 bytes, of which a cut would leave a plausible file.
    while (alpha[0].size() < 300000) alpha[0] += alpha[0];
    alpha[0].resize(300000);
    PrepareCatalogue(ctx, kTwoServers, alpha);
    AppProcess app;
    MainDialog dialog = Start(ctx, app);
    FillFields(dialog, installation.root, copy);
    const std::vector<std::string> fetches = ConnectionRequests(ctx.catalogue, "alpha");
    auto file = [](std::size_t index) {
        return std::string("alpha/") + kConnectionFiles[index].name;
    };
    // Every request of the program asks with HTTP/1.0, which no server may answer chunked.
    auto checkRequests = [&ctx](const std::vector<std::string>& expected) {
        CheckRequests(ctx.catalogue, expected);
        ctx.catalogue.CheckRequestVersions("HTTP/1.0");
    };

    Step("the first file chunked and cut after 100,000 bytes, inside a chunk");
    ctx.catalogue.AddFault(file(0), "chunked=4096,truncate=100000");
    dialog.Click(IDC_DUPLICATE);
    MessageBoxInfo box = ExpectDownloadPrompt(ctx, app, 0, kCodeDownloadFailure);
    Step("Retry: cut at a chunk boundary, then Cancel");
    ctx.catalogue.AddFault(file(0), "chunked=4000,truncate=100000");
    Answer(box, IDRETRY);
    Answer(ExpectDownloadPrompt(ctx, app, 0, kCodeDownloadFailure), IDCANCEL);
    ExpectNotice(app, FailedDownload(0));
    checkRequests(Concat(ListRequest(ctx), {fetches[0], fetches[0]}));
    CheckMissing(copy, "the copy");
    CheckDialogUsable(app, dialog);

    Step("the second file stalls after its headers, once; the third has 17 MiB");
    ctx.catalogue.Clear();
    ctx.catalogue.AddFault(file(1), "stall=600000,failfirst=1");
    ctx.catalogue.AddFault(file(2), "size=17825792");
    const unsigned long long start = GetTickCount64();
    dialog.Click(IDC_DUPLICATE);
    box = ExpectDownloadPrompt(ctx, app, 1, kCodeTimeout);
    CheckGaveUpAfterTimeout(start);
    Answer(box, IDRETRY);
    box = ExpectDownloadPrompt(ctx, app, 2, kCodeTooLarge);
    Step("Retry: 17 MiB without a length announced, then Cancel");
    ctx.catalogue.AddFault(file(2), "size=17825792,nolength");
    Answer(box, IDRETRY);
    Answer(ExpectDownloadPrompt(ctx, app, 2, kCodeTooLarge), IDCANCEL);
    ExpectNotice(app, FailedDownload(2));
    checkRequests({fetches[0], fetches[1], fetches[1], fetches[2], fetches[2]});
    CheckMissing(copy, "the copy");
    CheckDialogUsable(app, dialog);

    Step("the first file redirected to itself five times, the second without a length");
    ctx.catalogue.Clear();
    ctx.catalogue.AddFault(file(0),
                           std::string("redirect=") + kConnectionFiles[0].name + ",failfirst=5");
    ctx.catalogue.AddFault(file(1), "nolength");
    dialog.Click(IDC_DUPLICATE);
    ExpectCompletion(app, copy);
    std::vector<std::string> expected(5, Request(ctx.catalogue, file(0), 302));
    expected.insert(expected.end(), fetches.begin(), fetches.end());
    checkRequests(expected);
    CheckCopy(installation, copy, alpha);
    CheckUnchanged(installation);
}

E2E_SCENARIO(copy_disk_full,
             "a 1 MB disk: a new copy is refused; into an existing one, copy failed") {
    const std::string scratch = ctx.options.scratch;
    Check(IsFolder(scratch + kFullDisk), "the small disk is mounted (run-scenario --setup)");
    const Installation installation = MakeInstallation(scratch + "\\Quorvane");
    const std::string copy = scratch + kFullDisk + "\\Alpha\\";
    PrepareCatalogue(ctx, kTwoServers, MakeConnectionBytes("alpha"));
    AppProcess app;
    MainDialog dialog = Start(ctx, app);
    FillFields(dialog, installation.root, copy);
    Step("a new copy: refused before anything is fetched or made");
    ExpectRefusal(app, dialog, "There is not enough free space for the copy.");
    CheckRequests(ctx.catalogue, ListRequest(ctx));
    CheckEqual(ListTree(scratch + kFullDisk).size(), std::size_t{0}, "entries on the disk");

    Step("an existing copy is merged without the check: the disk fills");
    CreateFolders(copy);
    ExpectCopyFailure(ctx, app, dialog, installation, copy);
    dialog.Click(IDCANCEL);
    app.ExpectExit(0, kExitTimeoutMs, "Cancel");
}

E2E_SCENARIO(copy_readonly_parent, "the parent is on a read-only disk: copy failed, nothing made") {
    const std::string scratch = ctx.options.scratch;
    Check(IsFolder(scratch + kReadOnlyDisk), "the read-only disk is mounted");
    const Installation installation = MakeInstallation(scratch + "\\Quorvane");
    const std::string copy = scratch + kReadOnlyDisk + "\\Alpha\\";
    PrepareCatalogue(ctx, kTwoServers, MakeConnectionBytes("alpha"));
    AppProcess app;
    MainDialog dialog = Start(ctx, app);
    FillFields(dialog, installation.root, copy);
    ExpectCopyFailure(ctx, app, dialog, installation, copy);
    CheckMissing(copy, "the copy");
    dialog.Click(IDCANCEL);
    app.ExpectExit(0, kExitTimeoutMs, "Cancel");
}

E2E_SCENARIO(copy_locked_source, "a source file open without sharing: copy failed; then retried") {
    const std::string scratch = ctx.options.scratch;
    const Installation installation = MakeInstallation(scratch + "\\Quorvane");
    const std::string copy = scratch + "\\Tests\\Alpha\\";
    const ConnectionBytes alpha = MakeConnectionBytes("alpha");
    PrepareCatalogue(ctx, kTwoServers, alpha);
    AppProcess app;
    MainDialog dialog = Start(ctx, app);
    FillFields(dialog, installation.root, copy);

    const std::string locked = installation.root + "\\bin\\engine.dll";
    Step("open " + locked + " without sharing");
    {
        const std::wstring lockedPath = Widen(locked);
        const tessaloom::ScopedHandle lock(CreateFileW(lockedPath.c_str(), GENERIC_READ, 0, nullptr,
                                                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                                                       nullptr));
        Check(lock.valid(), "the file is open without sharing");
        ExpectRefusal(app, dialog, kCopyFailed);
    }
    CheckRequests(ctx.catalogue,
                  Concat(ListRequest(ctx), ConnectionRequests(ctx.catalogue, "alpha")));
    CheckNoConnectionFileWritten(installation, copy);
    CheckUnchanged(installation);

    Step("the file closed, Duplicate! again into what the failed copy left");
    ctx.catalogue.Clear();
    dialog.Click(IDC_DUPLICATE);
    AnswerOverwritePrompts(app, kYesToAll, "Yes to all");
    ExpectCompletion(app, copy);
    CheckRequests(ctx.catalogue, ConnectionRequests(ctx.catalogue, "alpha"));
    CheckCopy(installation, copy, alpha, {}, FILE_ATTRIBUTE_READONLY);
}

E2E_SCENARIO(duplicate_again, "into an existing copy: Yes to all, then Yes each; new bytes") {
    const std::string scratch = ctx.options.scratch;
    Installation installation = MakeInstallation(scratch + "\\Quorvane");
    const std::string copy = scratch + "\\Tests\\Alpha\\";
    const ConnectionBytes first = MakeConnectionBytes("first");
    PrepareCatalogue(ctx, kTwoServers, first);
    {
        AppProcess app;
        MainDialog dialog = Start(ctx, app);
        FillFields(dialog, installation.root, copy);
        dialog.Click(IDC_DUPLICATE);
        ExpectCompletion(app, copy);
        CheckCopy(installation, copy, first);
    }

    // The user's own file in the copy stays; changed files of the installation replace the
    // copy's, nested ones too.
    WriteBytes(copy + "notes.txt", "my notes\r\n");
    const TreeListing notes = {{"notes.txt", ListTree(copy).at("notes.txt")}};
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
        const std::string changed = installation.root + "\\" + run.changed;
        WriteNoise(changed, installation.listing.at(run.changed).size, ++seed);
        WriteBytes(installation.root + "\\data\\maps\\" + run.tag + ".dat", run.tag);
        installation.listing = ListTree(installation.root);
        installation.hash = HashOf(installation.listing);
        const ConnectionBytes bytes = MakeConnectionBytes(run.tag);
        PrepareCatalogue(ctx, kTwoServers, bytes);

        AppProcess app;
        MainDialog dialog = Start(ctx, app);
        FillFields(dialog, installation.root, copy);
        dialog.Click(IDC_DUPLICATE);
        const int prompts = AnswerOverwritePrompts(app, run.answer, run.label);
        // Wine's shell asks once for files and once for folders before Yes to all holds for
        // all of them; answered Yes, it asks for every entry of the installation's top.
        if (run.answer == kYesToAll) {
            Check(prompts >= 1 && prompts <= 2, "Yes to all ends the prompts");
        } else {
            Check(prompts > 2, "an overwrite prompt per existing entry");
        }
        ExpectCompletion(app, copy);
        CheckRequests(ctx.catalogue,
                      Concat(ListRequest(ctx), ConnectionRequests(ctx.catalogue, "alpha")));
        CheckCopy(installation, copy, bytes, notes, FILE_ATTRIBUTE_READONLY);
        CheckMissing(copy + "Quorvane", "a copy nested in the destination");
        CheckMissing(copy + "Alpha", "a copy nested in the destination");
    }
    CheckUnchanged(installation);
}

E2E_SCENARIO(duplicate_overwrite_cancel,
             "Cancel at the overwrite prompt: aborted, copy as before") {
    const std::string scratch = ctx.options.scratch;
    Installation installation = MakeInstallation(scratch + "\\Quorvane");
    const std::string copy = scratch + "\\Tests\\Alpha\\";
    const ConnectionBytes first = MakeConnectionBytes("first");
    PrepareCatalogue(ctx, kTwoServers, first);
    {
        AppProcess app;
        MainDialog dialog = Start(ctx, app);
        FillFields(dialog, installation.root, copy);
        dialog.Click(IDC_DUPLICATE);
        ExpectCompletion(app, copy);
    }
    const Installation copied = installation;  // what the copy holds now

    Step("change the installation and the catalogue, then duplicate again");
    WriteNoise(installation.root + "\\data\\maps\\harbour.dat",
               installation.listing.at("data\\maps\\harbour.dat").size, 777);
    installation.listing = ListTree(installation.root);
    installation.hash = HashOf(installation.listing);
    PrepareCatalogue(ctx, kTwoServers, MakeConnectionBytes("second"));
    AppProcess app;
    MainDialog dialog = Start(ctx, app);
    FillFields(dialog, installation.root, copy);
    dialog.Click(IDC_DUPLICATE);
    CheckEqual(AnswerOverwritePrompts(app, IDCANCEL, "Cancel"), 1, "overwrite prompts");
    ExpectNotice(app, "Operation aborted by user.");
    CheckDialogUsable(app, dialog);
    CheckRequests(ctx.catalogue,
                  Concat(ListRequest(ctx), ConnectionRequests(ctx.catalogue, "alpha")));
    // Nothing replaced: the copy and its connection files are those of the first run.
    CheckCopy(copied, copy, first);
    CheckUnchanged(installation);
    dialog.Click(IDCANCEL);
    app.ExpectExit(0, kExitTimeoutMs, "Cancel");
}

E2E_SCENARIO(duplicate_readonly_files,
             "read-only, hidden and system connection files, as a user: replaced, made normal") {
    const std::string scratch = ctx.options.scratch;
    // As installations from disc media have them; the copy keeps the attributes.
    const Installation installation =
        MakeInstallation(scratch + "\\Quorvane", true,
                         FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
    const std::string copy = scratch + "\\Tests\\Alpha\\";
    const ConnectionBytes alpha = MakeConnectionBytes("alpha");
    PrepareCatalogue(ctx, kTwoServers, alpha);
    AppProcess app;
    MainDialog dialog = Start(ctx, app);
    FillFields(dialog, installation.root, copy);
    dialog.Click(IDC_DUPLICATE);
    ExpectCompletion(app, copy);
    CheckCopy(installation, copy, alpha);  // the connection files with no attributes
    CheckUnchanged(installation);
}

E2E_SCENARIO(write_error, "no patcher folder: the write error names the file; no completion") {
    const std::string scratch = ctx.options.scratch;
    const Installation installation =
        MakeInstallation(scratch + "\\Quorvane", /*withPatcherFolder=*/false);
    const std::string copy = scratch + "\\Tests\\Alpha\\";
    const ConnectionBytes alpha = MakeConnectionBytes("alpha");
    PrepareCatalogue(ctx, kTwoServers, alpha);
    AppProcess app;
    MainDialog dialog = Start(ctx, app);
    FillFields(dialog, installation.root, copy);
    dialog.Click(IDC_DUPLICATE);

    Step("wait for the write error");
    MessageBoxInfo box = WaitForMessageBox(app, 60000);
    const std::string local = kConnectionFiles[2].local;
    // The destination ends with its separator: no doubled one before the local path.
    const std::string named = copy + local;
    const std::string head = "Cannot write " + named + ".\n";
    Check(box.text.compare(0, head.size(), head) == 0,
          "the message names " + named + ": " + Quote(box.text));
    const std::string reason = box.text.substr(head.size());
    Check(!reason.empty() && reason.find('\n') == std::string::npos,
          "the message gives the reason on one line: " + Quote(reason));
    CheckMessageBox(box, kAppTitle, box.text, {IDOK}, true);
    std::string icon;
    WaitUntil([&] { return (icon = IconKindOf(box)) != "none"; }, 3000);
    CheckEqual(icon, "exclamation", "icon of the write error");
    Answer(box, IDOK);

    Step("no completion: the program goes on with its dialog");
    Sleep(1000);
    CheckDialogUsable(app, dialog);
    Check(FindFolderWindow("Alpha") == nullptr, "no file manager window shows the copy");
    CheckRequests(ctx.catalogue,
                  Concat(ListRequest(ctx), ConnectionRequests(ctx.catalogue, "alpha")));
    for (std::size_t i = 0; i < 2; ++i) {
        CheckEqual(ReadBytes(copy + kConnectionFiles[i].local), alpha[i],
                   std::string(kConnectionFiles[i].name) + " in the copy");
    }
    CheckMissing(copy + local, "the patcher's connection file");
    CheckUnchanged(installation);
    dialog.Click(IDCANCEL);
    app.ExpectExit(0, kExitTimeoutMs, "Cancel");
}

}  // namespace e2e
