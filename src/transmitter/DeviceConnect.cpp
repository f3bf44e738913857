#include "DeviceConnect.h"

#include "Application.h"
#include "BoxStyles.h"
#include "CMessageBox.h"
#include "Debug.h"
#include "DongleVendorCommunication.h"
#include "Globals.h"
#include "resource.h"

namespace {

void sendCancelPairing() {
    if (DongleVendorCommunication* link = liveVendorLink())
        link->sendCancelPairing();
}

} // namespace

DeviceConnect::DeviceConnect(plat::Hwnd parent) : fw::Dialog(IDD_DEVICECONNECT, parent) {}

const fw::MessageMap* DeviceConnect::messageMap() const {
    using Self = DeviceConnect;
    // 1033 is not IDCANCEL: it is mapped itself, and so is IDOK, so that no key ends the wait
    // without telling the transmitter to stop pairing.
    static constexpr fw::MessageMapEntry entries[] = {
        fw::onMessage<&Self::OnTimer>(WM_TIMER),
        fw::onMessage<&Self::OnTransmitterAnswered>(WM_USER),
        fw::onCommand<&Self::OnCancelWait>(IDC_CONNECT_CANCEL),
        fw::onCommand<&Self::OnCancelWait>(IDCANCEL),
        fw::onCommand<&Self::OnCancelWait>(IDOK),
    };
    static const fw::MessageMap map{fw::Dialog::messageMap(), entries};
    return &map;
}

void DeviceConnect::DoDataExchange(bool saveAndValidate) {
    traceEntry(u"DeviceConnect::DoDataExchange");
    if (!saveAndValidate) {
        // The reader finds the wait by this title to end it.
        plat::desktop().setWindowText(window(), fw::loadString(IDS_PAIRING_WAIT_TITLE));
        if (globals().pairingWaitActive == 1) {
            waitTimer =
                plat::desktop().setTimer(window(), kWaitTimerId, kWaitMs) != 0 ? kWaitTimerId : 0;
            // Without a time-out the wait lasts until the user or the transmitter ends it.
            if (waitTimer == 0)
                LocalizedMessageBox(window(), fw::loadString(IDS_NO_TIMER),
                                    fw::loadString(IDS_ERROR), BoxStyle::Error);
        }
    }
    traceExit(u"DeviceConnect::DoDataExchange");
}

void DeviceConnect::finish(std::intptr_t result, bool cancelPairing) {
    if (waitTimer != 0)
        plat::desktop().killTimer(window(), waitTimer);
    waitTimer = 0;
    globals().pairingWaitActive = 0;
    finished_ = true;
    if (cancelPairing)
        sendCancelPairing();
    endDialog(result);
}

void DeviceConnect::OnTimer(plat::WParam id) {
    traceEntry(u"DeviceConnect::OnTimer");
    Default();
    // Only the time-out ends the wait; a timer of someone else's making is left alone.
    if (!finished_ && waitTimer != 0 && id == waitTimer) {
        finish(IDCANCEL, true);
    }
    traceExit(u"DeviceConnect::OnTimer");
}

void DeviceConnect::OnCancelWait() {
    traceEntry(u"DeviceConnect::OnCancelWait");
    if (!finished_) {
        globals().pairedDevices.pairingFailed = 0;
        finish(IDOK, true);
    }
    traceExit(u"DeviceConnect::OnCancelWait");
}

void DeviceConnect::OnTransmitterAnswered() {
    traceEntry(u"DeviceConnect::OnTransmitterAnswered");
    if (!finished_) {
        globals().pairedDevices.pairingFailed = 0;
        finish(IDOK, false);
    }
    traceExit(u"DeviceConnect::OnTransmitterAnswered");
}

void DeviceConnect::endWait() {
    traceEntry(u"DeviceConnect::endWait");
    if (!finished_ && window() != 0)
        finish(IDOK, false);
    traceExit(u"DeviceConnect::endWait");
}
