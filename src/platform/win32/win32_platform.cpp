#include <windows.h>

#include "win32_platform.h"

#include "win32_internal.h"

namespace plat::win32 {

plat::Platform bundle() {
    // Stateless forwarders: one instance each for the life of the process.
    static Win32Registry registry;
    static Win32Files files;
    static Win32Threads threads;
    static Win32Desktop desktop;
    static Win32UserInterface ui;
    static Win32Resources resources;
    static Win32Hid hid;
    static Win32Audio audio;
    static Win32Processes processes;

    plat::Platform platform;
    platform.registry = &registry;
    platform.files = &files;
    platform.threads = &threads;
    platform.desktop = &desktop;
    platform.ui = &ui;
    platform.resources = &resources;
    platform.hid = &hid;
    platform.audio = &audio;
    platform.processes = &processes;
    return platform;
}

void install() {
    plat::install(bundle());
}

} // namespace plat::win32
