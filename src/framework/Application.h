// The framework's application: the start hook, the main window, and the module from which
// every dialog template, string, icon and menu is taken.
#pragma once

#include "types.h"

namespace fw {

class Dialog;

class Application {
public:
    virtual ~Application() = default;
    // Runs the program; the process ends when it returns.
    virtual bool InitInstance() = 0;

    Dialog* mainWindow() const { return mainWindow_; }
    void setMainWindow(Dialog* window) { mainWindow_ = window; }

private:
    Dialog* mainWindow_ = nullptr;
};

// The resource module every later template, string, icon and menu comes from. Until one
// is chosen (0), the program's own module.
plat::Module resourceModule();
void setResourceModule(plat::Module module);

// LoadStringW from the resource module; empty when the string does not exist.
plat::String loadString(std::uint32_t id);

} // namespace fw
