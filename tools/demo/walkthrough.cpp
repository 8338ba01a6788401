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

namespace e2e {

namespace {

struct DemoArgs {
    std::string source;  // the installation to duplicate
    std::string parent;  // where the copy goes
    std::string server;  // empty: the one selected at start
};

DemoArgs ParseArgs(const std::vector<std::string>& args) {
    DemoArgs demo;
    for (std::size_t i = 0; i < args.size(); i += 2) {
        if (i + 1 >= args.size()) Fail("missing value for " + args[i]);
        const std::string& value = args[i + 1];
        if (args[i] == "--source") {
            demo.source = value;
        } else if (args[i] == "--parent") {
            demo.parent = value;
        } else if (args[i] == "--server") {
            demo.server = value;
        } else {
            Fail("unknown demo option " + args[i]);
        }
    }
    if (demo.source.empty() || demo.parent.empty()) {
        Fail("the demo needs -- --source DIR --parent DIR [--server NAME]");
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
    explicit Shots(const Context& ctx) : m_ctx(ctx) {}
    void Take(const std::string& step) {
        char number[8];
        std::snprintf(number, sizeof number, "%02d-", ++m_count);
        m_ctx.Screenshot(number + step);
    }

private:
    const Context& m_ctx;
    int m_count = 0;
};

// Clicks the "..." button `buttonId`, selects `folder` in the folder picker that opens (with a
// screenshot of it) and clicks OK.
void Pick(Shots& shots, const AppProcess& app, const MainDialog& dialog, int buttonId,
          const std::string& instruction, const std::string& folder, const std::string& shot) {
    dialog.Click(buttonId);
    FolderPicker picker = FolderPicker::WaitFor(app, instruction);
    Step("select " + Quote(folder) + " in the folder picker");
    picker.Select(folder);
    // The tree shows its selection only while it has the focus.
    HWND tree = GetDlgItem(picker.Window(), kPickerTreeId);
    PostMessageW(picker.Window(), WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(tree), TRUE);
    WaitUntil([&] { return FocusOf(picker.Window()) == tree; }, 2000);
    Note("folder picker at " + RectText(picker.Window()));
    shots.Take(shot);
    Step("click OK in the folder picker");
    picker.ClickOk();
}

}  // namespace

E2E_SCENARIO(demo, "walkthrough for tools/demo.sh: one duplication with a screenshot per step") {
    const DemoArgs demo = ParseArgs(ctx.options.args);
    Shots shots(ctx);
    AppProcess app = ctx.Launch();
    Step("wait for the main dialog");
    MainDialog dialog = MainDialog::WaitFor(app);
    CheckNoMessageBox(app, "over the main dialog");
    const std::vector<std::string> servers = dialog.Servers();
    Check(!servers.empty(), "the server list is loaded: " + Quote(servers));
    Note("main dialog at " + RectText(dialog.Window()));
    shots.Take("start");

    int server = dialog.SelectedServer();
    if (!demo.server.empty()) {
        server = -1;
        for (std::size_t i = 0; i < servers.size(); ++i) {
            if (servers[i] == demo.server) server = static_cast<int>(i);
        }
        if (server < 0) Fail("the catalogue has no server " + Quote(demo.server));
        Step("select the server " + Quote(demo.server));
        ComboSelect(dialog.Item(IDC_SERVER_COMBO), server);
    }
    CheckEqual(dialog.SelectedServer(), server, "selected server");
    const std::string name = servers[static_cast<std::size_t>(server)];
    // The program stores the copy's folder with a trailing backslash.
    const std::string copy = demo.parent + "\\" + name + "\\";

    Pick(shots, app, dialog, IDC_BROWSE_SOURCE, kSourceInstruction, demo.source,
         "pick-installation");
    CheckEqual(dialog.SourceFolder(), demo.source, "installation folder field");
    Pick(shots, app, dialog, IDC_BROWSE_DEST, DestinationInstruction(name), demo.parent,
         "pick-parent");
    CheckEqual(dialog.DestinationFolder(), copy, "parent folder field (with the server's folder)");
    CheckNoMessageBox(app, "after picking both folders");
    shots.Take("ready");

    Step("open the About box from the system menu");
    PostMessageW(dialog.Window(), WM_SYSCOMMAND, IDM_ABOUTBOX, 0);
    HWND about = WaitForDialog(app, kAboutTitle, kWindowTimeoutMs);
    Note("About box at " + RectText(about));
    shots.Take("about-box");
    PostClick(about, IDOK);
    Check(WaitUntil([&] { return !IsShown(about); }, 5000), "OK closes the About box");

    dialog.Click(IDC_DUPLICATE);
    // The shell's progress window shows only for a moment on a small installation.
    bool progressShot = false;
    MessageBoxInfo box = WaitForMessageBox(app, 120000, [&] {
        if (progressShot) return;
        for (HWND window : TopLevelWindows(app.Id())) {
            if (window != dialog.Window() && IsShown(window) && !IsMessageBox(window)) {
                Note("shell window " + Quote(StoredTextOf(window)) + " at " + RectText(window));
                shots.Take("copying");
                progressShot = true;
                return;
            }
        }
    });
    CheckMessageBox(box, kAppTitle, kCompleted, {IDOK}, true);
    Note("message box at " + RectText(box.window));
    shots.Take("completed");
    Answer(box, IDOK);
    app.ExpectExit(0, kExitTimeoutMs, "the completion notice");
    Note("the copy: " + copy);
}

}  // namespace e2e
