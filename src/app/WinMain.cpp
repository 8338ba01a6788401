// The program's entry point: the application object and the Win32 platform it runs on.
#include "app/TessaloomApp.h"
#include "platform/win32/Win32Platform.h"

// Constructed during the runtime's start-up, before wWinMain.
static tessaloom::CTessaloomApp theApp;

// The wide entry point: the runtime converts nothing to the process's code page for it.
int WINAPI wWinMain(HINSTANCE instance, HINSTANCE /*previous*/, PWSTR /*commandLine*/,
                    int /*show*/) {
    tessaloom::Win32Platform platform(instance);
    int exitCode = theApp.Run(platform);
    // Without its dialog the program did nothing: say so in the exit code.
    return platform.DialogCreationFailed() ? 1 : exitCode;
}
