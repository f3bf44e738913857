#include "PlayerCatalogue.h"

#include "BoxStyles.h"
#include "PlayerRouting.h"
#include "ports.h"

#include <algorithm>
#include <array>

namespace players {

namespace {

using enum Integration;
using enum Closing;
using enum KeyForwarding;

constexpr Routing kFollowsDefault{nullptr, nullptr};
// iTunes asks its restart question with a box that is not task-modal.
constexpr std::uint32_t kYesNoQuestion = MB_YESNO | MB_ICONQUESTION; // 0x24

const std::array<PlayerRow, 5> kCatalogue{{
    {kWindowsMediaPlayer, Deep, u"SOFTWARE\\Classes\\Applications\\wmplayer.exe\\",
     u"SOFTWARE\\Classes\\Applications\\wmplayer.exe\\",
     {plat::HKLM, u"Software\\Microsoft\\MediaPlayer\\", u"Installation Directory",
      u"\\wmplayer.exe"},
     1000, u"WMPlayerApp", nullptr, AskWindow, nullptr, BoxStyle::Question, WithIntelliType,
     {readWindowsMediaPlayerDevice, writeWindowsMediaPlayerDevice}, nullptr, {2, 2, -1}},
    // Musicmatch is looked for under two different paths for the two roots.
    {kMusicmatch, Deep, u"SOFTWARE\\Classes\\Applications\\mmjb.exe\\",
     u"Software\\MusicMatch\\MusicMatch Jukebox\\4.0\\MainApp\\",
     {plat::HKLM, u"Software\\MusicMatch\\MusicMatch Jukebox\\4.0\\MainApp\\", u"AppPath",
      u"\\mmjb.exe"},
     5000, u"MMJB:MAINWND", nullptr, AskWindow, u"Upgrade to Plus", BoxStyle::Question,
     WithIntelliType, {readMusicmatchDevice, writeMusicmatchDevice},
     musicmatchOnTransmitterChange, {0, 4, 0}},
    // Winamp counts only when installed for this user; it is terminated, not asked.
    {kWinamp, Deep, u"Software\\Winamp\\", nullptr,
     {plat::HKCU, u"Software\\Winamp\\", u"", u"\\winamp.exe"}, 0, u"BaseWindow_RootWnd",
     u"Winamp v1.x", TerminateProcess, nullptr, BoxStyle::Question, OwnHotkeys,
     {readWinampDevice, writeWinampDevice}, nullptr, {1, 3, 1}},
    // The Real Player location key has no trailing backslash.
    {kRealPlayer, Basic, u"SOFTWARE\\Classes\\Applications\\RealPlay.exe\\",
     u"SOFTWARE\\Classes\\Applications\\RealPlay.exe\\",
     {plat::HKCU, u"Software\\RealNetworks\\RealJukebox\\1.0\\Preferences", u"AppPath", nullptr},
     0, u"GeminiWindowClass", nullptr, AskWindow, nullptr, BoxStyle::Question, AlsoFromBackground,
     kFollowsDefault, nullptr, {3, 1, -1}},
    {kITunes, Basic, u"SOFTWARE\\Classes\\Applications\\iTunes.exe\\",
     u"SOFTWARE\\Classes\\Applications\\iTunes.exe\\",
     {plat::HKLM, u"SOFTWARE\\Apple Computer, Inc.\\iPod\\RegisteredApps\\4\\", u"path", nullptr},
     0, u"iTunes", nullptr, AskWindow, nullptr, kYesNoQuestion, AlsoFromBackground,
     kFollowsDefault, nullptr, {4, 0, -1}},
}};

} // namespace

std::span<const PlayerRow> catalogue() {
    return kCatalogue;
}

const PlayerRow* findPlayer(const plat::String& name) {
    for (const PlayerRow& row : kCatalogue)
        if (name == row.name)
            return &row;
    return nullptr;
}

plat::Hwnd playerWindow(const PlayerRow& row) {
    plat::Desktop& desktop = plat::desktop();
    const plat::String current = row.windowClass;
    if (const plat::Hwnd window = desktop.findWindow(&current, nullptr); window || !row.olderWindowClass)
        return window;
    const plat::String older = row.olderWindowClass;
    return desktop.findWindow(&older, nullptr);
}

std::vector<const PlayerRow*> inTurn(int Turns::*turn) {
    std::vector<const PlayerRow*> rows;
    for (const PlayerRow& row : kCatalogue)
        if (row.turns.*turn >= 0)
            rows.push_back(&row);
    std::sort(rows.begin(), rows.end(),
              [turn](const PlayerRow* a, const PlayerRow* b) { return a->turns.*turn < b->turns.*turn; });
    return rows;
}

} // namespace players
