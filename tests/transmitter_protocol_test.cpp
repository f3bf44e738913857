// The vendor protocol's decoding and the paired-device list's rules, without a platform.
#include "PairedDevices.h"
#include "VendorProtocol.h"
#include "text.h"

#include <gtest/gtest.h>

#include <array>
#include <string>

namespace {

using Report = std::array<std::uint8_t, vendor::kReportSize>;

Report report(std::uint8_t flags, std::uint8_t count, const std::string& nameBytes,
              std::uint8_t linkState = 0) {
    Report r{};
    r[0] = 2;
    r[1] = flags;
    r[2] = count;
    std::copy(nameBytes.begin(), nameBytes.begin() + std::min<std::size_t>(nameBytes.size(), 128),
              r.begin() + 3);
    for (std::size_t i = 0; i < 6; ++i)
        r[131 + i] = static_cast<std::uint8_t>(0xA0 + i);
    r[137] = linkState;
    return r;
}

vendor::DecodedReport decode(const Report& r) {
    return vendor::decodeReport(r);
}

const DeviceAddress addr1{1, 1, 1, 1, 1, 1}, addr2{2, 2, 2, 2, 2, 2}, addr3{3, 3, 3, 3, 3, 3},
    addr4{4, 4, 4, 4, 4, 4};

TEST(VendorDecoding, ReadsEveryFieldOfTheInputLayout) {
    const auto r = decode(report(0x02, 2, std::string("Kitchen\0garbage", 15), 0xFF));
    EXPECT_EQ(r.flags, 0x02);
    EXPECT_EQ(r.count, 3);
    EXPECT_EQ(r.name, u"Kitchen");
    EXPECT_EQ(r.address, (DeviceAddress{0xA0, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5}));
    EXPECT_EQ(r.linkState, -1);

    EXPECT_EQ(decode(report(0, 0xFF, "")).count, 0);   // -1 + 1: an empty listing
    EXPECT_EQ(decode(report(0, 0x7F, "")).count, 128);  // the largest listing
    EXPECT_EQ(decode(report(0, 0x80, "")).count, -127); // negative: empty too
}

TEST(VendorDecoding, NamesAreCutToThirtyTwoCodeUnitsWithoutSplittingACharacter) {
    EXPECT_EQ(decode(report(0, 0, std::string(40, 'x'))).name, plat::String(32, u'x'));
    // No NUL in the whole field: all 128 bytes are the name, then cut.
    EXPECT_EQ(decode(report(0, 0, std::string(128, 'y'))).name, plat::String(32, u'y'));
    EXPECT_EQ(decode(report(0, 0, "K\xC3\xBC" "che \xE2\x82\xAC")).name, u"K\u00FCche \u20AC");
    // A character outside the BMP straddling the cut is dropped whole.
    EXPECT_EQ(decode(report(0, 0, std::string(31, 'a') + "\xF0\x9F\x98\x80")).name,
              plat::String(31, u'a'));
    // Bytes that are no UTF-8 become U+FFFD rather than vanish.
    EXPECT_EQ(decode(report(0, 0, "A\xFF" "B")).name, u"A\uFFFDB");
}

TEST(VendorDecoding, TheFirstFlagInOrderDecidesTheKind) {
    using K = vendor::ReplyKind;
    const std::pair<std::uint8_t, K> cases[] = {
        {0x40 | 0x02, K::PairingFailed}, {0x40 | 0x08 | 0x80, K::PairingFailed},
        {0x08 | 0x80, K::ListCleared},   {0x80 | 0x20, K::PairingStarted},
        {0x20 | 0x10, K::FirmwareVersion}, {0x10 | 0x02, K::LinkLost},
        {0x02 | 0x04, K::CurrentDevice}, {0x04, K::ListingEntry},
        {0x01, K::ListingEntry},         {0x00, K::ListingEntry},
    };
    for (const auto& [flags, kind] : cases)
        EXPECT_EQ(vendor::replyKind(flags), kind) << "flags " << int{flags};
}

TEST(VendorDecoding, FirmwareTextTakesTheVersionBytesAsUnsignedNumbers) {
    Report r = report(0x20, 0, "Jun 20 2005");
    r[131] = 200;
    r[132] = 0;
    r[133] = 17;
    EXPECT_EQ(vendor::firmwareText(decode(r)), u"200.0.17:Jun 20 2005");
}

// ---------------------------------------------------------------- the list

TEST(PairedDeviceList, FirstListingArrivesNewestFirstAndIsTurnedRound) {
    PairedDevices list;
    EXPECT_FALSE(list.receiveListingEntry(3, u"C", addr3, 0).complete);
    EXPECT_EQ(list.currentName(), u"C"); // the newest device is current
    EXPECT_FALSE(list.receiveListingEntry(2, u"B", addr2, 0).complete);
    EXPECT_TRUE(list.receiveListingEntry(1, u"A", addr1, 0).complete);
    EXPECT_EQ(list.names(), (plat::StringArray{u"C", u"B", u"A"}));
    EXPECT_EQ(list.listingRemaining(), -1);

    EXPECT_EQ(list.orderListingIfNotPairing(), 1);
    EXPECT_EQ(list.names(), (plat::StringArray{u"A", u"B", u"C"}));
    EXPECT_EQ(list.addressAt(0), addr1); // addresses moved with their names

    // A later listing (three known) is not turned round.
    list.receiveListingEntry(4, u"D", addr4, 0);
    EXPECT_EQ(list.listingBase(), 3);
    list.orderListingIfNotPairing();
    EXPECT_EQ(list.names(), (plat::StringArray{u"A", u"B", u"C", u"D"}));
}

TEST(PairedDeviceList, APairingListingAppendsWithoutTurningRound) {
    PairedDevices list;
    list.receiveListingEntry(1, u"A", addr1, 0);
    list.orderListingIfNotPairing();
    list.receiveListingEntry(3, u"C", addr3, vendor::Flag::FromPairing);
    list.receiveListingEntry(2, u"B", addr2, vendor::Flag::FromPairing);
    list.receiveListingEntry(1, u"A", addr1, vendor::Flag::FromPairing);
    EXPECT_EQ(list.pairingIdle(), 0);
    EXPECT_EQ(list.orderListingIfNotPairing(), 0);
    EXPECT_EQ(list.names(), (plat::StringArray{u"A", u"C", u"B"}));
    list.setPairingIdle();
    EXPECT_EQ(list.pairingIdle(), 1);
}

TEST(PairedDeviceList, RenameAndDeleteFollowTheCurrentDevice) {
    PairedDevices list;
    list.receiveListingEntry(3, u"C", addr3, 0);
    list.receiveListingEntry(2, u"B", addr2, 0);
    list.receiveListingEntry(1, u"A", addr1, 0);
    list.orderListingIfNotPairing(); // A B C, current C

    list.rename(u"C", u"Kitchen");
    EXPECT_EQ(list.currentName(), u"Kitchen");
    EXPECT_EQ(list.indexOf(u"Kitchen"), 2);
    EXPECT_EQ(list.indexOf(u"kitchen"), -1); // exact comparison
    EXPECT_EQ(list.addressAt(-1), kNoDeviceAddress);
    EXPECT_EQ(list.addressAt(3), kNoDeviceAddress);

    list.afterDelete(u"B", false); // not written: nothing leaves
    EXPECT_EQ(list.size(), 3u);
    list.afterDelete(u"Kitchen", true); // the current one: the last device takes over
    EXPECT_EQ(list.names(), (plat::StringArray{u"A", u"B"}));
    EXPECT_EQ(list.currentName(), u"B");
    list.afterDelete(u"A", true);
    list.afterDelete(u"B", true);
    EXPECT_TRUE(list.names().empty());
    EXPECT_EQ(list.currentName(), u"");
}

} // namespace
