// Playback device routing on the simulated PC: the device list, where each target plays,
// and changing it with the player closes, restarts and questions that go with a change.
#include "routing_support.h"
#include "shown_texts.h"

#include <gmock/gmock.h>

namespace {

using namespace routingtest;
using ::testing::ElementsAre;

class PlaybackTest : public RoutingTest {};

// ------------------------------------------------------------------------ reading

TEST_F(PlaybackTest, TheDeviceListLeavesOutTheDefaultEntry) {
    setDevices({kCard, kTransmitter});
    plat::StringArray list{u"stale"};
    EXPECT_EQ(info->getPlaybackDeviceList(list), 1);
    EXPECT_THAT(list, ElementsAre(u"SoundMax Digital", u"Quorvane Auravo"));

    setDevices({});
    EXPECT_EQ(info->getPlaybackDeviceList(list), 1);
    EXPECT_TRUE(list.empty());

    // A mixer count beyond the table reads no further than its last entry.
    globals().audioDevices->count = 100000;
    EXPECT_EQ(info->getPlaybackDeviceList(list), 1);
    EXPECT_EQ(list.size(), 99u);
}

TEST_F(PlaybackTest, TheSystemDefaultIsSetUpFromTheFirstDeviceTheFirstTime) {
    // Without devices nothing is written.
    EXPECT_EQ(info->getPlaybackDevice(u"Default"), u"No Device Found");
    EXPECT_FALSE(pc->keyExists(plat::HKCU, kSoundMapper));

    setDevices({kCard, kTransmitter});
    pc->setDword(plat::HKLM,
                 u"SYSTEM\\CurrentControlSet\\Control\\MediaResources\\SetupPreferredAudioDevices\\",
                 u"SetupPreferredAudioDevicesCount", 3);
    EXPECT_EQ(info->getPlaybackDevice(u"szDefaultAudioDevice"), u"SoundMax Digital");
    EXPECT_EQ(str(plat::HKCU, kSoundMapper, u"Playback"), u"SoundMax Digital Audio");
    EXPECT_EQ(str(plat::HKCU, kSoundMapper, u"Record"), u"SoundMax Digital Audio");
    EXPECT_EQ(dword(plat::HKCU, kSoundMapper, u"PreferredOnly"), 0u);
    EXPECT_EQ(dword(plat::HKCU, kSoundMapper, u"SetupPreferredAudioDevicesCount"), 3u);

    // From then on "Playback" is looked up by wave name; an unknown one names no device.
    pc->setString(plat::HKCU, kSoundMapper, u"Playback", u"USB Audio Device");
    EXPECT_EQ(info->getPlaybackDevice(u""), u"Quorvane Auravo");
    pc->setString(plat::HKCU, kSoundMapper, u"Playback", u"Gone Card");
    EXPECT_EQ(info->getPlaybackDevice(u" "), u"No Device Found");
    EXPECT_EQ(str(plat::HKCU, kSoundMapper, u"Record"), u"SoundMax Digital Audio");
}

TEST_F(PlaybackTest, MusicmatchReadsDefaultMixerThenMixerControlFromEitherRoot) {
    setDevices({kCard, kTransmitter});
    EXPECT_EQ(info->getPlaybackDevice(u"Musicmatch"), u"Can't Access the entry");

    // DefaultMixer 1 wins whatever MixerControl holds.
    pc->setDword(plat::HKCU, kPlayUi, u"DefaultMixer", 1);
    pc->setDword(plat::HKCU, kPlayUi, u"MixerControl", 1);
    EXPECT_EQ(info->getPlaybackDevice(u"Musicmatch"), shown::defaultAudioDevice);

    pc->setDword(plat::HKCU, kPlayUi, u"DefaultMixer", 0);
    EXPECT_EQ(info->getPlaybackDevice(u"Musicmatch"), u"Quorvane Auravo");
    // Mixer 1 is beyond a one-device table: the default device.
    setDevices({kCard});
    EXPECT_EQ(info->getPlaybackDevice(u"Musicmatch"), shown::defaultAudioDevice);
    pc->setDword(plat::HKCU, kPlayUi, u"MixerControl", 0xFFFFFFFF);
    EXPECT_EQ(info->getPlaybackDevice(u"Musicmatch"), shown::defaultAudioDevice);

    // Only the machine's values: they are read when the user's are absent.
    pc->deleteTree(plat::HKCU, kPlayUi);
    pc->setDword(plat::HKLM, kPlayUi, u"DefaultMixer", 0);
    pc->setDword(plat::HKLM, kPlayUi, u"MixerControl", 0);
    EXPECT_EQ(info->getPlaybackDevice(u"Musicmatch"), u"SoundMax Digital");
}

TEST_F(PlaybackTest, WindowsMediaPlayerMatchesGuidsWithTheLastMatchWinning) {
    setDevices({kCard, kTransmitter});
    EXPECT_EQ(info->getPlaybackDevice(u"Windows Media Player"), u"Can't Access the entry");

    pc->setString(plat::HKLM, kWmpPrefs, u"DefaultAudioDevice", kTransmitter.guid);
    EXPECT_EQ(info->getPlaybackDevice(u"Windows Media Player"), u"Quorvane Auravo");

    pc->setString(plat::HKCU, kWmpPrefs, u"DefaultAudioDevice", kNullGuid);
    EXPECT_EQ(info->getPlaybackDevice(u"Windows Media Player"), shown::defaultAudioDevice);

    pc->setString(plat::HKCU, kWmpPrefs, u"DefaultAudioDevice", u"{99999999-0000-0000-0000-000000000000}");
    EXPECT_EQ(info->getPlaybackDevice(u"Windows Media Player"), u"No Device Found");

    AudioDeviceEntry twin = kCard;
    twin.name = u"SoundMax Digital (2)";
    twin.waveId = 1;
    setDevices({kCard, twin});
    pc->setString(plat::HKCU, kWmpPrefs, u"DefaultAudioDevice", kCard.guid);
    EXPECT_EQ(info->getPlaybackDevice(u"Windows Media Player"), u"SoundMax Digital (2)");
}

// ------------------------------------------------------------------------ changing

TEST_F(PlaybackTest, MusicmatchOnTheTransmitterWritesTheMixerAndRemembersTheChoice) {
    setDevices({kCard, kTransmitter});
    EXPECT_EQ(info->setPlaybackDevice(u"Musicmatch", u"Quorvane Auravo", 0), 1);
    EXPECT_EQ(dword(plat::HKLM, kPlayUi, u"DefaultMixer"), 0u);
    EXPECT_EQ(dword(plat::HKLM, kPlayUi, u"MixerControl"), 1u);
    EXPECT_EQ(str(plat::HKCU, kPrefs, u"Musicmatch"), u"Quorvane Auravo");

    // A name no device has means the default device.
    EXPECT_EQ(info->setPlaybackDevice(u"Musicmatch", u"Unplugged Card", 0), 1);
    EXPECT_EQ(dword(plat::HKLM, kPlayUi, u"DefaultMixer"), 1u);
    EXPECT_EQ(dword(plat::HKLM, kPlayUi, u"MixerControl"), 1u);
    EXPECT_EQ(str(plat::HKCU, kPrefs, u"Musicmatch"), shown::defaultAudioDevice);

    // The machine's key is closed to a user without rights.
    pc->setHklmWritable(false);
    EXPECT_EQ(info->setPlaybackDevice(u"Musicmatch", u"SoundMax Digital", 0), 0);
    EXPECT_EQ(dword(plat::HKLM, kPlayUi, u"DefaultMixer"), 1u);
}

TEST_F(PlaybackTest, TheDefaultWithNoPlayerRunningAsksForARestartBeforeWritingPlayback) {
    setDevices({kCard, kTransmitter});
    pc->setString(plat::HKCU, kSoundMapper, u"Playback", kCard.waveName);
    std::optional<plat::String> playbackWhileAsked;
    pc->script({.kind = sim::ModalKind::MessageBox,
                .caption = plat::String(shown::restartAppsCaption),
                .act = [&](sim::ModalContext& box) {
                    playbackWhileAsked = pc->stringValue(plat::HKCU, kSoundMapper, u"Playback");
                    box.pressButton(shown::ok);
                }});
    EXPECT_EQ(info->setPlaybackDevice(u"Default", u"Quorvane Auravo", 0), 1);
    EXPECT_EQ(playbackWhileAsked, kCard.waveName);
    EXPECT_EQ(str(plat::HKCU, kSoundMapper, u"Playback"), u"USB Audio Device");
    const auto shown = boxes();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].text, u"You must shutdown and restart your active applications before this "
                             u"change will take effect.");
    EXPECT_EQ(shown[0].style, 0u);

    // A mixer without capabilities writes nothing and fails.
    audio.products.clear();
    pc->answerMessageBox(shown::restartAppsCaption, std::nullopt, shown::ok);
    EXPECT_EQ(info->setPlaybackDevice(u"Default", u"SoundMax Digital", 0), 0);
    EXPECT_EQ(str(plat::HKCU, kSoundMapper, u"Playback"), u"USB Audio Device");
}

TEST_F(PlaybackTest, BasicPlayersAreAskedFirstAndRestartedUnlessRefused) {
    setDevices({kCard, kTransmitter});
    installPlayer(kITunes, true);
    installPlayer(kRealPlayer, true);
    pc->answerMessageBox(shown::restartCaption, restartText(kITunes), shown::no);
    pc->answerMessageBox(shown::restartCaption, restartText(kRealPlayer), shown::yes);
    EXPECT_EQ(info->setPlaybackDevice(shown::defaultAudioDevice, u"Quorvane Auravo", 0), 1);

    const auto shown = boxes();
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[0].text, restartText(kITunes));
    EXPECT_EQ(shown[0].style, shownYesNo(0x24));
    EXPECT_EQ(shown[1].text, restartText(kRealPlayer));
    EXPECT_EQ(shown[1].style, shownYesNo(0x2024));
    EXPECT_EQ(pc->playerStarts(kITunes).size(), 1u);
    EXPECT_EQ(pc->playerStarts(kRealPlayer).size(), 2u);
    EXPECT_TRUE(pc->playerRunning(kRealPlayer));
}

TEST_F(PlaybackTest, OnlyDeepPlayersFollowingTheDefaultAreAsked) {
    setDevices({kCard, kTransmitter});
    installPlayer(kWindowsMediaPlayer, true);
    pc->setString(plat::HKCU, kWmpPrefs, u"DefaultAudioDevice", kNullGuid);
    std::string ini = sim::typicalWinampIni();
    ini.replace(ini.find("cfg_dev=0"), 9, "cfg_dev=1");
    installPlayer(kWinamp, true, ini);
    ASSERT_EQ(info->getPlaybackDevice(kWinamp), u"SoundMax Digital");

    pc->answerMessageBox(shown::restartCaption, restartText(kWindowsMediaPlayer), shown::yes);
    EXPECT_EQ(info->setPlaybackDevice(u"Default", u"Quorvane Auravo", 0), 1);
    const auto shown = boxes();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].style, shownYesNo(0x2024));
    EXPECT_EQ(pc->playerStarts(kWindowsMediaPlayer).size(), 2u);
    EXPECT_EQ(pc->playerStarts(kWinamp).size(), 1u);

    // A deep-integration player is restarted only on Yes.
    pc->answerMessageBox(shown::restartCaption, restartText(kWindowsMediaPlayer), shown::no);
    EXPECT_EQ(info->setPlaybackDevice(u"Default", u"SoundMax Digital", 0), 1);
    EXPECT_EQ(pc->playerStarts(kWindowsMediaPlayer).size(), 2u);
    EXPECT_TRUE(pc->playerRunning(kWindowsMediaPlayer));
}

TEST_F(PlaybackTest, ARunningTargetIsClosedWrittenAndRestartedWithoutAsking) {
    setDevices({kCard, kTransmitter});
    installPlayer(kWindowsMediaPlayer, true);
    std::optional<plat::String> guidWhenStarted;
    pc->setShellExecuteHandler([&](const plat::String&, const plat::String&) {
        guidWhenStarted = pc->stringValue(plat::HKCU, kWmpPrefs, u"DefaultAudioDevice");
        return std::intptr_t{42};
    });
    EXPECT_EQ(info->setPlaybackDevice(kWindowsMediaPlayer, u"Quorvane Auravo", 0), 1);
    EXPECT_TRUE(boxes().empty());
    EXPECT_EQ(pc->playerCloseRequests(kWindowsMediaPlayer).size(), 1u);
    EXPECT_EQ(pc->playerStarts(kWindowsMediaPlayer).size(), 2u);
    EXPECT_EQ(guidWhenStarted, kTransmitter.guid);
    EXPECT_TRUE(pc->playerRunning(kWindowsMediaPlayer));
}

TEST_F(PlaybackTest, WinampIsRoutedOnlyByAnAdministrator) {
    setDevices({kCard, kTransmitter});
    installPlayer(kWinamp, true);
    const auto before = pc->winampIni();
    globals().isAdministrator = false;
    EXPECT_EQ(info->setPlaybackDevice(kWinamp, u"Quorvane Auravo", 0), 0);
    EXPECT_EQ(pc->winampIni(), before);
    // Still closed and started again.
    EXPECT_EQ(pc->playerStarts(kWinamp).size(), 2u);
    EXPECT_TRUE(pc->playerRunning(kWinamp));

    globals().isAdministrator = true;
    EXPECT_EQ(info->setPlaybackDevice(kWinamp, u"Quorvane Auravo", 0), 1);
    EXPECT_NE(pc->winampIni()->find("cfg_dev=2\n"), std::string::npos);
    EXPECT_EQ(info->getPlaybackDevice(kWinamp), u"Quorvane Auravo");
}

} // namespace
