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

#include "text.h"

#include <algorithm>
#include <cstdio>

namespace sim {

namespace {

constexpr std::size_t kMaxNameUnits = 32;
constexpr std::size_t kNameBytes = 128;
constexpr std::size_t kAddressOffset = 130; // in output reports
constexpr std::uint8_t kConsumerReportId = 1;

// The firmware keeps at most 32 UTF-16 code units and never half a surrogate pair.
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

} // namespace

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
    {0x30, "StartupFirst", false},  {0x01, "StartupSecond", false},
    {0x02, "SelectDevice", true},   {0x04, "StartPairing", false},
    {0x08, "SetDeviceName", true},  {0x10, "CancelPairing", false},
    {0x20, "DeleteDevice", true},   {0x40, "MenuOpening", false},
    {0x80, "ListingDone", false},   {0x0C, "HostExit", false},
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
        const std::int8_t count = i > 0 && laterCountByte_ ? *laterCountByte_
                                                           : static_cast<std::int8_t>(n - 1 - i);
        out.push_back(
            {HidCollectionRole::Vendor, vendorReport(flags, count, d.name, d.address, 0),
             "listing entry " + std::to_string(i + 1) + "/" + std::to_string(n) + " " +
                 quoted(d.name) + " " + addressText(d.address) + origin});
    }
}

void TransmitterFirmware::onOutputReport(const std::uint8_t* bytes, std::size_t length,
                                         std::uint64_t now, std::vector<Outgoing>& out,
                                         std::vector<std::string>& notes) {
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
    c.command = c.reportId != 2 ? "ReportId(" + std::to_string(c.reportId) + ")" : commandName(c.code);
    c.addressed = c.reportId == 2 && row && row->addressed;
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
    const int index = findAddress(c.address);
    std::string outcome;

    switch (c.code) {
    case 0x30:
        break; // the second half of the handshake follows
    case 0x01:
        if (previous != 0x30)
            outcome = "no answer: StartupFirst did not come just before";
        else if (!answersStartup_)
            outcome = "no answer: this transmitter stays silent";
        else {
            DeviceAddress version{};
            std::copy(version_.begin(), version_.end(), version.begin());
            char text[24];
            std::snprintf(text, sizeof text, "%u.%u.%u", version_[0], version_[1], version_[2]);
            out.push_back({HidCollectionRole::Vendor, vendorReport(0x20, 0, date_, version, 0),
                           std::string("FirmwareVersion ") + text + " " + quoted(date_)});
            sendListing(0x00, out);
            sendCurrent(out);
        }
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
        if (index < 0) {
            outcome = "ignored: unknown address";
            break;
        }
        database_.erase(database_.begin() + index);
        if (current_ == c.address) {
            current_.reset();
            if (!database_.empty()) {
                current_ = database_.front().address;
                linked_ = true;
            }
            sendCurrent(out);
        }
        break;
    case 0x40:
    case 0x80:
        break;
    default:
        outcome = "ignored";
        break;
    }
    if (!outcome.empty())
        line += ": " + outcome;
    notes.push_back(std::move(line));
}

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

// ==================================================================== SimPc

namespace {

// The record of transmitter `id`, or a failure naming the test's mistake.
TransmitterRec* find(SimPc::Impl& w, Lock& lk, TransmitterId id, const char* what) {
    TransmitterRec* t = hidWorld(w).transmitter(id);
    if (!t)
        w.fail(lk, std::string("simulated PC: ") + what + ": no transmitter " + std::to_string(id));
    return t;
}

// The record of a plugged-in transmitter for an event; an unplugged one ignores it.
TransmitterRec* plugged(SimPc::Impl& w, Lock& lk, TransmitterId id, const std::string& what) {
    TransmitterRec* t = find(w, lk, id, what.c_str());
    if (t && !t->plugged) {
        w.journal("transmitter " + std::to_string(id) + " is unplugged: " + what + " ignored");
        return nullptr;
    }
    return t;
}

// Notifications announce paths as the system spells them there. Lock held.
void spellForNotification(SimPc::Impl& w, std::vector<String>& paths) {
    for (auto& path : paths)
        path = spelledForNotification(path, w.pathSpelling);
}

} // namespace

namespace {

bool noticeWanted(InterfaceNotices notices, HidCollectionRole role) {
    switch (notices) {
    case InterfaceNotices::All:
        return true;
    case InterfaceNotices::VendorOnly:
        return role == HidCollectionRole::Vendor;
    case InterfaceNotices::ConsumerOnly:
        return role == HidCollectionRole::Consumer;
    case InterfaceNotices::None:
        return false;
    }
    return false;
}

} // namespace

// The notifications of one plug-in or removal, one collection at a time: the program has
// handled each before the next comes.
void SimPc::announceTransmitter(TransmitterId id, const std::vector<String>& paths,
                                plat::WParam event, InterfaceNotices notices) {
    std::uint32_t gapMs = 0;
    std::vector<String> sent;
    {
        Lock lk(impl_->m);
        const TransmitterRec* t = hidWorld(*impl_).transmitter(id);
        if (!t)
            return;
        gapMs = t->config.noticeGapMs;
        for (const String& path : paths)
            for (const auto& [role, known] : t->paths)
                if (known == path && noticeWanted(notices, role))
                    sent.push_back(path);
        spellForNotification(*impl_, sent);
    }
    for (std::size_t i = 0; i < sent.size(); ++i) {
        if (i > 0 && gapMs > 0 && !deviceNotificationWindows().empty())
            advance(gapMs);
        sendDeviceChange(event, sent[i]);
    }
}

TransmitterId SimPc::plugTransmitter(TransmitterConfig config, InterfaceNotices notices) {
    TransmitterId id = 0;
    std::vector<String> paths;
    {
        Lock lk(impl_->m);
        paths = hidWorld(*impl_).plugTransmitter(std::move(config), id);
        if (impl_->transmitterPlugged)
            impl_->transmitterPlugged(id, true);
    }
    announceTransmitter(id, paths, DBT_DEVICEARRIVAL, notices);
    return id;
}

void SimPc::unplugTransmitter(TransmitterId id, InterfaceNotices notices) {
    std::vector<String> paths;
    {
        Lock lk(impl_->m);
        if (!find(*impl_, lk, id, "unplugTransmitter"))
            return;
        paths = hidWorld(*impl_).unplugTransmitter(id);
        if (impl_->transmitterPlugged)
            impl_->transmitterPlugged(id, false);
    }
    announceTransmitter(id, paths, DBT_DEVICEREMOVECOMPLETE, notices);
}

bool SimPc::replugTransmitter(TransmitterId id, InterfaceNotices notices) {
    std::vector<String> paths;
    {
        Lock lk(impl_->m);
        if (!find(*impl_, lk, id, "replugTransmitter"))
            return false;
        paths = hidWorld(*impl_).replugTransmitter(id);
        if (impl_->transmitterPlugged && !paths.empty())
            impl_->transmitterPlugged(id, true);
    }
    announceTransmitter(id, paths, DBT_DEVICEARRIVAL, notices);
    return !paths.empty();
}

void SimPc::transmitterNotify(TransmitterId id, HidCollectionRole role) {
    String path;
    bool plugged = false;
    {
        Lock lk(impl_->m);
        const TransmitterRec* t = find(*impl_, lk, id, "transmitterNotify");
        if (!t)
            return;
        auto it = t->paths.find(role);
        if (it == t->paths.end())
            return;
        path = spelledForNotification(it->second, impl_->pathSpelling);
        plugged = t->plugged;
    }
    sendDeviceChange(plugged ? DBT_DEVICEARRIVAL : DBT_DEVICEREMOVECOMPLETE, path);
}

bool SimPc::transmitterPlugged(TransmitterId id) const {
    Lock lk(impl_->m);
    const TransmitterRec* t = hidWorld(*impl_).transmitter(id);
    return t && t->plugged;
}

String SimPc::transmitterPath(TransmitterId id, HidCollectionRole role) const {
    Lock lk(impl_->m);
    const TransmitterRec* t = hidWorld(*impl_).transmitter(id);
    if (!t)
        return {};
    auto it = t->paths.find(role);
    return it == t->paths.end() ? String()
                                : spelledForEnumeration(it->second, impl_->pathSpelling);
}

HidDeviceId SimPc::plugHidDevice(HidDeviceConfig config) {
    HidDeviceId id = 0;
    std::vector<String> paths;
    {
        Lock lk(impl_->m);
        paths = hidWorld(*impl_).plugForeign(std::move(config), id);
        spellForNotification(*impl_, paths);
    }
    for (const auto& path : paths)
        sendDeviceChange(DBT_DEVICEARRIVAL, path);
    return id;
}

void SimPc::unplugHidDevice(HidDeviceId id) {
    std::vector<String> paths;
    {
        Lock lk(impl_->m);
        paths = hidWorld(*impl_).unplugForeign(id);
        spellForNotification(*impl_, paths);
    }
    for (const auto& path : paths)
        sendDeviceChange(DBT_DEVICEREMOVECOMPLETE, path);
}

std::vector<TransmitterCommand> SimPc::transmitterCommands(TransmitterId id) const {
    Lock lk(impl_->m);
    const TransmitterRec* t = hidWorld(*impl_).transmitter(id);
    return t ? t->firmware->commands() : std::vector<TransmitterCommand>{};
}

std::vector<std::uint8_t> SimPc::transmitterCommandCodes(TransmitterId id) const {
    std::vector<std::uint8_t> codes;
    for (const auto& c : transmitterCommands(id))
        if (c.reportId == 2)
            codes.push_back(c.code);
    return codes;
}

std::vector<PairedDevice> SimPc::transmitterDatabase(TransmitterId id) const {
    Lock lk(impl_->m);
    const TransmitterRec* t = hidWorld(*impl_).transmitter(id);
    return t ? t->firmware->database() : std::vector<PairedDevice>{};
}

void SimPc::setTransmitterDatabase(TransmitterId id, std::vector<PairedDevice> database) {
    Lock lk(impl_->m);
    if (TransmitterRec* t = find(*impl_, lk, id, "setTransmitterDatabase"))
        t->firmware->setDatabase(std::move(database));
}

void SimPc::setTransmitterAnswersStartup(TransmitterId id, bool answers) {
    Lock lk(impl_->m);
    if (TransmitterRec* t = find(*impl_, lk, id, "setTransmitterAnswersStartup"))
        t->firmware->setAnswersStartup(answers);
}

std::optional<PairedDevice> SimPc::transmitterCurrentDevice(TransmitterId id) const {
    Lock lk(impl_->m);
    const TransmitterRec* t = hidWorld(*impl_).transmitter(id);
    return t ? t->firmware->currentDevice() : std::nullopt;
}

bool SimPc::transmitterLinked(TransmitterId id) const {
    Lock lk(impl_->m);
    const TransmitterRec* t = hidWorld(*impl_).transmitter(id);
    return t && t->plugged && t->firmware->linked();
}

void SimPc::setTransmitterWritesFail(TransmitterId id, bool fail) {
    Lock lk(impl_->m);
    if (TransmitterRec* t = find(*impl_, lk, id, "setTransmitterWritesFail"))
        t->writesFail = fail;
}

void SimPc::setTransmitterAsleep(TransmitterId id, bool asleep) {
    Lock lk(impl_->m);
    if (find(*impl_, lk, id, "setTransmitterAsleep"))
        hidWorld(*impl_).setAsleep(id, asleep);
}

bool SimPc::transmitterPairingMode(TransmitterId id) const {
    Lock lk(impl_->m);
    const TransmitterRec* t = hidWorld(*impl_).transmitter(id);
    return t && t->firmware->pairingMode();
}

std::vector<PairedDevice> SimPc::transmitterPair(TransmitterId id, std::vector<NewRemote> remotes) {
    Lock lk(impl_->m);
    TransmitterRec* t = plugged(*impl_, lk, id, "pairing");
    if (!t)
        return {};
    std::vector<Outgoing> out;
    auto added = t->firmware->pair(std::move(remotes), out);
    for (const auto& d : added)
        impl_->journal("transmitter " + std::to_string(id) + " paired " + quoted(d.name) + " " +
                       addressText(d.address));
    hidWorld(*impl_).send(*t, std::move(out));
    return added;
}

void SimPc::transmitterEvent(TransmitterId id, TransmitterEvent event) {
    Lock lk(impl_->m);
    TransmitterRec* t = plugged(*impl_, lk, id, "event");
    if (!t)
        return;
    std::vector<Outgoing> out;
    t->firmware->event(event, out);
    hidWorld(*impl_).send(*t, std::move(out));
}

void SimPc::transmitterSendRaw(TransmitterId id, std::vector<std::uint8_t> bytes,
                               HidCollectionRole role) {
    Lock lk(impl_->m);
    TransmitterRec* t = plugged(*impl_, lk, id, "raw report");
    if (!t)
        return;
    std::string what = "raw report of " + std::to_string(bytes.size()) + " bytes";
    if (!bytes.empty())
        what += " (id " + std::to_string(bytes[0]) + ")";
    Outgoing report{role, std::move(bytes), std::move(what), true};
    std::vector<Outgoing> out;
    out.push_back(std::move(report));
    hidWorld(*impl_).send(*t, std::move(out));
}

void SimPc::pressRemoteKey(TransmitterId id, std::uint8_t usageLowByte, bool release) {
    Lock lk(impl_->m);
    TransmitterRec* t = plugged(*impl_, lk, id, "media key");
    if (!t)
        return;
    std::vector<Outgoing> out;
    t->firmware->mediaKey(usageLowByte, release, out);
    hidWorld(*impl_).send(*t, std::move(out));
}

std::size_t SimPc::transmitterQueuedReports(TransmitterId id, HidCollectionRole role) const {
    Lock lk(impl_->m);
    std::size_t n = 0;
    for (const HidOpenHandle* h : hidWorld(*impl_).handlesOf(id, role))
        n += h->queue.size();
    return n;
}

bool SimPc::transmitterReadPending(TransmitterId id, HidCollectionRole role) const {
    Lock lk(impl_->m);
    for (const HidOpenHandle* h : hidWorld(*impl_).handlesOf(id, role))
        if (h->reader && h->reader->blocked)
            return true;
    return false;
}

std::size_t SimPc::transmitterOpenHandles(TransmitterId id, HidCollectionRole role) const {
    Lock lk(impl_->m);
    return hidWorld(*impl_).handlesOf(id, role).size();
}

bool SimPc::waitForTransmitterRead(TransmitterId id, HidCollectionRole role,
                                   std::chrono::milliseconds bound) {
    Lock lk(impl_->m);
    const auto ready = [&] {
        if (impl_->driver || !impl_->quiet(nullptr))
            return false;
        // A blocked reader has taken everything its handle had: reports wake it.
        for (const HidOpenHandle* h : hidWorld(*impl_).handlesOf(id, role))
            if (h->reader && h->reader->blocked)
                return true;
        return false;
    };
    if (impl_->cv.wait_for(lk, bound, ready))
        return true;
    impl_->fail(lk, "simulated PC: no read pending on transmitter " + std::to_string(id) +
                        " after " + std::to_string(bound.count()) +
                        " ms; still running: " + impl_->busyThreads(nullptr));
    return false;
}

} // namespace sim
