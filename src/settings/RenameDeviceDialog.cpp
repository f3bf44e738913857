#include "RenameDeviceDialog.h"

#include "Application.h"
#include "Debug.h"
#include "DongleVendorCommunication.h"
#include "resource.h"

RenameDeviceDialog::RenameDeviceDialog(plat::Hwnd parent) : fw::Dialog(IDD_RENAMEDEVICE, parent) {}

const fw::MessageMap* RenameDeviceDialog::messageMap() const {
    using Self = RenameDeviceDialog;
    // IDOK (Enter without a default button) is the same confirmation; Cancel, Escape and
    // WM_CLOSE end the run through the base class's IDCANCEL.
    static constexpr fw::MessageMapEntry entries[] = {
        fw::onCommand<&Self::OnRenameOk>(IDC_RENAME_OK),
        fw::onCommand<&Self::OnRenameOk>(IDOK),
        fw::onCommand<&Self::OnCancel>(IDC_RENAME_CANCEL),
    };
    static const fw::MessageMap map{fw::Dialog::messageMap(), entries};
    return &map;
}

void RenameDeviceDialog::DoDataExchange(bool) {
    traceEntry(u"RenameDeviceDialog::DoDataExchange");
    oldName.bind(window(), IDC_OLD_NAME);
    newName.bind(window(), IDC_NEW_NAME);
    // The controller finds the dialog by this title to close it when the transmitter goes.
    plat::desktop().setWindowText(window(), fw::loadString(IDS_RENAME_TITLE));
    oldName.setText(presentName);
    newName.setText(presentName);
    traceExit(u"RenameDeviceDialog::DoDataExchange");
}

void RenameDeviceDialog::OnRenameOk() {
    traceEntry(u"RenameDeviceDialog::OnRenameOk");
    // A refused name leaves the dialog open; an unchanged one sends nothing.
    if (applyDeviceNameRules(window(), newName.text(), presentName) == 1)
        endDialog(IDOK);
    traceExit(u"RenameDeviceDialog::OnRenameOk");
}
