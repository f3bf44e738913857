// The tray menu of the whole program on the simulated PC: what the user sees in each form,
// what choosing an item does, and what a command does when its list changed meanwhile.
#include "QuorvaneAuravoSystemTrayApplication.h"
#include "shown_texts.h"
#include "transmitter_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace {

using Lines = std::vector<std::string>;

const plat::String controllerTitle = shown::controllerTitle;
const plat::String prefsKey = u"SOFTWARE\\Quorvane\\Quorvane Auravo Settings\\Preferences\\";
const plat::String soundMapper = u"SOFTWARE\\Microsoft\\Multimedia\\Sound Mapper\\";
const plat::String wmpPrefs = u"Software\\Microsoft\\MediaPlayer\\Preferences\\";
const plat::String restartText = u" must be shut down and restarted before this change will "
                                 u"take effect.\nDo you want to restart it now?";

// The menu as the test reads it: one line per item, indented two blanks per submenu level;
// "label =id", then {radio}/{check}, {default}, {grayed}; "label >" for a submenu.
void describe(const std::vector<sim::MenuNode>& items, const std::string& indent, Lines& out) {
    for (const auto& n : items) {
        std::string line = indent;
        if (n.separator) {
            line += "---";
        } else {
            line += plat::toUtf8(n.text);
            line += n.popup ? " >" : " =" + std::to_string(n.id);
            if (n.checked)
                line += n.radio ? " {radio}" : " {check}";
            if (n.isDefault)
                line += " {default}";
            if (!n.enabled)
                line += " {grayed}";
        }
        out.push_back(line);
        if (n.popup)
            describe(n.items, indent + "  ", out);
    }
}

const Lines fixedItems = {
    "---", "Settings =32772 {default}", "---", "Help =32773", "About =32774", "Exit =32775"};

Lines withFixedItems(Lines top) {
    top.insert(top.end(), fixedItems.begin(), fixedItems.end());
    return top;
}

// Records the menu calls of the user-interface port, in order, and passes them on.
class RecordingUi final : public plat::UserInterface {
public:
    explicit RecordingUi(plat::UserInterface& inner) : in(inner) {}

    std::intptr_t dialogBox(plat::Module m, int t, plat::Hwnd p, plat::DialogTarget* d) override {
        return in.dialogBox(m, t, p, d);
    }
    bool endDialog(plat::Hwnd d, std::intptr_t r) override { return in.endDialog(d, r); }
    int messageBox(plat::Hwnd o, const plat::String& t, const plat::String& c, std::uint32_t s,
                   plat::MessageBoxHook* h) override {
        return in.messageBox(o, t, c, s, h);
    }
    std::intptr_t propertySheet(const plat::PropertySheetSpec& s) override {
        return in.propertySheet(s);
    }
    int activePageIndex(plat::Hwnd s) override { return in.activePageIndex(s); }
    plat::MessageSource currentMessageSource() override { return in.currentMessageSource(); }
    plat::HMenu loadMenu(plat::Module m, int id) override {
        const plat::HMenu menu = in.loadMenu(m, id);
        note("loadMenu " + std::to_string(id) + (context ? context() : std::string()));
        loaded = menu;
        return menu;
    }
    plat::HMenu getSubMenu(plat::HMenu m, int p) override { return in.getSubMenu(m, p); }
    plat::HMenu createPopupMenu() override {
        note("createPopupMenu");
        return in.createPopupMenu();
    }
    bool insertMenu(plat::HMenu m, std::uint32_t p, std::uint32_t f, std::uintptr_t i,
                    const plat::String& t) override {
        return in.insertMenu(m, p, f, i, t);
    }
    bool appendMenu(plat::HMenu m, std::uint32_t f, std::uintptr_t i,
                    const plat::String& t) override {
        return in.appendMenu(m, f, i, t);
    }
    bool checkMenuRadioItem(plat::HMenu m, std::uint32_t first, std::uint32_t last,
                            std::uint32_t check, std::uint32_t f) override {
        note("check " + std::to_string(first) + ".." + std::to_string(last) + " " +
             std::to_string(check));
        return in.checkMenuRadioItem(m, first, last, check, f);
    }
    bool setMenuDefaultItem(plat::HMenu m, std::uint32_t item, bool byPosition) override {
        note("default " + std::to_string(item) + (byPosition ? " by position" : ""));
        return in.setMenuDefaultItem(m, item, byPosition);
    }
    bool trackPopupMenu(plat::HMenu m, std::uint32_t f, plat::Point at, plat::Hwnd o) override {
        note("track flags " + std::to_string(f) + " at " + std::to_string(at.x) + "," +
             std::to_string(at.y) + (o == owner ? " by the controller" : ""));
        return in.trackPopupMenu(m, f, at, o);
    }
    bool destroyMenu(plat::HMenu m) override {
        note(m == loaded ? "destroy the loaded menu" : "destroy another menu");
        return in.destroyMenu(m);
    }
    bool shellNotifyIcon(std::uint32_t m, const plat::NotifyIconData& d) override {
        return in.shellNotifyIcon(m, d);
    }

    Lines calls;
    plat::HMenu loaded = 0;
    plat::Hwnd owner = 0;
    std::function<std::string()> context; // added to the loadMenu line

private:
    void note(std::string call) { calls.push_back(std::move(call)); }
    plat::UserInterface& in;
};

class TrayMenuTest : public txtest::SimTest {
protected:
    sim::TransmitterId tx = 0;
    std::unique_ptr<RecordingUi> recording; // outlives the program's threads

    // The computer's own sound card is the default device until something changes it.
    void SetUp() override {
        txtest::SimTest::SetUp();
        sim::AudioDeviceConfig card;
        card.description = u"Speakers";
        card.waveName = u"Speakers Out";
        pc->addAudioDevice(card);
        pc->setString(plat::HKCU, soundMapper, u"Playback", u"Speakers Out");
    }

    void plug(std::vector<sim::PairedDevice> database = txtest::threeDevices()) {
        sim::TransmitterConfig config;
        config.database = std::move(database);
        tx = pc->plugTransmitter(config);
    }
    sim::AudioDeviceId addDevice(const plat::String& description,
                                 const plat::String& path = plat::String()) {
        sim::AudioDeviceConfig config;
        config.description = description;
        config.interfacePath = path;
        return pc->addAudioDevice(config);
    }
    void installPlayer(const plat::String& name, bool running = false) {
        sim::PlayerConfig config;
        config.name = name;
        config.running = running;
        ASSERT_TRUE(pc->installPlayer(config));
    }
    void setAdvanced() { pc->setString(plat::HKCU, prefsKey, u"Enable Advanced Menu", u"True"); }
    void start() {
        pc->startProgram([] { return runProgram(); });
        ASSERT_TRUE(pc->waitIdle());
        pc->advance(3000); // the audio thread's passes see every device
        ASSERT_TRUE(pc->waitForTransmitterRead(tx));
    }
    plat::Hwnd controller() const { return pc->findWindowByTitle(controllerTitle); }

    // A right click on the tray icon; the user looks at the menu and then does `act` (by
    // default closes it). The menu as the user saw it.
    Lines openMenu(
        std::function<void(sim::ModalContext&)> act = [](sim::ModalContext& m) { m.pressEscape(); },
        plat::Point at = {640, 400}) {
        Lines seen;
        sim::ScriptEntry entry;
        entry.kind = sim::ModalKind::PopupMenu;
        entry.act = [&seen, act](sim::ModalContext& m) {
            describe(m.view().menu, "", seen);
            act(m);
        };
        pc->script(std::move(entry));
        EXPECT_TRUE(pc->clickTrayIcon(WM_RBUTTONDOWN, at));
        EXPECT_TRUE(pc->waitIdle());
        EXPECT_EQ(pc->pendingScriptEntries(), 0u) << "no menu opened";
        return seen;
    }
    Lines choose(const plat::String& path) {
        return openMenu([path](sim::ModalContext& m) { m.chooseMenuItem(path); });
    }
    void answer(const plat::String& caption, const plat::String& button) {
        pc->answerMessageBox(caption, std::nullopt, button);
    }
    std::vector<sim::ModalView> boxes() const {
        std::vector<sim::ModalView> out;
        for (const auto& v : pc->modalHistory())
            if (v.kind == sim::ModalKind::MessageBox)
                out.push_back(v);
        return out;
    }
    std::optional<plat::String> playback() const {
        return pc->stringValue(plat::HKCU, soundMapper, u"Playback");
    }
    std::size_t commandsSoFar() const { return pc->transmitterCommandCodes(tx).size(); }
    std::vector<std::uint8_t> commandsSince(std::size_t from) const {
        const auto all = pc->transmitterCommandCodes(tx);
        return {all.begin() + static_cast<std::ptrdiff_t>(std::min(from, all.size())), all.end()};
    }
    // The transmitter's playback device's GUID, as the registry spells it.
    std::optional<plat::String> transmitterGuid() const {
        const auto id = pc->transmitterAudioDevice(tx);
        for (const auto& d : pc->audioDevices())
            if (id && d.id == *id) {
                const plat::Guid& g = d.guid;
                char text[40];
                std::snprintf(text, sizeof text,
                              "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", g.data1,
                              g.data2, g.data3, g.data4[0], g.data4[1], g.data4[2], g.data4[3],
                              g.data4[4], g.data4[5], g.data4[6], g.data4[7]);
                return plat::fromAscii(text);
            }
        return std::nullopt;
    }
    void command(std::uint32_t id) {
        ASSERT_TRUE(pc->post(controller(), WM_COMMAND, id));
        ASSERT_TRUE(pc->waitIdle());
    }
};

TEST_F(TrayMenuTest, WithoutPairedDevicesTheFirstItemIsAGrayedNoReceivers) {
    plug({});
    start();
    EXPECT_EQ(openMenu(),
              withFixedItems({"<no receivers> =0 {grayed}", "My Computer =9000 {radio}"}));
    setAdvanced();
    const Lines advanced = openMenu();
    ASSERT_FALSE(advanced.empty());
    EXPECT_EQ(advanced.front(), "<no receivers> =0 {grayed}");
}

TEST_F(TrayMenuTest, SimpleFormWithTwoDevicesRoutesTheComputerAndChoosingAReceiverRoutesToIt) {
    plug();
    start();
    // The sound plays on the computer: "My Computer" checked, no receiver checked.
    EXPECT_EQ(openMenu(), withFixedItems({"Office =10000", "Bedroom =10001", "Kitchen =10002",
                                          "My Computer =9000 {radio}"}));

    // A receiver: the computer's sound goes to the transmitter, which serves that receiver.
    answer(shown::restartAppsCaption, shown::ok);
    const std::size_t before = commandsSoFar();
    choose(u"Bedroom");
    EXPECT_EQ(playback(), u"Quorvane Auravo");
    EXPECT_EQ(commandsSince(before), (std::vector<std::uint8_t>{0x40, 0x02}));
    EXPECT_EQ(pc->transmitterCurrentDevice(tx)->name, u"Bedroom");
    EXPECT_EQ(txtest::logged(u"CKTRSystemTrayApplicationDlg::OnReceiver -- Method Exit.Bedroom"),
              1u);

    // Now the receiver is checked and "My Computer" is not; it routes the computer back.
    EXPECT_EQ(openMenu(), withFixedItems({"Office =10000", "Bedroom =10001 {radio}",
                                          "Kitchen =10002", "My Computer =9000"}));
    answer(shown::restartAppsCaption, shown::ok);
    choose(shown::myComputer);
    EXPECT_EQ(playback(), u"Speakers Out");
}

TEST_F(TrayMenuTest, SimpleFormListsEveryComputerDeviceOnceUnderItsOwnNameAndId) {
    // Two playback devices of transmitters among four: the submenu holds exactly the
    // computer's two, never an item named after another device.
    plug();
    addDevice(u"USB Audio Device", u"\\\\?\\USB#Vid_0b7a&Pid_0100&MI_01#8&2b&0&0001#{65e8773d}");
    addDevice(u"Headset");
    start();
    EXPECT_EQ(openMenu(),
              withFixedItems({"Office =10000", "Bedroom =10001", "Kitchen =10002", "My Computer >",
                              "  Speakers =9000 {radio}", "  Headset =9003"}));

    // Its items route the system default to their own device.
    answer(shown::restartAppsCaption, shown::ok);
    choose(u"My Computer>Headset");
    EXPECT_EQ(playback(), u"Headset");
}

TEST_F(TrayMenuTest, AdvancedFormRoutesPlayersAndTheDefaultDeviceAndAlwaysChecksTheReceiver) {
    plug();
    installPlayer(u"Windows Media Player");
    installPlayer(u"Winamp");
    setAdvanced();
    start();
    // Two devices: the computer's reads "My Computer", the transmitter's keeps its name.
    // Neither player names a device, so both follow "Default Audio Device".
    EXPECT_EQ(openMenu(),
              withFixedItems({"Office =10000", "Bedroom =10001", "Kitchen =10002 {radio}", "---",
                              "Media Player Output >", "  Windows Media Player >",
                              "    My Computer =5000", "    Quorvane Auravo =5001", "    ---",
                              "    Default Audio Device =5002 {radio}", "  Winamp >",
                              "    My Computer =5100", "    Quorvane Auravo =5101", "    ---",
                              "    Default Audio Device =5102 {radio}", "Default Audio Device >",
                              "  My Computer =9000 {radio}", "  Quorvane Auravo =9001"}));

    choose(u"Media Player Output>Winamp>Quorvane Auravo");
    EXPECT_NE(pc->winampIni()->find("cfg_dev=2"), std::string::npos); // table entry 2
    answer(shown::restartAppsCaption, shown::ok);
    choose(u"Default Audio Device>Quorvane Auravo");
    EXPECT_EQ(playback(), u"Quorvane Auravo");
    // A receiver chosen here leaves the computer's routing alone.
    pc->setString(plat::HKCU, soundMapper, u"Playback", u"Speakers Out");
    choose(u"Office");
    EXPECT_EQ(playback(), u"Speakers Out");
    EXPECT_EQ(pc->transmitterCurrentDevice(tx)->name, u"Office");

    // With three devices every item carries its device's own name.
    addDevice(u"Headset");
    pc->advance(2000);
    const Lines three = openMenu();
    EXPECT_NE(std::find(three.begin(), three.end(), "    Speakers =5100"), three.end());
    EXPECT_NE(std::find(three.begin(), three.end(), "    Quorvane Auravo =5101 {radio}"),
              three.end());
    EXPECT_NE(std::find(three.begin(), three.end(), "    Default Audio Device =5103"), three.end());
    EXPECT_NE(std::find(three.begin(), three.end(), "  Speakers =9000 {radio}"), three.end());
}

TEST_F(TrayMenuTest, AStoredChoiceThatIsNoCurrentDeviceShowsDefaultAudioDeviceCheckedAndIsRepaired) {
    plug();
    installPlayer(u"Windows Media Player");
    pc->setString(plat::HKCU, wmpPrefs, u"DefaultAudioDevice",
                  u"{DEADBEEF-0000-0000-0000-000000000000}");
    setAdvanced();
    start();
    const Lines menu = openMenu();
    EXPECT_NE(std::find(menu.begin(), menu.end(), "    Default Audio Device =5002 {radio}"),
              menu.end());
    EXPECT_NE(std::find(menu.begin(), menu.end(), "    Quorvane Auravo =5001"), menu.end());

    // Choosing that item puts the player on the default device (entry 0, the null GUID).
    choose(u"Media Player Output>Windows Media Player>Default Audio Device");
    EXPECT_EQ(pc->stringValue(plat::HKCU, wmpPrefs, u"DefaultAudioDevice"),
              u"{00000000-0000-0000-0000-000000000000}");
}

TEST_F(TrayMenuTest, TheCheckedItemChangesNothingAndNoLeavesTheSettingAsItWas) {
    plug();
    installPlayer(u"Windows Media Player", true);
    setAdvanced();
    start();
    const plat::String wmp = u"Windows Media Player";

    // Checked, as the player follows the default device: nothing is asked or closed.
    choose(u"Media Player Output>Windows Media Player>Default Audio Device");
    EXPECT_TRUE(boxes().empty());
    EXPECT_TRUE(pc->playerCloseRequests(wmp).empty());
    EXPECT_FALSE(pc->stringValue(plat::HKCU, wmpPrefs, u"DefaultAudioDevice").has_value());

    // Another device of a running player asks first; "No" changes nothing and leaves the
    // handler without its exit trace.
    answer(shown::restartCaption, shown::no);
    choose(u"Media Player Output>Windows Media Player>Quorvane Auravo");
    ASSERT_EQ(boxes().size(), 1u);
    EXPECT_EQ(boxes()[0].text, wmp + restartText);
    EXPECT_EQ(boxes()[0].style, std::uint32_t{MB_OKCANCEL | MB_ICONQUESTION | MB_TASKMODAL});
    EXPECT_TRUE(pc->playerCloseRequests(wmp).empty());
    EXPECT_FALSE(pc->stringValue(plat::HKCU, wmpPrefs, u"DefaultAudioDevice").has_value());
    EXPECT_EQ(txtest::logged(u"CKTRSystemTrayApplicationDlg::OnRadioFirst -- Method Entry."), 2u);
    EXPECT_EQ(txtest::logged(u"CKTRSystemTrayApplicationDlg::OnRadioFirst -- Method Exit."), 1u);

    // "Yes": the player is closed, routed to the transmitter and started again.
    answer(shown::restartCaption, shown::yes);
    choose(u"Media Player Output>Windows Media Player>Quorvane Auravo");
    EXPECT_EQ(pc->stringValue(plat::HKCU, wmpPrefs, u"DefaultAudioDevice"), transmitterGuid());
    EXPECT_EQ(pc->playerCloseRequests(wmp).size(), 1u);
    EXPECT_TRUE(pc->playerRunning(wmp));

    // Now that item is the checked one, and choosing it again asks nothing.
    choose(u"Media Player Output>Windows Media Player>Quorvane Auravo");
    EXPECT_EQ(boxes().size(), 2u);

    // Its "Default Audio Device" moves it back to the default device, restarting it.
    answer(shown::restartCaption, shown::yes);
    choose(u"Media Player Output>Windows Media Player>Default Audio Device");
    EXPECT_EQ(boxes().size(), 3u);
    EXPECT_EQ(pc->stringValue(plat::HKCU, wmpPrefs, u"DefaultAudioDevice"),
              u"{00000000-0000-0000-0000-000000000000}");
    EXPECT_EQ(pc->playerCloseRequests(wmp).size(), 2u);

    // The system's default device, chosen again where it is checked: no change, no box.
    const auto before = playback();
    choose(u"Default Audio Device>My Computer");
    EXPECT_EQ(boxes().size(), 3u);
    EXPECT_EQ(playback(), before);
}

// A lone "&" in a menu item marks an access key: every name is shown as it is written, the
// paired devices' and the playback devices' alike, and chosen by what it shows.
TEST_F(TrayMenuTest, NamesWithAnAmpersandShowAsWritten) {
    plug({{u"R&B Room", txtest::address(2)}, {u"Office", txtest::address(1)}});
    addDevice(u"Speakers & Headphones");
    installPlayer(u"Winamp");
    start();
    EXPECT_EQ(openMenu(),
              withFixedItems({"Office =10000", "R&B Room =10001", "My Computer >",
                              "  Speakers =9000 {radio}", "  Speakers & Headphones =9002"}));
    answer(shown::restartAppsCaption, shown::ok);
    choose(u"R&B Room");
    EXPECT_EQ(pc->transmitterCurrentDevice(tx)->name, u"R&B Room");

    setAdvanced();
    const Lines advanced = openMenu();
    for (const char* line : {"R&B Room =10001 {radio}", "    Speakers & Headphones =5002",
                             "  Speakers & Headphones =9002"})
        EXPECT_NE(std::find(advanced.begin(), advanced.end(), line), advanced.end()) << line;
}

TEST_F(TrayMenuTest, WinampByAUserWithoutAdministratorRightsGetsThePermissionNotice) {
    pc->setTokenGroups({{sim::SimPc::usersSid(), 0x7}});
    plug();
    installPlayer(u"Winamp");
    setAdvanced();
    const auto ini = pc->winampIni();
    start();
    answer(shown::noRightsCaption, shown::ok);
    choose(u"Media Player Output>Winamp>Quorvane Auravo");
    ASSERT_EQ(boxes().size(), 1u);
    EXPECT_EQ(boxes()[0].text,
              u"Current operation cannot be performed since user does not have the appropriate "
              u"permissions.\nPlease login as an user with Administrator privileges to use "
              u"this feature.");
    EXPECT_EQ(boxes()[0].style, std::uint32_t{MB_ICONINFORMATION | MB_TASKMODAL});
    EXPECT_EQ(pc->winampIni(), ini);
}

TEST_F(TrayMenuTest, CommandsThatPointAtNothingDoNothing) {
    std::vector<sim::PairedDevice> seventeen;
    for (int i = 17; i >= 1; --i)
        seventeen.push_back({u"Receiver " + plat::fromAscii(std::to_string(i)),
                             txtest::address(static_cast<std::uint8_t>(i))});
    plug(seventeen);
    installPlayer(u"Windows Media Player");
    start();
    const Lines menu = openMenu();
    ASSERT_GE(menu.size(), 17u);
    EXPECT_EQ(menu[16], "Receiver 17 =10016"); // shown, but past the commands handled

    // The player plays on the transmitter, so an id taken for its default item would show.
    pc->setString(plat::HKCU, wmpPrefs, u"DefaultAudioDevice", *transmitterGuid());
    const std::size_t before = commandsSoFar();
    const auto playbackBefore = playback();
    answer(shown::restartAppsCaption, shown::ok); // for the one receiver that does work
    for (std::uint32_t id : {5003u, 5099u, 5100u, 9002u, 9100u, 10016u, 10017u})
        command(id);
    EXPECT_EQ(commandsSince(before), std::vector<std::uint8_t>{});
    EXPECT_EQ(playback(), playbackBefore);
    EXPECT_EQ(pc->stringValue(plat::HKCU, wmpPrefs, u"DefaultAudioDevice"), transmitterGuid());
    EXPECT_TRUE(boxes().empty());

    // The last id the controller handles selects the 16th receiver.
    command(10015);
    EXPECT_EQ(commandsSince(before), (std::vector<std::uint8_t>{0x02}));
    EXPECT_EQ(pc->transmitterCurrentDevice(tx)->name, u"Receiver 16");
}

TEST_F(TrayMenuTest, AListThatChangedWhileTheMenuWasOpenIsLookedUpAfresh) {
    plug();
    const sim::AudioDeviceId headset = addDevice(u"Headset");
    setAdvanced();
    start();

    // The paired list is cleared while the menu is open: "Office" now points at nothing.
    sim::ScriptEntry held;
    held.kind = sim::ModalKind::PopupMenu;
    held.hold = true;
    pc->script(held);
    ASSERT_TRUE(pc->clickTrayIcon(WM_RBUTTONDOWN));
    ASSERT_TRUE(pc->waitIdle());
    pc->transmitterEvent(tx, sim::TransmitterEvent::ListCleared);
    ASSERT_TRUE(pc->waitForTransmitterRead(tx));
    // The headset, the last playback device, goes as well.
    ASSERT_TRUE(pc->removeAudioDevice(headset));
    pc->advance(2000);
    const std::size_t before = commandsSoFar();
    pc->actOnTopModal([](sim::ModalContext& m) { m.chooseMenuItem(u"Office"); });
    ASSERT_TRUE(pc->waitIdle());
    EXPECT_EQ(commandsSince(before), std::vector<std::uint8_t>{});
    EXPECT_EQ(txtest::logged(u"CKTRSystemTrayApplicationDlg::OnReceiver -- Method Exit."), 1u);

    addDevice(u"Headset");
    pc->advance(2000);
    pc->script(held);
    ASSERT_TRUE(pc->clickTrayIcon(WM_RBUTTONDOWN));
    ASSERT_TRUE(pc->waitIdle());
    ASSERT_TRUE(pc->removeAudioDevice(pc->audioDevices().back().id));
    pc->advance(2000);
    // The menu was built with three devices; "Headset" (9002) is past the two left now.
    pc->actOnTopModal(
        [](sim::ModalContext& m) { m.chooseMenuItem(u"Default Audio Device>Headset"); });
    ASSERT_TRUE(pc->waitIdle());
    EXPECT_EQ(playback(), u"Speakers Out");
    EXPECT_TRUE(boxes().empty());
}

TEST_F(TrayMenuTest, TheMenuIsBuiltAfterMenuOpeningAndTrackedByTheForegroundController) {
    plug();
    recording = std::make_unique<RecordingUi>(*plat::current().ui);
    plat::Platform bundle = plat::current();
    bundle.ui = recording.get();
    plat::install(bundle);
    start();
    recording->owner = controller();
    const std::size_t before = commandsSoFar();
    recording->context = [&] {
        return " after " + std::to_string(commandsSoFar() - before) + " command(s)";
    };
    pc->takeJournal();
    openMenu([](sim::ModalContext& m) { m.pressEscape(); }, {612, 1040});

    EXPECT_EQ(recording->calls,
              (Lines{"loadMenu 113 after 1 command(s)", "check 9000..9002 9000", "default 32772",
                     "track flags 2 at 612,1040 by the controller", "destroy the loaded menu"}));
    EXPECT_EQ(commandsSince(before), (std::vector<std::uint8_t>{0x40}));
    // The controller is in front when the menu opens; the menu is gone once it closed.
    EXPECT_TRUE(
        txtest::inOrder(pc->takeJournal(), {"brought to front: QuorvaneAuravoSystemTrayApplication",
                                            "popup menu opened", "popup menu dismissed"}));
    EXPECT_EQ(plat::ui().getSubMenu(recording->loaded, 0), 0u);
}

} // namespace
