// The media players of the simulated PC: what the program relies on from them (registry
// keys, program files, main windows of fixed classes in processes of their own, closing on
// request, starting from the shell, application commands) and nothing of their insides.
//
// They watch the Processes port through a thin wrapper put in front of the simulated one at
// construction: that is where the shell opens their program files and where the program
// terminates their processes. Their state is guarded by the world lock.
#include "sim_player_world.h"

#include <cstdio>
#include <cstdlib>
#include <sstream>

namespace sim {

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

PlayerWorld::Player* PlayerWorld::find(const String& name) {
    const int i = rowIndex(name);
    return i < 0 ? nullptr : &players[static_cast<std::size_t>(i)];
}

const PlayerWorld::Player* PlayerWorld::find(const String& name) const {
    return const_cast<PlayerWorld*>(this)->find(name);
}

const PlayerRow& PlayerWorld::rowOf(const Player& p) const {
    return rows()[static_cast<std::size_t>(&p - players.data())];
}

PlayerWorld::Instance* PlayerWorld::live(Player& p) {
    if (p.instance && !w.processAlive(p.instance->processId))
        p.instance.reset();
    return p.instance ? &*p.instance : nullptr;
}

const PlayerWorld::Instance* PlayerWorld::live(const Player& p) const {
    return p.instance && w.processAlive(p.instance->processId) ? &*p.instance : nullptr;
}

Hwnd PlayerWorld::newWindow(Player& p, const String& className, const String& title,
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

void PlayerWorld::launch(Player& p, bool byShell) {
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

void PlayerWorld::end(Player& p, const std::string& how) {
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

void PlayerWorld::completeClose(Player& p) {
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

void PlayerWorld::terminated(std::uint32_t processId) {
    for (Player& p : players)
        if (p.instance && p.instance->processId == processId) {
            p.instance.reset();
            w.journal("player terminated: " + label(p) + " (process " + std::to_string(processId) +
                      ")");
        }
}

void PlayerWorld::shellOpened(const String& file) {
    const String key = normaliseFilePath(file);
    for (Player& p : players)
        if (p.installed && normaliseFilePath(p.program) == key)
            launch(p, true);
}

LResult PlayerWorld::onMessage(std::size_t index, Hwnd hwnd, const ReceivedMessage& m) {
    Lock lk(w.m);
    Player& p = players[index];
    Instance* inst = live(p);
    if (!inst || (hwnd != inst->main && hwnd != inst->upgrade))
        return 0;
    if (m.msg == WM_APPCOMMAND) {
        const auto high = static_cast<std::uint16_t>((static_cast<std::uint64_t>(m.lParam) >> 16));
        PlayerAppCommand c;
        c.atMs = w.now;
        c.command = static_cast<std::uint16_t>(high & ~kDeviceBits);
        c.device = static_cast<std::uint16_t>(high & kDeviceBits);
        c.keys = static_cast<std::uint16_t>(m.lParam & 0xFFFF);
        c.wParam = m.wParam;
        c.lParam = m.lParam;
        p.appCommands.push_back(c);
        w.journal(label(p) + " received app command " + appCommandName(c.command) + " (lParam " +
                  hex(static_cast<std::uint64_t>(m.lParam)) + ")");
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

void PlayerWorld::closeLater(std::size_t index, std::uint32_t pid, std::uint32_t delay) {
    w.sleepFor(delay);
    Lock lk(w.m);
    Player& p = players[index];
    const Instance* inst = live(p);
    if (inst && inst->processId == pid && inst->closing)
        completeClose(p);
}

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

} // namespace sim
