// The media players of the simulated PC as a test installs, runs and reads them (sim_pc.h).
#pragma once

#include "ports.h"

#include <cstdint>
#include <optional>
#include <string>

namespace sim {

using plat::String;

// ------------------------------------------------------------ media players
// The five supported players, by display name (compared exactly): "Windows Media Player",
// "Musicmatch", "Winamp", "Real Player", "iTunes".

// Which roots a player's installer wrote its detection key under. The catalogue does not
// look everywhere: Winamp's key counts under HKCU only, and Musicmatch's HKLM key is a
// different one ("Software\MusicMatch\MusicMatch Jukebox\4.0\MainApp\").
enum class PlayerRoots { CurrentUser, LocalMachine, Both };

// Winamp's main window class: "BaseWindow_RootWnd" (Modern) or "Winamp v1.x" (Classic).
enum class WinampWindow { Modern, Classic };

// A plausible "winamp.ini": wave-out output on the default device, a DirectSound section,
// and a "[gen_hotkeys]" section last, with two bindings and global hotkeys disabled.
std::string typicalWinampIni();
// "winamp.ini" as Winamp 5.x writes it after its first run: Windows line endings, sections
// such as "[Winamp]", "[WinampReg]", "[out_disk]", "[out_ds]", "[pmp_usb]" and
// "[gen_hotkeys]", a file-type list ("config_extlist=") over 500 characters long, and the
// DirectSound output without a device line (none has been chosen in Winamp yet).
std::string winamp5Ini();

struct PlayerConfig {
    String name;
    PlayerRoots roots = PlayerRoots::CurrentUser;
    String directory; // empty: the player's usual folder under "C:\Program Files"
    // The value the player's program file is found by. Musicmatch keeps it in its HKLM
    // detection key, so a Musicmatch that records it is detectable under HKLM as well.
    bool recordsLocation = true;
    WinampWindow winampWindow = WinampWindow::Modern;
    // Virtual time from a close request (WM_CLOSE to the main window) to quitting;
    // nothing: close requests are ignored.
    std::optional<std::uint32_t> closeDelayMs = 0;
    // Musicmatch: a close request first brings up its "Upgrade to Plus" window, and the
    // player quits only once that window has been closed too.
    bool upgradePrompt = false;
    bool running = false; // started by the user right after installation
    // Winamp: the contents of "winamp.ini" in its settings folder; nothing: no such file.
    std::optional<std::string> winampIni = typicalWinampIni();
    // Winamp installed "with settings per user": "paths.ini" beside winamp.exe holds this
    // "inidir" (the installer writes "{26}\Winamp"), and winamp.ini goes to the folder it
    // names, which is created. Nothing: the settings live in the program folder.
    std::optional<String> winampIniDir;
};

// WM_APPCOMMAND as a player's window received it.
struct PlayerAppCommand {
    std::uint64_t atMs = 0;
    std::uint16_t command = 0; // HIWORD(lParam) without the device bits (0xF000)
    std::uint16_t device = 0;  // the device bits: FAPPCOMMAND_MOUSE, _KEY or _OEM
    std::uint16_t keys = 0;    // LOWORD(lParam)
    plat::WParam wParam = 0;
    plat::LParam lParam = 0;
};

struct PlayerCloseRequest {
    std::uint64_t atMs = 0;
    bool upgradeWindow = false; // sent to Musicmatch's "Upgrade to Plus" window
};

struct PlayerStart {
    std::uint64_t atMs = 0;
    bool byShell = false; // the shell opened its program file; else the user started it
    std::uint32_t processId = 0;
};

// "next" (11), "previous" (12), "stop" (13), "play-pause" (14), else "command N".
std::string appCommandName(std::uint16_t command);

} // namespace sim
