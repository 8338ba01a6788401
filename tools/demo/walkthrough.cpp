// The walkthrough tools/demo.sh shows without a display: a whole duplication on the demo
// catalogue, done as a person would, with a screenshot of each step.
//
//   e2e-driver demo ... -- --source DIR --parent DIR [--server NAME]
//
// Not a registered test: it needs the demo catalogue served and a sample installation, which
// tools/demo.sh sets up (and it checks the copy's files afterwards).
#include <cstdio>
#include <string>
#include <vector>

#include "MainDialog.h"
#include "MessageBoxes.h"
#include "Picker.h"
#include "Scenario.h"
#include "Window.h"

namespace {

using e2e::AppProcess;
using e2e::Check;
using e2e::CheckEqual;
using e2e::Context;
using e2e::MainDialog;

struct DemoArgs {
    std::string source;  // the installation to duplicate
    std::string parent;  // where the copy goes
    std::string server;  // empty: the one selected at start
};

DemoArgs ParseArgs(const std::vector<std::string>& args) {
    DemoArgs demo;
    for (std::size_t i = 0; i < args.size(); i += 2) {
        if (i + 1 >= args.size()) e2e::Fail("missing value for " + args[i]);
        const std::string& value = args[i + 1];
        if (args[i] == "--source") {
            demo.source = value;
        } else if (args[i] == "--parent") {
            demo.parent = value;
        } else if (args[i] == "--server") {
            demo.server = value;
        } else {
            e2e::Fail("unknown demo option " + args[i]);
        }
    }
    if (demo.source.empty() || demo.parent.empty()) {
        e2e::Fail("the demo needs -- --source DIR --parent DIR [--server NAME]");
    }
    return demo;
}

// A window's place as ImageMagick's crop geometry (WxH+X+Y), to cut screenshots to it.
std::string RectText(HWND window) {
    RECT rect = {};
    GetWindowRect(window, &rect);
    return std::to_string(rect.right - rect.left) + "x" + std::to_string(rect.bottom - rect.top) +
           "+" + std::to_string(rect.left) + "+" + std::to_string(rect.top);
}

// Screenshots numbered in the order taken: NN-step.png.
class Shots {
public:
    explicit Shots(const Context& ctx) : ctx_(ctx) {}
    void Take(const std::string& step) {
        char number[8];
        std::snprintf(number, sizeof number, "%02d-", ++count_);
        ctx_.Screenshot(number + step);
    }

private:
    const Context& ctx_;
    int count_ = 0;
};

// Clicks the "..." button `buttonId`, selects `folder` in the folder picker that opens (with a
// screenshot of it) and clicks OK.
void Pick(Shots& shots, const e2e::AppProcess& app, const MainDialog& dialog, int buttonId,
          const std::string& instruction, const std::string& folder, const std::string& shot) {
    dialog.Click(buttonId);
    e2e::FolderPicker picker = e2e::FolderPicker::WaitFor(app, instruction);
    e2e::Step("select " + e2e::Quote(folder) + " in the folder picker");
    picker.Select(folder);
    // The tree shows its selection only while it has the focus.
    HWND tree = GetDlgItem(picker.Window(), e2e::kPickerTreeId);
    PostMessageW(picker.Window(), WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(tree), TRUE);
    e2e::WaitUntil([&] { return e2e::FocusOf(picker.Window()) == tree; }, 2000);
    e2e::Note("folder picker at " + RectText(picker.Window()));
    shots.Take(shot);
    e2e::Step("click OK in the folder picker");
    picker.ClickOk();
}

}  // namespace

E2E_SCENARIO(demo, "walkthrough for tools/demo.sh: one duplication with a screenshot per step") {
    const DemoArgs demo = ParseArgs(ctx.options().args);
    Shots shots(ctx);
    AppProcess app = ctx.Launch();
    e2e::Step("wait for the main dialog");
    MainDialog dialog = MainDialog::WaitFor(app);
    e2e::CheckNoMessageBox(app, "over the main dialog");
    const std::vector<std::string> servers = dialog.Servers();
    Check(!servers.empty(), "the server list is loaded: " + e2e::Quote(servers));
    e2e::Note("main dialog at " + RectText(dialog.Window()));
    shots.Take("start");

    int server = dialog.SelectedServer();
    if (!demo.server.empty()) {
        server = -1;
        for (std::size_t i = 0; i < servers.size(); ++i) {
            if (servers[i] == demo.server) server = static_cast<int>(i);
        }
        if (server < 0) e2e::Fail("the catalogue has no server " + e2e::Quote(demo.server));
        e2e::Step("select the server " + e2e::Quote(demo.server));
        e2e::ComboSelect(dialog.Item(IDC_SERVER_COMBO), server);
    }
    CheckEqual(dialog.SelectedServer(), server, "selected server");
    const std::string name = servers[static_cast<std::size_t>(server)];
    // The program stores the copy's folder with a trailing backslash.
    const std::string copy = demo.parent + "\\" + name + "\\";

    Pick(shots, app, dialog, IDC_BROWSE_SOURCE, "Select the Quorvane folder:", demo.source,
         "pick-installation");
    CheckEqual(dialog.SourceFolder(), demo.source, "installation folder field");
    Pick(shots, app, dialog, IDC_BROWSE_DEST,
         "Select where you want the \"" + name + "\" folder:", demo.parent, "pick-parent");
    CheckEqual(dialog.DestinationFolder(), copy, "parent folder field (with the server's folder)");
    e2e::CheckNoMessageBox(app, "after picking both folders");
    shots.Take("ready");

    e2e::Step("open the About box from the system menu");
    PostMessageW(dialog.Window(), WM_SYSCOMMAND, IDM_ABOUTBOX, 0);
    HWND about = e2e::WaitForDialog(app, "About Tessaloom", e2e::kWindowTimeoutMs);
    e2e::Note("About box at " + RectText(about));
    shots.Take("about-box");
    e2e::PostClick(about, IDOK);
    Check(e2e::WaitUntil([&] { return !e2e::IsShown(about); }, 5000), "OK closes the About box");

    dialog.Click(IDC_DUPLICATE);
    // The shell's progress window shows only for a moment on a small installation.
    bool progressShot = false;
    e2e::MessageBoxInfo box = e2e::WaitForMessageBox(app, 120000, [&] {
        if (progressShot) return;
        for (HWND window : e2e::TopLevelWindows(app.Id())) {
            if (window != dialog.Window() && e2e::IsShown(window) && !e2e::IsMessageBox(window)) {
                e2e::Note("shell window " + e2e::Quote(e2e::StoredTextOf(window)) + " at " +
                          RectText(window));
                shots.Take("copying");
                progressShot = true;
                return;
            }
        }
    });
    e2e::CheckMessageBox(box, e2e::kAppTitle, "Operation completed.", {IDOK}, true);
    e2e::Note("message box at " + RectText(box.window));
    shots.Take("completed");
    e2e::Answer(box, IDOK);
    app.ExpectExit(0, e2e::kExitTimeoutMs, "the completion notice");
    e2e::Note("the copy: " + copy);
}
