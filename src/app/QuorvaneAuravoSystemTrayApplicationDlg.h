// The tray controller: the program's only long-lived window, a dialog that is never shown.
// It runs modally for the whole life of the process; other windows and processes find it
// by its title (string 139) and talk to it with posted messages.
#pragma once

#include "Dialog.h"
#include "resource.h"

#include <cstdint>

class CKTRSystemTrayApplicationDlg : public fw::Dialog {
public:
    explicit CKTRSystemTrayApplicationDlg(plat::Hwnd parent = 0);
    ~CKTRSystemTrayApplicationDlg() override;

protected:
    // Sets the title to string 139, so that the controller can be found by it.
    void DoDataExchange(bool saveAndValidate) override;
    plat::LResult DefWindowProc(std::uint32_t msg, plat::WParam wParam,
                                plat::LParam lParam) override;
    int OnInitDialog() override;
    const fw::MessageMap* messageMap() const override;

    void OnPaint();
    plat::LResult OnQueryDragIcon();

    // Exit, WM_CLOSE and the end of the session: ends the modal run with the OK ending.
    void shutdown();

private:
    plat::HIcon appIcon = 0;  // icon 112: the window's own icon
    plat::HIcon trayIcon = 0; // icon 114: the tray icon's first image
    plat::Point clickPoint;
    plat::HMenu trayMenu = 0;
    std::uint32_t doubleClickTime = 0;
    std::uintptr_t clickTimerId = 0;
    std::int32_t clickTimerIdle = 1;
    // The transmitter finder and the About dialog join with the transmitter link and the
    // settings dialogs.
};
