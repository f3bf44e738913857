// The Devices page and its rename and delete dialogs, on the running program with the
// virtual transmitter.
#include "resource.h"
#include "settings_support.h"
#include "shown_texts.h"

#include <gtest/gtest.h>

namespace {

using namespace settingstest;

std::vector<sim::PairedDevice> numbered(int count) {
    std::vector<sim::PairedDevice> devices;
    for (int i = count; i >= 1; --i) // newest first
        devices.push_back({u"Device " + plat::fromAscii(std::to_string(i)),
                           txtest::address(static_cast<std::uint8_t>(i))});
    return devices;
}

class DevicesPageTest : public SettingsTest {
protected:
    // Renames the selected device through the dialog, typing `name` and pressing OK; the
    // dialog is left open when it refuses the name (then its message box is answered).
    void rename(const plat::String& name, const std::optional<plat::String>& refusal = {}) {
        holdDialog(shown::renameTitle);
        click(id::rename);
        ASSERT_EQ(top().caption, shown::renameTitle);
        if (refusal)
            pc->answerMessageBox(*refusal, std::nullopt, shown::ok);
        act([name](sim::ModalContext& m) {
            m.setText(id::newName, name);
            m.pressId(id::renameOk);
        });
        if (refusal) {
            ASSERT_EQ(top().caption, shown::renameTitle); // open for another try
            act([](sim::ModalContext& m) { m.pressEscape(); });
        }
        ASSERT_EQ(top().caption, kSettings);
    }
    void deleteSelected(int answer) {
        holdDialog(shown::deleteCaption);
        click(id::remove);
        ASSERT_EQ(top().caption, shown::deleteCaption);
        click(answer);
        ASSERT_EQ(top().caption, kSettings);
    }
    sim::ModalView lastBox() {
        const auto history = pc->modalHistory();
        return history.empty() ? sim::ModalView{} : history.back();
    }
};

TEST_F(DevicesPageTest, WithoutDevicesOnlyAddIsOffered) {
    plug({});
    start();
    openSettings();
    EXPECT_TRUE(items(id::pairedList).empty());
    EXPECT_TRUE(items(id::playbackCombo).empty());
    EXPECT_FALSE(control(id::rename).enabled);
    EXPECT_FALSE(control(id::remove).enabled);
    EXPECT_TRUE(control(id::addDevice).enabled);

    // Add Device asks the transmitter to pair and waits (the pairing tests follow the road).
    const std::size_t before = pc->transmitterCommands(tx).size();
    holdDialog(shown::newDeviceTitle);
    click(id::addDevice);
    EXPECT_EQ(codesSince(before), (std::vector<std::uint8_t>{0x04}));
    EXPECT_TRUE(pc->transmitterPairingMode(tx));
    EXPECT_EQ(top().caption, shown::newDeviceTitle);
    act([](sim::ModalContext& m) { m.pressEscape(); });
    EXPECT_EQ(codesSince(before), (std::vector<std::uint8_t>{0x04, 0x10}));
}

TEST_F(DevicesPageTest, SixteenDevicesDisableAddUntilOneIsDeleted) {
    plug(numbered(16));
    start();
    openSettings();
    ASSERT_EQ(items(id::pairedList).size(), 16u);
    EXPECT_FALSE(control(id::addDevice).enabled);
    deleteSelected(id::yes);
    EXPECT_EQ(items(id::pairedList).size(), 15u);
    EXPECT_TRUE(control(id::addDevice).enabled);
}

TEST_F(DevicesPageTest, DeletingTheLastOfFiveSelectsTheNewLastAndNoKeepsTheSelection) {
    plug(numbered(5)); // Device 5 is the newest and current; the list ends with Device 5
    start();
    openSettings();
    select(id::playbackCombo, u"Device 1");
    select(id::pairedList, u"Device 5");

    deleteSelected(id::no);
    EXPECT_EQ(items(id::pairedList).size(), 5u);
    EXPECT_EQ(control(id::pairedList).selection, 4);

    const std::size_t before = pc->transmitterCommands(tx).size();
    deleteSelected(id::yes);
    EXPECT_EQ(codesSince(before), (std::vector<std::uint8_t>{0x20}));
    EXPECT_EQ(items(id::pairedList).size(), 4u);
    EXPECT_EQ(control(id::pairedList).selection, 3);
    EXPECT_EQ(lastBox().caption, shown::deleteCaption);
    EXPECT_EQ(lastBox().control(IDC_DELETE_QUESTION)->text,
              u"Are you sure you want to delete the Device 5 device?");
}

TEST_F(DevicesPageTest, DeletingTheOnlyDeviceEmptiesThePage) {
    plug({{u"Kitchen", txtest::address(1)}});
    start();
    openSettings();
    deleteSelected(id::yes);
    EXPECT_TRUE(items(id::pairedList).empty());
    EXPECT_TRUE(items(id::playbackCombo).empty());
    EXPECT_FALSE(control(id::rename).enabled);
    EXPECT_FALSE(control(id::remove).enabled);
    EXPECT_TRUE(control(id::addDevice).enabled);
}

// The transmitter's answer to a choice in the combo box refreshes the page: the device the
// user selected in the list for Rename or Delete stays selected.
TEST_F(DevicesPageTest, ARefreshKeepsTheDeviceSelectedInTheList) {
    plug();
    start();
    openSettings();
    select(id::pairedList, u"Bedroom");
    txtest::takeLog();
    select(id::playbackCombo, u"Office");
    EXPECT_TRUE(txtest::inOrder(txtest::takeLog(), {"Page '0' Updated."}));
    EXPECT_EQ(selected(id::pairedList), u"Bedroom");
    EXPECT_EQ(selected(id::playbackCombo), u"Office");
}

TEST_F(DevicesPageTest, RenameAppliesTheNameRulesAndKeepsTheSelection) {
    plug();
    start();
    openSettings();
    select(id::pairedList, u"Bedroom");
    std::size_t before = pc->transmitterCommands(tx).size();

    struct Refused {
        plat::String name, caption, text;
    };
    const Refused refusals[] = {
        {u" \t ", shown::cannotRename, shown::nameEmptyText},
        {u"Thirty-three characters is 1 more", shown::nameTooLongCaption,
         u"The name you have chosen is too long.\nYou must choose a name that is less than 32 "
         u"characters."},
        {u"Kitchen", shown::cannotRename,
         u"There is already a Receiver named Kitchen. Please choose a different name."},
    };
    for (const Refused& r : refusals) {
        SCOPED_TRACE(plat::toUtf8(r.name));
        rename(r.name, r.caption);
        EXPECT_EQ(lastBox().text, r.text);
        EXPECT_EQ(lastBox().style, 0x2040u);
    }
    EXPECT_TRUE(codesSince(before).empty());

    // The unchanged name sends nothing; the present name with blanks around it is unchanged.
    rename(u"  Bedroom ");
    EXPECT_TRUE(codesSince(before).empty());

    // Another letter case is another name; 32 characters is the longest accepted.
    rename(u"  kitchen\t");
    EXPECT_EQ(codesSince(before), (std::vector<std::uint8_t>{0x08}));
    EXPECT_EQ(pc->transmitterCommands(tx).back().name, u"kitchen");
    EXPECT_EQ(items(id::pairedList), (std::vector<plat::String>{u"Office", u"kitchen", u"Kitchen"}));
    EXPECT_EQ(control(id::pairedList).selection, 1);

    before = pc->transmitterCommands(tx).size();
    rename(u"A name that is far too long here");
    EXPECT_EQ(codesSince(before), (std::vector<std::uint8_t>{0x08}));
    EXPECT_EQ(items(id::pairedList)[1], u"A name that is far too long here");
}

} // namespace
