// The audio devices of the simulated PC as a test adds and reads them (sim_pc.h).
#pragma once

#include "ports.h"

#include <cstdint>
#include <optional>

namespace sim {

using plat::String;

// ------------------------------------------------------------ audio devices
// Where a device's emulated DirectSound record ("<wave name> (emulated)") comes in the
// enumeration relative to its WDM (or VXD) record, or whether it has none.
enum class EmulatedRecord { AfterWdm, BeforeWdm, None };

// Which Windows plays the PC's sound. An older one has no Core Audio and plays on the device
// the sound mapper's "Playback" preference names. Today's (Vista and later) ignores the sound
// mapper: it keeps a default render endpoint per role, which the policy-config interface of
// its own sound settings changes, and its endpoints carry the DirectSound GUIDs.
enum class WindowsAudio { SoundMapper, CoreAudio };

// Today's Windows: what leads from a device's endpoint down to its hardware.
enum class HardwareRoute {
    Topology, // the device topology's connection, and through it the adapter's instance id
    None,     // neither (as while the device is still arriving)
};

// An audio device of the PC. Each present device yields its DirectSound records (WDM or VXD,
// and its emulated one) in the enumeration, and, with `mixer`, one mixer; on today's Windows a
// render device is an endpoint too.
struct AudioDeviceConfig {
    String description;                  // of its WDM (or VXD) record
    std::optional<plat::Guid> guid;      // nothing: one no other device of this PC has
    // Its wave device id. Nothing: numbered as Windows does, from 0 in plug-in order among
    // the present devices without a fixed id (render and capture counted apart), skipping
    // fixed ids; so removing a device renumbers the ones plugged in after it.
    std::optional<std::uint32_t> waveId;
    String waveName;  // empty: the description cut to 31 characters (MAXPNAMELEN - 1)
    String mixerName; // the mixer's product name; empty: the wave name
    bool mixer = true;
    EmulatedRecord emulated = EmulatedRecord::AfterWdm;
    bool capture = false; // a recording device: its records have data flow 1
    bool vxd = false;     // a VXD driver: its record has type 1 instead of 2
    String interfacePath; // empty: a generated path of a PCI sound card
    String module = u"ks.sys";
    // Today's Windows: the kernel-streaming interface its endpoint's topology is connected to
    // (empty: `interfacePath`) and its adapter's device instance id (empty: made from that
    // path, as Windows names devices after their interfaces), reachable as `hardwareRoute`
    // says.
    String hardwarePath;
    String instanceId;
    HardwareRoute hardwareRoute = HardwareRoute::Topology;
};

// How the transmitter's audio function shows its USB identity; it takes effect when the
// transmitter is plugged in.
struct TransmitterAudioIdentity {
    // Its DirectSound record carries its USB interface path (with "vid_0b7a&pid_0100"); false:
    // the path of a software device without the USB ids, as today's Windows may give instead.
    bool usbPathInDirectSound = true;
    HardwareRoute hardwareRoute = HardwareRoute::Topology;
};

// The four set-up steps of an enumeration pass, any of which "dsound.dll" can fail.
enum class DsoundFailure {
    None,
    Missing,            // LoadLibraryW("dsound.dll") fails
    NoClassObjectEntry, // GetProcAddress("DllGetClassObject") fails
    NoClassFactory,     // DllGetClassObject gives no class factory
    NoPropertySet,      // IClassFactory::CreateInstance gives no IKsPropertySet
};

// A present audio device as the enumeration reports it now.
struct AudioDeviceView {
    int id = 0;
    String description;
    String waveName;
    std::uint32_t waveId = 0;
    plat::Guid guid;
    String interfacePath;
    bool capture = false;
    bool mixer = true;
    String endpointId; // today's Windows, render devices: its endpoint's id
};

using AudioDeviceId = int;

} // namespace sim
