// libFuzzer target: the output-device scan and rewrite over arbitrary "winamp.ini" contents,
// the GUID decoder and encoder over arbitrary values, and the file rewrite on the simulated
// PC in the folder an arbitrary "paths.ini" text names. Reading the file by its own rules
// rather than the program's, it checks for every input that the rewrite changes at most one
// line: the device line of the active plug-in's own section (its key, read from the line's
// first 500 bytes, exactly "cfg_dev" or "cfg_dev2"), with only its value changed and its line
// ending kept; or, where that line is missing, adds exactly it, at the end of the section
// (before its trailing blank lines), or with its section at the end of the file. Every other
// line comes out byte for byte the same, and a file without a plug-in it understands is
// refused and left as it was.
#include "AudioDevices.h"
#include "PcInfo.h"
#include "WinampOutput.h"
#include "fuzz_support.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace {

using fuzzing::check;
using fuzzing::endingOf;
using fuzzing::linesOf;

bool blank(char c) {
    return c == ' ' || c == '\t';
}

// The key of a line, from its first 500 bytes (the most the program reads at once).
std::string_view keyOf(std::string_view line) {
    line = line.substr(0, 500);
    const std::size_t equals = line.find('=');
    if (equals == std::string_view::npos)
        return {};
    std::string_view key = line.substr(0, equals);
    while (!key.empty() && blank(key.front()))
        key.remove_prefix(1);
    while (!key.empty() && blank(key.back()))
        key.remove_suffix(1);
    return key;
}

bool isHeader(std::string_view line) {
    line = line.substr(0, 500);
    const std::size_t first = line.find_first_not_of(" \t");
    return first != std::string_view::npos && line[first] == '[';
}

// The wave-out line as it must come out: the number at the start of the value (within the
// line's first 500 bytes) gives way to the digit, or the digit is inserted there.
std::string withDigit(std::string_view line, char digit) {
    const std::string_view head = line.substr(0, 500);
    std::size_t at = head.find('=') + 1;
    while (at < head.size() && blank(head[at]))
        ++at;
    std::size_t end = at;
    if (end < head.size() && (head[end] == '-' || head[end] == '+'))
        ++end;
    const std::size_t digits = end;
    while (end < head.size() && head[end] >= '0' && head[end] <= '9')
        ++end;
    if (end == digits)
        end = at;
    std::string out(line);
    out.replace(at, end - at, 1, digit);
    return out;
}

// The plug-in the file names: the first 500-byte piece of a line (the most the program reads
// at once) that holds "outname=" decides; 'w' wave-out, 'd' DirectSound, '?' another, 0 none.
char pluginOf(const std::vector<std::string_view>& lines) {
    for (const auto line : lines)
        for (std::size_t at = 0; at < line.size(); at += 500) {
            const std::string_view piece = line.substr(at, 500);
            if (piece.find("outname=") == std::string_view::npos)
                continue;
            if (piece.find("out_wave.dll") != std::string_view::npos)
                return 'w';
            return piece.find("out_ds.dll") != std::string_view::npos ? 'd' : '?';
        }
    return 0;
}

bool blankLine(std::string_view line) {
    return line.size() <= 500 && line.find_first_not_of(" \t\r\n") == std::string_view::npos &&
           !endingOf(line).empty();
}

// A missing device line was added: exactly `added` (with its ending `eol`), at the end of
// the plug-in's first section after the plug-in line, or with the section at the end.
void checkAdded(const std::vector<std::string_view>& before, const std::vector<std::string_view>& after,
                bool wave, const std::string& added, std::string_view eol) {
    const std::string_view header = wave ? "[out_wave]" : "[out_ds]";
    // Where the plug-in line and its section are, by this file's reading.
    std::size_t plugin = 0;
    while (plugin < before.size() && pluginOf({before[plugin]}) == 0)
        ++plugin;
    std::size_t section = plugin + 1;
    while (section < before.size() && !before[section].starts_with(header))
        ++section;
    if (section >= before.size()) {
        // No section: it comes at the end, after an ending for an open last line.
        std::string expected;
        for (const auto line : before)
            expected += line;
        if (!before.empty() && endingOf(before.back()).empty())
            expected += eol;
        expected += std::string(header) + std::string(eol) + added;
        std::string got;
        for (const auto line : after)
            got += line;
        check(got == expected);
        return;
    }
    // Within the section: after its last line that is not blank (an open last line gets
    // an ending first).
    std::size_t end = section + 1;
    while (end < before.size() && !isHeader(before[end]))
        ++end;
    std::size_t at = end;
    while (at > section + 1 && blankLine(before[at - 1]))
        --at;
    std::string expected;
    for (std::size_t i = 0; i < at; ++i)
        expected += before[i];
    if (at == before.size() && endingOf(before.back()).empty())
        expected += eol;
    expected += added;
    for (std::size_t i = at; i < before.size(); ++i)
        expected += before[i];
    std::string got;
    for (const auto line : after)
        got += line;
    check(got == expected);
}

struct World : fuzzing::SimWorld {
    World() { fuzzing::makeSettingsFolders(pc); }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2)
        return 0;
    // The first byte chooses the table index of the rewrite; paths.ini text and the file follow.
    const int index = data[0] % 16;
    const std::uint32_t waveId = static_cast<std::uint32_t>(index > 0 ? index - 1 : 0);
    const auto [pathsIni, contents] =
        fuzzing::splitPathsIni(std::string_view(reinterpret_cast<const char*>(data + 1), size - 1));
    if (contents.empty())
        return 0;

    const winampout::DeviceLine found = winampout::findDevice(contents);
    if (found.kind == winampout::DeviceLine::Kind::Guid) {
        const plat::String guid = winampout::guidDecode(found.value);
        // Braces and hyphens always; every other character comes from the value.
        check(guid.size() <= 38 && guid.front() == u'{' && guid.back() == u'}');
        check(found.value.size() < 32 || guid.size() == 38);
    }

    // Any text encodes without reading past its end; the rewrite gets the encoding of a GUID
    // text whose digits come from the input.
    const plat::String anything = winampout::guidEncode(winampout::widen(contents));
    check(anything.size() <= 34 && anything.ends_with(u"00"));
    plat::String guid = u"{";
    for (std::size_t i = 0; i < 36; ++i)
        guid += (i == 8 || i == 13 || i == 18 || i == 23)
                    ? u'-'
                    : u"0123456789ABCDEFabcdef"[static_cast<unsigned char>(contents[i % contents.size()]) % 22];
    guid += u'}';
    const std::string encoded = winampout::toAscii(winampout::guidEncode(guid));
    check(winampout::guidDecode(winampout::widen(encoded)) == guid);

    bool refused = false;
    const std::string rewritten = winampout::rewriteDevice(contents, index, waveId, encoded, refused);
    const auto before = linesOf(contents);
    const auto after = linesOf(rewritten);
    const char plugin = pluginOf(before);
    const bool wave = plugin == 'w';
    const char digit = index == 0 ? '0' : static_cast<char>('1' + waveId);

    // The file pass on the simulated PC, in the folder paths.ini names: the in-memory result,
    // or the file left alone and the change reported failed; nothing left beside the file.
    World& world = fuzzing::renewed<World>(10000);
    AudioDeviceEntry entry;
    entry.guid = guid;
    entry.waveId = waveId;
    PcInfo& info = *globals().pcInfo;
    fuzzing::filePass(world.pc, pathsIni, contents, refused ? std::string(contents) : rewritten,
                      [&] { check(info.setWinampOutputDevice(index, entry) == (refused ? 0 : 1)); });
    // Without a plug-in line, or with another plug-in, the failure says so.
    check((plugin == 0 || plugin == '?') ==
          (info.lastRoutingFailure() == PcInfo::RoutingFailure::WinampOutputNotUnderstood));

    if (refused) {
        // No plug-in understood, its section only before its line, or no digit for wave-out.
        check(found.kind == winampout::DeviceLine::Kind::None ||
              (wave && index >= 10 && found.kind != winampout::DeviceLine::Kind::Guid));
        return 0;
    }
    check(plugin == 'w' || plugin == 'd');
    if (found.kind == winampout::DeviceLine::Kind::Missing) {
        std::string_view eol = "\r\n";
        for (const auto line : before)
            if (!endingOf(line).empty()) {
                eol = endingOf(line);
                break;
            }
        const std::string added = (wave ? std::string("cfg_dev=") + digit : "cfg_dev2=" + encoded) +
                                  std::string(eol);
        checkAdded(before, after, wave, added, eol);
        return 0;
    }
    check(found.kind != winampout::DeviceLine::Kind::None);

    check(before.size() == after.size());
    std::size_t changed = before.size();
    for (std::size_t i = 0; i < before.size(); ++i)
        if (before[i] != after[i]) {
            check(changed == before.size()); // one line at most
            changed = i;
        }
    if (changed == before.size())
        return 0; // the new value equals the old one

    // The changed line is the device line of the plug-in's own section ...
    const std::string_view line = before[changed];
    check(keyOf(line) == (wave ? "cfg_dev" : "cfg_dev2"));
    std::size_t header = changed;
    while (header > 0 && !isHeader(before[header - 1]))
        --header;
    check(header > 0);
    check(before[header - 1].starts_with(wave ? "[out_wave]" : "[out_ds]"));

    // ... with only its value changed and its own line ending kept.
    if (wave) {
        check(after[changed] == withDigit(line, digit));
    } else {
        std::string_view ending = endingOf(line);
        const std::string_view first = before.front();
        const std::string_view fileEnding = endingOf(first).empty() && before.size() == 1
                                                ? std::string_view("\r\n")
                                                : endingOf(first);
        if (ending.empty())
            ending = fileEnding.empty() ? std::string_view("\r\n") : fileEnding;
        check(after[changed] ==
              std::string(line.substr(0, line.find('=') + 1)) + encoded + std::string(ending));
    }
    return 0;
}
