// libFuzzer target: arbitrary "winamp.ini" contents through the hotkey scan and rewrite, in
// the folder that an arbitrary "paths.ini" text names (fuzz_support.h, splitPathsIni).
// Checks that nothing reads out of bounds (AddressSanitizer), and, reading the file by its
// own rules rather than the program's, that
//   - every line the rewrite did not mean to change comes out byte for byte the same: only
//     the section's first "nbkeys" and "enabled" lines may be replaced (whole, keeping their
//     endings), and added lines form one block of well-formed lines inside the section;
//   - afterwards Winamp would load all four media keys with global hotkeys on ("nbkeys"
//     covering every binding the section holds), so a second run changes nothing;
//   - the file passes on the simulated PC, in the settings folder paths.ini names (the
//     program folder, or one that exists), produce exactly the in-memory result and leave
//     nothing beside "winamp.ini".
//
// The module is compiled into this target rather than taken from qa_program, so that the
// fuzzer's coverage instrumentation (applied to this target only) sees its branches.
#include "IniFile.cpp"
#include "WinampIniRead.cpp"
#include "WinampPaths.cpp"

#include "fuzz_support.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace {

using fuzzing::check;
using fuzzing::endingOf;
using fuzzing::linesOf;

// ------------------------------------------------------------------ the file, as Winamp reads it
// Whole lines with their endings. A key is read from a line's first 299 bytes, the most the
// program reads at once; a name is compared without regard to case.
std::string folded(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return out;
}

std::string_view strip(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    return text;
}

struct Entry {
    bool hasKey = false;
    std::string key; // folded
    std::string_view value;
    bool header = false;
};

Entry entryOf(std::string_view line) {
    Entry e;
    const std::string_view head = line.substr(0, 299);
    const std::size_t first = head.find_first_not_of(" \t");
    e.header = first != std::string_view::npos && head[first] == '[';
    const std::size_t equals = head.find('=');
    if (!e.header && equals != std::string_view::npos) {
        e.hasKey = true;
        e.key = folded(strip(head.substr(0, equals)));
        e.value = head.substr(equals + 1);
    }
    return e;
}

bool isSection(std::string_view line) {
    line = line.substr(0, 299);
    const std::size_t first = line.find_first_not_of(" \t");
    return first != std::string_view::npos && folded(line.substr(first, 13)) == "[gen_hotkeys]";
}

// atoi as GetPrivateProfileIntW has it, bounded.
long long number(std::string_view text) {
    std::size_t at = 0;
    while (at < text.size() && (text[at] == ' ' || text[at] == '\t'))
        ++at;
    bool negative = false;
    if (at < text.size() && (text[at] == '-' || text[at] == '+'))
        negative = text[at++] == '-';
    long long v = 0;
    for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at)
        v = std::min(v * 10 + (text[at] - '0'), 1'000'000'000'000LL);
    return negative ? -v : v;
}

// N of "hotkeyN"/"actionN" as Winamp writes it (no leading zero, at most nine digits).
long long indexOf(const std::string& key, std::string_view prefix) {
    if (key.size() <= prefix.size() || key.size() > prefix.size() + 9 ||
        key.compare(0, prefix.size(), prefix) != 0)
        return -1;
    const std::string digits = key.substr(prefix.size());
    if (digits.size() > 1 && digits[0] == '0')
        return -1;
    for (const char c : digits)
        if (c < '0' || c > '9')
            return -1;
    return std::stoll(digits);
}

// The first hotkey section: its line range [first, end).
struct Section {
    std::size_t first = 0, end = 0;
    bool found = false;
};

Section findSection(const std::vector<std::string_view>& lines) {
    Section s;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (!s.found && isSection(lines[i])) {
            s.found = true;
            s.first = i;
            s.end = lines.size();
        } else if (s.found && entryOf(lines[i]).header) {
            s.end = i;
            break;
        }
    }
    return s;
}

// What Winamp makes of the section: whether it loads all four media keys with hotkeys on.
bool winampLoadsAllFour(const std::vector<std::string_view>& lines, const Section& s) {
    std::map<std::string, std::string_view> first;
    for (std::size_t i = s.first + 1; i < s.end; ++i) {
        const Entry e = entryOf(lines[i]);
        if (e.hasKey)
            first.emplace(e.key, e.value);
    }
    if (!first.count("nbkeys") || !first.count("enabled"))
        return false;
    const std::string_view enabled = first["enabled"];
    if (number(enabled) == 0 || enabled.find('0') != std::string_view::npos)
        return false;
    long long highest = -1;
    for (const auto& [key, value] : first)
        highest = std::max({highest, indexOf(key, "hotkey"), indexOf(key, "action")});
    if (number(first["nbkeys"]) < highest + 1)
        return false;
    bool bound[4] = {};
    for (const auto& [key, value] : first)
        if (indexOf(key, "hotkey") >= 0) {
            const long long v = number(value);
            if (v >= 2224 && v <= 2227)
                bound[v - 2224] = true;
        }
    return bound[0] && bound[1] && bound[2] && bound[3];
}

// A line the rewrite adds: a count, "enabled=1", or half of a binding of a media key.
bool addedLine(std::string_view line, std::string_view ending) {
    if (!line.ends_with(ending) || endingOf(line) != ending)
        return false;
    line.remove_suffix(ending.size());
    const auto digitsThen = [&](std::string_view prefix, std::string_view rest) {
        if (!line.starts_with(prefix) || !line.ends_with(rest))
            return false;
        const std::string_view digits =
            line.substr(prefix.size(), line.size() - prefix.size() - rest.size());
        return !digits.empty() && digits.size() <= 14 &&
               digits.find_first_not_of("0123456789") == std::string_view::npos;
    };
    return line == "enabled=1" || digitsThen("nbkeys=", "") || digitsThen("hotkey", "=2224") ||
           digitsThen("hotkey", "=2225") || digitsThen("hotkey", "=2226") ||
           digitsThen("hotkey", "=2227") || digitsThen("action", "=ghkdc next") ||
           digitsThen("action", "=ghkdc prev") || digitsThen("action", "=ghkdc stop") ||
           digitsThen("action", "=ghkdc play/pause");
}

// Walks the input's lines against the output's: each is the same, or a replaced "nbkeys" or
// "enabled" line of the section, and the added lines form one block inside the section.
void checkLines(std::string_view in, std::string_view out) {
    const auto a = linesOf(in);
    const auto b = linesOf(out);
    const Section s = findSection(a);
    std::string_view fileEnding = "\r\n";
    for (const auto line : a)
        if (!endingOf(line).empty()) {
            fileEnding = endingOf(line);
            break;
        }
    bool nbkeysSeen = false, enabledSeen = false, blockSeen = false;
    std::size_t i = 0, j = 0;
    while (i < a.size() || j < b.size()) {
        if (i < a.size() && j < b.size() && a[i] == b[j]) {
            const Entry e = entryOf(a[i]);
            const bool inSection = s.found && i > s.first && i < s.end;
            nbkeysSeen |= inSection && e.hasKey && e.key == "nbkeys";
            enabledSeen |= inSection && e.hasKey && e.key == "enabled";
            ++i, ++j;
            continue;
        }
        check(j < b.size());
        if (i < a.size()) {
            const Entry e = entryOf(a[i]);
            const bool inSection = s.found && i > s.first && i < s.end;
            const std::string_view ending = endingOf(a[i]);
            // A replaced line keeps its ending; the last line, without one, gets the file's
            // when the added block follows it.
            const std::string_view outEnding = endingOf(b[j]);
            const bool endingKept = outEnding == ending || (ending.empty() && !blockSeen &&
                                                            outEnding == fileEnding &&
                                                            j + 1 < b.size());
            if (inSection && e.hasKey && e.key == "nbkeys" && !nbkeysSeen && endingKept &&
                addedLine(b[j], outEnding) && b[j].starts_with("nbkeys=")) {
                nbkeysSeen = true;
                ++i, ++j;
                continue;
            }
            if (inSection && e.hasKey && e.key == "enabled" && !enabledSeen && endingKept &&
                b[j] == "enabled=1" + std::string(outEnding)) {
                enabledSeen = true;
                ++i, ++j;
                continue;
            }
            // The section's last line without an ending gets one before the added block.
            if (ending.empty() && !blockSeen && b[j] == std::string(a[i]) + std::string(fileEnding)) {
                ++i, ++j;
                continue;
            }
        }
        // An added block: inside the section (after its header, before its end).
        check(!blockSeen && s.found && i > s.first && i <= s.end);
        blockSeen = true;
        while (j < b.size() && (i >= a.size() || a[i] != b[j]) && addedLine(b[j], fileEnding))
            ++j;
        check(i >= a.size() || j < b.size());
    }
}

struct World : fuzzing::SimWorld {
    World() { fuzzing::makeSettingsFolders(pc); }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto [pathsIni, in] =
        fuzzing::splitPathsIni(std::string_view(reinterpret_cast<const char*>(data), size));
    const winampini::HotkeyScan scan = winampini::scanText(in);
    check(scan.bytes == static_cast<std::int64_t>(in.size()));
    const std::string_view ending = scan.lineEnding();
    check(ending == "\n" || ending == "\r\n");

    const std::string out = winampini::rewriteText(in, scan);
    if (!scan.needsRewrite())
        check(out == in);
    checkLines(in, out);

    // Winamp now loads all four with hotkeys on, and a second run finds nothing to do.
    const auto lines = linesOf(out);
    const Section section = findSection(lines);
    check(section.found == scan.sectionFound);
    if (section.found)
        check(winampLoadsAllFour(lines, section));
    check(!winampini::scanText(out).needsRewrite());

    // The file passes on the simulated PC, in the folder paths.ini names: the same bytes, or
    // the file left alone, and nothing else written there or in the program folder.
    World& world = fuzzing::renewed<World>(10000);
    fuzzing::filePass(world.pc, pathsIni, in, scan.needsRewrite() ? out : std::string(in), [&] {
        WinampIniRead reader;
        check(reader.outcome() == (scan.needsRewrite() ? WinampIniRead::Outcome::Rewritten
                                                       : WinampIniRead::Outcome::Untouched));
    });
    return 0;
}
