// libFuzzer target: the GUID text of Winamp's DirectSound device line, encoded and decoded
// over arbitrary UTF-16 text (the value comes from "winamp.ini", the GUID from the device
// table). Both only move characters; checks that neither reads past its input
// (AddressSanitizer), that their results have the promised shape, and, by the target's own
// table of the byte-reversed groups, that every character lands where the format puts it and
// that the two undo each other.
#include "WinampOutput.h"
#include "fuzz_support.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

using fuzzing::check;

// GUID text position of each of the 32 encoded characters: the first three groups with their
// bytes reversed, the last two as written.
constexpr int kFrom[32] = {7,  8,  5,  6,  3,  4,  1,  2,  12, 13, 10, 11, 17, 18, 15, 16,
                           20, 21, 22, 23, 25, 26, 27, 28, 29, 30, 31, 32, 33, 34, 35, 36};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    plat::String text;
    for (std::size_t i = 0; i + 1 < size; i += 2)
        text += static_cast<char16_t>(data[i] | (data[i + 1] << 8));

    // Encoding: the characters at the table's positions that the text has, then "00".
    const plat::String encoded = winampout::guidEncode(text);
    check(encoded.size() >= 2 && encoded.size() <= 34 && encoded.ends_with(u"00"));
    std::size_t k = 0;
    for (const int from : kFrom)
        if (static_cast<std::size_t>(from) < text.size())
            check(encoded[k++] == text[static_cast<std::size_t>(from)]);
    check(k + 2 == encoded.size());

    // Decoding: braces and hyphens around the first 32 characters, put back in place.
    const plat::String decoded = winampout::guidDecode(text);
    check(decoded.size() <= 38 && decoded.front() == u'{' && decoded.back() == u'}');
    if (text.size() >= 32) {
        check(decoded.size() == 38);
        for (const int at : {9, 14, 19, 24})
            check(decoded[static_cast<std::size_t>(at)] == u'-');
        for (std::size_t i = 0; i < 32; ++i)
            check(decoded[static_cast<std::size_t>(kFrom[i])] == text[i]);
        // Each undoes the other on whole values.
        check(winampout::guidEncode(decoded) == text.substr(0, 32) + u"00");
    }
    // A GUID text with any characters between its braces and hyphens comes back whole.
    if (text.size() >= 38) {
        plat::String guid = text.substr(0, 38);
        guid[0] = u'{';
        guid[37] = u'}';
        for (const int at : {9, 14, 19, 24})
            guid[static_cast<std::size_t>(at)] = u'-';
        check(winampout::guidDecode(winampout::guidEncode(guid)) == guid);
    }
    return 0;
}
