#include <windows.h>

#include <commctrl.h>
#include <objbase.h>

#include "win32_platform.h"

#include "win32_internal.h"

namespace plat::win32 {

plat::Platform bundle() {
    // Stateless forwarders: one instance each for the life of the process.
    static Win32Registry registry;
    static Win32Files files;
    static Win32Folders folders;
    static Win32Threads threads;
    static Win32Desktop desktop;
    static Win32UserInterface ui;
    static Win32Resources resources;
    static Win32Hid hid;
    static Win32Audio audio;
    static Win32CoreAudio coreAudio;
    static Win32Processes processes;

    plat::Platform platform;
    platform.registry = &registry;
    platform.files = &files;
    platform.folders = &folders;
    platform.threads = &threads;
    platform.desktop = &desktop;
    platform.ui = &ui;
    platform.resources = &resources;
    platform.hid = &hid;
    platform.audio = &audio;
    platform.coreAudio = &coreAudio;
    platform.processes = &processes;
    return platform;
}

void install() {
    plat::install(bundle());
}

void prepareProcess() {
    // Windows 8 and later, and Windows 7 with its KB2533623 update, know this; elsewhere at
    // least the current folder leaves the search order.
    using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
    const auto setDefault = reinterpret_cast<SetDefaultDllDirectoriesFn>(reinterpret_cast<void*>(
        ::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "SetDefaultDllDirectories")));
    if (!setDefault || !setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32))
        ::SetDllDirectoryW(L"");

    // ShellExecuteW and HTML Help want an apartment on the calling thread; OLE1 DDE is only a
    // way for DDE conversations to hang it. It is never left: the process ends with it.
    ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);

    // With the common-controls 6 manifest, the classes a dialog template names (property
    // sheet tabs, list views) exist only after they are registered here.
    INITCOMMONCONTROLSEX controls{};
    controls.dwSize = sizeof(controls);
    controls.dwICC = ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES;
    ::InitCommonControlsEx(&controls);
}

void endProcess(int exitCode) {
    // Every other thread is ended before any library is told the process detaches; no C++
    // object of this program is destroyed.
    ::ExitProcess(static_cast<UINT>(exitCode));
}

} // namespace plat::win32
