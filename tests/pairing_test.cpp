// Pairing a new remote device on the running program with the virtual transmitter: the wait
// (DeviceConnect), the choosing dialog (NewDevicesDialog) and the naming dialog
// (NewDeviceDialog), with the commands the transmitter receives in order and the pairing
// state after each road.
#include "NewDevicesDialog.h"
#include "resource.h"
#include "settings_support.h"
#include "shown_texts.h"

#include <gtest/gtest.h>

namespace {

using namespace settingstest;

const plat::String kNewDevice = shown::newDeviceTitle;   // the wait and the naming dialog
const plat::String kNewDevices = shown::newDevicesTitle; // the choosing dialog
const plat::String kReceiverText = u"Quorvane Wireless Music System Receiver";
const plat::String kHeadphonesText = u"Quorvane Wireless Headphones";

// Control ids of the pairing templates.
namespace pid {
inline constexpr int waitText = IDC_CONNECT_INSTRUCTIONS, waitProgress = IDC_CONNECT_PROGRESS,
                     waitCancel = IDC_CONNECT_CANCEL;
inline constexpr int newList = IDC_NEW_DEVICE_LIST, next = IDC_NEXT;
inline constexpr int discovered = IDC_NEW_DEVICE_FOUND, prompt = IDC_NEW_DEVICE_PROMPT,
                     name = IDC_NEW_DEVICE_NAME, pair = IDC_PAIR;
} // namespace pid

// The wait's time-out: three minutes and two seconds.
constexpr std::uint32_t kWaitMs = 182000;

// Commands as the transmitter's own protocol numbers them.
constexpr std::uint8_t kSelect = 0x02, kStartPairing = 0x04, kSetName = 0x08, kCancelPairing = 0x10,
                       kDelete = 0x20, kListingDone = 0x80;

sim::NewRemote receiver() {
    return {sim::RemoteKind::Receiver, std::nullopt, std::nullopt};
}
sim::NewRemote headphones() {
    return {sim::RemoteKind::Headphones, std::nullopt, std::nullopt};
}
sim::NewRemote named(const plat::String& name) {
    return {sim::RemoteKind::Receiver, name, std::nullopt};
}

class PairingTest : public SettingsTest {
protected:
    std::size_t mark = 0; // commands before the road under test

    void SetUp() override {
        SettingsTest::SetUp();
        plug();
        start();
    }

    // Add Device on the Devices page; the wait that follows is held open.
    void addDevice() {
        openSettings();
        holdDialog(kNewDevice);
        mark = pc->transmitterCommands(tx).size();
        click(id::addDevice);
        ASSERT_EQ(top().caption, kNewDevice);
        ASSERT_EQ(top().templateId, 107);
    }
    // The transmitter's own Connect button with the settings closed: they open, then the
    // wait; both are held open.
    void pressTransmitterButton() {
        holdSettings();
        holdDialog(kNewDevice);
        mark = pc->transmitterCommands(tx).size();
        pc->transmitterEvent(tx, sim::TransmitterEvent::PairingButton);
        ASSERT_TRUE(pc->waitIdle());
    }
    // Remotes complete pairing; the dialog that follows (if any) is held open.
    void pairThen(std::vector<sim::NewRemote> remotes, const plat::String& nextCaption) {
        holdDialog(nextCaption);
        pair(std::move(remotes));
    }
    void pair(std::vector<sim::NewRemote> remotes) {
        ASSERT_FALSE(pc->transmitterPair(tx, std::move(remotes)).empty());
        ASSERT_TRUE(pc->waitIdle());
    }
    std::vector<std::uint8_t> road() { return codesSince(mark); }
    // The transmitter unplugged and plugged back in: it sends its list again of its own accord.
    void replug() {
        pc->unplugTransmitter(tx);
        ASSERT_TRUE(pc->waitIdle());
        ASSERT_TRUE(pc->replugTransmitter(tx));
        ASSERT_TRUE(pc->waitIdle());
    }
    std::vector<sim::TransmitterCommand> roadCommands() {
        const auto all = pc->transmitterCommands(tx);
        return {all.begin() + static_cast<std::ptrdiff_t>(std::min(mark, all.size())), all.end()};
    }
    std::int32_t pairingIdle() { return globals().pairedDevices.pairingIdle(); }
    plat::StringArray listed() { return globals().pairedDevices.names(); }
    plat::StringArray databaseNames() {
        plat::StringArray names;
        for (const auto& d : pc->transmitterDatabase(tx))
            names.push_back(d.name);
        return names;
    }
    // The message boxes opened since `from` in the modal history.
    std::vector<sim::ModalView> boxesSince(std::size_t from) {
        std::vector<sim::ModalView> boxes;
        const auto history = pc->modalHistory();
        for (std::size_t i = from; i < history.size(); ++i)
            if (history[i].kind == sim::ModalKind::MessageBox)
                boxes.push_back(history[i]);
        return boxes;
    }
    // The transmitter reports PairingFailed while the dialog titled `title` is open: exactly
    // one box says so (answered here), without icon, owned by that dialog.
    void pairingFailsWithOneBoxOwnedBy(const plat::String& title) {
        const plat::Hwnd dialog = pc->findWindowByTitle(title);
        const std::size_t opened = pc->modalHistory().size();
        pc->answerMessageBox(shown::error, shown::pairingFailed, shown::ok);
        pc->transmitterEvent(tx, sim::TransmitterEvent::PairingFailed);
        ASSERT_TRUE(pc->waitIdle());
        const auto boxes = boxesSince(opened);
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].style, 0u);
        EXPECT_EQ(boxes[0].owner, dialog);
    }
    void typeName(const plat::String& name) {
        act([name](sim::ModalContext& m) { m.setText(pid::name, name); });
    }
    // The transmitter's own Connect button while a pairing result is on screen: that dialog
    // comes forward, no wait opens over it, and the transmitter stops pairing at once.
    void buttonUnderTheResultStopsPairing(const plat::String& caption) {
        const std::size_t open = pc->openModals().size();
        mark = pc->transmitterCommands(tx).size();
        pc->takeJournal();
        pc->transmitterEvent(tx, sim::TransmitterEvent::PairingButton);
        ASSERT_TRUE(pc->waitIdle());
        EXPECT_EQ(pc->openModals().size(), open) << pc->screen();
        EXPECT_EQ(top().caption, caption);
        EXPECT_TRUE(txtest::inOrder(pc->takeJournal(), {"brought to front: " + plat::toUtf8(caption)}));
        EXPECT_EQ(road(), (std::vector<std::uint8_t>{kCancelPairing}));
        EXPECT_FALSE(pc->transmitterPairingMode(tx));
    }
};

// ------------------------------------------------------------------ the wait (DeviceConnect)

using PairingWaitTest = PairingTest;

TEST_F(PairingWaitTest, AddDeviceWaitsThenNamesTheNewDeviceAndMakesItCurrent) {
    addDevice();
    EXPECT_EQ(road(), (std::vector<std::uint8_t>{kStartPairing}));
    EXPECT_EQ(control(pid::waitText).text,
              u"To pair a new Auravo device with your computer, press and hold the 'Connect' "
              u"button on the new device for 10 seconds -- until the LEDs begin blinking red "
              u"and blue.");
    EXPECT_EQ(control(pid::waitProgress).text,
              u"Once the LEDs are blinking red and blue, pairing will be completed within 3 "
              u"minutes.");
    EXPECT_TRUE(control(pid::waitCancel).isDefault) << "Enter must not end the wait silently";
    EXPECT_EQ(globals().pairingWaitActive, 1);
    EXPECT_EQ(pairingIdle(), 1);

    const std::size_t opened = pc->modalHistory().size();
    pairThen({receiver()}, kNewDevice);
    // The wait ended without a word; the naming dialog shows the reported name.
    EXPECT_TRUE(boxesSince(opened).empty());
    EXPECT_EQ(globals().pairingWaitDialog, nullptr);
    EXPECT_EQ(globals().pairingWaitActive, 0);
    ASSERT_EQ(top().templateId, 106);
    EXPECT_EQ(control(pid::name).text, u"Receiver #1");
    EXPECT_EQ(control(pid::discovered).text, shown::discoveredOne);
    EXPECT_EQ(control(pid::prompt).text, shown::namePrompt);
    EXPECT_TRUE(control(pid::pair).isDefault);
    EXPECT_EQ(pairingIdle(), 0) << "still handling the pairing listing";

    // Enter presses Pair; an unchanged name is only selected.
    act([](sim::ModalContext& m) { m.pressEnter(); });
    EXPECT_EQ(top().caption, kSettings);
    EXPECT_EQ(road(), (std::vector<std::uint8_t>{kStartPairing, kSelect}));
    EXPECT_EQ(roadCommands().back().name, u"Receiver #1");
    EXPECT_EQ(listed(), (plat::StringArray{u"Office", u"Bedroom", u"Kitchen", u"Receiver #1"}));
    EXPECT_EQ(globals().pairedDevices.currentName(), u"Receiver #1");
    EXPECT_EQ(pc->transmitterCurrentDevice(tx)->name, u"Receiver #1");
    EXPECT_EQ(items(id::pairedList),
              (std::vector<plat::String>{u"Office", u"Bedroom", u"Kitchen", u"Receiver #1"}))
        << "the sheet's Devices page is refreshed";
    EXPECT_EQ(pairingIdle(), 1);
}

TEST_F(PairingWaitTest, NoDeviceWithin182SecondsCancelsPairingAndSaysSoOwnedByNobody) {
    addDevice();
    pc->advance(kWaitMs - 1);
    ASSERT_TRUE(pc->waitIdle());
    ASSERT_EQ(top().caption, kNewDevice) << "not before 182 s";
    EXPECT_EQ(road(), (std::vector<std::uint8_t>{kStartPairing}));

    const std::size_t opened = pc->modalHistory().size();
    pc->answerMessageBox(shown::noNewDeviceCaption, shown::noNewDeviceText, shown::ok);
    pc->advance(1);
    ASSERT_TRUE(pc->waitIdle());
    EXPECT_EQ(road(), (std::vector<std::uint8_t>{kStartPairing, kCancelPairing}));
    const auto boxes = boxesSince(opened);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].owner, 0u);
    EXPECT_EQ(boxes[0].style, 0u);
    EXPECT_EQ(top().caption, kSettings);
    EXPECT_FALSE(pc->transmitterPairingMode(tx));
    EXPECT_EQ(globals().pairingWaitActive, 0);
    EXPECT_EQ(pairingIdle(), 1);
}

// A link that goes while its wait is still registered ends that wait (quietly, as the
// transmitter's own answer does), so the run that owns the dialog goes on and nothing is left
// pointing at it.
TEST_F(PairingWaitTest, TheLinksEndEndsAWaitStillRegistered) {
    addDevice();
    ASSERT_NE(globals().pairingWaitDialog, nullptr);
    const std::size_t opened = pc->modalHistory().size();
    // On the program's own thread, inside the wait's loop, as the controller would.
    act([](sim::ModalContext&) { delete std::exchange(globals().vendorLink, nullptr); });
    EXPECT_EQ(top().caption, kSettings);
    EXPECT_EQ(globals().pairingWaitDialog, nullptr);
    EXPECT_EQ(globals().pairingWaitActive, 0);
    EXPECT_EQ(road(), (std::vector<std::uint8_t>{kStartPairing}));
    EXPECT_TRUE(boxesSince(opened).empty());
}

TEST_F(PairingWaitTest, CancelCloseEscapeAndEnterEachCancelPairingWithoutAMessage) {
    openSettings();
    const std::vector<std::pair<const char*, std::function<void(sim::ModalContext&)>>> ways = {
        {"Cancel", [](sim::ModalContext& m) { m.pressId(pid::waitCancel); }},
        {"Escape", [](sim::ModalContext& m) { m.pressEscape(); }},
        {"Enter", [](sim::ModalContext& m) { m.pressEnter(); }},
    };
    const std::size_t opened = pc->modalHistory().size();
    for (const auto& [name, way] : ways) {
        SCOPED_TRACE(name);
        holdDialog(kNewDevice);
        mark = pc->transmitterCommands(tx).size();
        click(id::addDevice);
        ASSERT_EQ(top().caption, kNewDevice);
        act(way);
        EXPECT_EQ(top().caption, kSettings);
        EXPECT_EQ(road(), (std::vector<std::uint8_t>{kStartPairing, kCancelPairing}));
        EXPECT_EQ(globals().pairingWaitActive, 0);
    }
    // The close box, as another program or the controller's shutdown would ask.
    holdDialog(kNewDevice);
    mark = pc->transmitterCommands(tx).size();
    click(id::addDevice);
    ASSERT_TRUE(pc->post(pc->findWindowByTitle(kNewDevice), WM_CLOSE));
    ASSERT_TRUE(pc->waitIdle());
    EXPECT_EQ(top().caption, kSettings);
    EXPECT_EQ(road(), (std::vector<std::uint8_t>{kStartPairing, kCancelPairing}));
    EXPECT_TRUE(boxesSince(opened).empty());

    // Long after, no time-out of an ended wait fires.
    mark = pc->transmitterCommands(tx).size();
    pc->advance(200000);
    ASSERT_TRUE(pc->waitIdle());
    EXPECT_TRUE(road().empty());
    EXPECT_EQ(pairingIdle(), 1);
}

TEST_F(PairingWaitTest, WithoutATimerTheWaitSaysSoAndLastsUntilCancelled) {
    openSettings();
    pc->setTimersFail(true);
    holdDialog(kNewDevice);
    pc->answerMessageBox(shown::error, shown::noTimer, shown::ok);
    mark = pc->transmitterCommands(tx).size();
    const std::size_t opened = pc->modalHistory().size();
    click(id::addDevice);
    ASSERT_EQ(top().caption, kNewDevice);
    const auto boxes = boxesSince(opened);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].style, 0x2010u);
    EXPECT_EQ(boxes[0].owner, pc->findWindowByTitle(kNewDevice));
    pc->setTimersFail(false);

    pc->advance(300000);
    ASSERT_TRUE(pc->waitIdle());
    EXPECT_EQ(top().caption, kNewDevice);
    click(pid::waitCancel);
    EXPECT_EQ(road(), (std::vector<std::uint8_t>{kStartPairing, kCancelPairing}));
}

TEST_F(PairingWaitTest, PairingFailedWhileWaitingEndsTheWaitSilently) {
    addDevice();
    const std::size_t opened = pc->modalHistory().size();
    pc->transmitterEvent(tx, sim::TransmitterEvent::PairingFailed);
    ASSERT_TRUE(pc->waitIdle());
    EXPECT_EQ(top().caption, kSettings);
    EXPECT_TRUE(boxesSince(opened).empty());
    EXPECT_EQ(road(), (std::vector<std::uint8_t>{kStartPairing}));
    EXPECT_EQ(globals().pairedDevices.pairingFailed, 0);
    EXPECT_EQ(pairingIdle(), 1);
}

TEST_F(PairingWaitTest, AListingThatBringsNothingNewSaysNoNewDeviceFound) {
    addDevice();
    // A remote paired before pairs again: the listing is the database as it was.
    const std::size_t opened = pc->modalHistory().size();
    pc->answerMessageBox(shown::noNewDeviceCaption, shown::noNewDeviceText, shown::ok);
    pair({{sim::RemoteKind::Receiver, u"Office", txtest::address(1)}});
    const auto boxes = boxesSince(opened);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].style, 0x2020u);
    EXPECT_EQ(boxes[0].owner, 0u);
    EXPECT_EQ(top().caption, kSettings);
    EXPECT_EQ(road(), (std::vector<std::uint8_t>{kStartPairing})) << "no ListingDone either";
    EXPECT_EQ(listed(), (plat::StringArray{u"Office", u"Bedroom", u"Kitchen"}));
    EXPECT_EQ(pairingIdle(), 1);
}

// The transmitter unplugged and back while "No new device found" is on screen: its listing is
// put oldest first and answered, as every ordinary listing is.
TEST_F(PairingWaitTest, AListingThatCompletesUnderAPairingResultIsHandledAsAnOrdinaryOne) {
    addDevice();
    holdBox(shown::noNewDeviceCaption);
    // Paired again, Office is the transmitter's newest device now.
    pair({{sim::RemoteKind::Receiver, u"Office", txtest::address(1)}});
    ASSERT_EQ(top().caption, shown::noNewDeviceCaption);
    mark = pc->transmitterCommands(tx).size();
    replug();
    EXPECT_EQ(road(), (std::vector<std::uint8_t>{0x30, 0x01, kListingDone}));
    EXPECT_EQ(listed(), (plat::StringArray{u"Bedroom", u"Kitchen", u"Office"}));
    act([](sim::ModalContext& m) { m.pressEnter(); });
    EXPECT_TRUE(pc->openModals().empty()) << pc->screen();
    EXPECT_EQ(listed(), (plat::StringArray{u"Bedroom", u"Kitchen", u"Office"}));
    EXPECT_EQ(pairingIdle(), 1);
}

TEST_F(PairingWaitTest, TheTransmittersButtonWithTheSettingsClosedOpensThemThenTheWait) {
    ASSERT_TRUE(pc->openModals().empty());
    pressTransmitterButton();
    const auto open = pc->openModals();
    ASSERT_EQ(open.size(), 2u) << pc->screen();
    EXPECT_EQ(open[0].caption, kSettings);
    EXPECT_EQ(open[1].caption, kNewDevice);
    EXPECT_EQ(open[1].owner, 0u);
    EXPECT_TRUE(road().empty()) << "the transmitter is pairing already: no StartPairing";

    // A second press while the wait is open changes nothing.
    pc->transmitterEvent(tx, sim::TransmitterEvent::PairingButton);
    ASSERT_TRUE(pc->waitIdle());
    EXPECT_EQ(pc->openModals().size(), 2u);

    // Timing out here tells the user over the settings, task-modal without an icon.
    const std::size_t opened = pc->modalHistory().size();
    pc->answerMessageBox(shown::noNewDeviceCaption, shown::noNewDeviceText, shown::ok);
    pc->advance(kWaitMs);
    ASSERT_TRUE(pc->waitIdle());
    const auto boxes = boxesSince(opened);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].style, 0x2000u);
    EXPECT_EQ(boxes[0].owner, pc->findWindowByTitle(kSettings));
    EXPECT_EQ(road(), (std::vector<std::uint8_t>{kCancelPairing}));
    EXPECT_EQ(top().caption, kSettings);
}

TEST_F(PairingWaitTest, ThePairedRemoteAfterTheTransmittersButtonIsNamed) {
    pressTransmitterButton();
    pc->advance(30000);
    pairThen({headphones()}, kNewDevice);
    ASSERT_EQ(top().templateId, 106);
    EXPECT_EQ(control(pid::name).text, u"Headphones #1");
    click(pid::pair);
    EXPECT_EQ(road(), (std::vector<std::uint8_t>{kSelect}));
    EXPECT_EQ(items(id::pairedList),
              (std::vector<plat::String>{u"Office", u"Bedroom", u"Kitchen", u"Headphones #1"}));
    EXPECT_EQ(pairingIdle(), 1);
}

// ------------------------------------------------------------------ choosing (NewDevicesDialog)

TEST(NewDevicesDisplayNames, CountDefaultNamesFromTheLastDeviceAndKeepOthers) {
    // The example: receiver, headphones, receiver in list order.
    EXPECT_EQ(
        NewDevicesDialog::makeDisplayNames({u"Receiver #4", u"Headphones #2", u"Receiver #3"}),
        (plat::StringArray{kReceiverText + u" (2)", kHeadphonesText, kReceiverText}));
    EXPECT_EQ(NewDevicesDialog::makeDisplayNames({u"Headphones #9", u"Kitchen", u"Headphones #1",
                                                  u"Headphones #7", u"receiver #2"}),
              (plat::StringArray{kHeadphonesText + u" (3)", u"Kitchen", kHeadphonesText + u" (2)",
                                 kHeadphonesText, u"receiver #2"}));
    EXPECT_TRUE(NewDevicesDialog::makeDisplayNames({}).empty());
}

class ChoosingTest : public PairingTest {
protected:
    // Add Device, then these remotes pair at once: the choosing dialog is held open.
    void pairSeveral(std::vector<sim::NewRemote> remotes) {
        addDevice();
        pairThen(std::move(remotes), kNewDevices);
        ASSERT_EQ(top().caption, kNewDevices);
        ASSERT_EQ(top().templateId, 111);
    }
};

TEST_F(ChoosingTest, TwoNewReceiversAreNumberedAndNextKeepsOnlyTheChosenOne) {
    pairSeveral({receiver(), receiver()});
    // Receiver #2 is the newer, listed first: counted last, it is the second receiver.
    EXPECT_EQ(items(pid::newList),
              (std::vector<plat::String>{kReceiverText, kReceiverText + u" (2)"}));
    EXPECT_EQ(selected(pid::newList), kReceiverText);
    EXPECT_TRUE(control(pid::next).isDefault);

    select(pid::newList, kReceiverText + u" (2)");
    holdDialog(kNewDevice);
    click(pid::next);
    ASSERT_EQ(top().templateId, 106);
    EXPECT_EQ(control(pid::name).text, u"Receiver #2");
    EXPECT_EQ(control(pid::discovered).text, u"") << "the second step has no 'discovered' line";
    EXPECT_EQ(listed(), (plat::StringArray{u"Office", u"Bedroom", u"Kitchen", u"Receiver #2"}));
    EXPECT_EQ(databaseNames(),
              (plat::StringArray{u"Receiver #2", u"Kitchen", u"Bedroom", u"Office"}));

    typeName(u"Living Room");
    click(pid::pair);
    EXPECT_EQ(road(), (std::vector<std::uint8_t>{kStartPairing, kDelete, kSetName, kSelect}));
    const auto commands = roadCommands();
    EXPECT_EQ(commands[1].name, u"Receiver #1");
    EXPECT_EQ(commands[2].name, u"Living Room");
    EXPECT_EQ(commands[3].name, u"Living Room");
    EXPECT_EQ(commands[2].address, commands[3].address);
    EXPECT_EQ(listed(), (plat::StringArray{u"Office", u"Bedroom", u"Kitchen", u"Living Room"}));
    EXPECT_EQ(pc->transmitterCurrentDevice(tx)->name, u"Living Room");
    EXPECT_EQ(pairingIdle(), 1);
}

TEST_F(ChoosingTest, DeletionsOfTheOthersGoOut500MillisecondsApart) {
    pairSeveral({headphones(), receiver(), named(u"Attic")});
    EXPECT_EQ(items(pid::newList),
              (std::vector<plat::String>{u"Attic", kHeadphonesText, kReceiverText}));
    holdDialog(kNewDevice);
    click(pid::next); // the first sorted item: Attic
    EXPECT_EQ(control(pid::name).text, u"Attic");
    const auto commands = roadCommands();
    ASSERT_EQ(commands.size(), 3u);
    EXPECT_EQ(commands[1].code, kDelete);
    EXPECT_EQ(commands[2].code, kDelete);
    EXPECT_EQ(commands[2].atMs - commands[1].atMs, 500u);
    EXPECT_EQ(databaseNames(), (plat::StringArray{u"Attic", u"Kitchen", u"Bedroom", u"Office"}));
    act([](sim::ModalContext& m) { m.pressEscape(); });
    EXPECT_EQ(pairingIdle(), 1);
}

TEST_F(ChoosingTest, TwoDevicesShownAlikeKeepExactlyTheChosenOne) {
    // A new remote shares its name with another new one and with an older device.
    pairSeveral({named(u"Kitchen"), named(u"Kitchen")});
    const auto fresh = pc->transmitterDatabase(tx);
    ASSERT_EQ(items(pid::newList), (std::vector<plat::String>{u"Kitchen", u"Kitchen"}));
    act([](sim::ModalContext& m) { m.selectItem(pid::newList, 1); });
    holdDialog(kNewDevice);
    click(pid::next);
    ASSERT_EQ(top().templateId, 106);

    const auto commands = roadCommands();
    ASSERT_EQ(commands.size(), 2u) << "one of the two is deleted, not both, not none";
    EXPECT_EQ(commands[1].code, kDelete);
    const auto devices = globals().pairedDevices.devices();
    ASSERT_EQ(devices.size(), 4u);
    EXPECT_EQ(devices[2].name, u"Kitchen");
    EXPECT_EQ(devices[2].address, txtest::address(3)) << "the older Kitchen stays";
    EXPECT_NE(devices[3].address, commands[1].address) << "the chosen one stays";
    EXPECT_EQ(pc->transmitterDatabase(tx).size(), 4u);

    // Its name is taken by the older device; Cancel removes the chosen one as well.
    act([](sim::ModalContext& m) { m.pressEscape(); });
    EXPECT_EQ(listed(), (plat::StringArray{u"Office", u"Bedroom", u"Kitchen"}));
    EXPECT_EQ(pc->transmitterDatabase(tx), txtest::threeDevices());
    EXPECT_EQ(road(), (std::vector<std::uint8_t>{kStartPairing, kDelete, kDelete, kCancelPairing}));
    EXPECT_EQ(pairingIdle(), 1);
}

TEST_F(ChoosingTest, CancelDeletesEveryNewDeviceAndCancelsPairing) {
    pairSeveral({receiver(), headphones()});
    const std::size_t opened = pc->modalHistory().size();
    click(id::cancel);
    EXPECT_EQ(top().caption, kSettings) << "no naming dialog follows";
    EXPECT_EQ(pc->modalHistory().size(), opened);
    EXPECT_EQ(road(), (std::vector<std::uint8_t>{kStartPairing, kDelete, kDelete, kCancelPairing}));
    EXPECT_EQ(listed(), (plat::StringArray{u"Office", u"Bedroom", u"Kitchen"}));
    EXPECT_EQ(pc->transmitterDatabase(tx), txtest::threeDevices());
    EXPECT_EQ(items(id::pairedList),
              (std::vector<plat::String>{u"Office", u"Bedroom", u"Kitchen"}));
    EXPECT_EQ(pairingIdle(), 1);
}

TEST_F(ChoosingTest, PairingFailedDeletesEveryNewDeviceCancelsAndSaysSo) {
    pairSeveral({receiver(), receiver(), receiver()});
    pairingFailsWithOneBoxOwnedBy(kNewDevices);
    EXPECT_EQ(top().caption, kSettings);
    EXPECT_EQ(road(), (std::vector<std::uint8_t>{kStartPairing, kDelete, kDelete, kDelete,
                                                 kCancelPairing}));
    EXPECT_EQ(listed(), (plat::StringArray{u"Office", u"Bedroom", u"Kitchen"}));
    EXPECT_EQ(globals().pairedDevices.pairingFailed, 0);
    EXPECT_EQ(pairingIdle(), 1);
}

TEST_F(ChoosingTest, TheTransmittersButtonBringsTheChoiceForwardAndStopsPairing) {
    pairSeveral({receiver(), receiver()});
    buttonUnderTheResultStopsPairing(kNewDevices);
    click(id::cancel);
    EXPECT_EQ(road(), (std::vector<std::uint8_t>{kCancelPairing, kDelete, kDelete, kCancelPairing}));
}

TEST_F(ChoosingTest, AWmUserWithoutAFailureLeavesTheChoiceOpen) {
    pairSeveral({receiver(), receiver()});
    ASSERT_TRUE(pc->post(pc->findWindowByTitle(kNewDevices), WM_USER, 0));
    ASSERT_TRUE(pc->waitIdle());
    EXPECT_EQ(top().caption, kNewDevices);
    EXPECT_EQ(road(), (std::vector<std::uint8_t>{kStartPairing}));
    click(id::cancel);
}

// ------------------------------------------------------------------ naming (NewDeviceDialog)

class NamingTest : public PairingTest {
protected:
    void pairOne() {
        addDevice();
        pairThen({receiver()}, kNewDevice);
        ASSERT_EQ(top().templateId, 106);
    }
    // Types a name and presses Pair; a refusal's message box is answered and the dialog
    // must stay open.
    void tryName(const plat::String& name, const plat::String& caption, const plat::String& text) {
        pc->answerMessageBox(caption, text, shown::ok);
        const std::size_t opened = pc->modalHistory().size();
        typeName(name);
        click(pid::pair);
        const auto boxes = boxesSince(opened);
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].style, 0x2040u);
        EXPECT_EQ(boxes[0].owner, pc->findWindowByTitle(kNewDevice));
        EXPECT_EQ(top().templateId, 106) << "open for another try";
    }
};

TEST_F(NamingTest, RefusedNamesKeepTheDialogOpenUntilAGoodOne) {
    pairOne();
    tryName(u"  ", shown::cannotRename, shown::nameEmptyText);
    tryName(u"Thirty-three characters is 1 more", shown::nameTooLongCaption,
            u"The name you have chosen is too long.\nYou must choose a name that is less than 32 "
            u"characters.");
    tryName(u"Kitchen", shown::cannotRename,
            u"There is already a Receiver named Kitchen. Please choose a different name.");
    EXPECT_EQ(road(), (std::vector<std::uint8_t>{kStartPairing}));

    typeName(u"  A name that is far too long here ");
    click(pid::pair);
    EXPECT_EQ(top().caption, kSettings);
    EXPECT_EQ(road(), (std::vector<std::uint8_t>{kStartPairing, kSetName, kSelect}));
    EXPECT_EQ(roadCommands()[2].name, u"A name that is far too long here");
    EXPECT_EQ(listed(), (plat::StringArray{u"Office", u"Bedroom", u"Kitchen",
                                           u"A name that is far too long here"}));
    EXPECT_EQ(globals().pairedDevices.currentName(), u"A name that is far too long here");
    EXPECT_EQ(pairingIdle(), 1);
}

TEST_F(NamingTest, CancelDeletesTheDeviceAndCancelsPairing) {
    pairOne();
    act([](sim::ModalContext& m) { m.pressEscape(); });
    EXPECT_EQ(top().caption, kSettings);
    EXPECT_EQ(road(), (std::vector<std::uint8_t>{kStartPairing, kDelete, kCancelPairing}));
    EXPECT_EQ(roadCommands()[1].name, u"Receiver #1");
    EXPECT_EQ(listed(), (plat::StringArray{u"Office", u"Bedroom", u"Kitchen"}));
    EXPECT_EQ(pc->transmitterDatabase(tx), txtest::threeDevices());
    EXPECT_EQ(pairingIdle(), 1);
}

TEST_F(NamingTest, PairingFailedWhileNamingDeletesTheDeviceAndSaysSo) {
    pairOne();
    pairingFailsWithOneBoxOwnedBy(kNewDevice);
    EXPECT_EQ(top().caption, kSettings);
    EXPECT_EQ(road(), (std::vector<std::uint8_t>{kStartPairing, kDelete}));
    EXPECT_EQ(listed(), (plat::StringArray{u"Office", u"Bedroom", u"Kitchen"}));
    EXPECT_EQ(globals().pairedDevices.pairingFailed, 0);
    EXPECT_EQ(pairingIdle(), 1);
}

TEST_F(NamingTest, AFailureNotYetHandledIsFoundWhenPairIsPressed) {
    pairOne();
    // The reader has set the flag; its message has not been handled yet.
    globals().pairedDevices.pairingFailed = 1;
    pc->answerMessageBox(shown::error, shown::pairingFailed, shown::ok);
    typeName(u"Porch");
    click(pid::pair);
    EXPECT_EQ(top().caption, kSettings);
    // The new name went out first; the device leaves under it.
    EXPECT_EQ(road(), (std::vector<std::uint8_t>{kStartPairing, kSetName, kDelete}));
    EXPECT_EQ(roadCommands()[2].name, u"Porch");
    EXPECT_EQ(listed(), (plat::StringArray{u"Office", u"Bedroom", u"Kitchen"}));
    EXPECT_EQ(globals().pairedDevices.pairingFailed, 0);
    EXPECT_EQ(pairingIdle(), 1);
}

TEST_F(NamingTest, TheTransmittersButtonStopsPairingAndTheNamingGoesOn) {
    pairOne();
    buttonUnderTheResultStopsPairing(kNewDevice);
    click(pid::pair);
    EXPECT_EQ(road(), (std::vector<std::uint8_t>{kCancelPairing, kSelect}));
    EXPECT_EQ(pairingIdle(), 1);
}

// A second failure that arrives while the first one's box is open belongs to that road: the
// next pairing, which comes with no wait open, is named and kept.
TEST_F(NamingTest, AFailureAfterTheDialogHasFinishedBelongsToItsRoadOnly) {
    pairOne();
    holdBox(shown::error);
    pc->transmitterEvent(tx, sim::TransmitterEvent::PairingFailed);
    ASSERT_TRUE(pc->waitIdle());
    ASSERT_EQ(top().caption, shown::error);
    pc->transmitterEvent(tx, sim::TransmitterEvent::PairingFailed);
    ASSERT_TRUE(pc->waitIdle());
    act([](sim::ModalContext& m) { m.pressEnter(); });
    ASSERT_EQ(top().caption, kSettings);
    EXPECT_EQ(globals().pairedDevices.pairingFailed, 0);

    mark = pc->transmitterCommands(tx).size();
    pairThen({receiver()}, kNewDevice);
    ASSERT_EQ(top().templateId, 106);
    click(pid::pair);
    EXPECT_EQ(road(), (std::vector<std::uint8_t>{kSelect}));
    EXPECT_EQ(listed(), (plat::StringArray{u"Office", u"Bedroom", u"Kitchen", u"Receiver #2"}));
}

// The new device reports the name of an older one: its rename and selection go to its own
// address, and the program's list and the transmitter's agree.
TEST_F(NamingTest, ANewDeviceWithAnOlderOnesNameIsRenamedAndSelectedByItsAddress) {
    addDevice();
    pairThen({named(u"Kitchen")}, kNewDevice);
    ASSERT_EQ(control(pid::name).text, u"Kitchen");
    typeName(u"Porch");
    click(pid::pair);
    ASSERT_EQ(road(), (std::vector<std::uint8_t>{kStartPairing, kSetName, kSelect}));
    const auto commands = roadCommands();
    EXPECT_NE(commands[1].address, txtest::address(3));
    EXPECT_EQ(commands[2].address, commands[1].address);
    EXPECT_EQ(commands[2].name, u"Porch");
    EXPECT_EQ(listed(), (plat::StringArray{u"Office", u"Bedroom", u"Kitchen", u"Porch"}));
    EXPECT_EQ(globals().pairedDevices.devices()[2].address, txtest::address(3));
    EXPECT_EQ(databaseNames(), (plat::StringArray{u"Porch", u"Kitchen", u"Bedroom", u"Office"}));
    EXPECT_EQ(globals().pairedDevices.currentName(), u"Porch");
}

TEST_F(NamingTest, AnOrdinaryListingAfterPairingIsAnsweredWithListingDoneAgain) {
    pairOne();
    click(pid::pair);
    mark = pc->transmitterCommands(tx).size();
    replug();
    EXPECT_EQ(road(), (std::vector<std::uint8_t>{0x30, 0x01, kListingDone}));
    EXPECT_EQ(listed(), (plat::StringArray{u"Office", u"Bedroom", u"Kitchen", u"Receiver #1"}));
    EXPECT_EQ(pairingIdle(), 1);
}

// ------------------------------------------------------------------ the transmitter goes

// Whichever pairing dialog is open closes without a word, and nothing is sent through the
// link that has gone.
TEST_F(ChoosingTest, RemovalClosesEveryPairingDialogQuietly) {
    const std::vector<std::pair<const char*, std::function<void()>>> roads = {
        {"the wait", [this] { addDevice(); }},
        {"choosing", [this] { pairSeveral({receiver(), headphones()}); }},
        {"naming",
         [this] {
             addDevice();
             pairThen({receiver()}, kNewDevice);
         }},
    };
    for (const auto& [name, road] : roads) {
        SCOPED_TRACE(name);
        road();
        ASSERT_FALSE(pc->openModals().empty());
        const std::size_t opened = pc->modalHistory().size();
        pc->takeJournal();
        pc->unplugTransmitter(tx);
        ASSERT_TRUE(pc->waitIdle());
        EXPECT_TRUE(pc->openModals().empty()) << pc->screen();
        EXPECT_TRUE(boxesSince(opened).empty());
        for (const std::string& line : pc->takeJournal())
            EXPECT_EQ(line.find("write failed"), std::string::npos) << line;
        ASSERT_TRUE(pc->replugTransmitter(tx));
        ASSERT_TRUE(pc->waitIdle());
    }
}

} // namespace
