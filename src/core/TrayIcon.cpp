#include "TrayIcon.h"

#include "Application.h"
#include "Debug.h"
#include "Globals.h"
#include "resource.h"

#include <mutex>

bool notifyTrayIcon(std::uint32_t message) {
    Globals& g = globals();
    // Held across the shell call, so that the image the shell shows last is the one the
    // record holds last when the reader thread and this thread change it together.
    std::lock_guard<std::recursive_mutex> lock(g.trayIconLock);
    return plat::ui().shellNotifyIcon(message, g.trayIconData);
}

void reloadTrayIconImage(Globals& g) {
    if (const plat::HIcon icon = plat::resources().loadSmallIcon(
            fw::resourceModule(), g.trayIconLinked ? IDI_TRAY_LINKED : IDI_TRAY_NOTLINKED,
            g.trayIconData.window))
        g.trayIconData.icon = icon;
}

void SetTrayIconImage(bool active) {
    traceEntry(u"SetTrayIconImage");
    {
        Globals& g = globals();
        std::lock_guard<std::recursive_mutex> lock(g.trayIconLock);
        g.trayIconLinked = active;
        reloadTrayIconImage(g);
        plat::ui().shellNotifyIcon(NIM_MODIFY, g.trayIconData);
    }
    traceExit(u"SetTrayIconImage");
}
