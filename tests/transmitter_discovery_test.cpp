// Finding and opening the transmitter's interfaces among the HID devices of the simulated PC.
#include "DongleVerification.h"
#include "transmitter_support.h"

#include <gtest/gtest.h>

namespace {

using sim::HidCollectionRole;
using txtest::logged;

class DiscoveryTest : public txtest::SimTest {
protected:
    std::unique_ptr<DongleVerification> finder;
    std::vector<plat::Handle> taken;

    void SetUp() override {
        SimTest::SetUp();
        finder = std::make_unique<DongleVerification>();
    }
    void releaseObjects() override {
        for (plat::Handle h : taken)
            plat::hid().close(h);
        finder.reset();
    }

    // What the controller does with a 1: takes both handles for the link and the forwarder.
    std::pair<plat::Handle, plat::Handle> take() {
        const plat::Handle vendor = finder->getVendorHandle();
        const plat::Handle consumer = finder->getConsumerHandle();
        taken.push_back(vendor);
        taken.push_back(consumer);
        return {vendor, consumer};
    }

    std::size_t open(sim::TransmitterId id, HidCollectionRole role = HidCollectionRole::Vendor) {
        return pc->transmitterOpenHandles(id, role);
    }
};

TEST_F(DiscoveryTest, WithoutTransmitterNothingIsFoundAndEveryPathIsLogged) {
    sim::HidDeviceConfig mouse;
    mouse.path = u"\\\\?\\HID#Vid_046d&Pid_c52b&MI_00#8&3c4d5e6f&0&0000#{hid}";
    pc->plugHidDevice(mouse);
    sim::HidDeviceConfig locked;
    locked.path = u"\\\\?\\HID#Vid_045e&Pid_0750&MI_00#8&11111111&0&0000#{hid}";
    locked.openable = false;
    pc->plugHidDevice(locked);

    EXPECT_EQ(finder->findDongle(), 0);
    EXPECT_TRUE(finder->knownVendorPaths().empty());
    EXPECT_TRUE(finder->knownConsumerPaths().empty());
    EXPECT_EQ(finder->getVendorHandle(), 0u);
    // Opened or not, each path is logged at Log level with a line feed, as enumeration
    // spells it (in lower case).
    EXPECT_EQ(logged(u"  LOG  :\\\\?\\hid#vid_046d&pid_c52b&mi_00#8&3c4d5e6f&0&0000#{hid}\n"), 1u);
    EXPECT_EQ(logged(u"  LOG  :\\\\?\\hid#vid_045e&pid_0750&mi_00#8&11111111&0&0000#{hid}\n"), 1u);
}

TEST_F(DiscoveryTest, OnlyTheTransmittersVendorAndProductIdsCount) {
    // Another product of the same maker, and the same product number from another maker, both
    // with a vendor and a consumer collection: neither is the transmitter.
    for (const auto& [vendorId, productId] : {std::pair{0x0B7A, 0x0101}, {0x0B7B, 0x0100}})
        for (const std::uint16_t usagePage : {0xFF00, 0x000C}) {
            sim::HidDeviceConfig other;
            other.vendorId = static_cast<std::uint16_t>(vendorId);
            other.productId = static_cast<std::uint16_t>(productId);
            other.usagePage = usagePage;
            other.inputLength = 138;
            other.outputLength = 138;
            pc->plugHidDevice(other);
        }
    EXPECT_EQ(finder->findDongle(), 0);
    EXPECT_TRUE(finder->knownVendorPaths().empty());
    EXPECT_TRUE(finder->knownConsumerPaths().empty());
    EXPECT_EQ(finder->getVendorHandle(), 0u);
}

TEST_F(DiscoveryTest, OneTransmitterIsOpenedOnceAndKeptWhileItStays) {
    sim::TransmitterConfig config;
    config.extraUsagePage = 0x0001; // a third collection to ignore
    const auto tx = pc->plugTransmitter(config);

    EXPECT_EQ(finder->findDongle(), 1);
    EXPECT_EQ(finder->currentInstance(), u"1a2b3c4d");
    EXPECT_EQ(finder->knownVendorPaths(),
              plat::StringArray{pc->transmitterPath(tx, HidCollectionRole::Vendor)});
    EXPECT_EQ(finder->knownConsumerPaths(),
              plat::StringArray{pc->transmitterPath(tx, HidCollectionRole::Consumer)});
    // The probes of the enumeration are closed; one handle stays open per collection.
    EXPECT_EQ(open(tx), 1u);
    EXPECT_EQ(open(tx, HidCollectionRole::Consumer), 1u);
    EXPECT_EQ(open(tx, HidCollectionRole::Extra), 0u);
    const auto [vendor, consumer] = take();
    EXPECT_NE(vendor, 0u);
    EXPECT_NE(consumer, 0u);

    EXPECT_EQ(finder->findDongle(), 1); // nothing changed: nothing reopened
    EXPECT_EQ(open(tx), 1u);
}

TEST_F(DiscoveryTest, UnplugLosesTheTransmitterAndReplugOpensItAnew) {
    const auto tx = pc->plugTransmitter();
    ASSERT_EQ(finder->findDongle(), 1);
    const auto first = take();

    pc->unplugTransmitter(tx);
    EXPECT_EQ(finder->findDongle(), 0);
    EXPECT_EQ(finder->currentInstance(), u"");
    EXPECT_TRUE(finder->knownVendorPaths().empty());
    // The handles given out before are no longer offered.
    EXPECT_EQ(finder->getVendorHandle(), 0u);
    EXPECT_EQ(finder->findDongle(), 0);

    ASSERT_TRUE(pc->replugTransmitter(tx));
    EXPECT_EQ(finder->findDongle(), 1);
    const auto second = take();
    EXPECT_NE(second.first, 0u);
    EXPECT_NE(second.first, first.first);
    EXPECT_NE(second.second, first.second);
}

TEST_F(DiscoveryTest, TwoTransmittersAtStartAreRecordedInOrderAndTheFirstIsOpened) {
    const auto a = pc->plugTransmitter();
    const auto b = pc->plugTransmitter();
    EXPECT_EQ(finder->findDongle(), 1);
    EXPECT_EQ(finder->knownVendorPaths(),
              (plat::StringArray{pc->transmitterPath(a, HidCollectionRole::Vendor),
                                 pc->transmitterPath(b, HidCollectionRole::Vendor)}));
    EXPECT_EQ(open(a), 1u);
    EXPECT_EQ(open(b), 0u);
    take();

    // The other one leaving changes nothing; the current one leaving is reported, and the
    // next look opens the one that is left.
    pc->unplugTransmitter(b);
    EXPECT_EQ(finder->findDongle(), 1);
    ASSERT_TRUE(pc->replugTransmitter(b));
    EXPECT_EQ(finder->findDongle(), 0); // a new one is recorded first: the controller looks again
    EXPECT_EQ(finder->findDongle(), 1);
    EXPECT_EQ(open(b), 1u);
    const auto fresh = take();
    EXPECT_NE(fresh.first, 0u);
    pc->unplugTransmitter(b);
    EXPECT_EQ(finder->findDongle(), 0);
    EXPECT_EQ(finder->findDongle(), 1);
    EXPECT_EQ(open(a), 2u); // the first handle (taken, never closed here) and the new one
}

TEST_F(DiscoveryTest, InstanceIdsComeFromTheCollectionPartOrTheWholePath) {
    EXPECT_EQ(DongleVerification::getInstanceId(
                  u"\\\\?\\HID#Vid_0b7a&Pid_0100&MI_03&col02#7&1a2b3c4d&0&0001#{x}"),
              u"1a2b3c4d");
    EXPECT_EQ(DongleVerification::getInstanceId(u"\\\\?\\HID#Vid_0b7a&Pid_0100&MI_03#7&ab&0#{x}"),
              u"Pid_0100");
    EXPECT_EQ(DongleVerification::getInstanceId(u"col01#7&only"), u"");
    // The collection part in any letter case: not the id of the whole path.
    EXPECT_EQ(DongleVerification::getInstanceId(
                  u"\\\\?\\HID#VID_0B7A&PID_0100&MI_03&COL02#7&1A2B3C4D&0&0001#{x}"),
              u"1A2B3C4D");
    EXPECT_EQ(DongleVerification::getPathDifference({u"a", u"b", u"c"}, {u"a", u"c"}), u"b");
    EXPECT_EQ(DongleVerification::getPathDifference({u"a"}, {u"b", u"a"}), u"b");
    EXPECT_EQ(DongleVerification::getPathDifference({u"a"}, {u"b"}), u"");
    // A path spelled in other letters is the same path.
    EXPECT_EQ(DongleVerification::getPathDifference({u"HID#A", u"hid#b"}, {u"hid#a"}), u"hid#b");
    EXPECT_EQ(DongleVerification::getPathDifference({u"hid#a"}, {u"HID#B", u"HID#A"}), u"HID#B");

    // A transmitter whose paths carry no "col" is still found and paired up.
    sim::TransmitterConfig config;
    config.vendorPath = u"\\\\?\\HID#Vid_0b7a&Pid_0100&MI_03#7&aa&0&0000#{x}";
    config.consumerPath = u"\\\\?\\HID#Vid_0b7a&Pid_0100&MI_04#7&aa&0&0001#{x}";
    const auto tx = pc->plugTransmitter(config);
    EXPECT_EQ(finder->findDongle(), 1);
    EXPECT_EQ(finder->currentInstance(), u"pid_0100");
    EXPECT_EQ(open(tx, HidCollectionRole::Consumer), 1u);
}

TEST_F(DiscoveryTest, AVendorCollectionWithoutItsConsumerCollectionIsServedAndMissed) {
    sim::TransmitterConfig bare;
    bare.consumerCollection = false;
    const auto a = pc->plugTransmitter(bare);
    const auto b = pc->plugTransmitter();
    EXPECT_EQ(finder->findDongle(), 1);
    // The first transmitter's vendor collection, and no consumer collection of another one.
    EXPECT_EQ(open(a), 1u);
    EXPECT_EQ(open(b, HidCollectionRole::Consumer), 0u);
    const auto [vendor, consumer] = take();
    EXPECT_NE(vendor, 0u);
    EXPECT_EQ(consumer, 0u);

    pc->unplugTransmitter(a); // noticed through its vendor collection alone
    EXPECT_EQ(finder->findDongle(), 0);
    EXPECT_EQ(finder->findDongle(), 1);
    EXPECT_EQ(open(b), 1u);
    EXPECT_EQ(open(b, HidCollectionRole::Consumer), 1u);
}

TEST_F(DiscoveryTest, InterfacesThatWillNotOpenAreSkipped) {
    sim::TransmitterConfig vendorHeld; // another program holds the vendor collection
    vendorHeld.vendorOpenable = false;
    const auto a = pc->plugTransmitter(vendorHeld);
    EXPECT_EQ(finder->findDongle(), 0);
    EXPECT_EQ(finder->getVendorHandle(), 0u);
    pc->unplugTransmitter(a);

    sim::TransmitterConfig consumerHeld;
    consumerHeld.consumerOpenable = false;
    const auto b = pc->plugTransmitter(consumerHeld);
    EXPECT_EQ(finder->findDongle(), 1);
    const auto [vendor, consumer] = take();
    EXPECT_NE(vendor, 0u);
    EXPECT_EQ(consumer, 0u);
    EXPECT_EQ(open(b), 1u);
}

TEST_F(DiscoveryTest, HandlesNeverTakenAreClosed) {
    const auto tx = pc->plugTransmitter();
    ASSERT_EQ(finder->findDongle(), 1);
    EXPECT_EQ(open(tx), 1u);
    finder.reset();
    EXPECT_EQ(open(tx), 0u);
    EXPECT_EQ(open(tx, HidCollectionRole::Consumer), 0u);
}

} // namespace
