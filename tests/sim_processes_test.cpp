// The user's token as GetTokenInformation(TokenGroups) reports it on 64-bit Windows, and
// what the program asks of the shell and of HTML Help.
#include "sim_pc.h"

#include <gtest/gtest.h>

namespace {

class SimProcesses : public testing::Test {
protected:
    sim::SimPc pc;
    plat::Processes& p = *pc.bundle().processes;

    // The groups as read with a buffer of `size` bytes.
    bool read(std::uint32_t size, std::vector<plat::SidAndAttributes>& groups,
              std::uint32_t& needed, std::uint32_t& error) {
        const plat::Handle token = p.openProcessToken();
        EXPECT_NE(token, 0u);
        const bool ok = p.getTokenGroups(token, size, groups, needed, error);
        EXPECT_TRUE(p.closeToken(token));
        return ok;
    }
};

TEST_F(SimProcesses, TheDefaultUserIsAnEnabledAdministrator) {
    std::vector<plat::SidAndAttributes> groups;
    std::uint32_t needed = 0, error = 0;
    ASSERT_TRUE(read(1024, groups, needed, error));
    bool admin = false;
    for (const auto& g : groups)
        admin = admin || (g.sid == sim::SimPc::administratorsSid() && (g.attributes & 4));
    EXPECT_TRUE(admin);
    const plat::Sid s = sim::SimPc::administratorsSid();
    EXPECT_EQ(s.authority[5], 5);
    EXPECT_EQ(s.subAuthorities, (std::vector<std::uint32_t>{32, 544}));
}

TEST_F(SimProcesses, TheGroupListSizeIsComputedAsWindowsDoesAndMustFit) {
    // 8 for the count, 16 per entry, 8 + 4 per sub-authority for each SID: 8 + 32 + 16 + 28 = 84.
    pc.setTokenGroups({{sim::SimPc::administratorsSid(), 0x10}, {sim::SimPc::otherSid(1001), 7}});
    std::vector<plat::SidAndAttributes> groups;
    std::uint32_t needed = 0, error = 0;
    EXPECT_FALSE(read(83, groups, needed, error));
    EXPECT_EQ(error, ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(needed, 84u);
    EXPECT_TRUE(groups.empty());
    ASSERT_TRUE(read(84, groups, needed, error));
    ASSERT_EQ(groups.size(), 2u);
    EXPECT_EQ(groups[0].attributes, 0x10u);

    // Sixty groups of five sub-authorities need 8 + 60 * (16 + 28) = 2648 bytes.
    pc.setTokenGroups(std::vector<plat::SidAndAttributes>(60, {sim::SimPc::otherSid(7), 7}));
    EXPECT_FALSE(read(1024, groups, needed, error));
    EXPECT_EQ(needed, 2648u);

    std::uint32_t ignored = 0;
    EXPECT_FALSE(p.getTokenGroups(0x999, 1024, groups, needed, ignored));
    EXPECT_EQ(ignored, ERROR_INVALID_HANDLE);
    pc.setTokenUnavailable(true);
    EXPECT_EQ(p.openProcessToken(), 0u);
}

TEST_F(SimProcesses, ShellAndHelpRequestsAreRecordedAndHelpIsUnavailable) {
    EXPECT_GT(p.shellExecute(0, u"open", u"C:\\Program Files\\Winamp\\winamp.exe", SW_SHOWNORMAL),
              32);
    EXPECT_EQ(p.htmlHelp(0, u"Quorvane Auravo.chm::/startofhelp.htm", HH_DISPLAY_TOPIC, 0), 0u);
    pc.setShellExecuteHandler(
        [](const plat::String&, const plat::String&) { return std::intptr_t{2}; });
    EXPECT_EQ(p.shellExecute(0, u"open", u"missing.exe", SW_SHOWNORMAL), 2) << "file not found";
    EXPECT_EQ(pc.takeJournal(),
              (std::vector<std::string>{
                  "shell: open \"C:\\Program Files\\Winamp\\winamp.exe\"",
                  "help: \"Quorvane Auravo.chm::/startofhelp.htm\" command 0 data 0x0",
                  "shell: open \"missing.exe\""}));
    EXPECT_TRUE(pc.takeJournal().empty());
}

TEST_F(SimProcesses, DeviceNotificationsCanBeRefused) {
    const plat::Hwnd window = pc.createForeignWindow(u"Any", u"Any");
    plat::Desktop& d = *pc.bundle().desktop;
    pc.setDeviceNotificationFails(true);
    EXPECT_EQ(d.registerDeviceNotification(window, plat::Guid{}), 0u);
    pc.setDeviceNotificationFails(false);
    EXPECT_NE(d.registerDeviceNotification(window, plat::Guid{}), 0u);
    EXPECT_EQ(d.registerDeviceNotification(0xBAD, plat::Guid{}), 0u);
}

} // namespace
