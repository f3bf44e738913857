// The controller's notification-area icon: its record and image, the clicks on it, the click
// timer that tells a single click from a double click, and the tray menus it opens. Its trace
// lines keep the controller's name: they are the controller's to the log's readers.
#pragma once

#include "Collaborators.h"
#include "types.h"

#include <cstdint>
#include <memory>

class CKTRSystemTrayApplicationDlg;

// The click timer's id.
inline constexpr std::uintptr_t kClickTimerId = 1;

// The double-click time the registry's text gives: its leading decimal digits, 0 when it has
// none.
std::uint32_t leadingDecimal(const plat::String& text);

class NotificationIcon {
public:
    explicit NotificationIcon(CKTRSystemTrayApplicationDlg& controller);
    ~NotificationIcon();
    NotificationIcon(const NotificationIcon&) = delete;
    NotificationIcon& operator=(const NotificationIcon&) = delete;

    // Icon 114 at the system's DPI (there is no window yet).
    void loadImage();
    void makeMenus(Collaborators& parts);
    // The user's double-click time from the registry; the click timer is idle.
    void readDoubleClickTime();

    // Fills trayIconData for the controller's window with icon 114; 0 when that icon is not
    // loaded.
    int SetTrayIconNotification();
    int ShowTrayIcon();
    int DeleteTrayIcon();
    // SetTimer(id 1, interval); on failure tells the user. The timer id, or 0.
    std::uintptr_t StartClickTimer(std::uint32_t interval);

    // The shell's callback message: a click, a double click or a right click on the icon.
    void OnIcon(plat::LParam lParam);
    // The click timer fired: no double click came, so the menu opens.
    void onClickTimer();
    void ShowTrayMenu();
    void ShowAdvancedTrayMenu();
    // A tray menu has been shown since the start (it may still be tracking).
    bool menuShown() const { return trayMenu != 0; }
    void forgetMenu() { trayMenu = 0; }
    TrayMenu* menu() const { return menus.get(); }

    // The monitor's scale changed: the image shown is drawn again at its new size.
    void redraw();
    // Explorer has restarted and lost every tray icon.
    void onTaskbarCreated();

private:
    void showMenuAtClickPoint();
    // Brings the first open window among those that must be answered first (settings sheet,
    // restart prompt, exit confirmation) to the foreground; false when none is open.
    bool bringPendingWindowForward();

    CKTRSystemTrayApplicationDlg& controller;
    plat::HIcon trayIcon = 0; // icon 114: the tray icon's first image
    plat::Point clickPoint;
    plat::HMenu trayMenu = 0; // the popup of the last tray menu; never cleared after the first
    std::uint32_t doubleClickTime = 0;
    std::uintptr_t clickTimerId = 0;
    std::int32_t clickTimerIdle = 1;
    std::unique_ptr<TrayMenu> menus;
};
