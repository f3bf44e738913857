// The virtual media players: what they leave in the registry and the file system, how they
// start from the shell, close on request or by termination, and what they record.
#include "scenario.h"
#include "sim_pc.h"
#include "text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

namespace {

using plat::HKCU;
using plat::HKLM;
using sim::PlayerConfig;
using sim::PlayerRoots;
using String = plat::String;

const String kWmpKey = u"SOFTWARE\\Classes\\Applications\\wmplayer.exe\\";
const String kMmjbUserKey = u"SOFTWARE\\Classes\\Applications\\mmjb.exe\\";
const String kMmjbMachineKey = u"Software\\MusicMatch\\MusicMatch Jukebox\\4.0\\MainApp\\";
const String kWinampKey = u"Software\\Winamp\\";
const String kRealKey = u"SOFTWARE\\Classes\\Applications\\RealPlay.exe\\";
const String kITunesKey = u"SOFTWARE\\Classes\\Applications\\iTunes.exe\\";

PlayerConfig player(const String& name, PlayerRoots roots = PlayerRoots::CurrentUser) {
    PlayerConfig c;
    c.name = name;
    c.roots = roots;
    return c;
}

class SimPlayers : public testing::Test {
protected:
    sim::SimPc pc;
    plat::Desktop& desktop = *pc.bundle().desktop;
    plat::Processes& processes = *pc.bundle().processes;

    bool open(const String& file, const String& verb = u"open") {
        return processes.shellExecute(0, verb, file, SW_SHOWNORMAL) > 32;
    }

    std::vector<std::string> journalLinesWith(const std::string& part) {
        std::vector<std::string> out;
        for (const auto& line : pc.takeJournal())
            if (line.find(part) != std::string::npos)
                out.push_back(line);
        return out;
    }
};

// ------------------------------------------------------------ installation

TEST_F(SimPlayers, DetectionKeysFollowEachPlayersRowForEitherRoot) {
    ASSERT_TRUE(pc.installPlayer(player(u"Windows Media Player", PlayerRoots::LocalMachine)));
    EXPECT_FALSE(pc.keyExists(HKCU, kWmpKey));
    EXPECT_TRUE(pc.keyExists(HKLM, kWmpKey));
    EXPECT_TRUE(pc.playerDetectable(u"Windows Media Player"));

    ASSERT_TRUE(pc.installPlayer(player(u"Real Player")));
    EXPECT_TRUE(pc.keyExists(HKCU, kRealKey));
    EXPECT_FALSE(pc.keyExists(HKLM, kRealKey));

    ASSERT_TRUE(pc.installPlayer(player(u"iTunes", PlayerRoots::Both)));
    EXPECT_TRUE(pc.keyExists(HKCU, kITunesKey));
    EXPECT_TRUE(pc.keyExists(HKLM, kITunesKey));
    EXPECT_EQ(pc.stringValue(HKCU, kITunesKey + u"shell\\open\\command", u""),
              u"\"C:\\Program Files\\iTunes\\iTunes.exe\" \"%1\"");

    // Musicmatch's machine-wide key is its own application key, not a Classes one.
    PlayerConfig mm = player(u"Musicmatch", PlayerRoots::LocalMachine);
    ASSERT_TRUE(pc.installPlayer(mm));
    EXPECT_TRUE(pc.keyExists(HKLM, kMmjbMachineKey));
    EXPECT_FALSE(pc.keyExists(HKLM, kMmjbUserKey));
    EXPECT_FALSE(pc.keyExists(HKCU, kMmjbUserKey));
    mm.roots = PlayerRoots::CurrentUser;
    mm.recordsLocation = false;
    ASSERT_TRUE(pc.installPlayer(mm));
    EXPECT_TRUE(pc.keyExists(HKCU, kMmjbUserKey));
    EXPECT_FALSE(pc.keyExists(HKLM, kMmjbMachineKey)) << "the reinstall replaced the registration";

    // Winamp counts under HKCU only: one installed for all users is not detectable.
    ASSERT_TRUE(pc.installPlayer(player(u"Winamp", PlayerRoots::LocalMachine)));
    EXPECT_TRUE(pc.keyExists(HKLM, kWinampKey));
    EXPECT_FALSE(pc.playerDetectable(u"Winamp"));
    EXPECT_EQ(pc.playerDetectionKeys(u"Winamp"),
              (std::vector<std::pair<plat::HKey, String>>{{HKCU, kWinampKey}}));
    EXPECT_EQ(pc.playerDetectionKeys(u"Musicmatch"),
              (std::vector<std::pair<plat::HKey, String>>{{HKCU, kMmjbUserKey},
                                                          {HKLM, kMmjbMachineKey}}));
}

TEST_F(SimPlayers, OnlyTheFiveDisplayNamesAsWrittenAreKnown) {
    EXPECT_EQ(sim::SimPc::playerNames(),
              (std::vector<String>{u"Windows Media Player", u"Musicmatch", u"Winamp",
                                   u"Real Player", u"iTunes"}));
    EXPECT_FALSE(pc.installPlayer(player(u"RealPlayer")));
    EXPECT_FALSE(pc.installPlayer(player(u"winamp")));
    EXPECT_FALSE(pc.installPlayer(player(u"MusicMatch")));
    EXPECT_FALSE(pc.startPlayer(u"Default"));
    EXPECT_FALSE(pc.playerDetectable(u"winamp"));
    EXPECT_TRUE(pc.playerDetectionKeys(u"Itunes").empty());
    EXPECT_FALSE(pc.keyExists(HKCU, u"Software\\Winamp"));
}

TEST_F(SimPlayers, LocationValuesLeadToTheProgramFiles) {
    for (const auto& name : sim::SimPc::playerNames()) {
        PlayerConfig c = player(name);
        c.directory = u"D:\\Apps\\" + name + u"\\"; // a trailing separator is dropped
        ASSERT_TRUE(pc.installPlayer(c));
        EXPECT_TRUE(pc.fileExists(pc.playerProgramPath(name)));
        EXPECT_EQ(pc.playerDirectory(name), u"D:\\Apps\\" + name);
    }
    EXPECT_EQ(
        pc.stringValue(HKLM, u"Software\\Microsoft\\MediaPlayer\\", u"Installation Directory"),
        u"D:\\Apps\\Windows Media Player");
    EXPECT_EQ(pc.playerProgramPath(u"Windows Media Player"),
              u"D:\\Apps\\Windows Media Player\\wmplayer.exe");
    EXPECT_EQ(pc.stringValue(HKLM, kMmjbMachineKey, u"AppPath"), u"D:\\Apps\\Musicmatch");
    EXPECT_EQ(pc.playerProgramPath(u"Musicmatch"), u"D:\\Apps\\Musicmatch\\mmjb.exe");
    EXPECT_EQ(pc.stringValue(HKCU, kWinampKey, u""), u"D:\\Apps\\Winamp");
    EXPECT_EQ(pc.playerProgramPath(u"Winamp"), u"D:\\Apps\\Winamp\\winamp.exe");
    // The basic players record the program file itself.
    EXPECT_EQ(
        pc.stringValue(HKLM, u"SOFTWARE\\Apple Computer, Inc.\\iPod\\RegisteredApps\\4\\", u"path"),
        u"D:\\Apps\\iTunes\\iTunes.exe");
    EXPECT_EQ(
        pc.stringValue(HKCU, u"Software\\RealNetworks\\RealJukebox\\1.0\\Preferences", u"AppPath"),
        u"D:\\Apps\\Real Player\\realplay.exe");

    // A Winamp registered for all users keeps its directory in the machine key.
    PlayerConfig machine = player(u"Winamp", PlayerRoots::LocalMachine);
    ASSERT_TRUE(pc.installPlayer(machine));
    EXPECT_EQ(pc.stringValue(HKLM, kWinampKey, u""), u"C:\\Program Files\\Winamp");
    EXPECT_FALSE(pc.keyExists(HKCU, kWinampKey));

    PlayerConfig silent = player(u"iTunes");
    silent.recordsLocation = false;
    pc.deleteTree(HKLM, u"SOFTWARE\\Apple Computer, Inc.");
    ASSERT_TRUE(pc.installPlayer(silent));
    EXPECT_FALSE(pc.stringValue(HKLM, u"SOFTWARE\\Apple Computer, Inc.\\iPod\\RegisteredApps\\4\\",
                                u"path"));
}

TEST_F(SimPlayers, WinampIniLivesInWinampsDirectory) {
    EXPECT_FALSE(pc.winampIni());
    EXPECT_FALSE(pc.setWinampIni("[Winamp]\n"));

    PlayerConfig c = player(u"Winamp");
    c.directory = u"C:\\Winamp";
    ASSERT_TRUE(pc.installPlayer(c));
    EXPECT_EQ(pc.winampIni(), sim::typicalWinampIni());
    EXPECT_EQ(pc.fileContents(u"c:/winamp/WINAMP.INI"), sim::typicalWinampIni());
    // The typical file ends with the hotkey section, so bindings added at the end land in it.
    const std::string ini = sim::typicalWinampIni();
    const auto section = ini.find("[gen_hotkeys]\n");
    ASSERT_NE(section, std::string::npos);
    EXPECT_EQ(ini.find('[', section + 1), std::string::npos);
    EXPECT_NE(ini.find("nbkeys=2\n", section), std::string::npos);
    EXPECT_NE(ini.find("enabled=0\n", section), std::string::npos);

    ASSERT_TRUE(pc.setWinampIni("[gen_hotkeys]\nnbkeys=0\n"));
    EXPECT_EQ(pc.fileContents(u"C:\\Winamp\\winamp.ini"), "[gen_hotkeys]\nnbkeys=0\n");

    // Installed again without the file: none is left behind, here or elsewhere.
    c.winampIni.reset();
    ASSERT_TRUE(pc.installPlayer(c));
    EXPECT_FALSE(pc.winampIni());
    c.directory = u"C:\\Other";
    ASSERT_TRUE(pc.installPlayer(c));
    EXPECT_FALSE(pc.winampIni());
    EXPECT_TRUE(pc.fileExists(u"C:\\Other\\winamp.exe"));
}

TEST_F(SimPlayers, IntelliTypeIsAnAppPathsKeyUnderTheMachine) {
    const String key = u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\mskey.exe";
    EXPECT_FALSE(pc.keyExists(HKLM, key));
    pc.setIntelliTypeInstalled(true);
    EXPECT_TRUE(pc.keyExists(HKLM, key));
    EXPECT_FALSE(pc.keyExists(HKCU, key));
    pc.setIntelliTypeInstalled(false);
    EXPECT_FALSE(pc.keyExists(HKLM, key));
    EXPECT_TRUE(pc.keyExists(HKLM, u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths"));
}

// ------------------------------------------------------------ starting

TEST_F(SimPlayers, RunningPlayersHaveAWindowOfTheirClassInAProcessOfTheirOwn) {
    const std::vector<std::pair<String, String>> classes{{u"Windows Media Player", u"WMPlayerApp"},
                                                         {u"Musicmatch", u"MMJB:MAINWND"},
                                                         {u"Winamp", u"BaseWindow_RootWnd"},
                                                         {u"Real Player", u"GeminiWindowClass"},
                                                         {u"iTunes", u"iTunes"}};
    std::vector<std::uint32_t> pids;
    for (const auto& [name, cls] : classes) {
        PlayerConfig c = player(name);
        c.running = true;
        ASSERT_TRUE(pc.installPlayer(c));
        const plat::Hwnd w = pc.playerWindow(name);
        ASSERT_NE(w, 0u) << plat::toUtf8(name);
        EXPECT_EQ(desktop.findWindow(&cls, nullptr), w);
        std::uint32_t pid = 0;
        EXPECT_NE(desktop.getWindowThreadProcessId(w, &pid), 0u);
        EXPECT_EQ(pid, pc.playerProcessId(name));
        EXPECT_NE(pid, sim::SimPc::kProgramProcessId);
        EXPECT_TRUE(pc.processAlive(pid));
        pids.push_back(pid);
    }
    std::sort(pids.begin(), pids.end());
    EXPECT_EQ(std::unique(pids.begin(), pids.end()), pids.end());

    PlayerConfig classic = player(u"Winamp");
    classic.winampWindow = sim::WinampWindow::Classic;
    ASSERT_TRUE(pc.quitPlayer(u"Winamp"));
    ASSERT_TRUE(pc.installPlayer(classic));
    ASSERT_TRUE(pc.startPlayer(u"Winamp"));
    const String modern = u"BaseWindow_RootWnd", old = u"Winamp v1.x";
    EXPECT_EQ(desktop.findWindow(&modern, nullptr), 0u);
    EXPECT_EQ(desktop.findWindow(&old, nullptr), pc.playerWindow(u"Winamp"));
}

TEST_F(SimPlayers, TheShellOpeningTheProgramFileStartsThePlayer) {
    ASSERT_TRUE(pc.installPlayer(player(u"Winamp")));
    ASSERT_TRUE(pc.installPlayer(player(u"iTunes")));
    pc.takeJournal();

    EXPECT_TRUE(open(u"C:\\Program Files\\Winamp\\winamp.com"));
    EXPECT_TRUE(open(u"C:\\Program Files\\Winamp"));
    EXPECT_TRUE(open(u"C:\\Program Files\\Winamp\\winamp.exe", u"print"));
    EXPECT_FALSE(pc.playerRunning(u"Winamp"));
    EXPECT_TRUE(pc.playerStarts(u"Winamp").empty());

    // Paths are compared as Windows does: case and separators do not matter.
    EXPECT_TRUE(open(u"c:/program files/WINAMP/Winamp.exe"));
    EXPECT_TRUE(pc.playerRunning(u"Winamp"));
    EXPECT_FALSE(pc.playerRunning(u"iTunes"));
    ASSERT_EQ(pc.playerStarts(u"Winamp").size(), 1u);
    EXPECT_TRUE(pc.playerStarts(u"Winamp")[0].byShell);

    // A second open while it runs does not make a second process.
    EXPECT_TRUE(open(u"C:\\Program Files\\Winamp\\winamp.exe", u""));
    EXPECT_EQ(pc.playerStarts(u"Winamp").size(), 1u);
    const auto lines = journalLinesWith("player");
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].rfind("player started: Winamp (process ", 0), 0u) << lines[0];
    EXPECT_NE(lines[0].find("[BaseWindow_RootWnd]) by the shell"), std::string::npos) << lines[0];
    EXPECT_EQ(lines[1], "player already running: Winamp (not started again)");

    // When the shell fails, nothing starts.
    pc.setShellExecuteHandler([](const String&, const String&) { return std::intptr_t{2}; });
    EXPECT_FALSE(open(pc.playerProgramPath(u"iTunes")));
    EXPECT_FALSE(pc.playerRunning(u"iTunes"));
    pc.setShellExecuteHandler({});
    EXPECT_TRUE(open(pc.playerProgramPath(u"iTunes")));
    EXPECT_TRUE(pc.playerRunning(u"iTunes"));
}

TEST_F(SimPlayers, APlayerStartedAgainIsANewProcessAndStartingDoesNotTakeTheForeground) {
    PlayerConfig c = player(u"iTunes");
    c.running = true;
    ASSERT_TRUE(pc.installPlayer(c));
    const std::uint32_t first = pc.playerProcessId(u"iTunes");
    EXPECT_EQ(desktop.getForegroundWindow(), 0u);
    EXPECT_TRUE(pc.setForegroundPlayer(u"iTunes"));
    EXPECT_EQ(desktop.getForegroundWindow(), pc.playerWindow(u"iTunes"));

    ASSERT_TRUE(pc.quitPlayer(u"iTunes"));
    EXPECT_FALSE(pc.processAlive(first));
    EXPECT_EQ(desktop.getForegroundWindow(), 0u);
    EXPECT_FALSE(pc.quitPlayer(u"iTunes"));
    EXPECT_FALSE(pc.setForegroundPlayer(u"iTunes"));
    ASSERT_TRUE(pc.startPlayer(u"iTunes"));
    EXPECT_NE(pc.playerProcessId(u"iTunes"), first);
    EXPECT_EQ(desktop.getForegroundWindow(), 0u);
    const auto starts = pc.playerStarts(u"iTunes");
    ASSERT_EQ(starts.size(), 2u);
    EXPECT_FALSE(starts[0].byShell);
    EXPECT_EQ(starts[0].processId, first);
}

// ------------------------------------------------------------ closing

TEST_F(SimPlayers, APlayerClosesOnRequestAfterItsDelayInVirtualTime) {
    PlayerConfig c = player(u"Windows Media Player");
    c.closeDelayMs = 2500;
    c.running = true;
    ASSERT_TRUE(pc.installPlayer(c));
    const plat::Hwnd w = pc.playerWindow(u"Windows Media Player");
    pc.takeJournal();

    ASSERT_TRUE(desktop.postMessage(w, WM_CLOSE, 0, 0));
    ASSERT_TRUE(pc.waitIdle());
    pc.advance(1000);
    // Asked again while it is closing: the first request's delay still counts.
    ASSERT_TRUE(desktop.postMessage(w, WM_CLOSE, 0, 0));
    pc.advance(1499);
    EXPECT_TRUE(desktop.isWindow(w));
    EXPECT_TRUE(pc.playerRunning(u"Windows Media Player"));
    pc.advance(1);
    EXPECT_FALSE(desktop.isWindow(w));
    EXPECT_FALSE(pc.playerRunning(u"Windows Media Player"));
    EXPECT_EQ(pc.playerWindow(u"Windows Media Player"), 0u);

    const auto requests = pc.playerCloseRequests(u"Windows Media Player");
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].atMs, 0u);
    EXPECT_EQ(requests[1].atMs, 1000u);
    EXPECT_EQ(journalLinesWith("player closed"),
              std::vector<std::string>{"player closed: Windows Media Player (close request)"});
    EXPECT_TRUE(pc.failures().empty());
}

TEST_F(SimPlayers, TheProgramWaitingOneSecondAtATimeSeesTheCloseInOrder) {
    PlayerConfig c = player(u"iTunes");
    c.closeDelayMs = 2500;
    c.running = true;
    ASSERT_TRUE(pc.installPlayer(c));
    const plat::Hwnd w = pc.playerWindow(u"iTunes");
    plat::Threads& threads = *pc.bundle().threads;
    pc.startProgram([&] {
        const String cls = u"iTunes";
        desktop.postMessage(w, WM_CLOSE, 0, 0);
        int checks = 0;
        while (desktop.findWindow(&cls, nullptr) && checks < 30) {
            ++checks;
            threads.sleep(1000);
        }
        return checks;
    });
    EXPECT_EQ(pc.waitForExit(), 3);
    EXPECT_EQ(pc.nowMs(), 3000u);
}

TEST_F(SimPlayers, APlayerThatIgnoresCloseRequestsRecordsThemAndStays) {
    PlayerConfig c = player(u"Real Player");
    c.closeDelayMs.reset();
    c.running = true;
    ASSERT_TRUE(pc.installPlayer(c));
    const plat::Hwnd w = pc.playerWindow(u"Real Player");
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(desktop.postMessage(w, WM_CLOSE, 0, 0));
        pc.advance(10000);
    }
    EXPECT_TRUE(pc.playerRunning(u"Real Player"));
    EXPECT_EQ(pc.playerCloseRequests(u"Real Player").size(), 3u);
    EXPECT_EQ(pc.received(w).size(), 3u);
}

TEST_F(SimPlayers, MusicmatchAsksAboutTheUpgradeAndQuitsWhenThatWindowIsClosed) {
    PlayerConfig c = player(u"Musicmatch");
    c.upgradePrompt = true;
    c.running = true;
    ASSERT_TRUE(pc.installPlayer(c));
    const plat::Hwnd main = pc.playerWindow(u"Musicmatch");
    const std::uint32_t pid = pc.playerProcessId(u"Musicmatch");
    EXPECT_EQ(pc.findWindowByTitle(u"Upgrade to Plus"), 0u);

    desktop.postMessage(main, WM_CLOSE, 0, 0);
    const plat::Hwnd prompt = pc.findWindowByTitle(u"Upgrade to Plus");
    ASSERT_NE(prompt, 0u);
    EXPECT_EQ(prompt, pc.playerUpgradeWindow(u"Musicmatch"));
    std::uint32_t promptPid = 0;
    desktop.getWindowThreadProcessId(prompt, &promptPid);
    EXPECT_EQ(promptPid, pid);
    pc.advance(30000);
    desktop.postMessage(main, WM_CLOSE, 0, 0); // the prompt is up: nothing more happens
    EXPECT_TRUE(pc.playerRunning(u"Musicmatch"));
    EXPECT_EQ(pc.findWindowByTitle(u"Upgrade to Plus"), prompt);

    desktop.postMessage(prompt, WM_CLOSE, 0, 0);
    EXPECT_FALSE(desktop.isWindow(prompt));
    EXPECT_FALSE(desktop.isWindow(main));
    EXPECT_FALSE(pc.processAlive(pid));
    const auto requests = pc.playerCloseRequests(u"Musicmatch");
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_FALSE(requests[1].upgradeWindow);
    EXPECT_TRUE(requests[2].upgradeWindow);
}

TEST_F(SimPlayers, TerminatingThePlayersProcessTakesItsWindowAway) {
    PlayerConfig c = player(u"Winamp");
    c.winampWindow = sim::WinampWindow::Classic;
    c.running = true;
    ASSERT_TRUE(pc.installPlayer(c));
    const plat::Hwnd w = pc.playerWindow(u"Winamp");
    std::uint32_t pid = 0;
    desktop.getWindowThreadProcessId(w, &pid);
    pc.takeJournal();

    const plat::Handle process = processes.openProcess(PROCESS_ALL_ACCESS, pid);
    ASSERT_NE(process, 0u);
    EXPECT_TRUE(processes.terminateProcess(process, 1));
    EXPECT_TRUE(processes.closeHandle(process));
    EXPECT_FALSE(desktop.isWindow(w));
    EXPECT_FALSE(pc.playerRunning(u"Winamp"));
    EXPECT_EQ(journalLinesWith("player"),
              std::vector<std::string>{"player terminated: Winamp (process " + std::to_string(pid) +
                                       ")"});
    EXPECT_EQ(processes.openProcess(PROCESS_ALL_ACCESS, pid), 0u);
    // It starts again from its program file as before.
    EXPECT_TRUE(open(pc.playerProgramPath(u"Winamp")));
    EXPECT_TRUE(pc.playerRunning(u"Winamp"));
}

TEST_F(SimPlayers, AWaitOnThePlayersProcessEndsWhenThePlayerQuits) {
    PlayerConfig c = player(u"iTunes");
    c.running = true;
    ASSERT_TRUE(pc.installPlayer(c));
    const std::uint32_t pid = pc.playerProcessId(u"iTunes");
    plat::Threads& threads = *pc.bundle().threads;
    pc.startProgram([&] {
        const plat::Handle process = processes.openProcess(PROCESS_ALL_ACCESS, pid);
        const std::uint32_t result = threads.waitForSingleObject(process, INFINITE);
        processes.closeHandle(process);
        return static_cast<int>(result);
    });
    ASSERT_TRUE(pc.waitIdle());
    EXPECT_TRUE(pc.programRunning());
    ASSERT_TRUE(pc.quitPlayer(u"iTunes"));
    EXPECT_EQ(pc.waitForExit(), static_cast<int>(WAIT_OBJECT_0));
}

// ------------------------------------------------------------ application commands

TEST_F(SimPlayers, AppCommandsAreDecodedAndKeptAcrossRuns) {
    PlayerConfig c = player(u"iTunes");
    c.running = true;
    ASSERT_TRUE(pc.installPlayer(c));
    pc.takeJournal();

    EXPECT_EQ(desktop.sendMessage(pc.playerWindow(u"iTunes"), WM_APPCOMMAND, 0, 0x000E0000), 1);
    pc.advance(500);
    // From a keyboard (FAPPCOMMAND_KEY) with Ctrl held (MK_CONTROL), as MAKELPARAM makes it.
    desktop.postMessage(pc.playerWindow(u"iTunes"), WM_APPCOMMAND, 7, plat::LParam{0x800B0008});
    desktop.postMessage(pc.playerWindow(u"iTunes"), WM_KEYDOWN, 0xB3, 0);
    ASSERT_TRUE(pc.quitPlayer(u"iTunes"));
    ASSERT_TRUE(pc.startPlayer(u"iTunes"));
    desktop.sendMessage(pc.playerWindow(u"iTunes"), WM_APPCOMMAND, 0, 13 << 16);
    desktop.sendMessage(pc.playerWindow(u"iTunes"), WM_APPCOMMAND, 0, 12 << 16);

    const auto commands = pc.playerAppCommands(u"iTunes");
    ASSERT_EQ(commands.size(), 4u);
    EXPECT_EQ(commands[0].command, 14);
    EXPECT_EQ(commands[0].device, 0);
    EXPECT_EQ(commands[0].atMs, 0u);
    EXPECT_EQ(commands[1].command, 11);
    EXPECT_EQ(commands[1].device, 0x8000);
    EXPECT_EQ(commands[1].keys, 0x8);
    EXPECT_EQ(commands[1].wParam, 7u);
    EXPECT_EQ(commands[1].lParam, 0x800B0008);
    EXPECT_EQ(commands[1].atMs, 500u);
    EXPECT_EQ(commands[2].command, 13);
    EXPECT_EQ(commands[3].command, 12);
    // A window of another program records nothing for the player, even with its class.
    desktop.sendMessage(pc.createForeignWindow(u"iTunes", u"Impostor"), WM_APPCOMMAND, 0, 14 << 16);
    EXPECT_EQ(pc.playerAppCommands(u"iTunes").size(), 4u);

    const auto lines = journalLinesWith("received app command");
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0], "iTunes received app command play-pause (lParam 0xE0000)");
    EXPECT_EQ(lines[1], "iTunes received app command next (lParam 0x800B0008)");
    EXPECT_EQ(sim::appCommandName(12), "previous");
    EXPECT_EQ(sim::appCommandName(13), "stop");
    EXPECT_EQ(sim::appCommandName(8), "command 8");
}

TEST_F(SimPlayers, AWindowThatDoesNotAnswerTimesSendsOutAndKeepsPostsUntilItAnswers) {
    PlayerConfig c = player(u"iTunes");
    c.running = true;
    ASSERT_TRUE(pc.installPlayer(c));
    const plat::Hwnd w = pc.playerWindow(u"iTunes");
    ASSERT_TRUE(pc.setPlayerHung(u"iTunes", true));
    EXPECT_FALSE(pc.setPlayerHung(u"Winamp", true)) << "not running";

    // Only just stopped answering: even SMTO_ABORTIFHUNG waits for the time-out.
    plat::LResult result = 7;
    std::uint64_t before = pc.nowMs();
    EXPECT_FALSE(desktop.sendMessageTimeout(w, WM_APPCOMMAND, 0, 14 << 16, SMTO_ABORTIFHUNG, 1000,
                                            result));
    EXPECT_EQ(result, 0);
    EXPECT_EQ(pc.nowMs() - before, 1000u);
    // After five seconds Windows calls it hung: SMTO_ABORTIFHUNG gives up at once.
    pc.advance(4000);
    before = pc.nowMs();
    EXPECT_FALSE(desktop.sendMessageTimeout(w, WM_APPCOMMAND, 0, 14 << 16, SMTO_ABORTIFHUNG, 1000,
                                            result));
    EXPECT_EQ(pc.nowMs(), before);
    EXPECT_FALSE(desktop.sendMessageTimeout(w, WM_APPCOMMAND, 0, 14 << 16, SMTO_NORMAL, 300, result));
    EXPECT_EQ(pc.nowMs() - before, 300u);
    // What is posted meanwhile waits for it.
    desktop.postMessage(w, WM_APPCOMMAND, 0, 11 << 16);
    EXPECT_TRUE(pc.playerAppCommands(u"iTunes").empty());

    ASSERT_TRUE(pc.setPlayerHung(u"iTunes", false));
    ASSERT_EQ(pc.playerAppCommands(u"iTunes").size(), 1u);
    EXPECT_EQ(pc.playerAppCommands(u"iTunes")[0].command, 11);
    EXPECT_TRUE(desktop.sendMessageTimeout(w, WM_APPCOMMAND, 0, 13 << 16, SMTO_ABORTIFHUNG, 1000,
                                           result));
    EXPECT_EQ(result, 1);
    EXPECT_EQ(pc.playerAppCommands(u"iTunes").size(), 2u);
    EXPECT_EQ(journalLinesWith("(it does not answer)").size(), 1u); // the hung one given up
}

TEST_F(SimPlayers, OnceTheProgramHasEndedADelayedCloseHappensAtOnce) {
    PlayerConfig c = player(u"iTunes");
    c.closeDelayMs = 5000;
    c.running = true;
    ASSERT_TRUE(pc.installPlayer(c));
    pc.startProgram([] { return 0; });
    ASSERT_EQ(pc.waitForExit(), 0);
    // No clock moves for a process that is gone; the close must not hang waiting for one.
    ASSERT_TRUE(pc.post(pc.playerWindow(u"iTunes"), WM_CLOSE));
    EXPECT_FALSE(pc.playerRunning(u"iTunes"));
    EXPECT_EQ(pc.nowMs(), 0u);
}

// ------------------------------------------------------------ simulator steps

scn::RunResult runSteps(const std::string& text, std::string* transcript = nullptr) {
    std::ostringstream out;
    const auto result = scn::runScenarioText(text, "players-test", out);
    if (transcript)
        *transcript = out.str();
    return result;
}

TEST(SimPlayerSteps, ExpectationsAboutPlayersFailWhenTheyDoNotHold) {
    const std::string setUp = "player install \"iTunes\" running\n"
                              "post \"iTunes\" WM_APPCOMMAND 0 0xE0000\n";
    EXPECT_EQ(runSteps(setUp + "expect player \"iTunes\" received \"play-pause\"\n").outcome,
              scn::Outcome::Passed);
    const auto wrongCommand = runSteps(setUp + "expect player \"iTunes\" received \"next\"\n");
    EXPECT_EQ(wrongCommand.outcome, scn::Outcome::Failed);
    EXPECT_EQ(wrongCommand.line, 3);
    EXPECT_NE(wrongCommand.message.find("received play-pause, not next"), std::string::npos)
        << wrongCommand.message;
    // A command is counted by one check only.
    EXPECT_EQ(runSteps(setUp + "expect player \"iTunes\" received \"play-pause\"\n"
                               "expect player \"iTunes\" received \"play-pause\"\n")
                  .outcome,
              scn::Outcome::Failed);
    EXPECT_EQ(runSteps(setUp + "expect player \"iTunes\" closed\n").outcome, scn::Outcome::Failed);
    EXPECT_EQ(runSteps(setUp + "expect player \"iTunes\" starts 2\n").outcome,
              scn::Outcome::Failed);
    EXPECT_EQ(runSteps("player install \"Winamp\" registered hklm\n"
                       "expect player \"Winamp\" detected\n")
                  .outcome,
              scn::Outcome::Failed);
    EXPECT_EQ(runSteps("player install \"Winamp\" no-winamp-ini\nexpect winamp-ini absent\n"
                       "winamp-ini set \"[gen_hotkeys]\\nenabled=1\\n\"\n"
                       "expect winamp-ini contains \"enabled=1\\n\"\n"
                       "expect winamp-ini lacks \"enabled=0\"\n")
                  .outcome,
              scn::Outcome::Passed);
    EXPECT_EQ(runSteps("player install \"Winamp\"\nexpect winamp-ini contains \"hotkey2=2227\"\n")
                  .outcome,
              scn::Outcome::Failed);
}

TEST(SimPlayerSteps, MisnamedPlayersAndContradictoryOptionsAreRefused) {
    EXPECT_EQ(runSteps("player install \"RealPlayer\"\n").outcome, scn::Outcome::Malformed);
    EXPECT_EQ(runSteps("player install \"iTunes\" closes-after 2s ignores-close\n").outcome,
              scn::Outcome::Malformed);
    EXPECT_EQ(runSteps("player start \"iTunes\"\n").outcome, scn::Outcome::Malformed);
    EXPECT_EQ(runSteps("winamp-ini set \"x\"\n").outcome, scn::Outcome::Malformed);
    EXPECT_EQ(runSteps("player install \"iTunes\"\nplayer quit \"iTunes\"\n").outcome,
              scn::Outcome::Failed);
}

TEST(SimPlayerSteps, InstallOptionsReachTheSimulatedPlayers) {
    std::string transcript;
    const auto result = runSteps("player install \"Musicmatch\" registered both directory "
                                 "\"D:\\\\MM\" closes-after 3s upgrade-prompt running\n"
                                 "post \"Musicmatch\" WM_CLOSE\n"
                                 "advance 2999ms\n"
                                 "expect no-window \"Upgrade to Plus\"\n"
                                 "advance 1ms\n"
                                 "expect window \"Upgrade to Plus\"\n"
                                 "post \"Upgrade to Plus\" WM_CLOSE\n"
                                 "expect player \"Musicmatch\" closed\n"
                                 "expect player \"Musicmatch\" close-requests 2\n"
                                 "expect registry HKLM \"Software\\\\MusicMatch\\\\MusicMatch "
                                 "Jukebox\\\\4.0\\\\MainApp\" \"AppPath\" \"D:\\\\MM\"\n"
                                 "player install \"Winamp\" classic-window ignores-close running\n"
                                 "post \"Winamp\" WM_CLOSE\n"
                                 "advance 1min\n"
                                 "expect player \"Winamp\" running\n"
                                 "show players\n",
                                 &transcript);
    EXPECT_EQ(result.outcome, scn::Outcome::Passed) << result.message << "\n" << transcript;
    EXPECT_NE(transcript.find("Winamp: detectable, running [Winamp v1.x]"), std::string::npos)
        << transcript;
}

} // namespace
