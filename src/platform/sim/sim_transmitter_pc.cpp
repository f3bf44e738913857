// The levers tests have on the virtual transmitters and other HID devices: plugging them in
// and out, their notifications, their firmware's state, and remote keys.
#include "sim_firmware.h"

#include "text.h"

#include <algorithm>
#include <cstdio>

namespace sim {

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
    return it == t->paths.end() ? String() : spelledForEnumeration(it->second, impl_->pathSpelling);
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
