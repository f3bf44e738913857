// HID devices and the virtual transmitter of the simulated PC as a test describes them and
// reads them back (sim_pc.h).
#pragma once

#include "ports.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace sim {

using plat::String;

// ------------------------------------------------------------ HID devices and the transmitter
// A paired remote device as the transmitter stores it.
using DeviceAddress = std::array<std::uint8_t, 6>;

struct PairedDevice {
    String name; // at most 32 characters (UTF-16 code units)
    DeviceAddress address{};
    bool operator==(const PairedDevice&) const = default;
};

enum class RemoteKind { Receiver, Headphones };

// A remote device that completes pairing. Without a name it reports its default one,
// "Receiver #n" or "Headphones #n" (n unused on this transmitter); without an address it
// gets one no other device of this transmitter has.
struct NewRemote {
    RemoteKind kind = RemoteKind::Receiver;
    std::optional<String> name;
    std::optional<DeviceAddress> address;
};

// The top-level collections of a transmitter; Extra is an optional third one with a usage
// page the program must ignore.
enum class HidCollectionRole { Vendor, Consumer, Extra };

struct TransmitterConfig {
    // The per-device part of the interface paths (8 hex digits); empty: one no other
    // transmitter of this PC has.
    std::string instanceId;
    // Declared report lengths (HIDP_CAPS), report id byte included.
    std::uint16_t vendorInputLength = 138;
    std::uint16_t vendorOutputLength = 138;
    std::uint16_t consumerInputLength = 3;
    // The paired-device database, newest first (at most `capacity` entries are kept).
    std::vector<PairedDevice> database;
    // The count byte of a listing's entries after the first (the first always carries the
    // number of entries minus one). Nothing: the number of entries still to come after each;
    // a value: every later entry carries it (firmware that fills the byte in only once).
    std::optional<std::int8_t> laterCountByte;
    std::size_t capacity = 20; // at most 128: a listing counts its entries in one signed byte
    // The device the transmitter sends to: index into `database` (default: the newest).
    std::optional<std::size_t> currentIndex;
    bool linked = true; // whether the current device is in reach
    std::array<std::uint8_t, 3> firmwareVersion{1, 4, 2};
    String firmwareDate = u"Jun 20 2005";
    // Answers StartupSecond (right after StartupFirst) with version, listing and current
    // device; false: a transmitter that stays silent.
    bool answersStartup = true;
    bool consumerCollection = true;
    // A third collection (col03) with this usage page, e.g. 0x0001 (generic desktop).
    std::optional<std::uint16_t> extraUsagePage;
    // Interface paths other than the generated ones (to test odd paths).
    std::optional<String> vendorPath;
    std::optional<String> consumerPath;
    // CreateFileW on the interface fails (another program holds it exclusively).
    bool vendorOpenable = true;
    bool consumerOpenable = true;
    // Virtual time between the interface notifications of its collections when it is
    // plugged in or out: the system announces each collection as its driver comes or goes.
    std::uint32_t noticeGapMs = 20;
};

// Which of a transmitter's interface notifications the system sends when it is plugged in
// or out: all (one per collection, vendor first, each `noticeGapMs` after the one before),
// only the vendor or the consumer collection's, or none. A notification held back can be
// sent later with SimPc::transmitterNotify.
enum class InterfaceNotices { All, VendorOnly, ConsumerOnly, None };

// How the system spells device interface paths. Windows 10 and 11 hand them out in lower
// case from enumeration (the HID interfaces, and the audio devices' records) and announce them
// in notifications with the device part in upper case
// ("\\?\HID#VID_0B7A&PID_0100&MI_03&COL01#7&1a2b3c4d&0&0000#{...}"). Older Windows spelled
// a path the same, mixed-case way everywhere ("\\?\HID#Vid_0b7a&Pid_0100&MI_03&col01#...").
enum class DevicePathSpelling { Current, Legacy };

// Any other HID interface (a mouse, a keyboard, another vendor's device).
struct HidDeviceConfig {
    std::uint16_t vendorId = 0x046D;
    std::uint16_t productId = 0xC52B;
    std::uint16_t versionNumber = 0x1200;
    std::uint16_t usagePage = 0x0001;
    std::uint16_t usage = 0x0002;
    std::uint16_t inputLength = 8;
    std::uint16_t outputLength = 0;
    String path; // empty: generated from the ids
    bool openable = true;
};

// Something that happens on the transmitter by itself; each sends the report named.
enum class TransmitterEvent {
    PairingButton, // its Connect button: pairing mode, PairingStarted (flags 0x80)
    PairingFailed, // flags 0x40; leaves pairing mode
    ListCleared,   // its database is wiped: flags 0x08
    LinkLost,      // the current device went out of reach: flags 0x10
    LinkRegained,  // back in reach: CurrentDevice (flags 0x02) with link state 0
};

// One output report the transmitter received on its vendor collection, decoded by the
// transmitter's own table, never by the program's.
struct TransmitterCommand {
    std::uint64_t atMs = 0; // virtual time
    std::uint8_t reportId = 0;
    std::uint8_t code = 0;
    // What the transmitter took it for: "StartupFirst", "SelectDevice", ...; "Unknown(0x55)"
    // for a code it does not know, "ReportId(3)" for a report with another id.
    std::string command;
    bool addressed = false;  // a command about one device (its address counts)
    String name;             // bytes 2-129 up to the first NUL, as UTF-8
    DeviceAddress address{}; // bytes 130-135
    std::vector<std::uint8_t> raw;
};

// The 138-byte input report layout of the vendor collection: report id 2, flags, signed
// count, NUL-terminated UTF-8 name (cut at 128 bytes), address, signed link state.
std::vector<std::uint8_t> vendorReport(std::uint8_t flags, std::int8_t count, const String& name,
                                       const DeviceAddress& address, std::int8_t linkState);

using TransmitterId = int;
using HidDeviceId = int;
} // namespace sim
