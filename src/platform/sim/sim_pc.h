// The simulated PC: an in-memory Windows for tests and the simulator. It implements every
// port of the seam, and offers tests and scenarios the levers of a real machine (registry,
// other programs' windows, devices, the user) and a virtual clock.
//
// This header is the test-facing API. The ports' implementations live beside it.
#pragma once

#include "sim_audio.h"
#include "sim_devices.h"
#include "sim_handles.h"
#include "sim_machine.h"
#include "sim_players.h"
#include "sim_screen.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace sim {

using plat::Hwnd;
using plat::String;

struct PlayerWorld; // sim_players.cpp

class SimPc : public SimMachine {
public:
    SimPc();
    ~SimPc(); // ends the program if it still runs, then every thread it started
    SimPc(const SimPc&) = delete;
    SimPc& operator=(const SimPc&) = delete;

    // ------------------------------------------------------------ HID devices, the transmitter
    // The HID port enumerates present interfaces in plug-in order. Plugging in or out sends
    // one device-interface notification (DBT_DEVICEARRIVAL / DBT_DEVICEREMOVECOMPLETE) per
    // collection to the windows registered for them, as the system does.
    //
    // Input reports are buffered per open handle, as the HID class driver does: a handle
    // receives every report sent after it was opened, up to 32 waiting (the oldest is dropped
    // beyond that). A read takes the oldest waiting report, copying at most its buffer's
    // length (a report shorter than declared delivers only its own bytes), or blocks, counted
    // as blocked in the seam for idle detection, until a report comes, the read is cancelled
    // (ERROR_OPERATION_ABORTED), the handle is closed (ERROR_OPERATION_ABORTED) or the device
    // leaves (ERROR_DEVICE_NOT_CONNECTED; what was waiting is discarded). cancelRead cancels
    // only a read pending at that moment and returns once it has ended; a report already
    // waiting is delivered instead, so nothing is lost. A write must have exactly the declared
    // output length; the firmware handles it before write returns, so its answers are already
    // waiting when the next read starts.
    //
    // The notifications of one plug-in or removal come one after the other in virtual time
    // (InterfaceNotices, TransmitterConfig::noticeGapMs): before the next one is sent the
    // world settles and the clock moves on by the gap, so the program has handled the one
    // before. Nobody registered for notifications: no gap.
    TransmitterId plugTransmitter(TransmitterConfig config = {},
                                  InterfaceNotices notices = InterfaceNotices::All);
    void unplugTransmitter(TransmitterId id, InterfaceNotices notices = InterfaceNotices::All);
    // The same transmitter again (same paths, its database kept); false if it is plugged in.
    bool replugTransmitter(TransmitterId id, InterfaceNotices notices = InterfaceNotices::All);
    // The notification of one collection as the system sends it: its arrival while the
    // transmitter is plugged in, else its removal.
    void transmitterNotify(TransmitterId id, HidCollectionRole role);
    bool transmitterPlugged(TransmitterId id) const;
    // A collection's interface path as enumeration spells it (what the program finds and opens).
    String transmitterPath(TransmitterId id, HidCollectionRole role) const;
    HidDeviceId plugHidDevice(HidDeviceConfig config);
    void unplugHidDevice(HidDeviceId id);

    // What the transmitter received and holds.
    std::vector<TransmitterCommand> transmitterCommands(TransmitterId id) const;
    std::vector<std::uint8_t> transmitterCommandCodes(TransmitterId id) const; // report id 2 only
    // The database newest first; replacing it sends nothing (as if set before plugging in).
    std::vector<PairedDevice> transmitterDatabase(TransmitterId id) const;
    void setTransmitterDatabase(TransmitterId id, std::vector<PairedDevice> database);
    // Whether it answers the start-up handshake from now on (TransmitterConfig::answersStartup).
    void setTransmitterAnswersStartup(TransmitterId id, bool answers);
    std::optional<PairedDevice> transmitterCurrentDevice(TransmitterId id) const;
    bool transmitterLinked(TransmitterId id) const;
    bool transmitterPairingMode(TransmitterId id) const;
    // While set, every output report on the vendor collection fails (ERROR_GEN_FAILURE, as a
    // device that stalls it): the transmitter refuses what it is asked.
    void setTransmitterWritesFail(TransmitterId id, bool fail);
    // The PC goes to sleep with the transmitter plugged in (true) or wakes (false): meanwhile
    // its collections do not answer, so every read (a pending one too) and every write on a
    // handle opened before fails with ERROR_DEVICE_NOT_CONNECTED, yet no removal is announced.
    // Unplugging or plugging it in again ends the state.
    void setTransmitterAsleep(TransmitterId id, bool asleep);

    // Events. Each is ignored (and journaled so) while the transmitter is unplugged.
    // Remote devices complete pairing one after another in the order given (so the last is
    // the newest); the transmitter then sends its whole database newest first, every entry
    // flagged 0x04. Devices that do not fit are refused; if none fits it sends
    // PairingFailed instead. Pairing completes whether or not the transmitter was in pairing
    // mode, and ends it. Returns the devices paired.
    std::vector<PairedDevice> transmitterPair(TransmitterId id,
                                              std::vector<NewRemote> remotes = {NewRemote{}});
    void transmitterEvent(TransmitterId id, TransmitterEvent event);
    // Exactly these bytes as one input report on a collection (any id, any length up to the
    // declared one; longer is cut to it, as a device cannot send more).
    void transmitterSendRaw(TransmitterId id, std::vector<std::uint8_t> bytes,
                            HidCollectionRole role = HidCollectionRole::Vendor);
    // A remote device's button on the consumer collection: report id 1, byte 1 the low byte
    // of the consumer usage (0xB5 next, 0xB6 previous, 0xB7 stop, 0xCD play/pause), then,
    // with `release`, the release report (usage 0).
    void pressRemoteKey(TransmitterId id, std::uint8_t usageLowByte, bool release = true);

    // The reader's side. Reports waiting in the open handles of a collection; whether a
    // thread is blocked in a read on it; the number of handles open on it.
    std::size_t transmitterQueuedReports(TransmitterId id,
                                         HidCollectionRole role = HidCollectionRole::Vendor) const;
    bool transmitterReadPending(TransmitterId id,
                                HidCollectionRole role = HidCollectionRole::Vendor) const;
    std::size_t transmitterOpenHandles(TransmitterId id,
                                       HidCollectionRole role = HidCollectionRole::Vendor) const;
    // Waits (bounded in real time) until the world is idle with a read pending on the
    // collection and nothing waiting for it: the reader has taken every report and blocks.
    bool waitForTransmitterRead(TransmitterId id,
                                HidCollectionRole role = HidCollectionRole::Vendor,
                                std::chrono::milliseconds bound = std::chrono::seconds(20));

    // ------------------------------------------------------------ media players
    // Installing writes the player's detection key under the roots asked for, the value
    // its program file is found by, the program file itself and, for Winamp, "winamp.ini".
    // A running player is a process of its own with one top-level window of its fixed class
    // (titled with its display name); its windows go when it quits, as does the process.
    // It starts when the user starts it or when the shell opens its program file with
    // "open" (after any handler of setShellExecuteHandler agreed, result > 32); a player
    // already running is not started twice. Starting does not bring it to the front.
    // It quits on a close request after its delay (moved by virtual time), when the user
    // quits it, or when its process is terminated. Once the program's process has ended,
    // time no longer moves for delays, and a pending close completes at once.
    // Every function takes a display name; other names give false, 0 or nothing.
    static std::vector<String> playerNames();       // the five, deep-integration ones first
    bool installPlayer(const PlayerConfig& config); // again: replaces the registration
    bool playerInstalled(const String& name) const;
    // The detection keys the catalogue tries, in its order (HKCU first).
    std::vector<std::pair<plat::HKey, String>> playerDetectionKeys(const String& name) const;
    // Whether one of those keys exists, i.e. whether the catalogue lists the player.
    bool playerDetectable(const String& name) const;
    String playerProgramPath(const String& name) const; // the file the shell must open
    String playerDirectory(const String& name) const;
    bool startPlayer(const String& name); // false when not installed
    bool quitPlayer(const String& name);  // false when not running
    bool playerRunning(const String& name) const;
    Hwnd playerWindow(const String& name) const;        // its main window, 0 if none
    Hwnd playerUpgradeWindow(const String& name) const; // Musicmatch's prompt, 0 if none
    std::uint32_t playerProcessId(const String& name) const;
    bool setForegroundPlayer(const String& name); // false when not running
    // Its main window stops (or resumes) answering, as setWindowHung; false when not running.
    bool setPlayerHung(const String& name, bool hung);
    // Everything each player received, across its runs, oldest first.
    std::vector<PlayerAppCommand> playerAppCommands(const String& name) const;
    std::vector<PlayerCloseRequest> playerCloseRequests(const String& name) const;
    std::vector<PlayerStart> playerStarts(const String& name) const;
    // Microsoft IntelliType: its App Paths key under HKLM (absent by default).
    void setIntelliTypeInstalled(bool installed);
    // "winamp.ini" in Winamp's settings folder; setWinampIni is false when Winamp is not
    // installed.
    std::optional<std::string> winampIni() const;
    bool setWinampIni(const std::string& text);
    // Where Winamp keeps winamp.ini, found as Winamp finds it at its start: the folder that
    // "paths.ini" beside it names in "[Winamp]" "inidir" ("{N}" a shell folder, %VARIABLES%
    // expanded, a relative path from the program folder) when that folder exists, else the
    // program folder. Empty when Winamp is not installed.
    String winampSettingsFolder() const;

    // ------------------------------------------------------------ audio devices
    // A fresh machine has "dsound.dll" working and no audio device at all (tests add what
    // they need), and the sound mapper's HKLM value "SetupPreferredAudioDevicesCount" (1) in
    // "SYSTEM\CurrentControlSet\Control\MediaResources\SetupPreferredAudioDevices\"; the
    // user's "Playback" does not exist until something writes it.
    //
    // A transmitter brings its audio function while plugged in: a WDM render device described
    // "USB Audio Device" whose interface path carries its USB ids ("vid_0b7a&pid_0100" as today's
    // Windows spells them, "Vid_0b7a&Pid_0100" as older Windows did), with the wave name
    // "Quorvane Auravo", one mixer, the same GUID at every plug-in, numbered like any device
    // without a fixed wave id. Its endpoint leads to the USB device
    // "USB\VID_0B7A&PID_0100&MI_00\..." (see TransmitterAudioIdentity).
    AudioDeviceId addAudioDevice(AudioDeviceConfig config);
    bool removeAudioDevice(AudioDeviceId id); // false when not present
    std::vector<AudioDeviceView> audioDevices() const; // present, in enumeration order
    std::optional<AudioDeviceId> transmitterAudioDevice(TransmitterId id) const; // while plugged
    // Devices enumerate in plug-in order; these ids come first, in this order.
    void setAudioEnumerationOrder(std::vector<AudioDeviceId> order);
    void setDsoundFailure(DsoundFailure failure);
    // Loaded "dsound.dll" modules and COM objects (DirectSound's and Core Audio's) the program
    // has not released or freed.
    int audioObjectsOutstanding() const;
    // Enumerations run so far (each a whole pass of the records).
    int audioEnumerations() const;

    // Which Windows plays the sound (the older one by default). On today's Windows the first
    // render device to appear becomes the default endpoint of every role, and when a role's
    // default goes, the first remaining render device in enumeration order takes its place.
    // Endpoint ids are not made from the DirectSound GUIDs: only the endpoint's GUID property
    // carries those. Core Audio works on the program's main thread and on threads that entered
    // an apartment (CoInitializeEx); elsewhere it cannot be created. (Windows lets such a
    // thread in while another keeps the multithreaded apartment alive; the program must not
    // count on that, and here it cannot.)
    void setWindowsAudio(WindowsAudio audio);
    void setTransmitterAudioIdentity(TransmitterAudioIdentity identity);
    // What a present device's endpoint leads to from now on; false when it is not present.
    bool setAudioHardwareRoute(AudioDeviceId id, HardwareRoute route);
    // The user picks the default device in the system's sound settings: for one role, or
    // (nothing) for all three. False on the older Windows or for a device that is no render
    // endpoint.
    bool setDefaultEndpoint(AudioDeviceId id,
                            std::optional<plat::EndpointRole> role = std::nullopt);
    std::optional<AudioDeviceId> defaultEndpoint(plat::EndpointRole role) const;
    // The policy-config class exists on today's Windows (by default) or not (as under Wine);
    // its SetDefaultEndpoint fails with `hresult` (0: it works).
    void setPolicyConfigAvailable(bool available);
    void setPolicyConfigFailure(std::int32_t hresult);
    // The render device the system plays on for a program that asks for the default device:
    // on today's Windows the console default endpoint; on the older one the device whose wave
    // name "Playback" names, else wave device 0.
    std::optional<AudioDeviceId> systemDefaultPlayback() const;

private:

    // The players live beside the rest of the machine; attaching them at construction lets
    // them see the shell and process terminations before the program takes the ports.
    static std::shared_ptr<PlayerWorld> attachPlayers(Impl& impl);
    // The settings folder Winamp finds for its program folder `directory`
    // (winampSettingsFolder); with `wanted`, the folder paths.ini names, existing or not.
    String winampFolderFor(const String& directory, bool wanted = false) const;
    void announceTransmitter(TransmitterId id, const std::vector<String>& paths,
                             plat::WParam event, InterfaceNotices notices);

    std::shared_ptr<PlayerWorld> players_ = attachPlayers(*impl_);
};

} // namespace sim
