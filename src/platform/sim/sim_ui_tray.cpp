// The notification area: the program's icons, their tips and their images.
#include "sim_ui_shared.h"

#include "text.h"

#include <algorithm>

namespace sim {

bool UiPort::shellNotifyIcon(std::uint32_t message, const plat::NotifyIconData& data) {
    Lock lk(w_.m);
    auto it = std::find_if(w_.trayIcons.begin(), w_.trayIcons.end(), [&](const TrayIcon& t) {
        return t.window == data.window && t.id == data.id;
    });
    auto iconName = [&](plat::HIcon icon) {
        auto id = w_.iconIds.find(icon);
        return id == w_.iconIds.end() ? std::string("(no icon)")
                                      : "icon " + std::to_string(id->second);
    };
    switch (message) {
    case NIM_ADD: {
        if (it != w_.trayIcons.end() || !w_.window(data.window))
            return false;
        TrayIcon icon;
        icon.window = data.window;
        icon.id = data.id;
        apply(icon, data);
        w_.trayIcons.push_back(icon);
        w_.journal("tray icon added: \"" + narrow(icon.tip) + "\", " + iconName(icon.icon));
        return true;
    }
    case NIM_MODIFY: {
        if (it == w_.trayIcons.end())
            return false;
        const plat::HIcon before = it->icon;
        apply(*it, data);
        if (it->icon != before)
            w_.journal("tray icon changed: " + iconName(it->icon));
        return true;
    }
    case NIM_DELETE:
        if (it == w_.trayIcons.end())
            return false;
        w_.trayIcons.erase(it);
        w_.journal("tray icon removed");
        return true;
    default:
        return false;
    }
}

void UiPort::apply(TrayIcon& icon, const plat::NotifyIconData& data) {
    if (data.flags & NIF_MESSAGE)
        icon.callbackMessage = data.callbackMessage;
    if (data.flags & NIF_ICON)
        icon.icon = data.icon;
    if (data.flags & NIF_TIP)
        icon.tip = data.tip.substr(0, 63); // szTip holds 64 characters with the terminator
}

} // namespace sim
