// Ports of the platform seam (see ports.h): windows and their messages.
#pragma once

#include "constants.h"
#include "types.h"

namespace plat {

// ---------------------------------------------------------------- windows and messages
// WM_DEVICECHANGE reaches the program's windows with lParam pointing to this (or 0),
// whatever the backend: the Win32 backend translates DEV_BROADCAST_DEVICEINTERFACE_W.
struct DeviceChangeInfo {
    std::uint32_t deviceType = 0; // DBT_DEVTYP_*
    String name;                  // the interface path, for DBT_DEVTYP_DEVICEINTERFACE
};

// WM_WINDOWPOSCHANGING reaches the program's windows with lParam pointing to this: the
// SWP_* flags of the change about to happen, which a handler may alter.
struct WindowPosChanging {
    std::uint32_t flags = 0;
};

// WM_HELP reaches the program's windows with lParam pointing to this.
struct HelpInfo {
    std::uint32_t contextId = 0;
    Point mousePos;
    Hwnd item = 0; // the control (or window) help was asked for; 0 for a menu item
};

// WM_NOTIFY reaches the program's windows with lParam pointing to this, whatever the
// backend: the notification's header and, for property-sheet notifications (PSN_*), the
// record's own lParam (PSN_APPLY: TRUE when the sheet is closing; PSN_RESET: TRUE when the
// sheet's close box or WM_CLOSE ended it, FALSE for its Cancel command). 0 for other codes.
struct NotifyInfo {
    Hwnd from = 0;
    std::uintptr_t idFrom = 0;
    std::uint32_t code = 0;
    LParam lParam = 0;
};

// HH_POPUP of HH_DISPLAY_TEXT_POPUP in portable form: text `stringId` of the help file's
// popup text file, shown at `position`; -1 colours and margins are the viewer's defaults.
struct HelpPopup {
    Module instance = 0;
    std::uint32_t stringId = 0;
    Point position;
    std::int32_t foreground = -1;
    std::int32_t background = -1;
    Rect margins{-1, -1, -1, -1};
};

struct WindowPlacement {
    Rect normalPosition;
};

class Desktop {
public:
    virtual ~Desktop() = default;
    // FindWindowW: either may be null (matches any). Top-level windows only, exact match.
    virtual Hwnd findWindow(const String* className, const String* title) = 0;
    virtual bool postMessage(Hwnd window, std::uint32_t msg, WParam wParam, LParam lParam) = 0;
    virtual LResult sendMessage(Hwnd window, std::uint32_t msg, WParam wParam, LParam lParam) = 0;
    // SendMessageTimeoutW: waits at most `milliseconds` for the answer (SMTO_ABORTIFHUNG: not at
    // all for a window whose thread has stopped answering). False when no answer came (time
    // out, hung, or the window is gone); `result` is then 0.
    virtual bool sendMessageTimeout(Hwnd window, std::uint32_t msg, WParam wParam, LParam lParam,
                                    std::uint32_t flags, std::uint32_t milliseconds,
                                    LResult& result) = 0;
    virtual bool isWindow(Hwnd window) = 0;
    virtual bool setForegroundWindow(Hwnd window) = 0;
    virtual Hwnd getForegroundWindow() = 0;
    virtual bool showWindow(Hwnd window, std::uint32_t command) = 0;
    virtual bool isWindowVisible(Hwnd window) = 0;
    virtual bool setWindowText(Hwnd window, const String& text) = 0;
    virtual String getWindowText(Hwnd window) = 0;
    virtual std::uint32_t getExStyle(Hwnd window) = 0;
    virtual void setExStyle(Hwnd window, std::uint32_t exStyle) = 0;
    virtual bool enableWindow(Hwnd window, bool enable) = 0;
    virtual bool isWindowEnabled(Hwnd window) = 0;
    virtual bool getWindowPlacement(Hwnd window, WindowPlacement& placement) = 0;
    virtual bool setWindowPlacement(Hwnd window, const WindowPlacement& placement) = 0;
    virtual Hwnd getDlgItem(Hwnd dialog, int controlId) = 0;
    // GetWindowThreadProcessId: returns the thread id, stores the process id.
    virtual std::uint32_t getWindowThreadProcessId(Hwnd window, std::uint32_t* processId) = 0;
    // SetTimer(window, id, ms, no callback): the timer id, 0 on failure. WM_TIMER arrives
    // in the window's queue with wParam = the id.
    virtual std::uintptr_t setTimer(Hwnd window, std::uintptr_t id, std::uint32_t milliseconds) = 0;
    virtual bool killTimer(Hwnd window, std::uintptr_t id) = 0;
    virtual Point getCursorPos() = 0;
    virtual std::uint32_t registerWindowMessage(const String& name) = 0;
    // ChangeWindowMessageFilterEx(window, msg, MSGFLT_ALLOW): lets `msg` reach `window` from
    // processes of a lower integrity level (the shell and other programs, when this program
    // runs elevated), which Windows otherwise keeps from it. False on failure.
    virtual bool allowMessageFromLowerIntegrity(Hwnd window, std::uint32_t msg) = 0;
    // RegisterDeviceNotificationW for device interfaces of `classGuid`; 0 on failure.
    virtual Handle registerDeviceNotification(Hwnd window, const Guid& classGuid) = 0;
};

} // namespace plat
