// The Devices page (index 0): the remote devices paired with the transmitter, pairing a new
// one, renaming and deleting, and which device the transmitter serves. It keeps no device
// data: every fill reads the vendor link's cached list and current device, and every action
// is a vendor-link operation. List and combo box are unsorted and filled in the same order,
// so index i names the same device in both.
#pragma once

#include "ControllerParts.h"
#include "Controls.h"
#include "PropertyPage.h"

class PropertyPageDevice : public fw::PropertyPage, public SettingsPage {
public:
    PropertyPageDevice();

    // The Add button is disabled at this many paired devices.
    static constexpr int kMaxDevices = 16;

protected:
    // Fill, in both directions.
    void DoDataExchange(bool saveAndValidate) override;
    const fw::MessageMap* messageMap() const override;

    void OnAddDevice();
    void OnRename();
    void OnDelete();
    void OnPlaybackDeviceChanged();

private:
    void bindControls();
    // Empties and refills list and combo box with the paired devices, selecting the current
    // device in the combo box (the last of equal names); the number of devices.
    int fillDevices();
    // The list's selected index and its text; false when nothing is selected.
    bool selectedDevice(int& index, plat::String& name) const;
    // The list's entry for the same device as entry `index` of `before`: the same name, and
    // the same one of several namesakes; -1 when it has gone.
    int sameDeviceAs(const plat::StringArray& before, int index) const;

    fw::Button addButton;
    fw::Button deleteButton;
    fw::Button renameButton;
    fw::ComboBox playbackCombo;
    fw::ListBox deviceList;
};
