// PcInfo's re-routing on transmitter arrival and removal: the system default moves to the
// transmitter and back, players that follow it on their own do so (their catalogue rows
// say how), and players that play on the default or the transmitter are offered a restart.
#include "PcInfo.h"

#include "Application.h"
#include "AudioDevices.h"
#include "AudioEndpoints.h"
#include "CMessageBox.h"
#include "Globals.h"
#include "RoutingKeys.h"
#include "ports.h"
#include "resource.h"
#include "text.h"

#include <utility>

using namespace routingkeys;

namespace {

constexpr std::uint32_t kSettleMs = 1000;
constexpr std::size_t kPlaybackCapacity = 256;

// The last table entry whose name contains the transmitter's name and whose duplicate number
// (the digit after "Quorvane Auravo (") is not negative; an empty entry when there is none.
AudioDeviceEntry transmitterEntry() {
    constexpr std::size_t length = std::char_traits<char16_t>::length(kTransmitterName);
    AudioDeviceEntry transmitter;
    AudioDeviceEntry entry;
    const int last = lastTableIndex();
    for (int i = 1; i <= last; ++i) {
        readDeviceEntry(i, entry);
        if (entry.name.find(kTransmitterName) == plat::String::npos)
            continue;
        int number = 0;
        if (entry.name.size() >= length + 2) {
            // A name exactly two characters longer ends there: its terminator is read.
            const int digit = entry.name.size() > length + 2 ? entry.name[length + 2] : 0;
            number = digit - '0';
        }
        if (number >= 0)
            transmitter = entry;
    }
    return transmitter;
}

} // namespace

void PcInfo::rerouteOnDeviceChange() {
    // The audio-device thread gets a pass to see the change first.
    plat::threads().sleep(kSettleMs);
    const bool present = globals().transmitterPresent.load() == 1;
    const AudioDeviceEntry transmitter = transmitterEntry();
    plat::String waveName = transmitter.waveName;

    plat::String playback;
    if (present) {
        if (getRegVal(plat::HKCU, kSoundMapperKey, kPlayback, playback, kPlaybackCapacity) &&
            !waveName.empty()) {
            savedSystemPlayback = playback;
            arrivedTransmitterWaveName = waveName;
            setRegVal(plat::HKCU, kSoundMapperKey, kPlayback, waveName);
        }
    } else {
        // Once the table has dropped the transmitter, its name is the one set at arrival.
        if (waveName.empty())
            waveName = arrivedTransmitterWaveName;
        if (getRegVal(plat::HKCU, kSoundMapperKey, kPlayback, playback, kPlaybackCapacity) &&
            !waveName.empty() && playback == waveName && !savedSystemPlayback.empty()) {
            setRegVal(plat::HKCU, kSoundMapperKey, kPlayback, savedSystemPlayback);
            savedSystemPlayback.clear();
        }
    }

    rerouteDefaultEndpoint(present, transmitter.guid);
    for (const players::PlayerRow& player : players::catalogue())
        if (player.onTransmitterChange)
            player.onTransmitterChange(*this, present);
}

void PcInfo::rerouteDefaultEndpoint(bool present, const plat::String& transmitterGuid) {
    const CoreAudioEndpoints endpoints;
    if (!endpoints.available())
        return;
    if (present) {
        const plat::String transmitterId = endpoints.idOf(transmitterGuid);
        const plat::String current = endpoints.defaultId();
        if (transmitterId.empty() || plat::equalsIgnoringCase(current, transmitterId))
            return;
        if (makeDefaultEndpoint(transmitterId) == EndpointChange::Done) {
            savedDefaultEndpoint = current;
            transmitterEndpoint = transmitterId;
            programDefaultEndpoint = transmitterId;
        }
        return;
    }
    // Windows has already moved the default off the removed device, to one of its choosing:
    // the one the user had is put back, unless this program has been told to route elsewhere
    // since the arrival.
    if (savedDefaultEndpoint.empty() ||
        !plat::equalsIgnoringCase(programDefaultEndpoint, transmitterEndpoint))
        return;
    const plat::String saved = std::exchange(savedDefaultEndpoint, plat::String());
    if (!endpoints.active(saved) || plat::equalsIgnoringCase(endpoints.defaultId(), saved))
        return;
    if (makeDefaultEndpoint(saved) == EndpointChange::Done)
        programDefaultEndpoint = saved;
}

void PcInfo::offerRestartOnDeviceChange() {
    for (const players::PlayerRow* player : players::inTurn(&players::Turns::restartOnTransmitter)) {
        if (!players::playerWindow(*player))
            continue;
        const plat::String device = getPlaybackDevice(player->name);
        if (device != kDefaultAudioDeviceName && device != kTransmitterName)
            continue;
        if (players::askRestart(0, *player) == IDYES) {
            closePlayer(player->name);
            startPlayer(player->name);
        }
    }
}
