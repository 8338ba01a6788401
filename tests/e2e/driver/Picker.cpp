#include "Picker.h"

#include <commctrl.h>

#include <cstring>
#include <vector>

#include "Window.h"
#include "platform/win32/ScopedHandles.h"

namespace e2e {

namespace {

constexpr char kTreeClass[] = "SysTreeView32";
constexpr std::size_t kTextChars = 520;

// A block of memory in another process, for messages whose parameters point to memory the
// receiver fills in (a pointer into the driver would mean nothing there).
class RemoteMemory {
public:
    RemoteMemory(DWORD pid, std::size_t size)
        : m_memory(OpenProcessMemory(pid), size), m_size(size) {
        if (!m_memory.valid()) Fail("cannot allocate memory in process " + std::to_string(pid));
    }

    char* At(std::size_t offset) const { return static_cast<char*>(m_memory.address()) + offset; }
    void Write(std::size_t offset, const void* data, std::size_t size) const {
        SIZE_T written = 0;
        if (offset + size > m_size ||
            !WriteProcessMemory(m_memory.process(), At(offset), data, size, &written) ||
            written != size) {
            Fail("cannot write the memory of the program");
        }
    }
    void Read(std::size_t offset, void* data, std::size_t size) const {
        SIZE_T read = 0;
        if (offset + size > m_size ||
            !ReadProcessMemory(m_memory.process(), At(offset), data, size, &read) || read != size) {
            Fail("cannot read the memory of the program");
        }
    }

private:
    static tessaloom::ScopedHandle OpenProcessMemory(DWORD pid) {
        tessaloom::ScopedHandle process(
            OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid));
        if (!process.valid()) {
            Fail("cannot open process " + std::to_string(pid) + " (error " +
                 std::to_string(GetLastError()) + ")");
        }
        return process;
    }

    tessaloom::ScopedRemoteMemory m_memory;
    std::size_t m_size;
};

HTREEITEM NextItem(HWND tree, UINT relation, HTREEITEM item) {
    return reinterpret_cast<HTREEITEM>(
        SendChecked(tree, TVM_GETNEXTITEM, relation, reinterpret_cast<LPARAM>(item)));
}

std::string ItemText(DWORD pid, HWND tree, HTREEITEM item) {
    RemoteMemory memory(pid, sizeof(TVITEMW) + kTextChars * sizeof(wchar_t));
    TVITEMW request = {};
    request.mask = TVIF_TEXT | TVIF_HANDLE;
    request.hItem = item;
    request.pszText = reinterpret_cast<LPWSTR>(memory.At(sizeof(TVITEMW)));
    request.cchTextMax = static_cast<int>(kTextChars);
    const wchar_t none = L'\0';
    memory.Write(sizeof(TVITEMW), &none, sizeof none);
    memory.Write(0, &request, sizeof request);
    if (!SendChecked(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(memory.At(0)))) {
        Fail("the folder tree has no item " +
             Hex(static_cast<unsigned long>(reinterpret_cast<ULONG_PTR>(item))));
    }
    // The tree may hand back a pointer of its own instead of filling the buffer.
    TVITEMW answer = {};
    memory.Read(0, &answer, sizeof answer);
    if (answer.pszText != request.pszText) Fail("the folder tree answered with its own buffer");
    std::wstring text(kTextChars, L'\0');
    memory.Read(sizeof(TVITEMW), &text[0], kTextChars * sizeof(wchar_t));
    text.resize(wcsnlen(text.c_str(), kTextChars));
    return Narrow(text);
}

std::vector<std::pair<HTREEITEM, std::string>> Children(DWORD pid, HWND tree, HTREEITEM parent) {
    std::vector<std::pair<HTREEITEM, std::string>> children;
    for (HTREEITEM child = NextItem(tree, TVGN_CHILD, parent); child != nullptr;
         child = NextItem(tree, TVGN_NEXT, child)) {
        children.emplace_back(child, ItemText(pid, tree, child));
    }
    return children;
}

bool IsPicker(HWND window) {
    if (ClassOf(window) != kDialogClass || !IsWindowVisible(window)) return false;
    HWND tree = ChildById(window, kPickerTreeId);
    return tree != nullptr && ClassOf(tree) == kTreeClass;
}

// The components of `folder` below the Unix root: "/a/b", "Z:\a\b" and "z:/a/b/" give
// {"a", "b"}. Fails on paths of other drives.
std::vector<std::string> UnixComponents(const std::string& folder) {
    std::string path = folder;
    if (path.size() >= 2 && path[1] == ':') {
        if (path[0] != 'Z' && path[0] != 'z') Fail("not a path on drive Z: " + Quote(folder));
        path = path.substr(2);
    }
    if (path.empty() || (path[0] != '\\' && path[0] != '/')) {
        Fail("not an absolute path: " + Quote(folder));
    }
    std::vector<std::string> components;
    std::string part;
    for (char c : path + "/") {
        if (c == '\\' || c == '/') {
            if (!part.empty()) components.push_back(part);
            part.clear();
        } else {
            part += c;
        }
    }
    return components;
}

}  // namespace

HWND FolderPicker::Find(DWORD pid) {
    for (HWND window : TopLevelWindows(pid)) {
        if (IsPicker(window)) return window;
    }
    return nullptr;
}

FolderPicker FolderPicker::WaitFor(const AppProcess& app, const std::string& instruction,
                                   DWORD timeoutMs) {
    const unsigned long long start = GetTickCount64();
    HWND window = nullptr;
    bool shown = WaitUntil(
        [&] {
            app.CheckRunning("the folder picker");
            window = Find(app.Id());
            return window != nullptr;
        },
        timeoutMs);
    if (!shown) {
        Fail("no folder picker within " + std::to_string(timeoutMs) +
             " ms; windows of the program:\n" + DescribeWindows(app.Id()));
    }
    Note("folder picker " + Quote(StoredTextOf(window)) + " after " +
         std::to_string(ElapsedMs(start)) + " ms");
    FolderPicker picker(app.Id(), window, ChildById(window, kPickerTreeId));
    CheckEqual(picker.Instruction(), instruction, "folder picker instruction");
    return picker;
}

std::string FolderPicker::Instruction() const {
    HWND label = ChildById(m_window, kPickerInstructionId);
    if (label == nullptr) Fail("the folder picker has no instruction text");
    return TextOf(label);
}

void FolderPicker::Select(const std::string& folder) const {
    Step("select " + Quote(folder) + " in the folder picker");
    HTREEITEM item = NextItem(m_tree, TVGN_ROOT, nullptr);
    if (item == nullptr) Fail("the folder tree is empty");
    std::vector<std::string> path = {"/"};
    for (const std::string& component : UnixComponents(folder)) path.push_back(component);

    std::string reached = ItemText(m_pid, m_tree, item);
    for (const std::string& name : path) {
        // The picker lists a folder's subfolders when it is first expanded.
        SendChecked(m_tree, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(item));
        std::vector<std::pair<HTREEITEM, std::string>> children;
        HTREEITEM found = nullptr;
        WaitUntil(
            [&] {
                children = Children(m_pid, m_tree, item);
                for (const auto& child : children) {
                    if (child.second == name) found = child.first;
                }
                return found != nullptr;
            },
            kReactTimeoutMs);
        if (found == nullptr) {
            std::vector<std::string> names;
            for (const auto& child : children) names.push_back(child.second);
            Fail("the folder picker shows no " + Quote(name) + " in " + Quote(reached) + ": " +
                 Quote(names));
        }
        item = found;
        reached += " > " + name;
    }
    if (!SendChecked(m_tree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(item))) {
        Fail("the folder tree refused to select " + Quote(reached));
    }
    SendChecked(m_tree, TVM_ENSUREVISIBLE, 0, reinterpret_cast<LPARAM>(item));
    Check(NextItem(m_tree, TVGN_CARET, nullptr) == item, "selected " + Quote(reached));
}

void FolderPicker::Close(int buttonId, const std::string& label) const {
    Step("click " + label + " in the folder picker");
    PostClick(m_window, buttonId);
    if (!WaitUntil([&] { return !IsWindow(m_window); }, kReactTimeoutMs)) {
        Fail("the folder picker is still open " + std::to_string(kReactTimeoutMs) + " ms after " +
             label);
    }
}

void FolderPicker::ClickOk() const { Close(IDOK, "OK"); }

void FolderPicker::ClickCancel() const { Close(IDCANCEL, "Cancel"); }

void PickFolder(const AppProcess& app, const std::string& instruction, const std::string& folder) {
    FolderPicker picker = FolderPicker::WaitFor(app, instruction);
    picker.Select(folder);
    picker.ClickOk();
}

void CancelPicker(const AppProcess& app, const std::string& instruction) {
    FolderPicker::WaitFor(app, instruction).ClickCancel();
}

}  // namespace e2e
