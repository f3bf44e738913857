// The player catalogue on the simulated PC: which players count as installed and in which
// order, whether one runs, and closing and starting each of them on virtual time.
#include "players_support.h"

#include <gmock/gmock.h>

#include <optional>

namespace {

using pptest::countOf;
using pptest::takeLog;
using sim::PlayerRoots;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using Key = pptest::RecordingRegistry::Key;

const std::string unableToOpen = " ERROR :Unable to open key";

std::string testName(const char16_t* player) {
    std::string name = plat::toNarrow(player);
    std::erase(name, ' ');
    return name;
}

class CatalogueTest : public pptest::PlayerTest {
protected:
    // Lists passed in with old entries, which must go.
    plat::StringArray deep() {
        plat::StringArray list{u"stale"};
        EXPECT_EQ(info->getDeepIntegrationPlayerlist(list), 1);
        return list;
    }
    plat::StringArray basic() {
        plat::StringArray list{u"stale"};
        EXPECT_EQ(info->getBasicPlayerlist(list), 1);
        return list;
    }

    // closePlayer on the test thread, whose sleeps move virtual time; the time it took.
    std::uint64_t close(const plat::String& name) {
        const std::uint64_t start = pc->nowMs();
        info->closePlayer(name);
        return pc->nowMs() - start;
    }

    void installRunning(const plat::String& name, std::optional<std::uint32_t> closeDelayMs,
                        bool upgradePrompt = false) {
        sim::PlayerConfig config{.name = name, .closeDelayMs = closeDelayMs,
                                 .upgradePrompt = upgradePrompt, .running = true};
        ASSERT_TRUE(pc->installPlayer(config));
    }

    // When the main window received its close requests, from `start` on (earlier runs'
    // requests are kept too).
    std::vector<std::uint64_t> closeTimes(const plat::String& name, std::uint64_t start,
                                          bool upgradeWindow = false) {
        std::vector<std::uint64_t> at;
        for (const auto& r : pc->playerCloseRequests(name))
            if (r.upgradeWindow == upgradeWindow && r.atMs >= start)
                at.push_back(r.atMs - start);
        return at;
    }
};

// ------------------------------------------------------------------------ detection

TEST_F(CatalogueTest, NothingInstalledTriesEachKeyOnceInOrder) {
    auto& registry = wrap<pptest::RecordingRegistry>(&plat::Platform::registry);
    EXPECT_THAT(deep(), IsEmpty());
    auto log = takeLog();
    EXPECT_EQ(countOf(log, unableToOpen), 5u);
    EXPECT_EQ(log.front(), " TRACE :PcInfo::getDeepIntegrationPlayerlist -- Method Entry.");
    EXPECT_EQ(log.back(), " TRACE :PcInfo::getDeepIntegrationPlayerlist -- Method Exit.");
    EXPECT_THAT(basic(), IsEmpty());
    log = takeLog();
    EXPECT_EQ(countOf(log, unableToOpen), 4u);
    EXPECT_EQ(log.back(), " TRACE :PcInfo::getBasicPlayerlist -- Method Exit.");

    EXPECT_THAT(registry.accesses, ::testing::Each(KEY_READ));
    EXPECT_THAT(registry.opened,
                ElementsAre(Key{plat::HKCU, u"SOFTWARE\\Classes\\Applications\\wmplayer.exe\\"},
                            Key{plat::HKLM, u"SOFTWARE\\Classes\\Applications\\wmplayer.exe\\"},
                            Key{plat::HKCU, u"SOFTWARE\\Classes\\Applications\\mmjb.exe\\"},
                            Key{plat::HKLM, u"Software\\MusicMatch\\MusicMatch Jukebox\\4.0\\MainApp\\"},
                            Key{plat::HKCU, u"Software\\Winamp\\"},
                            Key{plat::HKCU, u"SOFTWARE\\Classes\\Applications\\RealPlay.exe\\"},
                            Key{plat::HKLM, u"SOFTWARE\\Classes\\Applications\\RealPlay.exe\\"},
                            Key{plat::HKCU, u"SOFTWARE\\Classes\\Applications\\iTunes.exe\\"},
                            Key{plat::HKLM, u"SOFTWARE\\Classes\\Applications\\iTunes.exe\\"}));
}

TEST_F(CatalogueTest, InstalledPlayersAreListedInCatalogueOrderFromEitherRoot) {
    for (const char16_t* name : {u"iTunes", u"Winamp", u"Real Player", u"Musicmatch",
                                 u"Windows Media Player"})
        install(name, PlayerRoots::Both);
    EXPECT_THAT(deep(), ElementsAre(u"Windows Media Player", u"Musicmatch", u"Winamp"));
    EXPECT_THAT(basic(), ElementsAre(u"Real Player", u"iTunes"));
    // Found under HKCU, so HKLM was never tried.
    EXPECT_EQ(countOf(takeLog(), unableToOpen), 0u);

    for (const char16_t* name : {u"Windows Media Player", u"Musicmatch", u"Real Player", u"iTunes"})
        install(name, PlayerRoots::LocalMachine);
    EXPECT_THAT(deep(), ElementsAre(u"Windows Media Player", u"Musicmatch", u"Winamp"));
    EXPECT_THAT(basic(), ElementsAre(u"Real Player", u"iTunes"));
}

TEST_F(CatalogueTest, WinampAndMusicmatchAreFoundOnlyUnderTheirOwnKeys) {
    install(u"Winamp", PlayerRoots::LocalMachine); // installed for another user
    pc->createKey(plat::HKLM, u"SOFTWARE\\Classes\\Applications\\mmjb.exe\\");
    EXPECT_THAT(deep(), IsEmpty());
    pc->createKey(plat::HKLM, u"Software\\MusicMatch\\MusicMatch Jukebox\\4.0\\MainApp\\");
    install(u"Winamp", PlayerRoots::CurrentUser);
    EXPECT_THAT(deep(), ElementsAre(u"Musicmatch", u"Winamp"));
}

TEST_F(CatalogueTest, ListsAreReadAfreshOnEveryCall) {
    install(u"iTunes");
    EXPECT_THAT(basic(), ElementsAre(u"iTunes"));
    pc->deleteTree(plat::HKCU, u"SOFTWARE\\Classes\\Applications\\iTunes.exe\\");
    EXPECT_THAT(basic(), IsEmpty());
}

// ------------------------------------------------------------------------ running

TEST_F(CatalogueTest, CheckActiveFindsEachPlayersWindowOnlyUnderItsExactName) {
    for (const char16_t* name : {u"Windows Media Player", u"Musicmatch", u"Winamp", u"Real Player",
                                 u"iTunes"}) {
        EXPECT_EQ(info->checkActive(name), 0);
        install(name, PlayerRoots::CurrentUser, true);
        EXPECT_EQ(info->checkActive(name), 1) << plat::toNarrow(name);
    }
    // Every player's window exists, so only the name can make these fail.
    for (const char16_t* wrong : {u"Real player", u"RealPlayer", u"winamp", u"itunes",
                                  u"Windows Media player", u"MusicMatch", u"Default", u""})
        EXPECT_EQ(info->checkActive(wrong), 0) << plat::toNarrow(wrong);

    pc->quitPlayer(u"Winamp");
    pc->createForeignWindow(u"Winamp v1.x", u"Winamp", 7000);
    EXPECT_EQ(info->checkActive(u"Winamp"), 1);
}

// ------------------------------------------------------------------------ closing

TEST_F(CatalogueTest, WinampsClassicWindowIsTerminatedAndTheWaitEndsAfterOneCheck) {
    ASSERT_TRUE(pc->installPlayer({.name = u"Winamp", .winampWindow = sim::WinampWindow::Classic,
                                   .running = true}));
    const std::uint32_t pid = pc->playerProcessId(u"Winamp");
    auto& processes = wrap<pptest::RecordingProcesses>(&plat::Platform::processes);
    EXPECT_EQ(close(u"Winamp"), 1000u);
    EXPECT_FALSE(pc->processAlive(pid));
    EXPECT_THAT(processes.accesses, ElementsAre(PROCESS_ALL_ACCESS));
    EXPECT_THAT(processes.exitCodes, ElementsAre(1u));
    EXPECT_EQ(processes.closed, 1);
    EXPECT_THAT(pc->playerCloseRequests(u"Winamp"), IsEmpty());
    EXPECT_EQ(takeLog().back(), " TRACE :PcInfo::closePlayer -- Method Exit(Player Closed).");

    // A Winamp that cannot be terminated: the wait looks for the current class only, and
    // that one is asked to close at the third, sixth ... thirtieth check.
    pc->createForeignWindow(u"Winamp v1.x", u"Winamp", sim::SimPc::kProgramProcessId);
    EXPECT_EQ(close(u"Winamp"), 1000u);
    const plat::Hwnd modern =
        pc->createForeignWindow(u"BaseWindow_RootWnd", u"Winamp", sim::SimPc::kProgramProcessId);
    EXPECT_EQ(close(u"Winamp"), 30000u);
    EXPECT_EQ(pc->received(modern).size(), 10u);
}

TEST_F(CatalogueTest, MusicmatchAlwaysPausesTwoSecondsThenClosesItsUpgradeOffer) {
    installRunning(u"Musicmatch", 0, true);
    std::uint64_t start = pc->nowMs();
    EXPECT_EQ(close(u"Musicmatch"), 2000u);
    EXPECT_THAT(closeTimes(u"Musicmatch", start), ElementsAre(0u));
    EXPECT_THAT(closeTimes(u"Musicmatch", start, true), ElementsAre(2000u));
    EXPECT_FALSE(pc->playerRunning(u"Musicmatch"));

    installRunning(u"Musicmatch", 0); // gone at once, no offer: the pause all the same
    EXPECT_EQ(close(u"Musicmatch"), 2000u);

    installRunning(u"Musicmatch", std::nullopt); // never goes: asked again from the pause on
    start = pc->nowMs();
    EXPECT_EQ(close(u"Musicmatch"), 32000u);
    EXPECT_THAT(closeTimes(u"Musicmatch", start),
                ElementsAre(0u, 5000u, 8000u, 11000u, 14000u, 17000u, 20000u, 23000u, 26000u,
                            29000u, 32000u));
}

TEST_F(CatalogueTest, PlayersNotRunningOrUnknownAreNotWaitedFor) {
    for (const char16_t* name : {u"Musicmatch", u"Winamp", u"Windows Media Player", u"iTunes",
                                 u"Real Player"}) {
        install(name);
        EXPECT_EQ(close(name), 0u) << plat::toNarrow(name);
        EXPECT_EQ(takeLog().back(), " TRACE :PcInfo::closePlayer -- Method Exit(Player Closed).");
    }
    auto& processes = wrap<pptest::RecordingProcesses>(&plat::Platform::processes);
    for (const char16_t* name : {u"Default", u"RealPlayer", u"real player"}) {
        EXPECT_EQ(close(name), 0u);
        EXPECT_EQ(takeLog().back(), " TRACE :PcInfo::closePlayer -- Method Exit(No Player Found).");
        info->startPlayer(name);
        EXPECT_EQ(takeLog(), (std::vector<std::string>{
                                 " TRACE :PcInfo::startPlayer -- Method Entry.",
                                 " TRACE :PcInfo::startPlayer -- Method Exit(No player to start).",
                             }));
    }
    EXPECT_THAT(processes.shells, IsEmpty());
    EXPECT_THAT(processes.accesses, IsEmpty());
}

class IgnoredCloseTest : public CatalogueTest, public ::testing::WithParamInterface<const char16_t*> {};

TEST_P(IgnoredCloseTest, TheRequestIsRepeatedEveryThirdCheckAndTheWaitEndsAfterThirty) {
    installRunning(GetParam(), std::nullopt);
    const std::uint64_t start = pc->nowMs();
    EXPECT_EQ(close(GetParam()), 30000u);
    EXPECT_THAT(closeTimes(GetParam(), start),
                ElementsAre(0u, 3000u, 6000u, 9000u, 12000u, 15000u, 18000u, 21000u, 24000u,
                            27000u, 30000u));
    EXPECT_TRUE(pc->playerRunning(GetParam()));

    // Slow but not deaf: gone at the fourth check, asked again at the third.
    pc->quitPlayer(GetParam());
    pc->advance(1000);
    installRunning(GetParam(), 3500);
    const std::uint64_t again = pc->nowMs();
    EXPECT_EQ(close(GetParam()), 4000u);
    EXPECT_THAT(closeTimes(GetParam(), again), ElementsAre(0u, 3000u));
}

INSTANTIATE_TEST_SUITE_P(Players, IgnoredCloseTest,
                         ::testing::Values(u"Windows Media Player", u"iTunes", u"Real Player"),
                         [](const auto& p) { return testName(p.param); });

// ------------------------------------------------------------------------ starting

struct StartCase {
    const char16_t* name;
    std::uint64_t pauseMs;
    Key location; // exactly as spelled: Real Player's has no trailing backslash
};

class StartTest : public CatalogueTest, public ::testing::WithParamInterface<StartCase> {};

TEST_P(StartTest, TheProgramLocatedInTheRegistryIsOpenedByTheShellAfterThePause) {
    const StartCase c = GetParam();
    install(c.name, plat::String(c.name) == u"Winamp" ? PlayerRoots::CurrentUser
                                                      : PlayerRoots::LocalMachine);
    auto& processes = wrap<pptest::RecordingProcesses>(&plat::Platform::processes);
    auto& registry = wrap<pptest::RecordingRegistry>(&plat::Platform::registry);
    const std::uint64_t start = pc->nowMs();
    info->startPlayer(c.name);
    EXPECT_EQ(pc->nowMs() - start, c.pauseMs);
    EXPECT_THAT(registry.opened, ElementsAre(c.location));
    ASSERT_EQ(processes.shells.size(), 1u);
    EXPECT_EQ(processes.shells[0].owner, 0u);
    EXPECT_EQ(processes.shells[0].verb, u"open");
    EXPECT_EQ(processes.shells[0].file, pc->playerProgramPath(c.name));
    EXPECT_EQ(processes.shells[0].show, SW_SHOWNORMAL);
    EXPECT_TRUE(pc->playerRunning(c.name));
    EXPECT_EQ(takeLog().back(), " TRACE :PcInfo::startPlayer -- Method Exit(Player Started).");
}

INSTANTIATE_TEST_SUITE_P(
    Players, StartTest,
    ::testing::Values(
        StartCase{u"Musicmatch", 5000,
                  {plat::HKLM, u"Software\\MusicMatch\\MusicMatch Jukebox\\4.0\\MainApp\\"}},
        StartCase{u"Winamp", 0, {plat::HKCU, u"Software\\Winamp\\"}},
        StartCase{u"Windows Media Player", 1000, {plat::HKLM, u"Software\\Microsoft\\MediaPlayer\\"}},
        StartCase{u"iTunes", 0,
                  {plat::HKLM, u"SOFTWARE\\Apple Computer, Inc.\\iPod\\RegisteredApps\\4\\"}},
        StartCase{u"Real Player", 0,
                  {plat::HKCU, u"Software\\RealNetworks\\RealJukebox\\1.0\\Preferences"}}),
    [](const auto& p) { return testName(p.param.name); });

TEST_F(CatalogueTest, NothingStartsWithoutALocationThatFitsTwoHundredCharacters) {
    auto& processes = wrap<pptest::RecordingProcesses>(&plat::Platform::processes);
    install(u"Winamp", PlayerRoots::LocalMachine); // HKCU only counts
    info->startPlayer(u"Winamp");
    EXPECT_THAT(processes.shells, IsEmpty());
    EXPECT_EQ(takeLog().back(), " TRACE :PcInfo::startPlayer -- Method Exit(Player Started).");

    const plat::String key = u"Software\\Microsoft\\MediaPlayer\\";
    const plat::String fits = u"C:\\" + plat::String(196, u'w'); // 199 and the null: 200
    pc->setString(plat::HKLM, key, u"Installation Directory", fits + u"w");
    info->startPlayer(u"Windows Media Player");
    EXPECT_THAT(processes.shells, IsEmpty());
    pc->setString(plat::HKLM, key, u"Installation Directory", fits);
    info->startPlayer(u"Windows Media Player");
    ASSERT_EQ(processes.shells.size(), 1u);
    EXPECT_EQ(processes.shells[0].file, fits + u"\\wmplayer.exe");
}

} // namespace
