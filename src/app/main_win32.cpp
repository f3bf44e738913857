// The Windows program's entry: the real platform, then the program.
#include <windows.h>

#include <commctrl.h>

#include "QuorvaneAuravoSystemTrayApplication.h"
#include "win32_platform.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    // With the common-controls 6 manifest, the classes a dialog template names (property
    // sheet tabs, list views) exist only after they are registered here.
    INITCOMMONCONTROLSEX controls{};
    controls.dwSize = sizeof(controls);
    controls.dwICC = ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES;
    ::InitCommonControlsEx(&controls);

    plat::win32::install();
    return runProgram();
}
