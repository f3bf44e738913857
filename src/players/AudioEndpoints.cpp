#include "AudioEndpoints.h"

#include "Debug.h"
#include "text.h"

#include <algorithm>

namespace {

constexpr plat::EndpointRole kRoles[] = {plat::EndpointRole::Console,
                                         plat::EndpointRole::Multimedia,
                                         plat::EndpointRole::Communications};
// Far more than a PC has; the answers the audio thread keeps stay bounded by it.
constexpr std::size_t kMaxKnownEndpoints = 256;

plat::String upperGuid(plat::String guid) {
    for (char16_t& c : guid)
        if (c >= u'a' && c <= u'z')
            c = static_cast<char16_t>(c - u'a' + u'A');
    return guid;
}

} // namespace

bool carriesTransmitterIds(const plat::String& text) {
    return plat::findIgnoringCase(text, kTransmitterUsbIds) != plat::String::npos;
}

CoreAudioEndpoints::CoreAudioEndpoints() {
    plat::CoreAudio& coreAudio = plat::coreAudio();
    enumerator_ = coreAudio.createDeviceEnumerator();
    if (enumerator_ && !coreAudio.renderEndpoints(enumerator_, endpoints_))
        endpoints_.clear();
}

CoreAudioEndpoints::~CoreAudioEndpoints() {
    if (enumerator_)
        plat::coreAudio().release(enumerator_);
}

plat::String CoreAudioEndpoints::idOf(const plat::String& guid) const {
    if (guid.empty())
        return {};
    for (const auto& endpoint : endpoints_)
        if (plat::equalsIgnoringCase(endpoint.guid, guid))
            return endpoint.id;
    return {};
}

const plat::AudioEndpoint* CoreAudioEndpoints::byId(const plat::String& id) const {
    const auto found = std::find_if(endpoints_.begin(), endpoints_.end(), [&id](const auto& e) {
        return !id.empty() && plat::equalsIgnoringCase(e.id, id);
    });
    return found == endpoints_.end() ? nullptr : &*found;
}

bool CoreAudioEndpoints::active(const plat::String& id) const {
    return byId(id) != nullptr;
}

plat::String CoreAudioEndpoints::guidOf(const plat::String& id) const {
    const plat::AudioEndpoint* endpoint = byId(id);
    return endpoint ? endpoint->guid : plat::String();
}

plat::String CoreAudioEndpoints::defaultId() const {
    plat::String id;
    if (!enumerator_ ||
        plat::coreAudio().defaultRenderEndpoint(enumerator_, plat::EndpointRole::Console, id) < 0)
        return {};
    return id;
}

bool CoreAudioEndpoints::onTransmitterHardware(const plat::String& id, bool& known) const {
    known = false;
    plat::EndpointHardware hardware;
    if (!enumerator_ || !plat::coreAudio().endpointHardware(enumerator_, id, hardware))
        return false;
    // Only the adapter's instance id is an answer for good: without it the device may still be
    // arriving, and its topology's connection alone can be there before the adapter opens.
    known = !hardware.instanceId.empty();
    return carriesTransmitterIds(hardware.connectedDeviceId) ||
           carriesTransmitterIds(hardware.instanceId);
}

EndpointChange makeDefaultEndpoint(const plat::String& id) {
    plat::CoreAudio& coreAudio = plat::coreAudio();
    const plat::Handle policyConfig = coreAudio.createPolicyConfig();
    if (!policyConfig) {
        WriteLog(u"PolicyConfig not available", LogLevel::Trace);
        return EndpointChange::NotAttempted;
    }
    EndpointChange change = EndpointChange::Done;
    for (const plat::EndpointRole role : kRoles) {
        const std::int32_t hr = coreAudio.setDefaultEndpoint(policyConfig, id, role);
        if (hr < 0) {
            WriteLog(plat::formatText(u"SetDefaultEndpoint failed (role %d): 0x%08X",
                                      {static_cast<int>(role), static_cast<std::uint32_t>(hr)}),
                     LogLevel::Error);
            change = EndpointChange::Failed;
        }
    }
    coreAudio.release(policyConfig);
    return change;
}

void TransmitterEndpoints::newPass() {
    listed_ = false;
    thisPass_.clear();
}

bool TransmitterEndpoints::isTransmitter(const plat::String& guid) {
    const plat::String key = upperGuid(guid);
    if (key.empty())
        return false;
    if (const auto found = known_.find(key); found != known_.end())
        return found->second;
    if (!listed_) {
        listed_ = true;
        const CoreAudioEndpoints endpoints;
        std::size_t looked = 0;
        for (const auto& endpoint : endpoints.list()) {
            const plat::String other = upperGuid(endpoint.guid);
            if (other.empty() || known_.count(other))
                continue;
            if (++looked > kMaxKnownEndpoints)
                break;
            bool certain = false;
            const bool transmitter = endpoints.onTransmitterHardware(endpoint.id, certain);
            if (!certain) {
                thisPass_[other] = transmitter;
                continue;
            }
            if (known_.size() >= kMaxKnownEndpoints)
                known_.clear();
            known_[other] = transmitter;
        }
    }
    if (const auto found = known_.find(key); found != known_.end())
        return found->second;
    const auto found = thisPass_.find(key);
    return found != thisPass_.end() && found->second;
}
