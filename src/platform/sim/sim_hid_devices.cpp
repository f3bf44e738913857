// The HID devices of the simulated PC: transmitters and other devices plugged in and out,
// their collections, and the input reports they send.
#include "sim_transmitter.h"

#include "text.h"

#include <algorithm>
#include <cstdio>

namespace sim {

namespace {

constexpr const char* kHidGuidText = "{4d1e55b2-f16f-11cf-88cb-001111000030}";

String transmitterPath(const std::string& instanceId, int collection) {
    char buf[160];
    std::snprintf(buf, sizeof buf, "\\\\?\\HID#Vid_0b7a&Pid_0100&MI_03&col%02d#7&%s&0&%04d#%s",
                  collection, instanceId.c_str(), collection - 1, kHidGuidText);
    return plat::fromAscii(buf);
}

std::string hex8(std::uint32_t v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%08x", v);
    return buf;
}

const char* roleName(HidCollectionRole role) {
    switch (role) {
    case HidCollectionRole::Vendor:
        return "vendor";
    case HidCollectionRole::Consumer:
        return "consumer-control";
    case HidCollectionRole::Extra:
        return "extra";
    }
    return "?";
}

} // namespace

// ==================================================================== devices

bool HidWorld::asleep(const HidCollection& c) const {
    const TransmitterRec* t = c.transmitter ? transmitter(c.transmitter) : nullptr;
    return t && t->asleep;
}

void HidWorld::setAsleep(TransmitterId id, bool asleep) {
    TransmitterRec* t = transmitter(id);
    if (!t || !t->plugged || t->asleep == asleep)
        return;
    t->asleep = asleep;
    w_.journal("transmitter " + std::to_string(id) +
               (asleep ? ": the PC sleeps; the transmitter answers nothing"
                       : ": the PC wakes; the transmitter answers again"));
    if (!asleep)
        return;
    // A read pending when the PC went to sleep fails as well.
    for (auto& [handle, h] : handles_)
        if (h->collection->transmitter == id && h->reader)
            w_.wake(h->reader, WakeReason::Woken);
}

void hidLiveObjects(const SimPc::Impl& w, std::vector<LiveObject>& out) {
    for (const auto& [handle, h] : hidWorld(w).openHandles())
        out.push_back({HandleKind::HidHandle, h->owner, handle,
                       "HID handle on " + narrow(h->collection->path) +
                           (h->collection->present ? "" : " (device gone)")});
}

TransmitterRec* HidWorld::transmitter(TransmitterId id) {
    auto it = transmitters_.find(id);
    return it == transmitters_.end() ? nullptr : &it->second;
}

const TransmitterRec* HidWorld::transmitter(TransmitterId id) const {
    auto it = transmitters_.find(id);
    return it == transmitters_.end() ? nullptr : &it->second;
}

void HidWorld::present(std::shared_ptr<HidCollection> collection) {
    collection->present = true;
    present_.push_back(std::move(collection));
}

void HidWorld::removed(const std::shared_ptr<HidCollection>& collection) {
    collection->present = false;
    present_.erase(std::remove(present_.begin(), present_.end(), collection), present_.end());
    for (auto& [handle, h] : handles_) {
        if (h->collection != collection)
            continue;
        h->queue.clear();
        if (h->reader)
            w_.wake(h->reader, WakeReason::Woken);
    }
}

std::vector<String> HidWorld::plugCollections(TransmitterRec& t) {
    const TransmitterConfig& cfg = t.config;
    auto make = [&](HidCollectionRole role, std::uint16_t usagePage, std::uint16_t input,
                    std::uint16_t output, bool openable) {
        auto c = std::make_shared<HidCollection>();
        c->path = t.paths[role];
        c->attributes = {kTransmitterVendorId, kTransmitterProductId, 0x0100};
        c->caps.usage = 0x0001;
        c->caps.usagePage = usagePage;
        c->caps.inputReportByteLength = input;
        c->caps.outputReportByteLength = output;
        c->openable = openable;
        c->transmitter = t.id;
        c->role = role;
        t.collections[role] = c;
        present(c);
        return c->path;
    };
    std::vector<String> paths;
    paths.push_back(make(HidCollectionRole::Vendor, kVendorUsagePage, cfg.vendorInputLength,
                         cfg.vendorOutputLength, cfg.vendorOpenable));
    if (cfg.consumerCollection)
        paths.push_back(make(HidCollectionRole::Consumer, kConsumerUsagePage,
                             cfg.consumerInputLength, 0, cfg.consumerOpenable));
    if (cfg.extraUsagePage)
        paths.push_back(make(HidCollectionRole::Extra, *cfg.extraUsagePage, 8, 0, true));
    t.plugged = true;
    w_.journal("transmitter " + std::to_string(t.id) + " plugged in (instance " + cfg.instanceId +
               ")");
    return paths;
}

std::vector<String> HidWorld::plugTransmitter(TransmitterConfig config, TransmitterId& id) {
    id = nextTransmitter_++;
    TransmitterRec& t = transmitters_[id];
    t.id = id;
    if (config.instanceId.empty())
        config.instanceId = hex8(0x1a2b3c4du + static_cast<std::uint32_t>(id - 1) * 0x01010101u);
    config.capacity = std::min<std::size_t>(config.capacity, 128);
    t.paths[HidCollectionRole::Vendor] =
        config.vendorPath.value_or(transmitterPath(config.instanceId, 1));
    t.paths[HidCollectionRole::Consumer] =
        config.consumerPath.value_or(transmitterPath(config.instanceId, 2));
    t.paths[HidCollectionRole::Extra] = transmitterPath(config.instanceId, 3);
    t.config = std::move(config);
    t.firmware = std::make_unique<TransmitterFirmware>(id, t.config);
    return plugCollections(t);
}

std::vector<String> HidWorld::unplugTransmitter(TransmitterId id) {
    std::vector<String> paths;
    TransmitterRec* t = transmitter(id);
    if (!t || !t->plugged)
        return paths;
    for (const auto role :
         {HidCollectionRole::Vendor, HidCollectionRole::Consumer, HidCollectionRole::Extra}) {
        auto it = t->collections.find(role);
        if (it == t->collections.end())
            continue;
        removed(it->second);
        paths.push_back(it->second->path);
    }
    t->collections.clear();
    t->plugged = false;
    t->asleep = false;
    t->firmware->hostGone();
    w_.journal("transmitter " + std::to_string(id) + " unplugged");
    return paths;
}

std::vector<String> HidWorld::replugTransmitter(TransmitterId id) {
    TransmitterRec* t = transmitter(id);
    if (!t || t->plugged)
        return {};
    return plugCollections(*t);
}

std::vector<String> HidWorld::plugForeign(HidDeviceConfig config, HidDeviceId& id) {
    id = nextForeign_++;
    if (config.path.empty()) {
        char buf[160];
        std::snprintf(buf, sizeof buf, "\\\\?\\HID#Vid_%04x&Pid_%04x&MI_00#8&%s&0&0000#%s",
                      config.vendorId, config.productId,
                      hex8(0x3c4d5e6fu + static_cast<std::uint32_t>(id) * 0x00010001u).c_str(),
                      kHidGuidText);
        config.path = plat::fromAscii(buf);
    }
    auto c = std::make_shared<HidCollection>();
    c->path = config.path;
    c->attributes = {config.vendorId, config.productId, config.versionNumber};
    c->caps.usage = config.usage;
    c->caps.usagePage = config.usagePage;
    c->caps.inputReportByteLength = config.inputLength;
    c->caps.outputReportByteLength = config.outputLength;
    c->openable = config.openable;
    present(c);
    w_.journal("HID device " + std::to_string(id) + " plugged in: " + narrow(c->path));
    ForeignHidRec& rec = foreign_[id];
    rec.config = std::move(config);
    rec.collection = std::move(c);
    return {rec.collection->path};
}

std::vector<String> HidWorld::unplugForeign(HidDeviceId id) {
    auto it = foreign_.find(id);
    if (it == foreign_.end() || !it->second.collection->present)
        return {};
    removed(it->second.collection);
    w_.journal("HID device " + std::to_string(id) + " unplugged");
    return {it->second.collection->path};
}

void HidWorld::send(TransmitterRec& t, std::vector<Outgoing> reports) {
    const std::string who = "transmitter " + std::to_string(t.id);
    for (auto& report : reports) {
        auto found = t.collections.find(report.role);
        if (t.asleep) {
            w_.journal(who + " cannot send " + report.what + ": the PC sleeps");
            continue;
        }
        if (!t.plugged || found == t.collections.end()) {
            w_.journal(who + " cannot send " + report.what + ": it has no " +
                       roleName(report.role) + " collection now");
            continue;
        }
        const std::shared_ptr<HidCollection>& c = found->second;
        // A device sends reports of its declared length; a raw one may be shorter.
        const std::size_t declared = c->caps.inputReportByteLength;
        if (!report.exact || report.bytes.size() > declared)
            report.bytes.resize(declared, 0);
        std::size_t receivers = 0;
        std::size_t dropped = 0;
        for (auto& [handle, h] : handles_) {
            if (h->collection != c || h->closed)
                continue;
            ++receivers;
            if (h->queue.size() >= kInputBuffersPerHandle) {
                h->queue.pop_front();
                ++dropped;
            }
            h->queue.push_back(report.bytes);
            if (h->reader)
                w_.wake(h->reader, WakeReason::Woken);
        }
        std::string line = who + " sent " + report.what;
        if (receivers == 0)
            line += " (no handle open)";
        if (dropped)
            line += " (" + std::to_string(dropped) + " unread report(s) dropped: buffer full)";
        w_.journal(std::move(line));
    }
}

std::vector<const HidOpenHandle*> HidWorld::handlesOf(TransmitterId id,
                                                      HidCollectionRole role) const {
    std::vector<const HidOpenHandle*> out;
    for (const auto& [handle, h] : handles_)
        if (h->collection->transmitter == id && h->collection->role == role)
            out.push_back(h.get());
    return out;
}

std::unique_ptr<plat::Hid> makeHidPort(SimPc::Impl& w) {
    return std::make_unique<HidWorld>(w);
}

} // namespace sim
