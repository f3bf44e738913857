#include "DongleVendorCommunication.h"

#include "Application.h"
#include "BoxStyles.h"
#include "CMessageBox.h"
#include "Debug.h"
#include "Globals.h"
#include "NewDeviceDialog.h"
#include "NewDevicesDialog.h"
#include "PairingWait.h"
#include "VendorNotices.h"
#include "WindowMessages.h"
#include "resource.h"

#include <optional>
#include <vector>

namespace {

// What a pairing listing brought, shown to the user: nothing new, one device to name, or
// several to choose one from and then name it. `base` is the listing's base, `devices` the
// list now.
void showPairingResult(std::int32_t base, const std::vector<PairedDevice>& devices) {
    const auto count = static_cast<std::int32_t>(devices.size());
    if (base == count) {
        LocalizedMessageBox(0, fw::loadString(IDS_NO_NEW_DEVICE_TEXT),
                            fw::loadString(IDS_NO_NEW_DEVICE_CAPTION), BoxStyle::NothingNew);
        return;
    }
    // A list cleared since the listing began has nothing new to show.
    if (base < 0 || base > count)
        return;
    const std::vector<PairedDevice> fresh(devices.begin() + base, devices.end());
    PairedDevice toName = fresh.front();
    bool secondStep = false;
    if (fresh.size() >= 2) {
        NewDevicesDialog choosing;
        choosing.setDevices(fresh);
        // Only the device the user kept is named, and only if it is still there.
        if (choosing.doModal() != IDOK)
            return;
        const std::optional<PairedDevice> chosen = choosing.chosenDevice();
        const std::optional<PairedDevice> kept =
            chosen ? globals().pairedDevices.findAddress(chosen->address) : std::nullopt;
        if (!kept)
            return;
        toName = *kept;
        secondStep = true;
    }
    NewDeviceDialog naming;
    naming.deviceName = toName.name;
    naming.deviceAddress = toName.address;
    naming.secondStep = secondStep ? 1 : 0;
    naming.doModal();
}

} // namespace

int DongleVendorCommunication::startPairing() {
    traceEntry(u"DongleVendorCommunication::startPairing");
    // The settings stay usable under a pairing dialog, which has no owner: a second Add
    // Device shows the pairing already under way.
    if (bringPairingDialogForward() || sendSimple(vendor::Command::StartPairing) != 1) {
        traceExit(u"DongleVendorCommunication::startPairing");
        return 0;
    }
    runPairingWait(0, BoxStyle::Plain);
    traceExit(u"DongleVendorCommunication::startPairing");
    return 1;
}

void DongleVendorCommunication::processNewDevices() {
    traceEntry(u"DongleVendorCommunication::processNewDevices");
    Globals& g = globals();
    PairedDevices& list = g.pairedDevices;
    if (list.orderListingIfNotPairing() == 1) {
        // An ordinary listing, also one that completes while a pairing result is shown (the
        // transmitter unplugged and back under it).
        postIfOpen(IDS_SETTINGS_TITLE, SheetRequest::RefreshDevices);
        sendListingDone();
        traceExit(u"DongleVendorCommunication::processNewDevices");
        return;
    }
    // The pairing dialogs run modally inside this call, and the controller serves listings
    // meanwhile: a pairing listing that completes under them (a remote paired while the user
    // chooses) is not a second result to show over the first. Its devices stay in the list as
    // the transmitter named them; the outer call ends the pairing state.
    if (g.pairingResultShown) {
        postIfOpen(IDS_SETTINGS_TITLE, SheetRequest::RefreshDevices);
        traceExit(u"DongleVendorCommunication::processNewDevices");
        return;
    }
    // A failure reported before this road belongs to an earlier one.
    list.pairingFailed = 0;
    g.pairingResultShown = true;
    showPairingResult(list.listingBase(), list.devices());
    g.pairingResultShown = false;
    postIfOpen(IDS_SETTINGS_TITLE, SheetRequest::RefreshDevices);
    list.setPairingIdle();
    traceExit(u"DongleVendorCommunication::processNewDevices");
}

void DongleVendorCommunication::pairingStartedUnderDialog() {
    traceEntry(u"DongleVendorCommunication::pairingStartedUnderDialog");
    const Globals& g = globals();
    if (g.pairingWaitDialog || g.transmitterPresent != 1) {
        // The wait is watching for this; or the transmitter has gone since.
    } else if (g.pairingResultShown) {
        bringPairingDialogForward();
        sendCancelPairing();
    } else {
        requestPairingWait();
    }
    traceExit(u"DongleVendorCommunication::pairingStartedUnderDialog");
}
