// PcInfo's playback device routing: the device names, where each target plays, and
// changing it, with the player closes, restarts and questions that go with a change.
#include "PcInfo.h"

#include "Application.h"
#include "AudioDevices.h"
#include "AudioEndpoints.h"
#include "BoxStyles.h"
#include "CMessageBox.h"
#include "Debug.h"
#include "Globals.h"
#include "RoutingKeys.h"
#include "ports.h"
#include "resource.h"
#include "text.h"

#include <algorithm>

using namespace routingkeys;

int lastTableIndex() {
    // The count comes from the mixer services; the table has 99 device entries at most.
    return std::clamp<std::int32_t>(audioDeviceCount(), 0, kAudioDeviceTableSize - 1);
}

namespace {

constexpr std::size_t kValueCapacity = 100;

// Asks the user to restart `player`; the button pressed.
int askRestart(plat::Hwnd owner, const plat::String& player, std::uint32_t style) {
    return LocalizedMessageBox(owner, FormatPlaceholders(1, fw::loadString(IDS_RESTART_TEXT), player),
                               fw::loadString(IDS_RESTART_CAPTION), style);
}

bool isDeepIntegration(const plat::String& target) {
    return target == kWindowsMediaPlayer || target == kMusicmatch || target == kWinamp;
}

} // namespace

int PcInfo::getPlaybackDeviceList(plat::StringArray& list) {
    traceEntry(u"PcInfo::getPlaybackDeviceList");
    list.clear();
    const int last = lastTableIndex();
    AudioDeviceEntry entry;
    for (int i = 1; i <= last; ++i) {
        readDeviceEntry(i, entry);
        list.push_back(entry.name);
    }
    traceExit(u"PcInfo::getPlaybackDeviceList");
    return 1;
}

plat::String PcInfo::getPlaybackDevice(const plat::String& target) {
    traceEntry(u"PcInfo::getPlaybackDevice");
    plat::String result = kNoDeviceFound;
    const int last = lastTableIndex();
    AudioDeviceEntry entry;
    if (target == kMusicmatch) {
        std::uint32_t defaultMixer = 0;
        if (!getRegVal(plat::HKCU, kPlayUiKey, kDefaultMixer, defaultMixer))
            getRegVal(plat::HKLM, kPlayUiKey, kDefaultMixer, defaultMixer);
        if (defaultMixer == 1) {
            result = kDefaultAudioDeviceName;
        } else {
            std::uint32_t mixer = 0;
            if (!getRegVal(plat::HKCU, kPlayUiKey, kMixerControl, mixer) &&
                !getRegVal(plat::HKLM, kPlayUiKey, kMixerControl, mixer)) {
                result = kCantAccess;
            } else {
                // A mixer number outside the current devices is the default device.
                readDeviceEntry(mixer < static_cast<std::uint32_t>(last) ? static_cast<int>(mixer) + 1 : 0,
                                entry);
                result = entry.name;
            }
        }
    } else if (target == kWinamp) {
        result = getWinampOutputDevice();
    } else if (target == kWindowsMediaPlayer) {
        plat::String guid;
        if (!getRegVal(plat::HKCU, kWmpPreferencesKey, kDefaultAudioDevice, guid, kValueCapacity) &&
            !getRegVal(plat::HKLM, kWmpPreferencesKey, kDefaultAudioDevice, guid, kValueCapacity)) {
            result = kCantAccess;
        } else {
            for (int i = 0; i <= last; ++i) {
                readDeviceEntry(i, entry);
                if (entry.guid == guid)
                    result = entry.name; // the last match wins
            }
        }
    } else if (const CoreAudioEndpoints endpoints; endpoints.available()) {
        // Today's Windows plays on its default endpoint and no longer reads "Playback": the
        // answer is the device of that endpoint, which the user may also have chosen in the
        // system's own settings.
        const plat::String guid = endpoints.guidOf(endpoints.defaultId());
        for (int i = 1; i <= last && !guid.empty(); ++i) {
            readDeviceEntry(i, entry);
            if (plat::equalsIgnoringCase(entry.guid, guid))
                result = entry.name;
        }
    } else {
        plat::String playback;
        if (getRegVal(plat::HKCU, kSoundMapperKey, kPlayback, playback, kValueCapacity)) {
            for (int i = 1; i <= last; ++i) {
                readDeviceEntry(i, entry);
                if (entry.waveName == playback)
                    result = entry.name;
            }
        } else if (last > 0) {
            // No preference yet: the sound mapper's preferences are set up from the first
            // device, as the system's own control panel would.
            readDeviceEntry(1, entry);
            setRegVal(plat::HKCU, kSoundMapperKey, kPlayback, entry.waveName);
            setRegVal(plat::HKCU, kSoundMapperKey, kPreferredOnly, std::uint32_t{0});
            setRegVal(plat::HKCU, kSoundMapperKey, kRecord, entry.waveName);
            std::uint32_t count = 0;
            getRegVal(plat::HKLM, kSetupPreferredKey, kSetupPreferredCount, count);
            setRegVal(plat::HKCU, kSoundMapperKey, kSetupPreferredCount, count);
            result = entry.name;
        }
    }
    traceExit(u"PcInfo::getPlaybackDevice");
    return result;
}

int PcInfo::setPlaybackDevice(const plat::String& target, const plat::String& device,
                              plat::Hwnd parent) {
    traceEntry(u"PcInfo::setPlaybackDevice");
    routingFailure = RoutingFailure::Other;
    const bool wasRunning = checkActive(target) == 1;
    if (wasRunning)
        closePlayer(target);

    int index = 0;
    AudioDeviceEntry chosen;
    const int last = lastTableIndex();
    for (int i = 1; i <= last; ++i) {
        readDeviceEntry(i, chosen);
        if (chosen.name == device) {
            index = i;
            break;
        }
    }
    if (index == 0)
        readDeviceEntry(0, chosen);

    const bool administrator = globals().isAdministrator;
    int result = 0;
    if (target == kMusicmatch) {
        if (index == 0) {
            result = setRegVal(plat::HKLM, kPlayUiKey, kDefaultMixer, std::uint32_t{1});
            setRegVal(plat::HKCU, kPreferencesKey, kMusicmatch, kDefaultAudioDeviceName);
        } else {
            setRegVal(plat::HKLM, kPlayUiKey, kDefaultMixer, std::uint32_t{0});
            result = setRegVal(plat::HKLM, kPlayUiKey, kMixerControl, chosen.waveId);
            setRegVal(plat::HKCU, kPreferencesKey, kMusicmatch, device);
        }
    } else if (target == kWinamp) {
        // Only an administrator changes Winamp's file: it may live in its program folder.
        result = administrator ? setWinampOutputDevice(index, chosen) : 0;
    } else if (target == kWindowsMediaPlayer) {
        result = setRegVal(plat::HKCU, kWmpPreferencesKey, kDefaultAudioDevice, chosen.guid);
        if (!result && administrator)
            result = setRegVal(plat::HKLM, kWmpPreferencesKey, kDefaultAudioDevice, chosen.guid);
    } else {
        static const plat::String kInOrder[] = {kMusicmatch, kWinamp, kWindowsMediaPlayer,
                                                kRealPlayer, kITunes};
        if (std::none_of(std::begin(kInOrder), std::end(kInOrder),
                         [this](const plat::String& name) { return checkActive(name) == 1; }))
            LocalizedMessageBox(parent, fw::loadString(IDS_RESTART_APPS_TEXT),
                                fw::loadString(IDS_RESTART_APPS_CAPTION), 0);

        plat::String productName;
        if (plat::audio().mixerGetProductName(chosen.waveId, productName))
            result = setRegVal(plat::HKCU, kSoundMapperKey, kPlayback, productName);
        // Today's Windows no longer reads "Playback": its default endpoint moves as well.
        if (routeDefaultEndpoint(chosen.guid) == EndpointChange::Failed)
            result = 0;

        // Basic players always follow the system default: they are restarted unless refused.
        for (const auto& [player, style] : {std::pair<const char16_t*, std::uint32_t>{kITunes, 0x24},
                                            {kRealPlayer, BoxStyle::Question}}) {
            if (checkActive(player) == 1 && askRestart(parent, player, style) != IDNO) {
                closePlayer(player);
                startPlayer(player);
            }
        }
        // Deep-integration players only when they follow the default, and only on Yes.
        for (const char16_t* player : {kWindowsMediaPlayer, kWinamp, kMusicmatch}) {
            if (checkActive(player) == 1 && getPlaybackDevice(player) == kDefaultAudioDeviceName &&
                askRestart(parent, player, BoxStyle::Question) == IDYES) {
                closePlayer(player);
                startPlayer(player);
            }
        }
    }

    if (wasRunning && isDeepIntegration(target))
        startPlayer(target);
    traceExit(u"PcInfo::setPlaybackDevice");
    return result;
}

void PcInfo::showFailedChange(plat::Hwnd owner) const {
    // Most failures are a matter of rights. A Winamp that plays through another output
    // plug-in is not: its user can choose one whose device can be set, in Winamp itself.
    const std::uint32_t text = routingFailure == RoutingFailure::WinampOutputNotUnderstood
                                   ? IDS_WINAMP_OUTPUT_TEXT
                                   : IDS_NO_RIGHTS_TEXT;
    LocalizedMessageBox(owner, fw::loadString(text), fw::loadString(IDS_NO_RIGHTS_CAPTION),
                        BoxStyle::Notice);
}

EndpointChange PcInfo::routeDefaultEndpoint(const plat::String& guid) {
    const CoreAudioEndpoints endpoints;
    const plat::String id = endpoints.idOf(guid);
    if (id.empty())
        return EndpointChange::NotAttempted;
    const EndpointChange change = makeDefaultEndpoint(id);
    if (change == EndpointChange::Done)
        programDefaultEndpoint = id;
    return change;
}
