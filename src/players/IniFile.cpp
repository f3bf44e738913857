#include "IniFile.h"

#include "ports.h"

#include <algorithm>

namespace inifile {

namespace {

bool blank(char c) {
    return c == ' ' || c == '\t';
}

} // namespace

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && blank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && blank(text.back()))
        text.remove_suffix(1);
    return text;
}

bool readBoundedLine(std::string_view contents, std::size_t& position, std::size_t capacity,
                     std::string& line) {
    line.clear();
    if (capacity < 2 || position >= contents.size())
        return false;
    const std::size_t room = std::min(capacity - 1, contents.size() - position);
    const std::size_t newline = contents.substr(position, room).find('\n');
    const std::size_t take = newline == std::string_view::npos ? room : newline + 1;
    line.assign(contents.substr(position, take));
    position += take;
    return true;
}

bool PieceLines::next(std::string_view piece) {
    const bool begins = endsLine_;
    endsLine_ = !piece.empty() && piece.back() == '\n';
    ending_ = {};
    if (endsLine_) {
        const bool cr = piece.size() >= 2 ? piece[piece.size() - 2] == '\r'
                                          : !begins && previousEndsInCr_;
        ending_ = cr ? std::string_view("\r\n") : std::string_view("\n");
    }
    previousEndsInCr_ = !piece.empty() && piece.back() == '\r';
    return begins;
}

std::optional<std::string_view> keyOf(std::string_view firstPiece) {
    const std::size_t equals = firstPiece.find('=');
    if (equals == std::string_view::npos)
        return std::nullopt;
    return trimmed(firstPiece.substr(0, equals));
}

std::size_t valueStart(std::string_view firstPiece) {
    std::size_t at = firstPiece.find('=');
    if (at == std::string_view::npos)
        return firstPiece.size();
    ++at;
    while (at < firstPiece.size() && blank(firstPiece[at]))
        ++at;
    return at;
}

bool isSectionHeader(std::string_view firstPiece) {
    const std::size_t first = firstPiece.find_first_not_of(" \t");
    return first != std::string_view::npos && firstPiece[first] == '[';
}

std::string_view withoutEnding(std::string_view piece) {
    if (piece.ends_with('\n'))
        piece.remove_suffix(1);
    if (piece.ends_with('\r'))
        piece.remove_suffix(1);
    return piece;
}

bool isBlank(std::string_view piece) {
    return piece.find_first_not_of(" \t\r\n") == std::string_view::npos;
}

std::int64_t profileInt(std::string_view text) {
    constexpr std::int64_t kLimit = 1'000'000'000'000;
    std::size_t at = 0;
    while (at < text.size() && blank(text[at]))
        ++at;
    bool negative = false;
    if (at < text.size() && (text[at] == '-' || text[at] == '+'))
        negative = text[at++] == '-';
    std::int64_t value = 0;
    for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at)
        value = std::min(kLimit, value * 10 + (text[at] - '0'));
    return negative ? -value : value;
}

namespace {

// Copies `from` to `to` byte for byte through the file port and flushes it; a copy that
// could not be completed is removed again.
bool copyFile(const plat::String& from, const plat::String& to) {
    plat::Files& files = plat::files();
    const plat::Handle source = files.open(from, plat::FileMode::Read);
    if (source == 0)
        return false;
    const plat::Handle target = files.open(to, plat::FileMode::WriteNew);
    bool ok = target != 0;
    std::string chunk;
    plat::ReadResult read = plat::ReadResult::End;
    while (ok && (read = files.readLine(source, 4096, chunk)) == plat::ReadResult::Line)
        ok = files.write(target, chunk);
    ok = ok && read == plat::ReadResult::End && files.flush(target);
    if (target != 0 && !files.close(target))
        ok = false;
    files.close(source);
    if (!ok && target != 0)
        files.deleteFile(to);
    return ok;
}

// Moves `from` to `to`, or, when the move is refused, copies it there and removes it.
bool moveOrCopy(const plat::String& from, const plat::String& to) {
    plat::Files& files = plat::files();
    if (files.moveFileReplace(from, to))
        return true;
    if (!copyFile(from, to))
        return false;
    files.deleteFile(from);
    return true;
}

} // namespace

bool replaceWithCopy(const plat::String& path, const plat::String& scratch,
                     const plat::String& backup) {
    plat::Files& files = plat::files();
    if (!files.exists(path)) {
        // Gone since it was read: the copy is now the only contents there are.
        return moveOrCopy(scratch, path);
    }
    // A backup of an earlier swap that was cut short is stale now that the file is back.
    if (files.exists(backup))
        files.deleteFile(backup);
    if (files.replaceFile(path, scratch, &backup) == ERROR_SUCCESS) {
        files.deleteFile(backup);
        return true;
    }
    // The error code alone does not say where the files went: look.
    const bool pathThere = files.exists(path);
    const bool scratchThere = files.exists(scratch);
    const bool backupThere = files.exists(backup);
    if (pathThere) {
        // Nothing was moved aside (the original is in place), or the swap went through.
        if (scratchThere)
            files.deleteFile(scratch);
        if (backupThere)
            files.deleteFile(backup);
        return !scratchThere;
    }
    // The original was moved aside (or removed) and the copy is complete: it goes in place.
    if (scratchThere && moveOrCopy(scratch, path)) {
        if (backupThere)
            files.deleteFile(backup);
        return true;
    }
    // Failing that, the original comes back.
    if (backupThere && moveOrCopy(backup, path)) {
        if (scratchThere)
            files.deleteFile(scratch);
        return false;
    }
    // Neither could be put in place: every copy stays where it is rather than be lost.
    return false;
}

Rewrite Rewrite::inFolder(const plat::String& directory, const plat::String& name,
                          std::size_t capacity) {
    Rewrite r;
    r.path = directory + u"\\" + name;
    r.scratch = directory + u"\\" + kScratchName;
    r.backup = directory + u"\\" + kBackupName;
    r.capacity = capacity;
    return r;
}

RewriteResult rewriteFile(const Rewrite& rewrite) {
    plat::Files& files = plat::files();
    const plat::Handle source = files.open(rewrite.path, plat::FileMode::Read);
    if (source == 0)
        return RewriteResult::NotOpened;
    const plat::Handle copy = files.open(rewrite.scratch, plat::FileMode::WriteNew);
    if (copy == 0) {
        files.close(source);
        return RewriteResult::Failed;
    }
    bool ok = true;
    std::string piece;
    std::string out;
    plat::ReadResult read = plat::ReadResult::End;
    while (ok && (read = files.readLine(source, rewrite.capacity, piece)) == plat::ReadResult::Line) {
        out.clear();
        ok = rewrite.transform(piece, out) && (out.empty() || files.write(copy, out));
    }
    // A read that failed is not the end of the file: the copy would lack the rest of it.
    if (ok && read == plat::ReadResult::Error)
        ok = false;
    if (ok) {
        out.clear();
        ok = rewrite.finish(out) && (out.empty() || files.write(copy, out));
    }
    // Flushed to the disk before the swap, so that a crash cannot leave an empty file in
    // the original's place.
    if (ok)
        ok = files.flush(copy);
    if (!files.close(copy))
        ok = false;
    files.close(source);
    if (ok && replaceWithCopy(rewrite.path, rewrite.scratch, rewrite.backup))
        return RewriteResult::Replaced;
    // Still in place: the original. The incomplete copy goes (a complete one that could not
    // be put in place was dealt with by replaceWithCopy).
    if (files.exists(rewrite.path) && files.exists(rewrite.scratch))
        files.deleteFile(rewrite.scratch);
    return RewriteResult::Failed;
}

} // namespace inifile
