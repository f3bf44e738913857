// The application object and the program's entry.
#pragma once

#include "Application.h"

// The program: both backends call it once their platform bundle is installed. Builds the
// process-wide objects, runs InitInstance, and returns the process's exit code. The
// objects stay valid for threads that outlive it (see Globals.h).
int runProgram();

class CKTRSystemTrayApplicationApp : public fw::Application {
public:
    // Quits silently when another copy runs; otherwise chooses the resource module, decides
    // isAdministrator and runs the hidden controller modally for the life of the process.
    // Always false: the framework runs no message loop of its own.
    bool InitInstance() override;

    // True when the user's token lists the built-in Administrators group, enabled or
    // deny-only. Any failure counts as false.
    bool IsUserAdministrator();
};
