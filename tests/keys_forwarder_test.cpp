// The remote media-key forwarder on the simulated PC: what its construction finds and logs,
// the forwarding rule for each player and IntelliType, bounded reports, the pause after a
// failed read, and its lifetime: deleted while its key thread waits in a read.
#include "Collaborators.h"
#include "ConsumerPageRead.h"
#include "players_support.h"

#include <gmock/gmock.h>

#include <atomic>

namespace {

using sim::HidCollectionRole;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

constexpr std::uint8_t kNext = 0xB5, kPrevious = 0xB6, kStop = 0xB7, kPlayPause = 0xCD;
constexpr auto kConsumer = HidCollectionRole::Consumer;

// Records the key thread's reads (virtual time, buffer length), closes, and cancellations
// of closed handles; can make a read report fewer bytes than it delivered.
class RecordingHid final : public plat::Hid {
public:
    explicit RecordingHid(plat::Hid& inner) : in(inner) {}
    plat::Guid getHidGuid() override { return in.getHidGuid(); }
    plat::StringArray enumerateInterfaces(const plat::Guid& g) override { return in.enumerateInterfaces(g); }
    plat::Handle open(const plat::String& path) override { return in.open(path); }
    bool getAttributes(plat::Handle d, plat::HidAttributes& a) override { return in.getAttributes(d, a); }
    bool getCaps(plat::Handle d, plat::HidCaps& caps) override { return in.getCaps(d, caps); }
    bool read(plat::Handle d, std::uint8_t* buffer, std::uint32_t length, std::uint32_t& got,
              std::uint32_t& error) override {
        const std::uint64_t now = plat::threads().tickCount();
        record([&] { reads.push_back({now, length}); });
        const bool ok = in.read(d, buffer, length, got, error);
        if (const int limit = truncateTo; limit >= 0)
            got = std::min<std::uint32_t>(got, static_cast<std::uint32_t>(limit));
        return ok;
    }
    void cancelRead(plat::Handle d) override {
        // A closed handle's value may already name another open file on Windows.
        record([&] { cancelsAfterClose += std::count(closed.begin(), closed.end(), d); });
        // A driver that does not cancel its reads (until this virtual time).
        if (plat::threads().tickCount() < ignoreCancelsUntilMs)
            return;
        in.cancelRead(d);
    }
    bool write(plat::Handle d, const std::uint8_t* b, std::uint32_t n, std::uint32_t& w) override {
        return in.write(d, b, n, w);
    }
    bool close(plat::Handle d) override {
        record([&] { closed.push_back(d); });
        return in.close(d);
    }

    template <class F> auto seen(F f) {
        std::lock_guard<std::mutex> guard(lock);
        return f();
    }

    struct Read { std::uint64_t atMs; std::uint32_t length; };
    std::vector<Read> reads;
    std::vector<plat::Handle> closed;
    long cancelsAfterClose = 0;
    std::atomic<int> truncateTo{-1};
    std::atomic<std::uint64_t> ignoreCancelsUntilMs{0};

private:
    template <class F> void record(F f) {
        std::lock_guard<std::mutex> guard(lock);
        f();
    }
    plat::Hid& in;
    std::mutex lock;
};

class ForwarderTest : public pptest::PlayerTest {
protected:
    void SetUp() override {
        PlayerTest::SetUp();
        hid = &wrap<RecordingHid>(&plat::Platform::hid);
    }
    // Deleted while the program's threads still run: its destructor must stop its thread.
    void beforeProcessEnds() override { forwarder.reset(); }

    void plug(sim::TransmitterConfig config = {}) {
        tx = pc->plugTransmitter(std::move(config));
        globals().transmitterPresent = 1;
    }
    void running(const plat::String& name) { install(name, sim::PlayerRoots::CurrentUser, true); }
    void somethingElseInFront() { pc->setForeground(pc->createForeignWindow(u"Notepad", u"notes")); }

    // A forwarder on a fresh consumer-control handle, its thread waiting in its first read.
    void start() {
        consumer = plat::hid().open(pc->transmitterPath(tx, kConsumer));
        ASSERT_NE(consumer, 0u);
        forwarder = std::make_unique<ConsumerPageRead>(consumer);
        ASSERT_TRUE(pc->waitForTransmitterRead(tx, kConsumer));
    }
    void press(std::uint8_t code) {
        pc->pressRemoteKey(tx, code);
        ASSERT_TRUE(pc->waitForTransmitterRead(tx, kConsumer));
    }
    std::vector<std::uint16_t> commands(const plat::String& player) {
        std::vector<std::uint16_t> out;
        for (const auto& c : pc->playerAppCommands(player))
            out.push_back(c.command);
        return out;
    }
    std::vector<plat::Handle> closed() { return hid->seen([&] { return hid->closed; }); }

    // The Log-level messages among the lines logged since the last call.
    static std::vector<std::string> logged() {
        std::vector<std::string> out;
        for (const auto& line : pptest::takeLog())
            if (line.rfind("  LOG  :", 0) == 0)
                out.push_back(line.substr(8));
        return out;
    }

    RecordingHid* hid = nullptr;
    sim::TransmitterId tx = 0;
    plat::Handle consumer = 0;
    std::unique_ptr<ConsumerPageRead> forwarder;
};

// ------------------------------------------------------------------------ construction

TEST_F(ForwarderTest, ConstructionListsTheInstalledPlayersInSearchOrderAndLogsThem) {
    plug();
    for (const char16_t* name : {u"iTunes", u"Winamp", u"Real Player", u"Windows Media Player"})
        install(name);
    start();
    EXPECT_THAT(forwarder->searchNames(),
                ElementsAre(u"Windows Media Player", u"Winamp", u"Real Player", u"iTunes"));
    EXPECT_THAT(forwarder->searchClasses(),
                ElementsAre(u"WMPlayerApp", u"BaseWindow_RootWnd", u"GeminiWindowClass", u"iTunes"));
    EXPECT_EQ(forwarder->installedPlayers(), 4);
    // Winamp is present, but an ordinary user's hotkeys are left alone.
    EXPECT_THAT(logged(), ElementsAre("Windows Media Player", "Winamp", "Real Player", "iTunes",
                                      "Intellitype not installed"));
    forwarder.reset();

    pc->setIntelliTypeInstalled(true);
    pc->deleteTree(plat::HKCU, u"Software\\Winamp\\");
    start();
    EXPECT_EQ(forwarder->intelliType(), 1);
    EXPECT_THAT(logged(), ElementsAre("Windows Media Player", "Real Player", "iTunes",
                                      "Intellitype Installed", "Winamp not present"));
}

TEST_F(ForwarderTest, AnAdministratorGetsWinampsHotkeysConfigured) {
    plug();
    install(u"Winamp");
    const std::string before = *pc->winampIni(); // two bindings, hotkeys off
    start();
    EXPECT_EQ(pc->winampIni(), before);
    forwarder.reset();

    globals().isAdministrator = true;
    start();
    const std::string after = pc->winampIni().value_or("");
    EXPECT_NE(after.find("enabled=1\n"), std::string::npos);
    EXPECT_NE(after.find("action2=ghkdc stop\nhotkey2=2226\n"), std::string::npos);
    forwarder.reset();

    ASSERT_TRUE(pc->installPlayer({.name = u"Winamp", .directory = u"C:\\Winamp2", .winampIni = {}}));
    start();
    EXPECT_THAT(logged(), ::testing::Contains("Winamp.ini not found"));
}

TEST_F(ForwarderTest, TheFactoryMakesIt) {
    plug();
    running(u"iTunes");
    somethingElseInFront();
    std::unique_ptr<KeyForwarder> made =
        collaborators().makeKeyForwarder(plat::hid().open(pc->transmitterPath(tx, kConsumer)));
    ASSERT_NE(dynamic_cast<ConsumerPageRead*>(made.get()), nullptr);
    ASSERT_TRUE(pc->waitForTransmitterRead(tx, kConsumer));
    press(kStop);
    EXPECT_THAT(commands(u"iTunes"), ElementsAre(13));
    made.reset();
    EXPECT_EQ(pc->transmitterOpenHandles(tx, kConsumer), 0u);
}

// ------------------------------------------------------------------------ forwarding rule

TEST_F(ForwarderTest, WithoutIntelliTypeITunesAndRealPlayerGetKeysOnlyInTheBackground) {
    plug();
    running(u"iTunes");
    start();
    ASSERT_TRUE(pc->setForegroundPlayer(u"iTunes"));
    press(kPlayPause);
    EXPECT_THAT(pc->playerAppCommands(u"iTunes"), IsEmpty());
    somethingElseInFront();
    press(kPlayPause);
    ASSERT_EQ(pc->playerAppCommands(u"iTunes").size(), 1u);
    EXPECT_EQ(pc->playerAppCommands(u"iTunes")[0].wParam, 0u);
    EXPECT_EQ(pc->playerAppCommands(u"iTunes")[0].lParam, 0x000E0000);

    forwarder.reset();
    pc->quitPlayer(u"iTunes");
    running(u"Real Player");
    start();
    for (std::uint8_t code : {kNext, kPrevious, kStop, kPlayPause})
        press(code);
    for (std::uint8_t code : {0xE9, 0xB0, 0xB4, 0xB8, 0xCC, 0xCE, 0x00, 0xFF}) // unlisted
        press(code);
    std::vector<plat::LParam> lParams;
    for (const auto& c : pc->playerAppCommands(u"Real Player"))
        lParams.push_back(c.lParam);
    EXPECT_THAT(lParams, ElementsAre(0x000B0000, 0x000C0000, 0x000D0000, 0x000E0000));
}

TEST_F(ForwarderTest, WithoutIntelliTypeTheDeepIntegrationPlayersAreNeverServed) {
    plug();
    for (const char16_t* name : {u"Windows Media Player", u"Musicmatch", u"Winamp"}) {
        running(name);
        start();
        somethingElseInFront();
        press(kPlayPause);
        ASSERT_TRUE(pc->setForegroundPlayer(name));
        press(kNext);
        EXPECT_THAT(pc->playerAppCommands(name), IsEmpty()) << plat::toNarrow(name);
        forwarder.reset();
        pc->quitPlayer(name);
    }
}

TEST_F(ForwarderTest, WithIntelliTypeTheFirstRunningPlayerIsServedUnlessItIsWinamp) {
    plug();
    pc->setIntelliTypeInstalled(true);
    running(u"iTunes");
    running(u"Winamp");
    start();
    // Winamp comes first in search order; iTunes behind it gets nothing either.
    press(kPlayPause);
    EXPECT_THAT(pc->playerAppCommands(u"Winamp"), IsEmpty());
    EXPECT_THAT(pc->playerAppCommands(u"iTunes"), IsEmpty());

    forwarder.reset();
    pc->quitPlayer(u"Winamp");
    running(u"Windows Media Player");
    start();
    ASSERT_TRUE(pc->setForegroundPlayer(u"Windows Media Player")); // in front all the same
    press(kNext);
    EXPECT_THAT(commands(u"Windows Media Player"), ElementsAre(11));
    EXPECT_THAT(pc->playerAppCommands(u"iTunes"), IsEmpty());
}

TEST_F(ForwarderTest, PlayersNotInstalledWhenItWasMadeAreNotServed) {
    plug();
    start();
    EXPECT_EQ(forwarder->installedPlayers(), 0);
    const plat::Hwnd stray = pc->createForeignWindow(u"iTunes", u"iTunes", 9000);
    running(u"Real Player");
    somethingElseInFront();
    press(kPlayPause);
    EXPECT_THAT(pc->received(stray), IsEmpty());
    EXPECT_THAT(pc->playerAppCommands(u"Real Player"), IsEmpty());
}

// ------------------------------------------------------------------------ players that hang

// A player whose window has stopped answering holds neither the keys nor the forwarder: a
// hung one is given up at once, one that has only just stopped answering after a second.
TEST_F(ForwarderTest, APlayerThatDoesNotAnswerHoldsTheKeysAtMostASecond) {
    plug();
    running(u"iTunes");
    somethingElseInFront();
    start();
    ASSERT_TRUE(pc->setPlayerHung(u"iTunes", true));
    pc->advance(5000); // long enough for Windows to call it hung
    std::uint64_t before = pc->nowMs();
    press(kPlayPause);
    EXPECT_EQ(pc->nowMs(), before);
    EXPECT_THAT(pc->playerAppCommands(u"iTunes"), IsEmpty());

    // Just stopped answering: the key waits one second for it, then the thread reads again.
    ASSERT_TRUE(pc->setPlayerHung(u"iTunes", false));
    ASSERT_TRUE(pc->setPlayerHung(u"iTunes", true));
    pc->pressRemoteKey(tx, kNext);
    ASSERT_TRUE(pc->waitIdle());
    EXPECT_FALSE(pc->transmitterReadPending(tx, kConsumer));
    pc->advance(ConsumerPageRead::kCommandTimeoutMs - 1);
    EXPECT_FALSE(pc->transmitterReadPending(tx, kConsumer));
    pc->advance(1);
    ASSERT_TRUE(pc->waitForTransmitterRead(tx, kConsumer));

    // Answering again, it gets the next key.
    ASSERT_TRUE(pc->setPlayerHung(u"iTunes", false));
    press(kStop);
    EXPECT_THAT(commands(u"iTunes"), ElementsAre(13));

    // Deleted while the thread waits for a player that just stopped answering: the wait ends
    // with the command's time-out, and the thread with it.
    ASSERT_TRUE(pc->setPlayerHung(u"iTunes", true));
    pc->pressRemoteKey(tx, kPrevious);
    ASSERT_TRUE(pc->waitIdle());
    before = pc->nowMs();
    forwarder.reset();
    EXPECT_LE(pc->nowMs() - before, ConsumerPageRead::kCommandTimeoutMs);
    EXPECT_EQ(pc->transmitterOpenHandles(tx, kConsumer), 0u);
    EXPECT_THAT(commands(u"iTunes"), ElementsAre(13));
}

// A read the driver does not cancel cannot hold the user interface: the destructor waits a
// bounded time, and the thread, left behind, ends by itself once its read returns.
TEST_F(ForwarderTest, DeletingItWaitsABoundedTimeForAThreadThatCannotBeStopped) {
    plug();
    start();
    hid->ignoreCancelsUntilMs = pc->nowMs() + 60000;
    const std::uint64_t before = pc->nowMs();
    forwarder.reset();
    EXPECT_GE(pc->nowMs() - before, ConsumerPageRead::kStopWaitMs);
    EXPECT_LE(pc->nowMs() - before, ConsumerPageRead::kStopWaitMs + 200);
    EXPECT_TRUE(pc->transmitterReadPending(tx, kConsumer)) << "the thread is still reading";
    EXPECT_EQ(pc->transmitterOpenHandles(tx, kConsumer), 1u);

    pc->unplugTransmitter(tx); // its read fails; it sees the stop and leaves
    ASSERT_TRUE(pc->waitIdle());
    EXPECT_THAT(closed(), ElementsAre(consumer));
    EXPECT_EQ(pc->transmitterOpenHandles(tx, kConsumer), 0u);
}

// ------------------------------------------------------------------------ reports and reads

TEST_F(ForwarderTest, AReportWithoutByteOneCarriesNoKey) {
    plug({.consumerInputLength = 1});
    running(u"iTunes");
    somethingElseInFront();
    start();
    press(kPlayPause);
    EXPECT_THAT(pc->playerAppCommands(u"iTunes"), IsEmpty());
    EXPECT_EQ(hid->seen([&] { return hid->reads.back().length; }), 1u); // the declared length
    forwarder.reset();

    // Whatever the buffer holds beyond what the read reports is not looked at.
    plug();
    start();
    hid->truncateTo = 1;
    press(kPlayPause);
    EXPECT_THAT(pc->playerAppCommands(u"iTunes"), IsEmpty());
    hid->truncateTo = -1;
    press(kNext);
    EXPECT_THAT(commands(u"iTunes"), ElementsAre(11));
}

TEST_F(ForwarderTest, AFailedReadIsRetriedAfterOneSecond) {
    plug();
    start();
    const std::size_t before = hid->seen([&] { return hid->reads.size(); });
    pc->unplugTransmitter(tx); // gone before the program has noticed
    pc->advance(3500);
    const auto reads = hid->seen([&] { return hid->reads; });
    ASSERT_EQ(reads.size(), before + 3);
    for (std::size_t i = before + 1; i < reads.size(); ++i)
        EXPECT_EQ(reads[i].atMs - reads[i - 1].atMs, 1000u);
}

// ------------------------------------------------------------------------ lifetime

TEST_F(ForwarderTest, DeletingItWhileItsThreadWaitsInAReadEndsTheThreadAndClosesTheHandle) {
    plug();
    start();
    const std::uint64_t before = pc->nowMs();
    forwarder.reset();
    EXPECT_LT(pc->nowMs() - before, 1000u); // no failed-read pause on the way out
    EXPECT_FALSE(pc->transmitterReadPending(tx, kConsumer));
    EXPECT_EQ(pc->transmitterOpenHandles(tx, kConsumer), 0u);
    EXPECT_THAT(closed(), ElementsAre(consumer));

    // Also during the pause after a failed read, which it does not sit out.
    start();
    pc->unplugTransmitter(tx);
    ASSERT_TRUE(pc->waitIdle());
    const std::uint64_t pausing = pc->nowMs();
    forwarder.reset();
    EXPECT_LE(pc->nowMs() - pausing, 200u);
    EXPECT_EQ(closed().size(), 2u);
    EXPECT_EQ(hid->seen([&] { return hid->cancelsAfterClose; }), 0);
}

TEST_F(ForwarderTest, TheThreadEndsByItselfWhenTheTransmitterIsGoneAndTheHandleIsClosedOnce) {
    plug();
    running(u"iTunes");
    somethingElseInFront();
    start();
    globals().transmitterPresent = 0;
    // The pending read still returns its report, which is delivered; then the thread leaves.
    pc->pressRemoteKey(tx, kStop);
    ASSERT_TRUE(pc->waitIdle());
    EXPECT_THAT(commands(u"iTunes"), ElementsAre(13));
    EXPECT_EQ(pc->transmitterOpenHandles(tx, kConsumer), 0u);
    forwarder.reset();
    EXPECT_THAT(closed(), ElementsAre(consumer));
    EXPECT_EQ(hid->seen([&] { return hid->cancelsAfterClose; }), 0);

    // The same once the process has ended first.
    globals().transmitterPresent = 1;
    start();
    pc->endProcess();
    forwarder.reset();
    EXPECT_EQ(closed().size(), 2u);
    EXPECT_EQ(hid->seen([&] { return hid->cancelsAfterClose; }), 0);
}

TEST_F(ForwarderTest, RepeatedArrivalAndRemovalLeavesNoThreadOrHandleBehind) {
    plug();
    running(u"Real Player");
    somethingElseInFront();
    for (int round = 0; round < 25; ++round) {
        start();
        press(round % 2 ? kNext : kPrevious);
        forwarder.reset();
    }
    EXPECT_EQ(pc->transmitterOpenHandles(tx, kConsumer), 0u);
    EXPECT_EQ(closed().size(), 25u);
    EXPECT_EQ(pc->playerAppCommands(u"Real Player").size(), 25u);
}

} // namespace
