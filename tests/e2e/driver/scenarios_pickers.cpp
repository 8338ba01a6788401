// The folder pickers of the main dialog, used through the shell's "Browse for Folder" window:
// what each one asks, what Cancel leaves and what a chosen folder puts in the fields.
#include <string>

#include "Duplication.h"
#include "MainDialog.h"
#include "Picker.h"
#include "Scenario.h"
#include "Window.h"

namespace e2e {

namespace {

MainDialog Start(const Context& ctx, AppProcess& app) {
    ctx.catalogue.WriteFile(kServerListName, kTwoServers);
    ctx.catalogue.Clear();
    app = ctx.Launch();
    return MainDialog::WaitFor(app);
}

void CheckFields(const MainDialog& dialog, const std::string& source,
                 const std::string& destination) {
    // The program fills a field just after its picker has gone.
    WaitUntil(
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
    CancelPicker(app, kSourceInstruction);
    ExpectNotice(app, "No folder selected");
    dialog.Click(IDC_BROWSE_DEST);
    CancelPicker(app, DestinationInstruction(serverName));
    ExpectNotice(app, "No folder selected");
}

}  // namespace

E2E_SCENARIO(picker_cancel, "Cancel in either picker: \"No folder selected\", fields unchanged") {
    const std::string source = ctx.options.scratch + "\\Quorvane";
    const std::string parent = ctx.options.scratch + "\\Tests";
    CreateFolders(source);
    CreateFolders(parent);
    AppProcess app;
    MainDialog dialog = Start(ctx, app);

    Step("cancel both pickers with the fields empty");
    CancelBoth(app, dialog, "Alpha");
    CheckFields(dialog, "", "");

    Step("fill both fields, then cancel both pickers again");
    PickSource(app, dialog, source);
    PickParent(app, dialog, "Alpha", parent);
    CheckFields(dialog, source, parent + "\\Alpha\\");
    CancelBoth(app, dialog, "Alpha");
    CheckFields(dialog, source, parent + "\\Alpha\\");

    CheckDialogUsable(app, dialog);
    CheckMissing(parent + "\\Alpha", "the server's folder (the pickers create nothing)");
    CheckRequests(ctx.catalogue, {Request(ctx.catalogue, kServerListName)});
    dialog.Click(IDCANCEL);
    app.ExpectExit(0, kExitTimeoutMs, "Cancel");
}

E2E_SCENARIO(picker_choose, "chosen folders: the source as picked, the parent + server name + \\") {
    const std::string scratch = ctx.options.scratch;
    const std::string source = scratch + "\\Quorvane";
    // Spaces and a letter beyond ASCII, as in a user's own folders.
    const std::string otherSource = scratch +
                                    "\\Spiele \xC3\x9C"
                                    "bung\\Quorvane 2";
    const std::string parent = scratch + "\\Tests";
    CreateFolders(source);
    CreateFolders(otherSource);
    CreateFolders(parent);
    AppProcess app;
    MainDialog dialog = Start(ctx, app);

    PickSource(app, dialog, source);
    CheckFields(dialog, source, "");

    Step("select the second server: the picker asks for its folder");
    ComboSelect(dialog.Item(IDC_SERVER_COMBO), 1);
    PickParent(app, dialog, "Beta Server", parent);
    CheckFields(dialog, source, parent + "\\Beta Server\\");

    Step("the root of drive Z: as the parent: no doubled separator");
    PickParent(app, dialog, "Beta Server", "Z:\\");
    CheckFields(dialog, source, "Z:\\Beta Server\\");

    Step("a second choice replaces the first");
    PickSource(app, dialog, otherSource);
    ComboSelect(dialog.Item(IDC_SERVER_COMBO), 0);
    PickParent(app, dialog, "Alpha", parent);
    CheckFields(dialog, otherSource, parent + "\\Alpha\\");

    CheckDialogUsable(app, dialog);
    CheckMissing(parent + "\\Alpha", "the server's folder (the pickers create nothing)");
    CheckMissing(parent + "\\Beta Server", "the other server's folder");
    CheckRequests(ctx.catalogue, {Request(ctx.catalogue, kServerListName)});
    dialog.PressEscape();
    app.ExpectExit(0, kExitTimeoutMs, "Escape");
}

}  // namespace e2e
