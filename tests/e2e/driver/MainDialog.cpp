#include "MainDialog.h"

#include "Window.h"

namespace e2e {

MainDialog MainDialog::WaitFor(const AppProcess& app, DWORD timeoutMs) {
    return MainDialog(WaitForDialog(app, kMainDialogTitle, timeoutMs));
}

HWND MainDialog::Item(int id) const {
    HWND item = GetDlgItem(m_window, id);
    if (item == nullptr) Fail("the main dialog has no control " + std::to_string(id));
    return item;
}

std::string MainDialog::Caption() const { return TextOf(m_window); }

std::vector<std::string> MainDialog::Servers() const { return ComboItems(Item(IDC_SERVER_COMBO)); }

int MainDialog::SelectedServer() const { return ComboSelection(Item(IDC_SERVER_COMBO)); }

std::string MainDialog::SourceFolder() const { return TextOf(Item(IDC_SOURCE_EDIT)); }

std::string MainDialog::DestinationFolder() const { return TextOf(Item(IDC_DEST_EDIT)); }

void MainDialog::Click(int id) const {
    Step("click " + Quote(TextOf(Item(id))) + " (" + std::to_string(id) + ")");
    PostClick(m_window, id);
}

void MainDialog::PressEscape() const {
    Step("press Escape");
    PostEscape(m_window);
}

void MainDialog::ClickCloseBox() const {
    Step("click the close box");
    PostCloseBox(m_window);
}

}  // namespace e2e
