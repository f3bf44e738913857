// The system default playback device as today's Windows keeps it: a default render endpoint
// per role, which the sound mapper's preferences no longer move. Endpoints are matched to the
// audio device table by their GUID, which is the DirectSound GUID of the same device. Where
// Core Audio does not exist (older Windows) nothing here finds or changes anything.
#pragma once

#include "ports.h"

#include <map>
#include <vector>

inline constexpr char16_t kTransmitterUsbIds[] = u"VID_0B7A&PID_0100";

// The render endpoints as Core Audio lists them now, for the length of one operation.
class CoreAudioEndpoints {
public:
    CoreAudioEndpoints();
    ~CoreAudioEndpoints();
    CoreAudioEndpoints(const CoreAudioEndpoints&) = delete;
    CoreAudioEndpoints& operator=(const CoreAudioEndpoints&) = delete;

    // False where Core Audio does not exist: the other operations then find nothing.
    bool available() const { return enumerator_ != 0; }
    // The id of the active render endpoint whose GUID is `guid` (in any letter case); empty
    // when there is none.
    plat::String idOf(const plat::String& guid) const;
    // Endpoint `id` is active.
    bool active(const plat::String& id) const;
    // The GUID of the active render endpoint `id`; empty when there is none.
    plat::String guidOf(const plat::String& id) const;
    const std::vector<plat::AudioEndpoint>& list() const { return endpoints_; }
    // The default console render endpoint's id; empty when there is none.
    plat::String defaultId() const;
    // True when the endpoint leads to hardware carrying the transmitter's USB ids; `known` is
    // set when the answer came from the adapter's instance id, which holds for good.
    bool onTransmitterHardware(const plat::String& id, bool& known) const;

private:
    const plat::AudioEndpoint* byId(const plat::String& id) const;

    plat::Handle enumerator_ = 0;
    std::vector<plat::AudioEndpoint> endpoints_;
};

enum class EndpointChange { NotAttempted, Done, Failed };

// Makes endpoint `id` the default of the console, multimedia and communications roles
// through the system's policy-config interface. NotAttempted where that interface is missing
// (Windows before 7, Wine); Failed, logged, when any role refused.
EndpointChange makeDefaultEndpoint(const plat::String& id);

// The transmitter's USB ids ("VID_0B7A&PID_0100"), in any letter case, are in `text`.
bool carriesTransmitterIds(const plat::String& text);

// The audio thread's memory of which endpoints stand on the transmitter's hardware, by
// endpoint GUID, for devices whose DirectSound record does not show their USB ids. The
// endpoints are listed at most once per enumeration pass, when such a device first asks. An
// answer from the adapter's instance id is kept, as it never changes for an endpoint; any
// other holds for this pass only and is asked again in the next.
class TransmitterEndpoints {
public:
    void newPass();
    bool isTransmitter(const plat::String& guid);

private:
    std::map<plat::String, bool> known_;    // by GUID in upper case
    std::map<plat::String, bool> thisPass_; // what was not certain, for this pass only
    bool listed_ = false;
};
