// What the two "winamp.ini" rewrites (the hotkey section and the output device) share: the
// bounded piece reads, the lines those pieces make up, the keys of an INI line, and the
// safe rewrite of the file through a scratch copy.
//
// Pieces. The file is read as fgets reads a binary stream into a fixed buffer: at most
// capacity - 1 bytes at a time, stopping after a '\n'. A line longer than that arrives as
// several pieces; only the first piece of a line is examined for a key, the others are its
// continuation and belong to it.
//
// Safe rewrite. The new contents go to a scratch file in the same folder, are flushed, and
// take the original's place in one step (ReplaceFileW). ReplaceFileW can fail after moving
// the original aside, so after a failure the rewrite looks at which files are left: while
// the original is in place the scratch copy goes; when the original has gone, the complete
// new copy is moved into place (or, failing that, the original is moved back; a move that
// is refused is tried as a copy). The scratch file is deleted only while the file holds
// complete contents: whatever fails, no contents are lost.
#pragma once

#include "types.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace inifile {

// fgets(buffer, capacity, stream) on a binary stream over `contents`, from `position`: at
// most capacity - 1 bytes, stopping after a '\n'. False at the end (nothing read).
bool readBoundedLine(std::string_view contents, std::size_t& position, std::size_t capacity,
                     std::string& line);

// Which pieces begin and end lines. Feed every piece in order.
class PieceLines {
public:
    // Call with each piece before looking at it; true when the piece begins a line.
    bool next(std::string_view piece);
    // The piece just given ends its line (it ends with '\n').
    bool endsLine() const { return endsLine_; }
    // The ending of the line the piece just given ends: "\r\n" or "\n" (a "\r" at the end of
    // the piece before counts); empty when the piece does not end its line.
    std::string_view ending() const { return ending_; }

private:
    bool endsLine_ = true; // of the previous piece: the first piece begins a line
    bool previousEndsInCr_ = false;
    std::string_view ending_;
};

// The text without the blanks (spaces, tabs) around it.
std::string_view trimmed(std::string_view text);
// The key of an INI line from its first piece: the text before its first '=', without the
// blanks around it. Nothing when the piece has no '='.
std::optional<std::string_view> keyOf(std::string_view firstPiece);
// Where the value of that line starts in the piece: after the '=' and any blanks.
std::size_t valueStart(std::string_view firstPiece);
// A section header: the first character that is not a blank is '['.
bool isSectionHeader(std::string_view firstPiece);
// The piece without its line ending ("\r\n", "\n" or, at the end of a piece, "\r").
std::string_view withoutEnding(std::string_view piece);
// A whole line of blanks (spaces, tabs) and line-ending characters only.
bool isBlank(std::string_view piece);
// The number at the start of `text` as GetPrivateProfileIntW reads it: blanks, an optional
// sign, decimal digits (0 when there are none), kept within +-10^12.
std::int64_t profileInt(std::string_view text);

// How a rewrite ended.
enum class RewriteResult {
    NotOpened, // the file could not be opened for reading: nothing was written
    Failed,    // no new contents were put in place; the file holds its old contents
    Replaced,  // the file holds the new contents
};

// The scratch copy of a rewrite of "winamp.ini", and the name the original takes during
// the swap; both are the program's own, in Winamp's folder.
inline constexpr char16_t kScratchName[] = u"temp.ini";
inline constexpr char16_t kBackupName[] = u"temp.ini.bak";

// One rewrite of the file `path` in the same folder through `scratch` (and `backup`, the
// name the original takes during the swap). Each piece read is handed to `transform`, which
// appends what to write for it; returning false abandons the copy. After the last piece
// `finish` appends what follows and may abandon the copy too. A failed read, write or flush
// abandons it as well.
struct Rewrite {
    plat::String path;
    plat::String scratch;
    plat::String backup;
    std::size_t capacity = 0; // of each piece read, terminator included
    std::function<bool(std::string_view piece, std::string& out)> transform;
    std::function<bool(std::string& out)> finish;

    // "winamp.ini" in `directory`, with the scratch and backup names beside it.
    static Rewrite inFolder(const plat::String& directory, const plat::String& name,
                            std::size_t capacity);
};

RewriteResult rewriteFile(const Rewrite& rewrite);

// Puts the complete, flushed `scratch` in the place of `path` (see the file comment). True
// when `path` now holds the scratch file's contents.
bool replaceWithCopy(const plat::String& path, const plat::String& scratch,
                     const plat::String& backup);

} // namespace inifile
