#include "WinampPaths.h"

#include "Debug.h"
#include "IniFile.h"
#include "ports.h"

#include <string>

namespace winamppaths {

namespace {

using inifile::trimmed;
using inifile::withoutEnding;

// The longest path Windows accepts at all.
constexpr std::size_t kMaxPathChars = 32767;
constexpr int kLastCsidl = 0xFF; // above: CSIDL_FLAG_* bits, which name no folder

bool equalsNoCase(std::string_view text, std::string_view word) {
    if (text.size() != word.size())
        return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i] >= 'A' && text[i] <= 'Z' ? static_cast<char>(text[i] - 'A' + 'a') : text[i];
        if (c != word[i])
            return false;
    }
    return true;
}

bool separator(char16_t c) {
    return c == u'\\' || c == u'/';
}

bool driveLetter(char16_t c) {
    return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z');
}

// "C:\..." or a UNC "\\server\share\...".
bool absolute(const plat::String& path) {
    return (path.size() >= 3 && driveLetter(path[0]) && path[1] == u':' && separator(path[2])) ||
           (path.size() >= 2 && separator(path[0]) && separator(path[1]));
}

plat::String joined(plat::String base, const plat::String& rest) {
    while (!base.empty() && separator(base.back()))
        base.pop_back();
    if (rest.empty())
        return base;
    return separator(rest.front()) ? base + rest : base + u"\\" + rest;
}

bool expanded(plat::Folders& folders, const plat::String& text, plat::String& out) {
    if (text.find(u'%') == plat::String::npos) {
        out = text;
        return true;
    }
    return folders.expandEnvironmentStrings(text, out);
}

// The whole of paths.ini, if it can be read and is of a sensible size.
std::optional<std::string> readPathsIni(const plat::String& path) {
    plat::Files& files = plat::files();
    const plat::Handle file = files.open(path, plat::FileMode::Read);
    if (file == 0)
        return std::nullopt;
    std::string text;
    std::string piece;
    plat::ReadResult read = plat::ReadResult::End;
    while ((read = files.readLine(file, 4097, piece)) == plat::ReadResult::Line &&
           text.size() + piece.size() <= kPathsIniMaxBytes)
        text += piece;
    files.close(file);
    if (read != plat::ReadResult::End)
        return std::nullopt; // a read error, or a file too large to be one Winamp wrote
    return text;
}

} // namespace

std::optional<plat::String> inidirOf(std::string_view text) {
    if (text.starts_with("\xEF\xBB\xBF"))
        text.remove_prefix(3); // a UTF-8 byte-order mark left by an editor
    bool inWinamp = false;
    bool winampSeen = false;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        const std::string_view line = trimmed(withoutEnding(text.substr(0, end)));
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (line.starts_with('[')) {
            // Only the first "[Winamp]" section is read.
            if (winampSeen)
                return std::nullopt;
            const std::size_t close = line.find(']');
            inWinamp = equalsNoCase(trimmed(line.substr(1, close == std::string_view::npos
                                                                ? std::string_view::npos
                                                                : close - 1)),
                                    "winamp");
            winampSeen = inWinamp;
            continue;
        }
        const std::size_t equals = line.find('=');
        if (!inWinamp || equals == std::string_view::npos ||
            !equalsNoCase(trimmed(line.substr(0, equals)), "inidir"))
            continue;
        std::string_view value = trimmed(line.substr(equals + 1));
        if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
            value.back() == value.front())
            value = value.substr(1, value.size() - 2);
        if (value.empty())
            return std::nullopt;
        plat::String wide;
        for (const char c : value)
            wide += static_cast<char16_t>(static_cast<unsigned char>(c));
        return wide;
    }
    return std::nullopt;
}

plat::String resolveInidir(const plat::String& value, const plat::String& installDir,
                           plat::Folders& folders) {
    if (value.empty() || value.size() > kMaxValueChars || value.find(u'\0') != plat::String::npos)
        return {};
    plat::String path;
    if (value.front() == u'{') {
        // "{N}": one to three digits, a CSIDL without flag bits.
        const std::size_t close = value.find(u'}');
        if (close < 2 || close > 4 || close == plat::String::npos)
            return {};
        int csidl = 0;
        for (std::size_t i = 1; i < close; ++i) {
            if (value[i] < u'0' || value[i] > u'9')
                return {};
            csidl = csidl * 10 + (value[i] - u'0');
        }
        plat::String base;
        plat::String rest;
        if (csidl > kLastCsidl || !folders.shellFolderPath(csidl, base) || base.empty() ||
            !expanded(folders, value.substr(close + 1), rest))
            return {};
        path = joined(base, rest);
    } else if (!expanded(folders, value, path)) {
        return {};
    }
    if (path.empty() || path.find(u'\0') != plat::String::npos)
        return {};
    if (!absolute(path)) {
        if (path.size() >= 2 && path[1] == u':')
            return {}; // "C:folder": relative to a current folder of that drive, not ours
        if (separator(path.front())) {
            // From the root of the program folder's drive.
            if (installDir.size() < 2 || !driveLetter(installDir[0]) || installDir[1] != u':')
                return {};
            path = installDir.substr(0, 2) + path;
        } else {
            path = joined(installDir, path);
        }
    }
    while (path.size() > 3 && separator(path.back()))
        path.pop_back();
    if (path.size() > kMaxPathChars || !folders.isFolder(path))
        return {};
    return path;
}

plat::String settingsFolder(const plat::String& installDir) {
    const auto text = readPathsIni(installDir + u"\\" + kPathsIniName);
    const auto value = text ? inidirOf(*text) : std::nullopt;
    if (!value)
        return installDir;
    const plat::String folder = resolveInidir(*value, installDir, plat::folders());
    if (!folder.empty())
        return folder;
    WriteLog(u"paths.ini names no settings folder that exists: " + value->substr(0, kMaxValueChars),
             LogLevel::Log);
    return installDir;
}

} // namespace winamppaths
