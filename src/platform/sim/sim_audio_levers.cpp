// The levers of the simulated audio devices: devices plugged and unplugged, the user's choice
// of default, the registry's records, and the test-facing side.
#include "sim_audio_world.h"

#include <algorithm>
#include <cstdio>
#include <set>

namespace sim::audio_internal {

AudioDeviceId AudioWorld::add(AudioDeviceConfig config, TransmitterId transmitter) {
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

bool AudioWorld::remove(AudioDeviceId id) {
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

std::vector<AudioDeviceView> AudioWorld::views() const {
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

std::optional<AudioDeviceId> AudioWorld::ofTransmitter(TransmitterId id) const {
    for (const auto& d : devices_)
        if (d.transmitter == id)
            return d.id;
    return std::nullopt;
}

void AudioWorld::addLive(std::vector<LiveObject>& out) const {
    static constexpr const char* kNames[] = {
        "COM object: DirectSound class factory", "COM object: IKsPropertySet",
        "COM object: MMDeviceEnumerator", "COM object: policy config"};
    for (const auto& [h, object] : objects_)
        out.push_back(
            {HandleKind::ComObject, object.second, h, kNames[static_cast<int>(object.first)]});
    std::uint64_t load = 0;
    for (const std::uint32_t pid : loadedBy_)
        out.push_back({HandleKind::Library, pid, kDsoundModule + load++, "library dsound.dll"});
}

bool AudioWorld::setRoute(AudioDeviceId id, HardwareRoute route) {
    for (auto& d : devices_)
        if (d.id == id) {
            d.config.hardwareRoute = route;
            return true;
        }
    return false;
}

bool AudioWorld::userSetsDefault(AudioDeviceId id, std::optional<plat::EndpointRole> role) {
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

std::optional<AudioDeviceId> AudioWorld::defaultFor(plat::EndpointRole role) const {
    const auto r = static_cast<std::size_t>(role);
    return r < kRoles ? defaults_[r] : std::nullopt;
}

std::optional<AudioDeviceId>
AudioWorld::systemDefault(const std::optional<String>& playback) const {
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

void AudioWorld::seedRegistry() {
    RegKey* node = ensureKey(w_, plat::HKLM, kPreferredKey);
    if (!node)
        return;
    RegValue& v = node->values[foldCase(kPreferredCount)];
    v.name = kPreferredCount;
    v.type = REG_DWORD;
    v.bytes = {kFreshPreferredCount, 0, 0, 0};
}

void AudioWorld::transmitterChanged(TransmitterId id, bool plugged) {
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

AudioWorld& audioWorld(SimPc::Impl& w) {
    return static_cast<AudioWorld&>(*w.audioPort);
}

} // namespace sim::audio_internal

namespace sim {

using namespace audio_internal;

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
