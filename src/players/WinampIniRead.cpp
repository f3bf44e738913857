#include "WinampIniRead.h"

#include "Debug.h"
#include "ports.h"

#include <algorithm>
#include <vector>

namespace winampini {

namespace {

bool contains(std::string_view line, std::string_view word) {
    return line.find(word) != std::string_view::npos;
}

// One appended binding: its action line, then its hotkey line.
void appendBinding(std::string& out, std::int64_t index, std::string_view action,
                   std::string_view value, std::string_view ending) {
    const std::string number = std::to_string(index);
    out.append("action").append(number).append("=ghkdc ").append(action).append(ending);
    out.append("hotkey").append(number).append("=").append(value).append(ending);
}

} // namespace

bool readBoundedLine(std::string_view contents, std::size_t& position, std::size_t capacity,
                     std::string& line) {
    line.clear();
    if (capacity == 0)
        return false;
    if (capacity == 1)
        return true; // room for the terminator only: fgets reads nothing
    if (position >= contents.size())
        return false;
    const std::size_t room = std::min(capacity - 1, contents.size() - position);
    const std::size_t newline = contents.substr(position, room).find('\n');
    const std::size_t take = newline == std::string_view::npos ? room : newline + 1;
    line.assign(contents.substr(position, take));
    position += take;
    return true;
}

void HotkeyScan::feed(std::string_view line) {
    bytes += static_cast<std::int64_t>(line.size());
    // A piece ends with its '\n' when it has one (the read stops after it).
    if (ending_ == Ending::Unknown && !line.empty() && line.back() == '\n') {
        const bool cr = line.size() >= 2 ? line[line.size() - 2] == '\r' : previousEndedInCr_;
        ending_ = cr ? Ending::CrLf : Ending::Lf;
    }
    previousEndedInCr_ = !line.empty() && line.back() == '\r';

    switch (scanState) {
    case 0:
        if (contains(line, "[gen_hotkeys]"))
            scanState = 1;
        break;
    case 1:
        if (contains(line, "nbkeys"))
            scanState = 2;
        break;
    case 2:
        if (contains(line, "enabled=")) {
            // Any '0' anywhere counts as disabled, "enabled=10" included.
            hotkeysEnabled = contains(line, "0") ? 0 : 1;
            scanState = 3;
        }
        break;
    default:
        if (contains(line, "hotkey")) {
            ++hotkeyCount;
            // Each value found lowers the missing count, also when it is found twice.
            if (contains(line, "2224"))
                hasNext = 1, --missingCount;
            if (contains(line, "2225"))
                hasPrev = 1, --missingCount;
            if (contains(line, "2226"))
                hasStop = 1, --missingCount;
            if (contains(line, "2227"))
                hasPlayPause = 1, --missingCount;
        }
        break;
    }
}

std::string_view HotkeyScan::lineEnding() const {
    return ending_ == Ending::Lf ? std::string_view("\n") : std::string_view("\r\n");
}

HotkeyRewrite::HotkeyRewrite(const HotkeyScan& scan)
    : scan_(scan), ending_(scan.lineEnding()), newCount_(scan.missingCount + scan.hotkeyCount) {}

std::string_view HotkeyRewrite::transform(std::string_view line) {
    std::string_view out = line;
    switch (rewriteState_) {
    case 0:
        if (contains(line, "[gen_hotkeys]"))
            rewriteState_ = 1;
        break;
    case 1:
        if (contains(line, "nbkeys")) {
            replacement_ = "nbkeys=" + std::to_string(newCount_) + ending_;
            out = replacement_;
            rewriteState_ = 2;
        }
        break;
    case 2:
        if (contains(line, "enabled=")) {
            replacement_ = "enabled=1" + ending_;
            out = replacement_;
            rewriteState_ = 3;
        }
        break;
    default:
        break;
    }
    if (!out.empty())
        lastEndsLine_ = out.back() == '\n';
    return out;
}

std::string HotkeyRewrite::finish() const {
    std::string out;
    // Without the section nothing is appended (and "nbkeys" was never written).
    if (rewriteState_ == 0)
        return out;
    if (scan_.hasStop && scan_.hasPlayPause && scan_.hasPrev && scan_.hasNext)
        return out;
    if (!lastEndsLine_)
        out += ending_; // the first appended line must not join the file's last one
    std::int64_t index = scan_.hotkeyCount;
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
    std::string line;
    while (readBoundedLine(contents, position, kLineCapacity, line))
        scan.feed(line);
    return scan;
}

std::string rewriteText(std::string_view contents, const HotkeyScan& scan,
                        std::int32_t* rewriteState) {
    HotkeyRewrite rewrite(scan);
    std::string out;
    out.reserve(contents.size() + 256);
    std::size_t position = 0;
    std::string line;
    while (readBoundedLine(contents, position, kLineCapacity, line))
        out.append(rewrite.transform(line));
    out += rewrite.finish();
    if (rewriteState)
        *rewriteState = rewrite.rewriteState();
    return out;
}

} // namespace winampini

namespace {

constexpr char16_t kWinampKey[] = u"Software\\Winamp\\";
// The longest path Windows accepts; a longer "directory" is not one.
constexpr std::uint32_t kMaxDirectoryChars = 32767;

} // namespace

WinampIniRead::WinampIniRead() {
    traceEntry(u"WinampIniRead::WinampIniRead");
    plat::Files& files = plat::files();
    if (readWinampDirectory() == 1)
        iniFile = files.open(iniPath(), plat::FileMode::Read);
    if (iniFile == 0) {
        WriteLog(u"Winamp.ini not found", LogLevel::Log);
        traceExit(u"WinampIniRead::WinampIniRead");
        return;
    }
    while (files.readLine(iniFile, winampini::kLineCapacity, line))
        scan_.feed(line);
    files.close(iniFile);
    iniFile = 0;
    if (scan_.needsRewrite())
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
    return winampDirectory + u"\\winamp.ini";
}

plat::String WinampIniRead::tempPath() const {
    return winampDirectory + u"\\temp.ini";
}

int WinampIniRead::rewriteIni() {
    traceEntry(u"WinampIniRead::rewriteIni");
    plat::Files& files = plat::files();
    iniFile = files.open(iniPath(), plat::FileMode::Read);
    if (iniFile == 0) {
        WriteLog(u"Winamp.ini not found", LogLevel::Log);
        outcome_ = Outcome::NotFound;
        traceExit(u"WinampIniRead::rewriteIni");
        return 0;
    }
    const plat::String temp = tempPath();
    tempFile = files.open(temp, plat::FileMode::WriteNew);
    int written = 0;
    if (tempFile != 0) {
        written = writeCopy(tempFile);
        if (!files.close(tempFile))
            written = 0;
        tempFile = 0;
    }
    files.close(iniFile);
    iniFile = 0;

    // The copy takes the original's place in one step, and only once it is complete.
    int replaced = 0;
    if (written == 1) {
        const plat::String ini = iniPath();
        replaced = files.exists(ini) ? files.replaceFile(ini, temp) : files.moveFileReplace(temp, ini);
    }
    if (replaced != 1) {
        if (files.exists(temp))
            files.deleteFile(temp);
        outcome_ = Outcome::Failed;
        traceExit(u"WinampIniRead::rewriteIni");
        return 0;
    }
    outcome_ = Outcome::Rewritten;
    traceExit(u"WinampIniRead::rewriteIni");
    return 1;
}

int WinampIniRead::writeCopy(plat::Handle temp) {
    plat::Files& files = plat::files();
    winampini::HotkeyRewrite rewrite(scan_);
    std::int64_t copiedBytes = 0;
    bool ok = true;
    while (ok && files.readLine(iniFile, winampini::kLineCapacity, line)) {
        copiedBytes += static_cast<std::int64_t>(line.size());
        ok = files.write(temp, std::string(rewrite.transform(line)));
    }
    rewriteState_ = rewrite.rewriteState();
    // The read ends at the end of the file or at an error, which look alike. A copy that
    // read less or more than the scan did (a read error, or Winamp writing the file
    // meanwhile) is not trusted to replace the file.
    if (copiedBytes != scan_.bytes)
        ok = false;
    if (ok) {
        const std::string tail = rewrite.finish();
        if (!tail.empty())
            ok = files.write(temp, tail);
    }
    if (ok)
        ok = files.flush(temp);
    return ok ? 1 : 0;
}
