// The whole program with the virtual transmitter: the controller finds it, makes the link,
// and follows it through removal and return.
#include "DongleVendorCommunication.h"
#include "QuorvaneAuravoSystemTrayApplication.h"
#include "resource.h"
#include "shown_texts.h"
#include "transmitter_support.h"

#include <gtest/gtest.h>

namespace {

using sim::HidCollectionRole;

const plat::StringArray oldestFirst{u"Office", u"Bedroom", u"Kitchen"};

class ProgramWithTransmitterTest : public txtest::SimTest {
protected:
    sim::TransmitterId tx = 0;

    void plug() {
        sim::TransmitterConfig config;
        config.database = txtest::threeDevices();
        tx = pc->plugTransmitter(config);
    }
    void start() {
        pc->startProgram([] { return runProgram(); });
        ASSERT_TRUE(pc->waitIdle());
    }
    void settle() { ASSERT_TRUE(pc->waitForTransmitterRead(tx)); }

    plat::StringArray pairedList() {
        plat::StringArray names;
        if (DongleVendorCommunication* link = currentVendorLink())
            link->getPairedList(names);
        return names;
    }
    std::vector<std::uint8_t> codesSince(std::size_t from) {
        const auto all = pc->transmitterCommandCodes(tx);
        return {all.begin() + static_cast<std::ptrdiff_t>(std::min(from, all.size())), all.end()};
    }
};

TEST_F(ProgramWithTransmitterTest, StartingWithATransmitterLinksItAndListsItsDevicesOldestFirst) {
    plug();
    start();
    settle();
    ASSERT_NE(currentVendorLink(), nullptr);
    EXPECT_EQ(globals().transmitterPresent, 1);
    // The handshake, then ListingDone once the controller has handled the first listing.
    EXPECT_EQ(pc->transmitterCommandCodes(tx), (std::vector<std::uint8_t>{0x30, 0x01, 0x80}));
    EXPECT_EQ(pairedList(), oldestFirst);
    EXPECT_EQ(currentVendorLink()->getCurrentDeviceName(), u"Kitchen");
    EXPECT_EQ(globals().firmwareVersion.get(), u"1.4.2:Jun 20 2005");
    const auto icons = pc->trayIcons();
    ASSERT_EQ(icons.size(), 1u);
    EXPECT_EQ(icons[0].iconResourceId, IDI_TRAY_LINKED);

    pc->transmitterEvent(tx, sim::TransmitterEvent::LinkLost);
    settle();
    EXPECT_EQ(pc->trayIcons()[0].iconResourceId, IDI_TRAY_NOTLINKED);

    const plat::Hwnd controller = pc->findWindowByTitle(shown::controllerTitle);
    ASSERT_TRUE(pc->post(controller, WM_CLOSE));
    ASSERT_TRUE(pc->waitForExit().has_value());
    EXPECT_EQ(pc->transmitterCommandCodes(tx).back(), 0x0C); // HostExit
}

TEST_F(ProgramWithTransmitterTest, UnplugEndsTheReaderAndReplugMakesANewLink) {
    plug();
    start();
    settle();
    DongleVendorCommunication* first = currentVendorLink();
    ASSERT_NE(first, nullptr);

    pc->unplugTransmitter(tx);
    ASSERT_TRUE(pc->waitIdle());
    EXPECT_EQ(globals().transmitterPresent, 0);
    EXPECT_EQ(currentVendorLink(), first); // kept until the transmitter returns
    EXPECT_EQ(first->readerThread(), 0u);
    EXPECT_FALSE(pc->transmitterReadPending(tx));
    EXPECT_TRUE(pc->trayIcons().empty());
    EXPECT_EQ(txtest::logged(u"  LOG  :Terminating thread in Device change"), 1u);

    const std::size_t before = pc->transmitterCommands(tx).size();
    ASSERT_TRUE(pc->replugTransmitter(tx));
    ASSERT_TRUE(pc->waitIdle());
    settle();
    EXPECT_EQ(globals().transmitterPresent, 1);
    ASSERT_NE(currentVendorLink(), nullptr);
    EXPECT_EQ(codesSince(before), (std::vector<std::uint8_t>{0x30, 0x01, 0x80}));
    EXPECT_EQ(pairedList(), oldestFirst);
    // The old link closed its handle when it was replaced; the new one holds one.
    EXPECT_EQ(pc->transmitterOpenHandles(tx), 1u);
    ASSERT_EQ(pc->trayIcons().size(), 1u);
}

TEST_F(ProgramWithTransmitterTest, ATransmitterIsLinkedOnItsSecondNoticeAndUnlinkedOnTheSecondAgain) {
    start();
    EXPECT_EQ(currentVendorLink(), nullptr);
    sim::TransmitterConfig config;
    config.database = txtest::threeDevices();
    tx = pc->plugTransmitter(config, sim::InterfaceNotices::VendorOnly);
    ASSERT_TRUE(pc->waitIdle());
    // One of its two collections announced: nothing yet.
    EXPECT_EQ(currentVendorLink(), nullptr);
    EXPECT_EQ(globals().transmitterPresent, 0);
    EXPECT_TRUE(pc->trayIcons().empty());
    EXPECT_TRUE(pc->transmitterCommands(tx).empty());

    pc->transmitterNotify(tx, HidCollectionRole::Consumer);
    ASSERT_TRUE(pc->waitIdle());
    settle();
    ASSERT_NE(currentVendorLink(), nullptr);
    EXPECT_EQ(pairedList(), oldestFirst);
    EXPECT_EQ(pc->transmitterCommandCodes(tx), (std::vector<std::uint8_t>{0x30, 0x01, 0x80}));
    EXPECT_EQ(pc->trayIcons().size(), 1u);

    // Pulled out: the first removal notice changes nothing, the second ends the link.
    pc->unplugTransmitter(tx, sim::InterfaceNotices::ConsumerOnly);
    ASSERT_TRUE(pc->waitIdle());
    EXPECT_EQ(globals().transmitterPresent, 1);
    EXPECT_EQ(pc->trayIcons().size(), 1u);
    pc->transmitterNotify(tx, HidCollectionRole::Vendor);
    ASSERT_TRUE(pc->waitIdle());
    EXPECT_EQ(globals().transmitterPresent, 0);
    EXPECT_TRUE(pc->trayIcons().empty());
}

// Firmware that puts another count byte into a listing's later entries: the program takes
// the number of entries from the first entry alone.
class LaterCountByteTest : public ProgramWithTransmitterTest,
                           public ::testing::WithParamInterface<std::int8_t> {};

TEST_P(LaterCountByteTest, OnlyTheFirstEntryCountsTheListing) {
    sim::TransmitterConfig config;
    config.database = txtest::threeDevices();
    config.laterCountByte = GetParam();
    tx = pc->plugTransmitter(config);
    start();
    settle();
    EXPECT_EQ(pairedList(), oldestFirst);
    EXPECT_EQ(currentVendorLink()->getCurrentDeviceName(), u"Kitchen");
    // The listing ended after its third entry: ListingDone went out once.
    EXPECT_EQ(pc->transmitterCommandCodes(tx), (std::vector<std::uint8_t>{0x30, 0x01, 0x80}));

    // The next listing (after the transmitter came back) is counted afresh.
    pc->unplugTransmitter(tx);
    ASSERT_TRUE(pc->waitIdle());
    ASSERT_TRUE(pc->replugTransmitter(tx));
    ASSERT_TRUE(pc->waitIdle());
    settle();
    EXPECT_EQ(pairedList(), oldestFirst);
    EXPECT_EQ(pc->transmitterCommandCodes(tx),
              (std::vector<std::uint8_t>{0x30, 0x01, 0x80, 0x30, 0x01, 0x80}));
}

// The first entry's own byte again, nothing, many, and the bytes of an empty listing.
INSTANTIATE_TEST_SUITE_P(Bytes, LaterCountByteTest,
                         ::testing::Values(std::int8_t{2}, std::int8_t{0}, std::int8_t{127},
                                           std::int8_t{-1}, std::int8_t{-128}));

// A transmitter that announces one interface only: linked one second after its notification.
TEST_F(ProgramWithTransmitterTest, ALoneInterfaceNotificationIsFollowedUpAfterOneSecond) {
    start();
    sim::TransmitterConfig config;
    config.database = txtest::threeDevices();
    config.consumerCollection = false;
    tx = pc->plugTransmitter(config);
    ASSERT_TRUE(pc->waitIdle());
    EXPECT_EQ(currentVendorLink(), nullptr);
    pc->advance(1000);
    settle();
    ASSERT_NE(currentVendorLink(), nullptr);
    EXPECT_EQ(globals().transmitterPresent, 1);
    EXPECT_EQ(pairedList(), oldestFirst);
}

// Older Windows spelled the interface paths in mixed case, in notifications and enumeration
// alike: the program follows the transmitter there just the same.
TEST_F(ProgramWithTransmitterTest, OnOlderWindowsTheMixedCaseSpellingIsFollowedAsWell) {
    pc->setDevicePathSpelling(sim::DevicePathSpelling::Legacy);
    start();
    plug();
    ASSERT_TRUE(pc->waitIdle());
    settle();
    ASSERT_NE(currentVendorLink(), nullptr);
    EXPECT_TRUE(pc->transmitterPath(tx, HidCollectionRole::Vendor).starts_with(
        u"\\\\?\\HID#Vid_0b7a&Pid_0100&"));

    pc->unplugTransmitter(tx);
    ASSERT_TRUE(pc->waitIdle());
    EXPECT_EQ(globals().transmitterPresent, 0);
    ASSERT_TRUE(pc->replugTransmitter(tx));
    ASSERT_TRUE(pc->waitIdle());
    settle();
    EXPECT_EQ(globals().transmitterPresent, 1);
    EXPECT_EQ(pairedList(), oldestFirst);
}

} // namespace
