#include "PropertyPageOtherSetting.h"

#include "Application.h"
#include "BoxStyles.h"
#include "CMessageBox.h"
#include "Debug.h"
#include "DongleVendorCommunication.h"
#include "Globals.h"
#include "PcInfo.h"
#include "TrayIcon.h"
#include "resource.h"

PropertyPageOtherSetting::PropertyPageOtherSetting()
    : fw::PropertyPage(IDD_PROPPAGE_OTHERSETTINGS) {}

const fw::MessageMap* PropertyPageOtherSetting::messageMap() const {
    using Self = PropertyPageOtherSetting;
    static constexpr fw::MessageMapEntry entries[] = {
        fw::onCommand<&Self::OnTrayIconClicked>(IDC_SHOW_TRAY_ICON),
        fw::onCommand<&Self::OnAdvancedMenuClicked>(IDC_ADVANCED_MENU),
        fw::onCommand<&Self::OnDatabaseDump>(IDC_DATABASE_DUMP),
    };
    static const fw::MessageMap map{fw::PropertyPage::messageMap(), entries};
    return &map;
}

int PropertyPageOtherSetting::OnInitDialog() {
    traceEntry(u"PropertyPageOtherSetting::OnInitDialog");
    fw::PropertyPage::OnInitDialog();
    // Visible with its stored state, but only an administrator may change it.
    if (!globals().isAdministrator)
        advancedMenuCheck.enable(false);
    traceExit(u"PropertyPageOtherSetting::OnInitDialog");
    return TRUE;
}

void PropertyPageOtherSetting::DoDataExchange(bool) {
    traceEntry(u"PropertyPageOtherSetting::DoDataExchange");
    advancedMenuCheck.bind(window(), IDC_ADVANCED_MENU);
    trayIconCheck.bind(window(), IDC_SHOW_TRAY_ICON);
    plat::desktop().setWindowText(window(), fw::loadString(IDS_PAGE_OTHER_SETTINGS));
    PcInfo& pcInfo = *globals().pcInfo;
    trayIconCheck.setChecked(pcInfo.getTrayIconState() == 1);
    advancedMenuCheck.setChecked(pcInfo.getAdvancedMenuState() == 1);
    traceExit(u"PropertyPageOtherSetting::DoDataExchange");
}

void PropertyPageOtherSetting::OnTrayIconClicked() {
    traceEntry(u"PropertyPageOtherSetting::OnTrayIconClicked");
    PcInfo& pcInfo = *globals().pcInfo;
    const int show = trayIconCheck.isChecked() ? 1 : 0;
    if (show != pcInfo.getTrayIconState()) {
        pcInfo.setTrayIconState(show);
        // The controller's own record: the icon comes or goes at once.
        notifyTrayIcon(show == 1 ? NIM_ADD : NIM_DELETE);
    }
    traceExit(u"PropertyPageOtherSetting::OnTrayIconClicked");
}

void PropertyPageOtherSetting::OnAdvancedMenuClicked() {
    traceEntry(u"PropertyPageOtherSetting::OnAdvancedMenuClicked");
    PcInfo& pcInfo = *globals().pcInfo;
    const int enable = advancedMenuCheck.isChecked() ? 1 : 0;
    // The controller reads it each time it builds the tray menu.
    if (enable != pcInfo.getAdvancedMenuState())
        pcInfo.setAdvancedMenuState(enable);
    traceExit(u"PropertyPageOtherSetting::OnAdvancedMenuClicked");
}

void PropertyPageOtherSetting::OnDatabaseDump() {
    traceEntry(u"PropertyPageOtherSetting::OnDatabaseDump");
    if (DongleVendorCommunication* link = currentVendorLink())
        LocalizedMessageBox(window(), link->getDatabaseDump(), u"Database Entries",
                            BoxStyle::Plain);
    traceExit(u"PropertyPageOtherSetting::OnDatabaseDump");
}
