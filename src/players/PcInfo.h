// PcInfo: the one object of player and audio routing. This part holds the registry
// operations every routing operation goes through and the two application preferences.
#pragma once

#include "PlayerCatalogue.h"
#include "types.h"

#include <cstddef>
#include <cstdint>

// The preferences key; all its values are REG_SZ.
inline constexpr char16_t kPreferencesKey[] = u"SOFTWARE\\Quorvane\\Quorvane Auravo Settings\\Preferences\\";

struct AudioDeviceEntry;
enum class EndpointChange;

class PcInfo {
public:
    // Makes the run's first log call, creates the audio-device mutex and starts the
    // audio-device thread.
    PcInfo();
    virtual ~PcInfo();
    PcInfo(const PcInfo&) = delete;
    PcInfo& operator=(const PcInfo&) = delete;

    // The string value `value` of `root`\`subkey` into `out`, offering a buffer of
    // `capacity` characters (terminator included); 1 when read and it fit, else 0.
    int getRegVal(plat::HKey root, const plat::String& subkey, const plat::String& value,
                  plat::String& out, std::size_t capacity);
    // Writes `text` as REG_SZ with its terminating null, creating the key and its parents.
    int setRegVal(plat::HKey root, const plat::String& subkey, const plat::String& value,
                  const plat::String& text);
    // The DWORD form; `variable` is left unchanged when nothing was read.
    int getRegVal(plat::HKey root, const plat::String& subkey, const plat::String& value,
                  std::uint32_t& variable);
    int setRegVal(plat::HKey root, const plat::String& subkey, const plat::String& value,
                  std::uint32_t number);
    // 1 when the key exists and opens for reading.
    int checkRegistryKey(plat::HKey root, const plat::String& subkey);

    // The icon is shown unless the stored text is exactly "False".
    int getTrayIconState();
    int setTrayIconState(int show);
    // The advanced menu is on only when the stored text is exactly "True".
    int getAdvancedMenuState();
    int setAdvancedMenuState(int enable);

    // ---- the supported players (PCInfoPlayers.cpp), as their catalogue rows say
    // (PlayerCatalogue.h). Players are named by their display names, compared exactly.

    // Empties `list`, then appends the installed deep-integration players in catalogue
    // order ("Windows Media Player", "Musicmatch", "Winamp"); always 1. Nothing is cached.
    int getDeepIntegrationPlayerlist(plat::StringArray& list);
    // The same for the basic players ("Real Player", "iTunes"); always 1.
    int getBasicPlayerlist(plat::StringArray& list);
    // 1 when the player's top-level window exists; 0 when not or for an unknown name.
    int checkActive(const plat::String& name);
    // Asks the player's window to close (or terminates its process, as its row says) and
    // waits up to 30 one-second checks for it to go, repeating the request every third
    // check. Blocks.
    void closePlayer(const plat::String& name);
    // Opens the player's program, located through the registry, with the shell. Blocks for
    // the player's start pause first.
    void startPlayer(const plat::String& name);

    // ---- playback device routing (PCInfoRouting.cpp), Winamp's output device
    // (WinampOutput.cpp) and the re-routing on transmitter arrival and removal
    // (PCInfoReroute.cpp). A target other than a deep-integration player means the system
    // default.

    // Empties `list` and appends the names of table entries 1 to audioDeviceCount; always 1.
    int getPlaybackDeviceList(plat::StringArray& list);
    // A device name, "Default Audio Device", "No Device Found" or "Can't Access the entry".
    // The system default's first call on a machine without "Playback" sets it up.
    plat::String getPlaybackDevice(const plat::String& target);
    // Routes `target` to `device` (a table name; unknown names mean the default entry),
    // closing and restarting players and asking the user as needed. 1 on success.
    int setPlaybackDevice(const plat::String& target, const plat::String& device,
                          plat::Hwnd parent);

    // Winamp's GUID encoding of "cfg_dev2" and its inverse.
    plat::String winampGuidEncode(const plat::String& guid);
    plat::String winampGuidDecode(const plat::String& encoded);
    // Winamp's output device from "winamp.ini": a device name, "No Device Found" or
    // "Can't Access the entry".
    plat::String getWinampOutputDevice();
    // Rewrites (or adds) the active plug-in's device line for table entry `index` (`entry`)
    // and replaces the file safely; 1 when replaced, 0 (file untouched) otherwise.
    int setWinampOutputDevice(int index, const AudioDeviceEntry& entry);
    // Winamp's settings folder: its directory from the registry, or the folder its
    // "paths.ini" names; 0 when the directory cannot be read.
    int readWinampSettingsFolder(plat::String& folder);

    // Why the last change of a target's device failed, for the message the user sees.
    enum class RoutingFailure {
        Other,                     // shown as a matter of rights
        WinampOutputNotUnderstood, // Winamp's output plug-in is one whose device cannot be set
    };
    RoutingFailure lastRoutingFailure() const { return routingFailure; }
    // Tells the user, with a box owned by `owner`, that the last change failed and what to do.
    void showFailedChange(plat::Hwnd owner) const;

    // Called by the controller after each transmitter arrival and removal, in this order.
    void rerouteOnDeviceChange();
    void offerRestartOnDeviceChange();
    // The system's "Playback" as it was at the transmitter's last arrival; empty once restored.
    const plat::String& savedPlayback() const { return savedSystemPlayback; }

    // The text of the most recent registry error; read by nobody but the log and tests.
    const plat::String& lastError() const { return errorText; }

    plat::Handle audioDeviceMutex = 0;
    plat::Handle audioThreadHandle = 0;

private:
    // Opens for all access, creating the key (and parents) when it does not open.
    // Returns the open key or 0; `created` false when even creation failed.
    plat::HKey openForWrite(plat::HKey root, const plat::String& subkey, bool& created);

    plat::String errorText;
    RoutingFailure routingFailure = RoutingFailure::Other;

    // ---- routing state (PCInfoRouting.cpp, WinampOutput.cpp, PCInfoReroute.cpp)
    // The system default's device, and routing it to `chosen` with the questions and
    // restarts that go with it.
    plat::String systemDefaultDevice();
    int routeSystemDefault(const AudioDeviceEntry& chosen, plat::Hwnd parent);
    void restartDefaultFollowers(plat::Hwnd parent);
    int readWinampDirectory(plat::String& directory);
    // Process-wide in effect: there is one PcInfo per run.
    plat::String savedSystemPlayback;
    // The transmitter's wave name written at its last arrival, for the removal that follows
    // once the device table no longer lists it.
    plat::String arrivedTransmitterWaveName;

    // ---- the default endpoint of today's Windows, which follows the same roads
    // Makes the endpoint of the device whose DirectSound GUID is `guid` the system default.
    EndpointChange routeDefaultEndpoint(const plat::String& guid);
    // Moves the default endpoint to the transmitter at its arrival and back at its removal.
    void rerouteDefaultEndpoint(bool present, const plat::String& transmitterGuid);
    // The default endpoint as it was before the transmitter's last arrival made the
    // transmitter the default; empty once restored.
    plat::String savedDefaultEndpoint;
    // The transmitter's endpoint as of its last arrival.
    plat::String transmitterEndpoint;
    // The endpoint this program last made the default. A removal restores the saved one only
    // while this is still the transmitter's, as "Playback" is restored only while it still
    // names the transmitter.
    plat::String programDefaultEndpoint;
};

// The audio-device thread's body (started by the constructor).
void audioDeviceThread();
