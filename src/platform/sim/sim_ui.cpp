// The UserInterface port: modal dialogs from the resource templates, message boxes with the
// creation hook, popup menus and the notification-area icon, and the scripted user who
// answers every modal a real user would see. Its parts: sim_ui_modals.cpp, sim_ui_menus.cpp,
// sim_ui_tray.cpp, sim_ui_views.cpp (meeting the user), sim_ui_user.cpp (the user's hands).
#include "sim_ui_shared.h"

namespace sim {

std::intptr_t UiPort::dialogBox(Module resources, int templateId, Hwnd parent,
                                plat::DialogTarget* target) {
    return w_.dialogBox(resources, templateId, parent, target);
}

bool UiPort::endDialog(Hwnd dialog, std::intptr_t result) {
    return w_.endDialog(dialog, result);
}

int UiPort::messageBox(Hwnd owner, const String& text, const String& caption, std::uint32_t style,
                       plat::MessageBoxHook* hook) {
    return w_.messageBox(owner, text, caption, style, hook);
}

std::intptr_t UiPort::propertySheet(const plat::PropertySheetSpec& request) {
    return w_.propertySheet(request);
}

plat::MessageSource UiPort::currentMessageSource() {
    Lock lk(w_.m);
    return w_.current(lk)->messageSource;
}

std::unique_ptr<plat::UserInterface> makeUiPort(SimPc::Impl& w) {
    return std::make_unique<UiPort>(w);
}

} // namespace sim
