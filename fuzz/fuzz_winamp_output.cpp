// libFuzzer target: the output-device scan and rewrite over arbitrary "winamp.ini" contents,
// and the GUID decoder and encoder over arbitrary values.
#include "WinampOutput.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2)
        return 0;
    // The first byte chooses the table index of the rewrite, the rest is the file.
    const int index = data[0] % 16;
    const std::string_view contents(reinterpret_cast<const char*>(data + 1), size - 1);

    const winampout::DeviceLine found = winampout::findDevice(contents);
    if (found.kind == winampout::DeviceLine::Kind::Guid) {
        const plat::String guid = winampout::guidDecode(found.value);
        // Braces and hyphens always; every other character comes from the value.
        if (guid.size() > 38 || guid.front() != u'{' || guid.back() != u'}')
            std::abort();
        if (found.value.size() >= 32 && guid.size() != 38)
            std::abort();
    }

    bool refused = false;
    const std::string encoded = winampout::toAscii(winampout::guidEncode(winampout::widen(contents)));
    const std::string rewritten =
        winampout::rewriteDevice(contents, index, static_cast<std::uint32_t>(index > 0 ? index - 1 : 0),
                                 encoded, refused);
    if (!refused && found.kind == winampout::DeviceLine::Kind::None && rewritten != contents)
        std::abort(); // without a device line the copy is exact
    // The wave-out digit is replaced in place: the file keeps its size.
    if (!refused && found.kind == winampout::DeviceLine::Kind::Digit && rewritten.size() != contents.size())
        std::abort();
    return 0;
}
