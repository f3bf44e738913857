// The link to the transmitter's vendor collection. Every request is one output report
// written on the caller's (the user interface's) thread; every answer and event is one input
// report read by the link's reader thread, which updates the paired-device state and the
// firmware version, changes the tray icon and tells the windows concerned by posting them
// WM_USER, finding each by its title.
//
// Reads and writes never overlap. Before each write the link ends its reader: it asks it to
// stop, cancels the pending read (cancelRead returns once the read has ended) and waits for
// the thread to leave; a report the reader is handling is handled to the end first. After
// the write a fresh reader waits for the answer. No thread is ever terminated. The reader
// works on its own link object rather than polling the process-wide vendorLink, so it never
// has to wait for the controller to publish the link; the destructor joins it.
#pragma once

#include "ControllerParts.h"
#include "PairedDevices.h"
#include "VendorProtocol.h"
#include "ports.h"
#include "types.h"

#include <atomic>
#include <cstdint>
#include <vector>

class DongleVendorCommunication : public VendorLink {
public:
    // Reads the interface's capabilities, resets the process-wide paired-device state and
    // sends StartupFirst and StartupSecond; the first write starts the reader.
    explicit DongleVendorCommunication(plat::Handle vendorHandle);
    // Joins the reader, forgets the paired-device state, ends a pairing wait still registered
    // and closes the handle. Delete a link while the platform that opened its handle is
    // installed.
    ~DongleVendorCommunication() override;
    DongleVendorCommunication(const DongleVendorCommunication&) = delete;
    DongleVendorCommunication& operator=(const DongleVendorCommunication&) = delete;

    // ---- VendorLink
    void sendHostExit() override;
    // A listing is complete (WM_USER 0 to the controller). One caused by pairing shows what it
    // brought: "No new device found", or the choosing and naming dialogs. Those run modally, and
    // the controller may replace this link meanwhile (the transmitter unplugged and back):
    // after them nothing of this object is used.
    void processNewDevices() override;
    // The transmitter has gone: the reader is asked to stop and its read is cancelled; it
    // leaves without waiting the retry pause. Returns at once.
    void stopReader() override;
    // Waits for that reader to have left (it has nothing left to block on), then closes its
    // handle and sets readerThread to 0.
    void releaseReaderThread() override;
    // Pairing started under a pairing dialog. Under the wait nothing happens: the wait is
    // watching for it. Under the choosing or naming dialog (the last pairing's result) the
    // transmitter would go on pairing with nobody watching, until any remote's Connect press
    // brought a naming dialog from nowhere: it is told CancelPairing at once, and the open
    // dialog comes to the front. Once that dialog has gone, as PairingStarted with none open.
    void pairingStartedUnderDialog() override;

    // ---- commands
    void setCommand(std::uint8_t code, plat::String name, const DeviceAddress* address);
    // 1 when bytes were written, else 0. A fresh reader is started in either case.
    int writeCommand();
    int sendMenuOpening();
    int sendListingDone();
    int sendCancelPairing();
    // Add Device: StartPairing (0x04), then the pairing wait with its outcome told in boxes
    // that have no owner. 0 when StartPairing could not be written (nothing shown), or when a
    // pairing dialog is open already (that one comes to the front, nothing is sent); else 1
    // once the wait is over. Like processNewDevices, it uses nothing of this object after the
    // wait.
    int startPairing();

    // ---- the reader's side
    // Reads one input report into the buffer filled with 0xFF first; 1 for report id 2.
    int readReport();
    vendor::DecodedReport parseReport();

    // ---- the paired-device list (user-interface thread)
    int getPairedList(plat::StringArray& out);
    plat::String getCurrentDeviceName();
    int indexOfDevice(plat::String name);
    int selectPairedDevice(plat::String name);
    int renamePairedDevice(plat::String oldName, plat::String newName);
    // The same for exactly the device with this address, whatever names others share with it
    // (a new device may report the name of an older one). Selecting sends `name`, and makes it
    // the current name once written; renaming renames that device in the list. Rename sends
    // nothing and returns 0 when no device has the address.
    int selectPairedDevice(const DeviceAddress& address, const plat::String& name);
    int renamePairedDevice(const DeviceAddress& address, const plat::String& newName);
    int deletePairedDevice(plat::String name);
    // The same for exactly the device with this address, whatever names others share with it:
    // its name and address go out, and that entry leaves the list. 0 without a command when no
    // device has the address.
    int deletePairedDevice(const DeviceAddress& address);
    plat::String getDatabaseDump();

    // The current reader thread's handle; 0 when none runs.
    plat::Handle readerThread() const { return readerThread_; }
    const plat::HidCaps& capabilities() const { return caps; }

private:
    int sendSimple(std::uint8_t code);
    // DeleteDevice for `name` at `address`, then the list's bookkeeping through `after`, and
    // the pause the transmitter needs between deletions.
    template <class After>
    int sendDelete(const plat::String& name, const DeviceAddress& address, After after);
    void startReader();
    // Stops the current reader (see the header comment) and closes its handle.
    void endReader();
    void readvendorcommand();
    void handleReport(const vendor::DecodedReport& report);
    void receiveListingEntry(const vendor::DecodedReport& report);
    // The 2000 ms pause after a failed read, cut short when the reader is asked to stop.
    void pauseAfterFailedRead();

    plat::Handle deviceHandle = 0;
    plat::HidCaps caps;
    // At least 138 bytes, and at least the lengths the interface declares (16-bit values).
    std::vector<std::uint8_t> inputReport;
    std::vector<std::uint8_t> outputReport;
    plat::Handle readerThread_ = 0;
    std::atomic<bool> stopping{false};
};

// The link the controller has published, as the user interface reaches it; null when none.
DongleVendorCommunication* currentVendorLink();
// The same while the transmitter is present; null once it has gone, when the link stays
// published with a dead handle. The pairing dialogs close on removal and send nothing then.
DongleVendorCommunication* liveVendorLink();

// The program's window with this title from the string table (FindWindowW by title only);
// 0 when none, or when the title cannot be loaded.
plat::Hwnd findTitled(std::uint32_t titleId);

// The device name rules for a dialog that confirms `entered` as the new name of the device
// now called `presentName`: a refused name is explained in a message box owned by `owner`
// (strings 133/134, 129/130, 131/132; style 0x2040) and returns 0, and the dialog stays open.
// An accepted name returns 1; if it differs from the present one the device is renamed
// through the current link (the rename's result is not shown): the device with `address`
// when one is given, else the one named `presentName`. `accepted` receives the trimmed name.
int applyDeviceNameRules(plat::Hwnd owner, const plat::String& entered,
                         const plat::String& presentName, plat::String* accepted = nullptr,
                         const DeviceAddress* address = nullptr);
