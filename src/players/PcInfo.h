// PcInfo: the one object of player and audio routing. This part holds the registry
// operations every routing operation goes through and the two application preferences.
#pragma once

#include "types.h"

#include <cstddef>
#include <cstdint>

// The display names of the supported players, exactly as every part compares them.
inline constexpr char16_t kWindowsMediaPlayer[] = u"Windows Media Player";
inline constexpr char16_t kMusicmatch[] = u"Musicmatch";
inline constexpr char16_t kWinamp[] = u"Winamp";
inline constexpr char16_t kRealPlayer[] = u"Real Player";
inline constexpr char16_t kITunes[] = u"iTunes";

// The preferences key; all its values are REG_SZ.
inline constexpr char16_t kPreferencesKey[] = u"SOFTWARE\\Quorvane\\Quorvane Auravo Settings\\Preferences\\";

class PcInfo {
public:
    // Makes the run's first log call, creates the audio-device mutex and starts the
    // audio-device thread.
    PcInfo();
    virtual ~PcInfo();
    PcInfo(const PcInfo&) = delete;
    PcInfo& operator=(const PcInfo&) = delete;

    // The string value `value` of `root`\`subkey` into `out`, offering a buffer of
    // `capacity` characters (terminator included); 1 when read and it fit, else 0.
    int getRegVal(plat::HKey root, const plat::String& subkey, const plat::String& value,
                  plat::String& out, std::size_t capacity);
    // Writes `text` as REG_SZ with its terminating null, creating the key and its parents.
    int setRegVal(plat::HKey root, const plat::String& subkey, const plat::String& value,
                  const plat::String& text);
    // The DWORD form; `variable` is left unchanged when nothing was read.
    int getRegVal(plat::HKey root, const plat::String& subkey, const plat::String& value,
                  std::uint32_t& variable);
    int setRegVal(plat::HKey root, const plat::String& subkey, const plat::String& value,
                  std::uint32_t number);
    // 1 when the key exists and opens for reading.
    int checkRegistryKey(plat::HKey root, const plat::String& subkey);

    // The icon is shown unless the stored text is exactly "False".
    int getTrayIconState();
    int setTrayIconState(int show);
    // The advanced menu is on only when the stored text is exactly "True".
    int getAdvancedMenuState();
    int setAdvancedMenuState(int enable);

    // ---- the supported players (PCInfoPlayers.cpp). Players are named by the display names
    // below, compared exactly.

    // Empties `list`, then appends the installed deep-integration players in catalogue
    // order ("Windows Media Player", "Musicmatch", "Winamp"); always 1. Nothing is cached.
    int getDeepIntegrationPlayerlist(plat::StringArray& list);
    // The same for the basic players ("Real Player", "iTunes"); always 1.
    int getBasicPlayerlist(plat::StringArray& list);
    // 1 when the player's top-level window exists; 0 when not or for an unknown name.
    int checkActive(const plat::String& name);
    // Asks the player's window to close (Winamp: terminates its process) and waits up to
    // 30 one-second checks for it to go, repeating the request every third check. Blocks.
    void closePlayer(const plat::String& name);
    // Opens the player's program, located through the registry, with the shell. Blocks for
    // the player's pause first (Musicmatch 5000 ms, Windows Media Player 1000 ms).
    void startPlayer(const plat::String& name);

    // The text of the most recent registry error; read by nobody but the log and tests.
    const plat::String& lastError() const { return errorText; }

    plat::Handle audioDeviceMutex = 0;
    plat::Handle audioThreadHandle = 0;

private:
    // Opens for all access, creating the key (and parents) when it does not open.
    // Returns the open key or 0; `created` false when even creation failed.
    plat::HKey openForWrite(plat::HKey root, const plat::String& subkey, bool& created);

    plat::String errorText;
};

// The audio-device thread's body (started by the constructor).
void audioDeviceThread();
