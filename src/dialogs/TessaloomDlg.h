// The main dialog: server selector, the two folder fields and the Duplicate command.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "catalogue/Download.h"
#include "framework/Framework.h"
#include "installation/InstallationSurvey.h"

namespace tessaloom {

class CTessaloomDlg : public CDialog {
public:
    explicit CTessaloomDlg(Platform& platform, CDialog* parent = nullptr);
    ~CTessaloomDlg() override;

    // Fetches `url` with the retry prompt; see tessaloom::DownloadToStream.
    bool DownloadToStream(const std::string& url, StreamPtr& stream,
                          const FetchLimit& limit = kConnectionFileLimit);
    // Fills the selector and m_serverValues from the catalogue's list.
    bool LoadServerList();
    // A connection file written beside its name, to take it once all are written.
    struct StagedFile {
        std::string path;
        std::string temporary;
    };
    // Writes the whole of `stream` as a new file beside `path`, added to `staged`; on failure
    // tells the user and returns false.
    bool SaveStreamToFile(const std::string& path, Stream& stream, std::vector<StagedFile>& staged);
    // Moves each staged file over its name in turn; on failure tells the user which one and
    // what was replaced before it, removes the staged files left and returns false.
    bool ReplaceStaged(std::vector<StagedFile>& staged);
    // Removes the staged files.
    void RemoveStaged(std::vector<StagedFile>& staged);

    // Message handlers.
    void OnSysCommand(unsigned id, std::intptr_t param);
    void OnPaint();
    Handle OnQueryDragIcon();
    void OnBrowseSource();
    void OnBrowseDestination();
    void OnDuplicate();

protected:
    const MessageMap* GetMessageMap() const override;
    void DoDataExchange() override {}
    bool OnInitDialog() override;

    Handle m_hIcon;
    // Server directories, index-aligned with the selector's entries.
    std::vector<std::string> m_serverValues;

private:
    void AddAboutMenuEntry();
    // Writes `data` as a new file beside `path` (`temporary`); on failure `error` says why.
    bool WriteBeside(const std::string& path, const std::vector<std::uint8_t>& data,
                     std::string& temporary, std::string& error);
    // Runs the folder picker; false (after any notice) when it gave no path.
    bool PickFolder(const std::string& title, std::string& path);
    // The checks of the installation and the destination before anything is fetched, with
    // the one walk of the installation in `survey`; false after the notice of the first that
    // fails.
    bool CheckFolders(const std::string& source, const std::string& destination,
                      InstallationSurvey& survey);
    // The selector and its selected entry's index, or -1 after telling the user why there is
    // none.
    int SelectedServer(Handle& combo);
    void Notice(const std::string& text);
    // A refusal that names a path and the system's reason.
    void Warn(const std::string& text);
};

}  // namespace tessaloom
