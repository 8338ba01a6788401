// The folder pickers of the main dialog, used through the shell's "Browse for Folder" window:
// what each one asks, what Cancel leaves and what a chosen folder puts in the fields.
#include <string>

#include "Duplication.h"
#include "Picker.h"
#include "Scenario.h"
#include "Window.h"

namespace e2e {

namespace {

void CheckFields(const MainDialog& dialog, const std::string& source,
                 const std::string& destination) {
    // The program fills a field just after its picker has gone.
    WaitUntil(
        [&] {
            return dialog.SourceFolder() == source && dialog.DestinationFolder() == destination;
        },
        kReactTimeoutMs);
    CheckEqual(dialog.SourceFolder(), source, "installation folder field");
    CheckEqual(dialog.DestinationFolder(), destination, "parent folder field");
}

// Clicks "..." beside a field, cancels the picker and expects the notice.
void CancelBoth(const DuplicationFixture& dup, const std::string& serverName) {
    dup.dialog.Click(IDC_BROWSE_SOURCE);
    CancelPicker(dup.app, kSourceInstruction);
    ExpectNotice(dup.app, "No folder selected");
    dup.dialog.Click(IDC_BROWSE_DEST);
    CancelPicker(dup.app, DestinationInstruction(serverName));
    ExpectNotice(dup.app, "No folder selected");
}

}  // namespace

E2E_SCENARIO(picker_cancel, "Cancel in either picker: \"No folder selected\", fields unchanged") {
    DuplicationFixture dup(ctx, WithEmptyFields());
    const std::string& source = dup.installation.root;
    const std::string parent = dup.scratch + "\\Tests";
    CreateFolders(parent);

    Step("cancel both pickers with the fields empty");
    CancelBoth(dup, "Alpha");
    CheckFields(dup.dialog, "", "");

    Step("fill both fields, then cancel both pickers again");
    PickSource(dup.app, dup.dialog, source);
    PickParent(dup.app, dup.dialog, "Alpha", parent);
    CheckFields(dup.dialog, source, parent + "\\Alpha\\");
    CancelBoth(dup, "Alpha");
    CheckFields(dup.dialog, source, parent + "\\Alpha\\");

    dup.CheckDialogUsable();
    CheckMissing(parent + "\\Alpha", "the server's folder (the pickers create nothing)");
    CheckRequests(ctx.catalogue, {dup.listRequest});
    dup.dialog.Click(IDCANCEL);
    dup.app.ExpectExit(0, kExitTimeoutMs, "Cancel");
}

E2E_SCENARIO(picker_choose, "chosen folders: the source as picked, the parent + server name + \\") {
    DuplicationFixture dup(ctx, WithEmptyFields());
    const std::string& source = dup.installation.root;
    // Spaces and a letter beyond ASCII, as in a user's own folders.
    const std::string otherSource = dup.scratch +
                                    "\\Spiele \xC3\x9C"
                                    "bung\\Quorvane 2";
    const std::string parent = dup.scratch + "\\Tests";
    CreateFolders(otherSource);
    CreateFolders(parent);

    PickSource(dup.app, dup.dialog, source);
    CheckFields(dup.dialog, source, "");

    Step("select the second server: the picker asks for its folder");
    ComboSelect(dup.dialog.Item(IDC_SERVER_COMBO), 1);
    PickParent(dup.app, dup.dialog, "Beta Server", parent);
    CheckFields(dup.dialog, source, parent + "\\Beta Server\\");

    Step("the root of drive Z: as the parent: no doubled separator");
    PickParent(dup.app, dup.dialog, "Beta Server", "Z:\\");
    CheckFields(dup.dialog, source, "Z:\\Beta Server\\");

    Step("a second choice replaces the first");
    PickSource(dup.app, dup.dialog, otherSource);
    ComboSelect(dup.dialog.Item(IDC_SERVER_COMBO), 0);
    PickParent(dup.app, dup.dialog, "Alpha", parent);
    CheckFields(dup.dialog, otherSource, parent + "\\Alpha\\");

    dup.CheckDialogUsable();
    CheckMissing(parent + "\\Alpha", "the server's folder (the pickers create nothing)");
    CheckMissing(parent + "\\Beta Server", "the other server's folder");
    CheckRequests(ctx.catalogue, {dup.listRequest});
    dup.dialog.PressEscape();
    dup.app.ExpectExit(0, kExitTimeoutMs, "Escape");
}

}  // namespace e2e
