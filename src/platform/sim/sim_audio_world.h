// The simulated audio devices' own state, shared by the files of sim_audio: one world behind
// the DirectSound, mixer and Core Audio ports. Its own namespace keeps its object kinds apart
// from the world's handles.
#pragma once

#include "sim_world.h"

#include <array>
#include <map>

namespace sim::audio_internal {

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
inline const char* const kRoleNames[kRoles] = {"console", "multimedia", "communications"};

std::string guidString(const plat::Guid& g);
std::string lowerAscii(std::string text);
String ascii(const std::string& text);
String endpointIdOf(plat::Guid guid);
String instanceIdFromPath(const String& path);
plat::Guid makeGuid(std::uint32_t family, std::uint32_t serial);

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
    explicit AudioWorld(SimPc::Impl& w);

    // ------------------------------------------------------------ the port
    Module loadDsound() override;
    bool hasDllGetClassObject(Module dsound) override;
    Handle getClassFactory(Module dsound) override;
    Handle createPropertySet(Handle classFactory) override;
    bool enumerateDevices(
        Handle propertySet,
        const std::function<bool(const plat::DsDeviceDescription&)>& callback) override;
    void release(Handle object) override;
    void freeDsound(Module dsound) override;
    std::uint32_t mixerGetNumDevs() override;
    bool mixerGetProductName(std::uint32_t id, String& productName) override;

    // ------------------------------------------------------------ the Core Audio port
    bool enterApartment() override;
    Handle createDeviceEnumerator() override;
    bool renderEndpoints(Handle enumerator, std::vector<plat::AudioEndpoint>& endpoints) override;
    std::int32_t defaultRenderEndpoint(Handle enumerator, plat::EndpointRole role,
                                       String& id) override;
    bool endpointHardware(Handle enumerator, const String& id,
                          plat::EndpointHardware& out) override;
    Handle createPolicyConfig() override;
    std::int32_t setDefaultEndpoint(Handle policyConfig, const String& id,
                                    plat::EndpointRole role) override;

    // ------------------------------------------------------------ the levers (lock held)
    AudioDeviceId add(AudioDeviceConfig config, TransmitterId transmitter = 0);
    bool remove(AudioDeviceId id);
    std::vector<AudioDeviceView> views() const;
    std::optional<AudioDeviceId> ofTransmitter(TransmitterId id) const;

    void setOrder(std::vector<AudioDeviceId> order) { order_ = std::move(order); }
    void setFailure(DsoundFailure failure) { failure_ = failure; }
    int outstanding() const { return loaded_ + static_cast<int>(objects_.size()); }

    void addLive(std::vector<LiveObject>& out) const;
    int enumerations() const { return enumerations_; }

    void setWindowsAudio(WindowsAudio audio) { audio_ = audio; }
    void setIdentity(TransmitterAudioIdentity identity) { identity_ = identity; }
    bool setRoute(AudioDeviceId id, HardwareRoute route);
    void setPolicyConfig(bool available) { policyConfig_ = available; }
    void setPolicyFailure(std::int32_t hresult) { policyFailure_ = hresult; }

    bool userSetsDefault(AudioDeviceId id, std::optional<plat::EndpointRole> role);
    std::optional<AudioDeviceId> defaultFor(plat::EndpointRole role) const;
    std::optional<AudioDeviceId> systemDefault(const std::optional<String>& playback) const;

private:
    void seedRegistry();
    void transmitterChanged(TransmitterId id, bool plugged);
    Handle newObject(Lock& lk, ObjectKind kind);
    bool isObject(Handle h, ObjectKind kind) const;

    // COM: the program's main thread entered its apartment at start, and a test's thread is
    // not the program's; a thread the program started must enter one itself.
    bool inApartment(Lock& lk);
    const AudioDeviceRec* find(AudioDeviceId id) const;

    // The present render device whose endpoint has this id (Windows compares ids without
    // regard to case).
    const AudioDeviceRec* endpoint(const String& id) const;

    // After a device came or went: a role without a present default gets the first render
    // device in enumeration order, as Windows moves the default off a device that goes.
    void keepDefaults();

    // The present devices in enumeration order: the ordered ids first, then plug-in order.
    std::vector<const AudioDeviceRec*> orderedLocked() const;

    // Wave ids: fixed ones as given; the others numbered from 0 in plug-in order, per data
    // flow, skipping the fixed ones of that flow.
    std::map<AudioDeviceId, std::uint32_t> waveIdsLocked() const;
    std::vector<plat::DsDeviceDescription> recordsLocked() const;

    // Mixer product names by mixer id: the devices with a mixer in wave-id order, render first.
    std::vector<String> mixersLocked() const;

    SimPc::Impl& w_;
    std::vector<AudioDeviceRec> devices_; // in plug-in order
    std::vector<AudioDeviceId> order_;
    AudioDeviceId nextId_ = 1;
    DsoundFailure failure_ = DsoundFailure::None;
    int loaded_ = 0;                      // LoadLibrary count of "dsound.dll"
    std::vector<std::uint32_t> loadedBy_; // the process of each of those loads
    // Live COM objects, with the process that holds each.
    std::map<Handle, std::pair<ObjectKind, std::uint32_t>> objects_;
    int enumerations_ = 0;

    WindowsAudio audio_ = WindowsAudio::SoundMapper;
    TransmitterAudioIdentity identity_;
    std::array<std::optional<AudioDeviceId>, kRoles> defaults_; // each role's default endpoint
    bool policyConfig_ = true;
    std::int32_t policyFailure_ = 0;
};

AudioWorld& audioWorld(SimPc::Impl& w);

} // namespace sim::audio_internal
