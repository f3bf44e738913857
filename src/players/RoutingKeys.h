// The registry keys, values and result texts shared by the routing operations of PcInfo.
#pragma once

namespace routingkeys {

inline constexpr char16_t kSoundMapperKey[] = u"SOFTWARE\\Microsoft\\Multimedia\\Sound Mapper\\";
inline constexpr char16_t kPlayback[] = u"Playback";
inline constexpr char16_t kRecord[] = u"Record";
inline constexpr char16_t kPreferredOnly[] = u"PreferredOnly";
inline constexpr char16_t kSetupPreferredCount[] = u"SetupPreferredAudioDevicesCount";
inline constexpr char16_t kSetupPreferredKey[] =
    u"SYSTEM\\CurrentControlSet\\Control\\MediaResources\\SetupPreferredAudioDevices\\";
inline constexpr char16_t kWmpPreferencesKey[] = u"Software\\Microsoft\\MediaPlayer\\Preferences\\";
inline constexpr char16_t kDefaultAudioDevice[] = u"DefaultAudioDevice";
inline constexpr char16_t kPlayUiKey[] = u"SOFTWARE\\MusicMatch\\MusicMatch Jukebox\\4.0\\PlayUI\\";
inline constexpr char16_t kDefaultMixer[] = u"DefaultMixer";
inline constexpr char16_t kMixerControl[] = u"MixerControl";

inline constexpr char16_t kNoDeviceFound[] = u"No Device Found";
inline constexpr char16_t kCantAccess[] = u"Can't Access the entry";
// The transmitter's name in the device table (numbered "%s (%d)" when repeated).
inline constexpr char16_t kTransmitterName[] = u"Quorvane Auravo";

} // namespace routingkeys

// The last table index that names a current device: audioDeviceCount, bounded by the table.
int lastTableIndex();
