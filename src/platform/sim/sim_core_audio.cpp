// The Core Audio side of the simulated audio devices: the render endpoints, each role's
// default, the endpoints' hardware, and the policy config that sets a default.
#include "sim_audio_world.h"

#include <algorithm>

namespace sim::audio_internal {

bool AudioWorld::enterApartment() {
    Lock lk(w_.m);
    w_.current(lk)->inApartment = true;
    return true;
}

Handle AudioWorld::createDeviceEnumerator() {
    Lock lk(w_.m);
    if (audio_ != WindowsAudio::CoreAudio || !inApartment(lk))
        return 0;
    return newObject(lk, ObjectKind::DeviceEnumerator);
}

bool AudioWorld::renderEndpoints(Handle enumerator, std::vector<plat::AudioEndpoint>& endpoints) {
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

std::int32_t AudioWorld::defaultRenderEndpoint(Handle enumerator, plat::EndpointRole role,
                                               String& id) {
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

bool AudioWorld::endpointHardware(Handle enumerator, const String& id,
                                  plat::EndpointHardware& out) {
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

Handle AudioWorld::createPolicyConfig() {
    Lock lk(w_.m);
    if (audio_ != WindowsAudio::CoreAudio || !policyConfig_ || !inApartment(lk))
        return 0;
    return newObject(lk, ObjectKind::PolicyConfig);
}

std::int32_t AudioWorld::setDefaultEndpoint(Handle policyConfig, const String& id,
                                            plat::EndpointRole role) {
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

void AudioWorld::keepDefaults() {
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
            w_.journal(std::string("Windows makes \"") + narrow(find(*next)->config.description) +
                       "\" the default playback endpoint for " + kRoleNames[r]);
    }
}

} // namespace sim::audio_internal
