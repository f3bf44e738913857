// The Windows program's entry: the real platform, then the program.
#include <windows.h>

#include "QuorvaneAuravoSystemTrayApplication.h"
#include "win32_platform.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    plat::win32::prepareProcess();
    plat::win32::install();
    plat::win32::endProcess(runProgram());
}
