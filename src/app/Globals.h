// The process-wide objects and values of one run of the program.
//
// The product would construct these during static initialisation. They are built instead
// in one place at the start of runProgram, in the same order, so that a test can build and
// tear down a whole program. The observable order is kept: the first log line of a run is
// written by the first object below that logs, and it brings the banner.
#pragma once

#include "ports.h"
#include "types.h"

#include <atomic>
#include <cstdint>
#include <memory>

class CKTRSystemTrayApplicationApp;
class PcInfo;
class DongleVendorCommunication;
class ConsumerPageRead;
class PropertySheetSettingBox;

struct Globals {
    Globals();
    ~Globals();
    Globals(const Globals&) = delete;
    Globals& operator=(const Globals&) = delete;

    // ---- the diagnostic log, first: everything below may log while it is constructed

    // Set once the start banner has been written. Atomic so that a banner is never written
    // twice even if a test logs from several threads before the first line.
    std::atomic<bool> bannerWritten{false};

    // Makes this set current as soon as the flag above exists, so that the constructors
    // below log into this run and can reach globals(); undone last on destruction.
    struct MakeCurrent {
        explicit MakeCurrent(Globals* self);
        ~MakeCurrent();
        Globals* self;
    } makeCurrent{this};

    // ---- in the program's start-up order

    // Paired-device state, owned by the vendor link: the names of the paired devices and
    // the name of the device the transmitter serves. (The addresses and listing counters
    // join them with the vendor link.)
    plat::StringArray pairedNames;
    plat::String currentDeviceName;

    plat::String helpFileName = u"Quorvane Auravo.chm";

    // Filled by the vendor link's reader thread, shown by the About dialog.
    plat::String firmwareVersion;

    // The one PcInfo object. Its constructor makes the first log call of the run (which
    // writes the banner), creates the audio-device mutex and starts the audio thread.
    std::unique_ptr<PcInfo> pcInfo;

    std::unique_ptr<CKTRSystemTrayApplicationApp> application;

    // Slot of the 100-entry audio output device table (comes with the device enumeration).

    // The Devices page's remembered device name.
    plat::String rememberedDeviceName;

    // ---- owned by the tray controller

    // 1 while the transmitter's interfaces are open. The reader and key threads poll it as
    // their run flag, hence atomic.
    std::atomic<std::int32_t> transmitterPresent{0};
    DongleVendorCommunication* vendorLink = nullptr;  // the controller deletes it
    ConsumerPageRead* keyForwarder = nullptr;         // the controller deletes it
    PropertySheetSettingBox* settingsSheet = nullptr; // only while the sheet is open
    std::int32_t deviceNoticeCount = 0;
    plat::NotifyIconData trayIconData;
    std::uint8_t noTransmitterNoticeAllowed = 1;

    // ---- start-up

    bool isAdministrator = false;     // computed once, before the controller runs
    plat::Module resourceLibrary = 0; // "KTRResource.dll" once loaded; never released
};

// The current run's objects. Only valid while a run's objects exist (see below).
Globals& globals();
// The current run's objects, or null before the first run.
Globals* currentGlobals();

// Builds a fresh set of process-wide objects in order and makes it current. The previous
// set, if any, is freed first: every thread of the run that used it must have ended (on the
// simulated PC, the SimPc that ran it is gone).
Globals& startProcessObjects();

// Frees the current set in reverse order. For hosts that know every thread of the run has
// ended. A run's objects otherwise stay valid after runProgram returns, as static objects
// outlive the threads of a process that ends, and are freed by the next start or at exit.
// Destructors therefore release memory only: the platform of the run may be gone by then.
void endProcessObjects();
