#include "dialogs/TessaloomDlg.h"

#include <iterator>
#include <utility>

#include "catalogue/CatalogueUrl.h"
#include "catalogue/Download.h"
#include "catalogue/ServerList.h"
#include "dialogs/AboutDlg.h"
#include "installation/Checks.h"
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

// The connection files' paths below the destination.
std::vector<std::string> ConnectionFiles() {
    std::vector<std::string> paths;
    for (const ConnectionFile& file : kConnectionFiles) paths.push_back(file.local);
    return paths;
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
    return tessaloom::DownloadToStream(m_platform, url, stream, limit);
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
    if (!DestinationFits(destination, Deepest(ConnectionFiles()))) {
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

    // All three written beside their names before the first takes its name: what fails most
    // (space, rights) fails before any is replaced.
    std::vector<StagedFile> staged;
    for (std::size_t i = 0; i < kFileCount; ++i) {
        if (!SaveStreamToFile(JoinPath(destination, kConnectionFiles[i].local), *streams[i],
                              staged)) {
            RemoveStaged(staged);
            return;
        }
    }
    for (StreamPtr& stream : streams) stream.reset();
    if (!ReplaceStaged(staged)) return;

    m_platform.OpenFolder(destination);
    Notice("Operation completed.");
    m_platform.PostQuit(0);
}

bool CTessaloomDlg::CheckFolders(const std::string& source, const std::string& destination,
                                 InstallationSurvey& survey) {
    CopyCheck check;
    {
        CWaitCursor wait(m_platform);  // the walk of a large installation takes a while
        check = CheckBeforeCopy(m_platform, source, destination, ConnectionFiles());
    }
    survey = std::move(check.survey);
    if (!check.refusal.Refused()) return true;
    AfxMessageBox(m_platform, check.refusal.text, check.refusal.style);
    return false;
}

bool CTessaloomDlg::SaveStreamToFile(const std::string& path, Stream& stream,
                                     std::vector<StagedFile>& staged) {
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
    std::string error, temporary;
    if (!complete) {
        error = "The downloaded data could not be read completely.";
    } else if (WriteBeside(path, data, temporary, error)) {
        staged.push_back({path, temporary});
        return true;
    }
    Warn(CannotWriteText(path, error));
    return false;
}

bool CTessaloomDlg::WriteBeside(const std::string& path, const std::vector<std::uint8_t>& data,
                                std::string& temporary, std::string& error) {
    // A new file beside the name, to be moved over it once whole: whatever stands at the
    // name, a link included, is replaced and never written through, and a file written in
    // part never takes the name. Its name is shorter than any connection file's, so its path
    // fits too.
    std::string folder;
    if (!ParentFolder(path, folder)) folder.clear();
    WriteResult result = WriteResult::kNameTaken;
    for (int attempt = 0; attempt < 100 && result == WriteResult::kNameTaken; ++attempt) {
        temporary = JoinPath(folder, "~tessaloom" + std::to_string(attempt) + ".tmp");
        result = m_platform.WriteNewFile(temporary, data.data(), data.size(), error);
    }
    if (result == WriteResult::kWritten) return true;
    if (result == WriteResult::kNameTaken) error = "Too many temporary files are in the way.";
    // Leave no part of a file behind.
    if (result == WriteResult::kFailedPart) m_platform.RemoveFile(temporary);
    return false;
}

bool CTessaloomDlg::ReplaceStaged(std::vector<StagedFile>& staged) {
    std::string replaced;  // the names of those that took their names before a failure
    for (std::size_t i = 0; i < staged.size(); ++i) {
        const StagedFile file = staged[i];
        std::string error;
        if (!m_platform.MoveOver(file.temporary, file.path, error)) {
            staged.erase(staged.begin(), staged.begin() + static_cast<std::ptrdiff_t>(i));
            RemoveStaged(staged);
            if (!replaced.empty()) error += "\nReplaced already: " + replaced + ".";
            Warn(CannotWriteText(file.path, error));
            return false;
        }
        std::string folder, name;
        SplitPath(file.path, folder, name);
        replaced += (replaced.empty() ? "" : ", ") + name;
    }
    staged.clear();
    return true;
}

void CTessaloomDlg::RemoveStaged(std::vector<StagedFile>& staged) {
    for (const StagedFile& file : staged) m_platform.RemoveFile(file.temporary);
    staged.clear();
}

}  // namespace tessaloom
