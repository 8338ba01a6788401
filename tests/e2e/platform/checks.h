// Checks of the Win32 platform layer that platform-checks runs.
#pragma once

#include "platform/win32/Win32Platform.h"

namespace tessaloom_checks {

// Runs the main dialog template with a sink that exercises the dialog, control, menu, icon,
// painting and message-box operations; needs a display. Prints each failure; true when all
// passed.
bool RunDialogChecks(tessaloom::Win32Platform& platform);

}  // namespace tessaloom_checks
