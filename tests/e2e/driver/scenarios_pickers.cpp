// The folder pickers of the main dialog, used through the shell's "Browse for Folder" window:
// what each one asks, what Cancel leaves and what a chosen folder puts in the fields.
#include <string>

#include "Duplication.h"
#include "MainDialog.h"
#include "Picker.h"
#include "Scenario.h"
#include "Window.h"

namespace {

using e2e::AppProcess;
using e2e::Check;
using e2e::CheckEqual;
using e2e::Context;
using e2e::MainDialog;

const char kList[] = "Alpha=alpha\nBeta Server=beta\n";

MainDialog Start(const Context& ctx, AppProcess& app) {
    ctx.catalogue().WriteFile(e2e::kServerListName, kList);
    ctx.catalogue().Clear();
    app = ctx.Launch();
    return MainDialog::WaitFor(app);
}

void CheckFields(const MainDialog& dialog, const std::string& source,
                 const std::string& destination) {
    // The program fills a field just after its picker has gone.
    e2e::WaitUntil(
        [&] {
            return dialog.SourceFolder() == source && dialog.DestinationFolder() == destination;
        },
        2000);
    CheckEqual(dialog.SourceFolder(), source, "installation folder field");
    CheckEqual(dialog.DestinationFolder(), destination, "parent folder field");
}

// Clicks "..." beside a field, cancels the picker and expects the notice.
void CancelBoth(const AppProcess& app, const MainDialog& dialog, const std::string& serverName) {
    dialog.Click(IDC_BROWSE_SOURCE);
    e2e::CancelPicker(app, e2e::kSourceInstruction);
    e2e::ExpectNotice(app, "No folder selected");
    dialog.Click(IDC_BROWSE_DEST);
    e2e::CancelPicker(app, e2e::DestinationInstruction(serverName));
    e2e::ExpectNotice(app, "No folder selected");
}

}  // namespace

E2E_SCENARIO(picker_cancel, "Cancel in either picker: \"No folder selected\", fields unchanged") {
    const std::string source = ctx.options().scratch + "\\Quorvane";
    const std::string parent = ctx.options().scratch + "\\Tests";
    e2e::CreateFolders(source);
    e2e::CreateFolders(parent);
    AppProcess app;
    MainDialog dialog = Start(ctx, app);

    e2e::Step("cancel both pickers with the fields empty");
    CancelBoth(app, dialog, "Alpha");
    CheckFields(dialog, "", "");

    e2e::Step("fill both fields, then cancel both pickers again");
    e2e::PickSource(app, dialog, source);
    e2e::PickParent(app, dialog, "Alpha", parent);
    CheckFields(dialog, source, parent + "\\Alpha\\");
    CancelBoth(app, dialog, "Alpha");
    CheckFields(dialog, source, parent + "\\Alpha\\");

    e2e::CheckDialogUsable(app, dialog);
    e2e::CheckMissing(parent + "\\Alpha", "the server's folder (the pickers create nothing)");
    e2e::CheckRequests(ctx.catalogue(), {e2e::Request(ctx.catalogue(), e2e::kServerListName)});
    dialog.Click(IDCANCEL);
    app.ExpectExit(0, e2e::kExitTimeoutMs, "Cancel");
}

E2E_SCENARIO(picker_choose, "chosen folders: the source as picked, the parent + server name + \\") {
    const std::string scratch = ctx.options().scratch;
    const std::string source = scratch + "\\Quorvane";
    // Spaces and a letter beyond ASCII, as in a user's own folders.
    const std::string otherSource = scratch +
                                    "\\Spiele \xC3\x9C"
                                    "bung\\Quorvane 2";
    const std::string parent = scratch + "\\Tests";
    e2e::CreateFolders(source);
    e2e::CreateFolders(otherSource);
    e2e::CreateFolders(parent);
    AppProcess app;
    MainDialog dialog = Start(ctx, app);

    e2e::PickSource(app, dialog, source);
    CheckFields(dialog, source, "");

    e2e::Step("select the second server: the picker asks for its folder");
    e2e::ComboSelect(dialog.Item(IDC_SERVER_COMBO), 1);
    e2e::PickParent(app, dialog, "Beta Server", parent);
    CheckFields(dialog, source, parent + "\\Beta Server\\");

    e2e::Step("the root of drive Z: as the parent: no doubled separator");
    e2e::PickParent(app, dialog, "Beta Server", "Z:\\");
    CheckFields(dialog, source, "Z:\\Beta Server\\");

    e2e::Step("a second choice replaces the first");
    e2e::PickSource(app, dialog, otherSource);
    e2e::ComboSelect(dialog.Item(IDC_SERVER_COMBO), 0);
    e2e::PickParent(app, dialog, "Alpha", parent);
    CheckFields(dialog, otherSource, parent + "\\Alpha\\");

    e2e::CheckDialogUsable(app, dialog);
    e2e::CheckMissing(parent + "\\Alpha", "the server's folder (the pickers create nothing)");
    e2e::CheckMissing(parent + "\\Beta Server", "the other server's folder");
    e2e::CheckRequests(ctx.catalogue(), {e2e::Request(ctx.catalogue(), e2e::kServerListName)});
    dialog.PressEscape();
    app.ExpectExit(0, e2e::kExitTimeoutMs, "Escape");
}
