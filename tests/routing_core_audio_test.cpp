// The system default on the two Windows the simulated PC plays: an older one, which plays on
// the device the sound mapper's "Playback" names, and today's, which ignores it and plays on
// its default endpoint. The audio thread fills the device table from the simulated devices.
#include "players_support.h"

#include "AudioDevices.h"
#include "shown_texts.h"

#include <gmock/gmock.h>

namespace {

using plat::EndpointRole;
using ::testing::HasSubstr;

const plat::String kSoundMapper = u"SOFTWARE\\Microsoft\\Multimedia\\Sound Mapper\\";
const plat::String kSpeakers = u"Speakers (High Definition Audio)";
const plat::String kHeadset = u"Headset (USB Headset)";

class SystemDefaultTest : public pptest::PlayerTest {
protected:
    void SetUp() override {
        pptest::PlayerTest::SetUp();
        pc->setWindowsAudio(sim::WindowsAudio::CoreAudio);
        speakers = pc->addAudioDevice({.description = kSpeakers, .waveName = u"HD Audio Output"});
        headset = pc->addAudioDevice({.description = kHeadset, .waveName = u"USB Headset"});
        globals().isAdministrator = true;
        pass();
    }

    // Lets the audio thread run one enumeration pass.
    void pass() { pc->advance(1000); }

    // No player runs: each change of the default shows this advice once.
    void answerAdvice() {
        pc->answerMessageBox(shown::restartAppsCaption, std::nullopt, shown::ok);
    }

    std::vector<std::optional<sim::AudioDeviceId>> defaults() const {
        return {pc->defaultEndpoint(EndpointRole::Console),
                pc->defaultEndpoint(EndpointRole::Multimedia),
                pc->defaultEndpoint(EndpointRole::Communications)};
    }
    static std::vector<std::optional<sim::AudioDeviceId>> all(sim::AudioDeviceId id) {
        return {id, id, id};
    }

    std::optional<plat::String> playback() const {
        return pc->stringValue(plat::HKCU, kSoundMapper, u"Playback");
    }

    sim::AudioDeviceId speakers = 0;
    sim::AudioDeviceId headset = 0;
};

TEST_F(SystemDefaultTest, TodaysWindowsIsReadFromTheConsoleEndpointNeverFromPlayback) {
    // The first device became every role's default.
    EXPECT_EQ(info->getPlaybackDevice(u"Default"), kSpeakers);
    // Unlike the older Windows' first reading, nothing is set up in the sound mapper.
    EXPECT_FALSE(pc->keyExists(plat::HKCU, kSoundMapper));

    pc->setString(plat::HKCU, kSoundMapper, u"Playback", u"USB Headset");
    EXPECT_EQ(info->getPlaybackDevice(u"szDefaultAudioDevice"), kSpeakers);

    // A choice made in the system's own settings is seen; only the console role counts.
    ASSERT_TRUE(pc->setDefaultEndpoint(headset));
    EXPECT_EQ(info->getPlaybackDevice(u""), kHeadset);
    ASSERT_TRUE(pc->setDefaultEndpoint(speakers, EndpointRole::Multimedia));
    EXPECT_EQ(info->getPlaybackDevice(u" "), kHeadset);

    // An endpoint the table has not seen yet names no device until the next pass.
    const auto dock = pc->addAudioDevice({.description = u"Dock Audio"});
    ASSERT_TRUE(pc->setDefaultEndpoint(dock));
    EXPECT_EQ(info->getPlaybackDevice(u"Default"), u"No Device Found");
    pass();
    EXPECT_EQ(info->getPlaybackDevice(u"Default"), u"Dock Audio");

    // No render endpoint at all.
    for (const auto id : {speakers, headset, dock})
        pc->removeAudioDevice(id);
    pass();
    EXPECT_EQ(info->getPlaybackDevice(u"Default"), u"No Device Found");
    EXPECT_EQ(pc->audioObjectsOutstanding(), 0);
}

TEST_F(SystemDefaultTest, RoutingTheDefaultMovesEveryRoleAfterThePlaybackValue) {
    answerAdvice();
    pc->takeJournal();
    EXPECT_EQ(info->setPlaybackDevice(u"Default", kHeadset, 0), 1);
    EXPECT_EQ(defaults(), all(headset));
    EXPECT_EQ(playback(), u"USB Headset");
    EXPECT_EQ(pc->systemDefaultPlayback(), headset);
    EXPECT_EQ(info->getPlaybackDevice(u"Default"), kHeadset);

    // The sound mapper's value first, as before, then the endpoint.
    const auto journal = pc->takeJournal();
    const auto at = [&](const std::string& part) {
        return std::find_if(journal.begin(), journal.end(), [&](const std::string& line) {
            return line.find(part) != std::string::npos;
        });
    };
    ASSERT_NE(at("\"Playback\""), journal.end());
    ASSERT_NE(at("for console set to"), journal.end());
    EXPECT_LT(at("\"Playback\""), at("for console set to"));

    // A name no device has means the default entry, which has no endpoint: nothing moves.
    answerAdvice();
    EXPECT_EQ(info->setPlaybackDevice(u"Default", u"Unplugged Card", 0), 1);
    EXPECT_EQ(defaults(), all(headset));
    EXPECT_EQ(playback(), u"HD Audio Output"); // mixer 0's name, as the older Windows has it
    // The policy-config objects of both changes are released.
    EXPECT_EQ(pc->audioObjectsOutstanding(), 0);
}

TEST_F(SystemDefaultTest, WithoutThePolicyConfigClassOnlyThePlaybackValueChanges) {
    pc->setPolicyConfigAvailable(false);
    answerAdvice();
    EXPECT_EQ(info->setPlaybackDevice(u"Default", kHeadset, 0), 1);
    EXPECT_EQ(playback(), u"USB Headset");
    EXPECT_EQ(defaults(), all(speakers));
    EXPECT_EQ(pptest::countOf(pptest::takeLog(), " TRACE :PolicyConfig not available"), 1u);
}

TEST_F(SystemDefaultTest, ARefusedChangeIsLoggedAndReportedAsAFailedStore) {
    constexpr auto kAccessDenied = static_cast<std::int32_t>(0x80070005u);
    pc->setPolicyConfigFailure(kAccessDenied);
    answerAdvice();
    EXPECT_EQ(info->setPlaybackDevice(u"Default", kHeadset, 0), 0);
    EXPECT_EQ(defaults(), all(speakers));
    const auto log = pptest::takeLog();
    for (int role = 0; role < 3; ++role)
        EXPECT_EQ(pptest::countOf(log, " ERROR :SetDefaultEndpoint failed (role " +
                                           std::to_string(role) + "): 0x80070005"),
                  1u);
}

TEST_F(SystemDefaultTest, TheOlderWindowsPlaysWherePlaybackPointsAndHasNoEndpointToMove) {
    pc->setWindowsAudio(sim::WindowsAudio::SoundMapper);
    EXPECT_FALSE(pc->setDefaultEndpoint(headset));

    // The first reading sets the sound mapper up from the first device.
    EXPECT_EQ(info->getPlaybackDevice(u"Default"), kSpeakers);
    EXPECT_EQ(playback(), u"HD Audio Output");
    EXPECT_EQ(pc->systemDefaultPlayback(), speakers);

    answerAdvice();
    EXPECT_EQ(info->setPlaybackDevice(u"Default", kHeadset, 0), 1);
    EXPECT_EQ(pc->systemDefaultPlayback(), headset);
    EXPECT_EQ(info->getPlaybackDevice(u"Default"), kHeadset);
    // A "Playback" naming no device leaves the older mapper on device 0.
    pc->setString(plat::HKCU, kSoundMapper, u"Playback", u"Gone Card");
    EXPECT_EQ(pc->systemDefaultPlayback(), speakers);
    EXPECT_EQ(info->getPlaybackDevice(u"Default"), u"No Device Found");
    EXPECT_EQ(pc->audioObjectsOutstanding(), 0);
}

// The controller calls the re-routing after each transmitter arrival and removal; here the
// test does, with the transmitter's audio function coming and going as it is plugged.
class RerouteTodayTest : public SystemDefaultTest {
protected:
    void SetUp() override {
        SystemDefaultTest::SetUp();
        // The user's own choice, which is not the first device.
        ASSERT_TRUE(pc->setDefaultEndpoint(headset));
        pc->setTransmitterAudioIdentity({.usbPathInDirectSound = false});
    }

    void arrive() {
        if (!transmitter)
            transmitter = pc->plugTransmitter();
        else
            ASSERT_TRUE(pc->replugTransmitter(*transmitter));
        globals().transmitterPresent = 1;
        info->rerouteOnDeviceChange(); // its one-second pause lets the audio thread see it
    }
    void leave() {
        pc->unplugTransmitter(*transmitter);
        globals().transmitterPresent = 0;
        info->rerouteOnDeviceChange();
    }
    sim::AudioDeviceId transmitterAudio() const {
        return *pc->transmitterAudioDevice(*transmitter);
    }

    std::optional<sim::TransmitterId> transmitter;
};

TEST_F(RerouteTodayTest, ArrivalMakesTheTransmitterTheDefaultAndRemovalPutsTheUsersOneBack) {
    arrive();
    EXPECT_EQ(defaults(), all(transmitterAudio()));
    EXPECT_EQ(info->getPlaybackDevice(u"Default"), u"Quorvane Auravo");

    leave();
    // Windows had moved every role to the first device left; the user's one is back.
    EXPECT_EQ(defaults(), all(headset));

    arrive();
    EXPECT_EQ(defaults(), all(transmitterAudio()));
    leave();
    EXPECT_EQ(defaults(), all(headset));

    // A second removal has nothing to put back.
    ASSERT_TRUE(pc->setDefaultEndpoint(speakers));
    globals().transmitterPresent = 0;
    info->rerouteOnDeviceChange();
    EXPECT_EQ(defaults(), all(speakers));
}

TEST_F(RerouteTodayTest, ARouteChosenWhileThereIsKeptAtRemoval) {
    arrive();
    answerAdvice();
    ASSERT_EQ(info->setPlaybackDevice(u"Default", kSpeakers, 0), 1);
    leave();
    EXPECT_EQ(defaults(), all(speakers));

    // Routed away and back to the transmitter: the removal restores, as "Playback" would.
    ASSERT_TRUE(pc->setDefaultEndpoint(headset));
    arrive();
    answerAdvice();
    ASSERT_EQ(info->setPlaybackDevice(u"Default", kSpeakers, 0), 1);
    answerAdvice();
    ASSERT_EQ(info->setPlaybackDevice(u"Default", u"Quorvane Auravo", 0), 1);
    leave();
    EXPECT_EQ(defaults(), all(headset));
}

TEST_F(RerouteTodayTest, TheSoundMapperValueStillFollowsAndAMissingClassChangesNoEndpoint) {
    pc->setString(plat::HKCU, kSoundMapper, u"Playback", u"USB Headset");
    pc->setPolicyConfigAvailable(false);
    arrive();
    EXPECT_EQ(playback(), u"Quorvane Auravo");
    EXPECT_EQ(defaults(), all(headset));
    leave();
    EXPECT_EQ(playback(), u"USB Headset");
    EXPECT_EQ(defaults(), all(headset));
    EXPECT_EQ(pc->audioObjectsOutstanding(), 0);
}

} // namespace
