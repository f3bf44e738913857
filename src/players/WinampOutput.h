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
//
// Winamp writes no device line until its user picks a device in its own preferences, and a
// fresh installation may have no section for the plug-in at all; Winamp then plays on the
// default device. So a missing line reads as the default device, and writing adds it: at the
// end of the plug-in's section (after its last line that is not blank), or, with no such
// section after the plug-in line, as a new section at the end of the file. Added lines end
// like the file's first line that has an ending ("\r\n" when none has); every other byte
// stays as it was.
//
// The first line that names "outname=" decides the plug-in. A file without one, or naming a
// plug-in other than these two (the WASAPI or disk writer output, say), has no device this
// program can set: writing is refused, never reported as done.
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

// The scan states; 5 to 8 end the scan.
enum State : int {
    LookingForPlugin = 0,
    LookingForWaveSection = 1,
    LookingForDsSection = 2,
    LookingForWaveDevice = 3,
    LookingForDsDevice = 4,
    WaveDeviceFound = 5,
    DsDeviceFound = 6,
    NoDeviceLine = 7,        // the plug-in's section ended without its device line
    PluginNotUnderstood = 8, // the "outname=" line names neither plug-in
};

// The state after `piece` (exact, case-sensitive substring and prefix tests); `beginsLine`
// tells whether the piece is the first of its line. Only a line's first piece can be a
// section header or a device line.
int nextState(int state, std::string_view piece, bool beginsLine);
bool finalState(int state);

// The plug-in sections met before the plug-in line. Winamp reads such a section, but the
// scan looks for the section after that line only: when the file has no other, what Winamp
// plays on is not known, and a section added at the end would go unread.
struct EarlySections {
    bool wave = false;
    bool ds = false;
    // Feed each piece with the state before it.
    void note(int state, std::string_view piece, bool beginsLine);
    // At the end of the file in `state`: the plug-in's section was met only before its line.
    bool onlyBefore(int state) const;
};

// What the read pass found.
struct DeviceLine {
    // None: no plug-in line, one naming another plug-in, or the plug-in's section only
    // before it. Missing: the plug-in is one of the two, but its section or its device line
    // is not there (Winamp plays on the default device).
    enum class Kind { None, Digit, Guid, Missing };
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
    // What was found, once the device line was or the whole file has been fed.
    DeviceLine result() const;

private:
    int state_ = LookingForPlugin;
    inifile::PieceLines lines_;
    EarlySections early_;
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
    // line without one, or the device line (with its section) that the file lacks. May
    // refuse too.
    std::string finish();
    // The choice cannot be written: the wave-out plug-in and an index of 10 or more (no
    // single digit), a plug-in this program does not understand (pluginNotUnderstood), or a
    // plug-in section that comes only before the plug-in line (Winamp would read that one,
    // not one added at the end).
    bool refused() const { return refused_; }
    bool pluginNotUnderstood() const { return pluginNotUnderstood_; }
    int state() const { return state_; }

private:
    // The device line for the section the scan is in (`state`, 3 or 4); false without one.
    bool deviceLine(int state, std::string& line);
    std::string eol() const;
    std::string written(std::string out); // notes how the output so far ends
    // The DirectSound device line with the new GUID; the rest of an unfinished value dropped.
    void appendGuidLine(std::string_view piece, std::string& out);

    int state_ = LookingForPlugin;
    inifile::PieceLines lines_;
    char digit_ = 0; // 0: no digit for this choice
    std::string encoded_;
    std::string ending_; // the first line ending seen; lines written anew end with it
    std::string heldBlanks_; // blank lines of the plug-in's section, held until a line follows
    bool lastEndsLine_ = true; // what was written so far is empty or ends a line
    EarlySections early_;
    bool refused_ = false;
    bool pluginNotUnderstood_ = false;
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
