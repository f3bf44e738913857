#include "QuorvaneAuravoSystemTrayApplicationDlg.h"

#include "Application.h"
#include "BoxStyles.h"
#include "CMessageBox.h"
#include "ControllerWindows.h"
#include "Debug.h"
#include "Globals.h"
#include "MenuIds.h"
#include "PcInfo.h"
#include "QuorvaneAuravoSystemTrayApplication.h"
#include "TrayIcon.h"

#include <utility>

namespace {

// Windows the program closes when the transmitter goes and at exit, in this order. The wait
// and the naming dialog share a title; the choosing dialog has its own.
constexpr std::uint32_t windowsToClose[] = {
    IDS_ABOUT_TITLE,    IDS_PAIRING_WAIT_TITLE, IDS_NEW_DEVICES_TITLE, IDS_RENAME_TITLE,
    IDS_DELETE_CAPTION, IDS_EDIT_PLAYER_TITLE,  IDS_SETTINGS_TITLE};

} // namespace

CKTRSystemTrayApplicationDlg::CKTRSystemTrayApplicationDlg(plat::Hwnd parent,
                                                           Collaborators* collaboratorsToUse)
    : fw::Dialog(IDD_KTRSYSTEMTRAYAPPLICATION_DIALOG, parent),
      parts(collaboratorsToUse ? *collaboratorsToUse : collaborators()), watch(*this, icon, parts),
      icon(*this) {
    appIcon = plat::resources().loadIcon(fw::resourceModule(), IDR_MAINFRAME);
    icon.loadImage();
    watch.makeFinder();
    icon.makeMenus(parts);
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
        fw::onCommandRange<&Self::OnPlayerOutput>(FirstPlayer, PlayerLast),
        fw::onCommandRange<&Self::OnRadioOther>(DefaultDevice, DefaultDeviceLast),
        fw::onCommandRange<&Self::OnReceiver>(Receiver, ReceiverLast),
        fw::onCommand<&Self::OnAbout>(IDM_ABOUT),
        fw::onCommand<&Self::OnHelp>(IDM_HELP),
        fw::onMessage<&Self::OnTimer>(WM_TIMER),
    };
    static const fw::MessageMap map{fw::Dialog::messageMap(), entries};
    return &map;
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

    icon.SetTrayIconNotification();
    icon.readDoubleClickTime();

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

    watch.lookAtStart();

    if (!bHidDeviceNotify(recipient))
        LocalizedMessageBox(window(), fw::loadString(IDS_DEVICE_NOTIFY_FAILED),
                            fw::loadString(IDS_ERROR), BoxStyle::Error);

    icon.forgetMenu();
    traceExit(u"CKTRSystemTrayApplicationDlg::OnInitDialog");
    // FALSE: the dialog manager sets no focus. With no control to take it, the focus would go
    // to the controller itself and activate it: a program started by the user may take the
    // foreground, so the invisible controller would take the keyboard from the user's window.
    return FALSE;
}

void CKTRSystemTrayApplicationDlg::OnIcon(plat::WParam, plat::LParam lParam) {
    icon.OnIcon(lParam);
}

void CKTRSystemTrayApplicationDlg::OnTimer(plat::WParam timerId) {
    traceEntry(u"CKTRSystemTrayApplicationDlg::OnTimer");
    if (timerId == kLoneNoticeTimerId) {
        watch.onLoneNoticeTimer();
        traceExit(u"CKTRSystemTrayApplicationDlg::OnTimer");
        return;
    }
    icon.onClickTimer();
    traceExit(u"CKTRSystemTrayApplicationDlg::OnTimer");
}

void CKTRSystemTrayApplicationDlg::OnPlayerOutput(std::uint32_t id) {
    if (TrayMenu* menus = icon.menu())
        menus->OnPlayerOutput(mainWindowHandle(*this), id);
}

void CKTRSystemTrayApplicationDlg::OnRadioOther(std::uint32_t id) {
    if (TrayMenu* menus = icon.menu())
        menus->OnRadioOther(mainWindowHandle(*this), id);
}

void CKTRSystemTrayApplicationDlg::OnReceiver(std::uint32_t id) {
    if (TrayMenu* menus = icon.menu())
        menus->OnReceiver(mainWindowHandle(*this), id);
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
    if (icon.menuShown())
        desktop.postMessage(mainWindowHandle(*this), WM_RBUTTONDBLCLK, 0, 0);
    SetTrayIconImage(false);
    if (g.pcInfo->getTrayIconState() == 1)
        icon.DeleteTrayIcon();
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
    icon.redraw();
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
        icon.onTaskbarCreated();
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
        if (watch.onDeviceChange(wParam, lParam))
            return 0;
        return fw::Dialog::DefWindowProc(msg, wParam, lParam);
    default:
        return fw::Dialog::DefWindowProc(msg, wParam, lParam);
    }
}

bool bHidDeviceNotify(plat::Hwnd window) {
    traceEntry(u"bHidDeviceNotify");
    // The registration lasts for the life of the process; it is never undone.
    const bool registered =
        plat::desktop().registerDeviceNotification(window, plat::hid().getHidGuid()) != 0;
    traceExit(u"bHidDeviceNotify");
    return registered;
}
