// The simulated PC's Core Audio, against what the program relies on from Windows: endpoints
// only on today's Windows, their GUIDs equal to the DirectSound ones but not their ids, a
// default per role that moves off a device that goes, the hardware under an endpoint, and
// COM only on threads in an apartment.
#include "sim_pc.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>

namespace {

using plat::EndpointRole;

constexpr std::int32_t kENotFound = static_cast<std::int32_t>(0x80070490u);

std::string guidText(const plat::Guid& g) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                  static_cast<unsigned>(g.data1), g.data2, g.data3, g.data4[0], g.data4[1],
                  g.data4[2], g.data4[3], g.data4[4], g.data4[5], g.data4[6], g.data4[7]);
    return buf;
}

std::string narrow(const plat::String& s) {
    return std::string(s.begin(), s.end());
}

std::string lower(std::string s) {
    for (char& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

class SimCoreAudio : public testing::Test {
protected:
    sim::SimPc pc;
    plat::CoreAudio& core = *pc.bundle().coreAudio;

    // The endpoints the port lists now.
    std::vector<plat::AudioEndpoint> endpoints() {
        const plat::Handle enumerator = core.createDeviceEnumerator();
        std::vector<plat::AudioEndpoint> out;
        EXPECT_TRUE(core.renderEndpoints(enumerator, out));
        core.release(enumerator);
        return out;
    }

    std::string defaultId(EndpointRole role) {
        const plat::Handle enumerator = core.createDeviceEnumerator();
        plat::String id;
        const std::int32_t hr = core.defaultRenderEndpoint(enumerator, role, id);
        core.release(enumerator);
        return hr == kENotFound ? "E_NOTFOUND" : narrow(id);
    }
};

TEST_F(SimCoreAudio, OnlyTodaysWindowsHasEndpointsAndTheyCarryTheDirectSoundGuids) {
    pc.addAudioDevice({.description = u"Speakers"});
    pc.addAudioDevice({.description = u"Microphone", .capture = true});
    EXPECT_EQ(core.createDeviceEnumerator(), 0u);
    EXPECT_EQ(core.createPolicyConfig(), 0u);

    pc.setWindowsAudio(sim::WindowsAudio::CoreAudio);
    const sim::TransmitterId t = pc.plugTransmitter();
    const auto views = pc.audioDevices();
    const auto listed = endpoints();
    ASSERT_EQ(listed.size(), 2u); // the microphone is no render endpoint
    EXPECT_EQ(narrow(listed[0].guid), guidText(views[0].guid));
    EXPECT_EQ(narrow(listed[1].guid), guidText(views[2].guid));
    // The id is not made from that GUID, in either letter case.
    for (const auto& e : listed)
        EXPECT_EQ(lower(narrow(e.id)).find(lower(narrow(e.guid)).substr(1, 8)), std::string::npos);

    // The same device comes back as the same endpoint.
    pc.unplugTransmitter(t);
    ASSERT_EQ(endpoints().size(), 1u);
    ASSERT_TRUE(pc.replugTransmitter(t));
    EXPECT_EQ(endpoints().at(1).id, listed[1].id);
    EXPECT_EQ(pc.audioObjectsOutstanding(), 0);
}

TEST_F(SimCoreAudio, TheDefaultOfARoleMovesOffADeviceThatGoes) {
    pc.setWindowsAudio(sim::WindowsAudio::CoreAudio);
    EXPECT_EQ(defaultId(EndpointRole::Console), "E_NOTFOUND");
    const auto a = pc.addAudioDevice({.description = u"A"});
    const auto b = pc.addAudioDevice({.description = u"B"});
    const auto listed = endpoints();
    EXPECT_EQ(defaultId(EndpointRole::Communications), narrow(listed[0].id));

    ASSERT_TRUE(pc.setDefaultEndpoint(b, EndpointRole::Multimedia));
    EXPECT_EQ(defaultId(EndpointRole::Multimedia), narrow(listed[1].id));
    EXPECT_EQ(defaultId(EndpointRole::Console), narrow(listed[0].id));

    pc.removeAudioDevice(a);
    for (const auto role :
         {EndpointRole::Console, EndpointRole::Multimedia, EndpointRole::Communications})
        EXPECT_EQ(pc.defaultEndpoint(role), b);
    pc.removeAudioDevice(b);
    EXPECT_EQ(defaultId(EndpointRole::Console), "E_NOTFOUND");
    EXPECT_FALSE(pc.systemDefaultPlayback().has_value());
}

TEST_F(SimCoreAudio, ThePolicyConfigSetsOneRoleAndCanBeMissingOrRefuse) {
    pc.setWindowsAudio(sim::WindowsAudio::CoreAudio);
    pc.addAudioDevice({.description = u"A"});
    const auto b = pc.addAudioDevice({.description = u"B"});
    const plat::String idB = endpoints().at(1).id;

    const plat::Handle config = core.createPolicyConfig();
    ASSERT_NE(config, 0u);
    EXPECT_EQ(core.setDefaultEndpoint(config, idB, EndpointRole::Console), 0);
    EXPECT_EQ(pc.defaultEndpoint(EndpointRole::Console), b);
    EXPECT_NE(pc.defaultEndpoint(EndpointRole::Multimedia), b);
    EXPECT_EQ(core.setDefaultEndpoint(config, u"{0.0.0.00000000}.{gone}", EndpointRole::Console),
              kENotFound);
    pc.setPolicyConfigFailure(static_cast<std::int32_t>(0x80070005u));
    EXPECT_EQ(core.setDefaultEndpoint(config, idB, EndpointRole::Multimedia),
              static_cast<std::int32_t>(0x80070005u));
    EXPECT_NE(pc.defaultEndpoint(EndpointRole::Multimedia), b);
    core.release(config);

    pc.setPolicyConfigAvailable(false);
    EXPECT_EQ(core.createPolicyConfig(), 0u);
    EXPECT_EQ(pc.audioObjectsOutstanding(), 0);
}

TEST_F(SimCoreAudio, TheTransmittersEndpointLeadsToItsUsbDeviceAsItsRouteAllows) {
    pc.setWindowsAudio(sim::WindowsAudio::CoreAudio);
    const plat::Handle enumerator = core.createDeviceEnumerator();
    const struct {
        sim::HardwareRoute route;
        bool connected, instance;
    } cases[] = {{sim::HardwareRoute::Topology, true, true},
                 {sim::HardwareRoute::None, false, false}};
    for (const auto& c : cases) {
        pc.setTransmitterAudioIdentity({.usbPathInDirectSound = false, .hardwareRoute = c.route});
        const sim::TransmitterId t = pc.plugTransmitter();
        const auto view = pc.audioDevices().back();
        EXPECT_EQ(narrow(view.interfacePath).find("vid_0b7a"), std::string::npos);
        plat::EndpointHardware hardware;
        ASSERT_TRUE(core.endpointHardware(enumerator, view.endpointId, hardware));
        EXPECT_EQ(narrow(hardware.connectedDeviceId)
                      .starts_with("{2}.\\\\?\\usb#vid_0b7a&pid_0100&mi_00#"),
                  c.connected)
            << narrow(hardware.connectedDeviceId);
        EXPECT_EQ(narrow(hardware.instanceId).starts_with("USB\\VID_0B7A&PID_0100&MI_00\\6&1A2B"),
                  c.instance)
            << narrow(hardware.instanceId);
        pc.unplugTransmitter(t);
    }
    plat::EndpointHardware none;
    EXPECT_FALSE(core.endpointHardware(enumerator, u"{0.0.0.00000000}.{gone}", none));
    core.release(enumerator);
}

TEST_F(SimCoreAudio, AThreadTheProgramStartsMustEnterAnApartmentFirst) {
    pc.setWindowsAudio(sim::WindowsAudio::CoreAudio);
    pc.install();
    plat::Handle before = 1;
    plat::Handle after = 0;
    const plat::Handle thread = plat::threads().startThread([&] {
        before = core.createDeviceEnumerator();
        core.enterApartment();
        after = core.createDeviceEnumerator();
        core.release(after);
    });
    ASSERT_EQ(plat::threads().waitForSingleObject(thread, INFINITE), WAIT_OBJECT_0);
    plat::threads().closeHandle(thread);
    EXPECT_EQ(before, 0u);
    EXPECT_NE(after, 0u);
    // The test's own thread is not the program's.
    const plat::Handle here = core.createDeviceEnumerator();
    EXPECT_NE(here, 0u);
    core.release(here);
}

TEST_F(SimCoreAudio, TheOlderWindowsPlaysOnThePlaybackDeviceElseOnDeviceZero) {
    const plat::String key = u"SOFTWARE\\Microsoft\\Multimedia\\Sound Mapper";
    const auto a = pc.addAudioDevice({.description = u"A", .waveName = u"Wave A"});
    const auto b = pc.addAudioDevice({.description = u"B", .waveName = u"Wave B"});
    EXPECT_EQ(pc.systemDefaultPlayback(), a);
    pc.setString(plat::HKCU, key, u"Playback", u"Wave B");
    EXPECT_EQ(pc.systemDefaultPlayback(), b);
    // Today's Windows pays it no heed.
    pc.setWindowsAudio(sim::WindowsAudio::CoreAudio);
    EXPECT_EQ(pc.systemDefaultPlayback(), a);
}

} // namespace
