// Winamp's output device in "winamp.ini": which output plug-in is active ("outname="), its
// section, and the device line of that section. The wave-out plug-in names its device by
// one digit ("cfg_dev"), the DirectSound plug-in by an encoded GUID ("cfg_dev2").
//
// The passes work on pieces of at most 500 bytes, as the file is read, and are pure text
// work over in-memory pieces, so that the same code serves the file passes, the tests and
// the fuzz target. PcInfo's members (WinampOutput.cpp) add the directory, the files, the
// safe replacement and the device table.
#pragma once

#include "types.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace winampout {

// fgets capacity of one read: at most 500 bytes per piece.
inline constexpr std::size_t kPieceCapacity = 501;
// Winamp's directory is read into a buffer of this many characters.
inline constexpr std::size_t kDirectoryCapacity = 500;

// The scan states; 5 and 6 end the scan.
enum State : int {
    LookingForPlugin = 0,
    LookingForWaveSection = 1,
    LookingForDsSection = 2,
    LookingForWaveDevice = 3,
    LookingForDsDevice = 4,
    WaveDeviceFound = 5,
    DsDeviceFound = 6,
};

// The state after `line` (exact, case-sensitive substring and prefix tests).
int nextState(int state, std::string_view line);

// What the read pass found.
struct DeviceLine {
    enum class Kind { None, Digit, Guid };
    Kind kind = Kind::None;
    // Kind::Digit: the line's character at index 8 minus '0'; -1 when the line is shorter.
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
    bool done() const { return state_ == WaveDeviceFound || state_ == DsDeviceFound; }
    int state() const { return state_; }
    const DeviceLine& found() const { return found_; }

private:
    int state_ = LookingForPlugin;
    DeviceLine found_;
};

// The rewrite pass. `index` is the chosen table index, `waveId` its entry's wave-out number
// and `encodedGuid` the encoded form of its GUID (ASCII).
class DeviceRewriter {
public:
    DeviceRewriter(int index, std::uint32_t waveId, std::string encodedGuid);
    // The bytes to write for `piece`. Once refused() turns true the copy must be abandoned.
    std::string transform(std::string_view piece);
    // The wave-out line was reached but the choice has no single digit (index 10 or more).
    bool refused() const { return refused_; }
    int state() const { return state_; }

private:
    int state_ = LookingForPlugin;
    char digit_ = 0; // 0: no digit for this choice
    std::string encoded_;
    std::string ending_; // the first line ending seen; lines written anew end with it
    bool refused_ = false;
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
