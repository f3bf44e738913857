#include "NotificationIcon.h"

#include "Application.h"
#include "BoxStyles.h"
#include "CMessageBox.h"
#include "ControllerWindows.h"
#include "Debug.h"
#include "Globals.h"
#include "PcInfo.h"
#include "QuorvaneAuravoSystemTrayApplicationDlg.h"
#include "TrayIcon.h"
#include "WindowMessages.h"
#include "resource.h"

#include <utility>

namespace {

// The tray icon record's id (the number of the icon it first shows).
constexpr std::uint32_t trayIconId = 114;
constexpr std::size_t tipCapacity = 63; // szTip holds 64 characters with its terminator

constexpr char16_t mouseKey[] = u"Control Panel\\Mouse\\";
constexpr char16_t doubleClickValue[] = u"DoubleClickSpeed";

// Windows that a tray click only brings forward, in this order.
constexpr std::uint32_t windowsToAnswerFirst[] = {IDS_SETTINGS_TITLE, IDS_RESTART_CAPTION,
                                                  IDS_EXIT_CONFIRM_CAPTION};

} // namespace

// The registry text is at most nine characters (a ten-character buffer), but saturate
// rather than trust that.
std::uint32_t leadingDecimal(const plat::String& text) {
    std::uint64_t value = 0;
    for (char16_t c : text) {
        if (c < u'0' || c > u'9')
            break;
        value = value * 10 + static_cast<std::uint64_t>(c - u'0');
        if (value > 0xFFFFFFFFu)
            return 0xFFFFFFFFu;
    }
    return static_cast<std::uint32_t>(value);
}

NotificationIcon::NotificationIcon(CKTRSystemTrayApplicationDlg& controllerToServe)
    : controller(controllerToServe) {}

NotificationIcon::~NotificationIcon() = default;

void NotificationIcon::loadImage() {
    // Drawn at the notification area's size, not a large icon scaled down into a blur. There
    // is no window yet: the system's DPI.
    trayIcon = plat::resources().loadSmallIcon(fw::resourceModule(), IDI_TRAY_NOTLINKED, 0);
}

void NotificationIcon::makeMenus(Collaborators& parts) {
    menus = parts.makeTrayMenu();
}

void NotificationIcon::readDoubleClickTime() {
    Globals& g = globals();
    // The user's own setting lives under HKEY_CURRENT_USER; HKEY_LOCAL_MACHINE holds none on any
    // Windows, but an administrator may have put one there.
    plat::String speed;
    if (g.pcInfo->getRegVal(plat::HKCU, mouseKey, doubleClickValue, speed, 10) == 1 ||
        g.pcInfo->getRegVal(plat::HKLM, mouseKey, doubleClickValue, speed, 10) == 1)
        doubleClickTime = leadingDecimal(speed);
    else
        doubleClickTime = 1000;
    clickTimerIdle = 1;
}

int NotificationIcon::SetTrayIconNotification() {
    traceEntry(u"CKTRSystemTrayApplicationDlg::SetTrayIconNotification");
    if (!trayIcon) {
        traceExit(u"CKTRSystemTrayApplicationDlg::SetTrayIconNotification");
        return 0;
    }
    // Now that the window exists: the size for the DPI of its monitor.
    if (const plat::HIcon sized = plat::resources().loadSmallIcon(
            fw::resourceModule(), IDI_TRAY_NOTLINKED, controller.window()))
        trayIcon = sized;
    plat::String tip = fw::loadString(IDS_TRAY_TIP);
    if (tip.size() > tipCapacity)
        tip.resize(tipCapacity);
    {
        Globals& g = globals();
        std::lock_guard<std::recursive_mutex> lock(g.trayIconLock);
        plat::NotifyIconData& data = g.trayIconData;
        data.window = controller.window();
        data.id = trayIconId;
        data.flags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
        data.callbackMessage = kTrayIconMessage;
        data.icon = trayIcon;
        data.tip = std::move(tip);
    }
    traceExit(u"CKTRSystemTrayApplicationDlg::SetTrayIconNotification");
    return 1;
}

int NotificationIcon::ShowTrayIcon() {
    traceEntry(u"CKTRSystemTrayApplicationDlg::ShowTrayIcon");
    const bool shown = notifyTrayIcon(NIM_ADD);
    traceExit(u"CKTRSystemTrayApplicationDlg::ShowTrayIcon");
    return shown ? TRUE : FALSE;
}

int NotificationIcon::DeleteTrayIcon() {
    traceEntry(u"CKTRSystemTrayApplicationDlg::DeleteTrayIcon");
    const bool deleted = notifyTrayIcon(NIM_DELETE);
    traceExit(u"CKTRSystemTrayApplicationDlg::DeleteTrayIcon");
    return deleted ? TRUE : FALSE;
}

void NotificationIcon::OnIcon(plat::LParam lParam) {
    const char16_t* name = nullptr;
    switch (lParam) {
    case static_cast<plat::LParam>(WM_LBUTTONDOWN):
        name = u"CKTRSystemTrayApplicationDlg::OnIcon(WM_LBUTTONDOWN)";
        break;
    case static_cast<plat::LParam>(WM_LBUTTONDBLCLK):
        name = u"CKTRSystemTrayApplicationDlg::OnIcon(WM_LBUTTONDBLCLK)";
        break;
    case static_cast<plat::LParam>(WM_RBUTTONDOWN):
        name = u"CKTRSystemTrayApplicationDlg::OnIcon(WM_RBUTTONDOWN)";
        break;
    default:
        return; // moves, button releases and the rest mean nothing here
    }
    traceEntry(name);

    if (bringPendingWindowForward()) {
        traceExit(name);
        return;
    }

    plat::Desktop& desktop = plat::desktop();
    switch (lParam) {
    case static_cast<plat::LParam>(WM_LBUTTONDOWN):
        // The menu waits for the double-click time, so that a double click can still become
        // "open the settings" instead. The click lets this program take the foreground, but
        // only until the user's next input: by the time the timer fires the right may be gone,
        // and a menu tracked without the foreground does not close on a click elsewhere. So it
        // is taken now, and again just before the menu is tracked.
        desktop.setForegroundWindow(mainWindowHandle(controller));
        clickPoint = desktop.getCursorPos();
        if (clickTimerIdle == 1) {
            clickTimerId = StartClickTimer(doubleClickTime);
            clickTimerIdle = 0;
        }
        break;
    case static_cast<plat::LParam>(WM_LBUTTONDBLCLK):
        desktop.killTimer(controller.window(), clickTimerId);
        clickTimerIdle = 1;
        controller.OnSetting();
        break;
    case static_cast<plat::LParam>(WM_RBUTTONDOWN):
        clickPoint = desktop.getCursorPos();
        showMenuAtClickPoint();
        break;
    default:
        break;
    }
    traceExit(name);
}

bool NotificationIcon::bringPendingWindowForward() {
    for (std::uint32_t titleId : windowsToAnswerFirst)
        if (const plat::Hwnd open = findOwnWindow(titleId)) {
            plat::desktop().setForegroundWindow(open);
            return true;
        }
    return false;
}

std::uintptr_t NotificationIcon::StartClickTimer(std::uint32_t interval) {
    traceEntry(u"CKTRSystemTrayApplicationDlg::StartClickTimer");
    const std::uintptr_t id =
        plat::desktop().setTimer(controller.window(), kClickTimerId, interval);
    if (id == 0)
        LocalizedMessageBox(controller.window(), fw::loadString(IDS_NO_TIMER),
                            fw::loadString(IDS_ERROR), BoxStyle::Error);
    traceExit(u"CKTRSystemTrayApplicationDlg::StartClickTimer");
    return id;
}

void NotificationIcon::onClickTimer() {
    plat::desktop().killTimer(controller.window(), clickTimerId);
    clickTimerIdle = 1;
    showMenuAtClickPoint();
}

void NotificationIcon::showMenuAtClickPoint() {
    if (globals().pcInfo->getAdvancedMenuState() == 1)
        ShowAdvancedTrayMenu();
    else
        ShowTrayMenu();
}

// The builders trace themselves; a popup once shown stays remembered in trayMenu.
void NotificationIcon::ShowTrayMenu() {
    if (!menus)
        return;
    if (const plat::HMenu popup = menus->ShowTrayMenu(mainWindowHandle(controller), clickPoint))
        trayMenu = popup;
}

void NotificationIcon::ShowAdvancedTrayMenu() {
    if (!menus)
        return;
    if (const plat::HMenu popup =
            menus->ShowAdvancedTrayMenu(mainWindowHandle(controller), clickPoint))
        trayMenu = popup;
}

void NotificationIcon::redraw() {
    // Held across: the reader thread may switch the image meanwhile.
    Globals& g = globals();
    std::lock_guard<std::recursive_mutex> lock(g.trayIconLock);
    SetTrayIconImage(g.trayIconLinked);
}

void NotificationIcon::onTaskbarCreated() {
    logHandlerEntry(u"TaskbarCreated");
    Globals& g = globals();
    if (g.transmitterPresent != 1 || g.pcInfo->getTrayIconState() != 1)
        return;
    // The image last shown (linked or not), drawn again: the shell also starts anew when the
    // scale of its monitor changed.
    std::lock_guard<std::recursive_mutex> lock(g.trayIconLock);
    reloadTrayIconImage(g);
    ShowTrayIcon();
}
