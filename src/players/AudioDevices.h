// The audio output device table: one entry per playback device with every identifier the
// players and the system use for it, kept current by the audio-device thread.
#pragma once

#include "types.h"

#include <array>
#include <atomic>
#include <cstdint>

struct AudioDeviceEntry {
    std::uint32_t waveId = 0; // wave-out device number, from 0
    plat::String guid;        // DirectSound GUID, "{...}" upper case, 38 characters
    plat::String name;        // display name ("Quorvane Auravo" for the transmitter)
    plat::String waveName;    // the wave and mixer services' name; empty until seen
};

inline constexpr int kAudioDeviceTableSize = 100;
inline constexpr char16_t kDefaultAudioDeviceName[] = u"Default Audio Device";
inline constexpr char16_t kNullGuid[] = u"{00000000-0000-0000-0000-000000000000}";

// The table itself, one per run (it lives with the process-wide objects). Index 0 is the
// default-device entry; index k is the device whose waveId is k - 1.
struct AudioDeviceTable {
    std::array<AudioDeviceEntry, kAudioDeviceTableSize> entries;
    // The number of mixer devices at the last change; written by the audio thread only.
    std::atomic<std::int32_t> count{0};
    // audioDeviceMutex, published here by the PcInfo constructor before it starts the
    // thread: the thread cannot read it through globals().pcInfo, which is only assigned
    // once that constructor has returned.
    std::atomic<plat::Handle> mutex{0};
};

// Copies entry `index` out under the audio-device mutex. An index outside the table
// yields an empty entry.
void readDeviceEntry(int index, AudioDeviceEntry& out);
// Stores entry `index` under the mutex and traces it; an index outside the table is ignored.
void storeDeviceEntry(int index, const AudioDeviceEntry& entry);
// audioDeviceCount, read without the lock as its users do.
std::int32_t audioDeviceCount();

// ---- the enumeration thread's work (the thread itself: audioDeviceThread, PCInfo.cpp)

// A GUID as StringFromGUID2 writes it: "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}", upper case.
plat::String guidText(const plat::Guid& guid);
// The wave name an emulated record's description gives: the text before the blank that
// precedes "(emulated)"; empty when the description has no "(emulated)".
plat::String emulatedWaveName(const plat::String& description);

// Stores the default-device entry at index 0 (done once, as the thread starts).
void storeDefaultDeviceEntry();

class TransmitterEndpoints;

// One enumeration pass without its sleep: loads "dsound.dll", reads the mixer count
// (setting `countChanged` when it moved), enumerates the devices into the table, recognising
// the transmitter by its USB ids in a record's path or else through its endpoint
// (`transmitters`, kept by the thread across passes), and releases everything. False, with
// the failure logged, when a set-up step failed; the table and the count are then untouched.
bool audioEnumerationPass(bool& countChanged, TransmitterEndpoints& transmitters);
// Tells the settings sheet (title string 146), then the Edit Media Player Settings dialog
// (string 138), that the device count changed: WM_USER, wParam 2, to each that is open.
void postDeviceCountChanged();
