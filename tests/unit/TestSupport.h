// Shared set-up for the dialog tests: a fake platform serving a catalogue.
#pragma once

#include <functional>
#include <string>

#include "catalogue/CatalogueUrl.h"
#include "dialogs/TessaloomDlg.h"
#include "fake/FakePlatform.h"
#include "resources/resource.h"

namespace tessaloom {

// Exposes the server values for checks.
class TestDlg : public CTessaloomDlg {
public:
    using CTessaloomDlg::CTessaloomDlg;
    using CTessaloomDlg::m_serverValues;
};

inline std::string CatalogueUrl(const std::string& path) {
    return std::string(kCatalogueBaseUrl) + path;
}
inline std::string ListUrl() { return CatalogueUrl("TestServers.txt"); }

inline FakeFetch Body(const std::string& body) {
    FakeFetch fetch;
    fetch.body = body;
    return fetch;
}
inline FakeFetch Failure(ResultCode code) {
    FakeFetch fetch;
    fetch.code = code;
    return fetch;
}

using UserScript = std::function<void(FakePlatform&, FakeDialog&)>;

// Runs `dlg` modally with `script` acting on the main dialog as the user; About boxes
// opened meanwhile are closed at once.
inline void RunDialog(FakePlatform& fake, CTessaloomDlg& dlg, const UserScript& script = {}) {
    fake.user = [&script](FakePlatform& platform, FakeDialog& dialog) {
        if (dialog.templateId == IDD_TESSALOOM_DIALOG && script) script(platform, dialog);
    };
    dlg.DoModal();
}

}  // namespace tessaloom
