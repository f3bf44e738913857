// WinampIniRead: makes sure that the "[gen_hotkeys]" section of Winamp's "winamp.ini" binds
// the four media keys (next, previous, stop, play/pause), that global hotkeys are enabled
// and that "nbkeys" lets Winamp load every binding, adding what is missing. Constructed for
// one run by the remote-key forwarder and destroyed right after.
//
// The two passes are pure text work over the file's pieces (namespace winampini below), so
// the fuzz target and the benchmark run exactly the code the file passes run. The file is
// read in pieces of at most 299 bytes (IniFile.h); only the first piece of a line is taken
// for its key.
//
// What Winamp reads. Its hotkey plug-in reads the section as the profile functions do: the
// first "[gen_hotkeys]" section, up to the next section header; in it the first line of each
// key, names compared without regard to case and blanks around them; "nbkeys" bindings
// numbered from 0, each an "actionN" and a "hotkeyN" line, the numbers read as
// GetPrivateProfileIntW reads them. So the scan:
//   - confines itself to that section: lines of later sections count for nothing;
//   - counts a media key as bound when the first "hotkeyN" line of some N holds its value,
//     however many lines hold it;
//   - takes global hotkeys as enabled when the "enabled" value is a non-zero number written
//     without any '0' ("enabled=10" counts as disabled and is rewritten);
//   - notes the highest binding number in the section, so that "nbkeys" can cover it.
//
// The rewrite changes only what must change, and every other byte stays as it was:
//   - a "nbkeys" value lower than the bindings need becomes that number;
//   - an "enabled" line that does not enable hotkeys becomes "enabled=1";
//   - after the section's last line that is not blank (so before any blank lines that
//     separate it from the next section) come, as needed, a "nbkeys" line, an "enabled=1"
//     line, and the missing bindings in the order stop, play/pause, previous, next, numbered
//     on from the highest number in the section. Existing bindings keep their numbers.
// A replaced line is replaced whole (all its pieces) and keeps its own line ending. Lines
// written anew end like the file's first line that has an ending ("\r\n" or "\n"), or with
// "\r\n", the ending Windows' text mode gives, when none has; they never join the line
// before them. A file without the section, or one that needs nothing, is left untouched.
//
// Replacement. The rewritten copy is written to "temp.ini" beside "winamp.ini" (in Winamp's
// folder, or in the settings folder its "paths.ini" names: WinampPaths.h), flushed, and
// takes the place of "winamp.ini" in one step (IniFile.h); a failure anywhere leaves
// "winamp.ini" with its old or its new contents, complete, and no scratch file beside it.
// The copy is made only from the very contents the scan read: a read that fails, or a file
// that changed between the passes (Winamp writing it), abandons the rewrite.
#pragma once

#include "types.h"

#include "IniFile.h"

#include <cstddef>
#include <cstdint>
#include <set>
#include <string>
#include <string_view>

namespace winampini {

// The line buffer of both passes, in bytes (terminator included, as fgets counts it).
inline constexpr std::size_t kLineCapacity = 300;

// A line of the file by its pieces, counted from 0 over the whole file.
struct LineSpan {
    std::int64_t first = -1; // -1: no such line
    std::int64_t last = -1;
    std::string ending;      // "\r\n", "\n", or empty for a last line without one
    bool present() const { return first >= 0; }
};

// The scan pass, fed one piece at a time, then ended. Counts are 64-bit so that no file can
// overflow them.
class HotkeyScan {
public:
    void feed(std::string_view piece);
    void end(); // after the last piece

    bool sectionFound = false;
    LineSpan nbkeysLine;          // the section's first "nbkeys" line
    std::int64_t nbkeys = 0;      // its value
    LineSpan enabledLine;         // the section's first "enabled" line
    std::int32_t hotkeysEnabled = 0;
    std::int32_t hasNext = 0;      // 2224 bound
    std::int32_t hasPrev = 0;      // 2225
    std::int32_t hasStop = 0;      // 2226
    std::int32_t hasPlayPause = 0; // 2227
    std::int64_t hotkeyCount = 0;   // binding numbers with a "hotkeyN" line in the section
    std::int64_t highestIndex = -1; // highest N of the section's "actionN" and "hotkeyN" keys
    // The last piece of the section's last line that is not blank (its header at least):
    // what is added goes right after it.
    std::int64_t insertAfter = -1;
    std::int64_t pieces = 0;
    std::int64_t bytes = 0;
    std::uint64_t digest = 14695981039346656037ull; // FNV-1a of every byte fed

    std::int32_t missingCount() const {
        return 4 - hasNext - hasPrev - hasStop - hasPlayPause;
    }
    // The "nbkeys" value the file must hold once the missing bindings are added.
    std::int64_t newCount() const;
    bool needsRewrite() const;
    // The ending of the file's first line that has one; "\r\n" if none has.
    std::string_view lineEnding() const;

private:
    void lineDone();
    // A key line of the section: what it tells of the bindings and the switch.
    void noteKey(std::string_view key, std::string_view value);

    enum class Where : std::uint8_t { Before, Inside, After };
    Where where_ = Where::Before;
    inifile::PieceLines lines_;
    std::string ending_;
    // The line being read: its first piece's index, whether it is blank so far, and what
    // its key made of it.
    LineSpan current_;
    bool currentBlank_ = true;
    enum class Kind : std::uint8_t { Other, Header, Nbkeys, Enabled } kind_ = Kind::Other;
    std::set<std::int64_t> hotkeyIndexes_; // first "hotkeyN" line seen for these N
};

// The rewrite pass over the same pieces, after a complete scan of them.
class HotkeyRewrite {
public:
    explicit HotkeyRewrite(const HotkeyScan& scan);
    // Appends to `out` the bytes to write for the next piece.
    void transform(std::string_view piece, std::string& out);
    std::int64_t pieces() const { return piece_; }
    std::uint64_t digest() const { return digest_; }
    std::int64_t bytes() const { return bytes_; }

private:
    std::string added() const; // the lines that go after the section's last line

    const HotkeyScan& scan_;
    std::string ending_;
    std::int64_t piece_ = 0;
    std::int64_t bytes_ = 0;
    std::uint64_t digest_ = 14695981039346656037ull;
    bool lastEndsLine_ = true; // what was written so far ends with a line ending (or is empty)
};

// Both passes over in-memory contents, read in the same pieces as the file passes.
HotkeyScan scanText(std::string_view contents);
// The rewritten contents for `scan` (which must be scanText(contents)).
std::string rewriteText(std::string_view contents, const HotkeyScan& scan);

} // namespace winampini

class WinampIniRead {
public:
    enum class Outcome {
        NotFound,  // no Winamp directory or no "winamp.ini": "Winamp.ini not found"
        Untouched, // nothing was missing (or there is no hotkey section): left alone
        Rewritten, // the rewritten copy replaced the file
        Failed,    // the file could not be read, or the copy not written or put in place;
                   // the file holds its old contents
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

private:
    plat::String iniPath() const;

    plat::String winampDirectory;
    // Where "winamp.ini" lives: winampDirectory, or the folder its "paths.ini" names.
    plat::String settingsDirectory;
    plat::Handle iniFile = 0;
    std::string line; // one piece, at most kLineCapacity - 1 bytes
    winampini::HotkeyScan scan_;
    Outcome outcome_ = Outcome::NotFound;
};
