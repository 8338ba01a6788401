// Start-up of the program: the server list fetched while the dialog initialises, the retry
// prompt of a failed fetch, and the ways to close the dialog.
#include <string>
#include <vector>

#include "MainDialog.h"
#include "MessageBoxes.h"
#include "Scenario.h"
#include "Window.h"

namespace {

using e2e::AppProcess;
using e2e::Check;
using e2e::CheckEqual;
using e2e::Context;
using e2e::MainDialog;
using e2e::MessageBoxInfo;

const char kThreeServersLf[] = "Alpha=alpha\nBeta Server=beta\nGamma=gamma\n";
const char kThreeServersCrLf[] = "Alpha=alpha\r\nBeta Server=beta\r\nGamma=gamma\r\n";
const std::vector<std::string> kThreeServerNames = {"Alpha", "Beta Server", "Gamma"};

// HTTP 500 and 404, a short body, a silent server and a redirect loop, in the program's
// error-code form.
constexpr unsigned long kCodeStatus500 = 0x801901F4;
constexpr unsigned long kCodeStatus404 = 0x80190194;
constexpr unsigned long kCodeDownloadFailure = 0x800C0008;
constexpr unsigned long kCodeTimeout = 0x800C000B;
constexpr unsigned long kCodeRedirectFailed = 0x800C0014;

std::string StatusList(const std::vector<int>& statuses) {
    std::string text;
    for (int status : statuses) text += (text.empty() ? "" : " ") + std::to_string(status);
    return text;
}

// The GETs of the server list the server has seen, once `count` of them have arrived.
void CheckListRequests(const Context& ctx, const std::string& expected, std::size_t count) {
    std::vector<int> statuses = ctx.catalogue().WaitForRequests(e2e::kServerListName, count, 3000);
    CheckEqual(StatusList(statuses), expected, "statuses of the GETs of the server list");
}

// The main dialog, once visible, with no message box over it.
MainDialog ExpectMainDialog(const AppProcess& app) {
    e2e::Step("wait for the main dialog");
    MainDialog dialog = MainDialog::WaitFor(app);
    CheckEqual(dialog.Caption(), e2e::kMainDialogTitle, "dialog caption");
    e2e::CheckNoMessageBox(app, "over the main dialog");
    return dialog;
}

void CheckFreshFields(const MainDialog& dialog) {
    CheckEqual(dialog.SourceFolder(), "", "installation folder field");
    CheckEqual(dialog.DestinationFolder(), "", "parent folder field");
}

void CheckServers(const MainDialog& dialog, const std::vector<std::string>& names) {
    CheckEqual(dialog.Servers(), names, "server selector entries");
    CheckEqual(dialog.SelectedServer(), 0, "selected server");
}

void CheckEmptySelector(const MainDialog& dialog) {
    CheckEqual(e2e::ComboCount(dialog.Item(IDC_SERVER_COMBO)), 0, "server selector entries");
    CheckEqual(dialog.SelectedServer(), -1, "selected server (none)");
}

// The retry prompt, which comes while the dialog initialises: before it is visible.
MessageBoxInfo WaitForPromptBeforeDialog(const AppProcess& app) {
    e2e::Step("wait for the retry prompt");
    auto dialogHidden = [&app] {
        if (e2e::IsShown(e2e::FindDialog(app.Id(), e2e::kMainDialogTitle))) {
            e2e::Fail("the main dialog became visible before the retry prompt");
        }
    };
    MessageBoxInfo box = e2e::WaitForMessageBox(app, e2e::kWindowTimeoutMs, dialogHidden);
    dialogHidden();
    Check(true, "main dialog not visible while the prompt shows");
    return box;
}

void ShowsServerList(Context& ctx, const std::string& listBytes) {
    ctx.catalogue().WriteFile(e2e::kServerListName, listBytes);
    ctx.catalogue().Clear();
    AppProcess app = ctx.Launch();
    MainDialog dialog = ExpectMainDialog(app);
    CheckServers(dialog, kThreeServerNames);
    CheckFreshFields(dialog);
    CheckListRequests(ctx, "200", 1);
    ctx.Screenshot("main-dialog");
    dialog.Click(IDCANCEL);
    app.ExpectExit(0, e2e::kExitTimeoutMs, "Cancel");
}

// Serves the three-server list with `fault` on it and starts the program.
AppProcess LaunchWithListFault(Context& ctx, const std::string& fault) {
    ctx.catalogue().WriteFile(e2e::kServerListName, kThreeServersLf);
    ctx.catalogue().Clear();
    ctx.catalogue().AddFault(e2e::kServerListName, fault);
    return ctx.Launch();
}

}  // namespace

E2E_SCENARIO(list_lf, "LF list: names in file order, first selected; Cancel ends with 0") {
    ShowsServerList(ctx, kThreeServersLf);
}

E2E_SCENARIO(list_crlf, "CR LF list: the same names, without CR") {
    ShowsServerList(ctx, kThreeServersCrLf);
}

E2E_SCENARIO(unreachable, "no server: retry prompt before the dialog; Cancel gives an empty list") {
    Check(!ctx.catalogue().ServerAnswers(), "nothing answers at the catalogue's address");
    AppProcess app = ctx.Launch();
    MessageBoxInfo box = WaitForPromptBeforeDialog(app);
    ctx.CheckDownloadPrompt(box, kCodeDownloadFailure, ctx.ServerListUrl());
    e2e::Answer(box, IDCANCEL);

    MainDialog dialog = ExpectMainDialog(app);
    CheckEmptySelector(dialog);
    CheckFreshFields(dialog);
    dialog.PressEscape();
    app.ExpectExit(0, e2e::kExitTimeoutMs, "Escape");
}

E2E_SCENARIO(retry_then_success, "status 500 once: prompt, Retry fetches the list again") {
    AppProcess app = LaunchWithListFault(ctx, "status=500,failfirst=1");
    MessageBoxInfo box = WaitForPromptBeforeDialog(app);
    ctx.CheckDownloadPrompt(box, kCodeStatus500, ctx.ServerListUrl());
    e2e::Answer(box, IDRETRY);

    MainDialog dialog = ExpectMainDialog(app);
    CheckServers(dialog, kThreeServerNames);
    CheckListRequests(ctx, "500 200", 2);
    dialog.ClickCloseBox();
    app.ExpectExit(0, e2e::kExitTimeoutMs, "the close box");
}

E2E_SCENARIO(http_404, "status 404: the prompt returns on Retry; Cancel gives an empty list") {
    AppProcess app = LaunchWithListFault(ctx, "status=404");
    MessageBoxInfo box = WaitForPromptBeforeDialog(app);
    ctx.CheckDownloadPrompt(box, kCodeStatus404, ctx.ServerListUrl());
    e2e::Answer(box, IDRETRY);

    e2e::Step("the fetch fails again: the same prompt");
    box = WaitForPromptBeforeDialog(app);
    ctx.CheckDownloadPrompt(box, kCodeStatus404, ctx.ServerListUrl());
    e2e::Answer(box, IDCANCEL);

    MainDialog dialog = ExpectMainDialog(app);
    CheckEmptySelector(dialog);
    CheckListRequests(ctx, "404 404", 2);
    dialog.Click(IDCANCEL);
    app.ExpectExit(0, e2e::kExitTimeoutMs, "Cancel");
}

E2E_SCENARIO(truncated_list, "list cut after 5 bytes: download failure prompt, empty list") {
    AppProcess app = LaunchWithListFault(ctx, "truncate=5");
    MessageBoxInfo box = WaitForPromptBeforeDialog(app);
    ctx.CheckDownloadPrompt(box, kCodeDownloadFailure, ctx.ServerListUrl());
    e2e::Answer(box, IDCANCEL);

    MainDialog dialog = ExpectMainDialog(app);
    CheckEmptySelector(dialog);
    CheckListRequests(ctx, "200", 1);  // a 200 whose body stops short
    dialog.PressEscape();
    app.ExpectExit(0, e2e::kExitTimeoutMs, "Escape");
}

E2E_SCENARIO(exit_paths, "Escape, the Cancel button and the close box each end with 0") {
    ctx.catalogue().WriteFile(e2e::kServerListName, kThreeServersLf);
    struct Way {
        const char* name;
        void (*act)(const MainDialog&);
    };
    const Way ways[] = {
        {"Escape", [](const MainDialog& d) { d.PressEscape(); }},
        {"the Cancel button", [](const MainDialog& d) { d.Click(IDCANCEL); }},
        {"the close box", [](const MainDialog& d) { d.ClickCloseBox(); }},
    };
    for (const Way& way : ways) {
        AppProcess app = ctx.Launch();
        MainDialog dialog = ExpectMainDialog(app);
        CheckServers(dialog, kThreeServerNames);
        way.act(dialog);
        app.ExpectExit(0, e2e::kExitTimeoutMs, way.name);
    }
}

E2E_SCENARIO(list_hostile,
             "list cut in its chunks, held back, redirected in a loop or to a server that never "
             "answers: prompts; an endless list: its first 1024 bytes") {
    // 41 bytes: 8-byte chunks cut after 20 bytes end inside the third chunk, 10-byte chunks
    // right after the second.
    AppProcess app = LaunchWithListFault(ctx, "chunked=8,truncate=20");
    MessageBoxInfo box = WaitForPromptBeforeDialog(app);
    ctx.CheckDownloadPrompt(box, kCodeDownloadFailure, ctx.ServerListUrl());
    CheckListRequests(ctx, "200", 1);

    e2e::Step("cut at a chunk boundary");
    ctx.catalogue().AddFault(e2e::kServerListName, "chunked=10,truncate=20");
    e2e::Answer(box, IDRETRY);
    box = WaitForPromptBeforeDialog(app);
    ctx.CheckDownloadPrompt(box, kCodeDownloadFailure, ctx.ServerListUrl());
    CheckListRequests(ctx, "200 200", 2);

    e2e::Step("a redirect to itself: five redirects followed, the sixth refused");
    ctx.catalogue().AddFault(e2e::kServerListName, std::string("redirect=") + e2e::kServerListName);
    e2e::Answer(box, IDRETRY);
    box = WaitForPromptBeforeDialog(app);
    ctx.CheckDownloadPrompt(box, kCodeRedirectFailed, ctx.ServerListUrl());
    CheckListRequests(ctx, "200 200 302 302 302 302 302 302", 8);

    e2e::Step("no headers at all (the held request would be logged once answered)");
    ctx.catalogue().AddFault(e2e::kServerListName, "delay=600000,failfirst=1");
    unsigned long long start = GetTickCount64();
    e2e::Answer(box, IDRETRY);
    box = WaitForPromptBeforeDialog(app);
    e2e::CheckGaveUpAfterTimeout(start);
    ctx.CheckDownloadPrompt(box, kCodeTimeout, ctx.ServerListUrl());

    e2e::Step("redirected to a server that never takes the connection");
    ctx.catalogue().AddFault(e2e::kServerListName, "unreachable,failfirst=1");
    start = GetTickCount64();
    e2e::Answer(box, IDRETRY);
    box = WaitForPromptBeforeDialog(app);
    e2e::CheckGaveUpAfterTimeout(start);
    ctx.CheckDownloadPrompt(box, kCodeTimeout, ctx.ServerListUrl());

    e2e::Step("an endless list: what counts is read, the rest is not");
    ctx.catalogue().AddFault(e2e::kServerListName, "size=999999999999");
    e2e::Answer(box, IDRETRY);
    MainDialog dialog = ExpectMainDialog(app);
    CheckServers(dialog, kThreeServerNames);
    CheckListRequests(ctx, "200 200 302 302 302 302 302 302 302 200", 10);
    ctx.catalogue().CheckRequestVersions("HTTP/1.0");
    dialog.Click(IDCANCEL);
    app.ExpectExit(0, e2e::kExitTimeoutMs, "Cancel");
}
