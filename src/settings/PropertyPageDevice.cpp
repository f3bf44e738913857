#include "PropertyPageDevice.h"

#include "Application.h"
#include "Debug.h"
#include "DeleteDeviceDialog.h"
#include "DongleVendorCommunication.h"
#include "RenameDeviceDialog.h"
#include "resource.h"

#include <algorithm>

PropertyPageDevice::PropertyPageDevice() : fw::PropertyPage(IDD_PROPPAGE_DEVICES) {}

const fw::MessageMap* PropertyPageDevice::messageMap() const {
    using Self = PropertyPageDevice;
    static constexpr fw::MessageMapEntry entries[] = {
        fw::onCommand<&Self::OnAddDevice>(IDC_ADD_DEVICE),
        fw::onCommand<&Self::OnRename>(IDC_RENAME_DEVICE),
        fw::onCommand<&Self::OnDelete>(IDC_DELETE_DEVICE),
        fw::onNotify<&Self::OnPlaybackDeviceChanged>(CBN_SELCHANGE, IDC_PLAYBACK_COMBO),
    };
    static const fw::MessageMap map{fw::PropertyPage::messageMap(), entries};
    return &map;
}

void PropertyPageDevice::bindControls() {
    addButton.bind(window(), IDC_ADD_DEVICE);
    deleteButton.bind(window(), IDC_DELETE_DEVICE);
    renameButton.bind(window(), IDC_RENAME_DEVICE);
    playbackCombo = fw::ComboBox(window(), IDC_PLAYBACK_COMBO);
    deviceList = fw::ListBox(window(), IDC_PAIRED_LIST);
}

int PropertyPageDevice::fillDevices() {
    plat::StringArray names;
    plat::String current;
    DongleVendorCommunication* link = currentVendorLink();
    if (link)
        link->getPairedList(names);
    deviceList.resetContent();
    playbackCombo.resetContent();
    if (link)
        current = link->getCurrentDeviceName();
    for (std::size_t i = 0; i < names.size(); ++i) {
        deviceList.addString(names[i]);
        playbackCombo.addString(names[i]);
        if (names[i] == current)
            playbackCombo.setCurSel(static_cast<int>(i));
    }
    return static_cast<int>(names.size());
}

void PropertyPageDevice::DoDataExchange(bool) {
    traceEntry(u"PropertyPageDevice::DoDataExchange");
    bindControls();
    plat::desktop().setWindowText(window(), fw::loadString(IDS_PAGE_DEVICES));
    // A refresh (the transmitter reported a change) keeps the device the user has selected
    // for Rename or Delete; the first entry when there was none or it has gone.
    plat::StringArray before;
    for (int i = 0; i < deviceList.count(); ++i)
        before.push_back(deviceList.itemText(i));
    const int selected = deviceList.curSel();
    const int count = fillDevices();
    if (count > 0)
        deviceList.setCurSel(std::max(sameDeviceAs(before, selected), 0));
    deleteButton.enable(count > 0);
    renameButton.enable(count > 0);
    addButton.enable(count != kMaxDevices);
    traceExit(u"PropertyPageDevice::DoDataExchange");
}

int PropertyPageDevice::sameDeviceAs(const plat::StringArray& before, int index) const {
    if (index < 0 || static_cast<std::size_t>(index) >= before.size())
        return -1;
    const plat::String& name = before[static_cast<std::size_t>(index)];
    const auto namesake = std::count(before.begin(), before.begin() + index, name);
    for (int i = 0, seen = 0; i < deviceList.count(); ++i)
        if (deviceList.itemText(i) == name && seen++ == namesake)
            return i;
    return -1;
}

bool PropertyPageDevice::selectedDevice(int& index, plat::String& name) const {
    index = deviceList.curSel();
    if (index < 0)
        return false;
    name = deviceList.itemText(index);
    return true;
}

void PropertyPageDevice::OnAddDevice() {
    traceEntry(u"PropertyPageDevice::OnAddDevice");
    // New devices reach the list through the link's listing, which then has the sheet
    // refresh this page.
    if (DongleVendorCommunication* link = currentVendorLink())
        link->startPairing();
    traceExit(u"PropertyPageDevice::OnAddDevice");
}

void PropertyPageDevice::OnRename() {
    traceEntry(u"PropertyPageDevice::OnRename");
    int index = -1;
    plat::String name;
    if (selectedDevice(index, name)) {
        RenameDeviceDialog dialog(window());
        dialog.presentName = name;
        dialog.doModal();
        // Whatever the answer: the list as it is now, the same entry selected.
        fillDevices();
        deviceList.setCurSel(index);
    }
    traceExit(u"PropertyPageDevice::OnRename");
}

void PropertyPageDevice::OnDelete() {
    traceEntry(u"PropertyPageDevice::OnDelete");
    int index = -1;
    plat::String name;
    if (selectedDevice(index, name)) {
        DeleteDeviceDialog dialog(window());
        dialog.nameToDelete = name;
        dialog.doModal();
        // Whatever the answer: the selection stays where it was, or moves to the new last
        // entry when it was the last.
        const int count = fillDevices();
        if (count > 0)
            deviceList.setCurSel(std::min(index, count - 1));
        deleteButton.enable(count > 0);
        renameButton.enable(count > 0);
        addButton.enable(count != kMaxDevices);
    }
    traceExit(u"PropertyPageDevice::OnDelete");
}

void PropertyPageDevice::OnPlaybackDeviceChanged() {
    traceEntry(u"PropertyPageDevice::OnPlaybackDeviceChanged");
    const int chosenIndex = playbackCombo.curSel();
    if (chosenIndex < 0) {
        traceExit(u"PropertyPageDevice::OnPlaybackDeviceChanged");
        return;
    }
    const plat::String chosen = playbackCombo.itemText(chosenIndex);
    DongleVendorCommunication* link = currentVendorLink();
    // A selection the transmitter refuses snaps back to the device that is still current.
    if (!link || link->selectPairedDevice(chosen) == 0) {
        const int index = deviceList.curSel();
        fillDevices();
        deviceList.setCurSel(index);
    }
    traceExit(u"PropertyPageDevice::OnPlaybackDeviceChanged");
}
