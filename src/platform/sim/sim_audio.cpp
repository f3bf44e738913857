// The simulated PC's audio devices: DirectSound's private device enumeration behind a
// "dsound.dll" that can fail at each set-up step, the mixers, the transmitter's audio
// function, which comes and goes with the virtual transmitter, and on today's Windows the
// Core Audio endpoints with their default per role.
//
// Everything here is guarded by the world lock; the program's enumeration callback runs on a
// snapshot of the records, without the lock.
#include "sim_world.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <set>

namespace sim {

namespace {

constexpr std::size_t kMaxPname = 31; // MAXPNAMELEN - 1: the wave and mixer name fields
constexpr Module kDsoundModule = 0x6D800000;
constexpr char16_t kPreferredKey[] =
    u"SYSTEM\\CurrentControlSet\\Control\\MediaResources\\SetupPreferredAudioDevices\\";
constexpr char16_t kPreferredCount[] = u"SetupPreferredAudioDevicesCount";
constexpr std::uint32_t kFreshPreferredCount = 1;
constexpr char16_t kSoundMapperKey[] = u"SOFTWARE\\Microsoft\\Multimedia\\Sound Mapper";
constexpr char16_t kPlaybackValue[] = u"Playback";

constexpr std::int32_t kENotFound = static_cast<std::int32_t>(0x80070490u);
constexpr std::int32_t kEPointer = static_cast<std::int32_t>(0x80004003u);
constexpr std::int32_t kEInvalidArg = static_cast<std::int32_t>(0x80070057u);
constexpr std::size_t kRoles = 3;
const char* const kRoleNames[kRoles] = {"console", "multimedia", "communications"};

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

struct AudioDeviceRec {
    AudioDeviceId id = 0;
    AudioDeviceConfig config;
    TransmitterId transmitter = 0; // 0: an ordinary device
};

enum class ObjectKind { ClassFactory, PropertySet, DeviceEnumerator, PolicyConfig };

// One world behind both ports: DirectSound and the mixers (plat::Audio), and on today's
// Windows the endpoints (plat::CoreAudio), which are the same devices.
class AudioWorld final : public plat::Audio, public plat::CoreAudio {
public:
    explicit AudioWorld(SimPc::Impl& w) : w_(w) {
        seedRegistry();
        w_.transmitterPlugged = [this](TransmitterId id, bool plugged) {
            transmitterChanged(id, plugged);
        };
    }

    // ------------------------------------------------------------ the port
    Module loadDsound() override {
        Lock lk(w_.m);
        if (failure_ == DsoundFailure::Missing)
            return 0;
        ++loaded_;
        loadedBy_.push_back(w_.callerProcess(lk));
        return kDsoundModule;
    }

    bool hasDllGetClassObject(Module dsound) override {
        Lock lk(w_.m);
        return dsound == kDsoundModule && loaded_ > 0 &&
               failure_ != DsoundFailure::NoClassObjectEntry;
    }

    Handle getClassFactory(Module dsound) override {
        Lock lk(w_.m);
        if (dsound != kDsoundModule || loaded_ == 0 ||
            failure_ == DsoundFailure::NoClassObjectEntry ||
            failure_ == DsoundFailure::NoClassFactory)
            return 0;
        return newObject(lk, ObjectKind::ClassFactory);
    }

    Handle createPropertySet(Handle classFactory) override {
        Lock lk(w_.m);
        if (!isObject(classFactory, ObjectKind::ClassFactory) ||
            failure_ == DsoundFailure::NoPropertySet)
            return 0;
        return newObject(lk, ObjectKind::PropertySet);
    }

    bool enumerateDevices(
        Handle propertySet,
        const std::function<bool(const plat::DsDeviceDescription&)>& callback) override {
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

    void release(Handle object) override {
        Lock lk(w_.m);
        objects_.erase(object);
    }

    void freeDsound(Module dsound) override {
        Lock lk(w_.m);
        if (dsound == kDsoundModule && loaded_ > 0) {
            --loaded_;
            const auto it =
                std::find(loadedBy_.begin(), loadedBy_.end(), w_.callerProcess(lk));
            loadedBy_.erase(it != loadedBy_.end() ? it : loadedBy_.begin());
        }
    }

    std::uint32_t mixerGetNumDevs() override {
        Lock lk(w_.m);
        return static_cast<std::uint32_t>(mixersLocked().size());
    }

    bool mixerGetProductName(std::uint32_t id, String& productName) override {
        Lock lk(w_.m);
        const auto mixers = mixersLocked();
        if (id >= mixers.size())
            return false;
        productName = mixers[id];
        return true;
    }

    // ------------------------------------------------------------ the Core Audio port
    bool enterApartment() override {
        Lock lk(w_.m);
        w_.current(lk)->inApartment = true;
        return true;
    }

    Handle createDeviceEnumerator() override {
        Lock lk(w_.m);
        if (audio_ != WindowsAudio::CoreAudio || !inApartment(lk))
            return 0;
        return newObject(lk, ObjectKind::DeviceEnumerator);
    }

    bool renderEndpoints(Handle enumerator, std::vector<plat::AudioEndpoint>& endpoints) override {
        endpoints.clear();
        Lock lk(w_.m);
        if (!isObject(enumerator, ObjectKind::DeviceEnumerator))
            return false;
        for (const AudioDeviceRec* d : orderedLocked())
            if (!d->config.capture)
                endpoints.push_back(
                    {endpointIdOf(*d->config.guid), ascii(guidString(*d->config.guid))});
        return true;
    }

    std::int32_t defaultRenderEndpoint(Handle enumerator, plat::EndpointRole role,
                                       String& id) override {
        Lock lk(w_.m);
        if (!isObject(enumerator, ObjectKind::DeviceEnumerator))
            return kEPointer;
        const auto r = static_cast<std::size_t>(role);
        if (r >= kRoles)
            return kEInvalidArg;
        const AudioDeviceRec* d = defaults_[r] ? find(*defaults_[r]) : nullptr;
        if (!d)
            return kENotFound;
        id = endpointIdOf(*d->config.guid);
        return 0;
    }

    bool endpointHardware(Handle enumerator, const String& id,
                          plat::EndpointHardware& out) override {
        out = plat::EndpointHardware{};
        Lock lk(w_.m);
        const AudioDeviceRec* d =
            isObject(enumerator, ObjectKind::DeviceEnumerator) ? endpoint(id) : nullptr;
        if (!d)
            return false;
        const AudioDeviceConfig& c = d->config;
        const String& path = c.hardwarePath.empty() ? c.interfacePath : c.hardwarePath;
        if (c.hardwareRoute == HardwareRoute::Topology) {
            out.connectedDeviceId = u"{2}." + spelledForEnumeration(path, w_.pathSpelling);
            out.instanceId = c.instanceId.empty() ? instanceIdFromPath(path) : c.instanceId;
        }
        return true;
    }

    Handle createPolicyConfig() override {
        Lock lk(w_.m);
        if (audio_ != WindowsAudio::CoreAudio || !policyConfig_ || !inApartment(lk))
            return 0;
        return newObject(lk, ObjectKind::PolicyConfig);
    }

    std::int32_t setDefaultEndpoint(Handle policyConfig, const String& id,
                                    plat::EndpointRole role) override {
        Lock lk(w_.m);
        if (!isObject(policyConfig, ObjectKind::PolicyConfig))
            return kEPointer;
        const auto r = static_cast<std::size_t>(role);
        if (r >= kRoles)
            return kEInvalidArg;
        if (policyFailure_ != 0)
            return policyFailure_;
        const AudioDeviceRec* d = endpoint(id);
        if (!d)
            return kENotFound;
        defaults_[r] = d->id;
        w_.journal(std::string("default playback endpoint for ") + kRoleNames[r] + " set to \"" +
                   narrow(d->config.description) + "\"");
        return 0;
    }

    // ------------------------------------------------------------ the levers (lock held)
    AudioDeviceId add(AudioDeviceConfig config, TransmitterId transmitter = 0) {
        AudioDeviceRec rec;
        rec.id = nextId_++;
        if (!config.guid)
            config.guid = makeGuid(0xBD6DD71Bu, static_cast<std::uint32_t>(rec.id));
        if (config.waveName.empty())
            config.waveName = config.description.substr(0, kMaxPname);
        if (config.mixerName.empty())
            config.mixerName = config.waveName;
        config.mixerName = config.mixerName.substr(0, kMaxPname);
        if (config.interfacePath.empty()) {
            char buf[128];
            std::snprintf(buf, sizeof buf,
                          "\\\\?\\pci#ven_8086&dev_2668&subsys_%08x#3&11583659&0&d8#"
                          "{6994ad04-93ef-11d0-a3cc-00a0c9223196}\\wave",
                          static_cast<unsigned>(rec.id));
            config.interfacePath = plat::String(buf, buf + std::char_traits<char>::length(buf));
        }
        rec.config = std::move(config);
        rec.transmitter = transmitter;
        w_.journal("audio device " + std::to_string(rec.id) + " added: \"" +
                   narrow(rec.config.description) + "\" " + guidString(*rec.config.guid));
        devices_.push_back(std::move(rec));
        const AudioDeviceId id = devices_.back().id;
        keepDefaults();
        return id;
    }

    bool remove(AudioDeviceId id) {
        auto it = std::find_if(devices_.begin(), devices_.end(),
                               [&](const AudioDeviceRec& d) { return d.id == id; });
        if (it == devices_.end())
            return false;
        w_.journal("audio device " + std::to_string(id) + " removed: \"" +
                   narrow(it->config.description) + "\"");
        devices_.erase(it);
        keepDefaults();
        return true;
    }

    std::vector<AudioDeviceView> views() const {
        std::vector<AudioDeviceView> out;
        const auto ids = waveIdsLocked();
        for (const AudioDeviceRec* d : orderedLocked()) {
            AudioDeviceView v;
            v.id = d->id;
            v.description = d->config.description;
            v.waveName = d->config.waveName;
            v.waveId = ids.at(d->id);
            v.guid = *d->config.guid;
            v.interfacePath = spelledForEnumeration(d->config.interfacePath, w_.pathSpelling);
            v.capture = d->config.capture;
            v.mixer = d->config.mixer;
            if (audio_ == WindowsAudio::CoreAudio && !d->config.capture)
                v.endpointId = endpointIdOf(*d->config.guid);
            out.push_back(std::move(v));
        }
        return out;
    }

    std::optional<AudioDeviceId> ofTransmitter(TransmitterId id) const {
        for (const auto& d : devices_)
            if (d.transmitter == id)
                return d.id;
        return std::nullopt;
    }

    void setOrder(std::vector<AudioDeviceId> order) { order_ = std::move(order); }
    void setFailure(DsoundFailure failure) { failure_ = failure; }
    int outstanding() const { return loaded_ + static_cast<int>(objects_.size()); }

    void addLive(std::vector<LiveObject>& out) const {
        static constexpr const char* kNames[] = {
            "COM object: DirectSound class factory", "COM object: IKsPropertySet",
            "COM object: MMDeviceEnumerator", "COM object: policy config"};
        for (const auto& [h, object] : objects_)
            out.push_back({HandleKind::ComObject, object.second, h,
                           kNames[static_cast<int>(object.first)]});
        std::uint64_t load = 0;
        for (const std::uint32_t pid : loadedBy_)
            out.push_back({HandleKind::Library, pid, kDsoundModule + load++,
                           "library dsound.dll"});
    }
    int enumerations() const { return enumerations_; }

    void setWindowsAudio(WindowsAudio audio) { audio_ = audio; }
    void setIdentity(TransmitterAudioIdentity identity) { identity_ = identity; }
    bool setRoute(AudioDeviceId id, HardwareRoute route) {
        for (auto& d : devices_)
            if (d.id == id) {
                d.config.hardwareRoute = route;
                return true;
            }
        return false;
    }
    void setPolicyConfig(bool available) { policyConfig_ = available; }
    void setPolicyFailure(std::int32_t hresult) { policyFailure_ = hresult; }

    bool userSetsDefault(AudioDeviceId id, std::optional<plat::EndpointRole> role) {
        const AudioDeviceRec* d = find(id);
        if (audio_ != WindowsAudio::CoreAudio || !d || d->config.capture)
            return false;
        for (std::size_t r = 0; r < kRoles; ++r)
            if (!role || static_cast<std::size_t>(*role) == r)
                defaults_[r] = id;
        w_.journal("the user makes \"" + narrow(d->config.description) +
                   "\" the default playback device" +
                   (role ? std::string(" for ") + kRoleNames[static_cast<std::size_t>(*role)]
                         : std::string()));
        return true;
    }

    std::optional<AudioDeviceId> defaultFor(plat::EndpointRole role) const {
        const auto r = static_cast<std::size_t>(role);
        return r < kRoles ? defaults_[r] : std::nullopt;
    }

    std::optional<AudioDeviceId> systemDefault(const std::optional<String>& playback) const {
        if (audio_ == WindowsAudio::CoreAudio)
            return defaults_[0];
        // The older wave mapper: the preferred device while it is there, else device 0.
        const auto ids = waveIdsLocked();
        std::optional<AudioDeviceId> first;
        for (const AudioDeviceRec* d : orderedLocked()) {
            if (d->config.capture)
                continue;
            if (playback && d->config.waveName == *playback)
                return d->id;
            if (ids.at(d->id) == 0)
                first = d->id;
        }
        return first;
    }

private:
    void seedRegistry() {
        RegKey* node = w_.rootKey(plat::HKLM);
        std::vector<String> parts;
        if (!node || !splitPath(kPreferredKey, parts))
            return;
        for (const auto& p : parts) {
            auto& child = node->subkeys[foldCase(p)];
            if (!child) {
                child = std::make_unique<RegKey>();
                child->name = p;
            }
            node = child.get();
        }
        RegValue& v = node->values[foldCase(kPreferredCount)];
        v.name = kPreferredCount;
        v.type = REG_DWORD;
        v.bytes = {kFreshPreferredCount, 0, 0, 0};
    }

    void transmitterChanged(TransmitterId id, bool plugged) {
        if (!plugged) {
            if (auto device = ofTransmitter(id))
                remove(*device);
            return;
        }
        if (ofTransmitter(id))
            return;
        AudioDeviceConfig c;
        c.description = u"USB Audio Device";
        c.waveName = u"Quorvane Auravo";
        c.guid = makeGuid(0x0B7A0100u, static_cast<std::uint32_t>(id));
        char buf[128];
        std::snprintf(buf, sizeof buf,
                      "\\\\?\\USB#Vid_0b7a&Pid_0100&MI_00#6&1a2b3c4d&0&%04x#"
                      "{6994ad04-93ef-11d0-a3cc-00a0c9223196}\\global",
                      static_cast<unsigned>(id));
        c.hardwarePath = ascii(buf);
        // Without its USB path, the record names the endpoint's software device.
        c.interfacePath = identity_.usbPathInDirectSound
                              ? c.hardwarePath
                              : u"\\\\?\\SWD#MMDEVAPI#" + endpointIdOf(*c.guid) +
                                    u"#{e6327cad-dcec-4949-ae8a-991e976a79d2}";
        c.hardwareRoute = identity_.hardwareRoute;
        c.module = u"usbaudio.sys";
        add(std::move(c), id);
    }

    Handle newObject(Lock& lk, ObjectKind kind) {
        const Handle h = w_.nextHandle;
        w_.nextHandle += 4;
        objects_[h] = {kind, w_.callerProcess(lk)};
        return h;
    }

    bool isObject(Handle h, ObjectKind kind) const {
        const auto it = objects_.find(h);
        return it != objects_.end() && it->second.first == kind;
    }

    // COM: the program's main thread entered its apartment at start, and a test's thread is
    // not the program's; a thread the program started must enter one itself.
    bool inApartment(Lock& lk) {
        const ThreadRec* t = w_.current(lk);
        return t->kind != ThreadKind::Background || t->inApartment;
    }

    const AudioDeviceRec* find(AudioDeviceId id) const {
        for (const auto& d : devices_)
            if (d.id == id)
                return &d;
        return nullptr;
    }

    // The present render device whose endpoint has this id (Windows compares ids without
    // regard to case).
    const AudioDeviceRec* endpoint(const String& id) const {
        for (const auto& d : devices_)
            if (!d.config.capture && foldCase(endpointIdOf(*d.config.guid)) == foldCase(id))
                return &d;
        return nullptr;
    }

    // After a device came or went: a role without a present default gets the first render
    // device in enumeration order, as Windows moves the default off a device that goes.
    void keepDefaults() {
        const auto ordered = orderedLocked();
        for (std::size_t r = 0; r < kRoles; ++r) {
            if (defaults_[r] && find(*defaults_[r]))
                continue;
            std::optional<AudioDeviceId> next;
            for (const AudioDeviceRec* d : ordered)
                if (!d->config.capture) {
                    next = d->id;
                    break;
                }
            if (next == defaults_[r])
                continue;
            defaults_[r] = next;
            if (next && audio_ == WindowsAudio::CoreAudio)
                w_.journal(std::string("Windows makes \"") +
                           narrow(find(*next)->config.description) +
                           "\" the default playback endpoint for " + kRoleNames[r]);
        }
    }

    // The present devices in enumeration order: the ordered ids first, then plug-in order.
    std::vector<const AudioDeviceRec*> orderedLocked() const {
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

    // Wave ids: fixed ones as given; the others numbered from 0 in plug-in order, per data
    // flow, skipping the fixed ones of that flow.
    std::map<AudioDeviceId, std::uint32_t> waveIdsLocked() const {
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

    std::vector<plat::DsDeviceDescription> recordsLocked() const {
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

    // Mixer product names by mixer id: the devices with a mixer in wave-id order, render first.
    std::vector<String> mixersLocked() const {
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

    SimPc::Impl& w_;
    std::vector<AudioDeviceRec> devices_; // in plug-in order
    std::vector<AudioDeviceId> order_;
    AudioDeviceId nextId_ = 1;
    DsoundFailure failure_ = DsoundFailure::None;
    int loaded_ = 0;                       // LoadLibrary count of "dsound.dll"
    std::vector<std::uint32_t> loadedBy_;  // the process of each of those loads
    // Live COM objects, with the process that holds each.
    std::map<Handle, std::pair<ObjectKind, std::uint32_t>> objects_;
    int enumerations_ = 0;

    WindowsAudio audio_ = WindowsAudio::SoundMapper;
    TransmitterAudioIdentity identity_;
    std::array<std::optional<AudioDeviceId>, kRoles> defaults_; // each role's default endpoint
    bool policyConfig_ = true;
    std::int32_t policyFailure_ = 0;
};

AudioWorld& audioWorld(SimPc::Impl& w) {
    return static_cast<AudioWorld&>(*w.audioPort);
}

} // namespace

void audioLiveObjects(const SimPc::Impl& w, std::vector<LiveObject>& out) {
    static_cast<const AudioWorld&>(*w.audioPort).addLive(out);
}

std::unique_ptr<plat::Audio> makeAudioPort(SimPc::Impl& w) {
    auto world = std::make_unique<AudioWorld>(w);
    w.coreAudioPort = world.get();
    return world;
}

// ------------------------------------------------------------------ the test-facing side

AudioDeviceId SimPc::addAudioDevice(AudioDeviceConfig config) {
    Lock lk(impl_->m);
    return audioWorld(*impl_).add(std::move(config));
}

bool SimPc::removeAudioDevice(AudioDeviceId id) {
    Lock lk(impl_->m);
    return audioWorld(*impl_).remove(id);
}

std::vector<AudioDeviceView> SimPc::audioDevices() const {
    Lock lk(impl_->m);
    return static_cast<const AudioWorld&>(*impl_->audioPort).views();
}

std::optional<AudioDeviceId> SimPc::transmitterAudioDevice(TransmitterId id) const {
    Lock lk(impl_->m);
    return audioWorld(*impl_).ofTransmitter(id);
}

void SimPc::setAudioEnumerationOrder(std::vector<AudioDeviceId> order) {
    Lock lk(impl_->m);
    audioWorld(*impl_).setOrder(std::move(order));
}

void SimPc::setDsoundFailure(DsoundFailure failure) {
    Lock lk(impl_->m);
    audioWorld(*impl_).setFailure(failure);
}

int SimPc::audioObjectsOutstanding() const {
    Lock lk(impl_->m);
    return audioWorld(*impl_).outstanding();
}

int SimPc::audioEnumerations() const {
    Lock lk(impl_->m);
    return audioWorld(*impl_).enumerations();
}

void SimPc::setWindowsAudio(WindowsAudio audio) {
    Lock lk(impl_->m);
    audioWorld(*impl_).setWindowsAudio(audio);
    impl_->journal(audio == WindowsAudio::CoreAudio
                       ? "Windows plays sound as today's Windows does (Core Audio)"
                       : "Windows plays sound as older Windows did (the sound mapper)");
}

void SimPc::setTransmitterAudioIdentity(TransmitterAudioIdentity identity) {
    Lock lk(impl_->m);
    audioWorld(*impl_).setIdentity(identity);
}

bool SimPc::setAudioHardwareRoute(AudioDeviceId id, HardwareRoute route) {
    Lock lk(impl_->m);
    return audioWorld(*impl_).setRoute(id, route);
}

bool SimPc::setDefaultEndpoint(AudioDeviceId id, std::optional<plat::EndpointRole> role) {
    Lock lk(impl_->m);
    return audioWorld(*impl_).userSetsDefault(id, role);
}

std::optional<AudioDeviceId> SimPc::defaultEndpoint(plat::EndpointRole role) const {
    Lock lk(impl_->m);
    return audioWorld(*impl_).defaultFor(role);
}

void SimPc::setPolicyConfigAvailable(bool available) {
    Lock lk(impl_->m);
    audioWorld(*impl_).setPolicyConfig(available);
}

void SimPc::setPolicyConfigFailure(std::int32_t hresult) {
    Lock lk(impl_->m);
    audioWorld(*impl_).setPolicyFailure(hresult);
}

std::optional<AudioDeviceId> SimPc::systemDefaultPlayback() const {
    const auto playback = stringValue(plat::HKCU, kSoundMapperKey, kPlaybackValue);
    Lock lk(impl_->m);
    return audioWorld(*impl_).systemDefault(playback);
}

} // namespace sim
