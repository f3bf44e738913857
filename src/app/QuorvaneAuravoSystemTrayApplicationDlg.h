// The tray controller: the program's only long-lived window, a dialog that is never shown.
// It runs modally for the whole life of the process; other windows and processes find it
// by its title (string 139) and talk to it with posted messages. It owns the tray icon,
// decides when the transmitter is present, and makes and discards the vendor link and the
// key forwarder accordingly.
#pragma once

#include "Collaborators.h"
#include "Dialog.h"
#include "TrayIcon.h"
#include "WindowMessages.h"
#include "resource.h"

#include <cstdint>
#include <memory>
#include <vector>

// The click timer's id.
inline constexpr std::uintptr_t kClickTimerId = 1;
// The timer that checks for the transmitter after a lone device notification, and its delay.
inline constexpr std::uintptr_t kLoneNoticeTimerId = 2;
inline constexpr std::uint32_t kLoneNoticeWaitMs = 1000;

// The double-click time the registry's text gives: its leading decimal digits, 0 when it has
// none.
std::uint32_t leadingDecimal(const plat::String& text);

class CKTRSystemTrayApplicationDlg : public fw::Dialog {
public:
    // `parts` null: the installed collaborators (Collaborators.h).
    explicit CKTRSystemTrayApplicationDlg(plat::Hwnd parent = 0, Collaborators* parts = nullptr);
    ~CKTRSystemTrayApplicationDlg() override;

    // Fills trayIconData for this window with icon 114; 0 when that icon is not loaded.
    int SetTrayIconNotification();
    int ShowTrayIcon();
    int DeleteTrayIcon();
    // SetTimer(id 1, interval); on failure tells the user. The timer id, or 0.
    std::uintptr_t StartClickTimer(std::uint32_t interval);

    void OnSetting();
    int SetSettingPropertyPages();
    void OnExit();
    void OnAbout();
    void OnHelp();
    // WM_USER 20 from another process: the settings, or a notice that no transmitter is in.
    void IPCMethod();
    // The common tear-down of exit and transmitter removal.
    void CloseTransmitterWindows();
    void ShowTrayMenu();
    void ShowAdvancedTrayMenu();

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
    void OnRadioFirst(std::uint32_t id);
    void OnRadioSecond(std::uint32_t id);
    void OnRadioThird(std::uint32_t id);
    void OnRadioFourth(std::uint32_t id);
    void OnRadioOther(std::uint32_t id);
    void OnReceiver(std::uint32_t id);

private:
    // Confirmed Exit, WM_CLOSE and the end of the session.
    void shutdown();
    plat::LResult onDeviceChange(plat::WParam event, plat::LParam lParam);
    // Looks for the transmitter and follows its arrival or removal; the notice count starts
    // again.
    void checkTransmitter();
    void transmitterGone();
    void transmitterArrived();
    // Explorer has restarted and lost every tray icon.
    void onTaskbarCreated();
    void showMenuAtClickPoint();
    // Brings the first open window among those that must be answered first (settings sheet,
    // restart prompt, exit confirmation) to the foreground; false when none is open.
    bool bringPendingWindowForward();
    plat::Hwnd mainWindowHandle() const;

    Collaborators& parts;
    plat::HIcon appIcon = 0;  // icon 112: the window's own icon
    plat::HIcon trayIcon = 0; // icon 114: the tray icon's first image
    plat::Point clickPoint;
    plat::HMenu trayMenu = 0; // the popup of the last tray menu; never cleared after the first
    std::uint32_t doubleClickTime = 0;
    std::uintptr_t clickTimerId = 0;
    std::int32_t clickTimerIdle = 1;
    std::unique_ptr<TransmitterFinder> transmitterFinder;
    std::unique_ptr<AboutBox> aboutDialog; // while it is open
    std::unique_ptr<TrayMenu> menus;
    std::unique_ptr<SettingsSheet> sheet; // while it is open; Globals::settingsSheet points here
    std::vector<std::unique_ptr<SettingsPage>> sheetPages;
    std::uint32_t taskbarCreatedMessage = 0;
};

// TRUE when device-interface notifications of the HID class are registered for `window`.
bool bHidDeviceNotify(plat::Hwnd window);
