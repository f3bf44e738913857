// The media players of the simulated PC: what the program relies on from them (registry
// keys, program files, main windows of fixed classes in processes of their own, closing on
// request, starting from the shell, application commands) and nothing of their insides.
//
// They watch the Processes port through a thin wrapper put in front of the simulated one at
// construction: that is where the shell opens their program files and where the program
// terminates their processes. Their state is guarded by the world lock.
#include "sim_world.h"

#include "text.h"

#include <array>
#include <cstdio>
#include <cstdlib>
#include <sstream>

namespace sim {

namespace {

constexpr std::uint32_t kFirstPlayerProcessId = 6000;
constexpr std::uint16_t kDeviceBits = 0xF000; // FAPPCOMMAND_MASK
const String kUpgradeTitle = u"Upgrade to Plus";
const String kDialogClass = u"#32770";
const String kIntelliTypeKey =
    u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\mskey.exe";
const String kIntelliTypeDirectory = u"C:\\Program Files\\Microsoft IntelliType Pro";

// What each player leaves on the machine, as the catalogue and the start and close code
// look for it.
struct PlayerRow {
    String name;
    String program; // its file name in its directory
    String defaultDirectory;
    String hkcuKey;    // detection key under HKCU
    String hklmKey;    // the key its installer writes under HKLM
    bool hklmDetected; // whether the catalogue tries the HKLM key
    plat::HKey locationRoot;
    String locationKey;
    String locationValue;
    bool locationIsDirectory;    // else the program file's full path
    bool locationInDetectionKey; // Winamp: the default value of each key it registered
    String windowClass;
    String classicWindowClass; // with the classic skin (Winamp), or empty
    bool mayOfferUpgrade;      // answers a close with an upgrade offer (Musicmatch)
};

const std::array<PlayerRow, 5>& rows() {
    static const std::array<PlayerRow, 5> table{{
        {u"Windows Media Player", u"wmplayer.exe", u"C:\\Program Files\\Windows Media Player",
         u"SOFTWARE\\Classes\\Applications\\wmplayer.exe\\",
         u"SOFTWARE\\Classes\\Applications\\wmplayer.exe\\", true, plat::HKLM,
         u"Software\\Microsoft\\MediaPlayer\\", u"Installation Directory", true, false,
         u"WMPlayerApp", u"", false},
        {u"Musicmatch", u"mmjb.exe", u"C:\\Program Files\\MUSICMATCH\\MUSICMATCH Jukebox",
         u"SOFTWARE\\Classes\\Applications\\mmjb.exe\\",
         u"Software\\MusicMatch\\MusicMatch Jukebox\\4.0\\MainApp\\", true, plat::HKLM,
         u"Software\\MusicMatch\\MusicMatch Jukebox\\4.0\\MainApp\\", u"AppPath", true, false,
         u"MMJB:MAINWND", u"", true},
        {u"Winamp", u"winamp.exe", u"C:\\Program Files\\Winamp", u"Software\\Winamp\\",
         u"Software\\Winamp\\", false, plat::HKCU, u"Software\\Winamp\\", u"", true, true,
         u"BaseWindow_RootWnd", u"Winamp v1.x", false},
        {u"Real Player", u"realplay.exe", u"C:\\Program Files\\Real\\RealPlayer",
         u"SOFTWARE\\Classes\\Applications\\RealPlay.exe\\",
         u"SOFTWARE\\Classes\\Applications\\RealPlay.exe\\", true, plat::HKCU,
         u"Software\\RealNetworks\\RealJukebox\\1.0\\Preferences", u"AppPath", false, false,
         u"GeminiWindowClass", u"", false},
        {u"iTunes", u"iTunes.exe", u"C:\\Program Files\\iTunes",
         u"SOFTWARE\\Classes\\Applications\\iTunes.exe\\",
         u"SOFTWARE\\Classes\\Applications\\iTunes.exe\\", true, plat::HKLM,
         u"SOFTWARE\\Apple Computer, Inc.\\iPod\\RegisteredApps\\4\\", u"path", false, false,
         u"iTunes", u"", false},
    }};
    return table;
}

int rowIndex(const String& name) {
    for (std::size_t i = 0; i < rows().size(); ++i)
        if (rows()[i].name == name)
            return static_cast<int>(i);
    return -1;
}

bool isWinamp(const PlayerRow& row) {
    return row.name == u"Winamp";
}

std::vector<plat::HKey> rootsOf(PlayerRoots roots) {
    switch (roots) {
    case PlayerRoots::CurrentUser:
        return {plat::HKCU};
    case PlayerRoots::LocalMachine:
        return {plat::HKLM};
    case PlayerRoots::Both:
        return {plat::HKCU, plat::HKLM};
    }
    return {};
}

String withoutTrailingSeparators(String path) {
    while (path.size() > 3 && (path.back() == u'\\' || path.back() == u'/'))
        path.pop_back();
    return path;
}

std::string hex(std::uint64_t value) {
    char buf[24];
    std::snprintf(buf, sizeof buf, "0x%llX", static_cast<unsigned long long>(value));
    return buf;
}

} // namespace

std::string typicalWinampIni() {
    return "[Winamp]\n"
           "outname=out_wave.dll\n"
           "volume=200\n"
           "shuffle=0\n"
           "repeat=0\n"
           "[out_wave]\n"
           "cfg_dev=0\n"
           "cfg_buf_ms=2000\n"
           "[out_ds]\n"
           "cfg_dev2=0000000000000000000000000000000000\n"
           "cfg_buf_ms=2000\n"
           "[gen_hotkeys]\n"
           "nbkeys=2\n"
           "version=2\n"
           "enabled=0\n"
           "action0=ghkdc play\n"
           "hotkey0=3629\n"
           "action1=ghkdc stop\n"
           "hotkey1=3640\n";
}

std::string winamp5Ini() {
    // The file-type list alone is longer than 500 characters, as Winamp writes it with its
    // usual input plug-ins.
    std::string extensions;
    for (const char* type : {"MP3", "MP2", "MP1", "AAC", "VLB", "M4A", "M4B", "MP4", "3GP",
                             "3G2", "FLAC", "OGG", "OGA", "WMA", "WMV", "ASF", "WAV", "VOC",
                             "AU", "SND", "AIF", "AIFF", "AIFC", "NSV", "NSA", "MID", "MIDI",
                             "RMI", "KAR", "MIZ", "HMI", "HMP", "GMF", "MUS", "XMI", "CMF",
                             "MOD", "MDZ", "S3M", "S3Z", "STM", "STZ", "IT", "ITZ", "XM",
                             "XMZ", "MTM", "ULT", "669", "FAR", "AMF", "OKT", "PTM", "CDA",
                             "AVI", "FLV", "MKV", "MPG", "MPEG", "M2V", "MOV", "RM", "RA",
                             "SPX", "APE", "MPC", "WV", "TTA", "OFR", "OFS", "SHN", "MLP",
                             "AC3", "DTS", "VQF", "AMR", "AWB", "MKA", "WEBM", "OPUS", "M3U",
                             "M3U8", "PLS", "B4S", "WPL", "ASX", "XSPF", "RMP", "NSC", "KSS",
                             "NSF", "GBS", "SPC", "VGM", "VGZ", "GYM", "HES", "AY", "SAP"})
        extensions += std::string(extensions.empty() ? "" : ";") + type;
    std::string ini;
    for (const std::string& line : std::vector<std::string>{
             "[Winamp]", "utf8=1", "skin=Bento", "pe_fontsize=10", "wx=25", "wy=25",
             "minimized=0", "outname=out_ds.dll", "volume=200", "pan=0", "shuffle=0",
             "repeat=1", "config_extlist=" + extensions, "config_eqdsize=0", "sa=1",
             "visplugin_name=vis_milk2.dll", "visplugin_num=0", "last_classic_skin=Big Bento",
             "[WinampReg]", "IsFirstInst=0", "NeedReg=0", "[out_disk]",
             "cfg_out_dir=C:\\Users\\User\\Music", "cfg_fmt=0", "cfg_convert_enabled=0",
             "[out_ds]", "cfg_total_time=3542", "cfg_buf_ms=2000", "cfg_prebuf2=500",
             "cfg_fade_start=0", "[gen_hotkeys]", "nbkeys=3", "version=2", "enabled=0",
             "action0=ghkdc play", "hotkey0=3629", "action1=ghkdc stop", "hotkey1=3640",
             "action2=ghkdc vup", "hotkey2=1574", "[pmp_usb]", "syncOnConnect=0",
             "purgeFolders=1", "[gen_ml_config]", "view_win=0", "ldrag=-1"})
        ini += line + "\r\n";
    return ini;
}

std::string appCommandName(std::uint16_t command) {
    switch (command) {
    case 11:
        return "next";
    case 12:
        return "previous";
    case 13:
        return "stop";
    case 14:
        return "play-pause";
    default:
        return "command " + std::to_string(command);
    }
}

struct PlayerWorld {
    struct Instance {
        std::uint32_t processId = 0;
        Hwnd main = 0;
        Hwnd upgrade = 0;
        bool closing = false; // a delayed close is under way
    };

    struct Player {
        bool installed = false;
        PlayerConfig config;
        String directory;
        String program;
        std::optional<Instance> instance;
        std::vector<PlayerAppCommand> appCommands;
        std::vector<PlayerCloseRequest> closeRequests;
        std::vector<PlayerStart> starts;
    };

    explicit PlayerWorld(SimPc::Impl& impl) : w(impl) {}

    SimPc::Impl& w;
    std::array<Player, 5> players;
    std::uint32_t nextProcessId = kFirstPlayerProcessId;

    // All below: world lock held.

    Player* find(const String& name) {
        const int i = rowIndex(name);
        return i < 0 ? nullptr : &players[static_cast<std::size_t>(i)];
    }
    const Player* find(const String& name) const {
        return const_cast<PlayerWorld*>(this)->find(name);
    }
    const PlayerRow& rowOf(const Player& p) const {
        return rows()[static_cast<std::size_t>(&p - players.data())];
    }

    // The running instance; one whose process has gone (terminated, or its windows
    // destroyed from outside) is forgotten here.
    Instance* live(Player& p) {
        if (p.instance && !w.processAlive(p.instance->processId))
            p.instance.reset();
        return p.instance ? &*p.instance : nullptr;
    }
    const Instance* live(const Player& p) const {
        return p.instance && w.processAlive(p.instance->processId) ? &*p.instance : nullptr;
    }

    std::string label(const Player& p) const { return narrow(rowOf(p).name); }

    Hwnd newWindow(Player& p, const String& className, const String& title,
                   std::uint32_t processId) {
        Window& win = w.newWindow(WindowKind::Foreign, className, title);
        win.visible = true;
        win.processId = processId;
        win.threadId = processId + 1;
        const Hwnd hwnd = win.hwnd;
        const auto index = static_cast<std::size_t>(&p - players.data());
        win.foreignHandler = [this, index, hwnd](const ReceivedMessage& m) {
            return onMessage(index, hwnd, m);
        };
        return hwnd;
    }

    void launch(Player& p, bool byShell) {
        if (live(p)) {
            w.journal("player already running: " + label(p) + " (not started again)");
            return;
        }
        const PlayerRow& row = rowOf(p);
        Instance inst;
        inst.processId = nextProcessId;
        nextProcessId += 4;
        w.deadProcesses.erase(inst.processId);
        String cls = row.windowClass;
        if (!row.classicWindowClass.empty() && p.config.winampWindow == WinampWindow::Classic)
            cls = row.classicWindowClass;
        inst.main = newWindow(p, cls, row.name, inst.processId);
        p.instance = inst;
        p.starts.push_back({w.now, byShell, inst.processId});
        w.journal("player started: " + label(p) + " (process " + std::to_string(inst.processId) +
                  ", window [" + narrow(cls) + "]) by " + (byShell ? "the shell" : "the user"));
    }

    // The process ends with all its windows; whoever waits for it wakes.
    void end(Player& p, const std::string& how) {
        Instance* inst = live(p);
        if (!inst)
            return;
        const std::uint32_t pid = inst->processId;
        std::vector<Hwnd> doomed;
        for (const auto& [hwnd, win] : w.windows)
            if (win->kind == WindowKind::Foreign && win->processId == pid && win->parent == 0)
                doomed.push_back(hwnd);
        for (Hwnd hwnd : doomed)
            w.destroyWindowLocked(hwnd);
        p.instance.reset();
        w.journal("player closed: " + label(p) + " (" + how + ")");
        for (const auto& t : w.threads)
            if (t->blocked && t->blockKind == BlockKind::ObjectWait)
                w.wake(t.get(), WakeReason::Woken);
    }

    // A close request has taken effect: quit, or for Musicmatch ask about the upgrade first.
    void completeClose(Player& p) {
        Instance* inst = live(p);
        if (!inst)
            return;
        inst->closing = false;
        if (p.config.upgradePrompt && rowOf(p).mayOfferUpgrade) {
            if (!inst->upgrade) {
                inst->upgrade = newWindow(p, kDialogClass, kUpgradeTitle, inst->processId);
                w.journal("Musicmatch shows \"" + narrow(kUpgradeTitle) + "\"");
            }
            return;
        }
        end(p, "close request");
    }

    void terminated(std::uint32_t processId) {
        for (Player& p : players)
            if (p.instance && p.instance->processId == processId) {
                p.instance.reset();
                w.journal("player terminated: " + label(p) + " (process " +
                          std::to_string(processId) + ")");
            }
    }

    void shellOpened(const String& file) {
        const String key = normaliseFilePath(file);
        for (Player& p : players)
            if (p.installed && normaliseFilePath(p.program) == key)
                launch(p, true);
    }

    LResult onMessage(std::size_t index, Hwnd hwnd, const ReceivedMessage& m) {
        Lock lk(w.m);
        Player& p = players[index];
        Instance* inst = live(p);
        if (!inst || (hwnd != inst->main && hwnd != inst->upgrade))
            return 0;
        if (m.msg == WM_APPCOMMAND) {
            const auto high =
                static_cast<std::uint16_t>((static_cast<std::uint64_t>(m.lParam) >> 16));
            PlayerAppCommand c;
            c.atMs = w.now;
            c.command = static_cast<std::uint16_t>(high & ~kDeviceBits);
            c.device = static_cast<std::uint16_t>(high & kDeviceBits);
            c.keys = static_cast<std::uint16_t>(m.lParam & 0xFFFF);
            c.wParam = m.wParam;
            c.lParam = m.lParam;
            p.appCommands.push_back(c);
            w.journal(label(p) + " received app command " + appCommandName(c.command) +
                      " (lParam " + hex(static_cast<std::uint64_t>(m.lParam)) + ")");
            return 1;
        }
        if (m.msg != WM_CLOSE)
            return 0;
        if (hwnd == inst->upgrade) {
            p.closeRequests.push_back({w.now, true});
            inst->upgrade = 0;
            w.destroyWindowLocked(hwnd);
            end(p, "close request after \"" + narrow(kUpgradeTitle) + "\"");
            return 0;
        }
        p.closeRequests.push_back({w.now, false});
        if (!p.config.closeDelayMs || inst->upgrade || inst->closing)
            return 0;
        const std::uint32_t delay = *p.config.closeDelayMs;
        if (delay == 0 || w.ending) {
            completeClose(p);
            return 0;
        }
        inst->closing = true;
        const std::uint32_t pid = inst->processId;
        const std::string threadLabel = label(p) + " closing";
        lk.unlock();
        // A thread of its own so the delay passes in virtual time, in step with the rest.
        const Handle h = w.startThread([this, index, pid, delay] { closeLater(index, pid, delay); },
                                       ThreadKind::Background, threadLabel);
        lk.lock();
        w.objects.erase(h);
        return 0;
    }

    void closeLater(std::size_t index, std::uint32_t pid, std::uint32_t delay) {
        w.sleepFor(delay);
        Lock lk(w.m);
        Player& p = players[index];
        const Instance* inst = live(p);
        if (inst && inst->processId == pid && inst->closing)
            completeClose(p);
    }
};

namespace {

// The simulated Processes port with the players watching.
class PlayerProcesses final : public plat::Processes {
public:
    PlayerProcesses(SimPc::Impl& w, std::unique_ptr<plat::Processes> inner,
                    std::shared_ptr<PlayerWorld> players)
        : w_(w), inner_(std::move(inner)), players_(std::move(players)) {}

    Handle openProcess(std::uint32_t access, std::uint32_t processId) override {
        return inner_->openProcess(access, processId);
    }

    bool terminateProcess(Handle process, std::uint32_t exitCode) override {
        std::optional<std::uint32_t> pid;
        {
            Lock lk(w_.m);
            auto it = w_.objects.find(process);
            if (it != w_.objects.end() && it->second.kind == ObjectKind::Process)
                pid = it->second.processId;
        }
        const bool done = inner_->terminateProcess(process, exitCode);
        if (done && pid) {
            Lock lk(w_.m);
            players_->terminated(*pid);
        }
        return done;
    }

    bool closeHandle(Handle object) override { return inner_->closeHandle(object); }
    Handle openProcessToken() override { return inner_->openProcessToken(); }
    bool getTokenGroups(Handle token, std::uint32_t bufferSize,
                        std::vector<plat::SidAndAttributes>& groups, std::uint32_t& returnLength,
                        std::uint32_t& error) override {
        return inner_->getTokenGroups(token, bufferSize, groups, returnLength, error);
    }
    bool closeToken(Handle token) override { return inner_->closeToken(token); }

    std::intptr_t shellExecute(Hwnd owner, const String& verb, const String& file,
                               std::uint32_t show) override {
        const std::intptr_t result = inner_->shellExecute(owner, verb, file, show);
        // An empty verb is the default one, which for programs is "open".
        if (result > 32 && (verb.empty() || foldCase(verb) == u"open")) {
            Lock lk(w_.m);
            players_->shellOpened(file);
        }
        return result;
    }

    Hwnd htmlHelp(Hwnd owner, const String& file, std::uint32_t command,
                  std::uintptr_t data) override {
        return inner_->htmlHelp(owner, file, command, data);
    }

private:
    SimPc::Impl& w_;
    std::unique_ptr<plat::Processes> inner_;
    std::shared_ptr<PlayerWorld> players_;
};

} // namespace

std::shared_ptr<PlayerWorld> SimPc::attachPlayers(Impl& impl) {
    auto world = std::make_shared<PlayerWorld>(impl);
    impl.processesPort =
        std::make_unique<PlayerProcesses>(impl, std::move(impl.processesPort), world);
    return world;
}

// ------------------------------------------------------------------ the test-facing side

std::vector<String> SimPc::playerNames() {
    std::vector<String> names;
    for (const auto& row : rows())
        names.push_back(row.name);
    return names;
}

bool SimPc::installPlayer(const PlayerConfig& config) {
    const int index = rowIndex(config.name);
    if (index < 0)
        return false;
    const PlayerRow& row = rows()[static_cast<std::size_t>(index)];
    const String directory = withoutTrailingSeparators(
        config.directory.empty() ? row.defaultDirectory : config.directory);
    const String program = directory + u"\\" + row.program;

    // A new installation replaces the registration of an earlier one.
    deleteTree(plat::HKCU, row.hkcuKey);
    deleteTree(plat::HKLM, row.hklmKey);
    for (plat::HKey root : rootsOf(config.roots)) {
        const String& key = root == plat::HKCU ? row.hkcuKey : row.hklmKey;
        // Application registrations carry the shell's command for the program.
        if (key.find(u"Classes\\Applications") != String::npos)
            setString(root, key + u"shell\\open\\command", u"", u"\"" + program + u"\" \"%1\"");
        else
            createKey(root, key);
        if (config.recordsLocation && row.locationInDetectionKey)
            setString(root, key, row.locationValue, directory);
    }
    if (config.recordsLocation && !row.locationInDetectionKey)
        setString(row.locationRoot, row.locationKey, row.locationValue,
                  row.locationIsDirectory ? directory : program);
    writeFile(program, "MZ");
    String settings = directory;
    if (isWinamp(row)) {
        // Per-user settings: the installer writes paths.ini, and the folder it names is
        // where Winamp's first run puts winamp.ini.
        const String paths = directory + u"\\paths.ini";
        if (config.winampIniDir) {
            writeFile(paths, "[Winamp]\r\ninidir=" + plat::toUtf8(*config.winampIniDir) + "\r\n");
            const String wanted = winampFolderFor(directory, true);
            if (!wanted.empty())
                createFolder(wanted);
        } else {
            Lock lk(impl_->m);
            impl_->files.erase(normaliseFilePath(paths));
        }
        settings = winampFolderFor(directory);
        if (config.winampIni)
            writeFile(settings + u"\\winamp.ini", *config.winampIni);
    }

    Lock lk(impl_->m);
    if (isWinamp(row) && !config.winampIni)
        impl_->files.erase(normaliseFilePath(settings + u"\\winamp.ini"));
    PlayerWorld::Player& p = players_->players[static_cast<std::size_t>(index)];
    p.installed = true;
    p.config = config;
    p.directory = directory;
    p.program = program;
    if (config.running)
        players_->launch(p, false);
    return true;
}

bool SimPc::playerInstalled(const String& name) const {
    Lock lk(impl_->m);
    const auto* p = players_->find(name);
    return p && p->installed;
}

std::vector<std::pair<plat::HKey, String>> SimPc::playerDetectionKeys(const String& name) const {
    const int index = rowIndex(name);
    if (index < 0)
        return {};
    const PlayerRow& row = rows()[static_cast<std::size_t>(index)];
    std::vector<std::pair<plat::HKey, String>> keys{{plat::HKCU, row.hkcuKey}};
    if (row.hklmDetected)
        keys.emplace_back(plat::HKLM, row.hklmKey);
    return keys;
}

bool SimPc::playerDetectable(const String& name) const {
    for (const auto& [root, key] : playerDetectionKeys(name))
        if (keyExists(root, key))
            return true;
    return false;
}

String SimPc::playerProgramPath(const String& name) const {
    Lock lk(impl_->m);
    const auto* p = players_->find(name);
    return p && p->installed ? p->program : String();
}

String SimPc::playerDirectory(const String& name) const {
    Lock lk(impl_->m);
    const auto* p = players_->find(name);
    return p && p->installed ? p->directory : String();
}

bool SimPc::startPlayer(const String& name) {
    Lock lk(impl_->m);
    auto* p = players_->find(name);
    if (!p || !p->installed)
        return false;
    players_->launch(*p, false);
    return true;
}

bool SimPc::quitPlayer(const String& name) {
    Lock lk(impl_->m);
    auto* p = players_->find(name);
    if (!p || !players_->live(*p))
        return false;
    players_->end(*p, "the user quit it");
    return true;
}

bool SimPc::playerRunning(const String& name) const {
    Lock lk(impl_->m);
    const auto* p = players_->find(name);
    return p && players_->live(*p);
}

Hwnd SimPc::playerWindow(const String& name) const {
    Lock lk(impl_->m);
    const auto* p = players_->find(name);
    const auto* inst = p ? players_->live(*p) : nullptr;
    return inst ? inst->main : 0;
}

Hwnd SimPc::playerUpgradeWindow(const String& name) const {
    Lock lk(impl_->m);
    const auto* p = players_->find(name);
    const auto* inst = p ? players_->live(*p) : nullptr;
    return inst ? inst->upgrade : 0;
}

std::uint32_t SimPc::playerProcessId(const String& name) const {
    Lock lk(impl_->m);
    const auto* p = players_->find(name);
    const auto* inst = p ? players_->live(*p) : nullptr;
    return inst ? inst->processId : 0;
}

bool SimPc::setForegroundPlayer(const String& name) {
    Lock lk(impl_->m);
    auto* p = players_->find(name);
    const auto* inst = p ? players_->live(*p) : nullptr;
    if (!inst)
        return false;
    impl_->foreground = inst->main;
    return true;
}

bool SimPc::setPlayerHung(const String& name, bool hung) {
    Hwnd main = 0;
    {
        Lock lk(impl_->m);
        auto* p = players_->find(name);
        const auto* inst = p ? players_->live(*p) : nullptr;
        if (!inst)
            return false;
        main = inst->main;
    }
    setWindowHung(main, hung);
    return true;
}

std::vector<PlayerAppCommand> SimPc::playerAppCommands(const String& name) const {
    Lock lk(impl_->m);
    const auto* p = players_->find(name);
    return p ? p->appCommands : std::vector<PlayerAppCommand>{};
}

std::vector<PlayerCloseRequest> SimPc::playerCloseRequests(const String& name) const {
    Lock lk(impl_->m);
    const auto* p = players_->find(name);
    return p ? p->closeRequests : std::vector<PlayerCloseRequest>{};
}

std::vector<PlayerStart> SimPc::playerStarts(const String& name) const {
    Lock lk(impl_->m);
    const auto* p = players_->find(name);
    return p ? p->starts : std::vector<PlayerStart>{};
}

void SimPc::setIntelliTypeInstalled(bool installed) {
    if (installed) {
        setString(plat::HKLM, kIntelliTypeKey, u"", kIntelliTypeDirectory + u"\\mskey.exe");
        setString(plat::HKLM, kIntelliTypeKey, u"Path", kIntelliTypeDirectory);
    } else {
        deleteTree(plat::HKLM, kIntelliTypeKey);
    }
}

std::optional<std::string> SimPc::winampIni() const {
    const String folder = winampSettingsFolder();
    if (folder.empty())
        return std::nullopt;
    return fileContents(folder + u"\\winamp.ini");
}

bool SimPc::setWinampIni(const std::string& text) {
    const String folder = winampSettingsFolder();
    if (folder.empty())
        return false;
    writeFile(folder + u"\\winamp.ini", text);
    return true;
}

String SimPc::winampSettingsFolder() const {
    const String directory = playerDirectory(u"Winamp");
    return directory.empty() ? String() : winampFolderFor(directory);
}

// Winamp's own reading of paths.ini, on the machine's own services: the "[Winamp]" section's
// "inidir" line, "{N}" and %VARIABLES% through the shell and the environment, a relative
// path from the program folder. With `wanted`, the folder it names whether it exists or not
// (empty if none); without, that folder only if it exists, else the program folder.
String SimPc::winampFolderFor(const String& directory, bool wanted) const {
    const std::string paths = fileContents(directory + u"\\paths.ini").value_or("");
    const auto trim = [](std::string text) {
        const std::size_t first = text.find_first_not_of(" \t\r");
        const std::size_t last = text.find_last_not_of(" \t\r");
        return first == std::string::npos ? std::string() : text.substr(first, last - first + 1);
    };
    std::string value;
    int winampSections = 0;
    std::istringstream lines(paths);
    for (std::string line; std::getline(lines, line) && winampSections < 2;) {
        line = trim(line);
        const std::size_t equals = line.find('=');
        if (line.starts_with('[')) {
            const bool winamp = plat::equalsIgnoringCase(
                plat::fromAscii(trim(line.substr(1, line.find(']') - 1))), u"Winamp");
            winampSections += winamp || winampSections > 0 ? 1 : 0;
        } else if (winampSections == 1 && equals != std::string::npos &&
                   plat::equalsIgnoringCase(plat::fromAscii(trim(line.substr(0, equals))), u"inidir")) {
            value = trim(line.substr(equals + 1));
            if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
                value = value.substr(1, value.size() - 2);
            break;
        }
    }
    const String fallback = wanted ? String() : directory;
    if (value.empty())
        return fallback;
    plat::Folders& shell = *impl_->foldersPort;
    String path;
    String rest = plat::fromAscii(value);
    if (value.starts_with('{') && value.find('}') != std::string::npos) {
        if (!shell.shellFolderPath(std::atoi(value.c_str() + 1), path))
            return fallback;
        rest = plat::fromAscii(value.substr(value.find('}') + 1));
    }
    String expanded;
    if (!shell.expandEnvironmentStrings(rest, expanded))
        return fallback;
    if (!path.empty() && !expanded.empty() && expanded.front() != u'\\')
        path += u'\\';
    path += expanded;
    const bool absolute = (path.size() > 2 && path[1] == u':') || path.starts_with(u"\\\\");
    if (!absolute)
        path = path.starts_with(u"\\") ? directory.substr(0, 2) + path : directory + u"\\" + path;
    while (path.size() > 3 && path.back() == u'\\')
        path.pop_back();
    return wanted || shell.isFolder(path) ? path : directory;
}

} // namespace sim
