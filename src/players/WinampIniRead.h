// WinampIniRead: makes sure that the "[gen_hotkeys]" section of Winamp's "winamp.ini" binds
// the four media keys (next, previous, stop, play/pause) and enables global hotkeys, adding
// what is missing. Constructed for one run by the remote-key forwarder and destroyed right
// after.
//
// The two passes are pure text work over the file's lines (namespace winampini below), so
// the fuzz target and the benchmark run exactly the code the file passes run.
//
// Lines are read as a bounded fgets with a 300-byte buffer reads them from a binary stream:
// at most 299 bytes per piece, a longer line arriving as several pieces, each handled as a
// line of its own. Bytes are kept as they are, line endings and NUL bytes included.
//
// Line endings. The file is read and written in binary, so every copied line keeps its own
// ending. The lines the rewrite writes itself (the new "nbkeys=" and "enabled=1" lines and
// the appended bindings) end like the file's first line that has an ending ("\r\n" or
// "\n"); a file with no line ending at all gets "\r\n", the ending Windows' text mode
// gives. Appended bindings never join the file's last line: when that line has no ending,
// one is written before them.
//
// Replacement. The rewritten copy is written to "temp.ini" in Winamp's folder, flushed, and
// then replaces "winamp.ini" in one step. If creating, writing, flushing or replacing fails,
// "winamp.ini" stays exactly as it was and "temp.ini" is removed.
#pragma once

#include "types.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace winampini {

// The line buffer of both passes, in bytes (terminator included, as fgets counts it).
inline constexpr std::size_t kLineCapacity = 300;

// fgets(buffer, capacity, stream) on a binary stream over `contents`, from `position`: at
// most capacity - 1 bytes, stopping after a '\n'. False at the end (nothing read).
bool readBoundedLine(std::string_view contents, std::size_t& position, std::size_t capacity,
                     std::string& line);

// The scan pass, fed one piece at a time. Counts are 64-bit so that no file can overflow
// them.
struct HotkeyScan {
    std::int32_t scanState = 0; // 0 before "[gen_hotkeys]", 1 after it, 2 after "nbkeys", 3 after "enabled="
    std::int64_t hotkeyCount = 0;      // lines containing "hotkey" in state 3
    std::int32_t hotkeysEnabled = 0;   // the "enabled=" line contains no '0'
    std::int32_t hasNext = 0;          // a state-3 "hotkey" line contains 2224
    std::int32_t hasPrev = 0;          // 2225
    std::int32_t hasStop = 0;          // 2226
    std::int32_t hasPlayPause = 0;     // 2227
    std::int64_t missingCount = 4;     // lowered once per value found (may go below 0)
    std::int64_t bytes = 0;            // bytes fed so far

    void feed(std::string_view line);
    bool needsRewrite() const { return missingCount != 0 || hotkeysEnabled == 0; }
    // The ending of the file's first line that has one; "\r\n" if none has.
    std::string_view lineEnding() const;

private:
    enum class Ending : std::uint8_t { Unknown, Lf, CrLf };
    Ending ending_ = Ending::Unknown;
    bool previousEndedInCr_ = false; // "\r" and "\n" may arrive in two pieces
};

// The rewrite pass, one piece at a time, after a complete scan of the same contents.
class HotkeyRewrite {
public:
    explicit HotkeyRewrite(const HotkeyScan& scan);
    // The bytes to write for `line`: the line itself or its replacement. The view stays
    // valid until the next call.
    std::string_view transform(std::string_view line);
    // What follows the copied lines: the missing bindings, when the section was found.
    std::string finish() const;
    std::int32_t rewriteState() const { return rewriteState_; }
    std::int64_t newCount() const { return newCount_; }

private:
    const HotkeyScan& scan_;
    std::string ending_;
    std::int64_t newCount_;
    std::int32_t rewriteState_ = 0;
    bool lastEndsLine_ = true; // what was written so far ends with a line ending (or is empty)
    std::string replacement_;
};

// Both passes over in-memory contents, read in the same pieces as the file passes.
HotkeyScan scanText(std::string_view contents);
// The rewritten contents for `scan` (which must be scanText(contents)).
std::string rewriteText(std::string_view contents, const HotkeyScan& scan,
                        std::int32_t* rewriteState = nullptr);

} // namespace winampini

class WinampIniRead {
public:
    enum class Outcome {
        NotFound,  // no Winamp directory or no "winamp.ini": "Winamp.ini not found"
        Untouched, // every binding present and hotkeys enabled: the file was left alone
        Rewritten, // the rewritten copy replaced the file
        Failed,    // the copy could not be written or put in place; the file is unchanged
    };

    // Runs the scan pass and, when something is missing, the rewrite pass.
    WinampIniRead();
    virtual ~WinampIniRead();
    WinampIniRead(const WinampIniRead&) = delete;
    WinampIniRead& operator=(const WinampIniRead&) = delete;

    // Winamp's directory, the default value of HKEY_CURRENT_USER "Software\Winamp\", into
    // winampDirectory; 1 when read, else 0. Logs nothing.
    int readWinampDirectory();
    // The rewrite pass; 1 when "winamp.ini" was replaced by the rewritten copy.
    int rewriteIni();

    Outcome outcome() const { return outcome_; }
    const winampini::HotkeyScan& scan() const { return scan_; }
    std::int32_t rewriteState() const { return rewriteState_; }

private:
    plat::String iniPath() const;
    plat::String tempPath() const;
    // Writes the rewritten copy to "temp.ini" and flushes it; 1 when all of it was written.
    int writeCopy(plat::Handle temp);

    plat::String winampDirectory;
    plat::Handle iniFile = 0;
    plat::Handle tempFile = 0;
    std::string line; // one piece, at most kLineCapacity - 1 bytes
    winampini::HotkeyScan scan_;
    std::int32_t rewriteState_ = 0;
    Outcome outcome_ = Outcome::NotFound;
};
