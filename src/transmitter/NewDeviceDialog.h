// The naming dialog (dialog 106, "New Auravo Device"): one new remote, its reported name ready
// for editing. Pair applies the device name rules (a refused name keeps the dialog open), then
// makes the device the current one; Cancel removes it from the transmitter again. A pairing
// failure, told by the reader or found when Pair is pressed, removes it and says so.
#pragma once

#include "Controls.h"
#include "Dialog.h"
#include "PairedDevices.h"

#include <cstdint>

class NewDeviceDialog : public fw::Dialog {
public:
    explicit NewDeviceDialog(plat::Hwnd parent = 0);

    plat::String deviceName;       // as the transmitter reported it
    DeviceAddress deviceAddress{}; // the device's own, which its removal goes by
    std::uint8_t secondStep = 0;   // 1 after the choosing dialog: no "discovered" sentence

protected:
    void DoDataExchange(bool saveAndValidate) override;
    const fw::MessageMap* messageMap() const override;

    void OnPair();
    void OnCancel() override;
    // WM_USER from the reader: pairing failed when pairingFailed is set.
    void OnPairingFailed();

private:
    // The device leaves the transmitter again, the run ends and the user is told.
    void pairingFailed();

    fw::Control nameEdit;
    bool finished_ = false;
};
