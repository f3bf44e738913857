// The process-wide objects and values of one run of the program.
//
// The product would construct these during static initialisation. They are built instead
// in one place at the start of runProgram, in the same order, so that a test can build and
// tear down a whole program. The observable order is kept: the first log line of a run is
// written by the first object below that logs, and it brings the banner.
//
// This set belongs to the lowest layer of the program, which every other layer reads. The
// objects of higher layers that it holds (the audio device table, PcInfo, the application) it
// only names: the program's start (startProcessObjects, ProcessObjects.h) builds them into it.
#pragma once

#include "Application.h"
#include "PairedDevices.h"
#include "ports.h"
#include "types.h"

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <string_view>
#include <utility>

class PcInfo;
struct AudioDeviceTable;
// The controller's collaborators (ControllerParts.h): DongleVendorCommunication is a
// VendorLink, ConsumerPageRead a KeyForwarder, PropertySheetSettingBox a SettingsSheet.
class VendorLink;
class KeyForwarder;
class SettingsSheet;
class DeviceConnect;

// Owns an object of a higher layer's type, which this layer only names: whoever builds it
// hands over its deleter with it (makeOwned), so the complete type is never needed here.
template <class T> using Owned = std::unique_ptr<T, void (*)(T*)>;

template <class T, class... Args> Owned<T> makeOwned(Args&&... args) {
    return Owned<T>(new T(std::forward<Args>(args)...), [](T* object) { delete object; });
}

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

    // Paired-device state, owned by the vendor link: the paired devices with their
    // addresses, the device the transmitter serves, and the listing counters. Written by the
    // reader thread and the user interface; guarded inside (PairedDevices.h).
    PairedDevices pairedDevices;

    plat::String helpFileName = u"Quorvane Auravo.chm";

    // Filled by the vendor link's reader thread, shown by the About dialog.
    SharedText firmwareVersion;

    // The pairing wait (DeviceConnect) while one runs, else null, and whether it may start its
    // time-out. User-interface thread only; the link's destructor ends a wait still registered.
    DeviceConnect* pairingWaitDialog = nullptr;
    std::int32_t pairingWaitActive = 0;
    // True while the result of a pairing is shown: the choosing or naming dialog, or the box
    // that says what happened. User-interface thread only.
    bool pairingResultShown = false;

    // The 100-entry audio output device table and its count. Its place in the start-up
    // order is after the application object, but the audio thread that PcInfo starts writes
    // it at once, so it is built first; building it is not observable.
    Owned<AudioDeviceTable> audioDevices{nullptr, nullptr};

    // The one PcInfo object. Its constructor makes the first log call of the run (which
    // writes the banner), creates the audio-device mutex and starts the audio thread.
    Owned<PcInfo> pcInfo{nullptr, nullptr};

    // The application object (CKTRSystemTrayApplicationApp).
    std::unique_ptr<fw::Application> application;

    // The Devices page's remembered device name.
    plat::String rememberedDeviceName;

    // ---- owned by the tray controller

    // 1 while the transmitter's interfaces are open. The reader and key threads poll it as
    // their run flag, hence atomic.
    std::atomic<std::int32_t> transmitterPresent{0};
    VendorLink* vendorLink = nullptr;       // the controller deletes it
    KeyForwarder* keyForwarder = nullptr;   // the controller deletes it
    SettingsSheet* settingsSheet = nullptr; // only while the sheet is open
    std::int32_t deviceNoticeCount = 0;
    // The notification-icon record of every Shell_NotifyIconW call. The reader thread changes
    // its image too, so it is read and written only under trayIconLock (TrayIcon.h).
    // Recursive: a shell call may dispatch messages on this thread that change the icon.
    plat::NotifyIconData trayIconData;
    bool trayIconLinked = false; // the record shows icon 115, else 114
    std::recursive_mutex trayIconLock;
    std::uint8_t noTransmitterNoticeAllowed = 1;

    // ---- start-up

    bool isAdministrator = false;     // computed once, before the controller runs
    plat::Module resourceLibrary = 0; // "KTRResource.dll" once loaded; never released
};

// The current run's objects. Only valid while a run's objects exist (see below). Code
// exercised outside a run (a unit test of one class) gets a set of its own, built as a run's
// is: the values, then the objects of higher layers through the builder below, if one is set.
Globals& globals();
// The current run's objects, or null before the first run.
Globals* currentGlobals();

// Builds a fresh set of this layer's process-wide values in order and makes it current, the
// objects of higher layers still empty. The previous set, if any, is freed first: every
// thread of the run that used it must have ended (on the simulated PC, the SimPc that ran it
// is gone). The first step of startProcessObjects.
Globals& startProcessValues();

// Builds the objects of higher layers into a fresh set of values, in the start-up order.
// Set before main by the layer that owns them (ProcessObjects.cpp, linked into every binary
// of the program's layers), for globals() outside a run; unset, such a set holds the values
// alone.
using ProcessObjectsBuilder = void (*)(Globals&);
void setProcessObjectsBuilder(ProcessObjectsBuilder build);

// Frees the current set in reverse order. For hosts that know every thread of the run has
// ended. A run's objects otherwise stay valid after runProgram returns, for the threads that
// still run, and are freed by the next start; the product ends its process without freeing
// them (plat::win32::endProcess), so the C runtime's exit never destroys them under a thread.
// Destructors therefore release memory only: the platform of the run may be gone by then.
void endProcessObjects();

// The help file in the program's own folder: helpFileName after the folder of the program's
// file. HtmlHelpW looks for a bare name in the current folder, which for a program started at
// logon is not the program's. The bare name only when the program's path cannot be read.
plat::String helpFilePath();

// Replaces "%n" in `text` by argument n (counting from 1) for n from 1 to `count`. A "%"
// followed by a decimal number is a placeholder; all its digits belong to the number, so
// "%12" is argument 12, never argument 1 followed by "2". A "%" that is not followed by a
// number from 1 to `count` ("%", "%%", "%0", "%01", "100%", "%2" with one argument) is
// copied as it is, and scanning goes on right after it. Never reads past `args`: a count
// larger than the arguments given counts as their number. Pure text work: it needs no
// platform and does not log.
plat::String formatPlaceholderList(std::size_t count, std::u16string_view text,
                                   std::span<const plat::String> args);

template <class... Args>
plat::String FormatPlaceholders(std::size_t count, std::u16string_view text, const Args&... args) {
    const std::array<plat::String, sizeof...(Args)> list{plat::String(args)...};
    return formatPlaceholderList(count, text, list);
}
