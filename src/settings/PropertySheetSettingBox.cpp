#include "PropertySheetSettingBox.h"

#include "Application.h"
#include "BoxStyles.h"
#include "Controls.h"
#include "Debug.h"
#include "Globals.h"
#include "PairingWait.h"
#include "PropertyPage.h"
#include "resource.h"

namespace {

// The Close button moves this far right, into the place of the hidden Cancel and Apply.
constexpr std::int32_t closeShift = 162;

} // namespace

PropertySheetSettingBox::PropertySheetSettingBox(plat::String caption, plat::Hwnd parent,
                                                 int startPage)
    : fw::PropertySheetDialog(std::move(caption), parent, startPage) {}

void PropertySheetSettingBox::addPage(SettingsPage& page) {
    if (auto* propertyPage = dynamic_cast<fw::PropertyPage*>(&page))
        fw::PropertySheetDialog::addPage(*propertyPage);
}

void PropertySheetSettingBox::removePage(int index) {
    fw::PropertySheetDialog::removePage(index);
}

std::intptr_t PropertySheetSettingBox::doModal() {
    return fw::PropertySheetDialog::doModal();
}

const fw::MessageMap* PropertySheetSettingBox::messageMap() const {
    using Self = PropertySheetSettingBox;
    // IDOK (Close) goes on to the sheet's own close processing through the base class.
    static constexpr fw::MessageMapEntry entries[] = {
        fw::onCommand<&Self::OnPageHelp>(IDHELP),
        fw::onMessage<&Self::OnPopupHelp>(WM_HELP),
    };
    static const fw::MessageMap map{fw::PropertySheetDialog::messageMap(), entries};
    return &map;
}

int PropertySheetSettingBox::OnInitDialog() {
    traceEntry(u"PropertySheetSettingBox::OnInitDialog");
    const int result = fw::PropertySheetDialog::OnInitDialog();
    plat::Desktop& desktop = plat::desktop();

    // Every change is applied when it is made: there is nothing to cancel or apply.
    fw::Control(window(), IDCANCEL).show(false);
    fw::Control(window(), ID_APPLY_NOW).show(false);

    fw::Control help(window(), IDHELP);
    help.setText(fw::loadString(IDS_HELP));
    help.show();
    help.enable();

    fw::Control closeButton(window(), IDOK);
    plat::WindowPlacement placement;
    if (desktop.getWindowPlacement(closeButton.handle(), placement)) {
        placement.normalPosition.left += closeShift;
        placement.normalPosition.right += closeShift;
        desktop.setWindowPlacement(closeButton.handle(), placement);
    }
    closeButton.setText(fw::loadString(IDS_CLOSE));
    closeButton.show();
    closeButton.enable();

    plat::Resources& resources = plat::resources();
    const plat::HIcon big = resources.loadIcon(fw::resourceModule(), IDR_MAINFRAME);
    // The small one drawn at the small-icon size for the sheet's DPI, not scaled down.
    const plat::HIcon small = resources.loadSmallIcon(fw::resourceModule(), IDI_TRAY_LINKED,
                                                      window());
    desktop.sendMessage(window(), WM_SETICON, ICON_SMALL, static_cast<plat::LParam>(small));
    desktop.sendMessage(window(), WM_SETICON, ICON_BIG, static_cast<plat::LParam>(big));

    // Its own taskbar button, and the caption's "?" button for the popup help.
    desktop.setExStyle(window(),
                       desktop.getExStyle(window()) | WS_EX_APPWINDOW | WS_EX_CONTEXTHELP);
    traceExit(u"PropertySheetSettingBox::OnInitDialog");
    return result;
}

const char16_t* PropertySheetSettingBox::helpTopic(int pageIndex) {
    switch (pageIndex) {
    case SettingsPageIndex::Devices:
        return u"::/Devices.htm";
    case SettingsPageIndex::MediaPlayers:
        return u"::/mediaplayer.htm";
    case SettingsPageIndex::DefaultAudio:
        return u"::/Allother.htm";
    case SettingsPageIndex::OtherSettings:
        return u"::/othersettings.htm";
    default:
        return u"::/startofhelp.htm";
    }
}

void PropertySheetSettingBox::OnPageHelp() {
    traceEntry(u"PropertySheetSettingBox::OnPageHelp");
    plat::processes().htmlHelp(0, helpFilePath() + helpTopic(activeIndex()), HH_DISPLAY_TOPIC, 0);
    traceExit(u"PropertySheetSettingBox::OnPageHelp");
}

plat::LResult PropertySheetSettingBox::OnPopupHelp(plat::WParam, plat::LParam lParam) {
    traceEntry(u"PropertySheetSettingBox::OnPopupHelp");
    // A request whose record did not come with it names nothing to explain.
    if (const auto* request = reinterpret_cast<const plat::HelpInfo*>(lParam)) {
        plat::HelpPopup popup;
        popup.stringId = request->contextId;
        popup.position = request->mousePos;
        // The popup's caller is the window that asked (the control, else the sheet), as in
        // the help system's own example; the popup window is placed and owned after it.
        const plat::Hwnd caller = request->item ? request->item : window();
        plat::processes().htmlHelp(caller, helpFilePath() + u"::/popupdisplay.txt",
                                   HH_DISPLAY_TEXT_POPUP, reinterpret_cast<std::uintptr_t>(&popup));
    }
    traceExit(u"PropertySheetSettingBox::OnPopupHelp");
    return TRUE;
}

plat::LResult PropertySheetSettingBox::DefWindowProc(std::uint32_t msg, plat::WParam wParam,
                                                     plat::LParam lParam) {
    if (msg != WM_USER)
        return fw::PropertySheetDialog::DefWindowProc(msg, wParam, lParam);
    // No trace here: a request for a page that is not active leaves no line in the log.
    switch (wParam) {
    case SheetRequest::RefreshDevices:
        // A page that is not active refreshes itself when it next becomes active.
        if (refreshPage(SettingsPageIndex::Devices))
            WriteLog(u"Page '0' Updated.", LogLevel::Trace);
        break;
    case SheetRequest::RunPairingWait:
        // The transmitter is already pairing: no StartPairing, the wait only.
        runPairingWait(window(), BoxStyle::PlainTaskModal);
        break;
    case SheetRequest::RefreshDefaultAudio:
        if (refreshPage(SettingsPageIndex::DefaultAudio))
            WriteLog(u"Page Updated.", LogLevel::Trace);
        break;
    default:
        break;
    }
    return fw::PropertySheetDialog::DefWindowProc(msg, wParam, lParam);
}
