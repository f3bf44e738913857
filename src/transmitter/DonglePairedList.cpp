#include "DongleVendorCommunication.h"

#include "Application.h"
#include "BoxStyles.h"
#include "CMessageBox.h"
#include "Debug.h"
#include "DeviceConnect.h"
#include "Globals.h"
#include "resource.h"
#include "text.h"

#include <optional>
#include <vector>

namespace {

constexpr std::uint32_t deletePauseMs = 500;

} // namespace

int DongleVendorCommunication::getPairedList(plat::StringArray& out) {
    traceEntry(u"DongleVendorCommunication::getPairedList");
    out = globals().pairedDevices.names();
    traceExit(u"DongleVendorCommunication::getPairedList");
    return 1;
}

plat::String DongleVendorCommunication::getCurrentDeviceName() {
    traceEntry(u"DongleVendorCommunication::getCurrentDeviceName");
    plat::String name = globals().pairedDevices.currentName();
    traceExit(u"DongleVendorCommunication::getCurrentDeviceName");
    return name;
}

int DongleVendorCommunication::indexOfDevice(plat::String name) {
    traceEntry(u"DongleVendorCommunication::indexOfDevice");
    const std::int32_t index = globals().pairedDevices.indexOf(name);
    traceExit(u"DongleVendorCommunication::indexOfDevice");
    return index;
}

// The list's lock is taken for each look-up and change, never across the write.
int DongleVendorCommunication::selectPairedDevice(plat::String name) {
    traceEntry(u"DongleVendorCommunication::selectPairedDevice");
    PairedDevices& list = globals().pairedDevices;
    const DeviceAddress address = list.addressAt(indexOfDevice(name));
    setCommand(vendor::Command::SelectDevice, name, &address);
    const int result = writeCommand();
    if (result == 1)
        list.setCurrentName(name);
    traceExit(u"DongleVendorCommunication::selectPairedDevice");
    return result;
}

int DongleVendorCommunication::selectPairedDevice(const DeviceAddress& address,
                                                  const plat::String& name) {
    traceEntry(u"DongleVendorCommunication::selectPairedDevice");
    setCommand(vendor::Command::SelectDevice, name, &address);
    const int result = writeCommand();
    if (result == 1)
        globals().pairedDevices.setCurrentName(name);
    traceExit(u"DongleVendorCommunication::selectPairedDevice");
    return result;
}

int DongleVendorCommunication::renamePairedDevice(const DeviceAddress& address,
                                                  const plat::String& newName) {
    traceEntry(u"DongleVendorCommunication::renamePairedDevice");
    PairedDevices& list = globals().pairedDevices;
    int result = 0;
    if (list.findAddress(address)) {
        setCommand(vendor::Command::SetDeviceName, newName, &address);
        result = writeCommand();
        if (result == 1)
            list.renameAt(address, newName);
    }
    traceExit(u"DongleVendorCommunication::renamePairedDevice");
    return result;
}

int DongleVendorCommunication::renamePairedDevice(plat::String oldName, plat::String newName) {
    traceEntry(u"DongleVendorCommunication::renamePairedDevice");
    PairedDevices& list = globals().pairedDevices;
    const DeviceAddress address = list.addressAt(indexOfDevice(oldName));
    setCommand(vendor::Command::SetDeviceName, newName, &address);
    if (writeCommand() != 1) {
        traceExit(u"DongleVendorCommunication::renamePairedDevice");
        return 0;
    }
    list.rename(oldName, newName);
    traceExit(u"DongleVendorCommunication::renamePairedDevice");
    return 1;
}

template <class After>
int DongleVendorCommunication::sendDelete(const plat::String& name, const DeviceAddress& address,
                                          After after) {
    setCommand(vendor::Command::DeleteDevice, name, &address);
    const plat::String flags =
        plat::formatText(u"Flags = %d", {int{outputReport[vendor::kOutCode]}});
    WriteLog(flags, LogLevel::Log);
    const int result = writeCommand();
    WriteLog(flags, LogLevel::Log);
    after(result == 1);
    return result;
}

int DongleVendorCommunication::deletePairedDevice(plat::String name) {
    traceEntry(u"DongleVendorCommunication::deletePairedDevice");
    PairedDevices& list = globals().pairedDevices;
    const DeviceAddress address = list.addressAt(indexOfDevice(name));
    const int result =
        sendDelete(name, address, [&](bool written) { list.afterDelete(name, written); });
    traceExit(u"DongleVendorCommunication::deletePairedDevice");
    plat::threads().sleep(deletePauseMs);
    return result;
}

int DongleVendorCommunication::deletePairedDevice(const DeviceAddress& address) {
    traceEntry(u"DongleVendorCommunication::deletePairedDevice");
    PairedDevices& list = globals().pairedDevices;
    const std::optional<PairedDevice> device = list.findAddress(address);
    if (!device) {
        traceExit(u"DongleVendorCommunication::deletePairedDevice");
        return 0;
    }
    const int result = sendDelete(device->name, address, [&](bool written) {
        list.afterDeleteAt(address, device->name, written);
    });
    traceExit(u"DongleVendorCommunication::deletePairedDevice");
    plat::threads().sleep(deletePauseMs);
    return result;
}

plat::String DongleVendorCommunication::getDatabaseDump() {
    traceEntry(u"DongleVendorCommunication::getDatabaseDump");
    const std::vector<PairedDevice> devices = globals().pairedDevices.devices();
    plat::String dump =
        plat::formatText(u"Total Entries in database = %d", {static_cast<int>(devices.size())});
    int position = 0;
    for (const PairedDevice& d : devices) {
        const DeviceAddress& a = d.address;
        dump += plat::formatText(u"\n%d - %s - %02X-%02X-%02X-%02X-%02X-%02X",
                                 {++position, d.name, a[0], a[1], a[2], a[3], a[4], a[5]});
    }
    traceExit(u"DongleVendorCommunication::getDatabaseDump");
    return dump;
}

// ==================================================================== for the user interface

DongleVendorCommunication* currentVendorLink() {
    Globals* g = currentGlobals();
    return g ? dynamic_cast<DongleVendorCommunication*>(g->vendorLink) : nullptr;
}

DongleVendorCommunication* liveVendorLink() {
    Globals* g = currentGlobals();
    return g && g->transmitterPresent == 1 ? currentVendorLink() : nullptr;
}

int applyDeviceNameRules(plat::Hwnd owner, const plat::String& entered,
                         const plat::String& presentName, plat::String* accepted,
                         const DeviceAddress* address) {
    DongleVendorCommunication* link = liveVendorLink();
    plat::StringArray names;
    if (link)
        link->getPairedList(names);
    const NameCheck check = checkDeviceName(entered, presentName, names);
    if (accepted)
        *accepted = check.name;
    switch (check.verdict) {
    case NameVerdict::Empty:
        LocalizedMessageBox(owner, fw::loadString(IDS_NAME_EMPTY_TEXT),
                            fw::loadString(IDS_NAME_EMPTY_CAPTION), BoxStyle::Notice);
        return 0;
    case NameVerdict::Unchanged:
        return 1;
    case NameVerdict::TooLong:
        LocalizedMessageBox(owner,
                            FormatPlaceholders(1, fw::loadString(IDS_NAME_TOO_LONG_TEXT), u"32"),
                            fw::loadString(IDS_NAME_TOO_LONG_CAPTION), BoxStyle::Notice);
        return 0;
    case NameVerdict::Taken:
        LocalizedMessageBox(owner,
                            FormatPlaceholders(1, fw::loadString(IDS_NAME_TAKEN_TEXT), check.name),
                            fw::loadString(IDS_NAME_TAKEN_CAPTION), BoxStyle::Notice);
        return 0;
    case NameVerdict::Rename:
        if (link && address)
            link->renamePairedDevice(*address, check.name);
        else if (link)
            link->renamePairedDevice(presentName, check.name);
        return 1;
    }
    return 0;
}
