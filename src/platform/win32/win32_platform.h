// The Win32 backend of the platform seam: every port forwards to the real API.
#pragma once

#include "ports.h"

namespace plat::win32 {

// The Win32 ports, one process-wide instance each.
plat::Platform bundle();

// Installs bundle() as the process's platform.
void install();

// What the program does first, on its user-interface thread, before anything loads a library
// or makes a window: libraries are searched for in the system folder only (the program's own
// resource library is loaded by its full path), COM runs in a single-threaded apartment for
// the shell and HTML Help, and the common controls its dialogs name are registered.
void prepareProcess();

// Ends the process once the run is over, with the run's exit code. The process-wide objects
// are not destroyed: the audio thread, and a reader thread the program leaves to the end of
// the process, may still be using them, and the C runtime's exit would destroy them under
// those threads.
[[noreturn]] void endProcess(int exitCode);

} // namespace plat::win32
