// PcInfo's player catalogue: which supported players are installed, whether one runs, and
// closing and starting them.
#include "PcInfo.h"

#include "Debug.h"
#include "ports.h"

#include <cstddef>
#include <cstdint>

namespace {

// Detection keys. Musicmatch is looked for under two different paths for the two roots.
constexpr char16_t kWmpAppKey[] = u"SOFTWARE\\Classes\\Applications\\wmplayer.exe\\";
constexpr char16_t kMusicmatchAppKey[] = u"SOFTWARE\\Classes\\Applications\\mmjb.exe\\";
constexpr char16_t kMusicmatchMainKey[] = u"Software\\MusicMatch\\MusicMatch Jukebox\\4.0\\MainApp\\";
constexpr char16_t kWinampKey[] = u"Software\\Winamp\\";
constexpr char16_t kRealAppKey[] = u"SOFTWARE\\Classes\\Applications\\RealPlay.exe\\";
constexpr char16_t kITunesAppKey[] = u"SOFTWARE\\Classes\\Applications\\iTunes.exe\\";

// Program locations (the Real Player key has no trailing backslash).
constexpr char16_t kWmpLocationKey[] = u"Software\\Microsoft\\MediaPlayer\\";
constexpr char16_t kITunesLocationKey[] = u"SOFTWARE\\Apple Computer, Inc.\\iPod\\RegisteredApps\\4\\";
constexpr char16_t kRealLocationKey[] = u"Software\\RealNetworks\\RealJukebox\\1.0\\Preferences";

// Window classes of the players' main windows.
constexpr char16_t kMusicmatchClass[] = u"MMJB:MAINWND";
constexpr char16_t kWinampClass[] = u"BaseWindow_RootWnd";
constexpr char16_t kWinampOldClass[] = u"Winamp v1.x";
constexpr char16_t kWmpClass[] = u"WMPlayerApp";
constexpr char16_t kITunesClass[] = u"iTunes";
constexpr char16_t kRealClass[] = u"GeminiWindowClass";
constexpr char16_t kUpgradeTitle[] = u"Upgrade to Plus";

// Program paths are read into buffers of this many characters.
constexpr std::size_t kPathCapacity = 200;

constexpr int kCloseChecks = 30;
constexpr std::uint32_t kCheckPauseMs = 1000;
constexpr int kCloseRepeatEvery = 3;
constexpr std::uint32_t kMusicmatchUpgradePauseMs = 2000;
constexpr std::uint32_t kMusicmatchStartPauseMs = 5000;
constexpr std::uint32_t kWmpStartPauseMs = 1000;

plat::Hwnd findByClass(const char16_t* className) {
    const plat::String name = className;
    return plat::desktop().findWindow(&name, nullptr);
}

plat::Hwnd findByTitle(const char16_t* title) {
    const plat::String text = title;
    return plat::desktop().findWindow(nullptr, &text);
}

void postClose(plat::Hwnd window) {
    plat::desktop().postMessage(window, WM_CLOSE, 0, 0);
}

plat::Hwnd findWinamp() {
    const plat::Hwnd window = findByClass(kWinampClass);
    return window ? window : findByClass(kWinampOldClass);
}

} // namespace

int PcInfo::getDeepIntegrationPlayerlist(plat::StringArray& list) {
    traceEntry(u"PcInfo::getDeepIntegrationPlayerlist");
    list.clear();
    // The second root is tried only when the first does not open.
    if (checkRegistryKey(plat::HKCU, kWmpAppKey) || checkRegistryKey(plat::HKLM, kWmpAppKey))
        list.push_back(kWindowsMediaPlayer);
    if (checkRegistryKey(plat::HKCU, kMusicmatchAppKey) ||
        checkRegistryKey(plat::HKLM, kMusicmatchMainKey))
        list.push_back(kMusicmatch);
    // Winamp counts only when installed for this user.
    if (checkRegistryKey(plat::HKCU, kWinampKey))
        list.push_back(kWinamp);
    traceExit(u"PcInfo::getDeepIntegrationPlayerlist");
    return 1;
}

int PcInfo::getBasicPlayerlist(plat::StringArray& list) {
    traceEntry(u"PcInfo::getBasicPlayerlist");
    list.clear();
    if (checkRegistryKey(plat::HKCU, kRealAppKey) || checkRegistryKey(plat::HKLM, kRealAppKey))
        list.push_back(kRealPlayer);
    if (checkRegistryKey(plat::HKCU, kITunesAppKey) || checkRegistryKey(plat::HKLM, kITunesAppKey))
        list.push_back(kITunes);
    traceExit(u"PcInfo::getBasicPlayerlist");
    return 1;
}

int PcInfo::checkActive(const plat::String& name) {
    traceEntry(u"PcInfo::checkActive");
    plat::Hwnd window = 0;
    if (name == kMusicmatch)
        window = findByClass(kMusicmatchClass);
    else if (name == kWinamp)
        window = findWinamp();
    else if (name == kWindowsMediaPlayer)
        window = findByClass(kWmpClass);
    else if (name == kITunes)
        window = findByClass(kITunesClass);
    else if (name == kRealPlayer)
        window = findByClass(kRealClass);
    traceExit(u"PcInfo::checkActive");
    return window ? 1 : 0;
}

void PcInfo::closePlayer(const plat::String& name) {
    traceEntry(u"PcInfo::closePlayer");
    plat::Threads& threads = plat::threads();
    plat::Hwnd window = 0;
    const char16_t* waitClass = nullptr;
    if (name == kMusicmatch) {
        waitClass = kMusicmatchClass;
        window = findByClass(kMusicmatchClass);
        if (window) {
            postClose(window);
            // The player may answer the close with an upgrade offer; it gets its own close.
            threads.sleep(kMusicmatchUpgradePauseMs);
            if (const plat::Hwnd upgrade = findByTitle(kUpgradeTitle))
                postClose(upgrade);
            window = findByClass(kMusicmatchClass);
        }
    } else if (name == kWinamp) {
        // Winamp is terminated, not asked; the wait below then looks only for its current
        // window class.
        waitClass = kWinampClass;
        window = findWinamp();
        if (window) {
            std::uint32_t processId = 0;
            plat::desktop().getWindowThreadProcessId(window, &processId);
            plat::Processes& processes = plat::processes();
            if (const plat::Handle process = processes.openProcess(PROCESS_ALL_ACCESS, processId)) {
                processes.terminateProcess(process, 1);
                processes.closeHandle(process);
            }
        }
    } else if (name == kWindowsMediaPlayer || name == kITunes || name == kRealPlayer) {
        waitClass = name == kWindowsMediaPlayer ? kWmpClass
                    : name == kITunes           ? kITunesClass
                                                : kRealClass;
        window = findByClass(waitClass);
        if (window)
            postClose(window);
    } else {
        traceExit(u"PcInfo::closePlayer", u"No Player Found");
        return;
    }

    // A player that is slow to close is asked again every third check; after the last
    // check the caller goes on as if it had closed.
    for (int checks = 0; window && checks < kCloseChecks;) {
        ++checks;
        threads.sleep(kCheckPauseMs);
        window = findByClass(waitClass);
        if (window && checks % kCloseRepeatEvery == 0)
            postClose(window);
    }
    traceExit(u"PcInfo::closePlayer", u"Player Closed");
}

void PcInfo::startPlayer(const plat::String& name) {
    traceEntry(u"PcInfo::startPlayer");
    plat::HKey root = 0;
    const char16_t* key = nullptr;
    const char16_t* value = nullptr;
    const char16_t* program = nullptr; // appended to a directory; null: the value is the path
    std::uint32_t pauseMs = 0;
    if (name == kMusicmatch) {
        root = plat::HKLM, key = kMusicmatchMainKey, value = u"AppPath", program = u"\\mmjb.exe";
        pauseMs = kMusicmatchStartPauseMs;
    } else if (name == kWinamp) {
        root = plat::HKCU, key = kWinampKey, value = u"", program = u"\\winamp.exe";
    } else if (name == kWindowsMediaPlayer) {
        root = plat::HKLM, key = kWmpLocationKey, value = u"Installation Directory";
        program = u"\\wmplayer.exe";
        pauseMs = kWmpStartPauseMs;
    } else if (name == kITunes) {
        root = plat::HKLM, key = kITunesLocationKey, value = u"path";
    } else if (name == kRealPlayer) {
        root = plat::HKCU, key = kRealLocationKey, value = u"AppPath";
    } else {
        traceExit(u"PcInfo::startPlayer", u"No player to start");
        return;
    }

    if (pauseMs)
        plat::threads().sleep(pauseMs);
    // The value must fit the 200-character buffer; the program name is appended to a string
    // of its own, so a long directory cannot overrun anything.
    plat::String path;
    if (getRegVal(root, key, value, path, kPathCapacity) == 1) {
        if (program)
            path += program;
        // Whether the shell could open it is not examined: the player reports its own errors.
        plat::processes().shellExecute(0, u"open", path, SW_SHOWNORMAL);
    }
    traceExit(u"PcInfo::startPlayer", u"Player Started");
}
