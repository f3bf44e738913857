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

// The table entry named `device`, from 1; 0 with the default entry for any other name.
int chooseEntry(const plat::String& device, AudioDeviceEntry& chosen) {
    const int last = lastTableIndex();
    for (int i = 1; i <= last; ++i) {
        readDeviceEntry(i, chosen);
        if (chosen.name == device)
            return i;
    }
    readDeviceEntry(0, chosen);
    return 0;
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
    const players::PlayerRow* row = players::findPlayer(target);
    const plat::String result =
        row && row->routing.read ? row->routing.read(*this) : systemDefaultDevice();
    traceExit(u"PcInfo::getPlaybackDevice");
    return result;
}

plat::String PcInfo::systemDefaultDevice() {
    plat::String result = kNoDeviceFound;
    const int last = lastTableIndex();
    AudioDeviceEntry entry;
    if (const CoreAudioEndpoints endpoints; endpoints.available()) {
        // Today's Windows plays on its default endpoint and no longer reads "Playback": the
        // answer is the device of that endpoint, which the user may also have chosen in the
        // system's own settings.
        const plat::String guid = endpoints.guidOf(endpoints.defaultId());
        for (int i = 1; i <= last && !guid.empty(); ++i) {
            readDeviceEntry(i, entry);
            if (plat::equalsIgnoringCase(entry.guid, guid))
                result = entry.name;
        }
        return result;
    }
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
    return result;
}

int PcInfo::setPlaybackDevice(const plat::String& target, const plat::String& device,
                              plat::Hwnd parent) {
    traceEntry(u"PcInfo::setPlaybackDevice");
    routingFailure = RoutingFailure::Other;
    const players::PlayerRow* row = players::findPlayer(target);
    const bool wasRunning = checkActive(target) == 1;
    if (wasRunning)
        closePlayer(target);

    AudioDeviceEntry chosen;
    const int index = chooseEntry(device, chosen);
    const int result = row && row->routing.write ? row->routing.write(*this, index, chosen, device)
                                                 : routeSystemDefault(chosen, parent);

    if (wasRunning && row && row->integration == players::Integration::Deep)
        startPlayer(target);
    traceExit(u"PcInfo::setPlaybackDevice");
    return result;
}

int PcInfo::routeSystemDefault(const AudioDeviceEntry& chosen, plat::Hwnd parent) {
    const auto running = [this](const players::PlayerRow* player) {
        return checkActive(player->name) == 1;
    };
    const auto inOrder = players::inTurn(&players::Turns::activityCheck);
    if (std::none_of(inOrder.begin(), inOrder.end(), running))
        LocalizedMessageBox(parent, fw::loadString(IDS_RESTART_APPS_TEXT),
                            fw::loadString(IDS_RESTART_APPS_CAPTION), 0);

    int result = 0;
    plat::String productName;
    if (plat::audio().mixerGetProductName(chosen.waveId, productName))
        result = setRegVal(plat::HKCU, kSoundMapperKey, kPlayback, productName);
    // Today's Windows no longer reads "Playback": its default endpoint moves as well.
    if (routeDefaultEndpoint(chosen.guid) == EndpointChange::Failed)
        result = 0;
    restartDefaultFollowers(parent);
    return result;
}

void PcInfo::restartDefaultFollowers(plat::Hwnd parent) {
    for (const players::PlayerRow* player : players::inTurn(&players::Turns::restartOnDefault)) {
        if (checkActive(player->name) != 1)
            continue;
        // Basic players always follow the system default: they are restarted unless refused.
        // Deep-integration players only when they follow the default, and only on Yes.
        const bool restart =
            player->integration == players::Integration::Basic
                ? players::askRestart(parent, *player) != IDNO
                : getPlaybackDevice(player->name) == kDefaultAudioDeviceName &&
                      players::askRestart(parent, *player) == IDYES;
        if (restart) {
            closePlayer(player->name);
            startPlayer(player->name);
        }
    }
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
