// The choosing dialog (dialog 111, "New Auravo Devices"): the transmitter paired more than one
// new remote at once, and the user keeps one of them. Receivers and headphones that still bear
// their default names are shown under the product's own names, numbered when there are several.
// Next removes every other new device from the transmitter again; Cancel, or a pairing failure,
// removes them all and stops the pairing.
//
// The devices are told apart by the list items' data, not by their texts: two devices may be
// shown alike (two remotes with the same name), and Next keeps exactly the one chosen.
#pragma once

#include "Controls.h"
#include "Dialog.h"
#include "PairedDevices.h"

#include <cstdint>
#include <optional>
#include <vector>

class NewDevicesDialog : public fw::Dialog {
public:
    explicit NewDevicesDialog(plat::Hwnd parent = 0);

    // The new devices in list order (set before the run).
    void setDevices(const std::vector<PairedDevice>& devices);
    // The device kept by Next; nothing before that, and after Cancel.
    std::optional<PairedDevice> chosenDevice() const;

    // One display text per device name. Visited from the last device to the first, the n-th
    // default-named receiver (or headphones) is shown as the product's receiver (headphones)
    // text, followed by " (n)" from the second on; other devices keep their names.
    static plat::StringArray makeDisplayNames(const plat::StringArray& names);

    plat::StringArray deviceNames;
    std::vector<DeviceAddress> deviceAddresses; // parallel to deviceNames
    plat::StringArray displayNames;             // parallel to deviceNames
    std::uint8_t displayNamesBuilt = 0;

protected:
    void DoDataExchange(bool saveAndValidate) override;
    const fw::MessageMap* messageMap() const override;

    void OnNext();
    void OnCancel() override;
    // WM_USER from the reader: pairing failed when pairingFailed is set.
    void OnPairingFailed();

private:
    // Every new device leaves the transmitter again, and pairing stops.
    void removeAllAndCancelPairing();

    fw::ListBox list;
    int chosen_ = -1;
    bool finished_ = false;
};
