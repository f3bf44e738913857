#include "PairingWait.h"

#include "Application.h"
#include "BoxStyles.h"
#include "CMessageBox.h"
#include "Debug.h"
#include "DeviceConnect.h"
#include "DongleVendorCommunication.h"
#include "Globals.h"
#include "resource.h"

plat::Hwnd bringPairingDialogForward() {
    // The wait and the naming dialog share one title.
    plat::Hwnd open = findTitled(IDS_PAIRING_WAIT_TITLE);
    if (!open)
        open = findTitled(IDS_NEW_DEVICES_TITLE);
    if (open)
        plat::desktop().setForegroundWindow(open);
    return open;
}

std::intptr_t runPairingWait(plat::Hwnd boxOwner, std::uint32_t timeoutStyle) {
    traceEntry(u"runPairingWait");
    // The wait's modal loop serves every window of this thread, so a second request can come
    // while it runs; it shows the one already open rather than stacking another.
    if (bringPairingDialogForward()) {
        traceExit(u"runPairingWait");
        return IDOK;
    }
    Globals& g = globals();
    DeviceConnect dialog;
    g.pairingWaitDialog = &dialog;
    g.pairingWaitActive = 1;
    const std::intptr_t result = dialog.doModal();
    // Whatever ended it; a dialog that was never created did not clear the flag itself.
    g.pairingWaitDialog = nullptr;
    g.pairingWaitActive = 0;

    if (result == -1) {
        LocalizedMessageBox(boxOwner, fw::loadString(IDS_DIALOG_FAILED), fw::loadString(IDS_ERROR),
                            BoxStyle::Error);
    } else if (result == IDCANCEL) {
        LocalizedMessageBox(boxOwner, fw::loadString(IDS_NO_NEW_DEVICE_TEXT),
                            fw::loadString(IDS_NO_NEW_DEVICE_CAPTION), timeoutStyle);
    }
    traceExit(u"runPairingWait");
    return result;
}
