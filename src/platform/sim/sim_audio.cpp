// The simulated PC's audio devices: DirectSound's private device enumeration behind a
// "dsound.dll" that can fail at each set-up step, the mixers, the transmitter's audio
// function, which comes and goes with the virtual transmitter, and on today's Windows the
// Core Audio endpoints with their default per role.
//
// Everything here is guarded by the world lock; the program's enumeration callback runs on a
// snapshot of the records, without the lock.
#include "sim_audio_world.h"

#include <algorithm>
#include <cstdio>
#include <set>

namespace sim::audio_internal {

std::string guidString(const plat::Guid& g) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                  static_cast<unsigned>(g.data1), g.data2, g.data3, g.data4[0], g.data4[1],
                  g.data4[2], g.data4[3], g.data4[4], g.data4[5], g.data4[6], g.data4[7]);
    return buf;
}

std::string lowerAscii(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return text;
}

String ascii(const std::string& text) {
    return String(text.begin(), text.end());
}

// An endpoint's id. Windows does not promise to make it from the DirectSound GUID, so here it
// is not: a program must read the endpoint's GUID property. Stable for a device across plug-ins.
String endpointIdOf(plat::Guid guid) {
    guid.data1 ^= 0x5EC0DE5Eu;
    guid.data2 = static_cast<std::uint16_t>(guid.data2 ^ 0x0E1Du);
    return ascii("{0.0.0.00000000}." + lowerAscii(guidString(guid)));
}

// A device instance id as Windows makes it from one of the device's interface paths:
// "\\?\USB#Vid_0b7a&Pid_0100&MI_00#6&1a2b&0&0000#{...}\global" belongs to
// "USB\VID_0B7A&PID_0100&MI_00\6&1A2B&0&0000".
String instanceIdFromPath(const String& path) {
    String id = path.starts_with(u"\\\\?\\") ? path.substr(4) : path;
    id = id.substr(0, id.find(u"#{"));
    for (char16_t& c : id) {
        if (c == u'#')
            c = u'\\';
        else if (c >= u'a' && c <= u'z')
            c = static_cast<char16_t>(c - u'a' + u'A');
    }
    return id;
}

// Distinct, stable GUIDs: one per added device, one per transmitter.
plat::Guid makeGuid(std::uint32_t family, std::uint32_t serial) {
    plat::Guid g;
    g.data1 = family;
    g.data2 = static_cast<std::uint16_t>(serial >> 16);
    g.data3 = static_cast<std::uint16_t>(0x4000 | (serial & 0x0FFF));
    const std::uint8_t tail[8] = {0x8A, 0x31, 0x00, 0x50,
                                  0x56, 0xC0, 0x00, static_cast<std::uint8_t>(serial & 0xFF)};
    std::copy(std::begin(tail), std::end(tail), g.data4);
    return g;
}

AudioWorld::AudioWorld(SimPc::Impl& w) : w_(w) {
    seedRegistry();
    w_.transmitterPlugged = [this](TransmitterId id, bool plugged) {
        transmitterChanged(id, plugged);
    };
}

Module AudioWorld::loadDsound() {
    Lock lk(w_.m);
    if (failure_ == DsoundFailure::Missing)
        return 0;
    ++loaded_;
    loadedBy_.push_back(w_.callerProcess(lk));
    return kDsoundModule;
}

bool AudioWorld::hasDllGetClassObject(Module dsound) {
    Lock lk(w_.m);
    return dsound == kDsoundModule && loaded_ > 0 && failure_ != DsoundFailure::NoClassObjectEntry;
}

Handle AudioWorld::getClassFactory(Module dsound) {
    Lock lk(w_.m);
    if (dsound != kDsoundModule || loaded_ == 0 || failure_ == DsoundFailure::NoClassObjectEntry ||
        failure_ == DsoundFailure::NoClassFactory)
        return 0;
    return newObject(lk, ObjectKind::ClassFactory);
}

Handle AudioWorld::createPropertySet(Handle classFactory) {
    Lock lk(w_.m);
    if (!isObject(classFactory, ObjectKind::ClassFactory) ||
        failure_ == DsoundFailure::NoPropertySet)
        return 0;
    return newObject(lk, ObjectKind::PropertySet);
}

bool AudioWorld::enumerateDevices(
    Handle propertySet, const std::function<bool(const plat::DsDeviceDescription&)>& callback) {
    std::vector<plat::DsDeviceDescription> records;
    {
        Lock lk(w_.m);
        if (!isObject(propertySet, ObjectKind::PropertySet))
            return false;
        ++enumerations_;
        records = recordsLocked();
    }
    for (const auto& r : records)
        if (!callback(r))
            break;
    return true;
}

void AudioWorld::release(Handle object) {
    Lock lk(w_.m);
    objects_.erase(object);
}

void AudioWorld::freeDsound(Module dsound) {
    Lock lk(w_.m);
    if (dsound == kDsoundModule && loaded_ > 0) {
        --loaded_;
        const auto it = std::find(loadedBy_.begin(), loadedBy_.end(), w_.callerProcess(lk));
        loadedBy_.erase(it != loadedBy_.end() ? it : loadedBy_.begin());
    }
}

std::uint32_t AudioWorld::mixerGetNumDevs() {
    Lock lk(w_.m);
    return static_cast<std::uint32_t>(mixersLocked().size());
}

bool AudioWorld::mixerGetProductName(std::uint32_t id, String& productName) {
    Lock lk(w_.m);
    const auto mixers = mixersLocked();
    if (id >= mixers.size())
        return false;
    productName = mixers[id];
    return true;
}

Handle AudioWorld::newObject(Lock& lk, ObjectKind kind) {
    const Handle h = w_.nextHandle;
    w_.nextHandle += 4;
    objects_[h] = {kind, w_.callerProcess(lk)};
    return h;
}

bool AudioWorld::isObject(Handle h, ObjectKind kind) const {
    const auto it = objects_.find(h);
    return it != objects_.end() && it->second.first == kind;
}

bool AudioWorld::inApartment(Lock& lk) {
    const ThreadRec* t = w_.current(lk);
    return t->kind != ThreadKind::Background || t->inApartment;
}

const AudioDeviceRec* AudioWorld::find(AudioDeviceId id) const {
    for (const auto& d : devices_)
        if (d.id == id)
            return &d;
    return nullptr;
}

const AudioDeviceRec* AudioWorld::endpoint(const String& id) const {
    for (const auto& d : devices_)
        if (!d.config.capture && foldCase(endpointIdOf(*d.config.guid)) == foldCase(id))
            return &d;
    return nullptr;
}

std::vector<const AudioDeviceRec*> AudioWorld::orderedLocked() const {
    std::vector<const AudioDeviceRec*> out;
    for (AudioDeviceId id : order_)
        for (const auto& d : devices_)
            if (d.id == id && std::find(out.begin(), out.end(), &d) == out.end())
                out.push_back(&d);
    for (const auto& d : devices_)
        if (std::find(out.begin(), out.end(), &d) == out.end())
            out.push_back(&d);
    return out;
}

std::map<AudioDeviceId, std::uint32_t> AudioWorld::waveIdsLocked() const {
    std::map<AudioDeviceId, std::uint32_t> ids;
    for (bool capture : {false, true}) {
        std::set<std::uint32_t> fixed;
        for (const auto& d : devices_)
            if (d.config.capture == capture && d.config.waveId)
                fixed.insert(*d.config.waveId);
        std::uint32_t next = 0;
        for (const auto& d : devices_) {
            if (d.config.capture != capture)
                continue;
            if (d.config.waveId) {
                ids[d.id] = *d.config.waveId;
                continue;
            }
            while (fixed.count(next))
                ++next;
            ids[d.id] = next++;
        }
    }
    return ids;
}

std::vector<plat::DsDeviceDescription> AudioWorld::recordsLocked() const {
    std::vector<plat::DsDeviceDescription> out;
    const auto ids = waveIdsLocked();
    for (const AudioDeviceRec* d : orderedLocked()) {
        const AudioDeviceConfig& c = d->config;
        plat::DsDeviceDescription main;
        main.type = c.vxd ? 1u : 2u;
        main.dataFlow = c.capture ? 1u : 0u;
        main.deviceId = *c.guid;
        main.description = c.description;
        main.module = c.module;
        main.interfacePath = spelledForEnumeration(c.interfacePath, w_.pathSpelling);
        main.waveDeviceId = ids.at(d->id);
        plat::DsDeviceDescription emulated = main;
        emulated.type = 0;
        emulated.description = c.waveName + u" (emulated)";
        const std::string waveOut = "WaveOut " + std::to_string(main.waveDeviceId);
        emulated.module = String(waveOut.begin(), waveOut.end());
        emulated.interfacePath.clear();
        if (c.emulated == EmulatedRecord::BeforeWdm)
            out.push_back(emulated);
        out.push_back(main);
        if (c.emulated == EmulatedRecord::AfterWdm)
            out.push_back(emulated);
    }
    return out;
}

std::vector<String> AudioWorld::mixersLocked() const {
    const auto ids = waveIdsLocked();
    std::vector<const AudioDeviceRec*> withMixer;
    for (const auto& d : devices_)
        if (d.config.mixer)
            withMixer.push_back(&d);
    std::stable_sort(withMixer.begin(), withMixer.end(),
                     [&](const AudioDeviceRec* a, const AudioDeviceRec* b) {
                         if (a->config.capture != b->config.capture)
                             return !a->config.capture;
                         return ids.at(a->id) < ids.at(b->id);
                     });
    std::vector<String> names;
    for (const AudioDeviceRec* d : withMixer)
        names.push_back(d->config.mixerName);
    return names;
}

} // namespace sim::audio_internal

namespace sim {

void audioLiveObjects(const SimPc::Impl& w, std::vector<LiveObject>& out) {
    static_cast<const audio_internal::AudioWorld&>(*w.audioPort).addLive(out);
}

std::unique_ptr<plat::Audio> makeAudioPort(SimPc::Impl& w) {
    auto world = std::make_unique<audio_internal::AudioWorld>(w);
    w.coreAudioPort = world.get();
    return world;
}

} // namespace sim
