#include "fake/FakePlatform.h"

#include <algorithm>
#include <new>
#include <stdexcept>
#include <utility>

#include "paths/Paths.h"
#include "platform/MemoryStream.h"
#include "resources/resource.h"

namespace tessaloom {

namespace {

// A fetched body that reports its release and can fail on request.
class FakeStream : public MemoryStream {
public:
    FakeStream(FakePlatform& platform, std::string url, const FakeFetch& reply)
        : MemoryStream(std::vector<std::uint8_t>(reply.body.begin(), reply.body.end())),
          m_platform(platform),
          m_url(std::move(url)),
          m_reply(reply) {
        ++m_platform.liveStreams;
    }
    ~FakeStream() override {
        --m_platform.liveStreams;
        m_platform.events.push_back("release " + m_url);
    }
    bool Stat(std::uint64_t& size) override {
        if (m_reply.statFails) return false;
        MemoryStream::Stat(size);
        if (m_reply.reportedSize != ~std::uint64_t{0}) size = m_reply.reportedSize;
        return true;
    }
    bool Read(void* buffer, std::uint32_t count, std::uint32_t& read) override {
        if (m_reply.readFails) {
            read = 0;
            return false;
        }
        return MemoryStream::Read(buffer, count, read);
    }

private:
    FakePlatform& m_platform;
    std::string m_url;
    FakeFetch m_reply;
};

void AppendUtf8(std::string& text, char32_t c) {
    if (c < 0x80) {
        text += static_cast<char>(c);
    } else if (c < 0x800) {
        text += static_cast<char>(0xC0 | (c >> 6));
        text += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        text += static_cast<char>(0xE0 | (c >> 12));
        text += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        text += static_cast<char>(0x80 | (c & 0x3F));
    }
}

std::string Drive(const std::string& key) { return key.substr(0, key.find('\\')); }

// Whether `refusals` refuse `key`, with the reason in `error`.
bool Refuses(const std::map<std::string, std::string>& refusals, const std::string& key,
             std::string& error) {
    const auto refused = refusals.find(key);
    if (refused == refusals.end()) return false;
    error = refused->second;
    return true;
}

FakeControl* AsControl(Handle handle) { return static_cast<FakeControl*>(handle); }
FakeDialog* AsDialog(Handle handle) { return static_cast<FakeDialog*>(handle); }

}  // namespace

FakePlatform::FakePlatform() {
    strings[IDS_ABOUTBOX] = "&About Tessaloom...";
    strings[IDP_SOCKETS_INIT_FAILED] = "Windows sockets initialization failed.";
}

FakePlatform::~FakePlatform() = default;

Handle FakePlatform::IconHandle(unsigned id) { return reinterpret_cast<Handle>(0x10000 + id); }

void FakePlatform::SendTo(FakeDialog& dialog, const Message& message, std::intptr_t* result) {
    std::intptr_t ignored = 0;
    dialog.sink->HandleMessage(&dialog, message, result != nullptr ? *result : ignored);
}

void FakePlatform::Click(FakeDialog& dialog, int id) {
    SendTo(dialog, {kWmCommand, static_cast<std::uintptr_t>(id) | (kBnClicked << 16), 0});
}

void FakePlatform::Select(FakeDialog& dialog, int index) {
    dialog.controls[IDC_SERVER_COMBO].selection = index;
}

bool FakePlatform::SocketInit() {
    Record("socket init");
    return socketInitSucceeds;
}

void FakePlatform::InitCommonControls() { ++commonControlsInitialised; }

std::string FakePlatform::AppName() { return appName; }

std::string FakePlatform::LoadStringResource(unsigned id) {
    auto found = strings.find(id);
    return found != strings.end() ? found->second : std::string();
}

Handle FakePlatform::LoadIconResource(unsigned id) { return IconHandle(id); }

void FakePlatform::PostQuit(int exitCode) {
    Record("quit " + std::to_string(exitCode));
    quitPosted = true;
}

void FakePlatform::ShowWaitCursor(bool wait) { waitCursor = wait; }

int FakePlatform::ShowMessageBox(const std::string& text, const std::string& title, unsigned style,
                                 unsigned helpContext) {
    if (waitCursor) ++boxesUnderWaitCursor;
    boxes.push_back({text, title, style, helpContext});
    Record("box " + text);
    if (!answers.empty()) {
        int answer = answers.front();
        answers.pop_front();
        return answer;
    }
    return (style & 0xF) == kMbRetryCancel ? kIdCancel : kIdOk;
}

std::intptr_t FakePlatform::RunModalDialog(unsigned templateId, Handle parent, DialogSink& sink) {
    dialogsRun.push_back(templateId);
    Record("dialog " + std::to_string(templateId));
    m_dialogs.push_back(std::make_unique<FakeDialog>());
    FakeDialog& dialog = *m_dialogs.back();
    dialog.templateId = templateId;
    dialog.parent = parent;
    dialog.sink = &sink;
    static const int kMainControls[] = {IDC_DUPLICATE,   kIdCancel,     IDC_BROWSE_SOURCE,
                                        IDC_BROWSE_DEST, IDC_DEST_EDIT, IDC_SOURCE_EDIT,
                                        IDC_SERVER_COMBO};
    if (templateId == IDD_TESSALOOM_DIALOG) {
        for (int id : kMainControls) {
            if (missingControls.count(id) == 0) dialog.controls[id];
        }
    } else {
        dialog.controls[kIdOk];
    }

    SendTo(dialog, {kWmInitDialog, 0, 0});
    if (user && !dialog.ended) user(*this, dialog);
    if (!dialog.ended && !quitPosted) Click(dialog, kIdCancel);
    std::intptr_t result = dialog.result;
    m_dialogs.pop_back();
    return result;
}

void FakePlatform::EndModal(Handle dialog, std::intptr_t result) {
    AsDialog(dialog)->ended = true;
    AsDialog(dialog)->result = result;
}

void FakePlatform::Center(Handle window, Handle over) { centred.emplace_back(window, over); }

Handle FakePlatform::DialogItem(Handle dialog, int id) {
    auto& controls = AsDialog(dialog)->controls;
    auto found = controls.find(id);
    return found != controls.end() ? &found->second : nullptr;
}

std::string FakePlatform::GetText(Handle window) { return AsControl(window)->text; }

void FakePlatform::SetText(Handle window, const std::string& text) {
    AsControl(window)->text = text;
}

int FakePlatform::ComboAddString(Handle combo, const std::string& text) {
    AsControl(combo)->items.push_back(text);
    return static_cast<int>(AsControl(combo)->items.size()) - 1;
}

int FakePlatform::ComboGetCount(Handle combo) {
    return static_cast<int>(AsControl(combo)->items.size());
}

int FakePlatform::ComboGetCurSel(Handle combo) { return AsControl(combo)->selection; }

void FakePlatform::ComboSetCurSel(Handle combo, int index) {
    // Like the real control: an index past the entries selects nothing.
    FakeControl* control = AsControl(combo);
    control->selection =
        index >= 0 && static_cast<std::size_t>(index) < control->items.size() ? index : -1;
}

std::string FakePlatform::ComboGetText(Handle combo, int index) {
    return AsControl(combo)->items.at(static_cast<std::size_t>(index));
}

void FakePlatform::AddSystemMenuEntry(Handle, unsigned commandId, const std::string& text) {
    if (!hasSystemMenu) return;
    menu.push_back({true, 0, ""});
    menu.push_back({false, commandId, text});
}

void FakePlatform::SetWindowIcon(Handle, Handle icon, bool big) {
    icons[big] = icon;
    Record(big ? "icon big" : "icon small");
}

bool FakePlatform::IsMinimized(Handle) { return minimized; }

void FakePlatform::PaintMinimizedIcon(Handle, Handle icon) { paintedIcons.push_back(icon); }

ResultCode FakePlatform::FetchUrl(const std::string& url, const FetchLimit& limit,
                                  StreamPtr& stream) {
    if (!waitCursor) ++blockedWithoutWaitCursor;
    fetchedUrls.push_back(url);
    fetchLimits.push_back(limit);
    Record("fetch " + url);
    auto found = replies.find(url);
    if (found == replies.end() || found->second.empty()) return kResultDownloadFailure;
    FakeFetch reply = found->second.front();
    if (found->second.size() > 1) found->second.pop_front();
    if (reply.code == kResultOk && reply.body.size() > limit.maxBytes) {
        if (!limit.prefixOnly) return kResultTooLarge;
        reply.body.resize(static_cast<std::size_t>(limit.maxBytes));
    }
    if (reply.code == kResultOk) stream = std::make_unique<FakeStream>(*this, url, reply);
    return reply.code;
}

BrowseResult FakePlatform::BrowseForFolder(const std::string& title, std::string& path) {
    browseTitles.push_back(title);
    Record("browse " + title);
    if (browseReplies.empty()) return BrowseResult::kCancelled;
    auto reply = browseReplies.front();
    browseReplies.pop_front();
    path = reply.second;
    return reply.first;
}

CopyResult FakePlatform::ShellCopy(Handle, const std::string& from, const std::string& to) {
    Record("copy " + from + " -> " + to);
    if (copyResult.code != 0 || copyResult.aborted) return copyResult;
    const bool entries = from.size() >= 2 && from.compare(from.size() - 2, 2, "\\*") == 0;
    const std::string source = Resolve(entries ? from.substr(0, from.size() - 2) : from);
    if (source.empty() || (entries && Resolve(to).empty())) return {2, false};
    m_copyFailed = false;
    if (!entries) {
        CopyNode(source, to, "");
    } else {
        std::vector<FolderEntry> children;
        std::string error;
        List(source, children, error);
        for (const FolderEntry& child : children) {
            CopyNode(Resolve(JoinPath(source, child.name)), JoinPath(to, child.name), child.name);
        }
    }
    return m_copyFailed ? CopyResult{206, false} : copyResult;
}

void FakePlatform::CopyNode(const std::string& from, const std::string& to,
                            const std::string& relative) {
    const std::string folded = FoldCase(relative);
    if (!FitsInPathBuffer(to)) m_copyFailed = true;
    if (copyOmits.count(folded) != 0 || m_copyFailed) return;
    const FakeNode node = nodes.at(from);
    if (!node.folder) {
        const std::string there = Resolve(to);
        if (!there.empty() && (nodes.at(there).folder || copyKeepsExisting)) return;
        const std::uint64_t size = copyShortens.count(folded) != 0 ? node.size - 1 : node.size;
        if (there.empty()) {
            AddFile(to, size);
        } else {
            nodes.at(there).size = size;  // through a link too, as the system writes
        }
        return;
    }
    AddFolder(to);
    std::vector<FolderEntry> children;
    std::string error;
    List(from, children, error);
    for (const FolderEntry& child : children) {
        CopyNode(Resolve(JoinPath(from, child.name)), JoinPath(to, child.name),
                 relative.empty() ? child.name : JoinPath(relative, child.name));
    }
}

void FakePlatform::OpenFolder(const std::string& path) { Record("open " + path); }

bool FakePlatform::ProbeFile(const std::string& path) {
    Record("probe " + path);
    const std::string found = Resolve(path);
    return existingFiles.count(path) != 0 || (!found.empty() && !nodes.at(found).folder);
}

WriteResult FakePlatform::WriteNewFile(const std::string& path, const void* data, std::size_t size,
                                       std::string& error) {
    Record("write " + path);
    std::string folder;
    ParentFolder(path, folder);
    const std::string folderKey = Resolve(folder);
    if (Find(path) != nullptr) return WriteResult::kNameTaken;
    const auto failure = writeFailures.find(folder);
    const bool part = failure != writeFailures.end() && failAfterCreating.count(folder) != 0;
    if (failure != writeFailures.end()) error = failure->second;
    if (folderKey.empty()) error = "The system cannot find the path specified.";
    if ((failure != writeFailures.end() || folderKey.empty()) && !part) return WriteResult::kFailed;
    FakeNode& node = AddNode(path);
    node.folder = false;
    node.content.assign(static_cast<const char*>(data), part ? size / 2 : size);
    node.size = node.content.size();
    return part ? WriteResult::kFailedPart : WriteResult::kWritten;
}

bool FakePlatform::MoveOver(const std::string& from, const std::string& to, std::string& error) {
    Record("move " + from + " -> " + to);
    if (Refuses(moveFailures, to, error)) return false;
    const std::string source = NodeKey(from), target = NodeKey(to);
    const auto there = nodes.find(target);
    if (nodes.count(source) == 0 ||
        (there != nodes.end() && there->second.folder && there->second.linkTo.empty())) {
        error = "Access is denied.";
        return false;
    }
    FakeNode node = nodes.at(source);
    const std::string name =
        there != nodes.end() ? there->second.name : to.substr(to.find_last_of('\\') + 1);
    node.path = JoinPath(node.path.substr(0, node.path.size() - node.name.size()), name);
    node.name = name;
    nodes.erase(source);
    nodes[target] = node;
    writtenFiles[to] = node.content;
    return true;
}

bool FakePlatform::RemoveFile(const std::string& path) {
    Record("remove " + path);
    writtenFiles.erase(path);
    return nodes.erase(NodeKey(path)) != 0;
}

bool FakePlatform::CreateFolder(const std::string& path, std::string& error) {
    Record("create " + path);
    std::string parent;
    if (Find(path) != nullptr || !ParentFolder(path, parent) || Resolve(parent).empty()) {
        error = "Cannot create a file when that file already exists.";
        return false;
    }
    if (Refuses(noNewFolders, Resolve(parent), error)) return false;
    AddFolder(path);
    const auto noFiles = newFoldersRefuseFiles.find(Resolve(parent));
    if (noFiles != newFoldersRefuseFiles.end()) nodes.at(Resolve(path)).noFiles = noFiles->second;
    return true;
}

bool FakePlatform::RemoveFolder(const std::string& path, std::string& error) {
    Record("remove folder " + path);
    std::string parent;
    ParentFolder(path, parent);
    const auto refused = unremovable.find(Resolve(parent));
    const FakeNode* node = Find(path);
    std::vector<FolderEntry> entries;
    if (refused != unremovable.end() || node == nullptr || !node->folder ||
        !List(path, entries, error) || !entries.empty()) {
        error = refused != unremovable.end() ? refused->second : "The directory is not empty.";
        return false;
    }
    nodes.erase(NodeKey(path));
    return true;
}

std::string FakePlatform::DecodeText(const std::string& text, TextEncoding encoding) {
    if (encoding == TextEncoding::kUtf8) return text;
    // The fake system's code page is Latin-1; the program's strings are UTF-8.
    std::string decoded;
    for (char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x80) {
            decoded += c;
        } else {
            decoded += static_cast<char>(0xC0 | (byte >> 6));
            decoded += static_cast<char>(0x80 | (byte & 0x3F));
        }
    }
    return decoded;
}

std::string FakePlatform::FoldCase(const std::string& name) {
    std::string folded;
    for (std::size_t i = 0; i < name.size();) {
        const auto lead = static_cast<unsigned char>(name[i]);
        char32_t c = lead;
        std::size_t length = 1;
        if (lead >= 0xC2 && lead < 0xE0 && i + 1 < name.size()) {
            c = ((lead & 0x1Fu) << 6) | (static_cast<unsigned char>(name[i + 1]) & 0x3Fu);
            length = 2;
        }
        if (c >= 'a' && c <= 'z') c -= 0x20;
        if (c >= 0xE0 && c <= 0xFE && c != 0xF7) c -= 0x20;
        if (c >= 0x430 && c <= 0x44F) c -= 0x20;
        if (c >= 0x450 && c <= 0x45F) c -= 0x50;
        if (length == 1) {
            folded += static_cast<char>(c);
        } else {
            AppendUtf8(folded, c);
        }
        i += length;
    }
    return folded;
}

// Folded, with '\\' separators and no final one.
std::string FakePlatform::Key(const std::string& path) {
    std::string key = FoldCase(path);
    for (char& c : key) {
        if (c == '/') c = '\\';
    }
    while (!key.empty() && key.back() == '\\') key.pop_back();
    return key;
}

void FakePlatform::Record(const std::string& event) {
    events.push_back(event);
    if (!outOfMemoryAt.empty() && event.compare(0, outOfMemoryAt.size(), outOfMemoryAt) == 0) {
        outOfMemoryAt.clear();
        throw std::bad_alloc();
    }
    if (!errorAt.empty() && event.compare(0, errorAt.size(), errorAt) == 0) {
        errorAt.clear();
        throw std::runtime_error("fake failure");
    }
}

FakeNode& FakePlatform::AddNode(const std::string& path) {
    // Below the folders it lies in, links followed, as the system creates it.
    const std::string full = WithoutFinalSeparator(path);
    const std::size_t separator = full.find_last_of("\\/");
    std::string key = Key(full), parentPath;
    if (separator != std::string::npos) {
        const std::string parent = full.substr(0, separator);
        AddFolder(parent);
        const std::string resolved = Resolve(parent);
        if (!resolved.empty()) {
            key = resolved + "\\" + Key(full.substr(separator + 1));
            parentPath = nodes.at(resolved).path;
        }
    }
    // Written over, a file keeps the name it had, as on Windows.
    FakeNode& node = nodes[key];
    if (node.id != 0) return node;
    node.id = m_nextId++;
    node.name = full.substr(separator + 1);
    node.path = parentPath.empty() ? full : JoinPath(parentPath, node.name);
    return node;
}

void FakePlatform::AddFolder(const std::string& path) {
    if (nodes.count(Key(path)) == 0) AddNode(path).folder = true;
}

void FakePlatform::AddFile(const std::string& path, std::uint64_t size) {
    FakeNode& node = AddNode(path);
    node.folder = false;
    node.size = size;
}

void FakePlatform::AddLink(const std::string& path, const std::string& target) {
    AddNode(path).linkTo = target;
}

void FakePlatform::AddHardLink(const std::string& path, const std::string& target) {
    const FakeNode file = nodes.at(Resolve(target));
    AddFile(path, file.size);
    nodes.at(NodeKey(path)).id = file.id;
}

std::string FakePlatform::NodeKey(const std::string& path) {
    const std::string full = WithoutFinalSeparator(path);
    const std::size_t separator = full.find_last_of("\\/");
    if (separator == std::string::npos) return Key(full);
    const std::string folder = Resolve(full.substr(0, separator));
    return (folder.empty() ? Key(full.substr(0, separator)) : folder) + "\\" +
           Key(full.substr(separator + 1));
}

FakeNode* FakePlatform::Find(const std::string& path) {
    const auto found = nodes.find(NodeKey(path));
    return found != nodes.end() ? &found->second : nullptr;
}

std::string FakePlatform::Resolve(const std::string& path, int depth) {
    if (depth > 40) return std::string();  // as the system gives up on a chain of links
    const std::string key = Key(path);
    std::string current;
    for (std::size_t start = 0; start <= key.size();) {
        std::size_t end = std::min(key.find('\\', start), key.size());
        current += (current.empty() ? "" : "\\") + key.substr(start, end - start);
        start = end + 1;
        auto found = nodes.find(current);
        if (found == nodes.end()) return std::string();
        if (!found->second.linkTo.empty()) {
            current = Resolve(found->second.linkTo, depth + 1);
            if (current.empty()) return current;
        }
    }
    return current;
}

bool FakePlatform::ListFolder(const std::string& folder, std::vector<FolderEntry>& entries,
                              std::string& error) {
    if (!waitCursor) ++blockedWithoutWaitCursor;
    return List(folder, entries, error);
}

bool FakePlatform::List(const std::string& folder, std::vector<FolderEntry>& entries,
                        std::string& error) {
    const std::string resolved = Resolve(folder);
    if (resolved.empty() || !nodes.at(resolved).folder) {
        error = "The system cannot find the path specified";
        return false;
    }
    if (Refuses(unreadable, resolved, error)) return false;
    const std::string prefix = resolved + "\\";
    for (auto it = nodes.lower_bound(prefix); it != nodes.end(); ++it) {
        if (it->first.compare(0, prefix.size(), prefix) != 0) break;
        if (it->first.find('\\', prefix.size()) != std::string::npos) continue;
        const std::string target = Resolve(it->first);
        if (target.empty()) continue;  // a dangling link
        const FakeNode& node = nodes.at(target);
        const bool link = !it->second.linkTo.empty();
        FolderEntry entry{it->second.name, node.folder,
                          link && (node.folder || !listingsHideFileLinks), node.size};
        if (!link && !node.folder && noAllocations.count(Drive(resolved)) == 0) {
            const auto cluster = clusterSize.find(Drive(resolved));
            const std::uint64_t unit = cluster != clusterSize.end() ? cluster->second : 1;
            entry.allocated = node.allocated != kUnknownAllocation
                                  ? node.allocated
                                  : (node.size + unit - 1) / unit * unit;
        }
        if (zeroIdentities.count(Drive(resolved)) == 0) entry.idLow = it->second.id;
        entries.push_back(entry);
    }
    return true;
}

bool FakePlatform::IdentifyFile(const std::string& path, FileId& id) {
    const std::string resolved = Resolve(path);
    if (resolved.empty()) return false;
    id = FileId{};
    const FakeNode& node = nodes.at(resolved);
    if (noFinalPaths.count(Drive(resolved)) == 0) id.finalPath = node.path;
    id.folder = node.folder;
    id.volume = static_cast<unsigned char>(resolved[0]);
    if (zeroIdentities.count(Drive(resolved)) == 0) id.low = node.id;
    return true;
}

bool FakePlatform::QueryVolumeSpace(const std::string& folder, VolumeSpace& space) {
    const std::string resolved = Resolve(folder);
    auto found = freeSpace.find(Drive(resolved));
    if (resolved.empty() || found == freeSpace.end()) return false;
    space.free = found->second;
    auto cluster = clusterSize.find(Drive(resolved));
    space.cluster = cluster != clusterSize.end() ? cluster->second : 1;
    return true;
}

std::vector<NameFacts> FakePlatform::InspectNames(const std::vector<std::string>& paths) {
    Record("inspect " + std::to_string(paths.size()));
    std::vector<NameFacts> facts;
    for (const std::string& path : paths) {
        NameFacts fact;
        const FakeNode* node = Find(path);
        if (node != nullptr) {
            fact.taken = true;
            fact.link = !node->linkTo.empty();
            fact.names = 0;
            for (const auto& other : nodes) {
                if (other.second.id == node->id && other.second.linkTo.empty()) ++fact.names;
            }
        }
        facts.push_back(fact);
    }
    return facts;
}

bool FakePlatform::CanCreateFileIn(const std::string& folder, std::string& error) {
    const std::string key = Resolve(folder);
    if (key.empty()) {
        error = "The system cannot find the path specified.";
        return false;
    }
    if (Refuses(unwritable, key, error)) return false;
    if (!nodes.at(key).noFiles.empty()) {
        error = nodes.at(key).noFiles;
        return false;
    }
    return true;
}

}  // namespace tessaloom
