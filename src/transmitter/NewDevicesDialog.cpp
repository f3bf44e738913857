#include "NewDevicesDialog.h"

#include "Application.h"
#include "BoxStyles.h"
#include "CMessageBox.h"
#include "Debug.h"
#include "DongleVendorCommunication.h"
#include "Globals.h"
#include "resource.h"
#include "text.h"

namespace {

constexpr std::u16string_view receiverPrefix = u"Receiver #";
constexpr std::u16string_view headphonesPrefix = u"Headphones #";
constexpr char16_t receiverText[] = u"Quorvane Wireless Music System Receiver";
constexpr char16_t headphonesText[] = u"Quorvane Wireless Headphones";

} // namespace

NewDevicesDialog::NewDevicesDialog(plat::Hwnd parent) : fw::Dialog(IDD_NEWDEVICES, parent) {}

void NewDevicesDialog::setDevices(const std::vector<PairedDevice>& devices) {
    deviceNames.clear();
    deviceAddresses.clear();
    for (const PairedDevice& d : devices) {
        deviceNames.push_back(d.name);
        deviceAddresses.push_back(d.address);
    }
    displayNames.clear();
    displayNamesBuilt = 0;
    chosen_ = -1;
}

std::optional<PairedDevice> NewDevicesDialog::chosenDevice() const {
    if (chosen_ < 0 || static_cast<std::size_t>(chosen_) >= deviceNames.size())
        return std::nullopt;
    const auto i = static_cast<std::size_t>(chosen_);
    return PairedDevice{deviceNames[i], deviceAddresses[i]};
}

plat::StringArray NewDevicesDialog::makeDisplayNames(const plat::StringArray& names) {
    plat::StringArray shown(names.size(), receiverText);
    int receivers = 0;
    int headphones = 0;
    const auto numbered = [](const char16_t* text, int n) {
        return n > 1 ? text + plat::formatText(u" (%d)", {n}) : plat::String(text);
    };
    for (std::size_t i = names.size(); i-- > 0;) {
        if (names[i].starts_with(receiverPrefix))
            shown[i] = numbered(receiverText, ++receivers);
        else if (names[i].starts_with(headphonesPrefix))
            shown[i] = numbered(headphonesText, ++headphones);
        else
            shown[i] = names[i];
    }
    return shown;
}

const fw::MessageMap* NewDevicesDialog::messageMap() const {
    using Self = NewDevicesDialog;
    // Next is the default button; IDOK (Enter where no default is found) and a double click on
    // an item choose as well. Cancel, Escape and WM_CLOSE are IDCANCEL.
    static constexpr fw::MessageMapEntry entries[] = {
        fw::onCommand<&Self::OnNext>(IDC_NEXT),
        fw::onCommand<&Self::OnNext>(IDOK),
        fw::onNotify<&Self::OnNext>(LBN_DBLCLK, IDC_NEW_DEVICE_LIST),
        fw::onMessage<&Self::OnPairingFailed>(WM_USER),
    };
    static const fw::MessageMap map{fw::Dialog::messageMap(), entries};
    return &map;
}

void NewDevicesDialog::DoDataExchange(bool saveAndValidate) {
    traceEntry(u"NewDevicesDialog::DoDataExchange");
    if (!saveAndValidate) {
        // The reader finds the dialog by this title to tell it that pairing failed.
        plat::desktop().setWindowText(window(), fw::loadString(IDS_NEW_DEVICES_TITLE));
        if (displayNamesBuilt == 0) {
            displayNames = makeDisplayNames(deviceNames);
            displayNamesBuilt = 1;
        }
        list = fw::ListBox(window(), IDC_NEW_DEVICE_LIST);
        list.resetContent();
        // The list sorts its items: each carries the index of its device.
        for (std::size_t i = 0; i < displayNames.size() && i < deviceNames.size(); ++i) {
            const int at = list.addString(displayNames[i]);
            if (at >= 0)
                list.setItemData(at, static_cast<plat::LParam>(i));
        }
        list.setCurSel(0);
    }
    traceExit(u"NewDevicesDialog::DoDataExchange");
}

void NewDevicesDialog::OnNext() {
    traceEntry(u"NewDevicesDialog::OnNext");
    const int selected = list.curSel();
    const plat::LParam data = selected >= 0 ? list.itemData(selected) : -1;
    // Nothing chosen (or an item that names no device): the dialog waits for a choice.
    if (finished_ || data < 0 || static_cast<std::size_t>(data) >= deviceAddresses.size()) {
        traceExit(u"NewDevicesDialog::OnNext");
        return;
    }
    chosen_ = static_cast<int>(data);
    if (DongleVendorCommunication* link = liveVendorLink())
        for (std::size_t i = 0; i < deviceAddresses.size(); ++i)
            if (static_cast<int>(i) != chosen_)
                link->deletePairedDevice(deviceAddresses[i]);
    finished_ = true;
    endDialog(IDOK);
    traceExit(u"NewDevicesDialog::OnNext");
}

void NewDevicesDialog::removeAllAndCancelPairing() {
    if (DongleVendorCommunication* link = liveVendorLink()) {
        for (const DeviceAddress& address : deviceAddresses)
            link->deletePairedDevice(address);
        link->sendCancelPairing();
    }
}

void NewDevicesDialog::OnCancel() {
    traceEntry(u"NewDevicesDialog::OnCancel");
    if (!finished_) {
        removeAllAndCancelPairing();
        finished_ = true;
        endDialog(IDCANCEL);
    }
    traceExit(u"NewDevicesDialog::OnCancel");
}

void NewDevicesDialog::OnPairingFailed() {
    traceEntry(u"NewDevicesDialog::OnPairingFailed");
    PairedDevices& state = globals().pairedDevices;
    if (finished_ || state.pairingFailed != 1) {
        // A failure told once this road is over (while its box is still open) goes with it.
        if (finished_)
            state.pairingFailed = 0;
        Default();
        traceExit(u"NewDevicesDialog::OnPairingFailed");
        return;
    }
    removeAllAndCancelPairing();
    finished_ = true;
    endDialog(IDCANCEL);
    state.pairingFailed = 0;
    LocalizedMessageBox(window(), fw::loadString(IDS_PAIRING_FAILED), fw::loadString(IDS_ERROR),
                        BoxStyle::Plain);
    traceExit(u"NewDevicesDialog::OnPairingFailed");
}
