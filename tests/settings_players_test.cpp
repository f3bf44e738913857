// The Media Players page and its Edit Media Player Settings dialog on the running program:
// which players it lists, who may edit, what the dialog offers and where it routes.
#include "AudioDevices.h"
#include "EditMediaPlayer.h"
#include "settings_support.h"
#include "shown_texts.h"

#include <gtest/gtest.h>

namespace {

using namespace settingstest;

const plat::String kEditTitle = shown::editPlayerTitle;
const plat::String kWmpKey = u"Software\\Microsoft\\MediaPlayer\\Preferences\\";
constexpr plat::Guid kSpeakersGuid{0x5A7E0001, 0x0001, 0x0002, {1, 2, 3, 4, 5, 6, 7, 8}};

class MediaPlayersPageTest : public SettingsTest {
protected:
    void install(const plat::String& name, bool running = false) {
        sim::PlayerConfig config;
        config.name = name;
        config.running = running;
        ASSERT_TRUE(pc->installPlayer(config));
    }
    // The sound card, with a GUID of its own, then (plugged in after it) the transmitter.
    void speakersThenTransmitter() {
        sim::AudioDeviceConfig speakers;
        speakers.description = u"Speakers";
        speakers.guid = kSpeakersGuid;
        pc->addAudioDevice(speakers);
        plug();
    }
    void openPlayersPage() {
        start();
        audioPass();
        openSettings();
        tab(1);
    }
    void openEdit(const plat::String& player) {
        holdDialog(kEditTitle);
        act([player](sim::ModalContext& m) {
            m.selectItemByText(id::playerList, player);
            m.pressId(id::edit);
        });
        ASSERT_EQ(top().caption, kEditTitle) << pc->screen();
    }
    std::size_t dialogsOpened(const plat::String& caption) {
        std::size_t n = 0;
        for (const auto& v : pc->modalHistory())
            n += v.caption == caption;
        return n;
    }
};

TEST_F(MediaPlayersPageTest, WithNoPlayerTheListIsEmptyAndEditDisabledEvenForAnAdministrator) {
    plug();
    openPlayersPage();
    EXPECT_TRUE(items(id::playerList).empty());
    EXPECT_FALSE(control(id::edit).enabled);
}

TEST_F(MediaPlayersPageTest, PlayersAreSortedAndABasicPlayerIsExplained) {
    install(u"Winamp");
    install(u"iTunes");
    install(u"Windows Media Player");
    plug();
    openPlayersPage();
    EXPECT_EQ(items(id::playerList),
              (std::vector<plat::String>{u"iTunes", u"Winamp", u"Windows Media Player"}));
    EXPECT_EQ(selected(id::playerList), u"iTunes");
    EXPECT_TRUE(control(id::edit).enabled);

    pc->answerMessageBox(shown::mediaPlayers, std::nullopt, shown::ok);
    click(id::edit);
    const sim::ModalView box = pc->modalHistory().back();
    EXPECT_EQ(box.text, u"iTunes does not allow you to select which sound device the music should "
                        u"be played on.\n\nTo listen to this media player on a Auravo device, go "
                        u"to the 'Default Audio device'  tab and select \"Quorvane Auravo\" from "
                        u"the list.");
    EXPECT_EQ(box.style, 0x2040u);
    EXPECT_EQ(dialogsOpened(kEditTitle), 0u);
}

TEST_F(MediaPlayersPageTest, WithTwoDevicesTheSoundCardIsMyComputerAndRoutesByItsRealName) {
    install(u"Windows Media Player");
    speakersThenTransmitter();
    openPlayersPage();
    openEdit(u"Windows Media Player");
    EXPECT_EQ(items(id::outputCombo),
              (std::vector<plat::String>{shown::defaultAudioDevice, shown::myComputer,
                                         u"Quorvane Auravo"}));
    EXPECT_EQ(selected(id::outputCombo), shown::defaultAudioDevice); // no setting yet

    act([](sim::ModalContext& m) {
        m.selectItemByText(id::outputCombo, shown::myComputer);
        m.pressId(id::editOk);
    });
    EXPECT_EQ(top().caption, kSettings);
    EXPECT_EQ(pc->stringValue(plat::HKCU, kWmpKey, u"DefaultAudioDevice"),
              guidText(kSpeakersGuid));
}

TEST_F(MediaPlayersPageTest, MyComputerSkipsATransmitterListedFirst) {
    install(u"Windows Media Player");
    plug(); // the transmitter's audio function comes first
    sim::AudioDeviceConfig speakers;
    speakers.description = u"Speakers";
    speakers.guid = kSpeakersGuid;
    pc->addAudioDevice(speakers);
    openPlayersPage();
    openEdit(u"Windows Media Player");
    EXPECT_EQ(items(id::outputCombo),
              (std::vector<plat::String>{shown::defaultAudioDevice, u"Quorvane Auravo",
                                         shown::myComputer}));
    act([](sim::ModalContext& m) {
        m.selectItemByText(id::outputCombo, shown::myComputer);
        m.pressId(id::editOk);
    });
    EXPECT_EQ(pc->stringValue(plat::HKCU, kWmpKey, u"DefaultAudioDevice"),
              guidText(kSpeakersGuid));
}

TEST_F(MediaPlayersPageTest, WithThreeDevicesEachIsListedByItsOwnNameAndTheCurrentOneChosen) {
    install(u"Windows Media Player");
    speakersThenTransmitter();
    addAudioDevice(u"USB Headset");
    openPlayersPage();
    openEdit(u"Windows Media Player");
    EXPECT_EQ(items(id::outputCombo),
              (std::vector<plat::String>{shown::defaultAudioDevice, u"Speakers", u"Quorvane Auravo",
                                         u"USB Headset"}));
    act([](sim::ModalContext& m) {
        m.selectItemByText(id::outputCombo, u"USB Headset");
        m.pressEnter();
    });
    openEdit(u"Windows Media Player");
    EXPECT_EQ(selected(id::outputCombo), u"USB Headset");
}

// Devices that come and go while the dialog is open: the pending choice stays with its
// device wherever that now stands, and falls back to "Default Audio Device" once it has gone,
// never to whatever device took its place.
TEST_F(MediaPlayersPageTest, APendingChoiceFollowsItsDeviceAndFallsBackToTheDefault) {
    install(u"Windows Media Player");
    sim::AudioDeviceConfig speakers;
    speakers.description = u"Speakers";
    const sim::AudioDeviceId speakersId = pc->addAudioDevice(speakers);
    sim::AudioDeviceConfig headset;
    headset.description = u"USB Headset";
    const sim::AudioDeviceId headsetId = pc->addAudioDevice(headset);
    plug();
    openPlayersPage();
    openEdit(u"Windows Media Player");
    ASSERT_EQ(items(id::outputCombo),
              (std::vector<plat::String>{shown::defaultAudioDevice, u"Speakers", u"USB Headset",
                                         u"Quorvane Auravo"}));

    // Two passes of the audio thread: the device has gone from both of their enumerations.
    select(id::outputCombo, u"Quorvane Auravo");
    ASSERT_TRUE(pc->removeAudioDevice(headsetId));
    audioPass();
    audioPass();
    EXPECT_EQ(items(id::outputCombo),
              (std::vector<plat::String>{shown::defaultAudioDevice, shown::myComputer,
                                         u"Quorvane Auravo"}));
    EXPECT_EQ(selected(id::outputCombo), u"Quorvane Auravo");

    select(id::outputCombo, shown::myComputer);
    ASSERT_TRUE(pc->removeAudioDevice(speakersId));
    audioPass();
    audioPass();
    EXPECT_EQ(selected(id::outputCombo), shown::defaultAudioDevice);
    // As first shown: OK changes nothing.
    click(id::editOk);
    EXPECT_EQ(top().caption, kSettings);
    EXPECT_FALSE(pc->stringValue(plat::HKCU, kWmpKey, u"DefaultAudioDevice").has_value());
}

// Sound behaviour: with no device left besides the transmitter, "My Computer" routes
// nothing, reads nothing past the device list, asks nothing, and leaves the dialog open.
TEST_F(MediaPlayersPageTest, MyComputerWithNoDeviceLeftKeepsTheDialogOpenAndChangesNothing) {
    install(u"Windows Media Player", true);
    speakersThenTransmitter();
    openPlayersPage();
    openEdit(u"Windows Media Player");
    const std::size_t modalsBefore = pc->modalHistory().size();
    act([](sim::ModalContext& m) {
        m.selectItemByText(id::outputCombo, shown::myComputer);
        // The sound card went, and the audio thread's notice has not been handled yet.
        AudioDeviceEntry transmitter;
        readDeviceEntry(2, transmitter);
        storeDeviceEntry(1, transmitter);
        globals().audioDevices->count = 1;
        m.pressId(id::editOk);
    });
    EXPECT_EQ(top().caption, kEditTitle);
    EXPECT_EQ(pc->modalHistory().size(), modalsBefore) << "no restart question";
    EXPECT_FALSE(pc->stringValue(plat::HKCU, kWmpKey, u"DefaultAudioDevice").has_value());
    EXPECT_TRUE(pc->playerRunning(u"Windows Media Player"));

    plat::String device;
    EXPECT_TRUE(EditMediaPlayer::resolveMyComputer({u"Quorvane Auravo", u"Quorvane Auravo (2)"},
                                                   device));
    EXPECT_EQ(device, u"Quorvane Auravo (2)"); // only the exact name is passed over
    EXPECT_FALSE(EditMediaPlayer::resolveMyComputer({}, device));
    EXPECT_FALSE(EditMediaPlayer::resolveMyComputer({u"Quorvane Auravo"}, device));
    EXPECT_TRUE(EditMediaPlayer::resolveMyComputer({u"Speakers", u"Quorvane Auravo"}, device));
    EXPECT_EQ(device, u"Speakers");
}

TEST_F(MediaPlayersPageTest, AChangeThatCannotBeStoredIsReportedAndTheDialogCloses) {
    install(u"Musicmatch");
    install(u"Winamp");
    pc->setWinampIni("[Winamp]\r\noutname=out_disk.dll\r\n");
    speakersThenTransmitter();
    pc->setHklmWritable(false);
    openPlayersPage();
    openEdit(u"Musicmatch");
    const plat::Hwnd dialog = top().window;
    pc->answerMessageBox(shown::noRightsCaption, std::nullopt, shown::ok);
    act([](sim::ModalContext& m) {
        m.selectItemByText(id::outputCombo, u"Quorvane Auravo");
        m.pressId(id::editOk);
    });
    const sim::ModalView box = pc->modalHistory().back();
    EXPECT_EQ(box.caption, shown::noRightsCaption);
    EXPECT_EQ(box.text.substr(0, 26), u"Current operation cannot b");
    EXPECT_EQ(box.style, 0x2040u);
    EXPECT_EQ(box.owner, dialog);
    EXPECT_EQ(top().caption, kSettings);

    // Winamp writing to disk has no device to set: the notice says what to do about it.
    openEdit(u"Winamp");
    pc->answerMessageBox(shown::noRightsCaption, std::nullopt, shown::ok);
    act([](sim::ModalContext& m) {
        m.selectItemByText(id::outputCombo, u"Quorvane Auravo");
        m.pressId(id::editOk);
    });
    EXPECT_EQ(pc->modalHistory().back().text.substr(0, 44),
              u"Winamp plays through an output plug-in whose");
    EXPECT_EQ(pc->winampIni(), "[Winamp]\r\noutname=out_disk.dll\r\n");
}

} // namespace
