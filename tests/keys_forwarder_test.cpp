// The remote media-key forwarder on the simulated PC: what its construction finds and logs,
// the forwarding rule for each player and IntelliType, bounded reports, the pause after a
// failed read, and its lifetime: deleting it while its key thread waits in a read.
#include "ConsumerPageRead.h"
#include "players_support.h"

#include <gmock/gmock.h>

#include <atomic>
#include <memory>
#include <mutex>

namespace {

using pptest::countOf;
using pptest::takeLog;
using sim::HidCollectionRole;
using sim::PlayerConfig;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

// Records the key thread's reads (when, and how long a buffer it offers) and the handles
// closed, then lets the simulated port do the work.
class RecordingHid final : public plat::Hid {
public:
    struct Read { std::uint64_t atMs; std::uint32_t length; };

    RecordingHid(plat::Hid& inner, sim::SimPc& pc) : inner_(inner), pc_(pc) {}

    plat::Guid getHidGuid() override { return inner_.getHidGuid(); }
    plat::StringArray enumerateInterfaces(const plat::Guid& classGuid) override {
        return inner_.enumerateInterfaces(classGuid);
    }
    plat::Handle open(const plat::String& path) override { return inner_.open(path); }
    bool getAttributes(plat::Handle device, plat::HidAttributes& attributes) override {
        return inner_.getAttributes(device, attributes);
    }
    bool getCaps(plat::Handle device, plat::HidCaps& caps) override {
        return inner_.getCaps(device, caps);
    }
    bool read(plat::Handle device, std::uint8_t* buffer, std::uint32_t length,
              std::uint32_t& bytesRead, std::uint32_t& error) override {
        {
            std::lock_guard<std::mutex> lock(lock_);
            reads_.push_back({pc_.nowMs(), length});
        }
        return inner_.read(device, buffer, length, bytesRead, error);
    }
    void cancelRead(plat::Handle device) override { inner_.cancelRead(device); }
    bool write(plat::Handle device, const std::uint8_t* buffer, std::uint32_t length,
               std::uint32_t& bytesWritten) override {
        return inner_.write(device, buffer, length, bytesWritten);
    }
    bool close(plat::Handle device) override {
        {
            std::lock_guard<std::mutex> lock(lock_);
            closed_.push_back(device);
        }
        return inner_.close(device);
    }

    std::vector<Read> reads() {
        std::lock_guard<std::mutex> lock(lock_);
        return reads_;
    }
    std::vector<plat::Handle> closed() {
        std::lock_guard<std::mutex> lock(lock_);
        return closed_;
    }

private:
    plat::Hid& inner_;
    sim::SimPc& pc_;
    std::mutex lock_;
    std::vector<Read> reads_;
    std::vector<plat::Handle> closed_;
};

constexpr std::uint8_t kNext = 0xB5, kPrevious = 0xB6, kStop = 0xB7, kPlayPause = 0xCD;

class ForwarderTest : public pptest::PlayerTest {
protected:
    void SetUp() override {
        PlayerTest::SetUp();
        plat::Platform bundle = plat::current();
        hid = std::make_unique<RecordingHid>(*bundle.hid, *pc);
        bundle.hid = hid.get();
        plat::install(bundle);
    }

    // The forwarder goes while the program's threads still run: its destructor must stop its
    // own thread.
    void beforeProcessEnds() override { forwarder.reset(); }

    void plug(sim::TransmitterConfig config = {}) {
        tx = pc->plugTransmitter(std::move(config));
        globals().transmitterPresent = 1;
    }

    void install(const plat::String& name, bool running = true) {
        PlayerConfig config;
        config.name = name;
        config.running = running;
        ASSERT_TRUE(pc->installPlayer(config));
    }

    // Makes the forwarder on a freshly opened consumer-control handle and waits until its
    // thread blocks in the first read.
    void start() {
        consumer = plat::hid().open(pc->transmitterPath(tx, HidCollectionRole::Consumer));
        ASSERT_NE(consumer, 0u);
        forwarder = std::make_unique<ConsumerPageRead>(consumer);
        ASSERT_TRUE(pc->waitForTransmitterRead(tx, HidCollectionRole::Consumer));
    }

    void press(std::uint8_t code) {
        pc->pressRemoteKey(tx, code);
        ASSERT_TRUE(pc->waitForTransmitterRead(tx, HidCollectionRole::Consumer));
    }

    std::vector<std::uint16_t> commands(const plat::String& player) {
        std::vector<std::uint16_t> out;
        for (const auto& c : pc->playerAppCommands(player))
            out.push_back(c.command);
        return out;
    }

    // Puts an unrelated window in front.
    void somethingElseInFront() { pc->setForeground(pc->createForeignWindow(u"Notepad", u"notes")); }

    // The Log-level lines of construction.
    static std::vector<std::string> logLevel(const std::vector<std::string>& lines) {
        std::vector<std::string> out;
        for (const auto& l : lines)
            if (l.rfind("  LOG  :", 0) == 0)
                out.push_back(l.substr(8));
        return out;
    }

    std::unique_ptr<RecordingHid> hid;
    sim::TransmitterId tx = 0;
    plat::Handle consumer = 0;
    std::unique_ptr<ConsumerPageRead> forwarder;
};

// ------------------------------------------------------------------------ construction

TEST_F(ForwarderTest, ConstructionListsTheInstalledPlayersInSearchOrder) {
    plug();
    for (const char16_t* name : {u"iTunes", u"Winamp", u"Real Player", u"Windows Media Player"})
        install(name, false);
    start();
    EXPECT_THAT(forwarder->searchNames(),
                ElementsAre(u"Windows Media Player", u"Winamp", u"Real Player", u"iTunes"));
    EXPECT_THAT(forwarder->searchClasses(),
                ElementsAre(u"WMPlayerApp", u"BaseWindow_RootWnd", u"GeminiWindowClass", u"iTunes"));
    EXPECT_EQ(forwarder->installedPlayers(), 4);
    EXPECT_EQ(forwarder->intelliType(), 0);
    const auto log = takeLog();
    EXPECT_EQ(log.front(), " TRACE :ConsumerPageRead::ConsumerPageRead -- Method Entry.");
    // Not an administrator: Winamp is present, but its hotkeys are left alone.
    EXPECT_THAT(logLevel(log), ElementsAre("Windows Media Player", "Winamp", "Real Player",
                                           "iTunes", "Intellitype not installed"));
}

TEST_F(ForwarderTest, IntelliTypeAndAbsentWinampAreLogged) {
    plug();
    pc->setIntelliTypeInstalled(true);
    install(u"iTunes", false);
    start();
    EXPECT_EQ(forwarder->intelliType(), 1);
    EXPECT_THAT(logLevel(takeLog()), ElementsAre("iTunes", "Intellitype Installed", "Winamp not present"));
    forwarder.reset();

    // Deep-integration players without Winamp: still "not present".
    install(u"Musicmatch", false);
    pc->setIntelliTypeInstalled(false);
    start();
    EXPECT_THAT(logLevel(takeLog()),
                ElementsAre("Musicmatch", "iTunes", "Intellitype not installed", "Winamp not present"));
}

TEST_F(ForwarderTest, AnAdministratorGetsWinampsHotkeysConfigured) {
    plug();
    install(u"Winamp", false);
    const std::string before = *pc->winampIni();
    start();
    EXPECT_EQ(pc->winampIni(), before); // not an administrator
    forwarder.reset();

    globals().isAdministrator = true;
    start();
    const std::string after = pc->winampIni().value_or("");
    EXPECT_NE(after, before);
    EXPECT_NE(after.find("enabled=1\n"), std::string::npos);
    EXPECT_NE(after.find("hotkey2=2226\n"), std::string::npos);
    forwarder.reset();

    // Installed again elsewhere, without the file: reported, nothing else.
    pc->installPlayer({.name = u"Winamp", .directory = u"C:\\Winamp2", .winampIni = std::nullopt});
    takeLog();
    start();
    EXPECT_EQ(countOf(takeLog(), "  LOG  :Winamp.ini not found"), 1u);
}

TEST_F(ForwarderTest, TheFactoryMakesTheForwarderAndItsDeletionStopsTheThread) {
    plug();
    install(u"iTunes");
    somethingElseInFront();
    consumer = plat::hid().open(pc->transmitterPath(tx, HidCollectionRole::Consumer));
    std::unique_ptr<KeyForwarder> made = collaborators().makeKeyForwarder(consumer);
    ASSERT_NE(dynamic_cast<ConsumerPageRead*>(made.get()), nullptr);
    ASSERT_TRUE(pc->waitForTransmitterRead(tx, HidCollectionRole::Consumer));
    press(kStop);
    EXPECT_THAT(commands(u"iTunes"), ElementsAre(13));
    made.reset();
    EXPECT_EQ(pc->transmitterOpenHandles(tx, HidCollectionRole::Consumer), 0u);
}

// ------------------------------------------------------------------------ forwarding rule

TEST_F(ForwarderTest, WithoutIntelliTypeITunesGetsKeysOnlyInTheBackground) {
    plug();
    install(u"iTunes");
    start();
    ASSERT_TRUE(pc->setForegroundPlayer(u"iTunes"));
    press(kPlayPause);
    EXPECT_THAT(pc->playerAppCommands(u"iTunes"), IsEmpty());

    somethingElseInFront();
    press(kPlayPause);
    const auto received = pc->playerAppCommands(u"iTunes");
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(received[0].wParam, 0u);
    EXPECT_EQ(received[0].lParam, 0x000E0000);
}

TEST_F(ForwarderTest, EachListedKeyBecomesItsCommandAndOthersAreDropped) {
    plug();
    install(u"Real Player");
    somethingElseInFront();
    start();
    for (std::uint8_t code : {kNext, kPrevious, kStop, kPlayPause})
        press(code);
    for (std::uint8_t code : {0xE9, 0xEA, 0xB0, 0xB4, 0xB8, 0xCC, 0xCE, 0x00, 0xFF})
        press(code);
    std::vector<plat::LParam> lParams;
    for (const auto& c : pc->playerAppCommands(u"Real Player"))
        lParams.push_back(c.lParam);
    EXPECT_THAT(lParams, ElementsAre(0x000B0000, 0x000C0000, 0x000D0000, 0x000E0000));
}

TEST_F(ForwarderTest, WithoutIntelliTypeOnlyITunesAndRealPlayerAreServed) {
    plug();
    for (const char16_t* name : {u"Windows Media Player", u"Musicmatch", u"Winamp"}) {
        install(name);
        forwarder.reset();
        start();
        somethingElseInFront();
        press(kPlayPause);
        ASSERT_TRUE(pc->setForegroundPlayer(name));
        press(kNext);
        EXPECT_THAT(pc->playerAppCommands(name), IsEmpty()) << plat::toNarrow(name);
        pc->quitPlayer(name);
    }
}

TEST_F(ForwarderTest, WithIntelliTypeEveryPlayerButWinampIsServedEvenInFront) {
    plug();
    pc->setIntelliTypeInstalled(true);
    install(u"Windows Media Player");
    start();
    ASSERT_TRUE(pc->setForegroundPlayer(u"Windows Media Player"));
    press(kNext);
    EXPECT_THAT(commands(u"Windows Media Player"), ElementsAre(11));
}

TEST_F(ForwarderTest, OnlyTheFirstRunningPlayerInSearchOrderIsConsidered) {
    plug();
    pc->setIntelliTypeInstalled(true);
    install(u"iTunes");
    install(u"Winamp");
    somethingElseInFront();
    start();
    // Winamp comes first and is never served with IntelliType: iTunes gets nothing either.
    press(kPlayPause);
    EXPECT_THAT(pc->playerAppCommands(u"Winamp"), IsEmpty());
    EXPECT_THAT(pc->playerAppCommands(u"iTunes"), IsEmpty());

    // Musicmatch comes before iTunes too, and is served.
    forwarder.reset();
    pc->quitPlayer(u"Winamp");
    install(u"Musicmatch");
    start();
    press(kStop);
    EXPECT_THAT(commands(u"Musicmatch"), ElementsAre(13));
    EXPECT_THAT(pc->playerAppCommands(u"iTunes"), IsEmpty());
}

TEST_F(ForwarderTest, PlayersNotInstalledWhenItWasMadeAreNotServed) {
    plug();
    start();
    EXPECT_EQ(forwarder->installedPlayers(), 0);
    // A window of a player's class, and later a real installation: both too late.
    const plat::Hwnd stray = pc->createForeignWindow(u"iTunes", u"iTunes", 9000);
    install(u"Real Player");
    somethingElseInFront();
    press(kPlayPause);
    EXPECT_THAT(pc->received(stray), IsEmpty());
    EXPECT_THAT(pc->playerAppCommands(u"Real Player"), IsEmpty());
}

TEST_F(ForwarderTest, ReportsShorterThanTheKeyCodeCarryNoKey) {
    sim::TransmitterConfig config;
    config.consumerInputLength = 1;
    plug(config);
    install(u"iTunes");
    somethingElseInFront();
    start();
    press(kPlayPause);
    EXPECT_THAT(pc->playerAppCommands(u"iTunes"), IsEmpty());
    // The buffer offered is the declared length.
    ASSERT_FALSE(hid->reads().empty());
    EXPECT_EQ(hid->reads().back().length, 1u);
}

TEST_F(ForwarderTest, ALongerDeclaredReportStillCarriesItsKeyInByteOne) {
    sim::TransmitterConfig config;
    config.consumerInputLength = 64;
    plug(config);
    install(u"iTunes");
    somethingElseInFront();
    start();
    press(kNext);
    EXPECT_THAT(commands(u"iTunes"), ElementsAre(11));
    EXPECT_EQ(hid->reads().back().length, 64u);
}

// ------------------------------------------------------------------------ failed reads

TEST_F(ForwarderTest, AFailedReadIsRetriedAfterOneSecond) {
    plug();
    start();
    const std::size_t before = hid->reads().size();
    // Gone from under the thread, while the program has not yet noticed.
    pc->unplugTransmitter(tx);
    pc->advance(3500);
    const auto reads = hid->reads();
    ASSERT_GE(reads.size(), before + 3);
    const std::uint64_t first = reads[before].atMs;
    std::vector<std::uint64_t> gaps;
    for (std::size_t i = before + 1; i < reads.size(); ++i)
        gaps.push_back(reads[i].atMs - reads[i - 1].atMs);
    EXPECT_THAT(gaps, ::testing::Each(1000u)) << "first retry at " << first;
}

// ------------------------------------------------------------------------ lifetime

TEST_F(ForwarderTest, DeletingItWhileItsThreadWaitsInAReadStopsAndClosesEverything) {
    plug();
    start();
    ASSERT_TRUE(pc->transmitterReadPending(tx, HidCollectionRole::Consumer));
    const std::uint64_t before = pc->nowMs();
    forwarder.reset();
    EXPECT_LT(pc->nowMs() - before, 1000u); // no failed-read pause on the way out
    EXPECT_FALSE(pc->transmitterReadPending(tx, HidCollectionRole::Consumer));
    EXPECT_EQ(pc->transmitterOpenHandles(tx, HidCollectionRole::Consumer), 0u);
    EXPECT_THAT(hid->closed(), ElementsAre(consumer));
    // The next forwarder reads again, on a handle of its own.
    install(u"iTunes");
    somethingElseInFront();
    start();
    press(kNext);
    EXPECT_THAT(commands(u"iTunes"), ElementsAre(11));
}

TEST_F(ForwarderTest, DeletingItDuringThePauseAfterAFailedReadDoesNotWaitItOut) {
    plug();
    start();
    pc->unplugTransmitter(tx);
    ASSERT_TRUE(pc->waitIdle()); // the thread sleeps after the failed read
    const std::uint64_t before = pc->nowMs();
    forwarder.reset();
    EXPECT_LE(pc->nowMs() - before, 200u);
    EXPECT_THAT(hid->closed(), ElementsAre(consumer));
}

TEST_F(ForwarderTest, TheThreadEndsByItselfOnceTheTransmitterIsGoneAndClosesItsHandle) {
    plug();
    install(u"iTunes");
    somethingElseInFront();
    start();
    globals().transmitterPresent = 0;
    // The pending read still returns its report, which is still delivered; then it leaves.
    pc->pressRemoteKey(tx, kStop);
    ASSERT_TRUE(pc->waitIdle());
    EXPECT_FALSE(pc->transmitterReadPending(tx, HidCollectionRole::Consumer));
    EXPECT_THAT(commands(u"iTunes"), ElementsAre(13));
    EXPECT_EQ(pc->transmitterOpenHandles(tx, HidCollectionRole::Consumer), 0u);
    EXPECT_THAT(hid->closed(), ElementsAre(consumer));
    // Deleting it afterwards touches that handle no more.
    forwarder.reset();
    EXPECT_EQ(hid->closed().size(), 1u);
}

TEST_F(ForwarderTest, RepeatedArrivalAndRemovalLeavesNoThreadOrHandleBehind) {
    plug();
    install(u"Real Player");
    somethingElseInFront();
    for (int round = 0; round < 25; ++round) {
        start();
        press(round % 2 ? kNext : kPrevious);
        forwarder.reset();
    }
    EXPECT_EQ(pc->transmitterOpenHandles(tx, HidCollectionRole::Consumer), 0u);
    EXPECT_EQ(hid->closed().size(), 25u);
    EXPECT_EQ(pc->playerAppCommands(u"Real Player").size(), 25u);
}

TEST_F(ForwarderTest, AForwarderOutlivingTheProcessEndIsDeletedSafely) {
    plug();
    start();
    pc->endProcess(); // the thread leaves its read and closes its handle
    EXPECT_THAT(hid->closed(), ElementsAre(consumer));
    forwarder.reset();
    EXPECT_EQ(hid->closed().size(), 1u);
}

TEST_F(ForwarderTest, WithoutAConsumerHandleTheThreadOnlyWaitsAndStillStops) {
    plug();
    install(u"iTunes");
    forwarder = std::make_unique<ConsumerPageRead>(0);
    pc->advance(2500);
    EXPECT_GE(hid->reads().size(), 3u);
    forwarder.reset();
    EXPECT_THAT(hid->closed(), IsEmpty()); // there was nothing to close
}

} // namespace
