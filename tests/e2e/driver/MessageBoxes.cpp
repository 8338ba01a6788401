#include "MessageBoxes.h"

#include <algorithm>

#include "Window.h"

namespace e2e {

namespace {

// IDOK to IDCONTINUE: the answers a message box can have.
bool IsAnswerId(int id) { return id >= IDOK && id <= 11; }

std::string WithoutMnemonic(const std::string& text) {
    std::string plain;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '&' && i + 1 < text.size()) ++i;
        plain += text[i];
    }
    return plain;
}

std::string ButtonName(int id) {
    switch (id) {
        case IDOK:
            return "OK";
        case IDCANCEL:
            return "Cancel";
        case IDABORT:
            return "Abort";
        case IDRETRY:
            return "Retry";
        case IDIGNORE:
            return "Ignore";
        case IDYES:
            return "Yes";
        case IDNO:
            return "No";
        default:
            return "button " + std::to_string(id);
    }
}

}  // namespace

std::vector<std::string> MessageBoxInfo::ButtonTexts() const {
    std::vector<std::string> texts;
    for (const MessageBoxButton& button : buttons) texts.push_back(button.text);
    return texts;
}

bool IsMessageBox(HWND window) {
    if (ClassOf(window) != kDialogClass) return false;
    int textStatics = 0;
    for (HWND child : ChildWindows(window)) {
        const std::string cls = ClassOf(child);
        if (cls == "Static") {
            if (IsIconStatic(child)) continue;
            if (ControlId(child) != kMessageBoxTextId) return false;
            ++textStatics;
        } else if (cls == "Button") {
            if (!IsAnswerId(ControlId(child))) return false;
        } else {
            return false;
        }
    }
    return textStatics == 1;
}

std::optional<MessageBoxInfo> ReadMessageBox(HWND window) {
    if (!IsWindow(window) || !IsMessageBox(window)) return std::nullopt;
    MessageBoxInfo box;
    box.window = window;
    box.title = TextOf(window);
    std::vector<std::pair<LONG, MessageBoxButton>> buttons;
    for (HWND child : ChildWindows(window)) {
        const std::string cls = ClassOf(child);
        if (IsIconStatic(child)) {
            LRESULT icon = 0;
            if (IsWindowVisible(child) && TrySend(child, STM_GETICON, 0, 0, icon) && icon != 0) {
                box.hasIcon = true;
            }
        } else if (cls == "Static") {
            box.text = TextOf(child);
        } else if (cls == "Button" && IsWindowVisible(child)) {
            RECT rect = {};
            GetWindowRect(child, &rect);
            buttons.push_back(
                {rect.left, {ControlId(child), WithoutMnemonic(TextOf(child)), child}});
        }
    }
    std::stable_sort(buttons.begin(), buttons.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    for (auto& button : buttons) box.buttons.push_back(button.second);
    if (!IsWindow(window)) return std::nullopt;
    return box;
}

std::vector<MessageBoxInfo> FindMessageBoxes(DWORD pid) {
    std::vector<MessageBoxInfo> boxes;
    for (HWND window : TopLevelWindows(pid)) {
        if (!IsWindowVisible(window)) continue;
        if (auto box = ReadMessageBox(window)) boxes.push_back(*box);
    }
    return boxes;
}

MessageBoxInfo WaitForMessageBox(const AppProcess& app, DWORD timeoutMs,
                                 const std::function<void()>& duringWait) {
    const unsigned long long start = GetTickCount64();
    std::vector<MessageBoxInfo> boxes;
    bool found = WaitUntil(
        [&] {
            app.CheckRunning("a message box");
            if (duringWait) duringWait();
            boxes = FindMessageBoxes(app.Id());
            return !boxes.empty();
        },
        timeoutMs);
    if (!found) {
        Fail("no message box within " + std::to_string(timeoutMs) +
             " ms; windows of the program:\n" + DescribeWindows(app.Id()));
    }
    if (boxes.size() > 1) Fail(std::to_string(boxes.size()) + " message boxes at once");
    Note("message box after " + std::to_string(ElapsedMs(start)) + " ms: " + Describe(boxes[0]));
    return boxes[0];
}

void CheckNoMessageBox(const AppProcess& app, const std::string& when) {
    std::vector<MessageBoxInfo> boxes = FindMessageBoxes(app.Id());
    if (!boxes.empty()) Fail("unexpected message box " + when + ": " + Describe(boxes[0]));
    Check(true, "no message box " + when);
}

void Answer(const MessageBoxInfo& box, int buttonId, DWORD timeoutMs) {
    auto button = std::find_if(box.buttons.begin(), box.buttons.end(),
                               [buttonId](const MessageBoxButton& b) { return b.id == buttonId; });
    if (button == box.buttons.end()) {
        Fail("the message box has no " + ButtonName(buttonId) + " button: " + Describe(box));
    }
    Step("answer " + Quote(button->text) + " in the message box");
    if (!PostMessageW(box.window, WM_COMMAND, MAKEWPARAM(buttonId, BN_CLICKED),
                      reinterpret_cast<LPARAM>(button->window))) {
        Fail("cannot post the answer (error " + std::to_string(GetLastError()) + ")");
    }
    if (!WaitUntil([&] { return !IsShown(box.window); }, timeoutMs)) {
        Fail("the message box is still open " + std::to_string(timeoutMs) + " ms after " +
             Quote(button->text));
    }
}

void CheckMessageBox(const MessageBoxInfo& box, const std::string& title, const std::string& text,
                     const std::vector<int>& buttonIds, bool hasIcon) {
    CheckEqual(box.title, title, "message box title");
    CheckEqual(box.text, text, "message box text");
    std::vector<std::string> expected;
    for (int id : buttonIds) expected.push_back(ButtonName(id));
    std::vector<std::string> actual;
    for (const MessageBoxButton& button : box.buttons) actual.push_back(ButtonName(button.id));
    CheckEqual(actual, expected, "message box buttons");
    CheckEqual(box.ButtonTexts(), expected, "message box button labels");
    Check(box.hasIcon == hasIcon,
          hasIcon ? "message box shows an icon" : "message box has no icon");
}

std::string Describe(const MessageBoxInfo& box) {
    std::string text = Quote(box.title) + " " + Quote(box.text) + " buttons " +
                       Quote(box.ButtonTexts()) + (box.hasIcon ? " with icon" : " without icon");
    return text;
}

}  // namespace e2e
