// The Win32 test program. Started with kChildWaitArgument it is the child that the process
// tests end from outside; otherwise it installs the real platform and runs the tests.
#include <windows.h>

#include <commctrl.h>

#include <cstring>

#include <gtest/gtest.h>

#include "win32_platform.h"
#include "win32_test_support.h"

int main(int argc, char** argv) {
    if (argc > 1 && std::strcmp(argv[1], qa_test::kChildWaitArgument) == 0) {
        // Bounded, so a parent that fails to end it leaves nothing behind for long.
        ::Sleep(60000);
        return 0;
    }
    INITCOMMONCONTROLSEX controls{};
    controls.dwSize = sizeof(controls);
    controls.dwICC = ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES;
    ::InitCommonControlsEx(&controls);

    plat::win32::install();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
