// The transmitter's vendor protocol as bytes: the 138-byte output report of one command and
// the decoding of one input report. Pure functions, no platform: the link, the fuzz target
// and the benchmarks drive them directly.
#pragma once

#include "PairedDevices.h"
#include "types.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace vendor {

inline constexpr std::size_t kReportSize = 138;
inline constexpr std::uint8_t kReportId = 2;
// Names travel as at most 32 UTF-16 code units (in UTF-8 on the wire).
inline constexpr std::size_t kMaxNameLength = kMaxDeviceNameLength;
inline constexpr std::size_t kNameFieldSize = 128;

// Output report: id, command code, name, address, two unused bytes.
inline constexpr std::size_t kOutCode = 1;
inline constexpr std::size_t kOutName = 2;
inline constexpr std::size_t kOutAddress = 130;
// Input report: id, flags, signed count, name, address, signed link state.
inline constexpr std::size_t kInFlags = 1;
inline constexpr std::size_t kInCount = 2;
inline constexpr std::size_t kInName = 3;
inline constexpr std::size_t kInAddress = 131;
inline constexpr std::size_t kInLinkState = 137;

namespace Command {
inline constexpr std::uint8_t StartupFirst = 0x30;
inline constexpr std::uint8_t StartupSecond = 0x01;
inline constexpr std::uint8_t SelectDevice = 0x02;
inline constexpr std::uint8_t StartPairing = 0x04;
inline constexpr std::uint8_t SetDeviceName = 0x08;
inline constexpr std::uint8_t CancelPairing = 0x10;
inline constexpr std::uint8_t DeleteDevice = 0x20;
inline constexpr std::uint8_t MenuOpening = 0x40;
inline constexpr std::uint8_t ListingDone = 0x80;
inline constexpr std::uint8_t HostExit = 0x0C;
} // namespace Command

namespace Flag {
inline constexpr std::uint8_t PairingFailed = 0x40;
inline constexpr std::uint8_t ListCleared = 0x08;
inline constexpr std::uint8_t PairingStarted = 0x80;
inline constexpr std::uint8_t FirmwareVersion = 0x20;
inline constexpr std::uint8_t LinkLost = 0x10;
inline constexpr std::uint8_t CurrentDevice = 0x02;
inline constexpr std::uint8_t FromPairing = kListingFromPairing; // in listing entries
} // namespace Flag

// What one input report is: the first flag set in the order below decides.
enum class ReplyKind {
    PairingFailed,
    ListCleared,
    PairingStarted,
    FirmwareVersion,
    LinkLost,
    CurrentDevice,
    ListingEntry, // none of the above
};

ReplyKind replyKind(std::uint8_t flags);

struct DecodedReport {
    std::uint8_t flags = 0;
    std::int32_t count = 0; // byte 2 as a signed value, plus one
    plat::String name;
    DeviceAddress address{};
    std::int8_t linkState = 0;
};

// Decodes one input report as it lies in the 138-byte buffer (report id not checked).
DecodedReport decodeReport(std::span<const std::uint8_t, kReportSize> report);

// Fills bytes 0-129 of `report` for one command and, when `address` is given, bytes
// 130-135; the address bytes of the previous command stay otherwise.
void encodeCommand(std::span<std::uint8_t, kReportSize> report, std::uint8_t code,
                   std::u16string_view name, const DeviceAddress* address);

// The first `max` code units of `text`, without splitting a surrogate pair at the cut.
std::u16string_view leadingCodeUnits(std::u16string_view text, std::size_t max);

// "%d.%d.%d:%s": the three version bytes and the build date the report carries as its name.
plat::String firmwareText(const DecodedReport& report);

} // namespace vendor
