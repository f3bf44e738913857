// The virtual transmitter's firmware and the levers tests have on HID devices.
//
// What the firmware answers (everything else it takes in silently):
//   StartupFirst 0x30, then StartupSecond 0x01 at once after it:
//       FirmwareVersion (0x20), a listing of the database (flags 0), the current device
//       (0x02 with its link state), or LinkLost (0x10) when it has none.
//   SelectDevice 0x02: a known address becomes current and linked; either way the
//       transmitter answers with its current device, so the host learns what really holds.
//   DeleteDevice 0x20: removes the address; when that was the current device, the newest
//       remaining one becomes current and is reported (LinkLost when none is left).
//   SetDeviceName 0x08 renames the address (names cut to 32 characters; empty ones refused).
//   StartPairing 0x04 enters pairing mode, CancelPairing 0x10 and HostExit 0x0C leave it;
//       MenuOpening 0x40 and ListingDone 0x80 need no answer.
// A listing carries in byte 2 of each entry the number of entries still to come after it, so
// the first one holds the number of entries minus one (TransmitterConfig::laterCountByte puts
// another byte in the later entries); an empty database is listed as one report with count
// byte -1 and no name. Commands are named from this transmitter's own table (kCommands).
#include "sim_transmitter.h"
#include "sim_firmware.h"

#include "text.h"

#include <algorithm>
#include <cstdio>

namespace sim {

namespace {

constexpr std::size_t kMaxNameUnits = 32;
constexpr std::size_t kNameBytes = 128;
constexpr std::size_t kAddressOffset = 130; // in output reports

} // namespace

String cutName(String name) {
    if (name.size() > kMaxNameUnits) {
        name.resize(kMaxNameUnits);
        if (name.back() >= 0xD800 && name.back() <= 0xDBFF)
            name.pop_back();
    }
    return name;
}

std::string quoted(const String& text) {
    return "\"" + narrow(text) + "\"";
}

const char* keyName(std::uint8_t usage) {
    switch (usage) {
    case 0xB5:
        return " (next track)";
    case 0xB6:
        return " (previous track)";
    case 0xB7:
        return " (stop)";
    case 0xCD:
        return " (play/pause)";
    default:
        return "";
    }
}

std::string hexByte(unsigned v) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "0x%02X", v & 0xFF);
    return buf;
}

std::string addressText(const DeviceAddress& address) {
    char buf[24];
    std::snprintf(buf, sizeof buf, "%02X-%02X-%02X-%02X-%02X-%02X", address[0], address[1],
                  address[2], address[3], address[4], address[5]);
    return buf;
}

namespace {

// The commands this transmitter knows, by code; those about one device carry its address.
struct CommandRow {
    std::uint8_t code;
    const char* name;
    bool addressed;
};

constexpr CommandRow kCommands[] = {
    {0x30, "StartupFirst", false}, {0x01, "StartupSecond", false}, {0x02, "SelectDevice", true},
    {0x04, "StartPairing", false}, {0x08, "SetDeviceName", true},  {0x10, "CancelPairing", false},
    {0x20, "DeleteDevice", true},  {0x40, "MenuOpening", false},   {0x80, "ListingDone", false},
    {0x0C, "HostExit", false},
};

const CommandRow* commandRow(std::uint8_t code) {
    for (const CommandRow& row : kCommands)
        if (row.code == code)
            return &row;
    return nullptr;
}

} // namespace

std::string commandName(std::uint8_t code) {
    const CommandRow* row = commandRow(code);
    return row ? std::string(row->name) : "Unknown(" + hexByte(code) + ")";
}

std::vector<std::uint8_t> vendorReport(std::uint8_t flags, std::int8_t count, const String& name,
                                       const DeviceAddress& address, std::int8_t linkState) {
    std::vector<std::uint8_t> r(kVendorReportLength, 0);
    r[0] = 2;
    r[1] = flags;
    r[2] = static_cast<std::uint8_t>(count);
    const std::string utf8 = plat::toUtf8(name);
    std::size_t n = std::min(utf8.size(), kNameBytes);
    if (n < utf8.size())
        while (n > 0 && (static_cast<unsigned char>(utf8[n]) & 0xC0) == 0x80)
            --n; // not through the middle of a character
    std::copy(utf8.begin(), utf8.begin() + static_cast<std::ptrdiff_t>(n), r.begin() + 3);
    std::copy(address.begin(), address.end(), r.begin() + 131);
    r[137] = static_cast<std::uint8_t>(linkState);
    return r;
}

// ==================================================================== firmware

TransmitterFirmware::TransmitterFirmware(TransmitterId id, const TransmitterConfig& config)
    : id_(id), capacity_(std::min<std::size_t>(config.capacity, 128)),
      version_(config.firmwareVersion), date_(config.firmwareDate),
      answersStartup_(config.answersStartup), laterCountByte_(config.laterCountByte),
      linked_(config.linked) {
    setDatabase(config.database);
    current_.reset();
    const std::size_t index = config.currentIndex.value_or(0);
    if (index < database_.size())
        current_ = database_[index].address;
}

void TransmitterFirmware::setDatabase(std::vector<PairedDevice> database) {
    if (database.size() > capacity_)
        database.resize(capacity_);
    for (auto& d : database)
        d.name = cutName(std::move(d.name));
    database_ = std::move(database);
    if (current_ && findAddress(*current_) < 0)
        current_.reset();
    if (!current_ && !database_.empty())
        current_ = database_.front().address;
}

std::optional<PairedDevice> TransmitterFirmware::currentDevice() const {
    if (!current_)
        return std::nullopt;
    const int i = findAddress(*current_);
    if (i < 0)
        return std::nullopt;
    return database_[static_cast<std::size_t>(i)];
}

int TransmitterFirmware::findAddress(const DeviceAddress& address) const {
    for (std::size_t i = 0; i < database_.size(); ++i)
        if (database_[i].address == address)
            return static_cast<int>(i);
    return -1;
}

void TransmitterFirmware::hostGone() {
    pairingMode_ = false;
    lastCode_.reset();
}

void TransmitterFirmware::sendCurrent(std::vector<Outgoing>& out) const {
    const auto current = currentDevice();
    if (!current) {
        out.push_back({HidCollectionRole::Vendor, vendorReport(0x10, 0, u"", {}, 1),
                       "LinkLost (no current device)"});
        return;
    }
    out.push_back({HidCollectionRole::Vendor,
                   vendorReport(0x02, 0, current->name, current->address, linked_ ? 0 : 1),
                   "CurrentDevice " + quoted(current->name) + " " + addressText(current->address) +
                       (linked_ ? " linked" : " not linked")});
}

void TransmitterFirmware::sendListing(std::uint8_t flags, std::vector<Outgoing>& out) const {
    const std::string origin = (flags & 0x04) ? " (from pairing)" : "";
    if (database_.empty()) {
        out.push_back({HidCollectionRole::Vendor, vendorReport(flags, -1, u"", {}, 0),
                       "listing: empty database" + origin});
        return;
    }
    const std::size_t n = database_.size();
    for (std::size_t i = 0; i < n; ++i) {
        const PairedDevice& d = database_[i];
        const std::int8_t count =
            i > 0 && laterCountByte_ ? *laterCountByte_ : static_cast<std::int8_t>(n - 1 - i);
        out.push_back({HidCollectionRole::Vendor, vendorReport(flags, count, d.name, d.address, 0),
                       "listing entry " + std::to_string(i + 1) + "/" + std::to_string(n) + " " +
                           quoted(d.name) + " " + addressText(d.address) + origin});
    }
}

namespace {

// An output report as the transmitter reads it: report id, command code, name and address.
TransmitterCommand decodeCommand(const std::uint8_t* bytes, std::size_t length, std::uint64_t now) {
    TransmitterCommand c;
    c.atMs = now;
    c.raw.assign(bytes, bytes + length);
    c.reportId = length > 0 ? bytes[0] : 0;
    c.code = length > 1 ? bytes[1] : 0;
    if (length > 2) {
        const std::size_t end = std::min(length, 2 + kNameBytes);
        std::size_t stop = 2;
        while (stop < end && bytes[stop] != 0)
            ++stop;
        c.name =
            plat::fromUtf8(std::string_view(reinterpret_cast<const char*>(bytes + 2), stop - 2));
    }
    for (std::size_t i = 0; i < c.address.size(); ++i)
        c.address[i] = kAddressOffset + i < length ? bytes[kAddressOffset + i] : 0;
    const CommandRow* row = commandRow(c.code);
    c.command =
        c.reportId != 2 ? "ReportId(" + std::to_string(c.reportId) + ")" : commandName(c.code);
    c.addressed = c.reportId == 2 && row && row->addressed;
    return c;
}

} // namespace

void TransmitterFirmware::onOutputReport(const std::uint8_t* bytes, std::size_t length,
                                         std::uint64_t now, std::vector<Outgoing>& out,
                                         std::vector<std::string>& notes) {
    const TransmitterCommand c = decodeCommand(bytes, length, now);
    commands_.push_back(c);

    const std::string who = "transmitter " + std::to_string(id_);
    if (c.reportId != 2) {
        notes.push_back(who + " received an output report with id " + std::to_string(c.reportId) +
                        " (" + std::to_string(length) + " bytes): ignored");
        return;
    }
    std::string line = who + " received " + c.command + " (" + hexByte(c.code) + ")";
    if (!c.name.empty())
        line += " " + quoted(c.name);
    if (c.addressed)
        line += " " + addressText(c.address);
    const auto previous = lastCode_;
    lastCode_ = c.code;
    const std::string outcome = answer(c, previous, out);
    if (!outcome.empty())
        line += ": " + outcome;
    notes.push_back(std::move(line));
}

// The firmware's answer to one command; what it did not do, for the log.
std::string TransmitterFirmware::answer(const TransmitterCommand& c,
                                        std::optional<std::uint8_t> previous,
                                        std::vector<Outgoing>& out) {
    const int index = findAddress(c.address);
    std::string outcome;

    switch (c.code) {
    case 0x30:
        break; // the second half of the handshake follows
    case 0x01:
        outcome = answerStartup(previous, out);
        break;
    case 0x02:
        if (index >= 0) {
            current_ = c.address;
            linked_ = true;
        } else {
            outcome = "unknown address: current device unchanged";
        }
        sendCurrent(out);
        break;
    case 0x04:
        pairingMode_ = true;
        break;
    case 0x08:
        if (index < 0)
            outcome = "ignored: unknown address";
        else if (c.name.empty())
            outcome = "ignored: empty name";
        else
            database_[static_cast<std::size_t>(index)].name = cutName(c.name);
        break;
    case 0x10:
    case 0x0C:
        pairingMode_ = false;
        break;
    case 0x20:
        outcome = deleteDevice(c.address, index, out);
        break;
    case 0x40:
    case 0x80:
        break;
    default:
        outcome = "ignored";
        break;
    }
    return outcome;
}

// StartupSecond: the firmware's version, a listing and the current device, when StartupFirst
// came just before and this transmitter answers at all.
std::string TransmitterFirmware::answerStartup(std::optional<std::uint8_t> previous,
                                               std::vector<Outgoing>& out) {
    if (previous != 0x30)
        return "no answer: StartupFirst did not come just before";
    if (!answersStartup_)
        return "no answer: this transmitter stays silent";
    DeviceAddress version{};
    std::copy(version_.begin(), version_.end(), version.begin());
    char text[24];
    std::snprintf(text, sizeof text, "%u.%u.%u", version_[0], version_[1], version_[2]);
    out.push_back({HidCollectionRole::Vendor, vendorReport(0x20, 0, date_, version, 0),
                   std::string("FirmwareVersion ") + text + " " + quoted(date_)});
    sendListing(0x00, out);
    sendCurrent(out);
    return "";
}

// DeleteDevice: when the current device goes, the newest remaining one becomes current.
std::string TransmitterFirmware::deleteDevice(const DeviceAddress& address, int index,
                                              std::vector<Outgoing>& out) {
    if (index < 0)
        return "ignored: unknown address";
    database_.erase(database_.begin() + index);
    if (current_ == address) {
        current_.reset();
        if (!database_.empty()) {
            current_ = database_.front().address;
            linked_ = true;
        }
        sendCurrent(out);
    }
    return "";
}

} // namespace sim
