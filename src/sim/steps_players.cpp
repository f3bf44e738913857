// Steps about the media players on the simulated PC: installing, starting and quitting them
// as their user would, Microsoft IntelliType, Winamp's "winamp.ini", and what the players
// received from the program (application commands, close requests, starts).
#include "scenario.h"

#include "text.h"

#include <map>
#include <sstream>

namespace scn {

namespace {

// App commands already checked by 'expect player ... received', per player.
struct PlayersSeen {
    std::map<std::string, std::size_t> appCommands;
};

bool known(Session& s, const Args& a) {
    for (const auto& name : sim::SimPc::playerNames())
        if (name == a.wide("name"))
            return true;
    s.misuse(
        quoted(a.text("name")) + " is not a supported player; the players are " +
        "\"Windows Media Player\", \"Musicmatch\", \"Winamp\", \"Real Player\" and \"iTunes\"");
    return false;
}

bool installed(Session& s, const Args& a) {
    if (!known(s, a))
        return false;
    if (!s.pc().playerInstalled(a.wide("name"))) {
        s.misuse(quoted(a.text("name")) + " is not installed ('player install' first)");
        return false;
    }
    return true;
}

std::string windowClassOf(Session& s, const plat::String& name) {
    const plat::Hwnd w = s.pc().playerWindow(name);
    if (!w)
        return "";
    for (const plat::String cls : {u"WMPlayerApp", u"MMJB:MAINWND", u"BaseWindow_RootWnd",
                                   u"Winamp v1.x", u"GeminiWindowClass", u"iTunes"})
        if (s.pc().findWindow(&cls, nullptr) == w)
            return plat::toUtf8(cls);
    return "?";
}

std::string commandList(const std::vector<sim::PlayerAppCommand>& commands, std::size_t from) {
    std::string out;
    for (std::size_t i = from; i < commands.size(); ++i)
        out += (out.empty() ? "" : " ") + sim::appCommandName(commands[i].command);
    return out.empty() ? "nothing" : out;
}

// "play-pause  next" and "play-pause next" are the same list.
std::string normalisedList(const std::string& text) {
    std::istringstream words(text);
    std::string out;
    for (std::string w; words >> w;)
        out += (out.empty() ? "" : " ") + w;
    return out;
}

void showWinampIni(Session& s) {
    const auto ini = s.pc().winampIni();
    if (!ini) {
        s.say(s.pc().playerInstalled(u"Winamp") ? "Winamp has no winamp.ini"
                                                : "Winamp is not installed");
        return;
    }
    s.say("winamp.ini in " + plat::toUtf8(s.pc().winampSettingsFolder()) + ":");
    // Carriage returns are shown as \r, so that a transcript shows each line's ending.
    std::istringstream lines(*ini);
    for (std::string line; std::getline(lines, line);) {
        std::string shown;
        for (const char c : line)
            shown += c == '\r' ? std::string("\\r") : std::string(1, c);
        s.say("  " + shown);
    }
}

} // namespace

void registerPlayerSteps(StepTable& table) {
    table.add({
        .name = "player install",
        .forms = {"<name> [registered <roots:hkcu|hklm|both>] [directory <dir>] [classic-window] "
                  "[closes-after <delay:duration>] [ignores-close] [upgrade-prompt] "
                  "[no-location] [no-winamp-ini] [winamp5-ini] [per-user] [inidir <inidir>] "
                  "[running]"},
        .help = "Installs a supported player: its detection key (under HKCU unless 'registered'\n"
                "says otherwise), the value its program is found by (unless 'no-location'),\n"
                "its program file (in 'directory', default its folder under C:\\Program Files)\n"
                "and, for Winamp, a typical winamp.ini (unless 'no-winamp-ini'). The player\n"
                "closes at once on WM_CLOSE unless 'closes-after' delays it or 'ignores-close';\n"
                "Winamp's window is \"Winamp v1.x\" with 'classic-window'; Musicmatch asks\n"
                "\"Upgrade to Plus\" before it quits with 'upgrade-prompt'. 'running': the user\n"
                "starts it right away. Installing again replaces the registration.\n"
                "Winamp: 'winamp5-ini' gives a winamp.ini as Winamp 5.x writes it on its first\n"
                "run (Windows line endings, a long file-type list, DirectSound output with no\n"
                "device chosen yet); 'per-user' installs it \"with settings per user\": a\n"
                "paths.ini beside winamp.exe says \"inidir={26}\\Winamp\" (or the 'inidir' given),\n"
                "and winamp.ini lives in the folder that names (the user's roaming application\n"
                "data).",
        .run =
            [](Session& s, const Args& a) {
                if (!known(s, a))
                    return;
                if (a.has("delay") && a.has("ignores-close")) {
                    s.misuse("'closes-after' and 'ignores-close' contradict each other");
                    return;
                }
                sim::PlayerConfig c;
                c.name = a.wide("name");
                std::string roots = "hkcu";
                if (a.has("roots")) {
                    roots = a.text("roots");
                    c.roots = roots == "hklm"   ? sim::PlayerRoots::LocalMachine
                              : roots == "both" ? sim::PlayerRoots::Both
                                                : sim::PlayerRoots::CurrentUser;
                }
                if (a.has("dir"))
                    c.directory = a.wide("dir");
                if (a.has("classic-window"))
                    c.winampWindow = sim::WinampWindow::Classic;
                if (a.has("delay"))
                    c.closeDelayMs = a.ms("delay");
                if (a.has("ignores-close"))
                    c.closeDelayMs.reset();
                c.upgradePrompt = a.has("upgrade-prompt");
                c.recordsLocation = !a.has("no-location");
                if (a.has("no-winamp-ini"))
                    c.winampIni.reset();
                else if (a.has("winamp5-ini"))
                    c.winampIni = sim::winamp5Ini();
                if (a.has("inidir"))
                    c.winampIniDir = a.wide("inidir");
                else if (a.has("per-user"))
                    c.winampIniDir = u"{26}\\Winamp";
                c.running = a.has("running");
                s.pc().installPlayer(c);
                const plat::String settings = c.name == u"Winamp" ? s.pc().winampSettingsFolder()
                                                                   : plat::String();
                s.say(a.text("name") + " installed (" + roots + ") in " +
                      plat::toUtf8(s.pc().playerDirectory(c.name)) +
                      (s.pc().playerDetectable(c.name) ? "; the catalogue can detect it"
                                                       : "; the catalogue cannot detect it") +
                      (c.winampIniDir ? "; its settings are in " + plat::toUtf8(settings) : ""));
            },
    });

    table.add({
        .name = "player start",
        .forms = {"<name>"},
        .help = "The user starts an installed player (nothing happens if it runs already).",
        .run =
            [](Session& s, const Args& a) {
                if (!installed(s, a))
                    return;
                s.pc().startPlayer(a.wide("name"));
                s.settle();
            },
    });

    table.add({
        .name = "player quit",
        .forms = {"<name>"},
        .help = "The user quits a running player; its windows and process go.",
        .run =
            [](Session& s, const Args& a) {
                if (!installed(s, a))
                    return;
                if (!s.pc().quitPlayer(a.wide("name"))) {
                    s.fail(quoted(a.text("name")) + " is not running");
                    return;
                }
                s.settle();
            },
    });

    table.add({
        .name = "player foreground",
        .forms = {"<name>"},
        .help = "The user brings a running player's window to the front.",
        .run =
            [](Session& s, const Args& a) {
                if (!installed(s, a))
                    return;
                if (!s.pc().setForegroundPlayer(a.wide("name"))) {
                    s.fail(quoted(a.text("name")) + " is not running");
                    return;
                }
                s.say(a.text("name") + " is the foreground window");
            },
    });

    table.add({
        .name = "player hang",
        .forms = {"<name>", "<name> answering"},
        .help = "A running player's window stops answering messages (its program hangs); with\n"
                "'answering' it answers again and handles what was posted to it meanwhile.\n"
                "Windows calls a window hung once it has not answered for 5 seconds.",
        .run =
            [](Session& s, const Args& a) {
                if (!installed(s, a))
                    return;
                const bool hung = !a.has("answering");
                if (!s.pc().setPlayerHung(a.wide("name"), hung)) {
                    s.fail(quoted(a.text("name")) + " is not running");
                    return;
                }
                s.say(a.text("name") + (hung ? " stops answering" : " answers again"));
                s.settle();
            },
    });

    table.add({
        .name = "intellitype",
        .forms = {"installed|absent"},
        .help = "Whether Microsoft IntelliType's App Paths key (HKLM ...\\App Paths\\mskey.exe)\n"
                "exists; absent by default.",
        .run =
            [](Session& s, const Args& a) {
                s.pc().setIntelliTypeInstalled(a.has("installed"));
                s.say(a.has("installed") ? "IntelliType is installed" : "IntelliType is absent");
            },
    });

    table.add({
        .name = "expect player",
        .forms = {"<name> running|closed", "<name> detected|not-detected",
                  "<name> received <commands>", "<name> starts <count:uint>",
                  "<name> close-requests <count:uint>"},
        .help = "A player runs (its main window exists) or not; the catalogue can detect it\n"
                "(one of its detection keys exists) or not; it received exactly these\n"
                "application commands since the last such check (\"play-pause next\": next,\n"
                "previous, stop, play-pause, or \"nothing\"); it was started this many times;\n"
                "its windows received this many close requests.",
        .run =
            [](Session& s, const Args& a) {
                if (!known(s, a))
                    return;
                const plat::String name = a.wide("name");
                const std::string label = quoted(a.text("name"));
                if (a.has("running") || a.has("closed")) {
                    const bool running = s.pc().playerRunning(name);
                    if (running != a.has("running")) {
                        s.fail(label + (running ? " is running" : " is not running"));
                        return;
                    }
                    s.say("ok: " + label +
                          (running ? " runs, window [" + windowClassOf(s, name) + "], process " +
                                         std::to_string(s.pc().playerProcessId(name))
                                   : " is not running"));
                } else if (a.has("detected") || a.has("not-detected")) {
                    const bool detected = s.pc().playerDetectable(name);
                    if (detected != a.has("detected")) {
                        s.fail(label + (detected ? " has a detection key"
                                                 : " has none of its detection keys"));
                        return;
                    }
                    s.say("ok: " + label + (detected ? " can be detected" : " cannot be detected"));
                } else if (a.has("commands")) {
                    const auto commands = s.pc().playerAppCommands(name);
                    std::size_t& seen = s.state<PlayersSeen>().appCommands[a.text("name")];
                    const std::string got = commandList(commands, seen);
                    seen = commands.size();
                    if (got != normalisedList(a.text("commands"))) {
                        s.fail(label + " received " + got + ", not " + a.text("commands"));
                        return;
                    }
                    s.say("ok: " + label + " received " + got);
                } else {
                    const bool starts = a.has("starts");
                    const std::size_t count = starts ? s.pc().playerStarts(name).size()
                                                     : s.pc().playerCloseRequests(name).size();
                    const std::string what =
                        std::to_string(count) + (starts ? " start(s)" : " close request(s)");
                    if (static_cast<std::int64_t>(count) != a.number("count")) {
                        s.fail(label + " had " + what + ", not " + a.text("count"));
                        return;
                    }
                    s.say("ok: " + label + " had " + what);
                }
            },
    });

    table.add({
        .name = "show players",
        .help = "Prints each player as the simulated PC has it: installed, detectable,\n"
                "running (window class and process), commands, close requests and starts.",
        .run =
            [](Session& s, const Args&) {
                for (const auto& name : sim::SimPc::playerNames()) {
                    std::string line = plat::toUtf8(name) + ": ";
                    if (!s.pc().playerInstalled(name)) {
                        s.say(line + "not installed");
                        continue;
                    }
                    line += s.pc().playerDetectable(name) ? "detectable" : "not detectable";
                    if (s.pc().playerRunning(name))
                        line += ", running [" + windowClassOf(s, name) + "] process " +
                                std::to_string(s.pc().playerProcessId(name));
                    else
                        line += ", not running";
                    s.say(line + "; commands: " + commandList(s.pc().playerAppCommands(name), 0) +
                          "; close requests: " +
                          std::to_string(s.pc().playerCloseRequests(name).size()) +
                          "; starts: " + std::to_string(s.pc().playerStarts(name).size()));
                }
            },
    });

    table.add({
        .name = "winamp-ini set",
        .forms = {"<text>"},
        .help = "Replaces Winamp's winamp.ini, in its settings folder (\\n separates lines;\n"
                "\\r\\n for Windows line endings).",
        .run =
            [](Session& s, const Args& a) {
                if (!s.pc().setWinampIni(a.text("text"))) {
                    s.misuse("Winamp is not installed ('player install \"Winamp\"' first)");
                    return;
                }
                s.say("winamp.ini replaced");
            },
    });

    table.add({
        .name = "show winamp-ini",
        .help = "Prints Winamp's winamp.ini.",
        .run = [](Session& s, const Args&) { showWinampIni(s); },
    });

    table.add({
        .name = "expect winamp-ini",
        .forms = {"contains|lacks <text>", "absent"},
        .help = "Winamp's winamp.ini contains this text (\\n for line breaks, \\r for carriage\n"
                "returns, byte for byte) or lacks it, or there is no winamp.ini.",
        .run =
            [](Session& s, const Args& a) {
                const auto ini = s.pc().winampIni();
                if (a.has("absent")) {
                    if (ini) {
                        s.fail("winamp.ini exists");
                        return;
                    }
                    s.say("ok: there is no winamp.ini");
                    return;
                }
                if (!ini) {
                    s.fail("there is no winamp.ini");
                    return;
                }
                const bool found = ini->find(a.text("text")) != std::string::npos;
                if (found != a.has("contains")) {
                    showWinampIni(s);
                    s.fail(std::string("winamp.ini ") + (found ? "contains " : "lacks ") +
                           quoted(a.text("text")));
                    return;
                }
                s.say(std::string("ok: winamp.ini ") + (found ? "contains " : "lacks ") +
                      quoted(a.text("text")));
            },
    });
}

} // namespace scn
