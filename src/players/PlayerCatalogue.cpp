#include "PlayerCatalogue.h"

#include "Application.h"
#include "BoxStyles.h"
#include "CMessageBox.h"
#include "Globals.h"
#include "PlayerRouting.h"
#include "WinampPaths.h"
#include "ports.h"
#include "resource.h"

#include <algorithm>

namespace players {

namespace {

using enum Integration;
using enum Closing;
using enum KeyForwarding;

constexpr Routing kFollowsDefault{nullptr, nullptr};

const PlayerRow kCatalogue[] = {
    {.name = kWindowsMediaPlayer,
     .integration = Deep,
     .userKey = u"SOFTWARE\\Classes\\Applications\\wmplayer.exe\\",
     .machineKey = u"SOFTWARE\\Classes\\Applications\\wmplayer.exe\\",
     .location = {plat::HKLM, u"Software\\Microsoft\\MediaPlayer\\", u"Installation Directory",
                  u"\\wmplayer.exe"},
     .startPauseMs = 1000,
     .windowClass = u"WMPlayerApp",
     .olderWindowClass = nullptr,
     .closing = AskWindow,
     .closeAnswerTitle = nullptr,
     .restartStyle = BoxStyle::Question,
     .keys = WithIntelliType,
     .routing = {readWindowsMediaPlayerDevice, writeWindowsMediaPlayerDevice},
     .onTransmitterChange = nullptr,
     .turns = {.activityCheck = 2, .restartOnDefault = 2, .restartOnTransmitter = -1}},
    // Looked for under two different paths for the two roots; may answer a close with an
    // upgrade offer.
    {.name = kMusicmatch,
     .integration = Deep,
     .userKey = u"SOFTWARE\\Classes\\Applications\\mmjb.exe\\",
     .machineKey = u"Software\\MusicMatch\\MusicMatch Jukebox\\4.0\\MainApp\\",
     .location = {plat::HKLM, u"Software\\MusicMatch\\MusicMatch Jukebox\\4.0\\MainApp\\",
                  u"AppPath", u"\\mmjb.exe"},
     .startPauseMs = 5000,
     .windowClass = u"MMJB:MAINWND",
     .olderWindowClass = nullptr,
     .closing = AskWindow,
     .closeAnswerTitle = u"Upgrade to Plus",
     .restartStyle = BoxStyle::Question,
     .keys = WithIntelliType,
     .routing = {readMusicmatchDevice, writeMusicmatchDevice},
     .onTransmitterChange = musicmatchOnTransmitterChange,
     .turns = {.activityCheck = 0, .restartOnDefault = 4, .restartOnTransmitter = 0}},
    // Counts only when installed for this user; terminated, not asked; the classic skin's
    // window is the older class.
    {.name = kWinamp,
     .integration = Deep,
     .userKey = kWinampKey,
     .machineKey = nullptr,
     .location = {plat::HKCU, kWinampKey, u"", u"\\winamp.exe"},
     .startPauseMs = 0,
     .windowClass = u"BaseWindow_RootWnd",
     .olderWindowClass = u"Winamp v1.x",
     .closing = TerminateProcess,
     .closeAnswerTitle = nullptr,
     .restartStyle = BoxStyle::Question,
     .keys = OwnHotkeys,
     .routing = {readWinampDevice, writeWinampDevice},
     .onTransmitterChange = nullptr,
     .turns = {.activityCheck = 1, .restartOnDefault = 3, .restartOnTransmitter = 1}},
    // The location key has no trailing backslash.
    {.name = kRealPlayer,
     .integration = Basic,
     .userKey = u"SOFTWARE\\Classes\\Applications\\RealPlay.exe\\",
     .machineKey = u"SOFTWARE\\Classes\\Applications\\RealPlay.exe\\",
     .location = {plat::HKCU, u"Software\\RealNetworks\\RealJukebox\\1.0\\Preferences",
                  u"AppPath", nullptr},
     .startPauseMs = 0,
     .windowClass = u"GeminiWindowClass",
     .olderWindowClass = nullptr,
     .closing = AskWindow,
     .closeAnswerTitle = nullptr,
     .restartStyle = BoxStyle::Question,
     .keys = AlsoFromBackground,
     .routing = kFollowsDefault,
     .onTransmitterChange = nullptr,
     .turns = {.activityCheck = 3, .restartOnDefault = 1, .restartOnTransmitter = -1}},
    {.name = kITunes,
     .integration = Basic,
     .userKey = u"SOFTWARE\\Classes\\Applications\\iTunes.exe\\",
     .machineKey = u"SOFTWARE\\Classes\\Applications\\iTunes.exe\\",
     .location = {plat::HKLM, u"SOFTWARE\\Apple Computer, Inc.\\iPod\\RegisteredApps\\4\\",
                  u"path", nullptr},
     .startPauseMs = 0,
     .windowClass = u"iTunes",
     .olderWindowClass = nullptr,
     .closing = AskWindow,
     .closeAnswerTitle = nullptr,
     .restartStyle = BoxStyle::OwnedQuestion, // not task-modal
     .keys = AlsoFromBackground,
     .routing = kFollowsDefault,
     .onTransmitterChange = nullptr,
     .turns = {.activityCheck = 4, .restartOnDefault = 0, .restartOnTransmitter = -1}},
};

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

int askRestart(plat::Hwnd owner, const PlayerRow& player) {
    return LocalizedMessageBox(owner,
                               FormatPlaceholders(1, fw::loadString(IDS_RESTART_TEXT), player.name),
                               fw::loadString(IDS_RESTART_CAPTION), player.restartStyle);
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
