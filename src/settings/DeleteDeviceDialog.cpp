#include "DeleteDeviceDialog.h"

#include "Application.h"
#include "Debug.h"
#include "DongleVendorCommunication.h"
#include "Globals.h"
#include "resource.h"

DeleteDeviceDialog::DeleteDeviceDialog(plat::Hwnd parent) : fw::Dialog(IDD_DELETEDEVICE, parent) {}

const fw::MessageMap* DeleteDeviceDialog::messageMap() const {
    using Self = DeleteDeviceDialog;
    // Yes is the default button, so Enter presses it; Escape and WM_CLOSE are IDCANCEL.
    static constexpr fw::MessageMapEntry entries[] = {
        fw::onCommand<&Self::OnYes>(IDYES),
        fw::onCommand<&Self::OnCancel>(IDNO),
    };
    static const fw::MessageMap map{fw::Dialog::messageMap(), entries};
    return &map;
}

void DeleteDeviceDialog::DoDataExchange(bool) {
    traceEntry(u"DeleteDeviceDialog::DoDataExchange");
    question.bind(window(), IDC_DELETE_QUESTION);
    plat::desktop().setWindowText(window(), fw::loadString(IDS_DELETE_CAPTION));
    question.setText(FormatPlaceholders(1, fw::loadString(IDS_DELETE_TEXT), nameToDelete));
    traceExit(u"DeleteDeviceDialog::DoDataExchange");
}

void DeleteDeviceDialog::OnYes() {
    traceEntry(u"DeleteDeviceDialog::OnYes");
    if (DongleVendorCommunication* link = currentVendorLink())
        link->deletePairedDevice(nameToDelete);
    endDialog(IDOK);
    traceExit(u"DeleteDeviceDialog::OnYes");
}
