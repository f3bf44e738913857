#include "DeviceWatch.h"

#include "ControllerWindows.h"
#include "Debug.h"
#include "Globals.h"
#include "NotificationIcon.h"
#include "PcInfo.h"
#include "QuorvaneAuravoSystemTrayApplicationDlg.h"
#include "text.h"

#include <string_view>
#include <utility>

namespace {

// Both HID interfaces of the transmitter, whatever their collection, begin with this. Letter
// case does not count: Windows 10 and 11 spell it "\\?\HID#VID_0B7A&PID_0100&MI_..." in
// notifications, older Windows as written here.
constexpr std::u16string_view transmitterInterfacePrefix = u"\\\\?\\HID#Vid_0b7a&Pid_0100&M";

} // namespace

DeviceWatch::DeviceWatch(CKTRSystemTrayApplicationDlg& controllerToServe,
                         NotificationIcon& iconToShow, Collaborators& partsToUse)
    : controller(controllerToServe), icon(iconToShow), parts(partsToUse) {}

DeviceWatch::~DeviceWatch() = default;

void DeviceWatch::makeFinder() {
    transmitterFinder = parts.makeTransmitterFinder();
}

void DeviceWatch::lookAtStart() {
    Globals& g = globals();
    if (transmitterFinder && transmitterFinder->findDongle() == 1) {
        g.transmitterPresent = 1;
        if (g.pcInfo->getTrayIconState() == 1)
            icon.ShowTrayIcon();
        g.vendorLink = parts.makeVendorLink(transmitterFinder->getVendorHandle()).release();
        g.keyForwarder = parts.makeKeyForwarder(transmitterFinder->getConsumerHandle()).release();
    }
}

bool DeviceWatch::onDeviceChange(plat::WParam event, plat::LParam lParam) {
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
                plat::desktop().setTimer(controller.window(), kLoneNoticeTimerId,
                                         kLoneNoticeWaitMs);
        }
    }
    // One notification arrives per interface: look again once both have come or gone.
    if (g.deviceNoticeCount != 2)
        return false;

    logHandlerEntry(u"WM_DEVICECHANGE");
    plat::desktop().killTimer(controller.window(), kLoneNoticeTimerId);
    checkTransmitter();
    return true;
}

void DeviceWatch::onLoneNoticeTimer() {
    plat::desktop().killTimer(controller.window(), kLoneNoticeTimerId);
    // No second notification came: the other interface's was lost or never sent.
    if (globals().deviceNoticeCount == 1)
        checkTransmitter();
}

void DeviceWatch::checkTransmitter() {
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

void DeviceWatch::transmitterGone() {
    Globals& g = globals();
    WriteLog(u"Terminating thread in Device change", LogLevel::Log);
    // No thread is terminated: the reader's pending read on the vanished device is cancelled
    // and it leaves its loop. The old link stays until the transmitter returns.
    if (g.vendorLink)
        g.vendorLink->stopReader();
    g.transmitterPresent = 0;
    controller.CloseTransmitterWindows();
    if (g.vendorLink)
        g.vendorLink->releaseReaderThread();
    parts.rerouteOnDeviceChange();
    parts.offerRestartOnDeviceChange();
}

void DeviceWatch::transmitterArrived() {
    Globals& g = globals();
    delete std::exchange(g.vendorLink, nullptr);
    delete std::exchange(g.keyForwarder, nullptr);
    if (g.pcInfo->getTrayIconState() == 1)
        icon.ShowTrayIcon();
    g.transmitterPresent = 1;
    g.vendorLink = parts.makeVendorLink(transmitterFinder->getVendorHandle()).release();
    g.keyForwarder = parts.makeKeyForwarder(transmitterFinder->getConsumerHandle()).release();
    parts.rerouteOnDeviceChange();
    parts.offerRestartOnDeviceChange();
}
