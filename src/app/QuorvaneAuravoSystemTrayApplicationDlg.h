// The tray controller: the program's only long-lived window, a dialog that is never shown.
// It runs modally for the whole life of the process; other windows and processes find it
// by its title (string 139) and talk to it with posted messages. It dispatches their requests,
// runs the settings sheet and About, and tears down what belongs to the transmitter. Its tray
// icon (NotificationIcon.h) and its watch over the transmitter (DeviceWatch.h) are its parts.
#pragma once

#include "Collaborators.h"
#include "DeviceWatch.h"
#include "Dialog.h"
#include "NotificationIcon.h"
#include "TrayIcon.h"
#include "WindowMessages.h"
#include "resource.h"

#include <cstdint>
#include <memory>
#include <vector>

class CKTRSystemTrayApplicationDlg : public fw::Dialog {
public:
    // `parts` null: the installed collaborators (Collaborators.h).
    explicit CKTRSystemTrayApplicationDlg(plat::Hwnd parent = 0, Collaborators* parts = nullptr);
    ~CKTRSystemTrayApplicationDlg() override;

    void OnSetting();
    int SetSettingPropertyPages();
    void OnExit();
    void OnAbout();
    void OnHelp();
    // WM_USER 20 from another process: the settings, or a notice that no transmitter is in.
    void IPCMethod();
    // The common tear-down of exit and transmitter removal.
    void CloseTransmitterWindows();

protected:
    // Sets the title to string 139, so that the controller can be found by it.
    void DoDataExchange(bool saveAndValidate) override;
    plat::LResult DefWindowProc(std::uint32_t msg, plat::WParam wParam,
                                plat::LParam lParam) override;
    int OnInitDialog() override;
    const fw::MessageMap* messageMap() const override;

    void OnPaint();
    // Declines every attempt to show the controller, before it happens.
    void OnWindowPosChanging(plat::WParam wParam, plat::LParam lParam);
    // The monitor's scale changed: the tray icon is drawn again at its new size.
    void OnDpiChanged();
    plat::LResult OnQueryDragIcon();
    void OnIcon(plat::WParam wParam, plat::LParam lParam);
    void OnTimer(plat::WParam timerId);
    void OnPlayerOutput(std::uint32_t id);
    void OnRadioOther(std::uint32_t id);
    void OnReceiver(std::uint32_t id);

private:
    // Confirmed Exit, WM_CLOSE and the end of the session.
    void shutdown();

    Collaborators& parts;
    plat::HIcon appIcon = 0; // icon 112: the window's own icon
    // Declared in this order so that they go in the order they always went: the tray menus
    // (the icon's) before the About box, the transmitter finder (the watch's) last.
    DeviceWatch watch;
    std::unique_ptr<AboutBox> aboutDialog; // while it is open
    NotificationIcon icon;
    std::unique_ptr<SettingsSheet> sheet; // while it is open; Globals::settingsSheet points here
    std::vector<std::unique_ptr<SettingsPage>> sheetPages;
    std::uint32_t taskbarCreatedMessage = 0;
};

// TRUE when device-interface notifications of the HID class are registered for `window`.
bool bHidDeviceNotify(plat::Hwnd window);
