#include "dialogs/AboutDlg.h"

#include "resources/resource.h"

namespace tessaloom {

CAboutDlg::CAboutDlg(Platform& platform, CDialog* parent)
    : CDialog(platform, IDD_ABOUTBOX, parent) {}

}  // namespace tessaloom
