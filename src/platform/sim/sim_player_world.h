// The simulated media players' own state, shared by the files of sim_players: the table of
// what each player leaves on the machine, and the players' world guarded by the world lock.
#pragma once

#include "sim_world.h"

#include "text.h"

#include <array>

namespace sim {

constexpr std::uint32_t kFirstPlayerProcessId = 6000;
constexpr std::uint16_t kDeviceBits = 0xF000; // FAPPCOMMAND_MASK
inline const String kUpgradeTitle = u"Upgrade to Plus";
inline const String kDialogClass = u"#32770";
inline const String kIntelliTypeKey =
    u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\mskey.exe";
inline const String kIntelliTypeDirectory = u"C:\\Program Files\\Microsoft IntelliType Pro";

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

const std::array<PlayerRow, 5>& rows();
int rowIndex(const String& name);
bool isWinamp(const PlayerRow& row);
std::vector<plat::HKey> rootsOf(PlayerRoots roots);
String withoutTrailingSeparators(String path);
std::string hex(std::uint64_t value);

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

    Player* find(const String& name);
    const Player* find(const String& name) const;
    const PlayerRow& rowOf(const Player& p) const;

    // The running instance; one whose process has gone (terminated, or its windows
    // destroyed from outside) is forgotten here.
    Instance* live(Player& p);
    const Instance* live(const Player& p) const;

    std::string label(const Player& p) const { return narrow(rowOf(p).name); }

    Hwnd newWindow(Player& p, const String& className, const String& title,
                   std::uint32_t processId);
    void launch(Player& p, bool byShell);

    // The process ends with all its windows; whoever waits for it wakes.
    void end(Player& p, const std::string& how);

    // A close request has taken effect: quit, or for Musicmatch ask about the upgrade first.
    void completeClose(Player& p);
    void terminated(std::uint32_t processId);
    void shellOpened(const String& file);
    LResult onMessage(std::size_t index, Hwnd hwnd, const ReceivedMessage& m);
    void closeLater(std::size_t index, std::uint32_t pid, std::uint32_t delay);
};

} // namespace sim
