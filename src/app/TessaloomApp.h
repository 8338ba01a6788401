// The application: starts the network, runs the main dialog once, and ends.
#pragma once

#include "framework/Framework.h"

namespace tessaloom {

class CTessaloomApp : public CWinApp {
public:
    bool InitInstance() override;
};

}  // namespace tessaloom
