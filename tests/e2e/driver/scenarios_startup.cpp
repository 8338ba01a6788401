// Start-up of the program: the server list fetched while the dialog initialises, the retry
// prompt of a failed fetch, and the ways to close the dialog.
#include <string>
#include <vector>

#include "MainDialog.h"
#include "MessageBoxes.h"
#include "Scenario.h"
#include "Window.h"

namespace e2e {

namespace {

std::string StatusList(const std::vector<int>& statuses) {
    std::string text;
    for (int status : statuses) text += (text.empty() ? "" : " ") + std::to_string(status);
    return text;
}

// The GETs of the server list the server has seen, once `count` of them have arrived.
void CheckListRequests(const Context& ctx, const std::string& expected, std::size_t count) {
    std::vector<int> statuses =
        ctx.catalogue.WaitForRequests(kServerListName, count, kReactTimeoutMs);
    CheckEqual(StatusList(statuses), expected, "statuses of the GETs of the server list");
}

// The main dialog, once visible, with no message box over it.
MainDialog ExpectMainDialog(const AppProcess& app) {
    Step("wait for the main dialog");
    MainDialog dialog = MainDialog::WaitFor(app);
    CheckEqual(dialog.Caption(), kMainDialogTitle, "dialog caption");
    CheckNoMessageBox(app, "over the main dialog");
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
    CheckEqual(ComboCount(dialog.Item(IDC_SERVER_COMBO)), 0, "server selector entries");
    CheckEqual(dialog.SelectedServer(), -1, "selected server (none)");
}

// The retry prompt of the server list's fetch with `code`, which comes while the dialog
// initialises: before it is visible.
MessageBoxInfo ExpectListPrompt(const Context& ctx, const AppProcess& app, unsigned long code) {
    Step("wait for the retry prompt");
    auto dialogHidden = [&app] {
        if (IsShown(FindDialog(app.Id(), kMainDialogTitle))) {
            Fail("the main dialog became visible before the retry prompt");
        }
    };
    MessageBoxInfo box = WaitForMessageBox(app, kWindowTimeoutMs, dialogHidden);
    dialogHidden();
    Check(true, "main dialog not visible while the prompt shows");
    // Owned by the hidden dialog it would have no taskbar button and stay behind.
    Check(GetWindow(box.window, GW_OWNER) == nullptr, "the prompt has no owner");
    ctx.CheckDownloadPrompt(box, code, ctx.ServerListUrl());
    return box;
}

// Serves `listBytes` (with `fault` on them, if any), and expects `names` in the selector.
void ShowsServerList(Context& ctx, const std::string& listBytes,
                     const std::vector<std::string>& names, const std::string& fault = "") {
    ctx.catalogue.WriteFile(kServerListName, listBytes);
    ctx.catalogue.Clear();
    if (!fault.empty()) ctx.catalogue.AddFault(kServerListName, fault);
    AppProcess app = ctx.Launch();
    MainDialog dialog = ExpectMainDialog(app);
    CheckServers(dialog, names);
    CheckFreshFields(dialog);
    CheckListRequests(ctx, "200", 1);
    ctx.Screenshot("main-dialog");
    dialog.Click(IDCANCEL);
    app.ExpectExit(0, kExitTimeoutMs, "Cancel");
}

// Serves the three-server list with `fault` on it and starts the program.
AppProcess LaunchWithListFault(Context& ctx, const std::string& fault) {
    ctx.catalogue.WriteFile(kServerListName, kThreeServers);
    ctx.catalogue.Clear();
    ctx.catalogue.AddFault(kServerListName, fault);
    return ctx.Launch();
}

}  // namespace

E2E_SCENARIO(list_lf,
             "LF list in UTF-8 with a byte-order mark, endless without a length: names in file "
             "order, first selected; Cancel ends with 0") {
    // "Бета Server" after the mark; line feeds follow the list for as long as it is read.
    ShowsServerList(ctx,
                    "\xEF\xBB\xBF"
                    "Alpha=alpha\n\xD0\x91\xD0\xB5\xD1\x82\xD0\xB0 Server=beta\nGamma=gamma\n",
                    {"Alpha", "\xD0\x91\xD0\xB5\xD1\x82\xD0\xB0 Server", "Gamma"},
                    "size=999999999999,nolength");
}

E2E_SCENARIO(list_crlf, "CR LF list in the system's Western code page: the names, without CR") {
    // "B\xEAta" is "Bêta" in that code page, and not UTF-8.
    ShowsServerList(ctx, "Alpha=alpha\r\nB\xEAta Server=beta\r\nGamma=gamma\r\n",
                    {"Alpha", "B\xC3\xAAta Server", "Gamma"});
}

E2E_SCENARIO(unreachable, "no server: retry prompt before the dialog; Cancel gives an empty list") {
    Check(!ctx.catalogue.ServerAnswers(), "nothing answers at the catalogue's address");
    AppProcess app = ctx.Launch();
    MessageBoxInfo box = ExpectListPrompt(ctx, app, kCodeDownloadFailure);
    Answer(box, IDCANCEL);

    MainDialog dialog = ExpectMainDialog(app);
    CheckEmptySelector(dialog);
    CheckFreshFields(dialog);
    dialog.PressEscape();
    app.ExpectExit(0, kExitTimeoutMs, "Escape");
}

E2E_SCENARIO(retry_then_success, "status 500 once: prompt, Retry fetches the list again") {
    AppProcess app = LaunchWithListFault(ctx, "status=500,failfirst=1");
    MessageBoxInfo box = ExpectListPrompt(ctx, app, kCodeStatus500);
    Answer(box, IDRETRY);

    MainDialog dialog = ExpectMainDialog(app);
    CheckServers(dialog, kThreeServerNames);
    CheckListRequests(ctx, "500 200", 2);
    dialog.ClickCloseBox();
    app.ExpectExit(0, kExitTimeoutMs, "the close box");
}

E2E_SCENARIO(http_404, "status 404: the prompt returns on Retry; Cancel gives an empty list") {
    AppProcess app = LaunchWithListFault(ctx, "status=404");
    MessageBoxInfo box = ExpectListPrompt(ctx, app, kCodeStatus404);
    Answer(box, IDRETRY);

    Step("the fetch fails again: the same prompt");
    box = ExpectListPrompt(ctx, app, kCodeStatus404);
    Answer(box, IDCANCEL);

    MainDialog dialog = ExpectMainDialog(app);
    CheckEmptySelector(dialog);
    CheckListRequests(ctx, "404 404", 2);
    dialog.Click(IDCANCEL);
    app.ExpectExit(0, kExitTimeoutMs, "Cancel");
}

E2E_SCENARIO(truncated_list, "list cut after 5 bytes: download failure prompt, empty list") {
    AppProcess app = LaunchWithListFault(ctx, "truncate=5");
    MessageBoxInfo box = ExpectListPrompt(ctx, app, kCodeDownloadFailure);
    Answer(box, IDCANCEL);

    MainDialog dialog = ExpectMainDialog(app);
    CheckEmptySelector(dialog);
    CheckListRequests(ctx, "200", 1);  // a 200 whose body stops short
    dialog.PressEscape();
    app.ExpectExit(0, kExitTimeoutMs, "Escape");
}

E2E_SCENARIO(exit_paths, "Escape, the Cancel button and the close box each end with 0") {
    ctx.catalogue.WriteFile(kServerListName, kThreeServers);
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
        app.ExpectExit(0, kExitTimeoutMs, way.name);
    }
}

E2E_SCENARIO(list_hostile,
             "list cut in its chunks, held back, trickled, redirected in a loop or to a server "
             "that never answers: prompts; an endless list: its first 1024 bytes") {
    // 41 bytes: 8-byte chunks cut after 20 bytes end inside the third chunk, 10-byte chunks
    // right after the second.
    AppProcess app = LaunchWithListFault(ctx, "chunked=8,truncate=20");
    MessageBoxInfo box = ExpectListPrompt(ctx, app, kCodeDownloadFailure);
    CheckListRequests(ctx, "200", 1);

    Step("cut at a chunk boundary");
    ctx.catalogue.AddFault(kServerListName, "chunked=10,truncate=20");
    Answer(box, IDRETRY);
    box = ExpectListPrompt(ctx, app, kCodeDownloadFailure);
    CheckListRequests(ctx, "200 200", 2);

    Step("a redirect to itself: five redirects followed, the sixth refused");
    ctx.catalogue.AddFault(kServerListName, std::string("redirect=") + kServerListName);
    Answer(box, IDRETRY);
    box = ExpectListPrompt(ctx, app, kCodeRedirectFailed);
    CheckListRequests(ctx, "200 200 302 302 302 302 302 302", 8);

    Step("no headers at all (the held request would be logged once answered)");
    ctx.catalogue.AddFault(kServerListName, "delay=600000,failfirst=1");
    unsigned long long start = GetTickCount64();
    Answer(box, IDRETRY);
    box = ExpectListPrompt(ctx, app, kCodeTimeout);
    CheckGaveUpAfterTimeout(start);

    Step("redirected to a server that never takes the connection");
    ctx.catalogue.AddFault(kServerListName, "unreachable,failfirst=1");
    start = GetTickCount64();
    Answer(box, IDRETRY);
    box = ExpectListPrompt(ctx, app, kCodeTimeout);
    CheckGaveUpAfterTimeout(start);

    Step("a list that trickles a byte at a time, never silent for long: the fetch's time in all");
    ctx.catalogue.AddFault(kServerListName,
                           "trickle=" + std::to_string(kFetchTimeoutMs / 2) + ",failfirst=1");
    start = GetTickCount64();
    Answer(box, IDRETRY);
    box = ExpectListPrompt(ctx, app, kCodeTimeout);
    CheckGaveUpAfterTimeout(start, kFetchTotalMs);

    Step("an endless list: what counts is read, the rest is not");
    ctx.catalogue.AddFault(kServerListName, "size=999999999999");
    Answer(box, IDRETRY);
    MainDialog dialog = ExpectMainDialog(app);
    CheckServers(dialog, kThreeServerNames);
    CheckListRequests(ctx, "200 200 302 302 302 302 302 302 302 200 200", 11);
    ctx.catalogue.CheckRequestVersions("HTTP/1.0");
    dialog.Click(IDCANCEL);
    app.ExpectExit(0, kExitTimeoutMs, "Cancel");
}

}  // namespace e2e
