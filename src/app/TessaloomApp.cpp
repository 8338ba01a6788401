#include "app/TessaloomApp.h"

#include "dialogs/TessaloomDlg.h"
#include "resources/resource.h"

namespace tessaloom {

bool CTessaloomApp::InitInstance() {
    Platform& platform = GetPlatform();
    if (!AfxSocketInit(platform)) {
        AfxMessageBox(platform, IDP_SOCKETS_INIT_FAILED, kMbOk | kMbIconExclamation,
                      IDP_SOCKETS_INIT_FAILED);
        return false;
    }
    Enable3dControls();

    CTessaloomDlg dlg(platform);
    m_pMainWnd = &dlg;
    dlg.DoModal();
    m_pMainWnd = nullptr;
    // The dialog has closed: end the program rather than start a message loop.
    return false;
}

}  // namespace tessaloom
