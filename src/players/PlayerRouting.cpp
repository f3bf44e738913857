#include "PlayerRouting.h"

#include "AudioDevices.h"
#include "Globals.h"
#include "PcInfo.h"
#include "RoutingKeys.h"

using namespace routingkeys;

namespace players {

namespace {

constexpr std::size_t kValueCapacity = 100;
constexpr std::size_t kRememberedCapacity = 256;

} // namespace

plat::String readWindowsMediaPlayerDevice(PcInfo& pc) {
    const int last = lastTableIndex();
    plat::String guid;
    if (!pc.getRegVal(plat::HKCU, kWmpPreferencesKey, kDefaultAudioDevice, guid, kValueCapacity) &&
        !pc.getRegVal(plat::HKLM, kWmpPreferencesKey, kDefaultAudioDevice, guid, kValueCapacity))
        return kCantAccess;
    plat::String result = kNoDeviceFound;
    AudioDeviceEntry entry;
    for (int i = 0; i <= last; ++i) {
        readDeviceEntry(i, entry);
        if (entry.guid == guid)
            result = entry.name; // the last match wins
    }
    return result;
}

int writeWindowsMediaPlayerDevice(PcInfo& pc, int, const AudioDeviceEntry& chosen,
                                  const plat::String&) {
    int result = pc.setRegVal(plat::HKCU, kWmpPreferencesKey, kDefaultAudioDevice, chosen.guid);
    if (!result && globals().isAdministrator)
        result = pc.setRegVal(plat::HKLM, kWmpPreferencesKey, kDefaultAudioDevice, chosen.guid);
    return result;
}

plat::String readMusicmatchDevice(PcInfo& pc) {
    const int last = lastTableIndex();
    std::uint32_t defaultMixer = 0;
    if (!pc.getRegVal(plat::HKCU, kPlayUiKey, kDefaultMixer, defaultMixer))
        pc.getRegVal(plat::HKLM, kPlayUiKey, kDefaultMixer, defaultMixer);
    if (defaultMixer == 1)
        return kDefaultAudioDeviceName;
    std::uint32_t mixer = 0;
    if (!pc.getRegVal(plat::HKCU, kPlayUiKey, kMixerControl, mixer) &&
        !pc.getRegVal(plat::HKLM, kPlayUiKey, kMixerControl, mixer))
        return kCantAccess;
    // A mixer number outside the current devices is the default device.
    AudioDeviceEntry entry;
    readDeviceEntry(mixer < static_cast<std::uint32_t>(last) ? static_cast<int>(mixer) + 1 : 0,
                    entry);
    return entry.name;
}

int writeMusicmatchDevice(PcInfo& pc, int index, const AudioDeviceEntry& chosen,
                          const plat::String& device) {
    if (index == 0) {
        const int result = pc.setRegVal(plat::HKLM, kPlayUiKey, kDefaultMixer, std::uint32_t{1});
        pc.setRegVal(plat::HKCU, kPreferencesKey, kMusicmatch, kDefaultAudioDeviceName);
        return result;
    }
    pc.setRegVal(plat::HKLM, kPlayUiKey, kDefaultMixer, std::uint32_t{0});
    const int result = pc.setRegVal(plat::HKLM, kPlayUiKey, kMixerControl, chosen.waveId);
    pc.setRegVal(plat::HKCU, kPreferencesKey, kMusicmatch, device);
    return result;
}

void musicmatchOnTransmitterChange(PcInfo& pc, bool present) {
    plat::String remembered;
    const auto rememberedTransmitter = [&] {
        return pc.getRegVal(plat::HKCU, kPreferencesKey, kMusicmatch, remembered,
                            kRememberedCapacity) &&
               remembered.starts_with(kTransmitterName);
    };
    if (!present) {
        if (rememberedTransmitter())
            pc.setRegVal(plat::HKLM, kPlayUiKey, kDefaultMixer, std::uint32_t{1});
        return;
    }
    std::uint32_t defaultMixer = 0;
    if (!pc.getRegVal(plat::HKLM, kPlayUiKey, kDefaultMixer, defaultMixer) || defaultMixer != 1 ||
        !rememberedTransmitter())
        return;
    pc.setRegVal(plat::HKLM, kPlayUiKey, kDefaultMixer, std::uint32_t{0});
    AudioDeviceEntry entry;
    const int last = lastTableIndex();
    for (int i = 1; i <= last; ++i) {
        readDeviceEntry(i, entry);
        if (entry.name == kTransmitterName) {
            pc.setRegVal(plat::HKLM, kPlayUiKey, kMixerControl, entry.waveId);
            return;
        }
    }
}

plat::String readWinampDevice(PcInfo& pc) {
    return pc.getWinampOutputDevice();
}

int writeWinampDevice(PcInfo& pc, int index, const AudioDeviceEntry& chosen, const plat::String&) {
    // Only an administrator changes Winamp's file: it may live in its program folder.
    return globals().isAdministrator ? pc.setWinampOutputDevice(index, chosen) : 0;
}

} // namespace players
