#include "DongleVendorCommunication.h"

#include "Application.h"
#include "Debug.h"
#include "DeviceConnect.h"
#include "Globals.h"
#include "TrayIcon.h"
#include "VendorNotices.h"
#include "WindowMessages.h"
#include "resource.h"
#include "text.h"

#include <algorithm>
#include <utility>

namespace {

constexpr std::uint32_t retryPauseMs = 2000;
// The pause is slept in slices so that a reader asked to stop leaves within one slice
// instead of holding up the write that waits for it.
constexpr std::uint32_t retrySliceMs = 100;
// How long one wait for the reader to leave lasts before its read is cancelled again: a
// reader that was between two reads when it was cancelled may have begun a new one.
constexpr std::uint32_t leaveWaitMs = 100;

} // namespace

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
