#include "QuorvaneAuravoSystemTrayApplicationDlg.h"

#include "Application.h"
#include "BoxStyles.h"
#include "CMessageBox.h"
#include "Debug.h"
#include "Globals.h"
#include "MenuIds.h"
#include "PcInfo.h"
#include "QuorvaneAuravoSystemTrayApplication.h"
#include "TrayIcon.h"
#include "text.h"

#include <utility>

namespace {

// The tray icon record's id (the number of the icon it first shows).
constexpr std::uint32_t trayIconId = 114;
constexpr std::size_t tipCapacity = 63; // szTip holds 64 characters with its terminator

// Both HID interfaces of the transmitter, whatever their collection, begin with this. Letter
// case does not count: Windows 10 and 11 spell it "\\?\HID#VID_0B7A&PID_0100&MI_..." in
// notifications, older Windows as written here.
constexpr std::u16string_view transmitterInterfacePrefix = u"\\\\?\\HID#Vid_0b7a&Pid_0100&M";

constexpr char16_t mouseKey[] = u"Control Panel\\Mouse\\";
constexpr char16_t doubleClickValue[] = u"DoubleClickSpeed";

// The first command id of the output items of deep-integration player `k` (0 to 3).
constexpr std::uint32_t playerIds(std::uint32_t k) {
    return TrayMenuIds::FirstPlayer + k * TrayMenuIds::PlayerStride;
}

// Windows the program closes when the transmitter goes and at exit, in this order. The wait
// and the naming dialog share a title; the choosing dialog has its own.
constexpr std::uint32_t windowsToClose[] = {
    IDS_ABOUT_TITLE,    IDS_PAIRING_WAIT_TITLE, IDS_NEW_DEVICES_TITLE, IDS_RENAME_TITLE,
    IDS_DELETE_CAPTION, IDS_EDIT_PLAYER_TITLE,  IDS_SETTINGS_TITLE};

// Windows that a tray click only brings forward, in this order.
constexpr std::uint32_t windowsToAnswerFirst[] = {IDS_SETTINGS_TITLE, IDS_RESTART_CAPTION,
                                                  IDS_EXIT_CONFIRM_CAPTION};

// The program's windows are found by their exact title. A title that could not be loaded
// finds nothing: an empty title would match any untitled window.
plat::Hwnd findByTitle(const plat::String& title) {
    if (title.empty())
        return 0;
    return plat::desktop().findWindow(nullptr, &title);
}

plat::Hwnd findOwnWindow(std::uint32_t titleId) {
    return findByTitle(fw::loadString(titleId));
}

void logHandlerEntry(std::u16string_view message) {
    plat::String line = u"CKTRSystemTrayApplicationDlg::DefWindowProc(";
    line += message;
    line += u") -- Method Entry.";
    WriteLog(std::move(line), LogLevel::Trace);
}

} // namespace

CKTRSystemTrayApplicationDlg::CKTRSystemTrayApplicationDlg(plat::Hwnd parent,
                                                           Collaborators* collaboratorsToUse)
    : fw::Dialog(IDD_KTRSYSTEMTRAYAPPLICATION_DIALOG, parent),
      parts(collaboratorsToUse ? *collaboratorsToUse : collaborators()) {
    plat::Resources& resources = plat::resources();
    appIcon = resources.loadIcon(fw::resourceModule(), IDR_MAINFRAME);
    // Drawn at the notification area's size, not a large icon scaled down into a blur. There
    // is no window yet: the system's DPI.
    trayIcon = resources.loadSmallIcon(fw::resourceModule(), IDI_TRAY_NOTLINKED, 0);
    transmitterFinder = parts.makeTransmitterFinder();
    menus = parts.makeTrayMenu();
}

CKTRSystemTrayApplicationDlg::~CKTRSystemTrayApplicationDlg() = default;

const fw::MessageMap* CKTRSystemTrayApplicationDlg::messageMap() const {
    using Self = CKTRSystemTrayApplicationDlg;
    using namespace TrayMenuIds;
    static constexpr fw::MessageMapEntry entries[] = {
        fw::onMessage<&Self::OnPaint>(WM_PAINT),
        fw::onMessage<&Self::OnWindowPosChanging>(WM_WINDOWPOSCHANGING),
        fw::onMessage<&Self::OnDpiChanged>(WM_DPICHANGED),
        fw::onMessage<&Self::OnQueryDragIcon>(WM_QUERYDRAGICON),
        fw::onMessage<&Self::OnIcon>(kTrayIconMessage),
        fw::onCommand<&Self::OnSetting>(IDM_SETTINGS),
        fw::onCommand<&Self::OnExit>(IDM_EXIT),
        fw::onCommandRange<&Self::OnRadioFirst>(playerIds(0), playerIds(0) + PlayerLastOffset),
        fw::onCommandRange<&Self::OnRadioSecond>(playerIds(1), playerIds(1) + PlayerLastOffset),
        fw::onCommandRange<&Self::OnRadioThird>(playerIds(2), playerIds(2) + PlayerLastOffset),
        fw::onCommandRange<&Self::OnRadioFourth>(playerIds(3), playerIds(3) + PlayerLastOffset),
        fw::onCommandRange<&Self::OnRadioOther>(DefaultDevice, DefaultDeviceLast),
        fw::onCommandRange<&Self::OnReceiver>(Receiver, ReceiverLast),
        fw::onCommand<&Self::OnAbout>(IDM_ABOUT),
        fw::onCommand<&Self::OnHelp>(IDM_HELP),
        fw::onMessage<&Self::OnTimer>(WM_TIMER),
    };
    static const fw::MessageMap map{fw::Dialog::messageMap(), entries};
    return &map;
}

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

void CKTRSystemTrayApplicationDlg::DoDataExchange(bool saveAndValidate) {
    fw::Dialog::DoDataExchange(saveAndValidate);
    plat::desktop().setWindowText(window(), fw::loadString(IDS_CONTROLLER_TITLE));
}

int CKTRSystemTrayApplicationDlg::OnInitDialog() {
    traceEntry(u"CKTRSystemTrayApplicationDlg::OnInitDialog");
    fw::Dialog::OnInitDialog();

    plat::Desktop& desktop = plat::desktop();
    desktop.sendMessage(window(), WM_SETICON, ICON_BIG, static_cast<plat::LParam>(appIcon));
    desktop.sendMessage(window(), WM_SETICON, ICON_SMALL, static_cast<plat::LParam>(appIcon));

    SetTrayIconNotification();

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

    // Explorer announces its restart with this message; every tray icon is gone by then.
    taskbarCreatedMessage = desktop.registerWindowMessage(u"TaskbarCreated");
    // Run as administrator, the program would not hear the shell's restart, the clicks on its
    // own icon (the shell sends the callback message), nor the requests and the WM_CLOSE of
    // other (non-elevated) processes: Windows drops their messages to a higher integrity level
    // unless the window lets them through. Exactly these.
    for (std::uint32_t fromOthers : {taskbarCreatedMessage, kTrayIconMessage, WM_USER, WM_CLOSE})
        if (fromOthers != 0)
            desktop.allowMessageFromLowerIntegrity(window(), fromOthers);

    const plat::Hwnd recipient = findOwnWindow(IDS_CONTROLLER_TITLE);

    if (transmitterFinder && transmitterFinder->findDongle() == 1) {
        g.transmitterPresent = 1;
        if (g.pcInfo->getTrayIconState() == 1)
            ShowTrayIcon();
        g.vendorLink = parts.makeVendorLink(transmitterFinder->getVendorHandle()).release();
        g.keyForwarder = parts.makeKeyForwarder(transmitterFinder->getConsumerHandle()).release();
    }

    if (!bHidDeviceNotify(recipient))
        LocalizedMessageBox(window(), fw::loadString(IDS_DEVICE_NOTIFY_FAILED),
                            fw::loadString(IDS_ERROR), BoxStyle::Error);

    trayMenu = 0;
    traceExit(u"CKTRSystemTrayApplicationDlg::OnInitDialog");
    // FALSE: the dialog manager sets no focus. With no control to take it, the focus would go
    // to the controller itself and activate it: a program started by the user may take the
    // foreground, so the invisible controller would take the keyboard from the user's window.
    return FALSE;
}

int CKTRSystemTrayApplicationDlg::SetTrayIconNotification() {
    traceEntry(u"CKTRSystemTrayApplicationDlg::SetTrayIconNotification");
    if (!trayIcon) {
        traceExit(u"CKTRSystemTrayApplicationDlg::SetTrayIconNotification");
        return 0;
    }
    // Now that the window exists: the size for the DPI of its monitor.
    if (const plat::HIcon sized =
            plat::resources().loadSmallIcon(fw::resourceModule(), IDI_TRAY_NOTLINKED, window()))
        trayIcon = sized;
    plat::String tip = fw::loadString(IDS_TRAY_TIP);
    if (tip.size() > tipCapacity)
        tip.resize(tipCapacity);
    {
        Globals& g = globals();
        std::lock_guard<std::recursive_mutex> lock(g.trayIconLock);
        plat::NotifyIconData& data = g.trayIconData;
        data.window = window();
        data.id = trayIconId;
        data.flags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
        data.callbackMessage = kTrayIconMessage;
        data.icon = trayIcon;
        data.tip = std::move(tip);
    }
    traceExit(u"CKTRSystemTrayApplicationDlg::SetTrayIconNotification");
    return 1;
}

int CKTRSystemTrayApplicationDlg::ShowTrayIcon() {
    traceEntry(u"CKTRSystemTrayApplicationDlg::ShowTrayIcon");
    const bool shown = notifyTrayIcon(NIM_ADD);
    traceExit(u"CKTRSystemTrayApplicationDlg::ShowTrayIcon");
    return shown ? TRUE : FALSE;
}

int CKTRSystemTrayApplicationDlg::DeleteTrayIcon() {
    traceEntry(u"CKTRSystemTrayApplicationDlg::DeleteTrayIcon");
    const bool deleted = notifyTrayIcon(NIM_DELETE);
    traceExit(u"CKTRSystemTrayApplicationDlg::DeleteTrayIcon");
    return deleted ? TRUE : FALSE;
}

void CKTRSystemTrayApplicationDlg::OnIcon(plat::WParam, plat::LParam lParam) {
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
        desktop.setForegroundWindow(mainWindowHandle());
        clickPoint = desktop.getCursorPos();
        if (clickTimerIdle == 1) {
            clickTimerId = StartClickTimer(doubleClickTime);
            clickTimerIdle = 0;
        }
        break;
    case static_cast<plat::LParam>(WM_LBUTTONDBLCLK):
        desktop.killTimer(window(), clickTimerId);
        clickTimerIdle = 1;
        OnSetting();
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

bool CKTRSystemTrayApplicationDlg::bringPendingWindowForward() {
    for (std::uint32_t titleId : windowsToAnswerFirst)
        if (const plat::Hwnd open = findOwnWindow(titleId)) {
            plat::desktop().setForegroundWindow(open);
            return true;
        }
    return false;
}

std::uintptr_t CKTRSystemTrayApplicationDlg::StartClickTimer(std::uint32_t interval) {
    traceEntry(u"CKTRSystemTrayApplicationDlg::StartClickTimer");
    const std::uintptr_t id = plat::desktop().setTimer(window(), kClickTimerId, interval);
    if (id == 0)
        LocalizedMessageBox(window(), fw::loadString(IDS_NO_TIMER), fw::loadString(IDS_ERROR),
                            BoxStyle::Error);
    traceExit(u"CKTRSystemTrayApplicationDlg::StartClickTimer");
    return id;
}

void CKTRSystemTrayApplicationDlg::OnTimer(plat::WParam timerId) {
    traceEntry(u"CKTRSystemTrayApplicationDlg::OnTimer");
    if (timerId == kLoneNoticeTimerId) {
        plat::desktop().killTimer(window(), kLoneNoticeTimerId);
        // No second notification came: the other interface's was lost or never sent.
        if (globals().deviceNoticeCount == 1)
            checkTransmitter();
        traceExit(u"CKTRSystemTrayApplicationDlg::OnTimer");
        return;
    }
    plat::desktop().killTimer(window(), clickTimerId);
    clickTimerIdle = 1;
    showMenuAtClickPoint();
    traceExit(u"CKTRSystemTrayApplicationDlg::OnTimer");
}

void CKTRSystemTrayApplicationDlg::showMenuAtClickPoint() {
    if (globals().pcInfo->getAdvancedMenuState() == 1)
        ShowAdvancedTrayMenu();
    else
        ShowTrayMenu();
}

// The builders trace themselves; a popup once shown stays remembered in trayMenu.
void CKTRSystemTrayApplicationDlg::ShowTrayMenu() {
    if (!menus)
        return;
    if (const plat::HMenu popup = menus->ShowTrayMenu(mainWindowHandle(), clickPoint))
        trayMenu = popup;
}

void CKTRSystemTrayApplicationDlg::ShowAdvancedTrayMenu() {
    if (!menus)
        return;
    if (const plat::HMenu popup = menus->ShowAdvancedTrayMenu(mainWindowHandle(), clickPoint))
        trayMenu = popup;
}

void CKTRSystemTrayApplicationDlg::OnRadioFirst(std::uint32_t id) {
    if (menus)
        menus->OnRadioFirst(mainWindowHandle(), id);
}

void CKTRSystemTrayApplicationDlg::OnRadioSecond(std::uint32_t id) {
    if (menus)
        menus->OnRadioSecond(mainWindowHandle(), id);
}

void CKTRSystemTrayApplicationDlg::OnRadioThird(std::uint32_t id) {
    if (menus)
        menus->OnRadioThird(mainWindowHandle(), id);
}

void CKTRSystemTrayApplicationDlg::OnRadioFourth(std::uint32_t id) {
    if (menus)
        menus->OnRadioFourth(mainWindowHandle(), id);
}

void CKTRSystemTrayApplicationDlg::OnRadioOther(std::uint32_t id) {
    if (menus)
        menus->OnRadioOther(mainWindowHandle(), id);
}

void CKTRSystemTrayApplicationDlg::OnReceiver(std::uint32_t id) {
    if (menus)
        menus->OnReceiver(mainWindowHandle(), id);
}

void CKTRSystemTrayApplicationDlg::OnSetting() {
    traceEntry(u"CKTRSystemTrayApplicationDlg::OnSetting");
    if (const plat::Hwnd open = findOwnWindow(IDS_SETTINGS_TITLE)) {
        plat::desktop().setForegroundWindow(open);
        traceExit(u"CKTRSystemTrayApplicationDlg::OnSetting");
        return;
    }
    // A request that arrives while the sheet is being made (before its window has its
    // title) must not make a second one over it.
    if (sheet) {
        traceExit(u"CKTRSystemTrayApplicationDlg::OnSetting");
        return;
    }

    SetSettingPropertyPages();
    if (sheet) {
        sheet->doModal();
        for (std::size_t i = sheetPages.size(); i-- > 0;)
            sheet->removePage(static_cast<int>(i));
    }
    sheetPages.clear();
    sheet.reset();
    globals().settingsSheet = nullptr;
    traceExit(u"CKTRSystemTrayApplicationDlg::OnSetting");
}

int CKTRSystemTrayApplicationDlg::SetSettingPropertyPages() {
    traceEntry(u"CKTRSystemTrayApplicationDlg::SetSettingPropertyPages");
    sheet = parts.makeSettingsSheet(fw::loadString(IDS_SETTINGS_TITLE), window(), 0);
    globals().settingsSheet = sheet.get();
    for (int templateId : {IDD_PROPPAGE_DEVICES, IDD_PROPPAGE_MEDIAPLAYERS,
                           IDD_PROPPAGE_DEFAULTAUDIO, IDD_PROPPAGE_OTHERSETTINGS}) {
        std::unique_ptr<SettingsPage> page = parts.makeSettingsPage(templateId);
        if (!page)
            continue;
        if (sheet)
            sheet->addPage(*page);
        sheetPages.push_back(std::move(page));
    }
    traceExit(u"CKTRSystemTrayApplicationDlg::SetSettingPropertyPages");
    return 1;
}

void CKTRSystemTrayApplicationDlg::OnExit() {
    traceEntry(u"CKTRSystemTrayApplicationDlg::OnExit");
    const plat::String caption = fw::loadString(IDS_EXIT_CONFIRM_CAPTION);
    const plat::String text = fw::loadString(IDS_EXIT_CONFIRM_TEXT);
    if (const plat::Hwnd open = findByTitle(caption)) {
        plat::desktop().setForegroundWindow(open);
        traceExit(u"CKTRSystemTrayApplicationDlg::OnExit");
        return;
    }
    if (LocalizedMessageBox(window(), text, caption, BoxStyle::Question) == static_cast<int>(IDYES))
        shutdown();
    traceExit(u"CKTRSystemTrayApplicationDlg::OnExit");
}

void CKTRSystemTrayApplicationDlg::shutdown() {
    Globals& g = globals();
    if (g.vendorLink)
        g.vendorLink->sendHostExit();
    CloseTransmitterWindows();
    OnOK();
}

void CKTRSystemTrayApplicationDlg::CloseTransmitterWindows() {
    traceEntry(u"CKTRSystemTrayApplicationDlg::CloseTransmitterWindows");
    Globals& g = globals();
    plat::Desktop& desktop = plat::desktop();
    // A tray menu that is still tracking closes on this message to its owner.
    if (trayMenu)
        desktop.postMessage(mainWindowHandle(), WM_RBUTTONDBLCLK, 0, 0);
    SetTrayIconImage(false);
    if (g.pcInfo->getTrayIconState() == 1)
        DeleteTrayIcon();
    for (std::uint32_t titleId : windowsToClose)
        if (const plat::Hwnd open = findOwnWindow(titleId))
            desktop.postMessage(open, WM_CLOSE, 0, 0);
    // Its destructor stops the key thread before the object goes (the thread already sees
    // transmitterPresent 0 on removal).
    delete std::exchange(g.keyForwarder, nullptr);
    traceExit(u"CKTRSystemTrayApplicationDlg::CloseTransmitterWindows");
}

void CKTRSystemTrayApplicationDlg::OnAbout() {
    traceEntry(u"CKTRSystemTrayApplicationDlg::OnAbout");
    if (const plat::Hwnd open = findOwnWindow(IDS_ABOUT_TITLE)) {
        plat::desktop().setForegroundWindow(open);
    } else if (!aboutDialog) {
        aboutDialog = parts.makeAboutDialog(window());
        if (aboutDialog)
            aboutDialog->doModal();
        aboutDialog.reset();
    }
    traceExit(u"CKTRSystemTrayApplicationDlg::OnAbout");
}

void CKTRSystemTrayApplicationDlg::OnHelp() {
    traceEntry(u"CKTRSystemTrayApplicationDlg::OnHelp");
    plat::processes().htmlHelp(0, helpFilePath() + u"::/startofhelp.htm", HH_DISPLAY_TOPIC, 0);
    traceExit(u"CKTRSystemTrayApplicationDlg::OnHelp");
}

void CKTRSystemTrayApplicationDlg::OnPaint() {
    traceEntry(u"CKTRSystemTrayApplicationDlg::OnPaint");
    // A modal dialog is shown by its modal loop whatever its template says; every paint
    // request hides it again, so the controller is never seen.
    plat::desktop().showWindow(window(), SW_HIDE);
    Default();
    traceExit(u"CKTRSystemTrayApplicationDlg::OnPaint");
}

void CKTRSystemTrayApplicationDlg::OnWindowPosChanging(plat::WParam, plat::LParam lParam) {
    // The modal loop shows its dialog when its queue first runs dry, whatever the template
    // says, and showing it activates it: the controller would appear until its first paint,
    // take the foreground from the user and get a taskbar button. The show is taken out of
    // the change before it happens; the rest of the change goes ahead.
    if (auto* change = reinterpret_cast<plat::WindowPosChanging*>(lParam);
        change && (change->flags & SWP_SHOWWINDOW)) {
        change->flags &= ~SWP_SHOWWINDOW;
        change->flags |= SWP_NOACTIVATE | SWP_NOZORDER | SWP_NOOWNERZORDER;
    }
    Default();
}

void CKTRSystemTrayApplicationDlg::OnDpiChanged() {
    traceEntry(u"CKTRSystemTrayApplicationDlg::OnDpiChanged");
    // The scale of the controller's monitor changed (the program is per-monitor aware): the
    // image shown was drawn for the old size.
    {
        // Held across: the reader thread may switch the image meanwhile.
        Globals& g = globals();
        std::lock_guard<std::recursive_mutex> lock(g.trayIconLock);
        SetTrayIconImage(g.trayIconLinked);
    }
    Default();
    traceExit(u"CKTRSystemTrayApplicationDlg::OnDpiChanged");
}

plat::LResult CKTRSystemTrayApplicationDlg::OnQueryDragIcon() {
    traceEntry(u"CKTRSystemTrayApplicationDlg::OnQueryDragIcon");
    traceExit(u"CKTRSystemTrayApplicationDlg::OnQueryDragIcon");
    return static_cast<plat::LResult>(appIcon);
}

void CKTRSystemTrayApplicationDlg::IPCMethod() {
    traceEntry(u"CKTRSystemTrayApplicationDlg::IPCMethod");
    Globals& g = globals();
    if (g.transmitterPresent == 1) {
        OnSetting();
        traceExit(u"CKTRSystemTrayApplicationDlg::IPCMethod", u"With Dongle");
        return;
    }
    // The box's modal loop keeps serving requests; those that arrive while it is open must
    // not stack up more boxes.
    if (g.noTransmitterNoticeAllowed == 1) {
        g.noTransmitterNoticeAllowed = 0;
        LocalizedMessageBox(window(), fw::loadString(IDS_NO_TRANSMITTER_TEXT),
                            fw::loadString(IDS_NO_TRANSMITTER_CAPTION), BoxStyle::Notice);
        g.noTransmitterNoticeAllowed = 1;
    }
    traceExit(u"CKTRSystemTrayApplicationDlg::IPCMethod", u"Without Dongle");
}

plat::LResult CKTRSystemTrayApplicationDlg::DefWindowProc(std::uint32_t msg, plat::WParam wParam,
                                                          plat::LParam lParam) {
    if (taskbarCreatedMessage != 0 && msg == taskbarCreatedMessage) {
        onTaskbarCreated();
        return fw::Dialog::DefWindowProc(msg, wParam, lParam);
    }
    switch (msg) {
    case WM_QUERYENDSESSION:
        logHandlerEntry(u"WM_QUERYENDSESSION");
        return TRUE;
    case WM_ENDSESSION:
        logHandlerEntry(u"WM_ENDSESSION");
        if (wParam)
            shutdown();
        return 0;
    case WM_CLOSE:
        // From another process or the system: no confirmation, no trace.
        shutdown();
        return 0;
    case WM_USER:
        logHandlerEntry(u"WM_USER");
        switch (wParam) {
        case ControllerRequest::ListingComplete:
            if (VendorLink* link = globals().vendorLink)
                link->processNewDevices();
            break;
        case ControllerRequest::OpenSettings:
            OnSetting();
            break;
        case ControllerRequest::ForwardPairing:
            if (const plat::Hwnd open = findOwnWindow(IDS_SETTINGS_TITLE))
                plat::desktop().postMessage(open, WM_USER, SheetRequest::RunPairingWait, 0);
            break;
        case ControllerRequest::PairingUnderDialog:
            if (VendorLink* link = globals().vendorLink)
                link->pairingStartedUnderDialog();
            break;
        case ControllerRequest::FromOtherProcess:
            IPCMethod();
            break;
        default:
            break;
        }
        return fw::Dialog::DefWindowProc(msg, wParam, lParam);
    case WM_DEVICECHANGE:
        return onDeviceChange(wParam, lParam);
    default:
        return fw::Dialog::DefWindowProc(msg, wParam, lParam);
    }
}

plat::LResult CKTRSystemTrayApplicationDlg::onDeviceChange(plat::WParam event,
                                                           plat::LParam lParam) {
    Globals& g = globals();
    if ((event == DBT_DEVICEARRIVAL || event == DBT_DEVICEREMOVECOMPLETE) && lParam != 0) {
        const auto* info = reinterpret_cast<const plat::DeviceChangeInfo*>(lParam);
        if (info->deviceType == DBT_DEVTYP_DEVICEINTERFACE &&
            plat::startsWithIgnoringCase(info->name, transmitterInterfacePrefix)) {
            ++g.deviceNoticeCount;
            // A notification can be lost (a busy window misses a broadcast) or come alone (a
            // transmitter without its consumer-control collection): do not wait forever for
            // the second one. A timer that cannot start leaves only the count.
            if (g.deviceNoticeCount == 1)
                plat::desktop().setTimer(window(), kLoneNoticeTimerId, kLoneNoticeWaitMs);
        }
    }
    // One notification arrives per interface: look again once both have come or gone.
    if (g.deviceNoticeCount != 2)
        return fw::Dialog::DefWindowProc(WM_DEVICECHANGE, event, lParam);

    logHandlerEntry(u"WM_DEVICECHANGE");
    plat::desktop().killTimer(window(), kLoneNoticeTimerId);
    checkTransmitter();
    return 0;
}

void CKTRSystemTrayApplicationDlg::checkTransmitter() {
    Globals& g = globals();
    int found = transmitterFinder ? transmitterFinder->findDongle() : 0;
    if (found == 0 && g.transmitterPresent == 1) {
        transmitterGone();
        found = transmitterFinder ? transmitterFinder->findDongle() : 0;
    }
    if (found == 1 && g.transmitterPresent == 0)
        transmitterArrived();
    g.deviceNoticeCount = 0;
}

void CKTRSystemTrayApplicationDlg::transmitterGone() {
    Globals& g = globals();
    WriteLog(u"Terminating thread in Device change", LogLevel::Log);
    // No thread is terminated: the reader's pending read on the vanished device is cancelled
    // and it leaves its loop. The old link stays until the transmitter returns.
    if (g.vendorLink)
        g.vendorLink->stopReader();
    g.transmitterPresent = 0;
    CloseTransmitterWindows();
    if (g.vendorLink)
        g.vendorLink->releaseReaderThread();
    parts.rerouteOnDeviceChange();
    parts.offerRestartOnDeviceChange();
}

void CKTRSystemTrayApplicationDlg::transmitterArrived() {
    Globals& g = globals();
    delete std::exchange(g.vendorLink, nullptr);
    delete std::exchange(g.keyForwarder, nullptr);
    if (g.pcInfo->getTrayIconState() == 1)
        ShowTrayIcon();
    g.transmitterPresent = 1;
    g.vendorLink = parts.makeVendorLink(transmitterFinder->getVendorHandle()).release();
    g.keyForwarder = parts.makeKeyForwarder(transmitterFinder->getConsumerHandle()).release();
    parts.rerouteOnDeviceChange();
    parts.offerRestartOnDeviceChange();
}

void CKTRSystemTrayApplicationDlg::onTaskbarCreated() {
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

plat::Hwnd CKTRSystemTrayApplicationDlg::mainWindowHandle() const {
    if (Globals* g = currentGlobals(); g && g->application)
        if (const fw::Dialog* main = g->application->mainWindow(); main && main->window())
            return main->window();
    return window();
}

bool bHidDeviceNotify(plat::Hwnd window) {
    traceEntry(u"bHidDeviceNotify");
    // The registration lasts for the life of the process; it is never undone.
    const bool registered =
        plat::desktop().registerDeviceNotification(window, plat::hid().getHidGuid()) != 0;
    traceExit(u"bHidDeviceNotify");
    return registered;
}
