// The program's copy of the transmitter's paired-device database, process-wide: the reader
// thread fills it from listings and replies, the user interface reads it and changes it
// through the vendor link's operations. Every operation takes the one lock inside and
// returns; nothing here calls out (no device I/O, no window, no log), so the lock can never
// be held across a read or a write on the device.
//
// The original keeps the addresses in a table of 20 entries that a listing can overflow.
// Here names and addresses are one list that grows with the transmitter's database. A
// listing cannot describe more than 128 devices (its count is one signed byte plus one),
// and a listing only ever adds up to its own size, so the list stays within 128 entries; an
// index outside the list stands for the "no device" address of six 0xFF bytes, the value
// the original's table holds just after the last device.
#pragma once

#include "types.h"

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string_view>
#include <vector>

// A paired device's address. Opaque: the program passes it back and shows it, nothing more.
using DeviceAddress = std::array<std::uint8_t, 6>;

// A device name is at most 32 UTF-16 code units: the transmitter's name field holds no more.
inline constexpr std::size_t kMaxDeviceNameLength = 32;
// The flag of a listing entry that pairing caused, as the transmitter sets it
// (vendor::Flag::FromPairing).
inline constexpr std::uint8_t kListingFromPairing = 0x04;

struct PairedDevice {
    plat::String name;
    DeviceAddress address{};
    bool operator==(const PairedDevice&) const = default;
};

inline constexpr DeviceAddress kNoDeviceAddress{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};

class PairedDevices {
public:
    // The link's constructor: list and current name empty, no listing under way, not
    // pairing.
    void reset();
    // The link's destructor: not pairing, list and current name empty.
    void forget();
    // A ListCleared report: list and current name empty.
    void clear();

    // One listing entry from the reader (a report with none of the reply flags).
    struct ListingStep {
        bool complete = false; // the listing ended: ControllerRequest::ListingComplete
    };
    ListingStep receiveListingEntry(std::int32_t count, const plat::String& name,
                                    const DeviceAddress& address, std::uint8_t flags);

    // processNewDevices for a listing not caused by pairing: the first listing after start
    // comes newest first and is turned round (names and addresses together) so the list
    // shows the oldest device first. Returns the pairing flag as it was (1: not pairing).
    std::int32_t orderListingIfNotPairing();
    void setPairingIdle();

    plat::StringArray names() const;
    std::vector<PairedDevice> devices() const;
    std::size_t size() const;
    plat::String currentName() const;
    void setCurrentName(const plat::String& name);
    // The index of the last device with exactly this name, or -1.
    std::int32_t indexOf(const plat::String& name) const;
    // The address of device `index`; kNoDeviceAddress outside the list.
    DeviceAddress addressAt(std::int32_t index) const;
    // A successful SetDeviceName: the first device named `oldName` takes `newName`, and so
    // does the current name if it was `oldName`.
    void rename(const plat::String& oldName, const plat::String& newName);
    // The same for the first device with this address, whatever names others share with it.
    void renameAt(const DeviceAddress& address, const plat::String& newName);
    // After a DeleteDevice write: when it went through, the first device named `name` leaves
    // the list; in every case an empty list has no current device, and a deleted current
    // device hands over to the last device of the list.
    void afterDelete(const plat::String& name, bool written);
    // The same for the device with this address: when the write went through, the first device
    // with it leaves the list, whatever names the others share with it.
    void afterDeleteAt(const DeviceAddress& address, const plat::String& name, bool written);
    // The first device with this address, if any.
    std::optional<PairedDevice> findAddress(const DeviceAddress& address) const;

    std::int32_t listingRemaining() const;
    std::int32_t listingBase() const;
    std::int32_t pairingIdle() const;

    // Set by the reader when pairing failed while a pairing dialog is open; the dialog reads
    // and clears it.
    std::atomic<std::uint8_t> pairingFailed{0};

private:
    // afterDelete's work under the lock: erase the first device `leaves` picks, if written.
    template <class Pick> void eraseAndHandOver(Pick leaves, const plat::String& name, bool written);

    mutable std::mutex lock_;
    std::vector<PairedDevice> devices_;
    plat::String current_;
    std::int32_t listingRemaining_ = -1;
    std::int32_t listingBase_ = 0;
    std::int32_t pairingIdle_ = 1;
};

// The device name rules, shared by every dialog that names a device. In this order: the
// entered text is trimmed of leading and trailing white space; empty is refused; the
// device's present name is accepted without a command; more than 32 characters is
// refused (exactly 32 is fine); the exact name of any paired device is refused (another
// letter case is a different name); anything else renames the device.
enum class NameVerdict { Empty, Unchanged, TooLong, Taken, Rename };

struct NameCheck {
    NameVerdict verdict = NameVerdict::Empty;
    plat::String name; // the trimmed text
};

NameCheck checkDeviceName(std::u16string_view entered, const plat::String& presentName,
                          const plat::StringArray& pairedNames);

// A text one thread writes and another reads: the firmware version, set by the reader and
// shown by the About dialog.
class SharedText {
public:
    plat::String get() const;
    void set(plat::String text);
    operator plat::String() const { return get(); }

private:
    mutable std::mutex lock_;
    plat::String text_;
};
