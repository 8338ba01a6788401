#include "dialogs/TessaloomDlg.h"

#include <algorithm>
#include <iterator>

#include "catalogue/CatalogueUrl.h"
#include "catalogue/Download.h"
#include "catalogue/ServerList.h"
#include "dialogs/AboutDlg.h"
#include "installation/Destination.h"
#include "installation/InstallationCopy.h"
#include "installation/InstallationSurvey.h"
#include "paths/Paths.h"
#include "resources/resource.h"

namespace tessaloom {

namespace {

struct ConnectionFile {
    const char* remote;  // after the server prefix
    const char* failed;  // notice when the fetch fails
    const char* local;   // below the destination
};

// Fetched and written in this order.
const ConnectionFile kConnectionFiles[] = {
    {"/QuorvaneLauncher.url", "Failed to download QuorvaneLauncher.url file.",
     "cd_image\\data\\launcher\\QuorvaneLauncher.url"},
    {"/DozidavuvUvurez.url", "Failed to download DozidavuvUvurez.url file.",
     "cd_image\\data\\launcher\\DozidavuvUvurez.url"},
    {"/QuorvanePatcher.url", "Failed to download QuorvanePatcher.url file.",
     "cd_image\\data\\patcher\\QuorvanePatcher.url"},
};
constexpr std::size_t kFileCount = std::size(kConnectionFiles);

const char kPathTooLong[] = "The destination path is too long.";
const char kInsideSource[] = "The destination folder must not be inside the Quorvane folder.";

// UTF-16 units of the longest connection file path below the destination.
std::size_t DeepestConnectionFile() {
    std::size_t deepest = 0;
    for (const ConnectionFile& file : kConnectionFiles) {
        deepest = std::max(deepest, Utf16Length(file.local));
    }
    return deepest;
}

// The connection files' paths below the destination.
std::vector<std::string> ConnectionFiles() {
    std::vector<std::string> paths;
    for (const ConnectionFile& file : kConnectionFiles) paths.push_back(file.local);
    return paths;
}

// The folders that receive the connection files, below the destination; with `above`, every
// folder above them too.
std::vector<std::string> ConnectionFolders(bool above) {
    std::vector<std::string> folders;
    for (std::string path : ConnectionFiles()) {
        while (ParentFolder(path, path)) {
            if (std::find(folders.begin(), folders.end(), path) == folders.end()) {
                folders.push_back(path);
            }
            if (!above) break;
        }
    }
    return folders;
}

struct Refusal {
    std::string text;  // empty: none
    unsigned style = kMbOk | kMbIconError;
};

// Whether every file of the copy fits a path buffer below `destination`, and every folder the
// copy creates there (all of them unless it exists and holds them: `there`) can be created.
bool CopyPathsFit(Platform& platform, const std::string& destination,
                  const InstallationSurvey& survey, const DestinationSurvey* there) {
    if (!DestinationFits(destination, std::max(survey.deepest, DeepestConnectionFile()))) {
        return false;
    }
    if (there == nullptr) {
        return FolderFits(destination, 0) && FolderFits(destination, survey.deepestFolder);
    }
    std::size_t deepest = 0;
    for (const SurveyedFolder& folder : survey.folders) {
        for (const FolderEntry& entry : folder.entries) {
            if (!entry.folder || there->folders.count(RelativeKey(platform, folder, entry)) != 0) {
                continue;
            }
            deepest = std::max(deepest, Utf16Length(RelativePath(folder, entry)));
        }
    }
    return deepest == 0 || FolderFits(destination, deepest);
}

// Whether the copy and the program's own writes may go where they go, or the first folder
// where they may not (`refused`): the copy creates a missing destination in its nearest
// existing folder (`existing`); files go into an existing destination and its existing
// folders that receive a connection file.
bool CanWrite(Platform& platform, const std::string& destination, const std::string& existing,
              bool exists, std::string& refused, std::string& error) {
    refused = existing;
    if (!exists) return platform.CanCreateFolderIn(refused, error);
    if (!platform.CanCreateFileIn(refused, error)) return false;
    for (const std::string& folder : ConnectionFolders(false)) {
        refused = JoinPath(destination, folder);
        if (IsFolder(platform, refused) && !platform.CanCreateFileIn(refused, error)) {
            return false;
        }
    }
    return true;
}

// The first reason to refuse copying `source` to `destination`, found before anything is
// fetched, with the one walk of the installation in `survey`.
Refusal FindRefusal(Platform& platform, const std::string& source, const std::string& destination,
                    InstallationSurvey& survey) {
    if (!DestinationFits(destination, DeepestConnectionFile())) return {kPathTooLong};
    if (IsSameOrInside(platform.FoldCase(destination), platform.FoldCase(source))) {
        return {kInsideSource};
    }
    // Links decide what the copy really walks and where it really writes.
    survey = SurveyInstallation(platform, source);
    if (survey.fault == InstallationSurvey::Fault::kLoop) {
        return {"The Quorvane folder contains a link that loops back into itself."};
    }
    if (survey.fault == InstallationSurvey::Fault::kUnreadable) {
        return {"Cannot read " + survey.unreadable + ".\n" + survey.reason,
                kMbOk | kMbIconExclamation};
    }
    const bool exists = IsFolder(platform, destination);
    DestinationSurvey there;
    if (exists) {
        there = SurveyDestination(platform, source, survey, destination, ConnectionFiles());
    }
    if (!CopyPathsFit(platform, destination, survey, exists ? &there : nullptr)) {
        return {kPathTooLong};
    }
    // The shell reads each file where it lies, and a merge is handed "source\*".
    if (!survey.tooLong.empty()) {
        return {"The Quorvane folder holds a path too long to copy:\n" + survey.tooLong};
    }
    if (CopiesEntries(source, exists) && !FitsInShellList(JoinPath(source, "*"))) {
        return {kPathTooLong};
    }
    if (there.sharesInstallationFile ||
        ReachesInstallation(platform, destination, survey, ConnectionFolders(true))) {
        return {kInsideSource};
    }
    // The shell's copy may ask for administrator rights; the program's own writes cannot.
    std::string existing, refused, error;
    if (!NearestExistingFolder(platform, destination, existing)) return {};  // left to the copy
    if (!CanWrite(platform, destination, existing, exists, refused, error)) {
        return {"Cannot write " + WithoutFinalSeparator(refused) + ".\n" + error,
                kMbOk | kMbIconExclamation};
    }
    if (!CopyFits(platform, existing, survey, there)) {
        return {"There is not enough free space for the copy."};
    }
    return {};
}

}  // namespace

CTessaloomDlg::CTessaloomDlg(Platform& platform, CDialog* parent)
    : CDialog(platform, IDD_TESSALOOM_DIALOG, parent),
      m_hIcon(platform.LoadIconResource(IDR_MAINFRAME)) {}

CTessaloomDlg::~CTessaloomDlg() = default;

const MessageMap* CTessaloomDlg::GetMessageMap() const {
    static const MessageMapEntry entries[] = {
        OnSysCommandMsg(&CTessaloomDlg::OnSysCommand),
        OnPaintMsg(&CTessaloomDlg::OnPaint),
        OnQueryDragIconMsg(&CTessaloomDlg::OnQueryDragIcon),
        OnClicked(IDC_BROWSE_SOURCE, &CTessaloomDlg::OnBrowseSource),
        OnClicked(IDC_BROWSE_DEST, &CTessaloomDlg::OnBrowseDestination),
        OnClicked(IDC_DUPLICATE, &CTessaloomDlg::OnDuplicate),
    };
    static const MessageMap map = {entries, std::size(entries)};
    return &map;
}

bool CTessaloomDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    LoadServerList();
    AddAboutMenuEntry();
    m_platform.SetWindowIcon(m_hWnd, m_hIcon, true);
    m_platform.SetWindowIcon(m_hWnd, m_hIcon, false);
    return true;
}

void CTessaloomDlg::Notice(const std::string& text) {
    AfxMessageBox(m_platform, text, kMbOk | kMbIconError);
}

void CTessaloomDlg::Warn(const std::string& text) {
    AfxMessageBox(m_platform, text, kMbOk | kMbIconExclamation);
}

// --- Catalogue ----------------------------------------------------------------------------

bool CTessaloomDlg::DownloadToStream(const std::string& url, StreamPtr& stream,
                                     const FetchLimit& limit) {
    return tessaloom::DownloadToStream(m_platform, url, limit, stream);
}

bool CTessaloomDlg::LoadServerList() {
    Handle combo = GetDlgItem(IDC_SERVER_COMBO);
    if (combo == nullptr) return false;

    StreamPtr stream;
    if (!DownloadToStream(std::string(kCatalogueBaseUrl) + kServerListName, stream,
                          kServerListFetch)) {
        return false;
    }
    ServerListText list = ReadServerListText(*stream);
    stream.reset();

    m_serverValues.clear();
    const TextEncoding encoding = TakeServerListEncoding(list.text, list.cut);
    for (const ServerEntry& entry : ParseServerList(list.text, list.cut)) {
        m_platform.ComboAddString(combo, m_platform.DecodeText(entry.name, encoding));
        m_serverValues.push_back(m_platform.DecodeText(entry.value, encoding));
    }
    m_platform.ComboSetCurSel(combo, 0);
    return true;
}

// --- Window furniture ---------------------------------------------------------------------

void CTessaloomDlg::AddAboutMenuEntry() {
    std::string text = m_platform.LoadStringResource(IDS_ABOUTBOX);
    if (!text.empty()) m_platform.AddSystemMenuEntry(m_hWnd, IDM_ABOUTBOX, text);
}

void CTessaloomDlg::OnSysCommand(unsigned id, std::intptr_t /*param*/) {
    if ((id & 0xFFF0) == IDM_ABOUTBOX) {
        CAboutDlg about(m_platform, this);
        about.DoModal();
    } else {
        Default();
    }
}

void CTessaloomDlg::OnPaint() {
    if (m_platform.IsMinimized(m_hWnd)) {
        m_platform.PaintMinimizedIcon(m_hWnd, m_hIcon);
    } else {
        Default();
    }
}

Handle CTessaloomDlg::OnQueryDragIcon() { return m_hIcon; }

// --- Folder pickers -----------------------------------------------------------------------

bool CTessaloomDlg::PickFolder(const std::string& title, std::string& path) {
    BrowseResult result = m_platform.BrowseForFolder(title, path);
    if (result == BrowseResult::kCancelled) {
        Notice("No folder selected");
        return false;
    }
    if (result == BrowseResult::kNotFileSystem) return false;  // silently
    if (path.empty()) {
        Notice("Error");
        return false;
    }
    return true;
}

void CTessaloomDlg::OnBrowseSource() {
    std::string path;
    if (PickFolder("Select the Quorvane folder:", path)) SetDlgItemText(IDC_SOURCE_EDIT, path);
}

int CTessaloomDlg::SelectedServer(Handle& combo) {
    combo = GetDlgItem(IDC_SERVER_COMBO);
    if (combo == nullptr) {
        Notice("No combox.");
        return -1;
    }
    int index = m_platform.ComboGetCurSel(combo);
    if (m_platform.ComboGetCount(combo) <= 0 || index < 0 ||
        static_cast<std::size_t>(index) >= m_serverValues.size()) {
        Notice("No test server selected");
        return -1;
    }
    return index;
}

void CTessaloomDlg::OnBrowseDestination() {
    Handle combo = nullptr;
    int index = SelectedServer(combo);
    if (index < 0) return;
    std::string name = m_platform.ComboGetText(combo, index);
    if (!IsValidFolderName(name)) {
        Notice("The test server name cannot be used as a folder name.");
        return;
    }

    std::string path;
    if (!PickFolder("Select where you want the \"" + name + "\" folder:", path)) return;
    std::string destination = ComposeDestination(path, name);
    if (!DestinationFits(destination, DeepestConnectionFile())) {
        Notice(kPathTooLong);
        return;
    }
    SetDlgItemText(IDC_DEST_EDIT, destination);
}

// --- Duplicate ----------------------------------------------------------------------------

void CTessaloomDlg::OnDuplicate() {
    const std::string source = GetDlgItemText(IDC_SOURCE_EDIT);
    const std::string destination = GetDlgItemText(IDC_DEST_EDIT);
    if (source.empty()) {
        Notice("No source folder selected");
        return;
    }
    if (destination.empty()) {
        Notice("No destination folder selected");
        return;
    }
    if (!m_platform.ProbeFile(JoinPath(source, "version.id"))) {
        Notice("The source folder must contain quorvane.");
        return;
    }
    Handle combo = nullptr;
    int index = SelectedServer(combo);
    if (index < 0) return;
    InstallationSurvey survey;
    if (!CheckFolders(source, destination, survey)) return;

    const std::string prefix = std::string(kCatalogueBaseUrl) +
                               ServerDirectory(m_serverValues[static_cast<std::size_t>(index)]);
    StreamPtr streams[kFileCount];
    for (std::size_t i = 0; i < kFileCount; ++i) {
        if (!DownloadToStream(prefix + kConnectionFiles[i].remote, streams[i])) {
            Notice(kConnectionFiles[i].failed);
            return;
        }
    }

    CopyResult copy;
    {
        CWaitCursor wait(m_platform);  // over the shell's windows and the check of the copy
        copy = CopyInstallation(m_platform, m_hWnd, source, destination, survey);
    }
    if (copy.aborted) {
        Notice("Operation aborted by user.");
        return;
    }
    if (copy.code != 0) {
        Notice("Failed to copy the Quorvane folder.");
        return;
    }

    for (std::size_t i = 0; i < kFileCount; ++i) {
        if (!SaveStreamToFile(JoinPath(destination, kConnectionFiles[i].local), *streams[i])) {
            return;
        }
    }
    for (StreamPtr& stream : streams) stream.reset();

    m_platform.OpenFolder(destination);
    Notice("Operation completed.");
    m_platform.PostQuit(0);
}

bool CTessaloomDlg::CheckFolders(const std::string& source, const std::string& destination,
                                 InstallationSurvey& survey) {
    Refusal refusal;
    {
        CWaitCursor wait(m_platform);  // the walk of a large installation takes a while
        refusal = FindRefusal(m_platform, source, destination, survey);
    }
    if (refusal.text.empty()) return true;
    AfxMessageBox(m_platform, refusal.text, refusal.style);
    return false;
}

bool CTessaloomDlg::SaveStreamToFile(const std::string& path, Stream& stream) {
    std::uint64_t size = 0;
    std::vector<std::uint8_t> data;
    bool complete = stream.Stat(size);
    if (complete) {
        // Read until the stream is exhausted; the size only checks the result.
        std::uint8_t chunk[64 * 1024];
        std::uint32_t count = 0;
        while ((complete = stream.Read(chunk, sizeof chunk, count)) && count > 0) {
            data.insert(data.end(), chunk, chunk + count);
        }
        complete = complete && data.size() == size;
    }
    std::string error;
    if (!complete) {
        error = "The downloaded data could not be read completely.";
    } else if (WriteByReplacing(path, data, error)) {
        return true;
    }
    Warn("Cannot write " + path + ".\n" + error);
    return false;
}

bool CTessaloomDlg::WriteByReplacing(const std::string& path, const std::vector<std::uint8_t>& data,
                                     std::string& error) {
    // A new file beside the name, moved over it once whole: whatever stands at the name, a
    // link included, is replaced and never written through, and a file written in part never
    // takes the name. Its name is shorter than any connection file's, so its path fits too.
    std::string folder;
    if (!ParentFolder(path, folder)) folder.clear();
    WriteResult result = WriteResult::kNameTaken;
    std::string temporary;
    for (int attempt = 0; attempt < 100 && result == WriteResult::kNameTaken; ++attempt) {
        temporary = JoinPath(folder, "~tessaloom" + std::to_string(attempt) + ".tmp");
        result = m_platform.WriteNewFile(temporary, data.data(), data.size(), error);
    }
    if (result == WriteResult::kWritten && m_platform.MoveOver(temporary, path, error)) return true;
    if (result == WriteResult::kNameTaken) error = "Too many temporary files are in the way.";
    // Leave no part of a file behind.
    if (result == WriteResult::kWritten || result == WriteResult::kFailedPart) {
        m_platform.RemoveFile(temporary);
    }
    return false;
}

}  // namespace tessaloom
