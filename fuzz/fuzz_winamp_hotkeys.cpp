// libFuzzer target: arbitrary "winamp.ini" contents through the hotkey scan and rewrite.
// Checks that nothing reads out of bounds (AddressSanitizer), that the rewrite loses nothing
// (every piece read comes out again, unchanged or as the one "nbkeys=" or "enabled=1" line
// that replaces it, followed only by well-formed bindings), that the output parses back
// (scanning it finds what the rewrite promised), and that the file passes on the simulated
// PC produce exactly the in-memory result and never leave "temp.ini" behind.
//
// The module is compiled into this target rather than taken from qa_program, so that the
// fuzzer's coverage instrumentation (applied to this target only) sees its branches.
#include "WinampIniRead.cpp"

#include "Globals.h"
#include "sim_pc.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>

namespace {

void check(bool condition) {
    if (!condition)
        std::abort();
}

bool startsWith(std::string_view text, std::size_t at, std::string_view prefix) {
    return text.size() >= at && text.substr(at).substr(0, prefix.size()) == prefix;
}

// "<word><digits>=" ... up to and including `ending`, at `at`; the digits' value and where
// the line ends.
bool numberedLine(std::string_view out, std::size_t& at, std::string_view word,
                  std::int64_t& number, std::string_view rest, std::string_view ending) {
    if (!startsWith(out, at, word))
        return false;
    std::size_t p = at + word.size();
    const std::size_t digits = p;
    number = 0;
    while (p < out.size() && out[p] >= '0' && out[p] <= '9' && p - digits < 18)
        number = number * 10 + (out[p++] - '0');
    if (p == digits || !startsWith(out, p, rest))
        return false;
    p += rest.size();
    if (!startsWith(out, p, ending))
        return false;
    at = p + ending.size();
    return true;
}

// The pieces the rewrite may replace, found independently of it: the first piece with
// "nbkeys" after the first with "[gen_hotkeys]", and the first with "enabled=" after that.
struct Replaced {
    std::int64_t nbkeys = -1;
    std::int64_t enabled = -1;
    bool section = false;
};

Replaced findReplaced(std::string_view in) {
    Replaced r;
    std::size_t at = 0;
    std::string piece;
    for (std::int64_t i = 0; winampini::readBoundedLine(in, at, winampini::kLineCapacity, piece); ++i) {
        if (!r.section) {
            r.section = piece.find("[gen_hotkeys]") != std::string::npos;
        } else if (r.nbkeys < 0) {
            if (piece.find("nbkeys") != std::string::npos)
                r.nbkeys = i;
        } else if (r.enabled < 0 && piece.find("enabled=") != std::string::npos) {
            r.enabled = i;
        }
    }
    return r;
}

// Walks the input's pieces against the output: each comes out unchanged, or as its
// replacement. Returns where the copied part ends.
std::size_t checkCopied(std::string_view in, std::string_view out, const Replaced& replaced,
                        const std::string& nbkeysLine, const std::string& enabledLine) {
    std::size_t inAt = 0;
    std::size_t outAt = 0;
    std::string piece;
    for (std::int64_t i = 0; winampini::readBoundedLine(in, inAt, winampini::kLineCapacity, piece); ++i) {
        check(piece.size() <= winampini::kLineCapacity - 1 && !piece.empty());
        const std::string& expected =
            i == replaced.nbkeys ? nbkeysLine : i == replaced.enabled ? enabledLine : piece;
        check(startsWith(out, outAt, expected));
        outAt += expected.size();
    }
    check(inAt == in.size());
    return outAt;
}

// What follows the copied lines: an ending if needed, then whole bindings numbered on from
// `first`, each value at most once. The number of bindings.
int checkAppended(std::string_view out, std::size_t at, std::string_view ending,
                  std::int64_t first, bool& seen2224, bool& seen2225, bool& seen2226,
                  bool& seen2227) {
    // The bindings never join a last line that has no ending.
    if (at < out.size() && at > 0 && out[at - 1] != '\n') {
        check(startsWith(out, at, ending));
        at += ending.size();
    }
    static const struct {
        const char* action;
        const char* value;
    } kinds[] = {{"stop", "2226"}, {"play/pause", "2227"}, {"prev", "2225"}, {"next", "2224"}};
    bool* seen[] = {&seen2226, &seen2227, &seen2225, &seen2224};
    int count = 0;
    std::size_t kind = 0; // appended in this order
    while (at < out.size()) {
        bool matched = false;
        for (; kind < 4 && !matched; ++kind) {
            std::size_t p = at;
            std::int64_t index = 0;
            std::int64_t again = 0;
            if (numberedLine(out, p, "action", index, std::string("=ghkdc ") + kinds[kind].action,
                             ending) &&
                numberedLine(out, p, "hotkey", again, std::string("=") + kinds[kind].value,
                             ending)) {
                check(index == first + count && again == index);
                check(!*seen[kind]);
                *seen[kind] = true;
                at = p;
                matched = true;
                ++count;
            }
        }
        check(matched);
    }
    return count;
}

struct World {
    World() {
        pc.install();
        startProcessObjects();
        pc.setString(plat::HKCU, u"Software\\Winamp\\", u"", u"C:\\Winamp");
    }
    sim::SimPc pc;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view in(reinterpret_cast<const char*>(data), size);
    const winampini::HotkeyScan scan = winampini::scanText(in);
    check(scan.bytes == static_cast<std::int64_t>(size));
    const std::string_view ending = scan.lineEnding();
    check(ending == "\n" || ending == "\r\n");

    std::int32_t state = -1;
    const std::string out = winampini::rewriteText(in, scan, &state);
    check(state >= 0 && state <= scan.scanState);
    check(state == scan.scanState); // the same transitions on the same pieces

    const Replaced replaced = findReplaced(in);
    check(state == (!replaced.section ? 0 : replaced.nbkeys < 0 ? 1 : replaced.enabled < 0 ? 2 : 3));
    const std::string nbkeysLine =
        "nbkeys=" + std::to_string(scan.missingCount + scan.hotkeyCount) + std::string(ending);
    const std::string enabledLine = "enabled=1" + std::string(ending);
    const std::size_t copied = checkCopied(in, out, replaced, nbkeysLine, enabledLine);
    bool has2224 = false, has2225 = false, has2226 = false, has2227 = false;
    const int appended = checkAppended(out, copied, ending, scan.hotkeyCount, has2224, has2225,
                                       has2226, has2227);
    if (state == 0)
        check(appended == 0 && copied == out.size());
    // Only what the scan did not find is appended.
    check(!(has2224 && scan.hasNext) && !(has2225 && scan.hasPrev) &&
          !(has2226 && scan.hasStop) && !(has2227 && scan.hasPlayPause));

    // Parses back: the rewritten file scans to the same state, and a complete section now
    // holds every binding with global hotkeys on.
    const winampini::HotkeyScan again = winampini::scanText(out);
    check(again.scanState == scan.scanState);
    if (scan.scanState == 3) {
        check(again.hotkeysEnabled == 1);
        check(again.hasNext && again.hasPrev && again.hasStop && again.hasPlayPause);
        check(again.hotkeyCount == scan.hotkeyCount + appended);
    }

    // The file passes on the simulated PC: the same bytes, or the file left alone. The
    // simulated PC keeps a journal of every file written, so it is renewed now and then.
    static World* world = nullptr;
    static int runs = 0;
    if (world && ++runs % 10000 == 0) {
        world->pc.endProcess();
        plat::install({});
        endProcessObjects();
        delete world;
        world = nullptr;
    }
    if (!world)
        world = new World;
    const plat::String ini = u"C:\\Winamp\\winamp.ini";
    world->pc.writeFile(ini, std::string(in));
    {
        WinampIniRead reader;
        check(reader.outcome() == (scan.needsRewrite() ? WinampIniRead::Outcome::Rewritten
                                                       : WinampIniRead::Outcome::Untouched));
    }
    check(world->pc.fileContents(ini) == (scan.needsRewrite() ? out : std::string(in)));
    check(!world->pc.fileExists(u"C:\\Winamp\\temp.ini"));
    return 0;
}
