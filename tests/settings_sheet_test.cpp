// The settings sheet of the running program: how it looks once initialised, its refresh
// requests (only the page shown is refilled, and only then logged), Help and the popup help.
#include "PropertySheetSettingBox.h"
#include "settings_support.h"
#include "shown_texts.h"

#include <gtest/gtest.h>

namespace {

using namespace settingstest;

class SettingsSheetTest : public SettingsTest {};

TEST_F(SettingsSheetTest, ShowsFourTabsCloseAndHelpOnlyWithItsOwnTaskbarButtonAndHelpCaption) {
    plug();
    start();
    openSettings();
    const sim::ModalView v = top();
    EXPECT_EQ(items(id::tabs),
              (std::vector<plat::String>{shown::devicesTab, shown::mediaPlayers,
                                         shown::defaultAudioDevice, shown::otherSettings}));
    EXPECT_EQ(control(id::tabs).selection, 0);
    EXPECT_FALSE(control(id::cancel).visible);
    EXPECT_FALSE(control(id::apply).visible);
    EXPECT_TRUE(control(id::help).visible);
    EXPECT_TRUE(control(id::help).enabled);
    EXPECT_EQ(control(id::help).text, shown::help);
    EXPECT_TRUE(control(id::close).visible);
    EXPECT_EQ(control(id::close).text, shown::close);
    EXPECT_EQ(v.exStyle & (WS_EX_APPWINDOW | WS_EX_CONTEXTHELP),
              WS_EX_APPWINDOW | WS_EX_CONTEXTHELP);

    // Close sits 162 pixels further right than the sheet put it.
    const plat::Hwnd closeButton = plat::desktop().getDlgItem(v.window, id::close);
    plat::WindowPlacement placement;
    ASSERT_TRUE(plat::desktop().getWindowPlacement(closeButton, placement));
    EXPECT_EQ(placement.normalPosition, (plat::Rect{162, 0, 162, 0}));

    // Escape ends it as Close does, and a new opening builds it afresh.
    act([](sim::ModalContext& m) { m.pressEscape(); });
    EXPECT_TRUE(pc->openModals().empty());
    EXPECT_EQ(globals().settingsSheet, nullptr);
    openSettings();
    EXPECT_EQ(items(id::pairedList).size(), 3u);
}

TEST_F(SettingsSheetTest, EveryUserGetsAllFourPages) {
    pc->setTokenGroups({{sim::SimPc::usersSid(), 0x7}});
    plug();
    start();
    openSettings();
    EXPECT_EQ(items(id::tabs).size(), 4u);
    for (int page = 3; page >= 0; --page) {
        tab(page);
        EXPECT_EQ(control(id::tabs).selection, page);
    }
}

TEST_F(SettingsSheetTest, ARequestToOpenWhileOpenOnlyBringsTheSheetForward) {
    plug();
    start();
    openSettings();
    const plat::Hwnd controller = pc->findWindowByTitle(shown::controllerTitle);
    ASSERT_TRUE(pc->post(controller, WM_USER, 20)); // a second start of the program
    ASSERT_TRUE(pc->waitIdle());
    EXPECT_EQ(pc->openModals().size(), 1u);
    EXPECT_EQ(plat::desktop().getForegroundWindow(), top().window);
}

// A refresh reaches only the page shown; the others fill themselves when they are shown.
TEST_F(SettingsSheetTest, DeviceRefreshRunsAndLogsOnlyOnTheDevicesPage) {
    plug();
    start();
    openSettings();
    EXPECT_EQ(selected(id::playbackCombo), u"Kitchen");
    globals().pairedDevices.setCurrentName(u"Office"); // behind the page's back

    tab(1);
    txtest::takeLog();
    postToSettings(0);
    EXPECT_EQ(txtest::logged(u"Page '0' Updated."), 0u);
    EXPECT_TRUE(txtest::takeLog().empty()); // nothing at all for a page not shown

    tab(0);
    EXPECT_EQ(selected(id::playbackCombo), u"Office");
    globals().pairedDevices.setCurrentName(u"Bedroom");
    postToSettings(0);
    EXPECT_EQ(selected(id::playbackCombo), u"Bedroom");
    EXPECT_EQ(txtest::logged(u" TRACE :Page '0' Updated."), 1u);
}

TEST_F(SettingsSheetTest, AudioRefreshRunsAndLogsOnlyOnTheDefaultAudioPage) {
    addAudioDevice(u"Speakers (High Definition Audio)", u"HD Audio Output");
    pc->setString(plat::HKCU, kSoundMapper, u"Playback", u"Quorvane Auravo");
    plug();
    start();
    audioPass();
    openSettings();
    tab(2);
    EXPECT_EQ(selected(id::defaultCombo), u"Quorvane Auravo");

    pc->setString(plat::HKCU, kSoundMapper, u"Playback", u"HD Audio Output");
    postToSettings(3);
    EXPECT_EQ(selected(id::defaultCombo), u"Quorvane Auravo");
    postToSettings(0); // for the Devices page, which is not shown
    EXPECT_EQ(selected(id::defaultCombo), u"Quorvane Auravo");
    EXPECT_EQ(txtest::logged(u"Page Updated."), 0u);
    EXPECT_EQ(txtest::logged(u"Page '0' Updated."), 0u);

    postToSettings(2);
    EXPECT_EQ(selected(id::defaultCombo), shown::myComputer);
    EXPECT_EQ(txtest::logged(u" TRACE :Page Updated."), 1u);
}

TEST_F(SettingsSheetTest, HelpOpensTheShownPagesTopicFromTheProgramsFolder) {
    plug();
    start();
    openSettings();
    const char* topics[] = {"::/Devices.htm", "::/mediaplayer.htm", "::/Allother.htm",
                            "::/othersettings.htm"};
    for (int page = 0; page < 4; ++page) {
        tab(page);
        click(id::help);
    }
    const auto requests = helpRequests();
    ASSERT_EQ(requests.size(), 4u);
    for (std::size_t page = 0; page < 4; ++page)
        EXPECT_EQ(requests[page], "help: \"" + helpFile(topics[page]) + "\" command 0 data 0x0");

    // An index the table does not know opens the start page.
    EXPECT_EQ(plat::String(PropertySheetSettingBox::helpTopic(-1)), u"::/startofhelp.htm");
    EXPECT_EQ(plat::String(PropertySheetSettingBox::helpTopic(4)), u"::/startofhelp.htm");
}

TEST_F(SettingsSheetTest, PopupHelpShowsTheControlsTextWithDefaultColoursAndMargins) {
    plug();
    start();
    openSettings();
    pc->setCursorPos({300, 200}); // where the "?" cursor clicks
    act([](sim::ModalContext& m) { m.requestHelp(id::rename); });
    tab(3);
    act([](sim::ModalContext& m) { m.requestHelp(id::trayIcon); });
    const auto requests = helpRequests();
    ASSERT_EQ(requests.size(), 2u);
    const std::string file = helpFile("::/popupdisplay.txt");
    // Each popup is the control's that asked.
    EXPECT_EQ(requests[0], "help: \"" + file +
                               "\" command 14 popup instance 0x0 string 1003 at (300,200) colours "
                               "-1/-1 margins -1,-1,-1,-1 caller control 1003");
    EXPECT_EQ(requests[1], "help: \"" + file +
                               "\" command 14 popup instance 0x0 string 1019 at (300,200) colours "
                               "-1/-1 margins -1,-1,-1,-1 caller control 1019");
}

TEST_F(SettingsSheetTest, ThePairingRequestRunsTheWaitAndLeavesTheSheetOpen) {
    plug();
    start();
    openSettings();
    const std::size_t before = pc->transmitterCommands(tx).size();
    holdDialog(shown::newDeviceTitle);
    postToSettings(1);
    // The wait itself sends nothing: pairing is already under way.
    EXPECT_EQ(top().caption, shown::newDeviceTitle);
    EXPECT_TRUE(codesSince(before).empty());
    // The reader's word ends it, and the sheet is still there.
    ASSERT_TRUE(pc->post(pc->findWindowByTitle(shown::newDeviceTitle), WM_USER, 0));
    ASSERT_TRUE(pc->waitIdle());
    EXPECT_TRUE(codesSince(before).empty());
    EXPECT_EQ(top().caption, kSettings);
}

TEST_F(SettingsSheetTest, TheSheetClosesWhenTheTransmitterGoes) {
    plug();
    start();
    openSettings();
    holdDialog(shown::renameTitle);
    click(id::rename);
    ASSERT_EQ(top().caption, shown::renameTitle);
    pc->unplugTransmitter(tx);
    ASSERT_TRUE(pc->waitIdle());
    EXPECT_TRUE(pc->openModals().empty()) << pc->screen();
    EXPECT_EQ(globals().settingsSheet, nullptr);
}

} // namespace
