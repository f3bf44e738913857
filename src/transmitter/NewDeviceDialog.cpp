#include "NewDeviceDialog.h"

#include "Application.h"
#include "BoxStyles.h"
#include "CMessageBox.h"
#include "Debug.h"
#include "DongleVendorCommunication.h"
#include "Globals.h"
#include "resource.h"

NewDeviceDialog::NewDeviceDialog(plat::Hwnd parent) : fw::Dialog(IDD_NEWDEVICE, parent) {}

const fw::MessageMap* NewDeviceDialog::messageMap() const {
    using Self = NewDeviceDialog;
    // Pair is the default button, so Enter presses it (IDOK where no default is found);
    // Cancel, Escape and WM_CLOSE are IDCANCEL.
    static constexpr fw::MessageMapEntry entries[] = {
        fw::onCommand<&Self::OnPair>(IDC_PAIR),
        fw::onCommand<&Self::OnPair>(IDOK),
        fw::onMessage<&Self::OnPairingFailed>(WM_USER),
    };
    static const fw::MessageMap map{fw::Dialog::messageMap(), entries};
    return &map;
}

void NewDeviceDialog::DoDataExchange(bool saveAndValidate) {
    traceEntry(u"NewDeviceDialog::DoDataExchange");
    if (!saveAndValidate) {
        // The reader finds the dialog by this title to tell it that pairing failed.
        plat::desktop().setWindowText(window(), fw::loadString(IDS_NEW_DEVICE_TITLE));
        nameEdit.bind(window(), IDC_NEW_DEVICE_NAME);
        nameEdit.setText(deviceName);
        if (secondStep == 1)
            fw::Control(window(), IDC_NEW_DEVICE_FOUND).setText({});
    }
    traceExit(u"NewDeviceDialog::DoDataExchange");
}

void NewDeviceDialog::pairingFailed() {
    if (DongleVendorCommunication* link = liveVendorLink())
        link->deletePairedDevice(deviceAddress);
    globals().pairedDevices.pairingFailed = 0;
    finished_ = true;
    endDialog(IDOK);
    LocalizedMessageBox(window(), fw::loadString(IDS_PAIRING_FAILED), fw::loadString(IDS_ERROR),
                        BoxStyle::Plain);
}

void NewDeviceDialog::OnPair() {
    traceEntry(u"NewDeviceDialog::OnPair");
    plat::String entered;
    // A refused name has been explained; the dialog stays open for another try.
    // The device is addressed by its own address throughout: an older device may bear the
    // name it reported.
    if (finished_ ||
        applyDeviceNameRules(window(), nameEdit.text(), deviceName, &entered, &deviceAddress) != 1) {
        traceExit(u"NewDeviceDialog::OnPair");
        return;
    }
    // A failure the reader has reported but whose message has not been handled yet.
    if (globals().pairedDevices.pairingFailed == 1) {
        pairingFailed();
        traceExit(u"NewDeviceDialog::OnPair");
        return;
    }
    if (DongleVendorCommunication* link = liveVendorLink()) {
        // The device as it is named now: the new name, unless the transmitter refused it.
        const std::optional<PairedDevice> device =
            globals().pairedDevices.findAddress(deviceAddress);
        link->selectPairedDevice(deviceAddress, device ? device->name : entered);
    }
    finished_ = true;
    endDialog(IDOK);
    traceExit(u"NewDeviceDialog::OnPair");
}

void NewDeviceDialog::OnCancel() {
    traceEntry(u"NewDeviceDialog::OnCancel");
    if (!finished_) {
        if (DongleVendorCommunication* link = liveVendorLink()) {
            link->deletePairedDevice(deviceAddress);
            link->sendCancelPairing();
        }
        finished_ = true;
        endDialog(IDCANCEL);
    }
    traceExit(u"NewDeviceDialog::OnCancel");
}

void NewDeviceDialog::OnPairingFailed() {
    traceEntry(u"NewDeviceDialog::OnPairingFailed");
    PairedDevices& state = globals().pairedDevices;
    if (!finished_ && state.pairingFailed == 1) {
        pairingFailed();
    } else {
        // A failure told once this road is over (while its box is still open) goes with it.
        if (finished_)
            state.pairingFailed = 0;
        Default();
    }
    traceExit(u"NewDeviceDialog::OnPairingFailed");
}
