// Re-routing on transmitter arrival and removal: the system default moves to the
// transmitter and back, Musicmatch follows the remembered choice, and players on the
// default or the transmitter are offered a restart.
#include "routing_support.h"
#include "shown_texts.h"

namespace {

using namespace routingtest;

class RerouteTest : public RoutingTest {
protected:
    void arrive(const std::vector<AudioDeviceEntry>& devices) {
        setDevices(devices);
        globals().transmitterPresent = 1;
        info->rerouteOnDeviceChange();
    }
    void leave(const std::vector<AudioDeviceEntry>& devices) {
        setDevices(devices);
        globals().transmitterPresent = 0;
        info->rerouteOnDeviceChange();
    }
    std::optional<plat::String> playback() { return str(plat::HKCU, kSoundMapper, u"Playback"); }
};

TEST_F(RerouteTest, ArrivalSavesAndReplacesPlaybackAndRemovalRestoresIt) {
    pc->setString(plat::HKCU, kSoundMapper, u"Playback", kCard.waveName);
    const auto start = pc->nowMs();
    arrive({kCard, kTransmitter});
    EXPECT_GE(pc->nowMs() - start, 1000u);
    EXPECT_EQ(playback(), kTransmitter.waveName);
    EXPECT_EQ(info->savedPlayback(), kCard.waveName);

    // The table has already dropped the transmitter when the removal is handled.
    leave({kCard});
    EXPECT_EQ(playback(), kCard.waveName);
    EXPECT_TRUE(info->savedPlayback().empty());

    // A second removal has nothing left to restore.
    pc->setString(plat::HKCU, kSoundMapper, u"Playback", kTransmitter.waveName);
    leave({kCard});
    EXPECT_EQ(playback(), kTransmitter.waveName);
}

TEST_F(RerouteTest, AHandMadeChangeAndAMissingTransmitterAreLeftAlone) {
    // No transmitter entry yet: nothing changes.
    pc->setString(plat::HKCU, kSoundMapper, u"Playback", kCard.waveName);
    arrive({kCard});
    EXPECT_EQ(playback(), kCard.waveName);
    EXPECT_TRUE(info->savedPlayback().empty());

    arrive({kCard, kTransmitter});
    pc->setString(plat::HKCU, kSoundMapper, u"Playback", u"Headset Audio");
    leave({kCard, kTransmitter});
    EXPECT_EQ(playback(), u"Headset Audio");
    EXPECT_EQ(info->savedPlayback(), kCard.waveName);
}

TEST_F(RerouteTest, TheTransmitterWaveNameFollowsTheDuplicateNumberRule) {
    AudioDeviceEntry second = kTransmitter;
    second.name = u"Quorvane Auravo (2)";
    second.waveId = 2;
    second.waveName = u"USB Audio Device 2";
    pc->setString(plat::HKCU, kSoundMapper, u"Playback", kCard.waveName);
    // The last qualifying entry wins, numbered or not.
    arrive({kCard, kTransmitter, second});
    EXPECT_EQ(playback(), u"USB Audio Device 2");

    // A name just two characters longer reads its end there: a negative number, not taken.
    AudioDeviceEntry odd = kTransmitter;
    odd.name = u"Quorvane Auravo (";
    odd.waveId = 2;
    odd.waveName = u"Odd";
    pc->setString(plat::HKCU, kSoundMapper, u"Playback", kCard.waveName);
    arrive({kCard, kTransmitter, odd});
    EXPECT_EQ(playback(), kTransmitter.waveName);
}

TEST_F(RerouteTest, MusicmatchFollowsItsRememberedChoiceAcrossRemovalAndArrival) {
    // Nothing remembered: Musicmatch is left alone.
    pc->setDword(plat::HKLM, kPlayUi, u"DefaultMixer", 0);
    leave({kCard});
    EXPECT_EQ(dword(plat::HKLM, kPlayUi, u"DefaultMixer"), 0u);

    pc->setString(plat::HKCU, kPrefs, u"Musicmatch", u"Quorvane Auravo");
    leave({kCard});
    EXPECT_EQ(dword(plat::HKLM, kPlayUi, u"DefaultMixer"), 1u);
    arrive({kCard, kTransmitter});
    EXPECT_EQ(dword(plat::HKLM, kPlayUi, u"DefaultMixer"), 0u);
    EXPECT_EQ(dword(plat::HKLM, kPlayUi, u"MixerControl"), 1u);

    // A second transmitter chosen: the mixer is set only for an entry named exactly so.
    AudioDeviceEntry second = kTransmitter;
    second.name = u"Quorvane Auravo (2)";
    pc->setString(plat::HKCU, kPrefs, u"Musicmatch", u"Quorvane Auravo (2)");
    pc->setDword(plat::HKLM, kPlayUi, u"DefaultMixer", 1);
    pc->setDword(plat::HKLM, kPlayUi, u"MixerControl", 7);
    arrive({kCard, second});
    EXPECT_EQ(dword(plat::HKLM, kPlayUi, u"DefaultMixer"), 0u);
    EXPECT_EQ(dword(plat::HKLM, kPlayUi, u"MixerControl"), 7u);
}

TEST_F(RerouteTest, OnlyPlayersOnTheDefaultOrThePlainTransmitterAreOfferedARestart) {
    AudioDeviceEntry second = kTransmitter;
    second.name = u"Quorvane Auravo (2)";
    setDevices({kCard, second});
    installPlayer(kMusicmatch, true);
    pc->setDword(plat::HKCU, kPlayUi, u"DefaultMixer", 1);
    std::string ini = sim::typicalWinampIni();
    ini.replace(ini.find("cfg_dev=0"), 9, "cfg_dev=2");
    installPlayer(kWinamp, true, ini);
    ASSERT_EQ(info->getPlaybackDevice(kWinamp), u"Quorvane Auravo (2)");

    pc->answerMessageBox(shown::restartCaption, restartText(kMusicmatch), shown::no);
    info->offerRestartOnDeviceChange();
    auto shown = boxes();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].owner, 0u);
    EXPECT_EQ(shown[0].style, shownYesNo(0x2024));
    EXPECT_EQ(pc->playerStarts(kMusicmatch).size(), 1u);

    // Musicmatch first, then Winamp; Yes restarts.
    setDevices({kCard, kTransmitter});
    pc->answerMessageBox(shown::restartCaption, restartText(kMusicmatch), shown::yes);
    pc->answerMessageBox(shown::restartCaption, restartText(kWinamp), shown::yes);
    info->offerRestartOnDeviceChange();
    shown = boxes();
    ASSERT_EQ(shown.size(), 3u);
    EXPECT_EQ(shown[2].text, restartText(kWinamp));
    EXPECT_EQ(pc->playerStarts(kMusicmatch).size(), 2u);
    EXPECT_EQ(pc->playerStarts(kWinamp).size(), 2u);
    EXPECT_TRUE(pc->playerRunning(kWinamp));
}

} // namespace
