// The controller's watch over the transmitter: it looks for it at start, follows the device
// notifications of its two HID interfaces, and makes and discards the vendor link and the key
// forwarder as it comes and goes.
#pragma once

#include "Collaborators.h"
#include "types.h"

#include <cstdint>
#include <memory>

class CKTRSystemTrayApplicationDlg;
class NotificationIcon;

// The timer that checks for the transmitter after a lone device notification, and its delay.
inline constexpr std::uintptr_t kLoneNoticeTimerId = 2;
inline constexpr std::uint32_t kLoneNoticeWaitMs = 1000;

class DeviceWatch {
public:
    DeviceWatch(CKTRSystemTrayApplicationDlg& controller, NotificationIcon& icon,
                Collaborators& parts);
    ~DeviceWatch();
    DeviceWatch(const DeviceWatch&) = delete;
    DeviceWatch& operator=(const DeviceWatch&) = delete;

    void makeFinder();
    // At start: a transmitter already in gets its icon, vendor link and key forwarder.
    void lookAtStart();
    // WM_DEVICECHANGE. True when it was handled; false passes it to the default processing.
    bool onDeviceChange(plat::WParam event, plat::LParam lParam);
    // The lone-notice timer fired.
    void onLoneNoticeTimer();

private:
    // Looks for the transmitter and follows its arrival or removal; the notice count starts
    // again.
    void checkTransmitter();
    void transmitterGone();
    void transmitterArrived();

    CKTRSystemTrayApplicationDlg& controller;
    NotificationIcon& icon;
    Collaborators& parts;
    std::unique_ptr<TransmitterFinder> transmitterFinder;
};
