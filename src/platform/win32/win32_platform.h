// The Win32 backend of the platform seam: every port forwards to the real API.
#pragma once

#include "ports.h"

namespace plat::win32 {

// The Win32 ports, one process-wide instance each.
plat::Platform bundle();

// Installs bundle() as the process's platform.
void install();

} // namespace plat::win32
