#include "DongleVendorCommunication.h"

#include "Application.h"
#include "BoxStyles.h"
#include "CMessageBox.h"
#include "Debug.h"
#include "DeviceConnect.h"
#include "Globals.h"
#include "NewDeviceDialog.h"
#include "NewDevicesDialog.h"
#include "PairingWait.h"
#include "TrayIcon.h"
#include "WindowMessages.h"
#include "resource.h"
#include "text.h"

#include <algorithm>
#include <optional>
#include <utility>

namespace {

constexpr std::uint32_t retryPauseMs = 2000;
// The pause is slept in slices so that a reader asked to stop leaves within one slice
// instead of holding up the write that waits for it.
constexpr std::uint32_t retrySliceMs = 100;
// How long one wait for the reader to leave lasts before its read is cancelled again: a
// reader that was between two reads when it was cancelled may have begun a new one.
constexpr std::uint32_t leaveWaitMs = 100;
constexpr std::uint32_t deletePauseMs = 500;

void postRequest(plat::Hwnd window, plat::WParam code) {
    plat::desktop().postMessage(window, WM_USER, code, 0);
}

// A notification whose window does not exist is not sent; nothing is queued for later.
void postIfOpen(std::uint32_t titleId, plat::WParam code) {
    if (const plat::Hwnd window = findTitled(titleId))
        postRequest(window, code);
}

// PairingStarted with no pairing dialog open: the settings open if they are not, and they run
// the wait.
void requestPairingWait() {
    if (const plat::Hwnd controller = findTitled(IDS_CONTROLLER_TITLE)) {
        if (!findTitled(IDS_SETTINGS_TITLE))
            postRequest(controller, ControllerRequest::OpenSettings);
        postRequest(controller, ControllerRequest::ForwardPairing);
    }
}

// What a pairing listing brought, shown to the user: nothing new, one device to name, or
// several to choose one from and then name it. `base` is the listing's base, `devices` the
// list now.
void showPairingResult(std::int32_t base, const std::vector<PairedDevice>& devices) {
    const auto count = static_cast<std::int32_t>(devices.size());
    if (base == count) {
        LocalizedMessageBox(0, fw::loadString(IDS_NO_NEW_DEVICE_TEXT),
                            fw::loadString(IDS_NO_NEW_DEVICE_CAPTION), BoxStyle::NothingNew);
        return;
    }
    // A list cleared since the listing began has nothing new to show.
    if (base < 0 || base > count)
        return;
    const std::vector<PairedDevice> fresh(devices.begin() + base, devices.end());
    PairedDevice toName = fresh.front();
    bool secondStep = false;
    if (fresh.size() >= 2) {
        NewDevicesDialog choosing;
        choosing.setDevices(fresh);
        // Only the device the user kept is named, and only if it is still there.
        if (choosing.doModal() != IDOK)
            return;
        const std::optional<PairedDevice> chosen = choosing.chosenDevice();
        const std::optional<PairedDevice> kept =
            chosen ? globals().pairedDevices.findAddress(chosen->address) : std::nullopt;
        if (!kept)
            return;
        toName = *kept;
        secondStep = true;
    }
    NewDeviceDialog naming;
    naming.deviceName = toName.name;
    naming.deviceAddress = toName.address;
    naming.secondStep = secondStep ? 1 : 0;
    naming.doModal();
}

} // namespace

// The program's windows are found by their exact title; a title that cannot be loaded
// finds nothing, since an empty title would match any untitled window.
plat::Hwnd findTitled(std::uint32_t titleId) {
    const plat::String title = fw::loadString(titleId);
    if (title.empty())
        return 0;
    return plat::desktop().findWindow(nullptr, &title);
}

DongleVendorCommunication::DongleVendorCommunication(plat::Handle vendorHandle)
    : deviceHandle(vendorHandle) {
    traceEntry(u"DongleVendorCommunication::DongleVendorCommunication");
    if (!plat::hid().getCaps(deviceHandle, caps))
        caps = {};
    inputReport.assign(std::max<std::size_t>(vendor::kReportSize, caps.inputReportByteLength),
                       0xFF);
    outputReport.assign(std::max<std::size_t>(vendor::kReportSize, caps.outputReportByteLength),
                        0);
    globals().pairedDevices.reset();
    readerThread_ = 0;
    setCommand(vendor::Command::StartupFirst, {}, nullptr);
    writeCommand();
    setCommand(vendor::Command::StartupSecond, {}, nullptr);
    writeCommand();
    traceExit(u"DongleVendorCommunication::DongleVendorCommunication");
}

DongleVendorCommunication::~DongleVendorCommunication() {
    traceEntry(u"DongleVendorCommunication::~DongleVendorCommunication");
    // The reader works on this object: it leaves before anything here goes.
    endReader();
    Globals& g = globals();
    g.pairedDevices.forget();
    // The wait's run owns the dialog and releases it once its modal loop returns.
    if (DeviceConnect* wait = std::exchange(g.pairingWaitDialog, nullptr))
        wait->endWait();
    if (deviceHandle)
        plat::hid().close(deviceHandle);
    traceExit(u"DongleVendorCommunication::~DongleVendorCommunication");
}

// ==================================================================== commands

void DongleVendorCommunication::setCommand(std::uint8_t code, plat::String name,
                                           const DeviceAddress* address) {
    traceEntry(u"DongleVendorCommunication::setCommand");
    vendor::encodeCommand(std::span<std::uint8_t, vendor::kReportSize>(outputReport.data(),
                                                                       vendor::kReportSize),
                          code, name, address);
    traceExit(u"DongleVendorCommunication::setCommand");
}

int DongleVendorCommunication::writeCommand() {
    traceEntry(u"DongleVendorCommunication::writeCommand");
    WriteLog(plat::formatText(u"Flags in write = %d", {int{outputReport[vendor::kOutCode]}}),
             LogLevel::Log);
    if (readerThread_) {
        // Logged before the reader is woken, so that its last lines follow this one.
        WriteLog(u"Terminating thread in write", LogLevel::Log);
        endReader();
    }
    std::uint32_t written = 0;
    // outputReport holds at least the declared length (see the constructor).
    plat::hid().write(deviceHandle, outputReport.data(), caps.outputReportByteLength, written);
    if (!readerThread_)
        startReader();
    traceExit(u"DongleVendorCommunication::writeCommand");
    return written != 0 ? 1 : 0;
}

int DongleVendorCommunication::sendSimple(std::uint8_t code) {
    setCommand(code, {}, nullptr);
    return writeCommand();
}

void DongleVendorCommunication::sendHostExit() {
    traceEntry(u"DongleVendorCommunication::sendHostExit");
    sendSimple(vendor::Command::HostExit);
    traceExit(u"DongleVendorCommunication::sendHostExit");
}

int DongleVendorCommunication::sendMenuOpening() {
    traceEntry(u"DongleVendorCommunication::sendMenuOpening");
    const int result = sendSimple(vendor::Command::MenuOpening);
    traceExit(u"DongleVendorCommunication::sendMenuOpening");
    return result;
}

int DongleVendorCommunication::sendListingDone() {
    traceEntry(u"DongleVendorCommunication::sendListingDone");
    const int result = sendSimple(vendor::Command::ListingDone);
    traceExit(u"DongleVendorCommunication::sendListingDone");
    return result;
}

int DongleVendorCommunication::sendCancelPairing() {
    traceEntry(u"DongleVendorCommunication::sendCancelPairing");
    const int result = sendSimple(vendor::Command::CancelPairing);
    traceExit(u"DongleVendorCommunication::sendCancelPairing");
    return result;
}

int DongleVendorCommunication::startPairing() {
    traceEntry(u"DongleVendorCommunication::startPairing");
    // The settings stay usable under a pairing dialog, which has no owner: a second Add
    // Device shows the pairing already under way.
    if (bringPairingDialogForward() || sendSimple(vendor::Command::StartPairing) != 1) {
        traceExit(u"DongleVendorCommunication::startPairing");
        return 0;
    }
    runPairingWait(0, BoxStyle::Plain);
    traceExit(u"DongleVendorCommunication::startPairing");
    return 1;
}

// ==================================================================== the reader

void DongleVendorCommunication::startReader() {
    stopping = false;
    readerThread_ = plat::threads().startThread([this] { readvendorcommand(); });
}

void DongleVendorCommunication::endReader() {
    if (!readerThread_)
        return;
    stopping = true;
    plat::Hid& hid = plat::hid();
    plat::Threads& threads = plat::threads();
    // cancelRead only ends a read pending at that moment, so a reader caught between two
    // reads is cancelled again; it sees `stopping` before its next read in any case.
    hid.cancelRead(deviceHandle);
    while (threads.waitForSingleObject(readerThread_, leaveWaitMs) == WAIT_TIMEOUT)
        hid.cancelRead(deviceHandle);
    threads.closeHandle(readerThread_);
    readerThread_ = 0;
}

void DongleVendorCommunication::stopReader() {
    traceEntry(u"DongleVendorCommunication::stopReader");
    if (readerThread_) {
        stopping = true;
        plat::hid().cancelRead(deviceHandle);
    }
    traceExit(u"DongleVendorCommunication::stopReader");
}

void DongleVendorCommunication::releaseReaderThread() {
    traceEntry(u"DongleVendorCommunication::releaseReaderThread");
    endReader();
    traceExit(u"DongleVendorCommunication::releaseReaderThread");
}

int DongleVendorCommunication::readReport() {
    traceEntry(u"DongleVendorCommunication::readReport");
    std::fill(inputReport.begin(), inputReport.end(), std::uint8_t{0xFF});
    const std::uint32_t length = caps.inputReportByteLength; // within inputReport
    std::uint32_t got = 0;
    std::uint32_t error = 0;
    plat::hid().read(deviceHandle, inputReport.data(), length, got, error);
    got = std::min(got, length);
    traceExit(u"DongleVendorCommunication::readReport");
    return got != 0 && inputReport[0] == vendor::kReportId ? 1 : 0;
}

vendor::DecodedReport DongleVendorCommunication::parseReport() {
    traceEntry(u"DongleVendorCommunication::parseReport");
    vendor::DecodedReport report = vendor::decodeReport(
        std::span<const std::uint8_t, vendor::kReportSize>(inputReport.data(),
                                                           vendor::kReportSize));
    traceExit(u"DongleVendorCommunication::parseReport");
    return report;
}

void DongleVendorCommunication::pauseAfterFailedRead() {
    plat::Threads& threads = plat::threads();
    for (std::uint32_t waited = 0;
         waited < retryPauseMs && !stopping && !threads.processEnding();
         waited += retrySliceMs)
        threads.sleep(retrySliceMs);
}

void DongleVendorCommunication::readvendorcommand() {
    WriteLog(u"Entering readvendorcommand thread", LogLevel::Log);
    Globals& g = globals();
    plat::Threads& threads = plat::threads();
    while (g.transmitterPresent == 1 && !stopping && !threads.processEnding()) {
        WriteLog(u"in readvendorcommand thread", LogLevel::Log);
        const int status = readReport();
        WriteLog(plat::formatText(u"status =  %d", {status}), LogLevel::Log);
        if (status != 1) {
            // A read cancelled to end this reader is not a failure to retry.
            if (!stopping)
                pauseAfterFailedRead();
            continue;
        }
        // Handled to the end even when a stop was asked for meanwhile.
        handleReport(parseReport());
    }
    WriteLog(u"Exiting readvendorcommand thread", LogLevel::Log);
}

void DongleVendorCommunication::handleReport(const vendor::DecodedReport& report) {
    Globals& g = globals();
    switch (vendor::replyKind(report.flags)) {
    case vendor::ReplyKind::PairingFailed: {
        plat::Hwnd dialog = findTitled(IDS_NEW_DEVICE_TITLE);
        if (!dialog)
            dialog = findTitled(IDS_NEW_DEVICES_TITLE);
        if (dialog) {
            // Set before the message, which the dialog handles by reading it.
            g.pairedDevices.pairingFailed = 1;
            postRequest(dialog, NewDeviceRequest::PairingFailed);
        }
        break;
    }
    case vendor::ReplyKind::ListCleared:
        g.pairedDevices.clear();
        postIfOpen(IDS_SETTINGS_TITLE, SheetRequest::RefreshDevices);
        postIfOpen(IDS_PAIRING_WAIT_TITLE, PairingWaitRequest::TransmitterAnswered);
        break;
    case vendor::ReplyKind::PairingStarted:
        // A pairing dialog is open already: the wait or the naming dialog (one title), or the
        // choosing dialog. The user interface tells them apart.
        if (findTitled(IDS_NEW_DEVICE_TITLE) || findTitled(IDS_NEW_DEVICES_TITLE))
            postIfOpen(IDS_CONTROLLER_TITLE, ControllerRequest::PairingUnderDialog);
        else
            requestPairingWait();
        break;
    case vendor::ReplyKind::FirmwareVersion:
        g.firmwareVersion.set(vendor::firmwareText(report));
        break;
    case vendor::ReplyKind::LinkLost:
        SetTrayIconImage(false);
        break;
    case vendor::ReplyKind::CurrentDevice:
        g.pairedDevices.setCurrentName(report.name);
        // A short report leaves byte 137 at 0xFF: not linked.
        SetTrayIconImage(report.linkState == 0);
        postIfOpen(IDS_SETTINGS_TITLE, SheetRequest::RefreshDevices);
        break;
    case vendor::ReplyKind::ListingEntry:
        receiveListingEntry(report);
        break;
    }
}

void DongleVendorCommunication::receiveListingEntry(const vendor::DecodedReport& report) {
    const PairedDevices::ListingStep step = globals().pairedDevices.receiveListingEntry(
        report.count, report.name, report.address, report.flags);
    // Any listing ends the pairing wait.
    postIfOpen(IDS_PAIRING_WAIT_TITLE, PairingWaitRequest::TransmitterAnswered);
    if (step.complete)
        postIfOpen(IDS_CONTROLLER_TITLE, ControllerRequest::ListingComplete);
}

// ==================================================================== listings and the list

void DongleVendorCommunication::processNewDevices() {
    traceEntry(u"DongleVendorCommunication::processNewDevices");
    Globals& g = globals();
    PairedDevices& list = g.pairedDevices;
    if (list.orderListingIfNotPairing() == 1) {
        // An ordinary listing, also one that completes while a pairing result is shown (the
        // transmitter unplugged and back under it).
        postIfOpen(IDS_SETTINGS_TITLE, SheetRequest::RefreshDevices);
        sendListingDone();
        traceExit(u"DongleVendorCommunication::processNewDevices");
        return;
    }
    // The pairing dialogs run modally inside this call, and the controller serves listings
    // meanwhile: a pairing listing that completes under them (a remote paired while the user
    // chooses) is not a second result to show over the first. Its devices stay in the list as
    // the transmitter named them; the outer call ends the pairing state.
    if (g.pairingResultShown) {
        postIfOpen(IDS_SETTINGS_TITLE, SheetRequest::RefreshDevices);
        traceExit(u"DongleVendorCommunication::processNewDevices");
        return;
    }
    // A failure reported before this road belongs to an earlier one.
    list.pairingFailed = 0;
    g.pairingResultShown = true;
    showPairingResult(list.listingBase(), list.devices());
    g.pairingResultShown = false;
    postIfOpen(IDS_SETTINGS_TITLE, SheetRequest::RefreshDevices);
    list.setPairingIdle();
    traceExit(u"DongleVendorCommunication::processNewDevices");
}

void DongleVendorCommunication::pairingStartedUnderDialog() {
    traceEntry(u"DongleVendorCommunication::pairingStartedUnderDialog");
    const Globals& g = globals();
    if (g.pairingWaitDialog || g.transmitterPresent != 1) {
        // The wait is watching for this; or the transmitter has gone since.
    } else if (g.pairingResultShown) {
        bringPairingDialogForward();
        sendCancelPairing();
    } else {
        requestPairingWait();
    }
    traceExit(u"DongleVendorCommunication::pairingStartedUnderDialog");
}

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
