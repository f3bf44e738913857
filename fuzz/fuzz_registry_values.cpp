// libFuzzer target: the registry values the program reads and parses, stored with any type
// and any bytes (odd lengths, no terminator, embedded nulls, too long for the buffer): the
// mouse's double-click time, the two preferences, Winamp's directory (both roots), the sound
// mapper's "Playback", Windows Media Player's device GUID text, Musicmatch's mixer values and
// its remembered choice. Each is read the way the program reads it; checks that nothing
// reads out of bounds (AddressSanitizer), that every result stays within its buffer, and,
// decoding a well-formed value by the target's own reading (UTF-16 text ending in a null,
// within the buffer), that the preferences and the double-click time come out as that text
// says.
#include "PcInfo.h"
#include "QuorvaneAuravoSystemTrayApplicationDlg.h"
#include "WinampIniRead.h"
#include "fuzz_support.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

namespace {

using fuzzing::check;

struct Slot {
    plat::HKey root;
    const char16_t* key;
    const char16_t* name;
};

const char16_t kPreferences[] = u"SOFTWARE\\Quorvane\\Quorvane Auravo Settings\\Preferences\\";
const char16_t kMouse[] = u"Control Panel\\Mouse\\";

const Slot kSlots[] = {
    {plat::HKLM, kMouse, u"DoubleClickSpeed"},
    {plat::HKCU, kMouse, u"DoubleClickSpeed"},
    {plat::HKCU, kPreferences, u"Show Tray Icon"},
    {plat::HKCU, kPreferences, u"Enable Advanced Menu"},
    {plat::HKCU, kPreferences, u"Musicmatch"},
    {plat::HKCU, u"Software\\Winamp\\", u""},
    {plat::HKLM, u"Software\\Winamp\\", u""},
    {plat::HKCU, u"SOFTWARE\\Microsoft\\Multimedia\\Sound Mapper\\", u"Playback"},
    {plat::HKCU, u"Software\\Microsoft\\MediaPlayer\\Preferences\\", u"DefaultAudioDevice"},
    {plat::HKLM, u"SOFTWARE\\MusicMatch\\MusicMatch Jukebox\\4.0\\PlayUI\\", u"DefaultMixer"},
    {plat::HKLM, u"SOFTWARE\\MusicMatch\\MusicMatch Jukebox\\4.0\\PlayUI\\", u"MixerControl"},
};
constexpr std::size_t kSlotCount = sizeof(kSlots) / sizeof(kSlots[0]);

const std::uint32_t kTypes[] = {REG_SZ, 2 /* REG_EXPAND_SZ */, REG_BINARY, REG_DWORD,
                                7 /* REG_MULTI_SZ */, REG_NONE};

// The text a string read into a buffer of `capacity` characters must give, when the stored
// value is well formed: an even number of bytes that fits, with a null within it.
std::optional<plat::String> wellFormedText(const std::vector<std::uint8_t>& bytes,
                                           std::size_t capacity) {
    if (bytes.size() % 2 != 0 || bytes.size() > capacity * 2)
        return std::nullopt;
    plat::String text;
    for (std::size_t i = 0; i < bytes.size(); i += 2) {
        const char16_t c = static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8));
        if (c == u'\0')
            return text;
        text += c;
    }
    return std::nullopt;
}

std::uint32_t decimalPrefix(const plat::String& text) {
    std::uint64_t v = 0;
    for (const char16_t c : text) {
        if (c < u'0' || c > u'9')
            break;
        v = std::min<std::uint64_t>(v * 10 + (c - u'0'), 0xFFFFFFFFu);
    }
    return static_cast<std::uint32_t>(v);
}

struct World : fuzzing::SimWorld {
    // The audio thread has written the default entry before anything is read.
    World() { pc.waitIdle(); }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    sim::SimPc& pc = fuzzing::renewed<World>(5000).pc;
    for (const Slot& slot : kSlots)
        pc.deleteTree(slot.root, slot.key);

    // Values: a slot byte, a type byte, a length byte, then that many bytes.
    std::vector<std::optional<std::vector<std::uint8_t>>> stored(kSlotCount);
    std::vector<std::uint32_t> types(kSlotCount, 0);
    std::size_t at = 0;
    while (at + 3 <= size) {
        const std::size_t slot = data[at] % kSlotCount;
        const std::uint32_t type = kTypes[data[at + 1] % 6];
        const std::size_t length = std::min<std::size_t>(data[at + 2], size - at - 3);
        std::vector<std::uint8_t> bytes(data + at + 3, data + at + 3 + length);
        at += 3 + length;
        pc.setRaw(kSlots[slot].root, kSlots[slot].key, kSlots[slot].name, type, bytes);
        stored[slot] = std::move(bytes);
        types[slot] = type;
    }

    PcInfo& info = *globals().pcInfo;
    // Each buffer the program reads into holds what it read, without a null.
    for (const Slot& slot : kSlots)
        for (const std::size_t capacity : {10u, 100u, 256u, 500u}) {
            plat::String out;
            if (info.getRegVal(slot.root, slot.key, slot.name, out, capacity) == 1)
                check(out.size() <= capacity && out.find(u'\0') == plat::String::npos);
        }

    // The double-click time: the value's leading digits, read into ten characters.
    plat::String speed;
    if (info.getRegVal(plat::HKLM, kMouse, u"DoubleClickSpeed", speed, 10) == 1) {
        if (stored[0] && types[0] == REG_SZ)
            if (const auto text = wellFormedText(*stored[0], 10))
                check(leadingDecimal(speed) == decimalPrefix(*text));
    }

    // The preferences: the icon shows unless the text is exactly "False", the advanced menu
    // only for exactly "True".
    const int icon = info.getTrayIconState();
    const int advanced = info.getAdvancedMenuState();
    check((icon == 0 || icon == 1) && (advanced == 0 || advanced == 1));
    if (!stored[2])
        check(icon == 1);
    else if (const auto text = wellFormedText(*stored[2], 100))
        check(icon == (*text == u"False" ? 0 : 1));
    if (!stored[3])
        check(advanced == 0);
    else if (const auto text = wellFormedText(*stored[3], 100))
        check(advanced == (*text == u"True" ? 1 : 0));

    // Winamp's directory leads nowhere that exists: nothing is written.
    check(WinampIniRead().outcome() == WinampIniRead::Outcome::NotFound);

    // Where each player and the system play: a name, or one of the two answers.
    for (const char16_t* target : {u"Default", u"Windows Media Player", u"Musicmatch", u"Winamp"})
        check(!info.getPlaybackDevice(target).empty());
    // The arrival and removal rules read "Playback" and the Musicmatch values too.
    globals().transmitterPresent = 1;
    info.rerouteOnDeviceChange();
    globals().transmitterPresent = 0;
    info.rerouteOnDeviceChange();
    return 0;
}
