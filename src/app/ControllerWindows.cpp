#include "ControllerWindows.h"

#include "Application.h"
#include "Debug.h"
#include "Globals.h"

#include <utility>

plat::Hwnd findByTitle(const plat::String& title) {
    if (title.empty())
        return 0;
    return plat::desktop().findWindow(nullptr, &title);
}

plat::Hwnd findOwnWindow(std::uint32_t titleId) {
    return findByTitle(fw::loadString(titleId));
}

plat::Hwnd mainWindowHandle(const fw::Dialog& controller) {
    if (Globals* g = currentGlobals(); g && g->application)
        if (const fw::Dialog* main = g->application->mainWindow(); main && main->window())
            return main->window();
    return controller.window();
}

void logHandlerEntry(std::u16string_view message) {
    plat::String line = u"CKTRSystemTrayApplicationDlg::DefWindowProc(";
    line += message;
    line += u") -- Method Entry.";
    WriteLog(std::move(line), LogLevel::Trace);
}
