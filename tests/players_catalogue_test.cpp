// The player catalogue on the simulated PC: which players count as installed and in which
// order, whether one runs, and closing and starting each of them on virtual time.
#include "players_support.h"

#include <gmock/gmock.h>

#include <optional>

namespace {

using pptest::countOf;
using pptest::takeLog;
using sim::PlayerConfig;
using sim::PlayerRoots;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

const std::string unableToOpen = " ERROR :Unable to open key";

class CatalogueTest : public pptest::PlayerTest {
protected:
    void install(const plat::String& name, PlayerRoots roots = PlayerRoots::CurrentUser,
                 bool running = false) {
        PlayerConfig config;
        config.name = name;
        config.roots = roots;
        config.running = running;
        ASSERT_TRUE(pc->installPlayer(config));
    }

    plat::StringArray deep() {
        plat::StringArray list{u"stale entry"};
        EXPECT_EQ(info->getDeepIntegrationPlayerlist(list), 1);
        return list;
    }

    plat::StringArray basic() {
        plat::StringArray list{u"stale", u"entries"};
        EXPECT_EQ(info->getBasicPlayerlist(list), 1);
        return list;
    }
};

// ------------------------------------------------------------------------ detection

TEST_F(CatalogueTest, NothingInstalledGivesEmptyListsAndOneErrorPerKeyTried) {
    recordRegistry();
    EXPECT_THAT(deep(), IsEmpty());
    auto log = takeLog();
    EXPECT_EQ(countOf(log, unableToOpen), 5u);
    EXPECT_EQ(log.front(), " TRACE :PcInfo::getDeepIntegrationPlayerlist -- Method Entry.");
    EXPECT_EQ(log.back(), " TRACE :PcInfo::getDeepIntegrationPlayerlist -- Method Exit.");

    EXPECT_THAT(basic(), IsEmpty());
    log = takeLog();
    EXPECT_EQ(countOf(log, unableToOpen), 4u);
    EXPECT_EQ(log.front(), " TRACE :PcInfo::getBasicPlayerlist -- Method Entry.");
    EXPECT_EQ(log.back(), " TRACE :PcInfo::getBasicPlayerlist -- Method Exit.");

    // The exact keys, roots and their order, each opened for reading.
    std::vector<std::pair<plat::HKey, plat::String>> keys;
    for (const auto& open : registry->taken()) {
        EXPECT_EQ(open.access, KEY_READ);
        keys.emplace_back(open.root, open.subkey);
    }
    using K = std::pair<plat::HKey, plat::String>;
    EXPECT_THAT(keys,
                ElementsAre(K{plat::HKCU, u"SOFTWARE\\Classes\\Applications\\wmplayer.exe\\"},
                            K{plat::HKLM, u"SOFTWARE\\Classes\\Applications\\wmplayer.exe\\"},
                            K{plat::HKCU, u"SOFTWARE\\Classes\\Applications\\mmjb.exe\\"},
                            K{plat::HKLM, u"Software\\MusicMatch\\MusicMatch Jukebox\\4.0\\MainApp\\"},
                            K{plat::HKCU, u"Software\\Winamp\\"},
                            K{plat::HKCU, u"SOFTWARE\\Classes\\Applications\\RealPlay.exe\\"},
                            K{plat::HKLM, u"SOFTWARE\\Classes\\Applications\\RealPlay.exe\\"},
                            K{plat::HKCU, u"SOFTWARE\\Classes\\Applications\\iTunes.exe\\"},
                            K{plat::HKLM, u"SOFTWARE\\Classes\\Applications\\iTunes.exe\\"}));
}

TEST_F(CatalogueTest, AllFiveAreListedInCatalogueOrderAndTheSecondRootIsNotTried) {
    // Installed in an order unlike the catalogue's, under both roots.
    for (const char16_t* name : {u"iTunes", u"Winamp", u"Real Player", u"Musicmatch",
                                 u"Windows Media Player"})
        install(name, PlayerRoots::Both);
    recordRegistry();
    EXPECT_THAT(deep(), ElementsAre(u"Windows Media Player", u"Musicmatch", u"Winamp"));
    EXPECT_THAT(basic(), ElementsAre(u"Real Player", u"iTunes"));
    EXPECT_EQ(countOf(takeLog(), unableToOpen), 0u);
    for (const auto& open : registry->taken())
        EXPECT_EQ(open.root, plat::HKCU) << plat::toNarrow(open.subkey);
}

TEST_F(CatalogueTest, PlayersInstalledForTheMachineOnlyAreFoundUnderTheSecondRoot) {
    for (const char16_t* name : {u"Windows Media Player", u"Musicmatch", u"Real Player", u"iTunes"})
        install(name, PlayerRoots::LocalMachine);
    EXPECT_THAT(deep(), ElementsAre(u"Windows Media Player", u"Musicmatch"));
    // One failed HKCU check for each of the two, and Winamp's one key.
    EXPECT_EQ(countOf(takeLog(), unableToOpen), 3u);
    EXPECT_THAT(basic(), ElementsAre(u"Real Player", u"iTunes"));
    EXPECT_EQ(countOf(takeLog(), unableToOpen), 2u);
}

TEST_F(CatalogueTest, WinampCountsOnlyWhenInstalledForThisUser) {
    install(u"Winamp", PlayerRoots::LocalMachine);
    EXPECT_THAT(deep(), IsEmpty());
    install(u"Winamp", PlayerRoots::CurrentUser);
    EXPECT_THAT(deep(), ElementsAre(u"Winamp"));
}

TEST_F(CatalogueTest, MusicmatchUnderTheApplicationsKeyOfTheMachineIsNotListed) {
    // The HKLM check looks at the MainApp key, not at the Applications key HKCU uses.
    pc->createKey(plat::HKLM, u"SOFTWARE\\Classes\\Applications\\mmjb.exe\\");
    EXPECT_THAT(deep(), IsEmpty());
    pc->createKey(plat::HKLM, u"Software\\MusicMatch\\MusicMatch Jukebox\\4.0\\MainApp\\");
    EXPECT_THAT(deep(), ElementsAre(u"Musicmatch"));
}

TEST_F(CatalogueTest, ListsAreReadAfreshOnEveryCall) {
    EXPECT_THAT(basic(), IsEmpty());
    install(u"iTunes");
    EXPECT_THAT(basic(), ElementsAre(u"iTunes"));
    pc->deleteTree(plat::HKCU, u"SOFTWARE\\Classes\\Applications\\iTunes.exe\\");
    EXPECT_THAT(basic(), IsEmpty());
}

// ------------------------------------------------------------------------ running

TEST_F(CatalogueTest, CheckActiveFindsEachPlayersWindowAndOnlyUnderItsExactName) {
    EXPECT_EQ(info->checkActive(u"iTunes"), 0);
    for (const char16_t* name : {u"Windows Media Player", u"Musicmatch", u"Winamp", u"Real Player",
                                 u"iTunes"}) {
        install(name, PlayerRoots::CurrentUser, true);
        EXPECT_EQ(info->checkActive(name), 1) << plat::toNarrow(name);
    }
    // Every player's window exists, so only the name can make these fail.
    for (const char16_t* wrong : {u"Real player", u"RealPlayer", u"winamp", u"WINAMP", u"itunes",
                                  u"Windows Media player", u"MusicMatch", u"Default", u""})
        EXPECT_EQ(info->checkActive(wrong), 0) << plat::toNarrow(wrong);
    const auto log = takeLog();
    EXPECT_EQ(countOf(log, " TRACE :PcInfo::checkActive -- Method Entry."), 15u);
    EXPECT_EQ(countOf(log, " TRACE :PcInfo::checkActive -- Method Exit."), 15u);
}

TEST_F(CatalogueTest, WinampRunsUnderEitherOfItsWindowClasses) {
    const plat::Hwnd classic = pc->createForeignWindow(u"Winamp v1.x", u"Winamp", 7000);
    EXPECT_EQ(info->checkActive(u"Winamp"), 1);
    pc->destroyWindow(classic);
    EXPECT_EQ(info->checkActive(u"Winamp"), 0);
    pc->createForeignWindow(u"BaseWindow_RootWnd", u"Winamp", 7004);
    EXPECT_EQ(info->checkActive(u"Winamp"), 1);
}

// ------------------------------------------------------------------------ closing

class CloseTest : public CatalogueTest {
protected:
    void installWithDelay(const plat::String& name, std::optional<std::uint32_t> closeDelayMs,
                          bool upgradePrompt = false) {
        PlayerConfig config;
        config.name = name;
        config.running = true;
        config.closeDelayMs = closeDelayMs;
        config.upgradePrompt = upgradePrompt;
        ASSERT_TRUE(pc->installPlayer(config));
    }

    // Runs closePlayer on the test thread, whose sleeps move virtual time; the time it took.
    std::uint64_t close(const plat::String& name) {
        const std::uint64_t start = pc->nowMs();
        info->closePlayer(name);
        return pc->nowMs() - start;
    }

    static std::vector<std::uint64_t> times(const std::vector<sim::PlayerCloseRequest>& requests,
                                            bool upgrade = false) {
        std::vector<std::uint64_t> out;
        for (const auto& r : requests)
            if (r.upgradeWindow == upgrade)
                out.push_back(r.atMs);
        return out;
    }
};

TEST_F(CloseTest, WinampsClassicWindowIsTerminatedAndTheWaitEndsAfterOneCheck) {
    PlayerConfig config;
    config.name = u"Winamp";
    config.running = true;
    config.winampWindow = sim::WinampWindow::Classic;
    ASSERT_TRUE(pc->installPlayer(config));
    const std::uint32_t pid = pc->playerProcessId(u"Winamp");
    ASSERT_NE(pid, 0u);
    recordProcesses();

    EXPECT_EQ(close(u"Winamp"), 1000u);
    EXPECT_FALSE(pc->processAlive(pid));
    EXPECT_FALSE(pc->playerRunning(u"Winamp"));
    ASSERT_EQ(processes->opens.size(), 1u);
    EXPECT_EQ(processes->opens[0].access, PROCESS_ALL_ACCESS);
    EXPECT_EQ(processes->opens[0].processId, pid);
    EXPECT_THAT(processes->exitCodes, ElementsAre(1u));
    EXPECT_EQ(processes->closedHandles, 1);
    // Terminated, never asked.
    EXPECT_THAT(pc->playerCloseRequests(u"Winamp"), IsEmpty());
    const auto log = takeLog();
    EXPECT_EQ(log.front(), " TRACE :PcInfo::closePlayer -- Method Entry.");
    EXPECT_EQ(log.back(), " TRACE :PcInfo::closePlayer -- Method Exit(Player Closed).");
}

TEST_F(CloseTest, WinampsProcessThatCannotBeTerminatedIsWaitedForByItsCurrentClassOnly) {
    // A window whose process the program cannot end (it belongs to the program itself here):
    // the classic class is not looked for again, so the wait stops after one check.
    pc->createForeignWindow(u"Winamp v1.x", u"Winamp", sim::SimPc::kProgramProcessId);
    EXPECT_EQ(close(u"Winamp"), 1000u);
    // The modern class is waited for the full thirty checks; Winamp is not asked to close at
    // the start, only by the repeated requests of the wait.
    const plat::Hwnd modern = pc->createForeignWindow(u"BaseWindow_RootWnd", u"Winamp",
                                                      sim::SimPc::kProgramProcessId);
    EXPECT_EQ(close(u"Winamp"), 30000u);
    std::size_t closes = 0;
    for (const auto& m : pc->received(modern))
        closes += m.msg == WM_CLOSE;
    EXPECT_EQ(closes, 10u); // at checks 3, 6, ... 30; never at the start
}

TEST_F(CloseTest, MusicmatchAlwaysPausesTwoSecondsThenClosesItsUpgradeOffer) {
    installWithDelay(u"Musicmatch", 0, true);
    std::uint64_t start = pc->nowMs();
    EXPECT_EQ(close(u"Musicmatch"), 2000u);
    const auto requests = pc->playerCloseRequests(u"Musicmatch");
    EXPECT_THAT(times(requests), ElementsAre(start));
    EXPECT_THAT(times(requests, true), ElementsAre(start + 2000));
    EXPECT_FALSE(pc->playerRunning(u"Musicmatch"));

    // Without the offer, and closing at once: still the full pause, then no check at all.
    installWithDelay(u"Musicmatch", 0, false);
    EXPECT_EQ(close(u"Musicmatch"), 2000u);
    EXPECT_FALSE(pc->playerRunning(u"Musicmatch"));

    // Slow to close: the pause, then checks until it has gone.
    installWithDelay(u"Musicmatch", 4500, false);
    EXPECT_EQ(close(u"Musicmatch"), 5000u);
    EXPECT_FALSE(pc->playerRunning(u"Musicmatch"));
}

TEST_F(CloseTest, MusicmatchIgnoringTheRequestIsAskedAgainCountingFromItsPause) {
    installWithDelay(u"Musicmatch", std::nullopt);
    const std::uint64_t start = pc->nowMs();
    EXPECT_EQ(close(u"Musicmatch"), 32000u);
    std::vector<std::uint64_t> at;
    for (std::uint64_t t : times(pc->playerCloseRequests(u"Musicmatch")))
        at.push_back(t - start);
    EXPECT_THAT(at, ElementsAre(0u, 5000u, 8000u, 11000u, 14000u, 17000u, 20000u, 23000u, 26000u,
                                29000u, 32000u));
    EXPECT_TRUE(pc->playerRunning(u"Musicmatch"));
}

TEST_F(CloseTest, APlayerThatIsNotRunningReturnsAtOnce) {
    for (const char16_t* name : {u"Musicmatch", u"Winamp", u"Windows Media Player", u"iTunes",
                                 u"Real Player"}) {
        install(name);
        recordProcesses();
        EXPECT_EQ(close(name), 0u) << plat::toNarrow(name);
        EXPECT_THAT(processes->opens, IsEmpty());
        EXPECT_EQ(takeLog().back(), " TRACE :PcInfo::closePlayer -- Method Exit(Player Closed).");
    }
}

TEST_F(CloseTest, UnknownNamesCloseNothing) {
    installWithDelay(u"Real Player", 0);
    for (const char16_t* name : {u"Default", u"RealPlayer", u"real player"}) {
        EXPECT_EQ(close(name), 0u);
        EXPECT_EQ(takeLog(), (std::vector<std::string>{
                                 " TRACE :PcInfo::closePlayer -- Method Entry.",
                                 " TRACE :PcInfo::closePlayer -- Method Exit(No Player Found).",
                             }));
    }
    EXPECT_TRUE(pc->playerRunning(u"Real Player"));
    EXPECT_THAT(pc->playerCloseRequests(u"Real Player"), IsEmpty());
}

class IgnoredCloseTest : public CloseTest, public ::testing::WithParamInterface<const char16_t*> {};

TEST_P(IgnoredCloseTest, TheRequestIsRepeatedEveryThirdCheckAndTheWaitEndsAfterThirty) {
    installWithDelay(GetParam(), std::nullopt);
    const std::uint64_t start = pc->nowMs();
    EXPECT_EQ(close(GetParam()), 30000u);
    std::vector<std::uint64_t> at;
    for (std::uint64_t t : times(pc->playerCloseRequests(GetParam())))
        at.push_back(t - start);
    EXPECT_THAT(at, ElementsAre(0u, 3000u, 6000u, 9000u, 12000u, 15000u, 18000u, 21000u, 24000u,
                                27000u, 30000u));
    EXPECT_TRUE(pc->playerRunning(GetParam()));
    EXPECT_EQ(takeLog().back(), " TRACE :PcInfo::closePlayer -- Method Exit(Player Closed).");
}

INSTANTIATE_TEST_SUITE_P(Players, IgnoredCloseTest,
                         ::testing::Values(u"Windows Media Player", u"iTunes", u"Real Player"),
                         [](const auto& info) {
                             std::string name = plat::toNarrow(info.param);
                             std::erase(name, ' ');
                             return name;
                         });

TEST_F(CloseTest, APlayerSlowToCloseIsAskedAgainOnlyOnMultiplesOfThree) {
    // Gone before the third check: asked once.
    installWithDelay(u"iTunes", 2500);
    EXPECT_EQ(close(u"iTunes"), 3000u);
    EXPECT_EQ(pc->playerCloseRequests(u"iTunes").size(), 1u);

    // Still there at the third check: asked again then, gone at the fourth.
    installWithDelay(u"Windows Media Player", 3500);
    const std::uint64_t start = pc->nowMs();
    EXPECT_EQ(close(u"Windows Media Player"), 4000u);
    std::vector<std::uint64_t> at;
    for (std::uint64_t t : times(pc->playerCloseRequests(u"Windows Media Player")))
        at.push_back(t - start);
    EXPECT_THAT(at, ElementsAre(0u, 3000u));
}

// ------------------------------------------------------------------------ starting

struct StartCase {
    const char16_t* name;
    std::uint64_t pauseMs;
};

class StartTest : public CatalogueTest, public ::testing::WithParamInterface<StartCase> {};

TEST_P(StartTest, TheProgramFoundThroughTheRegistryIsOpenedByTheShellAfterThePause) {
    const StartCase c = GetParam();
    // Installed for the machine as far as the player allows, to show where the path is read.
    install(c.name, plat::String(c.name) == u"Winamp" ? PlayerRoots::CurrentUser
                                                      : PlayerRoots::LocalMachine);
    recordProcesses();
    const std::uint64_t start = pc->nowMs();
    info->startPlayer(c.name);
    EXPECT_EQ(pc->nowMs() - start, c.pauseMs);
    ASSERT_EQ(processes->shells.size(), 1u);
    EXPECT_EQ(processes->shells[0].verb, u"open");
    EXPECT_EQ(processes->shells[0].file, pc->playerProgramPath(c.name));
    EXPECT_EQ(processes->shells[0].show, SW_SHOWNORMAL);
    EXPECT_EQ(processes->shells[0].owner, 0u);
    EXPECT_TRUE(pc->playerRunning(c.name));
    const auto log = takeLog();
    EXPECT_EQ(log.front(), " TRACE :PcInfo::startPlayer -- Method Entry.");
    EXPECT_EQ(log.back(), " TRACE :PcInfo::startPlayer -- Method Exit(Player Started).");
}

INSTANTIATE_TEST_SUITE_P(Players, StartTest,
                         ::testing::Values(StartCase{u"Musicmatch", 5000},
                                           StartCase{u"Winamp", 0},
                                           StartCase{u"Windows Media Player", 1000},
                                           StartCase{u"iTunes", 0}, StartCase{u"Real Player", 0}),
                         [](const auto& info) {
                             std::string name = plat::toNarrow(info.param.name);
                             std::erase(name, ' ');
                             return name;
                         });

TEST_F(CatalogueTest, EachPlayersLocationIsReadFromItsExactKey) {
    recordRegistry();
    using K = std::pair<plat::HKey, plat::String>;
    const std::vector<std::pair<const char16_t*, K>> expected = {
        {u"Musicmatch", {plat::HKLM, u"Software\\MusicMatch\\MusicMatch Jukebox\\4.0\\MainApp\\"}},
        {u"Winamp", {plat::HKCU, u"Software\\Winamp\\"}},
        {u"Windows Media Player", {plat::HKLM, u"Software\\Microsoft\\MediaPlayer\\"}},
        {u"iTunes", {plat::HKLM, u"SOFTWARE\\Apple Computer, Inc.\\iPod\\RegisteredApps\\4\\"}},
        // No trailing backslash, unlike the others.
        {u"Real Player", {plat::HKCU, u"Software\\RealNetworks\\RealJukebox\\1.0\\Preferences"}},
    };
    for (const auto& [name, key] : expected) {
        info->startPlayer(name);
        const auto opens = registry->taken();
        ASSERT_EQ(opens.size(), 1u) << plat::toNarrow(name);
        EXPECT_EQ(K(opens[0].root, opens[0].subkey), key) << plat::toNarrow(name);
    }
}

TEST_F(CatalogueTest, WinampRegisteredOnlyForTheMachineIsNotStarted) {
    install(u"Winamp", PlayerRoots::LocalMachine);
    recordProcesses();
    info->startPlayer(u"Winamp");
    EXPECT_THAT(processes->shells, IsEmpty());
    EXPECT_FALSE(pc->playerRunning(u"Winamp"));
    // The exit line is the one of a start all the same.
    EXPECT_EQ(takeLog().back(), " TRACE :PcInfo::startPlayer -- Method Exit(Player Started).");
}

TEST_F(CatalogueTest, UnknownNamesStartNothing) {
    install(u"Real Player");
    recordProcesses();
    for (const char16_t* name : {u"Default", u"Real player", u"RealPlayer"}) {
        const std::uint64_t start = pc->nowMs();
        info->startPlayer(name);
        EXPECT_EQ(pc->nowMs(), start);
        EXPECT_EQ(takeLog(), (std::vector<std::string>{
                                 " TRACE :PcInfo::startPlayer -- Method Entry.",
                                 " TRACE :PcInfo::startPlayer -- Method Exit(No player to start).",
                             }));
    }
    EXPECT_THAT(processes->shells, IsEmpty());
}

TEST_F(CatalogueTest, AProgramLocationMustFitTwoHundredCharacters) {
    recordProcesses();
    const plat::String key = u"Software\\Microsoft\\MediaPlayer\\";
    // 199 characters and the terminating null fill the buffer exactly.
    const plat::String fits = u"C:\\" + plat::String(196, u'w');
    pc->setString(plat::HKLM, key, u"Installation Directory", fits);
    info->startPlayer(u"Windows Media Player");
    ASSERT_EQ(processes->shells.size(), 1u);
    EXPECT_EQ(processes->shells[0].file, fits + u"\\wmplayer.exe");

    pc->setString(plat::HKLM, key, u"Installation Directory", fits + u"w");
    info->startPlayer(u"Windows Media Player");
    EXPECT_EQ(processes->shells.size(), 1u);
    EXPECT_EQ(countOf(takeLog(), " ERROR :Error Querrying Value (Installation Directory)"), 1u);
}

} // namespace
