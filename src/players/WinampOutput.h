// Winamp's output device in "winamp.ini": which output plug-in is active ("outname="), its
// section, and the device line of that section. The wave-out plug-in names its device by
// one digit ("cfg_dev"), the DirectSound plug-in by an encoded GUID ("cfg_dev2").
//
// The passes work on pieces of at most 500 bytes, as the file is read (IniFile.h), and are
// pure text work over in-memory pieces, so that the same code serves the file passes, the
// tests and the fuzz target. PcInfo's members (WinampOutput.cpp) add the directory, the
// files, the safe replacement and the device table.
//
// The device line is the line of the plug-in's own section whose key is "cfg_dev" (wave-out)
// or "cfg_dev2" (DirectSound); the search ends with the section, so a line of a later
// section is never read or written as the device line. Writing changes only the value:
// the wave-out digit takes the place of the number the value starts with (or is inserted
// when there is none), never of a line ending; the GUID replaces the whole value, and the
// line keeps its ending.
#pragma once

#include "types.h"

#include "IniFile.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace winampout {

// fgets capacity of one read: at most 500 bytes per piece.
inline constexpr std::size_t kPieceCapacity = 501;
// Winamp's directory is read into a buffer of this many characters.
inline constexpr std::size_t kDirectoryCapacity = 500;

// The scan states; 5, 6 and 7 end the scan.
enum State : int {
    LookingForPlugin = 0,
    LookingForWaveSection = 1,
    LookingForDsSection = 2,
    LookingForWaveDevice = 3,
    LookingForDsDevice = 4,
    WaveDeviceFound = 5,
    DsDeviceFound = 6,
    NoDeviceLine = 7, // the plug-in's section ended without its device line
};

// The state after `piece` (exact, case-sensitive substring and prefix tests); `beginsLine`
// tells whether the piece is the first of its line. Only a line's first piece can be a
// section header or a device line.
int nextState(int state, std::string_view piece, bool beginsLine);
bool finalState(int state);

// What the read pass found.
struct DeviceLine {
    enum class Kind { None, Digit, Guid };
    Kind kind = Kind::None;
    // Kind::Digit: the value's first character minus '0' (for "cfg_dev=2" the character at
    // index 8); -1 when the line's first piece has none.
    int digit = -1;
    // Kind::Guid: whether the line has an "=", and the text after the first one, widened
    // byte for byte.
    bool hasValue = false;
    plat::String value;
};

class DeviceFinder {
public:
    // Feeds one piece; true once the device line has been found (feed no more).
    bool feed(std::string_view piece);
    bool done() const { return finalState(state_); }
    int state() const { return state_; }
    const DeviceLine& found() const { return found_; }

private:
    int state_ = LookingForPlugin;
    inifile::PieceLines lines_;
    DeviceLine found_;
};

// The rewrite pass. `index` is the chosen table index, `waveId` its entry's wave-out number
// and `encodedGuid` the encoded form of its GUID (ASCII).
class DeviceRewriter {
public:
    DeviceRewriter(int index, std::uint32_t waveId, std::string encodedGuid);
    // The bytes to write for `piece`. Once refused() turns true the copy must be abandoned.
    std::string transform(std::string_view piece);
    // What follows the last piece: the line ending of a GUID line that was the file's last
    // line without one.
    std::string finish();
    // The wave-out line was reached but the choice has no single digit (index 10 or more).
    bool refused() const { return refused_; }
    int state() const { return state_; }

private:
    int state_ = LookingForPlugin;
    inifile::PieceLines lines_;
    char digit_ = 0; // 0: no digit for this choice
    std::string encoded_;
    std::string ending_; // the first line ending seen; lines written anew end with it
    bool refused_ = false;
    bool dropping_ = false; // the rest of a replaced GUID value is still coming
};

// Both passes over in-memory contents, in the same pieces as the file passes.
DeviceLine findDevice(std::string_view contents);
// The rewritten contents; `refused` tells whether the choice was refused (then the result
// must not be used).
std::string rewriteDevice(std::string_view contents, int index, std::uint32_t waveId,
                          const std::string& encodedGuid, bool& refused);

// The GUID text's encoded form and back. Both only rearrange characters; a character
// position beyond the input is left out, so a short input gives a short output, never a
// GUID-length one.
plat::String guidEncode(std::u16string_view guid);
plat::String guidDecode(std::u16string_view encoded);

// UTF-16 text to the file's bytes: ASCII kept, anything else '?'.
std::string toAscii(std::u16string_view text);
// The file's bytes to UTF-16, one unit per byte.
plat::String widen(std::string_view bytes);

} // namespace winampout
