#include "VendorProtocol.h"

#include "text.h"

#include <algorithm>
#include <cstring>

namespace vendor {

ReplyKind replyKind(std::uint8_t flags) {
    if (flags & Flag::PairingFailed)
        return ReplyKind::PairingFailed;
    if (flags & Flag::ListCleared)
        return ReplyKind::ListCleared;
    if (flags & Flag::PairingStarted)
        return ReplyKind::PairingStarted;
    if (flags & Flag::FirmwareVersion)
        return ReplyKind::FirmwareVersion;
    if (flags & Flag::LinkLost)
        return ReplyKind::LinkLost;
    if (flags & Flag::CurrentDevice)
        return ReplyKind::CurrentDevice;
    return ReplyKind::ListingEntry;
}

std::u16string_view leadingCodeUnits(std::u16string_view text, std::size_t max) {
    if (text.size() <= max)
        return text;
    std::size_t cut = max;
    // A high surrogate whose partner falls beyond the cut would become U+FFFD on the wire.
    if (cut > 0 && text[cut - 1] >= 0xD800 && text[cut - 1] <= 0xDBFF)
        --cut;
    return text.substr(0, cut);
}

DecodedReport decodeReport(std::span<const std::uint8_t, kReportSize> report) {
    DecodedReport r;
    r.flags = report[kInFlags];
    r.count = static_cast<std::int32_t>(static_cast<std::int8_t>(report[kInCount])) + 1;

    const auto* name = reinterpret_cast<const char*>(report.data() + kInName);
    const auto* nul = static_cast<const char*>(std::memchr(name, 0, kNameFieldSize));
    const std::size_t nameBytes = nul ? static_cast<std::size_t>(nul - name) : kNameFieldSize;
    const plat::String decoded = plat::fromUtf8(std::string_view(name, nameBytes));
    r.name = plat::String(leadingCodeUnits(decoded, kMaxNameLength));

    std::copy_n(report.begin() + kInAddress, r.address.size(), r.address.begin());
    r.linkState = static_cast<std::int8_t>(report[kInLinkState]);
    return r;
}

void encodeCommand(std::span<std::uint8_t, kReportSize> report, std::uint8_t code,
                   std::u16string_view name, const DeviceAddress* address) {
    report[0] = kReportId;
    report[kOutCode] = code;
    // 32 code units are at most 96 UTF-8 bytes, so the name always ends with NUL bytes.
    const std::string utf8 = plat::toUtf8(leadingCodeUnits(name, kMaxNameLength));
    std::fill_n(report.begin() + kOutName, kNameFieldSize, std::uint8_t{0});
    std::copy_n(utf8.begin(), std::min(utf8.size(), kNameFieldSize), report.begin() + kOutName);
    if (address)
        std::copy(address->begin(), address->end(), report.begin() + kOutAddress);
}

plat::String firmwareText(const DecodedReport& report) {
    return plat::formatText(u"%d.%d.%d:%s", {unsigned{report.address[0]}, unsigned{report.address[1]},
                                             unsigned{report.address[2]}, report.name});
}

} // namespace vendor
