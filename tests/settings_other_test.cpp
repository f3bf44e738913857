// The Default Audio Device and Other Settings pages on the running program.
#include "PcInfo.h"
#include "settings_support.h"
#include "shown_texts.h"

#include <gtest/gtest.h>

namespace {

using namespace settingstest;

class DefaultAudioPageTest : public SettingsTest {
protected:
    void openPage() {
        start();
        audioPass();
        openSettings();
        tab(2);
    }
    std::size_t playbackWrites() {
        std::size_t n = 0;
        for (const auto& line : pc->journal())
            n += line.find("Sound Mapper \"Playback\" = ") != std::string::npos;
        return n;
    }
};

TEST_F(DefaultAudioPageTest, WithTwoDevicesTheSoundCardIsMyComputerAndChoosingItMakesItTheDefault) {
    addAudioDevice(u"Speakers", u"HD Audio Output");
    plug();
    pc->setString(plat::HKCU, kSoundMapper, u"Playback", u"Quorvane Auravo");
    openPage();
    EXPECT_EQ(items(id::defaultCombo),
              (std::vector<plat::String>{shown::myComputer, u"Quorvane Auravo"}));
    EXPECT_EQ(selected(id::defaultCombo), u"Quorvane Auravo");

    pc->answerMessageBox(shown::restartAppsCaption, std::nullopt, shown::ok);
    select(id::defaultCombo, shown::myComputer);
    EXPECT_EQ(pc->stringValue(plat::HKCU, kSoundMapper, u"Playback"), u"HD Audio Output");
    EXPECT_EQ(pc->modalHistory().back().caption, shown::restartAppsCaption);
}

TEST_F(DefaultAudioPageTest, WithThreeDevicesEachHasItsOwnNameAndNoneIsMyComputer) {
    addAudioDevice(u"Speakers", u"HD Audio Output");
    plug();
    addAudioDevice(u"USB Headset");
    pc->setString(plat::HKCU, kSoundMapper, u"Playback", u"HD Audio Output");
    openPage();
    EXPECT_EQ(items(id::defaultCombo),
              (std::vector<plat::String>{u"Speakers", u"Quorvane Auravo", u"USB Headset"}));
    EXPECT_EQ(selected(id::defaultCombo), u"Speakers");
}

TEST_F(DefaultAudioPageTest, ReselectingTheDefaultCallsNothing) {
    addAudioDevice(u"Speakers", u"HD Audio Output");
    plug();
    pc->setString(plat::HKCU, kSoundMapper, u"Playback", u"HD Audio Output");
    openPage();
    ASSERT_EQ(selected(id::defaultCombo), shown::myComputer);
    const std::size_t modals = pc->modalHistory().size();
    const std::size_t writes = playbackWrites();
    select(id::defaultCombo, shown::myComputer);

    pc->setString(plat::HKCU, kSoundMapper, u"Playback", u"Quorvane Auravo");
    postToSettings(2);
    ASSERT_EQ(selected(id::defaultCombo), u"Quorvane Auravo");
    select(id::defaultCombo, u"Quorvane Auravo");
    EXPECT_EQ(pc->modalHistory().size(), modals) << "no advice to restart";
    EXPECT_EQ(playbackWrites(), writes);
}

TEST_F(DefaultAudioPageTest, WithoutAKnownDefaultMyComputerIsStillApplied) {
    addAudioDevice(u"Speakers", u"HD Audio Output");
    plug();
    pc->setString(plat::HKCU, kSoundMapper, u"Playback", u"A card that is gone");
    openPage();
    EXPECT_EQ(selected(id::defaultCombo), u"");
    pc->answerMessageBox(shown::restartAppsCaption, std::nullopt, shown::ok);
    select(id::defaultCombo, shown::myComputer);
    EXPECT_EQ(pc->stringValue(plat::HKCU, kSoundMapper, u"Playback"), u"HD Audio Output");
}

class OtherSettingsPageTest : public SettingsTest {
protected:
    void openPage() {
        start();
        openSettings();
        tab(3);
    }
    void setChecked(int controlId, bool on) {
        act([controlId, on](sim::ModalContext& m) { m.setChecked(controlId, on); });
    }
};

TEST_F(OtherSettingsPageTest, ANonAdministratorSeesTheAdvancedMenuSwitchGreyedWithItsState) {
    pc->setTokenGroups({{sim::SimPc::usersSid(), 0x7}});
    pc->setString(plat::HKCU, kPreferences, u"Enable Advanced Menu", u"True");
    plug();
    openPage();
    EXPECT_FALSE(control(id::advancedMenu).enabled);
    EXPECT_EQ(control(id::advancedMenu).checked, 1);
    EXPECT_TRUE(control(id::trayIcon).enabled);
    setChecked(id::trayIcon, false);
    EXPECT_TRUE(pc->trayIcons().empty());

    // Refilled when the page is shown again, the switch stays greyed.
    tab(0);
    tab(3);
    EXPECT_FALSE(control(id::advancedMenu).enabled);
    EXPECT_EQ(control(id::trayIcon).checked, 0);
}

} // namespace
