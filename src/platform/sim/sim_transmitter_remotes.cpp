// The virtual transmitter's firmware on the remotes' side: pairing new remotes, its own events
// (the pairing button, a lost or regained link, a cleared list) and media keys.
#include "sim_firmware.h"

#include "text.h"

#include <algorithm>

namespace sim {

String TransmitterFirmware::defaultName(RemoteKind kind) {
    const String prefix = kind == RemoteKind::Receiver ? u"Receiver #" : u"Headphones #";
    std::uint32_t& next = kind == RemoteKind::Receiver ? nextReceiver_ : nextHeadphones_;
    for (;;) {
        const String name = prefix + plat::fromAscii(std::to_string(next++));
        if (std::none_of(database_.begin(), database_.end(),
                         [&](const PairedDevice& d) { return d.name == name; }))
            return name;
    }
}

DeviceAddress TransmitterFirmware::freshAddress() {
    for (;;) {
        ++addressSerial_;
        const DeviceAddress a{0x00,
                              0x0B,
                              0x7A,
                              static_cast<std::uint8_t>(id_),
                              static_cast<std::uint8_t>(addressSerial_ >> 8),
                              static_cast<std::uint8_t>(addressSerial_)};
        if (findAddress(a) < 0)
            return a;
    }
}

std::vector<PairedDevice> TransmitterFirmware::pair(std::vector<NewRemote> remotes,
                                                    std::vector<Outgoing>& out) {
    std::vector<PairedDevice> added;
    for (auto& remote : remotes) {
        PairedDevice d;
        d.address = remote.address ? *remote.address : freshAddress();
        // A remote paired before pairs anew: it becomes the newest entry.
        if (const int old = findAddress(d.address); old >= 0)
            database_.erase(database_.begin() + old);
        else if (database_.size() >= capacity_)
            continue;
        d.name = remote.name ? cutName(*remote.name) : defaultName(remote.kind);
        database_.insert(database_.begin(), d);
        added.push_back(d);
    }
    pairingMode_ = false;
    if (added.empty())
        out.push_back({HidCollectionRole::Vendor, vendorReport(0x40, 0, u"", {}, 0),
                       "PairingFailed (database full)"});
    else
        sendListing(0x04, out);
    return added;
}

void TransmitterFirmware::event(TransmitterEvent event, std::vector<Outgoing>& out) {
    switch (event) {
    case TransmitterEvent::PairingButton:
        pairingMode_ = true;
        out.push_back(
            {HidCollectionRole::Vendor, vendorReport(0x80, 0, u"", {}, 0), "PairingStarted"});
        break;
    case TransmitterEvent::PairingFailed:
        pairingMode_ = false;
        out.push_back(
            {HidCollectionRole::Vendor, vendorReport(0x40, 0, u"", {}, 0), "PairingFailed"});
        break;
    case TransmitterEvent::ListCleared:
        database_.clear();
        current_.reset();
        out.push_back(
            {HidCollectionRole::Vendor, vendorReport(0x08, 0, u"", {}, 0), "ListCleared"});
        break;
    case TransmitterEvent::LinkLost: {
        linked_ = false;
        const auto current = currentDevice();
        const PairedDevice d = current.value_or(PairedDevice{});
        out.push_back({HidCollectionRole::Vendor, vendorReport(0x10, 0, d.name, d.address, 1),
                       "LinkLost " + quoted(d.name)});
        break;
    }
    case TransmitterEvent::LinkRegained:
        linked_ = true;
        sendCurrent(out);
        break;
    }
}

void TransmitterFirmware::mediaKey(std::uint8_t usageLowByte, bool release,
                                   std::vector<Outgoing>& out) {
    out.push_back({HidCollectionRole::Consumer,
                   {kConsumerReportId, usageLowByte, 0},
                   "media key " + hexByte(usageLowByte) + keyName(usageLowByte)});
    if (release)
        out.push_back(
            {HidCollectionRole::Consumer, {kConsumerReportId, 0, 0}, "media key released"});
}

} // namespace sim
