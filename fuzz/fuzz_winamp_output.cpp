// libFuzzer target: the output-device scan and rewrite over arbitrary "winamp.ini" contents,
// and the GUID decoder and encoder over arbitrary values. Reading the file by its own rules
// rather than the program's, it checks for every input that the rewrite changes at most one
// line: the device line of the active plug-in's own section (its key, read from the line's
// first 500 bytes, exactly "cfg_dev" or "cfg_dev2"), with only its value changed and its line
// ending kept; every other line comes out byte for byte the same.
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

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2)
        return 0;
    // The first byte chooses the table index of the rewrite, the rest is the file.
    const int index = data[0] % 16;
    const std::uint32_t waveId = static_cast<std::uint32_t>(index > 0 ? index - 1 : 0);
    const std::string_view contents(reinterpret_cast<const char*>(data + 1), size - 1);

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
    if (refused) {
        check(found.kind == winampout::DeviceLine::Kind::Digit && index >= 10);
        return 0;
    }
    if (found.kind == winampout::DeviceLine::Kind::None) {
        check(rewritten == contents); // without a device line the copy is exact
        return 0;
    }

    const auto before = linesOf(contents);
    const auto after = linesOf(rewritten);
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
    const bool wave = found.kind == winampout::DeviceLine::Kind::Digit;
    const std::string_view line = before[changed];
    check(keyOf(line) == (wave ? "cfg_dev" : "cfg_dev2"));
    std::size_t header = changed;
    while (header > 0 && !isHeader(before[header - 1]))
        --header;
    check(header > 0);
    check(before[header - 1].starts_with(wave ? "[out_wave]" : "[out_ds]"));

    // ... with only its value changed and its own line ending kept.
    if (wave) {
        check(after[changed] == withDigit(line, index == 0 ? '0' : static_cast<char>('1' + waveId)));
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
