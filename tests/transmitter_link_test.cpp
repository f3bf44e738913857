// The vendor link against the virtual transmitter: commands as the transmitter receives
// them, the reader's handling of every reply, the list operations, and how the reader is
// ended before writes and on removal.
#include "DongleVendorCommunication.h"
#include "ProcessObjects.h"
#include "resource.h"
#include "shown_texts.h"
#include "transmitter_support.h"

#include <gtest/gtest.h>

namespace {

using sim::HidCollectionRole;
using txtest::address;
using txtest::inOrder;
using txtest::logged;
using txtest::takeLog;

const plat::String controllerTitle = shown::controllerTitle;
const plat::String sheetTitle = shown::settingsTitle;
const plat::String newDeviceTitle = shown::newDeviceTitle; // the pairing-wait dialog's too
const plat::String newDevicesTitle = shown::newDevicesTitle;

class LinkTest : public txtest::SimTest {
protected:
    sim::TransmitterId tx = 0;
    std::unique_ptr<DongleVendorCommunication> link;

    void SetUp() override {
        SimTest::SetUp();
        startProcessObjects();
    }
    void releaseObjects() override { link.reset(); }

    void connect(std::vector<sim::PairedDevice> database = txtest::threeDevices()) {
        sim::TransmitterConfig config;
        config.database = std::move(database);
        tx = pc->plugTransmitter(config);
        globals().transmitterPresent = 1;
        link = std::make_unique<DongleVendorCommunication>(
            plat::hid().open(pc->transmitterPath(tx, HidCollectionRole::Vendor)));
        settle();
    }
    // The reader has handled everything the transmitter sent and waits for more.
    void settle() { ASSERT_TRUE(pc->waitForTransmitterRead(tx)); }

    sim::TransmitterCommand lastCommand() { return pc->transmitterCommands(tx).back(); }

    plat::Hwnd window(const plat::String& title) {
        return pc->createForeignWindow(u"#32770", title, sim::SimPc::kProgramProcessId);
    }
    // The wParams of the WM_USER requests a window has received.
    std::vector<plat::WParam> requests(plat::Hwnd w) {
        std::vector<plat::WParam> out;
        for (const auto& m : pc->received(w))
            if (m.msg == WM_USER)
                out.push_back(m.wParam);
        return out;
    }
    int trayImage() { return pc->iconResourceId(globals().trayIconData.icon); }
    plat::StringArray list() {
        plat::StringArray names;
        link->getPairedList(names);
        return names;
    }
    void send(std::vector<std::uint8_t> bytes) {
        pc->transmitterSendRaw(tx, std::move(bytes));
        settle();
    }
    // The first listing, turned round as the controller has it done.
    void connectOrdered() {
        connect();
        link->processNewDevices();
        settle();
        ASSERT_EQ(list(), (plat::StringArray{u"Office", u"Bedroom", u"Kitchen"}));
    }
};

TEST_F(LinkTest, StartupSendsTheHandshakeAndTheReaderTakesEveryAnswer) {
    const plat::Hwnd controller = window(controllerTitle);
    connect();
    EXPECT_EQ(pc->transmitterCommandCodes(tx), (std::vector<std::uint8_t>{0x30, 0x01}));
    EXPECT_EQ(globals().firmwareVersion.get(), u"1.4.2:Jun 20 2005");
    // As received, newest first; the first entry and then the current-device report name the
    // current device, and it is linked.
    EXPECT_EQ(list(), (plat::StringArray{u"Kitchen", u"Bedroom", u"Office"}));
    EXPECT_EQ(link->getCurrentDeviceName(), u"Kitchen");
    EXPECT_EQ(trayImage(), IDI_TRAY_LINKED);
    EXPECT_EQ(requests(controller), std::vector<plat::WParam>{0}); // the listing is complete
    EXPECT_TRUE(inOrder(takeLog(), {"Flags in write = 48", "Flags in write = 1",
                                    "Terminating thread in write",
                                    "Exiting readvendorcommand thread",
                                    "Entering readvendorcommand thread",
                                    "in readvendorcommand thread", "status =  1"}));

    const plat::Hwnd sheet = window(sheetTitle);
    link->processNewDevices();
    settle();
    EXPECT_EQ(list(), (plat::StringArray{u"Office", u"Bedroom", u"Kitchen"}));
    EXPECT_EQ(pc->transmitterCommandCodes(tx).back(), 0x80);
    EXPECT_EQ(requests(sheet), std::vector<plat::WParam>{0});
}

TEST_F(LinkTest, TheOutputReportCarriesTheNameInUtf8AndKeepsTheLastAddress) {
    connect();
    const auto sent = [&](const plat::String& name, const DeviceAddress* at) {
        link->setCommand(vendor::Command::MenuOpening, name, at);
        EXPECT_EQ(link->writeCommand(), 1);
        return lastCommand().raw;
    };
    const DeviceAddress kept = address(9);
    const std::string n31(31, 'n'), n32(32, 'm');

    auto raw = sent(plat::fromAscii(n31), &kept);
    ASSERT_EQ(raw.size(), 138u);
    EXPECT_EQ(raw[0], 2);
    EXPECT_EQ(raw[1], 0x40);
    EXPECT_EQ(std::string(raw.begin() + 2, raw.begin() + 33), n31);
    EXPECT_EQ(raw[33], 0); // its terminating NUL
    EXPECT_TRUE(std::equal(kept.begin(), kept.end(), raw.begin() + 130));
    EXPECT_EQ(raw[136], 0);
    EXPECT_EQ(raw[137], 0);

    raw = sent(plat::fromAscii(n32), nullptr);
    EXPECT_EQ(std::string(raw.begin() + 2, raw.begin() + 34), n32);
    EXPECT_TRUE(std::all_of(raw.begin() + 34, raw.begin() + 130, [](auto b) { return b == 0; }));
    EXPECT_TRUE(std::equal(kept.begin(), kept.end(), raw.begin() + 130)); // kept

    raw = sent(plat::fromAscii(n32 + "beyond"), nullptr);
    EXPECT_EQ(lastCommand().name, plat::fromAscii(n32));

    raw = sent(u"K\u00FCche \u20AC", nullptr);
    const std::string utf8 = "K\xC3\xBC" "che \xE2\x82\xAC";
    EXPECT_EQ(std::string(raw.begin() + 2, raw.begin() + 2 + utf8.size()), utf8);
    EXPECT_EQ(raw[2 + utf8.size()], 0);

    link->sendMenuOpening(); // no name: the field is cleared
    EXPECT_EQ(lastCommand().name, u"");
    EXPECT_EQ(lastCommand().address, kept);
}

TEST_F(LinkTest, ACommandWhileTheReaderWaitsCompletesAtOnceAndANewReaderTakesTheAnswer) {
    connectOrdered();
    const plat::Handle before = link->readerThread();
    ASSERT_TRUE(pc->transmitterReadPending(tx));
    const std::uint64_t start = pc->nowMs();
    takeLog();

    EXPECT_EQ(link->selectPairedDevice(u"Office"), 1);
    EXPECT_EQ(pc->nowMs(), start); // no time passed waiting for the reader
    EXPECT_EQ(lastCommand().code, 0x02);
    EXPECT_EQ(lastCommand().name, u"Office");
    EXPECT_EQ(lastCommand().address, address(1));
    EXPECT_NE(link->readerThread(), 0u);
    EXPECT_NE(link->readerThread(), before);

    settle(); // the transmitter's CurrentDevice answer reached the new reader
    EXPECT_EQ(pc->transmitterCurrentDevice(tx)->name, u"Office");
    EXPECT_EQ(link->getCurrentDeviceName(), u"Office");
    EXPECT_EQ(pc->transmitterQueuedReports(tx), 0u);
    EXPECT_TRUE(inOrder(takeLog(), {"Flags in write = 2", "Terminating thread in write",
                                    "Exiting readvendorcommand thread",
                                    "Entering readvendorcommand thread", "status =  1"}));
}

TEST_F(LinkTest, LinkStateRepliesMoveTheTrayIconAndNotifyTheSettings) {
    connect();
    const plat::Hwnd sheet = window(sheetTitle);
    ASSERT_EQ(trayImage(), IDI_TRAY_LINKED);

    pc->transmitterEvent(tx, sim::TransmitterEvent::LinkLost);
    settle();
    EXPECT_EQ(trayImage(), IDI_TRAY_NOTLINKED);
    pc->transmitterEvent(tx, sim::TransmitterEvent::LinkRegained);
    settle();
    EXPECT_EQ(trayImage(), IDI_TRAY_LINKED);
    EXPECT_EQ(requests(sheet), std::vector<plat::WParam>{0});

    // A CurrentDevice report of 137 bytes leaves the link state byte at 0xFF: not linked.
    auto shortReport = sim::vendorReport(0x02, 0, u"Bedroom", address(2), 0);
    shortReport.resize(137);
    send(shortReport);
    EXPECT_EQ(trayImage(), IDI_TRAY_NOTLINKED);
    EXPECT_EQ(link->getCurrentDeviceName(), u"Bedroom");

    // 0x40 wins over 0x02: handled as a pairing failure only (no dialog: nothing at all).
    send(sim::vendorReport(0x40 | 0x02, 0, u"Office", address(1), 0));
    EXPECT_EQ(link->getCurrentDeviceName(), u"Bedroom");
    EXPECT_EQ(globals().pairedDevices.pairingFailed, 0);
    EXPECT_EQ(trayImage(), IDI_TRAY_NOTLINKED);
}

TEST_F(LinkTest, PairingAndListRepliesReachTheWindowsConcerned) {
    connect();
    const plat::Hwnd controller = window(controllerTitle);
    pc->transmitterEvent(tx, sim::TransmitterEvent::PairingButton);
    settle();
    EXPECT_EQ(requests(controller), (std::vector<plat::WParam>{1, 2})); // open sheet, then wait

    const plat::Hwnd sheet = window(sheetTitle);
    pc->transmitterEvent(tx, sim::TransmitterEvent::PairingButton);
    settle();
    EXPECT_EQ(requests(controller), (std::vector<plat::WParam>{1, 2, 2}));

    const plat::Hwnd wait = window(newDeviceTitle);
    pc->transmitterEvent(tx, sim::TransmitterEvent::PairingButton);
    settle();
    // A pairing dialog is open: no settings and no wait are asked for; the user interface
    // is told, and tells the wait from the naming dialog.
    EXPECT_EQ(requests(controller), (std::vector<plat::WParam>{1, 2, 2, 3}));

    pc->transmitterEvent(tx, sim::TransmitterEvent::ListCleared);
    settle();
    EXPECT_TRUE(list().empty());
    EXPECT_EQ(link->getCurrentDeviceName(), u"");
    EXPECT_EQ(requests(sheet), std::vector<plat::WParam>{0});
    EXPECT_EQ(requests(wait), std::vector<plat::WParam>{0});

    pc->destroyWindow(wait);
    const plat::Hwnd choosing = window(newDevicesTitle);
    pc->transmitterEvent(tx, sim::TransmitterEvent::PairingFailed);
    settle();
    EXPECT_EQ(globals().pairedDevices.pairingFailed, 1);
    EXPECT_EQ(requests(choosing), std::vector<plat::WParam>{0});

    // The choosing dialog, with a title of its own, counts as a pairing dialog too.
    pc->transmitterEvent(tx, sim::TransmitterEvent::PairingButton);
    settle();
    EXPECT_EQ(requests(controller), (std::vector<plat::WParam>{1, 2, 2, 3, 3}));
}

TEST_F(LinkTest, AReportWithAnotherIdIsDroppedAndTheReaderRetriesAfterTwoSeconds) {
    connect();
    takeLog();
    auto other = sim::vendorReport(0x02, 0, u"Office", address(1), 0);
    other[0] = 3;
    pc->transmitterSendRaw(tx, other);
    ASSERT_TRUE(pc->waitIdle());
    pc->transmitterSendRaw(tx, sim::vendorReport(0x02, 0, u"Office", address(1), 0));
    ASSERT_TRUE(pc->waitIdle());
    const auto lines = takeLog();
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "status =  0"), 1);
    EXPECT_EQ(pc->transmitterQueuedReports(tx), 1u); // the reader pauses
    pc->advance(1999);
    EXPECT_EQ(pc->transmitterQueuedReports(tx), 1u);
    pc->advance(1);
    settle();
    EXPECT_EQ(link->getCurrentDeviceName(), u"Office");
}

TEST_F(LinkTest, ListingsAddOnlyTheNewEntriesAndAnEmptyOneAddsNothing) {
    connectOrdered();
    const plat::Hwnd controller = window(controllerTitle);
    const plat::Hwnd wait = window(newDeviceTitle);
    const std::pair<const char16_t*, std::uint8_t> four[] = {
        {u"Den", 4}, {u"Kitchen", 3}, {u"Bedroom", 2}, {u"Office", 1}};
    std::int8_t after = 3;
    for (const auto& [name, last] : four)
        pc->transmitterSendRaw(tx, sim::vendorReport(0, after--, name, address(last), 0));
    settle();
    EXPECT_EQ(list(), (plat::StringArray{u"Office", u"Bedroom", u"Kitchen", u"Den"}));
    EXPECT_EQ(requests(controller), std::vector<plat::WParam>{0});
    EXPECT_EQ(requests(wait).size(), 4u); // every entry ends a pairing wait

    send(sim::vendorReport(0, -1, u"", {}, 0)); // empty: nothing added, but it is over
    EXPECT_EQ(list().size(), 4u);
    EXPECT_EQ(globals().pairedDevices.listingRemaining(), -1);
    EXPECT_EQ(requests(controller), (std::vector<plat::WParam>{0, 0}));
    send(sim::vendorReport(0, 4, u"Hall", address(5), 0)); // the next one counts normally
    EXPECT_EQ(list().back(), u"Hall");
    EXPECT_EQ(globals().pairedDevices.listingRemaining(), 4);
}

TEST_F(LinkTest, SelectRenameAndDeleteReachTheTransmitterAndTheList) {
    connectOrdered();
    EXPECT_EQ(link->renamePairedDevice(u"Bedroom", u"Guest room"), 1);
    EXPECT_EQ(lastCommand().code, 0x08);
    EXPECT_EQ(lastCommand().name, u"Guest room");
    EXPECT_EQ(lastCommand().address, address(2));
    EXPECT_EQ(list(), (plat::StringArray{u"Office", u"Guest room", u"Kitchen"}));
    EXPECT_EQ(pc->transmitterDatabase(tx)[1].name, u"Guest room");

    // The current device goes: the last device of the list takes over.
    ASSERT_EQ(link->getCurrentDeviceName(), u"Kitchen");
    const std::uint64_t start = pc->nowMs();
    EXPECT_EQ(link->deletePairedDevice(u"Kitchen"), 1);
    EXPECT_GE(pc->nowMs() - start, 500u);
    EXPECT_EQ(lastCommand().code, 0x20);
    EXPECT_EQ(lastCommand().address, address(3));
    EXPECT_EQ(link->getCurrentDeviceName(), u"Guest room");
    EXPECT_TRUE(inOrder(takeLog(), {"DongleVendorCommunication::deletePairedDevice -- Method Entry.",
                                    "Flags = 32", "Flags in write = 32", "Flags = 32",
                                    "DongleVendorCommunication::deletePairedDevice -- Method Exit."}));

    EXPECT_EQ(link->getDatabaseDump(), u"Total Entries in database = 2"
                                       u"\n1 - Office - 00-0B-7A-01-00-01"
                                       u"\n2 - Guest room - 00-0B-7A-01-00-02");

    EXPECT_EQ(link->deletePairedDevice(u"Office"), 1);
    EXPECT_EQ(link->deletePairedDevice(u"Guest room"), 1);
    settle();
    EXPECT_TRUE(list().empty());
    EXPECT_EQ(link->getCurrentDeviceName(), u"");
    EXPECT_TRUE(pc->transmitterDatabase(tx).empty());
    EXPECT_EQ(link->getDatabaseDump(), u"Total Entries in database = 0");
}

TEST_F(LinkTest, OfTwoDevicesOfOneNameTheLastInTheListIsAddressed) {
    connect({{u"Den", address(3)}, {u"Den", address(2)}, {u"Office", address(1)}});
    link->processNewDevices();
    settle();
    ASSERT_EQ(list(), (plat::StringArray{u"Office", u"Den", u"Den"}));
    EXPECT_EQ(link->selectPairedDevice(u"Den"), 1);
    // Bytes 130-135 of the report the transmitter received: the later "Den" of the list.
    const std::vector<std::uint8_t> raw = lastCommand().raw;
    ASSERT_GE(raw.size(), 136u);
    EXPECT_EQ(raw[1], 0x02);
    EXPECT_EQ(std::vector<std::uint8_t>(raw.begin() + 130, raw.begin() + 136),
              (std::vector<std::uint8_t>{0x00, 0x0B, 0x7A, 0x01, 0x00, 0x03}));
}

TEST_F(LinkTest, FailedWritesLeaveTheListAsItWas) {
    connectOrdered();
    pc->unplugTransmitter(tx);
    EXPECT_EQ(link->selectPairedDevice(u"Office"), 0);
    EXPECT_EQ(link->renamePairedDevice(u"Office", u"Study"), 0);
    EXPECT_EQ(link->deletePairedDevice(u"Kitchen"), 0);
    EXPECT_EQ(list(), (plat::StringArray{u"Office", u"Bedroom", u"Kitchen"}));
    // The current device was the one to delete: the rule for it applies all the same.
    EXPECT_EQ(link->getCurrentDeviceName(), u"Kitchen");
    EXPECT_NE(link->readerThread(), 0u); // a fresh reader after each write, as always
}

TEST_F(LinkTest, RemovalWhileAReadIsPendingEndsTheReaderWithoutLeaks) {
    connect();
    ASSERT_TRUE(pc->transmitterReadPending(tx));
    pc->unplugTransmitter(tx);
    ASSERT_TRUE(pc->waitIdle()); // the read failed; the reader pauses before trying again
    const std::uint64_t start = pc->nowMs();

    // What the controller does on removal.
    link->stopReader();
    globals().transmitterPresent = 0;
    link->releaseReaderThread();
    EXPECT_EQ(link->readerThread(), 0u);
    EXPECT_LT(pc->nowMs() - start, 2000u); // the pause was cut short
    EXPECT_EQ(logged(u"Exiting readvendorcommand thread"), 2u);

    link.reset();
    EXPECT_EQ(pc->transmitterOpenHandles(tx), 0u);
}

TEST_F(LinkTest, StoppingAReaderOnAPresentDeviceCancelsItsRead) {
    connect();
    link->stopReader();
    link->releaseReaderThread();
    EXPECT_FALSE(pc->transmitterReadPending(tx));
    EXPECT_EQ(link->readerThread(), 0u);
    // A later command starts a reader again (it leaves at once without the transmitter flag).
    globals().transmitterPresent = 0;
    link->sendHostExit();
    EXPECT_EQ(pc->transmitterCommandCodes(tx).back(), 0x0C);
    link.reset();
    EXPECT_EQ(pc->transmitterOpenHandles(tx), 0u);
}

TEST_F(LinkTest, NameRulesExplainRefusalsAndRenameOtherwise) {
    connectOrdered();
    globals().vendorLink = link.get();
    const auto refused = [&](const plat::String& entered, const plat::String& caption,
                             const plat::String& text) {
        pc->answerMessageBox(caption, text, shown::ok);
        EXPECT_EQ(applyDeviceNameRules(0, entered, u"Office"), 0);
        const auto shown = pc->modalHistory();
        ASSERT_FALSE(shown.empty());
        EXPECT_EQ(shown.back().style, 0x2040u);
        EXPECT_EQ(shown.back().caption, caption);
    };
    refused(u"   ", shown::cannotRename, shown::nameEmptyText);
    refused(plat::String(33, u'x'), shown::nameTooLongCaption,
            u"The name you have chosen is too long.\nYou must choose a name that is less than "
            u"32 characters.");
    refused(u" Kitchen", shown::cannotRename,
            u"There is already a Receiver named Kitchen. Please choose a different name.");

    const std::size_t commands = pc->transmitterCommands(tx).size();
    EXPECT_EQ(applyDeviceNameRules(0, u"Office ", u"Office"), 1);
    EXPECT_EQ(pc->transmitterCommands(tx).size(), commands); // unchanged: nothing sent
    plat::String accepted;
    EXPECT_EQ(applyDeviceNameRules(0, u" kitchen\t", u"Office", &accepted), 1); // case differs
    EXPECT_EQ(accepted, u"kitchen");
    EXPECT_EQ(lastCommand().code, 0x08);
    EXPECT_EQ(lastCommand().name, u"kitchen");
    EXPECT_EQ(applyDeviceNameRules(0, plat::String(32, u'y'), u"kitchen"), 1); // 32 is fine
    EXPECT_EQ(list().front(), plat::String(32, u'y'));
    globals().vendorLink = nullptr;
}

} // namespace
