// The supported media players as data: one row per player. Detection, starting, closing,
// routing, re-routing and key forwarding read their player's row; nothing asks for a player
// by its name. A new player is a row here and, when its own output device can be routed, a
// pair of routing functions.
#pragma once

#include "types.h"

#include <cstdint>
#include <span>
#include <vector>

class PcInfo;
struct AudioDeviceEntry;

// The display names, exactly as the lists show them and the preferences store them.
inline constexpr char16_t kWindowsMediaPlayer[] = u"Windows Media Player";
inline constexpr char16_t kMusicmatch[] = u"Musicmatch";
inline constexpr char16_t kWinamp[] = u"Winamp";
inline constexpr char16_t kRealPlayer[] = u"Real Player";
inline constexpr char16_t kITunes[] = u"iTunes";

namespace players {

// Deep: the program routes the player's own output device. Basic: the player plays on the
// system default and is restarted to follow it.
enum class Integration { Deep, Basic };

// How a player is closed: its main window is asked, or its process is terminated.
enum class Closing { AskWindow, TerminateProcess };

// Which media keys of the remote devices the player gets as application commands.
enum class KeyForwarding {
    WithIntelliType,    // only while IntelliType is installed
    AlsoFromBackground, // also without IntelliType, then only while another window is in front
    OwnHotkeys,         // never: it takes them through its own global hotkeys
};

// Where the program file is found: a registry value holding its directory (the program's
// file name then appended) or, with no file name, its full path.
struct ProgramLocation {
    plat::HKey root;
    const char16_t* key;
    const char16_t* value;
    const char16_t* program;
};

// A deep-integration player's output device: read as a table name, "Default Audio Device",
// "No Device Found" or "Can't Access the entry"; written as table entry `index` (`chosen`),
// `device` being the name the user chose. The write returns 1 on success.
struct Routing {
    plat::String (*read)(PcInfo& pc);
    int (*write)(PcInfo& pc, int index, const AudioDeviceEntry& chosen, const plat::String& device);
};

// Where a player comes in the program's sequences over several players; -1: not at all.
struct Turns {
    int activityCheck;        // whether any player runs, before the system default changes
    int restartOnDefault;     // offered a restart after the system default has changed
    int restartOnTransmitter; // offered a restart after the transmitter came or went
};

struct PlayerRow {
    const char16_t* name;
    Integration integration;
    // Detection: the key under HKCU; the key under HKLM, tried when the first does not open
    // (null: the player counts only when installed for this user).
    const char16_t* userKey;
    const char16_t* machineKey;
    ProgramLocation location;
    std::uint32_t startPauseMs; // waited before the program is opened
    // The main window's class (the one closing waits for and keys go to), and an older
    // version's (or null), which also counts as running.
    const char16_t* windowClass;
    const char16_t* olderWindowClass;
    Closing closing;
    // A window that may answer the close request (by its title), closed in turn; or null.
    const char16_t* closeAnswerTitle;
    std::uint32_t restartStyle; // the restart question's message-box style
    KeyForwarding keys;
    Routing routing; // null functions: the player follows the system default
    // Follows the transmitter's arrival (true) and removal on its own; or null.
    void (*onTransmitterChange)(PcInfo& pc, bool present);
    Turns turns;
};

// Every supported player, in the order the lists show them: deep integration first.
std::span<const PlayerRow> catalogue();
// The row of the player of that display name (compared exactly); null for any other name.
const PlayerRow* findPlayer(const plat::String& name);
// The player's main window, of either class; 0 when it does not run.
plat::Hwnd playerWindow(const PlayerRow& row);
// Asks the user, in a box owned by `owner`, to restart the player now; the button pressed.
int askRestart(plat::Hwnd owner, const PlayerRow& player);
// The players that take a turn `turn`, in turn order.
std::vector<const PlayerRow*> inTurn(int Turns::*turn);

} // namespace players
