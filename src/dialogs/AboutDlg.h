// The About box, opened from the main dialog's system menu.
#pragma once

#include "framework/Framework.h"

namespace tessaloom {

class CAboutDlg : public CDialog {
public:
    CAboutDlg(Platform& platform, CDialog* parent);
};

}  // namespace tessaloom
