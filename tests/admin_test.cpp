// IsUserAdministrator against a token whose group list the test controls.
#include "QuorvaneAuravoSystemTrayApplication.h"
#include "ports.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

plat::Sid sid(std::uint8_t authority, std::vector<std::uint32_t> subAuthorities) {
    plat::Sid s;
    s.authority[5] = authority;
    s.subAuthorities = std::move(subAuthorities);
    return s;
}

const plat::Sid administrators = sid(5, {32, 544});
const plat::Sid users = sid(5, {32, 545});
constexpr std::uint32_t enabled = 0x7;   // mandatory, enabled by default, enabled
constexpr std::uint32_t denyOnly = 0x10; // SE_GROUP_USE_FOR_DENY_ONLY

// GetTokenGroups as Windows answers it: the size the 64-bit TOKEN_GROUPS layout needs, and
// ERROR_INSUFFICIENT_BUFFER for any smaller buffer.
class FakeToken : public plat::Processes {
public:
    bool tokenAvailable = true;
    std::vector<plat::SidAndAttributes> groups;
    std::uint32_t failWith = 0;     // any other failure of the read
    std::uint32_t reportedSize = 0; // overrides the computed size when set
    int growOnRead = 0;             // the list grows by one group on this many reads
    std::vector<std::uint32_t> bufferSizes;
    int opened = 0, closed = 0;

    static std::uint32_t sizeOf(const std::vector<plat::SidAndAttributes>& list) {
        std::uint32_t size = 8;
        for (const auto& g : list)
            size += 16 + 8 + 4 * static_cast<std::uint32_t>(g.sid.subAuthorities.size());
        return size;
    }

    plat::Handle openProcessToken() override {
        if (!tokenAvailable)
            return 0;
        ++opened;
        return 0x70;
    }
    bool getTokenGroups(plat::Handle token, std::uint32_t bufferSize,
                        std::vector<plat::SidAndAttributes>& out, std::uint32_t& returnLength,
                        std::uint32_t& error) override {
        EXPECT_EQ(token, 0x70u);
        bufferSizes.push_back(bufferSize);
        if (growOnRead > 0) {
            --growOnRead;
            groups.insert(groups.begin(),
                          {sid(5, {21, 1000u + static_cast<std::uint32_t>(growOnRead)}), enabled});
        }
        if (failWith) {
            error = failWith;
            return false;
        }
        returnLength = reportedSize ? reportedSize : sizeOf(groups);
        if (bufferSize < returnLength) {
            error = ERROR_INSUFFICIENT_BUFFER;
            return false;
        }
        out = groups;
        return true;
    }
    bool closeToken(plat::Handle token) override {
        EXPECT_EQ(token, 0x70u);
        ++closed;
        return true;
    }

    plat::Handle openProcess(std::uint32_t, std::uint32_t) override { return 0; }
    bool terminateProcess(plat::Handle, std::uint32_t) override { return false; }
    bool closeHandle(plat::Handle) override { return false; }
    std::intptr_t shellExecute(plat::Hwnd, const plat::String&, const plat::String&,
                               std::uint32_t) override {
        return 0;
    }
    plat::Hwnd htmlHelp(plat::Hwnd, const plat::String&, std::uint32_t, std::uintptr_t) override {
        return 0;
    }
};

class AdminTest : public testing::Test {
protected:
    FakeToken token;
    CKTRSystemTrayApplicationApp app;

    void SetUp() override {
        plat::Platform bundle;
        bundle.processes = &token;
        plat::install(bundle);
    }
    void TearDown() override {
        EXPECT_EQ(token.opened, token.closed) << "token handle leaked";
        plat::install({});
    }
};

TEST_F(AdminTest, MembershipOfBuiltinAdministratorsDecidesDenyOnlyIncluded) {
    token.groups = {{sid(1, {0}), enabled}, {users, enabled}, {administrators, enabled}};
    EXPECT_TRUE(app.IsUserAdministrator());
    token.groups = {{users, enabled}, {administrators, denyOnly}};
    EXPECT_TRUE(app.IsUserAdministrator());

    // Near misses: another alias, the same RIDs under another authority or with one more
    // sub-authority.
    token.groups = {{users, enabled}, {sid(16, {32, 544}), enabled}, {sid(5, {32, 544, 1}), 7}};
    EXPECT_FALSE(app.IsUserAdministrator());
}

TEST_F(AdminTest, LongGroupListIsReadWithTheSizeTheTokenReports) {
    for (std::uint32_t rid = 0; rid < 60; ++rid)
        token.groups.push_back({sid(5, {21, 111, 222, 333, 1000 + rid}), enabled});
    token.groups.push_back({administrators, denyOnly});
    const std::uint32_t needed = FakeToken::sizeOf(token.groups);
    ASSERT_GT(needed, 1024u);

    EXPECT_TRUE(app.IsUserAdministrator());
    ASSERT_EQ(token.bufferSizes.size(), 2u);
    EXPECT_EQ(token.bufferSizes[1], needed);
}

TEST_F(AdminTest, GroupListThatGrowsBetweenAskingAndReadingIsAskedAgain) {
    token.groups = {{administrators, enabled}};
    token.growOnRead = 2;
    EXPECT_TRUE(app.IsUserAdministrator());
    EXPECT_EQ(token.bufferSizes.size(), 3u);
}

TEST_F(AdminTest, AnyFailureMeansNotAnAdministrator) {
    token.groups = {{administrators, enabled}};

    token.tokenAvailable = false;
    EXPECT_FALSE(app.IsUserAdministrator());
    EXPECT_TRUE(token.bufferSizes.empty());

    token.tokenAvailable = true;
    token.failWith = ERROR_ACCESS_DENIED;
    EXPECT_FALSE(app.IsUserAdministrator());

    // A size no token could need is refused, not allocated.
    token.failWith = 0;
    token.reportedSize = 0xFFFFFFF0u;
    token.bufferSizes.clear();
    EXPECT_FALSE(app.IsUserAdministrator());
    for (const std::uint32_t size : token.bufferSizes)
        EXPECT_LT(size, 0xFFFFFFF0u);

    // A token that keeps growing past every answer.
    token.reportedSize = 0;
    token.growOnRead = 100;
    token.bufferSizes.clear();
    EXPECT_FALSE(app.IsUserAdministrator());
    EXPECT_LE(token.bufferSizes.size(), 8u);
}

} // namespace
