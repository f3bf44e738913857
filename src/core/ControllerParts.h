// The pieces of other subsystems that the tray controller drives, each behind the few
// operations the controller calls. The controller's own behaviour (when to look for the
// transmitter, what to tear down and in which order) lives in the controller; these only
// do the work. Declared here, below every layer that implements one, so that each piece
// implements its interface without seeing the controller; the factory that makes the real
// classes is the controller's (Collaborators.h).
#pragma once

#include "types.h"

#include <cstdint>

// Finds the transmitter's two HID interfaces and opens those of the current transmitter.
// Implemented by DongleVerification (transmitter/). The controller owns one for its life.
class TransmitterFinder {
public:
    virtual ~TransmitterFinder() = default;
    // 1 when a transmitter's interfaces are open and current after this call, else 0.
    virtual int findDongle() = 0;
    virtual plat::Handle getVendorHandle() = 0;
    virtual plat::Handle getConsumerHandle() = 0;
};

// The link to the transmitter's vendor collection. Implemented by DongleVendorCommunication
// (transmitter/): constructing it on the vendor handle starts its reader thread.
class VendorLink {
public:
    virtual ~VendorLink() = default;
    // Vendor command 0x0C, HostExit.
    virtual void sendHostExit() = 0;
    // Runs the new-device dialogs once a listing from the transmitter is complete.
    virtual void processNewDevices() = 0;
    // The transmitter has gone: ends the reader at once without terminating any thread. Its
    // pending read is cancelled and it leaves its loop, holding no lock and leaving no report
    // half sent. Does not wait for the thread to finish its last steps.
    virtual void stopReader() = 0;
    // After stopReader: closes that thread's handle and sets readerThread to 0, so that no
    // later command on this link ends or closes that thread again.
    virtual void releaseReaderThread() = 0;
    // The transmitter started pairing while a pairing dialog of the program was open (the
    // wait, or the choosing or naming dialog: the reader cannot tell the wait from the naming
    // dialog, which share their title). Nothing by default.
    virtual void pairingStartedUnderDialog() {}
};

// Forwards the remote devices' media keys to players. Implemented by ConsumerPageRead
// (keys/): constructing it on the consumer-control handle starts its key thread. The
// controller deletes it on removal and at exit, so its destructor must stop that thread
// (cancel its read, join it) before the object goes.
class KeyForwarder {
public:
    virtual ~KeyForwarder() = default;
};

// The tray menus and their generated commands (the quick routing commands). Implemented by
// QuickRoutingMenu (app/TrayMenu.h).
class TrayMenu {
public:
    virtual ~TrayMenu() = default;
    // Build the menu afresh, track it at `at` owned by `owner`, and destroy it. The result is
    // the popup that was shown, which the controller keeps as its trayMenu; 0 when none.
    virtual plat::HMenu ShowTrayMenu(plat::Hwnd owner, plat::Point at) = 0;
    virtual plat::HMenu ShowAdvancedTrayMenu(plat::Hwnd owner, plat::Point at) = 0;
    // Commands of the generated items; each id carries the index of its item.
    // A deep-integration player's output device: the player is the id's range, the device its
    // offset in the range (MenuIds.h).
    virtual void OnPlayerOutput(plat::Hwnd owner, std::uint32_t id) = 0;
    virtual void OnRadioOther(plat::Hwnd owner, std::uint32_t id) = 0;
    virtual void OnReceiver(plat::Hwnd owner, std::uint32_t id) = 0;
};

// One page of the settings sheet: PropertyPageDevice, PropertyPageMediaPlayer,
// PropertyPageOtherApp, PropertyPageOtherSetting (settings/).
class SettingsPage {
public:
    virtual ~SettingsPage() = default;
};

// The settings sheet, PropertySheetSettingBox (settings/). Other windows find it by its
// title, string 146; `settingsSheet` in Globals points to it while it is open.
class SettingsSheet {
public:
    virtual ~SettingsSheet() = default;
    virtual void addPage(SettingsPage& page) = 0;
    virtual void removePage(int index) = 0;
    // Runs the sheet modally; its result.
    virtual std::intptr_t doModal() = 0;
};

// The About dialog, AboutDlgBox (settings/).
class AboutBox {
public:
    virtual ~AboutBox() = default;
    virtual std::intptr_t doModal() = 0;
};
