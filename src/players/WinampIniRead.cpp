#include "WinampIniRead.h"

#include "Debug.h"
#include "WinampPaths.h"
#include "ports.h"

#include <algorithm>
#include <vector>

namespace winampini {

namespace {

constexpr std::string_view kSection = "[gen_hotkeys]";

// The profile functions compare section and key names without regard to ASCII case.
char lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool startsWithNoCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size())
        return false;
    for (std::size_t i = 0; i < prefix.size(); ++i)
        if (lower(text[i]) != prefix[i])
            return false;
    return true;
}

bool equalsNoCase(std::string_view text, std::string_view word) {
    return text.size() == word.size() && startsWithNoCase(text, word);
}

std::uint64_t fnv(std::uint64_t digest, std::string_view bytes) {
    for (const char c : bytes)
        digest = (digest ^ static_cast<unsigned char>(c)) * 1099511628211ull;
    return digest;
}

// N of a key "<prefix>N" (one to nine digits, written as Winamp writes numbers: no leading
// zero), or -1.
std::int64_t bindingIndex(std::string_view key, std::string_view prefix) {
    if (!startsWithNoCase(key, prefix) || key.size() == prefix.size() ||
        key.size() - prefix.size() > 9)
        return -1;
    const std::string_view digits = key.substr(prefix.size());
    if (digits.size() > 1 && digits.front() == '0')
        return -1;
    std::int64_t n = 0;
    for (const char c : digits) {
        if (c < '0' || c > '9')
            return -1;
        n = n * 10 + (c - '0');
    }
    return n;
}

// One added binding: its action line, then its hotkey line.
void appendBinding(std::string& out, std::int64_t index, std::string_view action,
                   std::string_view value, std::string_view ending) {
    const std::string number = std::to_string(index);
    out.append("action").append(number).append("=ghkdc ").append(action).append(ending);
    out.append("hotkey").append(number).append("=").append(value).append(ending);
}

} // namespace

void HotkeyScan::noteKey(std::string_view key, std::string_view value) {
    if (equalsNoCase(key, "nbkeys")) {
        if (!nbkeysLine.present()) {
            kind_ = Kind::Nbkeys;
            nbkeys = inifile::profileInt(value);
        }
    } else if (equalsNoCase(key, "enabled")) {
        if (!enabledLine.present()) {
            kind_ = Kind::Enabled;
            // Any '0' counts as disabled, "enabled=10" included.
            hotkeysEnabled = inifile::profileInt(value) != 0 &&
                             value.find('0') == std::string_view::npos;
        }
    } else if (const std::int64_t n = bindingIndex(key, "hotkey"); n >= 0) {
        highestIndex = std::max(highestIndex, n);
        // Only the first line of a key counts, as Winamp reads it.
        if (hotkeyIndexes_.insert(n).second) {
            ++hotkeyCount;
            switch (inifile::profileInt(value)) {
            case 2224:
                hasNext = 1;
                break;
            case 2225:
                hasPrev = 1;
                break;
            case 2226:
                hasStop = 1;
                break;
            case 2227:
                hasPlayPause = 1;
                break;
            default:
                break;
            }
        }
    } else if (const std::int64_t m = bindingIndex(key, "action"); m >= 0) {
        highestIndex = std::max(highestIndex, m);
    }
}

void HotkeyScan::feed(std::string_view piece) {
    bytes += static_cast<std::int64_t>(piece.size());
    digest = fnv(digest, piece);
    const std::int64_t index = pieces++;
    if (lines_.next(piece)) {
        current_ = LineSpan{index, index, {}};
        currentBlank_ = true;
        kind_ = Kind::Other;
        const std::string_view value =
            inifile::withoutEnding(piece.substr(inifile::valueStart(piece)));
        if (inifile::isSectionHeader(piece)) {
            const std::string_view header = piece.substr(piece.find('['));
            if (where_ == Where::Before && startsWithNoCase(header, kSection)) {
                where_ = Where::Inside;
                sectionFound = true;
                kind_ = Kind::Header;
            } else if (where_ == Where::Inside) {
                where_ = Where::After;
            }
        } else if (const auto key = inifile::keyOf(piece); key && where_ == Where::Inside) {
            noteKey(*key, value);
        }
    }
    current_.last = index;
    if (!inifile::isBlank(piece))
        currentBlank_ = false;
    if (lines_.endsLine()) {
        current_.ending = lines_.ending();
        if (ending_.empty())
            ending_ = lines_.ending();
        lineDone();
    }
}

void HotkeyScan::end() {
    if (pieces > 0 && !lines_.endsLine())
        lineDone(); // a last line without an ending
}

void HotkeyScan::lineDone() {
    if (kind_ == Kind::Nbkeys)
        nbkeysLine = current_;
    else if (kind_ == Kind::Enabled)
        enabledLine = current_;
    if (where_ == Where::Inside && (kind_ == Kind::Header || !currentBlank_))
        insertAfter = current_.last;
    kind_ = Kind::Other;
}

std::int64_t HotkeyScan::newCount() const {
    return std::max(nbkeys, highestIndex + 1 + missingCount());
}

bool HotkeyScan::needsRewrite() const {
    return sectionFound && (missingCount() > 0 || hotkeysEnabled == 0 ||
                            !nbkeysLine.present() || nbkeys < newCount());
}

std::string_view HotkeyScan::lineEnding() const {
    return ending_.empty() ? std::string_view("\r\n") : std::string_view(ending_);
}

HotkeyRewrite::HotkeyRewrite(const HotkeyScan& scan) : scan_(scan), ending_(scan.lineEnding()) {}

void HotkeyRewrite::transform(std::string_view piece, std::string& out) {
    bytes_ += static_cast<std::int64_t>(piece.size());
    digest_ = fnv(digest_, piece);
    const std::int64_t index = piece_++;
    const auto within = [index](const LineSpan& line) {
        return line.present() && index >= line.first && index <= line.last;
    };
    const std::size_t before = out.size();
    // A replaced line goes whole: its first piece gives way to the new line, with the old
    // line's own ending, and its other pieces are dropped.
    if (within(scan_.nbkeysLine) && scan_.nbkeys < scan_.newCount()) {
        if (index == scan_.nbkeysLine.first)
            out.append("nbkeys=").append(std::to_string(scan_.newCount())).append(scan_.nbkeysLine.ending);
    } else if (within(scan_.enabledLine) && scan_.hotkeysEnabled == 0) {
        if (index == scan_.enabledLine.first)
            out.append("enabled=1").append(scan_.enabledLine.ending);
    } else {
        out.append(piece);
    }
    if (out.size() > before)
        lastEndsLine_ = out.back() == '\n';
    if (index == scan_.insertAfter) {
        const std::string lines = added();
        if (!lines.empty()) {
            if (!lastEndsLine_)
                out += ending_; // never joined to the line before
            out += lines;
            lastEndsLine_ = true;
        }
    }
}

std::string HotkeyRewrite::added() const {
    std::string out;
    if (!scan_.nbkeysLine.present())
        out.append("nbkeys=").append(std::to_string(scan_.newCount())).append(ending_);
    if (!scan_.enabledLine.present())
        out.append("enabled=1").append(ending_);
    std::int64_t index = scan_.highestIndex + 1;
    if (!scan_.hasStop)
        appendBinding(out, index++, "stop", "2226", ending_);
    if (!scan_.hasPlayPause)
        appendBinding(out, index++, "play/pause", "2227", ending_);
    if (!scan_.hasPrev)
        appendBinding(out, index++, "prev", "2225", ending_);
    if (!scan_.hasNext)
        appendBinding(out, index++, "next", "2224", ending_);
    return out;
}

HotkeyScan scanText(std::string_view contents) {
    HotkeyScan scan;
    std::size_t position = 0;
    std::string piece;
    while (inifile::readBoundedLine(contents, position, kLineCapacity, piece))
        scan.feed(piece);
    scan.end();
    return scan;
}

std::string rewriteText(std::string_view contents, const HotkeyScan& scan) {
    HotkeyRewrite rewrite(scan);
    std::string out;
    out.reserve(contents.size() + 256);
    std::size_t position = 0;
    std::string piece;
    while (inifile::readBoundedLine(contents, position, kLineCapacity, piece))
        rewrite.transform(piece, out);
    return out;
}

} // namespace winampini

namespace {

// The longest path Windows accepts; a longer "directory" is not one.
constexpr std::uint32_t kMaxDirectoryChars = 32767;

} // namespace

WinampIniRead::WinampIniRead() {
    traceEntry(u"WinampIniRead::WinampIniRead");
    plat::Files& files = plat::files();
    if (readWinampDirectory() == 1) {
        settingsDirectory = winamppaths::settingsFolder(winampDirectory);
        iniFile = files.open(iniPath(), plat::FileMode::Read);
    }
    if (iniFile == 0) {
        WriteLog(u"Winamp.ini not found", LogLevel::Log);
        traceExit(u"WinampIniRead::WinampIniRead");
        return;
    }
    plat::ReadResult read = plat::ReadResult::End;
    while ((read = files.readLine(iniFile, winampini::kLineCapacity, line)) ==
           plat::ReadResult::Line)
        scan_.feed(line);
    files.close(iniFile);
    iniFile = 0;
    scan_.end();
    // A read that failed leaves the rest of the file unknown: nothing is decided on half a
    // file.
    if (read == plat::ReadResult::Error)
        outcome_ = Outcome::Failed;
    else if (scan_.needsRewrite())
        rewriteIni();
    else
        outcome_ = Outcome::Untouched;
    traceExit(u"WinampIniRead::WinampIniRead");
}

WinampIniRead::~WinampIniRead() = default;

int WinampIniRead::readWinampDirectory() {
    plat::Registry& registry = plat::registry();
    plat::HKey key = 0;
    if (registry.openKey(plat::HKCU, kWinampKey, KEY_READ, key) != ERROR_SUCCESS)
        return 0;
    int result = 0;
    std::uint32_t type = 0;
    std::uint32_t size = 0;
    if (registry.queryValue(key, u"", &type, nullptr, &size) == ERROR_SUCCESS &&
        size <= (kMaxDirectoryChars + 1) * sizeof(char16_t)) {
        // One spare unit, so that data without a terminating null still ends in the buffer.
        std::vector<char16_t> buffer(size / sizeof(char16_t) + 1, u'\0');
        std::uint32_t bytes = static_cast<std::uint32_t>(buffer.size() * sizeof(char16_t));
        if (registry.queryValue(key, u"", &type, buffer.data(), &bytes) == ERROR_SUCCESS) {
            const std::size_t units = std::min<std::size_t>(bytes / sizeof(char16_t), buffer.size());
            const auto end = std::find(buffer.begin(), buffer.begin() + units, u'\0');
            winampDirectory.assign(buffer.begin(), end);
            result = 1;
        }
    }
    registry.closeKey(key);
    return result;
}

plat::String WinampIniRead::iniPath() const {
    return settingsDirectory + u"\\winamp.ini";
}

int WinampIniRead::rewriteIni() {
    traceEntry(u"WinampIniRead::rewriteIni");
    winampini::HotkeyRewrite rewrite(scan_);
    auto job = inifile::Rewrite::inFolder(settingsDirectory, u"winamp.ini", winampini::kLineCapacity);
    job.transform = [&](std::string_view piece, std::string& out) {
        rewrite.transform(piece, out);
        return rewrite.pieces() <= scan_.pieces;
    };
    // The copy is trusted only when it was made from the very bytes the scan read: Winamp
    // may have written the file meanwhile.
    job.finish = [&](std::string&) {
        return rewrite.pieces() == scan_.pieces && rewrite.bytes() == scan_.bytes &&
               rewrite.digest() == scan_.digest;
    };
    int result = 0;
    switch (inifile::rewriteFile(job)) {
    case inifile::RewriteResult::NotOpened:
        WriteLog(u"Winamp.ini not found", LogLevel::Log);
        outcome_ = Outcome::NotFound;
        break;
    case inifile::RewriteResult::Failed:
        outcome_ = Outcome::Failed;
        break;
    case inifile::RewriteResult::Replaced:
        outcome_ = Outcome::Rewritten;
        result = 1;
        break;
    }
    traceExit(u"WinampIniRead::rewriteIni");
    return result;
}
